#!/usr/bin/env bash
# The four hotkeys, pressed while a terminal has the focus, turn and scroll the page; the
# terminal gets nothing of them but all near misses; the locks change nothing; a
# combination another program holds is reported. No compositor: the page's own pixels
# are compared with the screen.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 2.jpg 3.jpg 4.jpg 5.jpg
e2e_start_recorder 40x4+520+500
locks() { xset q | grep -oE '(Caps|Num) Lock: +on' | cut -d' ' -f1 | paste -sd' '; }
locks_are() { [ "$(locks)" == "$1" ]; }

# hotkey KEYS PAGE VPOS WHAT: the panel and the screen show PAGE at VPOS; the terminal
# received nothing and keeps the focus.
hotkey() {
    local size
    size=$(keys_size)
    e2e_keys "$4" "$1" "name=$2" "selected=$2" "vpos=$3"
    e2e_check_view "$4" "$2" "$3"
    e2e_check_eq "$4: the terminal receives nothing and keeps the focus" "$size $typist" "$(keys_size) $(xs_active_window)"
}

# --- another program holds Ctrl+Shift+K before Zorvane starts ---
e2e_spawn "$E2E_WORK/grab.log" grabbed /usr/bin/python3 "$E2E_LIB_DIR/xkeys.py" k
grabber=$E2E_SPAWNED
e2e_start_program
e2e_check_eq "stderr names the combination held, and no other" Ctrl+Shift+K \
    "$(grep -oE 'Ctrl\+Shift\+.' "$E2E_APP_STDERR" | sort -u | paste -sd' ')"
e2e_click_panel 40 37
e2e_expect_panel 10 "click on the third list row" name=3.jpg selected=3.jpg
xs_activate "$typist" || e2e_abort "the recording terminal did not become active"
xdotool key ctrl+shift+k
e2e_check "Ctrl+Shift+K reaches the program that holds it" xs_wait_for 10 grep -qx press "$E2E_WORK/grab.log"
# When M's scroll shows, K was handled before it, and did nothing.
hotkey ctrl+shift+m 3.jpg 328 "held Ctrl+Shift+K does nothing; Ctrl+Shift+M scrolls down"
hotkey ctrl+shift+h 2.jpg 328 "Ctrl+Shift+H with K held elsewhere"
hotkey ctrl+shift+u 2.jpg 0 "Ctrl+Shift+U with K held elsewhere"
kill "$grabber"
e2e_stop_program

e2e_start_program
e2e_check_eq "no hotkey warning when all four are free" "" "$(grep -i 'hotkey' "$E2E_APP_STDERR")"
xs_activate "$typist" || e2e_abort "the recording terminal did not become active"
hotkey ctrl+shift+k 2.jpg 0 "Ctrl+Shift+K from start-up: next page"
hotkey ctrl+shift+m 2.jpg 328 "Ctrl+Shift+M: down by the window height less 16"
# The comparison must tell pages apart, or it proves nothing.
e2e_check "the screen differs from page 1" eval '! e2e_view_matches 1.jpg 328'
e2e_screenshot scrolled >/dev/null

for combination in ctrl+k shift+k ctrl+alt+shift+k ctrl+m shift+h; do
    size=$(keys_size)
    xdotool key "$combination"
    e2e_check "$combination reaches the terminal" xs_wait_for 15 more_than keys_size "$size"
done
e2e_check_match "the terminal's bytes: Ctrl+K, K, ..., Ctrl+M, H" '^0b 4b .* 0d 48$' \
    "$(od -An -tx1 "$keys" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')"
# Had any of them acted, the page or the position would differ after this.
hotkey ctrl+shift+u 2.jpg 0 "near misses did nothing; Ctrl+Shift+U after them"

# LOCKS KEYS PAGE VPOS, with NumLock, then CapsLock too, turned on first.
while read -r lock on combo page vpos; do
    [ "$lock" == - ] || xdotool key "$lock"
    xs_wait_for 15 locks_are "${on/+/ }" || e2e_fail "$lock did not come on: locks [$(locks)]"
    hotkey "$combo" "$page" "$vpos" "$combo with ${on/+/ and } lock on"
done <<'TABLE'
Num_Lock Num ctrl+shift+k 3.jpg 0
Caps_Lock Caps+Num ctrl+shift+h 2.jpg 0
- Caps+Num ctrl+shift+m 2.jpg 328
- Caps+Num ctrl+shift+u 2.jpg 0
TABLE
xdotool key Caps_Lock Num_Lock

# The help window over the page, then closed: the rows it covered show the page again.
e2e_open_help
e2e_close_help
e2e_check_view "the help window closed over the page" 2.jpg 0
e2e_screenshot help_closed >/dev/null
e2e_stop_program

e2e_finish
