#include "records/ExitWithMessage.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

void ExitWithMessage(std::string_view message) {
  // What the listing holds so far comes before the message, also where both
  // streams share one terminal or file.
  std::cout.flush();
  std::fflush(stdout);
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fflush(stderr);
  std::exit(1);
}
