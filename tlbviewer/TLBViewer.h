// The type library viewer: the library's declarations as a tree beside the generated import unit.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <oaidl.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "forms/Zarvek.Forms.Splitter.h"
#include "forms/Zarvek.Forms.TreeSearch.h"
#include "forms/Zarvek.LayoutManager.Form.h"
#include "tlbviewer/ScintillaEdit.h"
#include "generators/TLBGenerator.h"
#include "tlbviewer/UnitPrinter.h"

namespace vantrel {

// What a declaration tree node stands for: a type's declaration name (kinds 0 to 7), the
// library (8) or a group (9).
struct TTypeNodeData {
  std::wstring Text;
  int Kind = 0;
};

extern const wchar_t* const TypeKindGroupNames[8];
extern const wchar_t* const TypeKindWords[8];
constexpr int kLibraryNode = 8;
constexpr int kGroupNode = 9;

class TfrmTLBView : public TLMForm {
 public:
  // Creates the window (hidden) owned by AOwner.
  explicit TfrmTLBView(HWND AOwner);
  ~TfrmTLBView() override;

  // Fills the empty tree from the library.
  void FillTree(ITypeLib* OTL);

  // Tree requests and events.
  std::wstring TreeGetText(HTREEITEM ANode) const;
  int TreeGetImageIndex(HTREEITEM ANode) const;
  const TTypeNodeData* NodeData(HTREEITEM ANode) const;
  void TreeDblClick();
  void TreeResize();
  // Feeds one typed character to the tree's search, which reaches declarations in collapsed
  // groups and finds them by their name too; true when a node was selected.
  bool TreeIncrementalSearch(wchar_t AChar);

  // Editor requests and events. Lines count from 0 here, as the editor counts them.
  bool SynMemoSpecialLineColors(intptr_t ALine, COLORREF& ABackground) const;
  void SynMemoStatusChange();

  void cmFind();
  void fdFind();
  void cmFindNext();
  void cmPrint();
  void cmSaveAs();
  void cmExit();

  HWND Tree() const { return FTree; }
  TScintilla& SynMemo() const { return *FSynMemo; }
  std::wstring PanelText(int APanel) const;
  int PanelWidth(int APanel) const;
  int CurrentLine() const { return FCurrentLine; }

  // The texts the editor can show: the annotated unit (a reading aid), the import unit that
  // compiles, and the library's IDL.
  enum class TUnitKind { ukAnnotated = 0, ukImport = 1, ukIdl = 2 };
  // The library the viewer shows, from which the texts not yet shown are made when asked for.
  void SetLibrary(const TObjectData& AData, ITypeLib* ALibrary);
  // Shows a text in the editor, making it first when needed; find, jump, print and Save As work
  // on the text shown.
  void ShowUnit(TUnitKind AKind);
  TUnitKind ShownUnit() const { return FShown; }

  // The text shown: its lines (kept for "Save As...") and its unit name.
  TLineList& UnitLines() { return FUnits[static_cast<int>(FShown)].Lines; }
  std::wstring& UnitName() { return FUnits[static_cast<int>(FShown)].Name; }

  // The find dialog's state.
  FINDREPLACEW& FindOptions() { return FFind; }
  HWND FindDialog() const { return FFindDialog; }
  void SetFindText(const std::wstring& AText);

  // Replaceable dialogs (tests answer them without a window). The print dialog returns a
  // printer's device context (the caller deletes it), or null when cancelled.
  std::function<HDC()> ExecutePrintDialog;
  std::function<bool(std::wstring& AFileName)> ExecuteSaveDialog;
  // Milliseconds since some start, for the pause that begins a new search in the tree; tests
  // replace it to pause without waiting.
  std::function<DWORD()> Clock = [] { return GetTickCount(); };

 protected:
  void Command(int AId, int ACode, HWND AControl) override;
  LRESULT Notify(NMHDR* AHeader) override;
  void Resize() override;
  void DpiChanged() override;
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;
  bool PreTranslateMessage(MSG& AMsg) override;
  void DoClose(TCloseAction& AAction) override;

 private:
  void FormCreate();
  // The viewer comes back where the user left it, with the tree as wide as it was.
  void KeepLayout();
  void CreateImageList();
  void ApplyEditorSettings();
  void SetStatus(int APanel, const std::wstring& AText);
  HTREEITEM AddNode(HTREEITEM AParent, std::wstring AText, int AKind);
  void CloseFindDialog();
  void ShowUnitText();
  HDC DefaultPrintDialog();

  HWND FTree = nullptr;
  std::unique_ptr<TSplitter> FSplitter;
  std::unique_ptr<TScintilla> FSynMemo;
  HWND FStatusBar = nullptr;
  HIMAGELIST FImageList = nullptr;  // shared by every viewer, not owned
  std::vector<TTypeNodeData> FNodes;
  std::vector<HTREEITEM> FNodeItems;
  intptr_t FCurrentLine = -1;
  struct TUnitText {
    TLineList Lines;
    std::wstring Name;
    bool Made = false;
  };
  TUnitText FUnits[3];
  TUnitKind FShown = TUnitKind::ukAnnotated;
  TObjectData FData;
  TComPtr<ITypeLib> FLibrary;
  FINDREPLACEW FFind = {};
  wchar_t FFindText[256] = {};
  HWND FFindDialog = nullptr;
  UINT FFindMessage = 0;
  TTreeIncrementalSearch FTreeSearch;
};

// The editor's text for the unit's lines: UTF-8, CR LF between the lines (none after the last).
// NUL characters of the lines are part of it, so it is no C string.
struct TUtf8Text {
  std::unique_ptr<char[]> Data;
  size_t Size = 0;
  std::string_view View() const { return std::string_view(Data.get(), Size); }
};
TUtf8Text EditorText(const TLineList& ALines);

// Loads the library the record points to, as the registry view AView registers it, and shows it
// in a modal viewer; reports a library that cannot be loaded in an error box. Returns when the
// viewer has closed. When the reader's sandbox cannot be applied, asks once per run of the program
// whether to read without it.
void OpenTypeLibViewer(const TObjectData& AData, TRegView AView = ProcessRegView());

// Tests only: the next read that cannot be sandboxed asks again whether to read without the sandbox,
// as in a new run of the program.
void ForgetUnsandboxedAnswer();

// A viewer filled for the record's library, not yet shown: caption, declaration tree (what it holds
// when reading the library fails part way), the unit in the editor, the status line. What
// OpenTypeLibViewer shows; raises the generator's errors.
std::unique_ptr<TfrmTLBView> CreateTypeLibViewer(HWND AOwner, const TObjectData& AData, ITypeLib* ALibrary);

// Seam for tests: called with the viewer after it was filled, before its modal run; a hook that
// posts WM_CLOSE to the viewer ends that run at once.
void SetTypeLibViewerHook(std::function<void(TfrmTLBView& AViewer)> AHook);

}  // namespace vantrel
