#include "Status.h"

#include <string>

StatusFamily Status::Family() const {
  switch (Code) {
    case StatusCode::kOk:
      return StatusFamily::kNone;
    case StatusCode::kMalformedCStructure:
    case StatusCode::kOverlongLine:
      return StatusFamily::kFormat;
    case StatusCode::kTLPositionBeyondSentence:
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
      return "Line " + std::to_string(Line) +
             " of the training file is longer than 99,999 bytes.";
    case StatusCode::kTLPositionBeyondSentence:
      return "TL Index " + std::to_string(Position) +
             " exceeds TL sentence length.";
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
