#ifndef ANNOTATOR_PLAINDEPTHSCAN_H_
#define ANNOTATOR_PLAINDEPTHSCAN_H_

#include <cstddef>
#include <string_view>

// The ways a C-structure whose brackets nest plainly is measured 64 bytes at
// a time: the baseline that every processor runs, and AVX2 where the
// processor has it. CStructureReader takes the fastest the processor runs;
// tests hold the others to the same results.
enum class PlainDepthScan { kBaseline, kAvx2 };

// Whether this processor runs `scan`.
bool CanRunPlainDepthScan(PlainDepthScan scan);

// The depth of `text` by `scan`, which the processor must run, when its
// brackets nest plainly; false for any other text, which the full reading
// rules then take.
bool MeasurePlainDepth(PlainDepthScan scan, std::string_view text,
                       std::size_t& depth);

#endif  // ANNOTATOR_PLAINDEPTHSCAN_H_
