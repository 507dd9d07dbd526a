#!/usr/bin/env bash
# The page window through a compositor: above everything without taking the focus,
# blended at the slider's opacity, letting clicks through, following the layout button;
# the panel, a fixed strip with its picture.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x --compositor
e2e_add_pages 1.jpg 2.jpg 3.jpg 4.jpg 5.jpg
# Under the place where the page will be: a click on the page must reach it.
xs_start_xterm e2e-under 30x5+700+200 || e2e_abort "$XS_ERROR"
under=$XS_LAST_XTERM
e2e_start_program
e2e_wait_panel 5 opacity=100 || e2e_fail "opacity at start-up: panel reads [$E2E_PANEL_STATE]"
# The panel takes the focus when it starts; the typist goes back to the terminal.
xs_activate "$XS_TYPIST" || e2e_fail "the typist's terminal did not become active"

page_geometry_is() { [ "$(xs_geometry "$(e2e_page_window)")" == "$1" ]; }
opacity_of() { xprop -id "$(e2e_page_window)" -notype _NET_WM_WINDOW_OPACITY 2>/dev/null | grep -o '[0-9]*$'; }
# check_opacity ALPHA: _NET_WM_WINDOW_OPACITY comes to ALPHA/255 of the full scale, give or take one.
check_opacity() {
    local want=$(($1 * 0xffffffff / 255))
    xs_wait_for 15 eval '[ "$(opacity_of)" -ge $((want - 1)) ] && [ "$(opacity_of)" -le $((want + 1)) ]' &&
        e2e_ok "_NET_WM_WINDOW_OPACITY is $1/255" || e2e_fail "_NET_WM_WINDOW_OPACITY: expected $want, got [$(opacity_of)]"
}
# window_states ID: "above" (_NET_WM_STATE_ABOVE) and "skip" (no taskbar or pager entry).
window_states() {
    local states
    states=$(xprop -id "$1" _NET_WM_STATE)
    [[ $states == *_NET_WM_STATE_ABOVE* ]] && echo -n "above "
    [[ $states == *_NET_WM_STATE_SKIP_TASKBAR* && $states == *_NET_WM_STATE_SKIP_PAGER* ]] && echo -n skip
}
# panel_pixel X Y: the panel's pixel at X, Y of its client area, in the screenshot $before.
panel_pixel() { convert "$before" -format "%[hex:p{$((${panel_origin%,*} + $1)),$((${panel_origin#*,} + $2))}]" info: | cut -c1-6; }

[ -z "$(e2e_page_window)" ] || e2e_fail "a page window is shown before any page was asked for"
before=$(e2e_screenshot before_load)

e2e_check_match "title names the host, the program and the screen width" \
    '^[A-Za-z0-9.-]+ \(Zorvane\) size= 1024$' "$(xdotool getwindowname "$panel")"
e2e_check_match "panel not resizable: minimum and maximum size are the client area" \
    'minimum size: 439 by 48.*maximum size: 439 by 48' "$(xprop -id "$panel" WM_NORMAL_HINTS | tr '\n' ' ')"
e2e_check_eq "window manager lets the panel be closed, not resized or maximised" "_NET_WM_ACTION_CLOSE" \
    "$(xprop -id "$panel" _NET_WM_ALLOWED_ACTIONS | grep -oE '_NET_WM_ACTION_(CLOSE|RESIZE|MAXIMIZE_[A-Z]+)' | paste -sd' ')"
# The picture shows left of the slider; under the slider a grey scale, light (see-through) to dark.
e2e_check_eq "panel picture drawn at the client area" 9A8920 "$(panel_pixel 247 40)"
grey() { [ "$1" == "${1:0:2}${1:0:2}${1:0:2}" ] && echo $((16#${1:0:2})); } # RRGGBB: its level if grey
light=$(grey "$(panel_pixel 270 21)") dark=$(grey "$(panel_pixel 380 21)")
[ -n "$light" ] && [ -n "$dark" ] && [ "$light" -gt "$dark" ] && e2e_ok "grey scale under the slider" ||
    e2e_fail "grey scale under the slider: grey levels [$light] to [$dark]"

# --- a page called up while the typist types (the focus it keeps: e2e_hotkeys) ---
xdotool key ctrl+shift+k
page=$(xs_wait_window '^Form2$' 10) || e2e_abort "Ctrl+Shift+K at start-up did not show the page window"
e2e_expect_panel 10 "next page from start-up" name=2.jpg selected=2.jpg
e2e_check_view "at opacity 100" 2.jpg 0 100
e2e_screenshot hotkey_page_alpha100 >/dev/null
e2e_check_eq "half-screen page window geometry" "0,80 1024x344" "$(xs_geometry "$page")"
check_opacity 100
e2e_check_eq "page window above all, off the taskbar and pager" "above skip" "$(window_states "$page")"
e2e_check_eq "panel above all, with its taskbar entry" "above " "$(window_states "$panel")"
xs_wait_for 15 e2e_above "$panel" "$page" && e2e_above "$page" "$under" && e2e_above "$page" "$XS_TYPIST" &&
    e2e_ok "stacking: terminals, then the page window, then the panel on top" ||
    e2e_fail "stacking (bottom first): [$(xs_stacking | paste -sd' ')]; panel $panel, page $page, terminals $XS_TYPIST $under"

read -r ux uy uw uh < <(xs_geometry "$under" | tr ',x' '  ')
[ $((uy + uh / 2)) -ge 80 ] && [ $((uy + uh / 2)) -lt 424 ] || e2e_fail "the terminal at $ux,$uy is not under the page"
xdotool mousemove $((ux + uw / 2)) $((uy + uh / 2)) click 1
e2e_check "a click on the page window reaches the terminal below it and activates it" \
    xs_wait_for 15 xs_is_active "$under"
e2e_check "the page window stays above the clicked terminal" e2e_above "$page" "$under"

# --- the opacity slider: its right arrow (one step, and the keyboard focus), then keys ---
e2e_click_panel $((264 + 129 - 7)) 9
e2e_expect_panel 5 "slider arrow" opacity=105
for key_alpha in Home:10 End:255; do
    alpha=${key_alpha#*:}
    e2e_keys "${key_alpha%:*} on the slider" "${key_alpha%:*}" "opacity=$alpha"
    check_opacity "$alpha"
    e2e_check_view "opacity $alpha" 2.jpg 0 "$alpha"
done
e2e_screenshot opaque >/dev/null
[ "$(xs_active_window)" != "$(e2e_page_window)" ] || e2e_fail "the page window became active after an opacity change"

# switch_layout CAPTION GEOMETRY: the layout button gives CAPTION and a page window that
# takes GEOMETRY and keeps it (a window manager moving it would do so at once).
switch_layout() {
    e2e_click_panel $((256 + 40)) $((24 + 11))
    e2e_expect_panel 5 "layout button" "layout=$1"
    xs_wait_for 15 page_geometry_is "$2" && sleep 0.5 && page_geometry_is "$2" && e2e_ok "$1: page window geometry $2" ||
        e2e_fail "$1: page window geometry: expected [$2], got [$(xs_geometry "$(e2e_page_window)")]"
}
switch_layout "Half screen 1" "0,80 1024x728" # full screen, reaching below the screen
e2e_check_view "full screen" 2.jpg 0 255 660
e2e_check_eq "full-screen page window keeps its states" "above skip" "$(window_states "$(e2e_page_window)")"
e2e_screenshot full_layout >/dev/null
switch_layout "Full screen 2" "0,80 1024x344"
e2e_check_view "half screen again" 2.jpg 0 255
# The painting keeps its memory from size to size: the part added comes whole again.
switch_layout "Half screen 1" "0,80 1024x728"
e2e_check_view "full screen again" 2.jpg 0 255 660

e2e_stop_program
e2e_check "no page window left after the program ended" e2e_no_window '^Form2$'
e2e_finish
