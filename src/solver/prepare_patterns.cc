#include "solver/prepare_patterns.h"

#include <utility>
#include <variant>

#include "char_utils/char_counts.h"
#include "char_utils/normalize.h"

namespace vorpalyx {

std::vector<ProcessedPattern> prepare_patterns(
    const std::vector<std::string>& texts) {
  std::vector<ProcessedPattern> patterns;
  for (const std::string& text : texts) {
    std::string normalized = normalize_word(text);
    if (normalized.empty()) continue;
    auto counted = CharCounts::from_str(normalized);
    if (!std::holds_alternative<CharCounts>(counted)) continue;
    patterns.push_back({std::move(normalized), std::get<CharCounts>(counted)});
  }
  return patterns;
}

}  // namespace vorpalyx
