# Shared helpers of the end-to-end tests. A test (called as TEST ZORVANE MAKE_PAGES
# OUT_DIR) sources this file and calls e2e_init "$@": it then runs on a private session
# bus, in a temporary working folder holding its own copy of the program and its pages.
# What it starts is stopped by PID at exit; checks print "ok ..." or "FAIL ...".

set -u

E2E_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$E2E_LIB_DIR/../../scripts/xsession.sh"
E2E_NAME=$(basename "$0" .sh)
E2E_PASSED=0
E2E_FAILED=0
E2E_STARTS=0
E2E_APP_PID=

e2e_init() {
    [ $# -ge 3 ] || { echo "usage: $0 ZORVANE_BINARY MAKE_PAGES_BINARY OUTPUT_DIR" >&2; exit 2; }
    E2E_ZORVANE=$(realpath "$1")
    E2E_MAKE_PAGES=$(realpath "$2")
    E2E_OUT=$(realpath -m "$3")
    # The whole test runs again inside a session bus of its own that can start the
    # accessibility bus and nothing else (no desktop service of this machine).
    if [ -z "${E2E_IN_SESSION:-}" ]; then
        local status
        E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-e2e.XXXXXX")
        mkdir -m 700 "$E2E_WORK/runtime" "$E2E_WORK/services"
        cp /usr/share/dbus-1/services/org.a11y.Bus.service "$E2E_WORK/services/"
        sed "s|</busconfig>|  <servicedir>$E2E_WORK/services</servicedir>\n</busconfig>|" \
            "$E2E_LIB_DIR/../desktop/private-bus.conf" >"$E2E_WORK/bus.conf"
        E2E_IN_SESSION=1 E2E_WORK=$E2E_WORK XDG_RUNTIME_DIR=$E2E_WORK/runtime \
            dbus-run-session --config-file="$E2E_WORK/bus.conf" -- bash "$0" "$@"
        status=$?
        rm -rf "$E2E_WORK"
        exit $status
    fi
    XS_WORK=$E2E_WORK
    E2E_APP_DIR=$E2E_WORK/app
    mkdir -p "$E2E_OUT" "$E2E_APP_DIR"
    cd "$E2E_WORK" || exit 1 # a folder the user running the test may enter
}

# e2e_rerun_unprivileged ZORVANE MAKE_PAGES OUT_DIR [FOLDER...]: Wayland compositors
# refuse root. As root, runs the test again as nobody from a staged copy of the tests,
# the programs and each FOLDER (then at $E2E_EXTRA/<its name>), copies the screenshots
# back and exits with the test's status.
e2e_rerun_unprivileged() {
    local src stage status
    E2E_EXTRA=${E2E_STAGE:+$E2E_STAGE/extra}
    [ "$(id -u)" -eq 0 ] && [ -z "${E2E_STAGE:-}" ] || return 0
    # The X sockets' folder, as a system makes it at boot: made by the compositor itself
    # (as nobody, under its umask) it fails GNOME Shell's own check when Xwayland starts.
    [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
    src=$(cd "$E2E_LIB_DIR/../.." && pwd)
    stage=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-${E2E_NAME#e2e_}.XXXXXX")
    mkdir -p "$stage/src/tests" "$stage/src/scripts" "$stage/bin" "$stage/shots" "$stage/extra"
    cp -r "$src/tests/e2e" "$src/tests/desktop" "$stage/src/tests/"
    cp "$src/scripts/xsession.sh" "$stage/src/scripts/"
    cp "$1" "$2" "$stage/bin/"
    cp -r "${@:4}" "$stage/extra/" 2>/dev/null
    chown -R 65534:65534 "$stage" && chmod 755 "$stage"
    (cd "$stage" && HOME=$stage E2E_STAGE=$stage setpriv --reuid=65534 --regid=65534 \
        --clear-groups bash "$stage/src/tests/e2e/$E2E_NAME.sh" "$stage/bin/"{zorvane,make_pages} \
        "$stage/shots")
    status=$?
    mkdir -p "$3"
    cp "$stage"/shots/*.png "$3"/ 2>/dev/null
    rm -rf "$stage"
    exit $status
}

trap xs_cleanup EXIT
trap 'echo "FAIL interrupted"; exit 130' INT TERM

e2e_log() { echo "# $*"; }
e2e_ok() { E2E_PASSED=$((E2E_PASSED + 1)); echo "ok $*"; }
e2e_fail() { E2E_FAILED=$((E2E_FAILED + 1)); echo "FAIL $*"; }

# e2e_check WHAT COMMAND..., e2e_check_eq WHAT EXPECTED ACTUAL, e2e_check_match WHAT REGEX ACTUAL
e2e_check() { if "${@:2}"; then e2e_ok "$1"; else e2e_fail "$1"; fi; }
e2e_check_eq() { if [ "$2" == "$3" ]; then e2e_ok "$1"; else e2e_fail "$1: expected [$2], got [$3]"; fi; }
e2e_check_match() { if [[ $3 =~ $2 ]]; then e2e_ok "$1"; else e2e_fail "$1: [$3] does not match /$2/"; fi; }

# e2e_check_stderr WHAT REGEX: the program's last start wrote a match to standard error.
e2e_check_stderr() { e2e_check_match "$1" "$2" "$(cat "$E2E_APP_STDERR")"; }

# e2e_check_file_bytes WHAT FILE PRINTF_FORMAT: the file holds exactly these bytes.
e2e_check_file_bytes() {
    # shellcheck disable=SC2059
    e2e_check_eq "$1" "$(printf "$3" | od -An -c | tr -s ' ')" "$(od -An -c "$2" 2>&1 | tr -s ' ')"
}

# Prints the totals (and the program's output after a failure); exits 0 only when all passed.
e2e_finish() {
    [ "$E2E_FAILED" -eq 0 ] || [ -z "${E2E_WORK:-}" ] ||
        { echo "--- program output ---"; cat "$E2E_WORK"/app.log "$E2E_WORK"/stderr-*.txt 2>/dev/null; }
    echo "$E2E_NAME: $E2E_PASSED passed, $E2E_FAILED failed"
    [ "$E2E_FAILED" -eq 0 ] && [ "$E2E_PASSED" -gt 0 ]
    exit $?
}

# e2e_abort WHY: a step the rest depends on failed.
e2e_abort() { e2e_fail "$*"; e2e_finish; }

# e2e_start_x [--compositor]: xs_start_x and the typist's idle xterm (XS_TYPIST).
e2e_start_x() { xs_start_x "$@" || e2e_abort "$XS_ERROR"; xs_start_typist e2e-typist || e2e_abort "$XS_ERROR"; }

# e2e_start_recorder GEOMETRY: the typist's terminal (window id in typist) writes every
# byte its keyboard sends to the file $keys, created once raw mode is on.
e2e_start_recorder() {
    keys=$E2E_WORK/keys.bin
    xs_start_xterm e2e-keys "$1" sh -c 'stty raw -echo && exec cat >"$0"' "$keys" || e2e_abort "$XS_ERROR"
    typist=$XS_LAST_XTERM
    xs_wait_managed "$typist" && xs_wait_for 10 test -e "$keys" || e2e_abort "the recording terminal did not start"
}
keys_size() { stat -c %s "$keys"; }

# e2e_spawn LOG READY COMMAND...: starts a helper (PID in E2E_SPAWNED) and waits until
# it writes the line READY to LOG.
e2e_spawn() {
    local log=$1 ready=$2
    shift 2
    "$@" >"$log" 2>&1 &
    E2E_SPAWNED=$!
    xs_track "$E2E_SPAWNED"
    xs_wait_for 10 grep -qx "$ready" "$log" || e2e_abort "$* did not start: $(cat "$log")"
}

# more_than COUNTER N [ARGS...]: the command COUNTER ARGS prints a number above N.
more_than() { [ "$("$1" "${@:3}")" -gt "$2" ]; }

# e2e_add_pages NAME...: a generated page (numbered in the order given) under each NAME.
e2e_add_pages() {
    local gen=$E2E_WORK/generated i=1 name
    "$E2E_MAKE_PAGES" --out "$gen" --count $# --width 1024 >/dev/null || e2e_abort "make_pages failed"
    for name; do cp "$gen/$i.jpg" "$E2E_APP_DIR/$name"; i=$((i + 1)); done
}

# e2e_start_program [ENV=VALUE...] [-- COMMAND...]: starts the program (by default the
# copy in its folder) in that folder, readable through the accessibility bus, and waits
# for its panel to be read. Sets E2E_APP_PID, E2E_APP_STDERR (one file a start) and,
# unless E2E_NO_X_PANEL is set (no X window manager to wait on), panel and panel_origin.
e2e_start_program() {
    local env=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do env+=("$1"); shift; done
    shift
    if [ $# -eq 0 ]; then
        # A second program runs the same copy: the file of a running program cannot be replaced.
        [ -e "$E2E_APP_DIR/zorvane" ] || cp "$E2E_ZORVANE" "$E2E_APP_DIR/zorvane"
        set -- ./zorvane
    fi
    E2E_STARTS=$((E2E_STARTS + 1))
    E2E_APP_STDERR=$E2E_WORK/stderr-$E2E_STARTS.txt
    (cd "$E2E_APP_DIR" && exec env QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "${env[@]}" "$@") \
        >>"$E2E_WORK/app.log" 2>"$E2E_APP_STDERR" &
    E2E_APP_PID=$!
    xs_track "$E2E_APP_PID"
    if [ -z "${E2E_NO_X_PANEL:-}" ]; then
        panel=$(xs_wait_window '\(Zorvane\)' 30) || e2e_abort "the panel window did not appear"
        xs_wait_managed "$panel" || e2e_fail "the window manager did not manage the panel within 10 s"
    fi
    e2e_wait_panel 30 vpos=0 || e2e_abort "the panel could not be read: [$E2E_PANEL_STATE] $(cat "$E2E_APP_STDERR")"
    [ -n "${E2E_NO_X_PANEL:-}" ] || panel_origin=$(xs_geometry "$panel" | cut -d' ' -f1)
}

# e2e_ended WHAT [STATUS]: the program ends within 20 s with STATUS (0 by default).
e2e_ended() {
    xs_wait_exit "$E2E_APP_PID" 20 || { e2e_fail "$1: the program still runs 20 s later"; return; }
    e2e_check_eq "$1: the program ends with status ${2:-0}" "${2:-0}" "$XS_EXIT_STATUS"
}

# e2e_stop_program [WHAT]: closes the panel as the window manager does; the program ends.
e2e_stop_program() { xs_close_window "$panel"; e2e_ended "${1:+$1: }panel closed"; }

# e2e_term_ends WHAT: SIGTERM ends the program within 2 s (else it is waited for, so
# that the next start runs alone).
e2e_term_ends() {
    kill -TERM "$E2E_APP_PID"
    if xs_wait_exit "$E2E_APP_PID" 2; then
        e2e_ok "SIGTERM $1: ended within 2 s"
    else
        e2e_fail "SIGTERM $1: still running 2 s later"
        xs_wait_exit "$E2E_APP_PID" 10
    fi
}

# e2e_click_panel X Y: a click at a point of the panel's client area.
e2e_click_panel() { xdotool mousemove $((${panel_origin%,*} + $1)) $((${panel_origin#*,} + $2)) click 1; }

# e2e_page_window: the page window's X id (it can change: look it up anew).
e2e_page_window() { xdotool search --onlyvisible --name '^Form2$' 2>/dev/null | head -n 1; }

# e2e_above HIGH LOW: window HIGH lies above window LOW in the stacking order.
e2e_above() {
    local order
    order=$(xs_stacking | sed 's/.*/ & /' | tr -d '\n') # each id between spaces of its own
    [ -n "$1" ] && [ -n "$2" ] && [[ $order == *" $2 "*" $1 "* ]]
}

e2e_no_window() { [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ]; }
e2e_page_shown() { e2e_check "$1: the page window is shown" xs_wait_for 15 eval '[ -n "$(e2e_page_window)" ]'; }

# e2e_open_help [X Y]: the help button (at X Y of the panel) opens the help window (id in help).
e2e_open_help() {
    e2e_click_panel "${1:-376}" "${2:-35}"
    help=$(xs_wait_window '^How to use$' 10) || e2e_abort "the help button did not open the help window"
    xs_wait_managed "$help" || true
}
e2e_close_help() {
    xs_close_window "$help"
    xs_wait_for 10 e2e_no_window '^How to use$' || e2e_fail "the help window did not close"
}

# e2e_dismiss ID TITLE WHAT: Return in the message box ID closes it.
e2e_dismiss() {
    xs_activate "$1" || true
    xdotool key Return
    xs_wait_for 5 e2e_no_window "^$2\$" || e2e_fail "$3: the message is still open after Return"
}

# e2e_message TITLE REGEX WHAT: a message box TITLE opens within 5 s, saying REGEX; Return closes it.
e2e_message() {
    local box
    box=$(xs_wait_window "^$1\$" 5) || { e2e_fail "$3: no message within 5 s"; return; }
    e2e_check_match "$3: the message" "$2" "$(e2e_alert "$1")"
    e2e_dismiss "$box" "$1" "$3"
}

# e2e_atspi [ARGS...]: the program's accessible tree, one line per object.
e2e_atspi() { /usr/bin/python3 "$E2E_LIB_DIR/atspi_dump.py" --pid "$E2E_APP_PID" "$@"; }

# e2e_control_center NAME: "X Y", the middle of the program's control of that name on
# the screen (for desktops where xdotool cannot click).
e2e_control_center() {
    e2e_atspi --timeout 5 --extents | awk -F' \\| ' -v name="$1" '
        $2 == name && $5 != "" { split($5, p, /[, x]/); print int(p[1] + p[3] / 2), int(p[2] + p[4] / 2); found = 1; exit }
        END { exit !found }'
}

# e2e_list_items TREE: the page list's entries in a tree from e2e_atspi, on one line.
e2e_list_items() { awk -F' \\| ' '$1 ~ /^ *list item$/ { print $2 }' <<<"$1" | paste -sd' '; }

# e2e_screenshot NAME: saves the screen as OUT_DIR/<test>_NAME.png and prints the path.
e2e_screenshot() { "$E2E_GRAB" "$E2E_OUT/${E2E_NAME}_$1.png"; echo "$E2E_OUT/${E2E_NAME}_$1.png"; }

E2E_GRAB=xs_screenshot # saves the whole screen to the file it is given

# e2e_view_matches PAGE OFFSET [ALPHA [ROWS]]: the page window (at 0,80) shows PAGE moved
# up by OFFSET pixels, blended at ALPHA/255 (default 255) over the screenshot $before;
# when blended, left of x=690 only (a terminal there changes when it gets the focus).
e2e_view_matches() {
    local page=$E2E_APP_DIR/$1 alpha=${3:-255} rows=${4:-320} width=1024 now=$E2E_WORK/now.png expected
    expected="${width}x$rows+0+$((20 + $2))"
    "$E2E_GRAB" "$now" || return 1
    if [ "$alpha" -ne 255 ]; then
        width=690
        convert \( "$before" -crop "${width}x$rows+0+100" +repage \) \
            \( "$page" -crop "${width}x$rows+0+$((20 + $2))" +repage \) -compose blend \
            -define compose:args=$(awk -v a="$alpha" 'BEGIN { print a * 100 / 255 }') \
            -composite "$E2E_WORK/expected.png"
        page=$E2E_WORK/expected.png expected="${width}x$rows+0+0"
    fi
    e2e_alike "$now" "${width}x$rows+0+100" "$page" "$expected"
}

# e2e_alike IMAGE CROP IMAGE CROP: the two crops differ by an RMSE (LAST_RMSE) under 0.01.
e2e_alike() {
    LAST_RMSE=$(convert \( "$1" -crop "$2" +repage \) \( "$3" -crop "$4" +repage \) \
        -metric RMSE -compare -format '%[distortion]' info:)
    awk -v d="$LAST_RMSE" 'BEGIN { exit !(d != "" && d < 0.01) }'
}

# e2e_screen_as_before: the screen's rows 100 to 700 are as in the screenshot $before.
e2e_screen_as_before() { "$E2E_GRAB" "$E2E_WORK/now.png" && e2e_alike "$before" 1024x600+0+100 "$E2E_WORK/now.png" 1024x600+0+100; }

# e2e_check_view WHAT PAGE OFFSET [ALPHA [ROWS]]: the screen comes to show so within 10 s.
e2e_check_view() {
    if xs_wait_for 10 e2e_view_matches "${@:2}"; then e2e_ok "$1: screen shows $2 moved up by $3"
    else e2e_fail "$1: screen differs from $2 moved up by $3 (RMSE $LAST_RMSE)"; fi
}

# e2e_panel_state: the panel as a screen reader reads it, one key=value a line: name (the
# name box), selected (the list's), opacity and vpos (the scroll bars), layout (the button).
e2e_panel_state() {
    e2e_atspi --timeout 5 | awk -F' \\| ' '
        $1 ~ /^ *text$/ && $2 == "Page name" { print "name=" $3 }
        $1 ~ /^ *list item$/ && $4 ~ /(^|,)selected(,|$)/ { print "selected=" $2 }
        $1 ~ /^ *scroll bar$/ && $2 == "Opacity" { print "opacity=" $3 }
        $1 ~ /^ *scroll bar$/ && $2 == "Vertical position" { print "vpos=" $3 }
        $1 ~ /^ *push button$/ && tolower($2) ~ /screen [12]$/ { print "layout=" $2 }'
}

# e2e_wait_panel SECONDS KEY=VALUE...: waits until the panel's state holds each KEY=VALUE;
# the last state read is left in E2E_PANEL_STATE.
e2e_wait_panel() { xs_wait_for "$1" e2e_panel_holds "${@:2}"; }
e2e_panel_holds() {
    local state want
    state=$(e2e_panel_state 2>/dev/null)
    E2E_PANEL_STATE=$(paste -sd' ' <<<"$state")
    for want; do grep -qxF -- "$want" <<<"$state" || return 1; done
}

# e2e_expect_panel SECONDS WHAT KEY=VALUE...: a check that e2e_wait_panel passes.
e2e_expect_panel() {
    if e2e_wait_panel "$1" "${@:3}"; then e2e_ok "$2: panel reads ${*:3}"
    else e2e_fail "$2: expected ${*:3}, panel reads [$E2E_PANEL_STATE]"; fi
}

# e2e_keys WHAT KEYS KEY=VALUE...: xdotool presses KEYS; the panel comes to read each KEY=VALUE within 10 s.
# shellcheck disable=SC2086
e2e_keys() { xdotool key $2; e2e_expect_panel 10 "$1" "${@:3}"; }

# e2e_alert TITLE: the text of the open message box TITLE as a screen reader reads it.
e2e_alert() {
    e2e_atspi --timeout 5 | awk -F' \\| ' -v title="$1" '
        $1 ~ /^ *alert$/ { inside = ($2 == title); next }
        $1 ~ /^  [a-z]/ { inside = 0 }
        inside && $1 ~ /^ *label$/ && $2 != "" { print $2; found = 1; exit }
        END { exit !found }'
}

# e2e_quiet_box_takes_keys BOX TITLE: the message box BOX, shown without the focus,
# takes it when clicked, and Return then closes it.
e2e_quiet_box_takes_keys() {
    local bx by
    read -r bx by _ < <(xs_geometry "$1" | tr ',x' '  ')
    xdotool mousemove $((bx + 10)) $((by + 10)) click 1
    e2e_check "a click on the quiet message gives it the focus" xs_wait_for 10 xs_is_active "$1"
    xdotool key Return
    e2e_check "Return then closes it" xs_wait_for 10 e2e_no_window "^$2\$"
}
