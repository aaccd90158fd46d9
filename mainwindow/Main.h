// The main window: the catalog tree, the details of the selected entry, and the commands.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "catalog/RegisteredValues.h"
#include "catalog/RegistrationCheck.h"
#include "catalog/SearchIndex.h"
#include "catalog/ServerPaths.h"
#include "controls/Zarvek.Control.TabPanel.h"
#include "forms/Zarvek.Forms.Splitter.h"
#include "forms/Zarvek.Forms.TreeSearch.h"
#include "forms/Zarvek.LayoutManager.Form.h"
#include "mainwindow/BackgroundWork.h"
#include "mainwindow/CatalogWork.h"
#include "mainwindow/RegistryView.h"
#include "mainwindow/ResultList.h"

namespace vantrel {

// The catalogs in the order of their roots in the tree.
inline constexpr TObjectType kRootOrder[] = {TObjectType::otCLSID, TObjectType::otAppID, TObjectType::otTypeLib,
                                             TObjectType::otInterface};

// What a catalog tree node stands for.
struct TCatalogNodeData {
  std::wstring Text;  // the root's caption, or the entry's name
  TObjectType Typ = TObjectType::otCLSID;
  int Index = -1;  // position of the entry in its list; -1 for roots
  std::wstring Server;
};

// The order of a root's children: lower-cased (ASCII letters only) names compared code unit by
// code unit; equal names keep their list order.
std::vector<int> SortedEntryOrder(const TObjects& AList);

// What the tree shows after the name of an entry whose key may not be read.
inline constexpr wchar_t kUnreadableMarker[] = L" (cannot be read)";
// "2 entries of Object Classes cannot be read: access denied"; empty when all can be.
std::wstring UnreadableNote(const TObjects& AList, TObjectType AType);

// A type library of a file for a choice: "2: PensLib – Pens of the drawing tools", read by the
// reader process; a library that cannot be read says so.
// Read while AOwner waits, with the progress window a long read shows; empty when the user
// cancelled the read.
std::optional<std::wstring> TypeLibraryChoiceText(HWND AOwner, const std::wstring& AFile, int ANumber);

// Which commands an entry allows.
struct TCommandStates {
  bool Register = false;        // bReg, bUnreg, "Register Server", "Unregister Server"
  bool CreateInstance = false;  // "Create instance"
  bool View = false;            // bView, "View Type Information..."
  bool operator==(const TCommandStates&) const = default;
};
TCommandStates CommandStates(const TObjectData& AData);

// A library's versions, highest first (numbers compared; keys that are no version last).
std::vector<TTypeLibVersion> SortedTypeLibVersions(std::vector<TTypeLibVersion> AVersions);

// The file and icon index of an entry's icon: the file before the first comma of DefaultIcon and
// the integer after it, or the server with index 0. Raises EConvertError for an index that is not
// an integer.
void IconReference(const TObjectData& AData, std::wstring& AFile, int& AIndex);

// What the memo shows of a registry line: the whole line, or for a line longer than kMemoLimit
// (a megabyte of binary data, say) its start and how much was left out; the edit control would
// take minutes to wrap more.
constexpr size_t kMemoLimit = 65536;
std::wstring MemoText(const std::wstring& ALine);

// The text "Copy to Clipboard" puts on the clipboard.
std::wstring DetailsText(const std::wstring& AName, const std::wstring& AGuid,
                         const std::vector<TRegistryView::TLineRef>& ALines);

// Where Create instance asks COM to run the object: wherever COM chooses, in-process only, or in
// a local server only.
enum class TCreateContext : uint8_t { ccAny, ccInProcess, ccLocalServer };

// The context Create instance asks COM for: the server of the registry view shown. An in-process
// server can only be of the process's own bitness, so the other view asks for a local server (or
// a surrogate) of that bitness.
DWORD CreateInstanceContext(TRegView AView, TCreateContext AContext = TCreateContext::ccAny);

// What Create instance found out: a text for the status bar, or an error for the error box.
struct TCreateOutcome {
  bool Failed = false;
  std::wstring Text;
};
// Creates a new instance of the class AData names by its CLSID (never an object already running),
// reports what COM created it as (TreatAs) and what it converts to (AutoConvertTo), and, apart
// from the creation, whether it offers type information. The instance is released before it
// returns.
TCreateOutcome CreateInstanceOf(const TObjectData& AData, TRegView AView, TCreateContext AContext);

class TfrmMain : public TLMForm {
 public:
  // AView: the registry view shown at start, which then stays whatever the window remembers;
  // without one, the view the window remembers, else the process's own.
  explicit TfrmMain(std::optional<TRegView> AView = std::nullopt);
  ~TfrmMain() override;

  TStringList Environment;

  HWND Tree() const { return FTree; }
  HWND StatusBar() const { return FStatusBar; }
  std::wstring StatusText() const;
  // The registry view on screen, and its name in the status bar.
  TRegView View() const { return FView; }
  std::wstring ViewStatusText() const;
  // True while a registration program runs.
  bool Registering() const { return FRegistering; }
  TCatalogNodeData NodeData(HTREEITEM ANode) const;
  // The catalog of a kind: its root node and the list behind it.
  HTREEITEM RootOf(TObjectType AType) const { return Branch(AType).Root; }
  TObjects& ListOf(TObjectType AType) { return Branch(AType).List; }
  const TObjects& ListOf(TObjectType AType) const { return Branch(AType).List; }
  // Child nodes of a root in display order.
  const std::vector<HTREEITEM>& ChildrenOf(TObjectType AType) const;

  // The search and the registration check.
  HWND SearchField() const { return FSearch; }
  TResultList& Results() const { return *FResults; }
  // True while the result list stands in place of the tree.
  bool ResultsShown() const { return FResultsShown; }
  const TSearchIndex& SearchIndex() const { return FIndex; }
  // True from the start of the search index, or of the check, until the window has taken in its
  // end.
  bool Indexing() const { return FIndexing; }
  bool Checking() const { return FChecking; }
  // The problems of the last check that ran to its end in the view shown.
  const std::optional<TRegistrationProblems>& Problems() const { return FProblems; }
  // The progress bar of the status bar: visible while work runs on another thread.
  HWND ProgressBar() const { return FProgress; }

  // Commands and handlers.
  void cmFind();
  void SearchChange();
  // Keys of the search field that the edit control does not handle; true when handled.
  bool SearchKeyDown(const MSG& AMsg);
  // The tree in place of the result list again, with the entry last chosen in the list selected.
  void CloseResults();
  void ResultsSelect(const TResultRow& ARow);
  void cmCheckRegistrations();
  void cmSaveProblems();
  void CreateTree();
  void FillKey(HTREEITEM ARoot, const TObjects& AData);
  void TreeExpanding(HTREEITEM ANode);
  void TreeChange(HTREEITEM ANode);
  // Feeds one typed character to the incremental search; true when a node was selected.
  bool TreeIncrementalSearch(wchar_t AChar);
  void Refresh();
  void cmRefresh();
  // Shows the catalogs of the other registry view: all four are read again in it.
  void cmRegistryView(TRegView AView);
  void cmSave(int ATag);
  void cmExit();
  void cmAbout();
  void cmViewTLB();
  void cmViewTypeLib();
  void bRegClick(bool AUnregister);
  void cmCreateInst(TCreateContext AContext = TCreateContext::ccAny);
  void bCopyClick();
  void mmHexClick();
  // Asks for the time limit of type library reads; the one taken holds at once and is kept.
  void cmReadTimeLimit();
  void RegTreeChange(const TRegistryNodeData* ALine);
  // A double-click or Enter on a line of the registry view: a version of a library opens.
  void RegTreeOpen(const TRegistryNodeData& ALine);
  bool DisplayBinaryAsHex() const;

  // The details pane.
  TTabPanel& TabPanel() const { return *FTabPanel; }
  TRegistryView& RegTree() const { return *FRegTree; }
  HWND Memo() const { return FMemo; }
  std::wstring NameText() const;
  std::wstring GuidText() const;
  // The icon shown in the header: an extracted icon, or else the index of a kind's image.
  HICON ShownIcon() const { return FShownIcon.get(); }
  int ShownImage() const { return FShownImage; }

  // The catalog loader (LoadList in the view shown); tests may replace it.
  std::function<void(TObjectType AType, TObjects& AList)> Loader;
  // What the search index's and the check's threads read with (a copy each); tests may replace it.
  TCatalogWorkReaders WorkReaders;
  // Milliseconds since some start, for the pause that begins a new incremental search; tests
  // replace it to pause without waiting.
  std::function<DWORD()> Clock = [] { return GetTickCount(); };
  // Replaceable file dialog (tests answer it without a window). Returns false when cancelled.
  std::function<bool(std::wstring& AFileName)> ExecuteSaveDialog;
  std::function<bool(std::wstring& AFileName)> ExecuteOpenDialog;
  // Which of several libraries in a file to open: the index of the choice, or -1.
  std::function<int(const std::wstring& AFile, const std::vector<std::wstring>& AChoices)> ChooseTypeLibrary;
  // Where the program keeps its settings (the reading time limit), below HKEY_CURRENT_USER; tests
  // point it elsewhere.
  std::wstring SettingsKey = L"Software\\Vantrel";
  // A registration program that has run this long without ending is the user's to stop; asked with
  // AskKeepWaiting (true: wait as long again).
  DWORD RegistrationTimeLimitMs = 30000;
  std::function<bool(const std::wstring& AQuestion)> AskKeepWaiting;
  // Whether registration programs run without asking for administrator rights, and how they start
  // when they must ask; tests replace both.
  std::function<bool()> ProcessElevated = [] { return IsProcessElevated(); };
  std::function<THandle(const std::wstring& AProgram, const std::wstring& AParameters, const std::wstring& ADirectory)>
      StartElevated;
  // True while Register and Unregister carry the shield of commands that ask for administrator rights.
  bool ShieldShown() const { return FShieldShown; }

 protected:
  void Command(int AId, int ACode, HWND AControl) override;
  LRESULT Notify(NMHDR* AHeader) override;
  bool PreTranslateMessage(MSG& AMsg) override;
  void DoShow() override;
  void Resize() override;
  void DpiChanged() override;
  void DoClose(TCloseAction& AAction) override;
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;

 private:
  void FormCreate();
  void CreateControls();
  void CreateImageLists();
  void ApplyFonts();
  void SetStatus(const std::wstring& AText);
  void CreateDetailsPane();
  void LayoutDetails(RECT AChildArea);
  void EnableCommands(const TCommandStates& AStates);
  void ApplyCommandStates();
  void ClearDetails();
  void ShowRegistryView();
  void LayoutStatusBar();
  void RunRegistration(const TRegistrationCommand& ACommand, bool AUnregister);
  // The entry on screen read again, after a registration changed what it registers.
  void RereadShownEntry();
  void ShowIcon(TIcon AIcon);
  void SearchIcon(const TObjectData& AData);
  TObjectData* FocusedEntry();
  void RepaintNow();
  void AddRoot(TObjectType AType);
  void KeepExpandButton(HTREEITEM ARoot);
  // Shows an entry in the details pane: its header, registry subtrees, commands and icon.
  void ShowEntry(TObjectType AType, int AIndex);
  // Shows the key a problem of no catalog entry lies in (a ProgID left behind) in the details pane.
  void ShowProblemKey(const TRegistrationProblem& AProblem);
  // The status bar says how many entries of the catalogs given cannot be read, when any.
  void ShowUnreadableNote(std::initializer_list<TObjectType> AKinds);
  // The versions of a type library at the top of the registry view, each with its files.
  void AddVersionList(const TObjectData& AData);
  // The entry to open in the viewer: for a library, the version of the line given, when it is one.
  TObjectData VersionRecord(const TObjectData& AEntry, const TRegistryNodeData* ALine) const;
  void OpenViewer(const TObjectData& AData);
  void PlaceLeftPane(int AWidth, int AHeight);
  void ShowResults(TResultList::TMode AMode);
  std::wstring ResultCellText(const TResultRow& ARow, int AColumn) const;
  int EntryIndexByGuid(TObjectType AType, const std::wstring& AGuid);
  void SelectInTree(TObjectType AType, int AIndex);
  void StartIndex();
  void StopIndex();
  void IndexMail(WPARAM AGeneration);
  void CheckMail(WPARAM AGeneration);
  void ShowSearchStatus();
  void ShowProgress(size_t ADone, size_t ATotal);
  void HideProgress();
  void SaveProblemsAs(const TRegistrationProblems& AProblems);
  // The work of another thread that the catalogs being read again make stale.
  void StopCatalogWork();

  HWND FTree = nullptr;
  HWND FIcon = nullptr;
  HWND FName = nullptr;
  HWND FGuid = nullptr;
  HWND FStatusBar = nullptr;
  std::unique_ptr<TSplitter> FSplitter;
  TImageList FTreeImages;
  TImageList FLargeImages;
  TFont FBoldFont;
  // Children of each root in display order, and their list indices; by TObjectType.
  // One catalog of the tree: its root node, its list, and the root's children in display order
  // with their positions in the list.
  struct TCatalogBranch {
    HTREEITEM Root = nullptr;
    TObjects List;
    std::vector<HTREEITEM> Children;
    std::vector<int> ChildIndex;
  };
  TCatalogBranch& Branch(TObjectType AType) { return FBranches[static_cast<size_t>(AType)]; }
  const TCatalogBranch& Branch(TObjectType AType) const { return FBranches[static_cast<size_t>(AType)]; }
  std::array<TCatalogBranch, 4> FBranches;  // by TObjectType
  bool FFocusingTree = false;
  TTreeIncrementalSearch FTreeSearch;
  TIcon FShownIcon;
  int FShownImage = -1;
  std::unique_ptr<TTabPanel> FTabPanel;
  std::unique_ptr<TRegistryView> FRegTree;
  HWND FMemo = nullptr;
  TRegView FView;
  bool FViewGiven;
  // The commands the selected entry allows; a running registration disables them all.
  TCommandStates FEntryStates;
  bool FRegistering = false;
  bool FShieldShown = false;
  std::wstring FRegistrationStatus;
  HWND FViewButton = nullptr, FCopy = nullptr, FReg = nullptr, FUnreg = nullptr;

  // The entry the details pane shows, and the one last chosen in the result list.
  struct TEntryRef {
    TObjectType Typ = TObjectType::otCLSID;
    int Index = -1;
  };
  TEntryRef FShown;
  TEntryRef FLastResult;
  HWND FSearch = nullptr;
  HWND FProgress = nullptr;
  bool FProgressShown = false;
  std::unique_ptr<TResultList> FResults;
  bool FResultsShown = false;
  // The search index fills on a thread of its own; the window appends what it sends.
  TSearchIndex FIndex;
  TIndexWork FIndexWork;
  bool FIndexing = false;
  bool FIndexComplete = false;
  std::wstring FSearchText;
  TCheckWork FCheckWork;
  bool FChecking = false;
  std::optional<TRegistrationProblems> FProblems;
  // The problems shown in the result list (those of the last check, complete or not).
  TRegistrationProblems FShownProblems;
  bool FSaveWhenChecked = false;
  // Set while the window itself empties the search field: that is no search.
  bool FClearingSearch = false;
};

}  // namespace vantrel
