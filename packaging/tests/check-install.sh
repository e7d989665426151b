#!/usr/bin/env bash
# Installs the build given as $1 into a scratch prefix and checks what a user
# gets: the programs, a menu entry that starts labbench in a settings folder of
# its own, its icon, and the user guide with every picture it shows. Then the
# installed labbench is started offscreen and must come up and stay up.
set -uo pipefail
build=${1:?usage: check-install.sh <build folder>}

scratch=$(mktemp -d)
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
check() { # check <description> <command...>
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 \
  || { cat "$scratch/install.log"; echo "FAILED: cmake --install"; exit 1; }

for program in labbench zor-sim labbench-shots labbench-cli; do
  check "bin/$program is an executable" test -f "$prefix/bin/$program" -a -x "$prefix/bin/$program"
  # The package's dependencies come from what the programs link: none may
  # pull in Qt's test library.
  check "bin/$program does not need Qt's test library" \
    sh -c "! ldd '$prefix/bin/$program' | grep -q libQt6Test"
done
check "the Windows build is not installed on Linux" test ! -e "$prefix/bin/labbench-win"

# --- the menu entry ---------------------------------------------------------
desktop="$prefix/share/applications/labbench.desktop"
check "menu entry installed" test -f "$desktop"
key() { sed -n "s/^$1=//p" "$desktop" | head -n 1; }
check "menu entry is an application" test "$(key Type)" = Application
check "menu entry is named labbench" test "$(key Name)" = labbench
check "menu entry does not open a terminal" test "$(key Terminal)" = false
check "menu entry lists the Science category" grep -qE '^Categories=(.*;)?Science;' "$desktop"
check "menu entry's TryExec is an installed program" test -x "$prefix/bin/$(key TryExec)"
icon=$(key Icon)
check "menu entry's icon is installed as scalable" \
  test -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg"
check "icon is a square SVG" grep -q 'viewBox="0 0 128 128"' "$prefix/share/icons/hicolor/scalable/apps/$icon.svg"
if command -v desktop-file-validate >/dev/null; then
  check "desktop-file-validate accepts the menu entry" desktop-file-validate "$desktop"
fi

# The Exec line as a launcher reads it: string escapes first (\\ is \), then
# the quoting, which follows the shell's double quotes.
exec_line=$(key Exec | sed 's/\\\\/\\/g')
eval "command_words=($exec_line)"
# A stand-in labbench that tells where it was started.
mkdir -p "$scratch/stub"
printf '#!/bin/sh\npwd >"%s"\n' "$scratch/started-in" >"$scratch/stub/labbench"
chmod +x "$scratch/stub/labbench"
launch() { # launch <home> [XDG_CONFIG_HOME]
  rm -f "$scratch/started-in"
  (cd / && env -u XDG_CONFIG_HOME HOME="$1" ${2:+XDG_CONFIG_HOME="$2"} \
     PATH="$scratch/stub:$PATH" "${command_words[@]}")
  cat "$scratch/started-in" 2>/dev/null
}
home="$scratch/home dir"
mkdir -p "$home"
check "from the menu, labbench starts in ~/.config/labbench" \
  test "$(launch "$home")" = "$home/.config/labbench"
check "from the menu, labbench starts in \$XDG_CONFIG_HOME/labbench when set" \
  test "$(launch "$home" "$scratch/config")" = "$scratch/config/labbench"

# --- the user guide -----------------------------------------------------------
doc="$prefix/share/doc/labbench"
check "README installed" test -f "$doc/README.md"
pictures=$(grep -oE '!\[[^]]*\]\([^)]+\)' "$doc/README.md" | sed -E 's/.*\(([^)]+)\)/\1/')
check "the guide shows pictures" test -n "$pictures"
for picture in $pictures; do
  check "the guide's picture $picture is installed beside it" test -s "$doc/$picture"
done

# --- the installed program starts ---------------------------------------------
# In an empty folder it writes its default settings.txt while building its
# window, then waits for the user: it must still be running afterwards.
run="$scratch/run"
mkdir -p "$run"
(cd "$run" && exec env QT_QPA_PLATFORM=offscreen "$prefix/bin/labbench") >"$scratch/labbench.log" 2>&1 &
app=$!
for _ in $(seq 100); do
  [ -s "$run/settings.txt" ] && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
check "the installed labbench writes its default settings" \
  test "$(cat "$run/settings.txt" 2>/dev/null)" = "#/dev/ttyS0#115200#3#ZOR"
check "the installed labbench keeps running" kill -0 "$app"

# --- labbench-cli needs no display --------------------------------------------
check "the installed labbench-cli runs without a display" \
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/labbench-cli" capture --help \
  >"$scratch/cli.log" 2>&1
check "the installed labbench-cli reports a port it cannot open with exit 3" \
  sh -c 'cd "$1" && "$2" capture --port /dev/no-such-zor 2>/dev/null; test $? -eq 3' _ "$run" \
  "$prefix/bin/labbench-cli"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  cat "$scratch/labbench.log"
  exit 1
fi
