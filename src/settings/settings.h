// The persistent settings record and its key=value text file, settings.ini in the data folder.
// The file is read once at start and rewritten in full, through a temporary file and one rename,
// after every change.
#pragma once

#include <string>
#include <string_view>

#include "settings/warp_params.h"

namespace kelvane {

struct Settings {
    std::wstring monitor;  // device name of the mirrored monitor; empty: the topmost screen
    bool active = true;
    WarpParams warp;  // keystones -1 ... +1, rotation in degrees -180 ... +180

    friend bool operator==(const Settings& a, const Settings& b) {
        return a.monitor == b.monitor && a.active == b.active && a.warp == b.warp;
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

// Reads the settings file over `settings`, changing only what the file sets acceptably.
void load_settings(Settings& settings);
// Writes the whole file atomically. True when the file has been replaced.
bool save_settings(const Settings& settings);

// The same against an explicit path (empty: no file).
void load_settings_from(const std::wstring& path, Settings& settings);
bool save_settings_to(const std::wstring& path, const Settings& settings);

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
