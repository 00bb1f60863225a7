#include "ui/skin_images.h"

#include <objbase.h>

#include <cstring>

namespace ui {

const wchar_t* SkinFileName(int image) {
  return image >= 0 && image < SkinImageCount ? reinterpret_cast<const wchar_t*>(kSkinFileNames[image]) : L"";
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
int WINAPI GdipCreateBitmapFromStream(IStream* stream, GpBitmap** bitmap);
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

HBITMAP ToBitmap(GpBitmap* bitmap) {
  HBITMAP out = nullptr;
  if (GdipCreateHBITMAPFromBitmap(bitmap, &out, 0xFF000000) != kGdiplusOk) out = nullptr;
  GdipDisposeImage(bitmap);
  return out;
}
}  // namespace

HBITMAP LoadSkinBitmap(const wchar_t* path) {
  if (!StartGdiplus()) return nullptr;
  GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromFile(path, &bitmap) != kGdiplusOk || !bitmap) return nullptr;
  return ToBitmap(bitmap);
}

HBITMAP LoadSkinBitmapFromBytes(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF || !StartGdiplus()) return nullptr;
  // GDI+ reads an image from a stream; a stream over a copy in global memory is
  // what every Windows since XP offers for bytes already in memory.
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!memory) return nullptr;
  void* target = ::GlobalLock(memory);
  if (!target) {
    ::GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(target, bytes.data(), bytes.size());
  ::GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (::CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK || !stream) {
    ::GlobalFree(memory);
    return nullptr;
  }
  HBITMAP out = nullptr;
  GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromStream(stream, &bitmap) == kGdiplusOk && bitmap) out = ToBitmap(bitmap);
  stream->Release();  // frees the memory too
  return out;
}

}  // namespace ui
