#include "solver/composition.h"

#include <algorithm>
#include <string_view>

#include "char_utils/fold.h"

namespace vorpalyx {
namespace {

CharCounts letters_of(const std::string& word) {
  CharCounts counts;
  for (char letter : word) ++counts[letter - 'a'];
  return counts;
}

// The letters a-z that `word`, a spelling, stands for.
std::string folded_letters(std::string_view word) {
  std::string folded;
  std::string spelling;
  fold_word(word, &folded, &spelling);
  return folded;
}

// How an included word is shown: as given when the dictionary spells it so,
// else as the dictionary's first spelling of its letters.
std::string shown_spelling(const Trie& trie, const Spellings* spellings,
                           const std::string& word, const std::string& folded) {
  const SpelledWords spelt = spell_candidates(spellings, trie, {folded});
  if (std::find(spelt.words.begin(), spelt.words.end(), word) !=
      spelt.words.end()) {
    return word;
  }
  return spelt.words.empty() ? word : spelt.words.front();
}

}  // namespace

Composition compose(const Trie& trie, const CharCounts& phrase,
                    const SolverConstraints& constraints,
                    const ExtendedConstraints& extended,
                    const Spellings* spellings) {
  Composition plan;
  plan.rest = constraints;
  plan.rest_extended.max_word_length = extended.max_word_length;
  plan.rest_extended.exclude = extended.exclude;
  plan.rest_extended.distinct = extended.distinct;
  if (extended.lengths) plan.lengths = *extended.lengths;

  const std::uint64_t included = extended.include.size();
  CharCounts base = phrase;
  std::vector<std::uint64_t> lengths_left = plan.lengths;
  const PreparedConstraints whole = prepare_constraints(constraints, extended);
  if (whole.impossible) {
    plan.impossible = true;
    return plan;
  }
  // Included words as their letters, for every test below.
  std::vector<std::string> include_letters;
  std::string blank_letters;  // those of included words that blanks give
  for (const std::string& given : extended.include) {
    const std::string word = folded_letters(given);
    const CharCounts letters = letters_of(word);
    const bool excluded =
        std::binary_search(whole.excluded.begin(), whole.excluded.end(), word);
    auto length = std::find(lengths_left.begin(), lengths_left.end(),
                            static_cast<std::uint64_t>(word.size()));
    if (word.empty() || !trie.contains(word) || excluded ||
        word.size() < whole.min_word_length ||
        word.size() > whole.max_word_length ||
        !constraints.allows_start(static_cast<char32_t>(word[0])) ||
        (extended.lengths && length == lengths_left.end())) {
      plan.impossible = true;
      return plan;
    }
    if (extended.lengths) lengths_left.erase(length);
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      // Letters the phrase lacks come from its blanks.
      const std::uint64_t taken = std::min(base[letter], letters[letter]);
      base[letter] -= taken;
      for (std::uint64_t i = taken; i < letters[letter]; ++i) {
        blank_letters.push_back(static_cast<char>('a' + letter));
      }
    }
    plan.include.push_back(shown_spelling(trie, spellings, given, word));
    include_letters.push_back(word);
  }
  std::sort(plan.include.begin(), plan.include.end());
  // Distinct words are distinct spellings: beside an included "cote", its
  // other spellings ("côte") stay available.
  if (extended.distinct &&
      std::adjacent_find(plan.include.begin(), plan.include.end()) !=
          plan.include.end()) {
    plan.impossible = true;
    return plan;
  }
  if (constraints.max_words) {
    if (*constraints.max_words < included) {
      plan.impossible = true;
      return plan;
    }
    plan.rest.max_words = *constraints.max_words - included;
  }
  const std::uint64_t min_words = whole.min_words;
  if (min_words > included) plan.rest_extended.min_words = min_words - included;
  if (extended.lengths) plan.rest_extended.lengths = lengths_left;
  bool starts_met = true;
  if (constraints.must_start_with) {
    for (auto& [character, count] : *plan.rest.must_start_with) {
      for (const std::string& word : include_letters) {
        if (count != 0 && static_cast<char32_t>(word[0]) == character) --count;
      }
      starts_met = starts_met && count == 0;
    }
  }
  if (constraints.contains_patterns) {
    std::erase_if(
        *plan.rest.contains_patterns, [&](const ProcessedPattern& pattern) {
          return std::any_of(include_letters.begin(), include_letters.end(),
                             [&](const std::string& word) {
                               return word.find(pattern.text) !=
                                      std::string::npos;
                             });
        });
  }
  plan.include_alone =
      included != 0 && min_words <= included && lengths_left.empty() &&
      starts_met &&
      (!plan.rest.contains_patterns || plan.rest.contains_patterns->empty());
  plan.prepared = prepare_constraints(plan.rest, plan.rest_extended);
  if (extended.distinct) plan.prepared.omitted_spellings = plan.include;
  if (blank_letters.size() > extended.blanks) {
    plan.impossible = true;
    return plan;
  }
  std::sort(blank_letters.begin(), blank_letters.end());
  plan.variants = letter_variants(
      base, extended.blanks - static_cast<std::uint32_t>(blank_letters.size()),
      extended.leftover);
  // The blanks the included words took are the variants' blanks too; the
  // phrase has none of those letters left, so none is also left over.
  for (Variant& variant : plan.variants) {
    std::string& blanks = variant.letters.blanks;
    blanks.insert(blanks.end(), blank_letters.begin(), blank_letters.end());
    std::sort(blanks.begin(), blanks.end());
  }
  return plan;
}

std::uint64_t letter_length(const std::string& word) {
  return folded_letters(word).size();
}

}  // namespace vorpalyx
