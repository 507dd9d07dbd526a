#!/usr/bin/env bash
# Zorvane on a Wayland desktop: a headless sway with Xwayland, the panel rule
# and key bindings the README gives, and a native Wayland terminal (foot) that
# holds the focus. With WAYLAND_DISPLAY and DISPLAY both set, the program runs
# on X (Xwayland) and shows the page through a layer surface of its own; the
# keys bound in sway to `zorvane --next` and the like turn and scroll the page
# while the terminal keeps the focus and receives none of them, and clicks on
# the page reach the terminal (it reports them, mouse reporting on).
#
# sway refuses to run as root: as root, the test runs again as an unprivileged user.

set -u
source "$(dirname "$0")/lib.sh"
e2e_rerun_unprivileged "$@"
e2e_init "$@"
# The programs started here inherit the folder, which must be one this user may enter.
cd "$E2E_WORK" || e2e_abort "cannot enter $E2E_WORK"

e2e_add_pages 1.jpg 2.jpg 3.jpg
cp "$E2E_ZORVANE" "$E2E_APP_DIR/zorvane"
app=$E2E_APP_DIR/zorvane
keys=$E2E_WORK/keys.bin

# --- sway, with the README's rule and bindings ---
cat >"$E2E_WORK/sway.conf" <<CONF
xwayland force
output HEADLESS-1 resolution 1024x768 position 0 0
for_window [class="^Zorvane\$" title="\\(Zorvane\\)"] floating enable, sticky enable, move position 496 0
bindsym ctrl+shift+k exec $app --next
bindsym ctrl+shift+h exec $app --prev
bindsym ctrl+shift+m exec $app --scroll-down
bindsym ctrl+shift+u exec $app --scroll-up
CONF
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$E2E_WORK/sway.conf" >"$E2E_WORK/sway.log" 2>&1 &
xs_track $!
socket_up() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock && ls "$XDG_RUNTIME_DIR"/wayland-?; }
xs_wait_for 20 socket_up || e2e_abort "sway did not start: $(tail -5 "$E2E_WORK/sway.log")"
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n 1)
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-? | head -n 1)")
export SWAYSOCK WAYLAND_DISPLAY
# Xwayland's display number is sway's choice.
swaymsg -q exec "echo \$DISPLAY >$E2E_WORK/display"
xs_wait_for 20 test -s "$E2E_WORK/display" || e2e_abort "sway gave no X display"
export DISPLAY=$(cat "$E2E_WORK/display")

# window TITLE_REGEX|APP_ID: "SHELL FOCUSED X Y WIDTH HEIGHT" of the first
# window sway lists with that title or Wayland app id.
window() {
    swaymsg -t get_tree | jq -r --arg want "$1" '[recurse(.nodes[]?, .floating_nodes[]?)
        | select(.pid and (.app_id == $want or ((.name // "") | test($want))))][0] // empty
        | "\(.shell) \(.focused) \(.rect.x) \(.rect.y) \(.rect.width) \(.rect.height)"' | grep .
}

# --- Zorvane, with both displays set and no Qt platform chosen ---
(cd "$E2E_APP_DIR" && exec env -u QT_QPA_PLATFORM QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ./zorvane) \
    >"$E2E_WORK/app.log" 2>"$E2E_WORK/stderr-1.txt" &
E2E_APP_PID=$!
xs_track "$E2E_APP_PID"
e2e_wait_panel 30 vpos=0 || e2e_abort "the panel could not be read: [$E2E_PANEL_STATE] $(cat "$E2E_WORK/stderr-1.txt")"
xs_wait_for 10 window '\(Zorvane\)' || e2e_fail "sway does not list the panel"
e2e_check_match "the panel is an Xwayland window" '^xwayland ' "$(window '\(Zorvane\)')"
e2e_check_match "stderr says once how to bind the remote commands" \
    'only while an X11 program has the focus.*zorvane --next' "$(cat "$E2E_WORK/stderr-1.txt")"

# --- the typist's native terminal: records every byte, clicks reported as bytes too ---
foot --app-id=typist sh -c 'stty raw -echo && printf "\033[?1000h" && exec cat >"$0"' "$keys" \
    >"$E2E_WORK/foot.log" 2>&1 &
xs_track $!
xs_wait_for 20 test -e "$keys" || e2e_abort "foot did not start: $(cat "$E2E_WORK/foot.log")"
typist_focused() { [[ $(window typist) =~ ^xdg_shell\ true ]]; }
xs_wait_for 10 typist_focused || e2e_fail "foot does not have the focus: $(window typist)"

press() { wtype -M ctrl -M shift "$1" -m shift -m ctrl; }
# click X Y [COUNT]: left clicks through a virtual pointer.
click() { /usr/bin/python3 "$E2E_LIB_DIR/wl_input.py" click "$@"; }
# focus_foot: a click on the terminal above the page and left of the panel.
focus_foot() {
    click 100 40
    xs_wait_for 15 typist_focused || e2e_fail "foot did not get the focus back: $(window typist)"
}
grim_grab() { grim "$1"; }
E2E_GRAB=grim_grab
before=$E2E_WORK/before.png # the screen without the page, for e2e_view_matches
grim "$before" || e2e_abort "grim could not take a screenshot"

# step KEY PAGE VPOS WHAT
step() {
    local before
    before=$(keys_size)
    press "$1"
    e2e_expect_panel 10 "$4" "name=$2" "selected=$2" "vpos=$3"
    e2e_check_eq "$4: the terminal receives nothing" "$before" "$(keys_size)"
    typist_focused && e2e_ok "$4: foot keeps the focus" || e2e_fail "$4: focus moved: $(window typist)"
}

step k 2.jpg 0 "Ctrl+Shift+K (bound to zorvane --next)"
e2e_check_view "the page, above foot, blended at 100/255" 2.jpg 0 100
e2e_check "the X11 page window is not mapped" xs_wait_for 5 eval '! window "^Form2\$"'
step m 2.jpg 328 "Ctrl+Shift+M (zorvane --scroll-down)"
e2e_check_view "the page scrolled" 2.jpg 328 100
grim "$E2E_OUT/e2e_sway_scrolled.png" || e2e_fail "grim could not take a screenshot"
step u 2.jpg 0 "Ctrl+Shift+U (zorvane --scroll-up)"
step h 1.jpg 0 "Ctrl+Shift+H (zorvane --prev)"
step k 2.jpg 0 "Ctrl+Shift+K again: one page, not two"
e2e_check_view "the page after" 2.jpg 0 100

# Clicks on the page reach foot (6 bytes each for press and release), which keeps the focus.
before_clicks=$(keys_size)
click 400 250 5
xs_wait_for 15 keys_bigger_than $((before_clicks + 59))
e2e_check_eq "5 clicks on the page reach foot" 60 $(($(keys_size) - before_clicks))
typist_focused && e2e_ok "foot keeps the focus after the clicks" || e2e_fail "focus moved: $(window typist)"

# The opacity slider and the layout button, from the panel.
panel_click() {
    local at
    at=$(e2e_control_center "$1") || { e2e_fail "the panel has no control named $1"; return 1; }
    # shellcheck disable=SC2086
    click $at
}
panel_focused() { [[ $(window '\(Zorvane\)') =~ ^xwayland\ true ]]; }
panel_click Opacity
# Xwayland may drop the first key of a keyboard it has not seen yet: press until it counts.
xs_wait_for 15 panel_focused && xs_wait_for 15 eval 'wtype -k End; e2e_wait_panel 1 opacity=255'
e2e_expect_panel 15 "End on the slider" opacity=255
focus_foot
e2e_check_view "opacity 255: the page opaque" 2.jpg 0 255
# A click that only brought the panel forward is made again.
for try in 1 2 3; do
    panel_click "full screen 2"
    e2e_wait_panel 5 "layout=Half screen 1" && break
done
e2e_expect_panel 15 "the layout button" "layout=Half screen 1"
focus_foot
e2e_check_view "full-screen layout: the page reaches down the screen" 2.jpg 0 255 600

# A near miss reaches the terminal: the keys do flow to it.
# After the panel had the focus, foot may miss the first key of wtype's new keyboard.
sent=$(keys_size)
e2e_check "Ctrl+K reaches foot" xs_wait_for 15 eval 'wtype -M ctrl k -m ctrl; xs_wait_for 1 keys_bigger_than "$sent"'


swaymsg -q '[title="\(Zorvane\)"] kill'
xs_wait_exit "$E2E_APP_PID" 20 && e2e_check_eq "program exits with status 0 when the panel closes" 0 "$XS_EXIT_STATUS" ||
    e2e_fail "the program did not end when the panel closed"
e2e_check "panel closed: the page is gone" xs_wait_for 15 e2e_screen_as_before

# --- through a proxy socket: without a layer shell, and with the connection cut ---
# proxied NAME [HIDDEN]: Zorvane talking to sway through a proxy NAME that hides HIDDEN;
# the proxy's PID goes to proxy.
proxied() {
    e2e_spawn "$E2E_WORK/$1.log" ready /usr/bin/python3 "$E2E_LIB_DIR/wl_proxy.py" "$@"
    proxy=$E2E_SPAWNED
    (cd "$E2E_APP_DIR" && exec env -u QT_QPA_PLATFORM WAYLAND_DISPLAY="$1" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
        ./zorvane) >>"$E2E_WORK/app.log" 2>"$E2E_WORK/stderr-$1.txt" &
    E2E_APP_PID=$!
    xs_track "$E2E_APP_PID"
    e2e_wait_panel 30 vpos=0 || e2e_abort "the panel could not be read: [$E2E_PANEL_STATE]"
}
# page_window WHAT: the page is shown by the Xwayland page window.
page_window() {
    e2e_check "$1: the Xwayland page window shows the page" xs_wait_for 15 window '^Form2$'
    e2e_check_match "$1: it is an Xwayland window" '^xwayland ' "$(window '^Form2$')"
}
proxied no-layer-shell zwlr_layer_shell_v1
press k
e2e_expect_panel 15 "no layer shell: Ctrl+Shift+K" name=2.jpg
page_window "no layer shell"
e2e_check_match "no layer shell: the user is told" \
    'page is shown as an Xwayland window: the compositor offers no layer shell' "$(cat "$E2E_WORK/stderr-no-layer-shell.txt")"
kill -TERM "$E2E_APP_PID"
xs_wait_exit "$E2E_APP_PID" 20 || e2e_fail "the program did not end on TERM"

proxied cut
press k
e2e_expect_panel 15 "before the cut: Ctrl+Shift+K" name=2.jpg
e2e_check "before the cut: no page window, the layer surface instead" xs_wait_for 5 eval '! window "^Form2\$"'
kill -TERM "$proxy"
page_window "connection cut"
press k
e2e_expect_panel 15 "connection cut: Ctrl+Shift+K still works" name=3.jpg

e2e_finish
