#!/usr/bin/env bash
# Qt 6.4.2 for Windows (x86_64-w64-mingw32), for the Windows build of labbench.
#
#   scripts/build-qt-mingw.sh [--prebuilt TARBALL]
#
# Debian has no Qt for MinGW, but Debian 12's own qt6-base source cross-builds
# with Debian's MinGW-w64 against the host tools (moc, rcc, uic) of Debian's
# qt6-base-dev of the same version. The prefix goes into a cache folder outside
# the source tree, $LABBENCH_CACHE (default ~/.cache/labbench); when it is
# already there the script does nothing. Its path is the last line printed.
#
# From source this takes 1,056 build steps, 20 to 25 minutes on two cores
# (46 MB of source, fetched with apt-get source). With
# --prebuilt the prefix is unpacked from a tarball made by this same recipe
# instead (checked against its known checksum).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

version=6.4.2
cache=${LABBENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/labbench}
prefix="$cache/qt$version-mingw-w64-x86_64"
# The prefix made by this recipe, as a tarball whose top folder is qt-mingw/.
prebuilt_sha256=b7d988f476edb598c7bb5456142c11b82bfe90050b0eb71ee2306b452523a179

prebuilt=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prebuilt) prebuilt=$2; shift 2 ;;
    *) echo "usage: $0 [--prebuilt TARBALL]" >&2; exit 2 ;;
  esac
done

ready() { [ -f "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ] && [ -f "$prefix/.labbench-complete" ]; }

# The host tools must be Qt's same version; the cross compilers are the posix
# thread flavour (the win32 one has no std::thread).
"$root/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 ninja-build xz-utils
host=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case "$host" in
  "$version"+*) ;;
  *) echo "build-qt-mingw: Debian's qt6-base-dev is $host; Qt $version's host tools are needed" >&2
     exit 1 ;;
esac

if ready; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
work=$(mktemp -d "$cache/qt-build.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ -n "$prebuilt" ]; then
  echo "build-qt-mingw: unpacking $prebuilt" >&2
  echo "$prebuilt_sha256  $prebuilt" | sha256sum -c --quiet - \
    || { echo "build-qt-mingw: $prebuilt is not the known prefix" >&2; exit 1; }
  tar xJf "$prebuilt" -C "$work"
  rm -rf "$prefix"
  mv "$work/qt-mingw" "$prefix"
  touch "$prefix/.labbench-complete"
  echo "$prefix"
  exit 0
fi

start=$(date +%s)
"$root/scripts/install-deps.sh" dpkg-dev

# The source package, through an apt configuration of our own: the machine's
# Debian entries again as deb-src, so the system's sources stay as they are.
apt="$work/apt"
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$list" ] || continue
  sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' "$list"
done >"$apt/sources.list"
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -f "$sources" ] || continue
  # Each stanza that names a Debian archive, with its Types made deb-src.
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /URIs:[^\n]*debian/ && /Types:[^\n]*deb/ {
         sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$sources"
done >"$apt/sources.list.d/debian-src.sources"
aptopts=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/sources.list.d"
         -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root)
apt-get "${aptopts[@]}" update -qq
(cd "$work" && apt-get "${aptopts[@]}" source -qq "qt6-base=$host" >/dev/null)
source_dir=$(find "$work" -maxdepth 1 -type d -name "qt6-base-*" | head -n 1)
[ -d "$source_dir" ] || { echo "build-qt-mingw: no qt6-base source unpacked" >&2; exit 1; }

rm -rf "$prefix"
mkdir -p "$prefix"
toolchain="$prefix/mingw-w64-x86_64.cmake"
cat >"$toolchain" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

# With OpenGL off, 6.4.2's windows platform plugin still calls OpenGL code
# under dynamicgl; the guard gets the opengl condition it lacks.
sed -i '/^static inline bool isSoftwareGl()$/,/^#if QT_CONFIG(dynamicgl)$/ s/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  "$source_dir/src/plugins/platforms/windows/qwindowswindow.cpp"

# Debian's source leaves out src/3rdparty/wintab, which the windows plugin
# includes for tablet events: those are off.
cmake -G Ninja -S "$source_dir" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF \
  -DFEATURE_dynamicgl=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_testlib=ON \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_jpeg=OFF -DFEATURE_tabletevent=OFF >"$work/configure.log" 2>&1 \
  || { tail -n 40 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" -j"$(nproc)" >"$work/build.log" 2>&1 \
  || { tail -n 40 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >/dev/null

# The installed toolchain file names this build's toolchain by its absolute
# path; pointed inside the prefix, the prefix can move.
sed -i 's|^set(__qt_initially_configured_toolchain_file ".*")$|set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../../../mingw-w64-x86_64.cmake")|' \
  "$prefix/lib/cmake/Qt6/qt.toolchain.cmake"
touch "$prefix/.labbench-complete"
echo "build-qt-mingw: built in $(( ($(date +%s) - start) / 60 )) minutes" >&2
echo "$prefix"
