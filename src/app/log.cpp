// Diagnostic log: formatting, the log file and the debugger output.
#include "app/log.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <type_traits>

#include "platform/utf8.h"

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

template <typename T>
void append_converted(std::string& out, const std::string& spec, T value) {
    char small[128];
    const int needed = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (needed < 0) {
        return;
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        out.append(small, static_cast<std::size_t>(needed));
        return;
    }
    std::string large(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(large.data(), large.size(), spec.c_str(), value);
    out.append(large.data(), static_cast<std::size_t>(needed));
}

// Small integer types arrive promoted to int through the ellipsis.
template <typename T>
using PromotedArg = std::conditional_t<(sizeof(T) < sizeof(int)), int, T>;

// Keeps only the length modifiers that narrow an int; any other is meaningless there.
std::string short_length(const std::string& length) {
    return length == "h" || length == "hh" ? length : std::string();
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Appends one conversion. `spec` holds "%", the flags, width and precision; `length` the length
// modifier, `conversion` the conversion letter. Returns false for a conversion it does not know,
// after which no further argument can be located safely.
bool append_one(std::string& out, const std::string& spec, const std::string& length, char conversion,
                va_list* args) {
    // The "j" and "z"/"t" branches repeat another only where intmax_t, ptrdiff_t and size_t happen to
    // be the same type as long or long long; va_arg must name the type the caller passed, which
    // differs by target, so the branches stay apart.
    switch (conversion) {
    case 'd':
    case 'i':
        if (length == "ll") {
            append_converted(out, spec + "lld", va_arg(*args, long long));
        } else if (length == "l") {
            append_converted(out, spec + "ld", va_arg(*args, long));
        } else if (length == "j") {  // NOLINT(bugprone-branch-clone): see above
            append_converted(out, spec + "lld", static_cast<long long>(va_arg(*args, std::intmax_t)));
        } else if (length == "z" || length == "t") {
            append_converted(out, spec + "lld", static_cast<long long>(va_arg(*args, std::ptrdiff_t)));
        } else {
            append_converted(out, spec + short_length(length) + conversion, va_arg(*args, int));
        }
        return true;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        if (length == "ll") {
            append_converted(out, spec + "ll" + conversion, va_arg(*args, unsigned long long));
        } else if (length == "l") {
            append_converted(out, spec + "l" + conversion, va_arg(*args, unsigned long));
        } else if (length == "j") {  // NOLINT(bugprone-branch-clone): see above
            append_converted(out, spec + "ll" + conversion,
                             static_cast<unsigned long long>(va_arg(*args, std::uintmax_t)));
        } else if (length == "z" || length == "t") {
            append_converted(out, spec + "ll" + conversion,
                             static_cast<unsigned long long>(va_arg(*args, std::size_t)));
        } else {
            append_converted(out, spec + short_length(length) + conversion, va_arg(*args, unsigned int));
        }
        return true;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        if (length == "L") {
            append_converted(out, spec + conversion, static_cast<double>(va_arg(*args, long double)));
        } else {
            append_converted(out, spec + conversion, va_arg(*args, double));
        }
        return true;
    case 'c':
        if (length == "l") {
            const wchar_t wide[2] = {static_cast<wchar_t>(va_arg(*args, PromotedArg<std::wint_t>)), L'\0'};
            append_converted(out, spec + 's', wide_to_utf8(wide).c_str());
        } else {
            append_converted(out, spec + 'c', va_arg(*args, int));
        }
        return true;
    case 's':
        if (length == "l") {
            const wchar_t* wide = va_arg(*args, const wchar_t*);
            append_converted(out, spec + 's', wide != nullptr ? wide_to_utf8(wide).c_str() : "(null)");
        } else {
            const char* narrow = va_arg(*args, const char*);
            append_converted(out, spec + 's', narrow != nullptr ? narrow : "(null)");
        }
        return true;
    case 'p':
        append_converted(out, spec + 'p', va_arg(*args, void*));
        return true;
    case 'n':
        // Never write through a pointer taken from a log call.
        static_cast<void>(va_arg(*args, void*));
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string format_log_message(const char* format, va_list args) {
    std::string out;
    if (format == nullptr) {
        return out;
    }
    va_list ap;
    va_copy(ap, args);
    const char* p = format;
    while (*p != '\0' && out.size() <= log_message_max) {
        if (*p != '%') {
            const char* next = std::strchr(p, '%');
            const std::size_t run = next != nullptr ? static_cast<std::size_t>(next - p) : std::strlen(p);
            out.append(p, run);
            p += run;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out.push_back('%');
            ++p;
            continue;
        }
        std::string spec = "%";
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) {
            spec.push_back(*p++);
        }
        if (*p == '*') {
            spec += std::to_string(va_arg(ap, int));
            ++p;
        } else {
            while (is_digit(*p)) {
                spec.push_back(*p++);
            }
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                const int precision = va_arg(ap, int);
                ++p;
                if (precision >= 0) {
                    spec += "." + std::to_string(precision);
                }
            } else {
                spec.push_back('.');
                while (is_digit(*p)) {
                    spec.push_back(*p++);
                }
            }
        }
        std::string length;
        while (*p != '\0' && std::strchr("hljztL", *p) != nullptr && length.size() < 2) {
            length.push_back(*p++);
        }
        const char conversion = *p;
        if (conversion == '\0' || !append_one(out, spec, length, conversion, &ap)) {
            // An unknown conversion: show the rest verbatim rather than guess at the arguments.
            out.append(start);
            break;
        }
        ++p;
    }
    va_end(ap);
    if (out.size() > log_message_max) {
        out.resize(log_message_max);
    }
    return out;
}

std::string format_log_line(const platform::LocalTime& time, std::string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d.%03d] ", time.hour, time.minute, time.second,
                  time.millisecond);
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
    std::FILE* file = platform::open_file_shared(path, mode == LogOpenMode::append ? L"ab" : L"wb");
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
