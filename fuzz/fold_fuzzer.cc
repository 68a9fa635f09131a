// Fuzzes folding over arbitrary bytes.
//
// fold_word writes in place within bounds the generated table promises, so
// any input must stay inside them. Its folded letters must equal fold_text,
// hold only a..z and never outgrow the text; the spelling must fold to the
// same letters and be its own spelling.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "char_utils/fold.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string folded;
  std::string spelling;
  vorpalyx::fold_word(text, &folded, &spelling);
  FUZZ_CHECK(folded == vorpalyx::fold_text(text));
  FUZZ_CHECK(folded.size() <= text.size());
  for (char letter : folded) FUZZ_CHECK(letter >= 'a' && letter <= 'z');
  std::string again_folded;
  std::string again_spelling;
  vorpalyx::fold_word(spelling, &again_folded, &again_spelling);
  FUZZ_CHECK(again_folded == folded);
  FUZZ_CHECK(again_spelling == spelling);
  return 0;
}
