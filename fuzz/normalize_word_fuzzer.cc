// Fuzzes normalize_word over arbitrary bytes.
//
// The byte-wise result must equal a filter over decoded code points (no byte
// of a multi-byte sequence may ever pass for an ASCII letter), hold only
// a..z, never grow, and be unchanged by a second normalisation.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "char_utils/normalize.h"
#include "char_utils/utf8.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string normalized = vorpalyx::normalize_word(text);

  std::string expected;
  vorpalyx::for_each_code_point(text, [&](char32_t code_point) {
    if (code_point >= U'A' && code_point <= U'Z') code_point += U'a' - U'A';
    if (code_point >= U'a' && code_point <= U'z') {
      expected.push_back(static_cast<char>(code_point));
    }
  });
  FUZZ_CHECK(normalized == expected);
  FUZZ_CHECK(normalized.size() <= text.size());
  for (char letter : normalized) FUZZ_CHECK(letter >= 'a' && letter <= 'z');
  FUZZ_CHECK(vorpalyx::normalize_word(normalized) == normalized);
  return 0;
}
