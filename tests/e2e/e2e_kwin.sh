#!/usr/bin/env bash
# Zorvane on a headless KWin with Xwayland, gedit (native Wayland) holding the focus: the
# page through the layer surface (wayland.sh), the hotkeys through KWin's shortcut service,
# given back once the program ends (panel closed, TERM, Xwayland gone).

source "$(dirname "$0")/lib.sh"
source "$E2E_LIB_DIR/wayland.sh"
e2e_init "$@"
export HOME=$E2E_WORK/home # KWin and gedit keep settings (the shortcuts among them) there
mkdir -p "$HOME"
e2e_add_pages 1.jpg 2.jpg 3.jpg

# KWin, from a copy without the file capabilities it refuses to run with here; it tells
# Xwayland's display through the program it starts.
cp /usr/bin/kwin_wayland "$E2E_WORK/kwin_wayland"
[ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix # as an X server started before would
KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
    "$E2E_WORK/kwin_wayland" --virtual --xwayland --socket wayland-e2e --width 1024 --height 768 \
    "sh -c 'echo \$DISPLAY >$E2E_WORK/display'" >"$E2E_WORK/kwin.log" 2>&1 &
kwin=$!
xs_track $kwin
xs_wait_for 30 test -s display || e2e_abort "KWin did not start: $(tail -5 kwin.log)"
export WAYLAND_DISPLAY=wayland-e2e DISPLAY
DISPLAY=$(cat display)

keys() { wl_input keys "$@"; }
click() { wl_input click "$@"; }
close_panel() { wmctrl -c '(Zorvane)'; }
kwin_grab() { wl_input shot "$1"; }
E2E_GRAB=kwin_grab
TYPIST_AT="300 66" # gedit's first line, above the page

gedit_start
xs_wait_for 30 typist_focused || e2e_abort "gedit did not start: $(tail -5 "$E2E_WORK/gedit.log")"
sleep 1 # its first frame
layer_surface_checks
e2e_check_eq "no hint: the layer shell and the shortcut service are there" "" "$(cat "$E2E_APP_STDERR")"

# keys_given_back WHAT: after the program ended, Ctrl+Shift+K typed into gedit reaches it.
keys_given_back() {
    local pressed
    focus_typist
    pressed=$(typist_keys k)
    keys ctrl+shift+k
    e2e_check "$1: then Ctrl+Shift+K reaches gedit" xs_wait_for 15 more_than typist_keys "$pressed" k
}
keys_given_back "panel closed"
# The next start takes the keys again; TERM gives them back as well.
wl_start_program
step ctrl+shift+k 2.jpg 0
kill -TERM "$E2E_APP_PID"
e2e_ended "TERM"
keys_given_back "TERM"
# The X server gone (as at the end of a session): Qt ends the program from inside its loop.
wl_start_program
xwayland=$(pgrep -P "$kwin" -x Xwayland)
[ -n "$xwayland" ] && kill -KILL "$xwayland"
e2e_ended "Xwayland gone" 1
keys_given_back "Xwayland gone"

e2e_finish
