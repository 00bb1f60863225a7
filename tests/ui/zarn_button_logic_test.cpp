#include <gtest/gtest.h>

#include "ui/zarn_button_logic.h"

namespace ui {
namespace {

// A 100 x 40 control at the origin, a 20 x 10 image.
const Rect kItem{0, 0, 100, 40};

Rect Place(uint8_t alignment, bool caption, bool pressed, Rect* cap, bool checkMode = false) {
  FaceLayout layout;
  layout.imageAlignment = alignment;
  layout.clientRight = 100;
  layout.checkMode = checkMode;
  *cap = kItem;
  return PrepareImageRect(layout, caption, kItem, cap, pressed, 20, 10);
}

TEST(PrepareImageRect, LeftOfText) {
  Rect cap;
  Rect img = Place(ImageLeftOfText, true, false, &cap);
  EXPECT_EQ(img, (Rect{9, 15, 100, 40}));
  EXPECT_EQ(cap, (Rect{29, 0, 100, 40}));
  img = Place(ImageLeftOfText, false, false, &cap);  // no caption: centred both ways
  EXPECT_EQ(img, (Rect{40, 15, 100, 40}));
  EXPECT_EQ(cap, kItem);
}

TEST(PrepareImageRect, AboveText) {
  Rect cap;
  Rect img = Place(ImageAboveText, true, false, &cap);
  EXPECT_EQ(img, (Rect{40, 9, 100, 40}));
  EXPECT_EQ(cap, (Rect{0, 10, 100, 40}));
  img = Place(ImageAboveText, false, false, &cap);
  EXPECT_EQ(img, (Rect{40, 15, 100, 40}));
}

TEST(PrepareImageRect, RightOfText) {
  Rect cap;
  Rect img = Place(ImageRightOfText, true, false, &cap);
  EXPECT_EQ(img, (Rect{71, 15, 100, 40}));
  EXPECT_EQ(cap, (Rect{9, 0, 71, 40}));
  img = Place(ImageRightOfText, false, false, &cap);  // centred horizontally only
  EXPECT_EQ(img, (Rect{40, 0, 100, 40}));
}

TEST(PrepareImageRect, UnderTextLeavesBothRectanglesAlone) {
  Rect cap;
  EXPECT_EQ(Place(ImageUnderText, true, false, &cap), kItem);
  EXPECT_EQ(cap, kItem);
  EXPECT_EQ(Place(ImageUnderText, false, false, &cap), kItem);
}

TEST(PrepareImageRect, PressedMovesByOffsetExceptInCheckMode) {
  Rect cap;
  EXPECT_EQ(Place(ImageLeftOfText, true, true, &cap), (Rect{10, 16, 101, 41}));
  EXPECT_EQ(Place(ImageUnderText, false, true, &cap), (Rect{1, 1, 101, 41}));
  EXPECT_EQ(Place(ImageLeftOfText, true, true, &cap, true), (Rect{9, 15, 100, 40}));
}

TEST(PrepareImageRect, ImageLargerThanControlCentresToNegativeOffsetsTruncatingTowardZero) {
  FaceLayout layout;
  Rect cap = kItem;
  // (100 - 105) / 2 = -2 and (40 - 45) / 2 = -2, not -3.
  Rect img = PrepareImageRect(layout, false, kItem, &cap, false, 105, 45);
  EXPECT_EQ(img.left, -2);
  EXPECT_EQ(img.top, -2);
}

TEST(DerivedFaces, KeyColourPassesUnchanged) {
  EXPECT_EQ(DeriveGrayPixel(kFaceKeyColor), kFaceKeyColor);
  EXPECT_EQ(DeriveDarkerPixel(kFaceKeyColor), kFaceKeyColor);
  // A neighbour of the key is an ordinary pixel.
  EXPECT_NE(DeriveDarkerPixel(0x333333), 0x333333u);
}

TEST(DerivedFaces, GrayOnEdgeValues) {
  EXPECT_EQ(DeriveGrayPixel(0x000000), 0x000000u);
  // 0.299 + 0.587 + 0.114 of 255 must not wrap to 0 or round past 255.
  EXPECT_EQ(DeriveGrayPixel(0xFFFFFF) & 0xFF, DeriveGrayPixel(0xFFFFFF) >> 16);
  EXPECT_GE(DeriveGrayPixel(0xFFFFFF) & 0xFF, 254u);
  EXPECT_EQ(DeriveGrayPixel(0x0000FF), 0x4C4C4Cu);  // red only: int(76.245)
  EXPECT_EQ(DeriveGrayPixel(0x00FF00), 0x959595u);  // green only: int(149.685)
  EXPECT_EQ(DeriveGrayPixel(0xFF0000), 0x1D1D1Du);  // blue only: int(29.07)
}

TEST(DerivedFaces, DarkerOnEdgeValues) {
  EXPECT_EQ(DeriveDarkerPixel(0x000000), 0x000000u);
  EXPECT_EQ(DeriveDarkerPixel(0xFFFFFF), 0xBFBFBFu);  // int(191.25)
  EXPECT_EQ(DeriveDarkerPixel(0xFF0001), 0xBF0000u);  // 1 -> int(0.75) = 0
  EXPECT_EQ(DeriveDarkerPixel(0x0300FF), 0x0200BFu);  // channels stay in place
}

TEST(DerivedFaces, DibWordsConvertChannelOrder) {
  // In a DIB word red is the high byte; 0x333332 as a colour is 0x323333 there.
  uint32_t px[3] = {0x00323333, 0x00FF0000, 0xFF0000FF};
  DeriveFacePixels(px, 3, DeriveMode::Darker);
  EXPECT_EQ(px[0], 0x00323333u);
  EXPECT_EQ(px[1], 0x00BF0000u);
  EXPECT_EQ(px[2], 0x000000BFu);
  uint32_t red = 0x00FF0000;
  DeriveFacePixels(&red, 1, DeriveMode::Gray);
  EXPECT_EQ(red, 0x004C4C4Cu);
}

}  // namespace
}  // namespace ui
