#include "solver/trace_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>

#include "char_utils/unicode_tables.h"
#include "char_utils/utf8.h"

namespace vorpalyx {
namespace {

void append_quoted_word(std::string& out, std::string_view word) {
  out.push_back('"');
  for (char byte : word) {
    if (byte == '"' || byte == '\\') out.push_back('\\');
    out.push_back(byte);
  }
  out.push_back('"');
}

void append_hex_escape(std::string& out, char32_t code_point) {
  char digits[8];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits,
                                    static_cast<std::uint32_t>(code_point), 16);
  (void)error;
  out += "\\u{";
  out.append(digits, end);
  out += '}';
}

bool needs_hex_escape(char32_t code_point) {
  using unicode::GeneralCategory;
  if (code_point == U' ') return false;
  if (unicode::is_grapheme_extend(code_point)) return true;
  for (GeneralCategory category :
       {GeneralCategory::kCc, GeneralCategory::kCf, GeneralCategory::kCs,
        GeneralCategory::kCo, GeneralCategory::kCn, GeneralCategory::kZl,
        GeneralCategory::kZp, GeneralCategory::kZs}) {
    if (unicode::has_general_category(code_point, category)) return true;
  }
  return false;
}

template <typename Value, typename AppendValue>
void append_optional(std::string& out, const std::optional<Value>& value,
                     AppendValue append_value) {
  if (!value) {
    out += "None";
    return;
  }
  out += "Some(";
  append_value(*value);
  out += ')';
}

void append_letter_set(std::string& out, const LetterSet& set) {
  out += '{';
  bool first = true;
  for (char32_t member : set) {
    if (!first) out += ", ";
    first = false;
    append_char_literal(out, member);
  }
  out += '}';
}

}  // namespace

void append_word_list(std::string& out, const std::vector<std::string>& words) {
  out += '[';
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i != 0) out += ", ";
    append_quoted_word(out, words[i]);
  }
  out += ']';
}

void append_mask(std::string& out, const std::vector<bool>& mask) {
  out += '[';
  for (std::size_t i = 0; i < mask.size(); ++i) {
    if (i != 0) out += ", ";
    out += mask[i] ? "true" : "false";
  }
  out += ']';
}

void append_char_counts(std::string& out, const CharCounts& counts) {
  out += "CharCounts([";
  for (std::size_t i = 0; i < kAlphabetSize; ++i) {
    if (i != 0) out += ", ";
    out += std::to_string(counts[i]);
  }
  out += "])";
}

void append_char_literal(std::string& out, char32_t code_point) {
  out += '\'';
  switch (code_point) {
    case U'\'':
      out += "\\'";
      break;
    case U'\\':
      out += "\\\\";
      break;
    case U'\t':
      out += "\\t";
      break;
    case U'\r':
      out += "\\r";
      break;
    case U'\n':
      out += "\\n";
      break;
    case U'\0':
      out += "\\0";
      break;
    default:
      if (needs_hex_escape(code_point)) {
        append_hex_escape(out, code_point);
      } else {
        append_utf8(out, code_point);
      }
  }
  out += '\'';
}

// Shortest round-trip digits come from std::to_chars in scientific form
// ("d.ddde±x"); they are then laid out in positional notation for magnitudes
// in [1e-4, 1e16) and zero, and as mantissa "e" exponent otherwise.
void append_float(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::signbit(value)) out += '-';
  const double magnitude = std::fabs(value);
  if (std::isinf(magnitude)) {
    out += "inf";
    return;
  }
  if (magnitude == 0) {
    out += "0.0";
    return;
  }
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                    std::chars_format::scientific);
  (void)error;
  const std::string_view scientific(buffer, end - buffer);
  const std::size_t e_position = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, e_position)) {
    if (c != '.') digits.push_back(c);
  }
  const int exponent =
      std::atoi(std::string(scientific.substr(e_position + 1)).c_str());

  if (magnitude >= 1e-4 && magnitude < 1e16) {
    if (exponent >= 0) {
      const auto integer_digits = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= integer_digits) {
        out += digits;
        out.append(integer_digits - digits.size(), '0');
        out += ".0";
      } else {
        out.append(digits, 0, integer_digits);
        out += '.';
        out.append(digits, integer_digits);
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    }
    return;
  }
  out += digits[0];
  if (digits.size() > 1) {
    out += '.';
    out.append(digits, 1);
  }
  out += 'e';
  out += std::to_string(exponent);
}

void append_processed_pattern(std::string& out,
                              const ProcessedPattern& pattern) {
  out += "ProcessedPattern { text: ";
  append_quoted_word(out, pattern.text);
  out += ", counts: ";
  append_char_counts(out, pattern.counts);
  out += " }";
}

void append_constraints(std::string& out,
                        const SolverConstraints& constraints) {
  auto append_number = [&out](std::uint64_t number) {
    out += std::to_string(number);
  };
  out += "SolverConstraints { must_start_with: ";
  append_optional(out, constraints.must_start_with,
                  [&out](const LetterCountMap& map) {
                    out += '{';
                    bool first = true;
                    for (const auto& [letter, count] : map) {
                      if (!first) out += ", ";
                      first = false;
                      append_char_literal(out, letter);
                      out += ": ";
                      out += std::to_string(count);
                    }
                    out += '}';
                  });
  out += ", can_only_ever_start_with: ";
  append_optional(
      out, constraints.can_only_ever_start_with,
      [&out](const LetterSet& set) { append_letter_set(out, set); });
  out += ", must_not_start_with: ";
  append_optional(
      out, constraints.must_not_start_with,
      [&out](const LetterSet& set) { append_letter_set(out, set); });
  out += ", max_words: ";
  append_optional(out, constraints.max_words, append_number);
  out += ", min_word_length: ";
  append_optional(out, constraints.min_word_length, append_number);
  out += ", timeout_seconds: ";
  append_optional(out, constraints.timeout_seconds,
                  [&out](double seconds) { append_float(out, seconds); });
  out += ", max_solutions: ";
  append_optional(out, constraints.max_solutions, append_number);
  out += ", contains_patterns: ";
  append_optional(out, constraints.contains_patterns,
                  [&out](const std::vector<ProcessedPattern>& patterns) {
                    out += '[';
                    for (std::size_t i = 0; i < patterns.size(); ++i) {
                      if (i != 0) out += ", ";
                      append_processed_pattern(out, patterns[i]);
                    }
                    out += ']';
                  });
  out += " }";
}

}  // namespace vorpalyx
