#include "char_utils/normalize.h"

#include "char_utils/ascii.h"

namespace vorpalyx {

// Bytes of multi-byte UTF-8 sequences are all >= 0x80, so a byte-wise scan
// can never mistake part of a non-ASCII character for an ASCII letter.
std::string normalize_word(std::string_view word) {
  std::string normalized;
  normalized.reserve(word.size());
  for (char byte : word) {
    if (is_ascii_letter(byte)) normalized.push_back(fold_ascii_case(byte));
  }
  return normalized;
}

}  // namespace vorpalyx
