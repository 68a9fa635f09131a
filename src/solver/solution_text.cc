#include "solver/solution_text.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <tuple>
#include <utility>

#include "char_utils/utf8.h"

namespace vorpalyx {
namespace {

// Forms up to this long are copied as one block of this size, one vector
// move instead of a call to memcpy; the bytes past the form are written over
// by what follows or cut off at the end.
constexpr std::size_t kCopyWidth = 16;
// Room past the chunk's size for the solution that crosses it, so that
// ordinary solutions never need the exact check.
constexpr std::size_t kSlackBytes = 4096;
// The most room made before writing a chunk, whatever its size.
constexpr std::size_t kLargestPresize = std::size_t{1} << 26;
// The most a solution writes besides its words' forms: ", [" and "]".
constexpr std::size_t kFramingBytes = 4;

void append_hex_escape(std::string& out, std::uint32_t unit) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const char escape[6] = {'\\',
                          'u',
                          kDigits[unit >> 12 & 0xF],
                          kDigits[unit >> 8 & 0xF],
                          kDigits[unit >> 4 & 0xF],
                          kDigits[unit & 0xF]};
  out.append(escape, sizeof escape);
}

// `word` as json.dumps writes a string with ensure_ascii: quoted, printable
// ASCII as itself, everything else escaped, code points above U+FFFF as
// surrogate pairs.
void append_json_string(std::string& out, std::string_view word) {
  out += '"';
  std::size_t position = 0;
  while (position < word.size()) {
    // Bytes that stand for themselves go in as one run: most words are all
    // such bytes.
    std::size_t plain = position;
    while (plain < word.size()) {
      const auto byte = static_cast<unsigned char>(word[plain]);
      if (byte < 0x20 || byte >= 0x7F || byte == '"' || byte == '\\') break;
      ++plain;
    }
    out.append(word.data() + position, plain - position);
    position = plain;
    if (position == word.size()) break;
    const auto byte = static_cast<unsigned char>(word[position]);
    if (byte >= 0x80) {
      const char32_t code_point = decode_utf8(word, &position);
      if (code_point >= 0x10000) {
        const std::uint32_t above = code_point - 0x10000;
        append_hex_escape(out, 0xD800 + (above >> 10));
        append_hex_escape(out, 0xDC00 + (above & 0x3FF));
      } else {
        append_hex_escape(out, code_point);
      }
      continue;
    }
    ++position;
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:  // the other controls and DEL: printable ones went in above
        append_hex_escape(out, byte);
    }
  }
  out += '"';
}

// The most bytes a solution of `word_count` words can take, saturated.
std::size_t solution_bound(std::size_t word_count, std::size_t longest_form) {
  constexpr std::size_t kMost = std::numeric_limits<std::size_t>::max();
  const std::size_t fixed = kFramingBytes + kCopyWidth;
  if (longest_form != 0 && word_count > (kMost - fixed) / longest_form) {
    return kMost;
  }
  return word_count * longest_form + fixed;
}

// Makes `need` bytes of room at `cursor` in `out`, keeping what is before
// it; returns the new cursor and end of room. Both are passed by value so
// that the caller can keep them in registers: stores through a char pointer
// could otherwise be taken to change them.
[[gnu::noinline]] std::pair<char*, char*> grow(std::string& out, char* cursor,
                                               std::size_t need) {
  const std::size_t used = static_cast<std::size_t>(cursor - out.data());
  out.resize(std::max(out.size() * 2, used + need));
  return {out.data() + used, out.data() + out.size()};
}

template <SolutionFormat kFormat>
class SolutionWriter {
 public:
  SolutionWriter(const std::string& forms,
                 const std::vector<std::size_t>& offsets)
      : forms_(forms.data()), offsets_(offsets.data()) {}

  // The bytes writing the solution may touch.
  std::size_t bytes(const std::uint32_t* ids, std::size_t word_count) const {
    std::size_t total = kFramingBytes + kCopyWidth;
    for (std::size_t k = 0; k < word_count; ++k) {
      total += offsets_[ids[k] + 1] - offsets_[ids[k]];
    }
    return total;
  }

  // Writes the solution at `cursor`, which has room for bytes(ids), and
  // returns the end of what it wrote.
  char* write(char* cursor, const std::uint32_t* ids, std::size_t word_count,
              bool after_another) const {
    if constexpr (kFormat == SolutionFormat::kJson) {
      if (after_another) {
        std::memcpy(cursor, ", [", 3);
        cursor += 3;
      } else {
        std::memcpy(cursor, "[[", 2);
        cursor += 2;
      }
    }
    for (std::size_t k = 0; k < word_count; ++k) {
      const std::size_t begin = offsets_[ids[k]];
      const std::size_t length = offsets_[ids[k] + 1] - begin;
      if (length <= kCopyWidth) [[likely]] {
        std::memcpy(cursor, forms_ + begin, kCopyWidth);
      } else {
        std::memcpy(cursor, forms_ + begin, length);
      }
      cursor += length;
    }
    // Each form ends in its separator, which the last word does not want.
    if constexpr (kFormat == SolutionFormat::kJson) {
      if (word_count != 0) cursor -= 2;
      *cursor++ = ']';
    } else {
      if (word_count != 0) --cursor;
      *cursor++ = '\n';
    }
    return cursor;
  }

 private:
  const char* forms_;
  const std::size_t* offsets_;
};

}  // namespace

SolutionFormatter::SolutionFormatter(const SolutionList& list,
                                     SolutionFormat format, std::size_t first,
                                     std::ptrdiff_t step, std::size_t count)
    : list_(list), format_(format), step_(step), remaining_(count) {
  offsets_.reserve(list.words.size() + 1);
  offsets_.push_back(0);
  for (const std::string& word : list.words) {
    if (format == SolutionFormat::kJson) {
      append_json_string(forms_, word);
      forms_ += ", ";
    } else {
      forms_ += word;
      forms_ += ' ';
    }
    longest_form_ = std::max(longest_form_, forms_.size() - offsets_.back());
    offsets_.push_back(forms_.size());
  }
  // Room for a whole block from the last form's start.
  forms_.append(kCopyWidth, '\0');
  std::size_t most_words = 0;
  for (const SolutionGroup& group : list.groups) {
    most_words = std::max(most_words, group.word_count);
  }
  const std::size_t average_form =
      list.words.empty() ? 0 : offsets_.back() / list.words.size() + 1;
  typical_bound_ = solution_bound(most_words, average_form);
  if (remaining_ == 0) return;
  std::tie(group_, index_) = list.locate(first);
  if (step_ != 1) ids_.resize(most_words);
}

bool SolutionFormatter::next_chunk(std::string& out, std::size_t chunk_bytes) {
  if (format_ == SolutionFormat::kJson) {
    fill<SolutionFormat::kJson>(out, chunk_bytes);
  } else {
    fill<SolutionFormat::kText>(out, chunk_bytes);
  }
  return !out.empty();
}

template <SolutionFormat kFormat>
void SolutionFormatter::fill(std::string& out, std::size_t chunk_bytes) {
  constexpr bool kJson = kFormat == SolutionFormat::kJson;
  // What `out` held is written over; resizing only up keeps the zero fill
  // to the part the last chunk did not reach. The room made is the chunk's
  // size, or less when the rest of the output is likely to take less (sized
  // by the worst case, a short output would clear several times the bytes
  // it writes); past kLargestPresize, or when the rest takes more, the
  // chunk grows as it fills.
  const std::size_t rest_estimate =
      remaining_ > kLargestPresize / typical_bound_
          ? kLargestPresize
          : remaining_ * typical_bound_;
  const std::size_t target =
      std::min({chunk_bytes, kLargestPresize, rest_estimate}) + kSlackBytes;
  if (out.size() < target) out.resize(target);
  char* cursor = out.data();
  char* end = out.data() + out.size();

  const bool opening = kJson && !opened_;
  if (opening) {
    opened_ = true;
    if (remaining_ == 0) *cursor++ = '[';
  }
  const SolutionWriter<kFormat> writer(forms_, offsets_);
  // JSON: every solution but the run's first follows a ", ".
  bool after_another = !opening;
  std::size_t bound = 0;
  std::size_t word_count = 0;
  auto visit = [&](const std::uint32_t* ids) {
    if (static_cast<std::size_t>(end - cursor) < bound) [[unlikely]] {
      const std::size_t need = writer.bytes(ids, word_count);
      if (static_cast<std::size_t>(end - cursor) < need) {
        std::tie(cursor, end) = grow(out, cursor, need);
      }
    }
    cursor = writer.write(cursor, ids, word_count, after_another);
    after_another = true;
  };

  while (remaining_ > 0) {
    const SolutionGroup& group = list_.groups[group_];
    word_count = group.word_count;
    bound = solution_bound(word_count, longest_form_);
    const std::size_t used = static_cast<std::size_t>(cursor - out.data());
    if (step_ == 1) {
      // As many as cannot pass the chunk's size, and at least one, read in
      // a run.
      const std::size_t room = chunk_bytes > used ? chunk_bytes - used : 0;
      const std::size_t run =
          std::min({group.solution_count - index_, remaining_,
                    std::max<std::size_t>(room / bound, 1)});
      group.for_each_in(index_, index_ + run, visit);
      index_ += run;
      remaining_ -= run;
      if (remaining_ > 0 && index_ == group.solution_count) {
        index_ = 0;
        do {
          ++group_;
        } while (list_.groups[group_].solution_count == 0);
      }
    } else {
      // The solution before, when of this group, is a near one.
      group.ids_at(index_, ids_.data(), ids_group_ == group_);
      ids_group_ = group_;
      visit(ids_.data());
      --remaining_;
      if (remaining_ > 0) advance();
    }
    if (static_cast<std::size_t>(cursor - out.data()) >= chunk_bytes) break;
  }
  if (kJson && remaining_ == 0 && !closed_) {
    closed_ = true;
    if (end == cursor) std::tie(cursor, end) = grow(out, cursor, 1);
    *cursor++ = ']';
  }
  out.resize(static_cast<std::size_t>(cursor - out.data()));
}

void SolutionFormatter::advance() {
  const std::vector<SolutionGroup>& groups = list_.groups;
  if (step_ >= 0) {
    index_ += static_cast<std::size_t>(step_);
    while (index_ >= groups[group_].solution_count) {
      index_ -= groups[group_].solution_count;
      ++group_;
    }
    return;
  }
  std::size_t back = static_cast<std::size_t>(-(step_ + 1)) + 1;
  while (back > index_) {
    back -= index_ + 1;
    do {
      --group_;
    } while (groups[group_].solution_count == 0);
    index_ = groups[group_].solution_count - 1;
  }
  index_ -= back;
}

}  // namespace vorpalyx
