#include "solver/fast_search.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "solver/candidate_packing.h"
#include "solver/counting_sink.h"
#include "solver/fast_walker.h"
#include "solver/memory_budget.h"
#include "solver/packed_counts.h"
#include "solver/remainder_search.h"
#include "solver/search_stop.h"
#include "solver/search_tables.h"
#include "solver/solution_sink.h"
#include "solver/storing_sink.h"
#include "solver/two_threads.h"
#include "solver/word_classes.h"

namespace vorpalyx {
namespace {

using Clock = std::chrono::steady_clock;

// Walks `tables` with one walker into `sink` or, when allowed, with a
// second one too into a sink of its own, which `merge` then takes in, and
// tells whether a limit (time or solutions) ended the walk. Throws
// SearchInterrupted when the caller's poll stopped it, and ResultTooLarge
// when a walker ran out of memory.
template <std::size_t N, typename Sink, typename MakeSink, typename Merge>
bool walk_into(const SearchTables<N>& tables, const CharCounts& phrase,
               const PreparedConstraints& prepared,
               Clock::time_point start_time, const FastSearchOptions& options,
               FastSearchReport* report, Sink& sink, MakeSink make_sink,
               Merge merge, std::uint64_t solution_cap = kUnlimited) {
  SearchStop stop(prepared, start_time, options.finish_costs,
                  &options.interrupt);
  stop.cap_solutions(solution_cap);
  FastWalker<N, Sink> walker(tables, sink, stop);
  const SearchStop* helper_stop = nullptr;
  std::optional<Sink> helper_sink;
  std::optional<FastWalker<N, Sink>> helper;
  if (prepared.max_solutions != kUnlimited || !options.second_core) {
    // The first max_solutions found are kept: one walker, so that which
    // ones does not depend on timing.
    walker.walk(phrase, nullptr, true);
  } else {
    SharedRoot root;
    root.order = root_branches(tables, phrase);
    SharedProgress progress;
    walker.share(&progress);
    // Declared after what its work uses, so joined before that goes.
    HelperThread helper_thread;
    bool helper_started = false;
    const Clock::time_point walk_start = Clock::now();
    root.offer_help = [&] {
      if (helper || Clock::now() - walk_start < options.second_walker_after) {
        return;
      }
      helper_sink.emplace(make_sink());
      SearchStop capped_stop(prepared, start_time, options.finish_costs);
      capped_stop.cap_solutions(solution_cap);
      helper.emplace(tables, *helper_sink, capped_stop);
      helper->share(&progress);
      // Without a second thread this walker takes every branch.
      helper_started =
          helper_thread.start([&] { helper->walk(phrase, &root, false); });
    };
    walker.walk(phrase, &root, true);
    helper_thread.finish();
    if (helper) {
      if (report) {
        report->second_walker_ran = helper_started;
        report->solutions_by_walker[1] = helper->stop().solutions_found();
      }
      helper_stop = &helper->stop();
      merge(*helper_sink);
    }
  }
  if (walker.stop().interrupted()) throw SearchInterrupted();
  for (const SearchStop* stop : {&walker.stop(), helper_stop}) {
    if (stop != nullptr && stop->out_of_memory()) {
      throw ResultTooLarge(
          walker.stop().solutions_found() +
              (helper_stop ? helper_stop->solutions_found() : 0),
          stop->bytes_needed(), stop->bytes_available());
    }
  }
  const bool cut_short = walker.stop().stopped() ||
                         (helper_stop != nullptr && helper_stop->stopped());
  if (report) {
    report->search_seconds =
        std::chrono::duration<double>(Clock::now() - start_time).count();
    report->solutions_by_walker[0] = walker.stop().solutions_found();
    report->cut_short = cut_short;
  }
  return cut_short;
}

// A search that the remainder search may make walks first, until it has
// found this many solutions per remainder that the tables of the remainder
// search would cover, and at least a million (FastSearchOptions::
// least_walk_before_remainder_search): most searches end before, and
// the walk costs them less than those tables would; past it, the walk has
// spent about what the tables cost, and the remainder search's far lower
// cost per solution wins. (A walk that only counts finds solutions faster,
// so it goes on longer.)
constexpr std::uint64_t kStoredPerRemainder = 128;
constexpr std::uint64_t kCountedPerRemainder = 512;

// The solutions to walk before the remainder search, or 0 for a search it
// does not apply to.
std::uint64_t walk_before_remainder_search(const CharCounts& phrase,
                                           const PreparedConstraints& prepared,
                                           const FastSearchOptions& options,
                                           std::uint64_t per_remainder) {
  if (!options.remainder_search) return 0;
  const std::uint64_t remainders = remainder_count_bound(phrase, prepared);
  if (remainders == 0) return 0;
  return std::max(options.least_walk_before_remainder_search,
                  remainders * per_remainder);
}

template <std::size_t N>
SolutionList search_packed(const PackedLayout& layout, SpelledWords words,
                           const CharCounts& phrase,
                           const PreparedConstraints& prepared,
                           Clock::time_point start_time,
                           const FastSearchOptions& options,
                           FastSearchReport* report) {
  SolutionList result;
  const SearchTables<N> tables(layout, prepared, words.letters_by_rank());
  if (tables.word_classes.classes.empty() || !tables.can_start(phrase)) {
    result.words = std::move(words.words);
    return result;
  }
  const std::size_t most_words = phrase.total() + 1;
  auto make_sink = [&] {
    return StoringSink<N>(tables.word_classes, most_words);
  };
  std::optional<StoringSink<N>> sink(make_sink());
  auto walk = [&](std::uint64_t solution_cap) {
    return walk_into(
        tables, phrase, prepared, start_time, options, report, *sink, make_sink,
        [&](StoringSink<N>& helper) {
          sink->buckets().absorb(helper.buckets());
        },
        solution_cap);
  };
  bool cut_short;
  const std::uint64_t walk_first = walk_before_remainder_search(
      phrase, prepared, options, kStoredPerRemainder);
  if (walk_first != 0 && remainder_keys_fit(words.letters_by_rank(), phrase)) {
    cut_short = walk(walk_first);
    if (cut_short) {
      sink.reset();
      std::optional<SolutionList> in_order = run_remainder_search(
          words, phrase, prepared, start_time, options, report);
      if (in_order) return std::move(*in_order);
      sink.emplace(make_sink());
      cut_short = walk(kUnlimited);
    }
  } else {
    cut_short = walk(kUnlimited);
  }
  result.words = std::move(words.words);
  // The walk left time to sort what it found and for what the caller does
  // after (converting it, ranking it); on a machine slower than that
  // allowed for, the sort stops in time for the rest and keeps what it
  // sorted.
  std::optional<Clock::time_point> limit;
  // (A limit of years is none: the clock's count would overflow.)
  if (prepared.timeout_seconds && *prepared.timeout_seconds < 1e9) {
    limit = start_time + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(
                                 std::max(*prepared.timeout_seconds, -1e9)));
  }
  const std::size_t found_count = sink->buckets().size();
  result.groups = sink->buckets().take_in_result_order(
      options.second_core, &options.interrupt, limit, options.finish_costs);
  result.partial = cut_short || result.size() < found_count;
  if (report) report->cut_short = result.partial;
  return result;
}

template <std::size_t N>
SolutionCount count_packed(const PackedLayout& layout,
                           const SpelledWords& words, const CharCounts& phrase,
                           const PreparedConstraints& prepared,
                           Clock::time_point start_time,
                           const FastSearchOptions& options,
                           FastSearchReport* report) {
  const SearchTables<N> tables(layout, prepared, words.letters_by_rank());
  if (tables.word_classes.classes.empty() || !tables.can_start(phrase)) {
    return {};
  }
  auto make_sink = [&] { return CountingSink<N>(tables.word_classes); };
  std::optional<CountingSink<N>> sink(make_sink());
  auto walk = [&](std::uint64_t solution_cap) {
    return walk_into(
        tables, phrase, prepared, start_time, options, report, *sink, make_sink,
        [&](CountingSink<N>& helper) { sink->absorb(helper); }, solution_cap);
  };
  if (const std::uint64_t walk_first = walk_before_remainder_search(
          phrase, prepared, options, kCountedPerRemainder)) {
    if (walk(walk_first)) {
      const std::optional<std::uint64_t> counted = count_by_remainders(
          words.letters_by_rank(), phrase, prepared, start_time, options);
      if (counted) return {.solutions = *counted};
      sink.emplace(make_sink());
      walk(kUnlimited);
    }
  } else {
    walk(kUnlimited);
  }
  SolutionCount count{.solutions = sink->count(),
                      .saturated = sink->saturated()};
  // A limit keeps the first max_solutions of a combination's solutions too.
  // Without one the count may pass 2^64 - 1 (kUnlimited).
  if (prepared.max_solutions != kUnlimited &&
      count.solutions > prepared.max_solutions) {
    count.solutions = prepared.max_solutions;
    count.saturated = false;
  }
  return count;
}

}  // namespace

FastSearchOptions FastSearchOptions::for_this_machine() {
  FastSearchOptions options;
  options.second_core = second_core_available();
  return options;
}

SolutionList run_fast_search(const Trie& trie, const CharCounts& phrase_counts,
                             const SolverConstraints& constraints,
                             const PreparedConstraints& prepared,
                             Clock::time_point start_time,
                             const FastSearchOptions& options,
                             FastSearchReport* report) {
  return with_packed_candidates<SolutionList>(
      trie, phrase_counts, constraints, prepared, start_time, options,
      [&]<std::size_t N>(const PackedLayout& layout, SpelledWords words) {
        return search_packed<N>(layout, std::move(words), phrase_counts,
                                prepared, start_time, options, report);
      });
}

SolutionCount count_fast_search(const Trie& trie,
                                const CharCounts& phrase_counts,
                                const SolverConstraints& constraints,
                                const PreparedConstraints& prepared,
                                Clock::time_point start_time,
                                const FastSearchOptions& options,
                                FastSearchReport* report) {
  return with_packed_candidates<SolutionCount>(
      trie, phrase_counts, constraints, prepared, start_time, options,
      [&]<std::size_t N>(const PackedLayout& layout, SpelledWords words) {
        return count_packed<N>(layout, words, phrase_counts, prepared,
                               start_time, options, report);
      });
}

}  // namespace vorpalyx
