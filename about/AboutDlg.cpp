#include "about/AboutDlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "about/resource.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "resources/ProgramIcons.h"

namespace vantrel {

const wchar_t HomepageAddress[] = L"http://www.example.com";
const wchar_t MailAddress[] = L"mailto:vantrel@example.com";
const wchar_t UpdatePageURL[] = L"https://www.example.com/webupdate.html";

namespace {

struct TAboutTexts {
  const wchar_t* Caption;
  const wchar_t* Version;
  const wchar_t* CheckFailed;
  const wchar_t* UpToDate;
  const wchar_t* NewVersion;  // one %s: the offered version
};

const TAboutTexts AboutTexts[] = {
    {L"About", L"Version", L"Cannot get update information.", L"You use latest version.",
     L"New version %s available. Click here to download it."},
    {L"O programu", L"Verze", L"Nelze získat informace o verzi", L"Máte poslední verzi.",
     L"Nová verze %s je k dispozici. Pokud ji chcete stáhnout, klikněte zde."},
};

const TAboutTexts& Texts(TLanguage ALanguage) { return AboutTexts[ALanguage == lngCz ? 1 : 0]; }

const wchar_t TermsLine[] =
    L"This program is free of charge: you may use it and pass it on to others, unchanged and without asking "
    L"for payment.";
const wchar_t Disclaimer[] =
    L"You use this program at your own risk: it comes without any warranty, and its authors are not liable "
    L"for damage or loss of data caused by its use.\r\n"
    L"\r\n"
    L"All rights to the program remain with its authors.";
const wchar_t CheckingText[] = L"Checking for update...";

const COLORREF HeaderColor = RGB(0xFF, 0xFF, 0xFF);
const COLORREF BodyColor = RGB(0xDD, 0xDD, 0xDD);
const COLORREF FooterColor = RGB(0xA0, 0xA0, 0xA4);
const COLORREF NavyColor = RGB(0x00, 0x00, 0x80);
const COLORREF GreyColor = RGB(0x80, 0x80, 0x80);
const COLORREF BlackColor = RGB(0, 0, 0);

// Design sizes at 96 dots per inch.
constexpr int DesignWidth = 600;
constexpr int DesignHeight = 384;
constexpr int HeaderHeight = 117;
constexpr int FooterHeight = 44;
constexpr int MemoLineLimit = 12;
constexpr UINT WaitFrameMs = 100;

TOpenAddressFunction& OpenAddressFunction() {
  static TOpenAddressFunction function;
  return function;
}

HWND CreateChild(const wchar_t* AClass, const wchar_t* AText, DWORD AStyle, HWND AParent, int AId) {
  return CreateWindowExW(0, AClass, AText, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | AStyle, 0, 0, 0, 0, AParent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)), Application().Instance(), nullptr);
}

TFont MakeFont(const wchar_t* AFace, int APoints, UINT ADpi, int AWeight, bool AUnderline) {
  LOGFONTW font = {};
  font.lfHeight = -MulDiv(APoints, static_cast<int>(ADpi), 72);
  font.lfWeight = AWeight;
  font.lfUnderline = AUnderline;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcscpy_s(font.lfFaceName, AFace);
  return TFont(CreateFontIndirectW(&font));
}

SIZE TextSize(HWND AControl, const std::wstring& AText) {
  TWindowDC dc(AControl);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(AControl, WM_GETFONT, 0, 0));
  TSelectObject select(dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  RECT rect = {0, 0, 0, 0};
  DrawTextW(dc.get(), AText.empty() ? L" " : AText.c_str(), -1, &rect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  return {AText.empty() ? 0 : rect.right - rect.left, rect.bottom - rect.top};
}

std::wstring WindowText(HWND AWindow) {
  int length = GetWindowTextLengthW(AWindow);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(AWindow, text.data(), length + 1)));
  return text;
}

void Place(HWND AWindow, int ALeft, int ATop, int AWidth, int AHeight) {
  SetWindowPos(AWindow, nullptr, ALeft, ATop, AWidth > 0 ? AWidth : 0, AHeight > 0 ? AHeight : 0,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT ChildRect(HWND AChild) {
  RECT rect;
  GetWindowRect(AChild, &rect);
  MapWindowPoints(nullptr, GetParent(AChild), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TdlgAbout

TOpenAddressFunction SetOpenAddressFunction(TOpenAddressFunction AFunction) {
  return std::exchange(OpenAddressFunction(), std::move(AFunction));
}

namespace {

TFormDesign AboutDesign(HWND AOwner) {
  TFormDesign design;
  design.ClassName = L"Zarvek.UI.AboutDialog";
  design.ClientWidth = DesignWidth;
  design.ClientHeight = DesignHeight;
  design.Style = WS_POPUP | WS_CLIPCHILDREN;
  design.ExStyle = WS_EX_CONTROLPARENT;
  design.Owner = AOwner;
  return design;
}

}  // namespace

TdlgAbout::TdlgAbout(HWND AOwner) : TForm(AboutDesign(AOwner)), FBlackBrush(CreateSolidBrush(BlackColor)) {
  CreateOwnFonts();
  CreateControls();
  LoadPictures();
  Layout();
  FormCreate();
}

TdlgAbout::~TdlgAbout() = default;

void TdlgAbout::CreateOwnFonts() {
  FProductFont = MakeFont(L"Tahoma", 14, Dpi(), FW_BOLD, false);
  FBoldFont = MakeFont(L"Tahoma", 8, Dpi(), FW_BOLD, false);
  FLinkFont = MakeFont(L"Consolas", 8, Dpi(), FW_NORMAL, true);
}

void TdlgAbout::CreateControls() {
  HWND form = Handle();
  Panel3 = std::make_unique<TPanelWindow>(form, IDC_ABOUT_PANEL3, FooterColor);
  Button2 = CreateChild(WC_BUTTONW, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, Panel3->Handle(), IDC_ABOUT_BUTTON2);
  Panel1 = std::make_unique<TPanelWindow>(form, IDC_ABOUT_PANEL1, BodyColor);
  lEmail = CreateChild(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, Panel1->Handle(), IDC_ABOUT_LEMAIL);
  CreateMemo(false);
  lWWW = CreateChild(WC_STATICW, L"", SS_RIGHT | SS_NOPREFIX | SS_NOTIFY, Panel1->Handle(), IDC_ABOUT_LWWW);
  Panel2 = std::make_unique<TPanelWindow>(form, IDC_ABOUT_PANEL2, HeaderColor);
  HWND header = Panel2->Handle();
  lDesc = CreateChild(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, header, IDC_ABOUT_LDESC);
  Icon = std::make_unique<TPictureWindow>(header, IDC_ABOUT_ICON, HeaderColor);
  lProduct = CreateChild(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, header, IDC_ABOUT_LPRODUCT);
  lVer = CreateChild(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, header, IDC_ABOUT_LVER);
  Image1 = std::make_unique<TPictureWindow>(header, IDC_ABOUT_IMAGE1, HeaderColor);
  lCR = CreateChild(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, header, IDC_ABOUT_LCR);
  HWND footer = Panel3->Handle();
  lUpdate = CreateChild(WC_STATICW, CheckingText, SS_LEFT | SS_NOPREFIX | SS_NOTIFY, footer, IDC_ABOUT_LUPDATE);
  ShowWindow(lUpdate, SW_HIDE);
  icoWait = std::make_unique<TPictureWindow>(footer, IDC_ABOUT_ICOWAIT, FooterColor);
  icoOK = std::make_unique<TPictureWindow>(footer, IDC_ABOUT_ICOOK, FooterColor);
  icoWarn = std::make_unique<TPictureWindow>(footer, IDC_ABOUT_ICOWARN, FooterColor);

  // Everything on the header, and the status pictures, drag the borderless window (the labels
  // there let the mouse through to the header).
  Panel2->OnMouseDown = [this] { FormMouseDown(); };
  for (TPictureWindow* picture : {Icon.get(), Image1.get(), icoWait.get(), icoOK.get(), icoWarn.get()}) {
    picture->OnMouseDown = [this] { FormMouseDown(); };
  }
  ShowWindow(Icon->Handle(), SW_SHOW);
  ShowWindow(Image1->Handle(), SW_SHOW);

  FHint = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form, nullptr,
                          Application().Instance(), nullptr);
  if (FHint) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = header;
    tool.uId = IDC_ABOUT_LVER;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(FHint, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }

  for (HWND control : {Button2, lEmail, mLic, lWWW, lDesc, lCR, lUpdate}) ApplyFont(control);
  SendMessageW(lProduct, WM_SETFONT, reinterpret_cast<WPARAM>(FProductFont.get()), FALSE);
  SendMessageW(lVer, WM_SETFONT, reinterpret_cast<WPARAM>(FBoldFont.get()), FALSE);
  SendMessageW(lEmail, WM_SETFONT, reinterpret_cast<WPARAM>(FLinkFont.get()), FALSE);
  SendMessageW(lWWW, WM_SETFONT, reinterpret_cast<WPARAM>(FLinkFont.get()), FALSE);
}

void TdlgAbout::CreateMemo(bool AScrollBar) {
  std::wstring text;
  if (mLic) {
    text = WindowText(mLic);
    DestroyWindow(mLic);
  }
  DWORD style = WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | (AScrollBar ? WS_VSCROLL : 0);
  mLic = CreateChild(WC_EDITW, text.c_str(), style, Panel1->Handle(), IDC_ABOUT_MLIC);
  ApplyFont(mLic);
  // The body behind the text shows through the margins of the edit.
  SendMessageW(mLic, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

void TdlgAbout::LoadPictures() {
  HINSTANCE instance = Application().Instance();
  // The double-size pictures serve every density above 96 dots per inch.
  bool large = Dpi() > 96;
  auto bitmap = [&](int AId, int ALargeId) {
    return TBitmap(static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(large ? ALargeId : AId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  };
  Image1->SetBitmap(bitmap(IDB_ABOUT_LOGO, IDB_ABOUT_LOGO_2X));
  icoWait->SetBitmap(bitmap(IDB_ABOUT_WAIT, IDB_ABOUT_WAIT_2X), 8);
  icoOK->SetIcon(LoadIconFile(instance, IDR_ABOUT_UPTODATE, Scale(16)));
  icoWarn->SetIcon(LoadIconFile(instance, IDR_ABOUT_WARNING, Scale(16)));
  Icon->SetIcon(TIcon(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTREL), IMAGE_ICON, Scale(32), Scale(32), 0))));
}

void TdlgAbout::Layout() {
  if (!Panel1) return;
  SIZE client = ClientSize();
  const int edge = Scale(1);
  const int headerHeight = Scale(HeaderHeight);
  const int footerHeight = Scale(FooterHeight);
  const int panelWidth = client.cx - 2 * edge;
  const int bodyTop = edge + headerHeight + edge;
  const int footerTop = client.cy - edge - footerHeight;
  const int bodyHeight = footerTop - edge - bodyTop;
  // Distances from the right edge of a panel keep right-anchored controls where the design has them.
  const int designPanel = DesignWidth - 2;
  auto fromRight = [&](int ADesignRight) { return panelWidth - Scale(designPanel - ADesignRight); };

  Place(Panel2->Handle(), edge, edge, panelWidth, headerHeight);
  Place(Panel1->Handle(), edge, bodyTop, panelWidth, bodyHeight);
  Place(Panel3->Handle(), edge, footerTop, panelWidth, footerHeight);

  auto autoSize = [](HWND ALabel, int ALeft, int ATop) {
    SIZE size = TextSize(ALabel, WindowText(ALabel));
    Place(ALabel, ALeft, ATop, size.cx, size.cy);
  };
  Place(Icon->Handle(), Scale(10), Scale(8), Scale(32), Scale(32));
  autoSize(lProduct, Scale(55), Scale(8));
  autoSize(lVer, Scale(55), Scale(34));
  autoSize(lCR, Scale(55), Scale(53));
  Place(lDesc, Scale(55), Scale(77), fromRight(55 + 532) - Scale(55), Scale(34));
  Place(Image1->Handle(), fromRight(468 + 120) - Scale(120), Scale(8), Scale(120), Scale(59));

  Place(mLic, Scale(10), Scale(10), panelWidth - Scale(20), bodyHeight - Scale(10) - Scale(20));
  const int linkTop = bodyHeight - Scale(219 - 202);
  autoSize(lEmail, Scale(10), linkTop);
  SIZE www = TextSize(lWWW, WindowText(lWWW));
  Place(lWWW, fromRight(585) - www.cx, linkTop, www.cx, www.cy);

  Place(icoWait->Handle(), Scale(12), Scale(14), Scale(16), Scale(16));
  Place(icoOK->Handle(), Scale(14), Scale(14), Scale(16), Scale(16));
  Place(icoWarn->Handle(), Scale(14), Scale(14), Scale(16), Scale(16));
  autoSize(lUpdate, Scale(34), Scale(16));
  Place(Button2, fromRight(512 + 75) - Scale(75), footerHeight - Scale(FooterHeight - 10), Scale(75), Scale(25));

  if (FHint) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Panel2->Handle();
    tool.uId = IDC_ABOUT_LVER;
    tool.rect = ChildRect(lVer);
    SendMessageW(FHint, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void TdlgAbout::Resize() { Layout(); }

void TdlgAbout::DpiChanged() {
  CreateOwnFonts();
  for (HWND control : {Button2, lEmail, mLic, lWWW, lDesc, lCR, lUpdate}) ApplyFont(control);
  SendMessageW(lProduct, WM_SETFONT, reinterpret_cast<WPARAM>(FProductFont.get()), TRUE);
  SendMessageW(lVer, WM_SETFONT, reinterpret_cast<WPARAM>(FBoldFont.get()), TRUE);
  SendMessageW(lEmail, WM_SETFONT, reinterpret_cast<WPARAM>(FLinkFont.get()), TRUE);
  SendMessageW(lWWW, WM_SETFONT, reinterpret_cast<WPARAM>(FLinkFont.get()), TRUE);
  LoadPictures();
}

void TdlgAbout::FormCreate() {
  // The application's icon is loaded with the other pictures; no update check until asked.
  FUpdateCheck.reset();
}

void TdlgAbout::FillTexts(const std::wstring& AExtraLine) {
  const TVersionInfo& version = ExeVersionInfo();
  const TAboutTexts& texts = Texts(FLang);
  SetWindowTextW(lProduct, version.ProductName.c_str());
  std::wstring versionLine = std::wstring(texts.Version) + L" " + version.FileVersion;
  if (version.DebugBuild) versionLine += L" DEBUG";
  SetWindowTextW(lVer, versionLine.c_str());
  FBuildTimestamp = version.BuildTimestamp;
  if (FHint) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Panel2->Handle();
    tool.uId = IDC_ABOUT_LVER;
    tool.lpszText = FBuildTimestamp.data();
    SendMessageW(FHint, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SetWindowTextW(lCR, version.Copyright.c_str());
  SetWindowTextW(lDesc, (version.Comments.empty() ? version.Description : version.Comments).c_str());

  std::wstring_view mail(MailAddress);
  std::wstring_view home(HomepageAddress);
  SetWindowTextW(lEmail, std::wstring(mail.substr(std::min<size_t>(7, mail.size()))).c_str());
  SetWindowTextW(lWWW, std::wstring(home.substr(std::min<size_t>(7, home.size()))).c_str());
  SetCaption(std::wstring(texts.Caption) + L"....");

  std::wstring memo = std::wstring(TermsLine) + L"\r\n" + Disclaimer;
  if (!AExtraLine.empty()) memo += L"\r\n" + AExtraLine;
  Layout();
  SetWindowTextW(mLic, memo.c_str());
  if (SendMessageW(mLic, EM_GETLINECOUNT, 0, 0) > MemoLineLimit) {
    CreateMemo(true);
    Layout();
  }
  SendMessageW(mLic, EM_SETSEL, 0, 0);
  SendMessageW(mLic, EM_SCROLLCARET, 0, 0);
  Layout();
}

void TdlgAbout::SetLabelText(HWND ALabel, const std::wstring& AText) {
  SetWindowTextW(ALabel, AText.c_str());
  SIZE size = TextSize(ALabel, AText);
  SetWindowPos(ALabel, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(GetParent(ALabel), nullptr, TRUE);
}

int TdlgAbout::Execute() {
  // Closing during the update check stops its transfer at once; the modal loop sees the result
  // when the check has returned, its worker ended.
  int result = ShowModal();
  FormClose();
  return result;
}

void TdlgAbout::DoShow() { FormShow(); }

void TdlgAbout::FormShow() {
  // Centred over the owner (or the work area without one), kept on the owner's monitor.
  HWND owner = GetWindow(Handle(), GW_OWNER);
  HMONITOR monitor = MonitorFromWindow(owner ? owner : Handle(), MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info = {sizeof(info)};
  GetMonitorInfoW(monitor, &info);
  RECT area = info.rcWork;
  RECT over = area;
  if (owner && !IsIconic(owner)) GetWindowRect(owner, &over);
  int left = over.left + (over.right - over.left - Width()) / 2;
  int top = over.top + (over.bottom - over.top - Height()) / 2;
  left = std::max<LONG>(area.left, std::min<LONG>(left, area.right - Width()));
  top = std::max<LONG>(area.top, std::min<LONG>(top, area.bottom - Height()));
  SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetFocus(Button2);
  if (FUpdateCheck) PostMessageW(Handle(), WM_STARTUPDATECHECK, 0, 0);
}

void TdlgAbout::DoClose(TCloseAction& AAction) {
  FormClose();
  TForm::DoClose(AAction);
}

void TdlgAbout::FormClose() {
  if (FUpdateCheck) FUpdateCheck->Abort();
}

void TdlgAbout::Button2Click() {
  SetModalResult(mrOk);
  FormClose();
}

void TdlgAbout::FormMouseDown() {
  ReleaseCapture();
  SendMessageW(Handle(), WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
}

void TdlgAbout::OpenAddress(const std::wstring& AAddress) {
  if (const TOpenAddressFunction& open = OpenAddressFunction()) {
    open(Handle(), AAddress);
    return;
  }
  ShellExecuteW(Handle(), L"open", AAddress.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TdlgAbout::lUpdateClick() {
  if (!FUpdateCheck) return;
  // The page names its offer as a path on the homepage's server. Anything else (a full address,
  // "@host" or ".domain" tricks) would change the server, so the homepage itself opens instead.
  std::wstring path = FUpdateCheck->Page().empty() ? FUpdateCheck->UpdateURL() : FUpdateCheck->Page();
  if (!path.empty() && path[0] != L'/') path.clear();
  OpenAddress(HomepageAddress + path);
}

void TdlgAbout::cmEmail() { OpenAddress(MailAddress); }

void TdlgAbout::cmHomepage() { OpenAddress(HomepageAddress); }

void TdlgAbout::StartUpdateCheck() {
  ShowWindow(lUpdate, SW_SHOW);
  ShowWindow(icoWait->Handle(), SW_SHOW);
  icoWait->StartAnimation(WaitFrameMs);
  FUpdateCheck->CheckForAnUpdate();
}

void TdlgAbout::ShowOutcome(TPictureWindow& APicture, const std::wstring& AText) {
  icoWait->StopAnimation();
  ShowWindow(icoWait->Handle(), SW_HIDE);
  ShowWindow(APicture.Handle(), SW_SHOW);
  SetLabelText(lUpdate, AText);
}

void TdlgAbout::UpdateCheckUpdateAvailable(TUpdateCheck*, const std::wstring&, const std::wstring& NewVersion,
                                           bool& CanUpdate) {
  // The dialog never downloads: the user goes to the web page instead.
  CanUpdate = false;
  ShowOutcome(*icoWarn, FormatS(Texts(FLang).NewVersion, {NewVersion}));
}

void TdlgAbout::UpdateCheckNoUpdateFound(TUpdateCheck*) { ShowOutcome(*icoOK, Texts(FLang).UpToDate); }

void TdlgAbout::UpdateCheckDownloadError(TUpdateCheck*) { ShowOutcome(*icoWarn, Texts(FLang).CheckFailed); }

LRESULT TdlgAbout::ControlColor(HDC ADC, HWND AControl) {
  HWND parent = GetParent(AControl);
  const TPanelWindow* panel = parent == Panel2->Handle() ? Panel2.get()
                              : parent == Panel1->Handle() ? Panel1.get()
                              : parent == Panel3->Handle() ? Panel3.get()
                                                           : nullptr;
  if (!panel) return 0;
  COLORREF text = BlackColor;
  if (AControl == lDesc) text = NavyColor;
  if (AControl == lEmail || AControl == lWWW) text = GreyColor;
  SetTextColor(ADC, text);
  SetBkColor(ADC, panel->Color());
  SetBkMode(ADC, AControl == mLic ? OPAQUE : TRANSPARENT);
  return reinterpret_cast<LRESULT>(panel->Brush());
}

bool TdlgAbout::SetControlCursor(HWND AControl, WORD AHitTest) {
  if (AHitTest != HTCLIENT) return false;
  if (AControl != lEmail && AControl != lWWW && AControl != lUpdate && AControl != Button2) return false;
  ::SetCursor(LoadCursorW(nullptr, IDC_HAND));
  return true;
}

bool TdlgAbout::PreTranslateMessage(MSG& AMsg) {
  // Enter and Esc press the OK button wherever the focus is.
  if (AMsg.message == WM_KEYDOWN && (AMsg.wParam == VK_RETURN || AMsg.wParam == VK_ESCAPE)) {
    Button2Click();
    return true;
  }
  return IsDialogMessageW(Handle(), &AMsg) != FALSE;
}

LRESULT TdlgAbout::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
    case WM_STARTUPDATECHECK:
      if (FUpdateCheck) StartUpdateCheck();
      return 0;
    case WM_ERASEBKGND: {
      RECT rect;
      GetClientRect(Handle(), &rect);
      FillRect(reinterpret_cast<HDC>(AWParam), &rect, FBlackBrush.get());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      if (LRESULT brush = ControlColor(reinterpret_cast<HDC>(AWParam), reinterpret_cast<HWND>(ALParam))) return brush;
      break;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(AWParam) != Handle()) {
        if (Application().HandleSetCursor()) return TRUE;
        return SetControlCursor(reinterpret_cast<HWND>(AWParam), LOWORD(ALParam)) ? TRUE : FALSE;
      }
      break;
    default:
      break;
  }
  return TForm::WndProc(AMsg, AWParam, ALParam);
}

void TdlgAbout::Command(int AId, int ACode, HWND) {
  switch (AId) {
    case IDOK:
    case IDCANCEL:
      Button2Click();
      break;
    case IDC_ABOUT_BUTTON2:
      if (ACode == BN_CLICKED) Button2Click();
      break;
    case IDC_ABOUT_LEMAIL:
      if (ACode == STN_CLICKED) cmEmail();
      break;
    case IDC_ABOUT_LWWW:
      if (ACode == STN_CLICKED) cmHomepage();
      break;
    case IDC_ABOUT_LUPDATE:
      if (ACode == STN_CLICKED) lUpdateClick();
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<TdlgAbout> CreateAboutDialog(const std::wstring& ATagPrefix, const std::wstring& AExtraLine,
                                             TLanguage ALanguage) {
  TForm* mainForm = Application().MainForm();
  auto dialog = std::make_unique<TdlgAbout>(mainForm ? mainForm->Handle() : nullptr);
  dialog->FLang = ALanguage == lngCz ? lngCz : lngEn;
  if (!ATagPrefix.empty()) {
    dialog->FUpdateCheck = std::make_unique<TUpdateCheck>();
    TUpdateCheck& check = *dialog->FUpdateCheck;
    check.SetOwner(dialog.get());
    check.Options = TUpdateOptions{uoOverwrite};
    check.HTTPPort = 443;
    check.ProductInfo().SetURL(UpdatePageURL);
    check.ProductInfo().Version = ExeVersionInfo().FileVersion;
    TTagInfo& tags = check.TagInfo();
    tags.Author = ATagPrefix + L"Author";
    tags.Email = ATagPrefix + L"Email";
    tags.ClientFileName = ATagPrefix + L"File";
    tags.Download = ATagPrefix + L"Download";
    tags.ProductName = ATagPrefix + L"Name";
    tags.Redirection = ATagPrefix + L"Redirection";
    tags.RunParameters = ATagPrefix + L"RunParameters";
    tags.Version = ATagPrefix + L"Version";
    tags.MD5 = ATagPrefix + L"MD5";
    tags.Page = ATagPrefix + L"Page";
    TdlgAbout* self = dialog.get();
    check.OnUpdateAvailable = [self](TUpdateCheck* Sender, const std::wstring& ActualVersion,
                                     const std::wstring& NewVersion, bool& CanUpdate) {
      self->UpdateCheckUpdateAvailable(Sender, ActualVersion, NewVersion, CanUpdate);
    };
    check.OnNoUpdateFound = [self](TUpdateCheck* Sender) { self->UpdateCheckNoUpdateFound(Sender); };
    check.OnDownloadError = [self](TUpdateCheck* Sender) { self->UpdateCheckDownloadError(Sender); };
  }
  dialog->FillTexts(AExtraLine);
  return dialog;
}

void ShowAboutDialog(const std::wstring& ATagPrefix, const std::wstring& AExtraLine, TLanguage ALanguage) {
  std::unique_ptr<TdlgAbout> dialog = CreateAboutDialog(ATagPrefix, AExtraLine, ALanguage);
  dialog->Execute();
}

}  // namespace vantrel
