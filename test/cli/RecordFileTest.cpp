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
    std::size_t WholeUnits;  // after the flush
  };
  const BatchCase cases[] = {
      {"bound 0", 0, {"aaa", "bb"}, "", 0, "aaabb", "aaabb", true, 2},
      {"below bound", 8, {"aaa", "bb"}, "", 0, "", "aaabb", true, 2},
      {"at bound", 6, {"aaa", "bb", "c"}, "", 0, "aaabbc", "aaabbc", true, 3},
      {"unended unit", 100, {"aaa"}, "xx", 0, "", "aaa", true, 1},
      // The kernel takes 7 bytes: all of the first two units.
      {"limit in 3rd",
       100,
       {"aaa", "bb", "cccc"},
       "",
       7,
       "",
       "aaabb",
       false,
       2},
      {"limit in 1st", 100, {"aaa", "bb"}, "", 2, "", "", false, 0},
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
    // The count a caller takes to find the unit that failed.
    EXPECT_EQ(file.WholeUnits(), c.WholeUnits);
    // Nothing may follow a cut: a later unit would stand after a gap.
    EXPECT_EQ(file.Append("later") && file.Flush(), c.Flushed);
    // (The unended bytes begin the unit that Append ends.)
    EXPECT_EQ(ReadFile(path),
              c.AfterFlush + (c.Flushed ? c.Unended + "later" : ""));
  }
}

}  // namespace
