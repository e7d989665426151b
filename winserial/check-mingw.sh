#!/bin/sh
# Compiles the Windows serial library and the Windows build's link against
# the real Win32 headers with MinGW-w64 (syntax only: no Windows Qt here, so
# the Linux Qt 6 headers stand in; they parse under MinGW as they are).
# Needs the Debian package g++-mingw-w64-x86-64. Exit status 0 when clean.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
qt=${QT6_INCLUDE:-/usr/include/x86_64-linux-gnu/qt6}
# The posix thread model: the worker and the line use std::mutex and std::thread.
cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}

command -v "$cxx" >/dev/null 2>&1 || { echo "check-mingw: $cxx not found" >&2; exit 2; }

status=0
for source in "$here"/*.cpp "$root/link/thread.cpp" "$root/link/zorcom.cpp" \
        "$root/link/windowsports.cpp"; do
    echo "check-mingw: $(basename "$source")"
    "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Werror \
        -I"$here" -I"$root/link" -I"$qt" -I"$qt/QtCore" \
        "$source" || status=1
done
exit $status
