#!/usr/bin/env bash
# Zorvane on a headless sway with Xwayland, the panel rule and key bindings the README
# gives (`zorvane --next` and the like), a native terminal (foot) holding the focus that
# records every byte it gets, clicks too: the page through the layer surface (wayland.sh);
# through a proxy socket, the Xwayland page window without a layer shell or once cut off.

source "$(dirname "$0")/lib.sh"
source "$E2E_LIB_DIR/wayland.sh"
e2e_rerun_unprivileged "$@"
e2e_init "$@"
e2e_add_pages 1.jpg 2.jpg 3.jpg
app=$E2E_APP_DIR/zorvane

cat >"$E2E_WORK/sway.conf" <<CONF
xwayland force
output HEADLESS-1 resolution 1024x768 position 0 0
for_window [class="^Zorvane\$" title="\\(Zorvane\\)"] floating enable, sticky enable, move position 496 0
bindsym ctrl+shift+k exec $app --next
bindsym ctrl+shift+h exec $app --prev
bindsym ctrl+shift+m exec $app --scroll-down
bindsym ctrl+shift+u exec $app --scroll-up
exec echo "\$WAYLAND_DISPLAY \$SWAYSOCK \$DISPLAY" >$E2E_WORK/displays
CONF
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$E2E_WORK/sway.conf" >"$E2E_WORK/sway.log" 2>&1 &
xs_track $!
xs_wait_for 20 test -s displays || e2e_abort "sway did not start: $(tail -5 sway.log)"
read -r WAYLAND_DISPLAY SWAYSOCK DISPLAY <displays
export WAYLAND_DISPLAY SWAYSOCK DISPLAY

# keys COMBO...: through wtype, as ctrl+shift+k or end.
keys() {
    local combo key mod down up
    for combo; do
        key=${combo##*+} down=() up=()
        for mod in $(tr + ' ' <<<"${combo%"$key"}"); do down+=(-M "$mod") up+=(-m "$mod"); done
        if [ ${#key} -eq 1 ]; then down+=("$key"); else down+=(-k "${key^}"); fi
        wtype "${down[@]}" "${up[@]}"
    done
}
click() { wl_input click "$@"; }
close_panel() { swaymsg -q '[title="\(Zorvane\)"] kill'; }
E2E_GRAB=grim
typist_keys() { keys_size; }
typist_focused() { swaymsg -t get_tree | jq -e '.. | select(.app_id? == "typist") | .focused' >/dev/null; }
typist_focus() { typist_focused && echo focused; }
typist_clicks() { echo $(($(keys_size) / 12)); } # 6 bytes for the press, 6 for the release
TYPIST_AT="100 40" # above the page, left of the panel

keys=$E2E_WORK/keys.bin
foot --app-id=typist sh -c 'stty raw -echo && printf "\033[?1000h" && exec cat >"$0"' "$keys" >foot.log 2>&1 &
xs_track $!
xs_wait_for 20 test -e "$keys" || e2e_abort "foot did not start: $(cat foot.log)"
xs_wait_for 10 typist_focused || e2e_abort "foot does not have the focus"
layer_surface_checks

# proxied NAME [HIDDEN]: the program talks to sway through a proxy NAME (PID in proxy) that hides HIDDEN.
proxied() {
    e2e_spawn "$1.log" ready /usr/bin/python3 "$E2E_LIB_DIR/wl_proxy.py" "$@"
    proxy=$E2E_SPAWNED
    wl_start_program WAYLAND_DISPLAY="$1"
}
proxied no-layer-shell zwlr_layer_shell_v1
keys ctrl+shift+k
e2e_expect_panel 15 "no layer shell: Ctrl+Shift+K" name=2.jpg
e2e_page_shown "no layer shell"
e2e_check_stderr "no layer shell: the user is told" \
    'page is shown as an Xwayland window: the compositor offers no layer shell'
e2e_term_ends "without a layer shell"

proxied cut
keys ctrl+shift+k
e2e_expect_panel 15 "before the cut: Ctrl+Shift+K" name=2.jpg
e2e_check "before the cut: no page window, the layer surface instead" e2e_no_window '^Form2$'
kill -TERM "$proxy"
e2e_page_shown "connection cut"
keys ctrl+shift+k
e2e_expect_panel 15 "connection cut: Ctrl+Shift+K still works" name=3.jpg

e2e_finish
