#!/usr/bin/env bash
# The command line, with no display at all: --help, --version, a wrong option or
# argument, and a start with no display. Called as: command_line.sh ZORVANE VERSION
set -u
zorvane=$1 version=$2
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
failed=0
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# expect WHAT STATUS STDOUT_REGEX STDERR_REGEX -- ARGS...
expect() {
    local what=$1 status=$2 out_re=$3 err_re=$4
    shift 5
    "$zorvane" "$@" >"$out" 2>"$err"
    local got=$? o e
    o=$(cat "$out") e=$(cat "$err")
    if [ "$got" = "$status" ] && [[ $o =~ $out_re ]] && [[ $e =~ $err_re ]]; then
        echo "ok $what"
    else
        echo "FAIL $what: status $got, stdout [$o], stderr [$e]"
        failed=1
    fi
}

usage='^Usage: zorvane \[options\] \[FOLDER \| FILE\.jpg\]'
expect "--help" 0 "$usage.*--version" '^$' -- --help
expect "-h" 0 "$usage" '^$' -- -h
expect "--version" 0 "^zorvane $version\$" '^$' -- --version
expect "-v" 0 "^zorvane $version\$" '^$' -- -v
expect "unknown option" 2 '^$' "^zorvane: Unknown option 'bogus'\..*Usage: zorvane" -- --bogus
expect "two arguments" 2 '^$' "^zorvane: give one folder or file, not 2\." -- /tmp /tmp
expect "missing folder" 2 "^$" "^zorvane: /nonexistent/scans: no such folder or file$" -- /nonexistent/scans
expect "not a folder" 2 "^$" "^zorvane: /dev/null: is not a folder or a page$" -- /dev/null
expect "--next and --prev" 2 '^$' "^zorvane: give one of --next, --prev, --scroll-up and --scroll-down alone, not --next --prev\." -- --next --prev
expect "--scroll-up with a folder" 2 '^$' "alone, not --scroll-up /tmp\." -- --scroll-up /tmp
# No X display to show the panel on, and a Wayland desktop without Xwayland.
expect "no display" 2 '^$' \
    '^zorvane: cannot open the X display: DISPLAY is not set\. Zorvane needs an X11 display \(on a Wayland desktop: Xwayland\)' --
WAYLAND_DISPLAY=wayland-0 expect "no Xwayland" 2 '^$' \
    '^zorvane: cannot open the X display: DISPLAY is not set, and this Wayland desktop offers no Xwayland\. Zorvane needs an X11 display' --
# A remote command with no session bus: the reason and status 1, and no display needed.
DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus expect "--next without a bus" 1 '^$' \
    '^zorvane: no D-Bus session bus to reach a running Zorvane' -- --next
exit $failed
