// Multiset numbers against the sorted id lists they stand for: every
// multiset of a few small sizes, numbered in order and read back.

#include "solver/multiset_numbering.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vorpalyx {
namespace {

// Calls `visit` with every ascending list of `size` ids below `id_count`,
// in lexicographic order.
template <typename Visit>
void for_each_multiset(std::uint32_t id_count, std::size_t size,
                       Visit&& visit) {
  std::vector<std::uint32_t> ids(size, 0);
  for (;;) {
    visit(ids);
    std::size_t i = size;
    while (i > 0 && ids[i - 1] + 1 == id_count) --i;
    if (i == 0) return;
    ++ids[i - 1];
    for (std::size_t j = i; j < size; ++j) ids[j] = ids[i - 1];
  }
}

TEST(MultisetNumberingTest, NumbersEveryMultisetInOrderAndReadsItBack) {
  for (std::uint32_t id_count : {1u, 2u, 3u, 7u}) {
    const MultisetNumbering numbering(id_count, 5);
    for (std::size_t size = 1; size <= 5; ++size) {
      std::uint64_t expected = 0;
      std::vector<std::uint32_t> previous;
      for_each_multiset(
          id_count, size, [&](const std::vector<std::uint32_t>& ids) {
            // Each id in turn as the one merged in: its place must not
            // matter. Along a run of every id, each multiset comes in turn.
            for (std::size_t place = 0; place < size; ++place) {
              std::vector<std::uint32_t> others = ids;
              others.erase(others.begin() + place);
              ASSERT_EQ(
                  numbering.number(others.data(), others.size(), ids[place]),
                  expected);
              std::vector<std::uint32_t> every(id_count);
              for (std::uint32_t id = 0; id < id_count; ++id) every[id] = id;
              std::uint32_t last = 0;
              numbering.number_each(
                  others.data(), others.size(), every.data(), every.size(),
                  [&](std::uint64_t number) {
                    ASSERT_EQ(number, numbering.number(others.data(),
                                                       others.size(), last));
                    ++last;
                  });
            }
            std::vector<std::uint32_t> read(size);
            numbering.ids_of(expected, size, read.data());
            ASSERT_EQ(read, ids) << "number " << expected;
            // From the previous multiset as a guess, as a run is read back.
            if (expected > 0) {
              numbering.ids_of(expected, size, previous.data(), true);
              ASSERT_EQ(previous, ids) << "number " << expected;
            }
            previous = ids;
            ++expected;
          });
      std::uint64_t largest = 0;
      ASSERT_TRUE(numbering.fits(size, &largest));
      EXPECT_EQ(largest + 1, expected) << id_count << " ids, size " << size;
    }
  }
}

TEST(MultisetNumberingTest, TellsWhichSizesFitInSixtyFourBits) {
  // C(1161 + 7 - 1, 7) is about 5.8e17; C(1161 + 8 - 1, 8) about 8.5e19.
  const MultisetNumbering numbering(1161, 8);
  std::uint64_t largest = 0;
  EXPECT_TRUE(numbering.fits(7, &largest));
  EXPECT_EQ(largest, 574'428'313'681'684'802u);  // C(1167, 7) - 1
  EXPECT_FALSE(numbering.fits(8, &largest));
  EXPECT_FALSE(numbering.fits(9, &largest));
  EXPECT_FALSE(numbering.fits(0, &largest));

  // The last multiset of 7 (all ids 1160) reads back.
  std::vector<std::uint32_t> ids(7);
  ASSERT_TRUE(numbering.fits(7, &largest));
  numbering.ids_of(largest, 7, ids.data());
  EXPECT_EQ(ids, std::vector<std::uint32_t>(7, 1160));
  numbering.ids_of(0, 7, ids.data());
  EXPECT_EQ(ids, std::vector<std::uint32_t>(7, 0));
}

}  // namespace
}  // namespace vorpalyx
