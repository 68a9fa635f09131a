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
#include "solver/remainder_tables.h"
#include "solver/search_stop.h"
#include "solver/solution_keys.h"

namespace vorpalyx {
namespace {

using Clock = std::chrono::steady_clock;

// Results past this many solutions are refused at once: they could never be
// held, and counting their bytes would overflow.
constexpr std::uint64_t kMostSolutions = std::uint64_t{1} << 48;

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
    if (phrase[letter] >= RemainderTables::kMostRemainders) return 0;
    remainders *= phrase[letter] + 1;
    bits += std::bit_width(phrase[letter]) + 1;
    if (remainders > RemainderTables::kMostRemainders || bits > 64) return 0;
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
  RemainderTables tables(words.letters_by_rank(), prepared.distinct);
  tables.lay_out(phrase);
  if (!tables.describe_words() ||
      !remainder_keys_fit(words.letters_by_rank(), phrase)) {
    return std::nullopt;
  }
  SearchStop stop(prepared, start_time, options.finish_costs,
                  &options.interrupt);
  // (Tables the process could not hold are left to the walk, which needs
  // none of them.)
  if (!tables.find_remainders(stop) || !tables.count_solutions(stop)) {
    return std::nullopt;
  }
  tables.plan_lists(least_list_entries);
  const std::uint64_t total = tables.phrase().solutions;
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
      stop.cost_of(tables.phrase().least_words, sizeof(std::uint64_t), 0);
  least.stored_bytes = 0;
  stop.count_solutions(total, least);
  stop.count_steps(SearchStop::kStepsPerClockCheck);
  if (stop.interrupted()) throw SearchInterrupted();
  if (stop.out_of_memory()) {
    // (Unless only the tables, which the walk does without, are in the way.)
    if (stop.bytes_needed() - stop.bytes_available() <= tables.table_bytes()) {
      return std::nullopt;
    }
    throw ResultTooLarge(stop.solutions_found(), stop.bytes_needed(),
                         stop.bytes_available());
  }
  // This search holds each key once, at most 16 bytes wide, beside the
  // tables and the lists it builds: where that might not fit, the walk,
  // whose keys may be narrower, decides.
  const std::size_t most_words = tables.phrase().most_words;
  SearchStop held(prepared, start_time, options.finish_costs);
  SolutionCost widest = held.cost_of(most_words, 0, 0);
  widest.result_bytes +=
      most_words * static_cast<std::size_t>(tables.rank_bits()) <= 64
          ? sizeof(std::uint64_t)
          : sizeof(LongKey);
  held.count_solutions(total, widest);
  held.count_solutions(1, {.result_bytes = tables.list_bytes(),
                           .stored_bytes = 0,
                           .finish_nanoseconds = 0});
  held.count_steps(SearchStop::kStepsPerClockCheck);
  if (held.out_of_memory()) return std::nullopt;
  SolutionList result;
  result.words = std::move(words.words);
  if (total == 0) return result;
  tables.build_lists();
  const int rank_bits = tables.rank_bits();
  const LongKey* const fields = tables.fields();
  const std::uint32_t* const tags = tables.tags();

  // Each group of the result (by word count and shortest word) grows as the
  // walk reaches its solutions, which come in its order. Keys of up to
  // `short_words` words fit 64 bits.
  struct Group {
    PageArray<std::uint64_t> short_keys;
    PageArray<LongKey> long_keys;
    std::uint64_t size = 0;
    std::uint64_t capacity = 0;
  };
  const std::uint32_t lengths = tables.longest() + 1;
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
  tables.walk([&](LongKey high, std::uint32_t words, std::uint32_t shortest,
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
      const std::uint32_t more = RemainderTables::words_of(tag);
      const std::uint32_t length =
          std::min(shortest, RemainderTables::shortest_of(tag));
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
  RemainderTables tables(letters, prepared.distinct);
  tables.lay_out(phrase);
  if (!tables.describe_words()) return std::nullopt;
  SearchStop stop(prepared, start_time, options.finish_costs,
                  &options.interrupt);
  if (!tables.find_remainders(stop) || !tables.count_solutions(stop)) {
    return std::nullopt;
  }
  // (A saturated count is left to the walk, which counts further.)
  const std::uint64_t total = tables.phrase().solutions;
  if (total == UINT64_MAX) return std::nullopt;
  return total;
}

}  // namespace vorpalyx
