#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "ui/skin_scale.h"
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

namespace ui {
namespace {

// The default skin at 144 and 192 DPI: every length 1.5 and 2 times its 96-DPI
// self, rounded, and the parts that are one size (band, glyphs) exactly so.
TEST(WindowLayoutAtDpi, EveryLengthScalesAndEdgesKeepTheirPlaces) {
  EXPECT_EQ(Scale(445, 96), 445);
  EXPECT_EQ(Scale(445, 144), 668) << "667.5 rounds up, as MulDiv rounds";
  EXPECT_EQ(Scale(-29, 144), -44);
  for (int dpi : {120, 144, 192}) {
    const int W = Scale(600, dpi), H = Scale(340, dpi), th = Scale(14, dpi);
    const WindowLayout l = ComputeLayout(W, H, th, Scale(300, dpi), Scale(24, dpi), dpi);
    const WindowLayout at96 = ComputeLayout(600, 340, 14, 300, 24);
    auto near = [dpi](int scaled, int base) { return std::abs(scaled - base * dpi / 96.0) <= 1.0; };
    SCOPED_TRACE(dpi);
    for (auto [scaled, base] : {std::pair{l.bandRect, at96.bandRect}, {l.statusRect, at96.statusRect},
                                {l.closeRect, at96.closeRect}, {l.minRect, at96.minRect},
                                {l.titleRect, at96.titleRect}, {BandImageRect(l), BandImageRect(at96)}}) {
      EXPECT_TRUE(near(scaled.left, base.left) && near(scaled.top, base.top) && near(scaled.right, base.right) &&
                  near(scaled.bottom, base.bottom))
          << scaled.left << "," << scaled.top << "," << scaled.right << "," << scaled.bottom;
    }
    EXPECT_EQ(l.bandRect.Width(), Scale(kBandWidth, dpi));
    EXPECT_EQ(l.closeRect.Width(), Scale(23, dpi));
    EXPECT_EQ(l.statusRect.right, l.bandRect.right);
    const Rect invalid = BandInvalidRect(l, W), image = BandImageRect(l);
    EXPECT_TRUE(invalid.left < image.left && invalid.top < image.top && invalid.right >= image.right &&
                invalid.bottom > image.bottom);
    EXPECT_EQ(BarWidth(500, 1000, l.band), Scale(kBandWidth, dpi) / 2);
    EXPECT_EQ(BarWidth(1000, 1000, l.band), l.bandRect.Width());
    EXPECT_EQ(BarWidth(3000, 1000, l.band), l.band.imageWidth - l.band.unit) << "cut at the band image's end";
    const ButtonPlacement p = PlaceButtons(W, H, Scale(96, dpi), Scale(32, dpi), 220, 28, dpi);
    EXPECT_EQ(W - p.cancel.right, Scale(20, dpi));
    EXPECT_EQ(H - p.cancel.bottom, Scale(30, dpi));
    EXPECT_GE(l.closeRect.left, DragStrip(W, dpi).right);
  }
}

TEST(SkinAtDpi, TheNearerImageIsDrawnAndTheWindowFitsItsScreen) {
  EXPECT_EQ(DoubleSizeVariantName(u"MainWndBkg.jpg"), u"MainWndBkg@2x.jpg");
  EXPECT_EQ(DoubleSizeVariantName(u"dir.x\\Close_N"), u"dir.x\\Close_N@2x");
  EXPECT_EQ(LogicalSkinSize({600, 340}, {1200, 680}), (Size{600, 340}));
  EXPECT_EQ(LogicalSkinSize({}, {1200, 680}), (Size{600, 340}));
  // 600 wide at 96, 120, 144 and 192 DPI with a 1200-wide variant beside it.
  EXPECT_EQ(ChooseSkinSource(600, 600, 1200), SkinSource::Base);
  EXPECT_EQ(ChooseSkinSource(750, 600, 1200), SkinSource::Base);
  EXPECT_EQ(ChooseSkinSource(900, 600, 1200), SkinSource::Double) << "1.33 beats 1.5";
  EXPECT_EQ(ChooseSkinSource(1200, 600, 1200), SkinSource::Double);
  EXPECT_EQ(ChooseSkinSource(900, 600, 0), SkinSource::Base);
  EXPECT_EQ(ChooseSkinSource(900, 0, 1200), SkinSource::Double);
  EXPECT_EQ(ChooseSkinSource(900, 0, 0), SkinSource::None);

  const Size work{1280, 984};  // a 1280 x 1024 screen less its taskbar
  EXPECT_EQ(FitWindow({600, 340}, 96, work), (Size{600, 340}));
  EXPECT_EQ(FitWindow({600, 340}, 192, work), (Size{1200, 680}));
  EXPECT_EQ(FitWindow({8000, 8000}, 96, work), (Size{984, 984})) << "shrunk as a whole";
  EXPECT_EQ(FitWindow({4000, 1000}, 96, work), (Size{1280, 320}));
  EXPECT_EQ(FitWindow({600, 340}, 96, Size{}), (Size{600, 340})) << "no work area known";
}

}  // namespace
}  // namespace ui
