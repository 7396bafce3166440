// Driving a scripted duplication inside another process (the real Kelvane2.exe) through a folder
// named in that process's environment: the test appends command lines to script.txt and writes the
// images they name beside it; the library inside the program applies each new whole line and writes
// counts.txt after every change of the counts. Also: placing that library in the program, and reading
// the screen for comparison with the CPU reference.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "duplication/scripted_duplication_win32.h"
#include "render/warp_geometry.h"
#include "support/cpu_reference.h"

namespace kelvane::test {

// The environment variable that names the folder, as the program sees it.
inline constexpr wchar_t scripted_duplication_variable[] = L"KELVANE_SCRIPTED_DUPLICATION";

class ScriptWriter {
public:
    explicit ScriptWriter(std::wstring folder);

    void set_desktop(const Image& desktop);
    void set_desktop_fp16(int width, int height, const std::vector<std::uint16_t>& halves);
    void set_hdr(bool hdr);
    void move_pointer(int x, int y, bool visible);
    void set_shape(const ScriptedShape& shape);
    void set_rotation(DXGI_MODE_ROTATION rotation);
    void set_echo(bool echo);
    void set_partial(const RECT& area);
    // The program's CPU time into the counts (cpu_ms), once the library has read this line.
    void read_cpu_time();
    void lose_access();
    void fail_duplicate_output(HRESULT hr, int count);

    // The counts the library wrote last; false when it has written none yet.
    [[nodiscard]] bool read_counts(DuplicationCounts& counts) const;
    [[nodiscard]] const std::wstring& folder() const noexcept { return folder_; }

private:
    void append(const std::string& line);
    [[nodiscard]] bool read_counts_once(DuplicationCounts& counts) const;
    std::wstring folder_;
    int files_ = 0;
};

// The reading side: applies the lines of script.txt past the first `applied` to `script`, returns the
// new count of applied lines. A line still being written (no end yet) waits for the next call.
std::size_t apply_script_lines(const std::wstring& folder, DuplicationScript& script, std::size_t applied);
void write_counts(const std::wstring& folder, const DuplicationCounts& counts);

// Places the duplication hook library (beside the calling executable) in the thread of `window`, and
// waits until it reports in counts.txt of `writer`'s folder. False when it did not within `limit_ms`.
[[nodiscard]] bool install_duplication_hook(HWND window, const ScriptWriter& writer, DWORD limit_ms);

// The screen's pixels in `area`, as B8G8R8A8 words with alpha 0xFF.
[[nodiscard]] Image read_screen(const RECT& area);

// A 32x32 colour arrow with a hot spot at (1, 1): opaque magenta body, white outline, transparent rest.
[[nodiscard]] ScriptedShape test_arrow_shape();
// The converted image of a colour shape (straight alpha), as the renderer receives it.
[[nodiscard]] Image colour_shape_image(const ScriptedShape& shape);

// The desktop as a turned display's duplication delivers it, in the panel's orientation: turned a
// quarter counter-clockwise for a quarter turn, half a turn, three quarters.
[[nodiscard]] Image panel_frame(const Image& desktop, DXGI_MODE_ROTATION rotation);

// What the mirror shows: `desktop` under `warp`, and over it `cursor` (unless null) for the pointer at
// `pointer` (relative to the source monitor's top-left corner) with its hot spot at `hotspot`. With a
// `fit` the desktop is that of the source monitor, laid as the fit says onto an `output` of its own
// size (the desktop's size when left 0 x 0).
[[nodiscard]] Image mirror_reference(const Image& desktop, const WarpParams& warp, const Image* cursor, POINT hotspot,
                                     POINT pointer, const SourceFit& fit = {}, SIZE output = {});
// Reads the screen in `area` until at least `share` of its pixels are within `tolerance` of `expected`
// or `limit_ms` have passed; returns the last share seen.
[[nodiscard]] double wait_for_screen(const RECT& area, const Image& expected, int tolerance, double share,
                                     DWORD limit_ms);

}  // namespace kelvane::test
