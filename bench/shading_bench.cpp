// How long one shading of the configurator's window takes: its 312 x 131-pixel client area in
// 256 bands (a 32-bit display) and in 32 bands (a 15-bit one), into a buffer in memory.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "menorix/bas_gui.h"
#include "menorix/pixel_buffer.h"

namespace {

void BM_DrawGradient(benchmark::State& state) {
  kartiva::PixelBuffer window(312, 131, static_cast<std::int32_t>(state.range(0)));
  kartiva::basGUI gui;
  for (auto _ : state) {
    gui.DrawGradient(window, 0xA56B39, 0xF9DAB5, 1);
    benchmark::DoNotOptimize(window.Pixel(0, 130));
  }
}
BENCHMARK(BM_DrawGradient)->Arg(32)->Arg(15);

}  // namespace

BENCHMARK_MAIN();
