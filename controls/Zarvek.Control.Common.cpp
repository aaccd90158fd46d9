#include "controls/Zarvek.Control.Common.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>

namespace vantrel {

COLORREF ColorToRGB(TColor AColor) {
  if ((AColor & clSystemColor) == clSystemColor) return GetSysColor(static_cast<int>(AColor & 0xFF));
  return AColor & 0x00FFFFFF;
}

COLORREF AdjustLuma(COLORREF AColor, int AChange, bool AScale) {
  if (AChange == 0) return AColor;
  constexpr int kLumaMax = 240;  // the HLS scale of ColorRGBToHLS
  WORD hue = 0;
  WORD luma = 0;
  WORD saturation = 0;
  ColorRGBToHLS(AColor, &hue, &luma, &saturation);
  int value = luma;
  if (!AScale) {
    value += MulDiv(kLumaMax, AChange, 1000);
  } else if (AChange > 0) {
    value += MulDiv(kLumaMax - value, AChange, 1000);
  } else {
    value += MulDiv(value, AChange, 1000);
  }
  return ColorHLSToRGB(hue, static_cast<WORD>(std::clamp(value, 0, kLumaMax)), saturation);
}

TColor WindowBackgroundColor(HWND AWindow) {
  if (!AWindow) return clBtnFace;
  auto brush = static_cast<ULONG_PTR>(GetClassLongPtrW(AWindow, GCLP_HBRBACKGROUND));
  // A class brush may be a system colour index plus one instead of a handle.
  if (brush > 0 && brush <= COLOR_MENUBAR + 1) return clSystemColor | static_cast<TColor>(brush - 1);
  LOGBRUSH logBrush = {};
  if (brush && GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof(logBrush), &logBrush) == sizeof(logBrush) &&
      logBrush.lbStyle == BS_SOLID) {
    return logBrush.lbColor;
  }
  return clBtnFace;
}

TFontInfo MakeFontInfo(const std::wstring& AName, int AHeight, bool ABold, TColor AColor) {
  TFontInfo font;
  font.LogFont.lfHeight = AHeight;
  font.LogFont.lfWeight = ABold ? FW_BOLD : FW_NORMAL;
  font.LogFont.lfCharSet = DEFAULT_CHARSET;
  font.LogFont.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy_s(font.LogFont.lfFaceName, AName.c_str(), _TRUNCATE);
  font.Color = AColor;
  return font;
}

TFontInfo FontInfoOf(HFONT AFont, TColor AColor) {
  TFontInfo font;
  HGDIOBJ source = AFont ? static_cast<HGDIOBJ>(AFont) : GetStockObject(DEFAULT_GUI_FONT);
  if (GetObjectW(source, sizeof(font.LogFont), &font.LogFont) != sizeof(font.LogFont)) {
    font = MakeFontInfo(L"Tahoma", -11, false);
  }
  font.Color = AColor;
  return font;
}

}  // namespace vantrel
