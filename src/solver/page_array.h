// PageArray: a large array of plain values whose memory, once large, is
// mapped for it alone and grows without being copied.
//
// A search with millions of solutions fills hundreds of megabytes that it
// has just allocated, and the kernel must fault in and clear every fresh
// page, a noticeable share of the search. Arrays mapped on their own grow by
// moving their pages (mremap) rather than copying them, so an array that
// doubles as solutions come costs no more fresh memory than its final size,
// and none of it is left to the allocator's heap afterwards.
//
// Invariant: an array's deleter holds its capacity in bytes; arrays of at
// least kMappedBytes are mapped on their own, rounded up to whole pages,
// and unmapped when released; smaller ones come from malloc. Elements are
// left uninitialised, so T must be trivially copyable. Cost: a system call
// to map, grow or unmap a large array; growing a small one copies it.
//
// Tested by tests/cpp/solver/radix_sort_test.cc.

#ifndef VORPALYX_SOLVER_PAGE_ARRAY_H_
#define VORPALYX_SOLVER_PAGE_ARRAY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

namespace vorpalyx {

// Returns the memory of a PageArray of `bytes` bytes of capacity.
struct PageRelease {
  std::size_t bytes = 0;
  void operator()(void* data) const;
};

template <typename T>
using PageArray = std::unique_ptr<T[], PageRelease>;

// Arrays from this size on are mapped on their own.
inline constexpr std::size_t kMappedBytes = std::size_t{4} << 20;

// `bytes` of memory for a PageArray; throws std::bad_alloc when there is
// none.
void* allocate_pages(std::size_t bytes);

// Moves the first `kept` bytes of the memory at `data` (of `old_bytes`)
// into memory of `new_bytes`, frees the old and returns the new; leaves
// `data` as it was and throws std::bad_alloc when there is none.
void* resize_pages(void* data, std::size_t old_bytes, std::size_t new_bytes,
                   std::size_t kept);

template <typename T>
std::size_t capacity_of(const PageArray<T>& array) {
  return array.get_deleter().bytes / sizeof(T);
}

// An uninitialised array of `count` elements.
template <typename T>
PageArray<T> make_page_array(std::size_t count) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
  const std::size_t bytes = count * sizeof(T);
  return PageArray<T>(static_cast<T*>(allocate_pages(bytes)),
                      PageRelease{bytes});
}

// Gives `array` a capacity of `count` elements, keeping its first `kept`.
template <typename T>
void resize_page_array(PageArray<T>& array, std::size_t count,
                       std::size_t kept) {
  if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
  const std::size_t bytes = count * sizeof(T);
  void* data = resize_pages(array.get(), array.get_deleter().bytes, bytes,
                            kept * sizeof(T));
  (void)array.release();
  array = PageArray<T>(static_cast<T*>(data), PageRelease{bytes});
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_PAGE_ARRAY_H_
