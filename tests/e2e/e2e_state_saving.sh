#!/usr/bin/env bash
# The page reached is never lost: a request to end (SIGTERM) while a
# message box is open still saves the page and ends the program within 2 s; a
# state file that cannot be written is reported on standard error, with no box
# to hold up the end; and the page is saved as soon as it is shown, so a dead
# X server loses nothing. On a full disk, then a read-only one, the saved page
# stays as it was, each reason is said once on standard error, and the close
# says it in a box that takes the keys once clicked.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 2.jpg 3.jpg
state=$E2E_APP_DIR/current.txt

# --- SIGTERM while the end-of-list box is open ---
printf '2.jpg\r\n' >"$state"
e2e_start_program
xdotool key ctrl+shift+k ctrl+shift+k # a step starts from the list's top
e2e_expect_panel 10 "two hotkeys" name=3.jpg selected=3.jpg
xdotool key ctrl+shift+k
if xs_wait_window '^Image Preview$' 10 >/dev/null; then
    e2e_term_ends "with the box open"
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
e2e_term_ends "with an unwritable state file"
e2e_check_match "the reason on standard error" \
    'could not be saved to [^ ]*current\.txt.*Permission denied' "$(cat "$E2E_APP_STDERR")"
xs_wait_exit "$E2E_APP_PID" 10
rmdir "$state"

# --- a full disk, then a read-only one (a file system of its own: root only) ---
disk=$E2E_WORK/disk
mkdir "$disk"
if mount -t tmpfs -o size=1m tmpfs "$disk" 2>/dev/null; then
    trap 'umount -l "$disk"; xs_cleanup' EXIT
    cp "$E2E_APP_DIR"/[123].jpg "$disk"/
    printf '1.jpg\r\n' >"$disk/current.txt"
    e2e_start_program -- ./zorvane "$disk"
    dd if=/dev/zero of="$disk/filler" bs=4k >/dev/null 2>&1
    saving_failures() { grep -c 'could not be saved' "$E2E_APP_STDERR"; }
    failures_are() { [ "$(saving_failures)" -eq "$1" ]; }
    xdotool key ctrl+shift+k
    e2e_expect_panel 10 "a step on the full disk" name=2.jpg
    e2e_check "the full disk is said on standard error" xs_wait_for 10 failures_are 1
    xdotool key ctrl+shift+k
    e2e_expect_panel 10 "another step" name=3.jpg
    sleep 0.5 # the save runs once the page is on screen
    e2e_check "once per reason" failures_are 1
    e2e_check_match "the reason is the full disk" 'No space left on device' "$(cat "$E2E_APP_STDERR")"
    e2e_check_file_bytes "current.txt as it was on the full disk" "$disk/current.txt" '1.jpg\r\n'
    mount -o remount,ro "$disk"
    xdotool key ctrl+shift+h
    e2e_expect_panel 10 "a step on the read-only disk" name=2.jpg
    e2e_check "the new reason is said too" xs_wait_for 10 failures_are 2
    xs_close_window "$panel"
    if box=$(xs_wait_window '^Zorvane$' 10); then
        e2e_check_match "the close says it in a box" 'could not be saved to .*current\.txt' "$(e2e_alert Zorvane)"
        read -r bx by _ < <(xs_geometry "$box" | tr ',x' '  ')
        xdotool mousemove $((bx + 10)) $((by + 10)) click 1
        e2e_check "a click gives the box the focus" xs_wait_for 10 xs_is_active "$box"
        xdotool key Return
        e2e_check "Return closes it and the program ends" xs_wait_exit "$E2E_APP_PID" 10
        e2e_check_eq "with status 0" 0 "$XS_EXIT_STATUS"
    else
        e2e_fail "no box when the panel closed on a read-only disk"
        xs_wait_exit "$E2E_APP_PID" 10
    fi
    e2e_check_file_bytes "current.txt as it was on the read-only disk" "$disk/current.txt" '1.jpg\r\n'
    umount -l "$disk"
else
    e2e_log "skipped the full disk: mounting a tmpfs needs root"
fi

# --- the X server killed after a page change ---
printf '1.jpg\r\n' >"$state"
e2e_start_program
xdotool key ctrl+shift+k
e2e_expect_panel 10 "the hotkey" name=2.jpg selected=2.jpg
kill -KILL "${XS_PIDS[0]}" # Xvfb, the first process of the session
e2e_check "program ended with its X server" xs_wait_exit "$E2E_APP_PID" 10
e2e_check_file_bytes "current.txt holds the page reached" "$state" '2.jpg\r\n'

e2e_finish
