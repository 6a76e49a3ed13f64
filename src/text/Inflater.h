#ifndef ANNOTATOR_INFLATER_H_
#define ANNOTATOR_INFLATER_H_

#include <cstddef>
#include <memory>

// What an input holds, as its first bytes tell: compressed input is known
// by its content, whatever its name, so a pipe or a renamed file reads as
// well as corpus.txt.gz.
enum class InputKind { kPlain, kGzip, kXz, kBzip2, kZstd };

// Bytes enough to tell every kind apart (bzip2's magic is the longest).
constexpr std::size_t kMagicBytes = 10;

// The kind of an input that starts with `head`, `size` bytes of it: as
// many as KindUnsettled() wants, or the whole of a shorter input.
InputKind KindOfInput(const char* head, std::size_t size);

// True while `head`, the `size` bytes an input started with so far, is the
// start of a magic but not all of one: only more bytes can tell its kind.
bool KindUnsettled(const char* head, std::size_t size);

// Why an input of `kind` is not read, as the end of a message ("compressed
// with xz, which is not read; decompress it first"); null for the kinds
// that are read.
const char* RefusalOf(InputKind kind);

// Decompresses gzip data fed to it in pieces: any number of members one
// after another, as `cat a.gz b.gz` makes, read as one stream.
class GzipInflater {
 public:
  GzipInflater();
  ~GzipInflater();
  GzipInflater(const GzipInflater&) = delete;
  GzipInflater& operator=(const GzipInflater&) = delete;

  // Hands over the next `size` compressed bytes, which must stay where they
  // are until Hungry().
  void Feed(const char* data, std::size_t size);
  // True once every byte fed has been taken.
  bool Hungry() const;
  // Decompresses into `to`, up to `room` bytes; returns the bytes made. It
  // makes none when Hungry() or damaged: Damage() then says why, and the
  // bytes made before the damage came out in earlier calls.
  std::size_t Inflate(char* to, std::size_t room);
  // True where the data fed so far ends with a whole member: the input may
  // end there, and ending anywhere else cuts the stream short.
  bool AtMemberEnd() const;
  // Why the data cannot be decompressed past where it stands, or null.
  const char* Damage() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

#endif  // ANNOTATOR_INFLATER_H_
