#include "char_utils/unicode_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>

namespace vorpalyx::unicode {
namespace {

using GC = GeneralCategory;

constexpr std::array<GC, 8> kAllCategories = {
    GC::kCc, GC::kCf, GC::kCs, GC::kCo, GC::kCn, GC::kZl, GC::kZp, GC::kZs,
};

struct CodePointCase {
  const char* name;
  char32_t code_point;
  bool alphabetic;
  bool grapheme_extend;
  // The one queried category the code point belongs to; nullopt when its
  // category is outside the set (letters, digits, marks, symbols, ...).
  std::optional<GC> category;
};

// Lets gtest name the failing case instead of dumping its bytes.
void PrintTo(const CodePointCase& c, std::ostream* os) { *os << c.name; }

class UnicodeTablesTest : public testing::TestWithParam<CodePointCase> {};

TEST_P(UnicodeTablesTest, Alphabetic) {
  EXPECT_EQ(is_alphabetic(GetParam().code_point), GetParam().alphabetic);
}

TEST_P(UnicodeTablesTest, GraphemeExtend) {
  EXPECT_EQ(is_grapheme_extend(GetParam().code_point),
            GetParam().grapheme_extend);
}

// Checks every category, so a code point must be in its own and in no other.
TEST_P(UnicodeTablesTest, GeneralCategory) {
  const CodePointCase& c = GetParam();
  for (std::size_t i = 0; i < kAllCategories.size(); ++i) {
    SCOPED_TRACE("category index " + std::to_string(i));
    EXPECT_EQ(has_general_category(c.code_point, kAllCategories[i]),
              c.category == kAllCategories[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(
    CodePoints, UnicodeTablesTest,
    testing::Values(
        // name, code point, Alphabetic, Grapheme_Extend, category
        CodePointCase{"LatinSmallA", U'a', true, false, std::nullopt},
        CodePointCase{"LatinCapitalZ", U'Z', true, false, std::nullopt},
        CodePointCase{"DigitZero", U'0', false, false, std::nullopt},
        CodePointCase{"Space", U' ', false, false, GC::kZs},
        CodePointCase{"EAcute", 0x00E9, true, false, std::nullopt},
        // A combining mark that is nonetheless Alphabetic.
        CodePointCase{"Ypogegrammeni", 0x0345, true, true, std::nullopt},
        // Nl, not a letter category, but Alphabetic.
        CodePointCase{"RomanNumeralOne", 0x2160, true, false, std::nullopt},
        CodePointCase{"NoBreakSpace", 0x00A0, false, false, GC::kZs},
        CodePointCase{"EmDash", 0x2014, false, false, std::nullopt},
        CodePointCase{"IdeographicSpace", 0x3000, false, false, GC::kZs},
        CodePointCase{"GrinningFace", 0x1F600, false, false, std::nullopt},
        CodePointCase{"CombiningAcute", 0x0301, false, true, std::nullopt},
        // ZWNJ is Grapheme_Extend; ZWJ is not (it has its own grapheme
        // cluster break class, ZWJ).
        CodePointCase{"ZeroWidthNonJoiner", 0x200C, false, true, GC::kCf},
        CodePointCase{"ZeroWidthJoiner", 0x200D, false, false, GC::kCf},
        CodePointCase{"SoftHyphen", 0x00AD, false, false, GC::kCf},
        CodePointCase{"ByteOrderMark", 0xFEFF, false, false, GC::kCf},
        // Tags are Cf and Grapheme_Extend, outside the BMP.
        CodePointCase{"LanguageTag", 0xE0001, false, false, GC::kCf},
        CodePointCase{"TagSpace", 0xE0020, false, true, GC::kCf},
        CodePointCase{"Null", 0x0000, false, false, GC::kCc},
        CodePointCase{"Tab", 0x0009, false, false, GC::kCc},
        CodePointCase{"Delete", 0x007F, false, false, GC::kCc},
        CodePointCase{"LastC1Control", 0x009F, false, false, GC::kCc},
        CodePointCase{"LineSeparator", 0x2028, false, false, GC::kZl},
        CodePointCase{"ParagraphSeparator", 0x2029, false, false, GC::kZp},
        // Surrogate and private-use blocks are First/Last pairs in
        // UnicodeData.txt; both ends and the inside must be covered.
        CodePointCase{"FirstSurrogate", 0xD800, false, false, GC::kCs},
        CodePointCase{"InsideSurrogates", 0xDB80, false, false, GC::kCs},
        CodePointCase{"LastSurrogate", 0xDFFF, false, false, GC::kCs},
        CodePointCase{"FirstPrivateUse", 0xE000, false, false, GC::kCo},
        CodePointCase{"LastPrivateUse", 0xF8FF, false, false, GC::kCo},
        CodePointCase{"CjkCompatibility", 0xF900, true, false, std::nullopt},
        CodePointCase{"LastPlane16PrivateUse", 0x10FFFD, false, false, GC::kCo},
        CodePointCase{"UnassignedGreek", 0x0378, false, false, GC::kCn},
        CodePointCase{"NoncharacterFFFE", 0xFFFE, false, false, GC::kCn},
        CodePointCase{"Noncharacter10FFFE", 0x10FFFE, false, false, GC::kCn},
        CodePointCase{"LastCodePoint", 0x10FFFF, false, false, GC::kCn},
        // Ideograph and syllable blocks: First, inside and Last lines, then
        // the code point just past the block.
        CodePointCase{"CjkFirst", 0x4E00, true, false, std::nullopt},
        CodePointCase{"CjkInside", 0x4E01, true, false, std::nullopt},
        CodePointCase{"CjkLast", 0x9FFF, true, false, std::nullopt},
        CodePointCase{"CjkExtALast", 0x4DBF, true, false, std::nullopt},
        CodePointCase{"YijingHexagram", 0x4DC0, false, false, std::nullopt},
        CodePointCase{"CjkExtFLast", 0x2EBE0, true, false, std::nullopt},
        CodePointCase{"HangulInside", 0xAC01, true, false, std::nullopt},
        CodePointCase{"HangulLast", 0xD7A3, true, false, std::nullopt},
        CodePointCase{"AfterHangul", 0xD7A4, false, false, GC::kCn},
        // Not code points at all: in no table, not even Cn.
        CodePointCase{"PastCodeSpace", 0x110000, false, false, std::nullopt},
        CodePointCase{"MaxChar32", 0xFFFFFFFF, false, false, std::nullopt}),
    [](const testing::TestParamInfo<CodePointCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace vorpalyx::unicode
