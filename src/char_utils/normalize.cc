#include "char_utils/normalize.h"

namespace vorpalyx {

// Bytes of multi-byte UTF-8 sequences are all >= 0x80, so a byte-wise scan
// can never mistake part of a non-ASCII character for an ASCII letter.
std::string normalize_word(std::string_view word) {
  std::string normalized;
  normalized.reserve(word.size());
  for (char byte : word) {
    if (byte >= 'A' && byte <= 'Z') {
      normalized.push_back(static_cast<char>(byte - 'A' + 'a'));
    } else if (byte >= 'a' && byte <= 'z') {
      normalized.push_back(byte);
    }
  }
  return normalized;
}

}  // namespace vorpalyx
