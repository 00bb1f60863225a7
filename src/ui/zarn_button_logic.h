// The parts of the image button that need no window: where the face image goes,
// and how an idle face is derived from the hot one.
#pragma once

#include <cstdint>

#include "ui/rect.h"

namespace ui {

enum ImageAlignment : uint8_t {
  ImageLeftOfText = 0,
  ImageAboveText = 1,
  ImageRightOfText = 2,
  ImageUnderText = 3,
};

// What placement depends on besides the rectangles.
struct FaceLayout {
  uint8_t imageAlignment = ImageLeftOfText;
  int imageMargin = 9;
  int imageTop = 9;
  int pressedDx = 1, pressedDy = 1;
  bool checkMode = false;
  int clientRight = 0;  // right edge of the control's client rectangle
};

// The image rectangle for an image of width x height; for captioned alignments
// the caption rectangle is moved aside too.
Rect PrepareImageRect(const FaceLayout& layout, bool hasCaption, const Rect& item, Rect* caption,
                      bool pressed, int width, int height);

// Colours are 0xBBGGRR.
constexpr uint32_t kFaceKeyColor = 0x333332;  // transparent pixels of a face
constexpr uint32_t kIdleKeyColor = 0x000000;  // key of an idle face handed in

// Pixel rules of the two derived idle faces; the key colour passes unchanged.
uint32_t DeriveGrayPixel(uint32_t bgr);
uint32_t DeriveDarkerPixel(uint32_t bgr);

enum class DeriveMode { Gray, Darker };
// In place over 32-bit DIB pixels (memory order B, G, R, X: 0x00RRGGBB as a word).
void DeriveFacePixels(uint32_t* pixels, int count, DeriveMode mode);

}  // namespace ui
