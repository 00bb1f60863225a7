#include "ui/zarn_button_logic.h"

namespace ui {

namespace {
void CentreH(Rect* image, int width) { image->left += (image->Width() - width) / 2; }
void CentreV(Rect* image, int height) { image->top += (image->Height() - height) / 2; }
}  // namespace

Rect PrepareImageRect(const FaceLayout& layout, bool hasCaption, const Rect& item, Rect* caption,
                      bool pressed, int width, int height) {
  Rect image = item;
  switch (layout.imageAlignment) {
    case ImageLeftOfText:
      if (hasCaption) {
        image.left += layout.imageMargin;
        caption->left += layout.imageMargin + width;
        CentreV(&image, height);
      } else {
        CentreH(&image, width);
        CentreV(&image, height);
      }
      break;
    case ImageAboveText:
      if (hasCaption) {
        CentreH(&image, width);
        image.top = layout.imageTop;
        caption->top += height;
      } else {
        CentreH(&image, width);
        CentreV(&image, height);
      }
      break;
    case ImageRightOfText:
      if (hasCaption) {
        caption->right -= layout.imageMargin + caption->left + width;
        caption->left = layout.imageMargin;
        image.left = layout.clientRight - layout.imageMargin - width;
        CentreV(&image, height);
      } else {
        CentreH(&image, width);
      }
      break;
    default:  // ImageUnderText: the face covers the control, nothing moves
      break;
  }
  if (pressed && !layout.checkMode) {
    image.left += layout.pressedDx;
    image.right += layout.pressedDx;
    image.top += layout.pressedDy;
    image.bottom += layout.pressedDy;
  }
  return image;
}

uint32_t DeriveGrayPixel(uint32_t bgr) {
  bgr &= 0xFFFFFF;
  if (bgr == kFaceKeyColor) return bgr;
  double r = bgr & 0xFF, g = (bgr >> 8) & 0xFF, b = (bgr >> 16) & 0xFF;
  uint32_t lum = static_cast<uint32_t>(0.299 * r + 0.587 * g + 0.114 * b) & 0xFF;
  return lum | (lum << 8) | (lum << 16);
}

uint32_t DeriveDarkerPixel(uint32_t bgr) {
  bgr &= 0xFFFFFF;
  if (bgr == kFaceKeyColor) return bgr;
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    double v = (bgr >> shift) & 0xFF;
    out |= (static_cast<uint32_t>(v - 0.25 * v) & 0xFF) << shift;
  }
  return out;
}

void DeriveFacePixels(uint32_t* pixels, int count, DeriveMode mode) {
  for (int i = 0; i < count; ++i) {
    uint32_t word = pixels[i];
    // DIB word 0x00RRGGBB to 0xBBGGRR and back.
    uint32_t bgr = ((word & 0xFF) << 16) | (word & 0xFF00) | ((word >> 16) & 0xFF);
    uint32_t out = mode == DeriveMode::Gray ? DeriveGrayPixel(bgr) : DeriveDarkerPixel(bgr);
    pixels[i] = ((out & 0xFF) << 16) | (out & 0xFF00) | ((out >> 16) & 0xFF);
  }
}

}  // namespace ui
