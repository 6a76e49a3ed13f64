#include "TrainingExampleReader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>

#include "records/ExitWithMessage.h"
#include "records/LegacyLimits.h"
#include "records/TrainingFile.h"
#include "text/PutText.h"
#include "text/ReadAtHand.h"

namespace {

// The buffer holds a record of ten lines of the longest kind and the
// look-ahead for one more.
constexpr std::size_t kReadAhead = 2 << 20;
// Input is taken in pieces of at most this size, small enough that the
// bytes read are still in the processor's cache when they are used.
constexpr std::size_t kReadSize = 256 << 10;
constexpr std::size_t kNothingKept = static_cast<std::size_t>(-1);

// Positions 2 to 10 of a record; nullptr marks a line that is read and
// dropped.
constexpr std::array<std::string_view ExampleRecordView::*, 9> kPositions = {
    &ExampleRecordView::SL,
    &ExampleRecordView::TL,
    &ExampleRecordView::Alignment,
    &ExampleRecordView::Type,
    nullptr,
    &ExampleRecordView::CStructure,
    &ExampleRecordView::ConstSeq,
    nullptr,
    nullptr};
// The same fields of an ExampleRecord, in record order.
constexpr std::array<std::string ExampleRecord::*, 6> kFields = {
    &ExampleRecord::SL,   &ExampleRecord::TL,         &ExampleRecord::Alignment,
    &ExampleRecord::Type, &ExampleRecord::CStructure, &ExampleRecord::ConstSeq};
constexpr std::size_t kFieldCount = 6;
// From this index on, a dropped line may be the next record's header.
constexpr std::size_t kFirstTrailingLine = 7;

// The fields in the order of their keys, which is the order they are listed.
struct KeyedField {
  std::string_view Key;
  std::size_t Position;  // in record order, from 0
  std::string_view ExampleRecordView::*Field;
};
constexpr std::array<KeyedField, kFieldCount> kByKey = {{
    {"Alignment", 2, &ExampleRecordView::Alignment},
    {"C-Structure", 4, &ExampleRecordView::CStructure},
    {"ConstSeq", 5, &ExampleRecordView::ConstSeq},
    {"SL", 0, &ExampleRecordView::SL},
    {"TL", 1, &ExampleRecordView::TL},
    {"Type", 3, &ExampleRecordView::Type},
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
  for (std::string ExampleRecord::*field : kFields) (record.*field).clear();
  record.FieldCount = 0;
  record.Header.clear();
  record.Number = 0;
  record.HeaderLine = 0;
}

}  // namespace

ExampleFieldMap ExampleRecord::ToMap() const {
  const ExampleRecordView view = View();
  ExampleFieldMap map;
  for (const KeyedField& field : kByKey) {
    if (field.Position < FieldCount) {
      map.emplace_hint(map.end(), field.Key, view.*field.Field);
    }
  }
  return map;
}

void AppendReaderListing(const ExampleRecordView& record,
                         std::string& listing) {
  constexpr std::string_view kOpening =
      "Now handling the following training example:\n";
  constexpr std::string_view kClosing = "End printing training example.\n\n";
  constexpr std::string_view kNoNext =
      "Couldn't parse a next training example.\n";
  // Sized first and filled in place: a listing takes twice the input's
  // bytes, and an append per piece costs more than the bytes it copies.
  std::size_t size = kOpening.size() + kClosing.size();
  if (!record.Complete()) size += kNoNext.size();
  for (const KeyedField& field : kByKey) {
    if (field.Position < record.FieldCount) {
      size += field.Key.size() + (record.*field.Field).size() + 2;
    }
  }
  const std::size_t start = listing.size();
  listing.resize(start + size);
  char* out = PutText(&listing[start], kOpening);
  for (const KeyedField& field : kByKey) {
    if (field.Position >= record.FieldCount) continue;
    out = PutText(out, field.Key);
    *out++ = '\t';
    out = PutText(out, record.*field.Field);
    *out++ = '\n';
  }
  out = PutText(out, kClosing);
  if (!record.Complete()) PutText(out, kNoNext);
}

void AppendReaderListing(const ExampleRecord& record, std::string& listing) {
  AppendReaderListing(record.View(), listing);
}

TrainingExampleReader::TrainingExampleReader(std::istream& in,
                                             std::ostream& listing)
    : in_(in), listing_(listing), buffer_(new char[kReadAhead]) {}

// Most lines stand whole in the buffer: that case is kept small enough to be
// inlined where records are read, and the rest goes the long way.
inline std::string_view TrainingExampleReader::ReadLine() {
  const char* line = buffer_.get() + unread_;
  const std::size_t held = filled_ - unread_;
  const void* newline =
      std::memchr(line, '\n', std::min(held, kLongestLine + 1));
  if (!newline) return ReadLineAcrossReads();
  return TakeLine(static_cast<const char*>(newline));
}

inline std::string_view TrainingExampleReader::TakeLine(const char* newline) {
  const char* line = buffer_.get() + unread_;
  std::size_t length = static_cast<std::size_t>(newline - line);
  unread_ += length + 1;
  ++linesRead_;
  // A CR right before the newline belongs to the line end, so a Windows
  // file reads as its Unix twin; any other CR is an ordinary character.
  if (length > 0 && line[length - 1] == '\r') --length;
  return {line, length};
}

std::string_view TrainingExampleReader::ReadLineAcrossReads() {
  for (;;) {
    const char* line = buffer_.get() + unread_;
    const std::size_t held = filled_ - unread_;
    // The line end of a line that may be read stands within its first
    // 100,001 bytes: 99,999, the CR of a Windows line end, the newline.
    const void* newline =
        std::memchr(line, '\n', std::min(held, kLongestLine + 2));
    if (newline) {
      const std::string_view taken =
          TakeLine(static_cast<const char*>(newline));
      if (taken.size() > kLongestLine) {
        overlongLine_ = linesRead_;
        return {};
      }
      return taken;
    }
    if (held > kLongestLine + 1) {
      ++linesRead_;
      overlongLine_ = linesRead_;
      return {};
    }
    if (inputDone_) {
      if (held == 0) {
        ended_ = true;
        return {};
      }
      // The last line, without a line end.
      unread_ = filled_;
      ++linesRead_;
      if (held > kLongestLine) {
        overlongLine_ = linesRead_;
        return {};
      }
      return {line, held};
    }
    // The line goes on past what is held: keep its start, and the lines of
    // the record it belongs to, and read on.
    const std::size_t keep = std::min(unread_, keepFrom_);
    std::memmove(buffer_.get(), buffer_.get() + keep, filled_ - keep);
    filled_ -= keep;
    unread_ -= keep;
    if (keepFrom_ != kNothingKept) keepFrom_ -= keep;
    const std::size_t got =
        ReadAtHand(in_, buffer_.get() + filled_,
                   std::min(kReadAhead - filled_, kReadSize));
    if (got == 0) {
      inputDone_ = true;
    } else {
      filled_ += got;
    }
  }
}

bool TrainingExampleReader::NextRecordView(ExampleRecordView& record) {
  record = ExampleRecordView();
  if (overlongLine_ != 0) return false;
  bool headerMet = headerPending_;
  std::size_t headerSize = 0;  // of a header that stays in the buffer
  if (headerPending_) {
    headerPending_ = false;
    header_.swap(pendingHeader_);
    record.Header = header_;
    keepFrom_ = unread_;
  } else if (!ended_) {
    std::string_view line = ReadLine();
    while (!ended_ && overlongLine_ == 0 && !IsHeader(line)) {
      line = ReadLine();
    }
    if (!ended_ && overlongLine_ == 0) {
      // The header stays in the buffer with the record's lines.
      keepFrom_ = static_cast<std::size_t>(line.data() - buffer_.get());
      headerSize = line.size();
      headerMet = true;
      ++headersMet_;
      headerLine_ = linesRead_;
    }
  }
  if (headerMet) {
    record.Number = headersMet_;
    record.HeaderLine = headerLine_;
  }

  // The fields' places, counted from the record's first line: reading on
  // may move the lines in the buffer, but never apart.
  std::array<std::pair<std::size_t, std::size_t>, 9> places{};
  for (std::size_t position = 0; position < kPositions.size(); ++position) {
    // The test comes before the read: the read that fails still enters its
    // key, and every later position is skipped.
    if (ended_ || overlongLine_ != 0) break;
    const std::string_view line = ReadLine();
    if (kPositions[position]) {
      if (!line.empty()) {
        places[position] = {
            static_cast<std::size_t>(line.data() - buffer_.get()) - keepFrom_,
            line.size()};
      }
      ++record.FieldCount;
    } else if (position >= kFirstTrailingLine && !ended_ &&
               overlongLine_ == 0 && IsHeader(line)) {
      // A record without its trailing lines: this is the next one's header.
      headerPending_ = true;
      pendingHeader_.assign(line);
      ++headersMet_;
      headerLine_ = linesRead_;
      break;
    }
  }
  if (headerSize > 0) {
    record.Header = std::string_view(buffer_.get() + keepFrom_, headerSize);
  }
  // Nothing of the record that holds an over-long line is kept.
  if (overlongLine_ != 0) record = ExampleRecordView();
  std::size_t field = 0;
  for (std::size_t position = 0; position < kPositions.size(); ++position) {
    if (!kPositions[position]) continue;
    // A read that found nothing gave an empty line, wherever it stood.
    if (field++ < record.FieldCount && places[position].second > 0) {
      record.*kPositions[position] =
          std::string_view(buffer_.get() + keepFrom_ + places[position].first,
                           places[position].second);
    }
  }
  keepFrom_ = kNothingKept;
  return record.Complete();
}

bool TrainingExampleReader::NextRecord(ExampleRecord& record) {
  ExampleRecordView view;
  NextRecordView(view);
  ClearRecord(record);
  record.FieldCount = view.FieldCount;
  record.Number = view.Number;
  record.HeaderLine = view.HeaderLine;
  record.Header.assign(view.Header);
  std::size_t field = 0;
  for (std::string_view ExampleRecordView::*position : kPositions) {
    if (position) (record.*kFields[field++]).assign(view.*position);
  }
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
