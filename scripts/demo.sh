#!/usr/bin/env bash
# The main job on Debian: builds Kelvane2.exe, runs it with the calibration pattern under Wine on a
# private two-monitor Xvfb display, saves a screenshot of the display and prints the log.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
echo "demo: building Kelvane2.exe"
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Kelvane2 -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

source scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start build/mingw

out_dir=$(realpath build/demo)
mkdir -p "$out_dir"
echo "demo: running Kelvane2.exe --pattern under Wine (display $DISPLAY)"
"$WINE" build/mingw/bin/Kelvane2.exe --pattern &
kelvane_pid=$!

# The program ends by itself for now; a later version keeps running until its Exit command.
for _ in $(seq 1 100); do
    kill -0 "$kelvane_pid" 2>/dev/null || break
    sleep 0.1
done
import -window root "$out_dir/screenshot.png"
status=0
wait "$kelvane_pid" || status=$?

data="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Kelvane"
echo "demo: Kelvane2.exe ended with code $status"
echo "---- $data/Kelvane2.log"
cat "$data/Kelvane2.log" | tr -d '\r'
echo "---- $data/settings.ini"
cat "$data/settings.ini" | tr -d '\r'
echo "----"
echo "demo: screenshot saved to $out_dir/screenshot.png"
exit "$status"
