#!/usr/bin/env bash
# Files that once froze the program: a page that is a link to /proc/self/pagemap
# (size 0, reads without end) and a progressive page of thousands of tiny scans.
# Stepping onto each gives the not-found message within 5 s, the log names the
# real reason, and the next hotkey still steps.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 4.jpg
ln -s /proc/self/pagemap "$E2E_APP_DIR/2.jpg"
"$(dirname "$E2E_MAKE_PAGES")/make_many_scans" "$E2E_APP_DIR/3.jpg" --scans 5000 ||
    e2e_abort "make_many_scans failed"

e2e_start_program

# step_to_bad PAGE WHAT: Ctrl+Shift+K onto PAGE must bring the not-found box in 5 s.
step_to_bad() {
    local start=$EPOCHREALTIME box
    xdotool key ctrl+shift+k
    if box=$(xs_wait_window '^Zorvane$' 5); then
        e2e_log "$2: message after $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }') s"
        e2e_check_match "$2: the not-found message" "^Can't find .*/$1 \\. Please recheck" "$(e2e_alert Zorvane)"
        xs_activate "$box" || true
        xdotool key Return
        xs_wait_for 5 e2e_no_window '^Zorvane$' || e2e_fail "$2: the message is still open after Return"
    else
        e2e_fail "$2: no message within 5 s"
    fi
}

step_to_bad 2.jpg "a link to /proc/self/pagemap"
step_to_bad 3.jpg "a JPEG of 5000 scans"
xdotool key ctrl+shift+k
e2e_wait_panel 5 name=4.jpg selected=4.jpg ||
    e2e_fail "the next hotkey did not step to 4.jpg: panel reads [$E2E_PANEL_STATE]"
e2e_ok "the next hotkey steps to 4.jpg"

log=$(cat "$E2E_APP_STDERR")
e2e_check_match "the log gives the /proc link's reason" '2\.jpg is too large \(it is larger than' "$log"
e2e_check_match "the log gives the many scans' reason" '3\.jpg \(more than [0-9]+ scans\)' "$log"

e2e_stop_program
e2e_finish
