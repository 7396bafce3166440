// The settings file against a file system that fails the way real machines do: a file held by a
// virus scanner or a backup while it is read or replaced, a file too large to be ours, a file system
// that cannot flush. Whatever happens, the user's file is never replaced blind.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane {
namespace {

#ifdef _WIN32
constexpr unsigned long busy_error = 32;        // ERROR_SHARING_VIOLATION
constexpr unsigned long unsupported_error = 1;  // ERROR_INVALID_FUNCTION
constexpr unsigned long other_error = 3;        // ERROR_PATH_NOT_FOUND: a redirected folder not there yet
#else
constexpr unsigned long busy_error = EBUSY;
constexpr unsigned long unsupported_error = EINVAL;
constexpr unsigned long other_error = EIO;
#endif

const std::string user_file = "# Kelvane2 settings\r\nkeystone_tb=0.25\r\nrotation=7\r\n";

// The system's file services, of which the first `open_failures` opens and `replace_failures`
// replaces fail with the given codes; pauses are counted, not slept.
class FlakyFiles : public SettingsFiles {
public:
    std::FILE* open_for_reading(const std::wstring& path, unsigned long& error) override {
        if (open_failures > 0) {
            --open_failures;
            error = open_error;
            return nullptr;
        }
        return SettingsFiles::open_for_reading(path, error);
    }
    unsigned long flush_to_disk(std::FILE* file) override {
        const unsigned long real = SettingsFiles::flush_to_disk(file);
        return flush_error != 0 ? flush_error : real;
    }
    unsigned long replace(const std::wstring& source, const std::wstring& target) override {
        if (replace_failures > 0) {
            --replace_failures;
            return replace_error;
        }
        return SettingsFiles::replace(source, target);
    }
    void pause(unsigned milliseconds) override { paused_ms += milliseconds; }

    int open_failures = 0;
    unsigned long open_error = busy_error;
    int replace_failures = 0;
    unsigned long replace_error = busy_error;
    unsigned long flush_error = 0;
    unsigned paused_ms = 0;
};

class SettingsOnABusyDisk : public testing::Test {
protected:
    std::wstring path() const { return folder_.file("settings.ini"); }
    std::string bytes() const { return test::read_file_bytes(path()); }
    bool temp_exists() const { return std::filesystem::exists(folder_.path() / "settings.ini.tmp"); }
    test::TempFolder folder_;
};

TEST_F(SettingsOnABusyDisk, OpenIsTriedForAboutASecondThenTheFileIsKeptForTheRun) {
    struct Case {
        int failures;
        unsigned long error;
        bool read;
    };
    const Case cases[] = {
        {3, busy_error, true},                           // a scanner lets go after 300 ms
        {settings_open_attempts - 1, busy_error, true},  // the last attempt still counts
        {settings_open_attempts, busy_error, false},     // held for the whole run
        {1000, other_error, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failures);
        test::write_file_bytes(path(), user_file);
        FlakyFiles files;
        files.open_failures = c.failures;
        files.open_error = c.error;
        Settings settings;
        const test::LogCapture log;
        load_settings_from(path(), settings, files);
        EXPECT_EQ(settings.warp.rotation, c.read ? 7.0f : 0.0f);
        EXPECT_LE(files.paused_ms, 1000u);
        EXPECT_GE(files.paused_ms, c.read ? 0u : 900u);

        // Every later save (a toggle, the menu, the Adjust window, Exit) leaves an unread file alone.
        settings.active = false;
        settings.warp.mirror_v = true;
        EXPECT_EQ(save_settings_to(path(), settings, files), c.read);
        EXPECT_EQ(save_settings_to(path(), settings, files), c.read);
        if (c.read) {
            EXPECT_EQ(bytes(), format_settings_text(settings));
        } else {
            EXPECT_EQ(bytes(), user_file);
            EXPECT_EQ(log.messages(),
                      std::vector<std::string>{"settings: cannot read the file (err=" + std::to_string(c.error) +
                                               "); using defaults, not saving over it this run"});
        }
        EXPECT_FALSE(temp_exists());
    }
}

TEST_F(SettingsOnABusyDisk, MissingFileIsAFirstRunAtOnceAndIsSaved) {
    FlakyFiles files;
    Settings settings;
    const test::LogCapture log;
    load_settings_from(path(), settings, files);
    EXPECT_EQ(files.paused_ms, 0u);
    EXPECT_EQ(log.text(), "settings: no file yet (first run), using defaults\n");
    EXPECT_TRUE(save_settings_to(path(), settings, files));
}

TEST_F(SettingsOnABusyDisk, FilesLargerThan64KiBAreRefusedAndKept) {
    for (const std::size_t size : {settings_file_limit, settings_file_limit + 1, std::size_t{65 * 1024}}) {
        SCOPED_TRACE(size);
        std::string text = user_file;
        text.resize(size, '#');
        test::write_file_bytes(path(), text);
        Settings settings;
        const test::LogCapture log;
        load_settings_from(path(), settings);
        const bool accepted = size <= settings_file_limit;
        EXPECT_EQ(settings.warp.rotation, accepted ? 7.0f : 0.0f);
        EXPECT_EQ(save_settings_to(path(), Settings{}), accepted);
        EXPECT_EQ(bytes() == text, !accepted);
        if (!accepted) {
            EXPECT_EQ(log.messages().back(),
                      "settings: file larger than 64 KiB; using defaults, not saving over it this run");
        }
    }
}

TEST_F(SettingsOnABusyDisk, ReplaceWaitsForABriefHolderAndGivesUpOnALongOne) {
    struct Case {
        int failures;
        unsigned long error;
        bool saved;
        unsigned paused_ms;
    };
    const Case cases[] = {
        {4, busy_error, true, 4 * settings_replace_pause_ms},  // held for 200 ms
        {settings_replace_attempts - 1, busy_error, true, (settings_replace_attempts - 1) * settings_replace_pause_ms},
        {settings_replace_attempts, busy_error, false, (settings_replace_attempts - 1) * settings_replace_pause_ms},
        {1, other_error, false, 0},  // not a holder: no point in waiting
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failures);
        test::write_file_bytes(path(), user_file);
        FlakyFiles files;
        files.replace_failures = c.failures;
        files.replace_error = c.error;
        Settings settings;
        settings.warp.rotation = -3.0f;
        const test::LogCapture log;
        EXPECT_EQ(save_settings_to(path(), settings, files), c.saved);
        EXPECT_EQ(files.paused_ms, c.paused_ms);
        EXPECT_EQ(bytes(), c.saved ? format_settings_text(settings) : user_file);
        EXPECT_EQ(log.text(), c.saved ? "" : "settings: atomic rename failed, err=" + std::to_string(c.error) + "\n");
        EXPECT_FALSE(temp_exists());
    }
}

TEST_F(SettingsOnABusyDisk, AFlushTheFileSystemCannotDoDoesNotFailTheSave) {
    for (const unsigned long error : {unsupported_error, other_error}) {
        SCOPED_TRACE(error);
        test::write_file_bytes(path(), user_file);
        FlakyFiles files;
        files.flush_error = error;
        const test::LogCapture log;
        const bool saved = save_settings_to(path(), Settings{}, files);
        EXPECT_EQ(saved, error == unsupported_error);
        EXPECT_EQ(bytes(), saved ? format_settings_text(Settings{}) : user_file);
        EXPECT_EQ(log.text(), saved ? "" : "settings: write to temp file failed\n");
    }
}

}  // namespace
}  // namespace kelvane
