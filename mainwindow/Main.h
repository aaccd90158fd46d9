// The main window: the catalog tree, the details of the selected entry, and the commands.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "forms/Zarvek.Forms.Splitter.h"
#include "forms/Zarvek.LayoutManager.Form.h"

namespace vantrel {

// What a catalog tree node stands for.
struct TCatalogNodeData {
  std::wstring Text;  // the root's caption, or the entry's name
  TObjectType Typ = TObjectType::otCLSID;
  int Index = -1;  // position of the entry in its list; -1 for roots
  std::wstring Server;
};

// The match rule of the incremental search: the shorter length decides how many characters are
// compared, ignoring the case of ASCII letters.
bool IncrementalSearchMatches(std::wstring_view ATyped, std::wstring_view AText);

// The order of a root's children: lower-cased (ASCII letters only) names compared code unit by
// code unit; equal names keep their list order.
std::vector<int> SortedEntryOrder(const TObjects& AList);

class TfrmMain : public TLMForm {
 public:
  // AParams: the command-line parameters (without the program name).
  explicit TfrmMain(const TStringList& AParams);
  ~TfrmMain() override;

  // Exit code requested by the command line; meaningful when the application was terminated.
  int ExitCode() const { return FExitCode; }

  // The four roots, in the order they are shown, and the lists behind them.
  HTREEITEM OCRoot = nullptr, AIRoot = nullptr, TLRoot = nullptr, IFRoot = nullptr;
  TObjects OCList, TLList, AIList, IFList;
  TStringList Environment;

  HWND Tree() const { return FTree; }
  HWND StatusBar() const { return FStatusBar; }
  std::wstring StatusText() const;
  TCatalogNodeData NodeData(HTREEITEM ANode) const;
  HTREEITEM RootOf(TObjectType AType) const;
  TObjects& ListOf(TObjectType AType);
  // Child nodes of a root in display order.
  const std::vector<HTREEITEM>& ChildrenOf(TObjectType AType) const;

  // Commands and handlers.
  void CreateTree();
  void FillKey(HTREEITEM ARoot, const TObjects& AData);
  void TreeExpanding(HTREEITEM ANode);
  void TreeChange(HTREEITEM ANode);
  // Feeds one typed character to the incremental search; true when a node was selected.
  bool TreeIncrementalSearch(wchar_t AChar);
  void Refresh();
  void cmRefresh();
  void cmSave(int ATag);
  void cmExit();

  // The catalog loader (LoadList); tests may replace it.
  std::function<void(TObjectType AType, TObjects& AList)> Loader = LoadList;
  // Replaceable file dialog (tests answer it without a window). Returns false when cancelled.
  std::function<bool(std::wstring& AFileName)> ExecuteSaveDialog;

 protected:
  void Command(int AId, int ACode, HWND AControl) override;
  LRESULT Notify(NMHDR* AHeader) override;
  bool PreTranslateMessage(MSG& AMsg) override;
  void DoShow() override;
  void Resize() override;
  void DpiChanged() override;
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;

 private:
  void FormCreate(const TStringList& AParams);
  bool RunCommandLine(const TStringList& AParams);
  void CreateControls();
  void CreateImageLists();
  void ApplyFonts();
  void SetStatus(const std::wstring& AText);
  void RepaintNow();
  void AddRoot(TObjectType AType, HTREEITEM& ARoot);
  void KeepExpandButton(HTREEITEM ARoot);
  bool DefaultSaveDialog(std::wstring& AFileName);

  int FExitCode = 0;
  HWND FTree = nullptr;
  HWND FIcon = nullptr;
  HWND FName = nullptr;
  HWND FGuid = nullptr;
  HWND FStatusBar = nullptr;
  std::unique_ptr<TSplitter> FSplitter;
  int FTreeWidth96 = 401;  // tree width at 96 dots per inch
  HIMAGELIST FTreeImages = nullptr;
  HIMAGELIST FLargeImages = nullptr;
  TFont FBoldFont;
  // Children of each root in display order, and their list indices; by TObjectType.
  std::array<std::vector<HTREEITEM>, 4> FChildren;
  std::array<std::vector<int>, 4> FChildIndex;
  std::wstring FSearchText;
  DWORD FLastSearchKey = 0;
  HICON FShownIcon = nullptr;
};

// The program block: locale, title, main window, message loop. Returns the exit code.
int RunProgram(const TStringList& AParams);

}  // namespace vantrel
