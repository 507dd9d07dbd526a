#!/usr/bin/env bash
# run_qt_test.sh QT_BIN PLATFORM TEST.exe [ARGS...]: runs one cross-built Qt Test
# program under Wine with the Qt platform PLATFORM ("none" for a program without
# a GUI) and prints its results; the exit status is the number of failures.
# Needs WINEPREFIX (made for this run) and DISPLAY (the tests make real windows).
# Wine passes no QT_* variables and a console program's output does not reach a
# pipe: the platform is an argument and the results go to a file.
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
export WINEDEBUG=-all

(cd "$out" && wine "$exe" -o result.txt,txt "$@") >/dev/null 2>"$out/stderr"
status=$?
if [ -f "$out/result.txt" ]; then
    cat "$out/result.txt"
else
    echo "no result file; wine said:"
    cat "$out/stderr"
    [ $status -eq 0 ] && status=1
fi
exit $status
