#ifndef ANNOTATOR_READATHAND_H_
#define ANNOTATOR_READATHAND_H_

#include <algorithm>
#include <cstddef>
#include <istream>

// Takes what `in` holds or a file has left, up to `room` bytes, into `to`,
// and waits only when it has nothing: lines from a pipe that delivers slowly
// are read as they come. Returns the bytes taken; 0 at the end of input.
inline std::size_t ReadAtHand(std::istream& in, char* to, std::size_t room) {
  std::streambuf* source = in.rdbuf();
  if (!source) return 0;
  using Traits = std::streambuf::traits_type;
  std::streamsize ready = source->in_avail();
  if (ready <= 0) {
    // Nothing at hand: wait for a byte, then take what came with it.
    ready = Traits::eq_int_type(source->sgetc(), Traits::eof())
                ? 0
                : std::max<std::streamsize>(source->in_avail(), 1);
  }
  if (ready <= 0) return 0;
  const std::streamsize got =
      source->sgetn(to, std::min(ready, static_cast<std::streamsize>(room)));
  return got <= 0 ? 0 : static_cast<std::size_t>(got);
}

#endif  // ANNOTATOR_READATHAND_H_
