#!/usr/bin/env bash
# Builds Zorvane and runs every test: the offscreen Qt tests and the
# end-to-end tests under Xvfb; then, on a full run (no arguments), the Windows
# build's tests under Wine (scripts/test-windows.sh), the offscreen tests again
# in the sanitizer build, and each fuzz target for a while.
# Exit status is 0 only when all of them passed.
#   CI=true scripts/test.sh   also turns compiler warnings into errors.
#   ZORVANE_FUZZ_SECONDS=N    fuzzes each target for N seconds (default 20, 0: none).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

werror=OFF
[ "${CI:-}" = true ] && werror=ON
cmake --preset default -DZORVANE_WERROR=$werror
cmake --build --preset default -j "$(nproc)"

# The tests bring their own displays; an outer one must not leak in.
unset DISPLAY WAYLAND_DISPLAY
status=0
ctest --preset default --output-on-failure -j2 "$@" || status=$?

if [ $# -eq 0 ]; then
    # The Windows build and its tests under Wine.
    started=$SECONDS
    bash scripts/test-windows.sh || status=1
    echo "test.sh: the Windows build and its tests took $((SECONDS - started)) s"

    # Memory errors and undefined behaviour in the program's code, caught where they happen.
    started=$SECONDS
    cmake --preset sanitize -DZORVANE_WERROR=$werror
    cmake --build --preset sanitize -j "$(nproc)"
    ctest --preset sanitize --output-on-failure -j2 || status=$?
    echo "test.sh: the sanitizer build and its tests took $((SECONDS - started)) s"

    # 20 s a target (three targets) keeps the whole run within about 15 minutes on a
    # 2-core machine.
    fuzz_seconds=${ZORVANE_FUZZ_SECONDS:-20}
    if [ "$fuzz_seconds" -gt 0 ]; then
        bash fuzz/run.sh "$fuzz_seconds" || status=1
    fi
fi
exit $status
