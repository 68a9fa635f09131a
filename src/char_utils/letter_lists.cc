#include "char_utils/letter_lists.h"

#include "char_utils/ascii.h"
#include "char_utils/utf8.h"

namespace vorpalyx {

std::optional<LetterCountMap> parse_char_list_to_counts(
    std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  LetterCountMap counts;
  for_each_code_point(*text, [&](char32_t code_point) {
    ++counts[fold_ascii_case(code_point)];
  });
  return counts;
}

std::optional<LetterSet> parse_char_list_to_set(
    std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  LetterSet set;
  for_each_code_point(*text, [&](char32_t code_point) {
    set.insert(fold_ascii_case(code_point));
  });
  return set;
}

}  // namespace vorpalyx
