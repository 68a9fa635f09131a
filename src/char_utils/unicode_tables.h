// Unicode character properties the engine needs to classify input text: the
// Alphabetic and Grapheme_Extend binary properties and membership in a few
// general categories (control, format, surrogate, private use, unassigned and
// separators).
//
// The data lives in unicode_tables.cc, which tools/gen_unicode_tables.py
// generates from the Unicode Character Database as sorted tables of code point
// ranges (the Unicode version is named at the top of that file). Every query
// is a binary search over one table: O(log n) in the table's number of ranges,
// with no allocation and no runtime dependency.
//
// Values above U+10FFFF are not Unicode code points: every query returns
// false for them (not alphabetic, not Grapheme_Extend, in no general category,
// including Cn). Surrogates U+D800..U+DFFF are accepted and report category
// Cs.
//
// Tested by tests/cpp/char_utils/unicode_tables_test.cc.

#ifndef VORPALYX_CHAR_UTILS_UNICODE_TABLES_H_
#define VORPALYX_CHAR_UTILS_UNICODE_TABLES_H_

namespace vorpalyx::unicode {

// True if code_point has the derived property Alphabetic.
bool is_alphabetic(char32_t code_point);

// True if code_point has the derived property Grapheme_Extend: combining
// marks, ZERO WIDTH NON-JOINER, tag characters and the like, which continue
// the grapheme cluster before them. ZERO WIDTH JOINER (U+200D) is not
// Grapheme_Extend: grapheme segmentation gives it a break class of its own.
bool is_grapheme_extend(char32_t code_point);

// The general categories the engine queries. kCn is every code point that
// UnicodeData.txt does not assign (noncharacters included).
enum class GeneralCategory {
  kCc,  // Control
  kCf,  // Format
  kCs,  // Surrogate
  kCo,  // Private use
  kCn,  // Unassigned
  kZl,  // Line separator
  kZp,  // Paragraph separator
  kZs,  // Space separator
};

// True if code_point's general category is `category`.
bool has_general_category(char32_t code_point, GeneralCategory category);

}  // namespace vorpalyx::unicode

#endif  // VORPALYX_CHAR_UTILS_UNICODE_TABLES_H_
