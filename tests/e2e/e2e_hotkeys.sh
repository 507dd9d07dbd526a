#!/usr/bin/env bash
# The four global hotkeys as the typist uses them: pressed while a terminal
# has the focus, they turn and scroll the page on screen, the terminal keeps
# the focus and receives nothing, while near misses (Ctrl+K, Shift+K, ...)
# reach the terminal and leave the program alone. They work with NumLock and
# CapsLock on; a combination that another program holds is reported and the
# other three still work. Also: the help window. (The end-of-list message a
# hotkey raises: e2e_screens.)
#
# No compositor here: the page window's opacity is not applied on screen, so
# the page's own pixels can be compared with the screen.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 2.jpg 3.jpg 4.jpg 5.jpg

e2e_start_recorder 40x4+520+500

keys_dump() { od -An -tx1 "$keys" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

xkeys() { /usr/bin/python3 "$E2E_LIB_DIR/xkeys.py" "$@"; }
locks_are() { [ "$(xkeys locks)" == "$1" ]; }

# view_shows PAGE OFFSET: the page window (half layout, at 0,80) shows PAGE
# moved up by OFFSET pixels; rows 20..339 of the window are compared.
# LAST_RMSE holds the difference found.
view_shows() {
    local now=$E2E_WORK/now.png
    import -window root "$now" 2>/dev/null || return 1
    LAST_RMSE=$(e2e_rmse "$now" 1024x320+0+100 "$E2E_APP_DIR/$1" "1024x320+0+$((20 + $2))")
    awk -v d="$LAST_RMSE" 'BEGIN { exit !(d != "" && d < 0.01) }'
}

# hotkey KEYS PAGE VPOS WHAT: presses KEYS, then checks that the panel shows
# PAGE named and selected at vertical position VPOS and that the screen
# shows it so.
hotkey() {
    local keys_before
    keys_before=$(keys_size)
    xdotool key "$1"
    if e2e_wait_panel 5 "name=$2" "selected=$2" "vpos=$3"; then
        e2e_ok "$4: panel at $2, vertical position $3"
    else
        e2e_fail "$4: expected $2 at vertical position $3, panel reads [$E2E_PANEL_STATE]"
        return
    fi
    if xs_wait_for 5 view_shows "$2" "$3"; then
        e2e_ok "$4: screen shows $2 moved up by $3"
    else
        e2e_fail "$4: screen differs from $2 moved up by $3 (RMSE $LAST_RMSE)"
    fi
    e2e_check_eq "$4: the terminal receives nothing" "$keys_before" "$(keys_size)"
}

# ============================================================================
# 1. Another program holds Ctrl+Shift+K before Zorvane starts.
# Not through the xkeys function: $! must be the grabbing process itself.
/usr/bin/python3 "$E2E_LIB_DIR/xkeys.py" grab k >"$E2E_WORK/grab.log" 2>&1 &
grabber=$!
xs_track "$grabber"
xs_wait_for 10 grep -qx grabbed "$E2E_WORK/grab.log" ||
    e2e_abort "the grabbing client did not take Ctrl+Shift+K: $(cat "$E2E_WORK/grab.log")"

e2e_start_program
warning=$(cat "$E2E_APP_STDERR")
e2e_check_match "stderr names the combination another program holds" 'Ctrl\+Shift\+K' "$warning"
e2e_check_eq "stderr names no other combination" "" "$(grep -oE 'Ctrl\+Shift\+[HUM]' <<<"$warning")"
e2e_log "stderr: $warning"

# --- the help window: one at most, sizable (its place: e2e_screens) ---
e2e_click_panel $((352 + 24)) $((24 + 11))
if help=$(xs_wait_window '^How to use$' 10); then
    xs_wait_managed "$help" || true
    e2e_check_eq "help window centred on the screen" "181,128 662x511" "$(xs_geometry "$help")"
    e2e_check_match "help window can be resized" '_NET_WM_ACTION_RESIZE' "$(xprop -id "$help" _NET_WM_ALLOWED_ACTIONS)"

    e2e_click_panel $((352 + 24)) $((24 + 11))
    # The list click after it is handled after the second help click: once the
    # page it loads is named, a second help window would exist already.
    e2e_click_panel 40 37
    e2e_wait_panel 10 name=3.jpg selected=3.jpg ||
        e2e_fail "click on the third list row: expected 3.jpg, panel reads [$E2E_PANEL_STATE]"
    e2e_check_eq "one help window after two clicks on help (X)" 1 \
        "$(xdotool search --onlyvisible --name '^How to use$' | wc -l)"
    e2e_check_eq "one help window after two clicks on help (accessibility)" 1 \
        "$(e2e_atspi --timeout 5 | grep -c '^  [a-z ]* | How to use |')"
    xs_close_window "$help"
    xs_wait_for 10 e2e_no_window '^How to use$' || e2e_fail "the help window did not close"
else
    e2e_fail "the help button did not open the 'How to use' window"
    e2e_click_panel 40 37
    e2e_wait_panel 10 name=3.jpg || e2e_abort "click on the third list row: panel reads [$E2E_PANEL_STATE]"
fi
xs_wait_window '^Form2$' 10 >/dev/null || e2e_abort "no page window after a click in the list"
xs_wait_for 10 view_shows 3.jpg 0 || e2e_fail "3.jpg not on screen after a click in the list (RMSE $LAST_RMSE)"

xs_activate "$typist" || e2e_abort "the recording terminal did not become active"

# --- Ctrl+Shift+K goes to its holder; the other three work ---
xdotool key ctrl+shift+k
xs_wait_for 10 grep -qx press "$E2E_WORK/grab.log" && e2e_ok "Ctrl+Shift+K reaches the program that holds it" ||
    e2e_fail "the holder of Ctrl+Shift+K did not get the press"
# Ctrl+Shift+M after it: when its scroll shows, K was handled before, and did nothing.
hotkey ctrl+shift+m 3.jpg 328 "held Ctrl+Shift+K does nothing; Ctrl+Shift+M scrolls down"
hotkey ctrl+shift+h 2.jpg 328 "Ctrl+Shift+H with K held elsewhere"
hotkey ctrl+shift+u 2.jpg 0 "Ctrl+Shift+U with K held elsewhere"
e2e_check_eq "the terminal keeps the focus" "$typist" "$(xs_active_window)"

kill "$grabber" 2>/dev/null
wait "$grabber" 2>/dev/null
e2e_stop_program

# ============================================================================
# 2. All four combinations free.
e2e_start_program
e2e_check_eq "no hotkey warning when all four are free" "" "$(grep -i 'hotkey' "$E2E_APP_STDERR")"
xs_activate "$typist" || e2e_abort "the recording terminal did not become active"

hotkey ctrl+shift+k 2.jpg 0 "Ctrl+Shift+K from start-up: next page"
e2e_check_eq "the terminal keeps the focus when the page appears" "$typist" "$(xs_active_window)"
hotkey ctrl+shift+m 2.jpg 328 "Ctrl+Shift+M: down by the window height less 16"
view_shows 1.jpg 328 && e2e_fail "the screen matches page 1 as well as page 2 (RMSE $LAST_RMSE)" ||
    e2e_ok "the screen differs from page 1 (RMSE $LAST_RMSE)"
e2e_screenshot scrolled >/dev/null
hotkey ctrl+shift+m 2.jpg 656 "Ctrl+Shift+M again"
hotkey ctrl+shift+u 2.jpg 328 "Ctrl+Shift+U: up one step"
hotkey ctrl+shift+h 1.jpg 328 "Ctrl+Shift+H: previous page at the same position"
hotkey ctrl+shift+k 2.jpg 0 "Ctrl+Shift+K: next page from its top"
e2e_check_file_bytes "the terminal received no byte from the hotkeys" "$keys" ''

# --- near misses reach the terminal and not the program ---
for combination in ctrl+k shift+k ctrl+alt+shift+k ctrl+m shift+h; do
    size=$(keys_size)
    xdotool key "$combination"
    xs_wait_for 5 keys_bigger_than "$size" && e2e_ok "$combination reaches the terminal" ||
        e2e_fail "$combination did not reach the terminal"
done
e2e_check_match "the terminal's bytes: Ctrl+K, K, ..., Ctrl+M, H" '^0b 4b .* 0d 48$' "$(keys_dump)"
# Had any of them acted, the page or the position would differ after this.
hotkey ctrl+shift+m 2.jpg 328 "near misses did nothing; Ctrl+Shift+M after them"
e2e_check_eq "the terminal keeps the focus" "$typist" "$(xs_active_window)"

# --- with NumLock and CapsLock on ---
xdotool key Num_Lock
xs_wait_for 5 locks_are num || e2e_fail "NumLock did not come on: locks [$(xkeys locks)]"
hotkey ctrl+shift+k 3.jpg 0 "Ctrl+Shift+K with NumLock on"
xdotool key Caps_Lock
xs_wait_for 5 locks_are "caps num" || e2e_fail "CapsLock did not come on: locks [$(xkeys locks)]"
hotkey ctrl+shift+h 2.jpg 0 "Ctrl+Shift+H with NumLock and CapsLock on"
hotkey ctrl+shift+m 2.jpg 328 "Ctrl+Shift+M with NumLock and CapsLock on"
hotkey ctrl+shift+u 2.jpg 0 "Ctrl+Shift+U with NumLock and CapsLock on"
xdotool key Caps_Lock Num_Lock
xs_wait_for 5 locks_are none || e2e_fail "the lock keys did not go off: locks [$(xkeys locks)]"

e2e_stop_program

e2e_finish
