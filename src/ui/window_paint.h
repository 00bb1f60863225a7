// The installer window's three painting paths and the direct glyph redraw. Each
// composes off screen and copies the result in one blit. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/skin_images.h"
#include "ui/window_layout.h"

namespace ui {

// The images the window paints with; any of them may be null (missing skin file),
// and is then drawn as a plain fill in the band's colours.
struct SkinSet {
  HBITMAP mainBackground = nullptr;
  HBITMAP statusBackdrop = nullptr;
  HBITMAP closeNormal = nullptr;
  HBITMAP minNormal = nullptr;
  HBITMAP checkMark = nullptr;
  HBITMAP tiles[3] = {};
  int tileWidth = 0, tileHeight = 0;     // of phase 0; all phases are taken as this size
  int statusWidth = 0, statusHeight = 0;  // the status panel
};

// The Arial the window's texts are drawn in (product name, status, percentage),
// for the caller to delete; null when it cannot be made.
HFONT CreateTextFont(int height, int width, int weight);

// Whether font has a glyph of its own for every character of text (line breaks
// aside); what it lacks, font linking draws from another face.
bool FaceCovers(HDC dc, HGDIOBJ font, const std::u16string& text);

// Phase of the first tile of the next band paint (0, 1 or 2); one per process, so
// that the stripes move on with every repaint.
extern int progressPhase;

// The whole window: background, both copies of the product name, the glyphs in
// their normal images and the empty band. Draws into dc (WM_ERASEBKGND's).
void PaintBackground(HWND hwnd, HDC dc, const WindowLayout& layout, const SkinSet& skin,
                     const std::u16string& productName);

// The band with bar and percentage or check mark, drawn at once; validates the band
// image only. phase is the process's tile phase; it moves on by one.
void PaintProgress(HWND hwnd, const WindowLayout& layout, const SkinSet& skin, uint64_t bytesDone,
                   uint64_t bytesTotal, int& phase);

// The status panel with the status text, within a paint of hwnd.
void PaintStatus(HWND hwnd, const WindowLayout& layout, const SkinSet& skin, const std::u16string& text);

// Copies a bitmap into a rectangle of the window at once and validates that
// rectangle only.
void DrawGlyph(HWND hwnd, const Rect& rect, HBITMAP bitmap);

}  // namespace ui
