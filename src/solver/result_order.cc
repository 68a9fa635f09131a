#include "solver/result_order.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace vorpalyx {
namespace {

std::size_t shortest_word_length(const Solution& solution) {
  std::size_t shortest = SIZE_MAX;
  for (const std::string& word : solution) {
    shortest = std::min(shortest, word.size());
  }
  return shortest;
}

}  // namespace

bool solution_precedes(const Solution& left, const Solution& right) {
  if (left.size() != right.size()) return left.size() < right.size();
  return solution_precedes(left, shortest_word_length(left), right,
                           shortest_word_length(right));
}

bool solution_precedes(const Solution& left, std::uint64_t left_shortest,
                       const Solution& right, std::uint64_t right_shortest) {
  if (left.size() != right.size()) return left.size() < right.size();
  if (left_shortest != right_shortest) return left_shortest > right_shortest;
  return left < right;
}

SolutionList make_solution_list(std::vector<Solution> solutions) {
  std::sort(solutions.begin(), solutions.end(),
            [](const Solution& left, const Solution& right) {
              return solution_precedes(left, right);
            });
  SolutionList list;
  std::unordered_map<std::string_view, std::uint32_t> word_ids;
  // `list.words` may reallocate while it grows, so the map's keys view the
  // solutions' own strings, which stay put until the end of this function.
  std::vector<std::uint32_t> ids;
  for (const Solution& solution : solutions) {
    ids.clear();
    for (const std::string& word : solution) {
      auto [entry, inserted] = word_ids.try_emplace(
          word, static_cast<std::uint32_t>(list.words.size()));
      if (inserted) list.words.push_back(word);
      ids.push_back(entry->second);
    }
    if (list.groups.empty() ||
        list.groups.back().word_count != solution.size()) {
      list.groups.emplace_back().word_count = solution.size();
    }
    list.groups.back().append(ids.data());
  }
  return list;
}

}  // namespace vorpalyx
