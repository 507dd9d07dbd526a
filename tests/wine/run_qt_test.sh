#!/usr/bin/env bash
# run_qt_test.sh QT_BIN PLATFORM TEST.exe [ARGS...]: one cross-built Qt Test program under
# Wine on the Qt platform PLATFORM ("none" without a GUI); prints its results and exits with
# the number of failures. Needs WINEPREFIX (from prefix.sh) and DISPLAY (real windows).
# Wine passes no QT_* variables and a console program's output does not reach a pipe: the
# platform is an argument and the results go to a file.
set -u
qt_bin=$1 platform=$2 exe=$3
shift 3
[ "$platform" = none ] || set -- -platform "$platform" "$@"
: "${WINEPREFIX:?a Wine prefix made for this run}" "${DISPLAY:?an X display}"
out=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wine-test.XXXXXX")
trap 'rm -rf "$out"' EXIT

# The DLLs: Qt's (its plugins are found beside them) and the compiler's runtime.
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="Z:${qt_bin//\//\\};Z:${runtime//\//\\};Z:\\usr\\x86_64-w64-mingw32\\lib"

(cd "$out" && wine "$exe" -o result.txt,txt "$@") >/dev/null 2>"$out/stderr"
status=$?
cat "$out/result.txt" 2>/dev/null && exit $status
echo "no result file; wine said:"
cat "$out/stderr"
exit $((status == 0 ? 1 : status))
