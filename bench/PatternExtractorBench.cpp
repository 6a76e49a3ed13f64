// Pattern extraction, measured in bytes of patterns written per second: on
// the real corpus when this clone has it beside it, and on trees of growing
// size, where a flat rate shows time linear in what is written.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PatternExtractor.h"
#include "TrainingExampleReader.h"

namespace {

std::vector<ExampleFieldMap> ReadRecords(std::istream& in) {
  std::ostream listing(nullptr);
  TrainingExampleReader reader(in, listing);
  std::vector<ExampleFieldMap> records;
  for (ExampleFieldMap example = reader.Next(); example.size() == 6;
       example = reader.Next()) {
    records.push_back(example);
  }
  return records;
}

const std::vector<ExampleFieldMap>& RealRecords() {
  static const std::vector<ExampleFieldMap> records = [] {
    std::ifstream in(ANNOTATOR_SHARED_DIR "/realdata/treebank-records.txt");
    return ReadRecords(in);
  }();
  return records;
}

// Patterns leave the way the program sends them: a chunk at a time.
void Extract(benchmark::State& state,
             const std::vector<ExampleFieldMap>& records, bool consistentOnly) {
  if (records.empty()) {
    state.SkipWithError("no records (the real corpus is not beside the clone)");
    return;
  }
  PatternExtractor extractor(consistentOnly);
  std::string out;
  std::string reason;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const ExampleFieldMap& example : records) {
      extractor.AppendPatterns(example, out, reason);
      if (out.size() >= (1 << 20)) {
        bytes += static_cast<std::int64_t>(out.size());
        out.clear();
      }
    }
    bytes += static_cast<std::int64_t>(out.size());
    out.clear();
  }
  state.SetBytesProcessed(bytes);
}

// One record whose tree is `size` levels of single children over a leaf
// (every pattern holds the whole rest of the tree) or one node over `size`
// leaves, aligned word for word.
std::vector<ExampleFieldMap> Shaped(bool deep, int size) {
  std::string sl;
  std::string tl;
  std::string alignment = "(";
  std::string tree;
  for (int i = 1; i <= size; ++i) {
    const std::string n = std::to_string(i);
    sl += " w" + n + "/nn";
    tl += " t" + n;
    alignment += (i > 1 ? ",(" : "(") + n + "," + n + ")";
  }
  if (deep) {
    for (int i = 0; i < size; ++i) tree += "(A ";
    tree += "(NN w1-1)" + std::string(static_cast<std::size_t>(size), ')');
  } else {
    tree = "(S";
    for (int i = 1; i <= size; ++i) {
      tree += " (NN w" + std::to_string(i) + "-" + std::to_string(i) + ")";
    }
    tree += ")";
  }
  return {{{"SL", "SL:" + sl},
           {"TL", "TL:" + tl},
           {"Alignment", "Alignment: " + alignment + ")"},
           {"Type", "Type: S"},
           {"C-Structure", "C-Structure:" + tree},
           {"ConstSeq", "ConstSeq: "}}};
}

void BM_ExtractRealCorpus(benchmark::State& s) {
  Extract(s, RealRecords(), false);
}
void BM_ExtractRealCorpusConsistent(benchmark::State& s) {
  Extract(s, RealRecords(), true);
}
void BM_ExtractDeep(benchmark::State& s) {
  Extract(s, Shaped(true, static_cast<int>(s.range(0))), false);
}
void BM_ExtractWide(benchmark::State& s) {
  Extract(s, Shaped(false, static_cast<int>(s.range(0))), false);
}

}  // namespace

BENCHMARK(BM_ExtractRealCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractRealCorpusConsistent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractDeep)->RangeMultiplier(4)->Range(64, 1024);
BENCHMARK(BM_ExtractWide)->RangeMultiplier(4)->Range(64, 4096);
