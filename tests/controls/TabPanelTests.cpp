// The tab panel in a real window, painted into a real DIB; colours are checked at the coordinates
// the drawing rules give.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/Zarvek.Control.TabPanel.h"
#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek.Forms.Form.h"
#include "tests/support/DibImage.h"

namespace vantrel {
using test::TDibImage;

namespace {

constexpr int kPanelId = 77;
constexpr COLORREF kBody = RGB(0, 0, 160);
constexpr COLORREF kBand = RGB(0, 160, 0);
constexpr COLORREF kTab = RGB(240, 240, 0);
constexpr COLORREF kBorder = RGB(200, 0, 0);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kImage = RGB(255, 0, 255);

std::string ColorText(COLORREF AColor) {
  char text[32];
  snprintf(text, sizeof(text), "RGB(%u, %u, %u)", GetRValue(AColor), GetGValue(AColor), GetBValue(AColor));
  return text;
}

testing::AssertionResult PixelIs(const TDibImage& AImage, int AX, int AY, COLORREF AExpected) {
  if (AX < 0 || AY < 0 || AX >= AImage.Width() || AY >= AImage.Height()) {
    return testing::AssertionFailure() << "(" << AX << ", " << AY << ") lies outside the image";
  }
  COLORREF actual = AImage.Pixel(AX, AY);
  if (actual == AExpected) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "pixel (" << AX << ", " << AY << ") is " << ColorText(actual)
                                     << ", expected " << ColorText(AExpected);
}

TFont MakeFont(int AHeight, bool ABold = false) {
  const TFontInfo info = MakeFontInfo(L"Tahoma", AHeight, ABold);
  return TFont(CreateFontIndirectW(&info.LogFont));
}

// Text size measured with a font made here, independently of the panel.
SIZE MeasureText(const std::wstring& AText, int AHeight, bool ABold) {
  TFont font = MakeFont(AHeight, ABold);
  TMemoryDC dc(CreateCompatibleDC(nullptr));
  TSelectObject select(dc.get(), font.get());
  SIZE size = {};
  GetTextExtentPoint32W(dc.get(), AText.c_str(), static_cast<int>(AText.size()), &size);
  return size;
}


// The parent window; it records what reaches it from the panel's children.
class TTestHost : public TForm {
 public:
  TTestHost() : TForm(Design()) {}

  std::vector<std::pair<int, int>> Commands;
  std::vector<UINT> NotifyCodes;
  std::vector<UINT> OtherMessages;
  TBrush StaticBrush{CreateSolidBrush(RGB(1, 2, 3))};

 protected:
  void Command(int AId, int ACode, HWND) override { Commands.emplace_back(AId, ACode); }
  LRESULT Notify(NMHDR* AHeader) override {
    NotifyCodes.push_back(AHeader->code);
    return 4321;
  }
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override {
    switch (AMsg) {
      case WM_CTLCOLORSTATIC:
        OtherMessages.push_back(AMsg);
        return reinterpret_cast<LRESULT>(StaticBrush.get());
      case WM_DRAWITEM:
      case WM_MEASUREITEM:
        OtherMessages.push_back(AMsg);
        return TRUE;
      default:
        return TForm::WndProc(AMsg, AWParam, ALParam);
    }
  }

 private:
  static TFormDesign Design() {
    TFormDesign design;
    design.ClassName = L"VantrelTabPanelTestHost";
    design.Caption = L"Tab panel test";
    design.ClientWidth = 640;
    design.ClientHeight = 400;
    return design;
  }
};

class TabPanelTest : public testing::Test {
 protected:
  void SetUp() override {
    Host = std::make_unique<TTestHost>();
    Panel = std::make_unique<TTabPanel>(Host->Handle(), kPanelId);
    Panel->SetBounds(0, 0, 600, 300);
    Panel->SetFont(ControlFont.get());
    Panel->SetTabFont(MakeFontInfo(L"Tahoma", -11, true, kText));
    Panel->OnAlignChildren = [this](RECT AArea) {
      ++Aligns;
      LastArea = AArea;
    };
  }
  void TearDown() override {
    Panel.reset();
    Host.reset();
  }

  void UseTestColors() {
    Panel->SetColor(kBody);
    Panel->SetTabBackgroundColor(kBand);
    Panel->SetTabColor(kTab);
    Panel->SetBorderColor(kBorder);
  }
  // The windows on screen, so that invalidation leaves an update region to look at.
  void ShowWindows() {
    ShowWindow(Host->Handle(), SW_SHOWNOACTIVATE);
    Panel->Show();
    UpdateWindow(Host->Handle());
    Application().ProcessMessages();
  }
  bool RepaintPending() const { return GetUpdateRect(Panel->Handle(), nullptr, FALSE) != FALSE; }

  std::unique_ptr<TDibImage> Paint() const {
    RECT client = Panel->ClientRect();
    auto image = std::make_unique<TDibImage>(client.right, client.bottom);
    Panel->PaintTo(image->DC());
    return image;
  }

  // Text height of the tab font as painted in these tests (Tahoma bold at 11 pixels).
  static int TextHeight() { return MeasureText(L"W", -11, true).cy; }
  static int TextWidth(const std::wstring& AText) { return MeasureText(AText, -11, true).cx; }

  TFont ControlFont = MakeFont(-11);
  std::unique_ptr<TTestHost> Host;
  std::unique_ptr<TTabPanel> Panel;
  int Aligns = 0;
  RECT LastArea = {};
};

bool SameRect(const RECT& A, const RECT& B) {
  return A.left == B.left && A.top == B.top && A.right == B.right && A.bottom == B.bottom;
}

std::string RectText(const RECT& ARect) {
  char text[64];
  snprintf(text, sizeof(text), "{%ld, %ld, %ld, %ld}", static_cast<long>(ARect.left), static_cast<long>(ARect.top),
           static_cast<long>(ARect.right), static_cast<long>(ARect.bottom));
  return text;
}

#define EXPECT_RECT(actual, l, t, r, b) \
  EXPECT_TRUE(SameRect(actual, RECT{l, t, r, b})) << RectText(actual) << " instead of " << RectText(RECT{l, t, r, b})

TEST_F(TabPanelTest, StartsWithTheDocumentedDefaults) {
  TTabPanel panel(Host->Handle(), 5);
  EXPECT_FALSE(panel.Visible());
  RECT client = panel.ClientRect();
  EXPECT_RECT(client, 0, 0, 200, 100);
  EXPECT_EQ(GetDlgCtrlID(panel.Handle()), 5);
  EXPECT_EQ(GetParent(panel.Handle()), Host->Handle());
  EXPECT_TRUE(IsWindowEnabled(panel.Handle()));
  EXPECT_EQ(panel.Caption(), L"");

  EXPECT_EQ(panel.Alignment(), TAlignment::taLeftJustify);
  EXPECT_TRUE(panel.Border());
  EXPECT_EQ(panel.BorderEdges(), TBorderEdges::All());
  EXPECT_EQ(panel.BorderColor(), RGB(160, 160, 164));
  EXPECT_EQ(panel.TabAlignment(), TAlignment::taLeftJustify);
  EXPECT_EQ(panel.TabColor(), RGB(255, 255, 255));
  EXPECT_EQ(panel.TabBackgroundColor(), RGB(192, 192, 192));
  EXPECT_EQ(panel.TabWidth(), 0);
  EXPECT_EQ(panel.TabHeight(), 0);
  EXPECT_EQ(panel.TabPosition(), TTabPosition::tpTop);
  EXPECT_FALSE(panel.TabLine());
  EXPECT_TRUE(panel.TabBorder());
  EXPECT_EQ(panel.TabIndent(), 10);
  EXPECT_EQ(panel.TopIndent(), 5);
  EXPECT_EQ(panel.Images(), nullptr);
  EXPECT_EQ(panel.ImageIndex(), -1);
  EXPECT_EQ(panel.ImageAlign(), TImageAlign::iaLeft);
  EXPECT_EQ(panel.EllipsisMode(), TEllipsisMode::emNone);
  EXPECT_EQ(panel.LuminosityScale(), 0);
  EXPECT_TRUE(panel.StyleAware());
  EXPECT_FALSE(panel.ExcludeFlag);
  EXPECT_FALSE(panel.TagBool);
  EXPECT_EQ(panel.TagString, L"");

  // Font and colour come from the parent: the form answers no WM_GETFONT, so the panel takes the
  // program's font, Tahoma 8 pt; the tab font starts as a copy of it in the window text colour.
  LOGFONTW control = {};
  ASSERT_EQ(GetObjectW(panel.Font(), sizeof(control), &control), static_cast<int>(sizeof(control)));
  EXPECT_STREQ(control.lfFaceName, L"Tahoma");
  EXPECT_EQ(control.lfHeight, -MulDiv(8, static_cast<int>(Host->Dpi()), 72));
  EXPECT_EQ(panel.TabFont().Name(), L"Tahoma");
  EXPECT_EQ(panel.TabFont().Height(), control.lfHeight);
  EXPECT_FALSE(panel.TabFont().Bold());
  EXPECT_EQ(panel.TabFont().Color, clWindowText);
  EXPECT_TRUE(panel.ParentColor());
  EXPECT_EQ(ColorToRGB(panel.Color()), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(panel.Handle(), WM_GETFONT, 0, 0)), panel.Font());
}

TEST_F(TabPanelTest, RegistryPanelOfTheMainWindow) {
  Panel.reset();
  TFont formFont = MakeFont(-11);
  auto panel = CreateRegistryTabPanel(Host->Handle(), kPanelId, formFont.get());

  EXPECT_EQ(panel->Caption(), L"Registry");
  EXPECT_EQ(panel->BorderEdges(), (TBorderEdges{TBorderEdge::beLeft, TBorderEdge::beRight, TBorderEdge::beBottom}));
  EXPECT_EQ(panel->BorderColor(), clMedGray);
  EXPECT_EQ(panel->TabColor(), clWhite);
  EXPECT_EQ(panel->TabFont().Name(), L"Tahoma");
  EXPECT_EQ(panel->TabFont().Height(), -11);
  EXPECT_TRUE(panel->TabFont().Bold());
  EXPECT_EQ(panel->TabFont().Color, clWindowText);
  EXPECT_EQ(panel->TabBackgroundColor(), clBtnFace);
  EXPECT_FALSE(panel->TagBool);
  EXPECT_FALSE(panel->Visible());
  EXPECT_EQ(panel->Font(), formFont.get());

  SIZE hostClient = Host->ClientSize();
  const int width = hostClient.cx;
  const int height = hostClient.cy;
  RECT client = panel->ClientRect();
  EXPECT_RECT(client, 0, 0, width, height);

  // Tahoma bold at 11 pixels is 13 pixels high: strip = 13 + TopIndent 5 + 6.
  ASSERT_EQ(TextHeight(), 13);
  EXPECT_EQ(panel->GetTabHeight(), 24);
  EXPECT_RECT(panel->ChildArea(), 1, 24, width - 1, height - 1);

  // A real child placed by the owner's alignment handler.
  HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, panel->Handle(), nullptr,
                              Application().Instance(), nullptr);
  ASSERT_NE(tree, nullptr);
  panel->OnAlignChildren = [tree](RECT AArea) {
    MoveWindow(tree, AArea.left, AArea.top, AArea.right - AArea.left, AArea.bottom - AArea.top, TRUE);
  };
  panel->Realign();
  RECT treeRect = {};
  GetWindowRect(tree, &treeRect);
  MapWindowPoints(nullptr, panel->Handle(), reinterpret_cast<POINT*>(&treeRect), 2);
  EXPECT_RECT(treeRect, 1, 24, width - 1, height - 1);

  RECT paintClient = panel->ClientRect();
  TDibImage image(paintClient.right, paintClient.bottom);
  panel->PaintTo(image.DC());
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF grey = RGB(160, 160, 164);
  const COLORREF white = RGB(255, 255, 255);
  const int tabRight = 10 + TextWidth(L"Registry") + 10;  // X.R
  // No top edge: the band runs to the panel's top, the side lines start at the separator row 23.
  EXPECT_TRUE(PixelIs(image, width / 2, 0, face));
  EXPECT_TRUE(PixelIs(image, 0, 10, face));
  EXPECT_TRUE(PixelIs(image, 0, 22, face));
  EXPECT_TRUE(PixelIs(image, 0, 23, grey));
  EXPECT_TRUE(PixelIs(image, 0, 100, grey));
  EXPECT_TRUE(PixelIs(image, width - 1, 22, face));
  EXPECT_TRUE(PixelIs(image, width - 1, 23, grey));
  EXPECT_TRUE(PixelIs(image, width - 1, 100, grey));
  EXPECT_EQ(image.CountOther({0, height - 1, width, height}, grey), 0);
  // The tab: rows 5 to 23, outlined in grey, white inside, open towards the body.
  EXPECT_TRUE(PixelIs(image, 10, 4, face));
  EXPECT_EQ(image.CountOther({10, 5, tabRight, 6}, grey), 0);
  EXPECT_EQ(image.CountOther({10, 5, 11, 24}, grey), 0);
  EXPECT_EQ(image.CountOther({tabRight - 1, 5, tabRight, 24}, grey), 0);
  EXPECT_TRUE(PixelIs(image, tabRight, 10, face));
  EXPECT_EQ(image.CountOther({11, 6, 15, 23}, white), 0);
  EXPECT_EQ(image.CountOther({11, 23, tabRight - 1, 24}, white), 0);
  EXPECT_EQ(image.CountOther({1, 23, 11, 24}, grey), 0);
  EXPECT_EQ(image.CountOther({tabRight - 1, 23, width - 1, 24}, grey), 0);
  // The caption is drawn inside the tab; the body below the strip is the form's colour.
  EXPECT_GT(image.CountOther({15, 8, tabRight - 5, 21}, white), 0);
  EXPECT_EQ(image.CountOther({1, 24, width - 1, height - 1}, face), 0);
}

TEST_F(TabPanelTest, TopTabGeometry) {
  UseTestColors();
  Panel->SetCaption(L"Registry");
  auto image = Paint();
  const int th = TextHeight() + 6;
  const int sep = 5 + th - 1;
  const int tabRight = 10 + TextWidth(L"Registry") + 10;

  EXPECT_EQ(Panel->GetTabHeight(), TextHeight() + 11);
  EXPECT_RECT(Panel->ChildArea(), 1, sep + 1, 599, 299);
  // All four edges: a frame around the whole client area.
  EXPECT_EQ(image->CountOther({0, 0, 600, 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({0, 0, 1, 300}, kBorder), 0);
  EXPECT_EQ(image->CountOther({599, 0, 600, 300}, kBorder), 0);
  EXPECT_EQ(image->CountOther({0, 299, 600, 300}, kBorder), 0);
  // Band rows 1 .. sep - 1 beside the tab, nothing of it on the separator row.
  EXPECT_EQ(image->CountOther({1, 1, 10, sep}, kBand), 0);
  EXPECT_EQ(image->CountOther({tabRight, 1, 599, sep}, kBand), 0);
  EXPECT_EQ(image->CountOther({11, 1, tabRight - 1, 5}, kBand), 0);
  // Tab outline, separator, opening, body.
  EXPECT_EQ(image->CountOther({10, 5, tabRight, 6}, kBorder), 0);
  EXPECT_EQ(image->CountOther({10, 5, 11, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({tabRight - 1, 5, tabRight, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({1, sep, 11, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({11, sep, tabRight - 1, sep + 1}, kTab), 0);
  EXPECT_EQ(image->CountOther({tabRight - 1, sep, 599, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({1, sep + 1, 599, 299}, kBody), 0);
  EXPECT_EQ(image->CountOther({11, 6, 15, sep}, kTab), 0);

  // Without the top edge the side lines begin on the separator row.
  Panel->SetBorderEdges({TBorderEdge::beLeft, TBorderEdge::beRight, TBorderEdge::beBottom});
  image = Paint();
  EXPECT_EQ(image->CountOther({0, 0, 600, 1}, kBand), 0);
  EXPECT_EQ(image->CountOther({0, 0, 1, sep}, kBand), 0);
  EXPECT_EQ(image->CountOther({0, sep, 1, 300}, kBorder), 0);
  EXPECT_EQ(image->CountOther({599, sep, 600, 300}, kBorder), 0);
  EXPECT_RECT(Panel->ChildArea(), 1, sep + 1, 599, 299);
}

TEST_F(TabPanelTest, BottomTabWithoutBottomEdge) {
  UseTestColors();
  Panel->SetCaption(L"Registry");
  Panel->SetTabPosition(TTabPosition::tpBottom);
  Panel->SetBorderEdges({TBorderEdge::beLeft, TBorderEdge::beTop, TBorderEdge::beRight});
  auto image = Paint();
  const int th = TextHeight() + 6;
  const int sep = 300 - 5 - th;  // X.T, the tab's first row
  const int tabRight = 10 + TextWidth(L"Registry") + 10;

  // No pixel lost at the bottom; one at the top for the top edge.
  EXPECT_RECT(Panel->ChildArea(), 1, 1, 599, 300 - Panel->GetTabHeight());
  EXPECT_EQ(Panel->ChildArea().bottom, sep);
  // The side lines stop at the separator row; below it the band reaches the bottom.
  EXPECT_EQ(image->CountOther({0, 0, 1, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({599, 0, 600, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({0, sep + 1, 10, 300}, kBand), 0);
  EXPECT_EQ(image->CountOther({tabRight, sep + 1, 600, 300}, kBand), 0);
  EXPECT_EQ(image->CountOther({0, 299, 600, 300}, kBand), 0);
  EXPECT_EQ(image->CountOther({0, 0, 600, 1}, kBorder), 0);
  // The tab hangs from the separator: its first row is open, its last row is sep + th - 1.
  EXPECT_EQ(image->CountOther({1, sep, 11, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({11, sep, tabRight - 1, sep + 1}, kTab), 0);
  EXPECT_EQ(image->CountOther({tabRight - 1, sep, 599, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({10, sep + th - 1, tabRight, sep + th}, kBorder), 0);
  EXPECT_EQ(image->CountOther({10, sep, 11, sep + th}, kBorder), 0);
  EXPECT_EQ(image->CountOther({10, sep + th, tabRight, 300}, kBand), 0);
  EXPECT_EQ(image->CountOther({1, 1, 599, sep}, kBody), 0);

  // With the bottom edge the frame closes on the last row, through the band.
  Panel->SetBorderEdges(TBorderEdges::All());
  image = Paint();
  EXPECT_EQ(image->CountOther({0, 299, 600, 300}, kBorder), 0);
  EXPECT_EQ(image->CountOther({0, 0, 1, 300}, kBorder), 0);
  EXPECT_RECT(Panel->ChildArea(), 1, 1, 599, 300 - Panel->GetTabHeight());
}

TEST_F(TabPanelTest, TabPlacementAlongTheEdge) {
  struct TCase {
    TAlignment Alignment;
    int ClientWidth;
    int TabWidth;
    int ExpectedLeft;
  };
  const TCase cases[] = {
      {TAlignment::taLeftJustify, 600, 80, 10},
      {TAlignment::taRightJustify, 600, 80, 600 - 10 - 80},
      {TAlignment::taCenter, 599, 80, 259},  // 599 / 2 - 80 / 2
      {TAlignment::taCenter, 600, 81, 260},  // 300 - 40: both halves truncate
  };
  UseTestColors();
  Panel->SetCaption(L"Registry");
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.ExpectedLeft);
    Panel->SetBounds(0, 0, test.ClientWidth, 300);
    Panel->SetTabAlignment(test.Alignment);
    Panel->SetTabWidth(test.TabWidth);
    auto image = Paint();
    const int right = test.ExpectedLeft + test.TabWidth;
    EXPECT_TRUE(PixelIs(*image, test.ExpectedLeft - 1, 10, kBand));
    EXPECT_TRUE(PixelIs(*image, test.ExpectedLeft, 10, kBorder));
    EXPECT_TRUE(PixelIs(*image, test.ExpectedLeft + 1, 10, kTab));
    EXPECT_TRUE(PixelIs(*image, right - 2, 10, kTab));
    EXPECT_TRUE(PixelIs(*image, right - 1, 10, kBorder));
    EXPECT_TRUE(PixelIs(*image, right, 10, kBand));
  }
}

TEST_F(TabPanelTest, WithoutBorderOnlyTheStripIsTakenAway) {
  UseTestColors();
  Panel->SetCaption(L"Registry");
  Panel->SetBorder(false);
  auto image = Paint();
  const int strip = Panel->GetTabHeight();
  const int sep = strip - 1;
  const int tabRight = 10 + TextWidth(L"Registry") + 10;

  EXPECT_RECT(Panel->ChildArea(), 0, strip, 600, 300);
  // No border lines: band on the top row and in the corners, body on the sides and the bottom.
  EXPECT_EQ(image->CountOther({0, 0, 600, 1}, kBand), 0);
  EXPECT_EQ(image->CountOther({0, sep + 1, 600, 300}, kBody), 0);
  // The separator still runs across the whole width, the inner rectangle being the client area.
  EXPECT_EQ(image->CountOther({0, sep, 11, sep + 1}, kBorder), 0);
  EXPECT_EQ(image->CountOther({tabRight - 1, sep, 600, sep + 1}, kBorder), 0);
}

TEST_F(TabPanelTest, EmptyCaptionIsMeasuredLikeW) {
  UseTestColors();
  Panel->SetCaption(L"W");
  auto withW = Paint();
  const int tabRight = 10 + TextWidth(L"W") + 10;
  const int sep = Panel->GetTabHeight() - 1;
  RECT inside = {11, 6, tabRight - 1, sep};
  EXPECT_GT(withW->CountOther(inside, kTab), 0);

  Panel->SetCaption(L"");
  auto empty = Paint();
  EXPECT_TRUE(PixelIs(*empty, tabRight - 1, 10, kBorder));
  EXPECT_TRUE(PixelIs(*empty, tabRight, 10, kBand));
  EXPECT_TRUE(PixelIs(*empty, 10, 4, kBand));
  EXPECT_TRUE(PixelIs(*empty, 10, 5, kBorder));
  EXPECT_EQ(empty->CountOther({10, sep, 11, sep + 1}, kBorder), 0);
  EXPECT_EQ(empty->CountOther(inside, kTab), 0);  // no text
  EXPECT_EQ(Panel->GetTabHeight(), TextHeight() + 11);
}

// An image list of square images, each a solid colour.
class TTestImages {
 public:
  TTestImages(int ASize, std::initializer_list<COLORREF> AColors)
      : FSize(ASize), FList(ImageList_Create(ASize, ASize, ILC_COLOR24, 4, 4)) {
    for (COLORREF color : AColors) Add(color);
  }
  ~TTestImages() { ImageList_Destroy(FList); }
  TTestImages(const TTestImages&) = delete;
  TTestImages& operator=(const TTestImages&) = delete;
  HIMAGELIST get() const { return FList; }
  void Add(COLORREF AColor) {
    TBitmap bitmap = Solid(AColor);
    ImageList_Add(FList, bitmap.get(), nullptr);
  }
  void Replace(int AIndex, COLORREF AColor) {
    TBitmap bitmap = Solid(AColor);
    ImageList_Replace(FList, AIndex, bitmap.get(), nullptr);
  }

 private:
  TBitmap Solid(COLORREF AColor) const {
    TWindowDC screen(nullptr);
    TBitmap bitmap(CreateCompatibleBitmap(screen.get(), FSize, FSize));
    TMemoryDC dc(CreateCompatibleDC(screen.get()));
    {
      TSelectObject select(dc.get(), bitmap.get());
      TBrush brush(CreateSolidBrush(AColor));
      RECT all = {0, 0, FSize, FSize};
      FillRect(dc.get(), &all, brush.get());
    }
    return bitmap;
  }
  int FSize;
  HIMAGELIST FList;
};

TEST_F(TabPanelTest, TabImageTakesItsWidthAndFiveMore) {
  TTestImages images(16, {kImage});
  UseTestColors();
  Panel->SetCaption(L"Registry");
  Panel->SetImages(images.get());
  Panel->SetImageIndex(0);
  Panel->SetTabWidth(60);
  // Strip: max(text height, 16) + 5 + 6; the image sits centred in the 22 rows of the tab.
  const int h = std::max(TextHeight(), 16);
  const int th = h + 6;
  EXPECT_EQ(Panel->GetTabHeight(), h + 11);
  const int imageTop = 5 + (th - 16) / 2;

  auto image = Paint();
  EXPECT_TRUE(PixelIs(*image, 10 + 65 - 1, 10, kBorder));  // TabWidth 60 becomes 65
  EXPECT_TRUE(PixelIs(*image, 10 + 65, 10, kBand));
  EXPECT_EQ(image->CountOther({15, imageTop, 31, imageTop + 16}, kImage), 0);
  EXPECT_TRUE(PixelIs(*image, 14, imageTop, kTab));
  EXPECT_TRUE(PixelIs(*image, 15, imageTop - 1, kTab));
  EXPECT_TRUE(PixelIs(*image, 15, imageTop + 16, kTab));

  // On the right: at Q.R - 16 = X.R - 5 - 16.
  Panel->SetImageAlign(TImageAlign::iaRight);
  image = Paint();
  EXPECT_EQ(image->CountOther({75 - 21, imageTop, 75 - 5, imageTop + 16}, kImage), 0);
  EXPECT_TRUE(PixelIs(*image, 15, imageTop, kTab));

  // Measured from the caption: text + image + 10, then 5 more for the image.
  Panel->SetTabWidth(0);
  image = Paint();
  const int tabRight = 10 + TextWidth(L"Registry") + 16 + 10 + 5;
  EXPECT_TRUE(PixelIs(*image, tabRight - 1, 10, kBorder));
  EXPECT_TRUE(PixelIs(*image, tabRight, 10, kBand));
}

TEST_F(TabPanelTest, ImageIndexPastTheEndReservesRoomButShowsNothing) {
  TTestImages images(16, {kImage});
  UseTestColors();
  Panel->SetCaption(L"Registry");
  Panel->SetImages(images.get());
  Panel->SetImageIndex(1);
  auto image = Paint();
  const int tabRight = 10 + TextWidth(L"Registry") + 16 + 10 + 5;
  EXPECT_TRUE(PixelIs(*image, tabRight - 1, 10, kBorder));
  EXPECT_TRUE(PixelIs(*image, tabRight, 10, kBand));
  EXPECT_EQ(image->Count({0, 0, 600, 300}, kImage), 0);
  EXPECT_EQ(Panel->GetTabHeight(), std::max(TextHeight(), 16) + 11);
}

TEST_F(TabPanelTest, ImageListChangesAndDetaching) {
  TTestImages images(16, {kImage});
  UseTestColors();
  ShowWindows();
  Panel->SetImages(images.get());
  Panel->SetImageIndex(0);
  const int withImage = Panel->GetTabHeight();

  images.Replace(0, RGB(0, 255, 255));
  ValidateRect(Panel->Handle(), nullptr);
  Aligns = 0;
  Panel->ImagesChanged();
  EXPECT_TRUE(RepaintPending());
  EXPECT_EQ(Aligns, 0);  // same image size: the children stay
  auto image = Paint();
  EXPECT_TRUE(PixelIs(*image, 15, 5 + (withImage - 11 + 6 - 16) / 2, RGB(0, 255, 255)));

  // A list of bigger images: the strip grows, and the children move with it.
  TTestImages big(32, {kImage});
  Panel->SetImages(big.get());
  EXPECT_EQ(Panel->GetTabHeight(), 32 + 11);
  EXPECT_EQ(LastArea.top, 32 + 11);

  Panel->SetImages(nullptr);
  EXPECT_EQ(Panel->GetTabHeight(), TextHeight() + 11);
  EXPECT_EQ(LastArea.top, TextHeight() + 11);
  image = Paint();
  EXPECT_EQ(image->Count({0, 0, 600, 300}, kImage), 0);
  // Without a list the notice does nothing.
  ValidateRect(Panel->Handle(), nullptr);
  Panel->ImagesChanged();
  EXPECT_FALSE(RepaintPending());
}

TEST_F(TabPanelTest, PropertyWritesRealignAndRepaintAsNeeded) {
  TTestImages images(16, {kImage, kTab});
  struct TCase {
    const char* Name;
    std::function<void(TTabPanel&)> Write;
    bool Realigns;
    bool Repaints;
  };
  const TCase cases[] = {
      {"Alignment", [](TTabPanel& p) { p.SetAlignment(TAlignment::taCenter); }, false, true},
      {"BorderColor", [](TTabPanel& p) { p.SetBorderColor(clBlack); }, false, true},
      {"TabBackgroundColor", [](TTabPanel& p) { p.SetTabBackgroundColor(clBlack); }, false, true},
      {"TabBorder", [](TTabPanel& p) { p.SetTabBorder(false); }, false, true},
      {"TabLine", [](TTabPanel& p) { p.SetTabLine(true); }, false, true},
      {"EllipsisMode", [](TTabPanel& p) { p.SetEllipsisMode(TEllipsisMode::emEndEllipsis); }, false, true},
      {"LuminosityScale", [](TTabPanel& p) { p.SetLuminosityScale(100); }, false, true},
      {"TabIndent", [](TTabPanel& p) { p.SetTabIndent(20); }, false, true},
      {"StyleAware", [](TTabPanel& p) { p.SetStyleAware(false); }, false, true},
      {"TabAlignment", [](TTabPanel& p) { p.SetTabAlignment(TAlignment::taRightJustify); }, false, true},
      {"TabColor", [](TTabPanel& p) { p.SetTabColor(clBlack); }, false, true},
      {"TabWidth", [](TTabPanel& p) { p.SetTabWidth(90); }, false, true},
      {"ImageIndex without images", [](TTabPanel& p) { p.SetImageIndex(0); }, false, true},
      {"Color", [](TTabPanel& p) { p.SetColor(clBlack); }, false, true},
      {"Caption", [](TTabPanel& p) { p.SetCaption(L"Other"); }, false, true},
      {"window text", [](TTabPanel& p) { SetWindowTextW(p.Handle(), L"Direct"); }, false, true},
      {"Border", [](TTabPanel& p) { p.SetBorder(false); }, true, true},
      {"TabHeight", [](TTabPanel& p) { p.SetTabHeight(30); }, true, true},
      {"TabPosition", [](TTabPanel& p) { p.SetTabPosition(TTabPosition::tpBottom); }, true, true},
      {"TabFont", [](TTabPanel& p) { p.SetTabFont(MakeFontInfo(L"Tahoma", -11, false)); }, true, true},
      {"BorderEdges changed", [](TTabPanel& p) { p.SetBorderEdges({TBorderEdge::beLeft}); }, true, true},
      {"BorderEdges unchanged", [](TTabPanel& p) { p.SetBorderEdges(TBorderEdges::All()); }, false, false},
      {"ImageAlign iaRight", [](TTabPanel& p) { p.SetImageAlign(TImageAlign::iaRight); }, false, true},
      {"ImageAlign iaTop", [](TTabPanel& p) { p.SetImageAlign(TImageAlign::iaTop); }, false, false},
      {"Images attached", [&](TTabPanel& p) { p.SetImages(images.get()); }, true, true},
      {"Images unchanged", [](TTabPanel& p) { p.SetImages(nullptr); }, false, false},
      {"ExcludeFlag", [](TTabPanel& p) { p.ExcludeFlag = true; }, false, false},
      {"TagBool", [](TTabPanel& p) { p.TagBool = true; }, false, false},
      {"TagString", [](TTabPanel& p) { p.TagString = L"x"; }, false, false},
      // Both change the strip height, so the children follow at once.
      {"TopIndent", [](TTabPanel& p) { p.SetTopIndent(12); }, true, true},
      {"WM_SETFONT", [](TTabPanel& p) { SendMessageW(p.Handle(), WM_SETFONT, 0, TRUE); }, true, true},
  };
  ShowWindows();
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    // Every case starts from a fresh panel with the defaults.
    Panel = std::make_unique<TTabPanel>(Host->Handle(), kPanelId);
    Panel->SetBounds(0, 0, 600, 300);
    Panel->OnAlignChildren = [this](RECT AArea) {
      ++Aligns;
      LastArea = AArea;
    };
    Panel->Show();
    UpdateWindow(Panel->Handle());
    ASSERT_FALSE(RepaintPending());
    Aligns = 0;
    test.Write(*Panel);
    EXPECT_EQ(Aligns > 0, test.Realigns);
    EXPECT_EQ(RepaintPending(), test.Repaints);
    if (Aligns > 0) {
      EXPECT_TRUE(SameRect(LastArea, Panel->ChildArea()));
    }
  }
}

TEST_F(TabPanelTest, ImageAlignTopIsRefused) {
  ShowWindows();
  Panel->SetImageAlign(TImageAlign::iaRight);
  UpdateWindow(Panel->Handle());
  Panel->SetImageAlign(TImageAlign::iaTop);
  EXPECT_EQ(Panel->ImageAlign(), TImageAlign::iaRight);
  EXPECT_FALSE(RepaintPending());
}

TEST_F(TabPanelTest, ChildrenFollowStripChangesAtOnce) {
  HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, Panel->Handle(), nullptr,
                               Application().Instance(), nullptr);
  Panel->OnAlignChildren = [child](RECT AArea) {
    MoveWindow(child, AArea.left, AArea.top, AArea.right - AArea.left, AArea.bottom - AArea.top, TRUE);
  };
  auto childTop = [&] {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, Panel->Handle(), reinterpret_cast<POINT*>(&rect), 2);
    return rect.top;
  };
  Panel->SetBounds(0, 0, 500, 250);  // a resize aligns
  EXPECT_EQ(childTop(), TextHeight() + 11);
  Panel->SetTopIndent(12);
  EXPECT_EQ(childTop(), TextHeight() + 6 + 12);

  TTestImages images(24, {kImage});
  images.Add(kImage);
  Panel->SetImages(images.get());  // no image shown yet: the strip stays
  EXPECT_EQ(childTop(), TextHeight() + 6 + 12);
  Panel->SetImageIndex(0);
  EXPECT_EQ(childTop(), 24 + 6 + 12);
}

TEST_F(TabPanelTest, TabFontTakesTheControlFontHeight) {
  // Tab font of 11 pixels; the control font's height wins: MulDiv(h, MulDiv(F, 96, h), 96).
  struct TCase {
    int ControlHeight;
    int ExpectedTabHeight;
  };
  const TCase cases[] = {{-11, -11}, {-13, -13}, {-16, -16}, {-22, -22}, {-8, -8}};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.ControlHeight);
    EXPECT_EQ(MulDiv(-11, MulDiv(test.ControlHeight, 96, -11), 96), test.ExpectedTabHeight);
    TFont font = MakeFont(test.ControlHeight);
    Aligns = 0;
    Panel->SetFont(font.get());
    const int strip = MeasureText(L"W", test.ExpectedTabHeight, true).cy + 11;
    EXPECT_EQ(Panel->GetTabHeight(), strip);
    EXPECT_EQ(Aligns, 1);
    EXPECT_EQ(LastArea.top, strip);
    Panel->SetFont(ControlFont.get());  // before the font goes
  }
  // A tab font of height 0 keeps the platform's default height instead of failing.
  Panel->SetTabFont(MakeFontInfo(L"Tahoma", 0, true));
  EXPECT_GT(Panel->GetTabHeight(), 11);
}

TEST_F(TabPanelTest, BodyColourAndLuminosity) {
  Panel->SetCaption(L"Registry");
  auto image = Paint();
  EXPECT_TRUE(PixelIs(*image, 300, 150, GetSysColor(COLOR_BTNFACE)));  // the parent's colour
  Panel->SetColor(RGB(100, 120, 140));
  EXPECT_FALSE(Panel->ParentColor());
  image = Paint();
  EXPECT_TRUE(PixelIs(*image, 300, 150, RGB(100, 120, 140)));
  Panel->SetLuminosityScale(1000);  // all the way to white
  image = Paint();
  EXPECT_TRUE(PixelIs(*image, 300, 150, RGB(255, 255, 255)));
  Panel->SetLuminosityScale(-1000);
  image = Paint();
  EXPECT_TRUE(PixelIs(*image, 300, 150, RGB(0, 0, 0)));
  Panel->SetLuminosityScale(300);
  image = Paint();
  EXPECT_TRUE(PixelIs(*image, 300, 150, AdjustLuma(RGB(100, 120, 140), 300, true)));
  Panel->SetParentColor(true);
  Panel->SetLuminosityScale(0);
  image = Paint();
  EXPECT_TRUE(PixelIs(*image, 300, 150, GetSysColor(COLOR_BTNFACE)));
}

TEST(AdjustLumaTest, MovesLuminanceByTenthsOfAPercent) {
  auto luma = [](COLORREF AColor) {
    WORD hue = 0, value = 0, saturation = 0;
    ColorRGBToHLS(AColor, &hue, &value, &saturation);
    return static_cast<int>(value);
  };
  const COLORREF grey = RGB(100, 100, 100);
  const int start = luma(grey);
  struct TCase {
    int Change;
    bool Scale;
    int ExpectedLuma;
  };
  const TCase cases[] = {
      {500, true, start + (240 - start) / 2},  // half way to white
      {-500, true, start / 2},                 // half way to black
      {250, true, start + (240 - start) / 4},
      {100, false, start + 24},                // a tenth of the whole scale
      {-100, false, start - 24},
      {5000, false, 240},                      // clamped
      {-5000, true, 0},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Change);
    EXPECT_NEAR(luma(AdjustLuma(grey, test.Change, test.Scale)), test.ExpectedLuma, 1);
  }
  EXPECT_EQ(AdjustLuma(RGB(12, 34, 56), 0, true), RGB(12, 34, 56));  // exactly, no round trip
  EXPECT_EQ(AdjustLuma(grey, 1000, true), RGB(255, 255, 255));
  EXPECT_EQ(AdjustLuma(grey, -1000, true), RGB(0, 0, 0));
  // Hue and saturation stay: a lighter red is still red.
  COLORREF lighter = AdjustLuma(RGB(160, 0, 0), 300, true);
  EXPECT_GT(GetRValue(lighter), 160);
  EXPECT_EQ(GetGValue(lighter), GetBValue(lighter));
  EXPECT_LT(GetGValue(lighter), GetRValue(lighter));
}

TEST_F(TabPanelTest, TabBorderAndTabLineVariants) {
  UseTestColors();
  Panel->SetCaption(L"Registry");
  const int sep = Panel->GetTabHeight() - 1;
  const int tabRight = 10 + TextWidth(L"Registry") + 10;

  // TabLine keeps the separator under the tab.
  Panel->SetTabLine(true);
  auto image = Paint();
  EXPECT_EQ(image->CountOther({1, sep, 599, sep + 1}, kBorder), 0);

  // No tab outline: the tab and the separator take the tab colour; with the top edge the tab
  // starts one row lower.
  Panel->SetTabLine(false);
  Panel->SetTabBorder(false);
  image = Paint();
  EXPECT_EQ(image->CountOther({11, 5, tabRight - 1, 6}, kBand), 0);
  const RECT q = {15, 8, tabRight - 5, sep - 2};  // where the caption goes
  EXPECT_EQ(image->CountOther({10, 6, tabRight, sep}, kTab) - image->CountOther(q, kTab), 0);
  EXPECT_EQ(image->CountOther({1, sep, 599, sep + 1}, kTab), 0);
  EXPECT_EQ(image->CountOther({0, 0, 1, 300}, kBorder), 0);

  // No tab outline but TabLine: a border-coloured line under the whole strip.
  Panel->SetTabLine(true);
  image = Paint();
  EXPECT_EQ(image->CountOther({1, sep, 599, sep + 1}, kBorder), 0);
}

TEST_F(TabPanelTest, WindowShowsWhatPaintToDraws) {
  UseTestColors();
  Panel->SetCaption(L"Registry");
  ShowWindows();
  InvalidateRect(Panel->Handle(), nullptr, FALSE);
  UpdateWindow(Panel->Handle());
  auto expected = Paint();
  TDibImage shown(600, 300);
  {
    TWindowDC dc(Panel->Handle());
    BitBlt(shown.DC(), 0, 0, 600, 300, dc.get(), 0, 0, SRCCOPY);
  }
  EXPECT_EQ(shown.Differences(*expected), 0);

  // WM_PRINTCLIENT draws the same.
  TDibImage printed(600, 300);
  SendMessageW(Panel->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(printed.DC()), PRF_CLIENT);
  EXPECT_EQ(printed.Differences(*expected), 0);
}

TEST_F(TabPanelTest, ChildMessagesReachTheParent) {
  ShowWindows();
  HWND button = CreateWindowExW(0, L"BUTTON", L"Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 40, 60, 20,
                                Panel->Handle(), reinterpret_cast<HMENU>(101), Application().Instance(), nullptr);
  ASSERT_NE(button, nullptr);
  SendMessageW(button, BM_CLICK, 0, 0);
  ASSERT_EQ(Host->Commands.size(), 1u);
  EXPECT_EQ(Host->Commands[0], std::make_pair(101, static_cast<int>(BN_CLICKED)));

  NMHDR header = {button, 101, NM_DBLCLK};
  EXPECT_EQ(SendMessageW(Panel->Handle(), WM_NOTIFY, 101, reinterpret_cast<LPARAM>(&header)), 4321);
  ASSERT_EQ(Host->NotifyCodes.size(), 1u);
  EXPECT_EQ(Host->NotifyCodes[0], static_cast<UINT>(NM_DBLCLK));

  HWND label = CreateWindowExW(0, L"STATIC", L"Label", WS_CHILD | WS_VISIBLE, 0, 70, 60, 20, Panel->Handle(),
                               nullptr, Application().Instance(), nullptr);
  TWindowDC dc(label);
  LRESULT brush = SendMessageW(Panel->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                               reinterpret_cast<LPARAM>(label));
  EXPECT_EQ(brush, reinterpret_cast<LRESULT>(Host->StaticBrush.get()));
  DRAWITEMSTRUCT draw = {};
  draw.CtlID = 101;
  draw.hwndItem = button;
  EXPECT_EQ(SendMessageW(Panel->Handle(), WM_DRAWITEM, 101, reinterpret_cast<LPARAM>(&draw)), TRUE);
  auto received = [&](UINT AMsg) {
    return std::find(Host->OtherMessages.begin(), Host->OtherMessages.end(), AMsg) != Host->OtherMessages.end();
  };
  EXPECT_TRUE(received(WM_CTLCOLORSTATIC));
  EXPECT_TRUE(received(WM_DRAWITEM));
}

TEST_F(TabPanelTest, ClickAndDoubleClick) {
  ShowWindows();
  int clicks = 0;
  int doubleClicks = 0;
  Panel->OnClick = [&] { ++clicks; };
  Panel->OnDblClick = [&] { ++doubleClicks; };
  HWND handle = Panel->Handle();
  SendMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  EXPECT_EQ(GetCapture(), handle);
  SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(clicks, 1);
  // Released outside: no click.
  SendMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(700, 50));
  EXPECT_EQ(clicks, 1);
  // The second press of a double click raises the double click, and its release no click.
  SendMessageW(handle, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(50, 50));
  SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
  EXPECT_EQ(doubleClicks, 1);
  EXPECT_EQ(clicks, 1);
}

TEST_F(TabPanelTest, SurvivesItsParentWindow) {
  TTestImages images(16, {kImage});
  Panel->SetImages(images.get());
  Host.reset();  // destroys the panel's window with it
  EXPECT_EQ(Panel->Handle(), nullptr);
  Panel->SetTabColor(clBlack);
  Panel->SetBorder(false);
  Panel->SetCaption(L"Gone");
  Panel->ImagesChanged();
  EXPECT_EQ(Panel->Caption(), L"");
  Panel.reset();
}

}  // namespace
}  // namespace vantrel
