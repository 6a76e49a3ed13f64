#include "support/TestSupport.h"

#include <dirent.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace testsupport {

namespace {

// The directory that holds the running test's files; empty until a test
// asks for one.
std::string ScratchDir;

int RemoveEntry(const char* path, const struct stat* /*info*/, int /*type*/,
                struct FTW* /*where*/) {
  std::remove(path);
  return 0;
}

void RemoveScratchDir() {
  if (ScratchDir.empty()) return;
  // Depth first and without following links: a test's symbolic link to its
  // own file goes, not what it names.
  ::nftw(ScratchDir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  ScratchDir.clear();
}

// Every test's files go with it, passed or failed, so that runs leave
// nothing in $TMPDIR. Only the process that ran the test removes them: a
// death test's child ends without reaching here.
class ScratchCleaner : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo& /*info*/) override {
    RemoveScratchDir();
  }
  void OnTestProgramEnd(const ::testing::UnitTest& /*test*/) override {
    RemoveScratchDir();
  }
};

// Registered while the program starts, before gtest_main runs the tests.
const bool kCleanerRegistered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ScratchCleaner);
  return true;
}();

}  // namespace

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
  if (ScratchDir.empty()) {
    std::string pattern = ::testing::TempDir() + prefix + "XXXXXX";
    std::vector<char> writable(pattern.begin(), pattern.end());
    writable.push_back('\0');
    if (::mkdtemp(writable.data()) == nullptr) {
      ADD_FAILURE() << "cannot make a directory like " << pattern;
      return ::testing::TempDir() + prefix + name;
    }
    ScratchDir = writable.data();
  }
  return ScratchDir + "/" + name;
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

std::string Gzip(const std::string& text) {
  z_stream stream{};
  // 16 + 15: a gzip wrapper around the largest window.
  EXPECT_EQ(deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED,
                         16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY),
            Z_OK);
  std::string packed(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(&packed[0]);
  stream.avail_out = static_cast<uInt>(packed.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  packed.resize(stream.total_out);
  deflateEnd(&stream);
  return packed;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  DIR* const listing = ::opendir(dir.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsEmptyDirectory(const std::string& dir) {
  struct stat info;
  return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         NamesIn(dir).empty();
}

bool HoldsFileIn(pid_t pid, const std::string& dir) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* const listing = ::opendir(fds.c_str());
  if (!listing) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(listing)) {
    char target[4096];
    const ssize_t size = ::readlink((fds + "/" + entry->d_name).c_str(), target,
                                    sizeof target - 1);
    if (size > 0 && std::string(target, size).rfind(dir + "/", 0) == 0) {
      found = true;
    }
  }
  ::closedir(listing);
  return found;
}

std::string SharedDir() {
  const std::string dir = ANNOTATOR_SHARED_DIR;
  return FileExists(dir + "/realdata/treebank-records.txt") ? dir : "";
}

}  // namespace testsupport
