#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <istream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "support/TestSupport.h"
#include "text/DescriptorBuffer.h"
#include "text/Inflater.h"
#include "text/LineReader.h"

namespace {

TEST(InputKind, IsToldByTheFirstBytesAndWaitsOnlyForAMagicBegun) {
  const struct {
    std::string Head;
    InputKind Kind;
    bool Unsettled;
  } cases[] = {
      {"", InputKind::kPlain, true},
      {"SentenceIndex: 1", InputKind::kPlain, false},
      {"\x1f", InputKind::kPlain, true},
      {"\x1f\x8b", InputKind::kGzip, false},
      {"\x1fx", InputKind::kPlain, false},
      {std::string("\xfd\x37\x7a\x58\x5a", 5), InputKind::kPlain, true},
      {std::string("\xfd\x37\x7a\x58\x5a\x00", 6), InputKind::kXz, false},
      {"BZ", InputKind::kPlain, true},
      {"BZh", InputKind::kPlain, true},
      {"BZhang", InputKind::kPlain, false},
      {"BZh0", InputKind::kPlain, false},
      {"BZh11AY&S", InputKind::kPlain, true},
      {"BZh11AY&SY", InputKind::kBzip2, false},
      {"BZh9\x17\x72\x45\x38\x50\x90", InputKind::kBzip2, false},
      {"Bob", InputKind::kPlain, false},
      {"\x28\xb5\x2f\xfd", InputKind::kZstd, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Head);
    EXPECT_EQ(KindOfInput(c.Head.data(), c.Head.size()), c.Kind);
    EXPECT_EQ(KindUnsettled(c.Head.data(), c.Head.size()), c.Unsettled);
  }
}

// What a pipe whose writer sends `text` a byte at a time hands out, whole,
// read line by line; `skipMark` as SkipByteOrderMark() asks. The pipe is a
// socket that keeps each write apart, so that every read takes one byte
// however fast the writer goes, as a slow pipe's reads may.
std::string ReadThroughAPipe(const std::string& text, bool skipMark = false) {
  int ends[2];
  EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
  std::thread writer([&text, in = ends[1]] {
    for (char byte : text) {
      if (::write(in, &byte, 1) != 1) break;
    }
    ::close(in);
  });
  DescriptorBuffer buffer;
  if (skipMark) buffer.SkipByteOrderMark();
  buffer.Adopt(ends[0]);
  std::istream stream(&buffer);
  LineReader lines(stream);
  std::string got;
  for (std::string_view line; lines.Next(line);) got.append(line) += '\n';
  writer.join();
  EXPECT_FALSE(buffer.Failed());
  return got;
}

TEST(DescriptorBuffer, ReadsGzipFromAPipeThatHandsOutAByteAtATime) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\n";
  EXPECT_EQ(ReadThroughAPipe(testsupport::Gzip(text)), text);
  EXPECT_EQ(ReadThroughAPipe(text), text);
}

// A mark that comes a byte at a time, or alone, is dropped whole; bytes
// that only begin like one, and a second mark, stay.
TEST(DescriptorBuffer, SkipsOneByteOrderMarkHandedOutInPieces) {
  const std::string mark = "\xEF\xBB\xBF";
  const std::pair<std::string, std::string> cases[] = {
      {mark + "x\n", "x\n"},
      {testsupport::Gzip(mark + "x\n"), "x\n"},
      {mark, ""},
      {mark + mark + "x\n", mark + "x\n"},
      {"\xEF\xBBx\n", "\xEF\xBBx\n"},
  };
  for (const auto& [text, read] : cases) {
    SCOPED_TRACE(::testing::PrintToString(text));
    EXPECT_EQ(ReadThroughAPipe(text, true), read);
  }
  EXPECT_EQ(ReadThroughAPipe(mark + "x\n"), mark + "x\n");
}

// A short plain line is handed out while the pipe stays open: the look at
// the first bytes waits only for a magic begun.
TEST(DescriptorBuffer, HandsOutAPipesShortFirstLineWithoutWaitingForMore) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "x\n", 2), 2);
  std::atomic<bool> taken{false};
  std::atomic<bool> closed{false};
  std::thread writer([&taken, &closed, in = ends[1]] {
    for (int i = 0; i < 300 && !taken; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    closed = true;
    ::close(in);
  });
  DescriptorBuffer buffer;
  buffer.Adopt(ends[0]);
  std::istream stream(&buffer);
  LineReader lines(stream);
  std::string_view line;
  const bool got = lines.Next(line);
  EXPECT_FALSE(closed) << "the line waited for the writer to close";
  taken = true;
  writer.join();
  ASSERT_TRUE(got);
  EXPECT_EQ(line, "x");
}

}  // namespace
