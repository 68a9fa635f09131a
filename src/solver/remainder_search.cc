#include "solver/remainder_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "solver/memory_budget.h"
#include "solver/page_array.h"
#include "solver/search_stop.h"
#include "solver/solution_keys.h"

namespace vorpalyx {
namespace {

using Clock = std::chrono::steady_clock;

// Phrases with more sub-multisets are left to the walk: their tables, up to
// several microseconds a remainder where many words fit each, would cost
// more than most searches (20 distinct letters, 2^20 remainders: 7 s of
// tables for 76 million solutions, which the walk finds in 9 s).
constexpr std::uint64_t kMostRemainders = std::uint64_t{1} << 17;
// The built lists hold at most this share of the result's solutions (or
// least_list_entries): a list is read once per path that reaches it, so
// building more saves little and costs fresh memory.
constexpr std::uint64_t kListShare = 8;
// Results past this many solutions are refused at once: they could never be
// held, and counting their bytes would overflow.
constexpr std::uint64_t kMostSolutions = std::uint64_t{1} << 48;
constexpr std::uint32_t kNone = UINT32_MAX;
// The shortest word of the empty solution: longer than any word.
constexpr std::uint32_t kNoWord = (std::uint32_t{1} << 24) - 1;
// Tables that grow past this size look first whether the process can hold
// them, and as much again for what is allocated beside them.
constexpr std::size_t kTableBytesChecked = std::size_t{1} << 20;

std::uint64_t saturating_add(std::uint64_t left, std::uint64_t right) {
  return left > UINT64_MAX - right ? UINT64_MAX : left + right;
}

// A word count and shortest word, as one tag: count above, length below.
constexpr std::uint32_t tag_of(std::uint32_t words, std::uint32_t shortest) {
  return words << 24 | shortest;
}
constexpr std::uint32_t words_of(std::uint32_t tag) { return tag >> 24; }
constexpr std::uint32_t shortest_of(std::uint32_t tag) { return tag & kNoWord; }

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

class RemainderSearch {
 public:
  // With `distinct`, no word comes twice in a solution: the words after
  // the first start above its rank rather than at it.
  RemainderSearch(const std::vector<std::string>& letters, bool distinct)
      : letters_(letters), next_(distinct ? 1 : 0) {}

  // Lays out the phrase's letters; false when they do not fit the tables.
  bool lay_out(const CharCounts& phrase) {
    std::uint64_t radix_product = 1;
    int bits = 0;
    std::uint64_t phrase_packed = 0;
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      const std::uint64_t count = phrase[letter];
      if (count == 0) continue;
      if (count >= kMostRemainders) return false;
      place_[letter] = static_cast<std::uint32_t>(radix_product);
      radix_product *= count + 1;
      if (radix_product > kMostRemainders) return false;
      shift_[letter] = bits;
      const int width = std::bit_width(count) + 1;
      bits += width;
      if (bits > 64) return false;
      guards_ |= std::uint64_t{1} << (bits - 1);
      phrase_packed |= count << shift_[letter];
    }
    remainder_count_ = radix_product;
    phrase_letters_ = phrase_packed;
    phrase_size_ = static_cast<std::uint32_t>(phrase.total());
    return true;
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

  // Chooses which lists to build (those of up to built_size_ letters);
  // false when some key would not fit its fields.
  bool plan_lists(std::uint64_t least_list_entries) {
    const std::uint64_t total = phrase().solutions;
    const std::uint64_t budget =
        std::max(least_list_entries, total / kListShare);
    if (static_cast<std::uint64_t>(phrase().most_words) * rank_bits_ > 128) {
      return false;
    }
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
    return true;
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

  // Where the words of `remainder` that fit from `rank` on start.
  std::uint64_t first_fit_from(const Remainder& remainder,
                               std::uint32_t rank) const {
    return static_cast<std::uint64_t>(
        std::lower_bound(fits_.begin() + remainder.fits_begin,
                         fits_.begin() + remainder.fits_end, rank) -
        fits_.begin());
  }

  // The first of the first words of `remainder` at `rank` or later, which
  // has solutions behind it when it is taken as a first word at all.
  std::uint64_t first_from(const Remainder& remainder,
                           std::uint32_t rank) const {
    return static_cast<std::uint64_t>(
        std::lower_bound(first_ranks_.begin() + remainder.firsts_begin,
                         first_ranks_.begin() + remainder.firsts_end, rank) -
        first_ranks_.begin());
  }

  // How many solutions of `remainder` start at `rank` or later, and where
  // they start in its list.
  std::pair<std::uint64_t, std::uint64_t> solutions_from(
      const Remainder& remainder, std::uint32_t rank) const {
    const auto begin = first_ranks_.begin() + remainder.firsts_begin;
    const auto end = first_ranks_.begin() + remainder.firsts_end;
    const auto found = std::lower_bound(begin, end, rank);
    if (found == end) return {0, remainder.solutions};
    const std::uint64_t start = first_starts_[found - first_ranks_.begin()];
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

}  // namespace

std::uint64_t remainder_count_bound(const CharCounts& phrase,
                                    const PreparedConstraints& prepared) {
  if ((prepared.timeout_seconds && *prepared.timeout_seconds < 1e9) ||
      prepared.max_solutions != kUnlimited || !prepared.patterns.empty() ||
      prepared.letters_needed_at_start != 0 || prepared.min_words > 1 ||
      !prepared.words_of_length.empty() ||
      (prepared.max_words != kUnlimited &&
       prepared.max_words < phrase.total())) {
    return 0;
  }
  std::uint64_t remainders = 1;
  int bits = 0;
  for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
    if (phrase[letter] == 0) continue;
    if (phrase[letter] >= kMostRemainders) return 0;
    remainders *= phrase[letter] + 1;
    bits += std::bit_width(phrase[letter]) + 1;
    if (remainders > kMostRemainders || bits > 64) return 0;
  }
  return remainders;
}

bool remainder_keys_fit(const std::vector<std::string>& letters,
                        const CharCounts& phrase) {
  // A solution has at most the letters that words of one letter can take,
  // plus the rest in the next shortest words.
  std::uint64_t single = 0;
  std::uint64_t shortest_longer = 0;
  std::array<bool, kAlphabetSize> counted{};
  for (const std::string& word : letters) {
    if (word.size() == 1) {
      // (Spellings of one letter share it.)
      const auto letter = static_cast<std::size_t>(word[0] - 'a');
      if (letter < kAlphabetSize && !counted[letter]) {
        single += phrase[letter];
        counted[letter] = true;
      }
    } else if (shortest_longer == 0 || word.size() < shortest_longer) {
      shortest_longer = word.size();
    }
  }
  const std::uint64_t total = phrase.total();
  const std::uint64_t most_words =
      single + (shortest_longer == 0 ? 0 : (total - single) / shortest_longer);
  return most_words *
             static_cast<std::uint64_t>(std::bit_width(letters.size())) <=
         128;
}

std::optional<SolutionList> run_remainder_search(
    SpelledWords& words, const CharCounts& phrase,
    const PreparedConstraints& prepared, Clock::time_point start_time,
    const FastSearchOptions& options, FastSearchReport* report,
    std::uint64_t least_list_entries) {
  if (remainder_count_bound(phrase, prepared) == 0) return std::nullopt;
  RemainderSearch search(words.letters_by_rank(), prepared.distinct);
  if (!search.lay_out(phrase) || !search.describe_words() ||
      !remainder_keys_fit(words.letters_by_rank(), phrase)) {
    return std::nullopt;
  }
  SearchStop stop(prepared, start_time, options.finish_costs,
                  &options.interrupt);
  // (Tables the process could not hold are left to the walk, which needs
  // none of them.)
  if (!search.find_remainders(stop) || !search.count_solutions(stop) ||
      !search.plan_lists(least_list_entries)) {
    return std::nullopt;
  }
  const std::uint64_t total = search.phrase().solutions;
  if (total > kMostSolutions) {
    throw ResultTooLarge(total,
                         total > UINT64_MAX / sizeof(std::uint64_t)
                             ? UINT64_MAX
                             : total * sizeof(std::uint64_t),
                         available_memory_bytes());
  }
  // Refused now where the walk would refuse it too: the walk holds every
  // key, of 8 bytes at least, twice over while it sorts them. None of that
  // is held yet.
  SolutionCost least =
      stop.cost_of(search.phrase().least_words, sizeof(std::uint64_t), 0);
  least.stored_bytes = 0;
  stop.count_solutions(total, least);
  stop.count_steps(SearchStop::kStepsPerClockCheck);
  if (stop.interrupted()) throw SearchInterrupted();
  if (stop.out_of_memory()) {
    // (Unless only the tables, which the walk does without, are in the way.)
    if (stop.bytes_needed() - stop.bytes_available() <= search.table_bytes()) {
      return std::nullopt;
    }
    throw ResultTooLarge(stop.solutions_found(), stop.bytes_needed(),
                         stop.bytes_available());
  }
  // This search holds each key once, at most 16 bytes wide, beside the
  // tables and the lists it builds: where that might not fit, the walk,
  // whose keys may be narrower, decides.
  const std::size_t most_words = search.phrase().most_words;
  SearchStop held(prepared, start_time, options.finish_costs);
  SolutionCost widest = held.cost_of(most_words, 0, 0);
  widest.result_bytes +=
      most_words * static_cast<std::size_t>(search.rank_bits()) <= 64
          ? sizeof(std::uint64_t)
          : sizeof(LongKey);
  held.count_solutions(total, widest);
  held.count_solutions(1, {.result_bytes = search.list_bytes(),
                           .stored_bytes = 0,
                           .finish_nanoseconds = 0});
  held.count_steps(SearchStop::kStepsPerClockCheck);
  if (held.out_of_memory()) return std::nullopt;
  SolutionList result;
  result.words = std::move(words.words);
  if (total == 0) return result;
  search.build_lists();
  const int rank_bits = search.rank_bits();
  const LongKey* const fields = search.fields();
  const std::uint32_t* const tags = search.tags();

  // Each group of the result (by word count and shortest word) grows as the
  // walk reaches its solutions, which come in its order. Keys of up to
  // `short_words` words fit 64 bits.
  struct Group {
    PageArray<std::uint64_t> short_keys;
    PageArray<LongKey> long_keys;
    std::uint64_t size = 0;
    std::uint64_t capacity = 0;
  };
  const std::uint32_t lengths = search.longest() + 1;
  std::vector<Group> groups((most_words + 1) * lengths);
  const auto bits = static_cast<std::uint32_t>(rank_bits);
  const std::uint32_t short_words = 64 / bits;
  auto grow = [&](Group& group, std::uint32_t words) {
    group.capacity = std::max<std::uint64_t>(group.capacity * 2, 1024);
    if (words <= short_words) {
      resize_page_array(group.short_keys, group.capacity, group.size);
    } else {
      resize_page_array(group.long_keys, group.capacity, group.size);
    }
  };
  auto put_short = [&](std::uint64_t key, std::uint32_t words,
                       std::uint32_t shortest) {
    Group& group = groups[words * lengths + shortest];
    if (group.size == group.capacity) [[unlikely]]
      grow(group, words);
    group.short_keys[group.size++] = key;
  };
  auto put_long = [&](LongKey key, std::uint32_t words,
                      std::uint32_t shortest) {
    Group& group = groups[words * lengths + shortest];
    if (group.size == group.capacity) [[unlikely]]
      grow(group, words);
    group.long_keys[group.size++] = key;
  };
  search.walk([&](LongKey high, std::uint32_t words, std::uint32_t shortest,
                  std::uint64_t begin, std::uint64_t end) {
    if (begin == end) {
      if (words <= short_words) {
        put_short(static_cast<std::uint64_t>(high), words, shortest);
      } else {
        put_long(high, words, shortest);
      }
      return;
    }
    for (std::uint64_t e = begin; e < end; ++e) {
      const std::uint32_t tag = tags[e];
      const std::uint32_t more = words_of(tag);
      const std::uint32_t length = std::min(shortest, shortest_of(tag));
      if (words + more <= short_words) {
        put_short(static_cast<std::uint64_t>(high) << (more * bits) |
                      static_cast<std::uint64_t>(fields[e]),
                  words + more, length);
      } else {
        put_long(high << (more * bits) | fields[e], words + more, length);
      }
    }
    stop.count_steps(end - begin + 1);
    if (stop.interrupted()) throw SearchInterrupted();
  });
  for (std::uint32_t words = 1; words <= most_words; ++words) {
    for (std::uint32_t length = lengths; length-- > 0;) {
      Group& grown = groups[words * lengths + length];
      if (grown.size == 0) continue;
      SolutionGroup& group = result.groups.emplace_back();
      group.word_count = words;
      group.solution_count = grown.size;
      group.id_bits = rank_bits;
      group.short_keys = std::move(grown.short_keys);
      group.long_keys = std::move(grown.long_keys);
    }
  }
  if (report) {
    report->search_seconds =
        std::chrono::duration<double>(Clock::now() - start_time).count();
    report->solutions_by_walker[0] = total;
    report->solutions_by_walker[1] = 0;
    report->second_walker_ran = false;
    report->cut_short = false;
  }
  return result;
}

std::optional<std::uint64_t> count_by_remainders(
    const std::vector<std::string>& letters, const CharCounts& phrase,
    const PreparedConstraints& prepared, Clock::time_point start_time,
    const FastSearchOptions& options) {
  if (remainder_count_bound(phrase, prepared) == 0) return std::nullopt;
  RemainderSearch search(letters, prepared.distinct);
  if (!search.lay_out(phrase) || !search.describe_words()) return std::nullopt;
  SearchStop stop(prepared, start_time, options.finish_costs,
                  &options.interrupt);
  if (!search.find_remainders(stop) || !search.count_solutions(stop)) {
    return std::nullopt;
  }
  // (A saturated count is left to the walk, which counts further.)
  const std::uint64_t total = search.phrase().solutions;
  if (total == UINT64_MAX) return std::nullopt;
  return total;
}

}  // namespace vorpalyx
