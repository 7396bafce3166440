#!/usr/bin/env bash
# The test command: installs what is missing, builds the native, sanitizer (ASan+UBSan, TSan), fuzz
# and Windows builds (mingw-w64 g++, and clang for a second opinion), runs every native test, the
# layering check, the static analysis and format check, a short fuzz run, and every Windows test under Wine (private Xvfb display and Wine
# prefix under build/mingw), and prints one summary. Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
log_dir=build/test-logs
total_passed=0
total_failed=0
summary=()

bash scripts/setup.sh || { echo "test: set-up failed"; exit 1; }
mkdir -p "$log_dir"

source scripts/wine-env.sh
trap wine_env_stop EXIT

# Adds the counts of a ctest run (its output in $2) to the summary under the name $1.
count_ctest() {
    local name=$1 output=$2 line passed failed total
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$output" | tail -n 1)
    if [[ -z "$line" ]]; then
        summary+=("$name: no test result (see $output)")
        total_failed=$((total_failed + 1))
        return
    fi
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((total - failed))
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    summary+=("$name: $passed passed, $failed failed")
}

# Configures and builds preset $1, logging to build/test-logs; a failure counts as one failed test.
build_preset() {
    local preset=$1
    echo "test: building $preset"
    if cmake --preset "$preset" >"$log_dir/$preset-configure.log" 2>&1 &&
        cmake --build --preset "$preset" -j "$jobs" >"$log_dir/$preset-build.log" 2>&1; then
        return 0
    fi
    tail -n 40 "$log_dir/$preset-configure.log" "$log_dir/$preset-build.log" 2>/dev/null
    summary+=("$preset: BUILD FAILED (see $log_dir/$preset-build.log)")
    total_failed=$((total_failed + 1))
    return 1
}

run_ctest() {
    local preset=$1
    shift
    echo "test: running $preset tests"
    ctest --preset "$preset" "$@" 2>&1 | tee "$log_dir/$preset-test.log" | grep -E 'tests passed|\*\*\*' || true
    count_ctest "$preset" "$log_dir/$preset-test.log"
    name_failures "build/$preset/Testing/Temporary/LastTest.log"
}

# The failed cases of a ctest run and the first lines of what each said, so that a summary that is all
# one sees of a run names what failed.
name_failures() {
    local log=$1 failed
    [[ -f "$log" ]] || return 0
    # GoogleTest's closing lines, and the checks of the shell scripts.
    failed=$( (grep -E '^\[  FAILED  \] [A-Za-z0-9_/.]+ \(' "$log" | sed -E 's/^\[  FAILED  \] ([^ ]+).*/\1/'
        grep -E '^FAIL ' "$log") | sort -u)
    [[ -n "$failed" ]] || return 0
    echo "test: failed cases and what they said"
    grep -E -A3 '(Failure|error:)$|^.*\.(cpp|h):[0-9]+: (Failure|error)' "$log" | head -n 60
    while read -r name; do
        summary+=("  failed: $name")
    done <<<"$failed"
}

for preset in native native-asan tsan; do
    if build_preset "$preset"; then
        run_ctest "$preset" -j "$jobs"
    fi
done

# The floors of src/: no module includes from a folder above its own.
echo "test: layering"
if bash scripts/check-layers.sh >"$log_dir/layers.log" 2>&1; then
    summary+=("layers: clean")
else
    cat "$log_dir/layers.log"
    summary+=("layers: INCLUDES REACHING UP (see $log_dir/layers.log)")
    total_failed=$((total_failed + 1))
fi

# Static analysis and the format check (the native and mingw-clang compile databases).
echo "test: clang-tidy and cppcheck"
if bash scripts/lint.sh >"$log_dir/lint.log" 2>&1; then
    summary+=("lint: clean")
else
    tail -n 40 "$log_dir/lint.log"
    summary+=("lint: FINDINGS (see $log_dir/lint.log)")
    total_failed=$((total_failed + 1))
fi

# Fuzz targets: a short run of each over its seed corpus (the long runs are described in fuzz/README.md).
if [[ -f scripts/fuzz-smoke.sh ]]; then
    echo "test: fuzz smoke run"
    if bash scripts/fuzz-smoke.sh >"$log_dir/fuzz-smoke.log" 2>&1; then
        summary+=("fuzz smoke: clean")
    else
        tail -n 40 "$log_dir/fuzz-smoke.log"
        summary+=("fuzz smoke: FAILED (see $log_dir/fuzz-smoke.log)")
        total_failed=$((total_failed + 1))
    fi
fi

# The Windows code through a second compiler: built with warnings as errors, not run.
if build_preset mingw-clang; then
    summary+=("mingw-clang: built")
fi

if build_preset mingw; then
    echo "test: starting Xvfb and Wine"
    if wine_env_start build/mingw; then
        # One Wine prefix and one data folder: the Windows test executables run one at a time.
        run_ctest mingw -j 1 --timeout 600
    else
        summary+=("mingw: Wine environment did not start")
        total_failed=$((total_failed + 1))
    fi
    wine_env_stop
fi

echo
echo "==== Kelvane2 test summary ===="
printf '%s\n' "${summary[@]}"
echo "summary: $total_passed passed, $total_failed failed"
((total_failed == 0))
