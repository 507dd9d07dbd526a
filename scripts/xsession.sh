# X-session helpers shared by scripts/run.sh, bench/run.sh and the end-to-end
# tests: a private Xvfb on a free display with openbox (and picom when window
# opacity must show), xterms, waiting for windows, and screenshots.
#
#   XS_WORK=SCRATCH_FOLDER; source scripts/xsession.sh
#   trap xs_cleanup EXIT; xs_start_x [--compositor] || { echo "$XS_ERROR"; exit 1; }
#
# Every process started here is tracked by PID and stopped by xs_cleanup,
# newest first, so nothing outside this session is ever touched. Functions
# that can fail return 1 and leave the reason in XS_ERROR; the caller decides
# whether that ends the run. No traps are set here: the caller owns them.

XS_PIDS=()
XS_ERROR=

# xs_track PID: xs_cleanup stops PID.
xs_track() { XS_PIDS+=("$1"); }

# Stops what was tracked, newest first: TERM, then KILL after 3 s.
xs_cleanup() {
    local i pid n
    for ((i = ${#XS_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${XS_PIDS[i]}
        kill -0 "$pid" 2>/dev/null || continue
        kill -TERM "$pid" 2>/dev/null || true
        for ((n = 0; n < 30; n++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    XS_PIDS=()
}

# --- waiting ----------------------------------------------------------------

# xs_wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
xs_wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

# xs_wait_exit PID SECONDS: waits for a child to end; its status goes to
# XS_EXIT_STATUS. Returns 1 if it is still running at the deadline.
xs_wait_exit() {
    local deadline=$((SECONDS + $2))
    while kill -0 "$1" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            return 1
        fi
        sleep 0.1
    done
    wait "$1"
    XS_EXIT_STATUS=$?
    return 0
}

# xs_wait_window REGEX [SECONDS]: prints the id of the first visible window
# whose name matches REGEX.
xs_wait_window() {
    local deadline=$((SECONDS + ${2:-20})) id
    while :; do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

# xs_wait_managed ID [SECONDS]: waits until the window manager has framed
# the window and published what it lets the user do with it.
xs_wait_managed() {
    xs_wait_for "${2:-10}" xs_is_managed "$1"
}
xs_is_managed() {
    xprop -id "$1" _NET_FRAME_EXTENTS _NET_WM_ALLOWED_ACTIONS | grep -c ' = ' | grep -qx 2
}

# --- starting the session -----------------------------------------------------

# xs_start_x [--compositor]: Xvfb 1024x768 (or XS_SCREEN_SIZE) on a free
# display (exported as DISPLAY), openbox, and optionally picom (window opacity
# shows only through a compositor). Logs go to XS_WORK.
xs_start_x() {
    local fdfile=${XS_WORK:?XS_WORK must name a scratch folder}/displayfd
    # Xvfb picks a free display itself and writes its number to fd 3, so
    # parallel sessions never race for one.
    : >"$fdfile"
    Xvfb -displayfd 3 -screen 0 "${XS_SCREEN_SIZE:-1024x768}x24" -nolisten tcp -noreset \
        3>"$fdfile" >"$XS_WORK/xvfb.log" 2>&1 &
    xs_track $!
    if ! xs_wait_for 20 grep -q '^[0-9][0-9]*$' "$fdfile"; then
        XS_ERROR="Xvfb did not start: $(cat "$XS_WORK/xvfb.log")"
        return 1
    fi
    export DISPLAY=":$(head -n 1 "$fdfile")"
    unset WAYLAND_DISPLAY

    openbox --sm-disable >"$XS_WORK/openbox.log" 2>&1 &
    xs_track $!
    if ! xs_wait_for 20 xs_has_wm; then
        XS_ERROR="openbox did not take the screen: $(cat "$XS_WORK/openbox.log")"
        return 1
    fi

    if [ "${1:-}" == "--compositor" ]; then
        picom --backend xrender --no-fading-openclose >"$XS_WORK/picom.log" 2>&1 &
        xs_track $!
        if ! xs_wait_for 20 xs_has_compositor; then
            XS_ERROR="picom did not start: $(cat "$XS_WORK/picom.log")"
            return 1
        fi
    fi
}

xs_has_wm() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# A compositing manager owns the _NET_WM_CM_S<screen> selection.
xs_has_compositor() {
    xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 &&
        python3 - <<'EOF'
import ctypes, os, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGetSelectionOwner.restype = ctypes.c_ulong
d = x.XOpenDisplay(None)
sys.exit(0 if d and x.XGetSelectionOwner(d, x.XInternAtom(d, b"_NET_WM_CM_S0", 0)) else 1)
EOF
}

# xs_start_xterm TITLE GEOMETRY [COMMAND...]: a terminal running COMMAND (or
# idle); its window id goes to XS_LAST_XTERM once it is visible.
xs_start_xterm() {
    local title=$1 geometry=$2
    shift 2
    [ $# -gt 0 ] || set -- sleep 100000
    xterm -geometry "$geometry" -T "$title" -e "$@" >/dev/null 2>&1 &
    xs_track $!
    if ! XS_LAST_XTERM=$(xs_wait_window "^$title\$" 20); then
        XS_ERROR="xterm $title did not appear"
        return 1
    fi
}

# xs_start_typist TITLE: an idle terminal at the bottom left that holds the
# focus, as the typist's own program would; its window id goes to XS_TYPIST.
xs_start_typist() {
    xs_start_xterm "$1" 80x10+10+500 || return 1
    XS_TYPIST=$XS_LAST_XTERM
    xdotool windowactivate --sync "$XS_TYPIST" >/dev/null 2>&1 || xdotool windowfocus "$XS_TYPIST"
}

# --- windows ------------------------------------------------------------------

# xs_active_window: the id (decimal) of the window the window manager has
# made active, or nothing.
xs_active_window() {
    local id
    id=$(xprop -root -notype _NET_ACTIVE_WINDOW 2>/dev/null | sed -n 's/.*# \(0x[0-9a-f]*\).*/\1/p')
    [ -n "$id" ] && echo $((id))
}

# xs_activate ID: gives the window the focus, as a click on it would, and
# waits until the window manager says it is active.
xs_activate() {
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus "$1" >/dev/null 2>&1
    xs_wait_for 10 xs_is_active "$1"
}
xs_is_active() { [ "$(xs_active_window)" == "$1" ]; }

# xs_stacking: the managed windows' ids (decimal), bottom first, one a line.
xs_stacking() {
    local id
    for id in $(xprop -root -notype _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*'); do
        echo $((id))
    done
}

# xs_geometry ID: the client area as "X,Y WxH" in screen coordinates.
xs_geometry() {
    xwininfo -id "$1" 2>/dev/null | awk -F: '
        /Absolute upper-left X/ { x = $2 + 0 } /Absolute upper-left Y/ { y = $2 + 0 }
        / Width:/ { w = $2 + 0 } / Height:/ { h = $2 + 0 }
        END { if (w) printf "%d,%d %dx%d\n", x, y, w, h }'
}

# xs_close_window ID: asks the window manager to close the window, as its
# close box would (the program gets WM_DELETE_WINDOW).
xs_close_window() { wmctrl -i -c "$1"; }

# xs_screenshot FILE [CROP]: saves the screen (or WxH+X+Y of it) as FILE.
xs_screenshot() {
    if [ -n "${2:-}" ]; then
        import -window root -crop "$2" +repage "$1"
    else
        import -window root "$1"
    fi
}
