// Where the source picture lies on the mirrored monitor: a region of the source monitor's desktop,
// fitted onto the output (contain or stretch), before the warp. The warp bends this fitted picture
// as it bends the desktop of the mirrored monitor itself, which is the special case of a source of
// the output's own size shown whole.
#pragma once

#include <array>
#include <cstdint>

#include "render/mat3.h"
#include "settings/source_region.h"

namespace kelvane {

// The source as the renderer needs it. A zero source size means the output's own desktop, shown whole
// (the mirror of a monitor on itself, and the calibration pattern).
struct SourceFit {
    std::int32_t source_width = 0;  // the source monitor's desktop size, in the desktop's orientation
    std::int32_t source_height = 0;
    SourceRect region;  // the part of it shown, inside it
    FitMode fit = FitMode::contain;

    friend bool operator==(const SourceFit& a, const SourceFit& b) {
        return a.source_width == b.source_width && a.source_height == b.source_height && a.region == b.region &&
               a.fit == b.fit;
    }
    friend bool operator!=(const SourceFit& a, const SourceFit& b) { return !(a == b); }
};

// The fitted picture's rectangle on a `width` x `height` output, in output pixels (fractions kept).
struct FittedPicture {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
};

// Where `fit` lays its region on the output; the whole output for a zero source size or stretch.
[[nodiscard]] FittedPicture fit_picture(const SourceFit& fit, int width, int height) noexcept;

// True when the fit changes nothing: the output's own desktop, or a source of the output's size shown
// whole.
// (A non-positive output size has no pixel grid to fit onto and counts as identity too.)
[[nodiscard]] bool is_identity_fit(const SourceFit& fit, int width, int height) noexcept;

// The part of the source that is shown: the region cut to the source monitor, or the whole monitor
// when the region is empty there (a zero-sized region means no region at all).
[[nodiscard]] SourceRect shown_region(const SourceFit& fit) noexcept;

// F: the affine map from the frame's desktop-oriented normalised coordinates (n = 2 * px / source
// width - 1, px in source-monitor pixels) to the picture's normalised output coordinates q, taking the
// shown region onto fit_picture's rectangle. The identity for an identity fit.
[[nodiscard]] Mat3 fit_matrix(const SourceFit& fit, int width, int height) noexcept;
// F^-1, formed from the same scale and offset rather than by a general inverse.
[[nodiscard]] Mat3 fit_inverse(const SourceFit& fit, int width, int height) noexcept;

// N: from source-monitor pixels normalised by the output's size (2 * px / output width - 1, as
// map_forward normalises) to the frame's normalised coordinates. The identity for an identity fit.
[[nodiscard]] Mat3 cursor_normalisation(const SourceFit& fit, int width, int height) noexcept;

// The shown region in the frame texture's coordinates (u0, v0, u1, v1, each in [0, 1]) of a frame
// delivered turned by `frame_rotation` (a DXGI_MODE_ROTATION value, as frame_orientation reads it);
// (0, 0, 1, 1) for the whole frame.
[[nodiscard]] std::array<float, 4> frame_bounds(const SourceFit& fit, std::uint32_t frame_rotation) noexcept;

}  // namespace kelvane
