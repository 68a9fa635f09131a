// Folding: a text spelt in the letters a-z, the way people write without
// accents, and the spelling a dictionary word keeps for display.
//
// fold_text lower-cases the ASCII letters, spells every other letter by the
// fold table (fold_table.h: "É" is "e", "ß" is "ss") and drops everything
// else: combining marks, apostrophes, hyphens, digits, letters of other
// scripts. On ASCII it equals normalize_word. fold_word gives a word's folded
// letters and its spelling together: the letters that fold, lower-cased but
// with their accents, each followed by the combining marks written after it,
// and nothing else; so "Côté" is spelt "côté", "don't" "dont". A spelling
// folds to the word's folded letters again. Both are idempotent. Cost: one
// pass; ASCII bytes cost a compare, other characters a table search.
//
// Tested by tests/cpp/char_utils/fold_test.cc.

#ifndef VORPALYX_CHAR_UTILS_FOLD_H_
#define VORPALYX_CHAR_UTILS_FOLD_H_

#include <string>
#include <string_view>

namespace vorpalyx {

std::string fold_text(std::string_view text);

// Replaces `*folded` and `*spelling` with the folded letters and the
// spelling of `word` (UTF-8).
void fold_word(std::string_view word, std::string* folded,
               std::string* spelling);

}  // namespace vorpalyx

#endif  // VORPALYX_CHAR_UTILS_FOLD_H_
