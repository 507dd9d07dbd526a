# Shared helpers for the end-to-end tests: each test sources this file, gets a
# private X server (Xvfb + openbox, optionally picom; from scripts/xsession.sh),
# a private session bus and a temporary folder holding its own copy of the
# program and its pages.
#
#   source lib.sh; e2e_init "$@"   (a test is called as: TEST ZORVANE MAKE_PAGES OUT_DIR)
#
# Everything started here is stopped by PID when the test exits, and the
# temporary folder is removed. Checks print "ok ..." or "FAIL ..." lines and
# e2e_finish prints the totals and sets the exit status.

set -u

E2E_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$E2E_LIB_DIR/../../scripts/xsession.sh"
E2E_NAME=$(basename "$0" .sh)
E2E_PASSED=0
E2E_FAILED=0
E2E_APP_PID=

# e2e_init ZORVANE MAKE_PAGES OUT_DIR: a test's first call, with its arguments.
e2e_init() {
    if [ $# -lt 3 ]; then
        echo "usage: $0 ZORVANE_BINARY MAKE_PAGES_BINARY OUTPUT_DIR" >&2
        exit 2
    fi
    E2E_ZORVANE=$(realpath "$1")
    E2E_MAKE_PAGES=$(realpath "$2")
    E2E_OUT=$3

    # The program and the accessibility reader must share one session bus
    # that nobody else uses: run the whole test again inside its own
    # dbus-run-session, with a private runtime folder (the bus and Qt both put
    # sockets there). That bus can start the accessibility bus and nothing
    # else: a desktop service installed on the machine must not start in a test.
    if [ -z "${E2E_IN_SESSION:-}" ]; then
        local status
        E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-e2e.XXXXXX")
        mkdir -m 700 "$E2E_WORK/runtime"
        mkdir "$E2E_WORK/services"
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
}

# e2e_rerun_unprivileged ZORVANE MAKE_PAGES OUT_DIR [FOLDER...]: Wayland compositors
# refuse to run as root. As root, runs the calling test again as an unprivileged user
# from a folder of its own holding copies of the tests, the two programs and each
# FOLDER (as $E2E_STAGE/extra/<its name>), since the checkout may not be readable to
# that user, copies the screenshots back and exits with the test's status. Otherwise
# it returns, with E2E_EXTRA naming where the FOLDERs are.
e2e_rerun_unprivileged() {
    local src stage status folder
    E2E_EXTRA=${E2E_STAGE:+$E2E_STAGE/extra}
    if [ "$(id -u)" -ne 0 ] || [ -n "${E2E_STAGE:-}" ]; then
        return 0
    fi
    [ $# -ge 3 ] || { echo "usage: $0 ZORVANE MAKE_PAGES OUTPUT_DIR" >&2; exit 2; }
    src=$(cd "$E2E_LIB_DIR/../.." && pwd)
    stage=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-${E2E_NAME#e2e_}.XXXXXX")
    mkdir -p "$stage/src/tests" "$stage/src/scripts" "$stage/bin" "$stage/shots" "$stage/extra"
    cp -r "$src/tests/e2e" "$src/tests/desktop" "$stage/src/tests/"
    cp "$src/scripts/xsession.sh" "$stage/src/scripts/"
    cp "$1" "$2" "$stage/bin/"
    for folder in "${@:4}"; do cp -r "$folder" "$stage/extra/"; done
    chown -R 65534:65534 "$stage"
    chmod 755 "$stage"
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

# --- checks -----------------------------------------------------------------

e2e_log() { echo "# $*"; }
e2e_ok() { E2E_PASSED=$((E2E_PASSED + 1)); echo "ok $*"; }
e2e_fail() { E2E_FAILED=$((E2E_FAILED + 1)); echo "FAIL $*"; }

# e2e_check WHAT COMMAND...: passes when COMMAND succeeds.
e2e_check() {
    local what=$1
    shift
    if "$@"; then e2e_ok "$what"; else e2e_fail "$what"; fi
}

# e2e_check_eq WHAT EXPECTED ACTUAL
e2e_check_eq() {
    if [ "$2" == "$3" ]; then e2e_ok "$1"; else e2e_fail "$1: expected [$2], got [$3]"; fi
}

# e2e_check_match WHAT REGEX ACTUAL
e2e_check_match() {
    if [[ $3 =~ $2 ]]; then e2e_ok "$1"; else e2e_fail "$1: [$3] does not match /$2/"; fi
}

# e2e_check_file_bytes WHAT FILE PRINTF_FORMAT: the file holds exactly these bytes.
e2e_check_file_bytes() {
    # shellcheck disable=SC2059
    e2e_check_eq "$1" "$(printf "$3" | od -An -c | tr -s ' ')" "$(od -An -c "$2" 2>&1 | tr -s ' ')"
}

# Prints the totals (after the program's output when a check failed) and exits
# 0 only when every check passed.
e2e_finish() {
    if [ "$E2E_FAILED" -gt 0 ] && [ -n "${E2E_WORK:-}" ]; then
        echo "--- program output ---"
        cat "$E2E_WORK"/app.log "$E2E_WORK"/stderr-*.txt 2>/dev/null
    fi
    echo "$E2E_NAME: $E2E_PASSED passed, $E2E_FAILED failed"
    [ "$E2E_FAILED" -eq 0 ] && [ "$E2E_PASSED" -gt 0 ]
    exit $?
}

# Stops the test at once when a step that the rest depends on fails.
e2e_abort() {
    e2e_fail "$*"
    e2e_finish
}

# --- the session ------------------------------------------------------------

# e2e_start_x [--compositor]: xs_start_x and the typist's xterm (XS_TYPIST),
# or the test stops with the reason.
e2e_start_x() {
    xs_start_x "$@" || e2e_abort "$XS_ERROR"
    xs_start_typist e2e-typist || e2e_abort "$XS_ERROR"
}

# e2e_start_recorder GEOMETRY: the typist's terminal that records every byte
# its keyboard sends (raw mode, no echo) in the file $keys, created once raw
# mode is on; its window id goes to typist.
e2e_start_recorder() {
    keys=$E2E_WORK/keys.bin
    xs_start_xterm e2e-keys "$1" sh -c 'stty raw -echo && exec cat >"$0"' "$keys" || e2e_abort "$XS_ERROR"
    typist=$XS_LAST_XTERM
    xs_wait_managed "$typist" && xs_wait_for 10 test -e "$keys" || e2e_abort "the recording terminal did not start"
}
keys_size() { stat -c %s "$keys"; }
keys_bigger_than() { [ "$(keys_size)" -gt "$1" ]; }

# e2e_spawn LOG READY COMMAND...: starts a helper process (its PID goes to
# E2E_SPAWNED) and waits until it writes the line READY to LOG.
e2e_spawn() {
    local log=$1 ready=$2
    shift 2
    "$@" >"$log" 2>&1 &
    E2E_SPAWNED=$!
    xs_track "$E2E_SPAWNED"
    xs_wait_for 10 grep -qx "$ready" "$log" || e2e_abort "$* did not start: $(cat "$log")"
}

# --- the program under test -------------------------------------------------

# e2e_add_pages NAME...: puts one generated page (numbered 1, 2, ... in the
# order given) into the program's folder under each NAME.
e2e_add_pages() {
    local gen=$E2E_WORK/generated i=1 name
    "$E2E_MAKE_PAGES" --out "$gen" --count $# --width 1024 >/dev/null ||
        e2e_abort "make_pages failed"
    for name in "$@"; do
        cp "$gen/$i.jpg" "$E2E_APP_DIR/$name"
        i=$((i + 1))
    done
}

# e2e_start_program [ENV=VALUE...] [-- COMMAND...]: starts the program (by
# default the copy in its folder, run there) on X, readable through the
# accessibility bus, and waits for its panel, managed and readable. Sets
# E2E_APP_PID, panel (its window id), panel_origin and E2E_APP_STDERR (a file
# of its own for each start).
E2E_STARTS=0
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
    panel=$(xs_wait_window '\(Zorvane\)' 30) || e2e_abort "the panel window did not appear"
    xs_wait_managed "$panel" || e2e_fail "openbox did not manage the panel within 10 s"
    e2e_wait_panel 20 vpos=0 || e2e_abort "the panel could not be read: [$E2E_PANEL_STATE]"
    panel_origin=$(xs_geometry "$panel" | cut -d' ' -f1)
}

# e2e_stop_program [WHAT]: closes the panel as the window manager does; the
# program must end with status 0.
e2e_stop_program() {
    xs_close_window "$panel"
    if xs_wait_exit "$E2E_APP_PID" 20; then
        e2e_check_eq "${1:+$1: }program exits with status 0 after the panel closes" 0 "$XS_EXIT_STATUS"
    else
        e2e_fail "${1:+$1: }program still running 20 s after the panel was closed"
    fi
}

# e2e_term_ends WHAT: SIGTERM ends the program within 2 s.
e2e_term_ends() {
    local n=0
    kill -TERM "$E2E_APP_PID"
    while kill -0 "$E2E_APP_PID" 2>/dev/null && [ $((n++)) -lt 20 ]; do sleep 0.1; done
    e2e_check "SIGTERM $1: ended within 2 s" xs_wait_exit "$E2E_APP_PID" 0
}

# e2e_click_panel X Y: a click at a point of the panel's client area.
e2e_click_panel() {
    xdotool mousemove $((${panel_origin%,*} + $1)) $((${panel_origin#*,} + $2)) click 1
}

# e2e_page_window: the page window's X id (it can change: look it up anew).
e2e_page_window() { xdotool search --onlyvisible --name '^Form2$' 2>/dev/null | head -n 1; }

# e2e_above HIGH LOW: window HIGH lies above window LOW in the stacking order.
e2e_above() {
    local order
    order=$(xs_stacking | sed 's/.*/ & /' | tr -d '\n') # each id between spaces of its own
    [ -n "$1" ] && [ -n "$2" ] && [[ $order == *" $2 "*" $1 "* ]]
}

# e2e_no_window NAME_REGEX: no visible window has such a name.
e2e_no_window() { [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ]; }

# e2e_dismiss ID TITLE WHAT: Return in the message box ID closes it.
e2e_dismiss() {
    xs_activate "$1" || true
    xdotool key Return
    xs_wait_for 5 e2e_no_window "^$2\$" || e2e_fail "$3: the message is still open after Return"
}

# e2e_atspi [ARGS...]: the program's accessible tree, one line per object.
e2e_atspi() {
    /usr/bin/python3 "$E2E_LIB_DIR/atspi_dump.py" --pid "$E2E_APP_PID" "$@"
}

# e2e_control_center NAME: "X Y", the middle of the program's control of that
# name on the screen (for desktops where xdotool cannot click).
e2e_control_center() {
    e2e_atspi --timeout 5 --extents | awk -F' \\| ' -v name="$1" '
        $2 == name && $5 != "" { split($5, p, /[, x]/); print int(p[1] + p[3] / 2), int(p[2] + p[4] / 2); found = 1; exit }
        END { exit !found }'
}

# e2e_list_items TREE: the page list's entries in a tree from e2e_atspi, on one line.
e2e_list_items() { awk -F' \\| ' '$1 ~ /^ *list item$/ { print $2 }' <<<"$1" | paste -sd' '; }

# --- pictures ---------------------------------------------------------------

# e2e_screenshot NAME [CROP]: saves the screen (or WxH+X+Y of it) as
# OUT_DIR/<test>_NAME.png and prints the path.
e2e_screenshot() {
    local file=$E2E_OUT/${E2E_NAME}_$1.png
    xs_screenshot "$file" "${2:-}"
    echo "$file"
}

# e2e_pixel_hex FILE X Y: the pixel as RRGGBB.
e2e_pixel_hex() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6; }

# E2E_GRAB: the command that saves the whole screen to the file it is given.
E2E_GRAB=e2e_grab_x
e2e_grab_x() { import -window root "$1" 2>/dev/null; }

# e2e_view_matches PAGE OFFSET [ALPHA [ROWS]]: the half-screen page window
# (at 0,80) shows PAGE moved up by OFFSET pixels, blended at ALPHA/255 (255
# by default) over the screenshot $before. Its rows 20.. are compared, left of
# x=690 when blended (a terminal there changes when it gets the focus).
# LAST_RMSE holds the difference found (root mean square, 0 to 1).
e2e_view_matches() {
    local page=$E2E_APP_DIR/$1 alpha=${3:-255} rows=${4:-320} width=1024 now=$E2E_WORK/now.png
    local expected="${width}x$rows+0+$((20 + $2))"
    "$E2E_GRAB" "$now" || return 1
    if [ "$alpha" -ne 255 ]; then
        width=690
        convert \( "$before" -crop "${width}x$rows+0+100" +repage \) \
            \( "$page" -crop "${width}x$rows+0+$((20 + $2))" +repage \) -compose blend \
            -define compose:args=$(awk -v a="$alpha" 'BEGIN { print a * 100 / 255 }') \
            -composite "$E2E_WORK/expected.png"
        page=$E2E_WORK/expected.png expected="${width}x$rows+0+0"
    fi
    LAST_RMSE=$(convert \( "$now" -crop "${width}x$rows+0+100" +repage \) \
        \( "$page" -crop "$expected" +repage \) -metric RMSE -compare -format '%[distortion]' info:)
    awk -v d="$LAST_RMSE" 'BEGIN { exit !(d != "" && d < 0.01) }'
}

# e2e_screen_as_before: the screen's rows 100 to 700 are as in the screenshot $before.
e2e_screen_as_before() {
    local now=$E2E_WORK/now.png
    "$E2E_GRAB" "$now" || return 1
    awk -v d="$(convert \( "$before" -crop 1024x600+0+100 +repage \) \( "$now" -crop 1024x600+0+100 +repage \) \
        -metric RMSE -compare -format '%[distortion]' info:)" 'BEGIN { exit !(d != "" && d < 0.01) }'
}

# e2e_check_view WHAT PAGE OFFSET [ALPHA [ROWS]]: a check that the screen comes to show so.
e2e_check_view() {
    local what=$1
    shift
    if xs_wait_for 10 e2e_view_matches "$@"; then
        e2e_ok "$what: screen shows $1 moved up by $2"
    else
        e2e_fail "$what: screen differs from $1 moved up by $2 (RMSE $LAST_RMSE)"
    fi
}

# --- the panel's state ------------------------------------------------------

# e2e_panel_state: the panel's controls as a screen reader reads them, one
# key=value a line: name (the name box), selected (the selected page), opacity
# and vpos (the two scroll bars), layout (the layout button's caption).
e2e_panel_state() {
    e2e_atspi --timeout 5 | awk -F' \\| ' '
        $1 ~ /^ *text$/ && $2 == "Page name" { print "name=" $3 }
        $1 ~ /^ *list item$/ && $4 ~ /(^|,)selected(,|$)/ { print "selected=" $2 }
        $1 ~ /^ *scroll bar$/ && $2 == "Opacity" { print "opacity=" $3 }
        $1 ~ /^ *scroll bar$/ && $2 == "Vertical position" { print "vpos=" $3 }
        $1 ~ /^ *push button$/ && tolower($2) ~ /screen [12]$/ { print "layout=" $2 }'
}

# e2e_wait_panel SECONDS KEY=VALUE...: waits until the panel's state holds
# every KEY=VALUE given; the last state read is left in E2E_PANEL_STATE.
e2e_wait_panel() {
    local deadline=$((SECONDS + $1)) want state missing
    shift
    while :; do
        state=$(e2e_panel_state 2>/dev/null)
        missing=0
        for want in "$@"; do
            grep -qxF -- "$want" <<<"$state" || missing=1
        done
        E2E_PANEL_STATE=$(paste -sd' ' <<<"$state")
        [ $missing -eq 0 ] && return 0
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

# e2e_expect_panel SECONDS WHAT KEY=VALUE...: a check that e2e_wait_panel passes.
e2e_expect_panel() {
    local seconds=$1 what=$2
    shift 2
    if e2e_wait_panel "$seconds" "$@"; then
        e2e_ok "$what: panel reads $*"
    else
        e2e_fail "$what: expected $*, panel reads [$E2E_PANEL_STATE]"
    fi
}

# e2e_alert TITLE [BUTTON]: prints the text of the program's open message box
# with that title, as a screen reader reads it, or clicks its BUTTON (by
# caption); fails when there is none.
e2e_alert() {
    local found
    found=$(e2e_atspi --timeout 5 ${2:+--extents} | awk -F' \\| ' -v title="$1" -v button="${2:-}" '
        $1 ~ /^ *alert$/ { inside = ($2 == title); next }
        $1 ~ /^  [a-z]/ { inside = 0 }
        inside && button == "" && $1 ~ /^ *label$/ && $2 != "" { print $2; found = 1; exit }
        inside && button != "" && $1 ~ /^ *push button$/ && $2 == button {
            split($5, p, /[, x]/); print int(p[1] + p[3] / 2), int(p[2] + p[4] / 2); found = 1; exit }
        END { exit !found }') || return 1
    # shellcheck disable=SC2086
    if [ -z "${2:-}" ]; then echo "$found"; else xdotool mousemove $found click 1; fi
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
