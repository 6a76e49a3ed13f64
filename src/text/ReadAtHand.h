#ifndef ANNOTATOR_READATHAND_H_
#define ANNOTATOR_READATHAND_H_

#include <algorithm>
#include <cstddef>
#include <istream>

// Takes what `in` holds or a file has left, up to `room` bytes, into `to`,
// and waits only when it has nothing: lines from a pipe that delivers slowly
// are read as they come. Returns the bytes taken; 0 at the end of input.
//
// `known` carries from one call to the next how many bytes the stream last
// said it had at hand and were not taken yet: while any are left, they are
// taken without asking again, which for a file costs a system call. Start
// it at 0.
inline std::size_t ReadAtHand(std::istream& in, char* to, std::size_t room,
                              std::streamsize& known) {
  std::streambuf* source = in.rdbuf();
  if (!source) return 0;
  using Traits = std::streambuf::traits_type;
  std::streamsize ready = known > 0 ? known : source->in_avail();
  if (ready <= 0) {
    // Nothing at hand: wait for a byte, then take what came with it.
    ready = Traits::eq_int_type(source->sgetc(), Traits::eof())
                ? 0
                : std::max<std::streamsize>(source->in_avail(), 1);
  }
  known = 0;
  if (ready <= 0) return 0;
  const std::streamsize got =
      source->sgetn(to, std::min(ready, static_cast<std::streamsize>(room)));
  if (got <= 0) return 0;
  known = ready - got;
  return static_cast<std::size_t>(got);
}

inline std::size_t ReadAtHand(std::istream& in, char* to, std::size_t room) {
  std::streamsize known = 0;
  return ReadAtHand(in, to, room, known);
}

#endif  // ANNOTATOR_READATHAND_H_
