#include "ui/text_fit.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ui {

namespace {

const char16_t kEllipsis[] = u"...";

std::vector<std::u16string> SplitLines(const std::u16string& text) {
  std::vector<std::u16string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  return lines;
}

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Offsets where a text may be cut: never between the halves of a surrogate pair.
std::vector<size_t> CutPoints(const std::u16string& s) {
  std::vector<size_t> points;
  for (size_t i = 1; i <= s.size(); ++i)
    if (i == s.size() || !IsLowSurrogate(s[i])) points.push_back(i);
  return points;
}

std::u16string TrimRight(std::u16string s) {
  while (!s.empty() && s.back() == u' ') s.pop_back();
  return s;
}

// The longest start of s (at least one character) that fits width; the rest is
// left in *rest.
std::u16string FittingStart(const std::u16string& s, int width, const MeasureText& measure, std::u16string* rest) {
  const std::vector<size_t> points = CutPoints(s);
  size_t lo = 0, hi = points.size();  // points[0..lo) fit; find the first that does not
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (measure(s.substr(0, points[mid])) <= width) lo = mid + 1;
    else hi = mid;
  }
  const size_t cut = lo == 0 ? points.front() : points[lo - 1];
  *rest = s.substr(cut);
  return s.substr(0, cut);
}

// Greedy breaking at spaces; a word wider than the line is broken where it must be.
void Wrap(const std::u16string& line, int width, const MeasureText& measure, std::vector<std::u16string>* lines) {
  std::vector<std::u16string> pieces, *out = &pieces;
  std::u16string current;
  size_t start = 0;
  while (start <= line.size()) {
    size_t end = line.find(u' ', start);
    if (end == std::u16string::npos) end = line.size();
    std::u16string word = line.substr(start, end - start);
    start = end + 1;
    const std::u16string candidate = current.empty() ? word : current + u" " + word;
    if (measure(candidate) <= width) {
      current = candidate;
      continue;
    }
    if (!current.empty()) out->push_back(current);
    current = word;
    while (!current.empty() && measure(current) > width) {
      std::u16string rest;
      out->push_back(FittingStart(current, width, measure, &rest));
      current = rest;
    }
  }
  if (!current.empty() || out->empty()) out->push_back(current);
  lines->insert(lines->end(), pieces.begin(), pieces.end());
}

// The start of s that fits width with "..." after it, cut after a word when one fits.
std::u16string CutWithEllipsis(const std::u16string& s, int width, const MeasureText& measure) {
  const std::vector<size_t> points = CutPoints(s);
  size_t lo = 0, hi = points.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (measure(TrimRight(s.substr(0, points[mid])) + kEllipsis) <= width) lo = mid + 1;
    else hi = mid;
  }
  std::u16string start = lo == 0 ? std::u16string() : s.substr(0, points[lo - 1]);
  const bool wholeWord = start.size() < s.size() && s[start.size()] == u' ';
  const size_t space = start.rfind(u' ');
  if (!wholeWord && space != std::u16string::npos && space > 0) start.resize(space);
  return TrimRight(start) + kEllipsis;
}

}  // namespace

StatusFit FitStatusText(const std::u16string& text, int width, int height, int lineHeight,
                        const MeasureText& measure) {
  StatusFit fit;
  const std::vector<std::u16string> lines = SplitLines(text);
  if (std::all_of(lines.begin(), lines.end(), [&](const std::u16string& l) { return measure(l) <= width; })) {
    fit.text = text;
    return fit;
  }
  const size_t maxLines = static_cast<size_t>(std::max(1, lineHeight > 0 ? height / lineHeight : 1));
  std::vector<std::u16string> wrapped;
  for (const std::u16string& line : lines) Wrap(line, width, measure, &wrapped);
  std::u16string joined;
  if (wrapped.size() <= maxLines) {
    for (size_t i = 0; i < wrapped.size(); ++i) joined += (i ? u"\r\n" : u"") + wrapped[i];
    fit.kind = StatusFit::Wrapped;
    fit.text = joined;
    return fit;
  }
  // The lines above the last stay whole; the last takes the rest of the text and is
  // cut where "..." still fits after it.
  for (size_t i = 0; i + 1 < maxLines; ++i) joined += wrapped[i] + u"\r\n";
  std::u16string rest = wrapped[maxLines - 1];
  for (size_t i = maxLines; i < wrapped.size(); ++i) rest += u" " + wrapped[i];
  fit.kind = StatusFit::Ellipsis;
  fit.text = joined + CutWithEllipsis(rest, width, measure);
  return fit;
}

CaptionFit FitCaption(const std::u16string& caption, int fontHeight, int fontWidth, int buttonWidth, int maxWidth,
                      int margin, const MeasureInFont& measure) {
  CaptionFit fit{fontHeight, fontWidth, buttonWidth};
  const int room = buttonWidth - 2 * margin;
  if (caption.empty() || measure(fontHeight, fontWidth, caption) <= room) return fit;
  // One pixel of the cell's width at a time (or of its height when the width is the
  // face's own), the other measure in proportion.
  const bool byWidth = fontWidth > 0;
  const int full = byWidth ? fontWidth : fontHeight;
  const int least = (full * 3 + 3) / 4;
  for (int step = full - 1; step >= least; --step) {
    fit.fontWidth = byWidth ? step : 0;
    fit.fontHeight = byWidth ? (fontHeight * step + fontWidth / 2) / fontWidth : step;
    if (measure(fit.fontHeight, fit.fontWidth, caption) <= room) return fit;
  }
  const int needed = measure(fit.fontHeight, fit.fontWidth, caption) + 2 * margin;
  fit.buttonWidth = std::max(buttonWidth, std::min(maxWidth, needed));
  return fit;
}

namespace {

// Unicode's strong right-to-left classes (R and AL) by block, less the digits and
// combining marks inside them, which are weak or neutral.
bool StrongRightToLeft(uint32_t c) {
  if (c == 0x200F || c == 0x202B || c == 0x202E) return true;  // RLM, RLE, RLO
  if (c >= 0x0590 && c <= 0x08FF) {
    if (c <= 0x05CF) return c == 0x05BE || c == 0x05C0 || c == 0x05C3 || c == 0x05C6;  // Hebrew points
    if ((c >= 0x0600 && c <= 0x0605) || (c >= 0x0610 && c <= 0x061A) || (c >= 0x064B && c <= 0x065F)) return false;
    if ((c >= 0x0660 && c <= 0x0669) || c == 0x066B || c == 0x066C || c == 0x0670) return false;
    if ((c >= 0x06D6 && c <= 0x06ED && c != 0x06E5 && c != 0x06E6) || (c >= 0x06F0 && c <= 0x06F9)) return false;
    if (c >= 0x0730 && c <= 0x074A) return false;  // Syriac points
    if (c >= 0x07A6 && c <= 0x07B0) return false;  // Thaana vowels
    if (c >= 0x07EB && c <= 0x07F3) return false;  // N'Ko tones
    if (c >= 0x08D3 && c <= 0x08FF) return false;  // Arabic extended marks
    return true;
  }
  if (c >= 0xFB1D && c <= 0xFDFF) return c != 0xFB1E && !(c >= 0xFD3E && c <= 0xFD3F);
  if (c >= 0xFE70 && c <= 0xFEFE) return true;
  return (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF);
}

// Letters of the left-to-right scripts: everything that is not a digit, punctuation,
// symbol, space, mark or control, by block.
bool StrongLeftToRight(uint32_t c) {
  if (c == 0x200E || c == 0x202A || c == 0x202D) return true;  // LRM, LRE, LRO
  if (c < 0x80) return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
  if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;
  if (c == 0xD7 || c == 0xF7) return false;
  if (c >= 0x02B9 && c <= 0x036F) return false;  // modifier letters, combining marks
  if (c < 0x0590) return c != 0x037E && c != 0x0387 && !(c >= 0x0483 && c <= 0x0489);
  if (c >= 0x2000 && c <= 0x2BFF) return c == 0x2071 || c == 0x207F || (c >= 0x2090 && c <= 0x209C) ||
                                         (c >= 0x2102 && c <= 0x2139 && c != 0x2118);
  if (c >= 0x3000 && c <= 0x303F) return c >= 0x3005 && c <= 0x3007;
  if ((c >= 0xD800 && c <= 0xDFFF) || (c >= 0xE000 && c <= 0xF8FF)) return false;
  if (c >= 0xFE00 && c <= 0xFE6F) return false;
  if (c >= 0xFF00 && c <= 0xFFEF)
    return (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A) || (c >= 0xFF66 && c <= 0xFFDC);
  if (c >= 0xFFF0 && c <= 0xFFFF) return false;
  if (c >= 0x1F000 && c <= 0x1FAFF) return false;  // emoji and symbols
  return c > 0x0590 && !StrongRightToLeft(c);
}

}  // namespace

bool IsRightToLeft(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (StrongRightToLeft(c)) return true;
    if (StrongLeftToRight(c)) return false;
  }
  return false;
}

}  // namespace ui
