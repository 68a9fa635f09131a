// ClassExpansion: every solution that a combination of word classes stands
// for.
//
// Each place of the combination takes one member of its class, and the
// places of a class that comes more than once take members in ascending
// order, so that each multiset of words comes once (in strictly ascending
// order when words must be distinct). The choices before the
// last advance like an odometer; for each of their settings the last one
// runs through its members, handed on as one run with the other ranks
// already merged in order, so that keys can be made along it.
//
// Invariant: the records of one combination are distinct multisets of word
// ranks, each passed as its other ranks ascending plus a last rank. Cost:
// per solution one step of a run; per setting of the outer choices, an
// insertion sort and a merge of the combination's ranks. Buffers hold one rank
// per word of the longest solution and are allocated once.
//
// Tested by tests/cpp/solver/fast_search_test.cc (classes expanded once per
// multiset) and the differential tests.

#ifndef VORPALYX_SOLVER_CLASS_EXPANSION_H_
#define VORPALYX_SOLVER_CLASS_EXPANSION_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "solver/search_stop.h"
#include "solver/solution_sink.h"

namespace vorpalyx {

// Merges the ascending ranks [a, a + a_count) and [b, b + b_count) into
// `out`. The lists are a solution's few words: a plain loop, where
// std::merge calls memmove for each tail.
inline void merge_ranks(const std::uint32_t* a, std::size_t a_count,
                        const std::uint32_t* b, std::size_t b_count,
                        std::uint32_t* out) {
  const std::uint32_t* const a_end = a + a_count;
  const std::uint32_t* const b_end = b + b_count;
  while (a != a_end && b != b_end) *out++ = *b < *a ? *b++ : *a++;
  while (a != a_end) *out++ = *a++;
  while (b != b_end) *out++ = *b++;
}

class ClassExpansion {
 public:
  // For solutions of up to `most_words` words.
  explicit ClassExpansion(std::size_t most_words)
      : fixed_ranks_(
            std::make_unique_for_overwrite<std::uint32_t[]>(most_words)),
        chosen_ranks_(
            std::make_unique_for_overwrite<std::uint32_t[]>(most_words)),
        other_ranks_(
            std::make_unique_for_overwrite<std::uint32_t[]>(most_words)) {
    choices_.reserve(most_words);
  }

  // Calls `record(other_ranks, count, last_ranks, last_count)` for the
  // solutions of `combination`, each run of last ranks ascending, counting
  // each solution on `stop` at `cost`, until `stop` says to end.
  // `classes[i]` gives class i's members_begin, member_count and first_rank;
  // members are listed in `member_ranks`. With `distinct`, a class comes
  // at most as often as it has members.
  template <typename Class, typename Record>
  void expand(const ClassCombination& combination, const Class* classes,
              const std::uint32_t* member_ranks, bool distinct,
              const SolutionCost& cost, SearchStop& stop, Record&& record) {
    choices_.clear();
    const std::uint32_t step = distinct ? 1 : 0;
    auto add_choice = [&](std::uint32_t class_index) {
      const Class& word_class = classes[class_index];
      const bool repeats =
          !choices_.empty() && choices_.back().class_index == class_index;
      // With distinct members, each earlier place of a run leaves one
      // member for every later place.
      if (repeats && distinct) {
        for (std::size_t i = choices_.size(); i > 0; --i) {
          Choice& earlier = choices_[i - 1];
          if (earlier.class_index != class_index) break;
          --earlier.limit;
        }
      }
      const std::uint32_t chosen = repeats ? choices_.back().chosen + step : 0;
      choices_.push_back({member_ranks + word_class.members_begin,
                          word_class.member_count, word_class.member_count,
                          class_index, chosen, repeats});
    };
    for (std::size_t i = 0; i < combination.choice_count; ++i) {
      add_choice(combination.choice_classes[i]);
    }
    // The ranks of the classes of one member, the last word's included.
    const std::uint32_t* fixed = combination.single_ranks;
    std::size_t fixed_count = combination.single_count;
    const Class& last = classes[combination.last_class];
    if (last.member_count == 1) {
      merge_ranks(fixed, fixed_count, &last.first_rank, 1, fixed_ranks_.get());
      fixed = fixed_ranks_.get();
      ++fixed_count;
    } else {
      add_choice(combination.last_class);
    }
    const std::size_t others = combination.word_count - 1;
    const std::size_t outer = choices_.size() - 1;
    const Choice& innermost = choices_[outer];
    for (;;) {
      // The ranks of every place but the last choice, ascending; with one
      // choice (the common case), the fixed ranks themselves.
      const std::uint32_t* other_ranks = fixed;
      for (std::size_t i = 0; i < outer; ++i) {
        const std::uint32_t rank = choices_[i].members[choices_[i].chosen];
        std::size_t j = i;
        for (; j > 0 && chosen_ranks_[j - 1] > rank; --j) {
          chosen_ranks_[j] = chosen_ranks_[j - 1];
        }
        chosen_ranks_[j] = rank;
      }
      if (outer != 0) {
        merge_ranks(fixed, fixed_count, chosen_ranks_.get(), outer,
                    other_ranks_.get());
        other_ranks = other_ranks_.get();
      }
      const std::uint32_t first =
          innermost.repeats ? choices_[outer - 1].chosen + step : 0;
      const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(
          innermost.count - first, stop.solutions_left()));
      record(other_ranks, others, innermost.members + first, taken);
      stop.count_solutions(taken, cost);
      stop.count_steps(taken);
      if (stop.stopped()) return;
      std::size_t i = outer;
      while (i > 0 && choices_[i - 1].chosen + 1 == choices_[i - 1].limit) --i;
      if (i == 0) return;
      ++choices_[i - 1].chosen;
      for (; i < outer; ++i) {
        choices_[i].chosen =
            choices_[i].repeats ? choices_[i - 1].chosen + step : 0;
      }
    }
  }

 private:
  struct Choice {
    const std::uint32_t* members;  // word ranks, ascending
    std::uint32_t count;
    std::uint32_t limit;  // one past the last member this place may take
    std::uint32_t class_index;
    std::uint32_t chosen;
    bool repeats;  // the same class as the choice before
  };

  std::unique_ptr<std::uint32_t[]> fixed_ranks_;  // of classes of one member
  std::vector<Choice> choices_;
  std::unique_ptr<std::uint32_t[]> chosen_ranks_;
  std::unique_ptr<std::uint32_t[]> other_ranks_;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_CLASS_EXPANSION_H_
