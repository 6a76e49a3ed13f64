#ifndef ANNOTATOR_BENCH_BENCHTREES_H_
#define ANNOTATOR_BENCH_BENCHTREES_H_

#include <fstream>
#include <string>
#include <vector>

// C-Structure lines of the three shapes the benchmarks compare, each as the
// whole input line ("C-Structure:" included), at most 99,999 characters.
namespace benchtrees {

constexpr std::size_t kLineLimit = 99999;

// "(a " nested as deep as the line allows, one leaf at the bottom.
inline std::string Deep() {
  const std::string prefix = "C-Structure:";
  const std::string leaf = "(b c-1)";
  const std::size_t levels = (kLineLimit - prefix.size() - leaf.size()) / 4;
  std::string line = prefix;
  for (std::size_t i = 0; i < levels; ++i) line += "(a ";
  line += leaf;
  line.append(levels, ')');
  return line;
}

// One root over as many leaves as fit in the line.
inline std::string Wide() {
  std::string line = "C-Structure:(S";
  for (int i = 1;; ++i) {
    const std::string leaf = " (NN word-" + std::to_string(i) + ")";
    if (line.size() + leaf.size() + 1 > kLineLimit) break;
    line += leaf;
  }
  return line + ")";
}

// The C-Structure lines of the real corpus when this clone has it beside
// it, else one realistic sentence.
inline std::vector<std::string> Realistic() {
  std::vector<std::string> lines;
  std::ifstream in(ANNOTATOR_SHARED_DIR "/realdata/treebank-records.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("C-Structure:", 0) == 0) lines.push_back(line);
  }
  if (lines.empty()) {
    lines.push_back(
        "C-Structure:(S (NP (DT the-1) (JJ old-2) (NN dog-3)) (VP (VBZ "
        "barks-4) (PP (IN at-5) (NP (DT the-6) (NN moon-7)))) (. .-8))");
  }
  return lines;
}

}  // namespace benchtrees

#endif  // ANNOTATOR_BENCH_BENCHTREES_H_
