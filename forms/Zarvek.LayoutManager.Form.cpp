#include "forms/Zarvek.LayoutManager.Form.h"

#include <shellapi.h>

#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

int CenteredOffset(int AAreaStart, int AAreaLength, int ALength) { return AAreaStart + (AAreaLength - ALength) / 2; }

namespace {

struct TMonitorSearch {
  HMONITOR Wanted;
  int Index;
  int Found;
  RECT Bounds;
};

BOOL CALLBACK FindMonitor(HMONITOR AMonitor, HDC, LPRECT ABounds, LPARAM AData) {
  auto* search = reinterpret_cast<TMonitorSearch*>(AData);
  if (AMonitor == search->Wanted || search->Index == search->Found) {
    search->Found = search->Index;
    search->Bounds = *ABounds;
    return FALSE;
  }
  ++search->Index;
  return TRUE;
}

}  // namespace

int MonitorNumber(HMONITOR AMonitor) {
  TMonitorSearch search = {AMonitor, 0, -1, {}};
  EnumDisplayMonitors(nullptr, nullptr, FindMonitor, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

int MonitorCount() { return GetSystemMetrics(SM_CMONITORS); }

TLMForm::TLMForm(const TFormDesign& ADesign) : TForm(ADesign), FLM(std::make_unique<TLayoutManager>()) {
  FLM->SetOwner(this);
  // Secondary windows share the main window's layout storage.
  auto* mainForm = dynamic_cast<TLMForm*>(Application().MainForm());
  if (!FLM->Storage() && mainForm && mainForm != this) {
    FLM->SetStorage(mainForm->LayoutManager().Storage());
    SetLayoutReadOnly(mainForm->LayoutReadOnly());
  }
  CenterTo(nullptr);
  DragAcceptFiles(Handle(), FAF);
}

TLMForm::~TLMForm() {
  FClosing = true;
  if (FLC && Handle()) FLM->Save();
}

void TLMForm::SetLayoutControl(bool AValue) {
  FLC = AValue;
  if (AValue) {
    FLM->Add(this, {}, FLMCO);
  } else {
    FLM->Delete(this);
  }
}

void TLMForm::SetLayoutOptions(TLayoutManagerControlOptions AValue) {
  FLMCO = AValue;
  FLM->SetOptions(this, AValue);
}

void TLMForm::SetLayoutReadOnly(bool AValue) {
  FRO = AValue;
  FLM->SetReadOnly(AValue);
}

void TLMForm::SetAcceptFiles(bool AValue) {
  FAF = AValue;
  DragAcceptFiles(Handle(), AValue);
}

void TLMForm::SetOnBeforeRestore(TNotifyEvent AEvent) {
  FOnBeforeRestore = AEvent;
  FLM->OnBeforeRestore = std::move(AEvent);
}

void TLMForm::SetOnAfterRestore(TNotifyEvent AEvent) {
  FOnAfterRestore = AEvent;
  FLM->OnAfterRestore = std::move(AEvent);
}

void TLMForm::SetOnBeforeSave(TNotifyEvent AEvent) {
  FOnBeforeSave = AEvent;
  FLM->OnBeforeSave = std::move(AEvent);
}

void TLMForm::SetOnAfterSave(TNotifyEvent AEvent) {
  FOnAfterSave = AEvent;
  FLM->OnAfterSave = std::move(AEvent);
}

void TLMForm::CenterIn(const RECT& AArea) {
  int top = CenteredOffset(AArea.top, AArea.bottom - AArea.top, Height());
  int left = CenteredOffset(AArea.left, AArea.right - AArea.left, Width());
  SetTop(top);
  SetLeft(left);
}

void TLMForm::CenterTo(TForm* AForm) {
  if (AForm) {
    SetLeft(CenteredOffset(AForm->Left(), AForm->Width(), Width()));
    SetTop(CenteredOffset(AForm->Top(), AForm->Height(), Height()));
    return;
  }
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  CenterIn(work);
}

void TLMForm::CenterToDesktop() {
  RECT desktop = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  desktop.right = desktop.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  desktop.bottom = desktop.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  CenterIn(desktop);
}

void TLMForm::CenterToMonitor(int AMonitor) {
  if (AMonitor < 0 || AMonitor > MonitorCount() - 1) {
    CenterTo(nullptr);
    return;
  }
  TMonitorSearch search = {nullptr, 0, AMonitor, {}};
  search.Found = AMonitor;
  EnumDisplayMonitors(nullptr, nullptr, FindMonitor, reinterpret_cast<LPARAM>(&search));
  CenterIn(search.Bounds);
}

void TLMForm::SetWindowState(TWindowState AState) {
  if (AState == WindowState()) return;
  WindowStateChanging(AState);
  TForm::SetWindowState(AState);
  WindowStateChanged(AState);
}

void TLMForm::WindowStateChanging(TWindowState) {}

void TLMForm::WindowStateChanged(TWindowState) {}

void TLMForm::DoSysCommand(UINT ACommand) {
  switch (ACommand) {
    case SC_MINIMIZE:
      if (OnMinimize) OnMinimize(this);
      break;
    case SC_MAXIMIZE:
      if (OnMaximize) OnMaximize(this);
      break;
    case SC_RESTORE:
      if (OnRestore) OnRestore(this);
      break;
    default:
      break;
  }
}

void TLMForm::DoShow() {
  if (FLC) FLM->Restore();
  TForm::DoShow();
  FMonNum = MonitorNumber(MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST));
}

void TLMForm::DoClose(TCloseAction& AAction) {
  FClosing = AAction == TCloseAction::caFree;
  TForm::DoClose(AAction);
}

void TLMForm::TrackMonitor() {
  int monitor = MonitorNumber(MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST));
  if (monitor != FMonNum) {
    if (OnMonitorChanged) OnMonitorChanged(this, FMonNum, monitor);
    FMonNum = monitor;
  }
}

LRESULT TLMForm::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
    case WM_SYSCOMMAND:
      DoSysCommand(static_cast<UINT>(AWParam) & 0xFFF0);
      break;
    case WM_MOVING:
    case WM_SIZING:
      TrackMonitor();
      break;
    case WM_EXITSIZEMOVE:
      if (FLC) FLM->Save();
      break;
    case WM_DISPLAYCHANGE:
      if (FLC) {
        TLayoutManagerControlOptions remembered = FLMCO;
        SetLayoutOptions(remembered.Without(TLayoutManagerControlOption::loState));
        try {
          FLM->Restore(this);
        } catch (...) {
          SetLayoutOptions(remembered);
          throw;
        }
        SetLayoutOptions(remembered);
      }
      if (OnDisplayChange) {
        OnDisplayChange(this, LOWORD(ALParam), HIWORD(ALParam), static_cast<int>(AWParam));
      }
      break;
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(AWParam);
      TStringList files;
      UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        wchar_t name[255];
        UINT length = DragQueryFileW(drop, i, name, 255);
        files.emplace_back(name, std::min<UINT>(length, 254));
      }
      DragFinish(drop);
      if (OnDropFiles) OnDropFiles(this, files);
      return 0;
    }
    default:
      break;
  }
  return TForm::WndProc(AMsg, AWParam, ALParam);
}

}  // namespace vantrel
