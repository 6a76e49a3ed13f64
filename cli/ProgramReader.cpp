#include "ProgramReader.h"

#include <new>

#include "Messages.h"

ProgramReader::ProgramReader(std::istream& in) : reader_(in, listing_) {}

bool ProgramReader::Next(ExampleRecordView& record) {
  if (EndedShort()) return false;
  try {
    return reader_.NextRecordView(record);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    // The reader's state is past trusting: nothing more is read through it.
    readFailed_ = true;
    record = ExampleRecordView();
    return false;
  }
}

std::string ProgramReader::EndMessage() const {
  if (readFailed_) return std::string(messages::kCannotReadTrainingFile);
  return messages::OverlongLineMessage(reader_.OverlongLine());
}
