// How long the store tool takes to count and split the largest archive list it accepts.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tresolo/comma_list.h"

namespace {

// 32767 archive names of 12 to 16 characters, as the toolkit would list them.
std::string LargestArchiveList() {
  std::string list;
  for (int i = 0; i < 32767; ++i) {
    if (i > 0) list += ',';
    list += "Archiv Nr. " + std::to_string(i);
  }
  return list;
}

void BM_GetNumberOfElements(benchmark::State& state) {
  const std::string list = LargestArchiveList();
  for (auto _ : state) benchmark::DoNotOptimize(kartiva::GetNumberOfElements(list));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(list.size()));
}
BENCHMARK(BM_GetNumberOfElements);

void BM_CountAndSplit(benchmark::State& state) {
  const std::string list = LargestArchiveList();
  for (auto _ : state) {
    std::vector<std::string> archives(static_cast<std::size_t>(kartiva::GetNumberOfElements(list)));
    kartiva::StoreStringToArray(list, archives);
    benchmark::DoNotOptimize(archives.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(list.size()));
}
BENCHMARK(BM_CountAndSplit);

}  // namespace

BENCHMARK_MAIN();
