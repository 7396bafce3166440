#!/usr/bin/env bash
# Static analysis of the portable core (src/ without the *_win32 files): clang-tidy with the checked-in
# .clang-tidy over the native preset's compile database, then cppcheck. Prints every finding and exits
# non-zero when either tool reports one (or cannot run).
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
status=0

mapfile -t sources < <(find src -name '*.cpp' ! -name '*_win32.cpp' | sort)
if ((${#sources[@]} == 0)); then
    echo "lint: no sources found" >&2
    exit 1
fi

# The compile database comes from configuring the native preset (it is cheap when already configured).
if ! cmake --preset native >build/lint-configure.log 2>&1 || [[ ! -f build/native/compile_commands.json ]]; then
    cat build/lint-configure.log >&2
    echo "lint: the native preset did not configure" >&2
    exit 1
fi

echo "lint: clang-tidy over ${#sources[@]} files"
# Every check is an error (WarningsAsErrors in .clang-tidy), so a finding fails its file.
if ! printf '%s\n' "${sources[@]}" |
    xargs -P "$jobs" -n 1 clang-tidy -p build/native --quiet 2> >(grep -v -E '^[0-9]+ (warnings?|errors?)( and [0-9]+ errors?)? generated\.$' >&2); then
    echo "lint: clang-tidy reported findings" >&2
    status=1
fi

echo "lint: cppcheck over ${#sources[@]} files"
# The portable core needs nothing but its own folder on the include path; system headers are left to
# the compilers. A false positive is silenced in place with cppcheck-suppress and its reason.
if ! cppcheck --std=c++17 --language=c++ -I src \
    --enable=warning,style,performance,portability --inline-suppr \
    --error-exitcode=1 --quiet -j "$jobs" \
    --template='{file}:{line}: {severity}: {message} [{id}]' "${sources[@]}"; then
    echo "lint: cppcheck reported findings" >&2
    status=1
fi

if ((status == 0)); then
    echo "lint: clean"
fi
exit "$status"
