#!/usr/bin/env bash
# The command line with no display at all: --help, --version, wrong options or arguments,
# a start with no display, a remote command with no bus. Called as: command_line.sh ZORVANE VERSION
set -u
zorvane=$1 version=$2
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
failed=0
err_file=$(mktemp)
trap 'rm -f "$err_file"' EXIT

# expect WHAT STATUS STDOUT_REGEX STDERR_REGEX -- ARGS...
expect() {
    local out err status
    out=$("$zorvane" "${@:6}" 2>"$err_file")
    status=$? err=$(cat "$err_file")
    if [ "$status" = "$2" ] && [[ $out =~ $3 ]] && [[ $err =~ $4 ]]; then echo "ok $1"
    else echo "FAIL $1: status $status, stdout [$out], stderr [$err]"; failed=1; fi
}

usage='^Usage: zorvane \[options\] \[FOLDER \| FILE\.jpg\]'
for option in --help -h; do expect "$option" 0 "$usage.*--version" '^$' -- $option; done
for option in --version -v; do expect "$option" 0 "^zorvane $version\$" '^$' -- $option; done
expect "unknown option" 2 '^$' "^zorvane: Unknown option 'bogus'\..*Usage: zorvane" -- --bogus
expect "two arguments" 2 '^$' "^zorvane: give one folder or file, not 2\." -- /tmp /tmp
expect "missing folder" 2 "^$" "^zorvane: /nonexistent/scans: no such folder or file$" -- /nonexistent/scans
expect "not a folder" 2 "^$" "^zorvane: /dev/null: is not a folder or a page$" -- /dev/null
expect "--next and --prev" 2 '^$' "^zorvane: give one of --next, --prev, --scroll-up and --scroll-down alone, not --next --prev\." -- --next --prev
expect "--scroll-up with a folder" 2 '^$' "alone, not --scroll-up /tmp\." -- --scroll-up /tmp
expect "no display" 2 '^$' \
    '^zorvane: cannot open the X display: DISPLAY is not set\. Zorvane needs an X11 display \(on a Wayland desktop: Xwayland\)' --
WAYLAND_DISPLAY=wayland-0 expect "no Xwayland" 2 '^$' \
    '^zorvane: cannot open the X display: DISPLAY is not set, and this Wayland desktop offers no Xwayland\. Zorvane needs an X11 display' --
DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus expect "--next without a bus" 1 '^$' \
    '^zorvane: no D-Bus session bus to reach a running Zorvane' -- --next
exit $failed
