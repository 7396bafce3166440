#!/usr/bin/env bash
# The release command: installs what is missing, builds the release Kelvane2.exe (mingw preset) and
# writes build/package/Kelvane2-<version>-win64.zip and .msi (<version>: the CMake project version),
# then shows what they hold.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
mkdir -p build
if ! cmake --preset mingw >build/package-configure.log 2>&1; then
    cat build/package-configure.log >&2
    exit 1
fi
cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target kelvane_package

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/mingw/CMakeCache.txt)
zip=build/package/Kelvane2-$version-win64.zip
msi=build/package/Kelvane2-$version-win64.msi
echo
echo "$zip:"
cmake -E tar tvf "$zip"
echo
echo "$msi:"
msiinfo export "$msi" Property | tr -d '\r' | grep -E '^(ProductName|ProductVersion|ProductCode|UpgradeCode|Manufacturer)'
msiinfo suminfo "$msi" | grep -E '^(Template|Source)'
echo "(Template x64: a 64-bit package; Source has bit 8: per-user, no elevation needed)"
