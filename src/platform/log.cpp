// Diagnostic log: formatting, the log file and the debugger output.
#include "platform/log.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace kelvane {
namespace {

struct LogState {
    std::mutex lock;
    std::FILE* file = nullptr;
    std::int64_t bytes = 0;    // in the file, as far as this process knows
    bool full = false;         // the size limit was reached: nothing more goes to the file
    std::string last_message;  // the last message written to the file
    std::int64_t repeats = 0;  // copies of it left out since
    std::int64_t repeats_since_ms = 0;
    std::int64_t (*clock_ms)() = nullptr;
};

std::int64_t steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

LogState& log_state() {
    // Never destroyed: threads may still log while static objects are torn down at exit.
    static auto* state = new LogState;
    return *state;
}

// Called with the lock held.
void write_line(LogState& state, const platform::LocalTime& now, std::string_view message) {
    const std::string line = format_log_line(now, message);
    if (state.bytes + static_cast<std::int64_t>(line.size()) > log_size_limit) {
        const std::string last = format_log_line(now, "log: size limit reached");
        std::fwrite(last.data(), 1, last.size(), state.file);
        std::fflush(state.file);
        state.full = true;
        return;
    }
    // Write and flush errors are ignored: the log must never stop the program.
    std::fwrite(line.data(), 1, line.size(), state.file);
    std::fflush(state.file);
    state.bytes += static_cast<std::int64_t>(line.size());
}

// The copies of the last message left out so far, as one line.
void write_repeats(LogState& state, const platform::LocalTime& now) {
    if (state.repeats > 0 && !state.full) {
        write_line(state, now, "(previous line repeated " + std::to_string(state.repeats) + " times)");
    }
    state.repeats = 0;
}

void reset_file_state(LogState& state, std::FILE* file) {
    state.file = file;
    state.full = false;
    state.last_message.clear();
    state.repeats = 0;
    state.bytes = 0;
    if (file != nullptr && std::fseek(file, 0, SEEK_END) == 0) {
        state.bytes = std::max<long>(std::ftell(file), 0);
    }
    // A file this close to the limit was stopped by an earlier run (a line of the longest kind no
    // longer fits): it stays as it is.
    constexpr std::int64_t longest_line = log_message_max + 32;
    state.full = state.bytes > log_size_limit - longest_line;
}

}  // namespace

void set_log_clock(std::int64_t (*clock_ms)()) noexcept {
    LogState& state = log_state();
    const std::lock_guard<std::mutex> guard(state.lock);
    state.clock_ms = clock_ms;
}

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
    LogState& state = log_state();
    const std::lock_guard<std::mutex> guard(state.lock);
    // The file open so far is finished first: it may be the same file about to be emptied.
    if (state.file != nullptr) {
        write_repeats(state, platform::local_time());
        std::fclose(state.file);
        state.file = nullptr;
    }
    if (mode == LogOpenMode::truncate) {
        std::FILE* emptied = platform::open_file_shared(path, L"wb");
        if (emptied != nullptr) {
            std::fclose(emptied);
        }
    }
    // Always written at the end of the file, never through a position of our own: a second copy
    // that appends its line while this one runs must not have it overwritten by our next line.
    std::FILE* file = platform::open_file_shared(path, L"ab");
    reset_file_state(state, file);
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
        write_repeats(state, platform::local_time());
        std::fclose(state.file);
        reset_file_state(state, nullptr);
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
    if (state.file != nullptr && !state.full) {
        const std::int64_t now_ms = state.clock_ms != nullptr ? state.clock_ms() : steady_ms();
        if (message == state.last_message) {
            // A line that repeats is counted, and the count written at the next other line, or once a
            // minute while the repeats go on.
            if (state.repeats == 0) {
                state.repeats_since_ms = now_ms;
            }
            ++state.repeats;
            if (now_ms - state.repeats_since_ms >= log_repeat_report_ms) {
                write_repeats(state, now);
            }
        } else {
            write_repeats(state, now);
            write_line(state, now, message);
            state.last_message = message;
        }
    }
    platform::debug_output(message.c_str());
    platform::debug_output("\n");
}

void log_failed_call(const char* name, long hr) {
    log_message("%s failed, hr=0x%08X", name, static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
}

}  // namespace kelvane
