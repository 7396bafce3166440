// A real Kelvane2.exe started from a test: the executable beside the test, its control window, exit
// code and log.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane::test {

inline constexpr DWORD run_timeout_ms = 60000;
inline constexpr int exit_ok = 0;
inline constexpr int exit_already_running = 2;

inline std::wstring executable_path() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"Kelvane2.exe";
}

// A running Kelvane2.exe, ended (if still running) when the object goes.
class KelvaneProcess {
public:
    explicit KelvaneProcess(const std::wstring& arguments) {
        std::wstring command = L"\"" + executable_path() + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        // A start refused for a passing cause (an internal error while the machine is busy starting
        // other processes) is tried again; these tests are about the program, not the process loader.
        for (int attempt = 1; !CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                              &startup, &process_);
             ++attempt) {
            const DWORD error = GetLastError();
            process_ = {};
            if (attempt == 3) {
                ADD_FAILURE() << "CreateProcessW failed three times, last error " << error;
                return;
            }
            Sleep(500);
        }
        CloseHandle(process_.hThread);
    }
    ~KelvaneProcess() {
        if (process_.hProcess != nullptr) {
            if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
                TerminateProcess(process_.hProcess, 99);
            }
            CloseHandle(process_.hProcess);
        }
    }
    KelvaneProcess(const KelvaneProcess&) = delete;
    KelvaneProcess& operator=(const KelvaneProcess&) = delete;

    // The process's control window, once it exists; null when it did not appear in time.
    HWND control_window() const {
        const auto deadline = GetTickCount64() + run_timeout_ms;
        while (process_.hProcess != nullptr && GetTickCount64() < deadline) {
            for (HWND w = FindWindowExW(nullptr, nullptr, L"Kelvane2Msg", nullptr); w != nullptr;
                 w = FindWindowExW(nullptr, w, L"Kelvane2Msg", nullptr)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner == process_.dwProcessId) {
                    return w;
                }
            }
            if (WaitForSingleObject(process_.hProcess, 50) == WAIT_OBJECT_0) {
                return nullptr;
            }
        }
        return nullptr;
    }

    // The exit code, or -1 when the process did not end in time.
    int wait_exit() const {
        if (process_.hProcess == nullptr) {
            return -1;
        }
        if (WaitForSingleObject(process_.hProcess, run_timeout_ms) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "Kelvane2.exe did not end within " << run_timeout_ms << " ms";
            return -1;
        }
        DWORD exit_code = 0;
        GetExitCodeProcess(process_.hProcess, &exit_code);
        return static_cast<int>(exit_code);
    }

    [[nodiscard]] HANDLE handle() const noexcept { return process_.hProcess; }

private:
    PROCESS_INFORMATION process_{};
};

inline constexpr WPARAM exit_command = 105;

// Overlays of any process: the end-to-end runs have the display to themselves.
inline bool overlay_exists() {
    return FindWindowW(L"Kelvane2Overlay", nullptr) != nullptr;
}

// A tray notification (a balloon tooltip) is on the screen: it covers part of the mirror until it times out.
inline bool notification_shown() {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, L"tooltips_class32", nullptr)) {
        if (IsWindowVisible(w) != FALSE) {
            return true;
        }
    }
    return false;
}

inline bool wait_until(const std::function<bool()>& condition, DWORD limit_ms = 20000) {
    const auto deadline = GetTickCount64() + limit_ms;
    while (GetTickCount64() < deadline) {
        if (condition()) {
            return true;
        }
        Sleep(50);
    }
    return condition();
}

// The log's messages without their time stamps.
inline std::vector<std::string> log_messages(const std::wstring& log_file) {
    std::vector<std::string> messages;
    for (const std::string& line : split_crlf_lines(read_file_bytes(std::filesystem::path(log_file)))) {
        messages.push_back(line.size() > 15 && line[0] == '[' ? line.substr(15) : line);
    }
    return messages;
}

}  // namespace kelvane::test
