// Where the source picture lies on the mirrored monitor: a region of the source monitor's desktop,
// fitted onto the output (contain or stretch), before the warp. The warp bends this fitted picture
// as it bends the desktop of the mirrored monitor itself, which is the special case of a source of
// the output's own size shown whole.
#pragma once

#include <cstdint>

#include "render/warp_geometry.h"
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
[[nodiscard]] bool is_identity_fit(const SourceFit& fit, int width, int height) noexcept;

}  // namespace kelvane
