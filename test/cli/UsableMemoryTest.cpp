#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstddef>
#include <map>
#include <string>

#include "ExtractOptions.h"
#include "UsableMemory.h"
#include "support/TestSupport.h"

namespace {

constexpr std::size_t kGiB = std::size_t{1} << 30;

// A job's group may be limited, or only a group above it; the memory
// controller may stand alone, share a line with others, or be the unified
// hierarchy; "max", a missing file and other controllers' lines set none.
TEST(ControlGroupLimit, IsTheLeastOnTheWayUpEitherHierarchy) {
  const std::map<std::string, std::string> files = {
      {"/sys/fs/cgroup/job/step/memory.max", "max\n"},
      {"/sys/fs/cgroup/job/memory.max", "8589934592\n"},
      {"/sys/fs/cgroup/memory/slurm/uid/memory.limit_in_bytes", "2147483648\n"},
      {"/sys/fs/cgroup/memory/slurm/memory.limit_in_bytes",
       "9223372036854771712\n"},
      {"/sys/fs/cgroup/memory/memory.limit_in_bytes", "3221225472\n"},
  };
  const auto read = [&files](const std::string& path) {
    const auto found = files.find(path);
    return found == files.end() ? std::string() : found->second;
  };
  const struct {
    const char* Membership;
    std::size_t Limit;
  } cases[] = {
      {"0::/job/step\n", 8 * kGiB},
      {"4:memory:/slurm/uid\n5:cpu,cpuacct:/x\n", 2 * kGiB},
      {"3:cpu,memory:/slurm/uid/\n", 2 * kGiB},
      {"3:cpu:/x\n", 0},
      {"4:memory:/\n", 3 * kGiB},
      {"4:memory:/slurm/other\n0::/job\n", 3 * kGiB},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ControlGroupLimit(c.Membership, read), c.Limit) << c.Membership;
  }
}

// Memory the process may not take is no default for a table: ulimit -d.
TEST(UsableMemory, DefaultTableMemoryKeepsToTheResourceLimit) {
  if (testsupport::kSanitized) {
    GTEST_SKIP() << "the sanitizer's own mappings count against the limit";
  }
  rlimit was{};
  ASSERT_EQ(::getrlimit(RLIMIT_DATA, &was), 0);
  if (was.rlim_max != RLIM_INFINITY && was.rlim_max < kGiB) {
    GTEST_SKIP() << "a limit below 1 GiB is set already";
  }
  rlimit lowered = was;
  lowered.rlim_cur = kGiB;
  ASSERT_EQ(::setrlimit(RLIMIT_DATA, &lowered), 0);
  const std::size_t usable = UsableMemory();
  const char* const argv[] = {"extract_patterns", "--count", "in.txt"};
  const ExtractOptions options = ParseExtractOptions(3, argv);
  ::setrlimit(RLIMIT_DATA, &was);
  EXPECT_LE(usable, kGiB);
  EXPECT_EQ(options.Memory, usable / 4);
}

}  // namespace
