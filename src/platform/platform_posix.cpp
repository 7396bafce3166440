// POSIX implementation of the platform seam, so that the portable core builds and runs natively.
// The data folder is the XDG configuration folder; paths are UTF-8 on disk.
#include "platform/platform.h"
#include "platform/utf8.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace kelvane::platform {
namespace {

std::string narrow(const std::wstring& path) {
    return wide_to_utf8(path);
}

}  // namespace

std::wstring roaming_app_data_folder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return utf8_to_wide(xdg);
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return utf8_to_wide(std::string(home) + "/.config");
    }
    return {};
}

bool create_folder(const std::wstring& path) noexcept {
    return ::mkdir(narrow(path).c_str(), 0777) == 0 || errno == EEXIST;
}

LocalTime local_time() noexcept {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm parts{};
    const std::time_t seconds = now.tv_sec;
    ::localtime_r(&seconds, &parts);
    return LocalTime{parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<int>(now.tv_usec / 1000)};
}

void debug_output(const char* text) noexcept {
    std::fputs(text, stderr);
}

std::FILE* open_file_shared(const std::wstring& path, const wchar_t* mode) noexcept {
    return std::fopen(narrow(path).c_str(), narrow(mode).c_str());
}

std::FILE* open_file_for_reading(const std::wstring& path, unsigned long& error) noexcept {
    errno = 0;
    std::FILE* file = std::fopen(narrow(path).c_str(), "rb");
    error = file == nullptr ? static_cast<unsigned long>(errno != 0 ? errno : EIO) : 0;
    return file;
}

unsigned long flush_file_to_disk(std::FILE* file) noexcept {
    if (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0) {
        return static_cast<unsigned long>(errno != 0 ? errno : EIO);
    }
    return 0;
}

FileFailure classify_file_error(unsigned long error) noexcept {
    switch (error) {
        case ENOENT:
            return FileFailure::missing;
        case EACCES:
        case EPERM:
        case EBUSY:
        case ETXTBSY:
        case EAGAIN:
            return FileFailure::busy;
        case EINVAL:
        case ENOTSUP:
            return FileFailure::unsupported;
        default:
            return FileFailure::other;
    }
}

unsigned long replace_file(const std::wstring& source, const std::wstring& target) noexcept {
    if (std::rename(narrow(source).c_str(), narrow(target).c_str()) == 0) {
        return 0;
    }
    return errno != 0 ? static_cast<unsigned long>(errno) : static_cast<unsigned long>(EIO);
}

bool delete_file(const std::wstring& path) noexcept {
    return ::unlink(narrow(path).c_str()) == 0;
}

void sleep_ms(unsigned milliseconds) noexcept {
    timespec pause{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

}  // namespace kelvane::platform
