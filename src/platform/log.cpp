// Diagnostic log: formatting, the log file and the debugger output.
#include "platform/log.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace kelvane {
namespace {

struct LogState {
    std::mutex lock;
    std::FILE* file = nullptr;
};

LogState& log_state() {
    // Never destroyed: threads may still log while static objects are torn down at exit.
    static auto* state = new LogState;
    return *state;
}

}  // namespace

std::string format_log_message(const char* format, va_list args) {
    char buffer[log_message_max + 1];
    va_list copy;
    va_copy(copy, args);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (written < 0) {
        // An encoding error: say so rather than write nothing.
        return std::string("(unformattable log message: ") + format + ")";
    }
    return std::string(buffer, std::min(static_cast<std::size_t>(written), log_message_max));
}

std::string format_log_line(const platform::LocalTime& time, std::string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d.%03d] ", time.hour, time.minute, time.second, time.millisecond);
    std::string line = stamp;
    line.append(message);
    line.append("\r\n");
    return line;
}

std::wstring data_folder() {
    const std::wstring base = platform::roaming_app_data_folder();
    if (base.empty()) {
        return {};
    }
    std::wstring folder = base + platform::path_separator + L"Kelvane";
    // Normally the folder exists already; when it cannot be made, opening files in it fails later.
    platform::create_folder(folder);
    return folder;
}

std::wstring log_file_path(const std::wstring& folder) {
    return folder + platform::path_separator + L"Kelvane2.log";
}

bool open_log_file(const std::wstring& path, LogOpenMode mode) {
    if (mode == LogOpenMode::truncate) {
        std::FILE* emptied = platform::open_file_shared(path, L"wb");
        if (emptied != nullptr) {
            std::fclose(emptied);
        }
    }
    // Always written at the end of the file, never through a position of our own: a second copy
    // that appends its line while this one runs must not have it overwritten by our next line.
    std::FILE* file = platform::open_file_shared(path, L"ab");
    LogState& state = log_state();
    const std::lock_guard<std::mutex> guard(state.lock);
    if (state.file != nullptr) {
        std::fclose(state.file);
    }
    state.file = file;
    return file != nullptr;
}

void open_log(LogOpenMode mode) {
    const std::wstring folder = data_folder();
    if (!folder.empty()) {
        open_log_file(log_file_path(folder), mode);
    }
}

void close_log() {
    LogState& state = log_state();
    const std::lock_guard<std::mutex> guard(state.lock);
    if (state.file != nullptr) {
        std::fclose(state.file);
        state.file = nullptr;
    }
}

void log_message(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string message = format_log_message(format, args);
    va_end(args);

    LogState& state = log_state();
    const std::lock_guard<std::mutex> guard(state.lock);
    const platform::LocalTime now = platform::local_time();
    if (state.file != nullptr) {
        const std::string line = format_log_line(now, message);
        // Write and flush errors are ignored: the log must never stop the program.
        std::fwrite(line.data(), 1, line.size(), state.file);
        std::fflush(state.file);
    }
    platform::debug_output(message.c_str());
    platform::debug_output("\n");
}

void log_failed_call(const char* name, long hr) {
    log_message("%s failed, hr=0x%08X", name, static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
}

}  // namespace kelvane
