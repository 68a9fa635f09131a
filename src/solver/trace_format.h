// Text forms of the values that the search trace prints.
//
// Each function appends one value's form to `out`. Word lists print as
// ["a", "b"], masks as [true, false], letter counts as CharCounts([...26]),
// characters of the start-letter arguments in single-quoted character-literal
// form with escapes, and limits of time in the shortest decimal that reads
// back as the same double. Each call costs time linear in the length of the
// form it appends; the search calls these only while a trace is open.
//
// Tested by tests/cpp/solver/trace_format_test.cc and the trace_format fuzzer.

#ifndef VORPALYX_SOLVER_TRACE_FORMAT_H_
#define VORPALYX_SOLVER_TRACE_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/search_records.h"

namespace vorpalyx {

void append_word_list(std::string& out, const std::vector<std::string>& words);
void append_mask(std::string& out, const std::vector<bool>& mask);
void append_char_counts(std::string& out, const CharCounts& counts);
void append_char_literal(std::string& out, char32_t code_point);
void append_float(std::string& out, double value);
void append_processed_pattern(std::string& out,
                              const ProcessedPattern& pattern);
void append_constraints(std::string& out, const SolverConstraints& constraints);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_TRACE_FORMAT_H_
