// The running processes that a process started: how the crash tests find, and miss, a crash watcher.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

namespace kelvane::test {

inline std::vector<DWORD> children_of(DWORD parent) {
    std::vector<DWORD> children;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more != FALSE; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parent) {
            children.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return children;
}

}  // namespace kelvane::test
