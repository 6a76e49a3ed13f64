#include "ProgramReader.h"

#include "Messages.h"

ProgramReader::ProgramReader(TrainingInput& in)
    : in_(in), reader_(in.Stream(), listing_) {}

bool ProgramReader::Next(ExampleRecordView& record) {
  if (EndedShort()) return false;
  const bool complete = reader_.NextRecordView(record);
  // A failed read looks like the end of the input to the reader: the
  // record it cut short, maybe in the middle of a line, is not taken.
  if (in_.ReadFailed()) {
    record = ExampleRecordView();
    return false;
  }
  return complete;
}

std::string ProgramReader::EndMessage() const {
  if (in_.ReadFailed()) return std::string(messages::kCannotReadTrainingFile);
  return messages::OverlongLineMessage(reader_.OverlongLine());
}

std::string ProgramReader::EndMessage(const char* path) const {
  if (in_.ReadFailed()) {
    return messages::FileFailed("read", "training file", path,
                                in_.ReadReason());
  }
  return EndMessage();
}
