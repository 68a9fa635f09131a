#include "solver/fast_search.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace vorpalyx {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t kMaxPatterns = 64;
// Steps (words examined, solutions recorded) between two readings of the
// clock: a fraction of a millisecond of work.
constexpr std::uint64_t kStepsPerClockCheck = 1 << 14;

// Where each letter of the phrase lives in a packed count: word `word`, bits
// [shift, shift + width), the top bit of the field being its guard. Letters
// that the phrase lacks have no field: no candidate word holds them. Fields
// are laid out in the order of `priority` (the rarest letter first), so the
// lowest guard bit set in a set of letters names its rarest letter.
struct PackedLayout {
  std::size_t words_used = 0;
  std::array<int, kAlphabetSize> word{};
  std::array<int, kAlphabetSize> shift{};
  std::array<int, kAlphabetSize> value_bits{};
  std::array<std::uint32_t, kAlphabetSize> priority{};  // by letter

  // Packs greedily into 64-bit words, letters in `order`; with
  // `one_letter_per_word`, each letter gets a word of its own, which holds
  // any count below 2^63.
  static PackedLayout for_phrase(
      const CharCounts& phrase,
      const std::array<std::uint32_t, kAlphabetSize>& order,
      bool one_letter_per_word) {
    PackedLayout layout;
    layout.word.fill(-1);
    int offset = 64;
    for (std::uint32_t rank = 0; rank < kAlphabetSize; ++rank) {
      const std::uint32_t letter = order[rank];
      layout.priority[letter] = rank;
      if (phrase[letter] == 0) continue;
      const int bits = std::bit_width(phrase[letter]);
      if (one_letter_per_word || offset + bits + 1 > 64) {
        ++layout.words_used;
        offset = 0;
      }
      layout.word[letter] = static_cast<int>(layout.words_used) - 1;
      layout.shift[letter] = offset;
      layout.value_bits[letter] = bits;
      offset += bits + 1;
    }
    return layout;
  }
};

template <std::size_t N>
struct Packed {
  std::array<std::uint64_t, N> words{};

  friend bool operator==(const Packed& left, const Packed& right) {
    std::uint64_t difference = 0;
    for (std::size_t i = 0; i < N; ++i) {
      difference |= left.words[i] ^ right.words[i];
    }
    return difference == 0;
  }

  Packed operator-(const Packed& other) const {
    Packed result;
    for (std::size_t i = 0; i < N; ++i)
      result.words[i] = words[i] - other.words[i];
    return result;
  }
  Packed operator&(const Packed& other) const {
    Packed result;
    for (std::size_t i = 0; i < N; ++i)
      result.words[i] = words[i] & other.words[i];
    return result;
  }
  Packed& operator|=(const Packed& other) {
    for (std::size_t i = 0; i < N; ++i) words[i] |= other.words[i];
    return *this;
  }
  Packed without(const Packed& other) const {
    Packed result;
    for (std::size_t i = 0; i < N; ++i)
      result.words[i] = words[i] & ~other.words[i];
    return result;
  }
  bool any() const {
    std::uint64_t bits = 0;
    for (std::uint64_t word : words) bits |= word;
    return bits != 0;
  }
};

// The packed form of letter counts and the masks that go with a layout.
template <std::size_t N>
struct PackedAlphabet {
  Packed<N> guards;    // the guard bit of every field
  Packed<N> low_bits;  // the lowest bit of every field
  std::array<Packed<N>, kAlphabetSize> guard_of{};
  // The priority of the letter whose guard is bit b of word w, at 64 * w + b.
  std::array<std::uint8_t, 64 * N> priority_of_guard{};
  const PackedLayout* layout;

  explicit PackedAlphabet(const PackedLayout& layout) : layout(&layout) {
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      if (layout.word[letter] < 0) continue;
      const int shift = layout.shift[letter];
      const int guard_bit = shift + layout.value_bits[letter];
      guard_of[letter].words[layout.word[letter]] = std::uint64_t{1}
                                                    << guard_bit;
      guards |= guard_of[letter];
      low_bits.words[layout.word[letter]] |= std::uint64_t{1} << shift;
      priority_of_guard[64 * layout.word[letter] + guard_bit] =
          static_cast<std::uint8_t>(layout.priority[letter]);
    }
  }

  // The priority of the rarest letter among `letters` (guard bits, not
  // all zero).
  std::uint32_t rarest(const Packed<N>& letters) const {
    std::size_t i = 0;
    while (i + 1 < N && letters.words[i] == 0) ++i;
    return priority_of_guard[64 * i + std::countr_zero(letters.words[i])];
  }

  // Counts whose letters all have fields in the layout.
  Packed<N> pack(const CharCounts& counts) const {
    Packed<N> packed;
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      if (counts[letter] == 0) continue;
      packed.words[layout->word[letter]] += counts[letter]
                                            << layout->shift[letter];
    }
    return packed;
  }

  // `remaining` carries its guard bits; a field that `word` overdraws
  // borrows its own guard bit and no other.
  bool fits(const Packed<N>& remaining, const Packed<N>& word) const {
    for (std::size_t i = 0; i < N; ++i) {
      if (((remaining.words[i] - word.words[i]) & guards.words[i]) !=
          guards.words[i]) {
        return false;
      }
    }
    return true;
  }

  // The guard bits of the letters that `remaining` still holds.
  Packed<N> letters_held(const Packed<N>& remaining) const {
    return (remaining - low_bits) & guards;
  }
};

// A class of interchangeable words: the same letters, the same patterns
// and, when start letters are counted, the same first letter. The search
// combines classes; each combination stands for every choice of members.
template <std::size_t N>
struct Candidate {
  Packed<N> counts;
  Packed<N> letters;  // the guard bit of each letter the words hold
  std::uint64_t patterns;
  std::uint64_t length;
  std::uint32_t first_letter;
  std::uint32_t rank;  // of its first member, in ascending byte order
  std::uint32_t key;   // priority of its rarest letter (0 is the rarest)
  std::uint32_t members_begin;  // its members' ranks, ascending, in
  std::uint32_t member_count;   // FastSearch::member_ranks_
};

// One word of a level's list, with what the scan over the list tests, so
// that the scan reads memory in order.
template <std::size_t N>
struct ListEntry {
  Packed<N> counts;
  std::uint32_t word;
  std::uint16_t length;  // capped; only used to skip words early
  std::uint8_t key;      // the word's rarest letter, as in Candidate
};

// The lists of all levels on the current path, one after another; only the
// last list grows or shrinks. Entries are plain values, so the buffer grows
// without constructing anything.
template <std::size_t N>
class ListStack {
 public:
  std::size_t size() const { return size_; }
  const ListEntry<N>& operator[](std::size_t index) const {
    return entries_[index];
  }
  void push_back(const ListEntry<N>& entry) {
    reserve_more(1);
    entries_[size_++] = entry;
  }
  void resize_down(std::size_t size) { size_ = size; }

  // Appends the entries of [begin, end) (a range of the last list) that fit
  // `remaining` and are at most `longest` letters long. Branch-free: each
  // entry is written and kept only when it passes.
  void append_fitting(std::size_t begin, std::size_t end,
                      const Packed<N>& remaining, const Packed<N>& guards,
                      std::uint64_t longest) {
    reserve_more(end - begin);
    const ListEntry<N>* source = entries_.get() + begin;
    const ListEntry<N>* const source_end = entries_.get() + end;
    ListEntry<N>* out = entries_.get() + size_;
    for (; source != source_end; ++source) {
      const ListEntry<N> entry = *source;
      bool keep = entry.length <= longest;
      for (std::size_t i = 0; i < N; ++i) {
        keep &= ((remaining.words[i] - entry.counts.words[i]) &
                 guards.words[i]) == guards.words[i];
      }
      *out = entry;
      out += keep;
    }
    size_ = static_cast<std::size_t>(out - entries_.get());
  }

 private:
  void reserve_more(std::size_t count) {
    if (size_ + count <= capacity_) return;
    const std::size_t capacity = std::max(size_ + count, 2 * capacity_);
    auto entries = std::make_unique_for_overwrite<ListEntry<N>[]>(capacity);
    std::copy(entries_.get(), entries_.get() + size_, entries.get());
    entries_ = std::move(entries);
    capacity_ = capacity;
  }

  std::unique_ptr<ListEntry<N>[]> entries_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The candidates grouped by their letters, for the last word of a solution:
// each class lists its candidates in ascending rank.
template <std::size_t N>
class AnagramClasses {
 public:
  AnagramClasses(const std::vector<Candidate<N>>& candidates) {
    members_.resize(candidates.size());
    for (std::uint32_t i = 0; i < members_.size(); ++i) members_[i] = i;
    std::stable_sort(members_.begin(), members_.end(),
                     [&](std::uint32_t left, std::uint32_t right) {
                       return candidates[left].counts.words <
                              candidates[right].counts.words;
                     });
    std::size_t class_count = 0;
    for (std::size_t i = 0; i < members_.size(); ++i) {
      class_count += i == 0 || !(candidates[members_[i]].counts ==
                                 candidates[members_[i - 1]].counts);
    }
    // A quarter full: a miss, the usual outcome, ends at the first probe.
    slots_.resize(std::bit_ceil(std::max<std::size_t>(4 * class_count, 2)));
    mask_ = slots_.size() - 1;
    shift_ = 64 - std::countr_zero(slots_.size());
    occupied_.resize((slots_.size() + 63) / 64);
    for (std::size_t begin = 0; begin < members_.size();) {
      std::size_t end = begin + 1;
      const Packed<N>& key = candidates[members_[begin]].counts;
      while (end < members_.size() && candidates[members_[end]].counts == key) {
        ++end;
      }
      std::size_t slot = slot_of(key);
      while (slots_[slot].end != 0) slot = (slot + 1) & mask_;
      slots_[slot] = {key, static_cast<std::uint32_t>(begin),
                      static_cast<std::uint32_t>(end)};
      occupied_[slot / 64] |= std::uint64_t{1} << (slot % 64);
      begin = end;
    }
  }

  // The candidates whose letters are exactly `key`, as [begin, end) of
  // members(); empty when there are none.
  std::pair<const std::uint32_t*, const std::uint32_t*> find(
      const Packed<N>& key) const {
    std::size_t slot = slot_of(key);
    // Most lookups miss; the bitmap answers them from a few cache lines.
    if ((occupied_[slot / 64] >> (slot % 64) & 1) == 0)
      return {nullptr, nullptr};
    for (;; slot = (slot + 1) & mask_) {
      const Slot& entry = slots_[slot];
      if (entry.end == 0) return {nullptr, nullptr};
      if (entry.key == key) {
        return {members_.data() + entry.begin, members_.data() + entry.end};
      }
    }
  }

 private:
  struct Slot {
    Packed<N> key;
    std::uint32_t begin = 0;
    std::uint32_t end = 0;  // 0 marks a free slot: classes are never empty
  };
  std::vector<std::uint32_t> members_;
  std::vector<Slot> slots_;
  std::vector<std::uint64_t> occupied_;  // a bit per slot in use
  std::size_t mask_ = 0;
  int shift_ = 0;

  // Multiplicative hashing: the high bits of the product index the table.
  std::size_t slot_of(const Packed<N>& key) const {
    std::uint64_t hash = 0;
    for (std::uint64_t word : key.words) {
      hash = (hash ^ word) * 0x9E3779B97F4A7C15u;
    }
    return shift_ == 64 ? 0 : static_cast<std::size_t>(hash >> shift_);
  }
};

// The constraints in the form the search tests them.
struct PreparedConstraints {
  std::uint64_t max_words = kUnlimited;
  std::uint64_t min_word_length = 0;
  std::uint64_t max_solutions = kUnlimited;
  std::optional<double> timeout_seconds;
  std::vector<std::string> patterns;  // distinct
  std::uint64_t all_patterns = 0;
  std::array<std::uint64_t, kAlphabetSize> starts_needed{};
  std::uint32_t letters_needed_at_start = 0;  // bit per letter with a need
  bool impossible = false;  // no solution can meet the constraints
};

PreparedConstraints prepare(const SolverConstraints& constraints) {
  PreparedConstraints prepared;
  if (constraints.max_words) prepared.max_words = *constraints.max_words;
  if (constraints.min_word_length) {
    prepared.min_word_length = *constraints.min_word_length;
  }
  if (constraints.max_solutions) {
    prepared.max_solutions = *constraints.max_solutions;
  }
  prepared.timeout_seconds = constraints.timeout_seconds;
  if (constraints.contains_patterns) {
    std::set<std::string_view> distinct;
    for (const ProcessedPattern& pattern : *constraints.contains_patterns) {
      if (distinct.insert(pattern.text).second) {
        prepared.patterns.push_back(pattern.text);
      }
    }
    const std::size_t count = prepared.patterns.size();
    prepared.all_patterns =
        count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
  }
  if (constraints.must_start_with) {
    for (const auto& [character, count] : *constraints.must_start_with) {
      if (count == 0) continue;
      const int letter = letter_index(character);
      if (letter < 0) {
        prepared.impossible = true;
        continue;
      }
      prepared.starts_needed[letter] = count;
      prepared.letters_needed_at_start |= 1u << letter;
    }
  }
  if (prepared.max_words == 0 || prepared.max_solutions == 0) {
    prepared.impossible = true;
  }
  return prepared;
}

// Integer keys appended in blocks that never move: growing costs no copy,
// and a block is only touched while it is being filled.
template <typename Key>
class KeyBlocks {
 public:
  std::size_t size() const { return size_; }

  void push_back(Key key) {
    if (next_ == end_) add_block();
    *next_++ = key;
    ++size_;
  }

  // Calls `visit(begin, end)` for each block's keys in turn.
  template <typename Visit>
  void for_each_block(Visit&& visit) const {
    for (const Block& block : blocks_) {
      const bool open = &block == &blocks_.back() && next_ != nullptr;
      const std::size_t count =
          open ? static_cast<std::size_t>(next_ - block.keys.get())
               : block.count;
      visit(block.keys.get(), block.keys.get() + count);
    }
  }

  // Moves the blocks of `other` after these.
  void append(KeyBlocks&& other) {
    close();
    other.close();
    for (Block& block : other.blocks_) blocks_.push_back(std::move(block));
    size_ += other.size_;
    other.clear();
  }

  void clear() {
    blocks_.clear();
    next_ = end_ = nullptr;
    size_ = 0;
  }

 private:
  struct Block {
    std::unique_ptr<Key[]> keys;
    std::size_t count;  // set when the block is closed
  };

  // Small first blocks for the many small buckets, up to a megabyte each.
  static std::size_t block_size(std::size_t index) {
    constexpr std::size_t kLargest = (std::size_t{1} << 20) / sizeof(Key);
    return std::min(std::size_t{64} << std::min<std::size_t>(index, 20),
                    kLargest);
  }

  void close() {
    if (next_ == nullptr) return;
    blocks_.back().count =
        static_cast<std::size_t>(next_ - blocks_.back().keys.get());
    next_ = end_ = nullptr;
  }

  void add_block() {
    close();
    const std::size_t count = block_size(blocks_.size());
    blocks_.push_back({std::make_unique_for_overwrite<Key[]>(count), 0});
    next_ = blocks_.back().keys.get();
    end_ = next_ + count;
  }

  std::vector<Block> blocks_;
  Key* next_ = nullptr;  // null when no block is open
  Key* end_ = nullptr;
  std::size_t size_ = 0;
};

// Runs `work` on the calling thread and, when a second thread can be had,
// on that one too; `work` shares itself out (through a counter both read).
// A failure on the second thread is raised here once both are done.
template <typename Work>
void run_on_two_threads(Work&& work) {
  std::exception_ptr helper_failure;
  {
    std::jthread helper;
    if (std::thread::hardware_concurrency() >= 2) {
      try {
        helper = std::jthread([&] {
          try {
            work();
          } catch (...) {
            helper_failure = std::current_exception();
          }
        });
      } catch (const std::system_error&) {
        // No second thread: this one does all the work.
      }
    }
    work();
  }
  if (helper_failure) std::rethrow_exception(helper_failure);
}

constexpr std::size_t kInsertionSortSize = 32;
constexpr std::size_t kRadixSortSize = 64;

template <typename Key>
void insertion_sort(Key* keys, std::size_t count) {
  for (std::size_t i = 1; i < count; ++i) {
    const Key key = keys[i];
    std::size_t j = i;
    for (; j > 0 && key < keys[j - 1]; --j) keys[j] = keys[j - 1];
    keys[j] = key;
  }
}

// Sorts the `count` keys at `data`, whose bits from `top_bit` up are all
// equal, most significant digit first, into `data` itself when `data_is_home`
// and otherwise into `other`; the two ranges alternate as source and target
// of the passes. Large ranges are spread by 11 bits at a time, smaller ones
// by 8 or 6 (fewer counters to clear), and ranges of a few dozen keys are
// sorted by comparison.
template <typename Key>
void sort_into(Key* data, Key* other, std::size_t count, int top_bit,
               bool data_is_home) {
  while (count > kRadixSortSize && top_bit > 0) {
    const int digit_bits = count >= (std::size_t{1} << 16) ? 11
                           : count >= 2048                 ? 8
                                                           : 6;
    const int shift = std::max(top_bit - digit_bits, 0);
    const std::size_t mask = (std::size_t{1} << (top_bit - shift)) - 1;
    std::array<std::size_t, (1 << 11) + 1> starts;
    std::fill(starts.begin(), starts.begin() + mask + 2, 0);
    for (std::size_t i = 0; i < count; ++i) {
      ++starts[(static_cast<std::size_t>(data[i] >> shift) & mask) + 1];
    }
    top_bit = shift;
    // All in one digit (common in the high bits): nothing to move.
    if (std::find(starts.begin(), starts.begin() + mask + 2, count) !=
        starts.begin() + mask + 2) {
      continue;
    }
    for (std::size_t digit = 1; digit <= mask + 1; ++digit) {
      starts[digit] += starts[digit - 1];
    }
    std::array<std::size_t, 1 << 11> next;
    std::copy(starts.begin(), starts.begin() + mask + 1, next.begin());
    for (std::size_t i = 0; i < count; ++i) {
      other[next[static_cast<std::size_t>(data[i] >> shift) & mask]++] =
          data[i];
    }
    for (std::size_t digit = 0; digit <= mask; ++digit) {
      sort_into(other + starts[digit], data + starts[digit],
                starts[digit + 1] - starts[digit], top_bit, !data_is_home);
    }
    return;
  }
  if (count > kInsertionSortSize) {
    std::sort(data, data + count);
  } else {
    insertion_sort(data, count);
  }
  if (!data_is_home) std::copy(data, data + count, other);
}

// Sorts the keys of `blocks` (of `key_bits` bits) into a new array and frees
// the blocks. The first pass spreads the keys by their top `top_digit_bits`
// bits straight from the blocks into the array.
template <typename Key>
std::unique_ptr<Key[]> sort_keys(KeyBlocks<Key>& blocks, int key_bits,
                                 int top_digit_bits) {
  const std::size_t count = blocks.size();
  auto sorted = std::make_unique_for_overwrite<Key[]>(count);
  const int digit_bits = std::min(top_digit_bits, key_bits);
  const int shift = key_bits - digit_bits;
  std::vector<std::size_t> starts((std::size_t{1} << digit_bits) + 1);
  blocks.for_each_block([&](const Key* begin, const Key* end) {
    for (; begin != end; ++begin) {
      ++starts[static_cast<std::size_t>(*begin >> shift) + 1];
    }
  });
  std::size_t largest = 0;
  for (std::size_t digit = 1; digit < starts.size(); ++digit) {
    largest = std::max(largest, starts[digit]);
    starts[digit] += starts[digit - 1];
  }
  std::vector<std::size_t> next(starts.begin(), starts.end() - 1);
  blocks.for_each_block([&](const Key* begin, const Key* end) {
    for (; begin != end; ++begin) {
      sorted[next[static_cast<std::size_t>(*begin >> shift)]++] = *begin;
    }
  });
  blocks.clear();
  auto scratch = std::make_unique_for_overwrite<Key[]>(largest);
  for (std::size_t digit = 0; digit + 1 < starts.size(); ++digit) {
    sort_into(sorted.get() + starts[digit], scratch.get(),
              starts[digit + 1] - starts[digit], shift, true);
  }
  return sorted;
}

// Collects the solutions by word count and shortest word, each as its word
// ids in ascending rank. A solution is kept as one integer key whose order
// is the order of its ids, so that sorting a bucket word by word is sorting
// integers: the ids in fields, the first in the highest, when they fit one
// machine word; else the number of their multiset when that fits; else
// fields in two machine words. Longer solutions are kept as rows.
class SolutionBuckets {
 public:
  // For solutions over `word_count` words (ranks 0 to word_count - 1).
  explicit SolutionBuckets(std::size_t word_count)
      : word_count_(word_count), rank_bits_(std::bit_width(word_count)) {}

  struct Bucket;

  // The bucket of the solutions of `word_count` words whose shortest word
  // has `shortest` letters.
  Bucket& bucket(std::size_t word_count, std::uint64_t shortest) {
    if (word_count < kTableSize && shortest < kTableSize) {
      Bucket*& entry = table_[word_count][shortest];
      if (entry == nullptr) entry = &create(word_count, shortest);
      return *entry;
    }
    auto [entry, inserted] =
        others_.try_emplace(std::pair(word_count, shortest), nullptr);
    if (inserted) entry->second = &create(word_count, shortest);
    return *entry->second;
  }

  // Records in `bucket` the solution made of `sorted` (`count` ranks,
  // ascending) and `last`.
  void add(Bucket& bucket, const std::uint32_t* sorted, std::size_t count,
           std::uint32_t last) {
    switch (bucket.form) {
      case Form::kFields:
        bucket.short_keys.push_back(
            merged_key<std::uint64_t>(sorted, count, last));
        return;
      case Form::kMultiset:
        bucket.short_keys.push_back(
            numbering_->number(sorted, count, &last, 1));
        return;
      case Form::kLongFields:
        bucket.long_keys.push_back(
            merged_key<unsigned __int128>(sorted, count, last));
        return;
      case Form::kRows:
        row_.resize(count + 1);
        std::merge(sorted, sorted + count, &last, &last + 1, row_.begin());
        bucket.rows.append(row_.data());
        return;
    }
  }

  // The buckets as groups in result order (fewer words first, then the
  // longer shortest word), each sorted word by word.
  std::vector<SolutionGroup> take_in_result_order() {
    std::sort(buckets_.begin(), buckets_.end(),
              [](const Bucket& left, const Bucket& right) {
                if (left.rows.word_count != right.rows.word_count) {
                  return left.rows.word_count < right.rows.word_count;
                }
                return left.shortest > right.shortest;
              });
    std::vector<SolutionGroup> groups(buckets_.size());
    auto sort_bucket = [&](std::size_t index) {
      Bucket& bucket = buckets_[index];
      switch (bucket.form) {
        case Form::kFields:
        case Form::kMultiset:
          groups[index] = keyed_group(bucket.short_keys, bucket);
          break;
        case Form::kLongFields:
          groups[index] = keyed_group(bucket.long_keys, bucket);
          break;
        case Form::kRows:
          groups[index] = sorted_rows(std::move(bucket.rows));
          break;
      }
    };
    std::size_t total = 0;
    for (const Bucket& bucket : buckets_) total += size_of(bucket);
    if (total < kKeysWorthASecondThread) {
      for (std::size_t index = 0; index < buckets_.size(); ++index) {
        sort_bucket(index);
      }
      return groups;
    }
    // The largest buckets first, so that the two threads finish together.
    std::vector<std::size_t> order(buckets_.size());
    for (std::size_t index = 0; index < order.size(); ++index) {
      order[index] = index;
    }
    std::sort(order.begin(), order.end(),
              [&](std::size_t left, std::size_t right) {
                return size_of(buckets_[left]) > size_of(buckets_[right]);
              });
    std::atomic<std::size_t> next{0};
    run_on_two_threads([&] {
      for (std::size_t taken; (taken = next.fetch_add(1)) < order.size();) {
        sort_bucket(order[taken]);
      }
    });
    return groups;
  }

  // Moves the solutions of `other` (over the same words) into these.
  void absorb(SolutionBuckets& other) {
    for (Bucket& theirs : other.buckets_) {
      Bucket& ours = bucket(theirs.rows.word_count, theirs.shortest);
      ours.short_keys.append(std::move(theirs.short_keys));
      ours.long_keys.append(std::move(theirs.long_keys));
      for (std::vector<std::uint32_t>& chunk : theirs.rows.chunks) {
        ours.rows.chunks.push_back(std::move(chunk));
      }
      ours.rows.solution_count += theirs.rows.solution_count;
    }
    other.buckets_.clear();
  }

 private:
  static constexpr std::size_t kTableSize = 64;

 public:
  // How a bucket keeps its solutions: ranks in fields of one or two machine
  // words, the number of the multiset of ranks (when fields would need two
  // words and the number fits in one), or rows of ranks.
  enum class Form { kFields, kMultiset, kLongFields, kRows };
  struct Bucket {
    std::uint64_t shortest = 0;
    Form form = Form::kRows;
    std::size_t key_bits = 0;
    KeyBlocks<std::uint64_t> short_keys;
    KeyBlocks<unsigned __int128> long_keys;
    SolutionGroup rows;
  };

 private:
  // Sorting fewer keys than this takes less time than starting a thread.
  static constexpr std::size_t kKeysWorthASecondThread = std::size_t{1} << 16;

  static std::size_t size_of(const Bucket& bucket) {
    return bucket.short_keys.size() + bucket.long_keys.size() +
           bucket.rows.solution_count;
  }

  Bucket& create(std::size_t word_count, std::uint64_t shortest) {
    Bucket& bucket = buckets_.emplace_back();
    bucket.shortest = shortest;
    bucket.key_bits = word_count * static_cast<std::size_t>(rank_bits_);
    bucket.rows.word_count = word_count;
    std::uint64_t largest = 0;
    if (bucket.key_bits <= 64) {
      bucket.form = Form::kFields;
    } else if (multisets_fit(word_count) &&
               numbering().fits(word_count, &largest)) {
      bucket.form = Form::kMultiset;
      bucket.key_bits = std::max<std::size_t>(std::bit_width(largest), 1);
    } else if (bucket.key_bits <= 128) {
      bucket.form = Form::kLongFields;
    }
    return bucket;
  }

  // Whether the multisets of `size` ranks can be numbered below 2^64, told
  // without building the table: C(n + size - 1, size), step by step.
  bool multisets_fit(std::size_t size) const {
    if (size > kLargestNumberedMultiset) return false;
    unsigned __int128 count = 1;
    for (std::size_t i = 0; i < size; ++i) {
      // C(n + i, i + 1) from C(n + i - 1, i); exact at every step.
      count = count * (word_count_ + i) / (i + 1);
      if (count >> 64 != 0) return false;
    }
    return true;
  }

  const MultisetNumbering& numbering() {
    if (!numbering_) {
      numbering_ = std::make_shared<const MultisetNumbering>(
          word_count_, kLargestNumberedMultiset);
    }
    return *numbering_;
  }

  template <typename Key>
  Key merged_key(const std::uint32_t* sorted, std::size_t count,
                 std::uint32_t last) const {
    // Each rank goes straight to its field, so the shifts do not wait on
    // one another.
    Key key = 0;
    std::size_t shift = count * rank_bits_;
    std::size_t k = 0;
    for (; k < count && sorted[k] <= last; ++k, shift -= rank_bits_) {
      key |= Key{sorted[k]} << shift;
    }
    key |= Key{last} << shift;
    for (; k < count; ++k) {
      shift -= rank_bits_;
      key |= Key{sorted[k]} << shift;
    }
    return key;
  }

  // Sorts the keys and moves them into a group.
  template <typename Key>
  SolutionGroup keyed_group(KeyBlocks<Key>& keys, const Bucket& bucket) const {
    SolutionGroup group;
    group.word_count = bucket.rows.word_count;
    group.solution_count = keys.size();
    group.id_bits = rank_bits_;
    if (bucket.form == Form::kMultiset) group.numbering = numbering_;
    // The top digit is the first word's rank, up to 2^16 ranges.
    auto sorted = sort_keys(keys, static_cast<int>(bucket.key_bits),
                            std::min(rank_bits_, 16));
    if constexpr (sizeof(Key) == sizeof(std::uint64_t)) {
      group.short_keys = std::move(sorted);
    } else {
      group.long_keys = std::move(sorted);
    }
    return group;
  }

  static SolutionGroup sorted_rows(SolutionGroup group) {
    const std::size_t width = group.word_count;
    std::vector<const std::uint32_t*> rows;
    rows.reserve(group.solution_count);
    for (const std::vector<std::uint32_t>& chunk : group.chunks) {
      for (std::size_t row = 0; row < chunk.size(); row += width) {
        rows.push_back(chunk.data() + row);
      }
    }
    std::sort(rows.begin(), rows.end(),
              [width](const std::uint32_t* left, const std::uint32_t* right) {
                return std::lexicographical_compare(left, left + width, right,
                                                    right + width);
              });
    SolutionGroup sorted;
    sorted.word_count = width;
    for (const std::uint32_t* row : rows) sorted.append(row);
    return sorted;
  }

  // Past this many words, multisets of even a few ranks do not fit.
  static constexpr std::size_t kLargestNumberedMultiset = 16;
  std::size_t word_count_;
  int rank_bits_;
  std::shared_ptr<const MultisetNumbering> numbering_;  // made when needed
  std::vector<std::uint32_t> row_;  // for solutions too long for a key
  // Small word counts and lengths by table, the rest by map; the deque keeps
  // every bucket at its address.
  std::array<std::array<Bucket*, kTableSize>, kTableSize> table_{};
  std::map<std::pair<std::size_t, std::uint64_t>, Bucket*> others_;
  std::deque<Bucket> buckets_;
};

template <std::size_t N>
class FastSearch {
 public:
  FastSearch(const PackedLayout& layout, const PreparedConstraints& prepared,
             Clock::time_point start_time)
      : alphabet_(layout), prepared_(prepared), start_time_(start_time) {}

  SolutionList run(std::vector<std::string> words, const CharCounts& phrase) {
    SolutionList result;
    add_classes(words);
    const std::size_t word_count = words.size();
    result.words = std::move(words);
    if (candidates_.empty() || !can_start(phrase)) return result;
    shortest_candidate_ = candidates_[0].length;
    longer_word_ = kUnlimited;
    for (const Candidate<N>& candidate : candidates_) {
      shortest_candidate_ = std::min(shortest_candidate_, candidate.length);
      if (candidate.length == 1) {
        const PackedLayout& layout = *alphabet_.layout;
        const std::uint32_t letter = candidate.first_letter;
        single_letters_.push_back(
            {static_cast<std::size_t>(layout.word[letter]),
             layout.shift[letter],
             (std::uint64_t{1} << layout.value_bits[letter]) - 1});
      } else {
        longer_word_ = std::min(longer_word_, candidate.length);
      }
    }
    order_by_rarest_letter();
    classes_ = std::make_shared<const AnagramClasses<N>>(candidates_);
    buckets_ = std::make_unique<SolutionBuckets>(word_count);
    if (prepared_.max_solutions != kUnlimited) {
      // The first max_solutions found are kept: one walker, so that which
      // ones does not depend on timing.
      search(phrase, nullptr);
    } else {
      search_sharing_the_root(phrase);
    }
    result.search_seconds =
        std::chrono::duration<double>(Clock::now() - start_time_).count();
    result.groups = buckets_->take_in_result_order();
    return result;
  }

 private:
  // The branches of the first level, handed out one at a time to the
  // walkers (this one and, once the search has run for a while, a second
  // one on another thread).
  struct SharedRoot {
    // The positions of the branches in the root list (those holding the
    // rarest letter), the likely longest first: a shorter first word leaves
    // more to search. Each branch stands alone, so any order will do.
    std::vector<std::uint32_t> order;
    std::atomic<std::size_t> next{0};
    std::function<void()> offer_help;  // called by the first walker
  };

  // A second walker over the same candidates, with its own path and
  // solutions.
  struct Fork {};
  FastSearch(const FastSearch& tables, Fork)
      : alphabet_(tables.alphabet_),
        prepared_(tables.prepared_),
        start_time_(tables.start_time_),
        candidates_(tables.candidates_),
        classes_(tables.classes_),
        shortest_candidate_(tables.shortest_candidate_),
        longer_word_(tables.longer_word_),
        single_letters_(tables.single_letters_),
        shortest_by_priority_(tables.shortest_by_priority_),
        shortest_by_guard_(tables.shortest_by_guard_),
        // Every word is a member of one class.
        buckets_(
            std::make_unique<SolutionBuckets>(tables.member_ranks_.size())),
        member_ranks_(tables.member_ranks_) {}

  // Searches with a second walker once this one has run for a millisecond
  // (a shorter search is not worth a thread), then takes its solutions.
  void search_sharing_the_root(const CharCounts& phrase) {
    SharedRoot root;
    Packed<N> remaining = alphabet_.pack(phrase);
    remaining |= alphabet_.guards;
    const std::uint32_t top =
        alphabet_.rarest(alphabet_.letters_held(remaining));
    for (std::uint32_t position = 0;
         position < candidates_.size() && candidates_[position].key == top;
         ++position) {
      root.order.push_back(position);
    }
    std::stable_sort(root.order.begin(), root.order.end(),
                     [&](std::uint32_t left, std::uint32_t right) {
                       return candidates_[left].length <
                              candidates_[right].length;
                     });
    std::unique_ptr<FastSearch> helper;
    std::exception_ptr helper_failure;
    // Declared after what its thread uses, so joined before that goes.
    std::jthread helper_thread;
    const Clock::time_point search_start = Clock::now();
    const bool second_core = std::thread::hardware_concurrency() >= 2;
    root.offer_help = [&] {
      if (helper || !second_core ||
          Clock::now() - search_start < std::chrono::milliseconds(1)) {
        return;
      }
      helper.reset(new FastSearch(*this, Fork{}));
      try {
        helper_thread = std::jthread([&] {
          try {
            helper->search(phrase, &root, false);
          } catch (...) {
            helper_failure = std::current_exception();
          }
        });
      } catch (const std::system_error&) {
        // No second thread: this walker takes every branch.
      }
    };
    search(phrase, &root);
    if (helper_thread.joinable()) helper_thread.join();
    if (helper_failure) std::rethrow_exception(helper_failure);
    if (helper) buckets_->absorb(*helper->buckets_);
  }

  struct Level {
    std::size_t list_begin;
    std::size_t list_end;
    std::size_t position;
    Packed<N> remaining;  // with guard bits
    std::uint64_t total;
    std::uint64_t patterns;  // met by the words on the path
    std::uint64_t shortest;  // shortest word on the path
    std::uint32_t top;       // priority of the rarest letter remaining
  };

  Candidate<N> describe(std::string_view word, std::uint32_t rank) const {
    CharCounts counts;
    for (char letter : word) ++counts[letter - 'a'];
    Candidate<N> candidate;
    candidate.counts = alphabet_.pack(counts);
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      if (counts[letter] != 0) candidate.letters |= alphabet_.guard_of[letter];
    }
    candidate.patterns = 0;
    for (std::size_t i = 0; i < prepared_.patterns.size(); ++i) {
      if (word.find(prepared_.patterns[i]) != std::string_view::npos) {
        candidate.patterns |= std::uint64_t{1} << i;
      }
    }
    candidate.length = word.size();
    candidate.first_letter = static_cast<std::uint32_t>(word[0] - 'a');
    candidate.rank = rank;
    candidate.key = 0;
    candidate.members_begin = 0;
    candidate.member_count = 1;
    return candidate;
  }

  // Groups `words` (in ascending byte order) into classes of interchangeable
  // words, the classes in the order of their first members.
  void add_classes(const std::vector<std::string>& words) {
    std::vector<Candidate<N>> described;
    described.reserve(words.size());
    for (std::uint32_t rank = 0; rank < words.size(); ++rank) {
      described.push_back(describe(words[rank], rank));
    }
    // The first letter only tells words apart when start letters are counted.
    const bool by_first_letter = prepared_.letters_needed_at_start != 0;
    auto class_key = [by_first_letter](const Candidate<N>& candidate) {
      return std::tuple(candidate.counts.words, candidate.patterns,
                        by_first_letter ? candidate.first_letter : 0);
    };
    std::vector<std::uint32_t> by_class(words.size());
    for (std::uint32_t rank = 0; rank < by_class.size(); ++rank) {
      by_class[rank] = rank;
    }
    std::stable_sort(by_class.begin(), by_class.end(),
                     [&](std::uint32_t left, std::uint32_t right) {
                       return class_key(described[left]) <
                              class_key(described[right]);
                     });
    member_ranks_ = by_class;
    for (std::uint32_t begin = 0; begin < by_class.size();) {
      const auto key = class_key(described[by_class[begin]]);
      std::uint32_t end = begin + 1;
      while (end < by_class.size() &&
             class_key(described[by_class[end]]) == key) {
        ++end;
      }
      Candidate<N> candidate = described[by_class[begin]];
      candidate.members_begin = begin;
      candidate.member_count = end - begin;
      candidates_.push_back(candidate);
      begin = end;
    }
    std::sort(candidates_.begin(), candidates_.end(),
              [](const Candidate<N>& left, const Candidate<N>& right) {
                return left.rank < right.rank;
              });
  }

  // Whether the candidates together can cover the phrase's letters, every
  // pattern and every required start letter at all.
  bool can_start(const CharCounts& phrase) const {
    Packed<N> letters;
    std::uint64_t patterns = 0;
    std::uint32_t starts = 0;
    for (const Candidate<N>& candidate : candidates_) {
      letters |= candidate.letters;
      patterns |= candidate.patterns;
      starts |= 1u << candidate.first_letter;
    }
    Packed<N> phrase_letters;
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      if (phrase[letter] != 0) phrase_letters |= alphabet_.guard_of[letter];
    }
    return !phrase_letters.without(letters).any() &&
           (prepared_.all_patterns & ~patterns) == 0 &&
           (prepared_.letters_needed_at_start & ~starts) == 0;
  }

  // Puts the candidates in the order of their rarest letter (then by rank),
  // letters ranking by how few candidates hold them. In this
  // order the next word of a combination always holds the rarest letter that
  // remains, so a level only ever branches on those words.
  void order_by_rarest_letter() {
    shortest_by_priority_.fill(kUnlimited);
    for (Candidate<N>& candidate : candidates_) {
      candidate.key = alphabet_.rarest(candidate.letters);
      for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
        if ((candidate.letters & alphabet_.guard_of[letter]).any()) {
          std::uint64_t& shortest =
              shortest_by_priority_[alphabet_.layout->priority[letter]];
          shortest = std::min(shortest, candidate.length);
        }
      }
    }
    std::stable_sort(candidates_.begin(), candidates_.end(),
                     [](const Candidate<N>& left, const Candidate<N>& right) {
                       return left.key < right.key;
                     });
    shortest_by_guard_.fill(kUnlimited);
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      const Packed<N>& guard = alphabet_.guard_of[letter];
      for (std::size_t i = 0; i < N; ++i) {
        if (guard.words[i] == 0) continue;
        shortest_by_guard_[64 * i + std::countr_zero(guard.words[i])] =
            shortest_by_priority_[alphabet_.layout->priority[letter]];
      }
    }
  }

  // Walks the combinations; with `shared_root`, only the first-level
  // branches that this walker takes from it (and, for the walker that offers
  // help, the one-word solutions).
  void search(const CharCounts& phrase, SharedRoot* shared_root,
              bool first_walker = true) {
    const std::size_t most_words = phrase.total() + 1;
    path_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    path_ranks_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    rank_positions_ =
        std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    choice_words_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    fixed_ranks_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    chosen_ranks_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    other_ranks_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    choices_.reserve(most_words);
    const Packed<N> packed_phrase = alphabet_.pack(phrase);
    Level root{0, candidates_.size(), 0, packed_phrase, phrase.total(),
               0, kUnlimited,         0};
    root.remaining |= alphabet_.guards;
    root.top = alphabet_.rarest(alphabet_.letters_held(root.remaining));

    // One-word solutions.
    auto [begin, end] = classes_->find(packed_phrase);
    for (; begin != end && first_walker && !stopped_; ++begin) {
      emit_last_word(root, *begin);
    }
    if (prepared_.max_words < 2 || stopped_) return;

    for (std::uint32_t i = 0; i < candidates_.size(); ++i) {
      lists_.push_back({candidates_[i].counts, i,
                        static_cast<std::uint16_t>(std::min<std::uint64_t>(
                            candidates_[i].length, UINT16_MAX)),
                        static_cast<std::uint8_t>(candidates_[i].key)});
    }
    levels_.push_back(root);
    while (!levels_.empty() && !stopped_) {
      Level& level = levels_.back();
      if (shared_root != nullptr && levels_.size() == 1) {
        if (first_walker) shared_root->offer_help();
        const std::size_t taken = shared_root->next.fetch_add(1);
        level.position = taken < shared_root->order.size()
                             ? shared_root->order[taken]
                             : level.list_end;
      }
      if (level.position == level.list_end) {
        lists_.resize_down(level.list_begin);
        levels_.pop_back();
        if (depth_ != 0) {
          pop_word();
        }
        continue;
      }
      const std::uint32_t word = lists_[level.position++].word;
      if (candidates_[word].key != level.top) {
        level.position = level.list_end;
        continue;
      }
      extend(level, word);
    }
  }

  // Tries `word` as the next word of the path at `level`: every solution
  // that continues with it and one more word, then (as a new level) those
  // with two or more.
  void extend(const Level& level, std::uint32_t word) {
    const Candidate<N>& candidate = candidates_[word];
    count_steps(1);
    const std::uint64_t total = level.total - candidate.length;
    if (total < shortest_candidate_) return;
    const Packed<N> remaining = level.remaining - candidate.counts;
    const std::uint64_t words_left = prepared_.max_words - depth_ - 1;

    Level next{lists_.size(),
               lists_.size(),
               lists_.size(),
               remaining,
               total,
               level.patterns | candidate.patterns,
               std::min(level.shortest, candidate.length),
               0};
    enum class More { kNothing, kPairs, kLevel } more = More::kNothing;
    if (words_left >= 2) {
      // The next word holds the rarest letter left; every word is at least
      // as long as the shortest word holding one of the letters left.
      const Packed<N> held = alphabet_.letters_held(remaining);
      next.top = alphabet_.rarest(held);
      const std::uint64_t next_word = shortest_by_priority_[next.top];
      const std::uint64_t any_word = shortest_holding(held);
      // Words of one letter are few: beyond as many of them as the letters
      // left allow, every further word has at least `longer_word_` letters.
      const std::uint64_t singles = single_letter_words_left(remaining);
      const std::uint64_t two_more_words =
          singles >= 2
              ? 2
              : singles + (2 - singles) * std::max(any_word, longer_word_);
      if (words_left >= 3 && total >= next_word + two_more_words) {
        more = More::kLevel;
      } else if (total >= next_word + any_word) {
        more = More::kPairs;
      }
    }
    auto [begin, end] = completions(next, word);
    if (begin == end && more == More::kNothing) return;

    push_word(word);
    for (; begin != end && !stopped_; ++begin) emit_last_word(next, *begin);
    if (!stopped_) {
      if (more == More::kLevel && build_level(level, &next)) {
        next.list_end = lists_.size();
        levels_.push_back(next);
        return;
      }
      if (more == More::kPairs) emit_pairs(level, next);
    }
    lists_.resize_down(next.list_begin);
    pop_word();
  }

  // The ranks of the path's classes of one member are kept sorted, so that
  // recording a solution only merges in its last word; classes of several
  // members are stacked apart, for emit_every_choice.
  void push_word(std::uint32_t word) {
    const Candidate<N>& candidate = candidates_[word];
    if (candidate.member_count == 1) {
      std::size_t position = single_count_;
      for (; position > 0 && path_ranks_[position - 1] > candidate.rank;
           --position) {
        path_ranks_[position] = path_ranks_[position - 1];
      }
      path_ranks_[position] = candidate.rank;
      rank_positions_[depth_] = static_cast<std::uint32_t>(position);
      ++single_count_;
    } else {
      choice_words_[choice_count_++] = word;
    }
    path_[depth_] = word;
    ++depth_;
    ++starts_[candidate.first_letter];
  }

  void pop_word() {
    --depth_;
    const Candidate<N>& candidate = candidates_[path_[depth_]];
    --starts_[candidate.first_letter];
    if (candidate.member_count == 1) {
      --single_count_;
      for (std::size_t position = rank_positions_[depth_];
           position < single_count_; ++position) {
        path_ranks_[position] = path_ranks_[position + 1];
      }
    } else {
      --choice_count_;
    }
  }

  // The words that complete the path (ending in `after`) at `next`: those
  // that come no earlier than `after` and spell exactly what remains.
  std::pair<const std::uint32_t*, const std::uint32_t*> completions(
      const Level& next, std::uint32_t after) const {
    auto [begin, end] =
        classes_->find(next.remaining.without(alphabet_.guards));
    while (begin != end && *begin < after) ++begin;
    return {begin, end};
  }

  // Every solution that is the path plus exactly two words, for a `next`
  // level that can take no more. The first of the two holds the rarest
  // letter left, so it lies in the run of `level`'s list (from the path's
  // last word on) whose key is next.top; only that run is scanned.
  void emit_pairs(const Level& level, const Level& next) {
    const std::size_t first =
        first_with_key(level.position - 1, level.list_end, next.top);
    const std::size_t last =
        first_with_key(first, level.list_end, next.top + 1);
    // Nothing below adds to the lists, so the entries stay where they are.
    const ListEntry<N>* const entries = &lists_[0];
    for (std::size_t q = first; q < last && !stopped_; ++q) {
      const ListEntry<N>& entry = entries[q];
      if (entry.length >= next.total ||
          !alphabet_.fits(next.remaining, entry.counts)) {
        continue;
      }
      const Candidate<N>& candidate = candidates_[entry.word];
      const Level pair{0,
                       0,
                       0,
                       next.remaining - candidate.counts,
                       next.total - candidate.length,
                       next.patterns | candidate.patterns,
                       std::min(next.shortest, candidate.length),
                       0};
      auto [begin, end] = completions(pair, entry.word);
      if (begin == end) continue;
      push_word(entry.word);
      for (; begin != end && !stopped_; ++begin) emit_last_word(pair, *begin);
      pop_word();
    }
    count_steps(last - first + 1);
  }

  // How many one-letter words the letters of `remaining` could still make.
  std::uint64_t single_letter_words_left(const Packed<N>& remaining) const {
    std::uint64_t count = 0;
    for (const LetterField& field : single_letters_) {
      count += (remaining.words[field.word] >> field.shift) & field.mask;
    }
    return count;
  }

  // The first position in [begin, end) of the last list whose key is at least
  // `key`; keys do not decrease along a list.
  std::size_t first_with_key(std::size_t begin, std::size_t end,
                             std::uint32_t key) const {
    // Without branches: the answer stays in [begin, begin + length].
    std::size_t length = end - begin;
    while (length > 1) {
      const std::size_t half = length / 2;
      begin += lists_[begin + half - 1].key < key ? half : 0;
      length -= half;
    }
    return begin + (length == 1 && lists_[begin].key < key);
  }

  // The length of the shortest candidate that holds one of `letters`.
  std::uint64_t shortest_holding(const Packed<N>& letters) const {
    std::uint64_t shortest = kUnlimited;
    for (std::size_t i = 0; i < N; ++i) {
      for (std::uint64_t bits = letters.words[i]; bits != 0; bits &= bits - 1) {
        shortest = std::min(
            shortest, shortest_by_guard_[64 * i + std::countr_zero(bits)]);
      }
    }
    return shortest;
  }

  // Fills the list of `next` with the words from the path's last word on
  // that fit its letters and leave room for one more word, and tells whether
  // the level can still lead to a solution.
  bool build_level(const Level& level, Level* next) {
    // Words whose rarest letter is rarer than next->top hold a letter that is
    // used up: only the list from the first word keyed next->top can fit.
    const std::size_t first =
        first_with_key(level.position - 1, level.list_end, next->top);
    lists_.append_fitting(first, level.list_end, next->remaining,
                          alphabet_.guards, next->total - shortest_candidate_);
    count_steps(level.list_end - first + 1);
    if (lists_.size() == next->list_begin) return false;
    Packed<N> letters;
    std::uint64_t patterns = 0;
    std::uint32_t starts = 0;
    std::uint64_t longest = 0;
    for (std::size_t q = next->list_begin; q < lists_.size(); ++q) {
      const Candidate<N>& candidate = candidates_[lists_[q].word];
      letters |= candidate.letters;
      patterns |= candidate.patterns;
      starts |= 1u << candidate.first_letter;
      longest = std::max(longest, candidate.length);
    }
    if (alphabet_.letters_held(next->remaining).without(letters).any()) {
      return false;
    }
    if ((prepared_.all_patterns & ~next->patterns & ~patterns) != 0) {
      return false;
    }
    if ((unmet_starts() & ~starts) != 0) return false;
    const std::uint64_t words_left = prepared_.max_words - depth_;
    return (next->total + longest - 1) / longest <= words_left;
  }

  // The letters that the words on the path start with too rarely.
  std::uint32_t unmet_starts() const {
    std::uint32_t unmet = 0;
    for (std::uint32_t needed = prepared_.letters_needed_at_start; needed != 0;
         needed &= needed - 1) {
      const int letter = std::countr_zero(needed);
      if (starts_[letter] < prepared_.starts_needed[letter]) {
        unmet |= 1u << letter;
      }
    }
    return unmet;
  }

  // Records path + `word` as a solution when it meets the whole-solution
  // constraints; `level` holds what the path has met so far.
  void emit_last_word(const Level& level, std::uint32_t word) {
    const Candidate<N>& candidate = candidates_[word];
    if ((level.patterns | candidate.patterns) != prepared_.all_patterns) return;
    if (prepared_.letters_needed_at_start != 0) {
      ++starts_[candidate.first_letter];
      const bool met = unmet_starts() == 0;
      --starts_[candidate.first_letter];
      if (!met) return;
    }
    const std::uint64_t shortest = std::min(level.shortest, candidate.length);
    SolutionBuckets::Bucket& bucket = buckets_->bucket(depth_ + 1, shortest);
    if (choice_count_ == 0 && candidate.member_count == 1) {
      buckets_->add(bucket, path_ranks_.get(), depth_, candidate.rank);
      count_steps(1);
      if (++solutions_found_ >= prepared_.max_solutions) stopped_ = true;
      return;
    }
    emit_every_choice(word, bucket);
  }

  // Records every solution that the classes on the path and `last` stand
  // for: each place takes one member of its class, and the places of a class
  // that comes more than once take members in ascending order, so that each
  // multiset of words comes once. The choices before the last advance like
  // an odometer; for each of their settings the last one runs through its
  // members.
  void emit_every_choice(std::uint32_t last, SolutionBuckets::Bucket& bucket) {
    choices_.clear();
    auto add_choice = [&](std::uint32_t word) {
      const Candidate<N>& candidate = candidates_[word];
      const bool repeats = !choices_.empty() && choices_.back().word == word;
      choices_.push_back({member_ranks_.data() + candidate.members_begin,
                          candidate.member_count, word, 0, repeats});
    };
    for (std::size_t i = 0; i < choice_count_; ++i) {
      add_choice(choice_words_[i]);
    }
    // The ranks of the classes of one member, the last word's included.
    const std::uint32_t* fixed = path_ranks_.get();
    std::size_t fixed_count = single_count_;
    if (candidates_[last].member_count == 1) {
      const std::uint32_t& rank = candidates_[last].rank;
      std::merge(fixed, fixed + fixed_count, &rank, &rank + 1,
                 fixed_ranks_.get());
      fixed = fixed_ranks_.get();
      ++fixed_count;
    } else {
      add_choice(last);
    }
    const std::size_t outer = choices_.size() - 1;
    const Choice& innermost = choices_[outer];
    for (;;) {
      // The ranks of every place but the last choice, ascending.
      for (std::size_t i = 0; i < outer; ++i) {
        const std::uint32_t rank = choices_[i].members[choices_[i].chosen];
        std::size_t j = i;
        for (; j > 0 && chosen_ranks_[j - 1] > rank; --j) {
          chosen_ranks_[j] = chosen_ranks_[j - 1];
        }
        chosen_ranks_[j] = rank;
      }
      std::merge(fixed, fixed + fixed_count, chosen_ranks_.get(),
                 chosen_ranks_.get() + outer, other_ranks_.get());
      const std::uint32_t first =
          innermost.repeats ? choices_[outer - 1].chosen : 0;
      std::uint32_t member = first;
      for (; member < innermost.count && !stopped_; ++member) {
        buckets_->add(bucket, other_ranks_.get(), depth_,
                      innermost.members[member]);
        if (++solutions_found_ >= prepared_.max_solutions) stopped_ = true;
      }
      count_steps(member - first);
      if (stopped_) return;
      std::size_t i = outer;
      while (i > 0 && choices_[i - 1].chosen + 1 == choices_[i - 1].count) --i;
      if (i == 0) return;
      ++choices_[i - 1].chosen;
      for (; i < outer; ++i) {
        choices_[i].chosen = choices_[i].repeats ? choices_[i - 1].chosen : 0;
      }
    }
  }

  void count_steps(std::uint64_t steps) {
    if (!prepared_.timeout_seconds) return;
    steps_since_clock_ += steps;
    if (steps_since_clock_ < kStepsPerClockCheck) return;
    steps_since_clock_ = 0;
    const std::chrono::duration<double> elapsed = Clock::now() - start_time_;
    if (elapsed.count() > *prepared_.timeout_seconds) stopped_ = true;
  }

  PackedAlphabet<N> alphabet_;
  const PreparedConstraints& prepared_;
  Clock::time_point start_time_;
  std::vector<Candidate<N>> candidates_;
  std::shared_ptr<const AnagramClasses<N>> classes_;
  std::uint64_t shortest_candidate_ = 0;
  std::uint64_t longer_word_ = 0;  // the shortest candidate of 2+ letters
  // Where the count of each letter that is a word by itself lives.
  struct LetterField {
    std::size_t word;
    int shift;
    std::uint64_t mask;
  };
  std::vector<LetterField> single_letters_;
  ListStack<N> lists_;
  // The shortest candidate holding each letter, by the letter's priority
  // and by the position of its guard bit.
  std::array<std::uint64_t, kAlphabetSize> shortest_by_priority_{};
  std::array<std::uint64_t, 64 * N> shortest_by_guard_{};
  std::vector<Level> levels_;
  // The words on the path (candidates in search order) and their ranks,
  // each with room for one word per letter of the phrase.
  std::unique_ptr<std::uint32_t[]> path_;
  std::unique_ptr<std::uint32_t[]> path_ranks_;      // ascending, see push_word
  std::unique_ptr<std::uint32_t[]> rank_positions_;  // where each went in
  std::size_t depth_ = 0;
  std::array<std::uint64_t, kAlphabetSize> starts_{};
  // The path's classes of several members, in path order.
  std::unique_ptr<std::uint32_t[]> choice_words_;
  std::size_t choice_count_ = 0;
  std::size_t single_count_ = 0;  // ranks in path_ranks_
  std::unique_ptr<SolutionBuckets> buckets_;
  // Choosing the members of a combination's classes.
  struct Choice {
    const std::uint32_t* members;  // ranks, ascending
    std::uint32_t count;
    std::uint32_t word;  // the class
    std::uint32_t chosen;
    bool repeats;  // the same class as the choice before
  };
  std::vector<std::uint32_t> member_ranks_;  // by class, ascending
  // Room for one rank per word of the longest solution, each.
  std::unique_ptr<std::uint32_t[]> fixed_ranks_;  // of classes of one member
  std::vector<Choice> choices_;
  std::unique_ptr<std::uint32_t[]> chosen_ranks_;
  std::unique_ptr<std::uint32_t[]> other_ranks_;
  std::uint64_t solutions_found_ = 0;
  std::uint64_t steps_since_clock_ = 0;
  bool stopped_ = false;
};

template <std::size_t N>
SolutionList run_packed(const PackedLayout& layout,
                        std::vector<std::string> words,
                        const CharCounts& phrase,
                        const PreparedConstraints& prepared,
                        Clock::time_point start_time) {
  return FastSearch<N>(layout, prepared, start_time)
      .run(std::move(words), phrase);
}

// Walks the trie with the phrase's letters and returns, in ascending byte
// order, every word found that passes the per-word constraints.
std::vector<std::string> collect_words(const Trie& trie,
                                       const CharCounts& phrase,
                                       const SolverConstraints& constraints,
                                       std::uint64_t min_word_length) {
  std::vector<std::string> words;
  CharCounts available = phrase;
  std::string word;
  std::vector<NodeIndex> next_children{trie.root().first_child};
  while (!next_children.empty()) {
    const NodeIndex child = next_children.back();
    if (child == kNoNode) {
      next_children.pop_back();
      if (!word.empty()) {
        ++available[word.back() - 'a'];
        word.pop_back();
      }
      continue;
    }
    const TrieNode& node = trie.node(child);
    next_children.back() = node.next_sibling;
    const int letter = node.letter - 'a';
    if (available[letter] == 0) continue;
    if (word.empty() &&
        !constraints.allows_start(static_cast<char32_t>(node.letter)))
      continue;
    --available[letter];
    word.push_back(node.letter);
    next_children.push_back(node.first_child);
    if (node.is_word && word.size() >= min_word_length) words.push_back(word);
  }
  return words;
}

// The phrase's letters, the one held by the fewest words first.
std::array<std::uint32_t, kAlphabetSize> letters_by_rarity(
    const std::vector<std::string>& words) {
  std::array<std::size_t, kAlphabetSize> holders{};
  for (const std::string& word : words) {
    std::uint32_t letters = 0;
    for (char letter : word) letters |= 1u << (letter - 'a');
    for (; letters != 0; letters &= letters - 1) {
      ++holders[std::countr_zero(letters)];
    }
  }
  std::array<std::uint32_t, kAlphabetSize> order;
  for (std::uint32_t letter = 0; letter < kAlphabetSize; ++letter) {
    order[letter] = letter;
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t left, std::uint32_t right) {
                     return holders[left] < holders[right];
                   });
  return order;
}

}  // namespace

bool fast_search_handles(const SolverConstraints& constraints) {
  if (!constraints.contains_patterns) return true;
  std::set<std::string_view> distinct;
  for (const ProcessedPattern& pattern : *constraints.contains_patterns) {
    distinct.insert(pattern.text);
  }
  return distinct.size() <= kMaxPatterns;
}

SolutionList run_fast_search(const Trie& trie, const CharCounts& phrase_counts,
                             const SolverConstraints& constraints,
                             Clock::time_point start_time) {
  const PreparedConstraints prepared = prepare(constraints);
  if (prepared.impossible) return {};
  if (prepared.timeout_seconds) {
    const std::chrono::duration<double> elapsed = Clock::now() - start_time;
    if (elapsed.count() > *prepared.timeout_seconds) return {};
  }
  std::vector<std::string> words =
      collect_words(trie, phrase_counts, constraints, prepared.min_word_length);
  if (words.empty()) return {};
  const auto order = letters_by_rarity(words);
  const PackedLayout packed =
      PackedLayout::for_phrase(phrase_counts, order, false);
  switch (packed.words_used) {
    case 1:
      return run_packed<1>(packed, std::move(words), phrase_counts, prepared,
                           start_time);
    case 2:
      return run_packed<2>(packed, std::move(words), phrase_counts, prepared,
                           start_time);
    case 3:
    case 4:
      return run_packed<4>(packed, std::move(words), phrase_counts, prepared,
                           start_time);
    default:
      return run_packed<kAlphabetSize>(
          PackedLayout::for_phrase(phrase_counts, order, true),
          std::move(words), phrase_counts, prepared, start_time);
  }
}

}  // namespace vorpalyx
