#!/usr/bin/env bash
# Installs what is missing, builds labbench and runs the whole test suite:
# the normal build, the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included), the threaded parts under
# ThreadSanitizer, a compile of the Windows code against the Win32 headers,
# the Win32 calls run under Wine beside the stand-in, the Windows build (its
# test programs, zip, installer and the program end to end, under Wine), and
# a bounded run of every fuzz target.
#
# The Windows build needs Qt for MinGW-w64, built from Debian's source the
# first time (20 to 25 minutes); LABBENCH_QT_PREBUILT may name a tarball of a
# prefix made by the same recipe (scripts/build-qt-mingw.sh --prebuilt).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

# clang and its runtime build the fuzz targets; MinGW-w64 checks the Windows
# serial library against the real Win32 headers, and Wine runs its calls;
# numpy runs the guide's scripting examples.
scripts/install-deps.sh clang libclang-rt-14-dev g++-mingw-w64-x86-64 wine64 python3-numpy \
  xvfb xdotool imagemagick unzip

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest -j"$jobs" --output-on-failure)

echo "== Windows serial library against the Win32 headers (MinGW-w64)"
winserial/check-mingw.sh

echo "== Win32 calls under Wine beside the stand-in"
timeout 900 winserial/check-wine.sh

echo "== Windows build: its tests, the zip and the installer under Wine, end to end against zor-sim"
prebuilt=()
[ -n "${LABBENCH_QT_PREBUILT:-}" ] && prebuilt=(--prebuilt "$LABBENCH_QT_PREBUILT")
scripts/build-windows.sh "${prebuilt[@]}"
timeout 1200 winserial/wine/check-windows-build.sh build build-win dist

echo "== ThreadSanitizer: link, panels, end to end"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DLABBENCH_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs"
(cd build-tsan && QT_QPA_PLATFORM=offscreen ctest -j"$jobs" --output-on-failure -L 'link|app|signal|instruments|e2e|winserial|sim')

echo "== AddressSanitizer and UndefinedBehaviorSanitizer: whole suite"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLABBENCH_ASAN=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && QT_QPA_PLATFORM=offscreen ctest -j"$jobs" --output-on-failure)

echo "== fuzzing: the seeds, then about a minute per target"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DLABBENCH_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzz_worker_linux fuzz_worker_windows fuzz_settings fuzz_setup fuzz_dcb
(cd build-fuzz && ctest --output-on-failure -L fuzz)
fuzz_seconds=${LABBENCH_FUZZ_SECONDS:-60}
for target in worker_linux worker_windows settings setup dcb; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  # New inputs go to the build folder; the seeds in the repo stay as they are.
  build-fuzz/fuzz/fuzz_$target -max_total_time="$fuzz_seconds" -max_len=8192 \
    -artifact_prefix="build-fuzz/fuzz_$target-" -print_final_stats=1 \
    "$corpus" "fuzz/corpus/${target%_*}" 2>"build-fuzz/fuzz_$target.log" \
    || { tail -n 60 "build-fuzz/fuzz_$target.log"; exit 1; }
  grep -E '^stat::number_of_executed_units|^Done' "build-fuzz/fuzz_$target.log" || true
done
