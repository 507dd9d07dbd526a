#!/usr/bin/env bash
# Zorvane on a Wayland desktop: a headless sway with Xwayland, the window rules
# and key bindings the README gives, and a native Wayland terminal (foot) that
# holds the focus. With WAYLAND_DISPLAY and DISPLAY both set, the program runs
# on X (Xwayland); the keys bound in sway to `zorvane --next` and the like turn
# and scroll the page while the terminal keeps the focus and receives none of
# them. Also measured, not asserted: whether a click on the page window reaches
# the terminal below it.
#
# sway refuses to run as root: as root, the test runs a copy of itself, its
# helpers and the programs again as an unprivileged user (the checkout may not
# be readable to that user), in a folder of its own.

set -u
if [ "$(id -u)" -eq 0 ] && [ -z "${E2E_SWAY_USER:-}" ]; then
    [ $# -ge 3 ] || { echo "usage: $0 ZORVANE MAKE_PAGES OUTPUT_DIR" >&2; exit 2; }
    src=$(cd "$(dirname "$0")/../.." && pwd)
    stage=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-sway.XXXXXX")
    mkdir -p "$stage/src/tests" "$stage/src/scripts" "$stage/bin" "$stage/shots"
    cp -r "$src/tests/e2e" "$src/tests/desktop" "$stage/src/tests/"
    cp "$src/scripts/xsession.sh" "$stage/src/scripts/"
    cp "$1" "$stage/bin/zorvane"
    cp "$2" "$stage/bin/make_pages"
    chown -R 65534:65534 "$stage"
    chmod 755 "$stage"
    cd "$stage" || exit 1
    HOME=$stage E2E_SWAY_USER=1 setpriv --reuid=65534 --regid=65534 --clear-groups \
        bash "$stage/src/tests/e2e/$(basename "$0")" "$stage/bin/zorvane" "$stage/bin/make_pages" \
        "$stage/shots"
    status=$?
    mkdir -p "$3"
    cp "$stage"/shots/*.png "$3"/ 2>/dev/null
    rm -rf "$stage"
    exit $status
fi

source "$(dirname "$0")/lib.sh"
e2e_init "$@"
E2E_NAME=e2e_sway
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
e2e_log "sway on $WAYLAND_DISPLAY, Xwayland on $DISPLAY"

tree() { swaymsg -t get_tree; }
# window_json TITLE_REGEX|APP_ID: "SHELL FOCUSED X Y WIDTH HEIGHT CLASS" of the
# first window sway lists with that title or Wayland app id.
window_json() {
    tree | /usr/bin/python3 -c '
import json, re, sys
want = sys.argv[1]
def walk(n):
    yield n
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        yield from walk(c)
for n in walk(json.load(sys.stdin)):
    if n.get("pid") and (n.get("app_id") == want or re.search(want, n.get("name") or "")):
        print(n["shell"], int(n["focused"]), n["rect"]["x"], n["rect"]["y"],
              n["rect"]["width"], n["rect"]["height"],
              n.get("window_properties", {}).get("class", ""))
        break' "$1"
}

# --- Zorvane, with both displays set and no Qt platform chosen ---
(cd "$E2E_APP_DIR" && exec env -u QT_QPA_PLATFORM QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ./zorvane) \
    >"$E2E_WORK/app.log" 2>"$E2E_WORK/stderr-1.txt" &
E2E_APP_PID=$!
xs_track "$E2E_APP_PID"
e2e_wait_panel 30 vpos=0 || e2e_abort "the panel could not be read: [$E2E_PANEL_STATE] $(cat "$E2E_WORK/stderr-1.txt")"
xs_wait_for 10 window_json '\(Zorvane\)' || e2e_fail "sway does not list the panel"
e2e_check_match "the panel is an Xwayland window" '^xwayland ' "$(window_json '\(Zorvane\)')"
e2e_check_match "stderr says once how to bind the remote commands" \
    'only while an X11 program has the focus.*zorvane --next' "$(cat "$E2E_WORK/stderr-1.txt")"

# --- the typist's native terminal: records every byte, also mouse clicks ---
foot --app-id=typist sh -c 'printf "\033[?1000h"; stty raw -echo && exec cat >"$0"' "$keys" \
    >"$E2E_WORK/foot.log" 2>&1 &
xs_track $!
xs_wait_for 20 test -e "$keys" || e2e_abort "foot did not start: $(cat "$E2E_WORK/foot.log")"
typist_focused() { [[ $(window_json typist) =~ ^xdg_shell\ 1 ]]; }
xs_wait_for 10 typist_focused || e2e_fail "foot does not have the focus: $(window_json typist)"

press() { wtype -M ctrl -M shift "$1" -m shift -m ctrl; }

# step KEY PAGE VPOS WHAT
step() {
    local before
    before=$(keys_size)
    press "$1"
    e2e_wait_panel 10 "name=$2" "selected=$2" "vpos=$3" && e2e_ok "$4: panel at $2, position $3" ||
        e2e_fail "$4: expected $2 at $3, panel reads [$E2E_PANEL_STATE]"
    e2e_check_eq "$4: the terminal receives nothing" "$before" "$(keys_size)"
    typist_focused && e2e_ok "$4: foot keeps the focus" || e2e_fail "$4: focus moved: $(window_json typist)"
}

step k 2.jpg 0 "Ctrl+Shift+K (bound to zorvane --next)"
xs_wait_for 10 window_json '^Form2$' || e2e_fail "sway does not list the page window"
e2e_log "page window: $(window_json '^Form2$'); panel: $(window_json '\(Zorvane\)'); foot: $(window_json typist)"
step m 2.jpg 328 "Ctrl+Shift+M (zorvane --scroll-down)"
grim "$E2E_OUT/e2e_sway_scrolled.png" || e2e_fail "grim could not take a screenshot"
step u 2.jpg 0 "Ctrl+Shift+U (zorvane --scroll-up)"
step h 1.jpg 0 "Ctrl+Shift+H (zorvane --prev)"
step k 2.jpg 0 "Ctrl+Shift+K again: one page, not two"

# A near miss reaches the terminal: the keys do flow to it.
before=$(keys_size)
wtype -M ctrl k -m ctrl
xs_wait_for 5 keys_bigger_than "$before" && e2e_ok "Ctrl+K reaches foot" ||
    e2e_fail "Ctrl+K did not reach foot"
grim "$E2E_OUT/e2e_sway_page.png" || true

# --- click-through, measured: a click on the page window over foot ---
read -r _ _ px py pw ph _ < <(window_json '^Form2$')
read -r _ _ fx fy fw fh _ < <(window_json typist)
# clicks X Y N: N left clicks there; prints how many reached foot (its mouse
# reports are 6 bytes a press and 6 a release).
clicks() {
    local before
    before=$(keys_size)
    /usr/bin/python3 "$E2E_LIB_DIR/wl_click.py" "$1" "$2" "$3" || { echo 0; return; }
    sleep 0.3
    echo $((($(keys_size) - before) / 12))
}
# Somewhere on foot but off the page window, and somewhere on both.
cx=$((fx + fw / 2))
oy=$((fy + fh - 20))
cy=$((py + ph / 2))
if [ "$oy" -lt "$((py + ph))" ] || [ "$cy" -lt "$fy" ]; then
    e2e_log "click-through not measured: foot ($fx,$fy ${fw}x$fh) and the page window ($px,$py ${pw}x$ph) do not overlap as expected"
else
    e2e_check_eq "clicks on foot beside the page window reach it" 5 "$(clicks "$cx" "$oy" 5)"
    e2e_log "MEASURED click-through on sway: $(clicks "$cx" "$cy" 5) of 5 clicks on the page window at $cx,$cy reached foot below it"
    e2e_log "MEASURED after them, focused: foot $(window_json typist | cut -d' ' -f2), page window $(window_json '^Form2$' | cut -d' ' -f2), panel $(window_json '\(Zorvane\)' | cut -d' ' -f2)"
    before=$(keys_size)
    wtype x
    xs_wait_for 3 keys_bigger_than "$before" && typed=yes || typed=no
    e2e_log "MEASURED after them, a key typed reaches foot: $typed"
    grim "$E2E_OUT/e2e_sway_clicked.png" || true
fi

kill -TERM "$E2E_APP_PID"
xs_wait_exit "$E2E_APP_PID" 20 && e2e_check_eq "program exits with status 0 on TERM" 0 "$XS_EXIT_STATUS" ||
    e2e_fail "the program did not end on TERM"

[ "$E2E_FAILED" -gt 0 ] && tail -20 "$E2E_WORK/sway.log"
e2e_finish
