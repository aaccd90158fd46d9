// The search over the four catalogs and the registration check in the main window, against
// registrations in the test prefix: what is found by which field, the result list standing in for
// the tree, the work on other threads, and the problems file.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include "base/Zarvek_SysUtils.h"
#include "catalog/RegistrationCheck.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"
#include "mainwindow/resource.h"
#include "tlbviewer/TLBViewer.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XInput.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// A GUID's 32 hex digits, without braces and dashes.
std::wstring Digits(const std::wstring& AGuid) {
  std::wstring digits;
  for (wchar_t c : AGuid) {
    if (c != L'{' && c != L'}' && c != L'-') digits += c;
  }
  return digits;
}

std::wstring Lower(std::wstring AText) {
  for (wchar_t& c : AText) c = LowerAscii(c);
  return AText;
}

std::wstring Variable(const wchar_t* AName) {
  wchar_t value[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(AName, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::wstring FieldText(HWND AField) {
  wchar_t text[256] = {};
  GetWindowTextW(AField, text, 256);
  return text;
}

// Stands in for a network call that does not return (an unreachable server, a domain account
// lookup): work waits at it until the test opens it, if ever.
struct TGate {
  THandle Opened{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<int> Entered{0};
  std::atomic<bool> Armed{true};
  void Wait() {
    ++Entered;
    WaitForSingleObject(Opened.get(), INFINITE);
  }
  // The first call waits; the later ones stand for calls that return.
  void WaitFirstTime() {
    if (Armed.exchange(false)) Wait();
  }
};

// True once APredicate holds; false after a minute.
template <typename P>
bool Eventually(P APredicate) {
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (!APredicate()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(10);
  }
  return true;
}

// One entry of each catalog, with every searchable value holding a token no other key holds.
struct TSearchFixture {
  explicit TSearchFixture(TRegistryFixture& AReg) {
    const std::wstring system = SystemDirectoryPath();
    AReg.SetString(L"CLSID\\" + ClassGuid, L"", L"Search Class " + Token);
    AReg.SetString(L"CLSID\\" + ClassGuid, L"AppID", AppGuid);
    AReg.SetString(L"CLSID\\" + ClassGuid + L"\\ProgID", L"", L"Vantrel.P" + Token + L".1");
    AReg.SetString(L"CLSID\\" + ClassGuid + L"\\VersionIndependentProgID", L"", L"Vantrel.V" + Token);
    AReg.SetString(L"CLSID\\" + ClassGuid + L"\\InprocServer32", L"", L"C:\\Vendor" + Token + L"\\server.dll");
    AReg.SetString(L"CLSID\\" + ClassGuid + L"\\TypeLib", L"", LibGuid);
    AReg.SetString(L"Interface\\" + InterfaceGuid, L"", L"ISearch" + Token);
    AReg.SetString(L"Interface\\" + InterfaceGuid + L"\\ProxyStubClsid32", L"", ProxyGuid);
    AReg.SetString(L"Interface\\" + InterfaceGuid + L"\\TypeLib", L"", InterfaceLibGuid);
    AReg.SetString(L"TypeLib\\" + LibGuid + L"\\1.0", L"", L"Search Library " + Token);
    AReg.SetString(L"TypeLib\\" + LibGuid + L"\\1.0\\0\\win32", L"", L"C:\\Libs" + Token + L"\\lib.tlb");
    // The catalog lists the highest version: the one that opens.
    AReg.SetString(L"TypeLib\\" + LibGuid + L"\\2.0", L"", L"Second version");
    AReg.SetString(L"TypeLib\\" + LibGuid + L"\\2.0\\0\\win32", L"", system + L"stdole2.tlb");
    AReg.SetString(L"AppID\\" + AppGuid, L"", L"Search App " + Token);
    AReg.SetString(L"AppID\\" + AppGuid, L"LocalService", L"Svc" + Token);
    AReg.SetString(L"AppID\\" + AppGuid, L"DllSurrogate", L"C:\\Surrogates" + Token + L"\\host.exe");
  }
  const std::wstring Token = L"vsx" + Digits(NewGuid()).substr(0, 10);
  const std::wstring ClassGuid = NewGuid(), InterfaceGuid = NewGuid(), LibGuid = NewGuid(), AppGuid = NewGuid();
  const std::wstring ProxyGuid = NewGuid(), InterfaceLibGuid = NewGuid();
};

class Search : public testing::Test {
 protected:
  void SetUp() override { form = std::make_unique<TfrmMain>(); }
  void TearDown() override { form.reset(); }

  // Lets the window run until ADone holds; false after a minute.
  bool RunUntil(const std::function<bool()>& ADone) {
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (!ADone()) {
      if (GetTickCount64() > deadline) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      Application().ProcessMessages();
    }
    return true;
  }
  // Types a text into the search field and waits for the whole index.
  void SearchFor(const std::wstring& AText) {
    SetWindowTextW(form->SearchField(), AText.c_str());
    ASSERT_TRUE(RunUntil([&] { return !form->Indexing(); }));
  }
  // The result rows as "catalog|GUID|found in" (or "|problem|value" for the check's rows).
  std::vector<std::wstring> Rows() const {
    std::vector<std::wstring> rows;
    const TResultList& list = form->Results();
    for (int row = 0; row < static_cast<int>(list.Rows().size()); ++row) {
      std::wstring text = list.CellText(row, 1) + L"|" + list.CellText(row, 2);
      for (int column = 3; column < list.ColumnCount(); ++column) text += L"|" + list.CellText(row, column);
      rows.push_back(text);
    }
    return rows;
  }
  int RowOf(const std::wstring& AGuid) const {
    const TResultList& list = form->Results();
    for (int row = 0; row < static_cast<int>(list.Rows().size()); ++row) {
      if (SameTextAscii(list.CellText(row, 2), AGuid)) return row;
    }
    return -1;
  }
  // Shown in its window (the window itself may be hidden in a test).
  static bool Showing(HWND AControl) { return (GetWindowLongW(AControl, GWL_STYLE) & WS_VISIBLE) != 0; }
  // A key as the message loop delivers it to a control.
  void Key(HWND AControl, WPARAM AKey) {
    MSG msg = {AControl, WM_KEYDOWN, AKey, 0};
    if (!Application().PreTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  void Command(UINT AId) { SendMessageW(form->Handle(), WM_COMMAND, AId, 0); }
  std::vector<std::pair<int, std::wstring>> DetailLines() const {
    std::vector<std::pair<int, std::wstring>> lines;
    for (const auto& line : form->RegTree().LinesInTreeOrder()) lines.emplace_back(line.Level, *line.Text);
    return lines;
  }

  TRegistryFixture reg;
  std::unique_ptr<TfrmMain> form;
};

}  // namespace

TEST_F(Search, FindsEachFieldOfEachCatalogAndSaysWhere) {
  TSearchFixture fix(reg);
  const std::wstring classRow = L"Object Classes|" + fix.ClassGuid + L"|";
  const std::wstring appRow = L"Application IDs|" + fix.AppGuid + L"|";
  const std::wstring libRow = L"Type Libraries|" + fix.LibGuid + L"|";
  const std::wstring interfaceRow = L"Interfaces|" + fix.InterfaceGuid + L"|";
  struct TCase {
    std::wstring Text;
    std::vector<std::wstring> Expected;  // in the tree's order of catalogs
  } cases[] = {
      {L"SEARCH CLASS " + fix.Token, {classRow + L"name"}},
      {L"vantrel.p" + fix.Token, {classRow + L"ProgID"}},
      {L"Vantrel.V" + fix.Token, {classRow + L"ProgID"}},
      {L"vendor" + fix.Token + L"\\SERVER", {classRow + L"server"}},
      {L"search library " + fix.Token, {libRow + L"name"}},
      {L"libs" + fix.Token, {libRow + L"file"}},
      {L"svc" + fix.Token, {appRow + L"service"}},
      {L"surrogates" + fix.Token, {appRow + L"surrogate"}},
      {L"isearch" + fix.Token, {interfaceRow + L"name"}},
      // One row per entry, with every field that holds the text.
      {fix.Token,
       {classRow + L"name, ProgID, server", appRow + L"name, service, surrogate", libRow + L"name, file",
        interfaceRow + L"name"}},
      // GUIDs with braces and dashes, without them, in part, in any case.
      {fix.LibGuid, {classRow + L"type library", libRow + L"GUID"}},
      {Lower(Digits(fix.AppGuid)), {classRow + L"application ID", appRow + L"GUID"}},
      {fix.ProxyGuid.substr(0, 14), {interfaceRow + L"proxy/stub class"}},
      {Digits(fix.InterfaceLibGuid).substr(4, 20), {interfaceRow + L"type library"}},
      {Lower(fix.ClassGuid.substr(10, 20)), {classRow + L"GUID"}},
      // No match runs from one value into the next.
      {L"Search Class " + fix.Token + L"Vantrel", {}},
  };
  for (const TCase& c : cases) {
    SearchFor(c.Text);
    EXPECT_TRUE(form->ResultsShown());
    EXPECT_EQ(Rows(), c.Expected) << testing::PrintToString(c.Text);
  }
  EXPECT_EQ(form->StatusText(), L"No entries found");
  SearchFor(fix.Token);
  EXPECT_EQ(form->StatusText(), L"4 entries found");
  const TResultList& list = form->Results();
  EXPECT_EQ(list.ColumnCaption(0), L"Name");
  EXPECT_EQ(list.ColumnCaption(3), L"Found in");
  EXPECT_EQ(list.CellText(0, 0), L"Search Class " + fix.Token);
}

TEST_F(Search, CatalogsNotExpandedAreReadForTheSearchAndTheirNodesStayAsTheyAre) {
  TSearchFixture fix(reg);
  int loads = 0;
  form->Loader = [&](TObjectType AType, TObjects& AList) {
    ++loads;
    LoadList(AType, AList, form->View());
  };
  // The search's thread reads with readers of its own, in the view it was given.
  auto searchLoads = std::make_shared<std::atomic<int>>(0);
  form->WorkReaders.LoadCatalog = [searchLoads](TObjectType AType, TObjects& AList, TRegView AView) {
    ++*searchLoads;
    LoadList(AType, AList, AView);
  };
  TreeView_Expand(form->Tree(), form->RootOf(TObjectType::otAppID), TVE_EXPAND);
  EXPECT_EQ(loads, 1);
  SearchFor(fix.Token);
  EXPECT_EQ(Rows().size(), 4u);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(*searchLoads, 3);
  for (TObjectType kind : {TObjectType::otCLSID, TObjectType::otTypeLib, TObjectType::otInterface}) {
    EXPECT_FALSE(form->ListOf(kind).empty());
    EXPECT_EQ(TreeView_GetChild(form->Tree(), form->RootOf(kind)), nullptr);
  }
  // The tree takes the catalog the search read.
  TreeView_Expand(form->Tree(), form->RootOf(TObjectType::otCLSID), TVE_EXPAND);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(*searchLoads, 3);
  EXPECT_EQ(form->ChildrenOf(TObjectType::otCLSID).size(), form->ListOf(TObjectType::otCLSID).size());
}

TEST_F(Search, ChosenResultShowsItsEntryAsTheTreeDoesAndEscapeSelectsItInTheTree) {
  TSearchFixture fix(reg);
  SearchFor(fix.Token);
  const int row = RowOf(fix.ClassGuid);
  ASSERT_GE(row, 0);
  form->Results().Select(row);
  EXPECT_EQ(form->NameText(), L"Search Class " + fix.Token);
  EXPECT_EQ(form->GuidText(), fix.ClassGuid);
  const auto lines = DetailLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].second, L"CLSID");
  EXPECT_TRUE(form->TabPanel().Visible());
  const UINT viewState = GetMenuState(GetMenu(form->Handle()), IDM_VIEWTLB, MF_BYCOMMAND);
  EXPECT_FALSE(viewState & MF_GRAYED);

  // Esc in the list: the tree again, the chosen entry selected in it and shown the same way.
  SetFocus(form->Results().Handle());
  Key(form->Results().Handle(), VK_ESCAPE);
  EXPECT_FALSE(form->ResultsShown());
  EXPECT_TRUE(Showing(form->Tree()));
  EXPECT_FALSE(Showing(form->Results().Handle()));
  EXPECT_EQ(GetWindowTextLengthW(form->SearchField()), 0);
  TCatalogNodeData node = form->NodeData(TreeView_GetSelection(form->Tree()));
  EXPECT_EQ(node.Typ, TObjectType::otCLSID);
  ASSERT_GE(node.Index, 0);
  EXPECT_EQ(form->ListOf(TObjectType::otCLSID)[static_cast<size_t>(node.Index)].GUID.view(), fix.ClassGuid);
  EXPECT_EQ(DetailLines(), lines);
  EXPECT_EQ(GetMenuState(GetMenu(form->Handle()), IDM_VIEWTLB, MF_BYCOMMAND), viewState);

  // An emptied field brings the tree back too.
  SearchFor(fix.Token);
  EXPECT_TRUE(form->ResultsShown());
  SetWindowTextW(form->SearchField(), L"");
  EXPECT_FALSE(form->ResultsShown());
  EXPECT_TRUE(Showing(form->Tree()));
}

TEST_F(Search, KeyboardGoesFromTheFieldToTheListAndEnterOpensTheTypeLibrary) {
  TSearchFixture fix(reg);
  Command(IDM_FIND);
  EXPECT_EQ(GetFocus(), form->SearchField());
  SearchFor(L"search library " + fix.Token);
  Key(form->SearchField(), VK_DOWN);
  EXPECT_EQ(GetFocus(), form->Results().Handle());
  EXPECT_EQ(form->Results().Selected(), 0);
  EXPECT_EQ(form->GuidText(), fix.LibGuid);
  std::wstring caption;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    caption = AViewer.Caption();
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  TMessageBoxRecorder boxes;
  Key(form->Results().Handle(), VK_RETURN);
  SetTypeLibViewerHook(nullptr);
  EXPECT_EQ(caption.rfind(L"ITypeLib Viewer - [", 0), 0u) << testing::PrintToString(caption);
  EXPECT_TRUE(boxes.List.empty()) << testing::PrintToString(boxes.List.empty() ? L"" : boxes.List[0].Text);
}

TEST_F(Search, RefreshAndAViewSwitchSearchTheCatalogsReadAgain) {
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  TSearchFixture fix(reg);
  SearchFor(fix.Token);
  EXPECT_EQ(Rows().size(), 4u);
  // Registered later in the view on screen, then only in the other one.
  const TRegView shown = form->View(), other = shown == TRegView::rv64 ? TRegView::rv32 : TRegView::rv64;
  const std::wstring later = NewGuid();
  reg.SetString(L"CLSID\\" + later, L"", L"Registered later " + fix.Token, FixtureView(shown));
  Command(IDM_REFRESH);
  ASSERT_TRUE(RunUntil([&] { return !form->Indexing(); }));
  EXPECT_TRUE(form->ResultsShown());
  EXPECT_GE(RowOf(later), 0);
  EXPECT_EQ(Rows().size(), 5u);

  const std::wstring onlyOther = NewGuid();
  reg.SetString(L"CLSID\\" + onlyOther, L"", L"Only for the other view " + fix.Token, FixtureView(other));
  form->cmRegistryView(other);
  ASSERT_TRUE(RunUntil([&] { return !form->Indexing(); }));
  EXPECT_EQ(form->View(), other);
  EXPECT_LT(RowOf(later), 0);
  EXPECT_GE(RowOf(onlyOther), 0);
}

TEST_F(Search, CheckShowsProblemsWhoseRowsSelectTheirEntriesAndSavesThem) {
  const std::wstring broken = NewGuid();
  reg.SetString(L"CLSID\\" + broken, L"", L"Broken search class");
  reg.SetString(L"CLSID\\" + broken + L"\\InprocServer32", L"", L"C:\\no\\such\\server.dll");
  // A ProgID left behind by an uninstall: its class is gone, so its row shows its own key.
  const std::wstring orphan = L"Vantrel.Orphan" + broken.substr(1, 8), gone = NewGuid();
  reg.SetString(orphan, L"", L"Orphan class");
  reg.SetString(orphan + L"\\CLSID", L"", gone);
  TTempDir temp;
  std::wstring saved;
  form->ExecuteSaveDialog = [&](std::wstring& AFileName) {
    EXPECT_EQ(AFileName, L"Problems.csv");
    AFileName = saved = temp.File(L"Problems.csv");
    return true;
  };
  // Saving before any check runs the check first.
  Command(IDM_SAVE_PROBLEMS);
  EXPECT_TRUE(form->Checking());
  EXPECT_TRUE(Showing(form->ProgressBar()));
  ASSERT_TRUE(RunUntil([&] { return !form->Checking(); }));
  EXPECT_FALSE(Showing(form->ProgressBar()));
  ASSERT_TRUE(form->Problems().has_value());
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(ReadFileBytes(saved), FormatProblemsCsv(*form->Problems()));

  EXPECT_TRUE(form->ResultsShown());
  const TResultList& list = form->Results();
  EXPECT_EQ(list.ColumnCaption(3), L"Problem");
  EXPECT_EQ(list.ColumnCaption(4), L"Value");
  const int row = RowOf(broken);
  ASSERT_GE(row, 0);
  EXPECT_EQ(Rows()[static_cast<size_t>(row)],
            L"Object Classes|" + broken + L"|Server file not found|C:\\no\\such\\server.dll");
  EXPECT_EQ(list.CellText(row, 0), L"Broken search class");
  EXPECT_EQ(form->StatusText().rfind(std::to_wstring(list.Rows().size()) + L" problems found in ", 0), 0u)
      << testing::PrintToString(form->StatusText());
  form->Results().Select(row);
  EXPECT_EQ(form->NameText(), L"Broken search class");
  EXPECT_EQ(form->GuidText(), broken);
  int orphanRow = -1;
  for (int i = 0; i < static_cast<int>(list.Rows().size()); ++i) {
    if (list.CellText(i, 0) == orphan) orphanRow = i;
  }
  ASSERT_GE(orphanRow, 0);
  EXPECT_EQ(list.CellText(orphanRow, 3), L"ProgID names a class that is not registered");
  form->Results().Select(orphanRow);
  EXPECT_EQ(form->NameText(), orphan);
  EXPECT_EQ(form->GuidText(), orphan);
  EXPECT_EQ(form->StatusText(), L"ProgID names a class that is not registered");
  const auto lines = DetailLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), std::pair<int, std::wstring>{1, L"CLSID = " + gone}), lines.end())
      << testing::PrintToString(lines);
  form->Results().Select(row);
  EXPECT_EQ(form->GuidText(), broken);

  // A second save takes the problems found, without checking again.
  DeleteFileW(saved.c_str());
  Command(IDM_SAVE_PROBLEMS);
  EXPECT_FALSE(form->Checking());
  EXPECT_EQ(ReadFileBytes(saved), FormatProblemsCsv(*form->Problems()));
  // Esc goes back to the tree with the chosen entry.
  Key(form->Results().Handle(), VK_ESCAPE);
  EXPECT_FALSE(form->ResultsShown());
  EXPECT_EQ(form->NodeData(TreeView_GetSelection(form->Tree())).Text, L"Broken search class");
}

TEST_F(Search, EscapeCancelsTheCheckAndShowsWhatItFoundSoFar) {
  form->ExecuteSaveDialog = [](std::wstring&) { return false; };
  Command(IDM_CHECK);
  ASSERT_TRUE(form->Checking());
  Key(form->Tree(), VK_ESCAPE);
  ASSERT_TRUE(RunUntil([&] { return !form->Checking(); }));
  EXPECT_EQ(form->StatusText().rfind(L"Check cancelled: ", 0), 0u) << testing::PrintToString(form->StatusText());
  EXPECT_FALSE(form->Problems().has_value());
  EXPECT_TRUE(form->ResultsShown());
  EXPECT_EQ(form->Results().Mode(), TResultList::TMode::rmProblems);
  EXPECT_FALSE(Showing(form->ProgressBar()));
  // A cancelled check is not saved: saving checks again.
  Command(IDM_SAVE_PROBLEMS);
  EXPECT_TRUE(form->Checking());
}

TEST_F(Search, ServersAreFoundByTheirPathsExpandedForTheViewShownAndClassesByTheirProgIdKeys) {
  const std::wstring cls = NewGuid(), token = L"vsx" + Digits(NewGuid()).substr(0, 10);
  reg.SetString(L"CLSID\\" + cls, L"", L"Expanded Class " + token);
  reg.SetString(L"CLSID\\" + cls + L"\\InprocServer32", L"", L"%SystemRoot%\\system32\\" + token + L".dll",
                TView::Both, REG_EXPAND_SZ);
  reg.SetString(L"CLSID\\" + cls + L"\\LocalServer32", L"", L"\"%ProgramFiles%\\" + token + L"\\app.exe\" /automation",
                TView::Both, REG_EXPAND_SZ);
  // A ProgID that only its own key names: the class names no ProgID.
  reg.SetString(L"Vantrel.Key" + token + L"\\CLSID", L"", cls);
  const std::wstring classRow = L"Object Classes|" + cls + L"|";
  const std::wstring programs = Variable(L"ProgramFiles");
  ASSERT_FALSE(programs.empty());
  struct TCase {
    std::wstring Text;
    std::vector<std::wstring> Expected;
  } cases[] = {
      {WindowsDirectoryPath() + L"System32\\" + token + L".dll", {classRow + L"server"}},
      {L"%SystemRoot%\\system32\\" + token, {classRow + L"server"}},
      {programs + L"\\" + token + L"\\app.exe\" /automation", {classRow + L"server"}},
      {L"VANTREL.KEY" + token, {classRow + L"ProgID"}},
  };
  for (const TCase& c : cases) {
    SearchFor(c.Text);
    EXPECT_EQ(Rows(), c.Expected) << testing::PrintToString(c.Text);
  }

  // The other view's programs have a program folder of their own.
  if (!Is64BitWindows()) return;
  const TRegView other = OtherRegView();
  const std::wstring otherPrograms = Variable(other == TRegView::rv64 ? L"ProgramW6432" : L"ProgramFiles(x86)");
  ASSERT_FALSE(otherPrograms.empty());
  ASSERT_NE(Lower(otherPrograms), Lower(programs));
  form->cmRegistryView(other);
  ASSERT_TRUE(RunUntil([&] { return !form->Indexing(); }));
  SearchFor(otherPrograms + L"\\" + token + L"\\app.exe");
  EXPECT_EQ(Rows(), std::vector<std::wstring>{classRow + L"server"});
  SearchFor(programs + L"\\" + token + L"\\app.exe");
  EXPECT_EQ(Rows(), std::vector<std::wstring>{});
}

TEST_F(Search, AnEntryOfThatVeryNameComesFirstAndTheRowChosenStaysChosen) {
  const std::wstring token = L"vsx" + Digits(NewGuid()).substr(0, 10), name = L"Exact" + token;
  const std::wstring helper = NewGuid(), maker = NewGuid(), named = NewGuid();
  reg.SetString(L"CLSID\\" + helper, L"", L"The " + name + L" helper");
  reg.SetString(L"CLSID\\" + maker, L"", name + L" maker");
  // In the catalog the tree shows last, so that it is indexed last.
  reg.SetString(L"Interface\\" + named, L"", name);
  SetWindowTextW(form->SearchField(), Lower(name).c_str());
  // Chosen while the index may still be filling.
  ASSERT_TRUE(RunUntil([&] { return RowOf(helper) >= 0; }));
  form->Results().Select(RowOf(helper));
  EXPECT_EQ(form->GuidText(), helper);
  ASSERT_TRUE(RunUntil([&] { return !form->Indexing(); }));
  EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"Interfaces|" + named + L"|name", L"Object Classes|" + maker + L"|name",
                                               L"Object Classes|" + helper + L"|name"}));
  EXPECT_EQ(form->Results().Selected(), RowOf(helper));
  EXPECT_EQ(form->GuidText(), helper);
}

TEST_F(Search, CtrlASelectsTheTextOfTheSearchField) {
  // Real keys through the X server, as the user types them, past the window's accelerators.
  form->Show();
  ASSERT_TRUE(FocusWindow(form->Handle()));
  Command(IDM_FIND);
  ASSERT_EQ(GetFocus(), form->SearchField());
  ASSERT_TRUE(XDoTool("type --delay 30 abc"));
  ASSERT_TRUE(RunUntil([&] { return FieldText(form->SearchField()) == L"abc"; }));
  ASSERT_TRUE(XDoTool("key ctrl+a"));
  ASSERT_TRUE(XDoTool("type --delay 30 z"));
  ASSERT_TRUE(RunUntil([&] {
    const std::wstring text = FieldText(form->SearchField());
    return !text.empty() && text.back() == L'z';
  }));
  EXPECT_EQ(FieldText(form->SearchField()), L"z");
}

TEST_F(Search, ClosingRefreshingAndCheckingAgainNeverWaitForWorkBlockedInTheNetwork) {
  auto indexGate = std::make_shared<TGate>();
  auto checkGate = std::make_shared<TGate>();
  form->WorkReaders.LoadCatalog = [indexGate](TObjectType AType, TObjects& AList, TRegView AView) {
    indexGate->WaitFirstTime();
    LoadList(AType, AList, AView);
  };
  form->WorkReaders.CheckRegistrations = [checkGate](TRegView, const TStringList&, const TCheckProgress& AProgress) {
    AProgress(0, 1);
    checkGate->Wait();
    AProgress(1, 1);
    return TRegistrationProblems{};
  };
  SetWindowTextW(form->SearchField(), L"anything");
  ASSERT_TRUE(RunUntil([&] { return indexGate->Entered == 1; }));
  EXPECT_TRUE(form->Indexing());
  Command(IDM_CHECK);
  ASSERT_TRUE(RunUntil([&] { return checkGate->Entered == 1; }));

  // Esc asks the check to stop, and the window goes on; a new check need not wait for it.
  Key(form->Tree(), VK_ESCAPE);
  EXPECT_EQ(form->StatusText(), L"Cancelling the check...");
  EXPECT_TRUE(form->Checking());
  Command(IDM_CHECK);
  ASSERT_TRUE(RunUntil([&] { return checkGate->Entered == 2; }));

  // Refresh and a view switch read everything again beside the threads that wait.
  Command(IDM_REFRESH);
  EXPECT_FALSE(form->Checking());
  ASSERT_TRUE(RunUntil([&] { return !form->Indexing(); }));
  EXPECT_TRUE(form->ResultsShown());
  if (Is64BitWindows()) {
    form->cmRegistryView(OtherRegView());
    ASSERT_TRUE(RunUntil([&] { return !form->Indexing(); }));
  }

  // The window closes over a check that waits.
  Command(IDM_CHECK);
  ASSERT_TRUE(RunUntil([&] { return checkGate->Entered == 3; }));
  Command(IDM_EXIT);
  form.reset();

  // Let go, the index's thread ends without the window and lets go of what it holds; the
  // checks' gate is never opened: the test program ends with those threads still waiting.
  const std::weak_ptr<TGate> watch = indexGate;
  const HANDLE opened = indexGate->Opened.get();
  indexGate.reset();
  SetEvent(opened);
  EXPECT_TRUE(RunUntil([&] { return watch.expired(); }));
}

namespace {

constexpr UINT kMailMessage = WM_APP + 7;

// A window that only takes the work's messages.
class TMailWindow {
 public:
  TMailWindow()
      : FHandle(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
  ~TMailWindow() { DestroyWindow(FHandle); }
  TMailWindow(const TMailWindow&) = delete;
  TMailWindow& operator=(const TMailWindow&) = delete;
  HWND Handle() const { return FHandle; }
  // The generations of the messages posted to it since the last call.
  std::vector<WPARAM> Take() const {
    std::vector<WPARAM> generations;
    MSG msg;
    while (PeekMessageW(&msg, FHandle, kMailMessage, kMailMessage, PM_REMOVE)) generations.push_back(msg.wParam);
    return generations;
  }

 private:
  HWND FHandle;
};

}  // namespace

TEST(BackgroundWork, StoppingAndLettingGoNeverWaitAndMailOfWorkLetGoOfNeverComes) {
  TMailWindow window;
  auto work = std::make_unique<TBackgroundWork<int>>();
  auto first = std::make_shared<TGate>(), last = std::make_shared<TGate>();
  const std::weak_ptr<TGate> firstWatch = first, lastWatch = last;

  // Stopped while it waits: Stop returns, and what the work puts later goes nowhere.
  work->Start(window.Handle(), kMailMessage, [first](const TBackgroundWork<int>::TContext& AContext) {
    AContext.Put(1);
    first->Wait();
    AContext.Put(2);
  });
  const WPARAM stopped = work->Generation();
  ASSERT_TRUE(Eventually([&] { return first->Entered == 1; }));
  EXPECT_EQ(window.Take(), std::vector<WPARAM>{stopped});
  EXPECT_EQ(work->TakeMail(stopped), std::vector<int>{1});
  EXPECT_TRUE(work->Running());
  work->Stop();
  EXPECT_FALSE(work->Running());

  // Work started meanwhile runs beside it; a failure ends it as its end does.
  work->Start(window.Handle(), kMailMessage, [](const TBackgroundWork<int>::TContext& AContext) {
    AContext.Put(3);
    throw std::runtime_error("failed");
  });
  const WPARAM failed = work->Generation();
  ASSERT_TRUE(Eventually([&] { return !work->Running(); }));
  EXPECT_EQ(work->TakeMail(stopped), std::vector<int>{});
  EXPECT_EQ(work->TakeMail(failed), std::vector<int>{3});

  // Cancelled, the work is asked to stop and its mail still comes.
  work->Start(window.Handle(), kMailMessage, [first](const TBackgroundWork<int>::TContext& AContext) {
    first->Wait();
    AContext.Put(AContext.Stopped() ? 4 : 0);
  });
  const WPARAM cancelled = work->Generation();
  ASSERT_TRUE(Eventually([&] { return first->Entered == 2; }));
  work->Cancel();
  const HANDLE firstOpened = first->Opened.get();
  first.reset();
  SetEvent(firstOpened);
  ASSERT_TRUE(Eventually([&] { return !work->Running(); }));
  EXPECT_EQ(work->TakeMail(cancelled), std::vector<int>{4});
  // Both waiting works have ended and let go of what they held.
  EXPECT_TRUE(Eventually([&] { return firstWatch.expired(); }));

  // Let go of while it waits: the owner goes at once, the work ends on its own, unheard.
  work->Start(window.Handle(), kMailMessage, [last](const TBackgroundWork<int>::TContext& AContext) {
    last->Wait();
    AContext.Put(5);
  });
  const WPARAM orphaned = work->Generation();
  ASSERT_TRUE(Eventually([&] { return last->Entered == 1; }));
  work.reset();
  const HANDLE lastOpened = last->Opened.get();
  last.reset();
  SetEvent(lastOpened);
  EXPECT_TRUE(Eventually([&] { return lastWatch.expired(); }));

  // Nothing was posted for the work stopped or let go of.
  for (WPARAM generation : window.Take()) {
    EXPECT_NE(generation, stopped);
    EXPECT_NE(generation, orphaned);
  }
}
