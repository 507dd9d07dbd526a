#!/usr/bin/env bash
# Steps on a Wayland desktop: the page shown through the program's layer surface on a
# headless sway (the panel on Xwayland), Ctrl+Shift+K bound in sway to `zorvane --next`
# as the README gives it. Each step is timed from the key sent (wtype) to the program's
# wl_surface.commit of the new page (WAYLAND_DEBUG's clock), and split at the program's
# "load" timing mark: before it, sway starting `zorvane --next` and that process's D-Bus
# call; after it, the program's own work. The compositor's repaint after the commit is
# not seen; nor is any other Wayland desktop's path.
#
#   bench/wayland_steps.sh [SIZE [STEPS]]     SIZE of sway's screen (3840x2160), STEPS (20)
#
# 600-dpi pages from bench/run.sh's store (made here if missing). sway refuses to run as
# root: as root, everything runs as nobody from a staged copy. Stops what it started.
set -euo pipefail
if [ -z "${ZORVANE_WL_STAGE:-}" ]; then
    cd "$(dirname "$0")/.."
    size=${1:-3840x2160}
    steps=${2:-20}
    build=$(cd "${ZORVANE_BUILD:-build}" && pwd)
    cmake --build "$build" --target zorvane make_pages >/dev/null
    for tool in sway wtype foot dbus-run-session setpriv python3; do
        command -v "$tool" >/dev/null || { echo "wayland_steps: $tool is missing" >&2; exit 1; }
    done
    pages=build/bench-data/pages-600
    if [ "$(cat "$pages/.made" 2>/dev/null)" != "10 pages, 600 dpi, quality 85, scan" ]; then
        echo "wayland_steps: making 10 pages at 600 dpi in $pages"
        rm -rf "$pages"
        "$build/tools/make_pages" --out "$pages" --count 10 --dpi 600 --scan --quality 85 >/dev/null
        echo "10 pages, 600 dpi, quality 85, scan" >"$pages/.made"
    fi
    stage=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wayland-steps.XXXXXX")
    trap 'rm -rf "$stage"' EXIT
    mkdir -m 700 "$stage/runtime"
    mkdir "$stage/app"
    cp "$build/zorvane" "$stage/app/"
    for i in $(seq 1 $((steps + 10))); do cp "$pages/$(((i - 1) % 10 + 1)).jpg" "$stage/app/$i.jpg"; done
    cp "$0" scripts/xsession.sh "$stage/"
    run=(env HOME="$stage" ZORVANE_WL_STAGE="$stage" XDG_RUNTIME_DIR="$stage/runtime")
    if [ "$(id -u)" -eq 0 ]; then
        chown -R 65534:65534 "$stage"
        chmod 755 "$stage"
        run+=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    fi
    (cd "$stage" && "${run[@]}" dbus-run-session -- bash "$stage/wayland_steps.sh" "$size" "$steps")
    exit
fi

# ---- inside the session bus, as a user sway accepts --------------------------------------
size=$1
steps=$2
stage=$ZORVANE_WL_STAGE
app=$stage/app/zorvane
XS_WORK=$stage
# shellcheck source=scripts/xsession.sh
source "$stage/xsession.sh"
trap xs_cleanup EXIT
cat >"$stage/sway.conf" <<CONF
xwayland force
output HEADLESS-1 resolution $size position 0 0
for_window [class="^Zorvane\$" title="\\\\(Zorvane\\\\)"] floating enable, sticky enable, move position 496 0
bindsym ctrl+shift+k exec $app --next
CONF
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$stage/sway.conf" >"$stage/sway.log" 2>&1 &
xs_track $!
sway_up() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock && ls "$XDG_RUNTIME_DIR"/wayland-?; }
xs_wait_for 20 sway_up || { echo "wayland_steps: sway did not start: $(tail -3 "$stage/sway.log")" >&2; exit 1; }
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n 1)
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-? | head -n 1)")
export SWAYSOCK WAYLAND_DISPLAY
swaymsg -q exec "echo \$DISPLAY >$stage/display" # Xwayland's display is sway's choice
xs_wait_for 20 test -s "$stage/display" || { echo "wayland_steps: sway gave no X display" >&2; exit 1; }
DISPLAY=$(cat "$stage/display")
export DISPLAY
# A native terminal holds the focus, as the typist's program would.
foot --app-id=typist sleep 100000 >/dev/null 2>&1 &
xs_track $!
sleep 1
(cd "$stage/app" && QT_QPA_PLATFORM='' WAYLAND_DEBUG=client QT_LOGGING_RULES="zorvane.timing.debug=true" \
    exec ./zorvane >"$stage/app.log" 2>&1) &
xs_track $!
sleep 3
echo "bench: sway ${size}, 600-dpi pages, the half layout; load: $(uptime)"
python3 - "$stage/app.log" "$steps" "$app" <<'PY'
import re, subprocess, sys, time

log, steps, app = sys.argv[1], int(sys.argv[2]), sys.argv[3]
WRAP = 2**32 / 1000.0  # libwayland's debug clock: real-time microseconds in 32 bits, shown in ms

def debug_clock():
    return (time.time() * 1e6 % 2**32) / 1000.0

def lines(pattern):
    with open(log, errors='replace') as f:
        return [float(m.group(1)) for m in map(re.compile(pattern).match, f) if m]

def commits():
    return lines(r'\[\s*(\d+\.\d+)\]\s+->\s+wl_surface@\d+\.commit\(\)')

def marks(stage):
    return lines(r'zorvane\.timing: ([\d.]+) ' + stage + r'\b')

def key():
    subprocess.run(['wtype', '-M', 'ctrl', '-M', 'shift', 'k', '-m', 'shift', '-m', 'ctrl'], check=True)

def figure(name, values):
    values = sorted(values)
    if not values:
        print(f"{name:<44} no samples")
        return
    p90 = values[max(1, -(-9 * len(values) // 10)) - 1]
    print(f"{name:<44} {len(values):4}  median {values[(len(values) + 1) // 2 - 1]:7.1f} ms  "
          f"p90 {p90:7.1f} ms  max {values[-1]:7.1f} ms")

key()  # the first page, which makes the surface; not timed
time.sleep(2)
# The timing marks are on the steady clock: its distance to the debug clock.
steady_to_debug = debug_clock() - time.monotonic() * 1000.0
total, before_load, program = [], [], []
for _ in range(steps):
    seen, loads = len(commits()), len(marks('load'))
    sent = debug_clock()
    key()
    deadline = time.time() + 5
    while time.time() < deadline and len(commits()) == seen:
        time.sleep(0.002)
    done, load = commits(), marks('load')
    if len(done) > seen and len(load) > loads:
        committed = done[seen]
        loaded = (load[loads] + steady_to_debug) % WRAP
        total.append((committed - sent) % WRAP)
        before_load.append((loaded - sent) % WRAP)
        program.append((committed - loaded) % WRAP)
    time.sleep(0.35)  # the typist reads
figure("key to the layer surface's commit", total)
figure("  key to the program's load (sway, --next)", before_load)
figure("  load to the commit (the program)", program)
alone = []
for _ in range(8):
    start = time.monotonic()
    subprocess.run([app, '--next'], capture_output=True)
    alone.append((time.monotonic() - start) * 1000.0)
    time.sleep(0.35)
figure("`zorvane --next` alone, start to end", alone)
PY
echo "load while measuring: $(uptime)"
