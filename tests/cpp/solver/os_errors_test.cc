#include "solver/os_errors.h"

#include <gtest/gtest.h>

namespace vorpalyx {
namespace {

TEST(OsErrorTextTest, DescriptionThenNumber) {
  EXPECT_EQ(os_error_text(2), "No such file or directory (os error 2)");
  EXPECT_EQ(os_error_text(28), "No space left on device (os error 28)");
}

}  // namespace
}  // namespace vorpalyx
