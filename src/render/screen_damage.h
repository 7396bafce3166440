// Damage in screen space: which part of the mirror's picture a change of the desktop frame or of the
// cursor touches, and what a flip-model back buffer must be drawn again before it is presented. A
// changed box of the frame goes through the forward warp by its four corners (the projective image of a
// box is a quad that its corners' bounding box holds), grown by the sampler's reach on both sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/changed_regions.h"
#include "render/warp_geometry.h"

namespace kelvane {

// How far, in frame texels, the warp pass may read beyond the image of a screen pixel's own square
// (the bilinear filter's neighbour), with a texel to spare for float rounding.
inline constexpr std::int32_t sampler_reach_texels = 2;
// The same on the screen: the pixels whose squares a mapped box's edge cuts, and rounding.
inline constexpr std::int32_t screen_reach_pixels = 2;

// How the frame texture relates to the screen: its size (in the panel's orientation for a turned
// display), the rotation it comes in, and the output it is drawn on with the frame's forward map
// (WarpState::frame_forward, through the source's fit).
struct FrameView {
    std::int32_t frame_width = 0;
    std::int32_t frame_height = 0;
    std::uint32_t rotation = output_rotation_identity;
    std::int32_t screen_width = 0;
    std::int32_t screen_height = 0;
    Mat3 forward = Mat3::identity();
};

// The screen box that shows `frame_box` (frame texels), grown by the sampler's reach and clipped to the
// screen; the whole screen when the warp cannot bound it (a corner at or beyond the horizon).
[[nodiscard]] PixelBox screen_box_of_frame_box(const FrameView& view, const PixelBox& frame_box) noexcept;

// The screen box of the cursor sprite at `cursor` (pixels before the warp, as `forward` takes them:
// source-monitor pixels through cursor_forward), grown and clipped.
[[nodiscard]] PixelBox screen_box_of_cursor(const Mat3& forward, const CursorPlacement& cursor, std::int32_t width,
                                            std::int32_t height) noexcept;

// What one draw must redraw, in screen pixels.
using ScreenDamage = Damage;

// What each buffer of a flip-model chain of `buffers` buffers lacks of the picture on screen: the
// buffers take turns in order, and each keeps what was drawn into it when it was last presented, so it
// lacks what every present since then changed.
class DamageHistory {
public:
    explicit DamageHistory(std::size_t buffers = 2) : missing_(buffers > 0 ? buffers : 1) { forget(); }

    // Nothing in any buffer can be trusted (a new swap chain, a failed present): everything is drawn
    // and presented whole next time.
    void forget();
    // What must be drawn into the back buffer for a frame that changes `current` (nothing when
    // nothing changed).
    [[nodiscard]] ScreenDamage redraw(const ScreenDamage& current, std::int32_t width, std::int32_t height) const;
    // Whether the next present must be whole, without dirty rectangles (the screen may show a picture
    // older than the last one drawn).
    [[nodiscard]] bool present_whole() const noexcept { return present_whole_; }
    // The back buffer, drawn for `current`, was presented.
    void presented(const ScreenDamage& current);

private:
    std::vector<ScreenDamage> missing_;  // by buffer
    std::size_t back_ = 0;               // the buffer drawn next
    bool present_whole_ = true;
};

}  // namespace kelvane
