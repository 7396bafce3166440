// Warp update and calibration-pattern painting: the work done on every warp change and once per
// mirror start in calibration mode.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "render/calibration_pattern.h"
#include "render/warp_geometry.h"

namespace {

// One warp update as the renderer does it: the forward matrix, its inverse and the float rows.
void BM_WarpUpdate(benchmark::State& state) {
    kelvane::WarpParams params;
    params.keystone_tb = 0.3f;
    params.keystone_lr = -0.2f;
    params.rotation = 12.5f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(params);
        const kelvane::Mat3 forward = kelvane::build_forward(params, 1920, 1080);
        benchmark::DoNotOptimize(kelvane::make_warp_cb(kelvane::invert3(forward)));
    }
}
BENCHMARK(BM_WarpUpdate);

void BM_PaintPattern(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelvane::paint_pattern(pixels.data(), pixels.size(), width, height));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PaintPattern)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

}  // namespace
