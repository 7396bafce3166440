// The folder protocol between a test and the duplication hook library, the library's placement, and
// reading the screen.
#include "duplication/script_files_win32.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kelvane::test {
namespace {

constexpr wchar_t script_name[] = L"\\script.txt";
constexpr wchar_t counts_name[] = L"\\counts.txt";
constexpr char hook_library[] = "duplication_hook.dll";
constexpr char hook_procedure[] = "duplication_hook";
constexpr int read_attempts = 20;
constexpr DWORD read_retry_ms = 10;

std::string read_bytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Written under another name and renamed, so that a reader never sees half a file.
void write_whole(const std::wstring& path, const std::string& bytes) {
    const std::wstring partial = path + L".part";
    {
        std::ofstream out(partial.c_str(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // A reader holding the file open makes the replace fail for a moment: try again, so that no update
    // (the last one at exit above all) is lost.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE) {
            return;
        }
        Sleep(2);
    }
}

template <typename T>
void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
bool take(const std::string& in, std::size_t& at, T& value) {
    if (in.size() - at < sizeof value || at > in.size()) {
        return false;
    }
    std::memcpy(&value, in.data() + at, sizeof value);
    at += sizeof value;
    return true;
}

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

void apply_line(const std::wstring& folder, const std::string& line, DuplicationScript& script) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "desktop") {
        std::string name;
        words >> name;
        const std::string bytes = read_bytes(folder + L"\\" + widen(name));
        std::size_t at = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
        if (!take(bytes, at, width) || !take(bytes, at, height) || width <= 0 || height <= 0) {
            return;
        }
        const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        if (bytes.size() - at == count * 4u) {
            std::vector<std::uint32_t> pixels(count);
            std::memcpy(pixels.data(), bytes.data() + at, bytes.size() - at);
            script.set_desktop(width, height, std::move(pixels));
        } else if (bytes.size() - at == count * 8u) {  // four half floats a pixel: an HDR desktop
            std::vector<std::uint16_t> halves(count * 4u);
            std::memcpy(halves.data(), bytes.data() + at, bytes.size() - at);
            script.set_desktop_fp16(width, height, std::move(halves));
        }
    } else if (verb == "pointer") {
        int x = 0;
        int y = 0;
        int visible = 0;
        words >> x >> y >> visible;
        script.move_pointer(x, y, visible != 0);
    } else if (verb == "shape") {
        std::string name;
        words >> name;
        const std::string bytes = read_bytes(folder + L"\\" + widen(name));
        ScriptedShape shape;
        std::size_t at = 0;
        if (take(bytes, at, shape.type) && take(bytes, at, shape.width) && take(bytes, at, shape.height) &&
            take(bytes, at, shape.pitch) && take(bytes, at, shape.hotspot.x) && take(bytes, at, shape.hotspot.y)) {
            shape.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
            script.set_shape(std::move(shape));
        }
    } else if (verb == "rotation") {
        int rotation = 0;
        words >> rotation;
        script.set_rotation(static_cast<DXGI_MODE_ROTATION>(rotation));
    } else if (verb == "hdr") {
        int hdr = 0;
        words >> hdr;
        script.set_hdr(hdr != 0);
    } else if (verb == "echo") {
        int echo = 0;
        words >> echo;
        script.set_echo(echo != 0);
    } else if (verb == "cpu") {
        script.read_cpu_time();
    } else if (verb == "partial") {
        RECT area{};
        words >> area.left >> area.top >> area.right >> area.bottom;
        script.set_partial(area);
    } else if (verb == "lose_access") {
        script.lose_access();
    } else if (verb == "fail_duplicate_output") {
        unsigned long hr = 0;
        int count = 0;
        words >> std::hex >> hr >> std::dec >> count;
        script.fail_duplicate_output(static_cast<HRESULT>(hr), count);
    }
}

}  // namespace

ScriptWriter::ScriptWriter(std::wstring folder) : folder_(std::move(folder)) {
    CreateDirectoryW(folder_.c_str(), nullptr);
    DeleteFileW((folder_ + script_name).c_str());
    DeleteFileW((folder_ + counts_name).c_str());
}

void ScriptWriter::append(const std::string& line) {
    // One write of a whole line: the reader takes only lines that end.
    std::ofstream out((folder_ + script_name).c_str(), std::ios::binary | std::ios::app);
    out << line << '\n';
}

void ScriptWriter::set_desktop(const Image& desktop) {
    std::string bytes;
    put(bytes, static_cast<std::int32_t>(desktop.width));
    put(bytes, static_cast<std::int32_t>(desktop.height));
    bytes.append(reinterpret_cast<const char*>(desktop.pixels.data()), desktop.pixels.size() * 4u);
    const std::string name = "desktop" + std::to_string(++files_) + ".bin";
    write_whole(folder_ + L"\\" + widen(name), bytes);
    append("desktop " + name);
}

void ScriptWriter::set_desktop_fp16(int width, int height, const std::vector<std::uint16_t>& halves) {
    std::string bytes;
    put(bytes, static_cast<std::int32_t>(width));
    put(bytes, static_cast<std::int32_t>(height));
    bytes.append(reinterpret_cast<const char*>(halves.data()), halves.size() * 2u);
    const std::string name = "desktop" + std::to_string(++files_) + ".bin";
    write_whole(folder_ + L"\\" + widen(name), bytes);
    append("desktop " + name);
}

void ScriptWriter::set_hdr(bool hdr) {
    append(hdr ? "hdr 1" : "hdr 0");
}

void ScriptWriter::move_pointer(int x, int y, bool visible) {
    append("pointer " + std::to_string(x) + " " + std::to_string(y) + (visible ? " 1" : " 0"));
}

void ScriptWriter::set_shape(const ScriptedShape& shape) {
    std::string bytes;
    put(bytes, shape.type);
    put(bytes, shape.width);
    put(bytes, shape.height);
    put(bytes, shape.pitch);
    put(bytes, shape.hotspot.x);
    put(bytes, shape.hotspot.y);
    bytes.append(reinterpret_cast<const char*>(shape.bytes.data()), shape.bytes.size());
    const std::string name = "shape" + std::to_string(++files_) + ".bin";
    write_whole(folder_ + L"\\" + widen(name), bytes);
    append("shape " + name);
}

void ScriptWriter::set_rotation(DXGI_MODE_ROTATION rotation) {
    append("rotation " + std::to_string(static_cast<int>(rotation)));
}

void ScriptWriter::set_echo(bool echo) {
    append(echo ? "echo 1" : "echo 0");
}

void ScriptWriter::set_partial(const RECT& area) {
    append("partial " + std::to_string(area.left) + " " + std::to_string(area.top) + " " + std::to_string(area.right) +
           " " + std::to_string(area.bottom));
}

void ScriptWriter::read_cpu_time() {
    append("cpu");
}

void ScriptWriter::lose_access() {
    append("lose_access");
}

void ScriptWriter::fail_duplicate_output(HRESULT hr, int count) {
    char line[64];
    std::snprintf(line, sizeof line, "fail_duplicate_output %08lx %d", static_cast<unsigned long>(hr), count);
    append(line);
}

bool ScriptWriter::read_counts(DuplicationCounts& counts) const {
    // The library replaces the file by a rename, which a reader can meet half done (under Wine the
    // name is briefly gone): a few quick tries before saying there is nothing.
    for (int attempt = 0; attempt < read_attempts; ++attempt) {
        if (read_counts_once(counts)) {
            return true;
        }
        Sleep(read_retry_ms);
    }
    return false;
}

bool ScriptWriter::read_counts_once(DuplicationCounts& counts) const {
    std::istringstream in(read_bytes(folder_ + counts_name));
    std::string key;
    long value = 0;
    int seen = 0;
    while (in >> key >> value) {
        long* field = key == "created"        ? &counts.created
                      : key == "refused"      ? &counts.refused
                      : key == "live"         ? &counts.live
                      : key == "acquisitions" ? &counts.acquisitions
                      : key == "releases"     ? &counts.releases
                      : key == "timeouts"     ? &counts.timeouts
                      : key == "misuse"       ? &counts.misuse
                      : key == "shape_reads"  ? &counts.shape_reads
                      : key == "presents"     ? &counts.presents
                      : key == "cpu_ms"       ? &counts.cpu_ms
                      : key == "cpu_readings" ? &counts.cpu_readings
                                              : nullptr;
        if (field != nullptr) {
            *field = value;
            ++seen;
        }
    }
    return seen == 11;  // every count, so that a file still being written is not taken
}

std::size_t apply_script_lines(const std::wstring& folder, DuplicationScript& script, std::size_t applied) {
    const std::string text = read_bytes(folder + script_name);
    std::size_t line_start = 0;
    std::size_t index = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', line_start)) {
        if (index++ >= applied) {
            apply_line(folder, text.substr(line_start, end - line_start), script);
            ++applied;
        }
        line_start = end + 1;
    }
    return applied;
}

void write_counts(const std::wstring& folder, const DuplicationCounts& counts) {
    std::ostringstream out;
    out << "created " << counts.created << "\nrefused " << counts.refused << "\nlive " << counts.live
        << "\nacquisitions " << counts.acquisitions << "\nreleases " << counts.releases << "\ntimeouts "
        << counts.timeouts << "\nmisuse " << counts.misuse << "\nshape_reads " << counts.shape_reads << "\npresents "
        << counts.presents << "\ncpu_ms " << counts.cpu_ms << "\ncpu_readings " << counts.cpu_readings << "\n";
    write_whole(folder + counts_name, out.str());
}

bool install_duplication_hook(HWND window, const ScriptWriter& writer, DWORD limit_ms) {
    const HMODULE library = LoadLibraryA(hook_library);
    const auto procedure =
        library != nullptr
            ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(library, hook_procedure)))
            : nullptr;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    const HHOOK hook =
        procedure != nullptr && thread != 0 ? SetWindowsHookExW(WH_GETMESSAGE, procedure, library, thread) : nullptr;
    if (hook == nullptr) {
        return false;
    }
    // The library pins itself in the program at its first call, so the hook can go once it reported.
    DuplicationCounts counts;
    bool reported = false;
    const ULONGLONG deadline = GetTickCount64() + limit_ms;
    while (!(reported = writer.read_counts(counts)) && GetTickCount64() < deadline) {
        PostMessageW(window, WM_NULL, 0, 0);
        Sleep(50);
    }
    UnhookWindowsHookEx(hook);
    return reported;
}

Image read_screen(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    Image image(width, height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && bits != nullptr) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        std::memcpy(image.pixels.data(), bits, image.pixels.size() * 4u);
        SelectObject(memory, old);
        for (std::uint32_t& word : image.pixels) {
            word |= 0xFF000000u;
        }
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

ScriptedShape test_arrow_shape() {
    constexpr UINT side = 32;
    ScriptedShape shape;
    shape.type = DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR;
    shape.width = side;
    shape.height = side;
    shape.pitch = side * 4 + 16;  // a pitch wider than a row, as drivers hand out
    shape.hotspot = POINT{1, 1};
    shape.bytes.assign(static_cast<std::size_t>(shape.pitch) * side, 0);
    for (UINT y = 0; y < side; ++y) {
        for (UINT x = 0; x < side; ++x) {
            // A right triangle below the diagonal, 24 pixels high, with a two-pixel white edge.
            std::uint32_t word = 0;
            if (x <= y && y < 24) {
                word = (x < 2 || x + 2 > y || y >= 22) ? 0xFFFFFFFFu : 0xFFD020C0u;
            }
            std::memcpy(shape.bytes.data() + static_cast<std::size_t>(y) * shape.pitch + x * 4u, &word, 4);
        }
    }
    return shape;
}

Image colour_shape_image(const ScriptedShape& shape) {
    Image image(static_cast<int>(shape.width), static_cast<int>(shape.height));
    for (UINT y = 0; y < shape.height; ++y) {
        std::memcpy(&image.at(0, static_cast<int>(y)), shape.bytes.data() + static_cast<std::size_t>(y) * shape.pitch,
                    static_cast<std::size_t>(shape.width) * 4u);
    }
    return image;
}

Image panel_frame(const Image& desktop, DXGI_MODE_ROTATION rotation) {
    const int w = desktop.width;
    const int h = desktop.height;
    const bool sideways = rotation == DXGI_MODE_ROTATION_ROTATE90 || rotation == DXGI_MODE_ROTATION_ROTATE270;
    Image frame(sideways ? h : w, sideways ? w : h);
    for (int fy = 0; fy < frame.height; ++fy) {
        for (int fx = 0; fx < frame.width; ++fx) {
            switch (rotation) {
                case DXGI_MODE_ROTATION_ROTATE90:
                    frame.at(fx, fy) = desktop.at(w - 1 - fy, fx);
                    break;
                case DXGI_MODE_ROTATION_ROTATE180:
                    frame.at(fx, fy) = desktop.at(w - 1 - fx, h - 1 - fy);
                    break;
                case DXGI_MODE_ROTATION_ROTATE270:
                    frame.at(fx, fy) = desktop.at(fy, h - 1 - fx);
                    break;
                default:
                    frame.at(fx, fy) = desktop.at(fx, fy);
                    break;
            }
        }
    }
    return frame;
}

Image mirror_reference(const Image& desktop, const WarpParams& warp, const Image* cursor, POINT hotspot, POINT pointer,
                       const SourceFit& fit, SIZE output) {
    const bool sized = output.cx > 0 && output.cy > 0;
    const int width = sized ? static_cast<int>(output.cx) : desktop.width;
    const int height = sized ? static_cast<int>(output.cy) : desktop.height;
    const WarpState state = compute_warp(warp, width, height, output_rotation_identity, fit);
    Image image = reference_warp_pass(desktop, state.warp_cb, width, height);
    if (cursor != nullptr) {
        reference_cursor_pass(image, *cursor, state.cursor_forward, pointer.x - hotspot.x, pointer.y - hotspot.y);
    }
    return image;
}

double wait_for_screen(const RECT& area, const Image& expected, int tolerance, double share, DWORD limit_ms) {
    const ULONGLONG deadline = GetTickCount64() + limit_ms;
    double seen = 0.0;
    for (;;) {
        seen = compare_images(read_screen(area), expected, tolerance).within_tolerance;
        if (seen >= share || GetTickCount64() >= deadline) {
            return seen;
        }
        Sleep(100);
    }
}

}  // namespace kelvane::test
