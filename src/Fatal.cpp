#include "Fatal.h"

#include <cstdio>
#include <cstdlib>

void Fatal(std::string_view message) {
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fflush(stderr);
  std::exit(1);
}
