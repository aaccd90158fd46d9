// The main window in-process: catalog tree, lazy loading, sorting, search, Refresh and Save.
#include <gtest/gtest.h>

#include <algorithm>

#include "catalog/CsvExport.h"
#include "forms/Zarvek_Dialogs.h"
#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"
#include "mainwindow/resource.h"
#include "resources/ProgramIcons.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

TObjectData Entry(const std::wstring& AName, TObjectType AType = TObjectType::otAppID) {
  TObjectData data;
  data.Name = AName;
  data.GUID = L"{" + AName + L"}";
  data.Typ = AType;
  return data;
}

std::wstring ItemText(HWND ATree, HTREEITEM AItem) {
  wchar_t text[512] = {};
  TVITEMW item = {};
  item.mask = TVIF_TEXT | TVIF_HANDLE;
  item.hItem = AItem;
  item.pszText = text;
  item.cchTextMax = 512;
  TreeView_GetItem(ATree, &item);
  return text;
}

std::vector<std::wstring> ChildTexts(HWND ATree, HTREEITEM ARoot) {
  std::vector<std::wstring> texts;
  for (HTREEITEM child = TreeView_GetChild(ATree, ARoot); child; child = TreeView_GetNextSibling(ATree, child)) {
    texts.push_back(ItemText(ATree, child));
  }
  return texts;
}

UINT ItemState(HWND ATree, HTREEITEM AItem) {
  return static_cast<UINT>(TreeView_GetItemState(ATree, AItem, 0xFFFF));
}

bool HasButton(HWND ATree, HTREEITEM AItem) {
  TVITEMW item = {};
  item.mask = TVIF_CHILDREN | TVIF_HANDLE;
  item.hItem = AItem;
  TreeView_GetItem(ATree, &item);
  return item.cChildren != 0;
}

// The message boxes shown while it lives, with the main window's status text at each.
class TBoxRecorder : public TMessageBoxRecorder {
 public:
  explicit TBoxRecorder(TfrmMain* AForm) : TMessageBoxRecorder([AForm] { return AForm->StatusText(); }) {}
};

class MainWindow : public testing::Test {
 protected:
  void SetUp() override { form = std::make_unique<TfrmMain>(); }
  void TearDown() override { form.reset(); }
  void Expand(HTREEITEM ARoot) { TreeView_Expand(form->Tree(), ARoot, TVE_EXPAND); }
  void Collapse(HTREEITEM ARoot) { TreeView_Expand(form->Tree(), ARoot, TVE_COLLAPSE); }
  // A typed character as the message loop delivers it.
  void Type(wchar_t AChar) {
    MSG msg = {form->Tree(), WM_CHAR, AChar, 0};
    if (!Application().PreTranslate(msg)) DispatchMessageW(&msg);
  }
  std::unique_ptr<TfrmMain> form;
};

}  // namespace

TEST(IncrementalSearch, MatchRule) {
  struct Case {
    const wchar_t* typed;
    const wchar_t* text;
    bool matches;
  } cases[] = {
      {L"micro", L"Microsoft Word", true}, {L"MICRO", L"microsoft", true}, {L"micro", L"Mic", true},
      {L"micro", L"", true},               {L"micro", L"Macro", false},    {L"\x00E9", L"\x00C9", false},
      {L"a", L"Alpha", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IncrementalSearchMatches(c.typed, c.text), c.matches)
        << testing::PrintToString(std::wstring(c.typed)) << " / " << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(SortedEntryOrder, LowerCasedNamesAndStableForEqualNames) {
  TObjects list = {Entry(L"beta"), Entry(L"{0A1B}"), Entry(L"Alpha"), Entry(L"foo"), Entry(L"Foo"),
                   Entry(L"FOO"), Entry(L"_under"), Entry(L"Zeta")};
  std::vector<std::wstring> names;
  for (int i : SortedEntryOrder(list)) names.push_back(list[i].Name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"_under", L"Alpha", L"beta", L"foo", L"Foo", L"FOO", L"Zeta",
                                               L"{0A1B}"}));
}

TEST_F(MainWindow, StartsWithFourCollapsedRootsAndReadsNoCatalog) {
  // The form is built in SetUp; build another one here to count its registry reads alone.
  uint64_t before = TRegistry::OpenedKeyCount();
  TfrmMain second;
  EXPECT_EQ(TRegistry::OpenedKeyCount(), before);
  HWND tree = form->Tree();
  std::vector<std::wstring> roots;
  for (HTREEITEM root = TreeView_GetRoot(tree); root; root = TreeView_GetNextSibling(tree, root)) {
    roots.push_back(ItemText(tree, root));
    EXPECT_TRUE(HasButton(tree, root));
    EXPECT_FALSE(ItemState(tree, root) & TVIS_EXPANDED);
  }
  EXPECT_EQ(roots, (std::vector<std::wstring>{L"Object Classes", L"Application IDs", L"Type Libraries", L"Interfaces"}));
  EXPECT_TRUE(form->ListOf(TObjectType::otCLSID).empty() && form->ListOf(TObjectType::otTypeLib).empty() && form->ListOf(TObjectType::otAppID).empty() && form->ListOf(TObjectType::otInterface).empty());
  EXPECT_EQ(form->StatusText(), L"Ready");
  EXPECT_EQ(TreeView_GetSelection(tree), nullptr);
}

TEST_F(MainWindow, ShowingTheWindowFocusesTheTreeWithNothingSelected) {
  form->Show();
  Application().ProcessMessages();
  EXPECT_EQ(GetFocus(), form->Tree());
  EXPECT_EQ(TreeView_GetSelection(form->Tree()), nullptr);
  EXPECT_FALSE(form->TabPanel().Visible());
  EXPECT_EQ(form->NameText(), L"");
  // The first arrow key then selects the first root.
  MSG down = {form->Tree(), WM_KEYDOWN, VK_DOWN, 0};
  EXPECT_TRUE(Application().PreTranslate(down));
  EXPECT_EQ(TreeView_GetSelection(form->Tree()), form->RootOf(TObjectType::otCLSID));
  form->Hide();
}

TEST_F(MainWindow, WindowLayoutAndMenu) {
  EXPECT_EQ(form->Caption(), L"Vantrel");
  SIZE client = form->ClientSize();
  EXPECT_EQ(client.cx, form->Scale(1016));
  EXPECT_EQ(client.cy, form->Scale(554));
  RECT tree;
  GetWindowRect(form->Tree(), &tree);
  EXPECT_EQ(tree.right - tree.left, form->Scale(401));
  HMENU menu = GetMenu(form->Handle());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuState(menu, IDM_HEX, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
  for (UINT id : {IDM_VIEWTLB, IDM_CREATEINST, IDM_REG, IDM_UNREG}) {
    EXPECT_TRUE(GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
  }
  for (UINT id : {IDM_VIEWTYPELIB, IDM_REFRESH, IDM_EXIT, IDM_ABOUT, IDM_SAVE_CLASSES}) {
    EXPECT_FALSE(GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
  }
  wchar_t text[64];
  GetMenuStringW(menu, IDM_REFRESH, text, 64, MF_BYCOMMAND);
  EXPECT_STREQ(text, L"&Refresh\tCtrl+R");
  GetMenuStringW(menu, IDM_SAVE_TYPELIBS, text, 64, MF_BYCOMMAND);
  EXPECT_STREQ(text, L"&Type Libraries...");
  // File, View, Object, Tools, Help; the View menu is the pair of registry views.
  ASSERT_EQ(GetMenuItemCount(menu), 5);
  GetMenuStringW(menu, 3, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"&Tools");
  GetMenuStringW(menu, 1, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"&View");
  HMENU views = GetSubMenu(menu, 1);
  ASSERT_EQ(GetMenuItemCount(views), 2);
  EXPECT_EQ(GetMenuItemID(views, 0), static_cast<UINT>(IDM_VIEW64));
  EXPECT_EQ(GetMenuItemID(views, 1), static_cast<UINT>(IDM_VIEW32));
  GetMenuStringW(menu, IDM_VIEW64, text, 64, MF_BYCOMMAND);
  EXPECT_STREQ(text, L"&64-bit Registry");
  GetMenuStringW(menu, IDM_VIEW32, text, 64, MF_BYCOMMAND);
  EXPECT_STREQ(text, L"&32-bit Registry");
  // The window starts in the view of its own build; the other is offered on 64-bit Windows.
  const bool own64 = ProcessRegView() == TRegView::rv64;
  MENUITEMINFOW item = {sizeof(item), MIIM_FTYPE | MIIM_STATE};
  GetMenuItemInfoW(menu, own64 ? IDM_VIEW64 : IDM_VIEW32, FALSE, &item);
  EXPECT_TRUE(item.fType & MFT_RADIOCHECK);
  EXPECT_TRUE(item.fState & MFS_CHECKED);
  item = {sizeof(item), MIIM_FTYPE | MIIM_STATE};
  GetMenuItemInfoW(menu, own64 ? IDM_VIEW32 : IDM_VIEW64, FALSE, &item);
  EXPECT_FALSE(item.fState & MFS_CHECKED);
  EXPECT_EQ((item.fState & MFS_DISABLED) != 0, !Is64BitWindows());
}

TEST_F(MainWindow, StartsInTheRegistryViewItIsGiven) {
  TfrmMain sixtyFour(TRegView::rv64);
  EXPECT_EQ(sixtyFour.View(), TRegView::rv64);
  EXPECT_EQ(sixtyFour.ViewStatusText(), L"64-bit Registry");
  HMENU menu = GetMenu(sixtyFour.Handle());
  EXPECT_TRUE(GetMenuState(menu, IDM_VIEW64, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_FALSE(GetMenuState(menu, IDM_VIEW32, MF_BYCOMMAND) & MF_CHECKED);
}

TEST_F(MainWindow, ExpandLoadsOnceAndSortsTheChildren) {
  TRegistryFixture reg;
  reg.SetString(L"AppID\\{00000000-0000-0000-0000-0000000000A1}", L"", L"beta");
  reg.SetString(L"AppID\\{00000000-0000-0000-0000-0000000000A2}", L"", L"Alpha");
  reg.CreateKey(L"AppID\\{00000000-0000-0000-0000-0000000000A3}");
  uint64_t before = TRegistry::OpenedKeyCount();
  Expand(form->RootOf(TObjectType::otAppID));
  uint64_t afterFirst = TRegistry::OpenedKeyCount();
  EXPECT_GT(afterFirst, before);
  EXPECT_FALSE(form->ListOf(TObjectType::otAppID).empty());
  Collapse(form->RootOf(TObjectType::otAppID));
  Expand(form->RootOf(TObjectType::otAppID));
  EXPECT_EQ(TRegistry::OpenedKeyCount(), afterFirst);
  std::vector<std::wstring> texts = ChildTexts(form->Tree(), form->RootOf(TObjectType::otAppID));
  ASSERT_EQ(texts.size(), form->ListOf(TObjectType::otAppID).size());
  auto position = [&](const std::wstring& AText) { return std::find(texts.begin(), texts.end(), AText) - texts.begin(); };
  EXPECT_LT(position(L"Alpha"), position(L"beta"));
  EXPECT_LT(position(L"beta"), position(L"{00000000-0000-0000-0000-0000000000A3}"));
  EXPECT_EQ(form->StatusText(), L"Ready");
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
}

TEST_F(MainWindow, EqualNamesKeepListOrderInTheTree) {
  form->ListOf(TObjectType::otAppID) = {Entry(L"foo"), Entry(L"Foo"), Entry(L"Bar")};
  Expand(form->RootOf(TObjectType::otAppID));
  EXPECT_EQ(ChildTexts(form->Tree(), form->RootOf(TObjectType::otAppID)), (std::vector<std::wstring>{L"Bar", L"foo", L"Foo"}));
  // Children carry the position of their entry in the list.
  HTREEITEM second = TreeView_GetNextSibling(form->Tree(), TreeView_GetChild(form->Tree(), form->RootOf(TObjectType::otAppID)));
  TCatalogNodeData data = form->NodeData(second);
  EXPECT_EQ(data.Index, 0);
  EXPECT_EQ(data.Typ, TObjectType::otAppID);
  EXPECT_EQ(data.Text, L"foo");
}

TEST_F(MainWindow, EmptyCatalogKeepsItsButtonAndLoadsAgain) {
  int loads = 0;
  form->Loader = [&](TObjectType AType, TObjects& AList) {
    EXPECT_EQ(AType, TObjectType::otAppID);
    AList.clear();
    ++loads;
  };
  Expand(form->RootOf(TObjectType::otAppID));
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(TreeView_GetChild(form->Tree(), form->RootOf(TObjectType::otAppID)), nullptr);
  EXPECT_TRUE(HasButton(form->Tree(), form->RootOf(TObjectType::otAppID)));
  Expand(form->RootOf(TObjectType::otAppID));
  EXPECT_EQ(loads, 2);
}

TEST_F(MainWindow, TypingFindsEntriesInCollapsedBranches) {
  form->ListOf(TObjectType::otAppID) = {Entry(L"Alpha"), Entry(L"Microsoft Word"), Entry(L"MICRO Two"), Entry(L"Zulu")};
  form->ListOf(TObjectType::otInterface) = {Entry(L"IMicro", TObjectType::otInterface)};
  Expand(form->RootOf(TObjectType::otAppID));
  Expand(form->RootOf(TObjectType::otInterface));
  Collapse(form->RootOf(TObjectType::otAppID));
  Collapse(form->RootOf(TObjectType::otInterface));
  DWORD now = 5000;
  form->Clock = [&] { return now; };
  TreeView_SelectItem(form->Tree(), form->RootOf(TObjectType::otCLSID));
  for (wchar_t c : std::wstring(L"micro")) Type(c);
  HTREEITEM selected = TreeView_GetSelection(form->Tree());
  EXPECT_EQ(form->NodeData(selected).Text, L"MICRO Two");  // "micro two" sorts before "microsoft word"
  EXPECT_TRUE(ItemState(form->Tree(), form->RootOf(TObjectType::otAppID)) & TVIS_EXPANDED);
  // After a pause a new search starts after the selected node.
  now += 1100;
  Type(L'm');
  EXPECT_EQ(form->NodeData(TreeView_GetSelection(form->Tree())).Text, L"Microsoft Word");
  now += 1100;
  Type(L'i');
  EXPECT_EQ(form->NodeData(TreeView_GetSelection(form->Tree())).Text, L"Interfaces");
  Type(L'm');
  EXPECT_EQ(form->NodeData(TreeView_GetSelection(form->Tree())).Text, L"IMicro");
}

TEST_F(MainWindow, RefreshLeavesNothingSelectedAndFourCollapsedRoots) {
  TRegistryFixture reg;
  const std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"C:\\x.dll");
  reg.SetString(L"CLSID\\" + guid + L"\\ProgID", L"", L"Vantrel.Refreshed");
  Expand(form->RootOf(TObjectType::otCLSID));
  for (HTREEITEM item : form->ChildrenOf(TObjectType::otCLSID)) {
    if (form->ListOf(TObjectType::otCLSID)[static_cast<size_t>(form->NodeData(item).Index)].GUID == guid) {
      TreeView_SelectItem(form->Tree(), item);
    }
  }
  ASSERT_EQ(form->GuidText(), guid);
  HMENU menu = GetMenu(form->Handle());
  ASSERT_FALSE(GetMenuState(menu, IDM_REG, MF_BYCOMMAND) & MF_GRAYED);
  form->cmRefresh();
  HWND tree = form->Tree();
  EXPECT_EQ(TreeView_GetSelection(tree), nullptr);
  // The details of the entry that was shown are gone with it.
  EXPECT_EQ(form->NameText(), L"");
  EXPECT_EQ(form->GuidText(), L"");
  EXPECT_FALSE(form->TabPanel().Visible());
  EXPECT_EQ(form->RegTree().LineCount(), 0u);
  for (UINT id : {IDM_VIEWTLB, IDM_CREATEINST, IDM_REG, IDM_UNREG}) {
    EXPECT_TRUE(GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
  }
  int roots = 0;
  for (HTREEITEM root = TreeView_GetRoot(tree); root; root = TreeView_GetNextSibling(tree, root), ++roots) {
    EXPECT_FALSE(ItemState(tree, root) & TVIS_EXPANDED);
    EXPECT_TRUE(HasButton(tree, root));
  }
  EXPECT_EQ(roots, 4);
  EXPECT_FALSE(form->ListOf(TObjectType::otCLSID).empty());
  EXPECT_FALSE(form->ListOf(TObjectType::otInterface).empty());
  EXPECT_EQ(ChildTexts(tree, form->RootOf(TObjectType::otCLSID)).size(), form->ListOf(TObjectType::otCLSID).size());
  EXPECT_EQ(form->StatusText(), L"Ready");
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
}

TEST_F(MainWindow, LoaderErrorEndsInTheErrorBoxWithStatusRestored) {
  std::unique_ptr<TUnreadableKey> denied = std::make_unique<TUnreadableKey>(L"AppID");
  TBoxRecorder boxes(form.get());
  Expand(form->RootOf(TObjectType::otAppID));
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Caption, L"Vantrel");
  EXPECT_EQ(boxes.List[0].Text.rfind(L"The registry key HKEY_CLASSES_ROOT\\AppID cannot be read: ", 0), 0u)
      << testing::PrintToString(boxes.List[0].Text);
  EXPECT_EQ(boxes.List[0].State, L"Ready");
  EXPECT_EQ(boxes.List[0].Cursor, TCursor::crDefault);
  // Once the key can be read, the next expansion reads it.
  EXPECT_TRUE(form->ListOf(TObjectType::otAppID).empty());
  denied.reset();
  Expand(form->RootOf(TObjectType::otAppID));
  EXPECT_EQ(boxes.List.size(), 1u);
  EXPECT_FALSE(form->ListOf(TObjectType::otAppID).empty());
}

TEST_F(MainWindow, RefreshStopsAtAFailingLoaderAndRestoresTheStatus) {
  form->ListOf(TObjectType::otInterface) = {Entry(L"IKept", TObjectType::otInterface)};
  TUnreadableKey denied(L"TypeLib");
  TBoxRecorder boxes(form.get());
  SendMessageW(form->Handle(), WM_COMMAND, IDM_REFRESH, 0);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].State, L"Ready");
  EXPECT_FALSE(form->ListOf(TObjectType::otCLSID).empty());  // loaded before the failing one
  EXPECT_EQ(form->ListOf(TObjectType::otInterface).size(), 1u);  // after it: not loaded
  EXPECT_EQ(form->StatusText(), L"Ready");
}

TEST_F(MainWindow, EntryWhoseNameIsNoTextIsListedUnderItsGuidAmongTheOthers) {
  TRegistryFixture reg;
  // In the middle of the list: the entries after it must be there too.
  const std::wstring bad = L"{00000000-0000-0000-0000-0000000000B1}";
  const std::wstring after = L"{FFFFFFFF-0000-0000-0000-0000000000B2}";
  reg.SetBinary(L"AppID\\" + bad, L"", {1, 2, 3});
  reg.SetString(L"AppID\\" + after, L"", L"After The Bad One");
  reg.SetBinary(L"TypeLib\\" + bad + L"\\1.0", L"", {1});
  reg.SetString(L"TypeLib\\" + after + L"\\1.0", L"", L"Library After");
  TBoxRecorder boxes(form.get());
  Expand(form->RootOf(TObjectType::otAppID));
  Expand(form->RootOf(TObjectType::otTypeLib));
  EXPECT_TRUE(boxes.List.empty());
  for (HTREEITEM root : {form->RootOf(TObjectType::otAppID), form->RootOf(TObjectType::otTypeLib)}) {
    const std::vector<std::wstring> texts = ChildTexts(form->Tree(), root);
    EXPECT_NE(std::find(texts.begin(), texts.end(), bad), texts.end());
    const std::wstring name = root == form->RootOf(TObjectType::otAppID) ? L"After The Bad One" : L"Library After";
    EXPECT_NE(std::find(texts.begin(), texts.end(), name), texts.end());
  }
}

TEST_F(MainWindow, SaveWritesTheListAndLoadsItFirstWhenNeeded) {
  TTempDir temp;
  std::wstring suggested;
  form->ExecuteSaveDialog = [&](std::wstring& AFileName) {
    suggested = AFileName;
    AFileName = temp.File(L"classes.csv");
    return true;
  };
  form->cmSave(2);
  EXPECT_EQ(suggested, L"ObjClasses.csv");
  ASSERT_FALSE(form->ListOf(TObjectType::otCLSID).empty());
  EXPECT_EQ(ReadFileBytes(temp.File(L"classes.csv")), FormatCsv(form->ListOf(TObjectType::otCLSID)));
  EXPECT_EQ(TreeView_GetChild(form->Tree(), form->RootOf(TObjectType::otCLSID)), nullptr);  // the tree is not touched
  form->cmSave(3);
  EXPECT_EQ(suggested, L"TLBs.csv");
  form->cmSave(0);
  EXPECT_EQ(suggested, L"AppIds.csv");
  form->cmSave(1);
  EXPECT_EQ(suggested, L"Intfs.csv");
  EXPECT_EQ(ReadFileBytes(temp.File(L"classes.csv")), FormatCsv(form->ListOf(TObjectType::otInterface)));
}

TEST_F(MainWindow, CancelledSaveDoesNothingAndWriteErrorsReachTheErrorBox) {
  form->ExecuteSaveDialog = [](std::wstring&) { return false; };
  form->cmSave(0);
  EXPECT_TRUE(form->ListOf(TObjectType::otAppID).empty());
  TTempDir temp;
  CreateDirectoryW(temp.File(L"dir.csv").c_str(), nullptr);
  form->ExecuteSaveDialog = [&](std::wstring& AFileName) {
    AFileName = temp.File(L"dir.csv");
    return true;
  };
  TBoxRecorder boxes(form.get());
  SendMessageW(form->Handle(), WM_COMMAND, IDM_SAVE_APPIDS, 0);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Caption, L"Vantrel");
  EXPECT_NE(boxes.List[0].Text.find(L"dir.csv"), std::wstring::npos);
  EXPECT_EQ(boxes.List[0].Cursor, TCursor::crDefault);
}

TEST_F(MainWindow, RootHeaderTellsWhetherTheCatalogWasLoaded) {
  HWND name = GetDlgItem(form->Handle(), IDC_NAME);
  HWND guid = GetDlgItem(form->Handle(), IDC_GUID);
  auto text = [](HWND AWnd) {
    wchar_t buffer[256] = {};
    GetWindowTextW(AWnd, buffer, 256);
    return std::wstring(buffer);
  };
  TreeView_SelectItem(form->Tree(), form->RootOf(TObjectType::otAppID));
  EXPECT_EQ(text(name), L"Application IDs");
  EXPECT_EQ(text(guid), L"Expand node to retrieve items");
  form->ListOf(TObjectType::otAppID) = {Entry(L"a"), Entry(L"b"), Entry(L"c")};
  Expand(form->RootOf(TObjectType::otAppID));
  TreeView_SelectItem(form->Tree(), form->RootOf(TObjectType::otCLSID));
  TreeView_SelectItem(form->Tree(), form->RootOf(TObjectType::otAppID));
  EXPECT_EQ(text(guid), L"Node contains 3 items");
}

namespace {

std::wstring gSeenAboutText;

void CALLBACK CloseAboutDialog(HWND, UINT, UINT_PTR AId, DWORD) {
  HWND dialog = FindWindowW(L"Zarvek.UI.AboutDialog", nullptr);
  if (!dialog || !IsWindowVisible(dialog)) return;
  wchar_t text[64] = {};
  GetWindowTextW(dialog, text, 64);
  gSeenAboutText = text;
  KillTimer(nullptr, AId);
  PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

TEST_F(MainWindow, HelpAboutShowsTheAboutDialogModally) {
  Application().SetMainForm(form.get());
  gSeenAboutText.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseAboutDialog);
  SendMessageW(form->Handle(), WM_COMMAND, IDM_ABOUT, 0);
  KillTimer(nullptr, timer);
  Application().SetMainForm(nullptr);
  EXPECT_EQ(gSeenAboutText, L"About....");
  EXPECT_EQ(FindWindowW(L"Zarvek.UI.AboutDialog", nullptr), nullptr);  // freed when closed
}

namespace {

// The sizes an icon resource holds images for, read from its group directory.
std::vector<int> IconSizes(int AId) {
  std::vector<int> sizes;
  HINSTANCE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(AId), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  if (!info) return sizes;
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
  const WORD count = *reinterpret_cast<const WORD*>(data + 4);
  for (WORD i = 0; i < count; ++i) {
    const BYTE width = data[6 + 14 * i];
    sizes.push_back(width == 0 ? 256 : width);
  }
  return sizes;
}

}  // namespace

TEST(Images, EveryImageIsDrawnForEachScaling) {
  // The tree images are 16 pixels at 100 %, 24 at 150 % and 32 at 200 %; the header's are 32, 48
  // and 64. Each must be there as drawn, not scaled from another size.
  struct Case {
    int FirstId, LastId;
    std::vector<int> Sizes;
  } cases[] = {
      {IDI_CATALOG_ROOT, IDI_CATALOG_INTERFACE, {16, 20, 24, 32, 40, 48, 64}},
      {20, 29, {16, 20, 24, 32}},  // the type library viewer's tree
      {IDI_VANTREL, IDI_VANTREL, {16, 20, 24, 32, 40, 48, 64, 256}},
  };
  for (const Case& c : cases) {
    for (int id = c.FirstId; id <= c.LastId; ++id) {
      std::vector<int> sizes = IconSizes(id);
      for (int size : c.Sizes) {
        EXPECT_NE(std::find(sizes.begin(), sizes.end(), size), sizes.end()) << "icon " << id << " size " << size;
      }
    }
  }
}
