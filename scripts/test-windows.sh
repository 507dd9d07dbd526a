#!/usr/bin/env bash
# Cross-builds Zorvane and its Qt tests for Windows (scripts/build-windows.sh)
# and runs them under Wine: the Qt tests with real windows on a private Xvfb,
# in one Wine prefix made for this run, and the end-to-end test, which makes its
# own X session and prefix. Exit status is ctest's.
#   scripts/test-windows.sh [CTEST_ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build-windows.sh --tests

XS_WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wine.XXXXXX")
source scripts/xsession.sh
source tests/wine/prefix.sh
cleanup() {
    wp_remove
    xs_cleanup
    rm -rf "$XS_WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

unset DISPLAY WAYLAND_DISPLAY
xs_start_x || { echo "test-windows.sh: $XS_ERROR" >&2; exit 1; }
wp_create "$XS_WORK/prefix" || { echo "test-windows.sh: $WP_ERROR" >&2; exit 1; }
status=0
ctest --test-dir build-win --output-on-failure -j2 --timeout 300 "$@" || status=$?
exit $status
