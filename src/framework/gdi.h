// Device contexts and GDI objects that give back what they take: a selection is
// undone and a created object deleted when its wrapper goes out of scope.
#pragma once

#include <windows.h>

namespace framework {

// An owned GDI object (bitmap, pen, brush, font, region).
template <typename H>
class CGdiObject {
 public:
  CGdiObject() = default;
  explicit CGdiObject(H h) : m_h(h) {}
  ~CGdiObject() { DeleteObject(); }
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  void Attach(H h) {
    DeleteObject();
    m_h = h;
  }
  H Get() const { return m_h; }
  operator H() const { return m_h; }
  explicit operator bool() const { return m_h != nullptr; }

 private:
  void DeleteObject() {
    if (m_h) ::DeleteObject(m_h);
    m_h = nullptr;
  }

  H m_h = nullptr;
};

using CBitmap = CGdiObject<HBITMAP>;
using CPen = CGdiObject<HPEN>;
using CBrush = CGdiObject<HBRUSH>;
using CFont = CGdiObject<HFONT>;

// Selects an object into a DC for the scope of the wrapper.
class CSelect {
 public:
  CSelect(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(dc && obj ? ::SelectObject(dc, obj) : nullptr) {}
  ~CSelect() {
    if (m_old) ::SelectObject(m_dc, m_old);
  }
  CSelect(const CSelect&) = delete;
  CSelect& operator=(const CSelect&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

// A memory DC compatible with another DC (or the screen).
class CMemDC {
 public:
  explicit CMemDC(HDC compatible = nullptr) : m_dc(::CreateCompatibleDC(compatible)) {}
  ~CMemDC() {
    if (m_dc) ::DeleteDC(m_dc);
  }
  CMemDC(const CMemDC&) = delete;
  CMemDC& operator=(const CMemDC&) = delete;
  operator HDC() const { return m_dc; }

 private:
  HDC m_dc;
};

// The client-area DC of a window.
class CClientDC {
 public:
  explicit CClientDC(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
  ~CClientDC() {
    if (m_dc) ::ReleaseDC(m_hwnd, m_dc);
  }
  CClientDC(const CClientDC&) = delete;
  CClientDC& operator=(const CClientDC&) = delete;
  operator HDC() const { return m_dc; }

 private:
  HWND m_hwnd;
  HDC m_dc;
};

// BeginPaint / EndPaint.
class CPaintDC {
 public:
  explicit CPaintDC(HWND hwnd) : m_hwnd(hwnd) { m_dc = ::BeginPaint(hwnd, &m_ps); }
  ~CPaintDC() { ::EndPaint(m_hwnd, &m_ps); }
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  operator HDC() const { return m_dc; }

 private:
  HWND m_hwnd;
  HDC m_dc = nullptr;
  PAINTSTRUCT m_ps{};
};

}  // namespace framework
