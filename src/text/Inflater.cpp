#include "text/Inflater.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

struct Magic {
  InputKind Kind;
  const char* Bytes;
  std::size_t Size;
  // Where a digit from 1 to 9 stands, whatever Bytes holds there.
  std::size_t DigitAt = kMagicBytes;
};
// bzip2's "BZh" is text that a corpus may start with ("BZhang ..."), so its
// magic goes on to the block size and the magic of a first block, or of
// the end of an empty stream.
constexpr Magic kMagics[] = {
    {InputKind::kGzip, "\x1f\x8b", 2},
    {InputKind::kXz, "\xfd\x37\x7a\x58\x5a\x00", 6},
    {InputKind::kBzip2, "BZh91AY&SY", 10, 3},
    {InputKind::kBzip2, "BZh9\x17\x72\x45\x38\x50\x90", 10, 3},
    {InputKind::kZstd, "\x28\xb5\x2f\xfd", 4},
};

// Whether the first `size` bytes of `head` are those of `magic`, as far as
// the shorter of the two goes.
bool Agrees(const Magic& magic, const char* head, std::size_t size) {
  for (std::size_t i = 0; i < std::min(size, magic.Size); ++i) {
    const bool same = i == magic.DigitAt ? head[i] >= '1' && head[i] <= '9'
                                         : head[i] == magic.Bytes[i];
    if (!same) return false;
  }
  return true;
}

}  // namespace

InputKind KindOfInput(const char* head, std::size_t size) {
  for (const Magic& magic : kMagics) {
    if (size >= magic.Size && Agrees(magic, head, size)) return magic.Kind;
  }
  return InputKind::kPlain;
}

bool KindUnsettled(const char* head, std::size_t size) {
  for (const Magic& magic : kMagics) {
    if (size < magic.Size && Agrees(magic, head, size)) return true;
  }
  return false;
}

const char* RefusalOf(InputKind kind) {
  switch (kind) {
    case InputKind::kXz:
      return "compressed with xz, which is not read; decompress it first";
    case InputKind::kBzip2:
      return "compressed with bzip2, which is not read; decompress it first";
    case InputKind::kZstd:
      return "compressed with zstd, which is not read; decompress it first";
    case InputKind::kPlain:
    case InputKind::kGzip:
      break;
  }
  return nullptr;
}

struct GzipInflater::State {
  z_stream Stream{};
  bool MemberEnded = false;
  const char* Damage = nullptr;
};

GzipInflater::GzipInflater() : state_(std::make_unique<State>()) {
  // 16 + 15: a gzip wrapper around the largest window.
  if (inflateInit2(&state_->Stream, 16 + MAX_WBITS) != Z_OK) {
    state_->Damage = "no memory to decompress it";
  }
}

GzipInflater::~GzipInflater() {
  if (!state_->Damage) inflateEnd(&state_->Stream);
}

void GzipInflater::Feed(const char* data, std::size_t size) {
  // zlib never writes through next_in.
  state_->Stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  state_->Stream.avail_in = static_cast<uInt>(size);
}

bool GzipInflater::Hungry() const { return state_->Stream.avail_in == 0; }

bool GzipInflater::AtMemberEnd() const {
  return state_->MemberEnded && Hungry();
}

const char* GzipInflater::Damage() const { return state_->Damage; }

std::size_t GzipInflater::Inflate(char* to, std::size_t room) {
  z_stream& stream = state_->Stream;
  if (state_->Damage) return 0;
  stream.next_out = reinterpret_cast<Bytef*>(to);
  stream.avail_out = static_cast<uInt>(room < UINT_MAX ? room : UINT_MAX);
  const uInt offered = stream.avail_out;
  while (stream.avail_out > 0 && stream.avail_in > 0) {
    // Whatever follows a member's end must be another member.
    if (state_->MemberEnded) {
      inflateReset(&stream);
      state_->MemberEnded = false;
    }
    const int result = inflate(&stream, Z_NO_FLUSH);
    if (result == Z_BUF_ERROR) break;
    if (result == Z_STREAM_END) {
      state_->MemberEnded = true;
    } else if (result == Z_MEM_ERROR) {
      state_->Damage = "no memory to decompress it";
    } else if (result != Z_OK) {
      state_->Damage = "damaged gzip data";
    }
    if (state_->Damage) {
      inflateEnd(&stream);
      break;
    }
  }
  return offered - stream.avail_out;
}
