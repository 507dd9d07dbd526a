#!/usr/bin/env bash
# The page reached is never lost: a request to end (SIGTERM) while a
# message box is open still saves the page and ends the program within 2 s; a
# state file that cannot be written is reported on standard error, with no box
# to hold up the end; and the page is saved as soon as it is shown, so a dead
# X server loses nothing.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 2.jpg 3.jpg
state=$E2E_APP_DIR/current.txt

# term_ends WHAT: SIGTERM ends the program within 2 s (counted in tenths).
term_ends() {
    local n=0
    kill -TERM "$E2E_APP_PID"
    while kill -0 "$E2E_APP_PID" 2>/dev/null && [ $((n++)) -lt 20 ]; do sleep 0.1; done
    e2e_check "SIGTERM $1: ended within 2 s" xs_wait_exit "$E2E_APP_PID" 0
}

# --- SIGTERM while the end-of-list box is open ---
printf '2.jpg\r\n' >"$state"
e2e_start_program
xdotool key ctrl+shift+k ctrl+shift+k # a step starts from the list's top
e2e_expect_panel 10 "two hotkeys" name=3.jpg selected=3.jpg
xdotool key ctrl+shift+k
if xs_wait_window '^Image Preview$' 10 >/dev/null; then
    term_ends "with the box open"
    e2e_check_file_bytes "the page on screen saved" "$state" '3.jpg\r\n'
else
    e2e_fail "the end-of-list box did not appear"
fi
xs_wait_exit "$E2E_APP_PID" 10

# --- SIGTERM with a state file that cannot be written ---
rm -f "$state"
mkdir "$state"
e2e_start_program
xdotool key ctrl+shift+k
e2e_expect_panel 10 "the hotkey" name=2.jpg
term_ends "with an unwritable state file"
e2e_check_match "the reason on standard error" \
    'could not be saved to [^ ]*current\.txt.*Permission denied' "$(cat "$E2E_APP_STDERR")"
xs_wait_exit "$E2E_APP_PID" 10
rmdir "$state"

# --- the X server killed after a page change ---
printf '1.jpg\r\n' >"$state"
e2e_start_program
xdotool key ctrl+shift+k
e2e_expect_panel 10 "the hotkey" name=2.jpg selected=2.jpg
kill -KILL "${XS_PIDS[0]}" # Xvfb, the first process of the session
e2e_check "program ended with its X server" xs_wait_exit "$E2E_APP_PID" 10
e2e_check_file_bytes "current.txt holds the page reached" "$state" '2.jpg\r\n'

e2e_finish
