// UTF-8 decoding and encoding of Unicode scalar values.
//
// Text reaching the engine comes from Python's UTF-8 form of a `str`, so it is
// well formed. The decoder still accepts any bytes: a malformed sequence
// decodes to U+FFFD and advances by one byte, so no input can make a caller
// read past the end of its text. Cost: one pass, no allocation.
//
// Tested by tests/cpp/char_utils/char_utils_test.cc and the utf8 fuzzer.

#ifndef VORPALYX_CHAR_UTILS_UTF8_H_
#define VORPALYX_CHAR_UTILS_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace vorpalyx {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point that starts at `text[*position]` and moves
// `*position` past it. Requires `*position < text.size()`.
char32_t decode_utf8(std::string_view text, std::size_t* position);

// Appends the UTF-8 form of `code_point` to `out`.
void append_utf8(std::string& out, char32_t code_point);

// True when `text` is well-formed UTF-8 (scalar values only, shortest forms).
bool is_valid_utf8(std::string_view text);

// Calls `visit(code_point)` for each code point of `text`, in order.
template <typename Visitor>
void for_each_code_point(std::string_view text, Visitor&& visit) {
  std::size_t position = 0;
  while (position < text.size()) {
    visit(decode_utf8(text, &position));
  }
}

}  // namespace vorpalyx

#endif  // VORPALYX_CHAR_UTILS_UTF8_H_
