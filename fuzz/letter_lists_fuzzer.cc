// Fuzzes parse_char_list_to_counts and parse_char_list_to_set.
//
// Every code point of the text is one item after ASCII lower-casing: the
// counts add up to the number of code points, the set holds exactly the
// keys of the map, no key is an ASCII capital, and every count is at least 1.
// An empty input stands for an absent text; otherwise the text is the input
// after its first byte, so that a present text may be empty too.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

#include "char_utils/letter_lists.h"
#include "char_utils/utf8.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) {
    FUZZ_CHECK(!vorpalyx::parse_char_list_to_counts(std::nullopt));
    FUZZ_CHECK(!vorpalyx::parse_char_list_to_set(std::nullopt));
    return 0;
  }
  const std::string_view text(reinterpret_cast<const char*>(data) + 1,
                              size - 1);
  const auto counts = vorpalyx::parse_char_list_to_counts(text);
  const auto set = vorpalyx::parse_char_list_to_set(text);
  FUZZ_CHECK(counts.has_value() && set.has_value());

  std::map<char32_t, std::uint64_t> expected;
  std::uint64_t items = 0;
  vorpalyx::for_each_code_point(text, [&](char32_t code_point) {
    if (code_point >= U'A' && code_point <= U'Z') code_point += U'a' - U'A';
    ++expected[code_point];
    ++items;
  });

  std::uint64_t counted = 0;
  for (const auto& [item, count] : *counts) {
    FUZZ_CHECK(count >= 1);
    FUZZ_CHECK(!(item >= U'A' && item <= U'Z'));
    FUZZ_CHECK(set->contains(item));
    counted += count;
  }
  FUZZ_CHECK(counted == items);
  FUZZ_CHECK(set->size() == counts->size());
  FUZZ_CHECK(counts->size() == expected.size());
  for (const auto& [item, count] : expected) {
    const auto found = counts->find(item);
    FUZZ_CHECK(found != counts->end() && found->second == count);
  }
  return 0;
}
