#include "core/geometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace vellum {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(PlaceWindow, LimitsToA1024By768Screen) {
  struct Case {
    Bounds saved;
    std::int32_t left, top;
  } cases[] = {
      {{100, 100, 600, 400}, 100, 100},        // defaults fit
      {{2000, 100, 600, 400}, 424, 100},       // step 1 gives 924, step 2 gives 424
      {{950, 100, 50, 400}, 924, 100},         // step 1 only
      {{924, 100, 100, 400}, 924, 100},        // exactly at both limits: strict comparisons
      {{100, 700, 600, 400}, 100, 368},        // step 3 gives 738, step 4 gives 368
      {{100, 760, 600, 10}, 100, 738},         // step 3 only
      {{100, 100, 1200, 400}, -176, 100},      // wider than the screen
      {{100, 100, 600, 1000}, 100, -232},      // taller than the screen
      {{-5000, -300, 600, 400}, -5000, -300},  // off to the left and top: kept
      {{424, 368, 600, 400}, 424, 368},        // right and bottom edges exactly on the screen's
      {{425, 369, 600, 400}, 424, 368},
  };
  for (const Case& c : cases) {
    const Bounds placed = PlaceWindow(c.saved, 1024, 768);
    EXPECT_EQ(placed, (Bounds{c.left, c.top, c.saved.width, c.saved.height}))
        << c.saved.left << "," << c.saved.top << " " << c.saved.width << "x" << c.saved.height;
  }
}

TEST(PlaceWindow, ExtremeSavedValuesDoNotOverflow) {
  EXPECT_EQ(PlaceWindow({kMax, kMax, kMax, kMax}, 1024, 768),
            (Bounds{1024 - kMax, 768 - kMax, kMax, kMax}));
  EXPECT_EQ(PlaceWindow({kMin, kMin, kMax, kMax}, 1024, 768), (Bounds{kMin, kMin, kMax, kMax}));
  EXPECT_EQ(PlaceWindow({kMax, 0, kMin, 10}, 1024, 768), (Bounds{924, 0, kMin, 10}));
}

TEST(SnapToHost, DocksToTheHostsEdges) {
  const ScreenRect host{100, 100, 900, 700};
  struct Case {
    const char* what;
    std::int32_t raw_left, raw_top, width;
    Bounds expected;
  } cases[] = {
      {"right of the host, tops aligned", 905, 110, 300, {900, 100, 300, 400}},
      {"right edge on the host's left edge", -195, 300, 300, {-200, 300, 300, 400}},
      {"below the host", 400, 712, 300, {400, 700, 300, 400}},
      {"bottom edge on the host's top edge", 400, -290, 300, {400, -300, 300, 400}},
      {"exactly 25 away: no snap", 925, 125, 300, {925, 125, 300, 400}},
      {"24 away snaps", 924, 124, 300, {900, 100, 300, 400}},
      {"left edges aligned, width taken", 110, 300, 790, {100, 300, 800, 400}},
      {"left edges aligned, width 30 off kept", 110, 300, 770, {100, 300, 770, 400}},
      {"far away: nothing", 2000, 2000, 300, {2000, 2000, 300, 400}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SnapToHost(c.raw_left, c.raw_top, c.width, 400, host), c.expected) << c.what;
  }
}

TEST(SnapToHost, LaterSnapsOfOneAxisWin) {
  // A host 30 high: the top snaps to the host's bottom (step 1), then to its
  // top (step 2, within 25 of the new value).
  const ScreenRect thin{0, 100, 800, 120};
  EXPECT_EQ(SnapToHost(500, 118, 300, 400, thin).top, 100);
  // A viewer as high as the distance: bottom-to-top docking (step 3) wins.
  const ScreenRect host{100, 500, 900, 700};
  EXPECT_EQ(SnapToHost(1000, 105, 300, 400, host).top, 100);
}

TEST(SnapToHost, WithoutAHostTheWindowFollowsTheMouse) {
  EXPECT_EQ(SnapToHost(905, 110, 300, 400, std::nullopt), (Bounds{905, 110, 300, 400}));
  EXPECT_EQ(SnapToHost(kMax, kMin, 300, 400, ScreenRect{kMin, kMin, kMax, kMax}).width, 300);
}

TEST(RawDragPosition, MovesByTheMousesWay) {
  EXPECT_EQ(RawDragPosition({510, 220}, {500, 200}, {100, 100}), (ScreenPoint{110, 120}));
  EXPECT_EQ(RawDragPosition({kMax, kMin}, {kMin, kMax}, {kMax, kMin}), (ScreenPoint{kMax, kMin}));
}

}  // namespace
}  // namespace vellum

namespace vellum {
namespace {

TEST(KeepTitleBarReachable, OnlyAWindowWhoseTitleBarIsOnNoMonitorMoves) {
  const ScreenRect primary{0, 0, 1920, 1080};
  const ScreenRect left_of_it{-1280, 0, 0, 1024};
  const ScreenRect above_it{0, -1200, 1920, 0};
  const struct {
    const char* what;
    Bounds placed;
    std::vector<ScreenRect> monitors;
    Bounds expected;
  } cases[] = {
      {"on the primary", {100, 100, 600, 400}, {primary}, {100, 100, 600, 400}},
      {"on a monitor left of the primary",
       {-1000, 200, 600, 400},
       {primary, left_of_it},
       {-1000, 200, 600, 400}},
      {"on a monitor above the primary",
       {300, -900, 600, 400},
       {primary, above_it},
       {300, -900, 600, 400}},
      {"a sliver of the title bar on a monitor is enough",
       {-595, 10, 600, 400},
       {primary},
       {-595, 10, 600, 400}},
      {"only the body below the title bar on a monitor",
       {100, -30, 600, 400},
       {primary},
       {100, 0, 600, 400}},
      {"the monitor on the left is gone", {-1000, 200, 600, 400}, {primary}, {0, 200, 600, 400}},
      {"far beyond any monitor",
       {-50000, -40000, 600, 400},
       {primary, left_of_it},
       {0, 0, 600, 400}},
      {"larger than the primary", {-5000, 50, 2500, 1500}, {primary}, {0, 0, 2500, 1500}},
      {"a primary that does not start at 0,0",
       {-5000, 50, 600, 400},
       {{1920, 0, 3840, 1080}, primary},
       {1920, 50, 600, 400}},
      {"nothing known about the monitors", {-5000, -5000, 600, 400}, {}, {-5000, -5000, 600, 400}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(KeepTitleBarReachable(c.placed, c.monitors), c.expected) << c.what;
}

}  // namespace
}  // namespace vellum
