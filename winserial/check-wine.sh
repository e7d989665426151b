#!/bin/sh
# Checks the Win32 call patterns of the serial library under Wine: the check
# program (wine/win32check.cpp, no Qt) is built with MinGW-w64 and run under
# Wine with its COM port mapped to a pseudo-terminal, and built natively
# against the stand-in; the device end of the line is wine/linepeer.c. Exit
# status 0 only when the two transcripts agree, apart from the lines that
# wine/wine-differences.txt leaves out (documented Wine-vs-Windows
# differences). Needs wine64 and g++-mingw-w64-x86-64 (Debian); runs without
# a display, in a scratch Wine prefix.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine/wineprefix.sh"
cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
port=COM5

wine_tools_present || exit 2
command -v "$cxx" >/dev/null 2>&1 || { echo "check-wine: $cxx not found" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/check-wine.XXXXXX")
peer=""
cleanup() {
    wine_stop
    exec 3>&- 2>/dev/null || true
    [ -n "$peer" ] && wait "$peer" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

echo "check-wine: building"
cc -O1 -Wall -Wextra -o "$work/linepeer" "$here/wine/linepeer.c"
c++ -std=c++17 -O1 -Wall -Wextra -I"$here/win32posix" -o "$work/win32check" \
    "$here/wine/win32check.cpp" "$here"/win32posix/*.cpp -lpthread
"$cxx" -std=c++17 -O1 -Wall -Wextra -static -o "$work/win32check.exe" "$here/wine/win32check.cpp"

# The device end runs until its standard input closes.
mkfifo "$work/peer-in"
"$work/linepeer" <"$work/peer-in" >"$work/peer-path" &
peer=$!
exec 3>"$work/peer-in"
for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -s "$work/peer-path" ] && break
    sleep 0.2
done
slave=$(head -n 1 "$work/peer-path")
[ -c "$slave" ] || { echo "check-wine: no pseudo-terminal" >&2; exit 1; }

echo "check-wine: Wine prefix, $port on $slave"
wine_prefix "$work/prefix" || exit 1
wine_map_port "$port" "$slave"

echo "check-wine: native against the stand-in"
timeout 120 "$work/win32check" "$slave" >"$work/native.txt"
echo "check-wine: MinGW-w64 build under Wine"
timeout 300 "$wine" "$work/win32check.exe" "$port" 2>"$work/wine.err" | tr -d '\r' >"$work/wine.txt"
[ -L "$WINEPREFIX/dosdevices/com5" ] && echo "check-wine: dosdevices/com5 -> $(readlink "$WINEPREFIX/dosdevices/com5")"

grep -v -e '^#' -e '^$' "$here/wine/wine-differences.txt" >"$work/left-out"
grep -v -E -f "$work/left-out" "$work/native.txt" >"$work/native.cmp" || true
grep -v -E -f "$work/left-out" "$work/wine.txt" >"$work/wine.cmp" || true
lines=$(wc -l <"$work/native.cmp")
if [ "$lines" -lt 40 ] || ! diff -u "$work/native.cmp" "$work/wine.cmp"; then
    echo "check-wine: the transcripts differ (native -, Wine +)" >&2
    exit 1
fi
echo "check-wine: the transcripts agree ($lines lines compared, $(($(wc -l <"$work/native.txt") - lines)) left out)"
