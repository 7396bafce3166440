#!/usr/bin/env bash
# The main job on Debian: builds Kelvane2.exe, runs it with the calibration pattern under Wine on a
# private two-monitor Xvfb display, waits for the mirror, saves a screenshot of the mirrored monitor,
# ends the program through its own Exit command and prints the log and the picture's path.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
echo "demo: building Kelvane2.exe"
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Kelvane2 kelvane_driver -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

source scripts/wine-env.sh
trap wine_env_stop EXIT
# A prefix of its own, so the demo always starts from the default settings.
rm -rf build/demo
mkdir -p build/demo
echo "demo: starting Xvfb and Wine (the first start of a prefix takes a few seconds)"
wine_env_start build/demo

bin=build/mingw/bin
data="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Kelvane"
shot=$(realpath build/demo)/screenshot.png
driver() { "$WINE" "$bin/kelvane_driver.exe" "$@" 2>/dev/null; }

echo "demo: running Kelvane2.exe --pattern (display $DISPLAY)"
"$WINE" "$bin/Kelvane2.exe" --pattern 2>/dev/null &
kelvane_pid=$!

# The default warp mirrors horizontally: the pattern's red corner square shows at the top-right of
# the mirrored monitor (1280x1024 at the origin on this display).
shown=no
for _ in $(seq 1 150); do
    pixel=$(import -window root -crop 1x1+1270+10 -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-Fa-f]\{6\}' | tail -n 1)
    if [[ "${pixel^^}" == "#E03030" ]]; then
        shown=yes
        break
    fi
    sleep 0.2
done
import -window root -crop 1280x1024+0+0 +repage "$shot"

driver post Kelvane2Msg 0x111 105 0 || true   # Exit, as the tray menu sends it
status=0
wait "$kelvane_pid" || status=$?

echo "demo: Kelvane2.exe ended with code $status; mirrored pattern on screen: $shown"
echo "---- $data/Kelvane2.log"
tr -d '\r' <"$data/Kelvane2.log"
echo "---- $data/settings.ini"
tr -d '\r' <"$data/settings.ini"
echo "----"
echo "demo: screenshot of the mirrored monitor: $shot"
[[ $status -eq 0 && $shown == yes ]]
