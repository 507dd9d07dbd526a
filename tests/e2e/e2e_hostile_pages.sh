#!/usr/bin/env bash
# Files that once froze the program: a page that is a link to /proc/self/pagemap
# (size 0, reads without end), a progressive page of thousands of tiny scans, and
# FIFOs put in the place of listed pages (under a UTF-8 name and under a name that
# is not UTF-8), reached by a read-ahead and by a step. Stepping onto each gives the
# not-found message within 5 s, the log names the real reason, the next hotkey
# still steps, and SIGTERM still ends the program within 2 s.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 4.jpg
ln -s /proc/self/pagemap "$E2E_APP_DIR/2.jpg"
"$(dirname "$E2E_MAKE_PAGES")/make_many_scans" "$E2E_APP_DIR/3.jpg" --scans 5000 ||
    e2e_abort "make_many_scans failed"
e2e_start_program

for bad in "2.jpg a link to /proc/self/pagemap" "3.jpg a JPEG of 5000 scans"; do
    xdotool key ctrl+shift+k
    if box=$(xs_wait_window '^Zorvane$' 5); then
        e2e_check_match "${bad#* }: the not-found message" "^Can't find .*/${bad%% *} \\. Please recheck" \
            "$(e2e_alert Zorvane)"
        e2e_dismiss "$box" Zorvane "${bad#* }"
    else
        e2e_fail "${bad#* }: no message within 5 s"
    fi
done
xdotool key ctrl+shift+k
e2e_expect_panel 5 "the next hotkey steps on" name=4.jpg selected=4.jpg

log=$(cat "$E2E_APP_STDERR")
e2e_check_match "the log gives the /proc link's reason" '2\.jpg is too large \(it is larger than' "$log"
e2e_check_match "the log gives the many scans' reason" '3\.jpg \(more than [0-9]+ scans\)' "$log"
e2e_stop_program

# --- FIFOs put in the place of listed pages, one under a name that is not UTF-8 ---
# (Windows-874 bytes, opened by its raw bytes), each reached first by the read-ahead
# of its neighbour and then by a step: a message, never a wait for a writer.
rm -f "$E2E_APP_DIR"/*.jpg
raw=$(printf '5\xcb.jpg') # "5" and a Thai letter in Windows-874: not UTF-8
e2e_add_pages 1.jpg 2.jpg 3.jpg 4.jpg "$raw" 6.jpg
mkfifo "$E2E_WORK/fifo"
e2e_start_program
ln -sf "$E2E_WORK/fifo" "$E2E_APP_DIR/2.jpg"
ln -sf "$E2E_WORK/fifo" "$E2E_APP_DIR/$raw"
page_now() { e2e_wait_panel 10 "name=$1" && e2e_ok "$2: the panel shows $1"; }
# fifo_message WHAT: the not-found message for a FIFO, dismissed with Return.
fifo_message() {
    if box=$(xs_wait_window '^Zorvane$' 5); then
        e2e_check_match "$1: the not-found message" "^Can't find .* \. Please recheck" "$(e2e_alert Zorvane)"
        e2e_dismiss "$box" Zorvane "$1"
    else
        e2e_fail "$1: no message within 5 s"
    fi
}
xdotool key ctrl+shift+k # onto 2.jpg, opened by the step
fifo_message "a FIFO under a UTF-8 name, by a step"
xdotool key ctrl+shift+k
page_now 3.jpg "the next key steps on" || e2e_fail "no step to 3.jpg: [$E2E_PANEL_STATE]"
xdotool key ctrl+shift+k # 4.jpg: its neighbours, 3.jpg and the raw name, are read ahead
page_now 4.jpg "a step whose read-ahead opens the raw-name FIFO" || e2e_fail "no step to 4.jpg: [$E2E_PANEL_STATE]"
xdotool key ctrl+shift+k
if box=$(xs_wait_window '^Zorvane$' 5); then
    # With the message open the next key still steps; the page window comes up over
    # the message, which goes back above it.
    xdotool key ctrl+shift+k
    page_now 6.jpg "the next key steps with the message open" || e2e_fail "no step to 6.jpg: [$E2E_PANEL_STATE]"
    e2e_check "the message is above the page window" xs_wait_for 10 e2e_above "$box" "$(e2e_page_window)"
    e2e_dismiss "$box" Zorvane "the raw-name FIFO"
else
    e2e_fail "a FIFO under a raw name, by a step: no message within 5 s"
fi
xdotool key ctrl+shift+h
fifo_message "back onto the raw-name FIFO"
xdotool key ctrl+shift+h ctrl+shift+h # 4.jpg, then 3.jpg, whose read-ahead opens 2.jpg
page_now 3.jpg "steps back" || e2e_fail "no step back to 3.jpg: [$E2E_PANEL_STATE]"
xdotool key ctrl+shift+h
fifo_message "a FIFO under a UTF-8 name, after its read-ahead"
e2e_check_match "the log says it is a FIFO" 'it is a FIFO' "$(cat "$E2E_APP_STDERR")"
xdotool key ctrl+shift+k
page_now 3.jpg "the next key after it steps" || e2e_fail "no step to 3.jpg: [$E2E_PANEL_STATE]"
e2e_term_ends "after the FIFOs"
e2e_finish
