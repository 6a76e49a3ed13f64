#include "Status.h"

#include <string>
#include <utility>

#include "text/NumberText.h"

StatusFamily Status::Family() const {
  switch (Code) {
    case StatusCode::kOk:
      return StatusFamily::kNone;
    case StatusCode::kMalformedCStructure:
    case StatusCode::kOverlongLine:
    case StatusCode::kMalformedSentence:
      return StatusFamily::kFormat;
    case StatusCode::kTLPositionBeyondSentence:
    case StatusCode::kMalformedLink:
      return StatusFamily::kAlignment;
  }
  return StatusFamily::kNone;
}

std::string Status::Message() const {
  switch (Code) {
    case StatusCode::kOk:
      return "";
    case StatusCode::kMalformedCStructure:
      return "malformed C-structure: " + Text;
    case StatusCode::kOverlongLine:
      return "Line " + Decimal(Line) +
             " of the training file is longer than 99,999 bytes.";
    case StatusCode::kTLPositionBeyondSentence:
      return "TL Index " + Decimal(Position) + " exceeds TL sentence length.";
    case StatusCode::kMalformedSentence:
    case StatusCode::kMalformedLink:
      return Record == 0 ? Text
                         : "Sentence " + Decimal(Record) + ": " + Text + ".";
  }
  return "";
}

Status Status::MalformedCStructure(std::string_view text) {
  Status status;
  status.Code = StatusCode::kMalformedCStructure;
  status.Text.assign(text);
  return status;
}

Status Status::OverlongLine(std::size_t line) {
  Status status;
  status.Code = StatusCode::kOverlongLine;
  status.Line = line;
  return status;
}

Status Status::TLPositionBeyondSentence(int position) {
  Status status;
  status.Code = StatusCode::kTLPositionBeyondSentence;
  status.Position = position;
  return status;
}

Status Status::SentenceFailure(StatusCode code, std::string reason,
                               std::size_t sentence) {
  Status status;
  status.Code = code;
  status.Text = std::move(reason);
  status.Record = sentence;
  return status;
}
