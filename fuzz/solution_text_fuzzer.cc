// Fuzzes the text and JSON forms of solution lists.
//
// The input gives words (any bytes), solutions over them in groups stored
// as rows or as keys, a run (first, step, count) and a chunk size. The
// chunks joined must equal a plain reference formatting of the same run:
// words joined by spaces, or json.dumps's escaping of the words as UTF-8
// read by decode_utf8.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "char_utils/utf8.h"
#include "fuzz_check.h"
#include "solver/solution_keys.h"
#include "solver/solution_list.h"
#include "solver/solution_text.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}
  std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  std::string text(std::size_t length) {
    std::string out;
    while (length-- > 0 && position_ < size_) out += static_cast<char>(byte());
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

void append_json_string(std::string& out, std::string_view word) {
  out += '"';
  vorpalyx::for_each_code_point(word, [&](char32_t c) {
    char escape[16];
    auto unit = [&](unsigned value) {
      std::snprintf(escape, sizeof escape, "\\u%04x", value);
      out += escape;
    };
    switch (c) {
      case '"':
        out += "\\\"";
        return;
      case '\\':
        out += "\\\\";
        return;
      case '\n':
        out += "\\n";
        return;
      case '\r':
        out += "\\r";
        return;
      case '\t':
        out += "\\t";
        return;
      case '\b':
        out += "\\b";
        return;
      case '\f':
        out += "\\f";
        return;
      default:
        break;
    }
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (c < 0x10000) {
      unit(static_cast<unsigned>(c));
    } else {
      const unsigned v = static_cast<unsigned>(c) - 0x10000;
      unit(0xD800 + (v >> 10));
      unit(0xDC00 + (v & 0x3FF));
    }
  });
  out += '"';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  Input input(data, size);
  vorpalyx::SolutionList list;
  const std::size_t word_total = 1 + input.byte() % 8;
  for (std::size_t i = 0; i < word_total; ++i) {
    list.words.push_back(input.text(input.byte() % 6));
  }
  const std::size_t group_total = input.byte() % 4;
  for (std::size_t g = 0; g < group_total; ++g) {
    vorpalyx::SolutionGroup& group = list.groups.emplace_back();
    group.word_count = 1 + input.byte() % 4;
    const std::size_t solutions = input.byte() % 6;
    const bool keyed = input.byte() % 2 == 1;
    std::vector<std::uint32_t> ids(group.word_count);
    std::vector<std::uint64_t> keys;
    for (std::size_t s = 0; s < solutions; ++s) {
      for (std::uint32_t& id : ids) id = input.byte() % word_total;
      std::sort(ids.begin(), ids.end());
      if (keyed) {
        keys.push_back(vorpalyx::encode_key<std::uint64_t>(
            ids.data(), group.word_count - 1, ids.back(), 4));
      } else {
        group.append(ids.data());
      }
    }
    if (keyed) {
      group.id_bits = 4;
      group.solution_count = keys.size();
      group.short_keys = std::make_unique<std::uint64_t[]>(keys.size());
      std::copy(keys.begin(), keys.end(), group.short_keys.get());
    }
  }
  const std::vector<vorpalyx::Solution> all = list.to_vectors();
  const auto format = input.byte() % 2 == 0 ? vorpalyx::SolutionFormat::kText
                                            : vorpalyx::SolutionFormat::kJson;
  std::size_t first = 0;
  std::ptrdiff_t step = 1 + input.byte() % 3;
  std::size_t count = 0;
  if (!all.empty()) {
    first = input.byte() % all.size();
    if (input.byte() % 2 == 1) step = -step;
    const std::size_t room =
        step > 0 ? (all.size() - 1 - first) / static_cast<std::size_t>(step)
                 : first / static_cast<std::size_t>(-step);
    count = input.byte() % (room + 2);  // 0 up to every position
  }
  const std::size_t chunk_bytes = 1 + input.byte() % 64;

  std::string expected = format == vorpalyx::SolutionFormat::kJson ? "[" : "";
  for (std::size_t i = 0; i < count; ++i) {
    const vorpalyx::Solution& solution =
        all[first + static_cast<std::size_t>(step) * i];
    if (format == vorpalyx::SolutionFormat::kText) {
      for (std::size_t k = 0; k < solution.size(); ++k) {
        if (k != 0) expected += ' ';
        expected += solution[k];
      }
      expected += '\n';
    } else {
      expected += i == 0 ? "[" : ", [";
      for (std::size_t k = 0; k < solution.size(); ++k) {
        if (k != 0) expected += ", ";
        append_json_string(expected, solution[k]);
      }
      expected += ']';
    }
  }
  if (format == vorpalyx::SolutionFormat::kJson) expected += ']';

  vorpalyx::SolutionFormatter formatter(list, format, first, step, count);
  std::string joined;
  std::string chunk;
  while (formatter.next_chunk(chunk, chunk_bytes)) {
    FUZZ_CHECK(!chunk.empty());
    joined += chunk;
  }
  FUZZ_CHECK(chunk.empty());
  FUZZ_CHECK(joined == expected);
  return 0;
}
