#!/usr/bin/env bash
# Zorvane on KDE Plasma's compositor: a headless KWin with Xwayland and a native
# Wayland editor (gedit) that holds the focus under the page. The page is shown
# through a layer surface of the program's own: above the editor, see-through,
# and every click and key goes to the editor. The four hotkeys come through KWin's
# shortcut service; after the program ends, by a closed panel or by TERM, those
# keys reach the editor again. Input goes through KWin's fake-input protocol,
# screenshots through its ScreenShot2 service (wl_input.py); gedit logs every pointer
# button and key it receives (WAYLAND_DEBUG).

source "$(dirname "$0")/lib.sh"
e2e_init "$@"
cd "$E2E_WORK" || e2e_abort "cannot enter $E2E_WORK"
# KWin and gedit keep settings (the shortcuts among them) under HOME.
export HOME=$E2E_WORK/home
mkdir -p "$HOME"

e2e_add_pages 1.jpg 2.jpg 3.jpg
wl_input() { /usr/bin/python3 "$E2E_LIB_DIR/wl_input.py" "$@"; }
kwin_grab() { wl_input shot "$1"; }
E2E_GRAB=kwin_grab

# --- KWin, from a copy without the file capabilities it refuses to run with here ---
cp /usr/bin/kwin_wayland "$E2E_WORK/kwin_wayland"
# Xwayland's socket folder, which an X server started before would have made.
[ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix
printf '#!/bin/sh\necho "$DISPLAY" >"%s"\n' "$E2E_WORK/display" >"$E2E_WORK/tell-display"
chmod +x "$E2E_WORK/tell-display"
KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
    "$E2E_WORK/kwin_wayland" --virtual --xwayland --socket wayland-e2e --width 1024 --height 768 \
    "$E2E_WORK/tell-display" >"$E2E_WORK/kwin.log" 2>&1 &
kwin=$!
xs_track $kwin
xs_wait_for 30 test -s "$E2E_WORK/display" || e2e_abort "KWin did not start: $(tail -5 "$E2E_WORK/kwin.log")"
export WAYLAND_DISPLAY=wayland-e2e DISPLAY
DISPLAY=$(cat "$E2E_WORK/display")

# --- the typist's editor ---
elog=$E2E_WORK/gedit.log
GDK_BACKEND=wayland WAYLAND_DEBUG=1 gedit --new-window >"$elog" 2>&1 &
xs_track $!
# Counts in gedit's log: presses of the left button, presses of key CODE, focus lost.
clicks() { grep -cE 'wl_pointer@[0-9]+\.button\([0-9]+, [0-9]+, 272, 1\)' "$elog"; }
presses() { grep -cE "wl_keyboard@[0-9]+\.key\([0-9]+, [0-9]+, $1, 1\)" "$elog"; }
focus_lost() { grep -cE 'wl_keyboard@[0-9]+\.leave\(' "$elog"; }
has_focus() { grep -oE 'wl_keyboard@[0-9]+\.(enter|leave)\(' "$elog" | tail -n 1 | grep -q enter; }
more_than() { [ "$("$1" "${@:3}")" -gt "$2" ]; }
xs_wait_for 30 has_focus || e2e_abort "gedit did not start: $(tail -5 "$elog")"
sleep 1 # its first frame
before=$E2E_WORK/before.png # the screen without the page, for e2e_view_matches
wl_input shot "$before" || e2e_abort "no screenshot from KWin"

# focus_editor: a click on gedit's first line, above the page.
focus_editor() {
    wl_input click 300 66
    xs_wait_for 15 has_focus || e2e_fail "gedit did not get the focus back"
}

# start_zorvane: the program, with both displays set and no Qt platform chosen.
start_zorvane() {
    E2E_STARTS=$((E2E_STARTS + 1))
    E2E_APP_STDERR=$E2E_WORK/stderr-$E2E_STARTS.txt
    (cd "$E2E_APP_DIR" && exec env -u QT_QPA_PLATFORM QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ./zorvane) \
        >>"$E2E_WORK/app.log" 2>"$E2E_APP_STDERR" &
    E2E_APP_PID=$!
    xs_track "$E2E_APP_PID"
    e2e_wait_panel 30 vpos=0 || e2e_abort "the panel could not be read: [$E2E_PANEL_STATE] $(cat "$E2E_APP_STDERR")"
    focus_editor
}
cp "$E2E_ZORVANE" "$E2E_APP_DIR/zorvane"
start_zorvane
e2e_check_eq "no hint: the layer shell and the shortcut service are there" "" "$(cat "$E2E_APP_STDERR")"

# step COMBO PAGE VPOS WHAT: the combination, typed into gedit, runs its command
# once; gedit neither receives its letter nor loses the focus.
step() {
    local letter=${1##*+} code before lost
    declare -A codes=([h]=35 [k]=37 [m]=50 [u]=22) # as gedit receives them
    code=${codes[$letter]}
    before=$(presses "$code") lost=$(focus_lost)
    wl_input keys "$1"
    e2e_expect_panel 15 "$4" "name=$2" "selected=$2" "vpos=$3"
    e2e_check_eq "$4: gedit receives no ${letter^^}" "$before" "$(presses "$code")"
    e2e_check_eq "$4: gedit keeps the focus" "$lost" "$(focus_lost)"
}
step ctrl+shift+k 2.jpg 0 "Ctrl+Shift+K"
e2e_check_view "Ctrl+Shift+K: the page, above gedit, blended at 100/255" 2.jpg 0 100
step ctrl+shift+m 2.jpg 328 "Ctrl+Shift+M"
e2e_check_view "Ctrl+Shift+M: the page scrolled" 2.jpg 328 100
step ctrl+shift+u 2.jpg 0 "Ctrl+Shift+U"
step ctrl+shift+h 1.jpg 0 "Ctrl+Shift+H"
wl_input shot "$E2E_OUT/e2e_kwin_page.png"

# Clicks on the page go to gedit, which keeps the focus; typed keys follow.
clicked=$(clicks) lost=$(focus_lost) typed=$(presses 45)
wl_input click 400 250 5
xs_wait_for 15 more_than clicks $((clicked + 4))
e2e_check_eq "5 clicks on the page reach gedit" 5 $(($(clicks) - clicked))
e2e_check_eq "gedit keeps the focus after the clicks" "$lost" "$(focus_lost)"
wl_input keys x
e2e_check "the next key typed reaches gedit" xs_wait_for 15 more_than presses "$typed" 45

# panel_click NAME: a click in the middle of the panel's control of that name.
panel_click() {
    local at
    at=$(e2e_control_center "$1") || { e2e_fail "the panel has no control named $1"; return 1; }
    # shellcheck disable=SC2086
    wl_input click $at
}
# The opacity slider and the layout button, from the panel; gedit gets the focus back.
panel_click Opacity && wl_input keys end
e2e_expect_panel 15 "End on the slider" opacity=255
focus_editor
e2e_check_view "opacity 255: the page opaque" 1.jpg 0 255
layout=$(e2e_panel_state | sed -n 's/^layout=//p')
panel_click "$layout"
e2e_expect_panel 15 "the layout button" "layout=Half screen 1"
focus_editor
e2e_check_view "full-screen layout: the page reaches down the screen" 1.jpg 0 255 600

# ended HOW [STATUS]: after the program ended (with STATUS, 0 by default), Ctrl+Shift+K
# typed into gedit reaches it.
ended() {
    local pressed
    xs_wait_exit "$E2E_APP_PID" 20 && e2e_check_eq "$1: the program's exit status" "${2:-0}" "$XS_EXIT_STATUS" ||
        e2e_fail "$1: the program did not end"
    focus_editor
    pressed=$(presses 37)
    wl_input keys ctrl+shift+k
    e2e_check "$1: then Ctrl+Shift+K reaches gedit" xs_wait_for 15 more_than presses "$pressed" 37
}
wmctrl -c '(Zorvane)'
ended "panel closed"
e2e_check "panel closed: the page is gone" xs_wait_for 15 e2e_screen_as_before
# The next start takes the keys again; TERM gives them back as well.
start_zorvane
step ctrl+shift+k 2.jpg 0 "Ctrl+Shift+K after a new start"
kill -TERM "$E2E_APP_PID"
ended "TERM"
# The X server gone (as at the end of a session): Qt ends the program from inside its loop.
start_zorvane
xwayland=$(pgrep -P "$kwin" -x Xwayland)
[ -n "$xwayland" ] && kill -KILL "$xwayland"
ended "Xwayland gone" 1

e2e_finish
