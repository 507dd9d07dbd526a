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
e2e_finish
