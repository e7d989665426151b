#!/usr/bin/env bash
# Builds labbench for Windows on Debian 12 (installing what is missing) and
# makes what a Windows user downloads, in dist/:
#   labbench-<version>-windows-x86_64.zip        the program folder
#   labbench-<version>-windows-x86_64-setup.exe  the installer
#
#   scripts/build-windows.sh [--prebuilt QT_TARBALL]
#
# Qt for Windows is built from Debian's source once (20 to 25 minutes on two
# cores, see scripts/build-qt-mingw.sh) and kept in ~/.cache/labbench;
# --prebuilt unpacks a prefix made by the same recipe instead. The build folder
# is build-win/; its test programs run under Wine through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh g++-mingw-w64-x86-64-posix ninja-build nsis zip
qt=$(scripts/build-qt-mingw.sh "$@" | tail -n 1)

cmake -G Ninja -S . -B build-win -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/winserial/wine/run-test.sh" >/dev/null
cmake --build build-win -j"$(nproc)"
packaging/windows/package.sh build-win "$qt" dist
