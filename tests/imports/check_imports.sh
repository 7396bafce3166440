#!/usr/bin/env bash
# Kelvane2.exe must start on every Windows 10: its import table may name no function that came after
# 10 1507 (build 10240), or the loader refuses the program before it runs. Those are looked up at run
# time instead (platform/dpi_win32.cpp).
# Usage: check_imports.sh <Kelvane2.exe>
set -uo pipefail
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
newer=(
    SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext GetThreadDpiAwarenessContext
    GetWindowDpiAwarenessContext GetAwarenessFromDpiAwarenessContext AreDpiAwarenessContextsEqual
    GetDpiFromDpiAwarenessContext IsValidDpiAwarenessContext GetDpiForWindow GetDpiForSystem
    GetSystemDpiForProcess GetSystemMetricsForDpi AdjustWindowRectExForDpi SystemParametersInfoForDpi
    EnableNonClientDpiScaling SetThreadDpiHostingBehavior SetDialogDpiChangeBehavior
    SetDialogControlDpiChangeBehavior LogicalToPhysicalPointForPerMonitorDPI
    PhysicalToLogicalPointForPerMonitorDPI InheritWindowMonitor
)
imports=$("$objdump" -p "$exe" | awk '/^\tDLL Name:/ {dll=$3} /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll, $3}')
# An empty or unread table would pass every check below: the guard's import must be there.
if ! grep -qw CreateMutexW <<<"$imports"; then
    echo "FAIL could not read the import table of $exe"
    exit 1
fi
echo "$(wc -l <<<"$imports") imported functions read from $exe"
failed=0
for name in "${newer[@]}"; do
    if grep -qw "$name" <<<"$imports"; then
        echo "FAIL imports $name (newer than Windows 10 1507)"
        failed=1
    fi
done
((failed == 0)) && echo "ok   none of ${#newer[@]} functions newer than Windows 10 1507 is imported"
exit "$failed"
