#!/usr/bin/env bash
# Builds Zorvane and runs every test: the offscreen Qt tests and the
# end-to-end tests under Xvfb. Exit status is ctest's.
#   CI=true scripts/test.sh   also turns compiler warnings into errors.
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
exit $status
