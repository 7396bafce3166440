// Screen damage: frame boxes and the cursor through the warp, merging, and the per-buffer history.
#include "render/screen_damage.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kelvane {
namespace {

// Homogeneous weights at or below this put a corner at or beyond the horizon of the warp.
constexpr double horizon_weight = 1e-6;

struct Bounds {
    double left = HUGE_VAL;
    double top = HUGE_VAL;
    double right = -HUGE_VAL;
    double bottom = -HUGE_VAL;

    void add(double x, double y) noexcept {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }
};

// The desktop's normalised position (u, v in [0, 1]) of a texture position (s, t in [0, 1]) of a frame
// delivered turned by `rotation`: the inverse of where the warp pass reads the desktop's (u, v).
void texture_to_desktop(std::uint32_t rotation, double s, double t, double& u, double& v) noexcept {
    switch (rotation) {
        case output_rotation_90:
            u = 1.0 - t;
            v = s;
            break;
        case output_rotation_180:
            u = 1.0 - s;
            v = 1.0 - t;
            break;
        case output_rotation_270:
            u = t;
            v = 1.0 - s;
            break;
        default:
            u = s;
            v = t;
            break;
    }
}

[[nodiscard]] PixelBox whole_screen(std::int32_t width, std::int32_t height) noexcept {
    return PixelBox{0, 0, std::max(width, 0), std::max(height, 0)};
}

// The pixels that `bounds` (screen pixels) touches, grown by the screen reach and clipped.
[[nodiscard]] PixelBox grown_pixels(const Bounds& bounds, std::int32_t width, std::int32_t height) noexcept {
    const double w = static_cast<double>(width);
    const double h = static_cast<double>(height);
    const double reach = static_cast<double>(screen_reach_pixels);
    const double left = std::clamp(std::floor(bounds.left) - reach, 0.0, w);
    const double top = std::clamp(std::floor(bounds.top) - reach, 0.0, h);
    const double right = std::clamp(std::ceil(bounds.right) + reach, 0.0, w);
    const double bottom = std::clamp(std::ceil(bounds.bottom) + reach, 0.0, h);
    const PixelBox box{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                       static_cast<std::int32_t>(right), static_cast<std::int32_t>(bottom)};
    return box.empty() ? PixelBox{} : box;
}

}  // namespace

PixelBox screen_box_of_frame_box(const FrameView& view, const PixelBox& frame_box) noexcept {
    const PixelBox frame{0, 0, view.frame_width, view.frame_height};
    const std::int32_t reach = sampler_reach_texels;
    const PixelBox grown = intersect(
        PixelBox{frame_box.left - reach, frame_box.top - reach, frame_box.right + reach, frame_box.bottom + reach},
        frame);
    if (grown.empty() || view.screen_width <= 0 || view.screen_height <= 0) {
        return PixelBox{};
    }
    const std::array<std::array<std::int32_t, 2>, 4> corners{
        {{grown.left, grown.top}, {grown.right, grown.top}, {grown.left, grown.bottom}, {grown.right, grown.bottom}}};
    Bounds bounds;
    const Mat3& m = view.forward;
    for (const auto& corner : corners) {
        double u = 0.0;
        double v = 0.0;
        texture_to_desktop(view.rotation, static_cast<double>(corner[0]) / view.frame_width,
                           static_cast<double>(corner[1]) / view.frame_height, u, v);
        const double nx = u + u - 1.0;
        const double ny = v + v - 1.0;
        const double x = m.m[0][0] * nx + m.m[0][1] * ny + m.m[0][2];
        const double y = m.m[1][0] * nx + m.m[1][1] * ny + m.m[1][2];
        const double w = m.m[2][0] * nx + m.m[2][1] * ny + m.m[2][2];
        if (!(w > horizon_weight) || !std::isfinite(x / w) || !std::isfinite(y / w)) {
            return whole_screen(view.screen_width, view.screen_height);
        }
        bounds.add((x / w + 1.0) * 0.5 * view.screen_width, (y / w + 1.0) * 0.5 * view.screen_height);
    }
    return grown_pixels(bounds, view.screen_width, view.screen_height);
}

PixelBox screen_box_of_cursor(const Mat3& forward, const CursorPlacement& cursor, std::int32_t width,
                              std::int32_t height) noexcept {
    if (cursor.width <= 0 || cursor.height <= 0 || width <= 0 || height <= 0) {
        return PixelBox{};
    }
    Bounds bounds;
    for (const CursorVertex& vertex : cursor_quad(forward, cursor, width, height)) {
        if (!std::isfinite(vertex.x) || !std::isfinite(vertex.y)) {
            return whole_screen(width, height);
        }
        // Clip space has y upwards.
        bounds.add((static_cast<double>(vertex.x) + 1.0) * 0.5 * width,
                   (1.0 - static_cast<double>(vertex.y)) * 0.5 * height);
    }
    return grown_pixels(bounds, width, height);
}

void DamageHistory::forget() {
    std::fill(missing_.begin(), missing_.end(), ScreenDamage{true, {}});
    present_whole_ = true;
}

ScreenDamage DamageHistory::redraw(const ScreenDamage& current, std::int32_t width, std::int32_t height) const {
    ScreenDamage damage = current;
    if (damage.none()) {
        return damage;  // nothing changed: nothing is drawn or presented
    }
    damage.add(missing_[back_]);
    damage.simplify(width, height);
    return damage;
}

void DamageHistory::presented(const ScreenDamage& current) {
    for (std::size_t i = 0; i < missing_.size(); ++i) {
        if (i != back_) {
            missing_[i].add(current);
        }
    }
    missing_[back_] = ScreenDamage{};
    back_ = (back_ + 1) % missing_.size();
    present_whole_ = false;
}

}  // namespace kelvane
