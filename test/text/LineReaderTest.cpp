#include <gtest/gtest.h>

#include <algorithm>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/LineReader.h"

namespace {

// A pipe that delivers its text in parts: a part's bytes are at hand as
// soon as it comes, and a read that wants more than is at hand waits for
// the next part, as a read of a real pipe would block. Parts() tells how
// many have come.
class PartsBuffer : public std::streambuf {
 public:
  explicit PartsBuffer(std::vector<std::string> parts)
      : parts_(std::move(parts)) {}

  std::size_t Parts() const { return delivered_; }

 protected:
  std::streamsize showmanyc() override {
    if (at_ < held_.size())
      return static_cast<std::streamsize>(held_.size() - at_);
    return delivered_ < parts_.size() ? 0 : -1;
  }

  int_type underflow() override {
    if (!Wait()) return traits_type::eof();
    return traits_type::to_int_type(held_[at_]);
  }

  std::streamsize xsgetn(char* to, std::streamsize count) override {
    std::streamsize got = 0;
    while (got < count && Wait()) {
      const std::size_t take =
          std::min(static_cast<std::size_t>(count - got), held_.size() - at_);
      held_.copy(to + got, take, at_);
      at_ += take;
      got += static_cast<std::streamsize>(take);
    }
    return got;
  }

 private:
  // Something at hand, once the next part has come if need be.
  bool Wait() {
    while (at_ == held_.size()) {
      if (delivered_ == parts_.size()) return false;
      held_ = parts_[delivered_++];
      at_ = 0;
    }
    return true;
  }

  std::vector<std::string> parts_;
  std::size_t delivered_ = 0;
  std::string held_;
  std::size_t at_ = 0;
};

// Each line is handed out as soon as its part has come, never waiting for
// a later part: not when a part is longer than one read, and not when the
// stream was asked what it had many reads before.
TEST(LineReader, HandsOutEachLineOfAPipeWithoutWaitingForMore) {
  const std::string longLine(40000, 'w');
  const std::vector<std::string> parts = {
      "one\n" + longLine + "\n" + longLine + "\ntw", "o\nthree\n"};
  PartsBuffer pipe(parts);
  std::istream in(&pipe);
  LineReader lines(in);
  const std::pair<std::string_view, std::size_t> expected[] = {
      {"one", 1}, {longLine, 1}, {longLine, 1}, {"two", 2}, {"three", 2}};
  std::string_view line;
  for (const auto& [text, partsCome] : expected) {
    ASSERT_TRUE(lines.Next(line));
    EXPECT_EQ(line, text);
    EXPECT_EQ(pipe.Parts(), partsCome)
        << "after \"" << line.substr(0, 5) << "\"";
  }
  EXPECT_FALSE(lines.Next(line));
  EXPECT_FALSE(lines.Overlong());
}

}  // namespace
