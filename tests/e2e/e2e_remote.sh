#!/usr/bin/env bash
# Remote commands (`zorvane --next` and the like) with no program, with the bus name held
# by another process, to the running program (also nested in its message box) and with a
# second one running; with WAYLAND_DISPLAY set too the program stays on X.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 2.jpg 3.jpg

# remote OPTION: runs the command; REMOTE holds "STATUS STDERR".
remote() { local err; err=$("$E2E_ZORVANE" "$1" 2>&1 >/dev/null); REMOTE="$? $err"; }
# expect_panel OPTION WHAT KEY=VALUE...: the command succeeds and the panel comes to that state.
expect_panel() { remote "$1"; e2e_check_eq "$2: $1 exits with 0" "0 " "$REMOTE"; e2e_expect_panel 10 "$2" "${@:3}"; }
on_wayland=(QT_QPA_PLATFORM= WAYLAND_DISPLAY=wayland-e2e-none)

# --- nothing running: the reason alone each time (no warning from the D-Bus types at exit) ---
runs=$(for run in $(seq 50); do remote --next; paste -sd'|' <<<"$REMOTE"; done | sort | uniq -c)
e2e_check_match "--next with no program, 50 runs: status 1 and the reason alone each time" \
    '^ *50 1 zorvane: no Zorvane is running[^|]*$' "$runs"
e2e_check "--next with no program: no window" e2e_no_window Zorvane

# --- the name held by a process that is not Zorvane: the desktop stand-ins take it ---
e2e_spawn holder.log ready /usr/bin/python3 "$E2E_LIB_DIR/../desktop/standins.py"
holder=$E2E_SPAWNED
gdbus call --session -d org.zorvane.TestControl -o /control -m org.zorvane.TestControl.Own org.zorvane.Zorvane true \
    >/dev/null || e2e_abort "the stand-in could not take the name"
e2e_start_program
e2e_check_stderr "name held elsewhere: the program runs and says where commands go" \
    "^zorvane: process $holder already owns org.zorvane.Zorvane on the session bus: remote commands"
remote --next
e2e_check_match "--next to a holder that is not Zorvane: status 1 and the reason" \
    '^1 zorvane: the owner of org.zorvane.Zorvane did not take the command' "$REMOTE"
e2e_expect_panel 3 "the panel did not move" name= vpos=0
e2e_stop_program
kill "$holder"

e2e_start_program "${on_wayland[@]}"
first=$E2E_APP_PID first_panel=$panel
e2e_check_stderr "WAYLAND_DISPLAY and DISPLAY set: on X, telling how to bind the commands" \
    'only while an X11 program has the focus.*zorvane --next'
expect_panel --next "from start-up" name=2.jpg selected=2.jpg vpos=0
# No compositor behind WAYLAND_DISPLAY: the page window shows the page, and the user is told.
e2e_page_shown "no Wayland connection"
e2e_check_stderr "no Wayland connection: the user is told" \
    'page is shown as an Xwayland window: no connection to the Wayland display "wayland-e2e-none"'

# --- a second program says where the commands go, and they still go there ---
e2e_start_program "${on_wayland[@]}"
e2e_check_stderr "second program: says the first takes the remote commands" \
    "zorvane: process $first already owns org.zorvane.Zorvane"
e2e_check_eq "the hint is told once per session, not by the second program" "" \
    "$(grep 'X11 program' "$E2E_APP_STDERR")"
e2e_check_eq "two panels" 2 "$(xdotool search --onlyvisible --name '\(Zorvane\)' | wc -l)"
e2e_term_ends "the second program"
E2E_APP_PID=$first panel=$first_panel

# --- nested in a message box, as the hotkey is (--scroll-down and --scroll-up: e2e_sway) ---
expect_panel --next "to the last page" name=3.jpg
remote --next
e2e_check_eq "--next at the last page exits with 0" "0 " "$REMOTE"
box=$(xs_wait_window '^Image Preview$' 10) || e2e_abort "--next at the last page: no 'Image Preview' message box"
expect_panel --prev "while the message box is open" name=2.jpg selected=2.jpg
e2e_check "the message box is still open: the command ran nested" eval '! xs_wait_for 3 e2e_no_window "^Image Preview\$"'
e2e_screenshot nested >/dev/null
e2e_dismiss "$box" 'Image Preview' "end of list"
e2e_expect_panel 5 "after the box" name=2.jpg selected=2.jpg
e2e_stop_program

e2e_finish
