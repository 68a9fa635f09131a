// The test dictionary of every letter and every pair of letters: the
// alphabet has some 10^18 solutions over it, so only a limit ends a search.

#ifndef VORPALYX_TESTS_SOLVER_LETTERS_AND_PAIRS_H_
#define VORPALYX_TESTS_SOLVER_LETTERS_AND_PAIRS_H_

#include <string>

#include "solver/anagram_solver.h"

namespace vorpalyx {

inline const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

inline AnagramSolver letters_and_pairs() {
  AnagramSolver solver;
  for (char first : kAlphabet) {
    solver.insert(std::string(1, first));
    for (char second : kAlphabet) solver.insert(std::string{first, second});
  }
  return solver;
}

}  // namespace vorpalyx

#endif  // VORPALYX_TESTS_SOLVER_LETTERS_AND_PAIRS_H_
