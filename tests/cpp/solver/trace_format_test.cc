#include "solver/trace_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vorpalyx {
namespace {

const std::string kZeros24 =
    "0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0";

template <typename Value, typename Append>
std::string form_of(const Value& value, Append append) {
  std::string out = "<";  // appending must keep what is already there
  append(out, value);
  return out.substr(1);
}

TEST(TraceFormatTest, WordListsAndMasks) {
  EXPECT_EQ(form_of(std::vector<std::string>{}, append_word_list), "[]");
  EXPECT_EQ(form_of(std::vector<std::string>{"tin"}, append_word_list),
            "[\"tin\"]");
  EXPECT_EQ(
      form_of(std::vector<std::string>{"les", "tin", "a"}, append_word_list),
      "[\"les\", \"tin\", \"a\"]");
  EXPECT_EQ(form_of(std::vector<bool>{}, append_mask), "[]");
  EXPECT_EQ(form_of(std::vector<bool>{false}, append_mask), "[false]");
  EXPECT_EQ(form_of(std::vector<bool>{true, false, true}, append_mask),
            "[true, false, true]");
}

TEST(TraceFormatTest, CharCountsListAllTwentySixCounts) {
  CharCounts counts;
  counts[0] = 1;
  counts[1] = 1;
  EXPECT_EQ(form_of(counts, append_char_counts),
            "CharCounts([1, 1, " + kZeros24 + "])");
  CharCounts ends;
  ends[0] = 18446744073709551615u;
  ends[25] = 7;
  EXPECT_EQ(form_of(ends, append_char_counts),
            "CharCounts([18446744073709551615, " + kZeros24 + ", 7])");
}

TEST(TraceFormatTest, ProcessedPattern) {
  ProcessedPattern pattern{"ab", {}};
  pattern.counts[0] = 1;
  pattern.counts[1] = 1;
  EXPECT_EQ(form_of(pattern, append_processed_pattern),
            "ProcessedPattern { text: \"ab\", counts: CharCounts([1, 1, " +
                kZeros24 + "]) }");
}

TEST(TraceFormatTest, ConstraintsWithNothingGiven) {
  EXPECT_EQ(form_of(SolverConstraints{}, append_constraints),
            "SolverConstraints { must_start_with: None, "
            "can_only_ever_start_with: None, must_not_start_with: None, "
            "max_words: None, min_word_length: None, timeout_seconds: None, "
            "max_solutions: None, contains_patterns: None }");
}

TEST(TraceFormatTest, ConstraintsWithEmptyContainers) {
  SolverConstraints constraints;
  constraints.must_start_with.emplace();
  constraints.can_only_ever_start_with.emplace();
  constraints.must_not_start_with.emplace();
  constraints.max_words = 0;
  constraints.min_word_length = 0;
  constraints.timeout_seconds = 0.0;
  constraints.max_solutions = 0;
  constraints.contains_patterns.emplace();
  EXPECT_EQ(form_of(constraints, append_constraints),
            "SolverConstraints { must_start_with: Some({}), "
            "can_only_ever_start_with: Some({}), "
            "must_not_start_with: Some({}), max_words: Some(0), "
            "min_word_length: Some(0), timeout_seconds: Some(0.0), "
            "max_solutions: Some(0), contains_patterns: Some([]) }");
}

TEST(TraceFormatTest, ConstraintsListEntriesInCodePointOrder) {
  SolverConstraints constraints;
  constraints.must_start_with =
      LetterCountMap{{U'b', 1}, {U'a', 2}, {U'\'', 1}, {0x301, 3}};
  constraints.can_only_ever_start_with = LetterSet{U'z', U'\n', U'm'};
  constraints.must_not_start_with = LetterSet{U'"'};
  constraints.max_words = 3;
  constraints.min_word_length = 18446744073709551615u;
  constraints.timeout_seconds = 10.0;
  constraints.max_solutions = 1;
  ProcessedPattern first{"a", {}};
  first.counts[0] = 1;
  ProcessedPattern second{"z", {}};
  second.counts[25] = 1;
  constraints.contains_patterns = {first, second, first};
  const std::string first_form =
      "ProcessedPattern { text: \"a\", counts: CharCounts([1, 0, " + kZeros24 +
      "]) }";
  const std::string second_form =
      "ProcessedPattern { text: \"z\", counts: CharCounts([0, " + kZeros24 +
      ", 1]) }";
  EXPECT_EQ(form_of(constraints, append_constraints),
            "SolverConstraints { must_start_with: Some({'\\'': 1, 'a': 2, "
            "'b': 1, '\\u{301}': 3}), "
            "can_only_ever_start_with: Some({'\\n', 'm', 'z'}), "
            "must_not_start_with: Some({'\"'}), max_words: Some(3), "
            "min_word_length: Some(18446744073709551615), "
            "timeout_seconds: Some(10.0), max_solutions: Some(1), "
            "contains_patterns: Some([" +
                first_form + ", " + second_form + ", " + first_form + "]) }");
}

struct LiteralCase {
  char32_t character;
  const char* form;
};

class CharLiteralTest : public testing::TestWithParam<LiteralCase> {};

TEST_P(CharLiteralTest, PrintsQuotedWithEscapes) {
  EXPECT_EQ(form_of(GetParam().character, append_char_literal),
            GetParam().form);
}

INSTANTIATE_TEST_SUITE_P(
    Plain, CharLiteralTest,
    testing::Values(LiteralCase{U'a', "'a'"}, LiteralCase{U'Z', "'Z'"},
                    LiteralCase{U' ', "' '"}, LiteralCase{U'"', "'\"'"},
                    LiteralCase{U',', "','"}, LiteralCase{U'~', "'~'"},
                    LiteralCase{0xE9, "'\xc3\xa9'"},
                    LiteralCase{0x4E2D, "'\xe4\xb8\xad'"},
                    LiteralCase{0x1F600, "'\xf0\x9f\x98\x80'"},
                    // A spacing mark outside Grapheme_Extend.
                    LiteralCase{0x0903, "'\xe0\xa4\x83'"}));

INSTANTIATE_TEST_SUITE_P(
    BackslashEscapes, CharLiteralTest,
    testing::Values(LiteralCase{U'\'', "'\\''"}, LiteralCase{U'\\', "'\\\\'"},
                    LiteralCase{U'\t', "'\\t'"}, LiteralCase{U'\r', "'\\r'"},
                    LiteralCase{U'\n', "'\\n'"}, LiteralCase{U'\0', "'\\0'"}));

INSTANTIATE_TEST_SUITE_P(
    HexEscapes, CharLiteralTest,
    testing::Values(
        // Cc
        LiteralCase{0x01, "'\\u{1}'"}, LiteralCase{0x1B, "'\\u{1b}'"},
        LiteralCase{0x7F, "'\\u{7f}'"}, LiteralCase{0x85, "'\\u{85}'"},
        // Cf
        LiteralCase{0xAD, "'\\u{ad}'"}, LiteralCase{0x200D, "'\\u{200d}'"},
        LiteralCase{0xFEFF, "'\\u{feff}'"},
        LiteralCase{0xE0001, "'\\u{e0001}'"},
        // Cs
        LiteralCase{0xD800, "'\\u{d800}'"}, LiteralCase{0xDFFF, "'\\u{dfff}'"},
        // Co
        LiteralCase{0xE000, "'\\u{e000}'"},
        LiteralCase{0x10FFFD, "'\\u{10fffd}'"},
        // Cn, noncharacters included
        LiteralCase{0x0378, "'\\u{378}'"}, LiteralCase{0xFFFF, "'\\u{ffff}'"},
        LiteralCase{0x10FFFF, "'\\u{10ffff}'"},
        // Zl, Zp, Zs other than the space
        LiteralCase{0x2028, "'\\u{2028}'"}, LiteralCase{0x2029, "'\\u{2029}'"},
        LiteralCase{0xA0, "'\\u{a0}'"}, LiteralCase{0x3000, "'\\u{3000}'"},
        // Grapheme_Extend: nonspacing, enclosing and some spacing marks, ZWNJ
        LiteralCase{0x0301, "'\\u{301}'"}, LiteralCase{0x20DD, "'\\u{20dd}'"},
        LiteralCase{0x09BE, "'\\u{9be}'"}, LiteralCase{0x200C, "'\\u{200c}'"},
        LiteralCase{0xFF9E, "'\\u{ff9e}'"},
        LiteralCase{0xE0100, "'\\u{e0100}'"}));

struct FloatCase {
  double value;
  const char* form;
};

class FloatFormTest : public testing::TestWithParam<FloatCase> {};

TEST_P(FloatFormTest, PrintsShortestRoundTrip) {
  EXPECT_EQ(form_of(GetParam().value, append_float), GetParam().form);
}

INSTANTIATE_TEST_SUITE_P(
    Positional, FloatFormTest,
    testing::Values(FloatCase{0.0, "0.0"}, FloatCase{-0.0, "-0.0"},
                    FloatCase{10.0, "10.0"}, FloatCase{0.5, "0.5"},
                    FloatCase{-2.5, "-2.5"}, FloatCase{1.0, "1.0"},
                    FloatCase{0.1 + 0.2, "0.30000000000000004"},
                    FloatCase{123456789.0, "123456789.0"},
                    FloatCase{0.0001, "0.0001"}, FloatCase{-0.0001, "-0.0001"},
                    FloatCase{0.00012345, "0.00012345"},
                    FloatCase{1e15, "1000000000000000.0"},
                    FloatCase{9999999999999998.0, "9999999999999998.0"},
                    FloatCase{2251799813685248.5, "2251799813685248.5"}));

INSTANTIATE_TEST_SUITE_P(
    Exponential, FloatFormTest,
    testing::Values(FloatCase{1e-5, "1e-5"}, FloatCase{-1e-5, "-1e-5"},
                    FloatCase{9.999999999999999e-05, "9.999999999999999e-5"},
                    FloatCase{1e16, "1e16"}, FloatCase{1.2345e16, "1.2345e16"},
                    FloatCase{1e20, "1e20"}, FloatCase{1.5e300, "1.5e300"},
                    FloatCase{-1.5e300, "-1.5e300"},
                    FloatCase{5e-324, "5e-324"},
                    FloatCase{std::numeric_limits<double>::max(),
                              "1.7976931348623157e308"}));

INSTANTIATE_TEST_SUITE_P(
    NotFinite, FloatFormTest,
    testing::Values(FloatCase{std::numeric_limits<double>::quiet_NaN(), "NaN"},
                    FloatCase{-std::numeric_limits<double>::quiet_NaN(), "NaN"},
                    FloatCase{std::numeric_limits<double>::infinity(), "inf"},
                    FloatCase{-std::numeric_limits<double>::infinity(),
                              "-inf"}));

}  // namespace
}  // namespace vorpalyx
