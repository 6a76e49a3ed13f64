#include "UsableMemory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

// A limit file's number; 0 for "max", nothing or anything else.
std::size_t LimitIn(const std::string& text) {
  std::size_t value = 0;
  std::size_t at = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const auto digit = static_cast<std::size_t>(text[at] - '0');
    if (value > (static_cast<std::size_t>(-1) - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return at > 0 && (at == text.size() || text[at] == '\n') ? value : 0;
}

// The lesser of two limits, 0 standing for none.
std::size_t Least(std::size_t a, std::size_t b) {
  return a == 0 ? b : b == 0 ? a : std::min(a, b);
}

std::string FileText(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

std::size_t ControlGroupLimit(
    std::string_view membership,
    const std::function<std::string(const std::string&)>& read) {
  std::size_t least = 0;
  while (!membership.empty()) {
    const std::size_t end = std::min(membership.find('\n'), membership.size());
    const std::string_view line = membership.substr(0, end);
    membership.remove_prefix(std::min(end + 1, membership.size()));
    // "ID:CONTROLLERS:PATH"; the unified hierarchy names no controller.
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) {
      continue;
    }
    const std::string_view controllers =
        line.substr(first + 1, second - first - 1);
    std::string root;
    std::string file;
    if (controllers.empty()) {
      root = "/sys/fs/cgroup";
      file = "/memory.max";
    } else if (("," + std::string(controllers) + ",").find(",memory,") !=
               std::string::npos) {
      root = "/sys/fs/cgroup/memory";
      file = "/memory.limit_in_bytes";
    } else {
      continue;
    }
    // A group holds no more than the groups above it allow.
    std::string path(line.substr(second + 1));
    for (;;) {
      while (!path.empty() && path.back() == '/') path.pop_back();
      std::string limit = root;
      limit.append(path).append(file);
      least = Least(least, LimitIn(read(limit)));
      const std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) break;
      path.resize(slash);
    }
  }
  return least;
}

std::size_t UsableMemory() {
  std::size_t least = 0;
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) {
    least =
        static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
  }
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      least = Least(least, static_cast<std::size_t>(limit.rlim_cur));
    }
  }
  return Least(least,
               ControlGroupLimit(FileText("/proc/self/cgroup"), FileText));
}
