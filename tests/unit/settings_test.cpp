// The settings file: the number rule, the single-line table, the written text, the round trip and
// the atomic save with its failure paths.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane {
namespace {

Settings load_text(const std::string& text) {
    Settings settings;
    apply_settings_text(text, settings);
    return settings;
}

TEST(SettingsNumber, ReadsTheNumberAtTheStartOfTheValue) {
    struct Case {
        const char* text;
        float value;
    };
    const Case cases[] = {
        {"0", 0.0f},       {"0.5", 0.5f},     {"-0.25", -0.25f}, {".5", 0.5f},       {"5.", 5.0f},
        {"1e-05", 1e-05f}, {"1E2", 100.0f},   {"2.5e+1", 25.0f}, {"0.25xyz", 0.25f}, {"1e", 1.0f},
        {"1e+", 1.0f},     {"1e-x", 1.0f},    {"3.5.5", 3.5f},   {"12 34", 12.0f},   {"0x10", 0.0f},
        {"-0", -0.0f},     {"1e-40", 1e-40f}, {"0e99", 0.0f},    {"000.000", 0.0f},  {"0.333333", 0.333333f},
    };
    for (const Case& c : cases) {
        float value = 99.0f;
        ASSERT_TRUE(parse_settings_number(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(SettingsNumber, InfinitiesInAnyCase) {
    for (const char* text : {"inf", "INF", "Infinity", "infinity", "iNfInItY", "infinit", "info"}) {
        float value = 0.0f;
        ASSERT_TRUE(parse_settings_number(text, value)) << text;
        EXPECT_EQ(value, std::numeric_limits<float>::infinity()) << text;
    }
    float value = 0.0f;
    ASSERT_TRUE(parse_settings_number("-Inf", value));
    EXPECT_EQ(value, -std::numeric_limits<float>::infinity());
}

TEST(SettingsNumber, UnreadableValuesLeaveTheTargetAlone) {
    for (const char* text :
         {"",     "abc",   "+0.5",  " 0.5",     "\t1",
          ".",    "-",     "-.",    "e5",       "-e5",
          "nan",  "NaN",   "-nan",  "NAN(123)", "nanny",
          "1e50", "-1e50", "1e-50", "3.5e38",   "0.0000000000000000000000000000000000000000000000000001",
          "in",   "--1"}) {
        float value = 7.0f;
        EXPECT_FALSE(parse_settings_number(text, value)) << text;
        EXPECT_EQ(value, 7.0f) << text;
    }
}

TEST(SettingsNumber, WrittenAsPrintfG) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {
        {0.0f, "0"},
        {0.5f, "0.5"},
        {-0.25f, "-0.25"},
        {1.0f / 3.0f, "0.333333"},
        {12.5f, "12.5"},
        {-180.0f, "-180"},
        {0.00001f, "1e-05"},
        {0.1f, "0.1"},
        {180.0f, "180"},
        {-1.0f, "-1"},
        {123456789.0f, "1.23457e+08"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(format_settings_number(c.value), c.text);
    }
}

TEST(SettingsText, SingleLinesOverTheDefaults) {
    const Settings defaults;
    struct Case {
        std::string line;
        void (*expect)(const Settings&, const Settings& defaults);
    };
    const Case cases[] = {
        {"rotation=200", [](const Settings& s, const Settings&) { EXPECT_EQ(s.warp.rotation, 180.0f); }},
        {"rotation=-720", [](const Settings& s, const Settings&) { EXPECT_EQ(s.warp.rotation, -180.0f); }},
        {"rotation=-inf", [](const Settings& s, const Settings&) { EXPECT_EQ(s.warp.rotation, -180.0f); }},
        {"keystone_lr=-3", [](const Settings& s, const Settings&) { EXPECT_EQ(s.warp.keystone_lr, -1.0f); }},
        {"keystone_tb=inf", [](const Settings& s, const Settings&) { EXPECT_EQ(s.warp.keystone_tb, 1.0f); }},
        {"keystone_tb=", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"keystone_tb=abc", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"keystone_tb=+0.5", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"keystone_tb= 0.5", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"keystone_tb=nan", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"keystone_lr=NaN", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"rotation=-nan", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"keystone_tb=1e50", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"keystone_tb=0.5abc", [](const Settings& s, const Settings&) { EXPECT_EQ(s.warp.keystone_tb, 0.5f); }},
        {"keystone_tb=1e-05", [](const Settings& s, const Settings&) { EXPECT_EQ(s.warp.keystone_tb, 0.00001f); }},
        {"active=yes", [](const Settings& s, const Settings&) { EXPECT_FALSE(s.active); }},
        {"active=true", [](const Settings& s, const Settings&) { EXPECT_FALSE(s.active); }},
        {"active=", [](const Settings& s, const Settings&) { EXPECT_FALSE(s.active); }},
        {"active=01", [](const Settings& s, const Settings&) { EXPECT_FALSE(s.active); }},
        {"active= 1", [](const Settings& s, const Settings&) { EXPECT_FALSE(s.active); }},
        {"active=1", [](const Settings& s, const Settings&) { EXPECT_TRUE(s.active); }},
        {"mirror_v=1", [](const Settings& s, const Settings&) { EXPECT_TRUE(s.warp.mirror_v); }},
        {"mirror_h=0", [](const Settings& s, const Settings&) { EXPECT_FALSE(s.warp.mirror_h); }},
        {"#active=0", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"active=0 \t \t", [](const Settings& s, const Settings&) { EXPECT_FALSE(s.active); }},
        {" active=0", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"active =0", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"Active=0", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"active", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"hotkey=ctrl + shift+f9",
         [](const Settings& s, const Settings&) { EXPECT_EQ(format_hotkey(s.hotkey), "Ctrl+Shift+F9"); }},
        {"hotkey=Ctrl+Alt", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"monitor=", [](const Settings& s, const Settings&) { EXPECT_TRUE(s.monitor.empty()); }},
        {"monitor=a=b",
         [](const Settings& s, const Settings&) {
             EXPECT_EQ(s.monitor, L"a=b");
             EXPECT_TRUE(s.monitor_id.empty());  // a file from before device paths: the name alone
         }},
        {"monitor_id=\\\\?\\DISPLAY#DEL4085#5&2a1&0&UID4352#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
         [](const Settings& s, const Settings&) {
             EXPECT_EQ(s.monitor_id, L"\\\\?\\DISPLAY#DEL4085#5&2a1&0&UID4352#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}");
             EXPECT_TRUE(s.monitor.empty());
         }},
        {"monitor_id=", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"Monitor_id=x", [](const Settings& s, const Settings& d) { EXPECT_EQ(s, d); }},
        {"monitor=\\\\.\\DISPLAY2",
         [](const Settings& s, const Settings&) { EXPECT_EQ(s.monitor, L"\\\\.\\DISPLAY2"); }},
        {"monitor=\xC3\xA9\xFF",
         [](const Settings& s, const Settings&) {
             EXPECT_EQ(s.monitor, (std::wstring{static_cast<wchar_t>(0xE9), static_cast<wchar_t>(0xFFFD)}));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        for (const char* ending : {"", "\n", "\r\n"}) {
            c.expect(load_text(c.line + ending), defaults);
        }
    }
}

TEST(SettingsText, DefaultRecordIsWrittenByteForByte) {
    EXPECT_EQ(format_settings_text(Settings{}),
              "# Kelvane2 settings\r\n"
              "monitor=\r\n"
              "monitor_id=\r\n"
              "source_monitor=\r\n"
              "source_monitor_id=\r\n"
              "source_region=\r\n"
              "fit=contain\r\n"
              "active=1\r\n"
              "mirror_h=1\r\n"
              "mirror_v=0\r\n"
              "keystone_tb=0\r\n"
              "keystone_lr=0\r\n"
              "rotation=0\r\n"
              "hotkey=Ctrl+Alt+M\r\n");
}

TEST(SettingsText, ByteOrderMarkMakesTheFirstKeyUnknown) {
    const Settings settings = load_text("\xEF\xBB\xBFmonitor=X\r\nactive=0\r\n");
    EXPECT_TRUE(settings.monitor.empty());
    EXPECT_FALSE(settings.active);
    // The header line that is written first has no "=", so a mark before it costs nothing.
    EXPECT_EQ(load_text("\xEF\xBB\xBF# Kelvane2 settings\r\nmonitor=X\r\n").monitor, L"X");
}

TEST(SettingsText, OrderUnknownKeysAndRepeats) {
    const Settings settings = load_text(
        "rotation=10\nfoo=bar\nkeystone_lr=0.5\nmonitor=A\n\n   \nrotation=20\nmonitor=B\nrotation=junk\nactive=0\n");
    EXPECT_EQ(settings.warp.rotation, 20.0f);  // the last acceptable value
    EXPECT_EQ(settings.warp.keystone_lr, 0.5f);
    EXPECT_EQ(settings.monitor, L"B");
    EXPECT_FALSE(settings.active);
}

TEST(SettingsText, NulBytesAndLoneCarriageReturnsDoNotConfuseTheReader) {
    const Settings settings = load_text(std::string("active\0=0\nmirror_v=1\r\r\nrotation=5\0junk\n", 38));
    EXPECT_TRUE(settings.active);
    EXPECT_TRUE(settings.warp.mirror_v);
    EXPECT_EQ(settings.warp.rotation, 5.0f);
}

class SettingsFile : public testing::Test {
protected:
    std::wstring path() const { return folder_.file("settings.ini"); }
    std::filesystem::path temp() const { return folder_.path() / "settings.ini.tmp"; }
    test::TempFolder folder_;
};

TEST_F(SettingsFile, SaveThenLoadGivesTheSameRecord) {
    Settings saved;
    saved.monitor = std::wstring(L"\\\\.\\DISPLAY2 ") + static_cast<wchar_t>(0x20AC);
    saved.monitor_id = L"\\\\?\\DISPLAY#ABC1234#4&1&UID256#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}";
    saved.active = false;
    saved.warp.mirror_h = false;
    saved.warp.mirror_v = true;
    saved.warp.keystone_tb = 1.0f / 3.0f;
    saved.warp.keystone_lr = -0.25f;
    saved.warp.rotation = -179.5f;
    ASSERT_TRUE(save_settings_to(path(), saved));
    EXPECT_FALSE(std::filesystem::exists(temp()));

    Settings loaded;
    const test::LogCapture log;
    load_settings_from(path(), loaded);
    EXPECT_EQ(log.text(),
              "settings: loaded (monitor='\\\\.\\DISPLAY2 \xE2\x82\xAC' active=0 mirrorH=0 mirrorV=1 ktb=0.333 "
              "klr=-0.250 rot=-179.5)\n");
    Settings expected = saved;
    expected.warp.keystone_tb = 0.333333f;  // six significant digits come back
    EXPECT_EQ(loaded, expected);
    EXPECT_NE(loaded.warp.keystone_tb, saved.warp.keystone_tb);

    // What was loaded saves to the same text: a fixed point.
    ASSERT_TRUE(save_settings_to(path(), loaded));
    EXPECT_EQ(test::read_file_bytes(path()), format_settings_text(loaded));
}

TEST_F(SettingsFile, MissingFileKeepsDefaultsAndSaysFirstRun) {
    Settings settings;
    const test::LogCapture log;
    load_settings_from(path(), settings);
    EXPECT_EQ(log.text(), "settings: no file yet (first run), using defaults\n");
    EXPECT_EQ(settings, Settings{});
}

TEST_F(SettingsFile, EmptyFileLogsTheDefaults) {
    test::write_file_bytes(path(), "");
    Settings settings;
    const test::LogCapture log;
    load_settings_from(path(), settings);
    EXPECT_EQ(log.text(), "settings: loaded (monitor='' active=1 mirrorH=1 mirrorV=0 ktb=0.000 klr=0.000 rot=0.0)\n");
    EXPECT_EQ(settings, Settings{});
}

TEST_F(SettingsFile, NoPathMeansNoFileAndNoMessage) {
    Settings settings;
    settings.warp.rotation = 3.0f;
    const test::LogCapture log;
    load_settings_from(L"", settings);
    EXPECT_FALSE(save_settings_to(L"", settings));
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(settings.warp.rotation, 3.0f);
}

TEST_F(SettingsFile, LeftoverTemporaryFileDoesNotDisturbLoadOrSave) {
    test::write_file_bytes(path(), "active=0\r\n");
    test::write_file_bytes(temp(), "active=1\r\nrotation=4");
    Settings settings;
    load_settings_from(path(), settings);
    EXPECT_FALSE(settings.active);
    EXPECT_EQ(settings.warp.rotation, 0.0f);
    ASSERT_TRUE(save_settings_to(path(), settings));
    EXPECT_FALSE(std::filesystem::exists(temp()));
    EXPECT_EQ(test::read_file_bytes(path()), format_settings_text(settings));
}

TEST_F(SettingsFile, TemporaryFileThatCannotBeOpenedKeepsTheOldFile) {
    test::write_file_bytes(path(), "old\r\n");
    std::filesystem::create_directory(temp());
    const test::LogCapture log;
    EXPECT_FALSE(save_settings_to(path(), Settings{}));
    EXPECT_EQ(log.text(), "settings: failed to open temp file for write\n");
    EXPECT_EQ(test::read_file_bytes(path()), "old\r\n");
}

TEST_F(SettingsFile, FailedReplaceKeepsTheOldAndRemovesTheTemporaryFile) {
    // A folder in the file's place cannot be replaced by a file.
    std::filesystem::create_directory(folder_.path() / "settings.ini");
    test::write_file_bytes(folder_.path() / "settings.ini" / "keep", "old");
    const test::LogCapture log;
    EXPECT_FALSE(save_settings_to(path(), Settings{}));
    const std::string text = log.text();
    EXPECT_EQ(text.rfind("settings: atomic rename failed, err=", 0), 0u) << text;
    EXPECT_NE(text, "settings: atomic rename failed, err=0\n");
    EXPECT_FALSE(std::filesystem::exists(temp()));
    EXPECT_EQ(test::read_file_bytes(folder_.path() / "settings.ini" / "keep"), "old");
}

#ifdef __linux__
TEST_F(SettingsFile, WriteErrorIsReportedAndTheOldFileStays) {
    test::write_file_bytes(path(), "old\r\n");
    // Every write to /dev/full fails for lack of space.
    std::filesystem::create_symlink("/dev/full", temp());
    const test::LogCapture log;
    EXPECT_FALSE(save_settings_to(path(), Settings{}));
    EXPECT_EQ(log.text(), "settings: write to temp file failed\n");
    EXPECT_EQ(test::read_file_bytes(path()), "old\r\n");
}

TEST_F(SettingsFile, ReadErrorTakesNothingFromTheFile) {
    // Opening a folder succeeds on Linux, reading it fails.
    std::filesystem::create_directory(folder_.path() / "settings.ini");
    Settings settings;
    const test::LogCapture log;
    load_settings_from(path(), settings);
    EXPECT_EQ(log.text(), "settings: read error; using defaults, not saving over it this run\n");
    EXPECT_EQ(settings, Settings{});
}
#endif

}  // namespace
}  // namespace kelvane
