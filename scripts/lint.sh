#!/usr/bin/env bash
# Static analysis: clang-tidy with the checked-in .clang-tidy over the portable core (the native
# preset's compile database) and over the *_win32 files (the mingw-clang preset's), the format check
# with the checked-in .clang-format, cppcheck over the portable core, the portable core through clang
# in Visual C++ mode, and the GitHub Actions workflows against their schema (the validator that
# scripts/setup.sh installs). Prints every finding and exits non-zero when any tool reports one (or
# cannot run).
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p build
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

# The Windows shell through the clang cross build's compile database. Handing pointers through LPARAM
# and window data is how Win32 works, so the integer-to-pointer check is off for these files.
mapfile -t win_sources < <(find src -name '*_win32.cpp' | sort)
# The embedded shader header is generated at build time; the sources include it.
if ! cmake --preset mingw-clang >build/lint-configure-win.log 2>&1 ||
    ! cmake --build --preset mingw-clang --target kelvane_generated >>build/lint-configure-win.log 2>&1 ||
    [[ ! -f build/mingw-clang/compile_commands.json ]]; then
    cat build/lint-configure-win.log >&2
    echo "lint: the mingw-clang preset did not configure" >&2
    exit 1
fi
echo "lint: clang-tidy over ${#win_sources[@]} Windows files"
if ! printf '%s\n' "${win_sources[@]}" |
    xargs -P "$jobs" -n 1 clang-tidy -p build/mingw-clang --quiet --checks=-performance-no-int-to-ptr \
        2> >(grep -v -E '^[0-9]+ (warnings?|errors?)( and [0-9]+ errors?)? generated\.$' >&2); then
    echo "lint: clang-tidy reported findings in the Windows files" >&2
    status=1
fi

echo "lint: clang-format over the sources, tests, benchmarks and fuzz targets"
mapfile -t formatted < <(find src tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) | sort)
if ! clang-format --dry-run --Werror "${formatted[@]}"; then
    echo "lint: clang-format would change the files above (run: clang-format -i on them)" >&2
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

# Visual C++ is not here, so clang stands in for it with its target and language rules (_MSC_VER,
# LLP64, the Microsoft ABI, delayed template parsing), catching GNU-only code that the two mingw
# builds accept. Its headers are not here either: the mingw-w64 C and C++ headers stand in, and they
# parse only with the GNU predefined macros that a mingw clang would set, passed in first.
mapfile -t msvc_sources < <(find src -name '*.cpp' ! -name '*_win32.cpp' ! -name '*_posix.cpp' | sort)
echo "lint: clang in Visual C++ mode over ${#msvc_sources[@]} files"
mingw_cxx=$(find /usr/lib/gcc/x86_64-w64-mingw32 -maxdepth 4 -path '*-posix/include/c++' | sort | tail -n 1)
mkdir -p build/msvc-syntax
{
    clang++ --target=x86_64-w64-mingw32 -std=c++17 -dM -E -x c++ /dev/null |
        grep -E '^#define (__GCC_|__GNUC|__GXX_|__STRICT_ANSI__)'
    # The mingw headers take their declspec path only when it is a macro; it stays a keyword.
    echo '#define __declspec __declspec'
} >build/msvc-syntax/gnu-headers.h
if [[ -z "$mingw_cxx" ]] || ! printf '%s\n' "${msvc_sources[@]}" |
    xargs -P "$jobs" -n 1 clang++ --target=x86_64-pc-windows-msvc -fms-compatibility -fms-extensions \
        -fsyntax-only -std=c++17 -pedantic-errors -Wall -Wextra -Werror -nostdinc++ \
        -include build/msvc-syntax/gnu-headers.h -isystem "$mingw_cxx" -isystem "$mingw_cxx/x86_64-w64-mingw32" \
        -isystem /usr/x86_64-w64-mingw32/include -I src \
        -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00; then
    echo "lint: the portable core does not compile in Visual C++ mode" >&2
    status=1
fi

echo "lint: the GitHub Actions workflows against their schema"
validator=build/tools/npm/node_modules/.bin/action-validator
if [[ ! -x "$validator" ]]; then
    echo "lint: $validator is missing (bash scripts/setup.sh installs it)" >&2
    status=1
elif ! "$validator" .github/workflows/*.yml; then
    echo "lint: a workflow does not validate" >&2
    status=1
fi

if ((status == 0)); then
    echo "lint: clean"
fi
exit "$status"
