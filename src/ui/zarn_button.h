// The owner-drawn image button of the installer window (Cancel and the help link).
#pragma once

#include <windows.h>

#include "framework/wnd.h"
#include "ui/zarn_button_logic.h"

namespace ui {

// The bold face font of a button's caption, for the caller to delete. The window
// and the kit's checker measure the Cancel caption in exactly this font.
HFONT CreateButtonFont(const wchar_t* faceName, int height, int width, BOOL underline);

class CZarnButton : public framework::CWnd {
 public:
  enum StateColor { HotBack = 0, HotText, IdleBack, IdleText, FocusBack, FocusText, ColorCount };
  enum FaceResult { FaceOk = 0, FaceInvalid = 1, FaceMaskFailed = 2 };
  // Special idle-face arguments of SetStateBitmaps.
  static HBITMAP DeriveGrayFace() { return reinterpret_cast<HBITMAP>(static_cast<INT_PTR>(-2)); }
  static HBITMAP DeriveDarkerFace() { return reinterpret_cast<HBITMAP>(static_cast<INT_PTR>(-3)); }
  static constexpr int kLinkUrlLength = 260;

  CZarnButton();
  ~CZarnButton() override;

  void SetImageAlignment(uint8_t alignment, BOOL repaint);
  void SetFaceFont(const wchar_t* faceName, int height, int width, int reserved, BOOL underline);
  void SetStateColor(int slot, COLORREF color, BOOL repaint);
  void SetPressedOffset(int dx, int dy);
  int SetStateBitmaps(HBITMAP hot, HBITMAP idle);
  void SetDrawBorder(BOOL on, BOOL repaint);
  void SetTransparent(BOOL on, BOOL repaint);
  void SetLinkUrl(const wchar_t* address);

  BOOL PreTranslateMessage(MSG* msg) override;
  bool OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  virtual void DrawItem(const DRAWITEMSTRUCT* item);

  // State, readable by tests and the owner.
  BOOL grayWhenDisabled = TRUE;
  int imageMargin = 9;
  int imageTop = 9;
  POINT pressedOffset{1, 1};
  BOOL hoverTracking = TRUE;
  BOOL flat = TRUE;
  BOOL hovered = FALSE;
  BOOL transparent = FALSE;
  BOOL pressed = FALSE;
  BOOL focused = FALSE;
  BOOL disabled = FALSE;
  BOOL isDefault = FALSE;
  BOOL checkMode = FALSE;
  uint8_t imageAlignment = ImageLeftOfText;
  BOOL drawBorder = TRUE;
  BOOL flatFocusRect = FALSE;
  // The focus rectangle once the keyboard is used in the window (the system's
  // WM_UPDATEUISTATE), flat or not.
  BOOL keyboardCues = FALSE;
  COLORREF colors[ColorCount] = {};
  HFONT faceFont = nullptr;
  HCURSOR cursor = nullptr;
  HWND toolTip = nullptr;
  HDC snapshotDc = nullptr;
  HBITMAP snapshotBitmap = nullptr;
  HBITMAP snapshotPrevious = nullptr;
  BOOL trackWhenInactive = TRUE;
  BOOL isChecked = FALSE;
  DWORD toolTipStyle = 0;
  wchar_t linkUrl[kLinkUrlLength + 1] = {};
  struct IconRecord {
    HICON icon = nullptr;
    DWORD width = 0, height = 0;
  } icons[2];
  struct FaceRecord {
    HBITMAP bitmap = nullptr;
    DWORD width = 0, height = 0;
    HBITMAP mask = nullptr;
    COLORREF key = 0;
  } faces[2];
  // Counts repaints requested by state changes; lets a test see that an unchanged
  // hover state causes none.
  unsigned invalidations = 0;

 protected:
  bool OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void PreSubclassWindow() override;

  virtual void DrawFaceBackground(HDC dc, RECT* rc);
  virtual void DrawFaceBorder(HDC dc, RECT* rc);
  virtual void DrawFaceIcon(HDC dc, BOOL hasCaption, const RECT* item, RECT* caption, BOOL pressed, BOOL disabled);
  virtual void DrawFaceBitmap(HDC dc, BOOL hasCaption, const RECT* item, RECT* caption, BOOL pressed, BOOL disabled);
  virtual void DrawFaceText(HDC dc, const wchar_t* text, const RECT* item, RECT* caption, BOOL pressed, BOOL disabled);

 private:
  void ResetColors();
  void Repaint();
  void ClearHover();
  void DropSnapshot();
  void CopyParentBackground(HDC dc);
  void ReleaseFaces();
  HBITMAP BuildFaceMask(HBITMAP image, COLORREF key);
  HBITMAP DeriveFace(HBITMAP hot, DeriveMode mode);
  int FaceSlot(BOOL isPressed, bool hasIdle) const;
  RECT PlaceImage(BOOL hasCaption, const RECT* item, RECT* caption, BOOL pressed, DWORD w, DWORD h);
  void OnMouseMove(UINT flags, POINT pt);
  void OnClicked();

  HBITMAP derivedIdle = nullptr;  // the derived idle face, ours to delete
};

}  // namespace ui
