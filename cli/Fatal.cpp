#include "Fatal.h"

#include <unistd.h>

#include <cerrno>

#include "Messages.h"
#include "RecordFile.h"
#include "records/ExitWithMessage.h"

// The programs end on an error exactly as the library's exiting calls do, so
// both share one way of ordering the listing before the message.
void Fatal(std::string_view message) { ExitWithMessage(message); }

void Say(std::string_view text) {
  if (!WriteWhole(STDOUT_FILENO, text)) {
    Fatal(messages::CannotWriteOutFile(nullptr, errno));
  }
}
