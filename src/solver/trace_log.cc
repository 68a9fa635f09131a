#include "solver/trace_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "solver/os_errors.h"
#include "solver/trace_format.h"

namespace vorpalyx {

std::unique_ptr<TraceLog> TraceLog::open_if_enabled() {
  const char* value = std::getenv(kTraceSwitchVariable);
  if (value == nullptr || !is_valid_utf8(value)) return nullptr;
  // O_NONBLOCK: should the name be a FIFO without a reader, the open fails
  // (ENXIO) instead of blocking the solve, and the interpreter with it, for
  // good. Once the file is open its writes block as usual again.
  const int file_descriptor =
      ::open(kTraceFileName,
             O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (file_descriptor < 0) {
    // Taken before building the message: allocation may clobber errno.
    const int error_number = errno;
    write_to_standard_error(std::string("Failed to create log file ") +
                            kTraceFileName + ": " +
                            os_error_text(error_number) + "\n");
    return nullptr;
  }
  const int flags = ::fcntl(file_descriptor, F_GETFL);
  if (flags >= 0) ::fcntl(file_descriptor, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<TraceLog>(file_descriptor);
}

TraceLog::~TraceLog() { ::close(file_descriptor_); }

bool TraceLog::write_text(std::string_view text) {
  const int error = write_all(file_descriptor_, text);
  if (error == 0) return true;
  write_to_standard_error("Log write error: " +
                          (error < 0
                               ? std::string("failed to write whole buffer")
                               : os_error_text(error)) +
                          "\n");
  return false;
}

bool TraceLog::write_piece(char32_t character) {
  scratch_.clear();
  append_utf8(scratch_, character);
  return write_text(scratch_);
}

bool TraceLog::write_piece(const std::vector<std::string>& words) {
  scratch_.clear();
  append_word_list(scratch_, words);
  return write_text(scratch_);
}

bool TraceLog::write_piece(const std::vector<bool>& mask) {
  scratch_.clear();
  append_mask(scratch_, mask);
  return write_text(scratch_);
}

}  // namespace vorpalyx
