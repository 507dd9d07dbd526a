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

# ends_within SECONDS: the program is gone within SECONDS (counted in tenths).
ends_within() {
    local tenths=$(($1 * 10))
    while kill -0 "$E2E_APP_PID" 2>/dev/null && [ $tenths -gt 0 ]; do
        sleep 0.1
        tenths=$((tenths - 1))
    done
    ! kill -0 "$E2E_APP_PID" 2>/dev/null
}

# --- SIGTERM while the end-of-list box is open ---
printf '2.jpg\r\n' >"$state"
e2e_start_program
xdotool key ctrl+shift+k ctrl+shift+k # a step starts from the list's top
e2e_wait_panel 10 name=3.jpg selected=3.jpg || e2e_fail "the hotkeys did not reach 3.jpg: [$E2E_PANEL_STATE]"
xdotool key ctrl+shift+k
if xs_wait_window '^Image Preview$' 10 >/dev/null; then
    e2e_ok "end-of-list box open"
    kill -TERM "$E2E_APP_PID"
    if ends_within 2; then e2e_ok "SIGTERM with the box open: ended within 2 s"
    else e2e_fail "SIGTERM with the box open: still running after 2 s"; fi
    e2e_check_file_bytes "the page on screen saved" "$state" '3.jpg\r\n'
else
    e2e_fail "the end-of-list box did not appear"
fi
xs_wait_exit "$E2E_APP_PID" 10 || true

# --- SIGTERM with a state file that cannot be written ---
rm -f "$state"
mkdir "$state"
e2e_start_program
xdotool key ctrl+shift+k
e2e_wait_panel 10 name=2.jpg || e2e_fail "the hotkey did not load 2.jpg: [$E2E_PANEL_STATE]"
kill -TERM "$E2E_APP_PID"
if ends_within 2; then e2e_ok "SIGTERM with an unwritable state file: ended within 2 s"
else e2e_fail "SIGTERM with an unwritable state file: still running after 2 s"; fi
e2e_check_match "the reason on standard error" \
    'could not be saved to [^ ]*current\.txt.*Permission denied' "$(cat "$E2E_APP_STDERR")"
xs_wait_exit "$E2E_APP_PID" 10 || true
rmdir "$state"

# --- the X server killed after a page change ---
printf '1.jpg\r\n' >"$state"
e2e_start_program
xdotool key ctrl+shift+k
e2e_wait_panel 10 name=2.jpg selected=2.jpg || e2e_fail "the hotkey did not reach 2.jpg: [$E2E_PANEL_STATE]"
kill -KILL "${XS_PIDS[0]}" # Xvfb, the first process of the session
if xs_wait_exit "$E2E_APP_PID" 10; then e2e_ok "program ended with its X server"
else e2e_fail "program still running 10 s after its X server died"; fi
e2e_check_file_bytes "current.txt holds the page reached" "$state" '2.jpg\r\n'

e2e_finish
