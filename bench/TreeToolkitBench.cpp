#include <benchmark/benchmark.h>

#include <iostream>
#include <set>
#include <streambuf>
#include <string>
#include <vector>

#include "BenchTrees.h"
#include "ParseParser.h"

namespace {

// Parsed once, outside the timed loops: only the tree operations are timed.
std::vector<ParseParser> ParseAll(const std::vector<std::string>& lines) {
  std::vector<ParseParser> parsers(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    parsers[i].ParseIntoTree(lines[i]);
  }
  return parsers;
}

std::vector<ParseParser>& Realistic() {
  static std::vector<ParseParser> parsers = ParseAll(benchtrees::Realistic());
  return parsers;
}
std::vector<ParseParser>& Deep() {
  static std::vector<ParseParser> parsers = ParseAll({benchtrees::Deep()});
  return parsers;
}
std::vector<ParseParser>& Wide() {
  static std::vector<ParseParser> parsers = ParseAll({benchtrees::Wide()});
  return parsers;
}

// Runs `op` on every tree per iteration; items are trees.
template <class Op>
void OnEveryTree(benchmark::State& state, std::vector<ParseParser>& parsers,
                 Op op) {
  for (auto _ : state) {
    for (ParseParser& parser : parsers) op(parser);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(parsers.size()));
}

// Swallows what PrintTree writes, so the timing is the walk and the stream,
// not a terminal.
class DiscardBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char* /*text*/, std::streamsize n) override {
    return n;
  }
};

void ReturnString(benchmark::State& s, std::vector<ParseParser>& trees) {
  OnEveryTree(s, trees, [](ParseParser& p) {
    benchmark::DoNotOptimize(p.ReturnTreeAsStringForPrint());
  });
}

void Print(benchmark::State& s, std::vector<ParseParser>& trees) {
  DiscardBuffer discard;
  std::streambuf* const saved = std::cout.rdbuf(&discard);
  OnEveryTree(s, trees, [](ParseParser& p) { p.PrintTree(); });
  std::cout.rdbuf(saved);
}

void Annotate(benchmark::State& s, std::vector<ParseParser>& trees) {
  OnEveryTree(s, trees, [](ParseParser& p) {
    int counter = 1;
    p.AnnotateCStructure(p.Root, counter);
    benchmark::DoNotOptimize(counter);
  });
}

void CoveredInds(benchmark::State& s, std::vector<ParseParser>& trees) {
  OnEveryTree(s, trees, [](ParseParser& p) {
    std::set<int> inds;
    int counter = 1;
    p.GetCoveredInds(p.Root, inds, counter);
    benchmark::DoNotOptimize(inds);
  });
}

void CStruct(benchmark::State& s, std::vector<ParseParser>& trees) {
  OnEveryTree(s, trees, [](ParseParser& p) {
    int counter = 1;
    benchmark::DoNotOptimize(CStructFromHereAsString(p.Root, counter));
  });
}

void SLWords(benchmark::State& s, std::vector<ParseParser>& trees) {
  OnEveryTree(s, trees, [](ParseParser& p) {
    benchmark::DoNotOptimize(ExtractSLWords(p.Root));
  });
}

void Score(benchmark::State& s, std::vector<ParseParser>& trees) {
  OnEveryTree(s, trees, [](ParseParser& p) {
    benchmark::DoNotOptimize(GetCoEmbeddingScore(p.Root));
  });
}

#define TREE_BENCHMARKS(Operation)                                           \
  BENCHMARK_CAPTURE(Operation, Realistic, Realistic())                       \
      ->Unit(benchmark::kMillisecond);                                       \
  BENCHMARK_CAPTURE(Operation, Deep, Deep())->Unit(benchmark::kMicrosecond); \
  BENCHMARK_CAPTURE(Operation, Wide, Wide())->Unit(benchmark::kMicrosecond)

TREE_BENCHMARKS(ReturnString);
TREE_BENCHMARKS(Print);
TREE_BENCHMARKS(Annotate);
TREE_BENCHMARKS(CoveredInds);
TREE_BENCHMARKS(CStruct);
TREE_BENCHMARKS(SLWords);
TREE_BENCHMARKS(Score);

}  // namespace
