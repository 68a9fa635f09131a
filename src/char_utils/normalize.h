// Word normalisation: the stored form of dictionary words and patterns.
//
// Keeps the ASCII letters of a text, lower-cased, in order, and drops every
// other character, non-ASCII letters included (no folding of accents). The
// result is idempotent under normalisation. Cost: one pass, one allocation.
//
// Tested by tests/cpp/char_utils/char_utils_test.cc.

#ifndef VORPALYX_CHAR_UTILS_NORMALIZE_H_
#define VORPALYX_CHAR_UTILS_NORMALIZE_H_

#include <string>
#include <string_view>

namespace vorpalyx {

std::string normalize_word(std::string_view word);

}  // namespace vorpalyx

#endif  // VORPALYX_CHAR_UTILS_NORMALIZE_H_
