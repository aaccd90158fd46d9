// The type library viewer in-process: declaration tree, jumps, status, find, save, and viewer runs.
#include <gtest/gtest.h>

#include "SciLexer.h"

#include <algorithm>

#include "forms/Zarvek_Dialogs.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"
#include "mainwindow/resource.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/FakeTypeLib.h"
#include "tests/tlbgen/WrittenLibrary.h"
#include "generators/ImportUnit.h"
#include "tlbviewer/TLBViewer.h"
#include "typelib/TypeLibLoader.h"
#include "generators/UnitExport.h"
#include "tlbviewer/resource.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::wstring FixturePath() { return BinaryPath(L"tests\\tlbviewer\\fixtures\\Viewer.tlb"); }
const wchar_t kFixtureGuid[] = L"{7A4C2E10-5D3B-4E8F-9B20-00000000C0A1}";

using TBoxes = TMessageBoxRecorder;

// A viewer filled as OpenTypeLibViewer fills it, without the modal run.
class Viewer : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(LoadTypeLibraryFile(FixturePath(), library)));
    TObjectData data;
    data.Server = FixturePath();
    view = CreateTypeLibViewer(nullptr, data, library.get());
  }
  void TearDown() override { view.reset(); }

  // The tree as displayed: each node's text, indented by two blanks per level.
  std::vector<std::wstring> TreeTexts(HTREEITEM AParent = TVI_ROOT, int ALevel = 0) {
    std::vector<std::wstring> texts;
    HWND tree = view->Tree();
    HTREEITEM child = AParent == TVI_ROOT ? TreeView_GetRoot(tree) : TreeView_GetChild(tree, AParent);
    for (; child; child = TreeView_GetNextSibling(tree, child)) {
      texts.push_back(std::wstring(static_cast<size_t>(2 * ALevel), L' ') + view->TreeGetText(child));
      for (const std::wstring& text : TreeTexts(child, ALevel + 1)) texts.push_back(text);
    }
    return texts;
  }
  HTREEITEM FindNode(const std::wstring& AShown) {
    std::function<HTREEITEM(HTREEITEM)> walk = [&](HTREEITEM AParent) -> HTREEITEM {
      HWND tree = view->Tree();
      HTREEITEM child = AParent ? TreeView_GetChild(tree, AParent) : TreeView_GetRoot(tree);
      for (; child; child = TreeView_GetNextSibling(tree, child)) {
        if (view->TreeGetText(child) == AShown) return child;
        if (HTREEITEM found = walk(child)) return found;
      }
      return nullptr;
    };
    return walk(nullptr);
  }
  // Line (from 0) of the first unit line that starts with APrefix.
  intptr_t LineOf(const std::wstring& APrefix) {
    const TStringList lines = view->UnitLines().ToStringList();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].rfind(APrefix, 0) == 0) return static_cast<intptr_t>(i);
    }
    return -1;
  }
  void Jump(const std::wstring& AShown) {
    HTREEITEM node = FindNode(AShown);
    ASSERT_NE(node, nullptr) << testing::PrintToString(AShown);
    TreeView_SelectItem(view->Tree(), node);
    view->TreeDblClick();
  }

  TComPtr<ITypeLib> library;
  std::unique_ptr<TfrmTLBView> view;
};

}  // namespace

TEST_F(Viewer, TreeShowsGroupsKindsAndCountsInLibraryOrder) {
  EXPECT_EQ(TreeTexts(), (std::vector<std::wstring>{
                             L"ViewerLib (Viewer fixture) (8)",
                             L"  Enums (1)",
                             L"    typedef enum Kinds",
                             L"  Structs (1)",
                             L"    typedef struct Gadget",
                             L"  Modules",
                             L"  Interfaces (1)",
                             L"    interface IFoo",
                             L"  Dispinterfaces (2)",
                             L"    dispinterface IFooDisp",
                             L"    dispinterface DEventsDisp",
                             L"  CoClasses (1)",
                             L"    coclass TFoo",
                             L"  Typedefs",
                             L"  Unions",
                         }));
  HTREEITEM root = TreeView_GetRoot(view->Tree());
  EXPECT_TRUE(TreeView_GetItemState(view->Tree(), root, TVIS_EXPANDED) & TVIS_EXPANDED);
  EXPECT_EQ(view->TreeGetImageIndex(root), kLibraryNode);
  EXPECT_EQ(view->TreeGetImageIndex(TreeView_GetChild(view->Tree(), root)), kGroupNode);
  HTREEITEM coclass = FindNode(L"coclass TFoo");
  ASSERT_NE(coclass, nullptr);
  EXPECT_EQ(view->NodeData(coclass)->Text, L"TFoo");
  EXPECT_EQ(view->TreeGetImageIndex(coclass), 5);
}

TEST_F(Viewer, EmptyLibraryShowsItsRootAndEightBareGroups) {
  TfrmTLBView empty(nullptr);
  TComPtr<ICreateTypeLib2> writer;
  ASSERT_EQ(CreateTypeLib2(SYS_WIN32, L"empty.tlb", writer.put()), S_OK);
  writer->SetName(const_cast<LPOLESTR>(L"EmptyLib"));
  TComPtr<ITypeLib> lib;
  ASSERT_EQ(writer->QueryInterface(IID_ITypeLib, lib.put_void()), S_OK);
  empty.FillTree(lib.get());
  HWND tree = empty.Tree();
  HTREEITEM root = TreeView_GetRoot(tree);
  EXPECT_EQ(empty.TreeGetText(root), L"EmptyLib () (8)");
  int groups = 0;
  for (HTREEITEM group = TreeView_GetChild(tree, root); group; group = TreeView_GetNextSibling(tree, group)) {
    EXPECT_EQ(empty.TreeGetText(group), TypeKindGroupNames[groups]);
    ++groups;
  }
  EXPECT_EQ(groups, 8);
}

TEST_F(Viewer, StatusRightAfterOpeningAndTheCaretLineHighlight) {
  const size_t lines = view->UnitLines().ToStringList().size();
  EXPECT_EQ(view->PanelText(1), L"Line: 1   Col: 1   Lines: " + std::to_wstring(lines));
  EXPECT_EQ(view->PanelText(0), L"Ready");
  EXPECT_EQ(view->CurrentLine(), 0);
  COLORREF background = 0;
  EXPECT_TRUE(view->SynMemoSpecialLineColors(0, background));
  EXPECT_EQ(background, RGB(255, 255, 0));
  EXPECT_FALSE(view->SynMemoSpecialLineColors(1, background));
  EXPECT_EQ(view->SynMemo().Call(SCI_GETCARETLINEVISIBLE), 1);
  EXPECT_EQ(view->SynMemo().Call(SCI_GETREADONLY), 1);
  // Panel 0 lines up with the tree.
  RECT tree;
  GetWindowRect(view->Tree(), &tree);
  EXPECT_EQ(view->PanelWidth(0), tree.right - tree.left);
}

TEST_F(Viewer, NoHighlightBeforeTheFirstStatusReport) {
  TfrmTLBView fresh(nullptr);
  COLORREF background = 0;
  EXPECT_EQ(fresh.CurrentLine(), -1);
  EXPECT_FALSE(fresh.SynMemoSpecialLineColors(0, background));
}

TEST_F(Viewer, DoubleClickJumpsToTheDeclaration) {
  TScintilla& editor = view->SynMemo();
  Jump(L"interface IFoo");
  // The interface block, not the dispatch block of the same type.
  intptr_t line = LineOf(L"  IFoo = interface(IDispatch)");
  ASSERT_GT(line, 2);
  EXPECT_EQ(editor.CaretLine(), line);
  // Two lines above it, as far as the editor can scroll.
  intptr_t lastTop = editor.LineCount() - editor.Call(SCI_LINESONSCREEN);
  EXPECT_EQ(editor.FirstVisibleLine(), std::min(line - 2, std::max<intptr_t>(0, lastTop)));
  // The selection is the one character before the match.
  intptr_t matchStart = editor.PositionFromLine(line) + 1;
  EXPECT_EQ(editor.SelectionStart(), matchStart - 1);
  EXPECT_EQ(editor.SelectionEnd(), matchStart);
  EXPECT_EQ(editor.CurrentPos(), matchStart - 1);
  EXPECT_EQ(GetFocus(), editor.Handle());

  Jump(L"dispinterface IFooDisp");
  EXPECT_EQ(editor.CaretLine(), LineOf(L"  IFooDisp = dispinterface"));
  Jump(L"coclass TFoo");
  EXPECT_EQ(editor.CaretLine(), LineOf(L"  TFoo = class(TAutoObject"));
}

TEST_F(Viewer, EnumerationConstantWithATypesNameIsFoundFirst) {
  Jump(L"typedef struct Gadget");
  EXPECT_EQ(view->SynMemo().CaretLine(), LineOf(L"  Gadget = 1;"));
  EXPECT_LT(LineOf(L"  Gadget = 1;"), LineOf(L"  Gadget = record"));
}

TEST_F(Viewer, DoubleClickOnTheRootOrAGroupGoesToTheTop) {
  TScintilla& editor = view->SynMemo();
  editor.GotoPos(editor.PositionFromLine(40));
  Jump(L"ViewerLib (Viewer fixture) (8)");
  EXPECT_EQ(editor.CurrentPos(), 0);
  EXPECT_EQ(editor.FirstVisibleLine(), 0);
  editor.GotoPos(editor.PositionFromLine(30));
  Jump(L"Modules");
  EXPECT_EQ(editor.CurrentPos(), 0);
  EXPECT_EQ(view->PanelText(1).rfind(L"Line: 1   Col: 1", 0), 0u) << testing::PrintToString(view->PanelText(1));
}

TEST_F(Viewer, FindForwardBackwardCaseAndWholeWord) {
  TScintilla& editor = view->SynMemo();
  TBoxes boxes;
  auto find = [&](const std::wstring& AText, DWORD AFlags) {
    view->SetFindText(AText);
    view->FindOptions().Flags = AFlags;
    view->fdFind();
  };
  find(L"ping", FR_DOWN);
  ASSERT_TRUE(boxes.List.empty());
  EXPECT_EQ(editor.SelectedText(), L"Ping");
  intptr_t first = editor.SelectionStart();
  EXPECT_EQ(editor.CurrentPos(), editor.SelectionEnd());
  find(L"ping", FR_DOWN);
  intptr_t second = editor.SelectionStart();
  EXPECT_GT(second, first);
  find(L"ping", 0);  // upward from the caret, which stands at the end of the second match
  EXPECT_EQ(editor.SelectionStart(), second);
  EXPECT_EQ(editor.CurrentPos(), second);
  find(L"ping", 0);
  EXPECT_EQ(editor.SelectionStart(), first);
  editor.GotoPos(0);
  find(L"ping", FR_DOWN | FR_MATCHCASE);
  EXPECT_TRUE(boxes.List.size() == 1 && boxes.List[0].Text == L"Text not found.");
  EXPECT_EQ(boxes.List.back().Caption, L"Information");
  EXPECT_EQ(boxes.List.back().Flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(editor.CurrentPos(), 0);  // the caret stays
  find(L"Gadg", FR_DOWN | FR_WHOLEWORD);
  EXPECT_EQ(boxes.List.size(), 2u);
  find(L"Gadget", FR_DOWN | FR_WHOLEWORD);
  EXPECT_EQ(boxes.List.size(), 2u);
  EXPECT_EQ(editor.SelectedText(), L"Gadget");
}

TEST_F(Viewer, FindNextSearchesDownwardForGood) {
  TBoxes boxes;
  view->cmFindNext();  // before any search: nothing to look for
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Text, L"Text not found.");
  TScintilla& editor = view->SynMemo();
  editor.GotoPos(editor.Length());
  view->SetFindText(L"Release");
  view->FindOptions().Flags = 0;  // upward
  view->fdFind();
  intptr_t last = editor.SelectionStart();
  ASSERT_EQ(editor.CurrentPos(), last);  // an upward match leaves the caret at its start
  view->cmFindNext();
  EXPECT_TRUE(view->FindOptions().Flags & FR_DOWN);
  EXPECT_EQ(editor.SelectionStart(), last);  // downward from its start: the same match
  view->cmFindNext();
  EXPECT_EQ(boxes.List.size(), 2u);  // nothing below it
  editor.GotoPos(0);
  view->fdFind();
  EXPECT_LT(editor.SelectionStart(), last);  // downward from the top: the first one
}

TEST_F(Viewer, FindStartsWithTheWordUnderTheCaret) {
  TScintilla& editor = view->SynMemo();
  editor.GotoPos(editor.PositionFromLine(LineOf(L"  IFoo = interface")) + 3);
  view->cmFind();
  ASSERT_NE(view->FindDialog(), nullptr);
  wchar_t text[64] = {};
  GetDlgItemTextW(view->FindDialog(), edt1, text, 64);
  EXPECT_STREQ(text, L"IFoo");
  editor.GotoPos(editor.PositionFromLine(1));  // an empty line: no word
  view->cmFind();
  GetDlgItemTextW(view->FindDialog(), edt1, text, 64);
  EXPECT_STREQ(text, L"");
  view->Close();
  EXPECT_EQ(view->FindDialog(), nullptr);
}

TEST_F(Viewer, SaveAsWritesTheUnitFileWithTheLibrarysName) {
  TTempDir temp;
  std::wstring suggested;
  view->ExecuteSaveDialog = [&](std::wstring& AFileName) {
    suggested = AFileName;
    AFileName = temp.File(L"out.pas");
    return true;
  };
  SendMessageW(view->Handle(), WM_COMMAND, IDM_TLB_SAVEAS, 0);
  EXPECT_EQ(suggested, L"ViewerLib.pas");
  std::string bytes = ReadFileBytes(temp.File(L"out.pas"));
  EXPECT_EQ(bytes, FormatUnitFile(view->UnitLines()));
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(bytes.substr(bytes.size() - 6), "end.\r\n");
}

TEST_F(Viewer, TheViewMenuSwitchesBetweenTheUnitsAndEveryCommandWorksOnTheTextShown) {
  TScintilla& editor = view->SynMemo();
  const std::wstring annotated = editor.Text();
  HMENU menu = GetMenu(view->Handle());
  EXPECT_TRUE(GetMenuState(menu, IDM_TLB_ANNOTATED, MF_BYCOMMAND) & MF_CHECKED);
  SendMessageW(view->Handle(), WM_COMMAND, IDM_TLB_IMPORT, 0);
  EXPECT_EQ(view->ShownUnit(), TfrmTLBView::TUnitKind::ukImport);
  EXPECT_TRUE(GetMenuState(menu, IDM_TLB_IMPORT, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_FALSE(GetMenuState(menu, IDM_TLB_ANNOTATED, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_EQ(view->UnitName(), L"ViewerLib_TLB");
  EXPECT_EQ(editor.Length(), static_cast<intptr_t>(EditorText(view->UnitLines()).Size));
  EXPECT_NE(editor.Text(), annotated);
  EXPECT_EQ(editor.CaretLine(), 0);

  // The jump finds the full declaration, after the forward one, and a class by its own name.
  Jump(L"interface IFoo");
  EXPECT_EQ(editor.CaretLine(), LineOf(L"  IFoo = interface(IDispatch)"));
  Jump(L"coclass TFoo");
  EXPECT_EQ(editor.CaretLine(), LineOf(L"  Foo = "));

  TTempDir temp;
  std::wstring suggested;
  view->ExecuteSaveDialog = [&](std::wstring& AFileName) {
    suggested = AFileName;
    AFileName = temp.File(L"import.pas");
    return true;
  };
  SendMessageW(view->Handle(), WM_COMMAND, IDM_TLB_SAVEAS, 0);
  EXPECT_EQ(suggested, L"ViewerLib_TLB.pas");
  EXPECT_EQ(ReadFileBytes(temp.File(L"import.pas")), FormatUnitFile(view->UnitLines()));
  EXPECT_NE(ReadFileBytes(temp.File(L"import.pas")).find("unit ViewerLib_TLB;"), std::string::npos);

  // IDL: coloured as C, saved as .idl without a byte order mark, the jump finds the interface.
  SendMessageW(view->Handle(), WM_COMMAND, IDM_TLB_IDL, 0);
  EXPECT_EQ(view->ShownUnit(), TfrmTLBView::TUnitKind::ukIdl);
  EXPECT_EQ(editor.Call(SCI_GETLEXER), SCLEX_CPP);
  EXPECT_NE(editor.Text().find(L"library ViewerLib"), std::wstring::npos);
  Jump(L"interface IFoo");
  EXPECT_EQ(editor.CaretLine(), LineOf(L"    interface IFoo : "));
  SendMessageW(view->Handle(), WM_COMMAND, IDM_TLB_SAVEAS, 0);
  EXPECT_EQ(suggested, L"ViewerLib.idl");
  const std::string idl = ReadFileBytes(temp.File(L"import.pas"));
  EXPECT_EQ(idl, FormatIdlFile(view->UnitLines()));
  EXPECT_NE(idl.substr(0, 3), "\xEF\xBB\xBF");

  // Back: the annotated unit as it was, made once, coloured as Pascal again.
  SendMessageW(view->Handle(), WM_COMMAND, IDM_TLB_ANNOTATED, 0);
  EXPECT_EQ(editor.Text(), annotated);
  EXPECT_EQ(view->UnitName(), L"ViewerLib");
  EXPECT_EQ(editor.Call(SCI_GETLEXER), SCLEX_PASCAL);
}

TEST_F(Viewer, CancelledPrintDialogDoesNothing) {
  view->ExecutePrintDialog = [] { return static_cast<HDC>(nullptr); };
  SendMessageW(view->Handle(), WM_COMMAND, IDM_TLB_PRINT, 0);
  EXPECT_EQ(view->PanelText(0), L"Ready");
}

TEST_F(Viewer, EscapeClosesAndEditorKeysAreRemoved) {
  HACCEL accelerators = view->Accelerators();
  ACCEL table[8];
  int count = CopyAcceleratorTableW(accelerators, table, 8);
  bool escape = false;
  for (int i = 0; i < count; ++i) escape = escape || (table[i].key == VK_ESCAPE && table[i].cmd == IDM_TLB_EXIT);
  EXPECT_TRUE(escape);
  TScintilla& editor = view->SynMemo();
  intptr_t length = editor.Length();
  SendMessageW(editor.Handle(), WM_KEYDOWN, VK_RETURN, 0);
  SendMessageW(editor.Handle(), WM_KEYDOWN, VK_F1, 0);
  EXPECT_EQ(editor.Length(), length);
}

// Typing in the declaration tree: every declaration is found, also in a collapsed group, by its
// name as well as by the text its node shows.
namespace {

class TreeSearch : public Viewer {
 protected:
  void SetUp() override {
    Viewer::SetUp();
    view->Clock = [this] { return now; };
    // A tree a few lines high, so that a found node has to be scrolled to.
    SetWindowPos(view->Handle(), nullptr, 0, 0, 500, 160, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Typed characters reach the tree through the message loop's filter, as keyboard input does.
  void TypeInTree(const std::wstring& AText) {
    for (wchar_t c : AText) {
      MSG msg = {view->Tree(), WM_CHAR, c, 0};
      if (!Application().PreTranslate(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      now += 10;
    }
  }
  void Pause() { now += 1500; }
  std::wstring Selected() { return view->TreeGetText(TreeView_GetSelection(view->Tree())); }
  // The selected node lies in an open group and inside the tree's client area.
  void ExpectSelectedShown() {
    HWND tree = view->Tree();
    HTREEITEM selected = TreeView_GetSelection(tree);
    ASSERT_NE(selected, nullptr);
    for (HTREEITEM parent = TreeView_GetParent(tree, selected); parent; parent = TreeView_GetParent(tree, parent)) {
      EXPECT_TRUE(TreeView_GetItemState(tree, parent, TVIS_EXPANDED) & TVIS_EXPANDED) << view->TreeGetText(parent);
    }
    RECT item = {}, client = {};
    ASSERT_TRUE(TreeView_GetItemRect(tree, selected, &item, TRUE));
    GetClientRect(tree, &client);
    EXPECT_GE(item.top, client.top) << Selected();
    EXPECT_LE(item.bottom, client.bottom) << Selected();
  }

  DWORD now = 5000;
};

}  // namespace

TEST_F(TreeSearch, FindsDeclarationsInCollapsedGroupsByNameOrByTheirWholeText) {
  HWND tree = view->Tree();
  HTREEITEM root = TreeView_GetRoot(tree);
  for (HTREEITEM group = TreeView_GetChild(tree, root); group; group = TreeView_GetNextSibling(tree, group)) {
    ASSERT_FALSE(TreeView_GetItemState(tree, group, TVIS_EXPANDED) & TVIS_EXPANDED) << view->TreeGetText(group);
  }
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"IFoo", L"interface IFoo"},
      {L"interface IF", L"interface IFoo"},
      {L"ifood", L"dispinterface IFooDisp"},
      {L"DEv", L"dispinterface DEventsDisp"},
      {L"tfoo", L"coclass TFoo"},
      {L"typedef s", L"typedef struct Gadget"},
      {L"Kinds", L"typedef enum Kinds"},
      {L"Unions", L"Unions"},
  };
  for (const auto& [typed, found] : cases) {
    TreeView_SelectItem(tree, root);
    TreeView_EnsureVisible(tree, root);
    Pause();
    TypeInTree(typed);
    EXPECT_EQ(Selected(), found) << testing::PrintToString(std::wstring(typed));
    ExpectSelectedShown();
  }
  // The last one was found below what the tree shows at once: it was scrolled to.
  EXPECT_LT(TreeView_GetVisibleCount(tree), 8u);
  EXPECT_NE(TreeView_GetFirstVisible(tree), root);
}

TEST_F(TreeSearch, APauseStartsANewSearchAfterTheSelectedNode) {
  TreeView_SelectItem(view->Tree(), TreeView_GetRoot(view->Tree()));
  TypeInTree(L"IFoo");
  ASSERT_EQ(Selected(), L"interface IFoo");
  // Without a pause the text grows and the selection stays where it still matches.
  TypeInTree(L"D");
  EXPECT_EQ(Selected(), L"dispinterface IFooDisp");
  Pause();
  TypeInTree(L"i");
  EXPECT_EQ(Selected(), L"Interfaces (1)");  // after the last node the search goes on from the top
  Pause();
  TypeInTree(L"i");
  EXPECT_EQ(Selected(), L"interface IFoo");
  Pause();
  TypeInTree(L"nothing like it");
  EXPECT_EQ(Selected(), L"interface IFoo");
  ExpectSelectedShown();
}

// A library whose unit has NUL characters in its lines: everything that shows, finds, saves or
// prints the unit sees it whole.
namespace {

class TextsViewer : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_THROW(WriteTextsLibrary(path));
    ASSERT_TRUE(SUCCEEDED(LoadTypeLibraryFile(path, library)));
    TObjectData data;
    data.Server = path;
    view = CreateTypeLibViewer(nullptr, data, library.get());
    const TStringList lines = view->UnitLines().ToStringList();
    for (const std::wstring& line : lines) {
      ASSERT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos);
      unitText += line + L"\r\n";
    }
    ASSERT_NE(unitText.find(L'\0'), std::wstring::npos);
    unitText.resize(unitText.size() - 2);  // the editor has no line break after the last line
  }
  void TearDown() override { view.reset(); }

  TComInit com;
  TTempDir temp;
  std::wstring path = temp.File(L"texts.tlb");
  TComPtr<ITypeLib> library;
  std::unique_ptr<TfrmTLBView> view;
  std::wstring unitText;
};

}  // namespace

TEST_F(TextsViewer, EditorAndStatusHoldEveryLine) {
  TScintilla& editor = view->SynMemo();
  EXPECT_EQ(editor.Text(), unitText);
  EXPECT_EQ(static_cast<size_t>(editor.Length()), EditorText(view->UnitLines()).Size);
  const size_t lines = view->UnitLines().Count();
  EXPECT_EQ(static_cast<size_t>(editor.LineCount()), lines);
  EXPECT_EQ(view->PanelText(1), L"Line: 1   Col: 1   Lines: " + std::to_wstring(lines));
  EXPECT_EQ(editor.TextRange(editor.PositionFromLine(4), editor.Call(SCI_GETLINEENDPOSITION, 5)),
            std::wstring(kTextsHelpLine1) + L"\r\n" + kTextsHelpLine2);
}

TEST_F(TextsViewer, FindAndJumpReachTheTextBehindANul) {
  TScintilla& editor = view->SynMemo();
  TBoxes boxes;
  view->SetFindText(kTextAfterNul);
  view->FindOptions().Flags = FR_DOWN | FR_MATCHCASE;
  view->fdFind();
  EXPECT_TRUE(boxes.List.empty());
  EXPECT_EQ(editor.SelectedText(), kTextAfterNul);
  const TStringList lines = view->UnitLines().ToStringList();
  auto lineOf = [&](const std::wstring& APrefix) {
    auto found = std::find_if(lines.begin(), lines.end(), [&](const std::wstring& ALine) {
      return ALine.starts_with(APrefix);
    });
    return static_cast<intptr_t>(found - lines.begin());
  };
  EXPECT_EQ(editor.CaretLine(), lineOf(L"  mkNul = "));

  HTREEITEM node = nullptr;
  HWND tree = view->Tree();
  for (HTREEITEM item = TreeView_GetRoot(tree); item && !node; item = TreeView_GetNextVisible(tree, item)) {
    TreeView_Expand(tree, item, TVE_EXPAND);
    if (view->TreeGetText(item) == L"interface ITexts") node = item;
  }
  ASSERT_NE(node, nullptr);
  TreeView_SelectItem(tree, node);
  view->TreeDblClick();
  EXPECT_EQ(editor.CaretLine(), lineOf(L"  ITexts = interface(IDispatch)"));
}

TEST_F(TextsViewer, SaveAsWritesTheBytesTheEditorShows) {
  view->ExecuteSaveDialog = [&](std::wstring& AFileName) {
    AFileName = temp.File(L"out.pas");
    return true;
  };
  SendMessageW(view->Handle(), WM_COMMAND, IDM_TLB_SAVEAS, 0);
  const std::string bytes = ReadFileBytes(temp.File(L"out.pas"));
  EXPECT_EQ(bytes, "\xEF\xBB\xBF" + ToUtf8(view->SynMemo().Text()) + "\r\n");
  EXPECT_NE(bytes.find('\0'), std::string::npos);
}

TEST_F(TextsViewer, PrintingTakesTheWholeText) {
  TUnitPrinter printer(view->Handle());
  printer.SetText(view->SynMemo().Text());
  EXPECT_EQ(printer.Text(), unitText);
}

TEST(ViewerNames, ANameWithALineBreakIsOneLineInTheTreeAndTheUnit) {
  TFakeLibrary lib;
  lib.Name = L"Broken";
  TFakeType record;
  record.Name = L"Two\r\nLines";
  record.Kind = TKIND_RECORD;
  lib.Types = {record};
  std::unique_ptr<TfrmTLBView> view = CreateTypeLibViewer(nullptr, TObjectData(), lib.Lib());
  HWND tree = view->Tree();
  HTREEITEM structs = TreeView_GetNextSibling(tree, TreeView_GetChild(tree, TreeView_GetRoot(tree)));
  HTREEITEM leaf = TreeView_GetChild(tree, structs);
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(view->TreeGetText(leaf), L"typedef struct Two  Lines");
  TreeView_SelectItem(tree, leaf);
  view->TreeDblClick();
  const TStringList lines = view->UnitLines().ToStringList();
  TScintilla& editor = view->SynMemo();
  ASSERT_LT(static_cast<size_t>(editor.CaretLine()), lines.size());
  EXPECT_EQ(lines[static_cast<size_t>(editor.CaretLine())], L"  Two  Lines = record");
  EXPECT_EQ(static_cast<size_t>(editor.LineCount()), lines.size());
}

// Viewer runs through OpenTypeLibViewer: the hook sees the filled viewer and closes it.
namespace {

struct TRun {
  bool Opened = false;
  std::wstring Caption;
  std::wstring Header[4];
};

TRun RunViewer(const TObjectData& AData) {
  TRun run;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    run.Opened = true;
    run.Caption = AViewer.Caption();
    TStringList lines = AViewer.UnitLines().ToStringList();
    for (size_t i = 0; i < 4 && i < lines.size(); ++i) run.Header[i] = lines[i];
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  OpenTypeLibViewer(AData);
  SetTypeLibViewerHook(nullptr);
  return run;
}

}  // namespace

TEST(ViewerRun, FileRecordOpensTheFile) {
  TBoxes boxes;
  TObjectData data;
  data.Server = FixturePath();
  TRun run = RunViewer(data);
  EXPECT_TRUE(boxes.List.empty());
  ASSERT_TRUE(run.Opened);
  EXPECT_EQ(run.Caption, L"ITypeLib Viewer - []");
  EXPECT_EQ(run.Header[0], L"// typelib filename: " + FixturePath());
  EXPECT_EQ(run.Header[2], L"// uid: ");
  EXPECT_EQ(run.Header[3], L"// version: 0.0");
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
}

TEST(ViewerRun, RegisteredLibraryByGuidAndVersion) {
  TRegistryFixture reg;
  reg.SetString(std::wstring(L"TypeLib\\") + kFixtureGuid + L"\\1.0", L"", L"ViewerLib");
  reg.SetString(std::wstring(L"TypeLib\\") + kFixtureGuid + L"\\1.0\\0\\win32", L"", FixturePath());
  TBoxes boxes;
  TObjectData data;
  data.Name = L"Viewer fixture";
  data.TypeLib = kFixtureGuid;
  data.MajorVersion = 65537;  // asked for as version 1
  data.MinorVersion = 0;
  data.Server = L"C:\\no\\such.tlb";
  TRun run = RunViewer(data);
  EXPECT_TRUE(boxes.List.empty());
  ASSERT_TRUE(run.Opened);
  EXPECT_EQ(run.Caption, L"ITypeLib Viewer - [Viewer fixture]");
  EXPECT_EQ(run.Header[2], std::wstring(L"// uid: ") + kFixtureGuid);
  EXPECT_EQ(run.Header[3], L"// version: 65537.0");  // the record's numbers, as they are
}

TEST(ViewerRun, UnregisteredVersionFallsBackToTheFileSilently) {
  TRegistryFixture reg;
  reg.SetString(std::wstring(L"TypeLib\\") + kFixtureGuid + L"\\1.0\\0\\win32", L"", FixturePath());
  TBoxes boxes;
  TObjectData data;
  data.TypeLib = kFixtureGuid;
  data.MajorVersion = 7;
  data.Server = FixturePath();
  TRun run = RunViewer(data);
  EXPECT_TRUE(boxes.List.empty());
  EXPECT_TRUE(run.Opened);
}

TEST(ViewerRun, NothingToLoadShowsTheNotImplementedMessage) {
  TBoxes boxes;
  TObjectData data;
  data.Server = L"C:\\no\\such\\file.tlb";
  TRun run = RunViewer(data);
  EXPECT_FALSE(run.Opened);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Caption, L"Error");
  EXPECT_EQ(boxes.List[0].Text, OleErrorText(E_NOTIMPL));
  EXPECT_NE(boxes.List[0].Text.find(L"(Error code: 0x80004001)"), std::wstring::npos);
  EXPECT_EQ(boxes.List[0].Cursor, TCursor::crDefault);
}

TEST(ViewerRun, MalformedGuidTravelsToTheCaller) {
  TObjectData data;
  data.TypeLib = L"{not a guid}";
  data.Server = FixturePath();
  EXPECT_THROW(OpenTypeLibViewer(data), EConvertError);
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
}

// From the main window: the entry commands and the double-click.
class MainWindowViewer : public testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TfrmMain>();
    Application().SetMainForm(form.get());
  }
  void TearDown() override {
    Application().SetMainForm(nullptr);
    form.reset();
    SetTypeLibViewerHook(nullptr);
  }
  bool Select(TObjectType AType, const std::wstring& AGuid) {
    TreeView_Expand(form->Tree(), form->RootOf(AType), TVE_EXPAND);
    for (HTREEITEM item : form->ChildrenOf(AType)) {
      if (form->ListOf(AType)[static_cast<size_t>(form->NodeData(item).Index)].GUID == AGuid) {
        TreeView_SelectItem(form->Tree(), item);
        return true;
      }
    }
    return false;
  }
  std::unique_ptr<TfrmMain> form;
};

TEST_F(MainWindowViewer, ViewTypeInformationOfAClass) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"Viewed Class");
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", FixturePath());
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  std::wstring caption, status;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    caption = AViewer.Caption();
    status = form->StatusText();
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  SendMessageW(form->Handle(), WM_COMMAND, IDM_VIEWTLB, 0);
  EXPECT_EQ(caption, L"ITypeLib Viewer - [Viewed Class]");
  EXPECT_EQ(status, L"Working...");
  EXPECT_EQ(form->StatusText(), L"Ready");
}

TEST_F(MainWindowViewer, ApplicationIdEndsInTheLoadError) {
  TRegistryFixture reg;
  std::wstring app = NewGuid();
  reg.SetString(L"AppID\\" + app, L"", L"Viewed App");
  ASSERT_TRUE(Select(TObjectType::otAppID, app));
  TBoxes boxes;
  SendMessageW(form->Handle(), WM_COMMAND, IDC_VIEW, 0);  // as the double-click does, whatever is enabled
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Text, OleErrorText(E_NOTIMPL));
  EXPECT_EQ(form->StatusText(), L"Ready");
}

TEST_F(MainWindowViewer, MalformedTypeLibReachesTheStandardErrorBox) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid + L"\\TypeLib", L"", L"not-a-guid");
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  TBoxes boxes;
  SendMessageW(form->Handle(), WM_COMMAND, IDM_VIEWTLB, 0);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Caption, L"Vantrel");
  EXPECT_EQ(boxes.List[0].Text, L"'not-a-guid' is not a valid GUID value");
  EXPECT_EQ(form->StatusText(), L"Ready");
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
}

TEST_F(MainWindowViewer, ViewTypeLibOpensTheChosenFile) {
  std::wstring caption;
  form->ExecuteOpenDialog = [&](std::wstring& AFileName) {
    AFileName = FixturePath();
    return true;
  };
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    caption = AViewer.Caption();
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  SendMessageW(form->Handle(), WM_COMMAND, IDM_VIEWTYPELIB, 0);
  EXPECT_EQ(caption, L"ITypeLib Viewer - []");
  form->ExecuteOpenDialog = [](std::wstring&) { return false; };
  caption.clear();
  SendMessageW(form->Handle(), WM_COMMAND, IDM_VIEWTYPELIB, 0);
  EXPECT_EQ(caption, L"");
}

TEST_F(MainWindowViewer, CommandsOnARootDoNothing) {
  TreeView_SelectItem(form->Tree(), form->RootOf(TObjectType::otCLSID));
  bool opened = false;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    opened = true;
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  TBoxes boxes;
  SendMessageW(form->Handle(), WM_COMMAND, IDM_VIEWTLB, 0);
  EXPECT_FALSE(opened);
  EXPECT_TRUE(boxes.List.empty());
}
