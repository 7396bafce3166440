// Pointer-shape conversion, done whenever the desktop reports a new cursor shape. Each conversion
// logs one line; run the benchmark with standard error sent to /dev/null.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "capture/pointer_shape.h"

namespace {

void convert_repeatedly(benchmark::State& state, const kelvane::PointerShapeInfo& info) {
    const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.pitch) * info.height, 0x7F);
    kelvane::CursorImage cursor;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelvane::convert_pointer_shape(bytes.data(), bytes.size(), info, cursor));
        benchmark::ClobberMemory();
    }
}

void BM_ConvertColorShape(benchmark::State& state) {
    const auto side = static_cast<std::uint32_t>(state.range(0));
    convert_repeatedly(state, {kelvane::pointer_shape_color, side, side, side * 4, 0, 0});
}
BENCHMARK(BM_ConvertColorShape)->Arg(32)->Arg(256);

void BM_ConvertMonochromeShape(benchmark::State& state) {
    convert_repeatedly(state, {kelvane::pointer_shape_monochrome, 32, 64, 4, 0, 0});
}
BENCHMARK(BM_ConvertMonochromeShape);

}  // namespace
