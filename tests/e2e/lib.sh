# Shared helpers of the end-to-end scripts: they drive the real Kelvane2.exe under Wine on the X
# display that scripts/wine-env.sh started (DISPLAY, WINE, WINEPREFIX come from there).
# Usage inside a script:  source "$(dirname "$0")/lib.sh" "$bin_dir"

e2e_bin=$(realpath "$1")
: "${WINE:?run under scripts/test.sh or after wine_env_start}" "${DISPLAY:?}" "${WINEPREFIX:?}"
e2e_data="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Kelvane"
e2e_log="$e2e_data/Kelvane2.log"
e2e_ini="$e2e_data/settings.ini"
e2e_work=$(mktemp -d)
e2e_checks=0
e2e_failures=0
e2e_pids=()

e2e_cleanup() {
    for pid in "${e2e_pids[@]}"; do
        # A backgrounded function is a subshell: end the program it runs too, or it keeps the output open.
        pkill -P "$pid" 2>/dev/null
        kill "$pid" 2>/dev/null
    done
    rm -rf "$e2e_work"
}
trap e2e_cleanup EXIT

# check "what" command...: runs the command and counts the outcome.
check() {
    local what=$1
    shift
    e2e_checks=$((e2e_checks + 1))
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        e2e_failures=$((e2e_failures + 1))
    fi
}

# Ends the script with the counts, in the closing-line form test runners read.
finish() {
    echo "$((e2e_checks - e2e_failures)) passed, $e2e_failures failed"
    ((e2e_failures == 0))
    exit $?
}

driver() {
    "$WINE" "$e2e_bin/kelvane_driver.exe" "$@" 2>/dev/null
}

# Starts Kelvane2.exe with the given arguments in the background; sets kelvane_pid.
start_kelvane() {
    "$WINE" "$e2e_bin/Kelvane2.exe" "$@" 2>/dev/null &
    kelvane_pid=$!
    e2e_pids+=("$kelvane_pid")
    driver wait-window Kelvane2Msg 30000
}

# Chooses Exit as the tray menu does and returns Kelvane2's exit code.
exit_kelvane() {
    driver post Kelvane2Msg 0x111 105 0
    # Exit takes well under a second; a program that has not gone after 30 s is a failure, not a wait.
    local polls=0
    while kill -0 "$kelvane_pid" 2>/dev/null && ((polls++ < 300)); do
        sleep 0.1
    done
    if kill -0 "$kelvane_pid" 2>/dev/null; then
        echo "Kelvane2 did not exit within 30 s of Exit" >&2
        kill "$kelvane_pid" 2>/dev/null
    fi
    local code=0
    wait "$kelvane_pid" || code=$?
    return "$code"
}

# The checks of a script that reads screen pixels, window places and monitor labels were written for
# the test display that scripts/wine-env.sh starts: two heads at the origin, \\.\DISPLAY1 1920x1080
# (primary) and \\.\DISPLAY2 1280x1024. On any other layout the script says so and ends as skipped.
needs_test_display() {
    local expected actual
    expected=$(printf '%s\n' '\\.\DISPLAY1 0 0 1920 1080 primary' '\\.\DISPLAY2 0 0 1280 1024')
    actual=$(driver monitors | tr -d '\r' | sort)
    if [[ "$actual" != "$expected" ]]; then
        echo "skip $(basename "$0"): needs the test display's two heads at the origin" \
            "(${expected//$'\n'/, }); this one has: ${actual//$'\n'/, }"
        finish
    fi
}

fresh_data() {
    mkdir -p "$e2e_data"
    rm -f "$e2e_log" "$e2e_ini" "$e2e_ini.tmp"
}

log_text() {
    tr -d '\r' <"$e2e_log" 2>/dev/null | cut -c16-
}
log_has() {
    log_text | grep -qxF -- "$1"
}
log_count() {
    log_text | grep -cxF -- "$1"
}
log_count_is() {
    [[ "$(log_count "$2")" == "$1" ]]
}
last_log_line() {
    log_text | tail -n 1
}
ini_has() {
    tr -d '\r' <"$e2e_ini" 2>/dev/null | grep -qxF -- "$1"
}

# Colour of one screen pixel as RRGGBB, from a screenshot of the X display.
screen_pixel() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-Fa-f]\{6\}' | tail -n 1 |
        tr -d '#' | tr 'a-f' 'A-F'
}
pixel_is() {
    [[ "$(screen_pixel "$1" "$2")" == "$3" ]]
}
pixel_is_not() {
    [[ "$(screen_pixel "$1" "$2")" != "$3" ]]
}

# wait_for SECONDS command...: retries the command every 0.2 s until it succeeds or time runs out.
wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    while ((SECONDS < deadline)); do
        "$@" && return 0
        sleep 0.2
    done
    "$@"
}
