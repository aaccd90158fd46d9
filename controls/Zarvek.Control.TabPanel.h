// TTabPanel: a container window that draws a caption tab on its top or bottom edge and a thin
// border on chosen sides, and leaves the rest of its area to the child windows its owner puts
// in it. It paints everything itself, double-buffered; it has no keyboard behaviour.
//
// How it fits into a Win32 owner:
// - The owner creates its child windows with Handle() as their parent. The panel does not move
//   them itself: whenever the area for the children changes (a size change, or a property write
//   that changes the tab strip or the border) it calls OnAlignChildren with ChildArea().
// - WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR* and the owner-draw messages of the children are passed
//   on to the panel's parent, so the owner handles its buttons and trees as if they were its own.
// - The control font comes from the parent when the parent answers WM_GETFONT, otherwise it is
//   Tahoma 8 pt at the parent's pixel density. WM_SETFONT replaces it (the panel does not own
//   it). The caption is drawn in the face, style and colour of TabFont at the height of the
//   control font, so sending the form's font again after a pixel-density change is all the
//   scaling the panel needs.
// - A Win32 image list tells nobody about its changes: after changing the images of the list
//   assigned to Images, call ImagesChanged(); before destroying that list, set Images to null.
// - StyleAware: the program draws every window in the platform's own look (classic or visual
//   styles) and has no engine for custom styles, so the plain colour properties always apply.
//   The value is kept for owners that set it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>

#include "controls/Zarvek.Control.Common.h"
#include "forms/Zarvek.Forms.Component.h"
#include "forms/Zarvek.Forms.Window.h"
#include "forms/Zarvek_UIHandles.h"

namespace vantrel {

class TTabPanel : public TComponent, public TWindow {
 public:
  // Creates the window as a hidden child of AParent, 200 by 100 pixels, with the control id AId.
  TTabPanel(HWND AParent, int AId);
  ~TTabPanel() override;

  using TWindow::Handle;
  int Id() const { return FId; }
  std::wstring ClassName() const override { return L"TTabPanel"; }
  HWND WindowHandle() const override { return Handle(); }

  // Position and size in the parent's client coordinates.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  // Covers the whole client area of the parent; the owner calls it again when the parent resizes.
  void FillParent();
  RECT ClientRect() const;

  bool Visible() const;
  void SetVisible(bool AValue);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  // The caption, kept as the window text; any change of it repaints.
  std::wstring Caption() const;
  void SetCaption(const std::wstring& AValue);

  // The control font (not owned); see above.
  HFONT Font() const { return FFont ? FFont : FDefaultFont.get(); }
  void SetFont(HFONT AFont);

  // The body colour: the parent's background colour while ParentColor is on.
  TColor Color() const;
  void SetColor(TColor AValue);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool AValue);

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment AValue);
  bool Border() const { return FBorder; }
  void SetBorder(bool AValue);
  TBorderEdges BorderEdges() const { return FBorderEdges; }
  void SetBorderEdges(TBorderEdges AValue);
  TColor BorderColor() const { return FBorderColor; }
  void SetBorderColor(TColor AValue);
  TAlignment TabAlignment() const { return FTabAlignment; }
  void SetTabAlignment(TAlignment AValue);
  TColor TabColor() const { return FTabColor; }
  void SetTabColor(TColor AValue);
  const TFontInfo& TabFont() const { return FTabFont; }
  void SetTabFont(const TFontInfo& AValue);
  TColor TabBackgroundColor() const { return FTabBackgroundColor; }
  void SetTabBackgroundColor(TColor AValue);
  int TabWidth() const { return FTabWidth; }
  void SetTabWidth(int AValue);
  int TabHeight() const { return FTabHeight; }
  void SetTabHeight(int AValue);
  TTabPosition TabPosition() const { return FTabPosition; }
  void SetTabPosition(TTabPosition AValue);
  bool TabLine() const { return FTabLine; }
  void SetTabLine(bool AValue);
  bool TabBorder() const { return FTabBorder; }
  void SetTabBorder(bool AValue);
  int TabIndent() const { return FTabIndent; }
  void SetTabIndent(int AValue);
  int TopIndent() const { return FTopIndent; }
  void SetTopIndent(int AValue);
  // Not owned; see above.
  HIMAGELIST Images() const { return FImages; }
  void SetImages(HIMAGELIST AValue);
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int AValue);
  TImageAlign ImageAlign() const { return FImageAlign; }
  // iaTop is not supported and leaves the value as it is.
  void SetImageAlign(TImageAlign AValue);
  TEllipsisMode EllipsisMode() const { return FEllipsisMode; }
  void SetEllipsisMode(TEllipsisMode AValue);
  int LuminosityScale() const { return FLuminosityScale; }
  void SetLuminosityScale(int AValue);
  bool StyleAware() const { return FStyleAware; }
  void SetStyleAware(bool AValue);

  // Free values for the owner; the panel does nothing with them.
  bool ExcludeFlag = false;
  bool TagBool = false;
  std::wstring TagString;

  // The owner's notice that the images of the assigned list changed.
  void ImagesChanged();

  // Height of the tab strip, indent included.
  int GetTabHeight() const;
  // The part of the client area left for the children.
  RECT ChildArea() const;
  // Calls OnAlignChildren with the child area.
  void Realign();

  // Draws the whole client area into ADC at (0, 0), exactly as the window shows it.
  void PaintTo(HDC ADC) const;

  std::function<void(RECT AChildArea)> OnAlignChildren;
  std::function<void()> OnClick;
  std::function<void()> OnDblClick;

 protected:
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;

 private:
  static void RegisterPanelClass();
  void WMPaint();
  void Invalidate();
  // Re-aligns when the strip height is no longer the one the children were last aligned to.
  void RealignIfStripChanged();
  // The tab font at the control font's height, and whether an image is shown with its size.
  TFont CreateTabFont() const;
  bool ImageShown() const { return FImages && FImageIndex >= 0; }
  SIZE ImageSize() const;
  // Where the tab stands in the client area, AWidth by AHeight, on the top or the bottom edge.
  RECT TabRect(const RECT& AClient, int AWidth, int AHeight, bool ATop) const;
  // The tab's image and caption inside the tab ATab.
  void PaintTabContent(HDC ADC, const RECT& ATab, int ATabHeight, SIZE AImage, COLORREF ABackground) const;

  int FId = 0;
  bool FDestroying = false;
  bool FClicked = false;  // a button press began inside the panel
  HFONT FFont = nullptr;
  TFont FDefaultFont;
  TColor FColor = clBtnFace;
  bool FParentColor = true;
  int FAlignedTabHeight = -1;

  TAlignment FAlignment = TAlignment::taLeftJustify;
  bool FBorder = true;
  TBorderEdges FBorderEdges = TBorderEdges::All();
  TColor FBorderColor = clMedGray;
  TAlignment FTabAlignment = TAlignment::taLeftJustify;
  TColor FTabColor = clWhite;
  TFontInfo FTabFont;
  TColor FTabBackgroundColor = clSilver;
  int FTabWidth = 0;
  int FTabHeight = 0;
  TTabPosition FTabPosition = TTabPosition::tpTop;
  bool FTabLine = false;
  bool FTabBorder = true;
  int FTabIndent = 10;
  int FTopIndent = 5;
  HIMAGELIST FImages = nullptr;
  int FImageIndex = -1;
  TImageAlign FImageAlign = TImageAlign::iaLeft;
  TEllipsisMode FEllipsisMode = TEllipsisMode::emNone;
  int FLuminosityScale = 0;
  bool FStyleAware = true;
};

// The panel that frames the main window's registry view, captioned "Registry": border on the
// left, right and bottom in medium grey, a white tab with the caption in Tahoma bold (11 pixels
// at 96 dots per inch, following AFont's height at other densities) in the window text colour,
// on a band of the button face colour. It covers its parent's client area and starts hidden.
// AFont is the parent's font; send it again with WM_SETFONT when the pixel density changes (the
// form recreates its font then), and call FillParent() when the parent resizes. After setting
// OnAlignChildren, call Realign() once to place the children.
std::unique_ptr<TTabPanel> CreateRegistryTabPanel(HWND AParent, int AId, HFONT AFont);

}  // namespace vantrel
