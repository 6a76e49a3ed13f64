#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace testsupport {

std::string CaptureStdout(const std::function<void()>& action) {
  std::cout.flush();
  std::fflush(stdout);
  ::testing::internal::CaptureStdout();
  action();
  std::cout.flush();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

std::string TempPath(const std::string& name) {
  const ::testing::TestInfo* info =
      ::testing::UnitTest::GetInstance()->current_test_info();
  std::string prefix =
      info ? std::string(info->test_suite_name()) + "." + info->name() + "."
           : std::string();
  for (char& c : prefix) {
    if (c == '/') c = '_';
  }
  return ::testing::TempDir() + prefix + name;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  // In bulk: tests read files of tens of megabytes in unoptimised builds.
  std::ostringstream bytes;
  if (in) bytes << in.rdbuf();
  return std::move(bytes).str();
}

std::string ReplaceLine(std::string text, std::size_t line,
                        const std::string& replacement) {
  std::size_t begin = 0;
  for (std::size_t n = 1; n < line; ++n) begin = text.find('\n', begin) + 1;
  return text.replace(begin, text.find('\n', begin) - begin, replacement);
}

std::string WindowsLineEnds(const std::string& text) {
  std::string windows;
  for (char c : text) {
    if (c == '\n') windows += '\r';
    windows += c;
  }
  return windows;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::string SharedDir() {
  const std::string dir = ANNOTATOR_SHARED_DIR;
  return FileExists(dir + "/realdata/treebank-records.txt") ? dir : "";
}

}  // namespace testsupport
