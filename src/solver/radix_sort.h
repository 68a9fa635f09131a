// A most significant digit first radix sort of unsigned integer keys.
//
// Keys of `key_bits` bits are spread by their top digit, then each range by
// the next digit, the two buffers alternating as source and target of the
// passes. Large ranges take 11 bits at a time, smaller ones 8 or 6 (fewer
// counters to clear); the high bits that all keys of a range share are
// skipped; ranges of a few dozen keys are sorted by comparison. A range that
// fits in the core's cache and differs in at most 66 bits is finished least
// significant digit first instead: one pass counts every digit, then one
// pass per digit moves the keys, where spreading by the top digit would leave
// thousands of small ranges, each with its own counters and comparison sort.
//
// Invariant: the result is exactly std::sort's, or, for a sort stopped by
// its deadline, the smallest keys in order. Cost: one or two passes over the
// keys per digit of the range's differing bits, with a scratch buffer as
// large as the keys.
//
// Tested by tests/cpp/solver/radix_sort_test.cc (against std::sort).

#ifndef VORPALYX_SOLVER_RADIX_SORT_H_
#define VORPALYX_SOLVER_RADIX_SORT_H_

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "solver/key_blocks.h"
#include "solver/page_array.h"

namespace vorpalyx {
namespace radix_sort_detail {

constexpr std::size_t kInsertionSortSize = 32;
constexpr std::size_t kRadixSortSize = 64;
// Ranges sorted least significant digit first: from this many keys (fewer
// pay more for their counters than they save), up to what a core's cache
// holds (measured on the project's machine kind), in up to 6 digits.
constexpr std::size_t kDigitsUpFrom = 512;
constexpr std::size_t kDigitsUpTo = std::size_t{1} << 20;
constexpr int kMostDigits = 6;
constexpr int kDigitBits = 11;
// A sort with a deadline reads the clock once per this many keys sorted: a
// few milliseconds.
constexpr std::size_t kKeysPerClockCheck = std::size_t{1} << 16;

template <typename Key>
void insertion_sort(Key* keys, std::size_t count) {
  for (std::size_t i = 1; i < count; ++i) {
    const Key key = keys[i];
    std::size_t j = i;
    for (; j > 0 && key < keys[j - 1]; --j) keys[j] = keys[j - 1];
    keys[j] = key;
  }
}

template <typename Key>
int bit_width(Key key) {
  if constexpr (sizeof(Key) > sizeof(std::uint64_t)) {
    const auto high = static_cast<std::uint64_t>(key >> 64);
    return high != 0 ? 64 + std::bit_width(high)
                     : std::bit_width(static_cast<std::uint64_t>(key));
  } else {
    return std::bit_width(key);
  }
}

// Sorts the `count` keys at `data` (at most UINT32_MAX), whose bits from
// `top_bit` (at most kMostDigits * kDigitBits) up are all equal, digit by
// digit from the lowest, into `data` when `data_is_home` and otherwise into
// `other`.
template <typename Key>
void sort_by_low_digits(Key* data, Key* other, std::size_t count, int top_bit,
                        bool data_is_home) {
  const int digits = (top_bit + kDigitBits - 1) / kDigitBits;
  const int digit_bits = (top_bit + digits - 1) / digits;
  const std::size_t mask = (std::size_t{1} << digit_bits) - 1;
  std::array<std::array<std::uint32_t, 1 << kDigitBits>, kMostDigits> counts;
  for (int digit = 0; digit < digits; ++digit) {
    std::fill(counts[digit].begin(), counts[digit].begin() + mask + 1, 0);
  }
  // One counting loop per number of digits, so that each key's digits are
  // counted without a loop of their own.
  auto count_digits = [&]<int kDigits>() {
    for (std::size_t i = 0; i < count; ++i) {
      const Key key = data[i];
      for (int digit = 0; digit < kDigits; ++digit) {
        ++counts[digit]
                [static_cast<std::size_t>(key >> (digit * digit_bits)) & mask];
      }
    }
  };
  switch (digits) {
    case 1:
      count_digits.template operator()<1>();
      break;
    case 2:
      count_digits.template operator()<2>();
      break;
    case 3:
      count_digits.template operator()<3>();
      break;
    case 4:
      count_digits.template operator()<4>();
      break;
    case 5:
      count_digits.template operator()<5>();
      break;
    default:
      count_digits.template operator()<kMostDigits>();
      break;
  }
  Key* source = data;
  Key* target = other;
  for (int digit = 0; digit < digits; ++digit) {
    std::array<std::uint32_t, 1 << kDigitBits>& next = counts[digit];
    const int shift = digit * digit_bits;
    // A digit that every key shares moves nothing.
    if (next[static_cast<std::size_t>(source[0] >> shift) & mask] == count) {
      continue;
    }
    std::uint32_t start = 0;
    for (std::size_t value = 0; value <= mask; ++value) {
      const std::uint32_t keys = next[value];
      next[value] = start;
      start += keys;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const Key key = source[i];
      target[next[static_cast<std::size_t>(key >> shift) & mask]++] = key;
    }
    std::swap(source, target);
  }
  Key* const home = data_is_home ? data : other;
  if (source != home) std::copy(source, source + count, home);
}

// Sorts the `count` keys at `data`, whose bits from `top_bit` up are all
// equal, into `data` itself when `data_is_home` and otherwise into `other`.
template <typename Key>
void sort_into(Key* data, Key* other, std::size_t count, int top_bit,
               bool data_is_home) {
  if (count > kRadixSortSize && top_bit > 0) {
    // The high bits that all keys share (common: the ranks of the first
    // words) need no pass of their own. One pass finds them, where counting
    // digits that every key shares would increment one counter per key, a
    // chain of dependent stores.
    Key differing = 0;
    for (std::size_t i = 1; i < count; ++i) differing |= data[i] ^ data[0];
    top_bit = std::min(top_bit, bit_width(differing));
  }
  if (count >= kDigitsUpFrom && count <= kDigitsUpTo && top_bit > 0 &&
      top_bit <= kMostDigits * kDigitBits) {
    sort_by_low_digits(data, other, count, top_bit, data_is_home);
    return;
  }
  // (Counters are 32 bits wide; a range of 2^32 keys is sorted by
  // comparison.)
  if (count > kRadixSortSize && top_bit > 0 && count <= UINT32_MAX) {
    const int digit_bits = count >= (std::size_t{1} << 16) ? 11
                           : count >= 2048                 ? 8
                                                           : 6;
    const int shift = std::max(top_bit - digit_bits, 0);
    const std::size_t mask = (std::size_t{1} << (top_bit - shift)) - 1;
    // Two counters per digit, for alternate keys: neighbouring keys often
    // share a digit, and one counter would chain their increments.
    std::array<std::uint32_t, (1 << 11) + 1> even;
    std::array<std::uint32_t, (1 << 11) + 1> odd;
    std::fill(even.begin(), even.begin() + mask + 2, 0);
    std::fill(odd.begin(), odd.begin() + mask + 2, 0);
    std::size_t i = 0;
    for (; i + 1 < count; i += 2) {
      ++even[(static_cast<std::size_t>(data[i] >> shift) & mask) + 1];
      ++odd[(static_cast<std::size_t>(data[i + 1] >> shift) & mask) + 1];
    }
    if (i < count)
      ++even[(static_cast<std::size_t>(data[i] >> shift) & mask) + 1];
    std::array<std::size_t, (1 << 11) + 1> starts;
    for (std::size_t digit = 0; digit <= mask + 1; ++digit) {
      starts[digit] = std::size_t{even[digit]} + odd[digit];
    }
    for (std::size_t digit = 1; digit <= mask + 1; ++digit) {
      starts[digit] += starts[digit - 1];
    }
    std::array<std::size_t, 1 << 11> next;
    std::copy(starts.begin(), starts.begin() + mask + 1, next.begin());
    for (std::size_t i = 0; i < count; ++i) {
      other[next[static_cast<std::size_t>(data[i] >> shift) & mask]++] =
          data[i];
    }
    for (std::size_t digit = 0; digit <= mask; ++digit) {
      sort_into(other + starts[digit], data + starts[digit],
                starts[digit + 1] - starts[digit], shift, !data_is_home);
    }
    return;
  }
  if (count > kInsertionSortSize) {
    std::sort(data, data + count);
  } else {
    insertion_sort(data, count);
  }
  if (!data_is_home) std::copy(data, data + count, other);
}

}  // namespace radix_sort_detail

// Sorts the `count` keys at `keys`, all below 2^key_bits, in place.
template <typename Key>
void radix_sort(Key* keys, std::size_t count, int key_bits) {
  auto scratch = make_page_array<Key>(count);
  radix_sort_detail::sort_into(keys, scratch.get(), count, key_bits, true);
}

// Sorts the keys of `blocks` (all below 2^key_bits) and returns them in
// the first block, grown to hold them all. Keys that fit in the core's cache
// are gathered into that block and sorted as one range; more are spread by
// their top `top_digit_bits` bits (fewer for fewer keys) from the blocks into
// `scratch`. The scratch grows as needed and is kept for the next sort, so
// that sorting many buckets in turn takes fresh memory only for the largest.
// With a `deadline`, the sort stops at the first range of the top digit
// that starts after it: `*sorted_count` tells how many keys, the smallest
// ones, were sorted (all of them when it did not stop).
template <typename Key>
PageArray<Key> radix_sort(
    KeyBlocks<Key>& blocks, int key_bits, int top_digit_bits,
    PageArray<Key>& scratch, std::size_t* sorted_count = nullptr,
    const std::chrono::steady_clock::time_point* deadline = nullptr) {
  const std::size_t count = blocks.size();
  if (capacity_of(scratch) < count) {
    scratch.reset();
    scratch = make_page_array<Key>(count);
  }
  // Keys that fit in the core's cache are sorted as one range: spreading
  // them by their top digit first would leave ranges of a few dozen keys
  // each, every one sorted by comparison. (Fewer keys than are sorted
  // between two reads of the clock cannot be stopped part way anyway.)
  if (count >= radix_sort_detail::kDigitsUpFrom &&
      count <= radix_sort_detail::kDigitsUpTo &&
      (deadline == nullptr || count < radix_sort_detail::kKeysPerClockCheck)) {
    // The first block keeps its keys in place; the others' wait in the
    // scratch until it has grown to take them.
    std::size_t first_count = 0;
    Key* gathered = nullptr;
    blocks.for_each_block([&](const Key* begin, const Key* end) {
      if (gathered == nullptr) {
        first_count = static_cast<std::size_t>(end - begin);
        gathered = scratch.get() + first_count;
      } else {
        gathered = std::copy(begin, end, gathered);
      }
    });
    PageArray<Key> sorted = blocks.take_first(count);
    std::copy(scratch.get() + first_count, scratch.get() + count,
              sorted.get() + first_count);
    // A digit that every key shares moves nothing, so keys that fit the
    // digits are counted at once, without a pass to find their shared bits.
    if (key_bits <=
        radix_sort_detail::kMostDigits * radix_sort_detail::kDigitBits) {
      radix_sort_detail::sort_by_low_digits(sorted.get(), scratch.get(), count,
                                            key_bits, true);
    } else {
      radix_sort_detail::sort_into(sorted.get(), scratch.get(), count, key_bits,
                                   true);
    }
    if (sorted_count != nullptr) *sorted_count = count;
    return sorted;
  }
  // Fewer keys take fewer bits of the top digit, so that a range still holds
  // a few keys: a small bucket would otherwise pay for clearing and visiting
  // tens of thousands of empty ranges.
  const int digit_bits =
      std::min({top_digit_bits, key_bits,
                std::max(1, static_cast<int>(std::bit_width(count)) - 3)});
  const int shift = key_bits - digit_bits;
  std::vector<std::size_t> starts((std::size_t{1} << digit_bits) + 1);
  blocks.for_each_block([&](const Key* begin, const Key* end) {
    for (; begin != end; ++begin) {
      ++starts[static_cast<std::size_t>(*begin >> shift) + 1];
    }
  });
  for (std::size_t digit = 1; digit < starts.size(); ++digit) {
    starts[digit] += starts[digit - 1];
  }
  std::vector<std::size_t> next(starts.begin(), starts.end() - 1);
  Key* const spread = scratch.get();
  blocks.for_each_block([&](const Key* begin, const Key* end) {
    for (; begin != end; ++begin) {
      spread[next[static_cast<std::size_t>(*begin >> shift)]++] = *begin;
    }
  });
  PageArray<Key> sorted = blocks.take_first(count);
  std::size_t checked_at = 0;
  std::size_t digit = 0;
  for (; digit + 1 < starts.size(); ++digit) {
    if (deadline != nullptr &&
        starts[digit] - checked_at >= radix_sort_detail::kKeysPerClockCheck) {
      checked_at = starts[digit];
      if (std::chrono::steady_clock::now() > *deadline) break;
    }
    radix_sort_detail::sort_into(
        spread + starts[digit], sorted.get() + starts[digit],
        starts[digit + 1] - starts[digit], shift, false);
  }
  if (sorted_count != nullptr) *sorted_count = starts[digit];
  return sorted;
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_RADIX_SORT_H_
