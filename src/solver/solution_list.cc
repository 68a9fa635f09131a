#include "solver/solution_list.h"

#include <algorithm>

namespace vorpalyx {

void SolutionGroup::add_chunk() {
  // About a megabyte of ids per chunk, and always room for one solution.
  constexpr std::size_t kChunkIds = std::size_t{1} << 18;
  chunks.emplace_back().reserve(
      std::max(word_count,
               kChunkIds / std::max<std::size_t>(word_count, 1) * word_count));
}

std::size_t SolutionList::size() const {
  std::size_t total = 0;
  for (const SolutionGroup& group : groups) total += group.solution_count;
  return total;
}

std::vector<Solution> SolutionList::to_vectors() const {
  std::vector<Solution> result;
  result.reserve(size());
  for (const SolutionGroup& group : groups) {
    group.for_each([&](const std::uint32_t* ids) {
      Solution& solution = result.emplace_back();
      for (std::size_t k = 0; k < group.word_count; ++k) {
        solution.push_back(words[ids[k]]);
      }
    });
  }
  return result;
}

}  // namespace vorpalyx
