#include "solver/word_weights.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "char_utils/fold.h"

namespace vorpalyx {

void WordWeights::name(std::string word, std::int32_t weight) {
  const auto [place, added] = by_word.try_emplace(std::move(word), weight);
  if (!added) place->second = std::max(place->second, weight);
}

void WordWeights::set_floor() {
  if (by_word.empty()) {
    floor = kUnweightedFloor;
    return;
  }
  std::int32_t lowest = 0;
  for (const auto& [word, weight] : by_word) lowest = std::min(lowest, weight);
  floor = lowest - 1;
}

std::int32_t WordWeights::weight_of_folded(const std::string& word) const {
  const bool plain = std::all_of(word.begin(), word.end(), [](char byte) {
    return static_cast<unsigned char>(byte) < 0x80;
  });
  if (plain) return floor;
  const auto found = by_word.find(fold_text(word));
  return found == by_word.end() ? floor : found->second;
}

std::string spelling_of(std::string_view word) {
  std::string folded;
  std::string spelling;
  fold_word(word, &folded, &spelling);
  return spelling;
}

std::int32_t hundredths(double log10_frequency) {
  return static_cast<std::int32_t>(std::lround(log10_frequency * 100));
}

namespace {

// Calls `visit(number, line)` for each line of `text` without its '\r',
// numbered from 1; stops at the first that returns false.
template <typename Visit>
bool for_each_line(std::string_view text, Visit&& visit) {
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!visit(++number, line)) return false;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return true;
}

std::string shown(std::string_view line) {
  constexpr std::size_t kShown = 40;
  if (line.size() <= kShown) return std::string(line);
  // Cut before a character, not inside one: the reason must stay UTF-8.
  std::size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return std::string(line.substr(0, cut)) + "...";
}

// The count that `text` spells, if it is a positive double; else none, and
// `reason` says why.
std::optional<double> positive_count(std::string_view text,
                                     std::string* reason) {
  double count = 0;
  const auto [end, status] =
      std::from_chars(text.data(), text.data() + text.size(), count);
  const bool whole = !text.empty() && end == text.data() + text.size();
  if (status == std::errc::result_out_of_range && whole && text[0] != '-') {
    const bool large = std::strtod(std::string(text).c_str(), nullptr) != 0;
    *reason =
        "the count '" + shown(text) + "' is " +
        (large ? "more than a double holds" : "too small for a double to hold");
    return std::nullopt;
  }
  if (status != std::errc() || !whole || !std::isfinite(count) || count <= 0) {
    *reason = "the count '" + shown(text) + "' is not a positive number";
    return std::nullopt;
  }
  return count;
}

}  // namespace

std::variant<WordWeights, WeightsFileError> weights_from_counts(
    std::string_view text) {
  std::unordered_map<std::string, double> counts;
  double total = 0;
  WeightsFileError error;
  const bool read =
      for_each_line(text, [&](std::size_t number, std::string_view line) {
        if (line.empty()) return true;
        error.line = number;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
          error.reason = "expected word<TAB>count, got '" + shown(line) + "'";
          return false;
        }
        std::string word = spelling_of(line.substr(0, tab));
        if (word.empty()) {
          error.reason = "the word '" + shown(line.substr(0, tab)) +
                         "' has no letters a-z";
          return false;
        }
        const std::optional<double> count =
            positive_count(line.substr(tab + 1), &error.reason);
        if (!count) return false;
        counts[std::move(word)] += *count;
        total += *count;
        return true;
      });
  if (!read) return error;
  if (!std::isfinite(total)) {
    return WeightsFileError{0, "the counts add up to more than a double holds"};
  }
  WordWeights weights;
  for (auto& [word, count] : counts) {
    // A count far below the total (1e-300 beside 1e308) makes a ratio that
    // is no normal double, or none at all: its logarithm is then taken as a
    // difference.
    const double ratio = count / total;
    const double log10_ratio = ratio >= std::numeric_limits<double>::min()
                                   ? std::log10(ratio)
                                   : std::log10(count) - std::log10(total);
    const double weight =
        std::max(log10_ratio, static_cast<double>(kLowestWeight) / 100);
    weights.name(word, std::min(hundredths(weight), 0));
  }
  weights.set_floor();
  return weights;
}

WordWeights weights_from_aligned_lines(std::string_view words,
                                       std::string_view weights_text) {
  std::vector<std::int32_t> values;
  for_each_line(weights_text, [&](std::size_t number, std::string_view line) {
    std::int32_t value = 0;
    const auto [end, status] =
        std::from_chars(line.data(), line.data() + line.size(), value);
    if (status != std::errc() || end != line.data() + line.size() ||
        value > 0 || value < kLowestWeight) {
      throw std::invalid_argument("bad weight on line " +
                                  std::to_string(number));
    }
    values.push_back(value);
    return true;
  });
  WordWeights weights;
  weights.by_word.reserve(values.size());
  std::size_t index = 0;
  for_each_line(words, [&](std::size_t number, std::string_view line) {
    if (index == values.size()) {
      throw std::invalid_argument("no weight for line " +
                                  std::to_string(number));
    }
    // The bundled list is stored normalised already.
    const bool plain = std::all_of(line.begin(), line.end(), [](char letter) {
      return letter >= 'a' && letter <= 'z';
    });
    std::string word = plain ? std::string(line) : spelling_of(line);
    if (!word.empty()) weights.name(std::move(word), values[index]);
    ++index;
    return true;
  });
  if (index != values.size()) {
    throw std::invalid_argument("more weights than words");
  }
  weights.floor = values.empty()
                      ? kUnweightedFloor
                      : *std::min_element(values.begin(), values.end());
  return weights;
}

}  // namespace vorpalyx
