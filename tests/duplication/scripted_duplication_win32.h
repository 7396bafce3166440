// A scripted stand-in for DXGI Desktop Duplication, for tests: a real IDXGIOutputDuplication over the
// caller's D3D11 device that serves a desktop image and a pointer the test sets, answers as DXGI
// documents (timeouts, access lost, misuse, short shape buffers) and counts what its user did, and an
// IDXGIOutput1 that hands it out. The same objects serve the in-process tests and, through a library
// placed in the running program, the real Kelvane2.exe.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi1_6.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kelvane::test {

// A pointer shape as GetFramePointerShape hands it out.
struct ScriptedShape {
    UINT type = DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR;
    UINT width = 0;
    UINT height = 0;  // monochrome: both masks
    UINT pitch = 0;
    POINT hotspot{};
    std::vector<std::uint8_t> bytes;
};

struct DuplicationCounts {
    long created = 0;       // duplications handed out by DuplicateOutput
    long refused = 0;       // DuplicateOutput calls answered with a scripted failure
    long live = 0;          // duplication objects not yet destroyed
    long acquisitions = 0;  // frames handed out by AcquireNextFrame
    long releases = 0;      // frames given back by ReleaseFrame
    long timeouts = 0;      // AcquireNextFrame answered DXGI_ERROR_WAIT_TIMEOUT
    long misuse = 0;        // calls DXGI refuses as misuse: out of order, after access lost, a second duplication
    long shape_reads = 0;   // GetFramePointerShape calls that handed out a shape
    long presents = 0;      // presents of the program's swap chains (where the present hook is in place)
    long cpu_ms = 0;        // the process's CPU time (user and kernel) at the last reading
    long cpu_readings = 0;  // readings of it so far
};

class DuplicationScript {
public:
    DuplicationScript();

    // The desktop image (B8G8R8A8 words, row-major), in the orientation the duplication delivers it.
    // Every duplication serves it as one new frame; its size is the frame size from then on.
    void set_desktop(int width, int height, std::vector<std::uint32_t> pixels);
    // An FP16 desktop (four half floats per pixel, RGBA, linear scRGB), as an HDR output composes it.
    void set_desktop_fp16(int width, int height, std::vector<std::uint16_t> halves);
    // Whether the output reports Windows HDR (the colour space of GetDesc1).
    void set_hdr(bool hdr);
    [[nodiscard]] bool hdr() const;
    // Pointer position and visibility: the next frame carries a pointer update.
    void move_pointer(int x, int y, bool visible);
    // A new shape: the next frame announces it (PointerShapeBufferSize).
    void set_shape(ScriptedShape shape);
    // The next `count` GetFramePointerShape calls fail with `hr`.
    void fail_shape_reads(HRESULT hr, int count);
    // A present that changes nothing duplicated (a window excluded from capture): the next frame has a
    // present time and no dirty or move rectangles.
    void present_unchanged();
    // Echo: the desktop stands still, and each of the program's presents (present()) makes a frame with a
    // dirty rectangle over the whole output and the same pixels, as Windows 11 reports a window excluded
    // from capture that presents.
    void set_echo(bool echo);
    // A present of the program's swap chain: counted, and in echo mode the next frame.
    void present();
    // Partial: `area` of the desktop changes at every 60 Hz frame (a colour that steps each frame) and
    // is the frame's one dirty rectangle; an empty area ends it. For a B8G8R8A8 desktop.
    void set_partial(RECT area);
    // Reads the CPU time of the process the script lives in into the counts.
    void read_cpu_time();
    // Every duplication made so far answers DXGI_ERROR_ACCESS_LOST from now on; new ones work. A
    // desktop of another size (a new display mode) does the same.
    void lose_access();
    // The output's adapter: DuplicateOutput answers E_INVALIDARG for a device made on another one.
    void set_adapter(LUID adapter);
    // DuplicateOutput fails with `hr` for the next `count` calls (-1: until told otherwise, 0: never).
    void fail_duplicate_output(HRESULT hr, int count);
    // DXGI_MODE_ROTATION reported by the duplication's and the output's descriptions.
    void set_rotation(DXGI_MODE_ROTATION rotation);
    [[nodiscard]] DXGI_MODE_ROTATION rotation() const;

    [[nodiscard]] DuplicationCounts counts() const;
    // Called (outside the script's lock) after every change of the counts.
    void on_counts_changed(std::function<void(const DuplicationCounts&)> listener);

    // DuplicateOutput as DXGI answers it, on the script's state.
    HRESULT duplicate_output(IUnknown* device, IDXGIOutputDuplication** duplication);
    HRESULT duplicate_output1(IUnknown* device, UINT flags, UINT format_count, const DXGI_FORMAT* formats,
                              IDXGIOutputDuplication** duplication);

    struct State;

private:
    std::shared_ptr<State> state_;
};

// The CPU time (user and kernel) this process has used, in milliseconds.
[[nodiscard]] double process_cpu_ms();

// An IDXGIOutput6 for `monitor` whose GetDesc and GetDesc1 describe that monitor (in the script's colour
// space) and whose DuplicateOutput and DuplicateOutput1 hand out the script's duplications; every other
// method answers E_NOTIMPL. Starts with one reference.
[[nodiscard]] IDXGIOutput6* make_scripted_output(HMONITOR monitor, DuplicationScript& script);

// A test desktop: a diagonal colour gradient with a few flat "windows" and a grid of thin lines, with
// no symmetry, so that every warp and turn shows.
[[nodiscard]] std::vector<std::uint32_t> paint_test_desktop(int width, int height);

}  // namespace kelvane::test
