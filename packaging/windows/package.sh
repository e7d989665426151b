#!/usr/bin/env bash
# What a Windows user downloads, from the Windows build: one program folder
# (both executables, the Qt and MinGW runtime DLLs they load, the Qt plugins,
# the guide and the licence texts), as a zip, and the installer made from the
# same folder with makensis. The folder's DLL imports are checked on the way.
#
#   packaging/windows/package.sh BUILD_DIR QT_PREFIX OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: package.sh BUILD_DIR QT_PREFIX OUT_DIR}" && pwd)
qt=${2:?}
out=${3:?}
cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}

version=$(sed -n 's/^project(labbench VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="labbench-$version-windows-x86_64"
mkdir -p "$out"
out=$(cd "$out" && pwd)
folder="$out/$name"
rm -rf "$folder" "$out/$name.zip" "$out/$name-setup.exe"
mkdir -p "$folder/platforms" "$folder/styles" "$folder/licenses" "$folder/docs/screenshots"

cp "$build/winserial/labbench-win.exe" "$build/cli/labbench-cli.exe" "$folder/"
cp "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$folder/"
cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
# The MinGW runtime the compiler links against (posix threads).
for dll in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
  path=$("$cxx" -print-file-name="$dll")
  [ -f "$path" ] || path=/usr/x86_64-w64-mingw32/lib/$dll
  cp "$path" "$folder/"
done
# Plugins beside the programs, and none from anywhere else.
printf '[Paths]\nPrefix = .\nPlugins = .\n' >"$folder/qt.conf"
# The runtime DLLs come with their symbols; the programs need none of them.
find "$folder" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +

cp "$root/README.md" "$folder/README.md"
cp "$root"/docs/screenshots/*.png "$folder/docs/screenshots/"
cp "$here/THIRD-PARTY.txt" "$folder/licenses/"
cp /usr/share/common-licenses/LGPL-3 "$folder/licenses/LGPL-3.txt"
cp /usr/share/common-licenses/GPL-3 "$folder/licenses/GPL-3.txt"
for doc in mingw-w64-common gcc-mingw-w64-base; do
  [ -f "/usr/share/doc/$doc/copyright" ] && cp "/usr/share/doc/$doc/copyright" "$folder/licenses/$doc.copyright.txt"
done
# Windows text files: CRLF line ends, so Notepad of older Windows shows lines.
find "$folder" -name '*.txt' -exec sed -i 's/\r\?$/\r/' {} +

"$here/check-imports.sh" "$folder"

(cd "$out" && rm -f "$name.zip" && zip -qr9 "$name.zip" "$name")

# The installer's file list: each file into its folder, and out again.
files="$out/files.nsh"
{
  echo '!macro InstallFiles'
  (cd "$folder" && find . -type d | sort) | while read -r dir; do
    rel=${dir#./}; [ "$dir" = . ] && rel=""
    echo "  SetOutPath \"\$INSTDIR${rel:+\\${rel//\//\\}}\""
    (cd "$folder/$dir" && find . -maxdepth 1 -type f | sort) | while read -r f; do
      echo "  File \"$folder/${rel:+$rel/}${f#./}\""
    done
  done
  echo '!macroend'
  echo '!macro UninstallFiles'
  (cd "$folder" && find . -type f | sort) | while read -r f; do
    rel=${f#./}; echo "  Delete \"\$INSTDIR\\${rel//\//\\}\""
  done
  (cd "$folder" && find . -mindepth 1 -type d | sort -r) | while read -r d; do
    rel=${d#./}; echo "  RMDir \"\$INSTDIR\\${rel//\//\\}\""
  done
  echo '!macroend'
} >"$files"
makensis -V2 -DVERSION="$version" -DFILES="$files" -DOUTFILE="$out/$name-setup.exe" \
  "$here/labbench.nsi"
rm -f "$files"

echo "package: $out/$name.zip ($(du -k "$out/$name.zip" | cut -f1) KiB)"
echo "package: $out/$name-setup.exe ($(du -k "$out/$name-setup.exe" | cut -f1) KiB)"
