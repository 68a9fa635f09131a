// FastWalker: the walk of the fast search over combinations of word
// classes, and the first-level branches that two walkers share.
//
// A walker keeps its own stack of levels (level_lists.h) instead of
// recursing, so deep solutions cannot exhaust the native stack. Each level
// branches only on the classes that hold the rarest letter left; the last
// word comes from one lookup of the letters left (completion_index.h) and
// the last two from a lookup per class of the run that can start them. Each
// combination that meets the whole-solution constraints goes to the sink
// (solution_sink.h). With a SharedRoot, walkers on two threads take
// first-level branches from one queue.
//
// Invariant: every combination of classes that spells the phrase is handed
// on exactly once, its classes in search order. Cost: see fast_search.h.
//
// Tested by tests/cpp/solver/fast_search_test.cc, the tests of both
// searches against each other and against a brute force, and the
// differential fuzzer.

#ifndef VORPALYX_SOLVER_FAST_WALKER_H_
#define VORPALYX_SOLVER_FAST_WALKER_H_

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/level_lists.h"
#include "solver/packed_counts.h"
#include "solver/prepared_constraints.h"
#include "solver/search_stop.h"
#include "solver/search_tables.h"
#include "solver/solution_sink.h"
#include "solver/word_classes.h"

namespace vorpalyx {

// The branches of the first level, handed out one at a time to the walkers
// (the first and, once the search has run for a while, a second one on
// another thread).
struct SharedRoot {
  // The positions of the branches in the root list (the classes holding the
  // rarest letter), the shortest first: a shorter first word leaves more to
  // search, so the longest-running branches go first. Each branch stands
  // alone, so any order will do.
  std::vector<std::uint32_t> order;
  std::atomic<std::size_t> next{0};
  std::function<void()> offer_help;  // called by the first walker
};

// Walks the combinations of classes of `tables` that spell the phrase and
// hands each to `sink`.
template <std::size_t N, typename Sink>
class FastWalker {
 public:
  FastWalker(const SearchTables<N>& tables, Sink& sink, SearchStop stop)
      : tables_(tables),
        classes_(tables.word_classes.classes.data()),
        sink_(sink),
        stop_(stop),
        alphabet_(tables.alphabet),
        max_words_(tables.prepared.max_words),
        all_patterns_(tables.prepared.all_patterns),
        shortest_class_length_(tables.shortest_class_length),
        longer_word_(tables.longer_word),
        letters_needed_at_start_(tables.prepared.letters_needed_at_start),
        pattern_words_(tables.word_classes.pattern_words),
        shaped_(tables.prepared.shapes_combinations()),
        distinct_(tables.prepared.distinct),
        min_words_(tables.prepared.min_words),
        lengths_left_(tables.prepared.words_of_length),
        held_patterns_(tables.word_classes.pattern_words) {}

  const SearchStop& stop() const { return stop_; }
  void share(SharedProgress* progress) { stop_.share(progress); }

  // Walks every combination of `phrase`; with `shared_root`, only the
  // first-level branches that this walker takes from it (and, for the first
  // walker, the one-word solutions).
  void walk(const CharCounts& phrase, SharedRoot* shared_root,
            bool first_walker) {
    const std::size_t most_words = phrase.total() + 1;
    path_classes_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    single_ranks_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    rank_positions_ =
        std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    choice_classes_ =
        std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    runs_ = std::make_unique_for_overwrite<std::uint32_t[]>(most_words);
    fitting_ = std::make_unique_for_overwrite<std::uint32_t[]>(
        tables_.word_classes.classes.size());
    const PackedAlphabet<N>& alphabet = tables_.alphabet;
    const Packed<N> packed_phrase = alphabet.pack(phrase);
    const std::size_t class_count = tables_.word_classes.classes.size();
    Level root{
        .list_begin = 0,
        .list_end = class_count,
        .position = 0,
        .remaining = packed_phrase,
        .total = phrase.total(),
        .patterns = 0,
        .shortest = kUnlimited,
        .top = 0,
    };
    root.remaining |= alphabet.guards;
    root.top = alphabet.rarest(alphabet.letters_held(root.remaining));

    // One-word solutions.
    auto [begin, end] = tables_.completions.find(packed_phrase);
    for (; begin != end && first_walker && !stop_.stopped(); ++begin) {
      take_last_word(root, *begin);
    }
    if (max_words_ < 2 || stop_.stopped()) return;

    for (std::uint32_t i = 0; i < class_count; ++i) {
      lists_.push_back({
          .counts = classes_[i].counts,
          .class_index = i,
          .length = static_cast<std::uint16_t>(
              std::min<std::uint64_t>(classes_[i].length, UINT16_MAX)),
          .key = static_cast<std::uint8_t>(classes_[i].key),
      });
    }
    push_level(root);
    while (!levels_.empty() && !stop_.stopped()) {
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
        key_starts_.pop_back();
        if (depth_ != 0) pop_class();
        continue;
      }
      const std::uint32_t class_index = lists_[level.position++].class_index;
      if (classes_[class_index].key != level.top) {
        level.position = level.list_end;
        continue;
      }
      extend(level, class_index);
    }
  }

 private:
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

  // Tries `class_index` as the next class of the path at `level`: every
  // combination that continues with it and one more class, then (as a new
  // level) those with two or more.
  void extend(const Level& level, std::uint32_t class_index) {
    const WordClass<N>& word_class = classes_[class_index];
    stop_.count_steps(1);
    const std::uint64_t total = level.total - word_class.length;
    if (total < shortest_class_length_) return;
    const Packed<N> remaining = level.remaining - word_class.counts;
    if (shaped_ &&
        (!may_take(class_index) ||
         (min_words_ > depth_ + 1 &&
          min_words_ > depth_ + 1 + most_words_in(remaining, total)))) {
      return;
    }
    const std::uint64_t words_left = max_words_ - depth_ - 1;

    Level next{
        .list_begin = lists_.size(),
        .list_end = lists_.size(),
        .position = lists_.size(),
        .remaining = remaining,
        .total = total,
        .patterns = level.patterns | word_class.patterns,
        .shortest = std::min(level.shortest, word_class.length),
        .top = 0,
    };
    enum class More { kNothing, kPairs, kLevel } more = More::kNothing;
    if (words_left >= 2) {
      // The next word holds the rarest letter left; every word is at least
      // as long as the shortest word holding one of the letters left.
      const Packed<N> held = alphabet_.letters_held(remaining);
      next.top = alphabet_.rarest(held);
      const std::uint64_t next_word = tables_.shortest_by_priority[next.top];
      const std::uint64_t any_word = tables_.shortest_holding(held);
      // Words of one letter are few: beyond as many of them as the letters
      // left allow, every further word has at least `longer_word` letters.
      const std::uint64_t singles = tables_.single_letter_words_left(remaining);
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
    auto [begin, end] = completions(next, class_index);
    if (begin == end && more == More::kNothing) return;

    push_class(class_index);
    for (; begin != end && !stop_.stopped(); ++begin) {
      take_last_word(next, *begin);
    }
    if (!stop_.stopped()) {
      if (more == More::kLevel && build_level(level, &next)) {
        next.list_end = lists_.size();
        push_level(next);
        return;
      }
      if (more == More::kPairs) take_pairs(level, next);
    }
    lists_.resize_down(next.list_begin);
    pop_class();
  }

  // The ranks of the path's classes of one member are kept sorted, so that
  // a combination only merges in its last word; classes of several members
  // are listed apart, for the sink to expand.
  void push_class(std::uint32_t class_index) {
    const WordClass<N>& word_class = classes_[class_index];
    if (word_class.member_count == 1) {
      std::size_t position = single_count_;
      for (;
           position > 0 && single_ranks_[position - 1] > word_class.first_rank;
           --position) {
        single_ranks_[position] = single_ranks_[position - 1];
      }
      single_ranks_[position] = word_class.first_rank;
      rank_positions_[depth_] = static_cast<std::uint32_t>(position);
      ++single_count_;
    } else {
      choice_classes_[choice_count_++] = class_index;
    }
    if (distinct_) {
      runs_[depth_] = depth_ != 0 && path_classes_[depth_ - 1] == class_index
                          ? runs_[depth_ - 1] + 1
                          : 1;
    }
    path_classes_[depth_] = class_index;
    ++depth_;
    ++starts_[word_class.first_letter];
    if (!lengths_left_.empty()) --lengths_left_[word_class.length];
  }

  void pop_class() {
    --depth_;
    const WordClass<N>& word_class = classes_[path_classes_[depth_]];
    --starts_[word_class.first_letter];
    if (!lengths_left_.empty()) ++lengths_left_[word_class.length];
    if (word_class.member_count == 1) {
      --single_count_;
      for (std::size_t position = rank_positions_[depth_];
           position < single_count_; ++position) {
        single_ranks_[position] = single_ranks_[position + 1];
      }
    } else {
      --choice_count_;
    }
  }

  // The classes that complete the path (ending in `after`) at `next`: those
  // that come no earlier than `after` and spell exactly what remains.
  std::pair<const std::uint32_t*, const std::uint32_t*> completions(
      const Level& next, std::uint32_t after) const {
    auto [begin, end] =
        tables_.completions.find(next.remaining.without(alphabet_.guards));
    while (begin != end && *begin < after) ++begin;
    return {begin, end};
  }

  // Every combination that is the path plus exactly two classes, for a
  // `next` level that can take no more. The first of the two holds the
  // rarest letter left, so it lies in the run of `level`'s list (from the
  // path's last class on) whose key is next.top; only that run is scanned.
  void take_pairs(const Level& level, const Level& next) {
    const std::size_t first = first_with_key(last_class_on(level), next.top);
    const std::size_t last = first_with_key(first, next.top + 1);
    // Nothing below adds to the lists, so the entries stay where they are.
    const LevelEntry<N>* const entries = &lists_[0];
    // The entries that fit and may leave a class's letters, gathered
    // without branches: whether one fits is near a coin toss, which a branch
    // would often mispredict.
    std::uint32_t* const fitting = fitting_.get();
    std::size_t fitting_count = 0;
    for (std::size_t q = first; q < last; ++q) {
      const LevelEntry<N>& entry = entries[q];
      const unsigned keep =
          static_cast<unsigned>(entry.length < next.total) &
          static_cast<unsigned>(alphabet_.fits(next.remaining, entry.counts)) &
          static_cast<unsigned>(tables_.completions.may_hold(
              (next.remaining - entry.counts).without(alphabet_.guards)));
      fitting[fitting_count] = static_cast<std::uint32_t>(q);
      fitting_count += keep;
    }
    for (std::size_t j = 0; j < fitting_count && !stop_.stopped(); ++j) {
      const LevelEntry<N>& entry = entries[fitting[j]];
      if (shaped_ && !may_take(entry.class_index)) continue;
      const WordClass<N>& word_class = classes_[entry.class_index];
      const Level pair{
          .list_begin = 0,
          .list_end = 0,
          .position = 0,
          .remaining = next.remaining - word_class.counts,
          .total = next.total - word_class.length,
          .patterns = next.patterns | word_class.patterns,
          .shortest = std::min(next.shortest, word_class.length),
          .top = 0,
      };
      auto [begin, end] = completions(pair, entry.class_index);
      if (begin == end) continue;
      push_class(entry.class_index);
      for (; begin != end && !stop_.stopped(); ++begin) {
        take_last_word(pair, *begin);
      }
      pop_class();
    }
    stop_.count_steps(last - first + 1);
  }

  // Fills the list of `next` with the classes from the path's last class on
  // that fit its letters and leave room for one more word, and tells whether
  // the level can still lead to a solution.
  bool build_level(const Level& level, Level* next) {
    // Classes whose rarest letter is rarer than next->top hold a letter that
    // is used up: only the list from the first class keyed next->top fits.
    const std::size_t first = first_with_key(last_class_on(level), next->top);
    lists_.append_fitting(first, level.list_end, next->remaining,
                          alphabet_.guards,
                          next->total - shortest_class_length_);
    stop_.count_steps(level.list_end - first + 1);
    if (lists_.size() == next->list_begin) return false;
    Packed<N> letters;
    std::uint64_t patterns = 0;
    std::uint32_t starts = 0;
    std::uint64_t longest = 0;
    for (std::size_t q = next->list_begin; q < lists_.size(); ++q) {
      const WordClass<N>& word_class = classes_[lists_[q].class_index];
      letters |= word_class.letters;
      patterns |= word_class.patterns;
      starts |= 1u << word_class.first_letter;
      longest = std::max(longest, word_class.length);
    }
    if (alphabet_.letters_held(next->remaining).without(letters).any()) {
      return false;
    }
    if ((all_patterns_ & ~next->patterns & ~patterns) != 0) {
      return false;
    }
    if ((unmet_starts() & ~starts) != 0) return false;
    const std::uint64_t words_left = max_words_ - depth_;
    return (next->total + longest - 1) / longest <= words_left;
  }

  // Makes `level` the top of the stack, with where each key's run begins in
  // its list.
  void push_level(const Level& level) {
    KeyStarts& starts = key_starts_.emplace_back();
    std::size_t key = 0;
    for (std::size_t q = level.list_begin; q < level.list_end; ++q) {
      for (const std::size_t entry_key = lists_[q].key; key <= entry_key;
           ++key) {
        starts[key] = static_cast<std::uint32_t>(q);
      }
    }
    for (; key < starts.size(); ++key) {
      starts[key] = static_cast<std::uint32_t>(level.list_end);
    }
    levels_.push_back(level);
  }

  // The first position from `begin` (in the list of the level on top) whose
  // key is at least `key`: keys ascend along a list.
  std::size_t first_with_key(std::size_t begin, std::uint32_t key) const {
    return std::max<std::size_t>(begin, key_starts_.back()[key]);
  }

  // The most words that `total` letters, `remaining`, can still make: as
  // many one-letter words as they allow, the rest at least `longer_word_`
  // letters each.
  std::uint64_t most_words_in(const Packed<N>& remaining,
                              std::uint64_t total) const {
    const std::uint64_t singles =
        std::min(total, tables_.single_letter_words_left(remaining));
    return singles + (total - singles) / longer_word_;
  }

  // Where the next word's classes begin in `level`'s list: at the path's
  // last class, or after it when distinct words have used up its members.
  std::size_t last_class_on(const Level& level) const {
    const std::size_t last = level.position - 1;
    if (!distinct_) return last;
    const std::uint32_t class_index = path_classes_[depth_ - 1];
    return runs_[depth_ - 1] < classes_[class_index].member_count ? last
                                                                  : last + 1;
  }

  // Whether the path may take one more word of `class_index`: its length is
  // still wanted and, with distinct words, its class has a member left.
  bool may_take(std::uint32_t class_index) const {
    const WordClass<N>& word_class = classes_[class_index];
    if (!lengths_left_.empty() && lengths_left_[word_class.length] == 0) {
      return false;
    }
    return !distinct_ || depth_ == 0 ||
           path_classes_[depth_ - 1] != class_index ||
           runs_[depth_ - 1] < word_class.member_count;
  }

  // The letters that the words on the path start with too rarely.
  std::uint32_t unmet_starts() const {
    const PreparedConstraints& prepared = tables_.prepared;
    std::uint32_t unmet = 0;
    for (std::uint32_t needed = prepared.letters_needed_at_start; needed != 0;
         needed &= needed - 1) {
      const int letter = std::countr_zero(needed);
      if (starts_[letter] < prepared.starts_needed[letter]) {
        unmet |= 1u << letter;
      }
    }
    return unmet;
  }

  // With more patterns than are tracked: whether the path and `last` hold
  // every one of them.
  bool path_holds_every_pattern(std::uint32_t last) {
    std::fill(held_patterns_.begin(), held_patterns_.end(), 0);
    for (std::size_t depth = 0; depth < depth_; ++depth) {
      tables_.holds_more(held_patterns_.data(), path_classes_[depth]);
    }
    tables_.holds_more(held_patterns_.data(), last);
    return tables_.holds_every_pattern(held_patterns_.data());
  }

  // Hands path + `class_index` to the sink when it meets the whole-solution
  // constraints; `level` holds what the path has met so far.
  void take_last_word(const Level& level, std::uint32_t class_index) {
    const WordClass<N>& word_class = classes_[class_index];
    if ((level.patterns | word_class.patterns) != all_patterns_) return;
    if (shaped_ && (depth_ + 1 < min_words_ || !may_take(class_index))) return;
    if (pattern_words_ != 0 && !path_holds_every_pattern(class_index)) {
      return;
    }
    if (letters_needed_at_start_ != 0) {
      ++starts_[word_class.first_letter];
      const bool met = unmet_starts() == 0;
      --starts_[word_class.first_letter];
      if (!met) return;
    }
    sink_.take(
        {
            .word_count = depth_ + 1,
            .shortest = std::min(level.shortest, word_class.length),
            .single_ranks = single_ranks_.get(),
            .single_count = single_count_,
            .choice_classes = choice_classes_.get(),
            .choice_count = choice_count_,
            .last_class = class_index,
        },
        stop_);
  }

  const SearchTables<N>& tables_;
  const WordClass<N>* const classes_;  // tables_'s, by class_index
  Sink& sink_;
  SearchStop stop_;
  // Copies of what every step reads, kept beside the walk's own state.
  const PackedAlphabet<N> alphabet_;
  const std::uint64_t max_words_;
  const std::uint64_t all_patterns_;
  const std::uint64_t shortest_class_length_;
  const std::uint64_t longer_word_;
  const std::uint32_t letters_needed_at_start_;
  const std::size_t pattern_words_;
  // The constraints on a solution's shape: word count, lengths, repeats.
  const bool shaped_;
  const bool distinct_;
  const std::uint64_t min_words_;
  std::vector<std::uint32_t> lengths_left_;  // by length; empty: any
  LevelLists<N> lists_;
  std::vector<Level> levels_;
  // By level, as levels_: the first position of its list whose key is at
  // least k, for each k up to one past the last priority.
  using KeyStarts = std::array<std::uint32_t, kAlphabetSize + 1>;
  std::vector<KeyStarts> key_starts_;
  // The classes on the path, in path order, each array with room for one
  // word per letter of the phrase.
  std::unique_ptr<std::uint32_t[]> path_classes_;
  // How many times in a row the path's class at each depth comes there.
  std::unique_ptr<std::uint32_t[]> runs_;
  std::size_t depth_ = 0;
  // The word ranks of the path's classes of one member, ascending, and
  // where each went in (by depth).
  std::unique_ptr<std::uint32_t[]> single_ranks_;
  std::unique_ptr<std::uint32_t[]> rank_positions_;
  std::size_t single_count_ = 0;
  // The path's classes of several members, in path order.
  std::unique_ptr<std::uint32_t[]> choice_classes_;
  std::size_t choice_count_ = 0;
  // Room for one run of a level's list, for take_pairs.
  std::unique_ptr<std::uint32_t[]> fitting_;
  std::array<std::uint64_t, kAlphabetSize> starts_{};
  std::vector<std::uint64_t> held_patterns_;  // see path_holds_every_pattern
};

// The first-level branches, for walkers to share.
template <std::size_t N>
std::vector<std::uint32_t> root_branches(const SearchTables<N>& tables,
                                         const CharCounts& phrase) {
  const PackedAlphabet<N>& alphabet = tables.alphabet;
  Packed<N> remaining = alphabet.pack(phrase);
  remaining |= alphabet.guards;
  const std::uint32_t top = alphabet.rarest(alphabet.letters_held(remaining));
  const std::vector<WordClass<N>>& classes = tables.word_classes.classes;
  std::vector<std::uint32_t> order;
  for (std::uint32_t position = 0;
       position < classes.size() && classes[position].key == top; ++position) {
    order.push_back(position);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t left, std::uint32_t right) {
                     return classes[left].length < classes[right].length;
                   });
  return order;
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_FAST_WALKER_H_
