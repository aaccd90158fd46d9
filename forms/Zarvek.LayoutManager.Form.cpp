#include "forms/Zarvek.LayoutManager.Form.h"

#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

int CenteredOffset(int AAreaStart, int AAreaLength, int ALength) { return AAreaStart + (AAreaLength - ALength) / 2; }

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR AMonitor, HDC, LPRECT ABounds, LPARAM AData) {
  reinterpret_cast<std::vector<TMonitorEntry>*>(AData)->push_back({AMonitor, *ABounds});
  return TRUE;
}

// Releases a drop handle however the drop handling ends.
class TDropHandle {
 public:
  explicit TDropHandle(HDROP ADrop) : FDrop(ADrop) {}
  ~TDropHandle() { Release(); }
  TDropHandle(const TDropHandle&) = delete;
  TDropHandle& operator=(const TDropHandle&) = delete;
  void Release() {
    if (FDrop) DragFinish(std::exchange(FDrop, nullptr));
  }

 private:
  HDROP FDrop;
};

}  // namespace

std::vector<TMonitorEntry> Monitors() {
  std::vector<TMonitorEntry> monitors;
  EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

int MonitorNumber(HMONITOR AMonitor) {
  std::vector<TMonitorEntry> monitors = Monitors();
  for (size_t i = 0; i < monitors.size(); ++i) {
    if (monitors[i].Handle == AMonitor) return static_cast<int>(i);
  }
  return -1;
}

int MonitorCount() { return static_cast<int>(Monitors().size()); }

TLMForm::TLMForm(const TFormDesign& ADesign, const TLayoutDesign& ALayout)
    : TForm(ADesign), FLM(std::make_unique<TLayoutManager>()) {
  FLM->SetOwner(this);
  // What the design asks for, before the main window's storage is taken over.
  FLMCO = ALayout.LayoutOptions;
  SetLayoutReadOnly(ALayout.LayoutReadOnly);
  FAF = ALayout.AcceptFiles;
  if (ALayout.LayoutControl) SetLayoutControl(true);
  // Secondary windows share the main window's layout storage. The main window becomes the
  // application's main form only after its construction, so it never takes this branch.
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
  // Saved before the toolkit destroys the window. A destructor must not throw: a failing save is
  // reported like any other error. The descendant that gave the entry a layout hook is gone by
  // now: only the form's own place is saved here (closing the window saved the rest).
  if (FLC && Handle()) {
    if (TLayoutManagerControl* entry = FLM->GetControl(this)) entry->SetLayout(nullptr);
    Application().Guard([this] { FLM->Save(); });
  }
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
  SetTop(CenteredOffset(AArea.top, AArea.bottom - AArea.top, Height()));
  SetLeft(CenteredOffset(AArea.left, AArea.right - AArea.left, Width()));
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
  std::vector<TMonitorEntry> monitors = Monitors();
  if (AMonitor < 0 || AMonitor >= static_cast<int>(monitors.size())) {
    CenterTo(nullptr);
    return;
  }
  CenterIn(monitors[static_cast<size_t>(AMonitor)].Bounds);
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

void TLMForm::RestoreLayoutOnce() {
  if (!FLC || FLayoutRestored) return;
  FLayoutRestored = true;
  FLM->Restore();
  // A place remembered on a monitor that is gone would leave the window out of sight.
  RECT bounds = {Left(), Top(), Left() + Width(), Top() + Height()};
  if (!MonitorFromRect(&bounds, MONITOR_DEFAULTTONULL)) CenterTo(nullptr);
}

void TLMForm::BeforeFirstShow() { RestoreLayoutOnce(); }

void TLMForm::DoShow() {
  RestoreLayoutOnce();
  TForm::DoShow();
  FMonNum = MonitorNumber(MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST));
}

void TLMForm::DoClose(TCloseAction& AAction) {
  // Decided on the proposed action, before the user's handler may change it.
  FClosing = AAction == TCloseAction::caFree;
  if (FLC) FLM->Save();
  TForm::DoClose(AAction);
  if (OnClose) OnClose(this, AAction);
}

void TLMForm::TrackMonitor() {
  int monitor = MonitorNumber(MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST));
  if (monitor != FMonNum) {
    if (OnMonitorChanged) OnMonitorChanged(this, FMonNum, monitor);
    FMonNum = monitor;
  }
}

void TLMForm::DisplayChanged(WPARAM AWParam, LPARAM ALParam) {
  if (FLC) {
    // Only position, size and style follow a new display; the window state stays.
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
}

void TLMForm::DropFiles(HDROP ADrop) {
  TDropHandle drop(ADrop);
  TStringList files;
  UINT count = DragQueryFileW(ADrop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // Each name whole, however long: a cut name would lead the handler to another file.
    UINT length = DragQueryFileW(ADrop, i, nullptr, 0);
    std::wstring name(static_cast<size_t>(length) + 1, L'\0');
    name.resize(DragQueryFileW(ADrop, i, name.data(), length + 1));
    files.push_back(std::move(name));
  }
  drop.Release();
  if (OnDropFiles) OnDropFiles(this, files);
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
    case WM_DESTROY:
      // The last place, while the window still has it: the object may outlive its window.
      if (FLC) FLM->Save();
      break;
    case WM_DISPLAYCHANGE:
      DisplayChanged(AWParam, ALParam);
      break;
    case WM_DROPFILES:
      // Consumed here: the drop handle is released and goes no further.
      DropFiles(reinterpret_cast<HDROP>(AWParam));
      return 0;
    default:
      break;
  }
  return TForm::WndProc(AMsg, AWParam, ALParam);
}

}  // namespace vantrel
