#include <benchmark/benchmark.h>

#include "BenchTrees.h"
#include "ParseParser.h"

namespace {

// The annotation road: depth and verdict, no tree.
void MeasureDepth(benchmark::State& state,
                  const std::vector<std::string>& lines) {
  CStructureReader reader;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      benchmark::DoNotOptimize(reader.MeasureDepth(line).Depth);
      bytes += line.size();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// Building the tree and scoring it, as a learner linking the library does.
void ParseAndScore(benchmark::State& state,
                   const std::vector<std::string>& lines) {
  ParseParser parser;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      parser.ParseIntoTree(line);
      benchmark::DoNotOptimize(GetCoEmbeddingScore(parser.Root));
      bytes += line.size();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

const std::vector<std::string>& RealisticLines() {
  static const std::vector<std::string> lines = benchtrees::Realistic();
  return lines;
}
const std::vector<std::string>& DeepLines() {
  static const std::vector<std::string> lines{benchtrees::Deep()};
  return lines;
}
const std::vector<std::string>& WideLines() {
  static const std::vector<std::string> lines{benchtrees::Wide()};
  return lines;
}

void BM_MeasureDepthRealistic(benchmark::State& s) {
  MeasureDepth(s, RealisticLines());
}
void BM_MeasureDepthDeep(benchmark::State& s) { MeasureDepth(s, DeepLines()); }
void BM_MeasureDepthWide(benchmark::State& s) { MeasureDepth(s, WideLines()); }
void BM_ParseAndScoreRealistic(benchmark::State& s) {
  ParseAndScore(s, RealisticLines());
}
void BM_ParseAndScoreDeep(benchmark::State& s) {
  ParseAndScore(s, DeepLines());
}
void BM_ParseAndScoreWide(benchmark::State& s) {
  ParseAndScore(s, WideLines());
}

}  // namespace

BENCHMARK(BM_MeasureDepthRealistic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureDepthDeep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MeasureDepthWide)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseAndScoreRealistic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseAndScoreDeep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseAndScoreWide)->Unit(benchmark::kMicrosecond);
