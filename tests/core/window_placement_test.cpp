#include "core/window_placement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "geometry_printing.h"

namespace {

using core::Point;
using core::Rect;

TEST(CenterOnDesktop, HalvesTruncatedSeparatelyAndClampedToTopLeft) {
  struct Case {
    const char* what;
    core::DesktopArea desktop;
    std::int32_t width;
    std::int32_t height;
    Point expected;
  };
  const std::vector<Case> cases = {
      {"single 1920 x 1080 monitor", {0, 0, 1920, 1080}, 286, 31, {817, 525}},
      {"two monitors side by side", {0, 0, 3840, 1080}, 286, 31, {1777, 525}},
      {"second monitor on the left", {-1920, 0, 3840, 1080}, 286, 31, {-143, 525}},
      {"monitor above the primary", {0, -1080, 1920, 2160}, 286, 31, {817, -15}},
      // Halving the difference instead would give (1920 - 287) / 2 = 816.
      {"odd window on an even desktop", {0, 0, 1920, 1080}, 287, 31, {817, 525}},
      {"odd desktop", {0, 0, 1921, 1081}, 288, 32, {816, 524}},
      {"window wider and taller than the desktop", {0, 0, 800, 600}, 966, 631, {0, 0}},
      {"too large on a desktop with negative origin", {-1920, -100, 800, 600}, 966, 631, {-1920, -100}},
      {"window exactly the desktop's size", {0, 0, 1024, 768}, 1024, 768, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::CenterOnDesktop(c.desktop, c.width, c.height), c.expected);
  }
}

TEST(MoveToMonitor, KeepsOffsetAndPullsBackInsideRightAndBottom) {
  const Rect primary{0, 0, 1920, 1080};
  const Rect right_of_primary{1920, 0, 3840, 1080};
  const Rect small_left{-1024, 200, 0, 968};
  struct Case {
    const char* what;
    Rect window;
    Rect own;
    Rect target;
    Point expected;
  };
  const std::vector<Case> cases = {
      {"same offset on the target", {2020, 100, 2986, 731}, right_of_primary, primary, {100, 100}},
      {"other direction", {100, 100, 1066, 731}, primary, right_of_primary, {2020, 100}},
      {"pulled back inside the right edge", {3500, 100, 4466, 731}, right_of_primary, primary, {954, 100}},
      {"pulled back inside the bottom edge", {100, 900, 600, 1531}, primary, small_left, {-924, 337}},
      {"pulled back in both directions", {1800, 1000, 2766, 1631}, primary, small_left, {-966, 337}},
      {"wider than the target keeps right edges flush", {100, 100, 1300, 300}, primary, small_left, {-1200, 300}},
      {"negative offset kept", {1900, -20, 2866, 611}, right_of_primary, primary, {-20, -20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::MoveToMonitor(c.window, c.own, c.target), c.expected);
  }
}

}  // namespace
