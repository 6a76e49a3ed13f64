#ifndef ANNOTATOR_COUNTBITS_H_
#define ANNOTATOR_COUNTBITS_H_

#include <cstdint>

// The bits set in `mask`. Spelled out: the portable builds target processors
// without a popcount instruction, where the builtin becomes a library call.
inline std::uint32_t CountBits(std::uint64_t mask) {
  mask -= (mask >> 1) & 0x5555555555555555U;
  mask = (mask & 0x3333333333333333U) + ((mask >> 2) & 0x3333333333333333U);
  mask = (mask + (mask >> 4)) & 0x0f0f0f0f0f0f0f0fU;
  return static_cast<std::uint32_t>((mask * 0x0101010101010101U) >> 56);
}

#endif  // ANNOTATOR_COUNTBITS_H_
