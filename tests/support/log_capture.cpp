#include "support/log_capture.h"

#include <stdexcept>

#include "platform/log.h"

namespace kelvane::test {

namespace {
constexpr std::size_t stamp_length = 15;  // "[hh:mm:ss.mmm] "
}

LogCapture::LogCapture() : path_(folder_.file("Kelvane2.log")) {
    if (!open_log_file(path_, LogOpenMode::truncate)) {
        throw std::runtime_error("cannot open the test log file");
    }
}

LogCapture::~LogCapture() {
    close_log();
}

std::vector<std::string> LogCapture::messages() const {
    std::vector<std::string> result;
    for (const std::string& line : split_crlf_lines(read_file_bytes(std::filesystem::path(path_)))) {
        result.push_back(line.size() >= stamp_length ? line.substr(stamp_length) : line);
    }
    return result;
}

std::string LogCapture::text() const {
    std::string joined;
    for (const std::string& message : messages()) {
        joined += message;
        joined += '\n';
    }
    return joined;
}

std::vector<std::string> split_crlf_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace kelvane::test
