// The contains-patterns of a solve as the search takes them.
//
// Each text is normalised (see char_utils/normalize.h); texts that normalise
// to nothing are dropped, as are texts whose letters cannot be counted. The
// rest keep their order, duplicates included. Cost: one pass and one
// allocation per text.
//
// Tested by tests/cpp/solver/prepare_patterns_test.cc and, as the
// contains_patterns argument, by tests/python/test_solve_arguments.py.

#ifndef VORPALYX_SOLVER_PREPARE_PATTERNS_H_
#define VORPALYX_SOLVER_PREPARE_PATTERNS_H_

#include <string>
#include <vector>

#include "solver/search_records.h"

namespace vorpalyx {

std::vector<ProcessedPattern> prepare_patterns(
    const std::vector<std::string>& texts);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_PREPARE_PATTERNS_H_
