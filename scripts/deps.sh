#!/usr/bin/env bash
# Installs the Debian 12 packages Zorvane needs to build, run and test.
# Cheap when everything is there already: dpkg-query answers in a blink, and
# apt-get runs only for what is missing.
set -euo pipefail

build_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libxcb1-dev libxcb-keysyms1-dev libxcb-shape0-dev libxcb-xfixes0-dev
    libxcb-damage0-dev libxcb-xtest0-dev libxcb-shm0-dev
    # The page's layer surface on Wayland desktops: the client library, wayland-scanner
    # and the layer-shell protocol description (Debian ships it in the Rust crate).
    libwayland-dev libwayland-bin librust-wayland-protocols-dev
)
# The Windows build (scripts/build-windows.sh) and its tests under Wine, the
# installer (makensis) and zorvane.exe's icon (icotool; wrestool reads it back);
# Qt for Windows comes from ../shared/toolchains.
windows_packages=(
    g++-mingw-w64-x86-64-posix wine wine64 zip unzip nsis icoutils
)
# Run and test: a headless X server and window manager, X tools to drive and
# inspect windows, a compositor (to see opacity in screenshots), a Thai font,
# and the accessibility bus the end-to-end tests read the panel through.
run_packages=(
    xvfb openbox xdotool x11-utils xterm wmctrl imagemagick picom
    fonts-tlwg-loma-otf libjpeg-turbo-progs libjpeg62-turbo-dev
    dbus at-spi2-core gir1.2-atspi-2.0 python3-gi xauth qt6-qpa-plugins
)
# Install and package: the icon's bitmaps, the Debian package (dpkg-shlibdeps needs
# dpkg-dev, CPack's DEB generator needs file) and the checkers of the installed files
# (xdg-mime: which program a desktop opens folders with).
install_packages=(
    librsvg2-bin dpkg-dev file lintian desktop-file-utils appstream groff man-db xdg-utils
)
# Wayland desktops: stand-in desktop services (D-Bus in Python), and a headless
# sway with Xwayland, a native terminal, key injection and screenshots.
run_packages+=(python3-dbus sway foot grim wtype xwayland qt6-wayland)
# Monitors and screen density for the tests of other screens (xrandr, xrdb).
run_packages+=(x11-xserver-utils)
# Reading sway's window tree in its end-to-end test.
run_packages+=(jq)
# The desktop services' D-Bus interface descriptions (KDE's shortcut service, the
# desktop portal, GNOME Shell's extensions), from which the build generates its proxies.
build_packages+=(libkf5globalaccel-dev xdg-desktop-portal-dev gnome-shell-common python3)
# Headless GNOME Shell and KWin (Plasma's compositor), with a native Wayland editor
# under the page: the page window's extension, the page's layer surface and the
# shortcuts given back at exit.
run_packages+=(gnome-shell kwin-wayland gedit)
# Fuzzing: clang with libFuzzer and the sanitizer runtimes (fuzz/run.sh).
build_packages+=(clang-14 libclang-rt-14-dev)

missing=()
for pkg in "${build_packages[@]}" "${run_packages[@]}" "${install_packages[@]}" \
    "${windows_packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps.sh: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
