#include "solver/memory_budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <string>

namespace vorpalyx {
namespace {

constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

std::uint64_t read_number(const std::string& path) {
  std::ifstream file(path);
  std::string text;
  if (!(file >> text) || text == "max") return kUnknown;
  try {
    return std::stoull(text);
  } catch (...) {
    return kUnknown;
  }
}

std::uint64_t address_space_left() {
  rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return kUnknown;
  }
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  if (!(statm >> pages)) return kUnknown;
  const std::uint64_t size = pages * static_cast<std::uint64_t>(getpagesize());
  return limit.rlim_cur > size ? limit.rlim_cur - size : 0;
}

std::uint64_t system_available() {
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  std::uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> name >> kilobytes >> unit) {
    if (name == "MemAvailable:") return kilobytes * 1024;
  }
  return kUnknown;
}

std::uint64_t cgroup_left() {
  // cgroup v2: "0::/path" names the process's group.
  std::ifstream cgroup("/proc/self/cgroup");
  std::string line;
  while (std::getline(cgroup, line)) {
    if (line.rfind("0::", 0) != 0) continue;
    const std::string dir = "/sys/fs/cgroup" + line.substr(3);
    const std::uint64_t limit = read_number(dir + "/memory.max");
    const std::uint64_t used = read_number(dir + "/memory.current");
    if (limit == kUnknown || used == kUnknown) return kUnknown;
    return limit > used ? limit - used : 0;
  }
  return kUnknown;
}

}  // namespace

std::uint64_t available_memory_bytes() {
  return std::min({address_space_left(), system_available(), cgroup_left()});
}

}  // namespace vorpalyx
