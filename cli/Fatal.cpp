#include "Fatal.h"

#include "ExitWithMessage.h"

// The programs end on an error exactly as the library's exiting calls do, so
// both share one way of ordering the listing before the message.
void Fatal(std::string_view message) { ExitWithMessage(message); }
