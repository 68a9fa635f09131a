#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "char_utils/char_counts.h"
#include "char_utils/letter_lists.h"
#include "char_utils/normalize.h"
#include "char_utils/utf8.h"

namespace vorpalyx {
namespace {

CharCounts counts_of(std::string_view text) {
  auto result = CharCounts::from_str(text);
  EXPECT_TRUE(std::holds_alternative<CharCounts>(result)) << text;
  return std::get<CharCounts>(result);
}

CharCounts counts_from_pairs(
    std::initializer_list<std::pair<char, std::uint64_t>> pairs) {
  CharCounts counts;
  for (auto [letter, count] : pairs) counts[letter - 'a'] = count;
  return counts;
}

TEST(CharCountsTest, CountsAsciiLettersAndSkipsTheRest) {
  EXPECT_EQ(counts_of("Hello, World!"), counts_from_pairs({{'d', 1},
                                                           {'e', 1},
                                                           {'h', 1},
                                                           {'l', 3},
                                                           {'o', 2},
                                                           {'r', 1},
                                                           {'w', 1}}));
  EXPECT_EQ(counts_of("Aa"), counts_from_pairs({{'a', 2}}));
  for (const char* empty : {"", "123 !?,.-", "\t\n", "\xc2\xa0\xe2\x80\x94"}) {
    const CharCounts counts = counts_of(empty);
    EXPECT_TRUE(counts.is_empty()) << empty;
    EXPECT_EQ(counts.total(), 0u);
  }
  // Non-letters outside ASCII (no-break space, em dash, emoji) are skipped.
  EXPECT_EQ(counts_of("a\xc2\xa0"
                      "b\xe2\x80\x94"
                      "c\xf0\x9f\x98\x80"),
            counts_from_pairs({{'a', 1}, {'b', 1}, {'c', 1}}));
}

TEST(CharCountsTest, FirstNonAsciiLetterFailsTheWholeText) {
  struct Case {
    const char* text;
    const char* letter;
  } cases[] = {
      {"caf\xc3\xa9 au lait", "\xc3\xa9"},
      {"stra\xc3\x9f"
       "e",
       "\xc3\x9f"},
      {"ab\xce\xb1\xce\xb2", "\xce\xb1"},
      {"\xe2\x85\xa0x", "\xe2\x85\xa0"},  // ROMAN NUMERAL ONE is Alphabetic
      {"\xc3\x89T\xc3\x89", "\xc3\x89"},  // capital É is not ASCII-folded
  };
  for (const Case& c : cases) {
    auto result = CharCounts::from_str(c.text);
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.text;
    EXPECT_EQ(std::get<std::string>(result),
              std::string("Non-ASCII alphabetic character found after "
                          "lowercase: ") +
                  c.letter);
  }
}

TEST(CharCountsTest, CanSubtract) {
  const CharCounts listen = counts_of("listen");
  EXPECT_TRUE(listen.can_subtract(listen));
  EXPECT_TRUE(listen.can_subtract(CharCounts{}));
  EXPECT_TRUE(listen.can_subtract(counts_of("tin")));
  EXPECT_FALSE(listen.can_subtract(counts_of("tint")));
  EXPECT_FALSE(CharCounts{}.can_subtract(counts_of("z")));
}

TEST(NormalizeWordTest, KeepsAsciiLettersLowerCased) {
  struct Case {
    const char* word;
    const char* normalized;
  } cases[] = {
      {"", ""},
      {"  \t ", ""},
      {"123--!", ""},
      {"Don't-Stop", "dontstop"},
      {"O'Brien", "obrien"},
      {"New York", "newyork"},
      {"na\xc3\xafve", "nave"},
      {"caf\xc3\xa9", "caf"},
      {"\xef\xbc\xa1", ""},  // fullwidth capital A
      {"\xe2\x84\xaa", ""},  // Kelvin sign
      {"\xef\xbb\xbf"
       "cat",
       "cat"},  // byte-order mark
  };
  for (const Case& c : cases) {
    EXPECT_EQ(normalize_word(c.word), c.normalized) << c.word;
    EXPECT_EQ(normalize_word(normalize_word(c.word)), c.normalized);
  }
}

TEST(LetterListsTest, AbsentStaysAbsentAndEmptyIsPresent) {
  EXPECT_FALSE(parse_char_list_to_set(std::nullopt).has_value());
  EXPECT_FALSE(parse_char_list_to_counts(std::nullopt).has_value());
  EXPECT_EQ(parse_char_list_to_set(""), LetterSet{});
  EXPECT_EQ(parse_char_list_to_counts(""), LetterCountMap{});
}

TEST(LetterListsTest, EveryCharacterIsOneItem) {
  EXPECT_EQ(parse_char_list_to_set("ABa"), (LetterSet{U'a', U'b'}));
  EXPECT_EQ(parse_char_list_to_counts("ABa"),
            (LetterCountMap{{U'a', 2}, {U'b', 1}}));
  EXPECT_EQ(parse_char_list_to_set("a, b"),
            (LetterSet{U'a', U',', U' ', U'b'}));
  EXPECT_EQ(parse_char_list_to_counts("a, b"),
            (LetterCountMap{{U'a', 1}, {U',', 1}, {U' ', 1}, {U'b', 1}}));
  // Non-ASCII capitals are not lower-cased.
  EXPECT_EQ(parse_char_list_to_set("\xc3\x89\xc3\xa9"),
            (LetterSet{U'\u00c9', U'\u00e9'}));
}

TEST(Utf8Test, DecodesAndRejectsMalformedInput) {
  EXPECT_TRUE(is_valid_utf8("plain"));
  EXPECT_TRUE(is_valid_utf8("caf\xc3\xa9 \xf0\x9f\x98\x80 \xef\xbf\xbd"));
  for (const char* bad : {"\xff", "\xc3", "\xc0\xaf", "\xed\xa0\x80",
                          "\xf4\x90\x80\x80", "a\x80"}) {
    EXPECT_FALSE(is_valid_utf8(bad)) << bad;
  }
  std::string encoded;
  for (char32_t code_point : {U'a', U'\u00e9', U'\u20ac', U'\U0001F600'}) {
    append_utf8(encoded, code_point);
  }
  std::u32string decoded;
  for_each_code_point(encoded, [&](char32_t c) { decoded.push_back(c); });
  EXPECT_EQ(decoded, U"a\u00e9\u20ac\U0001F600");
}

}  // namespace
}  // namespace vorpalyx
