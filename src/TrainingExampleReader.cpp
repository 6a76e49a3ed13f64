#include "TrainingExampleReader.h"

#include <sys/stat.h>

#include <array>
#include <fstream>
#include <iostream>

#include "Fatal.h"

namespace {

// The line buffer, terminating null included: lines hold 99,999 characters.
constexpr std::streamsize kLineBuffer = 100000;
constexpr std::string_view kHeaderMark = "SentenceIndex:";

// Positions 2 to 10 of a record; nullptr marks a line that is read and
// dropped.
constexpr std::array<const char*, 9> kPositions = {
    "SL",          "TL",       "Alignment", "Type", nullptr,
    "C-Structure", "ConstSeq", nullptr,     nullptr};
constexpr std::size_t kFieldCount = 6;
// From this index on, a dropped line may be the next record's header.
constexpr std::size_t kFirstTrailingLine = 7;

bool IsHeader(std::string_view line) {
  return line.find(kHeaderMark) != std::string_view::npos;
}

bool IsDirectory(const char* path) {
  struct stat info;
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// The process-wide input stream: closed until the first call opens it, then
// read on until the process ends.
std::ifstream TrainingFILE;
char TrainingFileBuffer[1 << 16];

}  // namespace

TrainingExampleReader::TrainingExampleReader(std::istream& in,
                                             std::ostream& listing)
    : in_(in), listing_(listing), buffer_(new char[kLineBuffer]) {}

std::string_view TrainingExampleReader::ReadLine() {
  in_.getline(buffer_.get(), kLineBuffer);
  std::size_t length = static_cast<std::size_t>(in_.gcount());
  if (length == 0 && in_.fail()) return {};
  ++linesRead_;
  // A full buffer with neither a line end nor the end of input behind it.
  if (in_.fail() && !in_.eof()) {
    overlongLine_ = linesRead_;
    return {};
  }
  // gcount counts the newline when one was taken; only a read that neither
  // hit the end nor failed took one.
  if (length > 0 && in_.good()) --length;
  return {buffer_.get(), length};
}

ExampleFieldMap TrainingExampleReader::Next() {
  ExampleFieldMap example;
  if (overlongLine_ != 0) return example;
  if (headerPending_) {
    headerPending_ = false;
  } else if (!in_.fail()) {
    std::string_view line = ReadLine();
    while (!in_.fail() && !IsHeader(line)) line = ReadLine();
  }

  for (std::size_t position = 0; position < kPositions.size(); ++position) {
    // The test comes before the read: the read that fails still enters its
    // key, and every later position is skipped.
    if (in_.fail()) break;
    const std::string_view line = ReadLine();
    if (kPositions[position]) {
      example.emplace(kPositions[position], line);
    } else if (position >= kFirstTrailingLine && !in_.fail() &&
               IsHeader(line)) {
      // A record without its trailing lines: this is the next one's header.
      headerPending_ = true;
      break;
    }
  }

  // Nothing of the record that holds an over-long line is kept or shown.
  if (overlongLine_ != 0) return {};

  listing_ << "Now handling the following training example:\n" << std::flush;
  for (const auto& [key, value] : example) {
    listing_ << key << '\t' << value << '\n' << std::flush;
  }
  listing_ << "End printing training example.\n"
           << std::flush << '\n'
           << std::flush;
  if (example.size() != kFieldCount) {
    listing_ << "Couldn't parse a next training example.\n" << std::flush;
  }
  return example;
}

ExampleFieldMap GetNextSentencePair(const char* path) {
  if (!TrainingFILE.is_open()) {
    // A directory opens but cannot be read: it is no training file either.
    if (path && !IsDirectory(path)) {
      TrainingFILE.rdbuf()->pubsetbuf(TrainingFileBuffer,
                                      sizeof TrainingFileBuffer);
      TrainingFILE.open(path);
    }
    if (!TrainingFILE.is_open()) Fatal("Couldn't open training file.\n");
  }
  static TrainingExampleReader reader(TrainingFILE, std::cout);
  return reader.Next();
}
