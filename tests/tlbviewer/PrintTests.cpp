// Printing the unit: the page layout as a function of the device, and pages rendered on a bitmap.
#include <gtest/gtest.h>

#include "forms/Zarvek_UIHandles.h"
#include "forms/Zarvek.Forms.Application.h"
#include "tests/support/DibImage.h"
#include "tlbviewer/UnitPrinter.h"

using namespace vantrel;
using namespace vantrel::test;

TEST(PageLayout, MarginsInDevicePixelsFromThePrintableAreasOrigin) {
  // A4 at 600 dots per inch with a printable area starting 0.25 inch in.
  TPageGeometry a4 = {4961, 7016, 150, 150, 600, 600};
  TPageLayout layout = ComputePageLayout(a4, TPrintMargins{}, 300);
  EXPECT_EQ(layout.Page.left, -150);
  EXPECT_EQ(layout.Page.top, -150);
  EXPECT_EQ(layout.Page.right, 4961 - 150);
  EXPECT_EQ(layout.Page.bottom, 7016 - 150);
  // 25 mm = 591 pixels, 15 mm = 354 pixels at 600 dpi.
  EXPECT_EQ(layout.Text.top, 591 - 150);
  EXPECT_EQ(layout.Text.bottom, 7016 - 591 - 150);
  EXPECT_EQ(layout.Text.right, 4961 - 354 - 150);
  // The numbers stand in the left margin, ending where the 25 mm margin ends.
  EXPECT_EQ(layout.Numbers.left, 591 - 150 - 300);
  EXPECT_EQ(layout.Numbers.right, 591 - 150);
  EXPECT_EQ(layout.Text.left, layout.Numbers.left);
}

TEST(PageLayout, OtherResolutionsAndMargins) {
  struct Case {
    TPageGeometry geometry;
    TPrintMargins margins;
    int numbers;
    RECT text;
  } cases[] = {
      // Letter at 300 dpi without offsets.
      {{2550, 3300, 0, 0, 300, 300}, {}, 0, {295, 295, 2550 - 177, 3300 - 295}},
      // Different horizontal and vertical resolution.
      {{1000, 2000, 10, 20, 100, 200}, {}, 50, {98 - 10 - 50, 197 - 20, 1000 - 59 - 10, 2000 - 197 - 20}},
      // Numbers wider than the margin are kept inside the sheet.
      {{1000, 1000, 0, 0, 100, 100}, {10, 10, 10, 10, 15, 15}, 500, {0, 39, 1000 - 39, 1000 - 39}},
  };
  for (const Case& c : cases) {
    TPageLayout layout = ComputePageLayout(c.geometry, c.margins, c.numbers);
    EXPECT_EQ(layout.Text.left, c.text.left);
    EXPECT_EQ(layout.Text.top, c.text.top);
    EXPECT_EQ(layout.Text.right, c.text.right);
    EXPECT_EQ(layout.Text.bottom, c.text.bottom);
  }
}

namespace {

// A page of A4 at the bitmap's own resolution, rendered into a top-down 32-bit DIB.
class TPageBitmap {
 public:
  TPageBitmap(int AWidth, int AHeight) : FImage(AWidth, AHeight) {}
  HDC DC() const { return FImage.DC(); }
  void Clear() {
    RECT all = {0, 0, FImage.Width(), FImage.Height()};
    FillRect(FImage.DC(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  bool Dark(int X, int Y) const {
    COLORREF pixel = FImage.Pixel(X, Y);
    return GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) < 600;
  }
  // True when some pixel of the rectangle is not white.
  bool Inked(const RECT& ARect) const {
    for (int y = std::max(0L, ARect.top); y < std::min<LONG>(FImage.Height(), ARect.bottom); ++y) {
      for (int x = std::max(0L, ARect.left); x < std::min<LONG>(FImage.Width(), ARect.right); ++x) {
        if (Dark(x, y)) return true;
      }
    }
    return false;
  }
  // True when some pixel of the rectangle is clearly red.
  bool Red(const RECT& ARect) const {
    for (int y = std::max(0L, ARect.top); y < std::min<LONG>(FImage.Height(), ARect.bottom); ++y) {
      for (int x = std::max(0L, ARect.left); x < std::min<LONG>(FImage.Width(), ARect.right); ++x) {
        const COLORREF pixel = FImage.Pixel(x, y);
        if (GetRValue(pixel) > 180 && GetGValue(pixel) < 100 && GetBValue(pixel) < 100) return true;
      }
    }
    return false;
  }
  // Number of separate bands of inked rows in a column range.
  int InkedRowBands(int ALeft, int ARight) const {
    int bands = 0;
    bool inBand = false;
    for (int y = 0; y < FImage.Height(); ++y) {
      bool inked = Inked(RECT{ALeft, y, ARight, y + 1});
      if (inked && !inBand) ++bands;
      inBand = inked;
    }
    return bands;
  }

 private:
  TDibImage FImage;
};

std::wstring NumberedLines(int ACount) {
  std::wstring text;
  for (int i = 1; i <= ACount; ++i) {
    text += L"  Line" + std::to_wstring(i) + L": LongInt; // comment";
    if (i < ACount) text += L"\r\n";
  }
  return text;
}

}  // namespace

TEST(Printing, PagesKeepTheMarginsShowLineNumbersAndCountRight) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  TUnitPrinter printer(parent);
  const int lines = 300;
  printer.SetText(NumberedLines(lines));
  // A4 at 96 dots per inch, the bitmap's own resolution.
  const TPageGeometry a4 = {794, 1123, 0, 0, 96, 96};
  TPageBitmap page(a4.PhysicalWidth, a4.PhysicalHeight);
  const TPageLayout layout = ComputePageLayout(a4, TPrintMargins{}, printer.NumbersWidth(page.DC()));
  ASSERT_GT(layout.Numbers.right, layout.Numbers.left);
  int firstPageLines = 0;
  int pagesSeen = 0;
  const int pages = printer.PrintPages(
      page.DC(), a4, TPrintMargins{},
      [&](int) { page.Clear(); },
      [&](int APage) {
        ++pagesSeen;
        // Nothing outside the margins but the line numbers in the left margin.
        EXPECT_FALSE(page.Inked({0, 0, a4.PhysicalWidth, layout.Text.top})) << "page " << APage;
        EXPECT_FALSE(page.Inked({0, layout.Text.bottom, a4.PhysicalWidth, a4.PhysicalHeight})) << "page " << APage;
        EXPECT_FALSE(page.Inked({0, 0, layout.Numbers.left, a4.PhysicalHeight})) << "page " << APage;
        EXPECT_FALSE(page.Inked({layout.Text.right, 0, a4.PhysicalWidth, a4.PhysicalHeight})) << "page " << APage;
        EXPECT_TRUE(page.Inked(layout.Numbers)) << "no line numbers on page " << APage;
        if (APage == 1) firstPageLines = page.InkedRowBands(layout.Numbers.left, layout.Numbers.right);
      });
  DestroyWindow(parent);
  EXPECT_EQ(pages, pagesSeen);
  ASSERT_GT(firstPageLines, 10);
  EXPECT_EQ(pages, (lines + firstPageLines - 1) / firstPageLines);
}

TEST(Printing, EmptyTextIsOnePageAndNoJobStartsWithoutAPrinter) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  TUnitPrinter printer(parent);
  printer.SetText(L"");
  TPageBitmap page(200, 200);
  EXPECT_EQ(printer.PrintPages(page.DC(), {200, 200, 0, 0, 96, 96}, TPrintMargins{}, nullptr, nullptr), 1);
  // A memory context is no printer: the job is refused with an error, not printed.
  EXPECT_THROW(printer.Print(page.DC(), L"title"), std::exception);
  DestroyWindow(parent);
}

TEST(Printing, ANulCharacterCutsNothing) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  TUnitPrinter printer(parent);
  const TPageGeometry a4 = {794, 1123, 0, 0, 96, 96};
  TPageBitmap page(a4.PhysicalWidth, a4.PhysicalHeight);
  const std::wstring plain = NumberedLines(300);
  printer.SetText(plain);
  const int plainPages = printer.PrintPages(page.DC(), a4, TPrintMargins{}, nullptr, nullptr);
  std::wstring withNul = plain;
  withNul.insert(withNul.find(L"Line1") + 5, 1, L'\0');  // in the first line
  printer.SetText(withNul);
  EXPECT_EQ(printer.Text(), withNul);
  EXPECT_GT(plainPages, 1);
  EXPECT_EQ(printer.PrintPages(page.DC(), a4, TPrintMargins{}, nullptr, nullptr), plainPages);
  DestroyWindow(parent);
}

// IDL prints in its own colours: its double-quoted strings are red, which the Pascal colouring
// does not know.
TEST(Printing, EachLanguagePrintsInItsOwnColours) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  const TPageGeometry a4 = {794, 1123, 0, 0, 96, 96};
  const std::wstring text =
      L"    [helpstring(\"Drawing surface of the canvas\")]\r\n    interface ICanvas : IUnknown {";
  for (TPrintedLanguage language : {TPrintedLanguage::Idl, TPrintedLanguage::Pascal}) {
    TUnitPrinter printer(parent, language);
    printer.SetText(text);
    TPageBitmap page(a4.PhysicalWidth, a4.PhysicalHeight);
    const TPageLayout layout = ComputePageLayout(a4, TPrintMargins{}, printer.NumbersWidth(page.DC()));
    bool red = false;
    printer.PrintPages(page.DC(), a4, TPrintMargins{}, [&](int) { page.Clear(); },
                       [&](int) { red = page.Red(layout.Text); });
    EXPECT_EQ(red, language == TPrintedLanguage::Idl) << (language == TPrintedLanguage::Idl ? "IDL" : "Pascal");
  }
  DestroyWindow(parent);
}

TEST(Fonts, CodeIsShownInAFixedPitchFontWhereThePreferredOneIsMissing) {
  std::string fallback = MonospaceFace(L"No Such Font Face");
  ASSERT_NE(fallback, "No Such Font Face");
  EXPECT_EQ(MonospaceFace(FromUtf8(fallback).c_str()), fallback);  // an installed preferred face is kept
  LOGFONTW font = {};
  font.lfHeight = -13;
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy_s(font.lfFaceName, LF_FACESIZE, FromUtf8(fallback).c_str(), _TRUNCATE);
  TFont handle(CreateFontIndirectW(&font));
  TWindowDC screen(nullptr);
  TSelectObject select(screen.get(), handle.get());
  TEXTMETRICW metrics = {};
  GetTextMetricsW(screen.get(), &metrics);
  // The TMPF_FIXED_PITCH bit is set for variable pitch, as the platform names it.
  EXPECT_FALSE(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) << fallback;
  SIZE narrow = {}, wide = {};
  GetTextExtentPoint32W(screen.get(), L"iiii", 4, &narrow);
  GetTextExtentPoint32W(screen.get(), L"WWWW", 4, &wide);
  EXPECT_EQ(narrow.cx, wide.cx) << fallback;
}
