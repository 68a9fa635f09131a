// Work on a helper thread: a failure there reaches the caller, and the
// shared work is done once whether or not the helper runs.

#include "solver/two_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vorpalyx {
namespace {

TEST(HelperThreadTest, AFailureOnTheHelperIsRaisedByFinish) {
  HelperThread helper;
  std::thread::id ran_on;
  ASSERT_TRUE(helper.start([&] {
    ran_on = std::this_thread::get_id();
    throw std::runtime_error("helper failed");
  }));
  EXPECT_THROW(
      {
        try {
          helper.finish();
        } catch (const std::runtime_error& error) {
          EXPECT_STREQ(error.what(), "helper failed");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_NE(ran_on, std::this_thread::get_id());
  helper.finish();  // once raised, finished
}

class RunOnTwoThreadsTest : public testing::TestWithParam<bool> {};

TEST_P(RunOnTwoThreadsTest, SharedWorkIsDoneOnce) {
  std::vector<std::atomic<int>> done(10'000);
  std::atomic<std::size_t> next{0};
  run_on_two_threads(
      [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < done.size();) ++done[i];
      },
      GetParam());
  for (const std::atomic<int>& count : done) EXPECT_EQ(count.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutHelper, RunOnTwoThreadsTest,
                         testing::Bool());

}  // namespace
}  // namespace vorpalyx
