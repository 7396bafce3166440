// Fuzz target: whole settings files (any bytes: invalid UTF-8, NUL bytes, huge lines, no line end)
// through the text reader and through the file loader.
//
// Invariants:
//   - a record loaded from any file holds keystones in -1..+1, rotation in -180..+180, no NaN;
//   - loading the same bytes from a file gives the same record as applying them as text;
//   - save-then-load: the saved text of the loaded record, applied over a default record, gives a
//     record whose flags and monitor are the loaded ones and whose numbers differ from the loaded ones
//     only by the six-digit rounding of the number format; from there on it is a fixed point: saving
//     it gives the same text again, and loading that text gives the same record again.
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>

#include "fuzz_check.h"
#include "platform/utf8.h"
#include "settings/settings.h"

namespace {

bool is_nan(float value) {
    return std::isnan(value);
}

void check_ranges(const kelvane::Settings& s) {
    FUZZ_CHECK(!is_nan(s.warp.keystone_tb) && !is_nan(s.warp.keystone_lr) && !is_nan(s.warp.rotation));
    FUZZ_CHECK(s.warp.keystone_tb >= -kelvane::keystone_limit && s.warp.keystone_tb <= kelvane::keystone_limit);
    FUZZ_CHECK(s.warp.keystone_lr >= -kelvane::keystone_limit && s.warp.keystone_lr <= kelvane::keystone_limit);
    FUZZ_CHECK(s.warp.rotation >= -kelvane::rotation_limit && s.warp.rotation <= kelvane::rotation_limit);
}

// "%g" keeps six significant digits (a relative error of at most 5e-6); reading the text back as a
// float adds at most half a float step: 2^-24 relative for normal values, an absolute 2^-150 below.
bool within_format_rounding(float saved, float loaded) {
    const double a = saved;
    const double b = loaded;
    return std::fabs(a - b) <= (5.0e-6 + 0x1p-23) * std::fabs(a) + 0x1p-149;
}

std::string temp_path() {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/kelvane_fuzz_settings_" + std::to_string(getpid()) + ".ini";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    kelvane::Settings loaded;
    kelvane::apply_settings_text(text, loaded);
    check_ranges(loaded);

    // The same bytes through the file loader.
    static const std::string path = temp_path();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);
    kelvane::Settings from_file;
    kelvane::load_settings_from(kelvane::utf8_to_wide(path), from_file);
    FUZZ_CHECK(from_file == loaded);

    // Save, then load over a default record.
    const std::string saved_text = kelvane::format_settings_text(loaded);
    kelvane::Settings reloaded;
    kelvane::apply_settings_text(saved_text, reloaded);
    check_ranges(reloaded);
    FUZZ_CHECK(reloaded.monitor == loaded.monitor);
    FUZZ_CHECK(reloaded.active == loaded.active);
    FUZZ_CHECK(reloaded.warp.mirror_h == loaded.warp.mirror_h);
    FUZZ_CHECK(reloaded.warp.mirror_v == loaded.warp.mirror_v);
    FUZZ_CHECK(within_format_rounding(loaded.warp.keystone_tb, reloaded.warp.keystone_tb));
    FUZZ_CHECK(within_format_rounding(loaded.warp.keystone_lr, reloaded.warp.keystone_lr));
    FUZZ_CHECK(within_format_rounding(loaded.warp.rotation, reloaded.warp.rotation));

    // The fixed point: same text, same record.
    const std::string resaved_text = kelvane::format_settings_text(reloaded);
    FUZZ_CHECK(resaved_text == saved_text);
    kelvane::Settings again;
    kelvane::apply_settings_text(resaved_text, again);
    FUZZ_CHECK(again == reloaded);
    return 0;
}
