// Picture quality against an ideal: the area-resampled warp (each output pixel the mean of dense
// point samples of the source, each the texel it falls in), the pixels where the warp shrinks the
// source by a given area factor, and PSNR and SSIM over such a mask.
#pragma once

#include <vector>

#include "support/cpu_reference.h"

namespace kelvane::test {

// Each output pixel the mean of `grid` x `grid` point samples spread evenly over it, each the source
// texel it lands in through `rows`; black where a sample lands outside the source.
[[nodiscard]] Image ideal_warp(const Image& source, const WarpCB& rows, int width, int height, int grid);

// True for the output pixels whose footprint on the source covers at least `area` texels and lies
// wholly inside it (so that the edge's black does not count).
[[nodiscard]] std::vector<bool> shrunk_pixels(const WarpCB& rows, int source_width, int source_height, int width,
                                              int height, float area);

// Over the masked pixels: PSNR of the three colour channels in dB, and the mean SSIM of the
// luminance in 7 x 7 windows centred on them.
struct Quality {
    double psnr = 0.0;
    double ssim = 0.0;
    int pixels = 0;
};
[[nodiscard]] Quality picture_quality(const Image& actual, const Image& ideal, const std::vector<bool>& mask);

}  // namespace kelvane::test
