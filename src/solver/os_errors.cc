#include "solver/os_errors.h"

#include <string.h>
#include <unistd.h>

#include <cerrno>

namespace vorpalyx {

std::string os_error_text(int error_number) {
  char buffer[256];
  // GNU strerror_r may return a static string instead of filling `buffer`.
  const char* description = strerror_r(error_number, buffer, sizeof buffer);
  return std::string(description) + " (os error " +
         std::to_string(error_number) + ")";
}

int write_all(int file_descriptor, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(file_descriptor, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return -1;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

void write_to_standard_error(std::string_view message) {
  (void)write_all(STDERR_FILENO, message);
}

}  // namespace vorpalyx
