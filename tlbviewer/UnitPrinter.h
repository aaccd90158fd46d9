// Printing the generated unit: the page layout as a pure function of the device, and the page
// loop over Scintilla's range formatting.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "tlbviewer/ScintillaEdit.h"

namespace vantrel {

// Margins in millimetres. Header and footer carry no text; the text stays inside the margins.
struct TPrintMargins {
  double Left = 25, Right = 15, Top = 25, Bottom = 25, Header = 15, Footer = 15;
};

// What a device reports about its page: the whole sheet, where its printable area starts, and its
// resolution.
struct TPageGeometry {
  int PhysicalWidth = 0;
  int PhysicalHeight = 0;
  int OffsetX = 0;
  int OffsetY = 0;
  int DpiX = 96;
  int DpiY = 96;
};
TPageGeometry GeometryOf(HDC ADC);

// Rectangles in the device's coordinates (the printable area starts at 0, 0).
struct TPageLayout {
  RECT Page;      // the whole sheet
  RECT Text;      // where the lines go; its left part holds the line numbers
  RECT Numbers;   // the line numbers, in the left margin
};
TPageLayout ComputePageLayout(const TPageGeometry& AGeometry, const TPrintMargins& AMargins, int ANumbersWidth);

// The language of a printed text, which chooses its colouring.
enum class TPrintedLanguage { Pascal, Idl };

// Prints a text as the viewer shows it: Courier New 8 pt, line numbers in the left margin, the
// language's colouring on white, tab width 8.
class TUnitPrinter {
 public:
  explicit TUnitPrinter(HWND AParent, TPrintedLanguage ALanguage = TPrintedLanguage::Pascal);
  // The whole text, NUL characters included.
  void SetText(std::wstring_view AText);
  std::wstring Text() const { return FEditor->Text(); }

  // Formats every page onto ADC; AStartPage and AEndPage bracket each page. Returns the number of
  // pages.
  int PrintPages(HDC ADC, const TPageGeometry& AGeometry, const TPrintMargins& AMargins,
                 const std::function<void(int APage)>& AStartPage, const std::function<void(int APage)>& AEndPage);
  // A whole print job on a printer's device context: StartDoc, the pages, EndDoc. Raises an error
  // when the printer refuses.
  int Print(HDC APrinter, const std::wstring& ATitle, const TPrintMargins& AMargins = {});

  // Width of the line numbers for the current text, in a device's pixels.
  int NumbersWidth(HDC ADC) const;

 private:
  std::unique_ptr<TScintilla> FEditor;
};

}  // namespace vantrel
