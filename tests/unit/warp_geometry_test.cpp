// Warp geometry: the documented numeric cases, and properties that hold over the whole parameter range.
#include "render/warp_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kelvane {
namespace {

constexpr double tight = 1e-12;
constexpr double loose = 1e-4;  // for the four-digit values quoted for a quarter turn
constexpr float row_tolerance = 1e-6f;

WarpParams plain() {
    WarpParams params;
    params.mirror_h = false;
    return params;
}

Point2 apply(const Mat3& m, Point2 p) {
    const double x = m.m[0][0] * p.x + m.m[0][1] * p.y + m.m[0][2];
    const double y = m.m[1][0] * p.x + m.m[1][1] * p.y + m.m[1][2];
    const double w = m.m[2][0] * p.x + m.m[2][1] * p.y + m.m[2][2];
    return {x / w, y / w};
}

void expect_mat_near(const Mat3& actual, const double (&expected)[3][3], double tolerance) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(actual.m[i][j], expected[i][j], tolerance) << "element (" << i << "," << j << ")";
        }
    }
}

void expect_rows(const WarpCB& cb, const float (&expected)[3][3], float tolerance) {
    const float* rows[3] = {cb.row0, cb.row1, cb.row2};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(rows[i][j], expected[i][j], tolerance) << "row" << i << "[" << j << "]";
        }
        EXPECT_EQ(rows[i][3], 0.0f) << "row" << i << ".w";
    }
}

void expect_point_near(Point2 actual, Point2 expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
}

TEST(WarpRows, NeutralParametersGiveExactIdentityRows) {
    const WarpState state = compute_warp(plain(), 1920, 1080);
    // Exact: a neutral warp must not blur the desktop through rounding in the rows.
    const float* rows[3] = {state.warp_cb.row0, state.warp_cb.row1, state.warp_cb.row2};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(rows[i][j], (i == j) ? 1.0f : 0.0f) << "row" << i << "[" << j << "]";
        }
    }
}

TEST(WarpRows, DefaultParametersMirrorLeftToRightExactly) {
    const WarpParams params;
    EXPECT_TRUE(params.mirror_h);
    EXPECT_FALSE(params.mirror_v);
    const WarpState state = compute_warp(params, 1920, 1080);
    const float expected[3][3] = {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    expect_rows(state.warp_cb, expected, 0.0f);
}

TEST(WarpRows, BothMirrorsEqualAHalfTurn) {
    WarpParams mirrors;
    mirrors.mirror_h = true;
    mirrors.mirror_v = true;
    WarpParams half_turn = plain();
    half_turn.rotation = 180.0f;
    const float expected[3][3] = {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}};
    for (const WarpParams& params : {mirrors, half_turn}) {
        SCOPED_TRACE(params.rotation);
        expect_rows(compute_warp(params, 1920, 1080).warp_cb, expected, row_tolerance);
    }
}

TEST(WarpRows, KeystoneTopBottomNarrowsTheTopEdge) {
    WarpParams params = plain();
    params.keystone_tb = 0.2f;
    const WarpState state = compute_warp(params, 1920, 1080);

    // keystone_tb is a float, so 0.2 arrives as 0.20000000298...: the hand values hold to about 1e-8.
    const double k[3][3] = {{8.0 / 9, 0, 0}, {0, 1, -1.0 / 9}, {0, -1.0 / 9, 1}};
    expect_mat_near(state.forward_h, k, 1e-8);
    const float rows[3][3] = {{1.125f, 0, 0}, {0, 1.0125f, 0.1125f}, {0, 0.1125f, 1.0125f}};
    expect_rows(state.warp_cb, rows, row_tolerance);

    // The same fit from the exact quad, through solve_homography alone.
    const std::array<Point2, 4> square = {{{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}};
    const std::array<Point2, 4> quad = {{{-0.8, -1}, {0.8, -1}, {1, 1}, {-1, 1}}};
    expect_mat_near(solve_homography(square, quad), k, tight);

    expect_point_near(apply(state.forward_h, {-1, -1}), {-0.8, -1}, 1e-8);
    expect_point_near(apply(state.forward_h, {+1, -1}), {+0.8, -1}, 1e-8);
    expect_point_near(apply(state.forward_h, {+1, +1}), {+1, +1}, tight);
    expect_point_near(apply(state.forward_h, {-1, +1}), {-1, +1}, tight);
}

TEST(WarpGeometry, KeystoneLeftRightNegativeShortensTheLeftEdge) {
    WarpParams params = plain();
    params.keystone_lr = -0.3f;
    const Mat3 m = build_forward(params, 1920, 1080);
    expect_point_near(apply(m, {-1, -1}), {-1, -0.7}, 1e-7);
    expect_point_near(apply(m, {-1, +1}), {-1, +0.7}, 1e-7);
    expect_point_near(apply(m, {+1, -1}), {+1, -1}, tight);
    expect_point_near(apply(m, {+1, +1}), {+1, +1}, tight);
}

TEST(WarpGeometry, KeystoneBeyondTheUsedRangeIsClamped) {
    for (const float sign : {1.0f, -1.0f}) {
        WarpParams full = plain();
        full.keystone_tb = sign * 1.0f;
        full.keystone_lr = sign * 1.0f;
        WarpParams limit = plain();
        limit.keystone_tb = sign * 0.85f;
        limit.keystone_lr = sign * 0.85f;
        const WarpState a = compute_warp(full, 1920, 1080);
        const WarpState b = compute_warp(limit, 1920, 1080);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_EQ(a.forward_h.m[i][j], b.forward_h.m[i][j]);
            }
        }
        EXPECT_EQ(0, std::memcmp(&a.warp_cb, &b.warp_cb, sizeof(WarpCB)));
    }
    WarpParams top = plain();
    top.keystone_tb = 1.0f;
    // The narrowed top edge keeps a half-width of 0.15.
    expect_point_near(apply(build_forward(top, 1920, 1080), {+1, -1}), {0.15, -1}, tight);
}

TEST(WarpGeometry, QuarterTurnKeepsPixelProportions) {
    WarpParams params = plain();
    params.rotation = 90.0f;
    const Mat3 m = build_forward(params, 1920, 1080);
    const double expected[3][3] = {{0, -0.5625, 0}, {1.7778, 0, 0}, {0, 0, 1}};
    expect_mat_near(m, expected, loose);
    EXPECT_NEAR(m.m[0][1], -1080.0 / 1920.0, tight);
    EXPECT_NEAR(m.m[1][0], 1920.0 / 1080.0, tight);
    // The right-hand middle point goes below the screen, the top-middle point right of the centre.
    expect_point_near(apply(m, {1, 0}), {0, 1.7778}, loose);
    expect_point_near(apply(m, {0, -1}), {0.5625, 0}, tight);
}

TEST(Homography, IdenticalQuadsGiveTheIdentity) {
    const std::array<Point2, 4> square = {{{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}};
    const std::array<Point2, 4> skewed = {{{-0.7, -0.9}, {0.8, -1}, {1, 0.6}, {-0.9, 0.95}}};
    const double identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    expect_mat_near(solve_homography(square, square), identity, tight);
    expect_mat_near(solve_homography(skewed, skewed), identity, tight);
}

TEST(Homography, MapsEachSourcePointOntoItsDestination) {
    const std::array<Point2, 4> source = {{{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}};
    const std::array<Point2, 4> destination = {{{-0.5, -0.8}, {0.9, -0.6}, {0.7, 0.9}, {-0.95, 0.5}}};
    const Mat3 h = solve_homography(source, destination);
    EXPECT_EQ(h.m[2][2], 1.0);
    for (std::size_t i = 0; i < source.size(); ++i) {
        expect_point_near(apply(h, source[i]), destination[i], tight);
    }
}

TEST(Homography, SingularSystemsGiveTheIdentity) {
    const Mat3 identity = Mat3::identity();
    const std::array<Point2, 4> one_point = {{{0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}}};
    const std::array<Point2, 4> origin = {{{0, 0}, {0, 0}, {0, 0}, {0, 0}}};
    const std::array<Point2, 4> square = {{{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::array<Point2, 4> with_nan = {{{nan, -1}, {1, -1}, {1, 1}, {-1, 1}}};
    for (const auto& source : {one_point, origin, with_nan}) {
        const Mat3 h = solve_homography(source, square);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_EQ(h.m[i][j], identity.m[i][j]);
            }
        }
    }
}

TEST(Mat3, ProductAccumulatesRowsTimesColumns) {
    const Mat3 a{{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}};
    const Mat3 b{{{9, 8, 7}, {6, 5, 4}, {3, 2, 1}}};
    const double expected[3][3] = {{30, 24, 18}, {84, 69, 54}, {138, 114, 90}};
    expect_mat_near(mat3_mul(a, b), expected, 0.0);
}

TEST(Mat3, InverseOfASingularMatrixIsTheIdentity) {
    const double identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const Mat3 zero{};
    const Mat3 rank_two{{{1, 2, 3}, {2, 4, 6}, {0, 0, 1}}};
    // 2^-40 is just below the 1e-12 determinant threshold, 2^-39 just above it.
    const Mat3 below{{{std::ldexp(1.0, -40), 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (const Mat3& m : {zero, rank_two, below}) {
        expect_mat_near(invert3(m), identity, 0.0);
    }
    const Mat3 above{{{std::ldexp(1.0, -39), 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    const double inverse[3][3] = {{std::ldexp(1.0, 39), 0, 0}, {0, 1, 0}, {0, 0, 1}};
    expect_mat_near(invert3(above), inverse, 0.0);
}

TEST(Mat3, InverseIsNotRescaled) {
    const Mat3 doubled{{{2, 0, 0}, {0, 2, 0}, {0, 0, 2}}};
    const double half[3][3] = {{0.5, 0, 0}, {0, 0.5, 0}, {0, 0, 0.5}};
    expect_mat_near(invert3(doubled), half, 0.0);
}

struct SweepCase {
    WarpParams params;
    int width;
    int height;
};

std::vector<SweepCase> sweep() {
    std::vector<SweepCase> cases;
    const float keystones[] = {-0.85f, -0.4f, 0.0f, 0.3f, 0.85f};
    const float rotations[] = {0.0f, 30.0f, 90.0f, -135.0f, 180.0f};
    const int sizes[][2] = {{1920, 1080}, {1080, 1920}, {800, 800}};
    for (const float a : keystones) {
        for (const float b : keystones) {
            for (const float rotation : rotations) {
                for (int mirrors = 0; mirrors < 4; ++mirrors) {
                    for (const auto& size : sizes) {
                        WarpParams params;
                        params.mirror_h = (mirrors & 1) != 0;
                        params.mirror_v = (mirrors & 2) != 0;
                        params.keystone_tb = a;
                        params.keystone_lr = b;
                        params.rotation = rotation;
                        cases.push_back({params, size[0], size[1]});
                    }
                }
            }
        }
    }
    return cases;
}

// Where a source corner must land: its keystone destination, turned about the centre in pixel units,
// then mirrored.
Point2 expected_corner(const SweepCase& c, int corner) {
    // 0.85f is a little above 0.85, so the sweep's extremes are clamped too.
    const double a = std::clamp<double>(c.params.keystone_tb, -0.85, 0.85);
    const double b = std::clamp<double>(c.params.keystone_lr, -0.85, 0.85);
    const double top = 1 - std::fmax(0, a), bottom = 1 - std::fmax(0, -a);
    const double left = 1 - std::fmax(0, -b), right = 1 - std::fmax(0, b);
    const Point2 quad[4] = {{-top, -left}, {top, -right}, {bottom, right}, {-bottom, left}};
    const double half_w = c.width / 2.0, half_h = c.height / 2.0;
    const double px = quad[corner].x * half_w, py = quad[corner].y * half_h;
    const double angle = c.params.rotation * 3.141592653589793 / 180.0;
    Point2 p{(std::cos(angle) * px - std::sin(angle) * py) / half_w,
             (std::sin(angle) * px + std::cos(angle) * py) / half_h};
    if (c.params.mirror_h) {
        p.x = -p.x;
    }
    if (c.params.mirror_v) {
        p.y = -p.y;
    }
    return p;
}

TEST(WarpGeometry, SourceCornersLandOnTheTurnedAndMirroredKeystoneQuad) {
    const Point2 corners[4] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const SweepCase& c : sweep()) {
        const Mat3 m = build_forward(c.params, c.width, c.height);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(testing::Message()
                         << "tb=" << c.params.keystone_tb << " lr=" << c.params.keystone_lr
                         << " rot=" << c.params.rotation << " mh=" << c.params.mirror_h << " mv=" << c.params.mirror_v
                         << " " << c.width << "x" << c.height << " corner " << i);
            expect_point_near(apply(m, corners[i]), expected_corner(c, i), 1e-9);
        }
    }
}

TEST(WarpGeometry, InverseUndoesTheForwardMatrixOverTheRange) {
    const double identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const SweepCase& c : sweep()) {
        const Mat3 m = build_forward(c.params, c.width, c.height);
        SCOPED_TRACE(testing::Message() << "tb=" << c.params.keystone_tb << " lr=" << c.params.keystone_lr
                                        << " rot=" << c.params.rotation << " " << c.width << "x" << c.height);
        expect_mat_near(mat3_mul(invert3(m), m), identity, 1e-12);
    }
}

TEST(WarpGeometry, ShaderRowsSendOutputPointsBackToTheirSource) {
    // The float rows as the shader uses them: a point pushed forward by M comes back within float precision.
    for (const SweepCase& c : sweep()) {
        const WarpState state = compute_warp(c.params, c.width, c.height);
        for (const Point2 source : {Point2{0.25, -0.5}, Point2{-0.9, 0.9}, Point2{0, 0}}) {
            const Point2 out = apply(state.forward_h, source);
            const float* r[3] = {state.warp_cb.row0, state.warp_cb.row1, state.warp_cb.row2};
            double h[3];
            for (int i = 0; i < 3; ++i) {
                h[i] = r[i][0] * out.x + r[i][1] * out.y + r[i][2];
            }
            expect_point_near({h[0] / h[2], h[1] / h[2]}, source, 1e-5);
        }
    }
}

TEST(WarpGeometry, UnusableNumbersFallBackToNeutralValues) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const WarpState neutral = compute_warp(WarpParams{}, 1920, 1080);
    for (const float bad : {nan, inf, -inf}) {
        WarpParams params;
        params.keystone_tb = bad;
        params.keystone_lr = bad;
        params.rotation = bad;
        const WarpState state = compute_warp(params, 1920, 1080);
        EXPECT_EQ(0, std::memcmp(&state.warp_cb, &neutral.warp_cb, sizeof(WarpCB))) << bad;
    }
}

TEST(WarpGeometry, SizeWithoutPixelsStillGivesAFiniteRotation) {
    WarpParams params = plain();
    params.rotation = 90.0f;
    params.keystone_tb = 0.3f;
    // Rotation in normalised units is what a square image gets.
    const Mat3 square = build_forward(params, 500, 500);
    for (const auto& size : {std::array<int, 2>{0, 0}, std::array<int, 2>{-5, 1080}, std::array<int, 2>{1920, 0}}) {
        const Mat3 m = build_forward(params, size[0], size[1]);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_TRUE(std::isfinite(m.m[i][j]));
                EXPECT_NEAR(m.m[i][j], square.m[i][j], tight);
            }
        }
    }
}

TEST(MapForward, IdentityPutsPixelCornersOnTheClipCorners) {
    for (const auto& size : {std::array<int, 2>{1920, 1080}, std::array<int, 2>{1, 1}, std::array<int, 2>{3, 7}}) {
        const int w = size[0], h = size[1];
        const ClipPoint top_left = map_forward(Mat3::identity(), 0.0f, 0.0f, w, h);
        const ClipPoint bottom_right =
            map_forward(Mat3::identity(), static_cast<float>(w), static_cast<float>(h), w, h);
        EXPECT_EQ(top_left.x, -1.0f);
        EXPECT_EQ(top_left.y, 1.0f);
        EXPECT_EQ(bottom_right.x, 1.0f);
        EXPECT_EQ(bottom_right.y, -1.0f);
    }
}

TEST(MapForward, FollowsTheMirrorAndTheProjectiveDivision) {
    // The default warp mirrors: the top-left pixel corner shows at the top-right of the screen.
    const Mat3 mirror = build_forward(WarpParams{}, 1920, 1080);
    const ClipPoint corner = map_forward(mirror, 0.0f, 0.0f, 1920, 1080);
    EXPECT_EQ(corner.x, 1.0f);
    EXPECT_EQ(corner.y, 1.0f);
    // A matrix with a scaled third row: (960, 270) is normalised (0, -0.5), and w = 2 halves both.
    const Mat3 scaled{{{1, 0, 0.5}, {0, 1, 0}, {0, 0, 2}}};
    const ClipPoint p = map_forward(scaled, 960.0f, 270.0f, 1920, 1080);
    EXPECT_EQ(p.x, 0.25f);
    EXPECT_EQ(p.y, 0.25f);
}

TEST(MapForward, SizeWithoutPixelsGivesTheCentre) {
    for (const auto& size : {std::array<int, 2>{0, 1080}, std::array<int, 2>{1920, 0}, std::array<int, 2>{-1, -1}}) {
        const ClipPoint p = map_forward(Mat3::identity(), 10.0f, 10.0f, size[0], size[1]);
        EXPECT_EQ(p.x, 0.0f);
        EXPECT_EQ(p.y, 0.0f);
    }
}

TEST(MapForward, PointsOnTheHorizonStayFinite) {
    // w = 0 at the centre: the division gives infinity, which must come out as the largest float.
    const Mat3 horizon{{{1, 0, 1}, {0, 1, 0}, {0, 0, 0}}};
    const ClipPoint p = map_forward(horizon, 960.0f, 540.0f, 1920, 1080);
    EXPECT_EQ(p.x, std::numeric_limits<float>::max());
}

}  // namespace
}  // namespace kelvane
