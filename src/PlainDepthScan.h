#ifndef ANNOTATOR_PLAINDEPTHSCAN_H_
#define ANNOTATOR_PLAINDEPTHSCAN_H_

#include <cstddef>
#include <string_view>
#include <vector>

// The ways a C-structure whose brackets nest plainly is measured 64 bytes at
// a time: the baseline that every processor runs, and AVX2 where the
// processor has it. CStructureReader takes the fastest the processor runs;
// tests hold the others to the same results.
enum class PlainDepthScan { kBaseline, kAvx2 };

// Whether this processor runs `scan`.
bool CanRunPlainDepthScan(PlainDepthScan scan);

// The depth of `text` by the fastest scan this processor runs, as below.
bool MeasurePlainDepth(std::string_view text, std::size_t& depth);

// The depth of `text` by `scan`, which the processor must run, when its
// brackets nest plainly; false for any other text, which the full reading
// rules then take.
bool MeasurePlainDepth(PlainDepthScan scan, std::string_view text,
                       std::size_t& depth);

// What MatchBrackets writes for a "(" that no ")" closes.
constexpr std::size_t kUnmatched = static_cast<std::size_t>(-1);

// Pairs the brackets of `text` as a stack would, 64 bytes at a time: for
// each "(" at i, matches[i] becomes where its ")" is, or kUnmatched. Only
// the entries at a "(" are written; `matches` grows to the text's size and
// `openBrackets` is scratch space.
void MatchBrackets(std::string_view text, std::vector<std::size_t>& matches,
                   std::vector<std::size_t>& openBrackets);

#endif  // ANNOTATOR_PLAINDEPTHSCAN_H_
