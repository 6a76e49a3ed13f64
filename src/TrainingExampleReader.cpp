#include "TrainingExampleReader.h"

#include <fstream>
#include <iostream>

#include "ExitWithMessage.h"
#include "LegacyLimits.h"
#include "TrainingFile.h"

namespace {

// The line buffer, terminating null included.
constexpr std::streamsize kLineBuffer = kLongestLine + 1;

// Positions 2 to 10 of a record; nullptr marks a line that is read and
// dropped.
constexpr std::array<std::string ExampleRecord::*, 9> kPositions = {
    &ExampleRecord::SL,
    &ExampleRecord::TL,
    &ExampleRecord::Alignment,
    &ExampleRecord::Type,
    nullptr,
    &ExampleRecord::CStructure,
    &ExampleRecord::ConstSeq,
    nullptr,
    nullptr};
constexpr std::size_t kFieldCount = 6;
// From this index on, a dropped line may be the next record's header.
constexpr std::size_t kFirstTrailingLine = 7;

// The fields in the order of their keys, which is the order they are listed.
struct KeyedField {
  std::string_view Key;
  std::size_t Position;  // in record order, from 0
  std::string ExampleRecord::*Field;
};
constexpr std::array<KeyedField, kFieldCount> kByKey = {{
    {"Alignment", 2, &ExampleRecord::Alignment},
    {"C-Structure", 4, &ExampleRecord::CStructure},
    {"ConstSeq", 5, &ExampleRecord::ConstSeq},
    {"SL", 0, &ExampleRecord::SL},
    {"TL", 1, &ExampleRecord::TL},
    {"Type", 3, &ExampleRecord::Type},
}};

bool IsHeader(std::string_view line) {
  return line.find(kRecordHeaderMark) != std::string_view::npos;
}

// The process-wide input stream: closed until the first call opens it, then
// read on until the process ends.
std::ifstream TrainingFILE;
char TrainingFileBuffer[1 << 16];

// Empties the fields but keeps their storage for the next record.
void ClearRecord(ExampleRecord& record) {
  for (std::string ExampleRecord::*field : kPositions) {
    if (field) (record.*field).clear();
  }
  record.FieldCount = 0;
  record.Header.clear();
  record.Number = 0;
  record.HeaderLine = 0;
}

}  // namespace

ExampleFieldMap ExampleRecord::ToMap() const {
  ExampleFieldMap map;
  for (const KeyedField& field : kByKey) {
    if (field.Position < FieldCount) {
      map.emplace_hint(map.end(), field.Key, this->*field.Field);
    }
  }
  return map;
}

void AppendReaderListing(const ExampleRecord& record, std::string& listing) {
  listing += "Now handling the following training example:\n";
  for (const KeyedField& field : kByKey) {
    if (field.Position >= record.FieldCount) continue;
    listing += field.Key;
    listing += '\t';
    listing += record.*field.Field;
    listing += '\n';
  }
  listing += "End printing training example.\n\n";
  if (!record.Complete()) {
    listing += "Couldn't parse a next training example.\n";
  }
}

TrainingExampleReader::TrainingExampleReader(std::istream& in,
                                             std::ostream& listing)
    : in_(in), listing_(listing), buffer_(new char[kLineBuffer]) {}

std::string_view TrainingExampleReader::ReadLine() {
  in_.getline(buffer_.get(), kLineBuffer);
  std::size_t length = static_cast<std::size_t>(in_.gcount());
  if (length == 0 && in_.fail()) return {};
  ++linesRead_;
  // A full buffer with neither a line end nor the end of input behind it,
  // unless that line end is a Windows one: its CR is no part of the line.
  if (in_.fail() && !in_.eof()) {
    in_.clear();
    if (in_.get() == '\r' && in_.peek() == '\n') {
      in_.get();
      return {buffer_.get(), length};
    }
    in_.setstate(std::ios::failbit);
    overlongLine_ = linesRead_;
    return {};
  }
  // gcount counts the newline when one was taken; only a read that neither
  // hit the end nor failed took one. A CR right before it belongs to the
  // line end, so a Windows file reads as its Unix twin; any other CR is an
  // ordinary character.
  if (length > 0 && in_.good()) {
    --length;
    if (length > 0 && buffer_[length - 1] == '\r') --length;
  }
  return {buffer_.get(), length};
}

bool TrainingExampleReader::NextRecord(ExampleRecord& record) {
  ClearRecord(record);
  if (overlongLine_ != 0) return false;
  bool headerMet = headerPending_;
  if (headerPending_) {
    headerPending_ = false;
    record.Header.swap(pendingHeader_);
  } else if (!in_.fail()) {
    std::string_view line = ReadLine();
    while (!in_.fail() && !IsHeader(line)) line = ReadLine();
    if (!in_.fail()) {
      record.Header.assign(line);
      headerMet = true;
      ++headersMet_;
      headerLine_ = linesRead_;
    }
  }
  if (headerMet) {
    record.Number = headersMet_;
    record.HeaderLine = headerLine_;
  }

  for (std::size_t position = 0; position < kPositions.size(); ++position) {
    // The test comes before the read: the read that fails still enters its
    // key, and every later position is skipped.
    if (in_.fail()) break;
    const std::string_view line = ReadLine();
    if (kPositions[position]) {
      (record.*kPositions[position]).assign(line);
      ++record.FieldCount;
    } else if (position >= kFirstTrailingLine && !in_.fail() &&
               IsHeader(line)) {
      // A record without its trailing lines: this is the next one's header.
      headerPending_ = true;
      pendingHeader_.assign(line);
      ++headersMet_;
      headerLine_ = linesRead_;
      break;
    }
  }
  // Nothing of the record that holds an over-long line is kept.
  if (overlongLine_ != 0) ClearRecord(record);
  return record.Complete();
}

Status TrainingExampleReader::ReadStatus() const {
  if (overlongLine_ == 0) return Status();
  Status status = Status::OverlongLine(overlongLine_);
  status.Record = headersMet_;
  return status;
}

ExampleFieldMap TrainingExampleReader::Next() {
  NextRecord(record_);
  if (overlongLine_ != 0) return {};
  std::string listing;
  AppendReaderListing(record_, listing);
  listing_ << listing << std::flush;
  return record_.ToMap();
}

ExampleFieldMap GetNextSentencePair(const char* path) {
  if (!TrainingFILE.is_open()) {
    TrainingFILE.rdbuf()->pubsetbuf(TrainingFileBuffer,
                                    sizeof TrainingFileBuffer);
    if (!OpenTrainingFile(TrainingFILE, path)) {
      ExitWithMessage("Couldn't open training file.\n");
    }
  }
  static TrainingExampleReader reader(TrainingFILE, std::cout);
  ExampleFieldMap example = reader.Next();
  // Going on would read a file cut short as if it had ended there.
  if (reader.OverlongLine() != 0) {
    ExitWithMessage(OverlongLineMessage(reader.OverlongLine()));
  }
  return example;
}

std::string OverlongLineMessage(std::size_t line) {
  return Status::OverlongLine(line).Message() + "\n";
}
