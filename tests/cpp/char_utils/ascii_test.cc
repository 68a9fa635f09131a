#include "char_utils/ascii.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace vorpalyx {
namespace {

static_assert(fold_ascii_case(U'Q') == U'q' && is_ascii_letter('q'));

struct FoldCase {
  const char* name;
  char32_t value;
  char32_t folded;
  bool letter;
};

void PrintTo(const FoldCase& c, std::ostream* os) { *os << c.name; }

class AsciiTest : public testing::TestWithParam<FoldCase> {};

// Values up to 0xFF are also checked as a byte of UTF-8 text, where those
// from 0x80 on are negative if char is signed.
TEST_P(AsciiTest, FoldsCodePointAndByte) {
  const FoldCase& c = GetParam();
  EXPECT_EQ(fold_ascii_case(c.value), c.folded);
  EXPECT_EQ(is_ascii_letter(c.value), c.letter);
  if (c.value > 0xFF) return;
  const char byte = static_cast<char>(c.value);
  EXPECT_EQ(fold_ascii_case(byte), static_cast<char>(c.folded));
  EXPECT_EQ(is_ascii_letter(byte), c.letter);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AsciiTest,
    testing::Values(
        // name, value, folded, letter
        FoldCase{"CapitalA", U'A', U'a', true},
        FoldCase{"CapitalZ", U'Z', U'z', true},
        FoldCase{"SmallA", U'a', U'a', true},
        FoldCase{"SmallZ", U'z', U'z', true},
        // The neighbours of both letter ranges.
        FoldCase{"AtSign", U'@', U'@', false},
        FoldCase{"LeftBracket", U'[', U'[', false},
        FoldCase{"GraveAccent", U'`', U'`', false},
        FoldCase{"LeftBrace", U'{', U'{', false},
        FoldCase{"Null", 0x00, 0x00, false},
        FoldCase{"Delete", 0x7F, 0x7F, false},
        // Below the top bit these spell 'A' and 'a'.
        FoldCase{"CapitalAAcute", 0xC1, 0xC1, false},
        FoldCase{"SmallAAcute", 0xE1, 0xE1, false},
        // Their low byte, and low 16 bits, spell 'A'.
        FoldCase{"CapitalLStroke", 0x0141, 0x0141, false},
        FoldCase{"U10041", 0x10041, 0x10041, false},
        FoldCase{"KelvinSign", 0x212A, 0x212A, false},
        FoldCase{"FullwidthCapitalA", 0xFF21, 0xFF21, false},
        FoldCase{"MaxChar32", 0xFFFFFFFF, 0xFFFFFFFF, false}),
    [](const testing::TestParamInfo<FoldCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace vorpalyx
