#include "tlbviewer/ReadProgress.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

constexpr UINT_PTR kElapsedTimer = 1;
constexpr UINT kElapsedInterval = 500;

TFormDesign ReadProgressDesign(HWND AOwner) {
  return DialogDesign(AOwner, L"TdlgReadProgress", L"Reading Type Library", 400, 118);
}

std::wstring SecondsText(ULONGLONG AMilliseconds) {
  const ULONGLONG seconds = AMilliseconds / 1000;
  return UIntToStr(seconds) + (seconds == 1 ? L" second" : L" seconds");
}

}  // namespace

TdlgReadProgress::TdlgReadProgress(HWND AOwner, const std::wstring& AFileName, DWORD ATimeLimit, ULONGLONG AStarted)
    : TForm(ReadProgressDesign(AOwner)), FTimeLimit(ATimeLimit), FStarted(AStarted) {
  HINSTANCE instance = Application().Instance();
  // A long path loses its middle, not the file's name.
  FText = CreateWindowExW(0, WC_STATICW, (L"Reading " + AFileName + L"...").c_str(),
                          WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_PATHELLIPSIS, 0, 0, 10, 10, Handle(), nullptr,
                          instance, nullptr);
  FBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_MARQUEE, 0, 0, 10, 10, Handle(), nullptr,
                         instance, nullptr);
  SendMessageW(FBar, PBM_SETMARQUEE, TRUE, 30);
  FElapsed = CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0, 0, 10, 10, Handle(), nullptr,
                             instance, nullptr);
  FCancel = CreateWindowExW(0, WC_BUTTONW, L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 10,
                            10, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), instance, nullptr);
  for (HWND control : {FText, FElapsed, FCancel}) ApplyFont(control);
  tmElapsedTimer();
  Resize();
  // Over the middle of the owner, else of the screen.
  RECT area = {};
  if (!AOwner || !GetWindowRect(AOwner, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  SetBounds((area.left + area.right - Width()) / 2, (area.top + area.bottom - Height()) / 2, Width(), Height());
}

TdlgReadProgress::~TdlgReadProgress() {
  if (Handle()) KillTimer(Handle(), kElapsedTimer);
}

void TdlgReadProgress::Appear() {
  Show();
  SetFocus(FCancel);
  SetTimer(Handle(), kElapsedTimer, kElapsedInterval, nullptr);
}

void TdlgReadProgress::Resize() {
  if (!FCancel) return;
  const SIZE client = ClientSize();
  const int gap = Scale(12), line = Scale(16), buttonWidth = Scale(80), buttonHeight = Scale(24);
  const int width = client.cx - 2 * gap;
  MoveWindow(FText, gap, gap, width, line, TRUE);
  MoveWindow(FBar, gap, gap + line + Scale(6), width, Scale(14), TRUE);
  const int buttonTop = client.cy - gap - buttonHeight;
  MoveWindow(FElapsed, gap, buttonTop + (buttonHeight - line) / 2, width - buttonWidth - gap, line, TRUE);
  MoveWindow(FCancel, client.cx - gap - buttonWidth, buttonTop, buttonWidth, buttonHeight, TRUE);
}

void TdlgReadProgress::bCancelClick() {
  FCancelled = true;
  EnableWindow(FCancel, FALSE);
  SetWindowTextW(FElapsed, L"Cancelling...");
}

void TdlgReadProgress::tmElapsedTimer() {
  if (FCancelled) return;
  const ULONGLONG elapsed = GetTickCount64() - FStarted;
  SetWindowTextW(FElapsed, (SecondsText(elapsed) + L" so far; the limit is " + SecondsText(FTimeLimit)).c_str());
}

void TdlgReadProgress::Command(int AId, int, HWND) {
  // Esc comes as IDCANCEL too, from the dialog keys of the message loop.
  if (AId == IDCANCEL) bCancelClick();
}

void TdlgReadProgress::DoClose(TCloseAction& AAction) {
  // Closing the window cancels the read; the window goes when the read has ended.
  AAction = TCloseAction::caNone;
  bCancelClick();
}

LRESULT TdlgReadProgress::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
    case WM_TIMER:
      if (AWParam == kElapsedTimer) tmElapsedTimer();
      return 0;
    case WM_SETCURSOR:
      // The arrow over the one window that takes input, not the wait cursor the program shows.
      return DefaultHandler(AMsg, AWParam, ALParam);
    default:
      return TForm::WndProc(AMsg, AWParam, ALParam);
  }
}

DWORD& ReadProgressDelay() {
  static DWORD delay = 500;
  return delay;
}

TTypeLibRead ReadTypeLibraryWithProgress(HWND AOwner, const TObjectData& AData, TRegView AView,
                                         TTypeLibReadOptions AOptions) {
  const ULONGLONG started = GetTickCount64();
  std::unique_ptr<TdlgReadProgress> progress;
  // The windows repaint while the reader runs, but take no input: the read belongs to this call.
  HWND focus = GetFocus();
  const bool disabled = AOwner && IsWindowEnabled(AOwner) && !EnableWindow(AOwner, FALSE);
  TScopeExit restore([&] {
    // The owner takes input before the progress window goes, so that it becomes the active window
    // again, not a window of another program.
    if (disabled) EnableWindow(AOwner, TRUE);
    progress.reset();
    if (disabled && focus && IsWindow(focus)) SetFocus(focus);
  });

  AOptions.Cancelled = [&] { return progress && progress->Cancelled(); };
  AOptions.Wait = [&](HANDLE AHandle, DWORD ATimeout) {
    const ULONGLONG end = ATimeout == INFINITE ? ~0ull : GetTickCount64() + ATimeout;
    auto left = [&]() -> DWORD {
      if (ATimeout == INFINITE) return INFINITE;
      const ULONGLONG now = GetTickCount64();
      return now >= end ? 0 : static_cast<DWORD>(end - now);
    };
    if (!progress) {
      const ULONGLONG showAt = started + ReadProgressDelay();
      const ULONGLONG now = GetTickCount64();
      if (now < showAt) {
        if (Application().WaitFor(AHandle, static_cast<DWORD>(std::min<ULONGLONG>(left(), showAt - now)))) return true;
        if (left() == 0) return false;
      }
      // No exception may cross the reader's wait: without a window the read goes on as before.
      try {
        progress = std::make_unique<TdlgReadProgress>(AOwner, TypeLibrarySourceName(AData, AView), AOptions.TimeLimit,
                                                      started);
        progress->Appear();
      } catch (...) {
        progress.reset();
        return Application().WaitFor(AHandle, left());
      }
    }
    return Application().WaitFor(AHandle, left(), [&] { return progress->Cancelled(); });
  };
  return ReadTypeLibrary(AData, AView, AOptions);
}

}  // namespace vantrel
