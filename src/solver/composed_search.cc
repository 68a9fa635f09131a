#include "solver/composed_search.h"

#include <algorithm>
#include <atomic>
#include <numeric>
#include <string>
#include <utility>

#include "solver/composition.h"
#include "solver/letter_variants.h"
#include "solver/memory_budget.h"
#include "solver/merged_rows.h"
#include "solver/prepared_constraints.h"
#include "solver/ranked_search.h"
#include "solver/result_order.h"

namespace vorpalyx {
namespace {

using Clock = std::chrono::steady_clock;

// With an enumeration, the words of `ids` (ascending) in its order: each
// place takes the first word left of its length.
void in_enumeration_order(const std::vector<std::uint64_t>& lengths,
                          const std::vector<std::uint64_t>& length_of,
                          std::uint32_t* ids, std::size_t count,
                          std::vector<std::uint32_t>& scratch) {
  scratch.assign(ids, ids + count);
  constexpr std::uint32_t kTaken = ~std::uint32_t{0};
  for (std::size_t place = 0; place < count; ++place) {
    auto next = std::find_if(scratch.begin(), scratch.end(), [&](auto id) {
      return id != kTaken && length_of[id] == lengths[place];
    });
    ids[place] = *next;
    *next = kTaken;
  }
}

// A merged row, beside its ids.
constexpr std::uint64_t kRowBytes = sizeof(MergedRow);
// What merging costs per solution and per word of it, beyond the searches'
// own sorting: reading the keys back into rows and sorting the rows (about
// 0.18 microseconds a solution of 5-7 words on the machine of the
// benchmarks, here with a margin of two); and then putting them in score
// order.
constexpr double kMergeSecondsPerSolution = 2e-7;
constexpr double kMergeSecondsPerWord = 2.5e-8;
constexpr double kScoreSecondsPerSolution = 6e-7;
// What merging holds at its largest beside the searches' results: the rows
// and their ids, which growth may double, and the merged list (4 bytes a
// word and a variant's index); in score order, the rows reordered, each
// score and position, and the scores kept.
constexpr std::uint64_t kMergeBytesPerSolution =
    2 * kRowBytes + 2 * sizeof(std::uint32_t);
constexpr std::uint64_t kMergeBytesPerWord = 3 * sizeof(std::uint32_t);
constexpr std::uint64_t kScoreBytesPerSolution = kRowBytes + 4 * 8;
// Smaller merges go without reading what the process can still get.
constexpr std::uint64_t kMergeBytesUnchecked = std::uint64_t{16} << 20;

// The solutions of the variants' searches and the included words, merged
// into one list in result order.
class Merger {
 public:
  explicit Merger(const Composition& plan) : plan_(plan) {}

  void add(std::uint32_t variant, const SolutionList& part) {
    parts_.push_back({variant, &part});
  }
  void add_alone(std::uint32_t variant) {
    parts_.push_back({variant, nullptr});
  }

  // The merged list; with `weights`, in score order with each score.
  SolutionList take(const WordWeights* weights,
                    std::vector<std::int64_t>* scores) {
    std::vector<std::string> words = plan_.include;
    for (const auto& [variant, part] : parts_) {
      if (part)
        words.insert(words.end(), part->words.begin(), part->words.end());
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    auto id_of = [&](const std::string& word) {
      return static_cast<std::uint32_t>(
          std::lower_bound(words.begin(), words.end(), word) - words.begin());
    };
    std::vector<std::uint32_t> include_ids;
    for (const std::string& word : plan_.include) {
      include_ids.push_back(id_of(word));
    }
    std::vector<std::uint64_t> length_of(words.size());
    for (std::size_t id = 0; id < words.size(); ++id) {
      length_of[id] = letter_length(words[id]);
    }

    std::vector<MergedRow> rows;
    std::vector<std::uint32_t> ids;
    std::vector<std::uint32_t> scratch;
    auto add_row = [&](std::uint32_t variant, const std::uint32_t* part_ids,
                       std::size_t count) {
      const std::size_t offset = ids.size();
      // A few ids each: one at a time, where a range insert calls memmove.
      for (std::size_t i = 0; i < count; ++i) ids.push_back(part_ids[i]);
      for (const std::uint32_t id : include_ids) ids.push_back(id);
      std::uint32_t* row = ids.data() + offset;
      const std::size_t word_count = ids.size() - offset;
      std::sort(row, row + word_count);
      std::uint64_t shortest = kUnlimited;
      for (std::size_t i = 0; i < word_count; ++i) {
        shortest = std::min(shortest, length_of[row[i]]);
      }
      if (!plan_.lengths.empty()) {
        in_enumeration_order(plan_.lengths, length_of, row, word_count,
                             scratch);
      }
      rows.push_back({.shortest = shortest,
                      .offset = offset,
                      .word_count = static_cast<std::uint32_t>(word_count),
                      .variant = variant});
    };
    std::vector<std::uint32_t> mapped;
    for (const auto& entry : parts_) {
      // Named apart: a lambda may not capture a structured binding.
      const std::uint32_t variant = entry.first;
      const SolutionList* part = entry.second;
      if (!part) {
        add_row(variant, nullptr, 0);
        continue;
      }
      mapped.resize(part->words.size());
      for (std::size_t id = 0; id < mapped.size(); ++id) {
        mapped[id] = id_of(part->words[id]);
      }
      for (const SolutionGroup& group : part->groups) {
        std::vector<std::uint32_t> row(group.word_count);
        group.for_each([&](const std::uint32_t* part_ids) {
          for (std::size_t i = 0; i < group.word_count; ++i) {
            row[i] = mapped[part_ids[i]];
          }
          add_row(variant, row.data(), row.size());
        });
      }
    }
    sort_in_result_order(rows, ids);
    if (weights) {
      std::vector<std::int64_t> weight_of(words.size());
      for (std::size_t id = 0; id < words.size(); ++id) {
        weight_of[id] = weights->weight_of(words[id]);
      }
      std::vector<std::int64_t> row_scores(rows.size());
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::uint32_t* row = ids.data() + rows[i].offset;
        for (std::size_t j = 0; j < rows[i].word_count; ++j) {
          row_scores[i] += weight_of[row[j]];
        }
      }
      std::vector<std::size_t> order(rows.size());
      std::iota(order.begin(), order.end(), 0);
      std::stable_sort(order.begin(), order.end(),
                       [&](std::size_t left, std::size_t right) {
                         return row_scores[left] > row_scores[right];
                       });
      std::vector<MergedRow> by_score;
      by_score.reserve(rows.size());
      for (std::size_t i : order) {
        by_score.push_back(rows[i]);
        scores->push_back(row_scores[i]);
      }
      rows = std::move(by_score);
    }

    SolutionList list;
    for (const Variant& variant : plan_.variants) {
      list.variants.push_back(variant.letters);
    }
    const bool with_variants = !(plan_.variants.size() == 1 &&
                                 plan_.variants[0].letters.blanks.empty() &&
                                 plan_.variants[0].letters.leftover.empty());
    if (!with_variants) list.variants.clear();
    for (const MergedRow& row : rows) {
      if (list.groups.empty() ||
          list.groups.back().word_count != row.word_count) {
        list.groups.emplace_back().word_count = row.word_count;
      }
      SolutionGroup& group = list.groups.back();
      group.append(ids.data() + row.offset);
      if (with_variants) group.variant_ids.push_back(row.variant);
    }
    list.words = std::move(words);
    return list;
  }

 private:
  const Composition& plan_;
  std::vector<std::pair<std::uint32_t, const SolutionList*>> parts_;
};

SolutionList merged_search(const Trie& trie, const CharCounts& phrase,
                           const SolverConstraints& constraints,
                           const ExtendedConstraints& extended,
                           const WordWeights* weights,
                           std::vector<std::int64_t>* scores,
                           Clock::time_point start_time,
                           const FastSearchOptions& options) {
  const Composition plan =
      compose(trie, phrase, constraints, extended, options.spellings);
  std::vector<SolutionList> parts(plan.variants.size());
  std::vector<bool> alone(plan.variants.size());
  std::atomic<std::uint64_t> found{0};
  // Whether a limit kept some search from ending or from running at all.
  std::atomic<bool> partial{false};
  const std::uint64_t most = plan.prepared.max_solutions;
  // Under a time limit each search leaves room for merging what it finds,
  // and the later ones for merging what the earlier ones found too.
  FastSearchOptions merging = options;
  merging.finish_costs.seconds_per_solution += kMergeSecondsPerSolution;
  merging.finish_costs.seconds_per_word += kMergeSecondsPerWord;
  // And memory for the merged rows, which growth may double, and for
  // sorting them.
  merging.finish_costs.bytes_per_solution += 2 * kRowBytes + kSortBytesPerRow;
  merging.finish_costs.bytes_per_word +=
      2 * sizeof(std::uint32_t) + kSortBytesPerWord;
  if (weights) {
    merging.finish_costs.seconds_per_solution += kScoreSecondsPerSolution;
  }
  std::atomic<std::uint64_t> merge_nanoseconds{0};
  // Which solutions a limit keeps depends on the order of the searches; and
  // under a time limit each search leaves room for merging what the ones
  // before it found, which one running beside it would not know of (each
  // search still has both cores).
  const bool share = most == kUnlimited && !plan.prepared.timeout_seconds;
  // Copied once, not for each variant: it holds every excluded word. Only
  // searches that run one after the other narrow its limits.
  PreparedConstraints narrowed = plan.prepared;
  for_each_variant(
      plan, merging, share,
      [&](std::uint32_t variant, const CharCounts& counts,
          const FastSearchOptions& variant_options) {
        const std::uint64_t found_before = found;
        // A search that starts past the time limit finds nothing and would
        // not say that it was cut short.
        if (found_before >= most || plan.prepared.past_time_limit(start_time)) {
          partial = true;
          return;
        }
        const PreparedConstraints* prepared_for_part = &plan.prepared;
        if (!share) {
          narrowed.max_solutions =
              most == kUnlimited ? most : most - found_before;
          if (plan.prepared.timeout_seconds) {
            *narrowed.timeout_seconds =
                *plan.prepared.timeout_seconds -
                static_cast<double>(merge_nanoseconds.load()) * 1e-9;
          }
          prepared_for_part = &narrowed;
        }
        const PreparedConstraints& prepared = *prepared_for_part;
        // The caller keeps only the first kept_most of all the parts'.
        FastSearchOptions part_options = variant_options;
        FinishCosts& costs = part_options.finish_costs;
        costs.kept_most -= std::min(found_before, costs.kept_most);
        SolutionList& part = parts[variant] = run_fast_search(
            trie, counts, plan.rest, prepared, start_time, part_options);
        found += part.size();
        if (part.partial) partial = true;
        double seconds = 0;
        std::uint64_t kept = costs.kept_most;
        for (const SolutionGroup& group : part.groups) {
          const std::uint64_t words = group.word_count + plan.include.size();
          seconds += static_cast<double>(group.solution_count) *
                     (costs.seconds_per_solution +
                      costs.seconds_per_word * static_cast<double>(words));
          const std::uint64_t kept_here =
              std::min<std::uint64_t>(kept, group.solution_count);
          seconds += costs.kept_seconds(kept_here, kept_here * words);
          kept -= kept_here;
        }
        merge_nanoseconds += static_cast<std::uint64_t>(seconds * 1e9);
      },
      [&](std::uint32_t variant) {
        if (found >= most) {
          partial = true;
          return;
        }
        ++found;
        alone[variant] = true;
      });
  // Each search's budget counted the merging of its own solutions only;
  // merging them all must fit beside them, or fail as a search would.
  std::uint64_t solutions = 0;
  std::uint64_t words = 0;
  std::uint64_t held = 0;
  for (std::uint32_t i = 0; i < plan.variants.size(); ++i) {
    if (alone[i]) {
      ++solutions;
      words += plan.include.size();
    }
    for (const SolutionGroup& group : parts[i].groups) {
      solutions += group.solution_count;
      words += (group.word_count + plan.include.size()) * group.solution_count;
      held += group.stored_bytes();
    }
  }
  const std::uint64_t merge_bytes =
      solutions *
          (kMergeBytesPerSolution +
           std::max(kSortBytesPerRow, weights ? kScoreBytesPerSolution : 0)) +
      words * (kMergeBytesPerWord + kSortBytesPerWord);
  if (merge_bytes >= kMergeBytesUnchecked) {
    const std::uint64_t available = available_memory_bytes();
    if (merge_bytes > available) {
      throw ResultTooLarge(solutions, held + merge_bytes, held + available);
    }
  }
  Merger merger(plan);
  for (std::uint32_t i = 0; i < plan.variants.size(); ++i) {
    if (alone[i]) merger.add_alone(i);
    if (!parts[i].groups.empty()) merger.add(i, parts[i]);
  }
  SolutionList merged = merger.take(weights, scores);
  merged.partial = partial;
  return merged;
}

}  // namespace

SolutionList composed_search(const Trie& trie, const CharCounts& phrase,
                             const SolverConstraints& constraints,
                             const ExtendedConstraints& extended,
                             Clock::time_point start_time,
                             const FastSearchOptions& options) {
  return merged_search(trie, phrase, constraints, extended, nullptr, nullptr,
                       start_time, options);
}

ScoredList composed_search_by_score(const Trie& trie, const CharCounts& phrase,
                                    const SolverConstraints& constraints,
                                    const ExtendedConstraints& extended,
                                    const WordWeights& weights,
                                    Clock::time_point start_time,
                                    const FastSearchOptions& options) {
  ScoredList scored;
  scored.list = merged_search(trie, phrase, constraints, extended, &weights,
                              &scored.scores, start_time, options);
  return scored;
}

SolutionCount composed_count(const Trie& trie, const CharCounts& phrase,
                             const SolverConstraints& constraints,
                             const ExtendedConstraints& extended,
                             Clock::time_point start_time,
                             const FastSearchOptions& options) {
  const Composition plan =
      compose(trie, phrase, constraints, extended, options.spellings);
  SolutionCount total;
  auto add = [&](const SolutionCount& count) {
    total.saturated = total.saturated || count.saturated ||
                      total.solutions > ~LongKey{0} - count.solutions;
    total.solutions =
        total.saturated ? ~LongKey{0} : total.solutions + count.solutions;
  };
  std::vector<SolutionCount> counts(plan.variants.size());
  for_each_variant(
      plan, options, true,
      [&](std::uint32_t variant, const CharCounts& letters,
          const FastSearchOptions& variant_options) {
        counts[variant] =
            count_fast_search(trie, letters, plan.rest, plan.prepared,
                              start_time, variant_options);
      },
      [&](std::uint32_t variant) { counts[variant] = {.solutions = 1}; });
  for (const SolutionCount& count : counts) add(count);
  if (plan.prepared.max_solutions != kUnlimited &&
      total.solutions > plan.prepared.max_solutions) {
    total = {.solutions = plan.prepared.max_solutions};
  }
  return total;
}

std::vector<RankedSolution> composed_best(
    const Trie& trie, const CharCounts& phrase,
    const SolverConstraints& constraints, const ExtendedConstraints& extended,
    const WordWeights& weights, std::uint64_t k, Clock::time_point start_time,
    const FastSearchOptions& options) {
  const Composition plan =
      compose(trie, phrase, constraints, extended, options.spellings);
  if (plan.prepared.max_solutions != kUnlimited) {
    // The best of the solutions that search keeps: a limit on each of the
    // variants' searches would keep more.
    return best_in_time(merged_search(trie, phrase, constraints, extended,
                                      nullptr, nullptr, start_time, options),
                        weights, k, plan.prepared, start_time,
                        options.finish_costs);
  }
  std::int64_t include_score = 0;
  for (const std::string& word : plan.include) {
    include_score += weights.weight_of(word);
  }
  std::vector<RankedSolution> all;
  auto add = [&](std::uint32_t variant, RankedSolution solution) {
    solution.score += include_score;
    solution.words.insert(solution.words.end(), plan.include.begin(),
                          plan.include.end());
    std::sort(solution.words.begin(), solution.words.end());
    if (!plan.lengths.empty()) {
      std::vector<std::uint64_t> length_of;
      std::vector<std::uint32_t> ids;
      for (const std::string& word : solution.words) {
        ids.push_back(static_cast<std::uint32_t>(length_of.size()));
        length_of.push_back(letter_length(word));
      }
      std::vector<std::uint32_t> scratch;
      in_enumeration_order(plan.lengths, length_of, ids.data(), ids.size(),
                           scratch);
      Solution ordered;
      for (std::uint32_t id : ids) ordered.push_back(solution.words[id]);
      solution.words = std::move(ordered);
    }
    const LetterVariant& letters = plan.variants[variant].letters;
    if (!letters.blanks.empty() || !letters.leftover.empty()) {
      solution.letters = letters;
    }
    all.push_back(std::move(solution));
  };
  // A variant breaks its ties in the result order of its own words. With
  // included words or an enumeration the merged order may differ, so a
  // variant that fills its k gives every solution tied with its k-th too.
  const bool own_order_differs = !plan.include.empty() || !plan.lengths.empty();
  std::vector<std::vector<RankedSolution>> found(plan.variants.size());
  // Under a time limit each search leaves room for converting the best that
  // the searches before it found, which the caller converts last; so they
  // run one after the other.
  std::atomic<std::uint64_t> held{0};
  std::atomic<std::uint64_t> held_words{0};
  // Copied once, not for each variant: it holds every excluded word. Only
  // under a time limit, where the searches run one after the other, is its
  // limit narrowed.
  PreparedConstraints narrowed = plan.prepared;
  for_each_variant(
      plan, options, !plan.prepared.timeout_seconds,
      [&](std::uint32_t variant, const CharCounts& counts,
          const FastSearchOptions& variant_options) {
        std::vector<RankedSolution>& best = found[variant];
        const PreparedConstraints* prepared_for_part = &plan.prepared;
        const std::uint64_t solutions = held;
        const std::uint64_t kept = std::min(solutions, k);
        if (plan.prepared.timeout_seconds) {
          *narrowed.timeout_seconds = *plan.prepared.timeout_seconds;
          if (kept != 0) {
            *narrowed.timeout_seconds -= options.finish_costs.kept_seconds(
                kept, static_cast<std::uint64_t>(
                          static_cast<double>(held_words.load()) *
                          static_cast<double>(kept) /
                          static_cast<double>(solutions)));
          }
          prepared_for_part = &narrowed;
        }
        const PreparedConstraints& prepared = *prepared_for_part;
        for (std::uint64_t asked = k;;) {
          bool cut_short = false;
          std::vector<RankedSolution> more =
              run_ranked_search(trie, counts, plan.rest, prepared, weights,
                                asked, start_time, variant_options, &cut_short);
          // A search that the time limit ended may have found less than the
          // whole one before it.
          if (cut_short && asked != k) break;
          best = std::move(more);
          if (cut_short || !own_order_differs || k == 0 ||
              best.size() < asked || best.back().score < best[k - 1].score) {
            break;
          }
          asked = asked > kUnlimited / 2 ? kUnlimited : asked * 2;
        }
        std::uint64_t words = 0;
        for (const RankedSolution& solution : best) {
          words += solution.words.size() + plan.include.size();
        }
        held += best.size();
        held_words += words;
      },
      [&](std::uint32_t variant) { found[variant].emplace_back(); });
  for (std::uint32_t variant = 0; variant < found.size(); ++variant) {
    for (RankedSolution& solution : found[variant]) {
      add(variant, std::move(solution));
    }
  }
  const bool by_sequence = !plan.lengths.empty();
  // Ties keep result order, where the shortest word is measured in letters
  // a-z, not in the bytes of its spelling.
  std::vector<std::uint64_t> shortest(all.size(), kUnlimited);
  for (std::size_t i = 0; i < all.size() && !by_sequence; ++i) {
    for (const std::string& word : all[i].words) {
      shortest[i] = std::min(shortest[i], letter_length(word));
    }
  }
  auto before = [&](std::size_t left, std::size_t right) {
    const RankedSolution& a = all[left];
    const RankedSolution& b = all[right];
    if (a.score != b.score) return a.score > b.score;
    if (by_sequence) return a.words < b.words;
    return solution_precedes(a.words, shortest[left], b.words, shortest[right]);
  };
  std::vector<std::size_t> order(all.size());
  std::iota(order.begin(), order.end(), 0);
  std::uint64_t words = 0;
  for (const RankedSolution& solution : all) words += solution.words.size();
  const std::size_t kept = std::min<std::uint64_t>(
      {k, all.size(),
       rankable_in_time(plan.prepared, start_time, options.finish_costs, k,
                        all.size(), words)});
  std::partial_sort(order.begin(), order.begin() + kept, order.end(), before);
  std::vector<RankedSolution> best;
  best.reserve(kept);
  for (std::size_t i = 0; i < kept; ++i)
    best.push_back(std::move(all[order[i]]));
  return best;
}

}  // namespace vorpalyx
