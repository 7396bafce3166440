// Warp geometry: keystone fit, rotation, mirroring, inverse, forward point mapping and the cursor quad.
#include "render/warp_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kelvane {
namespace {

constexpr double pi = 3.141592653589793;
constexpr double degrees_per_half_turn = 180.0;
constexpr int unknowns = 8;           // h00 ... h21; h22 is fixed at 1
constexpr int augmented_columns = 9;  // the unknowns and the right-hand side

// Round-to-nearest conversion to float. Values beyond the float range saturate at the largest finite
// float, because converting them directly is undefined behaviour in C++.
float to_float(double value) noexcept {
    constexpr double largest = static_cast<double>(std::numeric_limits<float>::max());
    if (value > largest) {
        return std::numeric_limits<float>::max();
    }
    if (value < -largest) {
        return -std::numeric_limits<float>::max();
    }
    return static_cast<float>(value);
}

double finite_or_zero(float value) noexcept {
    const double widened = static_cast<double>(value);
    return std::isfinite(widened) ? widened : 0.0;
}

double clamp_keystone(float value) noexcept {
    const double widened = finite_or_zero(value);
    if (widened < -keystone_clamp) {
        return -keystone_clamp;
    }
    if (widened > keystone_clamp) {
        return keystone_clamp;
    }
    return widened;
}

double positive_part(double value) noexcept {
    return value > 0.0 ? value : 0.0;
}

Mat3 diagonal(double a, double b, double c) noexcept {
    return Mat3{{{a, 0, 0}, {0, b, 0}, {0, 0, c}}};
}

}  // namespace

Mat3 solve_homography(const std::array<Point2, 4>& source, const std::array<Point2, 4>& destination) noexcept {
    double a[unknowns][augmented_columns];
    for (std::size_t i = 0; i < source.size(); ++i) {
        const double x = source[i].x;
        const double y = source[i].y;
        const double u = destination[i].x;
        const double v = destination[i].y;
        const double even[augmented_columns] = {x, y, 1, 0, 0, 0, x * (-u), y * (-u), u};
        const double odd[augmented_columns] = {0, 0, 0, x, y, 1, x * (-v), y * (-v), v};
        for (int j = 0; j < augmented_columns; ++j) {
            a[2 * i][j] = even[j];
            a[2 * i + 1][j] = odd[j];
        }
    }

    for (int k = 0; k < unknowns; ++k) {
        int pivot = k;
        double largest = std::fabs(a[k][k]);
        for (int r = k + 1; r < unknowns; ++r) {
            // Strictly larger only: ties keep the upper row.
            if (std::fabs(a[r][k]) > largest) {
                largest = std::fabs(a[r][k]);
                pivot = r;
            }
        }
        // Written so that a NaN pivot also counts as singular.
        if (!(largest >= singular_threshold)) {
            return Mat3::identity();
        }
        if (pivot != k) {
            for (int j = 0; j < augmented_columns; ++j) {
                const double swapped = a[k][j];
                a[k][j] = a[pivot][j];
                a[pivot][j] = swapped;
            }
        }
        for (int i = 0; i < unknowns; ++i) {
            if (i == k) {
                continue;
            }
            const double f = a[i][k] / a[k][k];
            for (int j = k; j < augmented_columns; ++j) {
                a[i][j] = a[i][j] - f * a[k][j];
            }
        }
    }

    double h[unknowns];
    for (int n = 0; n < unknowns; ++n) {
        // The left block is diagonal but not scaled to 1.
        h[n] = a[n][unknowns] / a[n][n];
    }
    return Mat3{{{h[0], h[1], h[2]}, {h[3], h[4], h[5]}, {h[6], h[7], 1.0}}};
}

Mat3 mat3_mul(const Mat3& a, const Mat3& b) noexcept {
    Mat3 product{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            product.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
        }
    }
    return product;
}

Mat3 invert3(const Mat3& m) noexcept {
    const double m00 = m.m[0][0], m01 = m.m[0][1], m02 = m.m[0][2];
    const double m10 = m.m[1][0], m11 = m.m[1][1], m12 = m.m[1][2];
    const double m20 = m.m[2][0], m21 = m.m[2][1], m22 = m.m[2][2];
    const double det = m00 * (m11 * m22 - m12 * m21) - m01 * (m10 * m22 - m12 * m20) + m02 * (m10 * m21 - m20 * m11);
    // Written so that a NaN determinant also yields the identity.
    if (!(std::fabs(det) >= singular_threshold)) {
        return Mat3::identity();
    }
    const double r = 1.0 / det;
    Mat3 inverse{};
    inverse.m[0][0] = (m11 * m22 - m12 * m21) * r;
    inverse.m[0][1] = -(m01 * m22 - m02 * m21) * r;
    inverse.m[0][2] = (m01 * m12 - m02 * m11) * r;
    inverse.m[1][0] = -(m10 * m22 - m12 * m20) * r;
    inverse.m[1][1] = (m00 * m22 - m02 * m20) * r;
    inverse.m[1][2] = -(m00 * m12 - m02 * m10) * r;
    inverse.m[2][0] = (m10 * m21 - m11 * m20) * r;
    inverse.m[2][1] = -(m00 * m21 - m01 * m20) * r;
    inverse.m[2][2] = (m00 * m11 - m01 * m10) * r;
    return inverse;
}

Mat3 build_forward(const WarpParams& params, int width, int height) noexcept {
    const double a = clamp_keystone(params.keystone_tb);
    const double b = clamp_keystone(params.keystone_lr);

    // Source corners: top-left, top-right, bottom-right, bottom-left. Each keystone narrows one edge of
    // its pair; the opposite edge keeps its full length.
    const std::array<Point2, 4> source = {{{-1, -1}, {+1, -1}, {+1, +1}, {-1, +1}}};
    const std::array<Point2, 4> destination = {{
        {-(1 - positive_part(a)), -(1 - positive_part(-b))},
        {+(1 - positive_part(a)), -(1 - positive_part(b))},
        {+(1 - positive_part(-a)), +(1 - positive_part(b))},
        {-(1 - positive_part(-a)), +(1 - positive_part(-b))},
    }};
    const Mat3 k = solve_homography(source, destination);

    // Rotation about the centre in pixel units, so the picture keeps its proportions on a non-square
    // monitor.
    const double theta = finite_or_zero(params.rotation) * pi / degrees_per_half_turn;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const Mat3 r{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
    const bool has_pixels = width > 0 && height > 0;
    const double half_width = has_pixels ? static_cast<double>(width) * 0.5 : 1.0;
    const double half_height = has_pixels ? static_cast<double>(height) * 0.5 : 1.0;
    const Mat3 scale = diagonal(half_width, half_height, 1);
    const Mat3 unscale = diagonal(1.0 / half_width, 1.0 / half_height, 1);
    const Mat3 t = mat3_mul(r, scale);
    const Mat3 rot = mat3_mul(unscale, t);

    const Mat3 f = diagonal(params.mirror_h ? -1.0 : 1.0, params.mirror_v ? -1.0 : 1.0, 1);
    const Mat3 p = mat3_mul(rot, k);
    return mat3_mul(f, p);
}

WarpCB make_warp_cb(const Mat3& inverse) noexcept {
    WarpCB cb{};
    float* rows[3] = {cb.row0, cb.row1, cb.row2};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            rows[i][j] = to_float(inverse.m[i][j]);
        }
        rows[i][3] = 0.0f;
    }
    cb.bounds[0] = 0.0f;
    cb.bounds[1] = 0.0f;
    cb.bounds[2] = 1.0f;
    cb.bounds[3] = 1.0f;
    return cb;
}

Mat3 frame_orientation(std::uint32_t rotation) noexcept {
    switch (rotation) {
        case output_rotation_90:  // (v, 1-u): x' = y, y' = -x
            return Mat3{{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}};
        case output_rotation_180:  // (1-u, 1-v)
            return Mat3{{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}};
        case output_rotation_270:  // (1-v, u): x' = -y, y' = x
            return Mat3{{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
        default:
            return Mat3::identity();
    }
}

WarpState compute_warp(const WarpParams& params, int width, int height, std::uint32_t frame_rotation,
                       const SourceFit& fit) noexcept {
    WarpState state{};
    state.forward_h = build_forward(params, width, height);
    Mat3 inverse = invert3(state.forward_h);
    state.frame_forward = state.forward_h;
    state.cursor_forward = state.forward_h;
    if (!is_identity_fit(fit, width, height)) {
        // Only a real fit is multiplied in: an identity fit keeps every bit of the rows as they were.
        state.frame_forward = mat3_mul(state.forward_h, fit_matrix(fit, width, height));
        state.cursor_forward = mat3_mul(state.frame_forward, cursor_normalisation(fit, width, height));
        inverse = mat3_mul(fit_inverse(fit, width, height), inverse);
    }
    // The orientation only swaps and negates rows, so it changes no bit of an unturned source's rows.
    const Mat3 orientation = frame_orientation(frame_rotation);
    state.warp_cb = make_warp_cb(
        orientation.m[0][0] == 1.0 && orientation.m[1][1] == 1.0 ? inverse : mat3_mul(orientation, inverse));
    const std::array<float, 4> bounds = frame_bounds(fit, frame_rotation);
    std::copy(bounds.begin(), bounds.end(), state.warp_cb.bounds);
    return state;
}

ClipPoint map_forward(const Mat3& forward, float px, float py, int width, int height) noexcept {
    if (width <= 0 || height <= 0) {
        return ClipPoint{0.0f, 0.0f};
    }
    // The quotient is formed in single precision, as the vertex positions always were.
    const double qx = static_cast<double>(px / static_cast<float>(width));
    const double qy = static_cast<double>(py / static_cast<float>(height));
    const double nx = qx + qx - 1.0;
    const double ny = qy + qy - 1.0;
    const Mat3& m = forward;
    const double x = (m.m[0][0] * nx + m.m[0][1] * ny) + m.m[0][2];
    const double y = (m.m[1][0] * nx + m.m[1][1] * ny) + m.m[1][2];
    const double w = (m.m[2][0] * nx + m.m[2][1] * ny) + m.m[2][2];
    return ClipPoint{to_float(x / w), to_float(-y / w)};
}

std::array<CursorVertex, 4> cursor_quad(const Mat3& forward, const CursorPlacement& cursor, int width,
                                        int height) noexcept {
    // Sums in 64 bits: a far-off cursor position must not overflow on its way to float.
    const auto x0 = static_cast<float>(cursor.x);
    const auto y0 = static_cast<float>(cursor.y);
    const auto x1 = static_cast<float>(static_cast<std::int64_t>(cursor.x) + cursor.width);
    const auto y1 = static_cast<float>(static_cast<std::int64_t>(cursor.y) + cursor.height);
    constexpr float a = 0.0f;
    constexpr float b = 1.0f;
    const ClipPoint p00 = map_forward(forward, x0, y0, width, height);
    const ClipPoint p10 = map_forward(forward, x1, y0, width, height);
    const ClipPoint p01 = map_forward(forward, x0, y1, width, height);
    const ClipPoint p11 = map_forward(forward, x1, y1, width, height);
    return {{{p00.x, p00.y, a, a}, {p10.x, p10.y, b, a}, {p01.x, p01.y, a, b}, {p11.x, p11.y, b, b}}};
}

}  // namespace kelvane
