#!/usr/bin/env bash
# The typist's day on screens other than the one test screen: two monitors
# with the primary one on the right (the panel, the page and the help window
# go on it), a message box raised by a hotkey that leaves the focus with the
# typist's terminal, Tab into the page list that loads nothing, and a panel
# kept on small (800x600) and dense (1366x768 at 144 dpi) screens.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_add_pages 1.jpg 2.jpg 3.jpg

windows_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l; }
messages_are() { [ "$(windows_named '^Image Preview$')" -eq "$1" ]; }
list_focused() { e2e_atspi --timeout 5 | grep -q '^ *list | Pages |.*focused'; }

# frame_right ID: the x just past the right edge of the window's frame.
frame_right() {
    local geometry extents
    geometry=$(xs_geometry "$1")
    extents=$(xprop -id "$1" -notype _NET_FRAME_EXTENTS | grep -o '[0-9, ]*$' | tr -d ' ')
    awk -v g="$geometry" -v e="$extents" 'BEGIN {
        split(g, p, /[, x]/); split(e, f, ","); print p[1] + p[3] + f[2] }'
}

# ============================================================================
# 1. Two monitors side by side, the primary one on the right.
XS_SCREEN_SIZE=2048x768 e2e_start_x
xrandr --setmonitor left 1024/271x768/203+0+0 none >/dev/null &&
    xrandr --setmonitor '*right' 1024/271x768/203+1024+0 none >/dev/null ||
    e2e_abort "xrandr could not set the two monitors"

# The typist's terminal, on the left monitor, records every byte it receives.
e2e_start_recorder 40x4+300+500
keys_are() { [ "$(cat "$keys")" == "$1" ]; }

e2e_start_program
e2e_check_eq "the panel on the primary monitor, at its usual place there" \
    "1520,29 439x48" "$(xs_geometry "$panel")"
e2e_check_match "the title gives the primary monitor's width" ' size= 1024"$' \
    "$(xprop -id "$panel" -notype WM_NAME)"

# --- Tab into the page list loads nothing ---
xs_activate "$panel" || e2e_fail "the panel did not become active"
# From the opacity slider: layout button, help, name box, page list.
xdotool key Tab Tab Tab Tab
if xs_wait_for 10 list_focused; then
    e2e_ok "Tab brings the focus into the page list"
else
    e2e_fail "four Tabs did not reach the page list"
fi
e2e_wait_panel 2 name= && ! grep -q '^selected=' <<<"$(e2e_panel_state)" &&
    e2e_ok "Tab into the list selects and loads nothing" ||
    e2e_fail "Tab into the list: expected an empty name box, panel reads [$E2E_PANEL_STATE]"
e2e_check_eq "no page window after Tab into the list" "" "$(e2e_page_window)"
# An arrow key moves on from the entry the focus made current, and loads it.
xdotool key Down
e2e_wait_panel 10 name=2.jpg selected=2.jpg ||
    e2e_fail "Down in the list: expected 2.jpg, panel reads [$E2E_PANEL_STATE]"
xs_wait_window '^Form2$' 10 >/dev/null || e2e_abort "no page window after Down in the list"
page=$(e2e_page_window)
e2e_check_eq "the page window across the primary monitor" "1024,80 1024x344" "$(xs_geometry "$page")"

# --- help opens above the page window, centred on the primary monitor ---
e2e_click_panel 376 35
if help=$(xs_wait_window '^How to use$' 10); then
    xs_wait_for 10 e2e_above "$help" "$(e2e_page_window)" && e2e_ok "the help window lies above the page window" ||
        e2e_fail "help below the page window: stacking [$(xs_stacking | tr '\n' ' ')], help $help"
    e2e_check_eq "the help window centred on the primary monitor" "1205,128 662x511" "$(xs_geometry "$help")"
    e2e_screenshot help >/dev/null
    xs_close_window "$help"
    xs_wait_for 10 e2e_no_window '^How to use$' || e2e_fail "the help window did not close"
else
    e2e_fail "the help button did not open the 'How to use' window"
fi

# --- a message box raised by a hotkey leaves the focus with the typist ---
xs_activate "$typist" || e2e_abort "the recording terminal did not become active"
xdotool key ctrl+shift+k
e2e_wait_panel 10 name=3.jpg || e2e_fail "Ctrl+Shift+K: expected 3.jpg, panel reads [$E2E_PANEL_STATE]"
xdotool key ctrl+shift+k
if box=$(xs_wait_window '^Image Preview$' 10); then
    e2e_check_eq "end-of-list message" "No more image to preview!" "$(e2e_alert 'Image Preview')"
    xs_wait_for 5 e2e_above "$box" "$(e2e_page_window)" && e2e_ok "the message lies above the page window" ||
        e2e_fail "message below the page window: stacking [$(xs_stacking | tr '\n' ' ')], box $box"
    e2e_check_eq "the terminal keeps the focus while the message shows" "$typist" "$(xs_active_window)"
    xdotool type --delay 50 abc
    xs_wait_for 5 keys_are abc && e2e_ok "the typist's next keys reach the terminal" ||
        e2e_fail "the terminal got [$(cat "$keys")] instead of abc"
    # A second press inside the open box opens a second box over it, as before.
    xdotool key ctrl+shift+k
    xs_wait_for 10 messages_are 2 &&
        e2e_ok "a second Ctrl+Shift+K opens a second message" ||
        e2e_fail "after a second Ctrl+Shift+K: $(windows_named '^Image Preview$') messages"
    e2e_check_eq "the terminal keeps the focus with two messages" "$typist" "$(xs_active_window)"
    e2e_screenshot two_messages >/dev/null
    e2e_click_alert_button 'Image Preview' OK || e2e_fail "no OK button to click"
    xs_wait_for 10 messages_are 1 &&
        e2e_ok "a click on OK closes the upper message" ||
        e2e_fail "after a click on OK: $(windows_named '^Image Preview$') messages"
    e2e_click_alert_button 'Image Preview' OK || e2e_fail "no OK button to click"
    xs_wait_for 10 e2e_no_window '^Image Preview$' && e2e_ok "a click on OK closes the last message" ||
        e2e_fail "a message is still open after two clicks on OK"
    xdotool type --delay 50 def
    xs_wait_for 5 keys_are abcdef && e2e_ok "the terminal still has the keyboard after the clicks" ||
        e2e_fail "the terminal got [$(cat "$keys")] instead of abcdef"
else
    e2e_fail "Ctrl+Shift+K at the last page: no 'Image Preview' message box"
fi

# --- raised while the panel is active, the box takes the focus as before ---
xs_activate "$panel" || e2e_fail "the panel did not become active"
xdotool key ctrl+shift+k
if box=$(xs_wait_window '^Image Preview$' 10); then
    xs_wait_for 5 xs_is_active "$box" && e2e_ok "a message raised from the active panel takes the focus" ||
        e2e_fail "message from the active panel: active window $(xs_active_window), box $box"
    xdotool key Return
    xs_wait_for 5 e2e_no_window '^Image Preview$' && e2e_ok "Return closes it" ||
        e2e_fail "the message is still open after Return"
else
    e2e_fail "Ctrl+Shift+K at the last page with the panel active: no message box"
fi
e2e_stop_program
xs_cleanup

# ============================================================================
# 2. Screens where the panel's usual place reaches past the right edge.
# check_panel_fits SCREEN_WIDTH TOP WHAT: the panel's frame ends at the
# screen's right edge (a pixel short when Qt scales by a fraction), and its
# top is where it always is.
check_panel_fits() {
    local right
    right=$(frame_right "$panel")
    if [ "$right" -le "$1" ] && [ "$right" -ge $(($1 - 1)) ]; then
        e2e_ok "$3: the panel's frame ends at the screen's right edge"
    else
        e2e_fail "$3: the panel's frame ends at x=$right on a screen $1 wide"
    fi
    e2e_check_match "$3: the panel keeps its top" "^[0-9]+,$2 " "$(xs_geometry "$panel")"
    e2e_screenshot "panel_$1" >/dev/null
}

XS_SCREEN_SIZE=800x600 e2e_start_x
e2e_start_program
check_panel_fits 800 29 "800x600"
e2e_stop_program
xs_cleanup

XS_SCREEN_SIZE=1366x768 e2e_start_x
echo 'Xft.dpi: 144' | xrdb -merge
e2e_start_program
check_panel_fits 1366 44 "1366x768 at 144 dpi (Qt scales by 1.5)"
e2e_stop_program

e2e_finish
