// Types the custom controls share: colours that may name a system colour, the enumerations of
// their properties, and a font description that owns no handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace vantrel {

// A colour as the controls store it: either an RGB value (as COLORREF) or, with the high byte
// 0xFF, a system colour index. System colours are resolved when drawing, so a control follows
// a change of the desktop's colours without being told.
using TColor = DWORD;

constexpr TColor clSystemColor = 0xFF000000;
constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);
constexpr TColor clSilver = RGB(192, 192, 192);
constexpr TColor clMedGray = RGB(160, 160, 164);
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;

// The RGB value of a colour; system colours are looked up now.
COLORREF ColorToRGB(TColor AColor);

// The colour with its luminance changed by AChange tenths of a percent, as the shell's
// ColorAdjustLuma defines it: with AScale, a positive change moves that share of the way towards
// white and a negative one that share of the way towards black; without AScale the change is a
// share of the whole scale. Done here because the shell function is an empty stub under Wine.
COLORREF AdjustLuma(COLORREF AColor, int AChange, bool AScale);

// The colour a window paints its background with, read from its class brush; button face when
// it has none.
TColor WindowBackgroundColor(HWND AWindow);

enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum class TBorderEdge : uint8_t { beLeft, beTop, beRight, beBottom };
enum class TTabPosition : uint8_t { tpTop, tpBottom };
enum class TImageAlign : uint8_t { iaLeft, iaRight, iaTop };
enum class TEllipsisMode : uint8_t { emNone, emPathEllipsis, emWordEllipsis, emEndEllipsis };

// A set of TBorderEdge, one bit per edge.
class TBorderEdges {
 public:
  constexpr TBorderEdges() = default;
  constexpr TBorderEdges(std::initializer_list<TBorderEdge> AEdges) {
    for (auto edge : AEdges) FBits |= Bit(edge);
  }
  static constexpr TBorderEdges All() {
    return {TBorderEdge::beLeft, TBorderEdge::beTop, TBorderEdge::beRight, TBorderEdge::beBottom};
  }
  constexpr bool Contains(TBorderEdge AEdge) const { return (FBits & Bit(AEdge)) != 0; }
  constexpr TBorderEdges With(TBorderEdge AEdge) const {
    TBorderEdges result = *this;
    result.FBits |= Bit(AEdge);
    return result;
  }
  constexpr TBorderEdges Without(TBorderEdge AEdge) const {
    TBorderEdges result = *this;
    result.FBits &= static_cast<uint8_t>(~Bit(AEdge));
    return result;
  }
  constexpr bool operator==(const TBorderEdges&) const = default;

 private:
  static constexpr uint8_t Bit(TBorderEdge AEdge) { return static_cast<uint8_t>(1u << static_cast<unsigned>(AEdge)); }
  uint8_t FBits = 0;
};

// A font as a value: what CreateFontIndirectW needs, plus the colour text is drawn in.
struct TFontInfo {
  LOGFONTW LogFont = {};
  TColor Color = clWindowText;

  std::wstring Name() const { return LogFont.lfFaceName; }
  int Height() const { return LogFont.lfHeight; }
  bool Bold() const { return LogFont.lfWeight >= FW_BOLD; }
};

// A face with a height in pixels (negative: character height) and a weight.
TFontInfo MakeFontInfo(const std::wstring& AName, int AHeight, bool ABold, TColor AColor = clWindowText);
// The description of an existing font handle; a default GUI font description for a null handle.
TFontInfo FontInfoOf(HFONT AFont, TColor AColor = clWindowText);

}  // namespace vantrel
