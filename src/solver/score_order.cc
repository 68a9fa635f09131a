#include "solver/score_order.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "solver/two_threads.h"

namespace vorpalyx {

std::vector<std::int32_t> weights_by_id(const SolutionList& list,
                                        const WordWeights& weights) {
  std::vector<std::int32_t> by_id;
  by_id.reserve(list.words.size());
  for (const std::string& word : list.words) {
    by_id.push_back(weights.weight_of(word));
  }
  return by_id;
}

namespace {

// The score of every solution of `list`, in its order.
std::vector<std::int64_t> scores_of(const SolutionList& list,
                                    const std::vector<std::int32_t>& by_id) {
  std::vector<std::int64_t> scores;
  scores.reserve(list.size());
  for (const SolutionGroup& group : list.groups) {
    group.for_each([&](const std::uint32_t* ids) {
      std::int64_t score = 0;
      for (std::size_t i = 0; i < group.word_count; ++i) score += by_id[ids[i]];
      scores.push_back(score);
    });
  }
  return scores;
}

// The positions of `scores` in score order: a counting sort over the range
// of scores when it is not much wider than the list, a stable sort else.
std::vector<std::size_t> positions_by_score(
    const std::vector<std::int64_t>& scores) {
  std::vector<std::size_t> positions(scores.size());
  if (scores.empty()) return positions;
  const auto [lowest, highest] =
      std::minmax_element(scores.begin(), scores.end());
  const auto range = static_cast<std::uint64_t>(*highest - *lowest) + 1;
  if (range > 4 * scores.size() + 1024) {
    for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = i;
    std::stable_sort(positions.begin(), positions.end(),
                     [&](std::size_t left, std::size_t right) {
                       return scores[left] > scores[right];
                     });
    return positions;
  }
  // Bucket b holds the score highest - b.
  std::vector<std::size_t> starts(range + 1);
  for (std::int64_t score : scores) ++starts[*highest - score + 1];
  for (std::size_t b = 1; b <= range; ++b) starts[b] += starts[b - 1];
  for (std::size_t i = 0; i < scores.size(); ++i) {
    positions[starts[*highest - scores[i]]++] = i;
  }
  return positions;
}

}  // namespace

ScoredList order_by_score(SolutionList standard, const WordWeights& weights,
                          bool use_second_thread) {
  const std::vector<std::int32_t> by_id = weights_by_id(standard, weights);
  // The word ids of every solution as rows (keys decode far faster in a run
  // than one by one) and its score, read in pieces shared by two threads;
  // and where each group's rows and solutions start.
  std::vector<std::size_t> group_solutions;
  std::vector<std::size_t> group_rows;
  std::size_t solution_total = 0;
  std::size_t row_total = 0;
  struct Piece {
    std::size_t group;
    std::size_t begin;
    std::size_t end;
  };
  std::vector<Piece> pieces;
  constexpr std::size_t kPieceSolutions = std::size_t{1} << 14;
  for (std::size_t g = 0; g < standard.groups.size(); ++g) {
    const SolutionGroup& group = standard.groups[g];
    group_solutions.push_back(solution_total);
    group_rows.push_back(row_total);
    solution_total += group.solution_count;
    row_total += group.solution_count * group.word_count;
    for (std::size_t begin = 0; begin < group.solution_count;
         begin += kPieceSolutions) {
      pieces.push_back(
          {g, begin, std::min(begin + kPieceSolutions, group.solution_count)});
    }
  }
  std::vector<std::uint32_t> rows(row_total);
  std::vector<std::int64_t> scores(solution_total);
  std::atomic<std::size_t> next_piece{0};
  run_on_two_threads(
      [&] {
        for (std::size_t p = next_piece++; p < pieces.size();
             p = next_piece++) {
          const Piece& piece = pieces[p];
          const SolutionGroup& group = standard.groups[piece.group];
          std::uint32_t* row = rows.data() + group_rows[piece.group] +
                               piece.begin * group.word_count;
          std::int64_t* score =
              scores.data() + group_solutions[piece.group] + piece.begin;
          group.for_each_in(
              piece.begin, piece.end, [&](const std::uint32_t* ids) {
                std::int64_t sum = 0;
                for (std::size_t i = 0; i < group.word_count; ++i) {
                  sum += by_id[ids[i]];
                  *row++ = ids[i];
                }
                *score++ = sum;
              });
        }
      },
      use_second_thread && pieces.size() > 1);
  for (SolutionGroup& group : standard.groups) group.release();
  const std::vector<std::size_t> positions = positions_by_score(scores);
  auto group_of = [&](std::size_t position) {
    return static_cast<std::size_t>(std::upper_bound(group_solutions.begin(),
                                                     group_solutions.end(),
                                                     position) -
                                    group_solutions.begin()) -
           1;
  };
  auto row_of = [&](std::size_t position) {
    const std::size_t from = group_of(position);
    return rows.data() + group_rows[from] +
           (position - group_solutions[from]) *
               standard.groups[from].word_count;
  };
  // The rows are read in score order, all over memory: each is asked for
  // this many solutions ahead, so that it is in the cache when copied.
  constexpr std::size_t kReadAhead = 16;
  // A group per run of one word count; scores mix word counts, so runs are
  // often short, and a short run gets one chunk of its own size instead of
  // the usual megabyte.
  constexpr std::size_t kShortRunIds = std::size_t{1} << 18;
  ScoredList scored;
  scored.scores.resize(scores.size());
  // Copies positions [first, last) into groups of their own; the two halves
  // of a long list are copied side by side, and their groups joined after.
  auto copy_rows = [&](std::size_t first, std::size_t last,
                       std::vector<SolutionGroup>& groups) {
    for (std::size_t begin = first; begin < last;) {
      const std::size_t word_count =
          standard.groups[group_of(positions[begin])].word_count;
      std::size_t end = begin + 1;
      while (end < last &&
             standard.groups[group_of(positions[end])].word_count ==
                 word_count) {
        ++end;
      }
      SolutionGroup& group = groups.emplace_back();
      group.word_count = word_count;
      std::vector<std::uint32_t>* chunk = nullptr;
      if ((end - begin) * word_count <= kShortRunIds) {
        chunk = &group.chunks.emplace_back();
        chunk->reserve((end - begin) * word_count);
      }
      for (std::size_t i = begin; i < end; ++i) {
        if (i + kReadAhead < last) {
          __builtin_prefetch(row_of(positions[i + kReadAhead]));
          __builtin_prefetch(&scores[positions[i + kReadAhead]]);
        }
        const std::size_t position = positions[i];
        const std::uint32_t* ids = row_of(position);
        if (chunk != nullptr) {
          chunk->insert(chunk->end(), ids, ids + word_count);
          ++group.solution_count;
        } else {
          group.append(ids);
        }
        scored.scores[i] = scores[position];
      }
      begin = end;
    }
  };
  const std::size_t middle = positions.size() / 2;
  std::vector<SolutionGroup> second_half;
  std::atomic<int> next_half{0};
  run_on_two_threads(
      [&] {
        for (int half = next_half++; half < 2; half = next_half++) {
          if (half == 0) {
            copy_rows(0, middle, scored.list.groups);
          } else {
            copy_rows(middle, positions.size(), second_half);
          }
        }
      },
      use_second_thread && positions.size() > kPieceSolutions);
  for (SolutionGroup& group : second_half) {
    scored.list.groups.push_back(std::move(group));
  }
  scored.list.words = std::move(standard.words);
  scored.list.partial = standard.partial;
  return scored;
}

std::vector<RankedSolution> best_of(const SolutionList& standard,
                                    const WordWeights& weights, std::uint64_t k,
                                    std::uint64_t first) {
  const std::vector<std::int32_t> by_id = weights_by_id(standard, weights);
  const std::vector<std::int64_t> scores = scores_of(standard, by_id);
  std::vector<std::size_t> positions(
      static_cast<std::size_t>(std::min<std::uint64_t>(first, scores.size())));
  for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = i;
  const std::size_t kept =
      static_cast<std::size_t>(std::min<std::uint64_t>(k, positions.size()));
  auto better = [&](std::size_t left, std::size_t right) {
    return scores[left] != scores[right] ? scores[left] > scores[right]
                                         : left < right;
  };
  std::partial_sort(positions.begin(), positions.begin() + kept,
                    positions.end(), better);
  std::vector<RankedSolution> best;
  best.reserve(kept);
  std::vector<std::uint32_t> ids;
  for (std::size_t i = 0; i < kept; ++i) {
    const auto [group_index, offset] = standard.locate(positions[i]);
    const SolutionGroup& group = standard.groups[group_index];
    ids.resize(group.word_count);
    group.ids_at(offset, ids.data());
    RankedSolution& ranked = best.emplace_back();
    ranked.score = scores[positions[i]];
    for (std::uint32_t id : ids) ranked.words.push_back(standard.words[id]);
    if (!standard.variants.empty()) {
      ranked.letters = standard.variants[group.variant_ids[offset]];
    }
  }
  return best;
}

}  // namespace vorpalyx
