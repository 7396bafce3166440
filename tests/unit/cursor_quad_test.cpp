// The cursor quad: corner placement through the forward homography, vertex order and texture
// coordinates, and positions far past the output's edges.
#include "render/warp_geometry.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace kelvane {
namespace {

TEST(CursorQuad, CornersAndTextureCoordinatesInStripOrder) {
    const Mat3 mirror = build_forward(WarpParams{}, 1920, 1080);
    const Mat3 halved{{{1, 0, 0}, {0, 1, 0}, {0, 0, 2}}};
    struct Case {
        const char* name;
        Mat3 forward;
        CursorPlacement cursor;
        std::array<CursorVertex, 4> expected;
    };
    const Case cases[] = {
        {"identity, whole output",
         Mat3::identity(),
         {0, 0, 1920, 1080},
         {{{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}}}},
        {"identity, from the centre",
         Mat3::identity(),
         {960, 540, 96, 54},
         {{{0, 0, 0, 0}, {0.1f, 0, 1, 0}, {0, -0.1f, 0, 1}, {0.1f, -0.1f, 1, 1}}}},
        {"horizontal mirror", mirror, {0, 0, 960, 540}, {{{1, 1, 0, 0}, {0, 1, 1, 0}, {1, 0, 0, 1}, {0, 0, 1, 1}}}},
        {"projective division",
         halved,
         {0, 0, 1920, 1080},
         {{{-0.5f, 0.5f, 0, 0}, {0.5f, 0.5f, 1, 0}, {-0.5f, -0.5f, 0, 1}, {0.5f, -0.5f, 1, 1}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::array<CursorVertex, 4> quad = cursor_quad(c.forward, c.cursor, 1920, 1080);
        for (std::size_t i = 0; i < quad.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_FLOAT_EQ(quad[i].x, c.expected[i].x);
            EXPECT_FLOAT_EQ(quad[i].y, c.expected[i].y);
            EXPECT_EQ(quad[i].u, c.expected[i].u);
            EXPECT_EQ(quad[i].v, c.expected[i].v);
        }
    }
}

TEST(CursorQuad, PositionsFarPastTheEdgesStayFiniteAndOrdered) {
    // Corner plus size beyond the int range: the far corners must still lie beyond the near ones.
    const CursorPlacement far_right{INT_MAX, INT_MAX, INT_MAX, INT_MAX};
    const CursorPlacement far_left{INT_MIN, INT_MIN, 4096, 4096};
    for (const CursorPlacement& cursor : {far_right, far_left}) {
        const std::array<CursorVertex, 4> quad = cursor_quad(Mat3::identity(), cursor, 1920, 1080);
        for (const CursorVertex& vertex : quad) {
            EXPECT_TRUE(std::isfinite(vertex.x) && std::isfinite(vertex.y));
        }
        EXPECT_GT(quad[1].x, quad[0].x);
        EXPECT_LT(quad[2].y, quad[0].y);  // clip space has y upwards
    }
}

}  // namespace
}  // namespace kelvane
