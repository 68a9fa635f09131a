#include "solver/prepared_constraints.h"

#include <set>
#include <string_view>

namespace vorpalyx {

PreparedConstraints prepare_constraints(const SolverConstraints& constraints) {
  PreparedConstraints prepared;
  if (constraints.max_words) prepared.max_words = *constraints.max_words;
  if (constraints.min_word_length) {
    prepared.min_word_length = *constraints.min_word_length;
  }
  if (constraints.max_solutions) {
    prepared.max_solutions = *constraints.max_solutions;
  }
  prepared.timeout_seconds = constraints.timeout_seconds;
  if (constraints.contains_patterns) {
    std::set<std::string_view> distinct;
    for (const ProcessedPattern& pattern : *constraints.contains_patterns) {
      if (distinct.insert(pattern.text).second) {
        prepared.patterns.push_back(pattern.text);
      }
    }
    const std::size_t count = prepared.patterns.size();
    prepared.all_patterns =
        count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
  }
  if (constraints.must_start_with) {
    for (const auto& [character, count] : *constraints.must_start_with) {
      if (count == 0) continue;
      const int letter = letter_index(character);
      if (letter < 0) {
        prepared.impossible = true;
        continue;
      }
      prepared.starts_needed[letter] = count;
      prepared.letters_needed_at_start |= 1u << letter;
    }
  }
  if (prepared.max_words == 0 || prepared.max_solutions == 0) {
    prepared.impossible = true;
  }
  return prepared;
}

}  // namespace vorpalyx
