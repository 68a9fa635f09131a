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

void SolutionGroup::ids_at(std::size_t index, std::uint32_t* ids,
                           bool ids_hold_a_guess) const {
  if (id_bits == 0) {
    const std::size_t per_chunk = solutions_per_chunk();
    const std::uint32_t* row =
        chunks[index / per_chunk].data() + index % per_chunk * word_count;
    std::copy(row, row + word_count, ids);
  } else if (short_keys && numbering) {
    numbering->ids_of(short_keys[index], word_count, ids, ids_hold_a_guess);
  } else if (short_keys) {
    decode_key(short_keys[index], word_count, id_bits, ids);
  } else {
    decode_key(long_keys[index], word_count, id_bits, ids);
  }
}

std::size_t SolutionGroup::stored_bytes() const {
  std::size_t bytes = 0;
  for (const std::vector<std::uint32_t>& chunk : chunks) {
    bytes += chunk.capacity() * sizeof(std::uint32_t);
  }
  if (short_keys) bytes += solution_count * sizeof(std::uint64_t);
  if (long_keys) bytes += solution_count * sizeof(LongKey);
  return bytes;
}

std::pair<std::size_t, std::size_t> SolutionList::locate(
    std::size_t index) const {
  std::size_t group = 0;
  while (index >= groups[group].solution_count) {
    index -= groups[group].solution_count;
    ++group;
  }
  return {group, index};
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
