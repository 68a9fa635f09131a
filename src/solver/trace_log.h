// TraceLog: the step-by-step trace of one solve, written to
// "anagram_solver_debug.log" in the working directory.
//
// Tracing is on for a solve when ANAGRAM_DEBUG_LOG is set to valid UTF-8
// (any value, empty included). Every piece of a line goes to the file with its
// own unbuffered write, so the file is complete up to the last write even if
// the process dies. Failures never reach the caller: they are reported on
// file descriptor 2 and the solve goes on. When tracing is off no TraceLog
// exists, and callers format nothing. Cost: one write system call per piece.
//
// Tested by tests/cpp/solver/trace_log_test.cc and tests/python/test_trace.py.

#ifndef VORPALYX_SOLVER_TRACE_LOG_H_
#define VORPALYX_SOLVER_TRACE_LOG_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "char_utils/utf8.h"

namespace vorpalyx {

inline constexpr char kTraceFileName[] = "anagram_solver_debug.log";
inline constexpr char kTraceSwitchVariable[] = "ANAGRAM_DEBUG_LOG";

class TraceLog {
 public:
  // The open trace, or null when tracing is off or the file cannot be created
  // (which is reported on standard error).
  static std::unique_ptr<TraceLog> open_if_enabled();

  explicit TraceLog(int file_descriptor) : file_descriptor_(file_descriptor) {}
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;
  ~TraceLog();

  // Writes one line made of `pieces`, each piece with its own write. After a
  // failed write the rest of the line is dropped and the failure reported.
  template <typename... Pieces>
  void line(const Pieces&... pieces) {
    bool written = true;
    ((written = written && write_piece(pieces)), ...);
  }

 private:
  bool write_piece(std::string_view text) { return write_text(text); }
  bool write_piece(const char* text) { return write_text(text); }
  bool write_piece(const std::string& text) { return write_text(text); }
  bool write_piece(std::uint64_t number) {
    return write_text(std::to_string(number));
  }
  bool write_piece(bool flag) { return write_text(flag ? "true" : "false"); }
  bool write_piece(char32_t character);
  bool write_piece(const std::vector<std::string>& words);
  bool write_piece(const std::vector<bool>& mask);

  bool write_text(std::string_view text);

  int file_descriptor_;
  std::string scratch_;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_TRACE_LOG_H_
