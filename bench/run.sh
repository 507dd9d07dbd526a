#!/usr/bin/env bash
# Zorvane's benchmark: page steps, jumps, the panel's controls (list, opacity, layout),
# start-up and memory of the real program on a virtual screen (Xvfb 1024x768, openbox,
# an xterm holding the focus), plus the bare libjpeg-turbo decode (djpeg) as the
# reference for a page that was not read ahead.
#
#   bench/run.sh            builds if needed (preset default), then measures; a few minutes
#   ZORVANE_BENCH_SCREEN=3840x2160 ZORVANE_BENCH_LAYOUT=full bench/run.sh
#                           the same on another screen size (1024x768) and layout (half)
#   ZORVANE_BENCH_WINE=build-win/package/zorvane-VERSION-windows-x64 bench/run.sh
#                           also the Windows build's steps and jumps under Wine
#   ZORVANE_BENCH_STAGES=1 bench/run.sh
#                           also where each action's time goes (the program's timing
#                           marks between the input and the damage; bench/stages.py)
#
# Pages are made by build/tools/make_pages (scan-like A4, quality 85) and kept in
# build/bench/ for the next run. Everything started here is stopped by PID on exit.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Steps and jumps per case; the pause after each step stands for the typist reading.
pages150=62
pages300=101   # 100 steps forward through 300-dpi pages before memory is read
prev_steps=60
rapid_steps=30  # steps as fast as the pages settle, about the rate of a held key
pages600=101   # 600-dpi book: 10 different pages over and over, for memory and jumps
clicks=8       # far jumps by list click per book
pagedowns=8    # far jumps by Page Down in the list per book
opacity=8      # opacity changes: arrow clicks and wheel notches, half each
layouts=10     # layout switches: to the other layout and back, five times
panel_args=(--clicks "$clicks" --pagedowns "$pagedowns" --opacity "$opacity" --layouts "$layouts")
gap_ms=250
runs=7

# ZORVANE_BUILD=DIR measures the build in DIR instead (already configured).
build=${ZORVANE_BUILD:-build}
if [ "$build" = build ]; then
    [ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
    cmake --build --preset default --target zorvane make_pages zorvane_bench bench_decode >/dev/null
else
    cmake --build "$build" --target zorvane make_pages zorvane_bench bench_decode >/dev/null
fi
build=$(cd "$build" && pwd)

make_pages=$build/tools/make_pages
bench=$build/bench/zorvane_bench
decode=$build/bench/bench_decode
store=$root/build/bench-data
for tool in djpeg Xvfb openbox xterm xprop python3; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

mkdir -p "$store"
# Beside the kept pages, so that the program folders can hard-link them.
work=$(mktemp -d "$store/run.XXXXXX")
XS_WORK=$work
source scripts/xsession.sh
source tests/wine/prefix.sh
trap 'wp_remove; xs_cleanup; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# --- pages (same options, same files: kept between runs) ---------------------------
# page_set DIR COUNT DPI: DIR holds COUNT scan-like pages 1.jpg ... COUNT.jpg.
page_set() {
    local dir=$1 count=$2 dpi=$3 stamp="$2 pages, $3 dpi, quality 85, scan"
    if [ "$(cat "$dir/.made" 2>/dev/null)" != "$stamp" ]; then
        echo "bench: making $count pages at $dpi dpi in $dir"
        rm -rf "$dir"
        "$make_pages" --out "$dir" --count "$count" --dpi "$dpi" --scan --quality 85 >/dev/null
        echo "$stamp" >"$dir/.made"
    fi
}
page_set "$store/pages-150" "$pages150" 150
page_set "$store/pages-300" "$pages300" 300
page_set "$store/pages-600" 10 600
if [ ! -f "$store/pages-tiny/1.jpg" ]; then
    "$make_pages" --out "$store/pages-tiny" --count 1 --width 64 >/dev/null
fi

# app_folder NAME: a folder with its own copy of the program; prints its path.
app_folder() {
    mkdir -p "$work/$1"
    cp "$build/zorvane" "$work/$1/zorvane"
    echo "$work/$1"
}
app150=$(app_folder app150)
ln "$store"/pages-150/*.jpg "$app150"/
ln "$store/pages-600/1.jpg" "$app150/z600.jpg"
app300=$(app_folder app300)
ln "$store"/pages-300/*.jpg "$app300"/
app600=$(app_folder app600)
for i in $(seq 1 "$pages600"); do ln "$store/pages-600/$(((i - 1) % 10 + 1)).jpg" "$app600/$i.jpg"; done
app10=$(app_folder app10)
for i in $(seq 1 10); do ln "$store/pages-150/$i.jpg" "$app10/"; done
app20k=$(app_folder app20k)
python3 - "$store/pages-150/1.jpg" "$app20k" <<'EOF'
import os, sys
source, folder = sys.argv[1], sys.argv[2]
for i in range(1, 20001):
    os.link(source, os.path.join(folder, f"{i}.jpg"))
EOF

echo "bench: $(nproc) processors, $(uname -r)"
results=$work/results
: >"$results"
stages_clock=  # --raw-clock for the Windows build's marks (see bench/stages.py)
run() {  # run TITLE COMMAND...: prints and keeps the tool's lines
    echo
    echo "== $1"
    shift
    if [ -z "${ZORVANE_BENCH_STAGES:-}" ]; then
        "$@" | tee -a "$results" || echo "bench: the measurement above reported a problem (see its output)"
        return
    fi
    : >"$work/marks"
    ZORVANE_BENCH_TRACE=1 ZORVANE_TIMING_FILE=$work/marks "$@" >"$work/out" ||
        echo "bench: the measurement above reported a problem (see its output)"
    grep -v '^trace ' "$work/out" | tee -a "$results"
    python3 bench/stages.py "$work/out" "$work/marks" $stages_clock
}

# machine_now: the machine's own speed at this point of the run, apart from the program
# (a slower machine late in a run shows here as much as in the program's figures).
machine_now() {
    echo
    echo "== the machine now, apart from Zorvane (5 runs)"
    "$bench" machine --runs 5
}
machine_now

# --- reference: the bare decode, before the screen starts (nothing else running) -----
ref150=$store/pages-150/30.jpg
ref300=$store/pages-300/50.jpg
ref600=$store/pages-600/1.jpg
# djpeg_median FILE [PAUSE_MS]: median wall time of 15 runs, each after the pause.
djpeg_median() {
    "$bench" djpeg --runs 15 --pause "${2:-0}" "$1" | sed -n 's/.* median *\([0-9.]*\) ms.*/\1/p'
}
echo
echo "== bare decode: djpeg -outfile /dev/null, median of 15 runs (process start included)"
# Steps and jumps come after a pause (the typist reading); a processor that has been
# idle decodes slower at first, so the reference is also taken after the same pause.
pause_ms=$((gap_ms + 80))
d150=$(djpeg_median "$ref150" "$pause_ms")
d300=$(djpeg_median "$ref300" "$pause_ms")
d600=$(djpeg_median "$ref600" "$pause_ms")
w150=$(djpeg_median "$ref150")
w300=$(djpeg_median "$ref300")
dtiny=$(djpeg_median "$store/pages-tiny/1.jpg")
printf 'each after %d ms idle: 150 dpi (1240x1754) %s ms   300 dpi (2480x3508) %s ms   600 dpi (4961x7016) %s ms\n' \
    "$pause_ms" "$d150" "$d300" "$d600"
printf 'back to back:          150 dpi %s ms   300 dpi %s ms\n' "$w150" "$w300"
printf '(starting and ending the process alone, a 64x90 page: %s ms)\n' "$dtiny"
run "decode in-process: the program's loader and Qt's reader" \
    "$decode" --runs 7 "$ref150" "$ref300" "$ref600"

# --- the virtual screen ----------------------------------------------------------
screen=${ZORVANE_BENCH_SCREEN:-1024x768}
layout=()
[ "${ZORVANE_BENCH_LAYOUT:-half}" = full ] && layout=(--full)
XS_SCREEN_SIZE=$screen xs_start_x || { echo "bench: $XS_ERROR" >&2; exit 1; }
unset QT_QPA_PLATFORM
xterm -geometry 80x10+10+500 -T zorvane-bench-typist -e sleep 100000 >/dev/null 2>&1 &
xs_track $!
sleep 1
echo
echo "bench: screen $DISPLAY ready (Xvfb ${screen}x24, openbox, an xterm with the focus), ${ZORVANE_BENCH_LAYOUT:-half} layout"

# --- start-up ----------------------------------------------------------------------
run "start-up, 10 pages ($runs runs)" "$bench" startup --app "$app10/zorvane" --runs "$runs"
run "start-up, 20,000 page files ($runs runs)" "$bench" startup --app "$app20k/zorvane" --runs "$runs"

# --- steps and jumps ---------------------------------------------------------------
# Jumps by typed name go to pages far from the last one, so nothing was read ahead.
jumps150=(10.jpg 40.jpg 20.jpg 50.jpg 5.jpg 35.jpg 15.jpg 45.jpg 25.jpg 55.jpg 8.jpg 38.jpg 18.jpg 48.jpg 28.jpg)
jumps300=(20.jpg 90.jpg 30.jpg 80.jpg 10.jpg 60.jpg 40.jpg 95.jpg 15.jpg 50.jpg 25.jpg 85.jpg 5.jpg 55.jpg 35.jpg)
jumps600=(20.jpg 90.jpg 33.jpg 77.jpg 12.jpg 64.jpg 45.jpg 96.jpg)
jump_args() { local name; for name in "$@"; do printf -- '--jump\n%s\n' "$name"; done; }
mapfile -t args150 < <(jump_args "${jumps150[@]}")
mapfile -t args300 < <(jump_args "${jumps300[@]}")
mapfile -t args600 < <(jump_args "${jumps600[@]}")

machine_now
run "150-dpi pages (1240x1754): steps, then jumps, then the panel's controls, then a 600-dpi page by name" \
    "$bench" flips --app "$app150/zorvane" --pages "$pages150" --prev "$prev_steps" \
    --gap "$gap_ms" "${args150[@]}" --big z600.jpg "${panel_args[@]}" "${layout[@]}"
# Two scrolls: a third would pass a 300-dpi page's end in a 4K screen's full layout, and
# a window already past it has nothing new to show.
machine_now
run "300-dpi pages (2480x3508): $((pages300 - 2)) steps forward, $prev_steps back, $rapid_steps without pauses, jumps, the panel's controls" \
    "$bench" flips --app "$app300/zorvane" --pages "$pages300" --prev "$prev_steps" \
    --rapid "$rapid_steps" --gap "$gap_ms" "${args300[@]}" "${panel_args[@]}" --scrolls 2 "${layout[@]}"
machine_now
run "600-dpi pages (4961x7016): $((pages600 - 2)) steps forward, jumps, the panel's controls" \
    "$bench" flips --app "$app600/zorvane" --pages "$pages600" --prev 0 \
    --gap "$gap_ms" "${args600[@]}" "${panel_args[@]}" --scrolls 3 "${layout[@]}"

# --- the Windows build under Wine ---------------------------------------------------
# Wine's hotkeys reach a Windows program only while a Wine window has the focus: the
# typist writes in Wine's notepad here. The program's folder holds the package's files.
if [ -n "${ZORVANE_BENCH_WINE:-}" ]; then
    wp_create "$work/wine-prefix" || { echo "bench: $WP_ERROR" >&2; exit 1; }
    (cd "$work" && exec wine notepad >/dev/null 2>&1) &
    xs_track $!
    sleep 4
    for dpi in 300 600; do
        appwin=$work/wine$dpi
        mkdir -p "$appwin"
        cp -r "$ZORVANE_BENCH_WINE"/. "$appwin"/
        printf '#!/bin/sh\nexec wine zorvane.exe\n' >"$appwin/zorvane"
        chmod +x "$appwin/zorvane"
        for i in $(seq 1 30); do ln "$store/pages-$dpi/$(((i - 1) % 10 + 1)).jpg" "$appwin/$i.jpg"; done
    done
    mapfile -t argswin < <(jump_args 20.jpg 7.jpg 25.jpg 12.jpg 29.jpg 4.jpg 17.jpg 9.jpg)
    stages_clock=--raw-clock
    for dpi in 300 600; do
        run "Windows build under Wine, $dpi-dpi pages: 28 steps forward, jumps" \
            "$bench" flips --app "$work/wine$dpi/zorvane" --typist Notepad --pages 30 --prev 0 \
            --gap "$gap_ms" "${argswin[@]}" "${layout[@]}"
    done
fi

machine_now

# --- summary -------------------------------------------------------------------------
median_of() {  # median_of NTH-MATCH PATTERN
    grep -F "$2" "$results" | sed -n "$1p" | sed -n 's/.* median *\([0-9.]*\) ms.*/\1/p'
}
jump150=$(median_of 1 'typed name + Enter')
jump300=$(median_of 2 'typed name + Enter')
jump600=$(median_of 1 'typed name, large page')
echo
echo "== page not read ahead, against the bare decode (target: at most 1.3 x)"
ratio() {  # ratio LABEL JUMP_MS PAUSED_MS BACK_TO_BACK_MS
    awk -v l="$1" -v j="$2" -v d="$3" -v w="$4" 'BEGIN {
        if (!(j && d)) exit
        printf "%s: %.1f ms / %.1f ms = %.2f x", l, j, d, j / d
        if (w) printf "   (against djpeg back to back, %.1f ms: %.2f x)", w, j / w
        printf "\n" }'
}
ratio "150 dpi" "$jump150" "$d150" "$w150"
ratio "300 dpi" "$jump300" "$d300" "$w300"
ratio "600 dpi (one page)" "$jump600" "$d600" ""
echo
echo "== page not read ahead: its top rows on screen, and the last damage, against the bare"
echo "   decode of the whole page (target for the top rows: at most 0.25 x at 300 and 600 dpi)"
n=0
for dpi in 150 300 600; do
    n=$((n + 1))
    ref=$(eval echo "\$d$dpi")
    for how in "typed name" "list click" "Page Down"; do
        first=$(median_of "$n" "$how: first damage")
        last=$(median_of "$n" "$how: last damage")
        awk -v l="$dpi dpi, $how" -v f="$first" -v z="$last" -v d="$ref" 'BEGIN {
            if (!(f && d)) exit
            printf "%s: top rows %.1f ms = %.2f x, last damage %.1f ms = %.2f x (djpeg %.1f ms)\n",
                l, f, f / d, z, z / d, d }'
    done
done
echo "(targets: every page action p90 within one display frame, 16.7 ms; start-up with"
echo " 20,000 files within 100 ms; memory after 100 steps at 300 dpi under 200 MB)"
echo "load while measuring: $(uptime)"
