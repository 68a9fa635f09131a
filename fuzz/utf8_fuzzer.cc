// Fuzzes the UTF-8 helpers over arbitrary bytes.
//
// is_valid_utf8 must agree with a validator written from the table of
// well-formed byte sequences in the Unicode standard (chapter 3); the decoder
// must always advance within the text, give back exactly the bytes of valid
// text when its code points are encoded again, and yield U+FFFD for every
// byte it cannot decode.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "char_utils/utf8.h"
#include "fuzz_check.h"

namespace {

// Length of the well-formed sequence at `text[position]`, or 0.
std::size_t well_formed_length(std::string_view text, std::size_t position) {
  auto byte = [&](std::size_t offset) -> int {
    return position + offset < text.size()
               ? static_cast<std::uint8_t>(text[position + offset])
               : -1;
  };
  auto in = [](int value, int low, int high) {
    return value >= low && value <= high;
  };
  const int lead = byte(0);
  if (in(lead, 0x00, 0x7F)) return 1;
  if (in(lead, 0xC2, 0xDF)) return in(byte(1), 0x80, 0xBF) ? 2 : 0;
  int second_low = 0x80;
  int second_high = 0xBF;
  std::size_t length = 0;
  if (lead == 0xE0) {
    second_low = 0xA0, length = 3;
  } else if (in(lead, 0xE1, 0xEC) || in(lead, 0xEE, 0xEF)) {
    length = 3;
  } else if (lead == 0xED) {
    second_high = 0x9F, length = 3;
  } else if (lead == 0xF0) {
    second_low = 0x90, length = 4;
  } else if (in(lead, 0xF1, 0xF3)) {
    length = 4;
  } else if (lead == 0xF4) {
    second_high = 0x8F, length = 4;
  } else {
    return 0;
  }
  if (!in(byte(1), second_low, second_high)) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!in(byte(i), 0x80, 0xBF)) return 0;
  }
  return length;
}

bool reference_is_valid(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t length = well_formed_length(text, position);
    if (length == 0) return false;
    position += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool valid = vorpalyx::is_valid_utf8(text);
  FUZZ_CHECK(valid == reference_is_valid(text));

  std::string encoded;
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t start = position;
    const char32_t code_point = vorpalyx::decode_utf8(text, &position);
    FUZZ_CHECK(position > start && position <= text.size());
    const std::size_t length = well_formed_length(text, start);
    if (length == 0) {
      FUZZ_CHECK(code_point == vorpalyx::kReplacementCharacter);
      FUZZ_CHECK(position == start + 1);
    } else {
      FUZZ_CHECK(position == start + length);
      FUZZ_CHECK(code_point <= 0x10FFFF &&
                 !(code_point >= 0xD800 && code_point <= 0xDFFF));
    }
    vorpalyx::append_utf8(encoded, code_point);
  }
  if (valid) FUZZ_CHECK(encoded == text);
  return 0;
}
