#!/usr/bin/env bash
# Zorvane on a Wayland desktop: a headless sway with Xwayland, the window rules
# and key bindings the README gives, and a native Wayland terminal (foot) that
# holds the focus. With WAYLAND_DISPLAY and DISPLAY both set, the program runs
# on X (Xwayland); the keys bound in sway to `zorvane --next` and the like turn
# and scroll the page while the terminal keeps the focus and receives none of
# them.
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

# --- sway, with the README's rules and bindings ---
cat >"$E2E_WORK/sway.conf" <<CONF
xwayland force
output HEADLESS-1 resolution 1024x768 position 0 0
for_window [class="^Zorvane\$" title="^Form2\$"] floating enable, sticky enable, border none, move position 0 80
no_focus [class="^Zorvane\$" title="^Form2\$"]
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

# --- the typist's native terminal: records every byte ---
foot --app-id=typist sh -c 'stty raw -echo && exec cat >"$0"' "$keys" \
    >"$E2E_WORK/foot.log" 2>&1 &
xs_track $!
xs_wait_for 20 test -e "$keys" || e2e_abort "foot did not start: $(cat "$E2E_WORK/foot.log")"
typist_focused() { [[ $(window typist) =~ ^xdg_shell\ true ]]; }
xs_wait_for 10 typist_focused || e2e_fail "foot does not have the focus: $(window typist)"

press() { wtype -M ctrl -M shift "$1" -m shift -m ctrl; }

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
xs_wait_for 10 window '^Form2$' || e2e_fail "sway does not list the page window"
step m 2.jpg 328 "Ctrl+Shift+M (zorvane --scroll-down)"
grim "$E2E_OUT/e2e_sway_scrolled.png" || e2e_fail "grim could not take a screenshot"
step u 2.jpg 0 "Ctrl+Shift+U (zorvane --scroll-up)"
step h 1.jpg 0 "Ctrl+Shift+H (zorvane --prev)"
step k 2.jpg 0 "Ctrl+Shift+K again: one page, not two"

# A near miss reaches the terminal: the keys do flow to it.
before=$(keys_size)
wtype -M ctrl k -m ctrl
e2e_check "Ctrl+K reaches foot" xs_wait_for 15 keys_bigger_than "$before"

kill -TERM "$E2E_APP_PID"
xs_wait_exit "$E2E_APP_PID" 20 && e2e_check_eq "program exits with status 0 on TERM" 0 "$XS_EXIT_STATUS" ||
    e2e_fail "the program did not end on TERM"

e2e_finish
