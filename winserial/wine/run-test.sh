#!/bin/sh
# Runs a Windows test program of the cross build under Wine: CMake's
# CMAKE_CROSSCOMPILING_EMULATOR for build-win/. The Qt and MinGW runtime DLLs
# are found through WINEPATH (LABBENCH_QT_PREFIX names the Qt prefix). Qt Test
# under Wine prints nothing into a pipe, so the log goes to a file that is
# shown afterwards; Wine does not hand the QT_* variables to the program, so
# the platform CTest asks for (offscreen) is given as Qt's -platform option.
# The exit status is the test's.
#
#   run-test.sh TEST.exe [ARGS...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wineprefix.sh"
: "${WINEPREFIX:?run-test.sh: WINEPREFIX must name a prefix made with wine_prefix}"
: "${LABBENCH_QT_PREFIX:?run-test.sh: LABBENCH_QT_PREFIX must name the Qt prefix}"
export WINEPATH="$LABBENCH_QT_PREFIX/bin;/usr/lib/gcc/x86_64-w64-mingw32/12-posix;/usr/x86_64-w64-mingw32/lib"

log=$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX")
"$wine" "$@" ${QT_QPA_PLATFORM:+-platform "$QT_QPA_PLATFORM"} -o "$log,txt" </dev/null
status=$?
tr -d '\r' <"$log"
rm -f "$log"
exit $status
