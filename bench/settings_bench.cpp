// Settings text and log formatting: the work done on every settings save and every log line.
#include <benchmark/benchmark.h>

#include <cstdarg>

#include "platform/log.h"
#include "settings/settings.h"

namespace {

void BM_FormatSettingsText(benchmark::State& state) {
    kelvane::Settings settings;
    settings.monitor = L"\\\\.\\DISPLAY2";
    settings.warp.keystone_tb = 1.0f / 3.0f;
    settings.warp.rotation = -12.5f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelvane::format_settings_text(settings));
    }
}
BENCHMARK(BM_FormatSettingsText);

void BM_ApplySettingsText(benchmark::State& state) {
    kelvane::Settings source;
    source.monitor = L"\\\\.\\DISPLAY2";
    source.warp.keystone_lr = -0.25f;
    const std::string text = kelvane::format_settings_text(source);
    for (auto _ : state) {
        kelvane::Settings settings;
        kelvane::apply_settings_text(text, settings);
        benchmark::DoNotOptimize(settings);
    }
}
BENCHMARK(BM_ApplySettingsText);

std::string format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = kelvane::format_log_message(format, args);
    va_end(args);
    return text;
}

void BM_FormatLogMessage(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            format("overlay: %s at (%d,%d) %dx%d, hr=0x%08X", "\\\\.\\DISPLAY1", 0, 0, 1920, 1080, 0x887A0026u));
    }
}
BENCHMARK(BM_FormatLogMessage);

}  // namespace
