#include "char_utils/fold.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "char_utils/normalize.h"

namespace vorpalyx {
namespace {

struct FoldCase {
  const char* name;
  const char* word;
  const char* folded;
  const char* spelling;
};

void PrintTo(const FoldCase& c, std::ostream* os) { *os << c.name; }

class FoldTest : public testing::TestWithParam<FoldCase> {};

TEST_P(FoldTest, FoldsAndSpells) {
  const FoldCase& c = GetParam();
  std::string folded = "stale";
  std::string spelling = "stale";
  fold_word(c.word, &folded, &spelling);
  EXPECT_EQ(folded, c.folded);
  EXPECT_EQ(spelling, c.spelling);
  EXPECT_EQ(fold_text(c.word), c.folded);
  // A spelling is a fixed point, and folds as the word does.
  std::string again_folded, again_spelling;
  fold_word(spelling, &again_folded, &again_spelling);
  EXPECT_EQ(again_spelling, spelling);
  EXPECT_EQ(again_folded, folded);
}

INSTANTIATE_TEST_SUITE_P(
    Words, FoldTest,
    testing::Values(
        // name, word, folded, spelling
        FoldCase{"Ascii", "Don't-Stop 42", "dontstop", "dontstop"},
        FoldCase{"Composed", "Côté", "cote", "côté"},
        FoldCase{"Decomposed", "Co\u0302te\u0301", "cote", "co\u0302te\u0301"},
        FoldCase{"SharpS", "Straße", "strasse", "straße"},
        FoldCase{"CapitalSharpS", "STRAẞE", "strasse", "straße"},
        FoldCase{"Ligatures", "Æsir Œuvre", "aesiroeuvre", "æsirœuvre"},
        FoldCase{"Strokes", "Øre Łódź Đak Ħal", "orelodzdakhal",
                 "ørełódźđakħal"},
        FoldCase{"EthThorn", "Ðórr Þing", "dorrthing", "ðórrþing"},
        FoldCase{"DotlessAndDotted", "ıİ", "ii", "ıi"},
        FoldCase{"KraAndEng", "ĸŋ", "qng", "ĸŋ"},
        FoldCase{"Compatibility", "ﬃ ǅ ｆ 𝐀", "ffidzfa", "ﬃǆｆ𝐀"},
        FoldCase{"OtherScripts", "αβγ абв 日本", "", ""},
        FoldCase{"MarkAfterDropped", "a-\u0301b", "ab", "ab"},
        FoldCase{"MarkAfterOtherScript", "α\u0301e", "e", "e"},
        FoldCase{"FormatAfterLetter", "Auf\u200clage e\U000E0041", "auflagee",
                 "auflagee"},
        FoldCase{"Empty", "", "", ""}));

TEST(FoldTest, EqualsNormalizeOnAscii) {
  std::string ascii;
  for (int byte = 0; byte < 0x80; ++byte)
    ascii.push_back(static_cast<char>(byte));
  EXPECT_EQ(fold_text(ascii), normalize_word(ascii));
}

}  // namespace
}  // namespace vorpalyx
