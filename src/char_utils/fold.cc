#include "char_utils/fold.h"

#include "char_utils/ascii.h"
#include "char_utils/fold_table.h"
#include "char_utils/unicode_tables.h"
#include "char_utils/utf8.h"

namespace vorpalyx {

std::string fold_text(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  std::size_t position = 0;
  while (position < text.size()) {
    const char byte = text[position];
    if (static_cast<unsigned char>(byte) < 0x80) {
      if (is_ascii_letter(byte)) folded.push_back(fold_ascii_case(byte));
      ++position;
    } else if (const FoldEntry* entry =
                   find_fold_entry(decode_utf8(text, &position))) {
      folded.append(entry->folded());
    }
  }
  return folded;
}

void fold_word(std::string_view word, std::string* folded,
               std::string* spelling) {
  folded->clear();
  spelling->clear();
  // Whether the character before was kept, so that a mark after it is too.
  bool after_letter = false;
  std::size_t position = 0;
  while (position < word.size()) {
    const char byte = word[position];
    if (static_cast<unsigned char>(byte) < 0x80) {
      after_letter = is_ascii_letter(byte);
      if (after_letter) {
        folded->push_back(fold_ascii_case(byte));
        spelling->push_back(fold_ascii_case(byte));
      }
      ++position;
      continue;
    }
    const char32_t code_point = decode_utf8(word, &position);
    if (const FoldEntry* entry = find_fold_entry(code_point)) {
      folded->append(entry->folded());
      append_utf8(*spelling, entry->lower);
      after_letter = true;
    } else if (after_letter && unicode::is_grapheme_extend(code_point)) {
      append_utf8(*spelling, code_point);
    } else {
      after_letter = false;
    }
  }
}

}  // namespace vorpalyx
