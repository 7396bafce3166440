# Sourced by the test and demo commands: a private Xvfb display with two monitors and a private
# Wine prefix under the build folder, both ended again by wine_env_stop.
#
#   source scripts/wine-env.sh; wine_env_start build/mingw; ...; wine_env_stop
# Exports WINE, WINESERVER, WINEPREFIX, DISPLAY and KELVANE_XVFB_PID.

wine_env_start() {
    local build_dir=$1
    WINE=$(dpkg -L wine64 | grep -m1 '/wine64$')
    WINESERVER=$(dirname "$WINE")/wineserver
    export WINE WINESERVER
    export WINEPREFIX=$(realpath -m "$build_dir/wineprefix")
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    # -displayfd picks a free display number and tells it through the pipe.
    Xvfb -displayfd 3 +xinerama -screen 0 1920x1080x24 -screen 1 1280x1024x24 -nolisten tcp 3>"$fifo" \
        >/dev/null 2>&1 &
    KELVANE_XVFB_PID=$!
    export KELVANE_XVFB_PID
    local display
    if ! read -r -t 30 display <"$fifo"; then
        rm -f "$fifo"
        echo "wine-env: Xvfb did not start" >&2
        return 1
    fi
    rm -f "$fifo"
    export DISPLAY=":$display"

    local first_boot=0
    [[ -f "$WINEPREFIX/system.reg" ]] || first_boot=1
    "$WINE" wineboot -i >/dev/null 2>&1
    if ((first_boot)); then
        # Each Xinerama head becomes a monitor of its own.
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1
        # The desktop process read the display layout before the value existed: start it afresh.
        "$WINESERVER" -k >/dev/null 2>&1 || true
        "$WINESERVER" -w >/dev/null 2>&1 || true
        "$WINE" wineboot >/dev/null 2>&1
    fi
    # Kelvane2 needs Windows 10 version 2004 or later. Wine 8 says Windows 7 by default, and at most
    # 10.0.18362 through its version setting; with no such setting it reports the version these
    # values name. Set on every start, so that a prefix made before them gets them too.
    local version_reg
    version_reg=$(mktemp --suffix=.reg)
    printf '%s\r\n' 'REGEDIT4' '' '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]' \
        '"CurrentVersion"="10.0"' '"CurrentBuild"="19045"' '"CurrentBuildNumber"="19045"' '"CSDVersion"=""' \
        '"ProductName"="Microsoft Windows 10 Pro"' >"$version_reg"
    "$WINE" regedit /S "Z:${version_reg//\//\\}" >/dev/null 2>&1
    rm -f "$version_reg"
}

wine_env_stop() {
    if [[ -n "${WINESERVER:-}" && -n "${WINEPREFIX:-}" ]]; then
        "$WINESERVER" -k >/dev/null 2>&1 || true
        "$WINESERVER" -w >/dev/null 2>&1 || true
    fi
    if [[ -n "${KELVANE_XVFB_PID:-}" ]]; then
        kill "$KELVANE_XVFB_PID" >/dev/null 2>&1 || true
        wait "$KELVANE_XVFB_PID" 2>/dev/null || true
        KELVANE_XVFB_PID=
    fi
}
