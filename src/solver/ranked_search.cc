#include "solver/ranked_search.h"

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>

#include "solver/candidate_packing.h"
#include "solver/completion_index.h"
#include "solver/memory_budget.h"
#include "solver/packed_counts.h"
#include "solver/search_stop.h"
#include "solver/spellings.h"
#include "solver/word_classes.h"

namespace vorpalyx {
namespace {

using Clock = std::chrono::steady_clock;

// Far below any score, and safe to add weights to.
constexpr std::int64_t kNoSum = std::numeric_limits<std::int64_t>::min() / 4;

struct Candidate {
  std::int64_t score;
  std::uint64_t word_count;
  std::uint64_t shortest;
  std::vector<std::uint32_t> ranks;  // ascending
};

// Score order; on equal scores, result order (ranks are in byte order).
bool better(std::int64_t score, std::uint64_t word_count,
            std::uint64_t shortest, const std::uint32_t* ranks,
            const Candidate& other) {
  if (score != other.score) return score > other.score;
  if (word_count != other.word_count) return word_count < other.word_count;
  if (shortest != other.shortest) return shortest > other.shortest;
  return std::lexicographical_compare(ranks, ranks + word_count,
                                      other.ranks.begin(), other.ranks.end());
}

// The k best solutions so far, in a heap whose front is the worst of them.
class BestSoFar {
 public:
  explicit BestSoFar(std::uint64_t k) : k_(k) {}

  // Whether a solution scoring at most `score`, with at least `word_count`
  // words, could still enter.
  bool could_enter(std::int64_t score, std::uint64_t word_count) const {
    if (heap_.size() < k_) return true;
    const Candidate& worst = heap_.front();
    return score > worst.score ||
           (score == worst.score && word_count <= worst.word_count);
  }

  void offer(std::int64_t score, std::uint64_t word_count,
             std::uint64_t shortest, const std::uint32_t* ranks) {
    if (heap_.size() == k_) {
      if (!better(score, word_count, shortest, ranks, heap_.front())) return;
      std::pop_heap(heap_.begin(), heap_.end(), order);
      heap_.pop_back();
    }
    heap_.push_back({score, word_count, shortest,
                     std::vector<std::uint32_t>(ranks, ranks + word_count)});
    std::push_heap(heap_.begin(), heap_.end(), order);
  }

  std::vector<Candidate> take_best_first() {
    std::sort_heap(heap_.begin(), heap_.end(), order);
    return std::move(heap_);
  }

 private:
  static bool order(const Candidate& left, const Candidate& right) {
    return better(left.score, left.word_count, left.shortest, left.ranks.data(),
                  right);
  }

  std::uint64_t k_;
  std::vector<Candidate> heap_;
};

template <std::size_t N>
class RankedWalker {
 public:
  RankedWalker(const PackedLayout& layout,
               const std::vector<std::string>& words,
               const std::vector<std::int32_t>& word_weights,
               const PreparedConstraints& prepared, SearchStop& stop,
               BestSoFar& best)
      : alphabet_(layout),
        prepared_(prepared),
        stop_(stop),
        best_(best),
        grouped_(in_ranked_order(
            group_into_classes(words, alphabet_, prepared.patterns,
                               prepared.letters_needed_at_start != 0,
                               &word_weights),
            word_weights)),
        classes_(grouped_.classes),
        completions_(classes_),
        lengths_left_(prepared.words_of_length) {
    for (const WordClass<N>& word_class : classes_) {
      weights_.push_back(word_weights[word_class.first_rank]);
    }
    std::size_t position = 0;
    for (std::uint32_t key = 0; key <= kAlphabetSize; ++key) {
      while (position < classes_.size() && classes_[position].key < key) {
        ++position;
      }
      key_begin_[key] = static_cast<std::uint32_t>(position);
    }
  }

  void walk(const CharCounts& phrase) {
    if (classes_.empty()) return;
    best_by_letters_left_ = best_sums_by_length(phrase.total());
    // With word lengths given, the words left weigh at most the heaviest
    // class of each length still wanted; a length that no class has leaves
    // nothing to find.
    for (std::uint64_t length = 0; length < lengths_left_.size(); ++length) {
      if (lengths_left_[length] == 0) continue;
      if (length >= best_of_length_.size() ||
          best_of_length_[length] == kNoSum) {
        return;
      }
      lengths_bound_ += lengths_left_[length] * best_of_length_[length];
    }
    shortest_length_ = classes_[0].length;
    for (const WordClass<N>& word_class : classes_) {
      shortest_length_ = std::min(shortest_length_, word_class.length);
    }
    Frame root{
        .remaining = alphabet_.pack(phrase),
        .total = phrase.total(),
        .score = 0,
        .patterns = 0,
        .shortest = kUnlimited,
    };
    root.remaining |= alphabet_.guards;
    if (!set_range(&root, 0)) return;
    frames_.push_back(root);
    while (!frames_.empty() && !stop_.stopped()) {
      Frame& frame = frames_.back();
      if (frame.position == frame.end) {
        frames_.pop_back();
        if (!path_.empty()) pop_class();
        continue;
      }
      const std::uint32_t class_index = frame.position++;
      stop_.count_steps(1);
      const std::uint64_t depth = path_.size();
      const WordClass<N>& word_class = classes_[class_index];
      const std::int64_t score = frame.score + weights_[class_index];
      if (!best_.could_enter(score, depth + 1)) {
        frame.position = frame.end;  // the later classes weigh no more
        continue;
      }
      if (!may_take(class_index) || word_class.length > frame.total ||
          !alphabet_.fits(frame.remaining, word_class.counts)) {
        continue;
      }
      if (word_class.length == frame.total) {
        take_solution(frame, class_index, score);
        continue;
      }
      const std::uint64_t total = frame.total - word_class.length;
      if (depth + 2 > prepared_.max_words || total < shortest_length_ ||
          depth + 1 + total / shortest_length_ < prepared_.min_words ||
          !best_.could_enter(score + best_left(total, word_class.length),
                             depth + 2)) {
        continue;
      }
      Frame next{
          .remaining = frame.remaining - word_class.counts,
          .total = total,
          .score = score,
          .patterns = frame.patterns | word_class.patterns,
          .shortest = std::min(frame.shortest, word_class.length),
      };
      push_class(class_index);
      if (depth + 3 > prepared_.max_words) {
        // Only a last word can follow: the classes that spell the rest.
        auto [begin, end] =
            completions_.find(next.remaining.without(alphabet_.guards));
        for (; begin != end && !stop_.stopped(); ++begin) {
          if (*begin < class_index || !may_take(*begin)) continue;
          stop_.count_steps(1);
          const std::int64_t final_score = score + weights_[*begin];
          if (best_.could_enter(final_score, depth + 2)) {
            take_solution(next, *begin, final_score);
          }
        }
        pop_class();
      } else if (set_range(&next, class_index)) {
        frames_.push_back(next);  // `frame` is not used past here
      } else {
        pop_class();
      }
    }
  }

 private:
  struct Frame {
    Packed<N> remaining;  // with guard bits
    std::uint64_t total;
    std::int64_t score;
    std::uint64_t patterns;  // met by the words on the path
    std::uint64_t shortest;  // shortest word on the path
    // The classes still to try as the next word.
    std::uint32_t position = 0;
    std::uint32_t end = 0;
  };

  // The classes by the priority of their rarest letter, then heaviest
  // first, then by first member. The canonical order of a combination needs
  // only the first: the next word holds the rarest letter left.
  static WordClasses<N> in_ranked_order(
      WordClasses<N> grouped, const std::vector<std::int32_t>& word_weights) {
    const std::vector<WordClass<N>>& classes = grouped.classes;
    std::vector<std::uint32_t> order(classes.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t left, std::uint32_t right) {
                const WordClass<N>& one = classes[left];
                const WordClass<N>& other = classes[right];
                const std::int32_t one_weight = word_weights[one.first_rank];
                const std::int32_t other_weight =
                    word_weights[other.first_rank];
                return std::tie(one.key, other_weight, one.first_rank) <
                       std::tie(other.key, one_weight, other.first_rank);
              });
    std::vector<WordClass<N>> ordered;
    ordered.reserve(classes.size());
    std::vector<std::uint64_t> rows;
    for (std::uint32_t index : order) {
      ordered.push_back(classes[index]);
      const std::uint64_t* row = grouped.patterns_of(index);
      rows.insert(rows.end(), row, row + grouped.pattern_words);
    }
    grouped.classes = std::move(ordered);
    grouped.class_patterns = std::move(rows);
    return grouped;
  }

  // The best sum of weights that words of the candidate classes can add
  // for each count of letters left, from 0 to `most`, ignoring which
  // letters they are: kNoSum where no lengths add up to it. Keeps the
  // heaviest class of each length in best_of_length_.
  std::vector<std::int64_t> best_sums_by_length(std::uint64_t most) {
    std::vector<std::int64_t>& best_of_length = best_of_length_;
    best_of_length.assign(most + 1, kNoSum);
    for (std::uint32_t i = 0; i < classes_.size(); ++i) {
      const std::uint64_t length = classes_[i].length;
      if (length <= most) {
        best_of_length[length] = std::max(best_of_length[length], weights_[i]);
      }
    }
    std::vector<std::uint64_t> lengths;
    for (std::uint64_t length = 1; length <= most; ++length) {
      if (best_of_length[length] != kNoSum) lengths.push_back(length);
    }
    std::vector<std::int64_t> sums(most + 1, kNoSum);
    sums[0] = 0;
    for (std::uint64_t total = 1; total <= most; ++total) {
      for (std::uint64_t length : lengths) {
        if (length > total) break;
        if (sums[total - length] == kNoSum) continue;
        sums[total] = std::max(sums[total],
                               sums[total - length] + best_of_length[length]);
      }
    }
    return sums;
  }

  // The most that the words after one more of `length` letters can weigh,
  // `total` letters being left after it.
  std::int64_t best_left(std::uint64_t total, std::uint64_t length) const {
    if (lengths_left_.empty()) return best_by_letters_left_[total];
    return std::min(best_by_letters_left_[total],
                    lengths_bound_ - best_of_length_[length]);
  }

  // The classes to try after `last` at `frame`: those from `last` on whose
  // rarest letter is the rarest letter left. False when there are none.
  bool set_range(Frame* frame, std::uint32_t last) const {
    const std::uint32_t top =
        alphabet_.rarest(alphabet_.letters_held(frame->remaining));
    frame->position = std::max(last, key_begin_[top]);
    frame->end = key_begin_[top + 1];
    return frame->position < frame->end;
  }

  // Whether the path may take one more word of `class_index`: of a length
  // still wanted, and with distinct words, only while its class has a member
  // left. The path is in class order, so a class's places on it end it.
  bool may_take(std::uint32_t class_index) const {
    if (!lengths_left_.empty() &&
        lengths_left_[classes_[class_index].length] == 0) {
      return false;
    }
    if (!prepared_.distinct) return true;
    std::uint32_t taken = 0;
    for (std::size_t i = path_.size(); i > 0 && path_[i - 1] == class_index;
         --i) {
      ++taken;
    }
    return taken < classes_[class_index].member_count;
  }

  void push_class(std::uint32_t class_index) {
    path_.push_back(class_index);
    const WordClass<N>& word_class = classes_[class_index];
    ++starts_[word_class.first_letter];
    if (!lengths_left_.empty()) {
      --lengths_left_[word_class.length];
      lengths_bound_ -= best_of_length_[word_class.length];
    }
  }

  void pop_class() {
    const WordClass<N>& word_class = classes_[path_.back()];
    --starts_[word_class.first_letter];
    if (!lengths_left_.empty()) {
      ++lengths_left_[word_class.length];
      lengths_bound_ += best_of_length_[word_class.length];
    }
    path_.pop_back();
  }

  bool starts_met() const {
    for (std::uint32_t needed = prepared_.letters_needed_at_start; needed != 0;
         needed &= needed - 1) {
      const int letter = std::countr_zero(needed);
      if (starts_[letter] < prepared_.starts_needed[letter]) return false;
    }
    return true;
  }

  bool every_pattern_held(std::uint32_t last) {
    held_.assign(grouped_.pattern_words, 0);
    auto hold = [&](std::uint32_t class_index) {
      const std::uint64_t* row = grouped_.patterns_of(class_index);
      for (std::size_t i = 0; i < held_.size(); ++i) held_[i] |= row[i];
    };
    for (std::uint32_t class_index : path_) hold(class_index);
    hold(last);
    return std::equal(held_.begin(), held_.end(),
                      grouped_.every_pattern.begin());
  }

  // Offers every solution of the path (which `frame` ends) plus
  // `class_index`, scoring `score`, when it meets the whole-solution
  // constraints: one member per place, a class met several times taking
  // its members as a multiset (in strictly ascending order with distinct
  // words).
  void take_solution(const Frame& frame, std::uint32_t class_index,
                     std::int64_t score) {
    if (path_.size() + 1 < prepared_.min_words) return;
    const WordClass<N>& last = classes_[class_index];
    if ((frame.patterns | last.patterns) != prepared_.all_patterns) return;
    if (grouped_.pattern_words != 0 && !every_pattern_held(class_index)) {
      return;
    }
    push_class(class_index);
    if (starts_met()) {
      const std::size_t count = path_.size();
      const std::uint64_t shortest = std::min(frame.shortest, last.length);
      const std::uint32_t step = prepared_.distinct ? 1 : 0;
      // One past the last member that a place may take: with distinct
      // words, each later place of its class needs a later member.
      auto limit = [&](std::size_t place) {
        std::uint32_t later = 0;
        for (std::size_t j = place + 1;
             step != 0 && j < count && path_[j] == path_[place]; ++j) {
          ++later;
        }
        return classes_[path_[place]].member_count - later;
      };
      choices_.resize(count);
      for (std::size_t j = 0; j < count; ++j) {
        choices_[j] =
            j != 0 && path_[j] == path_[j - 1] ? choices_[j - 1] + step : 0;
      }
      ranks_.resize(count);
      // Nothing is stored but the k best, which the caller converts.
      const SolutionCost cost = stop_.cost_of(count, 0, 0);
      for (;;) {
        for (std::size_t i = 0; i < count; ++i) {
          const WordClass<N>& word_class = classes_[path_[i]];
          ranks_[i] =
              grouped_.member_ranks[word_class.members_begin + choices_[i]];
        }
        std::sort(ranks_.begin(), ranks_.end());
        best_.offer(score, count, shortest, ranks_.data());
        stop_.count_solution(cost);
        stop_.count_steps(1);
        // The next multiset: the last place that can move on moves on, and
        // the places after it restart from it within their class.
        std::size_t i = count;
        while (i > 0 && choices_[i - 1] + 1 >= limit(i - 1)) --i;
        if (i == 0) break;
        ++choices_[i - 1];
        for (std::size_t j = i; j < count; ++j) {
          choices_[j] = path_[j] == path_[j - 1] ? choices_[j - 1] + step : 0;
        }
      }
    }
    pop_class();
  }

  const PackedAlphabet<N> alphabet_;
  const PreparedConstraints& prepared_;
  SearchStop& stop_;
  BestSoFar& best_;
  const WordClasses<N> grouped_;  // in ranked order
  const std::vector<WordClass<N>>& classes_;
  const CompletionIndex<N> completions_;
  std::vector<std::int64_t> weights_;  // by class
  std::array<std::uint32_t, kAlphabetSize + 1> key_begin_{};
  std::vector<std::int64_t> best_by_letters_left_;
  std::vector<std::int64_t> best_of_length_;  // by length; kNoSum: none
  // With word lengths given: how many words of each length are still
  // wanted, and the most that they can weigh.
  std::vector<std::uint32_t> lengths_left_;
  std::int64_t lengths_bound_ = 0;
  std::uint64_t shortest_length_ = 0;
  std::vector<Frame> frames_;
  std::vector<std::uint32_t> path_;  // class indices, ascending
  std::array<std::uint64_t, kAlphabetSize> starts_{};
  std::vector<std::uint32_t> choices_;
  std::vector<std::uint32_t> ranks_;
  std::vector<std::uint64_t> held_;
};

// The k best of one search, by walking classes packed N words wide.
template <std::size_t N>
std::vector<RankedSolution> walk_packed(
    const PackedLayout& layout, const SpelledWords& spelled,
    const CharCounts& phrase, const PreparedConstraints& prepared,
    const WordWeights& weights, std::uint64_t k, Clock::time_point start_time,
    const FastSearchOptions& options, bool* cut_short) {
  const std::vector<std::string>& words = spelled.words;
  std::vector<std::int32_t> word_weights;
  word_weights.reserve(words.size());
  for (const std::string& word : words) {
    word_weights.push_back(weights.weight_of(word));
  }
  SearchStop stop(prepared, start_time, options.finish_costs,
                  &options.interrupt);
  BestSoFar best(k);
  {
    RankedWalker<N> walker(layout, spelled.letters_by_rank(), word_weights,
                           prepared, stop, best);
    walker.walk(phrase);
  }
  if (stop.interrupted()) throw SearchInterrupted();
  if (stop.out_of_memory()) {
    throw ResultTooLarge(stop.solutions_found(), stop.bytes_needed(),
                         stop.bytes_available());
  }
  std::vector<Candidate> candidates = best.take_best_first();
  std::uint64_t words_held = 0;
  for (const Candidate& candidate : candidates) {
    words_held += candidate.word_count;
  }
  const std::uint64_t kept = std::min<std::uint64_t>(
      candidates.size(),
      rankable_in_time(prepared, start_time, options.finish_costs, k,
                       candidates.size(), words_held));
  if (cut_short != nullptr) {
    *cut_short = stop.stopped() || kept < candidates.size();
  }
  candidates.resize(kept);
  std::vector<RankedSolution> ranked;
  for (Candidate& candidate : candidates) {
    RankedSolution& solution = ranked.emplace_back();
    solution.score = candidate.score;
    for (std::uint32_t rank : candidate.ranks) {
      solution.words.push_back(words[rank]);
    }
  }
  return ranked;
}

// What best_of costs a solution beyond those it keeps, about (25 ns on the
// project's machine kind), with a margin.
constexpr double kBestOfSecondsPerSolution = 5e-8;

}  // namespace

std::uint64_t rankable_in_time(const PreparedConstraints& prepared,
                               Clock::time_point start_time,
                               const FinishCosts& costs, std::uint64_t k,
                               std::uint64_t solutions, std::uint64_t words,
                               double seconds_per_ranked) {
  const double words_per_solution =
      solutions == 0
          ? 0
          : static_cast<double>(words) / static_cast<double>(solutions);
  const double per_kept =
      costs.seconds_per_kept + costs.seconds_per_kept_word * words_per_solution;
  if (!prepared.timeout_seconds || per_kept + seconds_per_ranked <= 0) {
    return kUnlimited;
  }
  // A search stops at the first check of its budgets past its limit, so
  // keeping may run over by a little rather than drop what was found just
  // before: a hundredth of the limit, and a millisecond.
  const double limit = std::max(*prepared.timeout_seconds, 0.0);
  const std::chrono::duration<double> elapsed = Clock::now() - start_time;
  const double left =
      std::max(limit - elapsed.count(), 0.0) + limit * 0.01 + 1e-3;
  if (!(left > 0)) return 0;
  auto whole = [](double count) {
    return count >= 0x1p64 ? kUnlimited : static_cast<std::uint64_t>(count);
  };
  const double all_kept =
      static_cast<double>(k) * (per_kept + seconds_per_ranked);
  if (all_kept > left) return whole(left / (per_kept + seconds_per_ranked));
  if (seconds_per_ranked <= 0) return kUnlimited;
  const std::uint64_t more = whole((left - all_kept) / seconds_per_ranked);
  return more > kUnlimited - k ? kUnlimited : k + more;
}

std::vector<RankedSolution> best_in_time(
    const SolutionList& found, const WordWeights& weights, std::uint64_t k,
    const PreparedConstraints& prepared, Clock::time_point start_time,
    const FinishCosts& costs, bool* trimmed) {
  std::uint64_t words = 0;
  for (const SolutionGroup& group : found.groups) {
    words += group.word_count * group.solution_count;
  }
  const std::uint64_t size = found.size();
  const std::uint64_t first = rankable_in_time(
      prepared, start_time, costs, k, size, words, kBestOfSecondsPerSolution);
  if (trimmed != nullptr) *trimmed = first < size;
  return best_of(found, weights, k, first);
}

std::vector<RankedSolution> run_ranked_search(
    const Trie& trie, const CharCounts& phrase_counts,
    const SolverConstraints& constraints, const PreparedConstraints& prepared,
    const WordWeights& weights, std::uint64_t k, Clock::time_point start_time,
    const FastSearchOptions& options, bool* cut_short) {
  if (cut_short != nullptr) *cut_short = false;
  if (k == 0) return {};
  // The walk takes a least number of words, word lengths and distinct
  // words itself.
  if (prepared.max_solutions != kUnlimited || k > kMostBestByWalk) {
    // Under a time limit the search leaves room for ranking what it finds:
    // scoring each solution (a score and a position, 16 bytes) and picking
    // the best.
    FastSearchOptions ranking = options;
    ranking.finish_costs.seconds_per_solution += kBestOfSecondsPerSolution;
    ranking.finish_costs.bytes_per_solution += 2 * sizeof(std::int64_t);
    FastSearchReport report;
    bool trimmed = false;
    std::vector<RankedSolution> best = best_in_time(
        run_fast_search(trie, phrase_counts, constraints, prepared, start_time,
                        ranking, &report),
        weights, k, prepared, start_time, options.finish_costs, &trimmed);
    if (cut_short != nullptr) *cut_short = report.cut_short || trimmed;
    return best;
  }
  if (prepared.past_time_limit(start_time)) {
    if (cut_short != nullptr) *cut_short = true;
    return {};
  }
  return with_packed_candidates<std::vector<RankedSolution>>(
      trie, phrase_counts, constraints, prepared, start_time, options,
      [&]<std::size_t N>(const PackedLayout& layout, SpelledWords spelled) {
        return walk_packed<N>(layout, spelled, phrase_counts, prepared, weights,
                              k, start_time, options, cut_short);
      });
}

}  // namespace vorpalyx
