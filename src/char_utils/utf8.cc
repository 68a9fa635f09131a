#include "char_utils/utf8.h"

#include <cstdint>

namespace vorpalyx {

char32_t decode_utf8(std::string_view text, std::size_t* position) {
  const std::size_t start = *position;
  const auto lead = static_cast<std::uint8_t>(text[start]);
  if (lead < 0x80) {
    *position = start + 1;
    return lead;
  }
  std::size_t length;
  char32_t code_point;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code_point = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code_point = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code_point = lead & 0x07, minimum = 0x10000;
  } else {
    *position = start + 1;
    return kReplacementCharacter;
  }
  if (text.size() - start < length) {
    *position = start + 1;
    return kReplacementCharacter;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto continuation = static_cast<std::uint8_t>(text[start + i]);
    if ((continuation & 0xC0) != 0x80) {
      *position = start + 1;
      return kReplacementCharacter;
    }
    code_point = (code_point << 6) | (continuation & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not scalar values.
  if (code_point < minimum || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    *position = start + 1;
    return kReplacementCharacter;
  }
  *position = start + length;
  return code_point;
}

bool is_valid_utf8(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size()) {
    const auto byte = static_cast<std::uint8_t>(text[position]);
    if (byte < 0x80) {
      ++position;
      continue;
    }
    const std::size_t start = position;
    // A genuine U+FFFD takes three bytes; the decoder's substitute takes one.
    if (decode_utf8(text, &position) == kReplacementCharacter &&
        position - start == 1) {
      return false;
    }
  }
  return true;
}

void append_utf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

}  // namespace vorpalyx
