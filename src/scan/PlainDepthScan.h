#ifndef ANNOTATOR_PLAINDEPTHSCAN_H_
#define ANNOTATOR_PLAINDEPTHSCAN_H_

#include <cstddef>
#include <string_view>
#include <vector>

// The depth of `text`, measured 64 bytes at a time (SSE2 where the
// processor has it, byte by byte elsewhere), when its brackets nest plainly;
// false for any other text, which the full reading rules then take.
bool MeasurePlainDepth(std::string_view text, std::size_t& depth);

// What MatchBrackets writes for a "(" that no ")" closes.
constexpr std::size_t kUnmatched = static_cast<std::size_t>(-1);

// Pairs the brackets of `text` as a stack would, 64 bytes at a time: for
// each "(" at i, matches[i] becomes where its ")" is, or kUnmatched. Only
// the entries at a "(" are written; `matches` grows to the text's size and
// `openBrackets` is scratch space.
void MatchBrackets(std::string_view text, std::vector<std::size_t>& matches,
                   std::vector<std::size_t>& openBrackets);

#endif  // ANNOTATOR_PLAINDEPTHSCAN_H_
