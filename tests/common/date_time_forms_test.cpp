#include "common/date_time_forms.h"

#include <gtest/gtest.h>

namespace kvn {
namespace {

TEST(DateTimeForms, ZeroPadded) {
  EXPECT_EQ(DateForm({2026, 12, 6, 7, 5, 9}), "12-06-2026");
  EXPECT_EQ(TimeForm({2026, 12, 6, 7, 5, 9}), "07:05:09");
  EXPECT_EQ(DateForm({987, 1, 31, 23, 59, 59}), "01-31-0987");
  EXPECT_EQ(TimeForm({987, 1, 31, 23, 59, 59}), "23:59:59");
  EXPECT_EQ(TimeForm({}), "00:00:00");
}

}  // namespace
}  // namespace kvn
