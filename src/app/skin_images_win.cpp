#include <windows.h>

#include "app/skin_images.h"

namespace app {

const wchar_t* SkinFileName(int image) {
  static const wchar_t* const names[SkinImageCount] = {
      L"MainWndBkg.jpg", L"StatusBkg.jpg", L"Close_N.jpg",  L"Close_H.jpg",  L"Min_N.jpg",
      L"Min_H.jpg",      L"Cancel_N.jpg",  L"Cancel_H.jpg", L"Cancel_D.jpg", L"CheckD.jpg"};
  return image >= 0 && image < SkinImageCount ? names[image] : L"";
}

namespace {
// The four flat GDI+ entry points we need, declared here so that the C++ wrapper
// headers (and everything they pull in) stay out of the build.
struct GdiplusStartupInput {
  UINT32 version = 1;
  void* debugCallback = nullptr;
  BOOL suppressBackgroundThread = FALSE;
  BOOL suppressExternalCodecs = FALSE;
};
struct GpBitmap;
extern "C" {
int WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, void* output);
int WINAPI GdipCreateBitmapFromFile(const WCHAR* file, GpBitmap** bitmap);
int WINAPI GdipCreateHBITMAPFromBitmap(GpBitmap* bitmap, HBITMAP* out, DWORD background);
int WINAPI GdipDisposeImage(GpBitmap* image);
}
constexpr int kGdiplusOk = 0;

// GDI+ lives for the whole process once the first image is decoded.
bool StartGdiplus() {
  static ULONG_PTR token = 0;
  static bool started = false;
  if (!started) {
    GdiplusStartupInput input;
    started = GdiplusStartup(&token, &input, nullptr) == kGdiplusOk;
  }
  return started;
}
}  // namespace

HBITMAP LoadSkinBitmap(const wchar_t* path) {
  if (!StartGdiplus()) return nullptr;
  GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromFile(path, &bitmap) != kGdiplusOk || !bitmap) return nullptr;
  HBITMAP out = nullptr;
  if (GdipCreateHBITMAPFromBitmap(bitmap, &out, 0xFF000000) != kGdiplusOk) out = nullptr;
  GdipDisposeImage(bitmap);
  return out;
}

}  // namespace app
