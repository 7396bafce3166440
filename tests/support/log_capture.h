// Points the diagnostic log at a private file for the life of the object and reads the messages
// back without their time stamps; works the same natively and under Wine.
#pragma once

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace kelvane::test {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The messages logged so far, in order.
    [[nodiscard]] std::vector<std::string> messages() const;
    // The messages, each followed by "\n".
    [[nodiscard]] std::string text() const;
    [[nodiscard]] const std::wstring& path() const noexcept { return path_; }

private:
    TempFolder folder_;
    std::wstring path_;
};

// Splits file text at CR LF.
[[nodiscard]] std::vector<std::string> split_crlf_lines(const std::string& text);

}  // namespace kelvane::test
