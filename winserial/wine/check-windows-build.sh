#!/usr/bin/env bash
# The Windows build as a Windows user gets it, run under Wine against zor-sim:
#
#   1. the portable test suites as Windows programs (ctest in the cross build,
#      through run-test.sh);
#   2. the zip's folder: every DLL import present (and the check itself shown
#      to catch a missing one);
#   3. labbench-cli.exe from the zip: the COM list (QueryDosDeviceW, \\.\COM12
#      from COM10 on), a capture through the device-namespace name, and
#      capture and measure against the Linux build's labbench-cli on the same
#      signal;
#   4. labbench-win.exe from the zip under Xvfb, driven with xdotool at the
#      window's fixed layout: "Open port" (the start-up exchange and frames in
#      zor-sim's --log, time to the first frame, frames per second beside the
#      Linux window on the same device), a trace on the screenshot, the
#      generator's table upload, two speeds chosen on "&Ustawienia" each
#      rewriting settings.txt, \\.\COM12 chosen from the port list there,
#      "Close port" ending the traffic, an unplug
#      with --unplug-after/--come-back that reconnects by itself, and the
#      window closed as its close button does;
#   5. the installer: silent install, the Start-menu entry in all users'
#      Start menu, the program started through it making %APPDATA%\labbench
#      with the default settings (COM1), silent uninstall that removes the
#      entry and leaves settings.txt.
#
#   check-windows-build.sh LINUX_BUILD WIN_BUILD DIST
#
# WIN_BUILD is configured with CMAKE_CROSSCOMPILING_EMULATOR=run-test.sh; DIST
# holds the zip and the installer (packaging/windows/package.sh). Needs wine64,
# xvfb, xdotool, imagemagick and unzip. Where Wine behaves otherwise than
# Windows and this check steps around it, windows-build-differences.txt says
# so. Exit status 0 when every step passed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
linux=$(cd "${1:?usage: check-windows-build.sh LINUX_BUILD WIN_BUILD DIST}" && pwd)
winbuild=$(cd "${2:?}" && pwd)
dist=$(cd "${3:?}" && pwd)
# The Qt the cross build was configured with, for run-test.sh's DLL path.
qt_dir=$(sed -n 's/^Qt6_DIR:[A-Z]*=//p' "$winbuild/CMakeCache.txt")
export LABBENCH_QT_PREFIX=${qt_dir%/lib/cmake/Qt6}
[ -f "$LABBENCH_QT_PREFIX/bin/Qt6Core.dll" ] \
    || { echo "check-windows: no Qt for Windows found from $winbuild/CMakeCache.txt" >&2; exit 2; }
. "$here/wineprefix.sh"
wine_tools_present || exit 2

work=$(mktemp -d "${TMPDIR:-/tmp}/check-windows.XXXXXX")
sim="" xvfb="" app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    wine_stop
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

failures=0
pass() { echo "check-windows: ok: $*"; }
fail() { echo "check-windows: FAILED: $*" >&2; failures=$((failures + 1)); }
now() { date +%s.%N; }
elapsed_ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%d", (b - a) * 1000 }'; }
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local limit=$1; shift
    local end=$(( $(date +%s) + limit ))
    until "$@"; do
        [ "$(date +%s)" -ge "$end" ] && return 1
        sleep 0.1
    done
}
log_size() { stat -c %s "$work/sim.log" 2>/dev/null || echo 0; }
acks() { tr -cd 'g' <"$work/sim.log" | wc -c; }
# More than N frames acknowledged, or the log grown past N bytes.
acks_above() { [ "$(acks)" -gt "$1" ]; }
log_above() { [ "$(log_size)" -gt "$1" ]; }
# Frames acknowledged per second over the next $1 seconds.
frames_per_second() {
    local a b
    a=$(acks); sleep "$1"; b=$(acks)
    awk -v a="$a" -v b="$b" -v s="$1" 'BEGIN { printf "%.1f", (b - a) / s }'
}

echo "== portable test suites under Wine"
wine_prefix "$work/prefix"
(cd "$winbuild" && ctest -j2 --output-on-failure) || fail "the test suites under Wine"

echo "== the zip"
unzip -q "$(ls "$dist"/labbench-*-windows-x86_64.zip | head -n 1)" -d "$work/unzipped"
folder=$(find "$work/unzipped" -mindepth 1 -maxdepth 1 -type d | head -n 1)
if "$root/packaging/windows/check-imports.sh" "$folder" >"$work/imports.txt"; then
    pass "$(tail -n 1 "$work/imports.txt")"
else
    cat "$work/imports.txt"; fail "DLL imports of the zip's folder"
fi
cp -r "$folder" "$work/incomplete"
rm "$work/incomplete/libwinpthread-1.dll"
if "$root/packaging/windows/check-imports.sh" "$work/incomplete" >/dev/null 2>&1; then
    fail "the import check passes a folder without libwinpthread-1.dll"
else
    pass "the import check finds a missing DLL"
fi

start_sim() {
    "$linux/sim/zor-sim" --link "$work/zor" --log "$work/sim.log" --noise 0 "$@" \
        >"$work/sim.out" 2>&1 &
    sim=$!
    wait_for 10 test -e "$work/zor"
}
stop_sim() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    sim=""
}

echo "== labbench-cli.exe"
start_sim
wine_map_port COM7 "$work/zor"
wine_map_port COM12 "$work/zor"
cli() { (cd "$work" && "$wine" "$folder/labbench-cli.exe" "$@" </dev/null 2>"$work/cli.err" | tr -d '\r'); }
ports=$(cli ports)
if grep -qx 'COM7' <<<"$ports" && grep -qxF '\\.\COM12' <<<"$ports"; then
    pass "ports: $(echo $ports)"
else
    fail "ports lists COM7 and \\\\.\\COM12: got '$ports'"
fi
if cli capture --port '\\.\COM12' --speed 2500000 --frames 1 -o 'com12.csv' \
        && [ "$(grep -vc '^#' "$work/com12.csv")" -eq 1024 ]; then
    pass "a capture through \\\\.\\COM12"
else
    fail "a capture through \\\\.\\COM12: $(cat "$work/cli.err")"
fi
# The same signal through both builds: the simulator without noise, both
# triggered on the same edge, so the readouts see the same picture.
measure=(measure --speed 2500000 --timebase 200us/dz --trigger Norm --edge Ris --frames 3)
cli "${measure[@]}" --port COM7 >"$work/measure-wine.json" || true
(cd "$work" && "$linux/cli/labbench-cli" "${measure[@]}" --port "$work/zor" \
    >"$work/measure-linux.json" 2>>"$work/cli.err") || true
cli capture --port COM7 --speed 2500000 --frames 3 -o capture-wine.csv || true
(cd "$work" && "$linux/cli/labbench-cli" capture --port "$work/zor" --speed 2500000 --frames 3 \
    -o capture-linux.csv 2>>"$work/cli.err") || true
# Debian's own Python, which python3-numpy belongs to.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if "$python" "$here/compare-cli.py" "$work"; then
    pass "capture and measure give the Linux build's numbers"
else
    fail "capture and measure against the Linux build: $(cat "$work/cli.err")"
fi

# Frames per second at the line's limit: a fast time base at 2.5 Mbit/s, where
# a frame is its 8.2 ms on the line and the device's settle time. Counted by
# the device's log (one "g" a frame) over 3 s of a long capture, so that the
# program's start-up (Wine's) does not count.
# frames_per_second_of PORT PROGRAM...
frames_per_second_of() {
    local port=$1; shift
    : >"$work/sim.log"
    (cd "$work" && exec "$@" capture --port "$port" --speed 2500000 --timebase 10us/dz \
        --frames 100000 -o rate.csv >/dev/null 2>&1) &
    local runner=$! rate=0
    wait_for 30 acks_above 19 && rate=$(frames_per_second 3)
    kill "$runner" 2>/dev/null; wait "$runner" 2>/dev/null || true
    echo "$rate"
}
linux_rate=$(frames_per_second_of "$work/zor" "$linux/cli/labbench-cli")
wine_rate=$(frames_per_second_of COM7 "$wine" "$folder/labbench-cli.exe")
if awk -v w="$wine_rate" -v l="$linux_rate" 'BEGIN { exit !(l > 0 && w >= 0.9 * l) }'; then
    pass "labbench-cli at 10us/dz, 2.5 Mbit/s: $wine_rate frames/s, the Linux build $linux_rate"
else
    fail "labbench-cli at 10us/dz, 2.5 Mbit/s: $wine_rate frames/s, below 90 % of the Linux build's $linux_rate"
fi
wine_stop

echo "== labbench-win.exe"
# The X server takes the first free display itself and names it once it
# accepts clients (-displayfd), so two checks at once never share one.
# -noreset: an X server resets itself whenever its last client leaves, and a
# client that connects meanwhile is refused. The window checks below ask the
# server for its windows ten times a second, each time as a new client, so
# a program starting then would find no display now and then (Wine's
# desktop process, and with it every window of that Wine session; the Linux
# window, which Qt then aborts).
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
wait_for 10 test -s "$work/display" || { fail "Xvfb named no display"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
# Each client is let in while another comes and goes, as the polling does.
(while :; do xdotool getmouselocation >/dev/null 2>&1 || true; done) &
poller=$!
refused=0
for _ in $(seq 200); do xdotool getdisplaygeometry >/dev/null 2>&1 || refused=$((refused + 1)); done
kill "$poller" 2>/dev/null || true
wait "$poller" 2>/dev/null || true
if [ "$refused" -eq 0 ]; then
    pass "the X server let in 200 clients while another came and went"
else
    fail "the X server refused $refused of 200 clients while another came and went"
fi

bench="$work/bench"
mkdir -p "$bench"
printf '#COM7#2500000#9#ZOR' >"$bench/settings.txt"

# The main window: named labbench (Linux) or labbench-win, 1028 x 612.
main_window() {
    local w
    for w in $(xdotool search --name '' 2>/dev/null); do
        xdotool getwindowname "$w" 2>/dev/null | grep -Eqx 'labbench(-win)?' \
            && xdotool getwindowgeometry "$w" | grep -q 'Geometry: 1028x612' && { echo "$w"; return 0; }
    done
    return 1
}
# Starts a window in folder $1 with the command after it; W is its X window.
window_in() {
    local dir=$1; shift
    (cd "$dir" && exec "$@" >"$work/window.out" 2>&1) &
    app=$!
    wait_for 60 main_window >/dev/null || return 1
    W=$(main_window)
    sleep 1
}
# Starts a window in the bench folder.
window() { window_in "$bench" "$@"; }
# The port button at the bottom right, at the window's fixed layout.
click_port() { xdotool mousemove --window "$W" 930 590 click 1; }
# As the window's close button does: WM_CLOSE to the program's windows
# (taskkill without /F). The Linux window, only a yardstick here, has no
# window manager to ask and is ended.
close_window() {
    if [ "$1" = windows ]; then
        "$wine" taskkill /IM labbench-win.exe >/dev/null 2>&1 || true
    else
        kill -TERM "$app"
    fi
    closing=$(now)
    local i
    for i in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app" 2>/dev/null; then kill -KILL "$app"; app=""; return 1; fi
    local status=0
    wait "$app" || status=$?
    app=""
    [ "$1" != windows ] || [ "$status" -eq 0 ]
}
first_frame_ms() {
    : >"$work/sim.log"
    local t0; t0=$(now)
    click_port
    wait_for 20 acks_above 0 || return 1
    elapsed_ms "$t0" "$(now)"
}

# The Linux window on the same device, the same way, for the frame rate.
printf '#%s#2500000#9#ZOR' "$work/zor" >"$bench/settings.txt"
window env QT_QPA_PLATFORM=xcb "$linux/app/labbench" || fail "the Linux window did not appear"
first_frame_ms >/dev/null || fail "the Linux window brought no frame"
linux_fps=$(frames_per_second 5)
click_port
close_window linux || true
printf '#COM7#2500000#9#ZOR' >"$bench/settings.txt"

# A Windows program's window, started under Wine with Wine's diagnoses of
# its surroundings (the winediag channel) printed: windows_window WHAT
# FOLDER COMMAND... The first start is judged: when no window comes, what
# Wine printed is shown, with the backtrace of its debugger if the program
# faulted, and the Wine session is ended.
windows_window() {
    local what=$1; shift
    W=""
    if window_in "$@"; then
        pass "$what: the window at the first start"
        return 0
    fi
    # Wine's debugger writes its backtrace before the program ends.
    for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    fail "$what showed no window; Wine printed:"
    cat "$work/window.out" >&2
    wine_stop
    return 1
}
windows_window labbench-win.exe "$bench" env WINEDEBUG=-all,err+winediag "$wine" "$folder/labbench-win.exe" \
    || exit 1
if ms=$(first_frame_ms); then pass "first frame ${ms} ms after \"Open port\""; else fail "no frame after \"Open port\""; fi
startup=$(head -c 64 "$work/sim.log" | tr -c '[:print:]' .)
if grep -q 'a' <<<"$startup" && grep -Eq 's[0-9]' <<<"$startup" && grep -Eq 'u[0-9]{2}' <<<"$startup" \
        && wait_for 10 acks_above 2; then
    pass "the oscilloscope's start-up exchange and frames acknowledged: ${startup:0:24}"
else
    fail "start-up exchange: $startup"
fi
wine_fps=$(frames_per_second 5)
if awk -v w="$wine_fps" -v l="$linux_fps" 'BEGIN { exit !(w >= 0.9 * l) }'; then
    pass "$wine_fps frames/s, the Linux window $linux_fps"
else
    fail "$wine_fps frames/s, below 90 % of the Linux window's $linux_fps"
fi
import -window "$W" "$work/oscilloscope.png"
blue=$(convert "$work/oscilloscope.png" -crop 768x512+10+30 +repage -fill white -fuzz 8% \
    -opaque 'rgb(20,30,240)' -fill black +opaque white -format '%[fx:int(mean*w*h)]' info:)
if [ "$blue" -gt 300 ]; then pass "the trace on the plot ($blue pixels)"; else fail "no trace on the plot ($blue pixels)"; fi

before=$(log_size)
xdotool key --window "$W" alt+g 2>/dev/null
if wait_for 15 log_above $((before + 1024)) \
        && tail -c +"$((before + 1))" "$work/sim.log" | grep -q 'e'; then
    pass "the generator tab uploads its table"
else
    fail "no generator table reached the device"
fi

xdotool key --window "$W" alt+u 2>/dev/null
sleep 1
for expected in '#COM7#1500000#8#ZOR' '#COM7#1152000#7#ZOR'; do
    xdotool mousemove --window "$W" 200 110 click 1
    sleep 0.5
    xdotool key Up Return 2>/dev/null
    if wait_for 5 grep -qxF "$expected" "$bench/settings.txt"; then
        pass "settings.txt rewritten: $expected"
    else
        fail "settings.txt after choosing a speed: $(cat "$bench/settings.txt")"
    fi
done
# The list under the name: the COM names Windows has (QueryDosDeviceW), the
# last of them \\.\COM12; choosing it puts it in the name and in settings.txt.
xdotool mousemove --window "$W" 350 180 click 1
sleep 0.5
xdotool key End Return 2>/dev/null
if wait_for 5 grep -qxF '#\\.\COM12#1152000#7#ZOR' "$bench/settings.txt"; then
    pass 'the settings tab lists \\.\COM12, and choosing it writes it:' "$(cat "$bench/settings.txt")"
else
    fail 'choosing \\.\COM12 from the settings tab'"'"'s list:' "$(cat "$bench/settings.txt")"
fi
ls "$bench" | grep -q 'labbench-new' && fail "a new settings file was left beside settings.txt"

xdotool key --window "$W" alt+o 2>/dev/null
sleep 0.5
t0=$(now)
click_port
sleep 1
quiet=$(log_size)
last=$(stat -c %.9Y "$work/sim.log")
sleep 1.5
if [ "$(log_size)" -eq "$quiet" ]; then
    after=$(elapsed_ms "$t0" "$last")
    [ "$after" -lt 0 ] && after=0
    pass "\"Close port\" ends the traffic (last byte at most $after ms after the click)"
else
    fail "the device still hears the program after \"Close port\""
fi

# Unplugged 2 s after the port opens, back 1.5 s later at the same name, now
# opened as \\.\COM12. The speed chosen above is the device's too (the
# simulator follows the line).
stop_sim
start_sim --unplug-after 2000 --come-back 1500
: >"$work/sim.log"
click_port
wait_for 20 grep -q 'g' "$work/sim.log" || fail "no frames before the unplug"
sleep 2.5
down=$(acks)
if wait_for 20 acks_above $((down + 5)); then
    pass "reconnected by itself after the unplug"
else
    fail "no frames after the device came back"
fi
click_port
sleep 0.5
if close_window windows; then
    pass "closing the window ends the program ($(elapsed_ms "$closing" "$(now)") ms after the close request, exit status 0)"
else
    fail "the window did not close cleanly"
fi
stop_sim

echo "== the installer"
setup=$(ls "$dist"/labbench-*-windows-x86_64-setup.exe | head -n 1)
"$wine" "$setup" /S >/dev/null 2>&1 || fail "the silent install"
timeout 120 "$wineserver" -w || true
installed="$WINEPREFIX/drive_c/Program Files/labbench"
roaming=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Roaming' | head -n 1)
entry='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\labbench.lnk'
all_users_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
own_menu="$roaming/Microsoft/Windows/Start Menu/Programs"
if [ -f "$installed/labbench-win.exe" ] && [ -f "$installed/platforms/qwindows.dll" ] \
        && [ -f "$all_users_menu/labbench.lnk" ] && [ ! -e "$own_menu/labbench.lnk" ]; then
    pass "installed into Program Files, the Start-menu entry in all users' Start menu"
else
    fail "the install left: $(ls "$installed" 2>&1 | tr '\n' ' '); all users' Start menu:" \
        "$(ls "$all_users_menu" 2>&1 | tr '\n' ' '); the installing user's: $(ls "$own_menu" 2>&1 | tr '\n' ' ')"
fi
# As a user starts it: through the entry, which Wine's start opens as the
# shell does. The entry starts the program in the user's %APPDATA%; the
# program makes %APPDATA%\labbench at this first start and writes its
# default settings there. Started so, the program is not the check's child:
# it is asked to close, and the prefix's end is its end.
bench="$roaming/labbench"
[ ! -e "$bench" ] || fail "$bench was there before the program's first start"
if windows_window "the Start-menu entry" "$work" env WINEDEBUG=-all,err+winediag "$wine" start "$entry"; then
    if wait_for 10 test -f "$bench/settings.txt" && grep -qxF '#COM1#115200#3#ZOR' "$bench/settings.txt" \
            && [ ! -e "$roaming/settings.txt" ]; then
        pass "the program started through the entry made $bench and wrote: $(cat "$bench/settings.txt")"
    else
        fail "the program's first start through the entry wrote in $bench: $(cat "$bench/settings.txt" 2>&1)," \
            "in $roaming: $(ls "$roaming" | tr '\n' ' ')"
    fi
fi
"$wine" taskkill /IM labbench-win.exe >/dev/null 2>&1 || true
timeout 60 "$wineserver" -w || fail "the program started through the entry did not end when asked"
# NSIS's uninstaller copies itself to %TEMP% and the copy, a process of the
# same Wine session, removes the files: the end of the session is the end of
# the uninstall. A program of the folder still running would keep its files
# (Wine, like Windows, deletes no file mapped as a program or DLL), so the
# session above was ended first.
"$wine" 'C:\Program Files\labbench\uninstall.exe' /S >/dev/null 2>&1 || fail "the silent uninstall"
timeout 120 "$wineserver" -w || fail "the uninstaller did not end within 120 s"
if [ ! -e "$installed" ] && [ ! -e "$all_users_menu/labbench.lnk" ] && [ -f "$bench/settings.txt" ]; then
    pass "uninstalled, the Start-menu entry removed, settings.txt kept"
else
    fail "after uninstalling: $(ls "$installed" 2>&1 | tr '\n' ' '); all users' Start menu:" \
        "$(ls "$all_users_menu" 2>&1 | tr '\n' ' '); settings.txt $(ls "$bench" 2>&1)"
fi

if [ "$failures" -ne 0 ]; then
    echo "check-windows: $failures step(s) failed" >&2
    exit 1
fi
echo "check-windows: every step passed"
