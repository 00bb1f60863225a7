#include "ui/skin_images.h"

#include <objbase.h>

#include <cstring>

#include "platform/win32/system_library.h"

namespace ui {

const wchar_t* SkinFileName(int image) {
  return image >= 0 && image < SkinImageCount ? reinterpret_cast<const wchar_t*>(kSkinFileNames[image]) : L"";
}

namespace {
// The flat GDI+ entry points we need, declared here so that the C++ wrapper
// headers (and everything they pull in) stay out of the build. GDI+ is not a
// KnownDLL before Windows 10: it is loaded from the system folder by full path.
struct GdiplusStartupInput {
  UINT32 version = 1;
  void* debugCallback = nullptr;
  BOOL suppressBackgroundThread = FALSE;
  BOOL suppressExternalCodecs = FALSE;
};
struct GpBitmap;
struct Gdiplus {
  int(WINAPI* GdiplusStartup)(ULONG_PTR* token, const GdiplusStartupInput* input, void* output) = nullptr;
  int(WINAPI* GdipCreateBitmapFromFile)(const WCHAR* file, GpBitmap** bitmap) = nullptr;
  int(WINAPI* GdipCreateBitmapFromStream)(IStream* stream, GpBitmap** bitmap) = nullptr;
  int(WINAPI* GdipCreateHBITMAPFromBitmap)(GpBitmap* bitmap, HBITMAP* out, DWORD background) = nullptr;
  int(WINAPI* GdipDisposeImage)(GpBitmap* image) = nullptr;
  bool started = false;
};
constexpr int kGdiplusOk = 0;

Gdiplus LoadAndStart() {
  Gdiplus gdip;
  // GDI+ asks for its image codecs by name when it starts (Wine's does): loaded
  // first from the system folder, they are found already loaded, never beside the
  // program. Where a Windows has none, nothing is loaded.
  platform::LoadSystemLibrary(L"windowscodecs.dll");
  const HMODULE dll = platform::LoadSystemLibrary(L"gdiplus.dll");
  ULONG_PTR token = 0;
  GdiplusStartupInput input;
  gdip.started = platform::BindProc(dll, "GdiplusStartup", &gdip.GdiplusStartup) &&
                 platform::BindProc(dll, "GdipCreateBitmapFromFile", &gdip.GdipCreateBitmapFromFile) &&
                 platform::BindProc(dll, "GdipCreateBitmapFromStream", &gdip.GdipCreateBitmapFromStream) &&
                 platform::BindProc(dll, "GdipCreateHBITMAPFromBitmap", &gdip.GdipCreateHBITMAPFromBitmap) &&
                 platform::BindProc(dll, "GdipDisposeImage", &gdip.GdipDisposeImage) &&
                 gdip.GdiplusStartup(&token, &input, nullptr) == kGdiplusOk;
  return gdip;
}

// GDI+ lives for the whole process once the first image is decoded; null when it
// cannot be loaded or started (the images then stay empty).
const Gdiplus* StartGdiplus() {
  static const Gdiplus gdip = LoadAndStart();
  return gdip.started ? &gdip : nullptr;
}

HBITMAP ToBitmap(const Gdiplus& gdip, GpBitmap* bitmap) {
  HBITMAP out = nullptr;
  if (gdip.GdipCreateHBITMAPFromBitmap(bitmap, &out, 0xFF000000) != kGdiplusOk) out = nullptr;
  gdip.GdipDisposeImage(bitmap);
  return out;
}
}  // namespace

HBITMAP LoadSkinBitmap(const wchar_t* path) {
  const Gdiplus* gdip = StartGdiplus();
  if (!gdip) return nullptr;
  GpBitmap* bitmap = nullptr;
  if (gdip->GdipCreateBitmapFromFile(path, &bitmap) != kGdiplusOk || !bitmap) return nullptr;
  return ToBitmap(*gdip, bitmap);
}

HBITMAP LoadSkinBitmapFromBytes(std::string_view bytes) {
  const Gdiplus* gdip = bytes.empty() || bytes.size() > 0x7FFFFFFF ? nullptr : StartGdiplus();
  if (!gdip) return nullptr;
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
  if (gdip->GdipCreateBitmapFromStream(stream, &bitmap) == kGdiplusOk && bitmap) out = ToBitmap(*gdip, bitmap);
  stream->Release();  // frees the memory too
  return out;
}

}  // namespace ui
