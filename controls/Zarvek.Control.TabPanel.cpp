#include "controls/Zarvek.Control.TabPanel.h"

#include <algorithm>
#include <utility>

#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

constexpr wchar_t kWindowClass[] = L"TTabPanel";

// Pen and brush of one colour each, as the painting steps switch them. The DC pen and DC brush
// are used, so drawing creates no GDI objects.
class TCanvas {
 public:
  explicit TCanvas(HDC ADC)
      : FDC(ADC), FPen(ADC, GetStockObject(DC_PEN)), FBrush(ADC, GetStockObject(DC_BRUSH)) {}

  void SetPenColor(COLORREF AColor) { SetDCPenColor(FDC, AColor); }
  void SetBrushColor(COLORREF AColor) { SetDCBrushColor(FDC, AColor); }
  void FillRect(const RECT& ARect) { ::FillRect(FDC, &ARect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH))); }
  // Outline on the rectangle's outermost pixels with the pen, inside filled with the brush.
  void Rectangle(const RECT& ARect) { ::Rectangle(FDC, ARect.left, ARect.top, ARect.right, ARect.bottom); }
  // The end point is not drawn.
  void Line(int AX1, int AY1, int AX2, int AY2) {
    MoveToEx(FDC, AX1, AY1, nullptr);
    LineTo(FDC, AX2, AY2);
  }

 private:
  HDC FDC;
  TSelectObject FPen;
  TSelectObject FBrush;
};

SIZE TextExtent(HDC ADC, const std::wstring& AText) {
  SIZE size = {};
  GetTextExtentPoint32W(ADC, AText.c_str(), static_cast<int>(AText.size()), &size);
  return size;
}

UINT CaptionFormat(TAlignment AAlignment, TEllipsisMode AEllipsis) {
  UINT format = DT_SINGLELINE | DT_VCENTER;
  switch (AAlignment) {
    case TAlignment::taLeftJustify:
      format |= DT_LEFT;
      break;
    case TAlignment::taRightJustify:
      format |= DT_RIGHT;
      break;
    case TAlignment::taCenter:
      format |= DT_CENTER;
      break;
  }
  switch (AEllipsis) {
    case TEllipsisMode::emNone:
      break;
    case TEllipsisMode::emPathEllipsis:
      format |= DT_PATH_ELLIPSIS;
      break;
    case TEllipsisMode::emWordEllipsis:
      format |= DT_WORD_ELLIPSIS;
      break;
    case TEllipsisMode::emEndEllipsis:
      format |= DT_END_ELLIPSIS;
      break;
  }
  return format;
}

bool IsParentNotification(UINT AMsg, LPARAM ALParam) {
  switch (AMsg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_COMPAREITEM:
    case WM_DELETEITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return true;
    case WM_HSCROLL:
    case WM_VSCROLL:
      return ALParam != 0;  // from a scroll bar or track bar child, not from the panel's own bars
    default:
      return false;
  }
}

}  // namespace

void TTabPanel::RegisterPanelClass() {
  WNDCLASSEXW wc = {sizeof(wc)};
  // The tab and the right and bottom border move with the size: every resize repaints it all.
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.hInstance = Application().Instance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kWindowClass;
  RegisterWindowClass(wc);
}

TTabPanel::TTabPanel(HWND AParent, int AId) : FId(AId) {
  RegisterPanelClass();
  UINT dpi = AParent ? GetDpiForWindow(AParent) : 0;
  if (dpi == 0) dpi = 96;
  const TFontInfo defaultFont = MakeFontInfo(L"Tahoma", -MulDiv(8, static_cast<int>(dpi), 72), false);
  FDefaultFont.reset(CreateFontIndirectW(&defaultFont.LogFont));
  if (AParent) FFont = reinterpret_cast<HFONT>(SendMessageW(AParent, WM_GETFONT, 0, 0));
  FTabFont = FontInfoOf(Font(), clWindowText);
  CreateHandle(WS_EX_CONTROLPARENT, kWindowClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 200, 100,
               AParent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)));
}

TTabPanel::~TTabPanel() {
  FDestroying = true;
  FImages = nullptr;
}

void TTabPanel::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (Handle()) SetWindowPos(Handle(), nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TTabPanel::FillParent() {
  if (!Handle()) return;
  RECT parent = {};
  GetClientRect(GetParent(Handle()), &parent);
  SetBounds(0, 0, parent.right - parent.left, parent.bottom - parent.top);
}

RECT TTabPanel::ClientRect() const {
  RECT client = {};
  if (Handle()) GetClientRect(Handle(), &client);
  return client;
}

bool TTabPanel::Visible() const { return Handle() && (GetWindowLongPtrW(Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }

void TTabPanel::SetVisible(bool AValue) {
  if (Handle()) ShowWindow(Handle(), AValue ? SW_SHOWNA : SW_HIDE);
}

std::wstring TTabPanel::Caption() const {
  if (!Handle()) return {};
  int length = GetWindowTextLengthW(Handle());
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(Handle(), text.data(), length + 1)));
  return text;
}

// WM_SETTEXT repaints, also when the owner sets the window text directly.
void TTabPanel::SetCaption(const std::wstring& AValue) {
  if (Handle()) SetWindowTextW(Handle(), AValue.c_str());
}

void TTabPanel::SetFont(HFONT AFont) {
  if (Handle()) SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(AFont), TRUE);
}

TColor TTabPanel::Color() const { return FParentColor ? WindowBackgroundColor(GetParent(Handle())) : FColor; }

void TTabPanel::SetColor(TColor AValue) {
  FColor = AValue;
  FParentColor = false;
  Invalidate();
}

void TTabPanel::SetParentColor(bool AValue) {
  FParentColor = AValue;
  Invalidate();
}

// Writes that change only the picture.

void TTabPanel::SetAlignment(TAlignment AValue) {
  FAlignment = AValue;
  Invalidate();
}

void TTabPanel::SetBorderColor(TColor AValue) {
  FBorderColor = AValue;
  Invalidate();
}

void TTabPanel::SetTabBackgroundColor(TColor AValue) {
  FTabBackgroundColor = AValue;
  Invalidate();
}

void TTabPanel::SetTabBorder(bool AValue) {
  FTabBorder = AValue;
  Invalidate();
}

void TTabPanel::SetTabLine(bool AValue) {
  FTabLine = AValue;
  Invalidate();
}

void TTabPanel::SetEllipsisMode(TEllipsisMode AValue) {
  FEllipsisMode = AValue;
  Invalidate();
}

void TTabPanel::SetLuminosityScale(int AValue) {
  FLuminosityScale = AValue;
  Invalidate();
}

void TTabPanel::SetTabIndent(int AValue) {
  FTabIndent = AValue;
  Invalidate();
}

void TTabPanel::SetStyleAware(bool AValue) {
  FStyleAware = AValue;
  Invalidate();
}

void TTabPanel::SetTabAlignment(TAlignment AValue) {
  FTabAlignment = AValue;
  Invalidate();
}

void TTabPanel::SetTabColor(TColor AValue) {
  FTabColor = AValue;
  Invalidate();
}

void TTabPanel::SetTabWidth(int AValue) {
  FTabWidth = AValue;
  Invalidate();
}

void TTabPanel::SetImageAlign(TImageAlign AValue) {
  if (AValue == TImageAlign::iaTop) return;
  FImageAlign = AValue;
  Invalidate();
}

// The strip height depends on these two, so the children follow at once instead of covering the
// tab (or leaving a gap) until the next resize.

void TTabPanel::SetTopIndent(int AValue) {
  FTopIndent = AValue;
  RealignIfStripChanged();
  Invalidate();
}

void TTabPanel::SetImageIndex(int AValue) {
  FImageIndex = AValue;
  RealignIfStripChanged();
  Invalidate();
}

// Writes that change the child area.

void TTabPanel::SetBorder(bool AValue) {
  FBorder = AValue;
  Realign();
  Invalidate();
}

void TTabPanel::SetTabHeight(int AValue) {
  FTabHeight = AValue;
  Realign();
  Invalidate();
}

void TTabPanel::SetTabPosition(TTabPosition AValue) {
  FTabPosition = AValue;
  Realign();
  Invalidate();
}

void TTabPanel::SetBorderEdges(TBorderEdges AValue) {
  if (AValue == FBorderEdges) return;
  FBorderEdges = AValue;
  Realign();
  Invalidate();
}

void TTabPanel::SetTabFont(const TFontInfo& AValue) {
  FTabFont = AValue;
  Realign();
  Invalidate();
}

void TTabPanel::SetImages(HIMAGELIST AValue) {
  if (AValue == FImages) return;
  FImages = AValue;
  Realign();
  Invalidate();
}

void TTabPanel::ImagesChanged() {
  if (FDestroying || !FImages) return;
  RealignIfStripChanged();
  Invalidate();
}

void TTabPanel::Invalidate() {
  if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void TTabPanel::Realign() {
  if (!Handle()) return;
  FAlignedTabHeight = GetTabHeight();
  if (OnAlignChildren) OnAlignChildren(ChildArea());
}

void TTabPanel::RealignIfStripChanged() {
  if (GetTabHeight() != FAlignedTabHeight) Realign();
}

TFont TTabPanel::CreateTabFont() const {
  LOGFONTW font = FTabFont.LogFont;
  LOGFONTW control = {};
  // The caption takes the control font's height; MulDiv yields -1 for a zero divisor, so a tab
  // font of height 0 stays at the default height.
  if (GetObjectW(Font(), sizeof(control), &control) == sizeof(control)) {
    int h = font.lfHeight;
    font.lfHeight = MulDiv(h, MulDiv(control.lfHeight, 96, h), 96);
  }
  return TFont(CreateFontIndirectW(&font));
}

SIZE TTabPanel::ImageSize() const {
  int width = 0;
  int height = 0;
  if (!FImages || !ImageList_GetIconSize(FImages, &width, &height)) return {0, 0};
  return {width, height};
}

int TTabPanel::GetTabHeight() const {
  TMemoryDC dc(CreateCompatibleDC(nullptr));
  TFont font = CreateTabFont();
  TSelectObject selectFont(dc.get(), font ? static_cast<HGDIOBJ>(font.get()) : GetStockObject(DEFAULT_GUI_FONT));
  int height = std::max<int>(TextExtent(dc.get(), L"W").cy, FTabHeight);
  if (ImageShown()) height = std::max<int>(height, ImageSize().cy);
  return height + FTopIndent + 6;
}

RECT TTabPanel::ChildArea() const {
  RECT area = ClientRect();
  bool top = FTabPosition == TTabPosition::tpTop;
  if (top) {
    area.top += GetTabHeight();
  } else {
    area.bottom -= GetTabHeight();
  }
  if (FBorder) {
    // The side that carries the tab has its separator instead of a border line.
    if (FBorderEdges.Contains(TBorderEdge::beLeft)) area.left += 1;
    if (FBorderEdges.Contains(TBorderEdge::beTop) && !top) area.top += 1;
    if (FBorderEdges.Contains(TBorderEdge::beRight)) area.right -= 1;
    if (FBorderEdges.Contains(TBorderEdge::beBottom) && top) area.bottom -= 1;
  }
  return area;
}

namespace {

// The border lines of the body; on the tab's side without an edge the side lines end at the
// separator row, ABandHeight from that side. Returns the area inside the lines.
RECT PaintBorder(TCanvas& ACanvas, const RECT& AClient, bool ATop, int ABandHeight, TBorderEdges AEdges) {
  RECT inner = AClient;
  RECT o = AClient;
  if (ATop && !AEdges.Contains(TBorderEdge::beTop)) o.top = AClient.top + ABandHeight - 1;
  if (!ATop && !AEdges.Contains(TBorderEdge::beBottom)) o.bottom = AClient.bottom - ABandHeight;
  if (AEdges.Contains(TBorderEdge::beLeft)) {
    ACanvas.Line(o.left, o.bottom, o.left, o.top - 1);
    inner.left += 1;
  }
  if (AEdges.Contains(TBorderEdge::beTop)) {
    ACanvas.Line(o.left, o.top, o.right, o.top);
    inner.top += 1;
  }
  if (AEdges.Contains(TBorderEdge::beRight)) {
    ACanvas.Line(o.right - 1, o.bottom, o.right - 1, o.top - 1);
    inner.right -= 1;
  }
  if (AEdges.Contains(TBorderEdge::beBottom)) {
    ACanvas.Line(o.right, o.bottom - 1, o.left - 1, o.bottom - 1);
    inner.bottom -= 1;
  }
  return inner;
}

}  // namespace

RECT TTabPanel::TabRect(const RECT& AClient, int AWidth, int AHeight, bool ATop) const {
  RECT x = {};
  switch (FTabAlignment) {
    case TAlignment::taLeftJustify:
      x.left = AClient.left + FTabIndent;
      break;
    case TAlignment::taRightJustify:
      x.left = AClient.right - FTabIndent - AWidth;
      break;
    case TAlignment::taCenter:
      x.left = (AClient.right - AClient.left) / 2 - AWidth / 2;
      break;
  }
  x.right = x.left + AWidth;
  if (ATop) {
    x.top = AClient.top + FTopIndent;
    x.bottom = x.top + AHeight;
  } else {
    x.top = AClient.bottom - FTopIndent - AHeight;
    x.bottom = AClient.bottom - FTopIndent;
  }
  return x;
}

void TTabPanel::PaintTabContent(HDC ADC, const RECT& ATab, int ATabHeight, SIZE AImage, COLORREF ABackground) const {
  RECT q = {ATab.left + 5, ATab.top + 3, ATab.right - 5, ATab.bottom - 3};
  if (ImageShown()) {
    const bool left = FImageAlign != TImageAlign::iaRight;
    const int ix = left ? q.left : q.right - AImage.cx;
    const int iy = ATab.top + (ATabHeight - AImage.cy) / 2;
    // An index past the list's end shows nothing; the room stays reserved.
    if (FImageIndex < ImageList_GetImageCount(FImages)) {
      TIcon icon(ImageList_GetIcon(FImages, FImageIndex, ILD_NORMAL));
      if (icon) DrawIconEx(ADC, ix, iy, icon.get(), AImage.cx, AImage.cy, 0, nullptr, DI_NORMAL);
    }
    if (left) {
      q.left += AImage.cx + 5;
    } else {
      q.right -= AImage.cx + 5;
    }
  }
  const std::wstring txt = Caption();
  SetBkMode(ADC, OPAQUE);
  SetBkColor(ADC, ABackground);
  DrawTextW(ADC, txt.c_str(), static_cast<int>(txt.size()), &q, CaptionFormat(FAlignment, FEllipsisMode));
}

void TTabPanel::PaintTo(HDC ADC) const {
  const RECT c = ClientRect();
  const bool top = FTabPosition == TTabPosition::tpTop;
  const std::wstring txt = Caption();
  const std::wstring measured = txt.empty() ? std::wstring(L"W") : txt;

  // With the platform's own look the plain properties give the colours (see the header).
  const COLORREF body = AdjustLuma(ColorToRGB(Color()), FLuminosityScale, true);
  const COLORREF border = ColorToRGB(FBorderColor);
  const COLORREF tab = ColorToRGB(FTabColor);

  TFont font = CreateTabFont();
  TSelectObject selectFont(ADC, font ? static_cast<HGDIOBJ>(font.get()) : GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(ADC, ColorToRGB(FTabFont.Color));
  TCanvas canvas(ADC);
  canvas.SetPenColor(border);
  canvas.SetBrushColor(body);
  canvas.FillRect(c);

  const SIZE image = ImageShown() ? ImageSize() : SIZE{0, 0};
  const SIZE textSize = TextExtent(ADC, measured);
  int w = FTabWidth != 0 ? FTabWidth : textSize.cx + image.cx + 10;
  if (ImageShown()) w += 5;
  const int th = std::max({static_cast<int>(textSize.cy), FTabHeight, static_cast<int>(image.cy)}) + 6;

  // The band the tab stands in.
  canvas.SetBrushColor(ColorToRGB(FTabBackgroundColor));
  if (top) {
    canvas.FillRect({c.left, c.top, c.right, c.top + FTopIndent + th - 1});
  } else {
    canvas.FillRect({c.left, c.bottom - FTopIndent - th + 1, c.right, c.bottom});
  }
  const RECT inner = FBorder ? PaintBorder(canvas, c, top, FTopIndent + th, FBorderEdges) : c;

  const RECT s = TabRect(c, w, th, top);
  const int sep = top ? s.bottom - 1 : s.top;
  RECT x = s;
  canvas.SetBrushColor(tab);
  if (!FTabBorder) {
    canvas.SetPenColor(tab);
    if (top && FBorderEdges.Contains(TBorderEdge::beTop)) x.top += 1;
    if (!top && FBorderEdges.Contains(TBorderEdge::beBottom)) x.bottom -= 1;
  }
  canvas.Rectangle(x);
  canvas.Line(inner.left, sep, inner.right, sep);
  canvas.SetPenColor(border);
  if (!FTabBorder && FBorder) {
    canvas.Line(inner.left - 1, x.bottom - 1, inner.left - 1, x.top - 1);
    canvas.Line(inner.right, x.bottom - 1, inner.right, x.top - 1);
  }
  if (!FTabLine) {
    // Opens the tab into the body.
    canvas.SetPenColor(tab);
    canvas.Line(x.left + 1, sep, x.right - 1, sep);
  } else if (!FTabBorder) {
    canvas.Line(c.left + 1, sep, c.right - 1, sep);
  }
  PaintTabContent(ADC, s, th, image, tab);
}

void TTabPanel::WMPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  const RECT client = ClientRect();
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  // Drawn off screen and shown in one piece, so the tab never flickers through the fills.
  TMemoryDC buffer(CreateCompatibleDC(dc));
  TBitmap bitmap(buffer ? CreateCompatibleBitmap(dc, width, height) : nullptr);
  if (bitmap) {
    TSelectObject selectBitmap(buffer.get(), bitmap.get());
    PaintTo(buffer.get());
    BitBlt(dc, 0, 0, width, height, buffer.get(), 0, 0, SRCCOPY);
  } else if (width > 0 && height > 0) {
    PaintTo(dc);
  }
  EndPaint(Handle(), &paint);
}

LRESULT TTabPanel::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (IsParentNotification(AMsg, ALParam)) {
    HWND parent = GetParent(Handle());
    if (parent) return SendMessageW(parent, AMsg, AWParam, ALParam);
  }
  switch (AMsg) {
    case WM_PAINT:
      WMPaint();
      return 0;
    case WM_PRINTCLIENT:
      PaintTo(reinterpret_cast<HDC>(AWParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      Realign();
      return 0;
    case WM_SETFONT:
      FFont = reinterpret_cast<HFONT>(AWParam);
      // The strip follows the control font's height, so the children move with it.
      Realign();
      if (LOWORD(ALParam)) Invalidate();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(Font());
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcW(Handle(), AMsg, AWParam, ALParam);
      Invalidate();
      return result;
    }
    case WM_LBUTTONDOWN:
      SetCapture(Handle());
      FClicked = true;
      return 0;
    case WM_LBUTTONDBLCLK:
      SetCapture(Handle());
      if (OnDblClick) OnDblClick();
      return 0;
    case WM_LBUTTONUP: {
      bool clicked = std::exchange(FClicked, false);
      if (GetCapture() == Handle()) ReleaseCapture();
      POINT point = {static_cast<short>(LOWORD(ALParam)), static_cast<short>(HIWORD(ALParam))};
      RECT client = ClientRect();
      if (clicked && PtInRect(&client, point) && OnClick) OnClick();
      return 0;
    }
    case WM_CAPTURECHANGED:
      FClicked = false;
      return 0;
    default:
      return TWindow::WndProc(AMsg, AWParam, ALParam);
  }
}

std::unique_ptr<TTabPanel> CreateRegistryTabPanel(HWND AParent, int AId, HFONT AFont) {
  auto panel = std::make_unique<TTabPanel>(AParent, AId);
  if (AFont) panel->SetFont(AFont);
  panel->SetCaption(L"Registry");
  panel->SetBorderEdges({TBorderEdge::beLeft, TBorderEdge::beRight, TBorderEdge::beBottom});
  panel->SetBorderColor(clMedGray);
  panel->SetTabColor(clWhite);
  // 11 pixels is the design height at 96 dots per inch; painting scales it to the control font.
  panel->SetTabFont(MakeFontInfo(L"Tahoma", -11, true, clWindowText));
  panel->SetTabBackgroundColor(clBtnFace);
  panel->TagBool = false;
  panel->FillParent();
  return panel;
}

}  // namespace vantrel
