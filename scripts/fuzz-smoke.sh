#!/usr/bin/env bash
# Short fuzz run for the test command: builds the fuzz preset (Clang 14, libFuzzer, ASan, UBSan) and
# runs every target for a few seconds over its seed corpus. New inputs go to a scratch folder under
# build/fuzz, never into fuzz/corpus. Exits non-zero when a build fails, a target crashes, a sanitizer
# reports or an invariant fails; the failing input is left in build/fuzz/smoke/<target>/.
#
#   scripts/fuzz-smoke.sh            # 5 seconds a target
#   FUZZ_SMOKE_SECONDS=30 scripts/fuzz-smoke.sh
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SMOKE_SECONDS:-5}
jobs=$(nproc 2>/dev/null || echo 2)
targets=(fuzz_settings_file fuzz_settings_number fuzz_command_line fuzz_pointer_shape fuzz_monitor_argument
    fuzz_remote_payload)

if ! command -v clang++-14 >/dev/null || ! compgen -G "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
    echo "fuzz-smoke: needs clang++-14 and libFuzzer (Debian packages clang-14 and libclang-rt-14-dev)"
    exit 1
fi

mkdir -p build
log=build/fuzz-smoke-build.log
if ! { cmake --preset fuzz && cmake --build --preset fuzz -j "$jobs"; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz-smoke: BUILD FAILED (see $log)"
    exit 1
fi

failed=0
for target in "${targets[@]}"; do
    work=build/fuzz/smoke/$target
    rm -rf "$work"
    mkdir -p "$work/corpus"
    # -close_fd_mask=2 mutes the product's log on standard error; libFuzzer, the sanitizers and the
    # invariant checks still report.
    if build/fuzz/bin/"$target" -max_total_time="$seconds" -close_fd_mask=2 -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus" "fuzz/corpus/$target" >"$work/run.log" 2>&1; then
        runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$work/run.log")
        echo "fuzz-smoke: $target ok, ${runs:-?} runs in ${seconds} s"
    else
        failed=$((failed + 1))
        grep -E 'invariant failed|ERROR|SUMMARY|Test unit written' "$work/run.log"
        echo "fuzz-smoke: $target FAILED (see $work/run.log)"
    fi
done

echo "fuzz-smoke: ${#targets[@]} targets, $failed failed"
((failed == 0))
