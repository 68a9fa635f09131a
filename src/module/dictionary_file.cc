// See dictionary_file.h. The order of the checks fixes which error a caller
// sees: a NUL in the path, then open, then each read, then the encoding.

#include "module/dictionary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "char_utils/utf8.h"
#include "module/messages.h"

namespace vorpalyx {
namespace {

// Closes a file descriptor when it goes out of scope, so that an allocation
// failure while the file is read does not leak it.
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

bool read_dictionary_file(const std::string& path, std::string* contents) {
  if (path.find('\0') != std::string::npos) {
    messages::dictionary_path_has_nul();
    return false;
  }
  const int file_descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file_descriptor < 0) {
    messages::dictionary_os_error(errno);
    return false;
  }
  const ClosingDescriptor closing(file_descriptor);
  struct stat status;
  if (::fstat(file_descriptor, &status) == 0 && status.st_size > 0) {
    contents->reserve(static_cast<std::size_t>(status.st_size));
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t count = ::read(file_descriptor, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      messages::dictionary_os_error(errno);
      return false;
    }
    contents->append(buffer, static_cast<std::size_t>(count));
  }
  if (!is_valid_utf8(*contents)) {
    messages::dictionary_not_utf8();
    return false;
  }
  return true;
}

}  // namespace vorpalyx
