#!/usr/bin/env bash
# Two monitors (the windows go on the primary one, on the right), then a screen too narrow
# for the usual places (1366x768 at 144 dpi); on the way, Tab into the page list, and the
# help window and message boxes over the page window and beside the typist's focus.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_add_pages 1.jpg 2.jpg 3.jpg 4.jpg
messages_are() { [ "$(xdotool search --onlyvisible --name '^Image Preview$' 2>/dev/null | wc -l)" -eq "$1" ]; }
list_focused() { e2e_atspi --timeout 5 | grep -q '^ *list | Pages |.*focused'; }
keys_are() { [ "$(cat "$keys")" == "$1" ]; }
# frame EDGE ID: the window manager's frame width at EDGE (1 left, 2 right, 3 top, 4 bottom).
frame() { xprop -id "$2" -notype _NET_FRAME_EXTENTS | grep -o '[0-9, ]*$' | cut -d, -f"$1"; }

XS_SCREEN_SIZE=2048x768 e2e_start_x
xrandr --setmonitor left 1024/271x768/203+0+0 none >/dev/null &&
    xrandr --setmonitor '*right' 1024/271x768/203+1024+0 none >/dev/null ||
    e2e_abort "xrandr could not set the two monitors"
e2e_start_recorder 40x4+300+500 # on the left monitor
e2e_start_program
e2e_check_eq "the panel at its usual place on the primary monitor" "1520,29 439x48" "$(xs_geometry "$panel")"
e2e_check_match "the title gives the primary monitor's width" ' size= 1024"$' "$(xprop -id "$panel" -notype WM_NAME)"

# From the opacity slider Tab goes to the layout button, help, the name box, the page list.
xs_activate "$panel" || e2e_fail "the panel did not become active"
xdotool key Tab Tab Tab Tab
e2e_check "Tab brings the focus into the page list" xs_wait_for 10 list_focused
e2e_wait_panel 2 name= && ! grep -q '^selected=' <<<"$(e2e_panel_state)" && [ -z "$(e2e_page_window)" ] &&
    e2e_ok "Tab into the list selects and loads nothing" ||
    e2e_fail "Tab into the list: expected an empty name box, panel reads [$E2E_PANEL_STATE]"
# An arrow key moves on from the entry the focus made current, and loads it.
e2e_keys "Down in the list" Down name=2.jpg selected=2.jpg
page=$(xs_wait_window '^Form2$' 10) || e2e_abort "no page window after Down in the list"
e2e_check_eq "the page window across the primary monitor" "1024,80 1024x344" "$(xs_geometry "$page")"

# --- help: above the page window (also after steps, which raise the page), centred, sizable ---
e2e_open_help
e2e_check_eq "the help window centred on the primary monitor" "1205,128 662x511" "$(xs_geometry "$help")"
e2e_check_match "the help window can be resized" _NET_WM_ACTION_RESIZE "$(xprop -id "$help" _NET_WM_ALLOWED_ACTIONS)"
e2e_screenshot help >/dev/null
e2e_keys "Ctrl+Shift+K with the help open" ctrl+shift+k name=3.jpg
e2e_keys "Ctrl+Shift+K again" ctrl+shift+k name=4.jpg
e2e_check "the help window lies above the page window after two steps" xs_wait_for 10 e2e_above "$help" "$page"
e2e_close_help

xs_activate "$typist" || e2e_abort "the recording terminal did not become active"
xdotool key ctrl+shift+k
box=$(xs_wait_window '^Image Preview$' 10) || e2e_abort "Ctrl+Shift+K at the last page: no message box"
e2e_check_eq "end-of-list message" "No more image to preview!" "$(e2e_alert 'Image Preview')"
e2e_check "the message lies above the page window" xs_wait_for 15 e2e_above "$box" "$page"
e2e_check_eq "the terminal keeps the focus while the message shows" "$typist" "$(xs_active_window)"
xdotool type --delay 50 abc
e2e_check "the typist's next keys reach the terminal" xs_wait_for 15 keys_are abc
xdotool key ctrl+shift+k # inside the open box: a second box over it, as before
e2e_check "a second Ctrl+Shift+K opens a second message" xs_wait_for 10 messages_are 2
e2e_check_eq "the terminal keeps the focus with two messages" "$typist" "$(xs_active_window)"
e2e_screenshot two_messages >/dev/null
for left in 1 0; do
    at=$(e2e_control_center OK) && xdotool mousemove $at click 1 || e2e_fail "no OK button to click"
    e2e_check "a click on OK closes a message: $left left" xs_wait_for 10 messages_are $left
done
xdotool type --delay 50 def
e2e_check "the terminal still has the keyboard after the clicks" xs_wait_for 15 keys_are abcdef
xdotool key ctrl+shift+k
box=$(xs_wait_window '^Image Preview$' 10) && xs_wait_for 10 e2e_above "$box" "$page" ||
    e2e_abort "no quiet message above the page to click"
e2e_quiet_box_takes_keys "$box" 'Image Preview'
e2e_check "the Return did not reach the terminal" keys_are abcdef
# Raised while the panel is active, the box takes the focus as before.
xs_activate "$panel" || e2e_fail "the panel did not become active"
xdotool key ctrl+shift+k
box=$(xs_wait_window '^Image Preview$' 10) || e2e_abort "Ctrl+Shift+K with the panel active: no message box"
e2e_check "a message raised from the active panel takes the focus" xs_wait_for 15 xs_is_active "$box"
e2e_dismiss "$box" 'Image Preview' "message from the active panel"
e2e_stop_program
xs_cleanup

# --- 1366x768 at 144 dpi: the panel's usual place (times 1.5) reaches past the right
# edge; its frame ends there (a pixel short, for the fraction) and its top stays; the
# help window's title bar is on the screen; the page window is no wider than the screen ---
XS_SCREEN_SIZE=1366x768 e2e_start_x
echo 'Xft.dpi: 144' | xrdb -merge
e2e_start_program
read -r x y w _ < <(xs_geometry "$panel" | tr ',x' '  ')
right=$((x + w + $(frame 2 "$panel")))
e2e_check "the panel's frame ends at the right edge (x=$right)" test "$right" -le 1366 -a "$right" -ge 1365
e2e_check_eq "the panel keeps its top" 44 "$y"
e2e_screenshot panel_1366 >/dev/null
xdotool key ctrl+shift+k
page=$(xs_wait_window '^Form2$' 10) || e2e_abort "no page window at 144 dpi"
read -r _ _ w _ < <(xs_geometry "$page" | tr ',x' '  ')
e2e_check "the page window is no wider than the screen ($(xs_geometry "$page"))" test "$w" -le 1366 -a "$w" -ge 1363
e2e_open_help 564 52 # 1.5 times its place at 96 dpi
# The top of the help window's frame: its client area's top less the frame's.
help_frame_top() { echo $(($(xs_geometry "$help" | sed 's/^[0-9]*,\([0-9]*\).*/\1/') - $(frame 3 "$help"))); }
e2e_check "the help window's frame is on the screen" xs_wait_for 10 eval '[ "$(help_frame_top)" -ge 0 ]'
e2e_screenshot help_1366 >/dev/null
e2e_stop_program

e2e_finish
