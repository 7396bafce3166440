#!/usr/bin/env bash
# Installs what building and testing Kelvane2 needs on Debian 12, and nothing that is already there.
# Idempotent and quiet; safe to run every time.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake make g++ googletest libgtest-dev libbenchmark-dev   # native build, tests, benchmarks
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64      # Windows cross build
    wine64 xvfb xauth x11-utils                                # Windows tests under Wine
    imagemagick xdotool                                        # screenshots, keyboard input
    clang lld                                                  # second compiler for the Windows build
    clang-tidy clang-format cppcheck                           # static analysis and format (scripts/lint.sh)
    libclang-rt-14-dev                                         # libFuzzer and the sanitizer runtimes for clang
    wixl msitools                                              # the MSI (scripts/package.sh) and its checks
)
# Node and npm for the workflow check; a Node of its own that brings npm is left as it is.
if ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "setup: installing ${missing[*]}"
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq >/dev/null
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    echo "setup: done"
fi

# The GitHub Actions workflow validator (scripts/lint.sh), pinned, into the build folder.
npm_tools=build/tools/npm
npm_packages=(@action-validator/cli@0.6.0 @action-validator/core@0.6.0)
if [[ "$(cat "$npm_tools/installed" 2>/dev/null)" != "${npm_packages[*]}" ]]; then
    echo "setup: installing ${npm_packages[*]} into $npm_tools"
    mkdir -p "$npm_tools"
    npm install --prefix "$npm_tools" --no-save --no-audit --no-fund --loglevel=error "${npm_packages[@]}" >/dev/null
    echo "${npm_packages[*]}" >"$npm_tools/installed"
fi
