#include <gtest/gtest.h>

#include "ui/window_layout.h"

namespace ui {
namespace {

// The default skin: a 600 x 340 window, 14-pixel tiles, a 300 x 24 status backdrop.
TEST(WindowLayout, DefaultSkinGeometry) {
  const WindowLayout l = ComputeLayout(600, 340, 14, 300, 24);
  EXPECT_EQ(l.titleRect, (Rect{48, 9, 348, 32}));
  EXPECT_EQ(l.bandRect, (Rect{95, 140, 540, 154}));
  EXPECT_EQ(l.bandRect.Width(), kBandWidth);
  EXPECT_EQ(l.nameRect, (Rect{95, 98, 395, 112}));
  EXPECT_EQ(l.statusRect, (Rect{240, 164, 540, 188}));
  EXPECT_EQ(l.closeRect, (Rect{571, 7, 594, 30}));
  EXPECT_EQ(l.minRect, (Rect{542, 7, 565, 30}));
  EXPECT_EQ(BandImageRect(l), (Rect{94, 140, 591, 155}));
  EXPECT_EQ(BandInvalidRect(l, 600), (Rect{93, 138, 591, 156}));
  EXPECT_EQ(DragStrip(600), (Rect{0, 0, 550, 32}));
  // The close glyph lies outside the drag strip, part of the minimise glyph inside.
  EXPECT_GE(l.closeRect.left, DragStrip(600).right);
  EXPECT_LT(l.minRect.left, DragStrip(600).right);
}

TEST(WindowLayout, OddHeightTruncatesAndNarrowWindowsGoNegative) {
  // T = H / 2 - 30 truncates toward zero, also for a window shorter than 60.
  EXPECT_EQ(ComputeLayout(600, 341, 14, 300, 24).bandRect.top, 140);
  EXPECT_EQ(ComputeLayout(600, 1, 14, 300, 24).bandRect.top, -30);
  const WindowLayout small = ComputeLayout(100, 100, 14, 300, 40);
  EXPECT_EQ(small.bandRect.left, -405);
  EXPECT_EQ(small.statusRect.Width(), 300);
  EXPECT_EQ(small.statusRect.Height(), 40);
}

TEST(ButtonPlacement, CancelInsetAndHelpLinkBesideIt) {
  const ButtonPlacement p = PlaceButtons(600, 340, 96, 32, 220, 28);
  EXPECT_EQ(p.cancel, (Rect{484, 278, 580, 310}));
  EXPECT_EQ(p.helpLink, (Rect{246, 288, 466, 316}));
  EXPECT_EQ(p.cancel.left - p.helpLink.right, 18);
  EXPECT_EQ(p.helpLink.bottom - p.cancel.bottom, 6);
}

TEST(ProgressBand, BarGrowsInWholePercentSteps) {
  EXPECT_EQ(BarWidth(1, 1000), 0);
  EXPECT_EQ(PercentText(1, 1000), u"0%");
  EXPECT_EQ(BarWidth(10, 1000), 4);  // 1% of 445
  EXPECT_EQ(BarWidth(19, 1000), 4);  // still 1%
  EXPECT_EQ(BarWidth(500, 1000), 222);
  EXPECT_EQ(PercentText(500, 1000), u"50%");
  EXPECT_EQ(BarWidth(999, 1000), 440);
  EXPECT_EQ(PercentText(999, 1000), u"99%");
  // Complete: the whole band and the check mark, never "100%".
  EXPECT_EQ(BarWidth(1000, 1000), kBandWidth);
  EXPECT_TRUE(ProgressComplete(1000, 1000));
  EXPECT_EQ(PercentText(1000, 1000), u"");
  // Large packages: no overflow in the product of bytes and 100.
  const uint64_t big = 8ull << 40;  // 8 TiB
  EXPECT_EQ(BarWidth(big / 4, big), 111);
  EXPECT_EQ(PercentText(big / 4, big), u"25%");
}

TEST(ProgressBand, MoreThanAnnouncedRunsIntoThePercentAreaAndIsCut) {
  EXPECT_EQ(ProgressPercent(1100, 1000), 110u);
  EXPECT_EQ(BarWidth(1100, 1000), 489);
  EXPECT_EQ(PercentText(1100, 1000), u"110%");
  // Cut at the band image's right end, however far beyond.
  EXPECT_EQ(BarWidth(1200, 1000), kBandImageWidth - 1);
  EXPECT_EQ(BarWidth(UINT64_MAX, 1), kBandImageWidth - 1);
  EXPECT_EQ(PercentText(UINT64_MAX / 100, 1), u"18446744073709551600%");
  EXPECT_EQ(ProgressPercent(UINT64_MAX - 1, UINT64_MAX), 99u);
}

TEST(ProgressBand, BytesWithoutASizeShowAnEmptyBar) {
  EXPECT_EQ(BarWidth(5000, 0), 0);
  EXPECT_EQ(PercentText(5000, 0), u"0%");
  EXPECT_FALSE(ProgressComplete(0, 0));
}

TEST(PaintRequest, OneRequestPerPaintAndTheBandFirst) {
  bool progress = true, status = true;
  EXPECT_EQ(TakePaintRequest(progress, status), PaintRequest::Progress);
  EXPECT_FALSE(progress);
  EXPECT_TRUE(status) << "the status panel waits for the next paint";
  EXPECT_EQ(TakePaintRequest(progress, status), PaintRequest::Status);
  EXPECT_EQ(TakePaintRequest(progress, status), PaintRequest::Default);
}

TEST(ProgressBand, TilePhasesCycle) {
  EXPECT_EQ(NextTilePhase(0), 1);
  EXPECT_EQ(NextTilePhase(1), 2);
  EXPECT_EQ(NextTilePhase(2), 0);
}

}  // namespace
}  // namespace ui
