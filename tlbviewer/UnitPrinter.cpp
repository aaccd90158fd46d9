#include "tlbviewer/UnitPrinter.h"

#include <algorithm>
#include <cmath>

#include "SciLexer.h"
#include "forms/Zarvek_UIHandles.h"
#include "base/Zarvek_SysUtils.h"
#include "tlbviewer/IdlStyles.h"
#include "tlbviewer/PascalStyles.h"

namespace vantrel {

namespace {

int MillimetresToPixels(double AMillimetres, int ADpi) {
  return static_cast<int>(std::lround(AMillimetres * ADpi / 25.4));
}

constexpr int kPrintPoints = 8;

// Courier New, or the nearest fixed-pitch font where the system lacks it.
const std::string& PrintFace() {
  static const std::string face = MonospaceFace(L"Courier New");
  return face;
}

}  // namespace

TPageGeometry GeometryOf(HDC ADC) {
  TPageGeometry geometry;
  geometry.PhysicalWidth = GetDeviceCaps(ADC, PHYSICALWIDTH);
  geometry.PhysicalHeight = GetDeviceCaps(ADC, PHYSICALHEIGHT);
  geometry.OffsetX = GetDeviceCaps(ADC, PHYSICALOFFSETX);
  geometry.OffsetY = GetDeviceCaps(ADC, PHYSICALOFFSETY);
  geometry.DpiX = GetDeviceCaps(ADC, LOGPIXELSX);
  geometry.DpiY = GetDeviceCaps(ADC, LOGPIXELSY);
  // A display or memory context has no sheet: its whole area is the page.
  if (geometry.PhysicalWidth <= 0 || geometry.PhysicalHeight <= 0) {
    geometry.PhysicalWidth = GetDeviceCaps(ADC, HORZRES);
    geometry.PhysicalHeight = GetDeviceCaps(ADC, VERTRES);
    geometry.OffsetX = geometry.OffsetY = 0;
  }
  return geometry;
}

TPageLayout ComputePageLayout(const TPageGeometry& AGeometry, const TPrintMargins& AMargins, int ANumbersWidth) {
  TPageLayout layout;
  layout.Page = {-AGeometry.OffsetX, -AGeometry.OffsetY, AGeometry.PhysicalWidth - AGeometry.OffsetX,
                 AGeometry.PhysicalHeight - AGeometry.OffsetY};
  const int left = MillimetresToPixels(AMargins.Left, AGeometry.DpiX);
  const int right = MillimetresToPixels(AMargins.Right, AGeometry.DpiX);
  const int top = MillimetresToPixels(AMargins.Top, AGeometry.DpiY);
  const int bottom = MillimetresToPixels(AMargins.Bottom, AGeometry.DpiY);
  // The text keeps to the margins; its line numbers stand in the left margin, right of the edge.
  const int numbers = std::min(ANumbersWidth, left);
  layout.Text = {layout.Page.left + left - numbers, layout.Page.top + top, layout.Page.right - right,
                 layout.Page.bottom - bottom};
  layout.Numbers = {layout.Text.left, layout.Text.top, layout.Text.left + numbers, layout.Text.bottom};
  return layout;
}

TUnitPrinter::TUnitPrinter(HWND AParent, TPrintedLanguage ALanguage)
    : FEditor(std::make_unique<TScintilla>(AParent, 0, WS_CHILD)) {
  if (ALanguage == TPrintedLanguage::Idl) {
    ApplyIdlStyles(*FEditor, PrintFace().c_str(), kPrintPoints);
  } else {
    ApplyPascalStyles(*FEditor, PrintFace().c_str(), kPrintPoints);
  }
  FEditor->StyleSetFont(STYLE_LINENUMBER, PrintFace().c_str(), kPrintPoints);
  FEditor->Call(SCI_SETMARGINTYPEN, 0, SC_MARGIN_NUMBER);
  FEditor->Call(SCI_SETMARGINWIDTHN, 0, 1);  // any width: printing sizes the numbers itself
  FEditor->Call(SCI_SETMARGINWIDTHN, 1, 0);
  FEditor->Call(SCI_SETPRINTCOLOURMODE, SC_PRINT_COLOURONWHITE);
  FEditor->Call(SCI_SETPRINTWRAPMODE, SC_WRAP_WORD);
}

void TUnitPrinter::SetText(std::wstring_view AText) {
  FEditor->SetReadOnly(false);
  FEditor->SetText(AText);
  FEditor->Call(SCI_COLOURISE, 0, -1);
  FEditor->SetReadOnly(true);
}

int TUnitPrinter::NumbersWidth(HDC ADC) const {
  // Printing measures "99999" and three blanks in the line-number font on the device.
  LOGFONTW font = {};
  font.lfHeight = -MulDiv(kPrintPoints, GetDeviceCaps(ADC, LOGPIXELSY), 72);
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy_s(font.lfFaceName, FromUtf8(PrintFace()).c_str(), _TRUNCATE);
  TFont handle(CreateFontIndirectW(&font));
  TSelectObject select(ADC, handle.get());
  SIZE size = {};
  GetTextExtentPoint32W(ADC, L"99999   ", 8, &size);
  return size.cx;
}

int TUnitPrinter::PrintPages(HDC ADC, const TPageGeometry& AGeometry, const TPrintMargins& AMargins,
                             const std::function<void(int APage)>& AStartPage,
                             const std::function<void(int APage)>& AEndPage) {
  const TPageLayout layout = ComputePageLayout(AGeometry, AMargins, NumbersWidth(ADC));
  const intptr_t length = FEditor->Length();
  intptr_t position = 0;
  int pages = 0;
  // The formatter keeps a cache of the last range until told to free it.
  TScopeExit freeCache([this] { FEditor->Call(SCI_FORMATRANGEFULL, 0, 0); });
  do {
    ++pages;
    if (AStartPage) AStartPage(pages);
    Sci_RangeToFormatFull range = {};
    range.hdc = ADC;
    range.hdcTarget = ADC;
    range.rc = {layout.Text.left, layout.Text.top, layout.Text.right, layout.Text.bottom};
    range.rcPage = {layout.Page.left, layout.Page.top, layout.Page.right, layout.Page.bottom};
    range.chrg = {position, length};
    intptr_t next = FEditor->Call(SCI_FORMATRANGEFULL, 1, reinterpret_cast<intptr_t>(&range));
    if (AEndPage) AEndPage(pages);
    // A page that takes nothing (a line taller than the page) would never end the loop.
    if (next <= position) break;
    position = next;
  } while (position < length);
  return pages;
}

int TUnitPrinter::Print(HDC APrinter, const std::wstring& ATitle, const TPrintMargins& AMargins) {
  DOCINFOW document = {sizeof(document)};
  document.lpszDocName = ATitle.c_str();
  if (StartDocW(APrinter, &document) <= 0) throw Exception(L"Printing failed: " + Trim(SysErrorMessage(GetLastError())));
  bool failed = false;
  int pages = 0;
  try {
    pages = PrintPages(
        APrinter, GeometryOf(APrinter), AMargins,
        [&](int) {
          if (StartPage(APrinter) <= 0) failed = true;
        },
        [&](int) {
          if (EndPage(APrinter) <= 0) failed = true;
        });
  } catch (...) {
    AbortDoc(APrinter);
    throw;
  }
  if (failed) {
    AbortDoc(APrinter);
    throw Exception(L"Printing failed: " + Trim(SysErrorMessage(GetLastError())));
  }
  EndDoc(APrinter);
  return pages;
}

}  // namespace vantrel
