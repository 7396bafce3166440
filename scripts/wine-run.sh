#!/usr/bin/env bash
# Runs a Windows executable under Wine: the test runner's emulator for the cross build.
# Expects the environment of scripts/wine-env.sh (DISPLAY, WINEPREFIX); finds Wine itself.
set -euo pipefail
wine=${WINE:-$(dpkg -L wine64 | grep -m1 '/wine64$')}
exec "$wine" "$@"
