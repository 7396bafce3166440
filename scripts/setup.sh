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
)
# The MSI (scripts/package.sh) and its checks; Node and npm for the workflow check, unless a Node of
# its own that brings npm is there.
packages+=(wixl msitools)
if ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

# The GitHub Actions workflow validator (scripts/lint.sh), pinned, into the build folder.
install_npm_tools() {
    local folder=build/tools/npm
    local wanted=(@action-validator/cli@0.6.0 @action-validator/core@0.6.0)
    if [[ "$(cat "$folder/installed" 2>/dev/null)" != "${wanted[*]}" ]]; then
        echo "setup: installing ${wanted[*]} into $folder"
        mkdir -p "$folder"
        npm install --prefix "$folder" --no-save --no-audit --no-fund --loglevel=error "${wanted[@]}" >/dev/null
        echo "${wanted[*]}" >"$folder/installed"
    fi
}

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    install_npm_tools
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
install_npm_tools
