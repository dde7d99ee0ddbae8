#include "core/docking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "geometry_printing.h"

namespace {

using core::akBottom;
using core::akLeft;
using core::akRight;
using core::akTop;
using core::Point;
using core::Rect;

// The primary screen and the bar at its layout size.
constexpr std::int32_t SW = 1920;
constexpr std::int32_t SH = 1080;
constexpr std::int32_t W = 286;
constexpr std::int32_t H = 31;

struct ClampCase {
  const char* what;
  Rect proposed;
  Rect clamped;
  std::uint8_t anchors;
};

void ExpectClamped(const std::vector<ClampCase>& cases, std::int32_t sw, std::int32_t sh) {
  for (const ClampCase& c : cases) {
    SCOPED_TRACE(c.what);
    Rect r = c.proposed;
    const std::uint8_t anchors = core::ClampMovingRect(r, sw, sh, W, H);
    EXPECT_EQ(r, c.clamped);
    EXPECT_EQ(anchors, c.anchors);
  }
}

TEST(ClampMovingRect, EachEdgeStopsAndDocksTheBar) {
  ExpectClamped(
      {
          {"past the left edge", {-40, 500, 246, 531}, {0, 500, 286, 531}, akLeft},
          {"past the right edge", {1700, 500, 1986, 531}, {1634, 500, 1920, 531}, akRight},
          {"past the top edge", {800, -10, 1086, 21}, {800, 0, 1086, 31}, akTop},
          {"past the bottom edge", {800, 1060, 1086, 1091}, {800, 1049, 1086, 1080}, akBottom},
          {"onto a monitor right of the primary", {2500, 500, 2786, 531}, {1634, 500, 1920, 531}, akRight},
          {"onto a monitor left of the primary", {-2000, 500, -1714, 531}, {0, 500, 286, 531}, akLeft},
          {"from the strip of a bar hidden left", {-284, 500, 2, 531}, {0, 500, 286, 531}, akLeft},
          {"in the open", {800, 500, 1086, 531}, {800, 500, 1086, 531}, 0},
      },
      SW, SH);
}

TEST(ClampMovingRect, OnlyExactContactDocks) {
  ExpectClamped(
      {
          {"left 0", {0, 500, 286, 531}, {0, 500, 286, 531}, akLeft},
          {"left 1", {1, 500, 287, 531}, {1, 500, 287, 531}, 0},
          {"left 1634", {1634, 500, 1920, 531}, {1634, 500, 1920, 531}, akRight},
          {"left 1633", {1633, 500, 1919, 531}, {1633, 500, 1919, 531}, 0},
          {"top 0", {800, 0, 1086, 31}, {800, 0, 1086, 31}, akTop},
          {"top 1", {800, 1, 1086, 32}, {800, 1, 1086, 32}, 0},
          {"top 1049", {800, 1049, 1086, 1080}, {800, 1049, 1086, 1080}, akBottom},
          {"top 1048", {800, 1048, 1086, 1079}, {800, 1048, 1086, 1079}, 0},
      },
      SW, SH);
}

TEST(ClampMovingRect, CornersDockToBothEdges) {
  ExpectClamped(
      {
          {"just past top-left", {-5, -5, 281, 26}, {0, 0, 286, 31}, akLeft | akTop},
          {"far past top-left", {-3000, -3000, -2714, -2969}, {0, 0, 286, 31}, akLeft | akTop},
          {"past bottom-right", {1700, 1070, 1986, 1101}, {1634, 1049, 1920, 1080}, akRight | akBottom},
          {"past top-right", {1900, -50, 2186, -19}, {1634, 0, 1920, 31}, akTop | akRight},
          {"past bottom-left", {-50, 2000, 236, 2031}, {0, 1049, 286, 1080}, akLeft | akBottom},
      },
      SW, SH);
}

TEST(ClampMovingRect, EachCoordinateIsClampedOnItsOwn) {
  ExpectClamped(
      {
          {"smaller than the bar, top-left", {-10, -10, 100, 10}, {0, 0, 286, 31}, akLeft | akTop},
          {"larger than the screen", {-10, -10, 3000, 3000}, {0, 0, 1920, 1080}, akLeft | akTop | akRight | akBottom},
          {"inverted rectangle", {500, 500, 100, 100}, {500, 500, 286, 100}, 0},
      },
      SW, SH);
}

TEST(ClampMovingRect, RangeOnA1920By1080Screen) {
  for (std::int32_t left = -4000; left <= 6000; left += 37) {
    for (std::int32_t top = -2000; top <= 3000; top += 53) {
      Rect r{left, top, left + W, top + H};
      core::ClampMovingRect(r, SW, SH, W, H);
      ASSERT_GE(r.left, 0);
      ASSERT_LE(r.left, 1634);
      ASSERT_GE(r.top, 0);
      ASSERT_LE(r.top, 1049);
      ASSERT_EQ(r.right - r.left, W) << "a bar-sized proposal keeps its size";
      ASSERT_EQ(r.bottom - r.top, H);
    }
  }
}

TEST(ClampMovingRect, ScreenSmallerThanTheBar) {
  ExpectClamped(
      {
          {"200 wide, proposed far left", {-500, 500, -214, 531}, {-86, 500, 200, 531}, akRight},
          {"200 wide, proposed at 0", {0, 500, 286, 531}, {-86, 500, 200, 531}, akRight},
          {"200 wide, proposed far right", {900, 500, 1186, 531}, {-86, 500, 200, 531}, akRight},
      },
      200, SH);
  ExpectClamped({{"exactly as wide", {-40, 500, 246, 531}, {0, 500, 286, 531}, akLeft | akRight}}, W, SH);
  ExpectClamped(
      {
          {"20 high, proposed above", {800, -100, 1086, -69}, {800, -11, 1086, 20}, akBottom},
          {"20 high, proposed below", {800, 400, 1086, 431}, {800, -11, 1086, 20}, akBottom},
      },
      SW, 20);
  ExpectClamped({{"exactly as tall", {800, 5, 1086, 36}, {800, 0, 1086, 31}, akTop | akBottom}}, SW, H);
}

struct SlideCase {
  const char* what;
  std::uint8_t anchors;
  Point current;
  Point shown;
  Point hidden;
};

void ExpectSlides(const std::vector<SlideCase>& cases, std::int32_t sw, std::int32_t sh) {
  for (const SlideCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::SlidePosition(c.anchors, true, sw, sh, W, H, c.current), c.shown);
    EXPECT_EQ(core::SlidePosition(c.anchors, false, sw, sh, W, H, c.current), c.hidden);
  }
}

TEST(SlidePosition, ShownAndHiddenPerEdge) {
  ExpectSlides(
      {
          {"left keeps Top", akLeft, {0, 500}, {0, 500}, {-284, 500}},
          {"top keeps Left", akTop, {800, 0}, {800, 0}, {800, -29}},
          {"right keeps Top", akRight, {1634, 500}, {1634, 500}, {1918, 500}},
          {"bottom keeps Left", akBottom, {800, 1049}, {800, 1049}, {800, 1078}},
          {"top-left corner", akLeft | akTop, {0, 0}, {0, 0}, {-284, -29}},
          {"bottom-right corner", akRight | akBottom, {1634, 1049}, {1634, 1049}, {1918, 1078}},
          {"from the hidden place", akLeft, {-284, 500}, {0, 500}, {-284, 500}},
          {"not docked stays put", 0, {800, 500}, {800, 500}, {800, 500}},
      },
      SW, SH);
}

// Part of the bar that lies on the primary screen.
Rect OnScreen(Point p, std::int32_t sw, std::int32_t sh) {
  return {std::max(p.x, 0), std::max(p.y, 0), std::min(p.x + W, sw), std::min(p.y + H, sh)};
}

TEST(SlidePosition, HiddenBarLeavesATwoPixelStrip) {
  struct Case {
    const char* what;
    std::uint8_t anchors;
    Point current;
    Rect visible;
  };
  const std::vector<Case> cases = {
      {"left: columns 0 and 1", akLeft, {0, 500}, {0, 500, 2, 531}},
      {"top: rows 0 and 1", akTop, {800, 0}, {800, 0, 1086, 2}},
      {"right: columns 1918 and 1919", akRight, {1634, 500}, {1918, 500, 1920, 531}},
      {"bottom: rows 1078 and 1079", akBottom, {800, 1049}, {800, 1078, 1086, 1080}},
      {"top-left corner: a 2 x 2 square", akLeft | akTop, {0, 0}, {0, 0, 2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Point hidden = core::SlidePosition(c.anchors, false, SW, SH, W, H, c.current);
    EXPECT_EQ(OnScreen(hidden, SW, SH), c.visible);
  }
}

TEST(SlidePosition, FollowsTheCurrentScreenSize) {
  ExpectSlides({{"display mode 1280 wide, docked right", akRight, {1634, 500}, {994, 500}, {1278, 500}}}, 1280, SH);
  ExpectSlides({{"screen 200 wide", akRight, {-86, 500}, {-86, 500}, {198, 500}}}, 200, SH);
}

TEST(SlidePosition, RightWinsOverLeftAndBottomOverTop) {
  // Left alone would hide at -284 and top alone at -29.
  ExpectSlides({{"exactly as wide", akLeft | akRight, {0, 500}, {0, 500}, {284, 500}}}, W, SH);
  ExpectSlides({{"exactly as tall", akTop | akBottom, {800, 0}, {800, 0}, {800, 29}}}, SW, H);
}

TEST(Docking, DragThenSlideRoundTrip) {
  Rect r{-40, 500, 246, 531};
  const std::uint8_t anchors = core::ClampMovingRect(r, SW, SH, W, H);
  const Point docked{r.left, r.top};
  const Point hidden = core::SlidePosition(anchors, false, SW, SH, W, H, docked);
  EXPECT_EQ(core::SlidePosition(anchors, true, SW, SH, W, H, hidden), docked);
  EXPECT_EQ(core::SlidePosition(anchors, false, SW, SH, W, H, hidden), hidden) << "a hidden bar at rest stays";
}

}  // namespace
