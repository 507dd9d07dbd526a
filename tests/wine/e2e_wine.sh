#!/usr/bin/env bash
# The packed Windows build under Wine, in an Xvfb + openbox session and a Wine prefix of
# its own: the panel, the page window, hotkeys, the quiet message box, the state file, the
# zip, the installer and uninstaller; last, the order of the windows in a Wine desktop.
#   e2e_wine.sh PACKAGE_FOLDER OUT_DIR   (the zip and the installer lie beside its parent)

# The checks' helpers; the program and its session are Wine's, not lib.sh's.
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/prefix.sh"
package=$(realpath "$1")
E2E_OUT=$2
E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-e2e-wine.XXXXXX")
XS_WORK=$E2E_WORK
mkdir -p "$E2E_OUT"
app=$E2E_WORK/app
trap 'wp_remove; xs_cleanup; rm -rf "$E2E_WORK"' EXIT

xs_start_x || e2e_abort "$XS_ERROR"
wp_create "$E2E_WORK/prefix" || e2e_abort "$WP_ERROR"

# Pages of one colour each, so that the screen tells which one is shown.
cp -r "$package" "$app"
thai_page=$(printf '\xe0\xb8\xab\xe0\xb8\x99\xe0\xb9\x89\xe0\xb8\xb2.jpg') # "หน้า.jpg"
declare -A colour=([1.jpg]=ff0000 [2.jpg]=00c000 [10.jpg]=0000ff [$thai_page]=ffff00)
for name in "${!colour[@]}"; do
    convert -size 1024x900 "xc:#${colour[$name]}" -quality 95 "$app/$name"
done
# The remembered name, in the Thai code page as Windows writes it.
printf '\xCB\xB9\xE9\xD2.jpg\r\n' >"$app/current.txt"

# start_program [DIR EXE [ARGS...]]: runs the program (default: $app's) and waits for its panel.
start_program() {
    [ $# -gt 0 ] || set -- "$app" zorvane.exe
    (cd "$1" && shift && exec wine "$@") >"$E2E_WORK/app.log" 2>&1 &
    E2E_APP_PID=$!
    xs_track "$E2E_APP_PID"
    panel=$(xs_wait_window '\(Zorvane\)' 60) || e2e_abort "the panel did not appear"
    xs_wait_managed "$panel" || e2e_fail "openbox did not manage the panel"
    panel_origin=$(xs_geometry "$panel" | cut -d' ' -f1)
}
# until_shown NAME COMMAND...: runs COMMAND until the page NAME shows, three times at
# most: a fresh prefix can still be busy when the panel first maps and drop a click.
until_shown() {
    local name=$1
    shift
    for _ in 1 2 3; do
        "$@"
        xs_wait_for 10 near "${colour[$name]}" && return 0
    done
    return 1
}
# type_name NAME: NAME into the name box, then Enter, until the page shows.
type_name() { until_shown "$1" name_typed "$1"; }
name_typed() {
    e2e_click_panel 185 11
    xdotool key ctrl+a
    xdotool type --delay 30 "$1"
    xdotool key Return
}
# shown_colour: the colour on screen at PAGE_SPOT ("X Y"), as RRGGBB.
PAGE_SPOT="300 300"
shown_colour() {
    local shot=$E2E_WORK/now.png
    xs_screenshot "$shot" && convert "$shot" -format "%[hex:p{${PAGE_SPOT/ /,}}]" info: | cut -c1-6
}
# near COLOUR: the page shows COLOUR, give or take the JPEG's rounding.
near() {
    local got want=$1 i
    got=$(shown_colour) || return 1
    for i in 0 2 4; do
        local d=$((16#${got:i:2} - 16#${want:i:2}))
        [ ${d#-} -le 24 ] || return 1
    done
}
check_page() { # WHAT NAME
    xs_wait_for 15 near "${colour[$2]}" && e2e_ok "$1" ||
        e2e_fail "$1: expected the colour of $2 (${colour[$2]}), the screen shows $(shown_colour)"
}

start_program
e2e_check_match "panel title" '^www\.[a-z]+\.[a-z]+ \(Zorvane\) size= 1024$' "$(xdotool getwindowname "$panel")"
e2e_check_eq "panel client size" "439x48" "$(xs_geometry "$panel" | cut -d' ' -f2)"

type_name 10.jpg
page=$(xs_wait_window '^Form2$' 20) || e2e_abort "no page window after typing 10.jpg"
check_page "the typed name shows 10.jpg" 10.jpg
e2e_check_eq "page window geometry (Top 1200 twips, full width, half the height)" \
    "0,80 1024x344" "$(xs_geometry "$page")"
e2e_check_match "page window is unmanaged, as Wine makes borderless pop-ups" \
    'Override Redirect State: yes' "$(xwininfo -id "$page")"
e2e_check_eq "page opacity: layered alpha 100 as _NET_WM_WINDOW_OPACITY" \
    "$((100 * 0xffffffff / 255))" "$(xprop -id "$page" -notype _NET_WM_WINDOW_OPACITY | grep -o '[0-9]*$')"
e2e_check_match "the panel is kept above" '_NET_WM_STATE_ABOVE' "$(xprop -id "$panel" _NET_WM_STATE)"

# Wine grabs no keys on the root window: its hotkeys fire only while a Wine window has
# the focus, so notepad plays the typist's program.
notes=$E2E_WORK/notes.txt
: >"$notes"
(exec wine notepad "Z:${notes//\//\\}") >/dev/null 2>&1 &
xs_track $!
notepad=$(xs_wait_window 'Notepad' 60) || e2e_abort "notepad did not appear"
xs_activate "$notepad" || e2e_fail "notepad did not become active"
# Under the page window: the page's colour there means the page window is above notepad.
xdotool windowmove --sync "$notepad" 200 200 windowsize --sync "$notepad" 400 300
check_page "the page window stays above the focused notepad" 10.jpg
xdotool key ctrl+shift+k
check_page "Ctrl+Shift+K in notepad steps from 10.jpg to the next page (the Thai name)" "$thai_page"
sleep 1 # the list scrolls to the selection as it repaints: nothing to poll for
e2e_log "Thai name in the list and the name box: $(e2e_screenshot thai)"
xdotool key ctrl+shift+h
check_page "Ctrl+Shift+H steps back" 10.jpg
xdotool key ctrl+shift+h
check_page "and back to 2.jpg: 2 comes before 10" 2.jpg
e2e_check_eq "notepad keeps the focus" "$notepad" "$(xs_active_window)"
# An ordinary key still reaches notepad; then notepad saves what it received.
xdotool key x ctrl+s
xs_wait_for 10 test -s "$notes" || e2e_fail "notepad did not save its text"
e2e_check_eq "notepad received no character from the hotkeys" "x" "$(tr -d '\r\n' <"$notes")"

xs_activate "$notepad" || e2e_fail "notepad did not become active again"
xdotool key ctrl+shift+k ctrl+shift+k
check_page "two Ctrl+Shift+K step on to the last page, the Thai name" "$thai_page"
xdotool key ctrl+shift+k
box=$(xs_wait_window '^Image Preview$' 20) || e2e_abort "Ctrl+Shift+K at the last page: no message"
e2e_check_match "the message is owned (no taskbar button of its own)" 'window id' \
    "$(xprop -id "$box" WM_TRANSIENT_FOR)"
e2e_check_eq "notepad keeps the focus while the message shows" "$notepad" "$(xs_active_window)"
e2e_quiet_box_takes_keys "$box" 'Image Preview'

e2e_stop_program "the first run"
e2e_check_file_bytes "current.txt at close" "$app/current.txt" '\xCB\xB9\xE9\xD2.jpg\r\n'

start_program
type_name 1.jpg || e2e_fail "the typed name 1.jpg did not show"
wineboot --end-session >/dev/null 2>&1
xs_wait_exit "$E2E_APP_PID" 30 || e2e_fail "the program did not end with the session"
e2e_check_file_bytes "current.txt at the end of the session" "$app/current.txt" '1.jpg\r\n'

name=$(basename "$package")
version=$(sed 's/^zorvane-\(.*\)-windows-x64$/\1/' <<<"$name")
zip=${package%/*/*}/$name.zip
top=$(unzip -Z1 "$zip" | grep -v / | LC_ALL=C sort | paste -sd' ')
e2e_check_match "the zip holds zorvane.exe, its licence and README at its top level" \
    '(^| )LICENSE\.txt .*README\.txt .*zorvane\.exe$' "$top"
readme=$(unzip -p "$zip" README.txt)
e2e_check_eq "README.txt has CR LF line ends" "" "$(grep -v $'\r$' <<<"$readme")"
e2e_check_match "README.txt is for Windows and says to put the files beside the scans" \
    'zorvane\.exe.*into the folder that holds *your scanned pages' "$(tr -d '\r' <<<"$readme" | tr '\n' ' ')"
imports=$(find "$package" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-objdump -p {} + |
    sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
unused=$(cd "$package" && printf '%s\n' *.dll | tr A-Z a-z | sort | comm -23 - <(echo "$imports"))
e2e_check_eq "every DLL of the zip is imported by the program or a plugin" "" "$unused"
pe=$(x86_64-w64-mingw32-objdump -p "$package/zorvane.exe")
e2e_check_eq "zorvane.exe: ASLR (64-bit) and DEP" "HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT" \
    "$(grep -ow -e HIGH_ENTROPY_VA -e DYNAMIC_BASE -e NX_COMPAT <<<"$pe" | paste -sd' ')"
e2e_check_match "zorvane.exe's version resource" "FileVersion $version .*ProductName Zorvane ProductVersion $version" \
    "$(wrestool -x --raw -t 16 "$package/zorvane.exe" | strings -el | paste -sd' ')"
e2e_check_match "zorvane.exe carries its icon" '--type=14 ' "$(wrestool -l "$package/zorvane.exe")"

scans=$E2E_WORK/scans
mkdir -p "$scans"
cp "$app"/1.jpg "$app"/2.jpg "$app"/10.jpg "$scans/"
wine "${zip%.zip}-setup.exe" /S >"$E2E_WORK/setup.log" 2>&1
e2e_check_eq "the installer ends with status 0" 0 "$?"
instdir=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/Programs/Zorvane/zorvane.exe' \
    -printf '%h\n' | head -n 1)
[ -n "$instdir" ] || e2e_abort "zorvane.exe not installed per user: $(cat "$E2E_WORK/setup.log")"
e2e_ok "installed per user into $(sed "s|^$WINEPREFIX/||" <<<"$instdir")"
e2e_check_eq "the installed files are the zip's, and the uninstaller" \
    "$( (cd "$package" && find . -type f; echo ./uninstall.exe) | LC_ALL=C sort)" \
    "$(cd "$instdir" && find . -type f | LC_ALL=C sort)"
shortcut=$(find "$WINEPREFIX/drive_c/users" -path '*/Start Menu/Programs/Zorvane.lnk' | head -n 1)
[ -n "$shortcut" ] && e2e_ok "Start menu shortcut" || e2e_fail "no Start menu shortcut"
# The user's registry, read in one go (each `wine reg` starts Wine for a second).
read_registry() { REGISTRY=$(wine reg query 'HKCU\Software' /s 2>/dev/null | tr -d '\r'); }
# reg_value KEY [NAME]: a value of KEY (HKCU\...), the default one without NAME.
reg_value() {
    KEY="HKEY_CURRENT_USER\\${1#HKCU\\}" NAME=${2:-(Default)} awk '
        /^HKEY_/ { inkey = (tolower($0) == tolower(ENVIRON["KEY"])); next } # as Windows: any case
        inkey && $1 == ENVIRON["NAME"] { sub(/^ *[^ ]+ +REG_[A-Z_]+ */, ""); print; exit }' <<<"$REGISTRY"
}
verb='HKCU\Software\Classes\Directory\shell\Zorvane'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zorvane'
read_registry
e2e_check_eq "the folder verb's caption" "Open with Zorvane" "$(reg_value "$verb")"
e2e_check_eq "the folder verb is not the folders' default action" "" \
    "$(reg_value 'HKCU\Software\Classes\Directory\shell')"
e2e_check_eq "Apps & features lists Zorvane $version" "Zorvane $version" \
    "$(reg_value "$uninstall" DisplayName) $(reg_value "$uninstall" DisplayVersion)"
e2e_check_match "the installed copy's folder is marked in the user's settings" 'Programs\\Zorvane$' \
    "$(reg_value 'HKCU\Software\Zorvane\Zorvane\install' folder)"

# The Start menu shortcut: the installed copy asks for the page folder, where it was chosen last.
wine reg add 'HKCU\Software\Zorvane\Zorvane\pageFolder' /v lastChosen /d "Z:${scans//\//\\}" /f >/dev/null 2>&1
(exec wine start /unix "$shortcut") >"$E2E_WORK/app.log" 2>&1
chooser=$(xs_wait_window '^Zorvane: choose the folder' 60) ||
    e2e_abort "no folder chooser from the Start menu shortcut"
e2e_ok "the Start menu shortcut starts Zorvane with the folder chooser"
sleep 3 # until Wine has painted it and its folder's entries, for the screenshot
e2e_log "the chooser, with the pages of the folder chosen last: $(e2e_screenshot chooser)"
xs_activate "$chooser" || true
xdotool key Escape
xs_wait_for 20 e2e_no_window '^Zorvane: choose the folder' || e2e_fail "the chooser did not close"

# The folder verb, as Explorer runs it on the folder of scans.
command=$(reg_value "$verb\command")
exe=$(sed -n 's/^"\([^"]*\)" "%1"$/\1/p' <<<"$command")
[ -n "$exe" ] || e2e_fail "the folder verb's command is not \"EXE\" \"%1\": $command"
start_program "$WINEPREFIX/drive_c" "$exe" "Z:${scans//\//\\}"
e2e_log "the folder's pages: $(e2e_screenshot verb-list)"
until_shown 1.jpg e2e_click_panel 30 6 # the list's first entry
check_page "the folder verb lists the folder's pages: its first entry shows 1.jpg" 1.jpg
e2e_stop_program "the folder verb's run"
e2e_check_file_bytes "current.txt in the folder of scans" "$scans/current.txt" '1.jpg\r\n'

# The uninstaller, as Apps & features runs it, silently.
(exec wine "$instdir/uninstall.exe" /S) >/dev/null 2>&1
xs_wait_for 60 test ! -e "$instdir" || e2e_fail "the program folder is still there: $(ls -A "$instdir")"
read_registry
e2e_check_eq "the uninstaller removes the shortcut, the verb, the entry and the settings" \
    "no shortcut|||" "$([ -e "$shortcut" ] && echo shortcut || echo no shortcut)|$(reg_value "$verb")|$(
        reg_value "$uninstall" DisplayName)|$(reg_value 'HKCU\Software\Zorvane\Zorvane\install' folder)"
e2e_check_file_bytes "the uninstaller leaves the scans' current.txt" "$scans/current.txt" '1.jpg\r\n'

# The order of the windows, in a Wine desktop: openbox keeps the unmanaged page window above
# all it manages; a Wine desktop orders them as Windows does, each a child X window of it.
printf '1.jpg\r\n' >"$app/current.txt"
(cd "$app" && exec wine explorer /desktop=zorvane,1024x768 zorvane.exe) >"$E2E_WORK/app.log" 2>&1 &
xs_track $!
desktop=$(xs_wait_window '^zorvane - Wine desktop$' 60) || e2e_abort "no Wine desktop"
xs_wait_window '\(Zorvane\)' 60 >/dev/null || e2e_abort "no panel in the Wine desktop"
read -r dx dy _ < <(xs_geometry "$desktop" | tr ',x' '  ')
panel_origin=$((dx + 496)),$((dy + 29)) # where the program puts it: 7440,435 twips
PAGE_SPOT="$((dx + 100)) $((dy + 300))" # left of the help window
# desktop_above HIGH LOW: window HIGH lies above LOW (xwininfo lists children top first).
desktop_above() {
    xwininfo -children -id "$desktop" | sed -n 's/^ *0x[0-9a-f]* "\(.*\)": (.*/\1/p' |
        awk -v high="$1" -v low="$2" '$0 == high { seen = 1 } $0 == low { ok = seen; exit } END { exit !ok }'
}
until_shown 1.jpg e2e_click_panel 185 35 # the load button: the page of the state file
e2e_click_panel 376 35
xs_wait_window '^How to use$' 20 >/dev/null || e2e_abort "the help button did not open the help window"
xdotool key ctrl+shift+k ctrl+shift+k
check_page "Ctrl+Shift+K twice with the help open" 10.jpg
e2e_check "the help window is still above the page window after the two steps" \
    xs_wait_for 10 desktop_above 'How to use' Form2
xdotool key ctrl+shift+k ctrl+shift+k
xs_wait_window '^Image Preview$' 20 >/dev/null || e2e_abort "Ctrl+Shift+K at the last page: no message"
xdotool key ctrl+shift+h
check_page "Ctrl+Shift+H with the message open" 10.jpg
e2e_check "the message and the help window are above the page window after the step" \
    xs_wait_for 10 eval "desktop_above 'Image Preview' Form2 && desktop_above 'How to use' Form2"
e2e_log "the help window and the message above the page: $(e2e_screenshot desktop)"

e2e_finish
