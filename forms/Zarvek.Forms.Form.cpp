#include "forms/Zarvek.Forms.Form.h"

#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

TFormDesign DialogDesign(HWND AOwner, std::wstring AClassName, std::wstring ACaption, int AClientWidth,
                         int AClientHeight) {
  TFormDesign design;
  design.ClassName = std::move(AClassName);
  design.Caption = std::move(ACaption);
  design.ClientWidth = AClientWidth;
  design.ClientHeight = AClientHeight;
  design.Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  design.ExStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
  design.Owner = AOwner;
  return design;
}

namespace {

UINT WindowDpi(HWND AWindow) {
  UINT dpi = AWindow ? GetDpiForWindow(AWindow) : 0;
  if (dpi == 0) {
    TWindowDC screen(nullptr);
    dpi = static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSY));
  }
  return dpi ? dpi : 96;
}

}  // namespace

void TForm::RegisterClass(const std::wstring& AName, int AIconId) {
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.style = CS_DBLCLKS;
  wc.hInstance = Application().Instance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = AName.c_str();
  if (AIconId) {
    wc.hIcon = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(AIconId), IMAGE_ICON, 0, 0,
                                             LR_DEFAULTSIZE | LR_SHARED));
    wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(AIconId), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
  }
  RegisterWindowClass(wc);
}

TForm::TForm(const TFormDesign& ADesign) : FClassName(ADesign.ClassName) {
  RegisterClass(FClassName, ADesign.IconId);
  TMenu menu;
  if (ADesign.MenuId) menu.reset(LoadMenuW(Application().Instance(), MAKEINTRESOURCEW(ADesign.MenuId)));
  if (ADesign.AcceleratorsId) {
    FAccelerators.reset(LoadAcceleratorsW(Application().Instance(), MAKEINTRESOURCEW(ADesign.AcceleratorsId)));
  }
  Application().RegisterForm(this);
  try {
    CreateHandle(ADesign.ExStyle, FClassName.c_str(), ADesign.Caption.c_str(), ADesign.Style, CW_USEDEFAULT,
                 CW_USEDEFAULT, ADesign.ClientWidth, ADesign.ClientHeight, ADesign.Owner, menu.get());
  } catch (...) {
    Application().UnregisterForm(this);
    throw;
  }
  // The window owns its menu now.
  menu.release();
  FDpi = WindowDpi(Handle());
  CreateFonts();
  SetClientSize(Scale(ADesign.ClientWidth), Scale(ADesign.ClientHeight));
}

TForm::~TForm() { Application().UnregisterForm(this); }

void TForm::CreateFonts() {
  LOGFONTW font = {};
  font.lfHeight = -MulDiv(8, static_cast<int>(FDpi), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcscpy_s(font.lfFaceName, L"Tahoma");
  FFont.reset(CreateFontIndirectW(&font));
}

void TForm::ApplyFont(HWND AChild) const { SendMessageW(AChild, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE); }

int TForm::PlaceStatusBar(HWND AStatusBar) const {
  SendMessageW(AStatusBar, WM_SIZE, 0, 0);
  RECT status = {};
  GetWindowRect(AStatusBar, &status);
  return static_cast<int>(ClientSize().cy) - (status.bottom - status.top);
}

std::wstring TForm::Caption() const {
  int length = GetWindowTextLengthW(Handle());
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(Handle(), text.data(), length + 1)));
  return text;
}

void TForm::SetCaption(const std::wstring& ACaption) { SetWindowTextW(Handle(), ACaption.c_str()); }

namespace {

RECT WindowRectOf(HWND AWindow) {
  RECT rect = {};
  GetWindowRect(AWindow, &rect);
  return rect;
}

}  // namespace

int TForm::Left() const { return WindowRectOf(Handle()).left; }
int TForm::Top() const { return WindowRectOf(Handle()).top; }
int TForm::Width() const {
  RECT r = WindowRectOf(Handle());
  return r.right - r.left;
}
int TForm::Height() const {
  RECT r = WindowRectOf(Handle());
  return r.bottom - r.top;
}

void TForm::SetLeft(int ALeft) { SetWindowPos(Handle(), nullptr, ALeft, Top(), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); }
void TForm::SetTop(int ATop) { SetWindowPos(Handle(), nullptr, Left(), ATop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); }

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  SetWindowPos(Handle(), nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetClientSize(int AWidth, int AHeight) {
  RECT rect = {0, 0, AWidth, AHeight};
  DWORD style = static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE));
  DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE));
  AdjustWindowRectExForDpi(&rect, style, GetMenu(Handle()) != nullptr, exStyle, FDpi);
  SetWindowPos(Handle(), nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // A menu bar that wraps takes more room than AdjustWindowRectEx assumes.
  RECT client;
  GetClientRect(Handle(), &client);
  int missing = AHeight - (client.bottom - client.top);
  if (missing > 0) {
    SetWindowPos(Handle(), nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top + missing,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

SIZE TForm::ClientSize() const {
  RECT client = {};
  GetClientRect(Handle(), &client);
  return {client.right - client.left, client.bottom - client.top};
}

TWindowState TForm::WindowState() const {
  // A window never shown, or given a state while hidden, takes that state when it shows; a
  // window hidden after showing keeps the state it had, which its styles still tell.
  if (!Visible() && (!FShownOnce || FStatePending)) return FPendingState;
  if (IsIconic(Handle())) return TWindowState::wsMinimized;
  if (IsZoomed(Handle())) return TWindowState::wsMaximized;
  return TWindowState::wsNormal;
}

namespace {

int ShowCommand(TWindowState AState) {
  switch (AState) {
    case TWindowState::wsMinimized: return SW_SHOWMINIMIZED;
    case TWindowState::wsMaximized: return SW_SHOWMAXIMIZED;
    case TWindowState::wsNormal: break;
  }
  return SW_SHOWNORMAL;
}

}  // namespace

void TForm::SetWindowState(TWindowState AState) {
  // A hidden window takes the state when it is shown.
  FPendingState = AState;
  if (!Visible()) {
    FStatePending = true;
    return;
  }
  WINDOWPLACEMENT placement = {sizeof(placement)};
  GetWindowPlacement(Handle(), &placement);
  placement.showCmd = static_cast<UINT>(ShowCommand(AState));
  // Back to normal means normal, also for a window minimized from the maximized state.
  if (AState == TWindowState::wsNormal) placement.flags &= ~static_cast<UINT>(WPF_RESTORETOMAXIMIZED);
  SetWindowPlacement(Handle(), &placement);
}

void TForm::Show() {
  if (!FShowPrepared) {
    FShowPrepared = true;
    BeforeFirstShow();
  }
  // The state the window is to have, known by now, decides how it first appears.
  ShowWindow(Handle(), FPendingState == TWindowState::wsNormal ? SW_SHOW : ShowCommand(FPendingState));
  FStatePending = false;
  SetForegroundWindow(Handle());
}

void TForm::Hide() { ShowWindow(Handle(), SW_HIDE); }

int TForm::ShowModal() {
  HWND owner = GetWindow(Handle(), GW_OWNER);
  bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  FModalResult = mrNone;
  FModal = true;
  Show();
  MSG msg;
  while (FModalResult == mrNone && Handle() && !Application().Terminated()) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!Application().PreTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  FModal = false;
  if (ownerWasEnabled) {
    EnableWindow(owner, TRUE);
    SetActiveWindow(owner);
  }
  if (Handle()) Hide();
  return FModalResult == mrNone ? mrCancel : FModalResult;
}

void TForm::Close() {
  TCloseAction action = FModal ? TCloseAction::caHide : TCloseAction::caFree;
  DoClose(action);
  switch (action) {
    case TCloseAction::caNone:
      return;
    case TCloseAction::caMinimize:
      ShowWindow(Handle(), SW_MINIMIZE);
      return;
    case TCloseAction::caHide:
    case TCloseAction::caFree:
      if (FModal) {
        FModalResult = mrCancel;
      } else if (action == TCloseAction::caHide) {
        Hide();
      } else if (Application().MainForm() == this) {
        DestroyWindow(Handle());
      } else {
        Hide();
      }
      return;
  }
}

void TForm::DoClose(TCloseAction&) {}

bool TForm::PreTranslateMessage(MSG& AMsg) {
  // Tab and the arrow keys move between the controls as in a dialog.
  return IsDialogMessageW(Handle(), &AMsg) != FALSE;
}

void TForm::Command(int, int, HWND) {}

LRESULT TForm::Notify(NMHDR*) { return 0; }

void TForm::RunCommand(const std::function<void()>& AHandler) { Application().Guard(AHandler); }

LRESULT TForm::DefaultHandler(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  return DefWindowProcW(Handle(), AMsg, AWParam, ALParam);
}

LRESULT TForm::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
    case WM_COMMAND:
      Command(LOWORD(AWParam), HIWORD(AWParam), reinterpret_cast<HWND>(ALParam));
      return 0;
    case WM_NOTIFY:
      return Notify(reinterpret_cast<NMHDR*>(ALParam));
    case WM_SIZE:
      Resize();
      break;
    case WM_SHOWWINDOW:
      if (AWParam && !FShownOnce) {
        FShownOnce = true;
        DoShow();
      }
      break;
    case WM_SETCURSOR:
      if (Application().HandleSetCursor()) return TRUE;
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DPICHANGED: {
      FDpi = HIWORD(AWParam);
      CreateFonts();
      DpiChanged();
      const RECT* suggested = reinterpret_cast<const RECT*>(ALParam);
      SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DESTROY:
      if (Application().MainForm() == this) Application().Terminate(0);
      break;
    default:
      break;
  }
  return DefaultHandler(AMsg, AWParam, ALParam);
}

}  // namespace vantrel
