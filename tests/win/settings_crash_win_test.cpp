// The settings save survives being killed at any moment: a child process saves in a loop and is
// killed at random times; afterwards the file is always one of the two complete texts, and a
// leftover temporary file never disturbs the next load or save.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "settings/settings.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane {
namespace {

constexpr int kill_count = 240;

std::wstring save_loop_path() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"kelvane_save_loop.exe";
}

Settings first_record() {
    Settings settings;
    settings.monitor = L"\\\\.\\DISPLAY1";
    settings.warp.keystone_tb = 0.25f;
    return settings;
}

Settings second_record() {
    Settings settings;
    settings.monitor = L"\\\\.\\DISPLAY2 with a longer name, so that the two texts differ in length";
    settings.active = false;
    settings.warp.mirror_v = true;
    settings.warp.rotation = -12.5f;
    return settings;
}

TEST(SettingsCrash, KilledSavesLeaveOneCompleteFile) {
    test::TempFolder folder;
    const std::wstring path = folder.file("settings.ini");
    const std::string first = format_settings_text(first_record());
    const std::string second = format_settings_text(second_record());
    ASSERT_NE(first.size(), second.size());
    ASSERT_TRUE(save_settings_to(path, first_record()));

    const HANDLE started = CreateEventW(nullptr, TRUE, FALSE, L"Kelvane2SaveLoopStarted");
    ASSERT_NE(started, nullptr);
    std::mt19937 random(20261208u);
    std::uniform_int_distribution<int> delay_ms(0, 40);
    int killed_mid_save = 0;
    int seen_first = 0;
    int seen_second = 0;
    std::string outcomes;
    for (int kill = 0; kill < kill_count; ++kill) {
        ResetEvent(started);
        std::wstring command = L"\"" + save_loop_path() + L"\" \"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(
            CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            << GetLastError();
        // Kill it at a random moment after its saving began.
        WaitForSingleObject(started, 10000);
        Sleep(static_cast<DWORD>(delay_ms(random)));
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);

        const std::string text = test::read_file_bytes(folder.path() / "settings.ini");
        ASSERT_TRUE(text == first || text == second) << "kill " << kill << " left " << text.size() << " bytes:\n"
                                                     << text;
        (text == first ? seen_first : seen_second) += 1;
        const bool leftover = std::filesystem::exists(folder.path() / "settings.ini.tmp");
        if (leftover) {
            ++killed_mid_save;
        }
        outcomes += text == first ? (leftover ? 'f' : 'F') : (leftover ? 's' : 'S');

        // Whatever the kill left behind, loading takes the complete file.
        Settings loaded;
        {
            const test::LogCapture log;
            load_settings_from(path, loaded);
        }
        const Settings expected = text == first ? first_record() : second_record();
        EXPECT_EQ(loaded.monitor, expected.monitor);
        EXPECT_EQ(loaded.active, expected.active);
        EXPECT_EQ(loaded.warp.rotation, expected.warp.rotation);
    }
    CloseHandle(started);
    std::printf("  outcomes (F/S: first/second text, lower case: a temporary file was left): %s\n", outcomes.c_str());
    std::printf("  %d kills: %d left the first text, %d the second, %d left a temporary file behind\n", kill_count,
                seen_first, seen_second, killed_mid_save);
    // The kills really landed at different points of the save.
    EXPECT_GT(seen_first, 0);
    EXPECT_GT(seen_second, 0);
    // And a save after all that still works, leftover temporary file or not.
    const test::LogCapture log;
    EXPECT_TRUE(save_settings_to(path, second_record()));
    EXPECT_EQ(test::read_file_bytes(folder.path() / "settings.ini"), second);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "settings.ini.tmp"));
}

}  // namespace
}  // namespace kelvane
