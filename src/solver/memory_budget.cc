#include "solver/memory_budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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

namespace {

std::string with_thousands(std::uint64_t number) {
  const std::string digits = std::to_string(number);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string in_gigabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
  return text;
}

}  // namespace

std::string ResultTooLarge::message() const {
  return "the search stopped after " + with_thousands(solutions) +
         " solutions: the result would need at least " +
         in_gigabytes(bytes_needed) + " of memory, more than the " +
         in_gigabytes(bytes_available) +
         " this process can still get; bound it with max_solutions or "
         "timeout_seconds, or count the solutions with vorpalyx.Lexicon.count";
}

}  // namespace vorpalyx
