// SolutionFormatter: a run of a SolutionList's solutions as text or as JSON,
// produced in chunks of about a given size, for writing to files and pipes.
//
// The solutions are those at positions first, first + step, ... (count of
// them) of the list in result order; step may be negative or more than one,
// as a slice gives. Forms:
//  - kText: each solution's words joined by one space, each solution on a
//    line of its own ending in "\n"; nothing at all for no solutions.
//  - kJson: the bytes of Python's json.dumps(list_of_lists) with default
//    arguments, such as [["dirty", "room"], ["dormitory"]] ("[]" for none,
//    no newline at the end): ASCII only, strings escaped as json.dumps does.
//    Words are read as UTF-8; a byte that is not part of a well-formed
//    sequence is written as U+FFFD, as decode_utf8 reads it.
//
// Invariants: every position is below list.size(), and the list outlives the
// formatter and does not change meanwhile. Every chunk but the last ends at
// the first solution boundary at or past `chunk_bytes` (each chunk holds at
// least one solution, however long); the JSON brackets go with the first and
// the last solution. The chunks joined are the whole output.
//
// Cost: each word's form (with JSON, quoted and escaped) is made once, at
// construction; a solution then costs a copy of each of its words' forms.
// With step 1 the solutions are read in order (a group's keys decoded in a
// run), otherwise each is found from the one before and read on its own.
// Memory: the forms, and the caller's chunk string.
//
// Tested by tests/cpp/solver/solution_text_test.cc and the solution_text
// fuzzer.

#ifndef VORPALYX_SOLVER_SOLUTION_TEXT_H_
#define VORPALYX_SOLVER_SOLUTION_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "solver/solution_list.h"

namespace vorpalyx {

enum class SolutionFormat { kText, kJson };

class SolutionFormatter {
 public:
  SolutionFormatter(const SolutionList& list, SolutionFormat format,
                    std::size_t first, std::ptrdiff_t step, std::size_t count);

  // Replaces `out` with the next chunk of the output; false, with `out`
  // empty, once all of it has been produced.
  bool next_chunk(std::string& out, std::size_t chunk_bytes = 1 << 20);

 private:
  template <SolutionFormat kFormat>
  void fill(std::string& out, std::size_t chunk_bytes);
  // Moves `step_` solutions on; there must be one there.
  void advance();

  const SolutionList& list_;
  SolutionFormat format_;
  std::ptrdiff_t step_;
  std::size_t remaining_;  // solutions not yet written
  // The next solution, when `remaining_` > 0: its group and place there.
  std::size_t group_ = 0;
  std::size_t index_ = 0;
  bool opened_ = false;  // JSON: "[" written
  bool closed_ = false;  // JSON: "]" written
  // Word i's form, with the separator that follows it, is
  // forms_[offsets_[i], offsets_[i + 1]); forms_ ends in padding so that a
  // fixed-size copy from any form's start stays inside it.
  std::string forms_;
  std::vector<std::size_t> offsets_;
  std::size_t longest_form_ = 0;
  // The bytes a solution of the most words takes with forms of the average
  // length: what the room made for the rest of the output is sized by.
  std::size_t typical_bound_ = 1;
  // For steps other than 1: the last solution read and its group.
  std::vector<std::uint32_t> ids_;
  std::size_t ids_group_ = static_cast<std::size_t>(-1);
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SOLUTION_TEXT_H_
