#ifndef ANNOTATOR_PUTTEXT_H_
#define ANNOTATOR_PUTTEXT_H_

#include <cstring>
#include <string_view>

// Copies `bytes` to `out`, which has room for them, and returns the end of
// the copy: for texts sized first and then filled in place.
inline char* PutText(char* out, std::string_view bytes) {
  // An empty view may have no data at all, which memcpy must not be given.
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

#endif  // ANNOTATOR_PUTTEXT_H_
