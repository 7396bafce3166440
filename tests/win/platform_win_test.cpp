// The Win32 platform layer and the files it writes: the data folder under the roaming AppData
// folder, CR LF files on disk, and the replace through MoveFileExW with its failure path.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/log.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane {
namespace {

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TEST(PlatformWin, DataFolderIsKelvaneUnderRoamingAppData) {
    // The older shell call finds the same folder by another road.
    wchar_t appdata[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appdata), S_OK);
    EXPECT_EQ(platform::roaming_app_data_folder(), appdata);
    const std::wstring folder = data_folder();
    EXPECT_EQ(folder, std::wstring(appdata) + L"\\Kelvane");
    EXPECT_TRUE(is_folder(folder));
    EXPECT_EQ(settings_path(), folder + L"\\settings.ini");
    EXPECT_EQ(log_file_path(folder), folder + L"\\Kelvane2.log");
    const std::wstring suffix = L"\\AppData\\Roaming\\Kelvane";
    ASSERT_GE(folder.size(), suffix.size());
    EXPECT_EQ(folder.substr(folder.size() - suffix.size()), suffix);
}

TEST(PlatformWin, SettingsAndLogFilesHaveCrLfOnDisk) {
    test::TempFolder folder;
    Settings settings;
    settings.monitor = L"\\\\.\\DISPLAY2";
    settings.warp.rotation = 12.5f;
    ASSERT_TRUE(save_settings_to(folder.file("settings.ini"), settings));
    EXPECT_EQ(
        test::read_file_bytes(folder.path() / "settings.ini"),
        "# Kelvane2 settings\r\nmonitor=\\\\.\\DISPLAY2\r\nmonitor_id=\r\nsource_monitor=\r\nsource_monitor_id=\r\n"
        "source_region=\r\nfit=contain\r\nactive=1\r\nmirror_h=1\r\nmirror_v=0\r\n"
        "keystone_tb=0\r\nkeystone_lr=0\r\nrotation=12.5\r\nhotkey=Ctrl+Alt+M\r\n");

    ASSERT_TRUE(open_log_file(folder.file("Kelvane2.log"), LogOpenMode::truncate));
    log_message("one");
    log_message("two");
    close_log();
    const std::string log = test::read_file_bytes(folder.path() / "Kelvane2.log");
    ASSERT_EQ(log.size(), 2u * (15 + 3 + 2));
    EXPECT_EQ(log.substr(15, 5), "one\r\n");
    EXPECT_EQ(log.substr(35, 5), "two\r\n");
}

TEST(PlatformWin, LogFileCanBeReadWhileOpen) {
    test::TempFolder folder;
    ASSERT_TRUE(open_log_file(folder.file("Kelvane2.log"), LogOpenMode::truncate));
    log_message("still open");
    // Another reader and even another writer are allowed while the log is open.
    const HANDLE reader = CreateFileW(folder.file("Kelvane2.log").c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    close_log();
}

TEST(PlatformWin, ReplaceOverwritesAnExistingFile) {
    test::TempFolder folder;
    test::write_file_bytes(folder.path() / "new", "new");
    test::write_file_bytes(folder.path() / "old", "old");
    EXPECT_EQ(platform::replace_file(folder.file("new"), folder.file("old")), 0u);
    EXPECT_EQ(test::read_file_bytes(folder.path() / "old"), "new");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "new"));
}

TEST(PlatformWin, ReplaceOfALockedFileFailsWithTheSystemCode) {
    test::TempFolder folder;
    test::write_file_bytes(folder.path() / "settings.ini", "old\r\n");
    // Open with no sharing at all, as an editor or a backup tool may hold it.
    const HANDLE lock = CreateFileW(folder.file("settings.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    test::write_file_bytes(folder.path() / "source", "new");
    const unsigned long error = platform::replace_file(folder.file("source"), folder.file("settings.ini"));
    EXPECT_NE(error, 0u);

    const test::LogCapture log;
    EXPECT_FALSE(save_settings_to(folder.file("settings.ini"), Settings{}));
    CloseHandle(lock);
    EXPECT_EQ(log.text(), "settings: atomic rename failed, err=" + std::to_string(error) + "\n");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "settings.ini.tmp"));
    EXPECT_EQ(test::read_file_bytes(folder.path() / "settings.ini"), "old\r\n");
}

// Another program holding settings.ini with no sharing, as a virus scanner or a backup does.
class HeldFile {
public:
    HeldFile(const std::wstring& path, DWORD ms)
        : lock_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)), release_([this, ms] {
              Sleep(ms);
              CloseHandle(lock_);
          }) {}
    ~HeldFile() { release_.join(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    [[nodiscard]] bool held() const { return lock_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE lock_;
    std::thread release_;
};

TEST(PlatformWin, BriefHoldersDelayButDoNotStopReadingOrSaving) {
    test::TempFolder folder;
    const std::wstring path = folder.file("settings.ini");
    test::write_file_bytes(folder.path() / "settings.ini", "rotation=7\r\n");
    Settings settings;
    {
        const HeldFile holder(path, 300);
        ASSERT_TRUE(holder.held());
        const test::LogCapture log;
        load_settings_from(path, settings);
        EXPECT_EQ(log.messages().size(), 1u);
        EXPECT_EQ(log.messages()[0].rfind("settings: loaded", 0), 0u);
    }
    EXPECT_EQ(settings.warp.rotation, 7.0f);
    settings.warp.rotation = -2.0f;
    {
        const HeldFile holder(path, 200);
        ASSERT_TRUE(holder.held());
        const test::LogCapture log;
        EXPECT_TRUE(save_settings_to(path, settings));
        EXPECT_EQ(log.text(), "");
    }
    EXPECT_EQ(test::read_file_bytes(folder.path() / "settings.ini"), format_settings_text(settings));
}

TEST(PlatformWin, ReplaceOfAFolderFails) {
    test::TempFolder folder;
    std::filesystem::create_directory(folder.path() / "settings.ini");
    const test::LogCapture log;
    EXPECT_FALSE(save_settings_to(folder.file("settings.ini"), Settings{}));
    const std::string text = log.text();
    EXPECT_EQ(text.rfind("settings: atomic rename failed, err=", 0), 0u) << text;
    EXPECT_EQ(text.find("err=0\n"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "settings.ini.tmp"));
    EXPECT_TRUE(is_folder(folder.file("settings.ini")));
}

TEST(PlatformWin, FilesAndFoldersWithNonAsciiNames) {
    test::TempFolder folder;
    const std::wstring sub = folder.path().wstring() + L"\\B\u00fchne \u20ac";
    EXPECT_TRUE(platform::create_folder(sub));
    EXPECT_TRUE(platform::create_folder(sub));  // already there is fine
    const std::wstring path = sub + L"\\settings.ini";
    Settings settings;
    settings.active = false;
    ASSERT_TRUE(save_settings_to(path, settings));
    Settings loaded;
    load_settings_from(path, loaded);
    EXPECT_FALSE(loaded.active);
    EXPECT_TRUE(platform::delete_file(path));
    EXPECT_FALSE(platform::delete_file(path));
}

}  // namespace
}  // namespace kelvane
