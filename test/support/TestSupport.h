#ifndef ANNOTATOR_TEST_SUPPORT_TESTSUPPORT_H_
#define ANNOTATOR_TEST_SUPPORT_TESTSUPPORT_H_

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Under AddressSanitizer a process maps terabytes of shadow memory, which
// no limit on its memory leaves room for.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Everything `action` writes to standard output (flushed), as one string.
std::string CaptureStdout(const std::function<void()>& action);

// A path in a directory of the running test's own under ::testing::TempDir(),
// made on first use and removed with all it holds when the test ends.
std::string TempPath(const std::string& name);

// Writes `content` to `path` byte for byte, replacing the file.
void WriteFile(const std::string& path, const std::string& content);

// The bytes of the file at `path`; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// `text` with its line `line` (from 1) replaced by `replacement`; the line
// must exist.
std::string ReplaceLine(std::string text, std::size_t line,
                        const std::string& replacement);

// `text` as a Windows file holds it: every newline preceded by a CR.
std::string WindowsLineEnds(const std::string& text);

// `text` compressed as one gzip member, as gzip(1) writes it.
std::string Gzip(const std::string& text);

// True when the file exists (of any kind).
bool FileExists(const std::string& path);

// The names in directory `dir`, dot files included, sorted; empty when it
// cannot be read.
std::vector<std::string> NamesIn(const std::string& dir);

// True when `dir` is a directory that holds nothing.
bool IsEmptyDirectory(const std::string& dir);

// Whether process `pid` has a file open in `dir` (a sorted run, an output
// not yet named).
bool HoldsFileIn(pid_t pid, const std::string& dir);

// The folder of shared corpora beside the project, or "" when this clone has
// none: tests that need it skip.
std::string SharedDir();

}  // namespace testsupport

#endif  // ANNOTATOR_TEST_SUPPORT_TESTSUPPORT_H_
