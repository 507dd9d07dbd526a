#!/usr/bin/env bash
# Builds Zorvane and runs it on a demo folder of sample pages (build/demo).
# On a desktop it simply starts the program. With no display it starts a
# virtual one, shows a page, saves screenshots under build/screenshots/ and
# stops again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zorvane make_pages

demo=$root/build/demo
shots=$root/build/screenshots
mkdir -p "$demo" "$shots"
cp build/zorvane "$demo/zorvane"

have_display() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }

# Pages as wide as the screen, so they show unscaled.
make_demo_pages() {
    local width
    width=$(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x.*/\1/p' | head -n 1)
    build/tools/make_pages --out "$demo" --count 5 --width "${width:-1024}" --scan
}

if have_display; then
    make_demo_pages
    echo "run.sh: starting Zorvane in $demo"
    cd "$demo"
    exec ./zorvane
fi

# --- no display: a virtual screen, a page shown, screenshots taken ---
XS_WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-run.XXXXXX")
source scripts/xsession.sh
trap 'xs_cleanup; rm -rf "$XS_WORK"' EXIT
trap 'exit 130' INT TERM
# The panel's list sits at the top-left of its client area, which the program
# places at this point of the screen; list rows are about 15 px tall.
readonly list_x=$((496 + 30)) first_row_y=$((29 + 7))

echo "run.sh: no display; starting Xvfb, openbox and picom"
xs_start_x --compositor || { echo "run.sh: $XS_ERROR" >&2; exit 1; }
xs_start_typist typist || { echo "run.sh: $XS_ERROR" >&2; exit 1; }
make_demo_pages

(cd "$demo" && exec ./zorvane) >"$XS_WORK/zorvane.log" 2>&1 &
app=$!
xs_track "$app"

if ! panel=$(xs_wait_window '\(Zorvane\)' 30); then
    echo "run.sh: the Zorvane panel did not appear; its output:" >&2
    cat "$XS_WORK/zorvane.log" >&2
    exit 1
fi
sleep 1
xs_screenshot "$shots/1-panel.png"

xdotool mousemove --sync "$list_x" "$first_row_y" click 1
sleep 2
xs_screenshot "$shots/2-first-page.png"

# Ctrl+Shift+K: the next page, as a typist would turn it from the xterm.
xdotool windowactivate --sync "$XS_TYPIST" >/dev/null 2>&1 || true
xdotool key --clearmodifiers ctrl+shift+k
sleep 2
xs_screenshot "$shots/3-next-page.png"

xs_close_window "$panel" || true
xs_wait_exit "$app" 10 || echo "run.sh: Zorvane did not close in 10 s; stopping it" >&2

echo "run.sh: screenshots saved in $shots:"
ls -1 "$shots"/*.png | sed 's/^/  /'
