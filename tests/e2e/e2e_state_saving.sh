#!/usr/bin/env bash
# The page reached is never lost: SIGTERM with a box open, an unwritable state file, a
# full then read-only disk (each reason said once), a killed X server.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 2.jpg 3.jpg
state=$E2E_APP_DIR/current.txt

printf '2.jpg\r\n' >"$state"
e2e_start_program
e2e_keys "two hotkeys" "ctrl+shift+k ctrl+shift+k" name=3.jpg selected=3.jpg # a step starts from the list's top
xdotool key ctrl+shift+k
xs_wait_window '^Image Preview$' 10 >/dev/null || e2e_abort "the end-of-list box did not appear"
e2e_term_ends "with the box open"
e2e_check_file_bytes "the page on screen saved" "$state" '3.jpg\r\n'

rm -f "$state" && mkdir "$state"
e2e_start_program
e2e_keys "the hotkey" ctrl+shift+k name=2.jpg
e2e_term_ends "with an unwritable state file"
e2e_check_stderr "the reason on standard error" 'could not be saved to [^ ]*current\.txt.*Permission denied'
rmdir "$state"

# --- a full disk, then a read-only one (a file system of its own: root only) ---
disk=$E2E_WORK/disk && mkdir "$disk"
if mount -t tmpfs -o size=1m tmpfs "$disk" 2>/dev/null; then
    trap 'umount -l "$disk"; xs_cleanup' EXIT
    cp "$E2E_APP_DIR"/[123].jpg "$disk"/
    printf '1.jpg\r\n' >"$disk/current.txt"
    e2e_start_program -- ./zorvane "$disk"
    dd if=/dev/zero of="$disk/filler" bs=4k >/dev/null 2>&1
    failures_are() { [ "$(grep -c 'could not be saved' "$E2E_APP_STDERR")" -eq "$1" ]; }
    e2e_keys "a step on the full disk" ctrl+shift+k name=2.jpg
    e2e_check "the full disk is said on standard error" xs_wait_for 10 failures_are 1
    e2e_keys "another step" ctrl+shift+k name=3.jpg
    sleep 0.5 # the save runs once the page is on screen
    e2e_check "once per reason" failures_are 1
    e2e_check_stderr "the reason is the full disk" 'No space left on device'
    mount -o remount,ro "$disk"
    e2e_keys "a step on the read-only disk" ctrl+shift+h name=2.jpg
    e2e_check "the new reason is said too" xs_wait_for 10 failures_are 2
    xs_close_window "$panel"
    e2e_message Zorvane 'could not be saved to .*current\.txt' "the close on a read-only disk"
    e2e_ended "the close on a read-only disk"
    e2e_check_file_bytes "current.txt as it was before the disk filled" "$disk/current.txt" '1.jpg\r\n'
    umount -l "$disk"
else
    e2e_log "skipped the full disk: mounting a tmpfs needs root"
fi

printf '1.jpg\r\n' >"$state"
e2e_start_program
e2e_keys "the hotkey" ctrl+shift+k name=2.jpg selected=2.jpg
kill -KILL "${XS_PIDS[0]}" # Xvfb, the first process of the session
e2e_check "program ended with its X server" xs_wait_exit "$E2E_APP_PID" 10
e2e_check_file_bytes "current.txt holds the page reached" "$state" '2.jpg\r\n'

e2e_finish
