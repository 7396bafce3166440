// The persistent settings record and its key=value text file, settings.ini in the data folder.
// The file is read once at start and rewritten in full, through a temporary file and one rename,
// after every change.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "settings/hotkey.h"
#include "settings/source_region.h"
#include "settings/warp_params.h"

namespace kelvane {

struct Settings {
    std::wstring monitor;  // device name of the mirrored monitor; empty: the topmost screen
    // Its device interface path, which stays when Windows gives the monitor another device name (after
    // sleep, docking, a driver update); empty where unknown. It is matched before `monitor`.
    std::wstring monitor_id;
    // The monitor whose picture is shown, by device name and device interface path as above; both
    // empty: the mirrored monitor itself.
    std::wstring source_monitor;
    std::wstring source_monitor_id;
    // "X,Y,W,H" in the source monitor's pixels; empty: all of it. Kept as the file has it: whether it
    // fits is known only on the monitor, which may be in another mode today than when it was chosen.
    std::string source_region;
    FitMode fit = FitMode::contain;
    bool active = true;
    WarpParams warp;  // keystones -1 ... +1, rotation in degrees -180 ... +180
    Hotkey hotkey;    // switches the mirror on and off

    friend bool operator==(const Settings& a, const Settings& b) {
        return a.monitor == b.monitor && a.monitor_id == b.monitor_id && a.source_monitor == b.source_monitor &&
               a.source_monitor_id == b.source_monitor_id && a.source_region == b.source_region && a.fit == b.fit &&
               a.active == b.active && a.warp == b.warp && a.hotkey == b.hotkey;
    }
    friend bool operator!=(const Settings& a, const Settings& b) { return !(a == b); }
};

inline constexpr float keystone_limit = 1.0f;
inline constexpr float rotation_limit = 180.0f;

// Undoes the keystone and rotation correction. The mirror flags are orientation, not correction:
// they stay.
void reset_warp_correction(Settings& settings) noexcept;

// data folder + "settings.ini", or empty when there is no data folder.
[[nodiscard]] std::wstring settings_path();

// The file services the settings store uses: the system's by default; tests override single ones to
// make them fail as a virus scanner, a backup or an odd file system would.
class SettingsFiles {
public:
    SettingsFiles() = default;
    virtual ~SettingsFiles() = default;
    SettingsFiles(const SettingsFiles&) = delete;
    SettingsFiles& operator=(const SettingsFiles&) = delete;

    // Null on failure, with the system's error code in `error`.
    [[nodiscard]] virtual std::FILE* open_for_reading(const std::wstring& path, unsigned long& error);
    // 0 or the system's error code.
    [[nodiscard]] virtual unsigned long flush_to_disk(std::FILE* file);
    [[nodiscard]] virtual unsigned long replace(const std::wstring& source, const std::wstring& target);
    virtual void pause(unsigned milliseconds);
};
[[nodiscard]] SettingsFiles& system_settings_files();

// A file that another program holds is tried again for about a second before it counts as unreadable.
inline constexpr int settings_open_attempts = 11;
inline constexpr unsigned settings_open_pause_ms = 100;
// A replace refused because another program has the file open briefly is tried again.
inline constexpr int settings_replace_attempts = 10;
inline constexpr unsigned settings_replace_pause_ms = 50;
// No settings file this program wrote comes near this size.
inline constexpr std::size_t settings_file_limit = std::size_t{64} * 1024;

// Reads the settings file over `settings`, changing only what the file sets acceptably. A file that
// is there but cannot be read (held by another program, refused, too large) leaves `settings` alone
// and is never saved over for the rest of the run: the user's values in it must survive. False then.
bool load_settings(Settings& settings);
// Writes the whole file atomically. True when the file has been replaced.
bool save_settings(const Settings& settings);

// The same against an explicit path (empty: no file).
bool load_settings_from(const std::wstring& path, Settings& settings, SettingsFiles& files = system_settings_files());
bool save_settings_to(const std::wstring& path, const Settings& settings,
                      SettingsFiles& files = system_settings_files());

// Applies the text of a settings file to `settings`.
void apply_settings_text(std::string_view text, Settings& settings);
// The complete file text, CR LF line ends.
[[nodiscard]] std::string format_settings_text(const Settings& settings);

// Reads a number from the start of `value` by the file's number rule. False when none can be read
// (including "nan", overflow and underflow to zero); `out` is then untouched.
[[nodiscard]] bool parse_settings_number(std::string_view value, float& out);
// "%g" with six significant digits of the value widened to double.
[[nodiscard]] std::string format_settings_number(float value);

}  // namespace kelvane
