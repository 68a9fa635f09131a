// RemainderTables: the tables of the remainder search (remainder_search.h),
// and the walk that reads the result off them in order.
//
// The remainders of a phrase are numbered densely by the mixed radix of its
// letter counts. Per remainder that occurs, the tables hold the words that
// fit it from the least rank any path asks of its first word on, and its
// solutions counted by first word; the lists of the smallest remainders are
// built whole, each entry its ranks in fields of a 128-bit key and a tag of
// its word count and shortest word.
//
// Invariant: every remainder is asked by a larger one, so a pass from the
// largest down finds them all before it reads them, and a pass from the
// smallest up counts each from counts already made; a remainder's first
// words are ascending, each with solutions behind it. Cost: per remainder, a
// pass over the words that fit the one that asked it and a binary search
// per word that fits it; the built lists, at most an eighth of the result
// (or the least asked for); the walk, one step per first word taken on the
// larger remainders and one piece of a built list per step.
//
// Tested by tests/cpp/solver/remainder_search_test.cc (through the search).

#ifndef VORPALYX_SOLVER_REMAINDER_TABLES_H_
#define VORPALYX_SOLVER_REMAINDER_TABLES_H_

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/memory_budget.h"
#include "solver/page_array.h"
#include "solver/search_stop.h"
#include "solver/solution_keys.h"

namespace vorpalyx {

struct Remainder {
  std::uint64_t letters;  // packed counts, with a guard bit above each
  std::uint32_t number;   // in the mixed radix of the phrase's counts
  std::uint32_t size;     // letters
  std::uint32_t least_rank;
  std::uint32_t asked_by;  // the remainder that set least_rank
  std::uint64_t fits_begin = 0;
  std::uint64_t fits_end = 0;
  std::uint64_t firsts_begin = 0;
  std::uint64_t firsts_end = 0;
  std::uint64_t solutions = 0;   // from least_rank on, saturated
  std::uint64_t list_begin = 0;  // into the entries, once built
  std::uint32_t least_words = 0;
  std::uint32_t most_words = 0;
};

class RemainderTables {
 public:
  // Phrases with more sub-multisets are left to the walk: their tables, up to
  // several microseconds a remainder where many words fit each, would cost
  // more than most searches (20 distinct letters, 2^20 remainders: 7 s of
  // tables for 76 million solutions, which the walk finds in 9 s).
  static constexpr std::uint64_t kMostRemainders = std::uint64_t{1} << 17;
  // The built lists hold at most this share of the result's solutions (or
  // least_list_entries): a list is read once per path that reaches it, so
  // building more saves little and costs fresh memory.
  static constexpr std::uint64_t kListShare = 8;
  static constexpr std::uint32_t kNone = UINT32_MAX;
  // The shortest word of the empty solution: longer than any word.
  static constexpr std::uint32_t kNoWord = (std::uint32_t{1} << 24) - 1;
  // Tables that grow past this size look first whether the process can hold
  // them, and as much again for what is allocated beside them.
  static constexpr std::size_t kTableBytesChecked = std::size_t{1} << 20;

  static std::uint64_t saturating_add(std::uint64_t left, std::uint64_t right) {
    return left > UINT64_MAX - right ? UINT64_MAX : left + right;
  }

  // A word count and shortest word, as one tag: count above, length below.
  static constexpr std::uint32_t tag_of(std::uint32_t words,
                                        std::uint32_t shortest) {
    return words << 24 | shortest;
  }
  static constexpr std::uint32_t words_of(std::uint32_t tag) {
    return tag >> 24;
  }
  static constexpr std::uint32_t shortest_of(std::uint32_t tag) {
    return tag & kNoWord;
  }

  // With `distinct`, no word comes twice in a solution: the words after
  // the first start above its rank rather than at it.
  RemainderTables(const std::vector<std::string>& letters, bool distinct)
      : letters_(letters), next_(distinct ? 1 : 0) {}

  // Lays out the phrase's letters, which must fit the tables
  // (remainder_count_bound tells).
  void lay_out(const CharCounts& phrase) {
    std::uint64_t radix_product = 1;
    int bits = 0;
    std::uint64_t phrase_packed = 0;
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      const std::uint64_t count = phrase[letter];
      if (count == 0) continue;
      place_[letter] = static_cast<std::uint32_t>(radix_product);
      radix_product *= count + 1;
      shift_[letter] = bits;
      bits += std::bit_width(count) + 1;
      guards_ |= std::uint64_t{1} << (bits - 1);
      phrase_packed |= count << shift_[letter];
    }
    remainder_count_ = radix_product;
    phrase_letters_ = phrase_packed;
    phrase_size_ = static_cast<std::uint32_t>(phrase.total());
  }

  // Numbers and packs each word; false when a word holds what the phrase
  // lacks (never, for candidates).
  bool describe_words() {
    const std::size_t count = letters_.size();
    if (count >= kNone) return false;
    word_numbers_.resize(count);
    word_letters_.resize(count);
    word_lengths_.resize(count);
    for (std::size_t rank = 0; rank < count; ++rank) {
      std::uint64_t number = 0;
      std::uint64_t packed = 0;
      for (const char c : letters_[rank]) {
        const auto letter = static_cast<std::size_t>(c - 'a');
        if (letter >= kAlphabetSize || place_[letter] == 0) return false;
        number += place_[letter];
        packed += std::uint64_t{1} << shift_[letter];
      }
      if (letters_[rank].empty() || (packed & guards_) != 0) return false;
      word_numbers_[rank] = static_cast<std::uint32_t>(number);
      word_letters_[rank] = packed;
      word_lengths_[rank] = static_cast<std::uint32_t>(letters_[rank].size());
      longest_ = std::max(longest_, word_lengths_[rank]);
    }
    rank_bits_ = std::bit_width(count);
    return true;
  }

  // Finds the remainders, largest first, with the words that fit each;
  // false when the process could not hold the tables. Throws
  // SearchInterrupted when `stop`'s poll says so.
  bool find_remainders(SearchStop& stop) {
    if (!make_room(id_of_, remainder_count_)) return false;
    id_of_.assign(remainder_count_, kNone);
    by_size_.assign(phrase_size_ + 1, {});
    if (!add_remainder(static_cast<std::uint32_t>(remainder_count_ - 1),
                       phrase_letters_, phrase_size_, 0, kNone)) {
      return false;
    }
    for (std::uint32_t size = phrase_size_; size > 0; --size) {
      for (const std::uint32_t id : by_size_[size]) {
        // (The remainders of this size are all known: each is asked by a
        // larger one.)
        Remainder& remainder = remainders_[id];
        remainder.fits_begin = fits_.size();
        if (remainder.asked_by == kNone) {
          if (!make_room(fits_, word_numbers_.size())) return false;
          for (std::uint32_t rank = 0; rank < word_numbers_.size(); ++rank) {
            fits_.push_back(rank);
          }
        } else {
          const Remainder& asker = remainders_[remainder.asked_by];
          const std::uint64_t begin =
              first_fit_from(asker, remainder.least_rank);
          if (!make_room(fits_, asker.fits_end - begin)) return false;
          for (std::uint64_t i = begin; i < asker.fits_end; ++i) {
            const std::uint32_t rank = fits_[i];
            if ((((remainder.letters | guards_) - word_letters_[rank]) &
                 guards_) == guards_) {
              fits_.push_back(rank);
            }
          }
        }
        remainder.fits_end = fits_.size();
        // (Adding remainders moves them: `remainder` is not used below.)
        const std::uint64_t fits_end = remainder.fits_end;
        stop.count_steps(fits_end - remainder.fits_begin + 1);
        if (stop.interrupted()) throw SearchInterrupted();
        for (std::uint64_t i = remainder.fits_begin; i < fits_end; ++i) {
          const std::uint32_t rank = fits_[i];
          const Remainder& current = remainders_[id];
          const std::uint32_t left = current.number - word_numbers_[rank];
          if (left == 0) continue;
          const std::uint32_t found = id_of_[left];
          if (found == kNone) {
            if (!add_remainder(left, current.letters - word_letters_[rank],
                               current.size - word_lengths_[rank], rank + next_,
                               id)) {
              return false;
            }
          } else if (rank + next_ < remainders_[found].least_rank) {
            remainders_[found].least_rank = rank + next_;
            remainders_[found].asked_by = id;
          }
        }
      }
    }
    return true;
  }

  // Counts each remainder's solutions by first word, smallest first; false
  // when the process could not hold the tables. Throws SearchInterrupted
  // when `stop`'s poll says so.
  bool count_solutions(SearchStop& stop) {
    for (std::uint32_t size = 1; size <= phrase_size_; ++size) {
      for (const std::uint32_t id : by_size_[size]) {
        Remainder& remainder = remainders_[id];
        const std::uint64_t fit_count =
            remainder.fits_end - remainder.fits_begin;
        stop.count_steps(fit_count + 1);
        if (stop.interrupted()) throw SearchInterrupted();
        if (!make_room(first_ranks_, fit_count) ||
            !make_room(first_starts_, fit_count)) {
          return false;
        }
        remainder.firsts_begin = first_ranks_.size();
        std::uint64_t solutions = 0;
        std::uint32_t least_words = UINT32_MAX;
        std::uint32_t most_words = 0;
        for (std::uint64_t i = remainder.fits_begin; i < remainder.fits_end;
             ++i) {
          const std::uint32_t rank = fits_[i];
          const std::uint32_t left = remainder.number - word_numbers_[rank];
          std::uint64_t count = 1;
          std::uint32_t fewest = 1;
          std::uint32_t words = 1;
          if (left != 0) {
            const Remainder& rest = remainders_[id_of_[left]];
            count = solutions_from(rest, rank + next_).first;
            fewest = rest.least_words + 1;
            words = rest.most_words + 1;
          }
          if (count == 0) continue;
          first_ranks_.push_back(rank);
          first_starts_.push_back(solutions);
          solutions = saturating_add(solutions, count);
          least_words = std::min(least_words, fewest);
          most_words = std::max(most_words, words);
        }
        remainder.firsts_end = first_ranks_.size();
        remainder.solutions = solutions;
        remainder.least_words = solutions == 0 ? 0 : least_words;
        remainder.most_words = most_words;
      }
    }
    return true;
  }

  const Remainder& phrase() const { return remainders_[0]; }
  // The bytes the tables hold.
  std::uint64_t table_bytes() const {
    return fits_.capacity() * sizeof(std::uint32_t) +
           first_ranks_.capacity() * sizeof(std::uint32_t) +
           first_starts_.capacity() * sizeof(std::uint64_t) +
           remainders_.capacity() * sizeof(Remainder) +
           id_of_.capacity() * sizeof(std::uint32_t);
  }
  // The bytes the built lists hold.
  std::uint64_t list_bytes() const {
    return list_entries_ * (sizeof(LongKey) + sizeof(std::uint32_t));
  }
  int rank_bits() const { return rank_bits_; }
  std::uint32_t longest() const { return longest_; }

  // Chooses which lists to build (those of up to built_size_ letters). The
  // keys fit their fields: remainder_keys_fit bounds every solution's words.
  void plan_lists(std::uint64_t least_list_entries) {
    const std::uint64_t total = phrase().solutions;
    const std::uint64_t budget =
        std::max(least_list_entries, total / kListShare);
    std::uint64_t entries = 0;
    built_size_ = 0;
    for (std::uint32_t size = 1; size < phrase_size_; ++size) {
      std::uint64_t more = 0;
      for (const std::uint32_t id : by_size_[size]) {
        more = saturating_add(more, remainders_[id].solutions);
      }
      entries = saturating_add(entries, more);
      if (entries > budget) break;
      built_size_ = size;
      list_entries_ = entries;
    }
  }

  void build_lists() {
    fields_ = make_page_array<LongKey>(list_entries_);
    tags_ = make_page_array<std::uint32_t>(list_entries_);
    std::uint64_t next = 0;
    for (std::uint32_t size = 1; size <= built_size_; ++size) {
      for (const std::uint32_t id : by_size_[size]) {
        Remainder& remainder = remainders_[id];
        remainder.list_begin = next;
        for (std::uint64_t i = remainder.firsts_begin; i < remainder.firsts_end;
             ++i) {
          const std::uint32_t rank = first_ranks_[i];
          const std::uint32_t length = word_lengths_[rank];
          const std::uint32_t left = remainder.number - word_numbers_[rank];
          if (left == 0) {
            fields_[next] = rank;
            tags_[next] = tag_of(1, length);
            ++next;
            continue;
          }
          const Remainder& rest = remainders_[id_of_[left]];
          const std::uint64_t end = rest.list_begin + rest.solutions;
          for (std::uint64_t e =
                   rest.list_begin + solutions_from(rest, rank + next_).second;
               e < end; ++e) {
            const std::uint32_t tag = tags_[e];
            fields_[next] =
                LongKey{rank} << (words_of(tag) * rank_bits_) | fields_[e];
            tags_[next] =
                tag_of(words_of(tag) + 1, std::min(shortest_of(tag), length));
            ++next;
          }
        }
      }
    }
  }

  // Calls `run(high, words, shortest, begin, end)` for each piece of the
  // result in order: the built entries [begin, end) each behind the path's
  // ranks `high` (`words` of them, the shortest of `shortest` letters), or,
  // when begin == end, the solution `high` itself.
  template <typename Run>
  void walk(Run&& run) const {
    // Each step takes the next first word of the remainder that has
    // solutions behind it, so no step leads nowhere.
    struct Frame {
      std::uint32_t id;
      std::uint64_t next_first;  // into first_ranks_
      LongKey path;
      std::uint32_t words;
      std::uint32_t shortest;
    };
    std::vector<Frame> stack;
    stack.push_back({0, phrase().firsts_begin, 0, 0, kNoWord});
    while (!stack.empty()) {
      Frame& frame = stack.back();
      const Remainder& remainder = remainders_[frame.id];
      if (frame.next_first == remainder.firsts_end) {
        stack.pop_back();
        continue;
      }
      const std::uint32_t rank = first_ranks_[frame.next_first++];
      const LongKey high = frame.path << rank_bits_ | rank;
      const std::uint32_t words = frame.words + 1;
      const std::uint32_t shortest =
          std::min(frame.shortest, word_lengths_[rank]);
      const std::uint32_t left = remainder.number - word_numbers_[rank];
      if (left == 0) {
        run(high, words, shortest, std::uint64_t{0}, std::uint64_t{0});
        continue;
      }
      const Remainder& rest = remainders_[id_of_[left]];
      const std::uint64_t first = first_from(rest, rank + next_);
      if (rest.size <= built_size_) {
        run(high, words, shortest, rest.list_begin + first_starts_[first],
            rest.list_begin + rest.solutions);
        continue;
      }
      stack.push_back({id_of_[left], first, high, words, shortest});
    }
  }

  const LongKey* fields() const { return fields_.get(); }
  const std::uint32_t* tags() const { return tags_.get(); }

 private:
  // Makes room in `table` for `more` entries; false when the process could
  // not get its larger storage, which it holds beside the old while moving.
  template <typename T>
  static bool make_room(std::vector<T>& table, std::size_t more) {
    const std::size_t needed = table.size() + more;
    if (needed <= table.capacity()) return true;
    const std::size_t capacity = std::max(needed, 2 * table.capacity());
    if (capacity * sizeof(T) >= kTableBytesChecked &&
        capacity * sizeof(T) + kTableBytesChecked > available_memory_bytes()) {
      return false;
    }
    table.reserve(capacity);
    return true;
  }

  bool add_remainder(std::uint32_t number, std::uint64_t packed,
                     std::uint32_t size, std::uint32_t least_rank,
                     std::uint32_t asked_by) {
    if (!make_room(remainders_, 1)) return false;
    id_of_[number] = static_cast<std::uint32_t>(remainders_.size());
    by_size_[size].push_back(id_of_[number]);
    remainders_.push_back({.letters = packed,
                           .number = number,
                           .size = size,
                           .least_rank = least_rank,
                           .asked_by = asked_by});
    return true;
  }

  // Where in `ranks`, within [begin, end) (ascending), the ranks from
  // `rank` on start.
  static std::uint64_t place_from(const std::vector<std::uint32_t>& ranks,
                                  std::uint64_t begin, std::uint64_t end,
                                  std::uint32_t rank) {
    return static_cast<std::uint64_t>(
        std::lower_bound(ranks.begin() + begin, ranks.begin() + end, rank) -
        ranks.begin());
  }

  // Where the words of `remainder` that fit from `rank` on start.
  std::uint64_t first_fit_from(const Remainder& remainder,
                               std::uint32_t rank) const {
    return place_from(fits_, remainder.fits_begin, remainder.fits_end, rank);
  }

  // The first of the first words of `remainder` at `rank` or later, which
  // has solutions behind it when it is taken as a first word at all.
  std::uint64_t first_from(const Remainder& remainder,
                           std::uint32_t rank) const {
    return place_from(first_ranks_, remainder.firsts_begin,
                      remainder.firsts_end, rank);
  }

  // How many solutions of `remainder` start at `rank` or later, and where
  // they start in its list.
  std::pair<std::uint64_t, std::uint64_t> solutions_from(
      const Remainder& remainder, std::uint32_t rank) const {
    const std::uint64_t first = first_from(remainder, rank);
    if (first == remainder.firsts_end) return {0, remainder.solutions};
    const std::uint64_t start = first_starts_[first];
    return {remainder.solutions - start, start};
  }

  const std::vector<std::string>& letters_;
  const std::uint32_t next_;
  std::array<std::uint32_t, kAlphabetSize> place_{};
  std::array<int, kAlphabetSize> shift_{};
  std::uint64_t guards_ = 0;
  std::uint64_t remainder_count_ = 0;
  std::uint64_t phrase_letters_ = 0;
  std::uint32_t phrase_size_ = 0;
  int rank_bits_ = 0;
  std::uint32_t longest_ = 0;
  std::vector<std::uint32_t> word_numbers_;
  std::vector<std::uint64_t> word_letters_;
  std::vector<std::uint32_t> word_lengths_;
  std::vector<std::uint32_t> id_of_;
  std::vector<std::vector<std::uint32_t>> by_size_;
  std::vector<Remainder> remainders_;
  std::vector<std::uint32_t> fits_;
  std::vector<std::uint32_t> first_ranks_;
  std::vector<std::uint64_t> first_starts_;
  std::uint32_t built_size_ = 0;
  std::uint64_t list_entries_ = 0;
  PageArray<LongKey> fields_;
  PageArray<std::uint32_t> tags_;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_REMAINDER_TABLES_H_
