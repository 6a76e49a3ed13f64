#include "TrainingExampleReader.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "records/ExitWithMessage.h"
#include "records/LegacyLimits.h"
#include "records/TrainingFile.h"
#include "text/LineReader.h"
#include "text/PutText.h"

namespace {

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

// The process-wide input: closed until the first call opens it, then read
// on until the process ends.
TrainingInput TrainingFILE;

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

struct TrainingExampleReader::Lines : LineReader {
  using LineReader::LineReader;
};

TrainingExampleReader::TrainingExampleReader(std::istream& in,
                                             std::ostream& listing)
    : listing_(listing), lines_(std::make_unique<Lines>(in)) {}

TrainingExampleReader::~TrainingExampleReader() = default;
TrainingExampleReader::TrainingExampleReader(TrainingExampleReader&&) noexcept =
    default;

inline std::string_view TrainingExampleReader::ReadLine() {
  std::string_view line;
  if (lines_->Next(line)) return line;
  if (lines_->Overlong()) {
    overlongLine_ = lines_->LineNumber();
  } else {
    ended_ = true;
  }
  return {};
}

bool TrainingExampleReader::NextRecordView(ExampleRecordView& record) {
  record = ExampleRecordView();
  // A reader moved from has no lines to read.
  if (overlongLine_ != 0 || !lines_) return false;
  bool headerMet = headerPending_;
  std::size_t headerSize = 0;  // of a header that stays in the buffer
  if (headerPending_) {
    headerPending_ = false;
    header_.swap(pendingHeader_);
    record.Header = header_;
    lines_->KeepNext();
  } else if (!ended_) {
    std::string_view line = ReadLine();
    while (!ended_ && overlongLine_ == 0 && !IsHeader(line)) {
      line = ReadLine();
    }
    if (!ended_ && overlongLine_ == 0) {
      // The header stays in the buffer with the record's lines.
      lines_->KeepFrom(line);
      headerSize = line.size();
      headerMet = true;
      ++headersMet_;
      headerLine_ = lines_->LineNumber();
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
            static_cast<std::size_t>(line.data() - lines_->Kept()),
            line.size()};
      }
      ++record.FieldCount;
    } else if (position >= kFirstTrailingLine && !ended_ &&
               overlongLine_ == 0 && IsHeader(line)) {
      // A record without its trailing lines: this is the next one's header.
      headerPending_ = true;
      pendingHeader_.assign(line);
      ++headersMet_;
      headerLine_ = lines_->LineNumber();
      break;
    }
  }
  if (headerSize > 0) {
    record.Header = std::string_view(lines_->Kept(), headerSize);
  }
  // Nothing of the record that holds an over-long line is kept.
  if (overlongLine_ != 0) record = ExampleRecordView();
  std::size_t field = 0;
  for (std::size_t position = 0; position < kPositions.size(); ++position) {
    if (!kPositions[position]) continue;
    // A read that found nothing gave an empty line, wherever it stood.
    if (field++ < record.FieldCount && places[position].second > 0) {
      record.*kPositions[position] = std::string_view(
          lines_->Kept() + places[position].first, places[position].second);
    }
  }
  lines_->Release();
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
  if (overlongLine_ != 0 || !lines_) return {};
  std::string listing;
  AppendReaderListing(record_, listing);
  listing_ << listing << std::flush;
  return record_.ToMap();
}

ExampleFieldMap GetNextSentencePair(const char* path) {
  if (!TrainingFILE.IsOpen() && !TrainingFILE.Open(path)) {
    ExitWithMessage("Couldn't open training file.\n");
  }
  static TrainingExampleReader reader(TrainingFILE.Stream(), std::cout);
  static ExampleRecord record;
  reader.NextRecord(record);
  // A file whose read failed is not taken as ended there, nor one cut short
  // by an over-long line; neither lists the record it stopped in.
  if (TrainingFILE.ReadFailed()) {
    ExitWithMessage("Couldn't read training file.\n");
  }
  if (reader.OverlongLine() != 0) {
    ExitWithMessage(OverlongLineMessage(reader.OverlongLine()));
  }
  std::string listing;
  AppendReaderListing(record, listing);
  std::cout << listing << std::flush;
  return record.ToMap();
}

std::string OverlongLineMessage(std::size_t line) {
  return Status::OverlongLine(line).Message() + "\n";
}
