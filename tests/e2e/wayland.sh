# The Wayland tests' helpers, after lib.sh: gedit as the typist's native program (a test
# may define the typist_* functions for its own), and the checks of a page shown through
# the layer surface, given keys COMBO... (e.g. ctrl+shift+k end), click X Y [COUNT],
# close_panel, E2E_GRAB and TYPIST_AT (a click there focuses the typist).

wl_input() { /usr/bin/python3 "$E2E_LIB_DIR/wl_input.py" "$@"; }

# gedit_start: a native gedit that logs every event it receives.
gedit_start() { GDK_BACKEND=wayland WAYLAND_DEBUG=1 gedit --new-window >"$E2E_WORK/gedit.log" 2>&1 & xs_track $!; }
typist_clicks() { grep -cE 'wl_pointer@[0-9]+\.button\([0-9]+, [0-9]+, 272, 1\)' "$E2E_WORK/gedit.log"; }
typist_keys() { # LETTER (by its Linux key code)
    local -A codes=([h]=35 [k]=37 [m]=50 [u]=22)
    grep -cE "wl_keyboard@[0-9]+\.key\([0-9]+, [0-9]+, ${codes[$1]}, 1\)" "$E2E_WORK/gedit.log"
}
# typist_focus: a mark that changes when the typist loses the focus.
typist_focus() { grep -cE 'wl_keyboard@[0-9]+\.leave\(' "$E2E_WORK/gedit.log"; }
typist_focused() { grep -oE 'wl_keyboard@[0-9]+\.(enter|leave)\(' "$E2E_WORK/gedit.log" | tail -n 1 | grep -q enter; }

# shellcheck disable=SC2086
focus_typist() { click $TYPIST_AT; xs_wait_for 15 typist_focused || e2e_fail "the typist's program did not get the focus back"; }

# wl_start_program [ENV=VALUE...]: the program with both displays set and no Qt platform
# chosen; the typist then gets the focus back.
wl_start_program() { E2E_NO_X_PANEL=1 e2e_start_program QT_QPA_PLATFORM= "$@"; focus_typist; }

# panel_click NAME: a click in the middle of the panel's control of that name.
# shellcheck disable=SC2086
panel_click() { local at; at=$(e2e_control_center "$1") || { e2e_fail "the panel has no control named $1"; return 1; }; click $at; }

# step COMBO PAGE VPOS: the combination, typed into the typist's program, runs its command
# once; the program neither receives the letter nor loses the focus.
step() {
    local letter=${1##*+} before
    before="$(typist_keys "$letter") $(typist_focus)"
    keys "$1"
    e2e_expect_panel 15 "$1" "name=$2" "selected=$2" "vpos=$3"
    e2e_check_eq "$1: the typist receives no ${letter^^} and keeps the focus" "$before" \
        "$(typist_keys "$letter") $(typist_focus)"
}

# layer_surface_checks: the panel on Xwayland, the page above the typist's program through
# the layer surface (the X11 page window never mapped), clicks on it and keys reaching the
# typist, the slider and the layout button, the page gone when the panel closes.
layer_surface_checks() {
    local clicked focus typed layout
    before=$E2E_WORK/before.png # the screen without the page, for e2e_view_matches
    "$E2E_GRAB" "$before" || e2e_abort "no screenshot"
    wl_start_program
    e2e_check "the panel is an Xwayland window" eval 'xs_wait_window "\(Zorvane\)" 10 >/dev/null'
    step ctrl+shift+k 2.jpg 0
    e2e_check_view "Ctrl+Shift+K: the page, above the typist, blended at 100/255" 2.jpg 0 100
    e2e_check "the X11 page window is not mapped" e2e_no_window '^Form2$'
    step ctrl+shift+m 2.jpg 328
    e2e_check_view "Ctrl+Shift+M: the page scrolled" 2.jpg 328 100
    e2e_screenshot scrolled >/dev/null
    step ctrl+shift+u 2.jpg 0
    step ctrl+shift+h 1.jpg 0
    step ctrl+shift+k 2.jpg 0 # one page, not two
    e2e_check_view "the page after" 2.jpg 0 100 # and settled on screen before the clicks

    clicked=$(typist_clicks) focus=$(typist_focus)
    click 400 250 5
    xs_wait_for 15 more_than typist_clicks $((clicked + 4))
    e2e_check_eq "5 clicks on the page reach the typist" 5 $(($(typist_clicks) - clicked))
    e2e_check_eq "the typist keeps the focus after the clicks" "$focus" "$(typist_focus)"

    panel_click Opacity
    # Xwayland may drop the first key of a keyboard it has not seen yet: press until it counts.
    xs_wait_for 15 eval 'keys end; e2e_wait_panel 1 opacity=255'
    e2e_expect_panel 15 "End on the slider" opacity=255
    focus_typist
    e2e_check_view "opacity 255: the page opaque" 2.jpg 0 255
    layout=$(e2e_panel_state | sed -n 's/^layout=//p')
    # Again when a click only brought the panel forward.
    for _ in 1 2 3; do panel_click "$layout"; e2e_wait_panel 5 "layout=Half screen 1" && break; done
    e2e_expect_panel 15 "the layout button" "layout=Half screen 1"
    focus_typist
    e2e_check_view "full-screen layout: the page reaches down the screen" 2.jpg 0 255 600
    # The typist may miss the first key of a new virtual keyboard after the panel had the focus.
    typed=$(typist_keys k)
    e2e_check "Ctrl+K reaches the typist" \
        xs_wait_for 15 eval 'keys ctrl+k; xs_wait_for 1 more_than typist_keys "$typed" k'

    close_panel
    e2e_ended "panel closed"
    e2e_check "panel closed: the page is gone" xs_wait_for 15 e2e_screen_as_before
}
