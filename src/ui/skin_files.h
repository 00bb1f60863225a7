// The ten skin images beside the executable: their roles in the window's loading
// order and their file names. Portable, so that the vendor kit's checker looks for
// exactly the files the window loads.
#pragma once

namespace ui {

enum SkinImage {
  SkinMainBackground = 0,
  SkinStatusBackdrop,
  SkinCloseNormal,
  SkinCloseHot,
  SkinMinNormal,
  SkinMinHot,
  SkinCancelNormal,
  SkinCancelHot,
  SkinCancelDone,
  SkinCheckMark,
  SkinImageCount
};

constexpr const char16_t* kSkinFileNames[SkinImageCount] = {
    u"MainWndBkg.jpg", u"StatusBkg.jpg", u"Close_N.jpg",  u"Close_H.jpg",  u"Min_N.jpg",
    u"Min_H.jpg",      u"Cancel_N.jpg",  u"Cancel_H.jpg", u"Cancel_D.jpg", u"CheckD.jpg"};

}  // namespace ui
