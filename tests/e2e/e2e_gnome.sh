#!/usr/bin/env bash
# Zorvane on a headless GNOME Shell 43 with its page-window extension, gedit (native
# Wayland) holding the focus: the page window above gedit and letting clicks through; with
# the extension disabled, the hint once per session. The shell is read through its Eval
# method (opened by a test extension). Needs ZORVANE_GNOME_EXTENSIONS_DIR (CMake sets it).

source "$(dirname "$0")/lib.sh"
source "$E2E_LIB_DIR/wayland.sh"
e2e_rerun_unprivileged "$@" "${ZORVANE_GNOME_EXTENSIONS_DIR:?must name the built extensions}"
e2e_init "$@"
uuid=page-window-legacy@zorvane.org
extensions=${E2E_EXTRA:+$E2E_EXTRA/extensions}

# --- the extensions, enabled in the settings the shell reads ---
export HOME=$E2E_WORK/home GSETTINGS_BACKEND=keyfile XDG_CURRENT_DESKTOP=GNOME
test_eval=$HOME/.local/share/gnome-shell/extensions/test-eval@zorvane.org
mkdir -p "$test_eval" "$HOME/.config/glib-2.0/settings"
cp -r "${extensions:-$ZORVANE_GNOME_EXTENSIONS_DIR}/$uuid" "${test_eval%/*}/"
echo '{"uuid": "test-eval@zorvane.org", "name": "test eval", "description": "test", "shell-version": ["43"]}' \
    >"$test_eval/metadata.json"
echo 'function init() { return { enable() { global.context.unsafe_mode = true; }, disable() {} }; }' >"$test_eval/extension.js"
printf '%s\n' '[org/gnome/shell]' "enabled-extensions=['$uuid', 'test-eval@zorvane.org']" \
    "welcome-dialog-last-shown-version='999'" >"$HOME/.config/glib-2.0/settings/keyfile"

sed -e 's|<type>session|<type>system|' -e "s|<listen>.*</listen>|<listen>unix:path=$E2E_WORK/system_bus</listen>|" \
    "$E2E_LIB_DIR/../desktop/private-bus.conf" >system.conf
bus=$(dbus-daemon --config-file=system.conf --fork --print-pid) || e2e_abort "the system bus did not start"
xs_track "$bus"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$E2E_WORK/system_bus
gnome-shell --headless --wayland --virtual-monitor 1024x768 >shell.log 2>&1 &
xs_track $!

# shell JS: the value of the expression JS in the shell, as JSON (strings quoted).
shell() {
    local out
    out=$(gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval "$1") &&
        [[ $out == "(true, '"* ]] && out=${out#(true, \'} && printf '%s\n' "${out%\')}"
}
xs_wait_for 40 shell 1 || e2e_abort "GNOME Shell did not start: $(grep -v dbus-daemon shell.log | tail)"
# The shell opens the overview once its start-up animation ends: close it then.
overview_closed() {
    [ "$(shell 'Main.layoutManager._startingUp || (Main.overview.hide(), Main.overview.visible)')" = false ]
}
xs_wait_for 30 overview_closed || e2e_abort "the overview did not close: $(shell Main.overview.visible)"
export WAYLAND_DISPLAY=wayland-0
DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' shell.log)
XAUTHORITY=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* | head -n 1)
export DISPLAY XAUTHORITY
e2e_check_eq "GNOME Shell runs the extension" 1 "$(shell "Main.extensionManager.lookup('$uuid').state")"

# The shell's windows, bottom to top: "title|wm class|above|sticky|focused" a line.
windows() {
    shell 'global.display.sort_windows_by_stacking(global.get_window_actors().map(a => a.meta_window))
        .map(w => [w.get_title(), w.get_wm_class(), w.is_above(), w.is_on_all_workspaces(),
                   w.has_focus()].join("|")).join(";")' | sed 's/^"//; s/"$//' | tr ';' '\n'
}
# stacked_above HIGH LOW: title regexes; the first window matching HIGH is above the first matching LOW.
stacked_above() {
    windows | awk -F'|' -v high="$1" -v low="$2" '
        $1 ~ low && !l { l = NR } $1 ~ high && !h { h = NR } END { exit !(l && h && h > l) }'
}
gedit_focused() { windows | grep -q '^[^|]*gedit|.*|true$'; }
gedit_start
xs_wait_for 30 gedit_focused || e2e_abort "gedit did not take the focus: $(windows)"

# click X Y: a left click with the shell's virtual pointer, moved there first.
shell 'global.zorvanePointer = imports.gi.Clutter.get_default_backend().get_default_seat()
    .create_virtual_device(imports.gi.Clutter.InputDeviceType.POINTER_DEVICE); 1' >/dev/null
click() { shell "const p = global.zorvanePointer, t = GLib.get_monotonic_time(); p.notify_absolute_motion(t, $1, $2);
    p.notify_button(t + 1, 1, 1); p.notify_button(t + 2, 1, 0); 1" >/dev/null; }
# clicks_through: a click on gedit below the page, then five on the page; prints how many reached gedit.
clicks_through() {
    local before i
    click 500 650
    xs_wait_for 5 gedit_focused && sleep 0.5
    before=$(typist_clicks)
    for i in 1 2 3 4 5; do click $((100 + 40 * i)) 400; sleep 0.3; done
    xs_wait_for 3 more_than typist_clicks $((before + 4))
    echo "$(($(typist_clicks) - before)) of 5"
}

e2e_add_pages 1.jpg 2.jpg
start_zorvane() {
    e2e_start_program
    "$E2E_APP_DIR/zorvane" --next || e2e_abort "zorvane --next failed"
    xs_wait_for 10 eval 'windows | grep -q "^Form2|"' || e2e_abort "the page window did not appear: $(windows)"
}
hints() { grep -i 'gnome-extensions' "$E2E_APP_STDERR"; }
start_zorvane
e2e_check "the page window is above gedit" stacked_above '^Form2$' gedit
e2e_check_match "the page window is kept above and on every workspace" '^Form2\|Zorvane\|true\|true\|false$' \
    "$(windows | grep '^Form2|')"
e2e_check_eq "no hint about the extension while it runs" "" "$(hints)"
e2e_check_eq "clicks on the page that reach gedit" "5 of 5" "$(clicks_through)"
e2e_check "gedit keeps the focus after the clicks" gedit_focused
e2e_check "the panel stays above the page window after the clicks" stacked_above '\(Zorvane\)' '^Form2$'
shell 'Main.messageTray.getSources().forEach(s => s.destroy())' >/dev/null # the unsafe mode's banner
gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell/Screenshot \
    -m org.gnome.Shell.Screenshot.Screenshot false false "$E2E_OUT/e2e_gnome_page.png" >/dev/null ||
    e2e_fail "the shell took no screenshot"

# --- the extension disabled: everything undone, and the hint, once ---
gnome-extensions disable $uuid
e2e_check_eq "disabling gives the page window's actors their reactivity back" true "$(shell 'const all = a =>
    a.reactive === !(a instanceof Meta.WindowActor) && a.get_children().every(all);
    global.get_window_actors().filter(a => a.meta_window.get_title() === "Form2").every(all)')"
e2e_stop_program
start_zorvane
e2e_check_stderr "the hint says how to enable the extension" \
    "extension $uuid is not enabled.*gnome-extensions enable $uuid.*after you log out and in"
# Not asserted: without the extension, how many clicks on the page reach gedit varies
# from run to run on mutter 43 (0 or 5 of 5 here); the extension's own
# undoing is checked above.
e2e_stop_program
start_zorvane
e2e_check_eq "the hint is given once per login session" "" "$(hints)"
e2e_stop_program

e2e_finish
