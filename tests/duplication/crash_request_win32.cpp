// The crash request between a test and the duplication hook library.
#include "duplication/crash_request_win32.h"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace kelvane::test {
namespace {

constexpr wchar_t request_name[] = L"\\crash.txt";
constexpr wchar_t heap_locked_name[] = L"\\heap_locked.txt";
constexpr char plain_request[] = "crash\n";
constexpr char heap_locked_request[] = "crash heap_locked\n";
// IUnknown (3), IDXGIObject (4), GetDesc, then AcquireNextFrame.
constexpr std::size_t acquire_next_frame_slot = 3 + 4 + 1;

enum Request : int { none, plain, heap_locked };

using AcquireNextFrame = HRESULT(STDMETHODCALLTYPE*)(IDXGIOutputDuplication*, UINT, DXGI_OUTDUPL_FRAME_INFO*,
                                                     IDXGIResource**);
AcquireNextFrame scripted_acquire = nullptr;
std::atomic<int> requested{none};
HANDLE take_lock = CreateEventW(nullptr, TRUE, FALSE, nullptr);
HANDLE lock_taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
HANDLE crashing = nullptr;

// On the session thread, which allocates nothing between the lock and the crash.
HRESULT STDMETHODCALLTYPE acquire_or_crash(IDXGIOutputDuplication* duplication, UINT timeout_ms,
                                           DXGI_OUTDUPL_FRAME_INFO* info, IDXGIResource** resource) {
    const int request = requested.load();
    if (request == heap_locked) {
        SetEvent(take_lock);
        WaitForSingleObject(lock_taken, INFINITE);
    }
    if (request != none) {
        SetEvent(crashing);
        volatile std::uintptr_t address = 16;
        *reinterpret_cast<volatile int*>(address) = 1;
    }
    return scripted_acquire(duplication, timeout_ms, info, resource);
}

// Named after the folder, which both sides know.
std::wstring crashing_event_name(const std::wstring& folder) {
    return L"Kelvane2CrashRequest" + std::to_wstring(std::hash<std::wstring>{}(folder));
}

std::string read_all(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

HANDLE request_crash(const std::wstring& folder, bool locked) {
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, crashing_event_name(folder).c_str());
    const std::wstring partial = folder + request_name + L".part";
    {
        std::ofstream out(partial.c_str(), std::ios::binary | std::ios::trunc);
        out << (locked ? heap_locked_request : plain_request);
    }
    MoveFileExW(partial.c_str(), (folder + request_name).c_str(), MOVEFILE_REPLACE_EXISTING);
    return event;
}

bool heap_was_locked(const std::wstring& folder) {
    return GetFileAttributesW((folder + heap_locked_name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void crash_on_request(IDXGIOutputDuplication* duplication) {
    if (scripted_acquire != nullptr || duplication == nullptr) {
        return;
    }
    void** slot = *reinterpret_cast<void***>(duplication) + acquire_next_frame_slot;
    DWORD protection = 0;
    if (VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection) != 0) {
        scripted_acquire = reinterpret_cast<AcquireNextFrame>(*slot);
        *slot = reinterpret_cast<void*>(&acquire_or_crash);
        VirtualProtect(slot, sizeof *slot, protection, &protection);
    }
}

void poll_crash_request(const std::wstring& folder) {
    if (requested.load() != none) {
        return;
    }
    const std::string request = read_all(folder + request_name);
    if (request == plain_request || request == heap_locked_request) {
        crashing = OpenEventW(EVENT_MODIFY_STATE, FALSE, crashing_event_name(folder).c_str());
    }
    if (request == plain_request) {
        requested = plain;
    } else if (request == heap_locked_request) {
        requested = heap_locked;
        WaitForSingleObject(take_lock, INFINITE);
        // The lock is this thread's now, and stays so: its own allocations still go through.
        HeapLock(GetProcessHeap());
        std::ofstream((folder + heap_locked_name).c_str(), std::ios::binary) << "locked\n";
        SetEvent(lock_taken);
        Sleep(INFINITE);
    }
}

}  // namespace kelvane::test
