// Huge pages for the large arrays of a search's solutions.
//
// A search with millions of solutions fills hundreds of megabytes that it
// has just allocated; with the kernel's ordinary 4 KiB pages, faulting them
// in costs a noticeable share of the search. advise_huge_pages asks the
// kernel to back a fresh allocation with 2 MiB pages instead, where it
// offers them (transparent huge pages in "madvise" or "always" mode).
//
// Invariant: only advice; the memory stays what it was, and nothing happens
// on a system without huge pages. Cost: one system call per large array.
//
// Tested by tests/cpp/solver/radix_sort_test.cc (arrays so advised sort
// as before).

#ifndef VORPALYX_SOLVER_HUGE_PAGES_H_
#define VORPALYX_SOLVER_HUGE_PAGES_H_

#include <cstddef>
#include <memory>

namespace vorpalyx {

// Arrays smaller than this are left to ordinary pages.
inline constexpr std::size_t kHugePageAdviceBytes = std::size_t{4} << 20;

// Advises huge pages for the 2 MiB-aligned part of [data, data + bytes),
// which should not have been touched yet.
void advise_huge_pages(void* data, std::size_t bytes);

// An array of `count` uninitialised elements, advised huge pages when
// large.
template <typename T>
std::unique_ptr<T[]> make_large_array(std::size_t count) {
  auto array = std::make_unique_for_overwrite<T[]>(count);
  if (count * sizeof(T) >= kHugePageAdviceBytes) {
    advise_huge_pages(array.get(), count * sizeof(T));
  }
  return array;
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_HUGE_PAGES_H_
