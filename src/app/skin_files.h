// The skin images' file names, beside the executable, in the window's loading order
// (SkinImage in skin_images.h). Portable, so that the vendor kit's checker looks for
// exactly the files the window loads.
#pragma once

namespace app {

constexpr int kSkinFileCount = 10;
constexpr const char16_t* kSkinFileNames[kSkinFileCount] = {
    u"MainWndBkg.jpg", u"StatusBkg.jpg", u"Close_N.jpg",  u"Close_H.jpg",  u"Min_N.jpg",
    u"Min_H.jpg",      u"Cancel_N.jpg",  u"Cancel_H.jpg", u"Cancel_D.jpg", u"CheckD.jpg"};

}  // namespace app
