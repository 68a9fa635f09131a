#include "char_utils/fold.h"

#include <algorithm>

#include "char_utils/ascii.h"
#include "char_utils/fold_table.h"
#include "char_utils/unicode_tables.h"
#include "char_utils/utf8.h"

namespace vorpalyx {
namespace {

// decode_utf8 with the two-byte forms, which hold the accented Latin
// letters, decoded here.
char32_t decode_at(std::string_view text, std::size_t* position) {
  const auto lead = static_cast<unsigned char>(text[*position]);
  if (lead >= 0xC2 && lead <= 0xDF && *position + 1 < text.size()) {
    const auto next = static_cast<unsigned char>(text[*position + 1]);
    if ((next & 0xC0) == 0x80) {
      *position += 2;
      return static_cast<char32_t>((lead & 0x1F) << 6 | (next & 0x3F));
    }
  }
  return decode_utf8(text, position);
}

// Writes the UTF-8 form of `code_point` at `out`; returns its end.
char* put_utf8(char* out, char32_t code_point) {
  std::string encoded;
  append_utf8(encoded, code_point);
  for (char byte : encoded) *out++ = byte;
  return out;
}

}  // namespace

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
                   find_fold_entry(decode_at(text, &position))) {
      folded.append(entry->folded());
    }
  }
  return folded;
}

void fold_word(std::string_view word, std::string* folded,
               std::string* spelling) {
  // Written in place: no letter folds to more bytes than it has, and none
  // lower-cases to more than twice as many (tools/gen_fold_table.py checks).
  folded->resize(word.size());
  spelling->resize(2 * word.size());
  char* fold_end = folded->data();
  char* spell_end = spelling->data();
  // Whether the character before was kept, so that a mark after it is too.
  bool after_letter = false;
  std::size_t position = 0;
  while (position < word.size()) {
    const char byte = word[position];
    if (static_cast<unsigned char>(byte) < 0x80) {
      after_letter = is_ascii_letter(byte);
      if (after_letter) {
        *fold_end++ = fold_ascii_case(byte);
        *spell_end++ = fold_ascii_case(byte);
      }
      ++position;
      continue;
    }
    const std::size_t start = position;
    const char32_t code_point = decode_at(word, &position);
    const std::string_view bytes = word.substr(start, position - start);
    if (const FoldEntry* entry = find_fold_entry(code_point)) {
      const std::string_view letters = entry->folded();
      fold_end = std::copy(letters.begin(), letters.end(), fold_end);
      spell_end = entry->lower == code_point
                      ? std::copy(bytes.begin(), bytes.end(), spell_end)
                      : put_utf8(spell_end, entry->lower);
      after_letter = true;
    } else if (after_letter && unicode::is_grapheme_extend(code_point) &&
               !unicode::has_general_category(code_point,
                                              unicode::GeneralCategory::kCf)) {
      // Marks, not the invisible formatting that also extends a grapheme
      // (ZERO WIDTH NON-JOINER, tags): that would make two spellings look
      // alike.
      spell_end = std::copy(bytes.begin(), bytes.end(), spell_end);
    } else {
      after_letter = false;
    }
  }
  folded->resize(static_cast<std::size_t>(fold_end - folded->data()));
  spelling->resize(static_cast<std::size_t>(spell_end - spelling->data()));
}

}  // namespace vorpalyx
