// Reading registry files that nobody should write but anybody could: a flat one with many keys out
// of order, and one whose only header nests far deeper than allowed.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "menorix/key_tree.h"
#include "menorix/reg_text.h"

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

void ReadRegText(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    kartiva::KeyTree tree;
    std::string problem;
    benchmark::DoNotOptimize(kartiva::ParseRegText(text, tree, problem));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ReadFlatRegTextInReverseOrder(benchmark::State& state) {
  std::string text = kHeader;
  for (auto i = state.range(0); i > 0; --i) {
    text += "[HKEY_CLASSES_ROOT\\*\\shell\\k" + std::to_string(i) + "]\n@=\"v\"\n";
  }
  ReadRegText(state, text);
}
BENCHMARK(BM_ReadFlatRegTextInReverseOrder)->Arg(4000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_ReadDeepHeader(benchmark::State& state) {
  std::string text = kHeader + "[HKEY_CLASSES_ROOT";
  for (auto i = state.range(0); i > 0; --i) text += "\\k";
  ReadRegText(state, text + "]\n");
}
BENCHMARK(BM_ReadDeepHeader)->Arg(512)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
