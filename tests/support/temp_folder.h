// Test helpers: a private temporary folder that is removed afterwards, and whole-file I/O.
#pragma once

#include <filesystem>
#include <string>

namespace kelvane::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    // Path of `name` inside the folder, as the wide string the product's file functions take.
    [[nodiscard]] std::wstring file(const std::string& name) const;

private:
    std::filesystem::path path_;
};

[[nodiscard]] std::string read_file_bytes(const std::filesystem::path& path);
void write_file_bytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace kelvane::test
