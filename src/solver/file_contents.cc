#include "solver/file_contents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>

namespace vorpalyx {
namespace {

class ClosingDescriptor {
 public:
  explicit ClosingDescriptor(int file_descriptor)
      : file_descriptor_(file_descriptor) {}
  ClosingDescriptor(const ClosingDescriptor&) = delete;
  ClosingDescriptor& operator=(const ClosingDescriptor&) = delete;
  ~ClosingDescriptor() { ::close(file_descriptor_); }

 private:
  int file_descriptor_;
};

}  // namespace

int read_file_contents(const std::string& path, std::string* contents,
                       const InterruptPoll* poll) {
  contents->clear();
  int file_descriptor;
  while ((file_descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
    // A signal may end the wait for a pipe's writer; what it asks for is
    // the poll's to tell, and without a poll the caller hears of it.
    if (errno != EINTR || poll == nullptr || !poll->interrupted) return errno;
    if (poll->interrupted()) throw SearchInterrupted();
  }
  const ClosingDescriptor closing(file_descriptor);
  struct stat status;
  if (::fstat(file_descriptor, &status) == 0 && status.st_size > 0) {
    contents->reserve(static_cast<std::size_t>(status.st_size));
  }
  char buffer[1 << 16];
  const bool polled = poll != nullptr && poll->interrupted;
  auto next_poll = std::chrono::steady_clock::now();
  if (polled) next_poll += poll->interval;
  for (;;) {
    if (polled && std::chrono::steady_clock::now() >= next_poll) {
      if (poll->interrupted()) throw SearchInterrupted();
      next_poll = std::chrono::steady_clock::now() + poll->interval;
    }
    const ssize_t count = ::read(file_descriptor, buffer, sizeof buffer);
    if (count == 0) return 0;
    if (count < 0) {
      if (errno != EINTR) return errno;
      // A signal is what the poll looks for: ask it now.
      next_poll = {};
      continue;
    }
    contents->append(buffer, static_cast<std::size_t>(count));
  }
}

}  // namespace vorpalyx
