// The process-wide diagnostic log: one time-stamped line per event in Kelvane2.log in the data
// folder, and the same text (without the stamp) on the debugger output. Callable from any thread.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

#if defined(__MINGW32__) && !defined(__clang__)
#define KELVANE_PRINTF(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#elif defined(__GNUC__) || defined(__clang__)
#define KELVANE_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define KELVANE_PRINTF(fmt, first)
#endif

namespace kelvane {

// Longest message in bytes; longer output is cut here.
inline constexpr std::size_t log_message_max = 1023;
// The file stops growing here, after one line "log: size limit reached".
inline constexpr std::int64_t log_size_limit = std::int64_t{8} * 1024 * 1024;
// A line that repeats is written once; the count of its repeats follows with the next other line, or
// after this long while the repeats go on.
inline constexpr std::int64_t log_repeat_report_ms = 60000;

// The system's own folder under the roaming application-data folder, created when missing;
// empty when the known folder cannot be looked up.
[[nodiscard]] std::wstring data_folder();

// Path of the log file in `folder`.
[[nodiscard]] std::wstring log_file_path(const std::wstring& folder);

enum class LogOpenMode {
    truncate,  // a fresh log for this run
    append,    // add to the log of a run that is still going
};

// Opens the log file in the data folder; with no data folder, or when the file cannot be opened,
// lines go to the debugger output only.
void open_log(LogOpenMode mode = LogOpenMode::truncate);

// Opens `path` as the log file, replacing any file opened before. Returns false when it cannot be opened.
bool open_log_file(const std::wstring& path, LogOpenMode mode);

// Closes the log file; later lines go to the debugger output only.
void close_log();

void log_message(const char* format, ...) KELVANE_PRINTF(1, 2);

// The clock the repeat count goes by (milliseconds; steady by default): tests set their own.
void set_log_clock(std::int64_t (*clock_ms)()) noexcept;

// The standard line for a failed platform call: "<name> failed, hr=0x%08X".
void log_failed_call(const char* name, long hr);

// printf formatting into at most log_message_max bytes. Text arguments are UTF-8: wide strings are
// converted by the caller (wide_to_utf8), since %ls would depend on the C library's locale.
[[nodiscard]] std::string format_log_message(const char* format, va_list args);

// The line as it stands in the file: "[hh:mm:ss.mmm] message" and CR LF.
[[nodiscard]] std::string format_log_line(const platform::LocalTime& time, std::string_view message);

}  // namespace kelvane
