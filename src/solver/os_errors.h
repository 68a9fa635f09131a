// How the engine reports failures of system calls: the text of an errno value,
// and writes to a raw file descriptor that bypass every buffer.
//
// Nothing here allocates except the returned text, and nothing throws but
// std::bad_alloc. The writes retry interruptions and partial writes, so a
// piece is either written whole or reported as failed. Cost: one write system
// call per accepted piece.
//
// Tested by tests/cpp/solver/os_errors_test.cc, and through the trace log's
// failure messages by tests/cpp/solver/trace_log_test.cc.

#ifndef VORPALYX_SOLVER_OS_ERRORS_H_
#define VORPALYX_SOLVER_OS_ERRORS_H_

#include <string>
#include <string_view>

namespace vorpalyx {

// "<description> (os error N)" for an errno value.
std::string os_error_text(int error_number);

// Writes all of `text` to `file_descriptor`. Returns 0, or an errno value, or
// -1 when the system accepted zero bytes.
int write_all(int file_descriptor, std::string_view text);

// Writes `message` to file descriptor 2 directly, bypassing any buffering
// (and Python's sys.stderr). A failure is ignored: there is nowhere left to
// report it.
void write_to_standard_error(std::string_view message);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_OS_ERRORS_H_
