#!/bin/sh
# A build compiles only its own system's platform files.
# usage: platform_files.sh COMPILE_COMMANDS FOREIGN  (FOREIGN: a regex of file endings)
set -eu
foreign=$(grep -oE '"file": "[^"]*/platform/[^"]*' "$1" | grep -E "$2" || true)
if [ -n "$foreign" ]; then
    printf 'compiled for another system:\n%s\n' "$foreign"
    exit 1
fi
echo "$(grep -cE '"file": "[^"]*/platform/' "$1") platform files, none for another system"
