#include "core/design_scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

TEST(ScaleDesignValue, RoundsToNearestWithHalvesAwayFromZero) {
  struct Case {
    const char* what;
    std::int32_t value;
    std::int32_t measured;
    std::int32_t design;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {"design height leaves sizes alone", 286, 13, 13, 286},
      {"exact multiple", 286, 16, 13, 352},
      {"rounds down", 31, 16, 13, 38},  // 38.15
      {"rounds up", 592, 16, 13, 729},  // 728.6
      {"negative font height", -13, 16, 13, -16},
      {"negative rounds away from zero", -11, 16, 13, -14},  // -13.54
      {"negative rounds toward zero", -31, 16, 13, -38},     // -38.15
      {"smaller text shrinks", 950, 11, 13, 804},            // 803.8
      {"zero stays zero", 0, 20, 13, 0},
      {"positive half goes up", 1, 1, 2, 1},
      {"negative half goes down", -1, 1, 2, -1},
      {"three halves", 3, 1, 2, 2},
      {"negative design", 5, 1, -2, -3},
      {"zero design leaves the value", 42, 16, 0, 42},
      {"overflow saturates", std::numeric_limits<std::int32_t>::max(), 16, 13,
       std::numeric_limits<std::int32_t>::max()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::ScaleDesignValue(c.value, c.measured, c.design), c.expected);
  }
}

TEST(ScaleDesignValue, DefaultDesignIsThirteen) {
  EXPECT_EQ(core::ScaleDesignValue(31, 16), 38);
  EXPECT_EQ(core::ScaleDesignValue(-11, 16), -14);
}

}  // namespace
