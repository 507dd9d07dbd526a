#!/usr/bin/env bash
# Zorvane installed: the files `cmake --install` puts in place, their validators, the
# Debian package; the staged program started as the desktop entry starts it, and an
# installed copy with no argument. Needs ZORVANE_BUILD_DIR (CMake sets it).

source "$(dirname "$0")/lib.sh"
e2e_init "$@"
build=${ZORVANE_BUILD_DIR:?ZORVANE_BUILD_DIR must name the build folder}
stage=$E2E_WORK/stage

DESTDIR=$stage cmake --install "$build" --prefix /usr >install.log 2>&1 || e2e_abort "cmake --install failed: $(cat install.log)"
u=./usr/share
expected=$(printf '%s\n' ./usr/bin/zorvane $u/applications/org.zorvane.Zorvane.desktop $u/man/man1/zorvane.1 \
    $u/kio/servicemenus/org.zorvane.Zorvane.open-folder.desktop $u/dbus-1/interfaces/org.zorvane.Zorvane.xml \
    $u/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/org.zorvane.Zorvane.png \
    $u/icons/hicolor/scalable/apps/org.zorvane.Zorvane.svg $u/doc/zorvane/LICENSE $u/metainfo/org.zorvane.Zorvane.metainfo.xml \
    $u/gnome-shell/extensions/page-window{,-legacy}@zorvane.org/{extension.js,metadata.json} | LC_ALL=C sort)
installed=$(cd "$stage" && find . -type f | LC_ALL=C sort)
e2e_check_eq "installed files" "$expected" "$installed"

share=$stage/usr/share
entry=$share/applications/org.zorvane.Zorvane.desktop
e2e_check "desktop-file-validate passes" desktop-file-validate "$entry"
e2e_check_eq "the desktop entry claims JPEG pages only, not folders" "MimeType=image/jpeg;" \
    "$(grep '^MimeType=' "$entry")"
e2e_check_eq "Thai name and comment in the desktop entry and the metadata" 4 "$(cat "$entry" "$share/metainfo/"* |
    grep -c -e '^Name\[th\]=' -e '^Comment\[th\]=' -e '<name xml:lang="th">' -e '<summary xml:lang="th">')"
# Folders still open in the file manager, whichever desktop asks (the staged entries searched first).
fm=$E2E_WORK/file-manager/applications
mkdir -p "$fm" empty
printf '[Desktop Entry]\nType=Application\nName=Files\nExec=pcmanfm %%U\nMimeType=inode/directory;\n' >"$fm/pcmanfm.desktop"
update-desktop-database "$share/applications" "$fm"
for desktop in "" GNOME XFCE KDE; do
    e2e_check_eq "xdg-mime: folders open in the file manager (desktop '${desktop:-unset}')" pcmanfm.desktop \
        "$(env -i PATH="$PATH" HOME="$E2E_WORK/empty" XDG_CURRENT_DESKTOP=$desktop KDE_SESSION_VERSION=5 \
            XDG_DATA_DIRS="$share:${fm%/applications}" XDG_CONFIG_DIRS="$E2E_WORK/empty" \
            xdg-mime query default inode/directory 2>&1)"
done
rm "$share/applications/mimeinfo.cache"
e2e_check "appstreamcli validate passes" appstreamcli validate --no-net "$share/metainfo/org.zorvane.Zorvane.metainfo.xml"
warnings=$(groff -ww -z -man "$share/man/man1/zorvane.1" 2>&1)
warnings+=$(MANWIDTH=80 man --warnings=w -l "$share/man/man1/zorvane.1" 2>&1 >man.txt)
e2e_check_eq "manual renders without warnings" "" "$warnings"
e2e_check_match "manual has its sections" \
    'SYNOPSIS.*THE PAGE FOLDER.*HOTKEYS.*DESKTOP SESSIONS.*FILES.*current\.txt.*EXIT STATUS' \
    "$(tr '\n' ' ' <man.txt)"

version=$("$stage/usr/bin/zorvane" --version | cut -d' ' -f2)
e2e_check_match "the staged program tells its version" '^[0-9]+\.[0-9]+\.[0-9]+$' "$version"

deb=$E2E_WORK/pkg/zorvane_${version}_amd64.deb
if cpack --config "$build/CPackConfig.cmake" -B "$E2E_WORK/pkg" >cpack.log 2>&1 && [ -f "$deb" ]; then
    e2e_ok "cpack builds ${deb##*/} ($(stat -c %s "$deb") bytes)"
    listed=$(dpkg-deb -c "$deb" | awk '$NF !~ /\/$/ { print $NF }' | LC_ALL=C sort)
    want=$(sed -e 's|^\./usr/share/man/man1/zorvane\.1$|&.gz|' \
        -e 's|^\./usr/share/doc/zorvane/LICENSE$|./usr/share/doc/zorvane/changelog.gz\n./usr/share/doc/zorvane/copyright|' \
        <<<"$installed" | LC_ALL=C sort)
    e2e_check_eq "package holds the installed files (manual compressed, Debian doc files)" "$want" "$listed"
    control=$(dpkg-deb -f "$deb" Depends Section Maintainer Description)
    e2e_check_match "package depends on Qt as dpkg-shlibdeps found it" 'libqt6widgets6 \(>= ' "$control"
    e2e_check_match "package has section, maintainer and description" \
        'Section: graphics.*Maintainer: .+<.+@.+>.*Description: .+' "$(tr '\n' ' ' <<<"$control")"
    lintian -I --pedantic "$deb" >lintian.txt 2>&1
    e2e_check_eq "lintian reports no errors" "" "$(grep '^E:' lintian.txt)"
    e2e_check_eq "lintian finds the program hardened" "" "$(grep hardening lintian.txt)"
else e2e_fail "cpack -G DEB did not build the package: $(cat cpack.log)"; fi

# --- the staged program from its system folder, in an unrelated (empty) working folder ---
e2e_start_x
scans="$E2E_WORK/My Scans"
e2e_add_pages 1.jpg 2.jpg 10.jpg
mkdir -p "$scans" && mv "$E2E_APP_DIR"/*.jpg "$scans/"
e2e_start_program -- "$stage/usr/bin/zorvane" "$scans"
tree=$(e2e_atspi --wait-for '10.jpg') || e2e_abort "the page list could not be read: $tree"
e2e_check_eq "folder argument: its pages are listed" "1.jpg 2.jpg 10.jpg" "$(e2e_list_items "$tree")"
e2e_check_eq "window class matches the desktop entry's StartupWMClass" \
    "WM_CLASS(STRING) = \"zorvane\", \"$(sed -n 's/^StartupWMClass=//p' "$entry")\"" \
    "$(xprop -id "$panel" WM_CLASS)"
e2e_check_match "the program sets its window icon" '_NET_WM_ICON\(CARDINAL\) = ' \
    "$(xprop -id "$panel" _NET_WM_ICON | head -c 200)"
e2e_stop_program "folder argument"
e2e_check_eq "folder argument, no page shown: no current.txt left there" "" "$(ls "$scans" | grep -v jpg)"
e2e_check_eq "nothing written beside the installed program nor in the working folder" "" \
    "$(ls -A "$stage/usr/bin" | grep -v '^zorvane$')$(ls -A "$E2E_APP_DIR")"

e2e_start_program -- "$stage/usr/bin/zorvane" "$scans/2.jpg"
e2e_expect_panel 20 "page argument: that page is loaded and selected" name=2.jpg selected=2.jpg
e2e_screenshot page-argument >/dev/null
e2e_stop_program "page argument"
e2e_check_file_bytes "page argument: current.txt names the page" "$scans/current.txt" '2.jpg\r\n'

e2e_start_program -- "$stage/usr/bin/zorvane" "$E2E_WORK/empty"
e2e_stop_program "empty folder argument"
e2e_check_eq "empty folder argument: no current.txt left there" "" "$(ls -A empty)"

# The installed copy (the staged program seen at the install prefix's bin in a mount namespace
# of its own: root only) without an argument: the folder chooser, opening at the last choice.
if unshare -m true 2>/dev/null; then
    bindir=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")/bin
    printf '2.jpg\r\nold\r\n' >"$scans/current.txt"
    mkdir -p config/zorvane
    printf '[pageFolder]\nlastChosen=%s\n' "$scans" >config/zorvane/zorvane.conf
    (cd "$E2E_APP_DIR" && exec env XDG_CONFIG_HOME="$E2E_WORK/config" QT_QPA_PLATFORM=xcb \
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 unshare -m sh -c 'mount --bind "$1" "$2" && exec "$2/zorvane"' sh "$stage/usr/bin" "$bindir") \
        >>"$E2E_WORK/app.log" 2>&1 &
    E2E_APP_PID=$!
    xs_track "$E2E_APP_PID"
    chooser=$(xs_wait_window '^Zorvane: choose the folder' 30) || e2e_abort "installed copy without an argument: no folder chooser"
    e2e_ok "installed copy without an argument: the folder chooser opens"
    xs_activate "$chooser" || true # Return: the folder it shows, the scans
    xdotool key Return
    panel=$(xs_wait_window '\(Zorvane\)' 30) || e2e_abort "no panel after the folder was chosen"
    tree=$(e2e_atspi --wait-for '10.jpg') || true
    e2e_check_eq "the chosen folder's pages are listed" "1.jpg 2.jpg 10.jpg" "$(e2e_list_items "$tree")"
    e2e_stop_program "installed copy"
    e2e_check_file_bytes "an existing current.txt is written at close, as before" "$scans/current.txt" '2.jpg\r\n'
    e2e_check_eq "nothing written beside the installed program" "zorvane" "$(ls -A "$stage/usr/bin")"
else
    e2e_log "no mount namespace here: the installed copy without an argument is left to tst_page_folder"
fi

e2e_finish
