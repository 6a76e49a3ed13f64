#ifndef ANNOTATOR_USABLEMEMORY_H_
#define ANNOTATOR_USABLEMEMORY_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// The memory this process may use: the machine's, or less where a resource
// limit (ulimit -v or -d) or the memory controller of its control group
// says less, as a batch scheduler sets one for each job. A table sized to
// the machine alone would be killed there, not spilled. 0 when nothing
// tells.
std::size_t UsableMemory();

// The least memory limit of the control group that `membership` (the text
// of /proc/self/cgroup) places the process in, and of every group above it,
// for the unified hierarchy and for a separate memory one: `read` gives a
// file's text, "" where it cannot be read. 0 for no limit.
std::size_t ControlGroupLimit(
    std::string_view membership,
    const std::function<std::string(const std::string&)>& read);

#endif  // ANNOTATOR_USABLEMEMORY_H_
