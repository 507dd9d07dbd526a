# A Wine prefix of one's own, for one run: wp_create DIR makes it (WINEPREFIX=DIR) with
# Wine quiet and its crash dialog off; wp_remove ends its wineserver, and with it every
# Wine process of the prefix, and deletes DIR. Nothing else is touched.
#   source tests/wine/prefix.sh; wp_create DIR || exit 1; ...; wp_remove

export WINEDEBUG=-all
# No Mono/Gecko install prompts; no host menu entries for an installer's shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

wp_create() {
    export WINEPREFIX=$1
    if ! wineboot -i >"$WINEPREFIX.log" 2>&1; then
        WP_ERROR="wineboot failed: $(tail -n 5 "$WINEPREFIX.log")"
        return 1
    fi
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >>"$WINEPREFIX.log" 2>&1
    wineserver -w # the registry is written once the server has nothing left to run
}

wp_remove() {
    [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] || return 0
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$WINEPREFIX.log"
}
