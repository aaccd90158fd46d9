// The about dialog in this process: its texts from test version resources, its memo, and the
// update line against a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "about/AboutDlg.h"
#include "about/resource.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "resources/ProgramIcons.h"
#include "tests/about/AboutTestPaths.h"
#include "tests/about/LocalHttpServer.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::wstring VersionLibrary(int AVariant) { return WindowsPath(kVersionLibraries[AVariant - 1]); }

std::wstring Text(HWND AWindow) {
  int length = GetWindowTextLengthW(AWindow);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(AWindow, text.data(), length + 1)));
  return text;
}

struct TSearch {
  int Id;
  HWND Found;
};

BOOL CALLBACK FindById(HWND AChild, LPARAM AParam) {
  auto* search = reinterpret_cast<TSearch*>(AParam);
  if (GetDlgCtrlID(AChild) != search->Id) return TRUE;
  search->Found = AChild;
  return FALSE;
}

HWND Control(const TdlgAbout& ADialog, int AId) {
  TSearch search = {AId, nullptr};
  EnumChildWindows(ADialog.Handle(), FindById, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

std::wstring ControlText(const TdlgAbout& ADialog, int AId) { return Text(Control(ADialog, AId)); }
bool ControlVisible(const TdlgAbout& ADialog, int AId) { return IsWindowVisible(Control(ADialog, AId)) != FALSE; }

TStringList MemoLines(const TdlgAbout& ADialog) {
  std::wstring text = ControlText(ADialog, IDC_ABOUT_MLIC);
  TStringList lines;
  size_t start = 0;
  for (size_t pos; (pos = text.find(L"\r\n", start)) != std::wstring::npos; start = pos + 2) {
    lines.push_back(text.substr(start, pos - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

BOOL CALLBACK FindTooltip(HWND AWindow, LPARAM AParam) {
  wchar_t name[64];
  GetClassNameW(AWindow, name, 64);
  if (wcscmp(name, TOOLTIPS_CLASSW) != 0) return TRUE;
  *reinterpret_cast<HWND*>(AParam) = AWindow;
  return FALSE;
}

std::wstring HintText(const TdlgAbout& ADialog) {
  HWND tooltip = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindTooltip, reinterpret_cast<LPARAM>(&tooltip));
  if (!tooltip) return L"<no tooltip>";
  wchar_t text[256] = {};
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = Control(ADialog, IDC_ABOUT_PANEL2);
  tool.uId = IDC_ABOUT_LVER;
  tool.lpszText = text;
  SendMessageW(tooltip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
  return text;
}

void Click(HWND AControl) {
  SendMessageW(AControl, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(AControl, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Runs the dialog modally; AStep is called from a timer inside the dialog's message loops until
// it returns true. A dialog whose step never completes is closed after a generous limit.
struct TModalRun {
  const std::function<bool()>* Step;
  TdlgAbout* Dialog;
  int Ticks = 0;
  bool Done = false;
  bool Completed = false;
};
TModalRun* CurrentRun = nullptr;

void CALLBACK ModalTick(HWND, UINT, UINT_PTR, DWORD) {
  TModalRun* run = CurrentRun;
  if (!run || run->Done) return;
  if ((*run->Step)()) {
    run->Done = run->Completed = true;
  } else if (++run->Ticks > 1500) {
    run->Done = true;
    PostMessageW(run->Dialog->Handle(), WM_CLOSE, 0, 0);
  }
}

int RunModal(TdlgAbout& ADialog, const std::function<bool()>& AStep, bool* ACompleted = nullptr) {
  TModalRun current{&AStep, &ADialog};
  CurrentRun = &current;
  UINT_PTR timer = SetTimer(nullptr, 0, 20, ModalTick);
  int result = ADialog.Execute();
  KillTimer(nullptr, timer);
  CurrentRun = nullptr;
  if (ACompleted) *ACompleted = current.Completed;
  return result;
}

// A main window over which the dialog opens.
class TTestMainForm : public TForm {
 public:
  TTestMainForm() : TForm(Design()) {
    SetBounds(100, 80, 900, 700);
    Show();
    Application().SetMainForm(this);
  }
  ~TTestMainForm() override { Application().SetMainForm(nullptr); }

 private:
  static TFormDesign Design() {
    TFormDesign design;
    design.ClassName = L"VantrelAboutTestMain";
    design.Caption = L"Vantrel";
    return design;
  }
};

// Restores the program's own version information and the shell after each test.
class AboutDialog : public testing::Test {
 protected:
  void SetUp() override {
    FSaved = ExeVersionInfo();
    ASSERT_TRUE(ReadFileVersionInfo(VersionLibrary(1), ExeVersionInfo()));
    SetOpenAddressFunction([this](HWND, const std::wstring& AAddress) { Opened.push_back(AAddress); });
  }
  void TearDown() override {
    SetOpenAddressFunction(nullptr);
    ExeVersionInfo() = FSaved;
  }

  std::vector<std::wstring> Opened;

 private:
  TVersionInfo FSaved;
};

}  // namespace

TEST(VersionInfo, ReadsNumbersFlagsAndStrings) {
  TVersionInfo info;
  ASSERT_TRUE(ReadFileVersionInfo(VersionLibrary(3), info));
  EXPECT_EQ(info.FileName, VersionLibrary(3));
  EXPECT_EQ(info.FileVersion, L"1.2.0.0 BETA");
  EXPECT_EQ(info.ProductVersion, L"1.2.5");  // the fourth part is not shown
  EXPECT_EQ(info.Major, 1u);
  EXPECT_EQ(info.Minor, 2u);
  EXPECT_EQ(info.Release, 0u);
  EXPECT_EQ(info.Build, 0u);
  EXPECT_EQ(info.ProductRelease, 5u);
  EXPECT_EQ(info.ProductBuild, 9u);
  // The flags count even though the mask says nothing about them.
  EXPECT_TRUE(info.PreReleaseBuild);
  EXPECT_TRUE(info.DebugBuild);
  EXPECT_TRUE(info.PrivateBuild);
  EXPECT_EQ(info.FileVersionText, L"file version text");
  EXPECT_EQ(info.ProductVersionText, L"product version text");
  EXPECT_EQ(info.ProductName, L"Test Product");
  EXPECT_EQ(info.CompanyName, L"Test Company");
  EXPECT_EQ(info.Description, L"Test description");
  EXPECT_EQ(info.Comments, L"");
  EXPECT_EQ(info.Copyright, L"Copyright \u00A9 2019 Test & Co");
  EXPECT_EQ(info.Trademarks, L"Test trademarks");
  EXPECT_EQ(info.InternalName, L"TestInternal");
  EXPECT_EQ(info.OriginalFilename, L"TestOriginal.dll");
  EXPECT_EQ(info.SpecialBuild, L"Special build text");
  EXPECT_EQ(info.BuildTimestamp, L"2019-06-18 14:44:03");
}

TEST(VersionInfo, StringTableFollowsTheTranslationOrDefaultsTo040904E4) {
  for (int variant : {1, 4}) {
    TVersionInfo info;
    ASSERT_TRUE(ReadFileVersionInfo(VersionLibrary(variant), info)) << variant;
    EXPECT_EQ(info.ProductName, L"Test Product") << variant;
    EXPECT_FALSE(info.PreReleaseBuild);
    EXPECT_FALSE(info.DebugBuild);
  }
}

TEST(VersionInfo, FileWithoutVersionResourceGivesEmptyTexts) {
  TTempDir folder;
  std::wstring file = folder.File(L"plain.txt");
  WriteFileText(file, "no resources here");
  TVersionInfo info;
  ASSERT_TRUE(ReadFileVersionInfo(VersionLibrary(2), info));
  EXPECT_FALSE(ReadFileVersionInfo(file, info));
  EXPECT_EQ(info.FileName, file);
  EXPECT_EQ(info.ProductName, L"");
  EXPECT_EQ(info.FileVersion, L"");
  EXPECT_EQ(info.Major, 0u);
  EXPECT_FALSE(info.PreReleaseBuild);
}

TEST(VersionInfo, ExecutableReadsItsOwnResource) {
  // The test program has no version resource of its own: the record names the file and stays empty.
  EXPECT_EQ(ExeVersionInfo().FileName, ModuleFileName(nullptr));
}

namespace {

std::vector<uint32_t> IconPixels(HICON AIcon, int ASize) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = ASize;
  info.bmiHeader.biHeight = -ASize;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  TMemoryDC dc(CreateCompatibleDC(nullptr));
  TBitmap bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  TSelectObject select(dc.get(), bitmap.get());
  RECT rect = {0, 0, ASize, ASize};
  FillRect(dc.get(), &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(dc.get(), 0, 0, AIcon, ASize, ASize, 0, nullptr, DI_NORMAL);
  GdiFlush();
  const auto* pixels = static_cast<const uint32_t*>(bits);
  return std::vector<uint32_t>(pixels, pixels + ASize * ASize);
}

SIZE BitmapSize(int AId) {
  TBitmap bitmap(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(AId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  BITMAP info = {};
  if (bitmap) GetObjectW(bitmap.get(), sizeof(info), &info);
  return {info.bmWidth, info.bmBitsPixel == 32 ? info.bmHeight : -1};
}

}  // namespace

// The dialog's resources are linked beside the program's own, as in the program.
TEST(AboutPictures, LinkedBesideTheProgramsResourcesWithoutReplacingThem) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  TIcon program(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTREL), IMAGE_ICON, 32, 32, 0)));
  TIcon upToDate = LoadIconFile(instance, IDR_ABOUT_UPTODATE, 32);
  TIcon warning = LoadIconFile(instance, IDR_ABOUT_WARNING, 16);
  ASSERT_TRUE(program && upToDate && warning);
  EXPECT_NE(IconPixels(program.get(), 32), IconPixels(upToDate.get(), 32));
  EXPECT_NE(IconPixels(upToDate.get(), 16), IconPixels(warning.get(), 16));
  EXPECT_FALSE(LoadIconFile(instance, IDB_ABOUT_LOGO, 16));  // not an icon file

  struct Case {
    int id;
    SIZE size;
  } cases[] = {
      {IDB_ABOUT_LOGO, {120, 59}},
      {IDB_ABOUT_LOGO_2X, {240, 118}},
      {IDB_ABOUT_WAIT, {128, 16}},
      {IDB_ABOUT_WAIT_2X, {256, 32}},
  };
  for (const Case& c : cases) {
    SIZE size = BitmapSize(c.id);
    EXPECT_EQ(size.cx, c.size.cx) << c.id;
    EXPECT_EQ(size.cy, c.size.cy) << c.id;  // -1 unless 32 bits per pixel
  }
}

TEST_F(AboutDialog, MainWindowCallShowsTheProgramWithoutUpdateLine) {
  TTestMainForm main;
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"", L"", lngEn);
  wchar_t className[64];
  GetClassNameW(dialog->Handle(), className, 64);
  EXPECT_STREQ(className, L"Zarvek.UI.AboutDialog");
  EXPECT_EQ(dialog->Caption(), L"About....");
  EXPECT_EQ(GetWindow(dialog->Handle(), GW_OWNER), main.Handle());
  EXPECT_EQ(dialog->UpdateCheck(), nullptr);
  LONG style = GetWindowLongW(dialog->Handle(), GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0);
  EXPECT_EQ(dialog->ClientSize().cx, dialog->Scale(600));
  EXPECT_EQ(dialog->ClientSize().cy, dialog->Scale(384));

  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LPRODUCT), L"Test Product");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LVER), L"Version 1.4.0.0");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LCR), L"Copyright \u00A9 2019 Test & Co");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LDESC), L"Test description");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LEMAIL), L"vantrel@example.com");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LWWW), L"www.example.com");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_BUTTON2), L"OK");
  EXPECT_EQ(HintText(*dialog), L"2019-06-18 14:44:03");

  TStringList memo = MemoLines(*dialog);
  ASSERT_EQ(memo.size(), 4u);  // terms, own risk, an empty line, rights
  EXPECT_FALSE(memo[0].empty());
  EXPECT_NE(memo[1].find(L"own risk"), std::wstring::npos);
  EXPECT_EQ(memo[2], L"");
  EXPECT_NE(memo[3].find(L"rights"), std::wstring::npos);
  HWND memoWindow = Control(*dialog, IDC_ABOUT_MLIC);
  EXPECT_EQ(GetWindowLongW(memoWindow, GWL_STYLE) & WS_VSCROLL, 0);
  EXPECT_TRUE(GetWindowLongW(memoWindow, GWL_STYLE) & ES_READONLY);

  bool completed = false;
  int result = RunModal(
      *dialog,
      [&] {
        // Posted messages come before timers: a posted check would have started by now.
        EXPECT_TRUE(IsWindowVisible(dialog->Handle()));
        EXPECT_FALSE(IsWindowEnabled(main.Handle()));
        EXPECT_FALSE(ControlVisible(*dialog, IDC_ABOUT_LUPDATE));
        EXPECT_FALSE(ControlVisible(*dialog, IDC_ABOUT_ICOWAIT));
        EXPECT_FALSE(ControlVisible(*dialog, IDC_ABOUT_ICOOK));
        EXPECT_FALSE(ControlVisible(*dialog, IDC_ABOUT_ICOWARN));
        EXPECT_TRUE(ControlVisible(*dialog, IDC_ABOUT_IMAGE1));
        // Centred over the main window.
        RECT owner, self;
        GetWindowRect(main.Handle(), &owner);
        GetWindowRect(dialog->Handle(), &self);
        EXPECT_NEAR((self.left + self.right) / 2, (owner.left + owner.right) / 2, 1);
        EXPECT_NEAR((self.top + self.bottom) / 2, (owner.top + owner.bottom) / 2, 1);
        SendMessageW(Control(*dialog, IDC_ABOUT_BUTTON2), BM_CLICK, 0, 0);
        return true;
      },
      &completed);
  EXPECT_TRUE(completed);
  EXPECT_EQ(result, mrOk);
  EXPECT_TRUE(IsWindowEnabled(main.Handle()));
}

TEST_F(AboutDialog, HeaderFollowsTheVersionResource) {
  struct Case {
    int variant;
    const wchar_t* version;
    const wchar_t* description;
  } cases[] = {
      {1, L"Version 1.4.0.0", L"Test description"},
      {2, L"Version 1.2.0.3 BETA 3", L"Beta comments replace the description"},
      {3, L"Version 1.2.0.0 BETA DEBUG", L"Test description"},
      {4, L"Version 2.0.1.7", L"Test description"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ReadFileVersionInfo(VersionLibrary(c.variant), ExeVersionInfo()));
    std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"", L"", lngEn);
    EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LVER), c.version) << c.variant;
    EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LDESC), c.description) << c.variant;
    EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LPRODUCT), L"Test Product") << c.variant;
  }
}

TEST_F(AboutDialog, MissingVersionResourceLeavesTheLinesEmpty) {
  ExeVersionInfo() = TVersionInfo();
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"", L"", lngEn);
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LPRODUCT), L"");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LVER), L"Version ");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LDESC), L"");
  EXPECT_EQ(MemoLines(*dialog).size(), 4u);
}

TEST_F(AboutDialog, ExtraLineFollowsTheDisclaimerAndManyLinesGetAScrollBar) {
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"", L"Licensed to the test.", lngEn);
  TStringList memo = MemoLines(*dialog);
  ASSERT_EQ(memo.size(), 5u);
  EXPECT_EQ(memo.back(), L"Licensed to the test.");
  EXPECT_EQ(GetWindowLongW(Control(*dialog, IDC_ABOUT_MLIC), GWL_STYLE) & WS_VSCROLL, 0);
  DWORD start = 1, end = 1;
  SendMessageW(Control(*dialog, IDC_ABOUT_MLIC), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 0u);

  std::wstring many;
  for (int i = 1; i <= 10; ++i) many += L"\r\nline " + std::to_wstring(i);
  dialog = CreateAboutDialog(L"", L"Extra" + many, lngEn);
  HWND memoWindow = Control(*dialog, IDC_ABOUT_MLIC);
  EXPECT_GT(SendMessageW(memoWindow, EM_GETLINECOUNT, 0, 0), 12);
  EXPECT_TRUE(GetWindowLongW(memoWindow, GWL_STYLE) & WS_VSCROLL);
  EXPECT_EQ(MemoLines(*dialog).back(), L"line 10");
  EXPECT_EQ(MemoLines(*dialog).size(), 15u);
}

TEST_F(AboutDialog, CzechTexts) {
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"", L"", lngCz);
  EXPECT_EQ(dialog->Caption(), L"O programu....");
  EXPECT_EQ(ControlText(*dialog, IDC_ABOUT_LVER), L"Verze 1.4.0.0");
  EXPECT_EQ(dialog->Language(), lngCz);
}

TEST_F(AboutDialog, LinksOpenTheMailAddressAndTheHomepage) {
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"", L"", lngEn);
  Click(Control(*dialog, IDC_ABOUT_LEMAIL));
  Click(Control(*dialog, IDC_ABOUT_LWWW));
  Click(Control(*dialog, IDC_ABOUT_LDESC));  // no link
  EXPECT_EQ(Opened, (std::vector<std::wstring>{L"mailto:vantrel@example.com", L"http://www.example.com"}));
}

TEST_F(AboutDialog, EnterEscAndClosing) {
  struct Case {
    UINT message;
    WPARAM key;
    int result;
  } cases[] = {
      {WM_KEYDOWN, VK_ESCAPE, mrOk},
      {WM_KEYDOWN, VK_RETURN, mrOk},
      {WM_CLOSE, 0, mrCancel},
  };
  for (const Case& c : cases) {
    std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"", L"", lngEn);
    bool sent = false;
    int result = RunModal(*dialog, [&] {
      if (!sent) {
        HWND target = c.message == WM_CLOSE ? dialog->Handle() : Control(*dialog, IDC_ABOUT_MLIC);
        PostMessageW(target, c.message, c.key, 0);
        sent = true;
      }
      return false;  // the dialog closes by itself
    });
    EXPECT_EQ(result, c.result) << c.message << " " << c.key;
  }
}

namespace {

// The dialog with an update check pointed at the local server.
std::unique_ptr<TdlgAbout> DialogCheckingAt(const TLocalHttpServer& AServer, const std::wstring& APrefix = L"App") {
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(APrefix, L"", lngEn);
  dialog->UpdateCheck()->ProductInfo().SetURL(AServer.Url("/webupdate.html"));
  dialog->UpdateCheck()->HTTPPort = AServer.Port();
  return dialog;
}

std::string OfferPage(const char* AVersion) {
  return std::string("<html><head>\r\n") +
         "<META NAME=\"AppName\" CONTENT=\"Test Product\">\r\n"
         "<META NAME=\"AppVersion\" CONTENT=\"" + AVersion + "\">\r\n"
         "<META NAME=\"AppFile\" CONTENT=\"vantrel-about-offer.exe\">\r\n"
         "<META NAME=\"AppDownload\" CONTENT=\"/files/setup.exe\">\r\n"
         "<META NAME=\"AppPage\" CONTENT=\"/news.html\">\r\n"
         "</head></html>\r\n";
}

struct TFooter {
  std::wstring Text;
  bool Wait = false;
  bool Ok = false;
  bool Warn = false;
  bool Visible = false;
};

TFooter Footer(const TdlgAbout& ADialog) {
  return {ControlText(ADialog, IDC_ABOUT_LUPDATE), ControlVisible(ADialog, IDC_ABOUT_ICOWAIT),
          ControlVisible(ADialog, IDC_ABOUT_ICOOK), ControlVisible(ADialog, IDC_ABOUT_ICOWARN),
          ControlVisible(ADialog, IDC_ABOUT_LUPDATE)};
}

// Shows the dialog until the footer leaves its checking state; returns the final footer.
TFooter RunUntilChecked(TdlgAbout& ADialog) {
  TFooter footer;
  bool completed = false;
  RunModal(
      ADialog,
      [&] {
        footer = Footer(ADialog);
        if (footer.Text == L"Checking for update...") return false;
        SendMessageW(Control(ADialog, IDC_ABOUT_BUTTON2), BM_CLICK, 0, 0);
        return true;
      },
      &completed);
  EXPECT_TRUE(completed);
  return footer;
}

}  // namespace

TEST_F(AboutDialog, UpdateCheckIsSetUpFromThePrefix) {
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"App", L"", lngEn);
  TUpdateCheck* check = dialog->UpdateCheck();
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->Owner(), dialog.get());
  EXPECT_EQ(check->ProductInfo().URL(), UpdatePageURL);
  EXPECT_EQ(std::wstring(UpdatePageURL).rfind(L"https://", 0), 0u);
  EXPECT_EQ(check->ProductInfo().Version, L"1.4.0.0");
  EXPECT_EQ(check->ProductInfo().VersionFormat, vfStandard);
  EXPECT_EQ(check->HTTPPort, 443u);
  EXPECT_EQ(check->Options, TUpdateOptions{uoOverwrite});
  const TTagInfo& tags = check->TagInfo();
  EXPECT_EQ(tags.Author, L"AppAuthor");
  EXPECT_EQ(tags.Email, L"AppEmail");
  EXPECT_EQ(tags.ClientFileName, L"AppFile");
  EXPECT_EQ(tags.Download, L"AppDownload");
  EXPECT_EQ(tags.ProductName, L"AppName");
  EXPECT_EQ(tags.Redirection, L"AppRedirection");
  EXPECT_EQ(tags.RunParameters, L"AppRunParameters");
  EXPECT_EQ(tags.Version, L"AppVersion");
  EXPECT_EQ(tags.MD5, L"AppMD5");
  EXPECT_EQ(tags.Page, L"AppPage");
  EXPECT_FALSE(ControlVisible(*dialog, IDC_ABOUT_LUPDATE));
}

TEST_F(AboutDialog, NewerVersionOnTheServerShowsTheOfferAndDownloadsNothing) {
  TLocalHttpServer server;
  THttpAnswer page;
  page.Body = OfferPage("1.5.0.0");
  page.Gate = std::make_shared<TGate>();
  server.Serve("/webupdate.html", page);
  server.ServeText("/files/setup.exe", "setup");
  wchar_t temp[MAX_PATH + 1];
  std::wstring offered = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)) + L"vantrel-about-offer.exe";
  DeleteFileW(offered.c_str());

  std::unique_ptr<TdlgAbout> dialog = DialogCheckingAt(server);
  TFooter checking;
  TFooter final;
  bool sawChecking = false;
  bool completed = false;
  RunModal(
      *dialog,
      [&] {
        if (!sawChecking) {
          // The page is held back by the server: the footer shows the running check.
          if (!page.Gate->WaitArrived(0)) return false;
          checking = Footer(*dialog);
          sawChecking = true;
          page.Gate->Open();
          return false;
        }
        final = Footer(*dialog);
        if (final.Text == L"Checking for update...") return false;
        Click(Control(*dialog, IDC_ABOUT_LUPDATE));
        SendMessageW(Control(*dialog, IDC_ABOUT_BUTTON2), BM_CLICK, 0, 0);
        return true;
      },
      &completed);
  ASSERT_TRUE(completed);
  EXPECT_TRUE(checking.Visible);
  EXPECT_EQ(checking.Text, L"Checking for update...");
  EXPECT_TRUE(checking.Wait);
  EXPECT_FALSE(checking.Warn);

  EXPECT_EQ(final.Text, L"New version 1.5.0.0 available. Click here to download it.");
  EXPECT_TRUE(final.Warn);
  EXPECT_FALSE(final.Wait);
  EXPECT_FALSE(final.Ok);
  EXPECT_EQ(server.CountRequests("/webupdate.html"), 1);
  EXPECT_EQ(server.CountRequests("/files/setup.exe"), 0);
  EXPECT_FALSE(FileExists(offered));
  EXPECT_EQ(Opened, std::vector<std::wstring>{L"http://www.example.com/news.html"});
}

TEST_F(AboutDialog, OkEscOrClosingDuringTheCheckStopsItAtOnce) {
  struct Case {
    const char* name;
    UINT message;
    WPARAM key;
    int result;
  } cases[] = {
      {"OK", BM_CLICK, 0, mrOk},
      {"Esc", WM_KEYDOWN, VK_ESCAPE, mrOk},
      {"close", WM_CLOSE, 0, mrCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLocalHttpServer server;
    THttpAnswer page;
    page.Body = OfferPage("1.5.0.0");
    page.Gate = std::make_shared<TGate>();  // held for a minute: the check waits for the server
    server.Serve("/webupdate.html", page);
    std::unique_ptr<TdlgAbout> dialog = DialogCheckingAt(server);
    THandle worker;
    FILETIME closedAt = {};
    TStopwatch sinceClose;
    bool closing = false;
    int result = RunModal(*dialog, [&] {
      if (closing || !page.Gate->WaitArrived(0)) return false;
      worker.reset(
          OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, dialog->UpdateCheck()->ThreadId()));
      closing = true;
      GetSystemTimeAsFileTime(&closedAt);
      sinceClose = TStopwatch();
      if (c.message == BM_CLICK) SendMessageW(Control(*dialog, IDC_ABOUT_BUTTON2), BM_CLICK, 0, 0);
      if (c.message == WM_KEYDOWN) PostMessageW(Control(*dialog, IDC_ABOUT_MLIC), WM_KEYDOWN, c.key, 0);
      if (c.message == WM_CLOSE) PostMessageW(dialog->Handle(), WM_CLOSE, 0, 0);
      return false;  // the dialog closes by itself
    });
    ULONGLONG returnedAfter = sinceClose.Ms();
    ASSERT_TRUE(closing);
    EXPECT_EQ(result, c.result);
    EXPECT_FALSE(dialog->UpdateCheck()->Active());
    // The transfer's worker has ended by the time the dialog returns, soon after the close, and
    // read nothing.
    ASSERT_TRUE(worker);
    EXPECT_EQ(WaitForSingleObject(worker.get(), 0), WAIT_OBJECT_0);
    FILETIME created, ended, kernel, user;
    ASSERT_TRUE(GetThreadTimes(worker.get(), &created, &ended, &kernel, &user));
    auto ticks = [](const FILETIME& ATime) {  // 100 ns units
      return static_cast<LONGLONG>((static_cast<ULONGLONG>(ATime.dwHighDateTime) << 32) | ATime.dwLowDateTime);
    };
    EXPECT_LT(ticks(ended) - ticks(closedAt), 5000LL * 10000);  // the server would hold the page a minute
    EXPECT_NE(Footer(*dialog).Text, L"New version 1.5.0.0 available. Click here to download it.");
    // Hiding the dialog takes a moment of its own: Wine waits 2 s for a window manager there is
    // none of.
    EXPECT_LT(returnedAfter, 10000u);
    TStopwatch sinceDestroy;
    dialog.reset();
    EXPECT_LT(sinceDestroy.Ms(), 5000u);
  }
}

TEST_F(AboutDialog, SameVersionOnTheServerShowsUpToDate) {
  TLocalHttpServer server;
  server.ServeText("/webupdate.html", OfferPage("1.4.0.0"));
  std::unique_ptr<TdlgAbout> dialog = DialogCheckingAt(server);
  TFooter footer = RunUntilChecked(*dialog);
  EXPECT_EQ(footer.Text, L"You use latest version.");
  EXPECT_TRUE(footer.Ok);
  EXPECT_FALSE(footer.Warn);
  EXPECT_FALSE(footer.Wait);
}

TEST_F(AboutDialog, UnreachableServerShowsTheFailure) {
  TLocalHttpServer server;
  std::unique_ptr<TdlgAbout> dialog = DialogCheckingAt(server);
  dialog->UpdateCheck()->HTTPPort = UnusedPort();
  TFooter footer = RunUntilChecked(*dialog);
  EXPECT_EQ(footer.Text, L"Cannot get update information.");
  EXPECT_TRUE(footer.Warn);
  EXPECT_FALSE(footer.Ok);
  EXPECT_FALSE(footer.Wait);
}

TEST_F(AboutDialog, CzechFooter) {
  TLocalHttpServer server;
  server.ServeText("/webupdate.html", OfferPage("2.0.0.0"));
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"App", L"", lngCz);
  dialog->UpdateCheck()->ProductInfo().SetURL(server.Url("/webupdate.html"));
  dialog->UpdateCheck()->HTTPPort = server.Port();
  TFooter footer = RunUntilChecked(*dialog);
  EXPECT_EQ(footer.Text, L"Nová verze 2.0.0.0 je k dispozici. Pokud ji chcete stáhnout, klikněte zde.");
}

TEST_F(AboutDialog, UpdateLineOpensOnlyPathsOnTheHomepageServer) {
  struct Case {
    const char* page;
    const char* download;
    const wchar_t* opened;
  } cases[] = {
      {"/news.html", "/files/setup.exe", L"http://www.example.com/news.html"},
      {"", "/files/setup.exe", L"http://www.example.com/files/setup.exe"},
      {"@evil.example/", "", L"http://www.example.com"},
      {".evil.example/x", "/files/setup.exe", L"http://www.example.com"},
      {"", "https://elsewhere.example/setup.exe", L"http://www.example.com"},
  };
  for (const Case& c : cases) {
    TLocalHttpServer server;
    server.ServeText("/webupdate.html", std::string("<META NAME=\"AppName\" CONTENT=\"Test Product\">\r\n") +
                                            "<META NAME=\"AppVersion\" CONTENT=\"1.5\">\r\n" +
                                            "<META NAME=\"AppPage\" CONTENT=\"" + c.page + "\">\r\n" +
                                            "<META NAME=\"AppDownload\" CONTENT=\"" + c.download + "\">\r\n");
    std::unique_ptr<TdlgAbout> dialog = DialogCheckingAt(server);
    RunUntilChecked(*dialog);
    Opened.clear();
    Click(Control(*dialog, IDC_ABOUT_LUPDATE));
    EXPECT_EQ(Opened, std::vector<std::wstring>{c.opened}) << c.page << " " << c.download;
  }
}

namespace {

// Starts a shell command of the host (xdotool here); it signals its end by creating AMarker.
void StartHostCommand(const std::string& ACommand, const std::string& AMarker) {
  std::wstring commandLine = WindowsPath("/bin/sh") + L" -c \"" + CodePageToWide(ACommand, CP_UTF8) + L"; touch " +
                             CodePageToWide(AMarker, CP_UTF8) + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
}

// A drag with the real mouse, from the centre of AControl by (ADx, ADy).
void StartDrag(HWND AControl, int ADx, int ADy, const std::string& AMarker) {
  RECT rect;
  GetWindowRect(AControl, &rect);
  int x = (rect.left + rect.right) / 2;
  int y = (rect.top + rect.bottom) / 2;
  StartHostCommand("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                       " sleep 0.3 mousedown 1 sleep 0.3 mousemove " + std::to_string(x + ADx / 2) + " " +
                       std::to_string(y + ADy / 2) + " sleep 0.2 mousemove " + std::to_string(x + ADx) + " " +
                       std::to_string(y + ADy) + " sleep 0.3 mouseup 1 sleep 0.3",
                   AMarker);
}

}  // namespace

TEST_F(AboutDialog, DraggingTheLogoMovesTheWindowAndDraggingTheMemoDoesNot) {
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(L"", L"", lngEn);
  std::string marker = "/tmp/vantrel-about-drag-" + std::to_string(GetCurrentProcessId());
  std::wstring markerFile = WindowsPath(marker);
  DeleteFileW(markerFile.c_str());
  int phase = 0;
  RECT start = {}, afterLogo = {}, afterMemo = {};
  bool completed = false;
  RunModal(
      *dialog,
      [&] {
        switch (phase) {
          case 0:
            GetWindowRect(dialog->Handle(), &start);
            StartDrag(Control(*dialog, IDC_ABOUT_IMAGE1), 60, 40, marker);
            phase = 1;
            return false;
          case 1:
            if (!FileExists(markerFile)) return false;
            DeleteFileW(markerFile.c_str());
            GetWindowRect(dialog->Handle(), &afterLogo);
            StartDrag(Control(*dialog, IDC_ABOUT_MLIC), 60, 40, marker);
            phase = 2;
            return false;
          default:
            if (!FileExists(markerFile)) return false;
            DeleteFileW(markerFile.c_str());
            GetWindowRect(dialog->Handle(), &afterMemo);
            SendMessageW(Control(*dialog, IDC_ABOUT_BUTTON2), BM_CLICK, 0, 0);
            return true;
        }
      },
      &completed);
  ASSERT_TRUE(completed);
  EXPECT_EQ(afterLogo.left - start.left, 60);
  EXPECT_EQ(afterLogo.top - start.top, 40);
  EXPECT_EQ(afterMemo.left, afterLogo.left);
  EXPECT_EQ(afterMemo.top, afterLogo.top);
}
