# Wine for labbench's checks, sourced by the scripts that run Windows
# programs here: Debian's wine64 in a scratch prefix of the caller's, without
# a display unless the caller gives one, and COM ports mapped to Linux lines.
#
#   . winserial/wine/wineprefix.sh
#   wine_prefix DIR          # makes (or reuses) the prefix in DIR; sets WINEPREFIX
#   wine_map_port COM7 PATH  # COM7 opens PATH (a pseudo-terminal or zor-sim's --link)
#   wine_stop                # ends the prefix's wineserver and its programs
#
# Needs the Debian package wine64.

wine=${WINE:-/usr/lib/wine/wine64}
wineserver=$(dirname "$wine")/wineserver
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

wine_tools_present() {
    for tool in "$wine" "$wineserver"; do
        [ -x "$tool" ] || { echo "wine: $tool not found (Debian package wine64)" >&2; return 2; }
    done
}

wine_prefix() {
    export WINEPREFIX="$1"
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        timeout 300 "$wine" wineboot -i >"$WINEPREFIX.wineboot.log" 2>&1 \
            || { tail -n 20 "$WINEPREFIX.wineboot.log" >&2; return 1; }
    fi
    # Wine's own first-start work (the mount manager, the desktop) done.
    "$wineserver" -w >/dev/null 2>&1 || true
}

wine_map_port() {
    # Wine's mount manager makes dosdevices/comN point at the line from this
    # key when the wineserver starts, so it is restarted after writing.
    timeout 120 "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$1" /d "$2" /f >/dev/null 2>&1
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
}

wine_stop() {
    "$wineserver" -k >/dev/null 2>&1 || true
}
