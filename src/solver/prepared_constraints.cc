#include "solver/prepared_constraints.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>

namespace vorpalyx {

PreparedConstraints prepare_constraints(const SolverConstraints& constraints,
                                        const ExtendedConstraints& extended) {
  PreparedConstraints prepared;
  if (constraints.max_words) prepared.max_words = *constraints.max_words;
  if (constraints.min_word_length) {
    prepared.min_word_length = *constraints.min_word_length;
  }
  if (constraints.max_solutions) {
    prepared.max_solutions = *constraints.max_solutions;
  }
  // A limit that is not a number never passes: it is no limit.
  if (constraints.timeout_seconds &&
      !std::isnan(*constraints.timeout_seconds)) {
    prepared.timeout_seconds = constraints.timeout_seconds;
  }
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
  if (extended.max_word_length) {
    prepared.max_word_length = *extended.max_word_length;
  }
  if (extended.min_words) prepared.min_words = *extended.min_words;
  if (extended.lengths) {
    const std::vector<std::uint64_t>& lengths = *extended.lengths;
    const std::uint64_t count = lengths.size();
    prepared.max_words = std::min(prepared.max_words, count);
    prepared.min_words = std::max(prepared.min_words, count);
    for (std::uint64_t length : lengths) {
      if (length == 0 || length > (1u << 20)) {
        prepared.impossible = true;
        continue;
      }
      if (prepared.words_of_length.size() <= length) {
        prepared.words_of_length.resize(length + 1);
      }
      ++prepared.words_of_length[length];
    }
    if (lengths.empty()) prepared.impossible = true;
  }
  prepared.excluded = extended.exclude;
  std::sort(prepared.excluded.begin(), prepared.excluded.end());
  prepared.excluded.erase(
      std::unique(prepared.excluded.begin(), prepared.excluded.end()),
      prepared.excluded.end());
  prepared.distinct = extended.distinct;
  if (prepared.max_words == 0 || prepared.max_solutions == 0 ||
      prepared.min_words > prepared.max_words ||
      prepared.max_word_length < prepared.min_word_length) {
    prepared.impossible = true;
  }
  return prepared;
}

}  // namespace vorpalyx
