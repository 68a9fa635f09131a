// WordWeights: how common each word is, for ranking solutions.
//
// A word's weight is the base-10 logarithm of its relative frequency, kept
// in hundredths as an integer (so -361 is 10^-3.61), so that the score of a
// solution, the sum of its words' weights, is exact and ties are real.
// Words are keyed by their spelling (char_utils/fold.h: lower case, accents
// kept, other characters dropped), which for plain words is the letters the
// dictionary stores. A spelling with accents that the table does not name
// has the weight of its folded letters, so weights of words written without
// accents serve every spelling of them; a word named neither way has the
// floor weight.
//
// Invariant: every weight named lies in [kLowestWeight, 0], and the floor in
// [kLowestWeight - 1, 0], below every weight named.
// Cost: a hash lookup per word looked up; the table holds each named word
// once.
//
// Tested by tests/cpp/solver/ranked_search_test.cc and spellings_test.cc.

#ifndef VORPALYX_SOLVER_WORD_WEIGHTS_H_
#define VORPALYX_SOLVER_WORD_WEIGHTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

namespace vorpalyx {

// Hundredths of a power of ten: -100000000 is a frequency of 10^-1000000.
inline constexpr std::int32_t kLowestWeight = -100'000'000;
// The weight of every word when nothing is known: 10^-9, the frequency of
// a word seen once in a billion.
inline constexpr std::int32_t kUnweightedFloor = -900;

struct WordWeights {
  std::unordered_map<std::string, std::int32_t> by_word;
  std::int32_t floor = kUnweightedFloor;

  std::int32_t weight_of(const std::string& word) const {
    const auto found = by_word.find(word);
    return found == by_word.end() ? weight_of_folded(word) : found->second;
  }

  // Adds `word` (a spelling, not empty) with `weight`; a word named twice
  // keeps its higher weight. Call set_floor() once every word is in.
  void name(std::string word, std::int32_t weight);
  // The floor becomes one hundredth below the lowest weight named (or
  // kUnweightedFloor when none is).
  void set_floor();

 private:
  std::int32_t weight_of_folded(const std::string& word) const;
};

// The key a weight given for `word` has: its spelling.
std::string spelling_of(std::string_view word);

// A weight in hundredths from a logarithm: rounded to the nearest.
// `log10_frequency` must be finite and in [kLowestWeight / 100, 0].
std::int32_t hundredths(double log10_frequency);

// Why a weights file was refused: the number of its first bad line (from
// 1) and what is wrong with it.
struct WeightsFileError {
  std::size_t line = 0;
  std::string reason;
};

// Weights from a text of `word<TAB>count` lines: each word's weight is the
// base-10 logarithm of its count over the sum of all counts (a word met on
// several lines, before or after normalising, has the sum of its counts).
// Counts are positive decimal numbers. Empty lines are skipped, and a '\r'
// before the line end is dropped.
std::variant<WordWeights, WeightsFileError> weights_from_counts(
    std::string_view text);

// Weights from a word list and a text of integer weights in hundredths,
// line by line beside it (the bundled form): the floor is the lowest of
// them. Throws std::invalid_argument when they do not line up.
WordWeights weights_from_aligned_lines(std::string_view words,
                                       std::string_view weights);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_WORD_WEIGHTS_H_
