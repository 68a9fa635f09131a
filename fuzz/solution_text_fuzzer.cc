// Fuzzes SolutionFormatter against a plain reference formatting.
//
// The input builds a SolutionList of up to 12 words: any bytes, some of
// about a thousand bytes (so that a solution can outgrow a chunk's room),
// some well-formed UTF-8 from every plane. Up to 4 groups of up to 40
// solutions of 1 to 8 words each, every group stored in one of the four
// forms (rows, ids in 64-bit or 128-bit fields, multiset numbers). It then
// picks a format, a slice (first, step from -4 to 4, count) and a chunk size
// (small, one chunk for all, or exactly the end of some solution). The
// chunks joined must equal the reference, made from SolutionList::to_vectors
// with escapes written out here; every chunk must end at the first solution
// boundary at or past the chunk size (the last at the end); and JSON output
// must parse back, with an independent decoder of its escapes, into the
// words' code points (U+FFFD for each byte that decode_utf8 cannot read).

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "char_utils/utf8.h"
#include "fuzz_check.h"
#include "solver/multiset_numbering.h"
#include "solver/solution_keys.h"
#include "solver/solution_list.h"
#include "solver/solution_text.h"

namespace {

using vorpalyx::LongKey;
using vorpalyx::Solution;
using vorpalyx::SolutionFormat;
using vorpalyx::SolutionGroup;
using vorpalyx::SolutionList;

constexpr std::size_t kMaxWords = 12;
constexpr std::size_t kMaxGroups = 4;
constexpr std::size_t kMaxSolutionsPerGroup = 40;
constexpr std::size_t kMaxWordsPerSolution = 8;

std::string make_word(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 15)) {
    case 15: {
      // Long enough that a solution of a few passes any chunk's slack.
      const std::size_t length = input.ConsumeIntegralInRange(600, 1200);
      return std::string(length, input.ConsumeIntegral<char>());
    }
    case 14:
    case 13: {
      // Well-formed UTF-8 from every plane, which random bytes seldom are.
      std::string word;
      for (int i = input.ConsumeIntegralInRange(0, 6); i > 0; --i) {
        char32_t code_point =
            input.ConsumeIntegralInRange<char32_t>(0, 0x10FFFF);
        if (code_point >= 0xD800 && code_point < 0xE000) code_point += 0x800;
        vorpalyx::append_utf8(word, code_point);
      }
      return word;
    }
    default:
      return input.ConsumeRandomLengthString(40);
  }
}

// Fields of `bits` bits, the first id highest, as decode_key reads them.
template <typename Key>
Key fields_key(const std::vector<std::uint32_t>& ids, int bits) {
  Key key = 0;
  for (std::uint32_t id : ids) key = key << bits | Key{id};
  return key;
}

// Stores `solutions` (of `word_count` ids each, below `id_count`) as rows,
// or, when `form` asks for it and the ids fit, as keys.
SolutionGroup make_group(std::vector<std::vector<std::uint32_t>> solutions,
                         std::size_t word_count, std::size_t id_count,
                         int form) {
  SolutionGroup group;
  group.word_count = word_count;
  const int bits = static_cast<int>(std::bit_width(id_count));  // id_count >= 1
  const std::size_t key_bits = word_count * static_cast<std::size_t>(bits);
  auto numbering = std::make_shared<const vorpalyx::MultisetNumbering>(
      id_count, kMaxWordsPerSolution);
  std::uint64_t largest = 0;
  if (form == 1 && key_bits <= 64) {
    group.id_bits = bits;
    group.short_keys =
        vorpalyx::make_page_array<std::uint64_t>(solutions.size());
    for (std::size_t i = 0; i < solutions.size(); ++i) {
      group.short_keys[i] = fields_key<std::uint64_t>(solutions[i], bits);
    }
  } else if (form == 2 && key_bits <= 128) {
    group.id_bits = bits;
    group.long_keys = vorpalyx::make_page_array<LongKey>(solutions.size());
    for (std::size_t i = 0; i < solutions.size(); ++i) {
      group.long_keys[i] = fields_key<LongKey>(solutions[i], bits);
    }
  } else if (form == 3 && numbering->fits(word_count, &largest)) {
    // A multiset number stands for its ids in ascending order.
    group.id_bits = bits;
    group.numbering = numbering;
    group.short_keys =
        vorpalyx::make_page_array<std::uint64_t>(solutions.size());
    for (std::size_t i = 0; i < solutions.size(); ++i) {
      std::sort(solutions[i].begin(), solutions[i].end());
      group.short_keys[i] = numbering->number(
          solutions[i].data(), word_count - 1, solutions[i][word_count - 1]);
    }
  } else {
    for (const std::vector<std::uint32_t>& ids : solutions) {
      group.append(ids.data());
    }
    return group;
  }
  group.solution_count = solutions.size();
  return group;
}

void append_escape(std::string& out, std::uint32_t unit) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4)
    out += kDigits[unit >> shift & 15];
}

// json.dumps of one string: printable ASCII but '"' and '\\' as itself.
std::string json_string(std::string_view word) {
  std::string out = "\"";
  vorpalyx::for_each_code_point(word, [&](char32_t code_point) {
    switch (code_point) {
      case U'"':
        out += "\\\"";
        return;
      case U'\\':
        out += "\\\\";
        return;
      case U'\n':
        out += "\\n";
        return;
      case U'\r':
        out += "\\r";
        return;
      case U'\t':
        out += "\\t";
        return;
      case U'\b':
        out += "\\b";
        return;
      case U'\f':
        out += "\\f";
        return;
    }
    if (code_point >= 0x20 && code_point < 0x7F) {
      out += static_cast<char>(code_point);
    } else if (code_point < 0x10000) {
      append_escape(out, code_point);
    } else {
      append_escape(out, 0xD800 + ((code_point - 0x10000) >> 10));
      append_escape(out, 0xDC00 + ((code_point - 0x10000) & 0x3FF));
    }
  });
  return out + "\"";
}

// The output of the chosen solutions, and where each solution's text ends.
struct Reference {
  std::string text;
  std::vector<std::size_t> ends;
};

Reference reference(const std::vector<Solution>& chosen,
                    SolutionFormat format) {
  const bool json = format == SolutionFormat::kJson;
  Reference out;
  if (json) out.text += '[';
  for (std::size_t k = 0; k < chosen.size(); ++k) {
    if (json) out.text += k == 0 ? "[" : ", [";
    for (std::size_t w = 0; w < chosen[k].size(); ++w) {
      if (w != 0) out.text += json ? ", " : " ";
      out.text += json ? json_string(chosen[k][w]) : chosen[k][w];
    }
    out.text += json ? "]" : "\n";
    out.ends.push_back(out.text.size());
  }
  if (json) out.text += ']';
  return out;
}

// Reads JSON's form of a list of lists of strings back into code points.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  std::vector<std::vector<std::u32string>> lists() {
    std::vector<std::vector<std::u32string>> result;
    expect('[');
    if (!take(']')) {
      do {
        result.push_back(strings());
      } while (take(','));
      expect(']');
    }
    FUZZ_CHECK(position_ == text_.size());
    return result;
  }

 private:
  std::vector<std::u32string> strings() {
    std::vector<std::u32string> result;
    expect('[');
    if (!take(']')) {
      do {
        result.push_back(string());
      } while (take(','));
      expect(']');
    }
    return result;
  }

  std::u32string string() {
    expect('"');
    std::u32string result;
    for (;;) {
      FUZZ_CHECK(position_ < text_.size());
      const char c = text_[position_++];
      FUZZ_CHECK(c >= 0x20 && c < 0x7F);  // ASCII only, no raw controls
      if (c == '"') return result;
      if (c != '\\') {
        result += static_cast<char32_t>(c);
        continue;
      }
      FUZZ_CHECK(position_ < text_.size());
      const char escape = text_[position_++];
      const std::string_view simple = "\"\\/bfnrt";
      const std::u32string_view meaning = U"\"\\/\b\f\n\r\t";
      if (simple.find(escape) != std::string_view::npos) {
        result += meaning[simple.find(escape)];
        continue;
      }
      FUZZ_CHECK(escape == 'u');
      std::uint32_t unit = hex4();
      if (unit >= 0xD800 && unit < 0xDC00) {
        FUZZ_CHECK(text_.substr(position_, 2) == "\\u");
        position_ += 2;
        const std::uint32_t low = hex4();
        FUZZ_CHECK(low >= 0xDC00 && low < 0xE000);
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      } else {
        FUZZ_CHECK(unit < 0xDC00 || unit >= 0xE000);
      }
      result += static_cast<char32_t>(unit);
    }
  }

  std::uint32_t hex4() {
    FUZZ_CHECK(position_ + 4 <= text_.size());
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[position_++];
      FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
      value = value * 16 +
              static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return value;
  }

  void expect(char c) { FUZZ_CHECK(take(c)); }

  // Takes `c`, and after a ',' the one space json.dumps puts there.
  bool take(char c) {
    if (position_ >= text_.size() || text_[position_] != c) return false;
    ++position_;
    if (c == ',') expect(' ');
    return true;
  }

  std::string_view text_;
  std::size_t position_ = 0;
};

std::u32string code_points(std::string_view word) {
  std::u32string result;
  vorpalyx::for_each_code_point(
      word, [&](char32_t code_point) { result += code_point; });
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzedDataProvider input(data, size);
  const SolutionFormat format =
      input.ConsumeBool() ? SolutionFormat::kJson : SolutionFormat::kText;
  // A size of its own, none (one chunk), or the end of one of the
  // solutions, so that the first chunk fills exactly.
  const int chunk_kind = input.ConsumeIntegralInRange(0, 2);
  const auto chunk_pick = input.ConsumeIntegralInRange<std::size_t>(0, 300);
  std::ptrdiff_t step = input.ConsumeIntegralInRange(-4, 4);
  if (step == 0) step = 1;
  const auto first_pick = input.ConsumeIntegral<std::uint16_t>();
  const auto count_pick = input.ConsumeIntegral<std::uint16_t>();

  SolutionList list;
  const std::size_t word_count =
      input.ConsumeIntegralInRange<std::size_t>(1, kMaxWords);
  for (std::size_t i = 0; i < word_count; ++i) {
    list.words.push_back(make_word(input));
  }
  const std::size_t group_count =
      input.ConsumeIntegralInRange<std::size_t>(0, kMaxGroups);
  for (std::size_t g = 0; g < group_count; ++g) {
    const int form = input.ConsumeIntegralInRange(0, 3);
    const std::size_t words_each =
        input.ConsumeIntegralInRange<std::size_t>(1, kMaxWordsPerSolution);
    const std::size_t solutions_here =
        input.ConsumeIntegralInRange<std::size_t>(0, kMaxSolutionsPerGroup);
    std::vector<std::vector<std::uint32_t>> solutions(solutions_here);
    for (std::vector<std::uint32_t>& ids : solutions) {
      for (std::size_t k = 0; k < words_each; ++k) {
        ids.push_back(input.ConsumeIntegralInRange<std::uint32_t>(
            0, static_cast<std::uint32_t>(word_count - 1)));
      }
    }
    list.groups.push_back(
        make_group(std::move(solutions), words_each, word_count, form));
  }

  // A slice's run: from `first`, as many as fit, or fewer.
  const std::size_t total = list.size();
  std::size_t first = 0;
  std::size_t count = 0;
  if (total > 0) {
    first = first_pick % total;
    const std::size_t room = step > 0 ? total - 1 - first : first;
    const std::size_t stride =
        static_cast<std::size_t>(step > 0 ? step : -step);
    count = std::min<std::size_t>(room / stride + 1, count_pick % 64);
  }
  const std::vector<Solution> solutions = list.to_vectors();
  std::vector<Solution> chosen;
  for (std::size_t k = 0; k < count; ++k) {
    chosen.push_back(solutions[static_cast<std::size_t>(
        static_cast<std::ptrdiff_t>(first) +
        static_cast<std::ptrdiff_t>(k) * step)]);
  }
  const Reference expected = reference(chosen, format);
  std::size_t chunk_bytes = chunk_pick;
  if (chunk_kind == 1) chunk_bytes = std::size_t{1} << 20;
  if (chunk_kind == 2 && !expected.ends.empty()) {
    chunk_bytes = expected.ends[chunk_pick % expected.ends.size()];
  }

  vorpalyx::SolutionFormatter formatter(list, format, first, step, count);
  std::string joined;
  std::string chunk;
  std::size_t next_end = 0;  // the first solution not yet seen ended
  while (formatter.next_chunk(chunk, chunk_bytes)) {
    FUZZ_CHECK(!chunk.empty());
    const std::size_t start = joined.size();
    joined += chunk;
    FUZZ_CHECK(expected.text.compare(0, joined.size(), joined) == 0);
    // Solutions that end inside this chunk, all but its last short of the
    // chunk size.
    std::size_t ends_here = 0;
    while (next_end < expected.ends.size() &&
           expected.ends[next_end] <= joined.size()) {
      if (ends_here > 0) {
        FUZZ_CHECK(expected.ends[next_end - 1] - start < chunk_bytes);
      }
      ++ends_here;
      ++next_end;
    }
    FUZZ_CHECK(ends_here > 0 || expected.ends.empty());
    if (joined.size() != expected.text.size()) {
      FUZZ_CHECK(next_end > 0 && expected.ends[next_end - 1] == joined.size());
      FUZZ_CHECK(joined.size() - start >= chunk_bytes);
    }
  }
  FUZZ_CHECK(chunk.empty());
  FUZZ_CHECK(joined == expected.text);
  FUZZ_CHECK(!formatter.next_chunk(chunk, chunk_bytes) && chunk.empty());

  if (format == SolutionFormat::kJson) {
    const auto read = JsonReader(joined).lists();
    FUZZ_CHECK(read.size() == chosen.size());
    for (std::size_t k = 0; k < chosen.size(); ++k) {
      FUZZ_CHECK(read[k].size() == chosen[k].size());
      for (std::size_t w = 0; w < chosen[k].size(); ++w) {
        FUZZ_CHECK(read[k][w] == code_points(chosen[k][w]));
      }
    }
  }
  return 0;
}
