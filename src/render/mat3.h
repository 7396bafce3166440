// The small matrix and point types the warp is computed in, apart from the warp itself so that the
// source's fit (which the warp takes) can be described with them too.
#pragma once

namespace kelvane {

// 3x3 matrix of doubles, row-major, acting on column vectors (x, y, 1).
struct Mat3 {
    double m[3][3];

    [[nodiscard]] static constexpr Mat3 identity() noexcept { return Mat3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}; }
};

struct Point2 {
    double x;
    double y;
};

}  // namespace kelvane
