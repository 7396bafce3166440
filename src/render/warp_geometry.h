// Warp geometry: the five warp values turned into the forward homography (source to output, both in
// normalised coordinates [-1, +1]^2 with y downwards), its inverse as the float rows the pixel shader
// reads, and the forward mapping of output pixels to clip space for the cursor quad.
// Pure double-precision arithmetic; the evaluation order below is deliberate, because it decides the
// last bits of the rows the GPU receives.
#pragma once

#include <array>
#include <cstdint>

#include "capture/capture_types.h"
#include "render/mat3.h"
#include "render/source_fit.h"
#include "settings/warp_params.h"

namespace kelvane {

// The constant buffer of the warp pass: the rows of the inverse homography as float4 values with a
// zero fourth component, then the part of the frame texture that is shown (u0, v0, u1, v1 in texture
// coordinates [0, 1], in the frame's own orientation), 64 bytes in this order. The shader shows black
// outside those bounds and keeps its samples half a texel inside them, so a region's picture never
// blends in the desktop next to it.
struct WarpCB {
    float row0[4];
    float row1[4];
    float row2[4];
    float bounds[4];
};
static_assert(sizeof(WarpCB) == 64, "WarpCB is uploaded as 64 bytes");

// A point in Direct3D clip space (y upwards).
struct ClipPoint {
    float x;
    float y;
};

// The forward homography and the shader rows derived from it, computed together on every warp or
// source change. Three forward maps, for three kinds of points:
struct WarpState {
    // The picture's: from the fitted picture on the output (normalised output coordinates) to the
    // screen. For the mirror of a monitor on itself, the desktop's.
    Mat3 forward_h;
    // The frame's: from the frame's desktop-oriented normalised coordinates (2 * px / source width - 1)
    // to the screen, through the fit; what a changed box of the frame touches on the screen.
    Mat3 frame_forward;
    // The cursor's: from source-monitor pixels normalised by the OUTPUT's size (as map_forward and
    // cursor_quad normalise them) to the screen, so a cursor given in source pixels lands at its place
    // in the fitted picture with its size scaled by the fit.
    Mat3 cursor_forward;
    WarpCB warp_cb;
};

// Keystone amounts beyond this are clamped while the geometry is computed (stored values stay as set).
inline constexpr double keystone_clamp = 0.85;
// Pivots and determinants smaller than this count as singular.
inline constexpr double singular_threshold = 1e-12;

// H with h22 = 1 mapping each source point onto its destination; the identity when the system is singular.
[[nodiscard]] Mat3 solve_homography(const std::array<Point2, 4>& source,
                                    const std::array<Point2, 4>& destination) noexcept;

// A·B, each element accumulated left to right.
[[nodiscard]] Mat3 mat3_mul(const Mat3& a, const Mat3& b) noexcept;

// Inverse by cofactors, not rescaled; the identity when |det| < singular_threshold.
[[nodiscard]] Mat3 invert3(const Mat3& m) noexcept;

// Keystone, then rotation about the centre in pixel units, then mirroring. `width` and `height` are the
// output size in pixels; a non-positive size has no pixel shape, so the rotation then works in
// normalised units (as on a square image) instead of producing a matrix of NaN. A keystone or rotation
// that is not a finite number counts as 0, so no NaN reaches the shader.
[[nodiscard]] Mat3 build_forward(const WarpParams& params, int width, int height) noexcept;

// The inverse's nine values rounded to float and laid out as the three shader rows (w = 0), with the
// whole frame as the bounds.
[[nodiscard]] WarpCB make_warp_cb(const Mat3& inverse) noexcept;

// Where the source of a turned display holds a point of the desktop. Desktop Duplication delivers a
// turned output's frames in the panel's orientation; its rotation (the DXGI_MODE_ROTATION values 1
// identity, 2 a quarter turn, 3 half a turn, 4 three quarters, 0 unspecified) says how. In texture
// coordinates the desktop's (u, v) is read at (u, v), (v, 1-u), (1-u, 1-v) and (1-v, u); as a matrix on
// normalised coordinates. Unknown values count as identity.
[[nodiscard]] Mat3 frame_orientation(std::uint32_t rotation) noexcept;

// build_forward plus the shader rows of its inverse, for a source laid on the output by `fit` and
// delivered turned by `frame_rotation`: everything a warp or source change replaces. The rows are
// orientation * F^-1 * H^-1 (F the fit, H the forward homography), and the bounds are the region's
// rectangle in the frame texture. The forward maps stay in the desktop's orientation, where the cursor
// is placed. For an identity fit (is_identity_fit) nothing of the fit is multiplied in, so every value
// is bit for bit the mirror of the output's own desktop.
[[nodiscard]] WarpState compute_warp(const WarpParams& params, int width, int height,
                                     std::uint32_t frame_rotation = output_rotation_identity,
                                     const SourceFit& fit = {}) noexcept;

// Maps a point given in pixels (origin at the top-left), normalised by the `width` x `height` output,
// through `forward` to clip space: output pixels through forward_h, source-monitor pixels through
// cursor_forward. With a non-positive size there is no pixel grid to normalise against and the result
// is (0, 0), a degenerate quad that draws nothing.
[[nodiscard]] ClipPoint map_forward(const Mat3& forward, float px, float py, int width, int height) noexcept;

// One corner of the cursor quad as the cursor pass's vertex buffer holds it: clip position, then
// texture coordinate.
struct CursorVertex {
    float x;
    float y;
    float u;
    float v;
};
static_assert(sizeof(CursorVertex) == 16, "cursor vertices are uploaded as 16 bytes");

// The cursor sprite before the warp, upright in the desktop's orientation: its top-left corner and its
// size, in the pixels its forward map takes (the source monitor's, through cursor_forward).
struct CursorPlacement {
    int x;
    int y;
    int width;
    int height;
};

// The sprite's four corners through `forward` on a `width` x `height` output, in triangle-strip
// order: top-left, top-right, bottom-left, bottom-right of the sprite.
[[nodiscard]] std::array<CursorVertex, 4> cursor_quad(const Mat3& forward, const CursorPlacement& cursor, int width,
                                                      int height) noexcept;

}  // namespace kelvane
