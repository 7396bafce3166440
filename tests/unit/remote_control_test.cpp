// The hotkey's text form, the --send arguments, the received payload's check and the start-up entry.
#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/start_with_windows.h"
#include "settings/hotkey.h"
#include "ui/remote_command.h"

namespace kelvane {
namespace {

TEST(HotkeyText, EveryNamedKeyWithEveryModifierSetReadsBack) {
    int named = 0;
    for (unsigned key = 0; key < 0x100; ++key) {
        const std::string name = hotkey_key_name(key);
        named += name.empty() ? 0 : 1;
        for (unsigned modifiers = 0; modifiers <= hotkey_modifier::all; ++modifiers) {
            const Hotkey hotkey{modifiers, key};
            const std::string text = format_hotkey(hotkey);
            SCOPED_TRACE(text + " " + std::to_string(key) + "/" + std::to_string(modifiers));
            EXPECT_EQ(text.empty(), !hotkey_is_usable(hotkey));
            EXPECT_EQ(parse_hotkey(text), text.empty() ? std::nullopt : std::optional<Hotkey>(hotkey));
            if (!text.empty()) {
                // The key's own name is always last; the rest are the modifiers that are set.
                EXPECT_EQ(text.substr(text.size() - name.size()), name);
                EXPECT_EQ(text.find("Shift+") != std::string::npos, (modifiers & hotkey_modifier::shift) != 0);
            }
        }
    }
    EXPECT_GE(named, 26 + 10 + 24 + 10);  // letters, digits, F1-F24, keypad digits and more
}

TEST(HotkeyText, WrittenFormsAndBadValues) {
    const struct {
        const char* text;
        const char* read_as;  // formatted back; empty: refused
    } cases[] = {
        {"Ctrl+Alt+M", "Ctrl+Alt+M"},
        {"Ctrl+Shift+F9", "Ctrl+Shift+F9"},
        {"Win+Alt+P", "Win+Alt+P"},
        {"alt+CTRL+m", "Ctrl+Alt+M"},
        {" Shift + Win + pageup ", "Win+Shift+PageUp"},
        {"F24", "F24"},
        {"Shift+F1", "Shift+F1"},
        {"", ""},
        {"M", ""},
        {"Shift+M", ""},
        {"Ctrl+Alt", ""},
        {"Ctrl+", ""},
        {"+M", ""},
        {"Ctrl+Ctrl+M", ""},
        {"Ctrl+Alt+M+K", ""},
        {"Ctrl+Alt+F25", ""},
        {"Ctrl+Alt+MM", ""},
        {"Ctrl+Alt+\xC2\xB5", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<Hotkey> read = parse_hotkey(c.text);
        EXPECT_EQ(read ? format_hotkey(*read) : std::string(), c.read_as);
    }
    EXPECT_EQ(parse_hotkey(std::string_view("Ctrl+M\0", 7)), std::nullopt);
    EXPECT_EQ(parse_hotkey(std::string(196, ' ') + "Ctrl+Alt+M"), std::nullopt);  // 200 characters
    EXPECT_EQ(format_hotkey(Hotkey{hotkey_modifier::control, 0xFF}), "");
    EXPECT_EQ(format_hotkey(Hotkey{0x10 | hotkey_modifier::control, 'M'}), "");
}

TEST(RemoteCommand, SendArgumentsAndReceivedPayloads) {
    const char* const names[] = {"toggle", "on", "off", "mirror-h", "mirror-v", "reset-warp", "adjust", "exit"};
    for (const char* name : names) {
        const std::optional<RemoteCommand> command = remote_command_from_name(name);
        ASSERT_TRUE(command) << name;
        EXPECT_STREQ(remote_command_name(*command), name);
        const std::string bytes(name);
        EXPECT_EQ(decode_remote_payload(bytes.c_str(), bytes.size() + 1), command) << "terminated " << name;
        EXPECT_EQ(decode_remote_payload(bytes.data(), bytes.size()), command) << "unterminated " << name;
        EXPECT_EQ(decode_remote_payload(bytes.data(), bytes.size() - 1), std::nullopt) << "cut " << name;
        // A NUL anywhere inside, or after the name but followed by more: the name read up to the first
        // NUL would be a command, the payload is not. A name with a NUL in it is no name either.
        EXPECT_EQ(remote_command_from_name(std::string_view(bytes.c_str(), bytes.size() + 1)), std::nullopt) << name;
        for (std::size_t at = 1; at <= bytes.size(); ++at) {
            std::string payload = bytes;
            payload.insert(at, at < bytes.size() ? std::string(1, '\0') : std::string("\0x", 2));
            EXPECT_EQ(decode_remote_payload(payload.data(), payload.size()), std::nullopt) << name << " NUL at " << at;
            EXPECT_EQ(remote_command_from_name(payload), std::nullopt) << name << " NUL at " << at;
        }
    }
    // Names are exact; the size alone says where the text ends.
    for (const std::string& text :
         {std::string("On"), std::string("bogus"), std::string(" on"), std::string("on "), std::string("on\0\0", 4),
          std::string("on\0x", 4), std::string("\0on", 3), std::string(), std::string(1, '\0'), std::string(64, 'a'),
          std::string("exit") + std::string(61, '\0')}) {
        EXPECT_EQ(decode_remote_payload(text.data(), text.size()), std::nullopt) << text;
    }
    EXPECT_EQ(decode_remote_payload(nullptr, 3), std::nullopt);
    const std::string padded = "toggle" + std::string(70, 'x');
    EXPECT_EQ(decode_remote_payload(padded.data(), 65), std::nullopt);  // over the limit: refused unread

    const struct {
        std::vector<std::wstring> args;
        bool send;
        const wchar_t* command;
        bool active;
    } lines[] = {
        {{L"k", L"--send", L"on"}, true, L"on", false},
        {{L"k", L"--send", L"--active"}, true, L"--active", false},
        {{L"k", L"--active", L"--send"}, true, L"", true},
        {{L"k", L"--send", L"a", L"--send", L"exit"}, true, L"exit", false},
        {{L"k", L"-m", L"--send", L"x"}, false, L"", false},
    };
    for (const auto& line : lines) {
        const CommandLineOptions options = parse_arguments(line.args);
        EXPECT_EQ(options.send, line.send);
        EXPECT_EQ(options.send_command, line.command);
        EXPECT_EQ(options.force_active, line.active);
    }
}

TEST(StartWithWindows, RunValueAndTaskManagersRecord) {
    const std::wstring exe = L"C:\\Program Files\\Kelvane2\\Kelvane2.exe";
    EXPECT_EQ(start_command(exe), L"\"C:\\Program Files\\Kelvane2\\Kelvane2.exe\"");
    const std::optional<std::wstring> ours = start_command(exe);
    const struct {
        std::optional<std::wstring> run;
        std::vector<unsigned char> record;
        bool enabled;
    } cases[] = {
        {ours, {}, true},
        {ours, {0x02, 0, 0, 0}, true},
        {ours, {0x06, 0, 0, 0}, true},
        {ours, {0x03, 0, 0, 0, 0x17, 0x79}, false},
        {ours, {0x07}, false},
        {std::wstring(L"\"c:\\program files\\kelvane2\\KELVANE2.EXE\""), {}, true},
        {std::nullopt, {0x02}, false},
        {std::wstring(L"\"D:\\old\\Kelvane2.exe\""), {}, false},
        {exe, {}, false},  // unquoted: not what this program writes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(start_entry_enabled(c.run, exe, c.record), c.enabled) << (c.run ? c.run->size() : 0);
    }
    EXPECT_FALSE(start_entry_enabled(std::wstring(L"\"\""), L"", {}));
}

}  // namespace
}  // namespace kelvane
