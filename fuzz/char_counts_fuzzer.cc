// Fuzzes CharCounts::from_str and the multiset queries over arbitrary bytes.
//
// On success the counts are exactly the ASCII letters of the text, case
// folded, and agree with counting the normalised word. On failure the
// message names the first non-ASCII alphabetic character of the text, and no
// earlier character is one. can_subtract must behave as a partial order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "char_utils/char_counts.h"
#include "char_utils/normalize.h"
#include "char_utils/unicode_tables.h"
#include "char_utils/utf8.h"
#include "fuzz_check.h"

namespace {

constexpr std::string_view kErrorPrefix =
    "Non-ASCII alphabetic character found after lowercase: ";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using vorpalyx::CharCounts;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto result = CharCounts::from_str(text);

  CharCounts ascii_letters;
  bool has_non_ascii_letter = false;
  char32_t first_non_ascii_letter = 0;
  vorpalyx::for_each_code_point(text, [&](char32_t code_point) {
    if (code_point >= 0x80) {
      if (!has_non_ascii_letter &&
          vorpalyx::unicode::is_alphabetic(code_point)) {
        has_non_ascii_letter = true;
        first_non_ascii_letter = code_point;
      }
      return;
    }
    if (code_point >= U'A' && code_point <= U'Z') code_point += U'a' - U'A';
    if (code_point >= U'a' && code_point <= U'z') {
      ++ascii_letters[code_point - U'a'];
    }
  });

  const auto normalized = CharCounts::from_str(vorpalyx::normalize_word(text));
  FUZZ_CHECK(std::holds_alternative<CharCounts>(normalized));
  FUZZ_CHECK(std::get<CharCounts>(normalized) == ascii_letters);

  if (has_non_ascii_letter) {
    FUZZ_CHECK(std::holds_alternative<std::string>(result));
    std::string expected(kErrorPrefix);
    vorpalyx::append_utf8(expected, first_non_ascii_letter);
    FUZZ_CHECK(std::get<std::string>(result) == expected);
    return 0;
  }
  FUZZ_CHECK(std::holds_alternative<CharCounts>(result));
  const CharCounts& counts = std::get<CharCounts>(result);
  FUZZ_CHECK(counts == ascii_letters);

  std::uint64_t letters = 0;
  for (std::uint64_t count : counts.counts) letters += count;
  FUZZ_CHECK(counts.total() == letters);
  FUZZ_CHECK(counts.is_empty() == (letters == 0));

  // can_subtract: reflexive, the empty multiset fits everywhere, and taking
  // one letter away gives a multiset that fits but does not contain this one.
  FUZZ_CHECK(counts.can_subtract(counts));
  FUZZ_CHECK(counts.can_subtract(CharCounts{}));
  FUZZ_CHECK(CharCounts{}.can_subtract(counts) == counts.is_empty());
  for (std::size_t i = 0; i < vorpalyx::kAlphabetSize; ++i) {
    if (counts[i] == 0) continue;
    CharCounts smaller = counts;
    --smaller[i];
    FUZZ_CHECK(counts.can_subtract(smaller));
    FUZZ_CHECK(!smaller.can_subtract(counts));
    FUZZ_CHECK(smaller.total() + 1 == counts.total());
  }
  return 0;
}
