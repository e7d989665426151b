#!/usr/bin/env bash
# Installs what is missing, builds labbench and runs the whole test suite:
# the normal build, then the threaded parts again under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/install-deps.sh

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest -j"$jobs" --output-on-failure)

echo "== ThreadSanitizer: link, panels, end to end"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DLABBENCH_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs"
(cd build-tsan && QT_QPA_PLATFORM=offscreen ctest -j"$jobs" --output-on-failure -L 'link|app|instruments|e2e|winserial|sim')
