#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "RecordFile.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempPath;

// Lowers this process's file-size limit to `bytes` (0: leaves it) and makes
// a write beyond it fail instead of raising SIGXFSZ, until it goes away.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : active_(bytes != 0) {
    if (!active_) return;
    savedSignal_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    if (!active_) return;
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, savedSignal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  bool active_;
  rlimit saved_{};
  void (*savedSignal_)(int) = SIG_DFL;
};

TEST(RecordFile,
     WritesWholeUnitsAtTheBoundAndCutsAFailedBatchToItsLastWholeUnit) {
  struct BatchCase {
    const char* Name;
    std::size_t Bound;
    std::vector<std::string> Units;
    std::string Unended;   // built in Buffer() but never ended
    rlim_t FileSizeLimit;  // 0: none
    std::string BeforeFlush;
    std::string AfterFlush;
    bool Flushed;
  };
  const BatchCase cases[] = {
      {"bound 0 writes each unit",
       0,
       {"aaaa", "bbb"},
       "",
       0,
       "aaaabbb",
       "aaaabbb",
       true},
      {"below the bound waits for Flush",
       8,
       {"aaaa", "bbb"},
       "",
       0,
       "",
       "aaaabbb",
       true},
      {"reaching the bound flushes",
       8,
       {"aaaa", "bbb", "c"},
       "",
       0,
       "aaaabbbc",
       "aaaabbbc",
       true},
      {"an unended unit never leaves",
       100,
       {"aaaa"},
       "xx",
       0,
       "",
       "aaaa",
       true},
      {"a limit inside the third unit keeps two",
       100,
       {"aaaa", "bbb", "ccccc"},
       "",
       9,
       "",
       "aaaabbb",
       false},
      {"a limit inside the first unit keeps none",
       100,
       {"aaaa", "bbb"},
       "",
       2,
       "",
       "",
       false},
  };
  const std::string path = TempPath("out.txt");
  for (const BatchCase& c : cases) {
    SCOPED_TRACE(c.Name);
    RecordFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    file.SetFlushBound(c.Bound);
    bool flushed = false;
    {
      const FileSizeLimit limit(c.FileSizeLimit);
      for (const std::string& unit : c.Units) EXPECT_TRUE(file.Append(unit));
      file.Buffer() += c.Unended;
      EXPECT_EQ(ReadFile(path), c.BeforeFlush);
      flushed = file.Flush();
    }
    EXPECT_EQ(flushed, c.Flushed);
    EXPECT_EQ(ReadFile(path), c.AfterFlush);
    // Nothing may follow a cut: a later unit would stand after a gap.
    EXPECT_EQ(file.Append("later") && file.Flush(), c.Flushed);
  }
}

}  // namespace
