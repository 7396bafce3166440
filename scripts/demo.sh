#!/usr/bin/env bash
# The main job on Debian: builds Kelvane2.exe and runs it twice under Wine on a private two-monitor
# Xvfb display, each time ended through its own Exit command: with the calibration pattern, and as a
# live mirror of a scripted desktop with a cursor (Wine has no Desktop Duplication, so a test library
# placed in the running program serves the desktop). Saves a screenshot of the mirrored monitor and
# prints a one-line verdict for each, then the log and the settings.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
echo "demo: building Kelvane2.exe"
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Kelvane2 kelvane_driver scripted_desktop -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

source scripts/wine-env.sh
trap wine_env_stop EXIT
# A prefix of its own, so the demo always starts from the default settings.
rm -rf build/demo
mkdir -p build/demo
echo "demo: starting Xvfb and Wine (the first start of a prefix takes a few seconds)"
wine_env_start build/demo

bin=build/mingw/bin
data="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Kelvane"
pattern_shot=$(realpath build/demo)/pattern.png
live_shot=$(realpath build/demo)/live.png
driver() { "$WINE" "$bin/kelvane_driver.exe" "$@" 2>/dev/null; }
mirrored_area=1280x1024+0+0   # the automatic choice on this display: the second screen, at the origin

# Chooses Exit as the tray menu does; sets $status to Kelvane2's exit code.
exit_kelvane() {
    driver post Kelvane2Msg 0x111 105 0 || true
    status=0
    wait "$kelvane_pid" || status=$?
}

echo "demo: running Kelvane2.exe --pattern (display $DISPLAY)"
"$WINE" "$bin/Kelvane2.exe" --pattern 2>/dev/null &
kelvane_pid=$!

# The default warp mirrors horizontally: the pattern's red corner square shows at the top-right of
# the mirrored monitor.
shown=no
for _ in $(seq 1 150); do
    pixel=$(import -window root -crop 1x1+1270+10 -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-Fa-f]\{6\}' | tail -n 1)
    if [[ "${pixel^^}" == "#E03030" ]]; then
        shown=yes
        break
    fi
    sleep 0.2
done
import -window root -crop "$mirrored_area" +repage "$pattern_shot"
exit_kelvane
pattern_status=$status
pattern_verdict="demo: calibration pattern: Kelvane2.exe ended with code $pattern_status; mirrored pattern on screen: $shown"
echo "$pattern_verdict"

echo "demo: running Kelvane2.exe on a scripted live desktop"
script_folder=$(realpath build/demo)/duplication
mkdir -p "$script_folder"
KELVANE_SCRIPTED_DUPLICATION="Z:${script_folder//\//\\}" "$WINE" "$bin/Kelvane2.exe" 2>/dev/null &
kelvane_pid=$!
live_verdict=$("$WINE" "$bin/scripted_desktop.exe" "Z:${script_folder//\//\\}" 2>/dev/null) && live=yes || live=no
import -window root -crop "$mirrored_area" +repage "$live_shot"
exit_kelvane
live_status=$status

echo "---- $data/Kelvane2.log (the live run)"
tr -d '\r' <"$data/Kelvane2.log"
echo "---- $data/settings.ini"
tr -d '\r' <"$data/settings.ini"
echo "----"
echo "$pattern_verdict"
echo "demo: screenshot of the mirrored pattern: $pattern_shot"
echo "demo: live desktop: Kelvane2.exe ended with code $live_status; ${live_verdict:-scripted desktop gave no verdict}"
echo "demo: screenshot of the live mirror: $live_shot"
[[ $pattern_status -eq 0 && $shown == yes && $live_status -eq 0 && $live == yes ]]
