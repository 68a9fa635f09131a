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
  const std::size_t left_shortest = shortest_word_length(left);
  const std::size_t right_shortest = shortest_word_length(right);
  if (left_shortest != right_shortest) return left_shortest > right_shortest;
  return left < right;
}

SolutionList make_solution_list(std::vector<Solution> solutions) {
  std::sort(solutions.begin(), solutions.end(), solution_precedes);
  SolutionList list;
  list.solution_ends.reserve(solutions.size());
  std::unordered_map<std::string_view, std::uint32_t> word_ids;
  // `list.words` may reallocate while it grows, so the map's keys view the
  // solutions' own strings, which stay put until the end of this function.
  for (const Solution& solution : solutions) {
    for (const std::string& word : solution) {
      auto [entry, inserted] = word_ids.try_emplace(
          word, static_cast<std::uint32_t>(list.words.size()));
      if (inserted) list.words.push_back(word);
      list.word_ids.push_back(entry->second);
    }
    list.solution_ends.push_back(list.word_ids.size());
  }
  return list;
}

std::vector<Solution> SolutionList::to_vectors() const {
  std::vector<Solution> result(size());
  for (std::size_t i = 0; i < size(); ++i) {
    for (std::size_t k = solution_begin(i); k < solution_ends[i]; ++k) {
      result[i].push_back(words[word_ids[k]]);
    }
  }
  return result;
}

}  // namespace vorpalyx
