#!/usr/bin/env bash
# The page window as the typist meets it, through a compositor: a page called
# up by hotkey appears above everything without taking the focus, blended at
# the opacity of the slider, lets clicks through to the program below, follows
# the slider and the layout button, and a page that cannot be loaded gives the
# not-found message and leaves the picture on screen.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x --compositor
e2e_add_pages 1.jpg 2.jpg 3.jpg 4.jpg 5.jpg
# Under the place where the page will be: a click on the page must reach it.
e2e_start_xterm e2e-under 30x5+700+200
under=$E2E_LAST_XTERM
e2e_start_program
e2e_wait_panel 5 opacity=100 || e2e_fail "opacity at start-up: panel reads [$E2E_PANEL_STATE]"
# The panel takes the focus when it starts, as any program does; the typist
# then goes back to the terminal.
xs_activate "$XS_TYPIST" || e2e_fail "the typist's terminal did not become active"

page_geometry() { xs_geometry "$(e2e_page_window)"; }
page_geometry_is() { [ "$(page_geometry)" == "$1" ]; }

# opacity_is ALPHA: the page window's _NET_WM_WINDOW_OPACITY is ALPHA/255 of
# the full scale (one unit either way for the rounding of the fraction).
opacity_of() { xprop -id "$(e2e_page_window)" -notype _NET_WM_WINDOW_OPACITY 2>/dev/null | grep -o '[0-9]*$'; }
opacity_is() {
    local want=$(($1 * 0xffffffff / 255)) got
    got=$(opacity_of)
    [ -n "$got" ] && [ $((got - want)) -ge -1 ] && [ $((got - want)) -le 1 ]
}
check_opacity() {
    if xs_wait_for 5 opacity_is "$1"; then
        e2e_ok "_NET_WM_WINDOW_OPACITY is $1/255"
    else
        e2e_fail "_NET_WM_WINDOW_OPACITY: expected $(($1 * 0xffffffff / 255)) ($1/255), got [$(opacity_of)]"
    fi
}

# view_matches PAGE ALPHA [ROWS]: the screen shows PAGE from its top in the
# page window, blended at ALPHA/255 over what was on screen before the first
# page came. The rows 20.. of the window are compared, left of the terminal
# that lies under the window (it changes when it gets the focus), unless the
# page is opaque. LAST_RMSE holds the difference found.
MATCH_LIMIT=0.01
view_matches() {
    local page=$E2E_APP_DIR/$1 alpha=$2 rows=${3:-320} width=690 now=$E2E_WORK/now.png
    [ "$alpha" -eq 255 ] && width=1024
    import -window root "$now" 2>/dev/null || return 1
    convert \( "$before" -crop "${width}x${rows}+0+100" +repage \) \
        \( "$page" -crop "${width}x${rows}+0+20" +repage \) \
        -compose blend -define compose:args=$(awk -v a="$alpha" 'BEGIN { print a * 100 / 255 }') \
        -composite "$E2E_WORK/expected.png"
    LAST_RMSE=$(e2e_rmse "$now" "${width}x${rows}+0+100" "$E2E_WORK/expected.png" "${width}x${rows}+0+0")
    awk -v d="$LAST_RMSE" -v limit="$MATCH_LIMIT" 'BEGIN { exit !(d != "" && d < limit) }'
}
check_view() {
    if xs_wait_for 10 view_matches "$@"; then
        e2e_ok "$1 on screen at opacity $2/255"
    else
        e2e_fail "$1 on screen at opacity $2/255: the screen differs from it by $LAST_RMSE (RMSE)"
    fi
}

has_above_state() { xprop -id "$1" _NET_WM_STATE | grep -q '_NET_WM_STATE_ABOVE'; }
# No taskbar or pager entry (nor an Alt+Tab place) of its own.
has_skip_states() {
    local states
    states=$(xprop -id "$1" _NET_WM_STATE)
    [[ $states == *_NET_WM_STATE_SKIP_TASKBAR* && $states == *_NET_WM_STATE_SKIP_PAGER* ]]
}

# --- a page called up while the typist types ---
[ -z "$(e2e_page_window)" ] || e2e_fail "a page window is shown before any page was asked for"
before=$(e2e_screenshot before_load)

xdotool key ctrl+shift+k
page=$(xs_wait_window '^Form2$' 10) || e2e_abort "Ctrl+Shift+K at start-up did not show the page window"
e2e_wait_panel 10 name=2.jpg selected=2.jpg ||
    e2e_fail "next page from start-up: expected 2.jpg named and selected, panel reads [$E2E_PANEL_STATE]"
check_view 2.jpg 100
e2e_screenshot hotkey_page_alpha100 >/dev/null
# The comparison must tell pages apart, or it proves nothing.
view_matches 1.jpg 100 && e2e_fail "the screen matches page 1 as well as page 2 (RMSE $LAST_RMSE)" ||
    e2e_ok "the screen differs from page 1 (RMSE $LAST_RMSE)"
e2e_check_eq "the typist's terminal keeps the focus when the page appears" "$XS_TYPIST" "$(xs_active_window)"

e2e_check_eq "half-screen page window geometry" "0,80 1024x344" "$(page_geometry)"
check_opacity 100
has_above_state "$page" && e2e_ok "page window has _NET_WM_STATE_ABOVE" ||
    e2e_fail "page window lacks _NET_WM_STATE_ABOVE: $(xprop -id "$page" _NET_WM_STATE)"
has_above_state "$panel" && e2e_ok "panel has _NET_WM_STATE_ABOVE" ||
    e2e_fail "panel lacks _NET_WM_STATE_ABOVE: $(xprop -id "$panel" _NET_WM_STATE)"
has_skip_states "$page" && e2e_ok "page window skips the taskbar and the pager" ||
    e2e_fail "page window's states: $(xprop -id "$page" _NET_WM_STATE)"
has_skip_states "$panel" && e2e_fail "the panel, the program's task, skips the taskbar" ||
    e2e_ok "the panel keeps its taskbar entry"
e2e_atspi --timeout 5 | grep -qE '^  [a-z ]+ \| Page 2\.jpg \|' &&
    e2e_ok "a screen reader names the page window after the page" ||
    e2e_fail "no window named 'Page 2.jpg' on the accessibility bus"
if xs_wait_for 5 e2e_above "$panel" "$page" && e2e_above "$page" "$under" && e2e_above "$page" "$XS_TYPIST"; then
    e2e_ok "stacking: terminals, then the page window, then the panel on top"
else
    e2e_fail "stacking (bottom first): [$(xs_stacking | paste -sd' ')]; panel $panel, page $page, terminals $XS_TYPIST $under"
fi

# --- clicks go through the page to the program below ---
xs_activate "$XS_TYPIST" || e2e_fail "the typist's terminal did not become active again"
read -r ux uy uw uh < <(xs_geometry "$under" | tr ',x' '  ')
click_x=$((ux + uw / 2)) click_y=$((uy + uh / 2))
if [ "$click_y" -ge 80 ] && [ "$click_y" -lt 424 ]; then
    xdotool mousemove "$click_x" "$click_y" click 1
    if xs_wait_for 5 xs_is_active "$under"; then
        e2e_ok "a click on the page window reaches the terminal below it and activates it"
    else
        e2e_fail "a click on the page window at $click_x,$click_y: active window is [$(xs_active_window)], expected the terminal below ($under)"
    fi
    e2e_above "$page" "$under" && e2e_ok "the page window stays above the clicked terminal" ||
        e2e_fail "after the click the terminal is above the page window: [$(xs_stacking | paste -sd' ')]"
else
    e2e_fail "the terminal under the page is at $ux,$uy, not under the page window"
fi

# --- a page chosen in the list ---
e2e_click_panel 40 7
e2e_wait_panel 10 name=1.jpg selected=1.jpg ||
    e2e_fail "click on the first list row: expected 1.jpg, panel reads [$E2E_PANEL_STATE]"
check_view 1.jpg 100
[ "$(xs_active_window)" != "$(e2e_page_window)" ] && e2e_ok "the page window is not the active window" ||
    e2e_fail "the page window became the active window"

# --- the opacity slider, with the keyboard ---
e2e_click_panel $((264 + 129 - 7)) 9 # the slider's right arrow: one step, and the keyboard focus
e2e_wait_panel 5 opacity=105 || e2e_fail "slider arrow: expected opacity 105, panel reads [$E2E_PANEL_STATE]"
check_opacity 105
xdotool key Home
e2e_wait_panel 5 opacity=10 || e2e_fail "Home on the slider: expected opacity 10, panel reads [$E2E_PANEL_STATE]"
check_opacity 10
check_view 1.jpg 10
xdotool key End
e2e_wait_panel 5 opacity=255 || e2e_fail "End on the slider: expected opacity 255, panel reads [$E2E_PANEL_STATE]"
check_opacity 255
check_view 1.jpg 255
e2e_screenshot opaque >/dev/null
[ "$(xs_active_window)" != "$(e2e_page_window)" ] || e2e_fail "the page window became active after an opacity change"

# --- layouts ---
# The holds check samples the geometry for a moment after it first matched:
# a window manager that moves the window up does so at once.
holds_geometry() {
    local n
    for ((n = 0; n < 5; n++)); do
        page_geometry_is "$1" || return 1
        sleep 0.1
    done
}
# switch_layout CAPTION GEOMETRY WHAT: a click on the layout button gives CAPTION and a
# page window that takes GEOMETRY and keeps it.
switch_layout() {
    e2e_click_panel $((256 + 40)) $((24 + 11))
    e2e_wait_panel 5 "layout=$1" ||
        e2e_fail "layout button: expected caption '$1', panel reads [$E2E_PANEL_STATE]"
    if xs_wait_for 5 page_geometry_is "$2" && holds_geometry "$2"; then
        e2e_ok "$3 page window geometry $2"
    else
        e2e_fail "$3 page window geometry: expected [$2], got [$(page_geometry)]"
    fi
}
switch_layout "Half screen 1" "0,80 1024x728" "full-screen (reaching below the screen)"
check_view 1.jpg 255 660
has_above_state "$(e2e_page_window)" && e2e_ok "full-screen page window keeps _NET_WM_STATE_ABOVE" ||
    e2e_fail "full-screen page window lacks _NET_WM_STATE_ABOVE"
has_skip_states "$(e2e_page_window)" && e2e_ok "full-screen page window still skips the taskbar and pager" ||
    e2e_fail "full-screen page window's states: $(xprop -id "$(e2e_page_window)" _NET_WM_STATE)"
e2e_screenshot full_layout >/dev/null

switch_layout "Full screen 2" "0,80 1024x344" "back to half-screen:"
check_view 1.jpg 255

# --- pages that cannot be loaded ---
printf 'not a picture\n' >"$E2E_APP_DIR/broken.jpg"
for name in missing.jpg broken.jpg; do
    e2e_click_panel $((133 + 50)) 12 # the name box
    xdotool key ctrl+a
    xdotool type --delay 20 "$name"
    e2e_wait_panel 5 "name=$name" || e2e_fail "typing into the name box: panel reads [$E2E_PANEL_STATE]"
    e2e_click_panel $((133 + 50)) $((24 + 11)) # Load image
    if box=$(xs_wait_window '^Zorvane$' 10); then
        e2e_check_eq "not-found message for $name" \
            "Can't find $E2E_APP_DIR/$name . Please recheck file in folder [$E2E_APP_DIR] " \
            "$(e2e_alert Zorvane)"
        e2e_screenshot "not_found_${name%.jpg}" >/dev/null
        xs_activate "$box" || true
        xdotool key Return
        xs_wait_for 5 e2e_no_window '^Zorvane$' && e2e_ok "Return closes the message for $name" ||
            e2e_fail "the message for $name is still open after Return"
    else
        e2e_fail "no message box titled Zorvane after Load image with $name"
    fi
    check_view 1.jpg 255
done

# --- the red line shows where the picture does not cover the window ---
# Scrolled by hotkeys from the typist's terminal; the window row 16 is screen row 96.
red_at() { # SHOT X Y
    [ "$(e2e_pixel_hex "$1" "$2" "$3")" == FF0000 ]
}
line_shown() {
    import -window root "$E2E_WORK/now.png" 2>/dev/null &&
        red_at "$E2E_WORK/now.png" 5 96 && red_at "$E2E_WORK/now.png" 512 96 && red_at "$E2E_WORK/now.png" 1018 96
}
xs_activate "$XS_TYPIST" || e2e_fail "the typist's terminal did not become active again"
xdotool key ctrl+shift+m ctrl+shift+m ctrl+shift+m ctrl+shift+m
if e2e_wait_panel 10 vpos=1312; then
    shot=$(e2e_screenshot page_end)
    red_at "$shot" 512 96 && e2e_fail "the red line shows through the picture" ||
        e2e_ok "the picture's last rows cover the red line"
    xdotool key ctrl+shift+m
    e2e_wait_panel 10 vpos=1640 || e2e_fail "scrolled past the page: panel reads [$E2E_PANEL_STATE]"
    if xs_wait_for 5 line_shown; then
        e2e_ok "the red line crosses the window 16 px below its top once the picture is gone"
    else
        e2e_fail "no red line at screen row 96: pixels $(e2e_pixel_hex "$E2E_WORK/now.png" 5 96)" \
            "$(e2e_pixel_hex "$E2E_WORK/now.png" 512 96) $(e2e_pixel_hex "$E2E_WORK/now.png" 1018 96)"
    fi
    red_at "$E2E_WORK/now.png" 512 100 && e2e_fail "the red line is more than one pixel thick" ||
        e2e_ok "the red line is one pixel thick"
    e2e_screenshot past_the_end >/dev/null
else
    e2e_fail "four Ctrl+Shift+M from the top: expected position 1312, panel reads [$E2E_PANEL_STATE]"
fi

# --- the page window goes with the panel ---
e2e_stop_program
e2e_no_window '^Form2$' && e2e_ok "no page window left after the program ended" ||
    e2e_fail "a page window is still shown after the program ended"

e2e_finish
