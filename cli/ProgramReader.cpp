#include "ProgramReader.h"

#include "Messages.h"

ProgramReader::ProgramReader(TrainingInput& in)
    : in_(in), reader_(in.Stream(), listing_) {}

bool ProgramReader::Next(ExampleRecordView& record) {
  if (!started_) {
    started_ = true;
    // Judged by what the first read brings: blank lines are an empty
    // corpus, as between records they are nothing.
    using Traits = std::streambuf::traits_type;
    heldText_ =
        !Traits::eq_int_type(in_.Stream().rdbuf()->sgetc(), Traits::eof()) &&
        in_.AtHand().find_first_not_of(" \t\r\n") != std::string_view::npos;
  }
  if (EndedShort()) return false;
  const bool complete = reader_.NextRecordView(record);
  // A failed read looks like the end of the input to the reader: the
  // record it cut short, maybe in the middle of a line, is not taken.
  if (in_.ReadFailed()) {
    record = ExampleRecordView();
    return false;
  }
  if (complete) ++records_;
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

std::string ProgramReader::Refusal(const char* path) const {
  if (EndedShort()) return EndMessage(path);
  if (heldText_ && records_ == 0) return messages::HoldsNoTrainingExample(path);
  return "";
}
