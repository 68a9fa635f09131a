#include "solver/page_array.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace vorpalyx {
namespace {

bool is_mapped(std::size_t bytes) { return bytes >= kMappedBytes; }

std::size_t mapped_size(std::size_t bytes) {
  static const std::size_t page =
      static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

}  // namespace

void* allocate_pages(std::size_t bytes) {
  if (!is_mapped(bytes)) {
    // malloc's alignment serves every key type, 128-bit ones included.
    void* data = std::malloc(bytes == 0 ? 1 : bytes);
    if (data == nullptr) throw std::bad_alloc();
    return data;
  }
  if (bytes > SIZE_MAX / 2) throw std::bad_alloc();
  void* data = mmap(nullptr, mapped_size(bytes), PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  return data;
}

void* resize_pages(void* data, std::size_t old_bytes, std::size_t new_bytes,
                   std::size_t kept) {
#ifdef MREMAP_MAYMOVE
  if (is_mapped(old_bytes) && is_mapped(new_bytes)) {
    if (new_bytes > SIZE_MAX / 2) throw std::bad_alloc();
    void* moved = mremap(data, mapped_size(old_bytes), mapped_size(new_bytes),
                         MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) throw std::bad_alloc();
    return moved;
  }
#endif
  if (!is_mapped(old_bytes) && !is_mapped(new_bytes)) {
    void* moved = std::realloc(data, new_bytes == 0 ? 1 : new_bytes);
    if (moved == nullptr) throw std::bad_alloc();
    return moved;
  }
  void* moved = allocate_pages(new_bytes);
  if (kept != 0) std::memcpy(moved, data, kept);
  PageRelease{old_bytes}(data);
  return moved;
}

void PageRelease::operator()(void* data) const {
  if (is_mapped(bytes)) {
    munmap(data, mapped_size(bytes));
  } else {
    std::free(data);
  }
}

}  // namespace vorpalyx
