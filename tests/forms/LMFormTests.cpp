// The form base on real windows: centring, system commands, window-state hooks, monitor
// tracking, dropped files, and its layout manager against an in-memory storage.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <tuple>

#include "forms/Zarvek_Dialogs.h"
#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek.Forms.Control.h"
#include "forms/Zarvek.LayoutManager.Form.h"
#include "forms/Zarvek.LayoutManager.Settings.h"
#include "tests/forms/MemoryStorage.h"
#include "tests/forms/TestComponents.h"

namespace vantrel {
namespace {

using test::TMemoryStorage;
using test::TProbe;
using enum TWindowState;

TFormDesign Design(const std::wstring& AClassName) {
  TFormDesign design;
  design.ClassName = AClassName;
  design.Caption = AClassName;
  design.ClientWidth = 300;
  design.ClientHeight = 200;
  return design;
}

struct THookCall {
  std::wstring Hook;
  TWindowState NewState;
  TWindowState StateDuringCall;
  bool operator==(const THookCall&) const = default;
};

void PrintTo(const THookCall& ACall, std::ostream* AOut) {
  *AOut << testing::PrintToString(ACall.Hook) << "(" << static_cast<int>(ACall.NewState) << ") during "
        << static_cast<int>(ACall.StateDuringCall);
}

class TTestForm : public TLMForm {
 public:
  using TLMForm::TLMForm;
  using TLMForm::DoClose;
  using TLMForm::DoSysCommand;
  std::vector<THookCall> Hooks;

 protected:
  void WindowStateChanging(TWindowState ANewState) override {
    Hooks.push_back({L"Changing", ANewState, WindowState()});
  }
  void WindowStateChanged(TWindowState ANewState) override { Hooks.push_back({L"Changed", ANewState, WindowState()}); }
};

void Pump() { Application().ProcessMessages(); }

RECT WorkArea() {
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

// Makes a form the application's main form for its lifetime.
class TMainFormScope {
 public:
  explicit TMainFormScope(TForm* AForm) { Application().SetMainForm(AForm); }
  ~TMainFormScope() { Application().SetMainForm(nullptr); }
  TMainFormScope(const TMainFormScope&) = delete;
  TMainFormScope& operator=(const TMainFormScope&) = delete;
};

// Watches the message boxes shown while it lives.
class TBoxRecorder {
 public:
  TBoxRecorder() {
    FPrevious = SetMessageBoxFunction([this](HWND, const std::wstring& AText, const std::wstring&, UINT) {
      Texts.push_back(AText);
      return IDOK;
    });
  }
  ~TBoxRecorder() { SetMessageBoxFunction(FPrevious); }
  TBoxRecorder(const TBoxRecorder&) = delete;
  TBoxRecorder& operator=(const TBoxRecorder&) = delete;
  std::vector<std::wstring> Texts;

 private:
  TMessageBoxFunction FPrevious;
};

// ---- Centring ----

TEST(LMFormCentring, HalvesTruncateTowardZero) {
  struct TCase {
    int Start, Area, Length, Expected;
  };
  const TCase cases[] = {
      {0, 1000, 1003, -1}, {0, 1000, 1001, 0}, {0, 1000, 1000, 0}, {0, 1000, 997, 1},
      {0, 1000, 1004, -2}, {10, 5, 10, 8},     {-100, 7, 2, -98},  {-1920, 1920, 800, -1360},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(CenteredOffset(c.Start, c.Area, c.Length), c.Expected)
        << c.Start << " " << c.Area << " " << c.Length;
  }
}

TEST(LMFormCentring, ConstructionCentresOnTheWorkAreaAndCreatesTheWindow) {
  TTestForm form(Design(L"TfrmCentre"));
  ASSERT_TRUE(IsWindow(form.Handle()));
  EXPECT_FALSE(form.Visible());
  RECT work = WorkArea();
  EXPECT_EQ(form.Top(), CenteredOffset(work.top, work.bottom - work.top, form.Height()));
  EXPECT_EQ(form.Left(), CenteredOffset(work.left, work.right - work.left, form.Width()));
  EXPECT_EQ(form.MonitorNum(), -1);
  EXPECT_EQ(form.LayoutOptions(), TLayoutManagerControlOptions::All());
  EXPECT_FALSE(form.LayoutControl());
  EXPECT_FALSE(form.AcceptFiles());
  EXPECT_FALSE(form.LayoutReadOnly());
  EXPECT_EQ(form.LayoutManager().Owner(), &form);
}

TEST(LMFormCentring, AWindowLargerThanTheWorkAreaGetsANegativeOffset) {
  TTestForm form(Design(L"TfrmCentre"));
  RECT work = WorkArea();
  int workWidth = work.right - work.left, workHeight = work.bottom - work.top;
  struct TCase {
    int Extra, Offset;
  };
  for (TCase c : {TCase{3, -1}, TCase{1, 0}, TCase{4, -2}, TCase{-3, 1}}) {
    form.SetBounds(0, 0, workWidth + c.Extra, workHeight + c.Extra);
    ASSERT_EQ(form.Height(), workHeight + c.Extra) << "the platform kept the window smaller";
    ASSERT_EQ(form.Width(), workWidth + c.Extra);
    form.CenterTo(nullptr);
    EXPECT_EQ(form.Top(), work.top + c.Offset) << "extra " << c.Extra;
    EXPECT_EQ(form.Left(), work.left + c.Offset) << "extra " << c.Extra;
  }
}

TEST(LMFormCentring, OverAnotherForm) {
  TTestForm anchor(Design(L"TfrmAnchor"));
  TTestForm form(Design(L"TfrmCentre"));
  anchor.SetBounds(100, 50, 400, 300);
  struct TCase {
    int Width, Height, Left, Top;
  };
  const TCase cases[] = {{200, 101, 200, 149}, {403, 305, 99, 48}, {401, 300, 100, 50}};
  for (const TCase& c : cases) {
    form.SetBounds(0, 0, c.Width, c.Height);
    form.CenterTo(&anchor);
    EXPECT_EQ(form.Left(), c.Left) << c.Width;
    EXPECT_EQ(form.Top(), c.Top) << c.Height;
  }
}

TEST(LMFormCentring, OnTheDesktopAndOnMonitors) {
  TTestForm form(Design(L"TfrmCentre"));
  form.SetBounds(0, 0, 333, 221);
  form.CenterToDesktop();
  int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  EXPECT_EQ(form.Left(), CenteredOffset(x, GetSystemMetrics(SM_CXVIRTUALSCREEN), 333));
  EXPECT_EQ(form.Top(), CenteredOffset(y, GetSystemMetrics(SM_CYVIRTUALSCREEN), 221));

  std::vector<TMonitorEntry> monitors = Monitors();
  ASSERT_FALSE(monitors.empty());
  EXPECT_EQ(MonitorCount(), static_cast<int>(monitors.size()));
  for (size_t i = 0; i < monitors.size(); ++i) {
    form.SetLeft(-5000);
    form.CenterToMonitor(static_cast<int>(i));
    const RECT& bounds = monitors[i].Bounds;
    EXPECT_EQ(form.Left(), CenteredOffset(bounds.left, bounds.right - bounds.left, 333)) << i;
    EXPECT_EQ(form.Top(), CenteredOffset(bounds.top, bounds.bottom - bounds.top, 221)) << i;
    EXPECT_EQ(MonitorNumber(monitors[i].Handle), static_cast<int>(i));
  }
  // No such monitor: the primary work area.
  RECT work = WorkArea();
  for (int number : {-1, static_cast<int>(monitors.size()), 1000}) {
    form.SetBounds(-5000, -5000, 333, 221);
    form.CenterToMonitor(number);
    EXPECT_EQ(form.Left(), CenteredOffset(work.left, work.right - work.left, 333)) << number;
    EXPECT_EQ(form.Top(), CenteredOffset(work.top, work.bottom - work.top, 221)) << number;
  }
  EXPECT_EQ(MonitorNumber(nullptr), -1);
}

// ---- System commands and window state ----

TEST(LMFormWindowState, SystemCommandsRaiseTheirEventsBeforeTheChange) {
  TTestForm form(Design(L"TfrmState"));
  form.Show();
  Pump();
  std::vector<std::pair<std::wstring, TWindowState>> events;
  auto record = [&](const wchar_t* AName) {
    return [&, AName](TComponent* ASender) {
      EXPECT_EQ(ASender, &form);
      events.emplace_back(AName, form.WindowState());
    };
  };
  form.OnMinimize = record(L"Minimize");
  form.OnMaximize = record(L"Maximize");
  form.OnRestore = record(L"Restore");

  // Low bits set, as the platform sends them for clicks on the caption.
  SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_MINIMIZE | 0x3, 0);
  EXPECT_EQ(form.WindowState(), wsMinimized);
  SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_RESTORE | 0xF, 0);
  EXPECT_EQ(form.WindowState(), wsNormal);
  SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_MAXIMIZE | 0x2, 0);
  EXPECT_EQ(form.WindowState(), wsMaximized);
  using TEvent = std::pair<std::wstring, TWindowState>;
  EXPECT_EQ(events, (std::vector<TEvent>{{L"Minimize", wsNormal}, {L"Restore", wsMinimized}, {L"Maximize", wsNormal}}));

  // Changes made by code raise none of them.
  events.clear();
  form.SetWindowState(wsMinimized);
  form.SetWindowState(wsNormal);
  form.SetWindowState(wsMaximized);
  EXPECT_TRUE(events.empty());

  // Other commands, and unmasked ones, raise nothing.
  for (UINT command : {UINT{SC_CLOSE}, UINT{SC_MOVE}, UINT{SC_SIZE}, UINT{SC_KEYMENU}, UINT{SC_NEXTWINDOW},
                       UINT{SC_MINIMIZE | 1}, UINT{SC_MAXIMIZE | 2}, UINT{0}}) {
    form.DoSysCommand(command);
  }
  EXPECT_TRUE(events.empty());
  form.DoSysCommand(SC_MINIMIZE);
  EXPECT_EQ(events.size(), 1u);
}

TEST(LMFormWindowState, HooksRunAroundARealChangeOnly) {
  TTestForm form(Design(L"TfrmState"));
  form.Show();
  Pump();
  form.SetWindowState(wsNormal);
  EXPECT_TRUE(form.Hooks.empty());
  form.SetWindowState(wsMaximized);
  EXPECT_EQ(form.Hooks, (std::vector<THookCall>{{L"Changing", wsMaximized, wsNormal},
                                                {L"Changed", wsMaximized, wsMaximized}}));
  form.Hooks.clear();
  form.SetWindowState(wsMaximized);
  EXPECT_TRUE(form.Hooks.empty());
  form.SetWindowState(wsNormal);
  form.SetWindowState(wsMinimized);
  EXPECT_EQ(form.Hooks, (std::vector<THookCall>{{L"Changing", wsNormal, wsMaximized},
                                                {L"Changed", wsNormal, wsNormal},
                                                {L"Changing", wsMinimized, wsNormal},
                                                {L"Changed", wsMinimized, wsMinimized}}));
}

TEST(LMFormWindowState, NormalMeansNormalAndAHiddenFormWaitsUntilShown) {
  TTestForm form(Design(L"TfrmStateRestore"));
  form.Show();
  Pump();
  form.SetWindowState(wsMaximized);
  form.SetWindowState(wsMinimized);
  form.SetWindowState(wsNormal);
  Pump();
  EXPECT_EQ(form.WindowState(), wsNormal);
  EXPECT_FALSE(IsZoomed(form.Handle()));

  TTestForm hidden(Design(L"TfrmStateHidden"));
  hidden.SetWindowState(wsMaximized);
  EXPECT_FALSE(IsWindowVisible(hidden.Handle()));
  EXPECT_EQ(hidden.WindowState(), wsMaximized);
  hidden.Show();
  Pump();
  EXPECT_TRUE(IsZoomed(hidden.Handle()));
}

// ---- Monitors ----

TEST(LMFormMonitor, TheFirstMoveBeforeShowingReportsNoOldMonitor) {
  TTestForm form(Design(L"TfrmMonitor"));
  std::vector<std::pair<int, int>> changes;
  form.OnMonitorChanged = [&](TComponent*, int AOld, int ANew) { changes.emplace_back(AOld, ANew); };
  int current = MonitorNumber(MonitorFromWindow(form.Handle(), MONITOR_DEFAULTTONEAREST));
  ASSERT_GE(current, 0);
  RECT rect = {};
  GetWindowRect(form.Handle(), &rect);
  SendMessageW(form.Handle(), WM_MOVING, 0, reinterpret_cast<LPARAM>(&rect));
  EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{-1, current}}));
  // Moving and sizing within the monitor: nothing more.
  SendMessageW(form.Handle(), WM_MOVING, 0, reinterpret_cast<LPARAM>(&rect));
  SendMessageW(form.Handle(), WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&rect));
  EXPECT_EQ(changes.size(), 1u);
  EXPECT_EQ(form.MonitorNum(), current);
}

TEST(LMFormMonitor, ShowingRecordsTheMonitor) {
  TTestForm form(Design(L"TfrmMonitor"));
  int changes = 0;
  form.OnMonitorChanged = [&](TComponent*, int, int) { ++changes; };
  form.Show();
  Pump();
  EXPECT_EQ(form.MonitorNum(), MonitorNumber(MonitorFromWindow(form.Handle(), MONITOR_DEFAULTTONEAREST)));
  RECT rect = {};
  GetWindowRect(form.Handle(), &rect);
  for (int i = 0; i < 3; ++i) {
    form.SetLeft(form.Left() + 10);
    SendMessageW(form.Handle(), WM_MOVING, 0, reinterpret_cast<LPARAM>(&rect));
  }
  EXPECT_EQ(changes, 0);
}

// ---- Dropped files ----

// A drop handle as the shell hands it over: DROPFILES followed by the names, each ending in a
// NUL, and one more NUL at the end.
HDROP MakeDrop(const TStringList& AFiles) {
  size_t chars = 1;
  for (const std::wstring& file : AFiles) chars += file.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND | GMEM_SHARE, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  if (!memory) return nullptr;
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
  for (const std::wstring& file : AFiles) {
    std::copy(file.begin(), file.end(), names);
    names += file.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

TEST(LMFormDropFiles, AcceptFilesRegistersTheWindowAtOnce) {
  TTestForm form(Design(L"TfrmDrop"));
  auto accepts = [&] { return (GetWindowLongPtrW(form.Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; };
  EXPECT_FALSE(accepts());
  form.SetAcceptFiles(true);
  EXPECT_TRUE(accepts());
  form.SetAcceptFiles(false);
  EXPECT_FALSE(accepts());

  TTestForm accepting(Design(L"TfrmDrop"), TLayoutDesign{.AcceptFiles = true});
  EXPECT_TRUE(accepting.AcceptFiles());
  EXPECT_TRUE((GetWindowLongPtrW(accepting.Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0);
}

TEST(LMFormDropFiles, EveryNameArrivesWholeAndTheHandleIsReleased) {
  TTestForm form(Design(L"TfrmDrop"));
  form.SetAcceptFiles(true);
  std::wstring longName = L"C:\\" + std::wstring(300, L'n') + L".txt";
  const TStringList dropped = {L"C:\\first.txt", L"D:\\Ordner\\Ünïcödé ✓.dat", longName, L"C:\\last"};
  std::vector<TStringList> received;
  form.OnDropFiles = [&](TComponent* ASender, const TStringList& AFiles) {
    EXPECT_EQ(ASender, &form);
    received.push_back(AFiles);
  };
  HDROP drop = MakeDrop(dropped);
  ASSERT_NE(drop, nullptr);
  ASSERT_TRUE(PostMessageW(form.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0));
  Pump();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], dropped);
  EXPECT_EQ(received[0][2].size(), 307u);
  // Released: the memory block is gone.
  EXPECT_EQ(GlobalSize(drop), 0u);

  // Without a handler the handle is released all the same.
  form.OnDropFiles = nullptr;
  HDROP second = MakeDrop({L"C:\\x"});
  SendMessageW(form.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(second), 0);
  EXPECT_EQ(GlobalSize(second), 0u);

  // A failing handler: the handle is gone before it runs, and the error reaches the error box.
  form.OnDropFiles = [](TComponent*, const TStringList&) { throw Exception(L"cannot open"); };
  HDROP third = MakeDrop({L"C:\\y"});
  TBoxRecorder boxes;
  SendMessageW(form.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(third), 0);
  EXPECT_EQ(GlobalSize(third), 0u);
  EXPECT_EQ(boxes.Texts, std::vector<std::wstring>{L"cannot open"});
}

// ---- Closing ----

TEST(LMFormClosing, TheFlagFollowsTheProposedActionBeforeTheUsersHandler) {
  TTestForm form(Design(L"TfrmClose"));
  form.Show();
  Pump();
  std::vector<TCloseAction> proposed;
  form.OnClose = [&](TComponent*, TCloseAction& AAction) {
    proposed.push_back(AAction);
    AAction = TCloseAction::caNone;
  };
  form.Close();
  EXPECT_TRUE(form.Closing());
  EXPECT_TRUE(form.Visible());  // the handler kept it
  EXPECT_EQ(proposed, std::vector<TCloseAction>{TCloseAction::caFree});
  TCloseAction hide = TCloseAction::caHide;
  form.DoClose(hide);
  EXPECT_FALSE(form.Closing());
}

// ---- The layout manager of a form ----

class LMFormLayout : public testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TTestForm>(Design(L"TfrmLayout"));
    form->LayoutManager().SetStorage(storage);
    form->SetLayoutControl(true);
    desktop = LayoutDesktopTag(form->Handle());
  }
  void TearDown() override { form.reset(); }
  void Place(int ALeft, int ATop, int AWidth, int AHeight) {
    form->SetBounds(ALeft, ATop, AWidth, AHeight);
    ASSERT_EQ(form->Left(), ALeft);
    ASSERT_EQ(form->Top(), ATop);
    ASSERT_EQ(form->Width(), AWidth);
    ASSERT_EQ(form->Height(), AHeight);
  }
  std::vector<std::wstring> StoredNames() const { return storage->Names(section); }
  void Show() {
    form->Show();
    Pump();
  }

  std::shared_ptr<TMemoryStorage> storage = std::make_shared<TMemoryStorage>();
  std::unique_ptr<TTestForm> form;
  std::wstring desktop;
  const std::wstring section = L"TfrmLayout";
};

TEST_F(LMFormLayout, TheDesktopTagNamesSizeAndDensity) {
  std::wstring expectedStart = L"(" + IntToStr(GetSystemMetrics(SM_CXVIRTUALSCREEN)) + L"x" +
                               IntToStr(GetSystemMetrics(SM_CYVIRTUALSCREEN)) + L"x";
  ASSERT_EQ(desktop.rfind(expectedStart, 0), 0u) << testing::PrintToString(desktop);
  ASSERT_EQ(desktop.back(), L')');
  int32_t dpi = 0;
  EXPECT_TRUE(TryStrToInt(desktop.substr(expectedStart.size(), desktop.size() - expectedStart.size() - 1), dpi));
  EXPECT_GT(dpi, 0);
}

TEST_F(LMFormLayout, ANormalFormSavesEverything) {
  Place(40, 30, 320, 240);
  form->LayoutManager().Save();
  EXPECT_EQ(StoredNames(), (std::vector<std::wstring>{L"Align", L"LayoutReadOnly", L"Pos" + desktop, L"Size" + desktop,
                                                      L"State", L"Style"}));
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Pos" + desktop), L"40,30");
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Size" + desktop), L"320,240");
  EXPECT_EQ(storage->Get<int64_t>(section, L"Align"), 0);
  EXPECT_EQ(storage->Get<int64_t>(section, L"State"), 0);
  EXPECT_EQ(storage->Get<int64_t>(section, L"Style"), 0);
  EXPECT_EQ(storage->Get<bool>(section, L"LayoutReadOnly"), false);

  SetFormStyleOf(form->Handle(), TFormStyle::fsStayOnTop);
  form->LayoutManager().Save();
  EXPECT_EQ(storage->Get<int64_t>(section, L"Style"), 3);
}

TEST_F(LMFormLayout, AMaximizedFormKeepsNeitherPositionNorSize) {
  Show();
  form->SetWindowState(wsMaximized);
  ASSERT_EQ(form->WindowState(), wsMaximized);
  form->LayoutManager().Save();
  EXPECT_EQ(StoredNames(), (std::vector<std::wstring>{L"Align", L"LayoutReadOnly", L"State", L"Style"}));
  EXPECT_EQ(storage->Get<int64_t>(section, L"State"), 2);
}

TEST_F(LMFormLayout, AMinimizedFormSavesNoState) {
  Show();
  form->SetWindowState(wsMinimized);
  ASSERT_EQ(form->WindowState(), wsMinimized);
  form->LayoutManager().Save();
  EXPECT_EQ(StoredNames(), (std::vector<std::wstring>{L"Align", L"LayoutReadOnly", L"Style"}));
}

TEST_F(LMFormLayout, OptionsChooseWhatIsSaved) {
  form->SetLayoutOptions({TLayoutManagerControlOption::loSize});
  form->LayoutManager().Save();
  EXPECT_EQ(StoredNames(), (std::vector<std::wstring>{L"LayoutReadOnly", L"Size" + desktop}));
}

TEST_F(LMFormLayout, APlaceStoredForAnotherDesktopIsNotApplied) {
  Place(40, 30, 320, 240);
  for (const wchar_t* other : {L"(1920x1080x96)", L"(1600x1000x120)", L"(1600x1000x144)", L"(1601x1000x96)",
                               L"(1600x1001x96)", L"(3200x1000x96)"}) {
    if (other == desktop) continue;
    storage->Sections[section][std::wstring(L"Pos") + other] = std::wstring(L"10,20");
    storage->Sections[section][std::wstring(L"Size") + other] = std::wstring(L"500,400");
  }
  form->LayoutManager().Restore();
  EXPECT_EQ(form->Left(), 40);
  EXPECT_EQ(form->Top(), 30);
  EXPECT_EQ(form->Width(), 320);
  EXPECT_EQ(form->Height(), 240);

  storage->Sections[section][L"Pos" + desktop] = std::wstring(L"10,20");
  storage->Sections[section][L"Size" + desktop] = std::wstring(L"500,400");
  form->LayoutManager().Restore();
  EXPECT_EQ(form->Left(), 10);
  EXPECT_EQ(form->Top(), 20);
  EXPECT_EQ(form->Width(), 500);
  EXPECT_EQ(form->Height(), 400);
}

TEST_F(LMFormLayout, ABadPlaceChangesOnlyWhatIsANumber) {
  struct TCase {
    std::wstring Pos;
    int Left, Top;
  };
  const TCase cases[] = {
      {L"", 40, 30}, {L"15", 40, 30}, {L"abc,25", 40, 25}, {L"15,", 15, 30}, {L"x,y", 40, 30}, {L"7,8,9", 7, 30},
  };
  for (const TCase& c : cases) {
    Place(40, 30, 320, 240);
    storage->Sections[section][L"Pos" + desktop] = c.Pos;
    form->LayoutManager().Restore();
    EXPECT_EQ(form->Left(), c.Left) << testing::PrintToString(c.Pos);
    EXPECT_EQ(form->Top(), c.Top) << testing::PrintToString(c.Pos);
    EXPECT_EQ(form->Width(), 320);
  }
}

TEST_F(LMFormLayout, StateStyleAndReadOnlyAreRestored) {
  Show();
  storage->Sections[section] = {{L"State", int64_t{2}}, {L"Style", int64_t{3}}, {L"LayoutReadOnly", true}};
  form->LayoutManager().Restore();
  EXPECT_EQ(form->WindowState(), wsMaximized);
  // Through the form's state setter, so its hooks ran.
  EXPECT_EQ(form->Hooks.size(), 2u);
  EXPECT_EQ(FormStyleOf(form->Handle()), TFormStyle::fsStayOnTop);
  EXPECT_TRUE(form->LayoutReadOnly());
  EXPECT_TRUE(form->LayoutManager().ReadOnly());

  // Values that are no state or style are left alone.
  storage->Sections[section] = {{L"State", int64_t{7}}, {L"Style", int64_t{-1}}};
  form->LayoutManager().Restore();
  EXPECT_EQ(form->WindowState(), wsMaximized);
  EXPECT_EQ(FormStyleOf(form->Handle()), TFormStyle::fsStayOnTop);
}

TEST_F(LMFormLayout, TheMainFormKeepsItsStyle) {
  TMainFormScope main(form.get());
  storage->Sections[section] = {{L"Style", int64_t{3}}};
  form->LayoutManager().Restore();
  EXPECT_EQ(FormStyleOf(form->Handle()), TFormStyle::fsNormal);
}

TEST_F(LMFormLayout, ReadOnlySavesNothingAndStillRestores) {
  form->SetLayoutReadOnly(true);
  EXPECT_TRUE(form->LayoutManager().ReadOnly());
  form->LayoutManager().Save();
  form->LayoutManager().Save(form.get());
  SendMessageW(form->Handle(), WM_EXITSIZEMOVE, 0, 0);
  EXPECT_EQ(storage->WriteCount(), 0u);

  Place(40, 30, 320, 240);
  storage->Sections[section][L"Pos" + desktop] = std::wstring(L"11,12");
  form->LayoutManager().Restore();
  EXPECT_EQ(form->Left(), 11);
  EXPECT_EQ(form->Top(), 12);
}

TEST_F(LMFormLayout, SavingFromTheRestoreEventsDoesNothing) {
  std::vector<std::wstring> events;
  form->SetOnBeforeRestore([&](TComponent* ASender) {
    EXPECT_EQ(ASender, form.get());
    events.push_back(L"BeforeRestore");
    form->LayoutManager().Save();
  });
  form->SetOnAfterRestore([&](TComponent*) {
    events.push_back(L"AfterRestore");
    form->LayoutManager().Save();
    SendMessageW(form->Handle(), WM_EXITSIZEMOVE, 0, 0);
  });
  form->SetOnBeforeSave([&](TComponent*) { events.push_back(L"BeforeSave"); });
  form->SetOnAfterSave([&](TComponent*) { events.push_back(L"AfterSave"); });
  EXPECT_TRUE(static_cast<bool>(form->OnAfterSave()));
  form->LayoutManager().Restore();
  EXPECT_EQ(events, (std::vector<std::wstring>{L"BeforeRestore", L"AfterRestore"}));
  EXPECT_EQ(storage->WriteCount(), 0u);
  SendMessageW(form->Handle(), WM_EXITSIZEMOVE, 0, 0);
  EXPECT_EQ(events, (std::vector<std::wstring>{L"BeforeRestore", L"AfterRestore", L"BeforeSave", L"AfterSave"}));
  EXPECT_GT(storage->WriteCount(), 0u);
}

TEST_F(LMFormLayout, AFailingStorageStillEndsItsAccess) {
  for (const wchar_t* failOn : {L"WriteString", L"WriteBool"}) {
    storage->Log.clear();
    storage->FailOn = failOn;
    EXPECT_THROW(form->LayoutManager().Save(), Exception);
    EXPECT_EQ(storage->AccessLog(), (std::vector<std::wstring>{L"BeginAccess(write)", L"EndAccess"})) << failOn;
  }
  for (const wchar_t* failOn : {L"ReadString", L"ReadBool", L"ValueExists"}) {
    storage->Log.clear();
    storage->FailOn = failOn;
    EXPECT_THROW(form->LayoutManager().Restore(), Exception);
    EXPECT_EQ(storage->AccessLog(), (std::vector<std::wstring>{L"BeginAccess(read)", L"EndAccess"})) << failOn;
    EXPECT_FALSE(form->LayoutManager().Restoring());
  }
}

TEST_F(LMFormLayout, ShowingRestoresMovingSavesAndDestructionSaves) {
  storage->Sections[section][L"Pos" + desktop] = std::wstring(L"21,22");
  storage->Sections[section][L"Size" + desktop] = std::wstring(L"345,234");
  Show();
  EXPECT_EQ(form->Left(), 21);
  EXPECT_EQ(form->Top(), 22);
  EXPECT_EQ(form->Width(), 345);
  EXPECT_EQ(form->Height(), 234);

  form->SetBounds(60, 70, 345, 234);
  SendMessageW(form->Handle(), WM_EXITSIZEMOVE, 0, 0);
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Pos" + desktop), L"60,70");

  form->SetBounds(80, 90, 345, 234);
  form.reset();
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Pos" + desktop), L"80,90");
}

TEST_F(LMFormLayout, AMaximizedStateComesBackOnTheFirstShow) {
  storage->Sections[section][L"State"] = int64_t{2};
  Show();
  EXPECT_TRUE(IsZoomed(form->Handle()));
  EXPECT_EQ(form->WindowState(), wsMaximized);
}

TEST_F(LMFormLayout, TheLastPlaceIsSavedWhenTheWindowIsDestroyedBeforeTheObject) {
  Show();
  form->SetBounds(70, 80, 345, 234);
  // As the main window goes: its window first, the object later.
  DestroyWindow(form->Handle());
  ASSERT_EQ(form->Handle(), nullptr);
  form.reset();
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Pos" + desktop), L"70,80");
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Size" + desktop), L"345,234");
}

TEST_F(LMFormLayout, ClosingSavesTheStateTheWindowHasThen) {
  Show();
  ShowWindow(form->Handle(), SW_MAXIMIZE);  // as the caption button does, without the form's setter
  Pump();
  form->Close();  // not the main form: it hides
  EXPECT_EQ(storage->Get<int64_t>(section, L"State"), int64_t{2});
}

TEST_F(LMFormLayout, AWindowHiddenAfterShowingIsSavedInTheStateItHad) {
  Show();
  ShowWindow(form->Handle(), SW_MAXIMIZE);
  Pump();
  form->Hide();
  form.reset();  // saved at destruction, hidden
  EXPECT_EQ(storage->Get<int64_t>(section, L"State"), int64_t{2});
  EXPECT_FALSE(storage->Has(section, L"Pos" + desktop));
}

TEST_F(LMFormLayout, TheSettingsHookSavesWithTheWindowAndNotAtTheObjectsEnd) {
  int saves = 0, restores = 0;
  form->LayoutManager().GetControl(form.get())->SetLayout(std::make_unique<TFormSettingsLayout>(
      [&](ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
        ++saves;
        AStorage.WriteInteger(ASection, L"Width", 123);
      },
      [&](ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
        ++restores;
        EXPECT_EQ(StoredPaneWidth(AStorage, ASection, L"Width", 400), 400);  // out of range: kept
      }));
  storage->Sections[section + L"\\Layout"][L"Width"] = int64_t{9};
  Show();
  EXPECT_EQ(restores, 1);
  SendMessageW(form->Handle(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1600, 1000));
  EXPECT_EQ(restores, 1);  // once, with the window's first restore
  form->Close();
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(storage->Get<int64_t>(section + L"\\Layout", L"Width"), int64_t{123});
  // Whoever gave the hook may be gone when the form object ends.
  form.reset();
  EXPECT_EQ(saves, 1);
}

TEST_F(LMFormLayout, APlaceOnNoMonitorOpensCentred) {
  storage->Sections[section][L"Pos" + desktop] = std::wstring(L"-30000,-30000");
  storage->Sections[section][L"Size" + desktop] = std::wstring(L"345,234");
  Show();
  const RECT work = WorkArea();
  EXPECT_EQ(form->Width(), 345);
  EXPECT_EQ(form->Left(), CenteredOffset(work.left, work.right - work.left, 345));
  EXPECT_EQ(form->Top(), CenteredOffset(work.top, work.bottom - work.top, 234));
}

TEST_F(LMFormLayout, LayoutControlOffLeavesTheStorageAlone) {
  form->SetLayoutControl(false);
  EXPECT_EQ(form->LayoutManager().FindComponent(form.get()), -1);
  storage->Sections[section][L"Pos" + desktop] = std::wstring(L"21,22");
  Place(40, 30, 320, 240);
  Show();
  SendMessageW(form->Handle(), WM_EXITSIZEMOVE, 0, 0);
  form.reset();
  EXPECT_EQ(storage->WriteCount(), 0u);
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Pos" + desktop), L"21,22");
}

TEST_F(LMFormLayout, ADisplayChangeRestoresEverythingButTheState) {
  Show();
  std::vector<std::tuple<int, int, int>> changes;
  form->OnDisplayChange = [&](TComponent*, int AWidth, int AHeight, int ABits) {
    changes.emplace_back(AWidth, AHeight, ABits);
  };
  storage->Sections[section] = {{L"Pos" + desktop, std::wstring(L"33,44")},
                                {L"Size" + desktop, std::wstring(L"350,250")},
                                {L"State", int64_t{2}},
                                {L"Style", int64_t{3}}};
  SendMessageW(form->Handle(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1600, 1000));
  EXPECT_EQ(form->WindowState(), wsNormal);
  EXPECT_EQ(form->Left(), 33);
  EXPECT_EQ(form->Top(), 44);
  EXPECT_EQ(form->Width(), 350);
  EXPECT_EQ(FormStyleOf(form->Handle()), TFormStyle::fsStayOnTop);
  EXPECT_EQ(form->LayoutOptions(), TLayoutManagerControlOptions::All());
  EXPECT_EQ(form->LayoutManager().GetControl(form.get())->Options(), TLayoutManagerControlOptions::All());
  EXPECT_EQ(changes, (std::vector<std::tuple<int, int, int>>{{1600, 1000, 32}}));
}

TEST_F(LMFormLayout, AFailingRestoreOnADisplayChangePutsTheOptionsBack) {
  Show();
  form->SetLayoutOptions({TLayoutManagerControlOption::loPosition, TLayoutManagerControlOption::loState});
  int changes = 0;
  form->OnDisplayChange = [&](TComponent*, int, int, int) { ++changes; };
  storage->FailOn = L"ReadString";
  TBoxRecorder boxes;
  SendMessageW(form->Handle(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1600, 1000));
  EXPECT_EQ(boxes.Texts, std::vector<std::wstring>{L"storage failure"});
  TLayoutManagerControlOptions expected = {TLayoutManagerControlOption::loPosition,
                                           TLayoutManagerControlOption::loState};
  EXPECT_EQ(form->LayoutOptions(), expected);
  EXPECT_EQ(form->LayoutManager().GetControl(form.get())->Options(), expected);
  EXPECT_EQ(changes, 0);
}

TEST_F(LMFormLayout, AFailingSaveAtDestructionIsReported) {
  storage->FailOn = L"WriteString";
  TBoxRecorder boxes;
  form.reset();
  EXPECT_EQ(boxes.Texts, std::vector<std::wstring>{L"storage failure"});
  EXPECT_EQ(storage->AccessLog().back(), L"EndAccess");
}

// ---- Controls on a form ----

class TRecordingLayout : public TLayoutManagerControlLayout {
 public:
  explicit TRecordingLayout(std::vector<std::wstring>& ALog) : FLog(ALog) {}
  void SaveDefault(bool AForce) override { FLog.push_back(AForce ? L"SaveDefault(true)" : L"SaveDefault(false)"); }
  void Save() override {
    FLog.push_back(L"Save");
    Storage()->WriteInteger(Section(), L"Columns", 3);
  }
  void RestoreDefault() override { FLog.push_back(L"RestoreDefault"); }
  void Restore() override { FLog.push_back(L"Restore"); }

 private:
  std::vector<std::wstring>& FLog;
};

TEST_F(LMFormLayout, ControlsKeepSizePlaceVisibilityAndEnabling) {
  TControl edit(form.get(), form->Handle(), L"EDIT", L"edName");
  edit.SetBounds(5, 6, 100, 20);
  ASSERT_EQ(form->LayoutManager().Add(&edit, {}, TLayoutManagerControlOptions::All()), 1);
  EXPECT_EQ(form->LayoutManager().Add(&edit, {}, TLayoutManagerControlOptions::All()), -1);
  form->LayoutManager().Save();
  const std::wstring editSection = L"TfrmLayout\\edName";
  EXPECT_EQ(storage->Names(editSection),
            (std::vector<std::wstring>{L"Align", L"Enabled", L"Height", L"Left", L"Top", L"Visible", L"Width"}));
  EXPECT_EQ(storage->Get<int64_t>(editSection, L"Left"), 5);
  EXPECT_EQ(storage->Get<int64_t>(editSection, L"Top"), 6);
  EXPECT_EQ(storage->Get<int64_t>(editSection, L"Width"), 100);
  EXPECT_EQ(storage->Get<int64_t>(editSection, L"Height"), 20);
  EXPECT_EQ(storage->Get<bool>(editSection, L"Visible"), true);
  EXPECT_EQ(storage->Get<bool>(editSection, L"Enabled"), true);

  storage->Sections[editSection] = {{L"Left", int64_t{50}},   {L"Top", int64_t{60}},   {L"Width", int64_t{80}},
                                    {L"Height", int64_t{25}}, {L"Visible", false}, {L"Enabled", false}};
  form->LayoutManager().Restore();
  EXPECT_EQ(edit.Left(), 50);
  EXPECT_EQ(edit.Top(), 60);
  EXPECT_EQ(edit.Width(), 80);
  EXPECT_EQ(edit.Height(), 25);
  EXPECT_FALSE(edit.Visible());
  EXPECT_FALSE(edit.Enabled());

  // Only the chosen groups.
  form->LayoutManager().SetOptions(&edit, {TLayoutManagerControlOption::loState});
  storage->Sections.clear();
  form->LayoutManager().Save(&edit);
  EXPECT_EQ(storage->Names(editSection), (std::vector<std::wstring>{L"Enabled", L"Visible"}));
}

TEST_F(LMFormLayout, ALayoutHookSavesDefaultsAtOnceUnlessReadOnly) {
  std::vector<std::wstring> log;
  auto hook = [&] { return std::make_unique<TRecordingLayout>(log); };
  TControl list(form.get(), form->Handle(), L"LISTBOX", L"lbItems");
  TControl other(form.get(), form->Handle(), L"LISTBOX", L"lbOther");
  form->LayoutManager().Add(&list, {}, {TLayoutManagerControlOption::loSize}, hook);
  EXPECT_EQ(log, std::vector<std::wstring>{L"SaveDefault(false)"});
  form->LayoutManager().SetReadOnly(true);
  form->LayoutManager().Add(&other, {}, {}, hook);
  EXPECT_EQ(log.size(), 1u);
  form->LayoutManager().SetReadOnly(false);
  form->LayoutManager().Delete(&other);

  log.clear();
  form->LayoutManager().Save();
  form->LayoutManager().Restore();
  EXPECT_EQ(log, (std::vector<std::wstring>{L"Save", L"Restore"}));
  EXPECT_EQ(storage->Get<int64_t>(L"TfrmLayout\\lbItems\\Layout", L"Columns"), 3);
  form->LayoutManager().DeleteData(&list);
  EXPECT_EQ(storage->Sections.count(L"TfrmLayout\\lbItems\\Layout"), 0u);
  EXPECT_EQ(storage->Sections.count(L"TfrmLayout\\lbItems"), 0u);
  EXPECT_EQ(storage->Sections.count(section), 1u);
  EXPECT_NE(std::find(storage->Log.begin(), storage->Log.end(), L"EraseSection TfrmLayout\\lbItems\\Layout|"),
            storage->Log.end());
}

TEST_F(LMFormLayout, AControlDestroyedBeforeTheFormIsLeftOut) {
  auto edit = std::make_unique<TControl>(form.get(), form->Handle(), L"EDIT", L"edGone");
  form->LayoutManager().Add(edit.get(), {}, TLayoutManagerControlOptions::All());
  edit.reset();
  form.reset();
  EXPECT_TRUE(storage->Names(L"TfrmLayout\\edGone").empty());
  EXPECT_FALSE(storage->Names(section).empty());
}

// ---- References between forms, shared storage ----

TEST(LMFormReferences, AQualifiedNameIsLookedUpInTheApplicationsForms) {
  auto storage = std::make_shared<TMemoryStorage>();
  TTestForm other(Design(L"TfrmOther"));
  other.SetName(L"frmOther");
  TProbe target(L"TProbe", L"Target", &other);
  TTestForm host(Design(L"TfrmHost"));
  host.SetName(L"frmHost");
  TProbe probe(L"TProbe", L"Probe", &host);
  host.LayoutManager().SetStorage(storage);
  host.LayoutManager().Add(&probe, {L"Buddy"});

  probe.Buddy = &target;
  host.LayoutManager().Save();
  EXPECT_EQ(storage->Get<std::wstring>(L"TfrmHost\\Probe", L"Buddy"), L"frmOther.Target");

  probe.Buddy = nullptr;
  host.LayoutManager().Restore();
  EXPECT_EQ(probe.Buddy, &target);

  // Without a qualification: the main form is the last place looked in.
  probe.Buddy = nullptr;
  storage->Sections[L"TfrmHost\\Probe"][L"Buddy"] = std::wstring(L"Target");
  host.LayoutManager().Restore();
  EXPECT_EQ(probe.Buddy, nullptr);
  TMainFormScope main(&other);
  host.LayoutManager().Restore();
  EXPECT_EQ(probe.Buddy, &target);
}

TEST(LMFormStorage, SecondaryFormsShareTheMainFormsStorageAndReadOnlyFlag) {
  auto storage = std::make_shared<TMemoryStorage>();
  TTestForm mainForm(Design(L"TfrmMainTest"));
  EXPECT_EQ(mainForm.LayoutManager().Storage(), nullptr);
  mainForm.LayoutManager().SetStorage(storage);
  mainForm.SetLayoutReadOnly(true);
  {
    TMainFormScope main(&mainForm);
    TTestForm secondary(Design(L"TfrmSecondary"), TLayoutDesign{.LayoutControl = true});
    EXPECT_EQ(secondary.LayoutManager().Storage(), storage);
    EXPECT_EQ(secondary.LayoutManager().Controls(0).Storage(), storage);
    EXPECT_TRUE(secondary.LayoutReadOnly());
    EXPECT_TRUE(secondary.LayoutManager().ReadOnly());
  }
  // A main form that is no TLMForm has no storage to share.
  TForm plain(Design(L"TfrmPlain"));
  TMainFormScope main(&plain);
  TTestForm secondary(Design(L"TfrmSecondary"));
  EXPECT_EQ(secondary.LayoutManager().Storage(), nullptr);
  EXPECT_FALSE(secondary.LayoutReadOnly());
}

}  // namespace
}  // namespace vantrel
