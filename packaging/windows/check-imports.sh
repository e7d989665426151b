#!/usr/bin/env bash
# Walks every PE file (.exe, .dll) in a folder and its subfolders with objdump
# and fails if any DLL one of them imports is neither in the folder beside the
# programs nor a DLL that every Windows has. Prints each file's imports.
#
#   packaging/windows/check-imports.sh FOLDER
set -euo pipefail
folder=${1:?usage: check-imports.sh FOLDER}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

# DLLs of Windows itself (System32), all that Qt's windows platform plugin,
# Qt's libraries and the MinGW runtime use. api-ms-win-* are API sets that
# Windows resolves itself.
system_dlls=" advapi32.dll authz.dll cfgmgr32.dll comdlg32.dll d2d1.dll d3d11.dll d3d9.dll"
system_dlls+=" dwmapi.dll dwrite.dll dxgi.dll gdi32.dll imm32.dll kernel32.dll mpr.dll msvcrt.dll"
system_dlls+=" netapi32.dll ntdll.dll ole32.dll oleaut32.dll setupapi.dll shcore.dll shell32.dll"
system_dlls+=" shlwapi.dll user32.dll userenv.dll uxtheme.dll version.dll winmm.dll ws2_32.dll"
system_dlls+=" wtsapi32.dll "

# The program folder holds the executables and the DLLs they load by name.
present=" $(find "$folder" -maxdepth 1 -iname '*.dll' -printf '%f\n' | tr 'A-Z' 'a-z' | tr '\n' ' ') "
status=0
count=0
while IFS= read -r -d '' file; do
  count=$((count + 1))
  imports=$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  echo "${file#"$folder"/}: $(echo $imports)"
  for dll in $imports; do
    case "$dll" in api-ms-win-*|ext-ms-win-*) continue ;; esac
    if [[ "$system_dlls" != *" $dll "* && "$present" != *" $dll "* ]]; then
      echo "check-imports: ${file#"$folder"/} needs $dll, which is neither beside the programs nor part of Windows" >&2
      status=1
    fi
  done
done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
[ "$count" -gt 0 ] || { echo "check-imports: no PE file in $folder" >&2; exit 1; }
[ "$status" -eq 0 ] && echo "check-imports: $count PE files, every import found"
exit "$status"
