#include "char_utils/letter_lists.h"

#include "char_utils/utf8.h"

namespace vorpalyx {
namespace {

char32_t ascii_lower(char32_t code_point) {
  return code_point >= U'A' && code_point <= U'Z' ? code_point + (U'a' - U'A')
                                                  : code_point;
}

}  // namespace

std::optional<LetterCountMap> parse_char_list_to_counts(
    std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  LetterCountMap counts;
  for_each_code_point(
      *text, [&](char32_t code_point) { ++counts[ascii_lower(code_point)]; });
  return counts;
}

std::optional<LetterSet> parse_char_list_to_set(
    std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  LetterSet set;
  for_each_code_point(
      *text, [&](char32_t code_point) { set.insert(ascii_lower(code_point)); });
  return set;
}

}  // namespace vorpalyx
