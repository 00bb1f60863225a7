#include <gtest/gtest.h>

#include "ui/text_fit.h"

namespace ui {
namespace {

// A fixed-pitch stand-in for the status font: 6 pixels a character, as Arial's
// average at the status font's cell width.
int Measure6(const std::u16string& s) { return static_cast<int>(s.size()) * 6; }

const std::u16string kLongGerman =
    u"Die Installationsdateien werden heruntergeladen, bitte warten Sie einen Moment, "
    u"bis der Vorgang abgeschlossen ist. Danke sehr";

TEST(StatusFit, ShortTextsStayAsTheyAreLongOnesKeepTheirStart) {
  // Fits: drawn exactly as ever, line breaks of its own included.
  EXPECT_EQ(FitStatusText(u"Downloading...", 300, 24, 16, Measure6).kind, StatusFit::AsIs);
  const StatusFit twoLines = FitStatusText(u"Line one\r\nLine two", 300, 24, 16, Measure6);
  EXPECT_EQ(twoLines.kind, StatusFit::AsIs);
  EXPECT_EQ(twoLines.text, u"Line one\r\nLine two");

  // 125 characters in a one-line panel: the first word stays, "..." ends it.
  ASSERT_EQ(kLongGerman.size(), 125u);
  const StatusFit cut = FitStatusText(kLongGerman, 300, 24, 16, Measure6);
  EXPECT_EQ(cut.kind, StatusFit::Ellipsis);
  EXPECT_EQ(cut.text.rfind(u"Die Installationsdateien", 0), 0u) << "the start is never lost";
  EXPECT_EQ(cut.text.substr(cut.text.size() - 3), u"...");
  EXPECT_LE(Measure6(cut.text), 300);
  EXPECT_EQ(cut.text.find(u"\r\n"), std::u16string::npos);
  // Cut after a whole word: what stands before "..." is a start of the text.
  EXPECT_EQ(kLongGerman.rfind(cut.text.substr(0, cut.text.size() - 3), 0), 0u);
  EXPECT_EQ(kLongGerman[cut.text.size() - 3], u' ');

  // A panel three lines high takes all of it, broken at spaces, every word kept.
  const StatusFit wrapped = FitStatusText(kLongGerman, 300, 48, 16, Measure6);
  EXPECT_EQ(wrapped.kind, StatusFit::Wrapped);
  std::u16string rejoined = wrapped.text;
  for (size_t at; (at = rejoined.find(u"\r\n")) != std::u16string::npos;) rejoined.replace(at, 2, u" ");
  EXPECT_EQ(rejoined, kLongGerman);
  size_t start = 0;
  for (size_t end; start <= wrapped.text.size(); start = end + 2) {
    end = wrapped.text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = wrapped.text.size();
    EXPECT_LE(Measure6(wrapped.text.substr(start, end - start)), 300);
  }

  // Two lines of room for more: the first line whole, the second cut.
  const StatusFit twoOfThree = FitStatusText(kLongGerman, 300, 32, 16, Measure6);
  EXPECT_EQ(twoOfThree.kind, StatusFit::Ellipsis);
  EXPECT_NE(twoOfThree.text.find(u"\r\n"), std::u16string::npos);
}

TEST(StatusFit, OneLongWordIsBrokenButNeverInsideASurrogatePair) {
  // 60 musical symbols (two units each) in a panel 50 units wide.
  std::u16string notes;
  for (int i = 0; i < 60; ++i) notes += u"\U0001D11E";
  const StatusFit fit = FitStatusText(notes, 300, 24, 16, Measure6);
  ASSERT_EQ(fit.kind, StatusFit::Ellipsis);
  const std::u16string kept = fit.text.substr(0, fit.text.size() - 3);
  EXPECT_EQ(kept.size() % 2, 0u);
  EXPECT_FALSE(kept.empty());
  EXPECT_LE(Measure6(fit.text), 300);
}

TEST(CaptionFit, ShrinksTheFontThenWidensTheButtonWithinItsLimit) {
  // Bold Arial at the Cancel button's cell: about the cell's width a character.
  auto measure = [](int, int w, const std::u16string& s) { return static_cast<int>(s.size()) * (w ? w : 12); };
  const CaptionFit same = FitCaption(u"Cancel", 23, 11, 96, 144, 4, measure);
  EXPECT_EQ(same.fontHeight, 23);
  EXPECT_EQ(same.fontWidth, 11);
  EXPECT_EQ(same.buttonWidth, 96);

  // "Abbrechen": 99 pixels on a button with 88 of room: a smaller cell, same button.
  const CaptionFit german = FitCaption(u"Abbrechen", 23, 11, 96, 144, 4, measure);
  EXPECT_EQ(german.buttonWidth, 96);
  EXPECT_LE(measure(german.fontHeight, german.fontWidth, u"Abbrechen"), 88);
  EXPECT_LT(german.fontWidth, 11);
  EXPECT_EQ(german.fontHeight, (23 * german.fontWidth + 5) / 11) << "height in proportion";

  // Too long even at three quarters: the button grows to fit, then stops at its limit.
  const CaptionFit longer = FitCaption(u"Herunterladen abbrechen", 23, 11, 96, 400, 4, measure);
  EXPECT_EQ(longer.fontWidth, 9) << "the smallest cell";
  EXPECT_EQ(longer.buttonWidth, 23 * 9 + 8);
  EXPECT_EQ(FitCaption(u"Herunterladen abbrechen", 23, 11, 96, 144, 4, measure).buttonWidth, 144);

  // A caption drawn at the face's natural width (CJK) shrinks by its height.
  auto byHeight = [](int h, int, const std::u16string& s) { return static_cast<int>(s.size()) * h; };
  const CaptionFit cjk = FitCaption(u"\u30AD\u30E3\u30F3\u30BB\u30EB", 23, 0, 100, 150, 4, byHeight);
  EXPECT_EQ(cjk.fontWidth, 0);
  EXPECT_EQ(cjk.fontHeight, 18);
  EXPECT_EQ(cjk.buttonWidth, 100);
}

TEST(ReadingOrder, TheFirstStrongCharacterDecides) {
  EXPECT_TRUE(IsRightToLeft(u"\u062C\u0627\u0631\u064D \u0627\u0644\u062A\u0646\u0632\u064A\u0644..."));  // Arabic
  EXPECT_TRUE(IsRightToLeft(u"\u05D4\u05D5\u05E8\u05D3\u05D4?"));                                    // Hebrew
  EXPECT_TRUE(IsRightToLeft(u"123 ... \u0627\u0644\u0645\u0646\u062A\u062C"));  // neutrals first decide nothing
  EXPECT_TRUE(IsRightToLeft(u"\u200FCancel"));                                 // a right-to-left mark
  EXPECT_TRUE(IsRightToLeft(u"\U00010900"));                                   // Phoenician, beyond the BMP
  EXPECT_FALSE(IsRightToLeft(u"(Acme) \u0627\u0644\u0645\u0646\u062A\u062C"));  // a Latin letter first
  EXPECT_FALSE(IsRightToLeft(u"\u0661\u0662\u0663 %"));                        // Arabic digits are weak
  EXPECT_FALSE(IsRightToLeft(u"\u30C0\u30A6\u30F3\u30ED\u30FC\u30C9\u4E2D"));    // Japanese
  EXPECT_FALSE(IsRightToLeft(u"... 42 %"));
  EXPECT_FALSE(IsRightToLeft(u""));
}

}  // namespace
}  // namespace ui
