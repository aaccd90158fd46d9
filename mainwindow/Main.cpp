#include "mainwindow/Main.h"

#include <commdlg.h>
#include <oleauto.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "about/AboutDlg.h"
#include "catalog/CsvExport.h"
#include "catalog/DetailReaders.h"
#include "catalog/RegisteredValues.h"
#include "forms/Zarvek_Dialogs.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek.Forms.ChoiceDialog.h"
#include "forms/Zarvek.Forms.RedrawLock.h"
#include "forms/Zarvek.Forms.FileDialog.h"
#include "forms/Zarvek.LayoutManager.Settings.h"
#include "mainwindow/resource.h"
#include "resources/ProgramIcons.h"
#include "typelib/ReadTimeLimit.h"
#include "tlbviewer/ReadTimeLimitDlg.h"
#include "tlbviewer/ReadProgress.h"
#include "tlbviewer/TLBViewer.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibReader.h"
#include "generators/UnitExport.h"

namespace vantrel {

namespace {

TFormDesign MainDesign() {
  TFormDesign design;
  design.ClassName = L"TfrmMain";
  design.Caption = L"Vantrel";
  design.ClientWidth = 1016;
  design.ClientHeight = 554;
  design.MenuId = IDR_MAINMENU;
  design.AcceleratorsId = IDR_MAINACCEL;
  design.IconId = IDI_VANTREL;
  return design;
}

// A tree node's lParam: the kind in the top byte, the list index (or kRootIndex) below.
constexpr uint32_t kRootIndex = 0xFFFFFF;

LPARAM EncodeNode(TObjectType AType, uint32_t AIndex) {
  return static_cast<LPARAM>((static_cast<uint32_t>(AType) << 24) | (AIndex & 0xFFFFFF));
}

TObjectType NodeType(LPARAM AParam) { return static_cast<TObjectType>((static_cast<uint32_t>(AParam) >> 24) & 0xFF); }

uint32_t NodeIndex(LPARAM AParam) { return static_cast<uint32_t>(AParam) & 0xFFFFFF; }


// Save submenu: tag, suggested file name, list.
struct TSaveItem {
  const wchar_t* FileName;
  TObjectType Kind;
};
constexpr TSaveItem kSaveItems[] = {
    {L"AppIds.csv", TObjectType::otAppID},
    {L"Intfs.csv", TObjectType::otInterface},
    {L"ObjClasses.csv", TObjectType::otCLSID},
    {L"TLBs.csv", TObjectType::otTypeLib},
};

constexpr wchar_t kSearchHint[] = L"Search names, GUIDs, ProgIDs, servers";

// Shows "Working..." (or another text) and the wait cursor until it ends; then "Ready".
class TBusy {
 public:
  TBusy(std::function<void(const std::wstring&)> ASetStatus, const std::wstring& AText)
      : FSetStatus(std::move(ASetStatus)) {
    FSetStatus(AText);
  }
  ~TBusy() { FSetStatus(L"Ready"); }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;

 private:
  std::function<void(const std::wstring&)> FSetStatus;
  TWaitCursor FCursor;
};

}  // namespace

std::vector<int> SortedEntryOrder(const TObjects& AList) {
  // Compared in place, without lower-cased copies: a catalog has tens of thousands of names.
  auto less = [&](int A, int B) {
    std::wstring_view a = AList[static_cast<size_t>(A)].Name, b = AList[static_cast<size_t>(B)].Name;
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      wchar_t ca = LowerAscii(a[i]), cb = LowerAscii(b[i]);
      if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
  };
  std::vector<int> order(AList.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), less);
  return order;
}

TCommandStates CommandStates(const TObjectData& AData) {
  TCommandStates states;
  states.Register = !AData.Server.empty();
  // Every class can be asked for, ProgID or not; COM says whether it can be made.
  states.CreateInstance = AData.Typ == TObjectType::otCLSID && !AData.Unreadable;
  states.View = !AData.TypeLib.empty() || !AData.Server.empty();
  return states;
}

void IconReference(const TObjectData& AData, std::wstring& AFile, int& AIndex) {
  size_t comma = AData.DefaultIcon.find(L',');
  if (comma == std::wstring::npos) {
    AFile = AData.Server;
    AIndex = 0;
    return;
  }
  AFile = AData.DefaultIcon.substr(0, comma);
  AIndex = StrToInt(std::wstring_view(AData.DefaultIcon).substr(comma + 1, 255));
}

DWORD CreateInstanceContext(TRegView AView, TCreateContext AContext) {
  const bool own = AView == ProcessRegView();
  DWORD context = 0;
  switch (AContext) {
    case TCreateContext::ccAny: context = own ? CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER : CLSCTX_LOCAL_SERVER; break;
    case TCreateContext::ccInProcess: context = CLSCTX_INPROC_SERVER; break;
    case TCreateContext::ccLocalServer: context = CLSCTX_LOCAL_SERVER; break;
  }
  if (Is64BitWindows() && (context & CLSCTX_LOCAL_SERVER)) {
    context |= AView == TRegView::rv64 ? CLSCTX_ACTIVATE_64_BIT_SERVER : CLSCTX_ACTIVATE_32_BIT_SERVER;
  }
  return context;
}

std::wstring DetailsText(const std::wstring& AName, const std::wstring& AGuid,
                         const std::vector<TRegistryView::TLineRef>& ALines) {
  std::wstring text = L"Name: " + AName + L"\r\nGUID: " + AGuid + L"\r\n" + std::wstring(80, L'-') + L"\r\n";
  for (const TRegistryView::TLineRef& line : ALines) {
    text.append(static_cast<size_t>(3 * line.Level), L' ');
    text += *line.Text;
    text += L"\r\n";
  }
  return text;
}

TfrmMain::TfrmMain(std::optional<TRegView> AView)
    : TLMForm(MainDesign()), FView(AView.value_or(ProcessRegView())), FViewGiven(AView.has_value()) {
  Loader = [this](TObjectType AType, TObjects& AList) { LoadList(AType, AList, FView); };
  ExecuteSaveDialog = [this](std::wstring& AFileName) {
    return vantrel::ExecuteSaveDialog(
        Handle(), {L"CSV files\0*.csv\0All files\0*.*\0", L"csv", OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST}, AFileName);
  };
  AskKeepWaiting = [this](const std::wstring& AQuestion) {
    return ShowMessageBox(Handle(), AQuestion, L"Vantrel", MB_YESNO | MB_ICONQUESTION) == IDYES;
  };
  StartElevated = [](const std::wstring& AProgram, const std::wstring& AParameters, const std::wstring& ADirectory) {
    return StartElevatedProcess(AProgram, AParameters, SW_SHOWDEFAULT, ADirectory);
  };
  ChooseTypeLibrary = [this](const std::wstring& AFile, const std::vector<std::wstring>& AChoices) {
    return ChooseFromList(Handle(), L"The file " + AFile + L" holds several type libraries. Which one is to be opened?",
                          AChoices);
  };
  ExecuteOpenDialog = [this](std::wstring& AFileName) {
    return vantrel::ExecuteOpenDialog(
        Handle(),
        {L"TypeLib Files (*.tlb;*.olb;*.dll;*.ocx;*.exe)\0*.tlb;*.olb;*.dll;*.ocx;*.exe\0All Files (*.*)\0*.*\0",
         nullptr, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST},
        AFileName);
  };
  FormCreate();
}

TfrmMain::~TfrmMain() {
  // The threads own what they use: asked to stop, they are not waited for.
  FIndexWork.Stop();
  FCheckWork.Stop();
}

void TfrmMain::FormCreate() {
  Environment.clear();
  CreateControls();
  ReadEnvironmentBlock(Environment);
  CreateTree();
  ShowRegistryView();
  // With a layout storage the window comes back as the user left it: its place, the tree's width,
  // how binary data is shown and the registry view.
  SetLayoutControl(true);
  LayoutManager().GetControl(this)->SetLayout(std::make_unique<TFormSettingsLayout>(
      [this](ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
        AStorage.WriteInteger(ASection, L"TreeWidth", FSplitter->PaneWidth96());
        AStorage.WriteBool(ASection, L"BinaryAsHex", DisplayBinaryAsHex());
        // A view given on the command line is for that run only.
        if (!FViewGiven) AStorage.WriteInteger(ASection, L"RegistryView", FView == TRegView::rv64 ? 64 : 32);
      },
      [this](ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
        FSplitter->SetPaneWidth96(StoredPaneWidth(AStorage, ASection, L"TreeWidth", FSplitter->PaneWidth96()));
        Resize();
        const bool hex = AStorage.ReadBool(ASection, L"BinaryAsHex", DisplayBinaryAsHex());
        CheckMenuItem(GetMenu(Handle()), IDM_HEX, MF_BYCOMMAND | (hex ? MF_CHECKED : MF_UNCHECKED));
        // No catalog is loaded yet: the remembered view is taken as it is.
        const int64_t view = AStorage.ReadInteger(ASection, L"RegistryView", 0);
        if (!FViewGiven && (view == 32 || (view == 64 && Is64BitWindows()))) {
          FView = view == 64 ? TRegView::rv64 : TRegView::rv32;
          ShowRegistryView();
        }
      }));
}

void TfrmMain::CreateControls() {
  HINSTANCE instance = Application().Instance();
  FTree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                              TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP,
                          0, 0, 10, 10, Handle(), reinterpret_cast<HMENU>(IDC_TREE), instance, nullptr);
  FSplitter = std::make_unique<TSplitter>(Handle(), 401, [this] { Resize(); });
  FIcon = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 0, 0, 10, 10, Handle(),
                          reinterpret_cast<HMENU>(IDC_DEFAULTICON), instance, nullptr);
  FName = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 0, 0,
                          10, 10, Handle(), reinterpret_cast<HMENU>(IDC_NAME), instance, nullptr);
  FGuid = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 0, 0,
                          10, 10, Handle(), reinterpret_cast<HMENU>(IDC_GUID), instance, nullptr);
  FSearch = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0,
                            0, 10, 10, Handle(), reinterpret_cast<HMENU>(IDC_SEARCH), instance, nullptr);
  SendMessageW(FSearch, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(kSearchHint));
  // The tab order starts at the search field and goes on to the tree or the list.
  SetWindowPos(FSearch, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(FTree, FSearch, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  FResults = std::make_unique<TResultList>(Handle(), IDC_RESULTS, Dpi(), [this](const TResultRow& ARow, int AColumn) {
    return ResultCellText(ARow, AColumn);
  });
  SetWindowPos(FResults->Handle(), FTree, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  FResults->OnSelect = [this](const TResultRow& ARow) { ResultsSelect(ARow); };
  FResults->OnOpen = [this](const TResultRow& ARow) {
    ResultsSelect(ARow);
    cmViewTLB();
  };
  CreateDetailsPane();
  FStatusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                               Handle(), reinterpret_cast<HMENU>(IDC_STATUS), instance, nullptr);
  FProgress = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | PBS_SMOOTH, 0, 0, 10, 10, FStatusBar,
                              reinterpret_cast<HMENU>(IDC_PROGRESS), instance, nullptr);
  SetStatus(L"Ready");
  CreateImageLists();
  ApplyFonts();
  Resize();
}

void TfrmMain::CreateDetailsPane() {
  HINSTANCE instance = Application().Instance();
  FTabPanel = CreateRegistryTabPanel(Handle(), IDC_TABPANEL, Font());
  HWND panel = FTabPanel->Handle();
  FRegTree = std::make_unique<TRegistryView>(panel, IDC_REGTREE);
  FRegTree->OnChange = [this](const TRegistryNodeData* ALine) { RegTreeChange(ALine); };
  FRegTree->OnOpen = [this](const TRegistryNodeData& ALine) { RunCommand([&] { RegTreeOpen(ALine); }); };
  FMemo = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 0, 10, 10,
                          panel, reinterpret_cast<HMENU>(IDC_MEMO), instance, nullptr);
  auto button = [&](const wchar_t* ACaption, int AId) {
    return CreateWindowExW(0, L"BUTTON", ACaption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 10, 10,
                           panel, reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)), instance, nullptr);
  };
  FViewButton = button(L"Type Library...", IDC_VIEW);
  FCopy = button(L"Copy to Clipboard", IDC_COPY);
  FReg = button(L"Register", IDC_REGISTER);
  FUnreg = button(L"Unregister", IDC_UNREGISTER);
  EnableCommands({});
  FTabPanel->OnAlignChildren = [this](RECT AArea) { LayoutDetails(AArea); };
}

std::wstring MemoText(const std::wstring& ALine) {
  if (ALine.size() <= kMemoLimit) return ALine;
  return ALine.substr(0, kMemoLimit) + L"\u2026 (" + std::to_wstring(ALine.size() - kMemoLimit) +
         L" more characters; Copy to Clipboard copies the whole line)";
}

void TfrmMain::RegTreeChange(const TRegistryNodeData* ALine) {
  SetWindowTextW(FMemo, L"");
  if (ALine) SetWindowTextW(FMemo, MemoText(ALine->Text).c_str());
}

void TfrmMain::LayoutDetails(RECT AArea) {
  const int width = AArea.right - AArea.left;
  const int gap = Scale(4);
  const int buttonHeight = Scale(25);
  const int rowHeight = buttonHeight + 2 * gap;
  const int memoHeight = Scale(107);
  const int treeHeight = std::max(0, static_cast<int>(AArea.bottom - AArea.top) - memoHeight - rowHeight);
  MoveWindow(FRegTree->Handle(), AArea.left, AArea.top, width, treeHeight, TRUE);
  MoveWindow(FMemo, AArea.left, AArea.top + treeHeight, width, memoHeight, TRUE);
  const int buttonTop = AArea.top + treeHeight + memoHeight + gap;
  const int viewWidth = Scale(100), copyWidth = Scale(110), regWidth = Scale(85);
  MoveWindow(FViewButton, AArea.left + gap, buttonTop, viewWidth, buttonHeight, TRUE);
  MoveWindow(FCopy, AArea.left + 2 * gap + viewWidth, buttonTop, copyWidth, buttonHeight, TRUE);
  MoveWindow(FUnreg, AArea.right - gap - regWidth, buttonTop, regWidth, buttonHeight, TRUE);
  MoveWindow(FReg, AArea.right - 2 * gap - 2 * regWidth, buttonTop, regWidth, buttonHeight, TRUE);
}

void TfrmMain::EnableCommands(const TCommandStates& AStates) {
  FEntryStates = AStates;
  ApplyCommandStates();
}

void TfrmMain::ApplyCommandStates() {
  HMENU menu = GetMenu(Handle());
  auto enable = [&](UINT AId, HWND AButton, bool AEnabled) {
    EnableMenuItem(menu, AId, MF_BYCOMMAND | (AEnabled ? MF_ENABLED : MF_GRAYED));
    if (AButton) EnableWindow(AButton, AEnabled);
  };
  const TCommandStates states = FRegistering ? TCommandStates{} : FEntryStates;
  enable(IDM_REG, FReg, states.Register);
  // The shield says that registering asks for administrator rights.
  FShieldShown = !ProcessElevated();
  for (HWND button : {FReg, FUnreg}) {
    if (button) SendMessageW(button, BCM_SETSHIELD, 0, FShieldShown ? TRUE : FALSE);
  }
  enable(IDM_UNREG, FUnreg, states.Register);
  enable(IDM_CREATEINST, nullptr, states.CreateInstance);
  enable(IDM_CREATEINST_INPROC, nullptr, states.CreateInstance);
  enable(IDM_CREATEINST_LOCAL, nullptr, states.CreateInstance);
  enable(IDM_VIEWTLB, FViewButton, states.View);
  // What replaces the catalogs or opens another window waits until a registration has ended.
  enable(IDM_REFRESH, nullptr, !FRegistering);
  enable(IDM_VIEWTYPELIB, nullptr, !FRegistering);
  enable(IDM_VIEW64, nullptr, !FRegistering && Is64BitWindows());
  enable(IDM_VIEW32, nullptr, !FRegistering && Is64BitWindows());
  enable(IDM_CHECK, nullptr, !FRegistering);
}

void TfrmMain::ShowRegistryView() {
  HMENU menu = GetMenu(Handle());
  CheckMenuRadioItem(menu, IDM_VIEW64, IDM_VIEW32, FView == TRegView::rv64 ? IDM_VIEW64 : IDM_VIEW32, MF_BYCOMMAND);
  const std::wstring text = ViewStatusText();
  SendMessageW(FStatusBar, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(text.c_str()));
  ApplyCommandStates();
}

std::wstring TfrmMain::ViewStatusText() const { return std::wstring(RegViewBits(FView)) + L" Registry"; }

void TfrmMain::LayoutStatusBar() {
  // The view's name on the right, the progress of work on another thread before it, the status
  // text in the rest.
  RECT client = {};
  GetClientRect(FStatusBar, &client);
  const int viewLeft = std::max(0, static_cast<int>(client.right) - Scale(130));
  // The progress part takes no room while nothing runs.
  const int progressLeft = FProgressShown ? std::max(0, viewLeft - Scale(160)) : viewLeft;
  int parts[] = {progressLeft, viewLeft, -1};
  SendMessageW(FStatusBar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
  RECT part = {};
  SendMessageW(FStatusBar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
  const int inset = Scale(2);
  MoveWindow(FProgress, part.left + inset, part.top + inset, std::max(0, static_cast<int>(part.right - part.left) - 2 * inset),
             std::max(0, static_cast<int>(part.bottom - part.top) - 2 * inset), TRUE);
}

void TfrmMain::ClearDetails() {
  SetWindowTextW(FName, L"");
  SetWindowTextW(FGuid, L"");
  SetWindowTextW(FMemo, L"");
  ShowIcon(TIcon());
  FShownImage = -1;
  FTabPanel->Hide();
  FRegTree->Clear();
  FShown = {};
  EnableCommands({});
}

void TfrmMain::CreateImageLists() {
  const int small = Scale(16), large = Scale(32);
  TImageList treeImages(ImageList_Create(small, small, ILC_COLOR32, 5, 0));
  TImageList largeImages(ImageList_Create(large, large, ILC_COLOR32, 5, 0));
  for (int id = IDI_CATALOG_ROOT; id <= IDI_CATALOG_INTERFACE; ++id) {
    for (auto [list, size] : {std::pair{treeImages.get(), small}, std::pair{largeImages.get(), large}}) {
      TIcon icon(static_cast<HICON>(
          LoadImageW(Application().Instance(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
      ImageList_AddIcon(list, icon.get());
    }
  }
  // The tree lets go of the old list before it is destroyed.
  TreeView_SetImageList(FTree, treeImages.get(), TVSIL_NORMAL);
  FTreeImages = std::move(treeImages);
  FLargeImages = std::move(largeImages);
}

void TfrmMain::ApplyFonts() {
  LOGFONTW font = {};
  GetObjectW(Font(), sizeof(font), &font);
  font.lfWeight = FW_BOLD;
  FBoldFont.reset(CreateFontIndirectW(&font));
  for (HWND child : {FTree, FSearch, FResults->Handle(), FGuid, FStatusBar, FMemo, FViewButton, FCopy, FReg, FUnreg}) {
    ApplyFont(child);
  }
  SendMessageW(FName, WM_SETFONT, reinterpret_cast<WPARAM>(FBoldFont.get()), TRUE);
  FRegTree->SetFont(Font());
  // The panel scales its caption through the form's font.
  SendMessageW(FTabPanel->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE);
}

void TfrmMain::DoShow() {
  TLMForm::DoShow();
  // The tree takes the keyboard at start, but nothing is selected until the user selects.
  FFocusingTree = true;
  SetFocus(FTree);
  FFocusingTree = false;
}

void TfrmMain::DpiChanged() {
  if (!FTree) return;
  CreateImageLists();
  ApplyFonts();
  FResults->SetDpi(Dpi());
  Resize();
}

void TfrmMain::Resize() {
  if (!FTree) return;
  const int height = PlaceStatusBar(FStatusBar);
  LayoutStatusBar();
  SIZE client = ClientSize();
  const int rest = FSplitter->Place(FTree, client.cx, height, Dpi());
  RECT pane = {};
  GetWindowRect(FTree, &pane);
  PlaceLeftPane(pane.right - pane.left, height);
  // Right side: 5 pixels of border, then the 41-pixel header.
  const int border = Scale(5);
  const int left = rest + border;
  const int right = client.cx - border;
  const int header = Scale(41);
  MoveWindow(FIcon, left, border, header, header, TRUE);
  const int textLeft = left + header + Scale(4);
  const int lineHeight = Scale(17);
  MoveWindow(FName, textLeft, border + Scale(3), std::max(0, right - textLeft), lineHeight, TRUE);
  MoveWindow(FGuid, textLeft, border + Scale(3) + lineHeight, std::max(0, right - textLeft), lineHeight, TRUE);
  const int panelTop = border + header + Scale(2);
  FTabPanel->SetBounds(left, panelTop, std::max(0, right - left), std::max(0, height - panelTop - border));
}

std::wstring TfrmMain::StatusText() const {
  wchar_t text[256] = {};
  SendMessageW(FStatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  return text;
}

void TfrmMain::SetStatus(const std::wstring& AText) {
  // While a registration runs, the status bar says so whenever it would say "Ready".
  const std::wstring& text = FRegistering && AText == L"Ready" ? FRegistrationStatus : AText;
  SendMessageW(FStatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TfrmMain::RepaintNow() { RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

const std::vector<HTREEITEM>& TfrmMain::ChildrenOf(TObjectType AType) const {
  return Branch(AType).Children;
}

TCatalogNodeData TfrmMain::NodeData(HTREEITEM ANode) const {
  TCatalogNodeData data;
  TVITEMW item = {};
  item.mask = TVIF_PARAM | TVIF_HANDLE;
  item.hItem = ANode;
  if (!ANode || !TreeView_GetItem(FTree, &item)) return data;
  data.Typ = NodeType(item.lParam);
  uint32_t index = NodeIndex(item.lParam);
  if (index == kRootIndex) {
    data.Text = RootCaption(data.Typ);
    return data;
  }
  const TObjects& list = ListOf(data.Typ);
  data.Index = static_cast<int>(index);
  if (index < list.size()) {
    data.Text = list[index].Name;
    data.Server = list[index].Server;
  }
  return data;
}

void TfrmMain::AddRoot(TObjectType AType) {
  TVINSERTSTRUCTW insert = {};
  insert.hParent = TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<wchar_t*>(RootCaption(AType));
  insert.item.lParam = EncodeNode(AType, kRootIndex);
  insert.item.cChildren = 1;
  insert.item.iImage = insert.item.iSelectedImage = 0;
  Branch(AType).Root = TreeView_InsertItem(FTree, &insert);
}

void TfrmMain::CreateTree() {
  TRedrawLock lock(FTree);
  TreeView_DeleteAllItems(FTree);
  for (TObjectType kind : kRootOrder) {
    Branch(kind).Children.clear();
    Branch(kind).ChildIndex.clear();
    AddRoot(kind);
  }
}

void TfrmMain::FillKey(HTREEITEM ARoot, const TObjects& AData) {
  TObjectType kind = NodeData(ARoot).Typ;
  TRedrawLock lock(FTree);
  std::vector<HTREEITEM>& children = Branch(kind).Children;
  std::vector<int>& indices = Branch(kind).ChildIndex;
  children.reserve(children.size() + AData.size());
  indices.reserve(indices.size() + AData.size());
  TVINSERTSTRUCTW insert = {};
  insert.hParent = ARoot;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.iImage = insert.item.iSelectedImage = static_cast<int>(kind) + 1;
  // Entries are inserted already sorted: the control's own sort is not stable. Each item gets
  // its text rather than a text callback: Wine's tree control gives every callback item a
  // 520-byte buffer, most of the memory of a large catalog.
  std::wstring marked;
  for (int index : SortedEntryOrder(AData)) {
    const TObjectData& entry = AData[static_cast<size_t>(index)];
    insert.item.pszText = const_cast<wchar_t*>(entry.Name.c_str());
    if (entry.Unreadable) {
      marked = std::wstring(entry.Name) + kUnreadableMarker;
      insert.item.pszText = marked.data();
    }
    insert.item.lParam = EncodeNode(kind, static_cast<uint32_t>(index));
    children.push_back(TreeView_InsertItem(FTree, &insert));
    indices.push_back(index);
  }
}

void TfrmMain::KeepExpandButton(HTREEITEM ARoot) {
  TVITEMW item = {};
  item.mask = TVIF_HANDLE | TVIF_CHILDREN | TVIF_STATE;
  item.hItem = ARoot;
  item.cChildren = 1;
  item.stateMask = TVIS_EXPANDED | TVIS_EXPANDEDONCE;
  item.state = 0;
  TreeView_SetItem(FTree, &item);
}

void TfrmMain::TreeExpanding(HTREEITEM ANode) {
  if (TreeView_GetParent(FTree, ANode) || TreeView_GetChild(FTree, ANode)) return;
  TObjectType kind = NodeData(ANode).Typ;
  {
    TBusy busy([this](const std::wstring& AText) { SetStatus(AText); }, L"Working...");
    RepaintNow();
    TObjects& list = ListOf(kind);
    if (list.empty()) Loader(kind, list);
    FillKey(ANode, list);
  }
  ShowUnreadableNote({kind});
}

std::wstring UnreadableNote(const TObjects& AList, TObjectType AType) {
  const size_t count =
      static_cast<size_t>(std::count_if(AList.begin(), AList.end(), [](const TObjectData& A) { return A.Unreadable; }));
  if (count == 0) return {};
  return std::to_wstring(count) + (count == 1 ? L" entry of " : L" entries of ") + RootCaption(AType) +
         L" cannot be read: access denied";
}

void TfrmMain::ShowUnreadableNote(std::initializer_list<TObjectType> AKinds) {
  std::wstring note;
  for (TObjectType kind : AKinds) {
    const std::wstring part = UnreadableNote(ListOf(kind), kind);
    if (part.empty()) continue;
    note += (note.empty() ? L"" : L"; ") + part;
  }
  if (!note.empty()) SetStatus(note);
}

void TfrmMain::ShowIcon(TIcon AIcon) {
  FShownIcon = std::move(AIcon);
  InvalidateRect(FIcon, nullptr, TRUE);
}

void TfrmMain::SearchIcon(const TObjectData& AData) {
  std::wstring file;
  int index = 0;
  IconReference(AData, file, index);
  // Written as the server is: variables, quotes and arguments around the file.
  file = SplitServerCommand(ExpandPathVariables(ViewEnvironment(Environment, FView), file), FView).Path;
  file = LocateServerFile(file, FView);
  if (file.empty()) return;
  HICON extracted = ExtractIconW(Application().Instance(), file.c_str(), static_cast<UINT>(index));
  // 0: no icon; 1: the file is neither an executable nor an icon file.
  if (reinterpret_cast<UINT_PTR>(extracted) <= 1) return;
  TIcon icon(extracted);
  // Drawn at the header's size when the file has that size, so it stays sharp when scaled.
  const int size = Scale(32);
  HICON sized = nullptr;
  if (size != GetSystemMetrics(SM_CXICON) &&
      PrivateExtractIconsW(file.c_str(), index, size, size, &sized, nullptr, 1, 0) == 1 && sized) {
    icon.reset(sized);
  }
  ShowIcon(std::move(icon));
}

void TfrmMain::TreeChange(HTREEITEM ANode) {
  if (!ANode) {
    SetWindowTextW(FMemo, L"");
    return;
  }
  TCatalogNodeData node = NodeData(ANode);
  if (node.Index >= 0) {
    ShowEntry(node.Typ, node.Index);
    return;
  }
  SetWindowTextW(FMemo, L"");
  FShown = {};
  SetWindowTextW(FName, node.Text.c_str());
  ShowIcon(TIcon());
  SetStatus(L"Ready");
  FTabPanel->Hide();
  FShownImage = 0;
  std::wstring text = TreeView_GetChild(FTree, ANode)
                          ? L"Node contains " + std::to_wstring(Branch(node.Typ).Children.size()) + L" items"
                          : std::wstring(L"Expand node to retrieve items");
  SetWindowTextW(FGuid, text.c_str());
}

void TfrmMain::ShowProblemKey(const TRegistrationProblem& AProblem) {
  ClearDetails();
  SetWindowTextW(FName, AProblem.Name.c_str());
  SetWindowTextW(FGuid, AProblem.Key.c_str());
  FTabPanel->Show();
  FRegTree->BeginUpdate();
  TScopeExit endUpdate([this] { FRegTree->EndUpdate(); });
  FRegTree->FillRegistryTree(AProblem.Key, DisplayBinaryAsHex(), FView, TRegistryView::kReferenceKeyLimit);
  SetStatus(AProblem.Problem);
}

void TfrmMain::ShowEntry(TObjectType AType, int AIndex) {
  TWaitCursor wait;
  SetWindowTextW(FMemo, L"");
  TObjects& list = ListOf(AType);
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= list.size()) return;
  TObjectData& entry = list[static_cast<size_t>(AIndex)];
  FShown = {AType, AIndex};
  SetWindowTextW(FName, entry.Name.c_str());
  ShowIcon(TIcon());
  SetStatus(L"Ready");
  FTabPanel->Show();
  ReadDetails(entry, Environment, FView);
  const TObjectData data = entry;
  FShownImage = static_cast<int>(data.Typ) + 1;
  InvalidateRect(FIcon, nullptr, TRUE);
  EnableCommands(CommandStates(data));
  SetWindowTextW(FGuid, data.GUID.c_str());

  // The registry view first: whatever the icon search meets, header and view show one entry.
  const std::wstring ownKey = std::wstring(RootKeyName(data.Typ)) + L"\\" + data.GUID;
  const bool asHex = DisplayBinaryAsHex();
  FRegTree->BeginUpdate();
  TScopeExit endUpdate([this] { FRegTree->EndUpdate(); });
  FRegTree->Clear();
  if (data.Unreadable) {
    FRegTree->AddLine(-1, TRegistryNodeData{ownKey + L": the key cannot be read (" +
                                            Trim(SysErrorMessage(ERROR_ACCESS_DENIED)) + L")"});
  }
  if (data.Typ == TObjectType::otTypeLib) AddVersionList(data);
  FRegTree->FillRegistryTree(ownKey, asHex, FView);
  // Keys the entry's values name are bounded: a value may name a huge key.
  const size_t limit = TRegistryView::kReferenceKeyLimit;
  if (!IsBlankText(data.CLSID) && data.Typ != TObjectType::otCLSID) {
    FRegTree->FillRegistryTree(L"CLSID\\" + data.CLSID, asHex, FView, limit);
  }
  if (!IsBlankText(data.TypeLib) && data.Typ != TObjectType::otTypeLib) {
    FRegTree->FillRegistryTree(L"TypeLib\\" + data.TypeLib, asHex, FView, limit);
  }
  if (!IsBlankText(data.AppId) && data.Typ != TObjectType::otAppID) {
    FRegTree->FillRegistryTree(L"AppID\\" + data.AppId, asHex, FView, limit);
  }
  if (!IsBlankText(data.ProgId)) FRegTree->FillRegistryTree(data.ProgId, asHex, FView, limit);
  FRegTree->ExpandAll();

  try {
    SearchIcon(data);
  } catch (const EConvertError& e) {
    // A broken icon reference costs the icon, not the selection.
    if (!FRegistering) SetStatus(L"No icon: " + e.Message());
  }
}

std::vector<TTypeLibVersion> SortedTypeLibVersions(std::vector<TTypeLibVersion> AVersions) {
  auto rank = [](const TTypeLibVersion& AVersion) {
    uint32_t major = 0, minor = 0;
    const bool isVersion = SplitVersion(AVersion.Version, major, minor);
    return std::make_tuple(isVersion, major, minor);
  };
  std::stable_sort(AVersions.begin(), AVersions.end(),
                   [&](const TTypeLibVersion& A, const TTypeLibVersion& B) { return rank(A) > rank(B); });
  return AVersions;
}

void TfrmMain::AddVersionList(const TObjectData& AData) {
  TRegisteredValues values;
  TRegisteredValuesReader(FView).Read(TObjectType::otTypeLib, AData.GUID.view(), values);
  if (values.Versions.empty()) return;
  const int top = FRegTree->AddLine(-1, TRegistryNodeData{L"Versions (double-click one to open it)"});
  for (const TTypeLibVersion& version : SortedTypeLibVersions(values.Versions)) {
    TRegistryNodeData line;
    uint32_t major = 0, minor = 0;
    if (SplitVersion(version.Version, major, minor)) {
      line.Text = VersionText(major, minor);
      // The key's own spelling where it differs: versions are hexadecimal.
      if (VersionText(major, minor) != version.Version) line.Text += L" (key " + version.Version + L")";
      line.OpensVersion = true;
      line.Major = major;
      line.Minor = minor;
    } else {
      line.Text = version.Version + L" (no version)";
    }
    line.Text += L" = " + version.Name;
    line.VersionKey = version.Version;
    // The file lines choose their version too.
    TRegistryNodeData fileLine = line;
    const int parent = FRegTree->AddLine(top, std::move(line));
    for (const TTypeLibFile& file : version.Files) {
      fileLine.Text = L"locale " + file.Locale + L", " + file.Platform + L" = " + file.Path;
      FRegTree->AddLine(parent, fileLine);
    }
  }
}

TObjectData TfrmMain::VersionRecord(const TObjectData& AEntry, const TRegistryNodeData* ALine) const {
  TObjectData data = AEntry;
  if (data.Typ != TObjectType::otTypeLib || !ALine || !ALine->OpensVersion) return data;
  data.MajorVersion = ALine->Major;
  data.MinorVersion = ALine->Minor;
  // The file of that version for the view's programs, should the registry not lead to it.
  data.Server = RegisteredTypeLibFile(L"TypeLib\\" + std::wstring(data.GUID) + L"\\" + ALine->VersionKey, FView);
  return data;
}

void TfrmMain::RegTreeOpen(const TRegistryNodeData& ALine) {
  if (!ALine.OpensVersion || FRegistering) return;
  const TObjectData* entry = FocusedEntry();
  if (!entry) return;
  OpenViewer(VersionRecord(*entry, &ALine));
}

bool TfrmMain::TreeIncrementalSearch(wchar_t AChar) {
  // Every node in tree order, collapsed branches included.
  std::vector<TTreeSearchNode> nodes;
  for (TObjectType kind : kRootOrder) {
    nodes.push_back({RootOf(kind), RootCaption(kind), {}});
    const TObjects& list = ListOf(kind);
    const auto& children = Branch(kind).Children;
    const auto& indices = Branch(kind).ChildIndex;
    for (size_t i = 0; i < children.size(); ++i) nodes.push_back({children[i], list[indices[i]].Name, {}});
  }
  return FTreeSearch.Type(FTree, AChar, Clock(), nodes);
}

void TfrmMain::Refresh() {
  StopCatalogWork();
  // A search goes on over the catalogs read again; the problems found were of the old ones.
  FLastResult = {};
  if (FResultsShown && FResults->Mode() == TResultList::TMode::rmProblems) CloseResults();
  FResults->Clear();
  {
    TBusy busy([this](const std::wstring& AText) { SetStatus(AText); }, L"Working...");
    RepaintNow();
    CreateTree();
    ClearDetails();
    for (TObjectType kind : {TObjectType::otCLSID, TObjectType::otTypeLib, TObjectType::otAppID,
                             TObjectType::otInterface}) {
      TObjects& list = ListOf(kind);
      Loader(kind, list);
      FillKey(RootOf(kind), list);
    }
  }
  ShowUnreadableNote(
      {TObjectType::otCLSID, TObjectType::otTypeLib, TObjectType::otAppID, TObjectType::otInterface});
  if (FResultsShown) SearchChange();
}

void TfrmMain::cmRefresh() {
  if (!FRegistering) Refresh();
}

void TfrmMain::cmRegistryView(TRegView AView) {
  if (FRegistering || AView == FView || (AView == TRegView::rv64 && !Is64BitWindows())) return;
  FView = AView;
  FViewGiven = false;  // the user's own choice now: the window remembers it
  StopCatalogWork();
  // No list of the other view may survive: a loader that fails leaves the later lists empty,
  // to be read in this view when expanded.
  for (TObjectType kind : kRootOrder) ListOf(kind).clear();
  ShowRegistryView();
  Refresh();
}


void TfrmMain::cmSave(int ATag) {
  if (ATag < 0 || ATag >= static_cast<int>(std::size(kSaveItems))) return;
  const TSaveItem& item = kSaveItems[ATag];
  std::wstring fileName = item.FileName;
  if (!ExecuteSaveDialog(fileName)) return;
  TWaitCursor wait;
  TObjects& list = ListOf(item.Kind);
  if (list.empty()) Loader(item.Kind, list);
  SaveList(fileName, list);
}

void TfrmMain::cmExit() { Close(); }

void TfrmMain::cmAbout() { ShowAboutDialog(L"", L"", lngEn); }

void TfrmMain::cmViewTLB() {
  if (FRegistering) return;
  TObjectData* entry = FocusedEntry();
  if (!entry) return;
  // A version chosen in the library's version list, else the version the catalog lists.
  OpenViewer(VersionRecord(*entry, FRegTree->SelectedData()));
}

void TfrmMain::OpenViewer(const TObjectData& AData) {
  TScopeExit ready([this] { SetStatus(L"Ready"); });
  SetStatus(L"Working...");
  RepaintNow();
  OpenTypeLibViewer(AData, FView);
}


void TfrmMain::cmViewTypeLib() {
  if (FRegistering) return;
  std::wstring fileName;
  if (!ExecuteOpenDialog(fileName)) return;
  TObjectData data;
  data.Server = ExpandFileName(fileName);
  // A program or DLL may hold several libraries: the user picks one, named as each says.
  const std::vector<int> numbers = TypeLibraryResources(data.Server);
  if (numbers.size() > 1) {
    std::vector<std::wstring> choices;
    {
      TBusy busy([this](const std::wstring& AText) { SetStatus(AText); }, L"Working...");
      for (int number : numbers) {
        std::optional<std::wstring> choice = TypeLibraryChoiceText(Handle(), std::wstring(data.Server), number);
        // A read the user stopped stops the open.
        if (!choice) return;
        choices.push_back(std::move(*choice));
      }
    }
    const int chosen = ChooseTypeLibrary(ExtractFileName(fileName), choices);
    if (chosen < 0 || static_cast<size_t>(chosen) >= numbers.size()) return;
    data.Server = std::wstring(data.Server) + L"\\" + std::to_wstring(numbers[static_cast<size_t>(chosen)]);
  }
  // The dialog shows this process's own file system.
  OpenTypeLibViewer(data, ProcessRegView());
}

std::optional<std::wstring> TypeLibraryChoiceText(HWND AOwner, const std::wstring& AFile, int ANumber) {
  TObjectData data;
  data.Server = AFile + L"\\" + std::to_wstring(ANumber);
  // Read by the reader process, as every library is: a file holding a hostile one stays harmless.
  const TTypeLibRead read = ReadTypeLibraryWithProgress(AOwner, data, ProcessRegView(), TypeLibReaderDefaults());
  if (read.Cancelled) return std::nullopt;
  std::wstring text = std::to_wstring(ANumber) + L": ";
  if (!read.Library) return text + L"cannot be read (" + read.Message + L")";
  TBstr name, doc;
  read.Library->GetDocumentation(-1, name.put(), doc.put(), nullptr, nullptr);
  text += name.str().empty() ? L"(no name)" : name.str();
  if (!doc.str().empty()) text += L" \u2013 " + doc.str();
  return text;
}

TObjectData* TfrmMain::FocusedEntry() {
  TObjects& list = ListOf(FShown.Typ);
  if (FShown.Index < 0 || static_cast<size_t>(FShown.Index) >= list.size()) return nullptr;
  return &list[static_cast<size_t>(FShown.Index)];
}

void TfrmMain::bRegClick(bool AUnregister) {
  if (FRegistering) return;
  const TObjectData* entry = FocusedEntry();
  if (!entry || entry->Server.empty()) return;
  const std::wstring server = entry->Server;
  RunRegistration(RegistrationCommand(server, AUnregister, FView), AUnregister);
}

void TfrmMain::RunRegistration(const TRegistrationCommand& ACommand, bool AUnregister) {
  const std::wstring file = ExtractFileName(ACommand.File);
  const bool selfRegistering = IsProgramFile(ACommand.File);
  std::wstring program = ACommand.Program;
  program.erase(std::remove(program.begin(), program.end(), L'"'), program.end());
  const std::wstring run = ExtractFileName(program) + L" " + ACommand.Parameters;
  // The window goes on while the program runs; what would start a second run waits.
  FRegistering = true;
  ApplyCommandStates();
  TScopeExit running([this] {
    FRegistering = false;
    ApplyCommandStates();
  });
  TWaitCursor wait;
  FRegistrationStatus = (AUnregister ? L"Unregistering " : L"Registering ") + file + L"...";
  SetStatus(FRegistrationStatus);
  // In the server's own folder, never this program's current folder: a library planted there
  // must not be what the server loads. A server not found runs in the view's system folder.
  const std::wstring directory = ACommand.Directory.empty() ? ViewSystemDirectoryPath(FView) : ACommand.Directory;
  // Registering writes for the whole machine: without administrator rights the platform asks.
  const bool elevate = !ProcessElevated();
  THandle process = elevate ? StartElevated(ACommand.Program, ACommand.Parameters, directory)
                            : StartProcess(ACommand.Program, ACommand.Parameters, SW_SHOWDEFAULT, directory);
  if (!process) {
    const DWORD error = GetLastError();
    FRegistering = false;
    if (elevate && error == ERROR_CANCELLED) {
      SetStatus(FormatS(L"%s %s: administrator rights were refused",
                        {AUnregister ? L"Not unregistered" : L"Not registered", file}));
      return;
    }
    SetStatus(L"Ready");
    throw Exception(FormatS(L"Cannot start %s: %s", {ACommand.Program, Trim(SysErrorMessage(error))}));
  }
  // A server that never ends (one that ignores /RegServer and runs as a server) is the user's to stop.
  for (DWORD waited = 0;;) {
    if (Application().WaitFor(process.get(), RegistrationTimeLimitMs)) break;
    if (Application().Terminated()) return;
    waited += RegistrationTimeLimitMs;
    const std::wstring seconds = UIntToStr(waited / 1000) + (waited / 1000 == 1 ? L" second" : L" seconds");
    if (AskKeepWaiting(FormatS(L"%s has been running for %s and has not ended.\n\nKeep waiting for it? "
                               L"(No stops it.)",
                               {run, seconds}))) {
      continue;
    }
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 5000);
    FRegistering = false;
    RereadShownEntry();
    SetStatus(FormatS(L"Stopped %s after %s", {run, seconds}));
    return;
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  FRegistering = false;
  // What the program wrote is shown at once.
  RereadShownEntry();
  if (exitCode == 0) {
    SetStatus((AUnregister ? L"Unregistered " : L"Registered ") + file);
    return;
  }
  const std::wstring failure = FormatS(L"%s ended with exit code %s", {run, UIntToStr(exitCode)});
  SetStatus(failure);
  // regsvr32 has shown its own message; a program server says nothing.
  if (selfRegistering) throw Exception(failure);
}

void TfrmMain::RereadShownEntry() {
  if (FShown.Index >= 0) ShowEntry(FShown.Typ, FShown.Index);
}

namespace {

// A class a value names, as the status bar shows it: its name and GUID, or the GUID alone.
std::wstring ClassText(const std::wstring& AGuid, TRegView AView) {
  const std::wstring name = Trim(RegistryValueToText(HKEY_CLASSES_ROOT, L"CLSID\\" + AGuid, L"", true, AView));
  return name.empty() ? AGuid : name + L" " + AGuid;
}

std::wstring ContextText(TCreateContext AContext) {
  switch (AContext) {
    case TCreateContext::ccInProcess: return L" in-process";
    case TCreateContext::ccLocalServer: return L" in a local server";
    default: return L"";
  }
}

}  // namespace

TCreateOutcome CreateInstanceOf(const TObjectData& AData, TRegView AView, TCreateContext AContext) {
  const std::wstring guid = Trim(AData.GUID);
  const std::wstring name = IsBlankText(AData.Name) || Trim(AData.Name) == guid ? guid : std::wstring(AData.Name);
  CLSID clsid;
  if (FAILED(CLSIDFromString(guid.c_str(), &clsid))) {
    return {true, FormatS(L"%s is not a class identifier", {guid})};
  }
  // What COM will create in the class's place, and what its objects convert to.
  const std::wstring key = L"CLSID\\" + guid;
  const std::wstring treatAs = Trim(RegistryValueToText(HKEY_CLASSES_ROOT, key + L"\\TreatAs", L"", true, AView));
  const std::wstring convertsTo =
      Trim(RegistryValueToText(HKEY_CLASSES_ROOT, key + L"\\AutoConvertTo", L"", true, AView));
  std::wstring about;
  if (!treatAs.empty() && !SameTextAscii(treatAs, guid)) about += L", treated as " + ClassText(treatAs, AView);
  if (!convertsTo.empty()) about += L", converts to " + ClassText(convertsTo, AView);

  // A new instance: an object already running (in the Running Object Table) is not this command's.
  TComPtr<IUnknown> object;
  const HRESULT hr =
      CoCreateInstance(clsid, nullptr, CreateInstanceContext(AView, AContext), IID_IUnknown, object.put_void());
  if (FAILED(hr)) {
    if (AView != ProcessRegView() && AContext != TCreateContext::ccLocalServer &&
        !IsProgramFile(SplitServerCommand(AData.Server, AView).Path)) {
      return {true, FormatS(L"%s has an in-process server of the %s registry, which this %s Vantrel cannot load: "
                            L"the %s build of Vantrel can create it. %s",
                            {name, RegViewBits(AView), RegViewBits(ProcessRegView()), RegViewBits(AView),
                             OleErrorText(hr)})};
    }
    return {true, FormatS(L"Cannot create an instance of %s%s%s: %s", {name, ContextText(AContext), about, OleErrorText(hr)})};
  }
  // The object exists; type information is a separate question.
  std::wstring typeInfo;
  TComPtr<IDispatch> dispatch;
  if (FAILED(object->QueryInterface(IID_IDispatch, dispatch.put_void())) || !dispatch) {
    typeInfo = L"it has no IDispatch, so no type information";
  } else {
    TComPtr<ITypeInfo> info;
    const HRESULT infoResult = dispatch->GetTypeInfo(0, LOCALE_SYSTEM_DEFAULT, info.put());
    TBstr typeName;
    if (FAILED(infoResult) || !info) {
      typeInfo = L"its IDispatch gives no type information: " + OleErrorText(FAILED(infoResult) ? infoResult : E_POINTER);
    } else if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, typeName.put(), nullptr, nullptr, nullptr))) {
      typeInfo = L"type information: " + typeName.str();
    } else {
      typeInfo = L"it has type information";
    }
  }
  return {false, FormatS(L"Created an instance of %s%s%s; %s", {name, ContextText(AContext), about, typeInfo})};
}

void TfrmMain::cmCreateInst(TCreateContext AContext) {
  if (FRegistering) return;
  TObjectData* entry = FocusedEntry();
  if (!entry || entry->Typ != TObjectType::otCLSID) return;
  const TObjectData data = *entry;
  TCreateOutcome outcome;
  {
    TBusy busy([this](const std::wstring& AText) { SetStatus(AText); }, L"Working...");
    RepaintNow();
    // An instance created here ends with the command.
    outcome = CreateInstanceOf(data, FView, AContext);
  }
  if (outcome.Failed) {
    ErrorBox(outcome.Text);
  } else {
    SetStatus(outcome.Text);
  }
}

std::wstring TfrmMain::NameText() const {
  int length = GetWindowTextLengthW(FName);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(FName, text.data(), length + 1)));
  return text;
}

std::wstring TfrmMain::GuidText() const {
  int length = GetWindowTextLengthW(FGuid);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(FGuid, text.data(), length + 1)));
  return text;
}

void TfrmMain::bCopyClick() {
  std::wstring text = DetailsText(NameText(), GuidText(), FRegTree->LinesInTreeOrder());
  if (!OpenClipboard(Handle())) throw Exception(L"Cannot open the clipboard");
  TScopeExit closeClipboard([] { CloseClipboard(); });
  EmptyClipboard();
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) throw Exception(L"Out of memory for the clipboard");
  std::memcpy(GlobalLock(memory), text.c_str(), bytes);
  GlobalUnlock(memory);
  if (!SetClipboardData(CF_UNICODETEXT, memory)) {
    GlobalFree(memory);
    throw Exception(L"Cannot write to the clipboard");
  }
}

bool TfrmMain::DisplayBinaryAsHex() const {
  return (GetMenuState(GetMenu(Handle()), IDM_HEX, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TfrmMain::mmHexClick() {
  CheckMenuItem(GetMenu(Handle()), IDM_HEX, MF_BYCOMMAND | (DisplayBinaryAsHex() ? MF_UNCHECKED : MF_CHECKED));
  if (FShown.Index >= 0) {
    ShowEntry(FShown.Typ, FShown.Index);
  } else {
    SetWindowTextW(FMemo, L"");
  }
}

void TfrmMain::cmReadTimeLimit() {
  DWORD seconds = std::max<DWORD>(TypeLibReaderDefaults().TimeLimit / 1000, kReadTimeLimitMinimum);
  if (!AskReadTimeLimit(Handle(), seconds)) return;
  // It holds for this run also when it cannot be kept.
  TypeLibReaderDefaults().TimeLimit = seconds * 1000;
  StoreReadTimeLimit(HKEY_CURRENT_USER, SettingsKey, seconds);
}

void TfrmMain::Command(int AId, int ACode, HWND) {
  RunCommand([&] {
    switch (AId) {
      case IDM_SAVE_APPIDS:
      case IDM_SAVE_INTERFACES:
      case IDM_SAVE_CLASSES:
      case IDM_SAVE_TYPELIBS:
        cmSave(AId - IDM_SAVE_APPIDS);
        break;
      case IDM_SAVE_PROBLEMS:
        cmSaveProblems();
        break;
      case IDM_FIND:
        cmFind();
        break;
      case IDM_CHECK:
        cmCheckRegistrations();
        break;
      case IDC_SEARCH:
        if (ACode == EN_CHANGE) SearchChange();
        break;
      case IDM_REFRESH:
        cmRefresh();
        break;
      case IDM_VIEW64:
        cmRegistryView(TRegView::rv64);
        break;
      case IDM_VIEW32:
        cmRegistryView(TRegView::rv32);
        break;
      case IDM_EXIT:
        cmExit();
        break;
      case IDM_HEX:
        mmHexClick();
        break;
      case IDM_READTIMELIMIT:
        cmReadTimeLimit();
        break;
      case IDM_REG:
      case IDC_REGISTER:
        bRegClick(false);
        break;
      case IDM_UNREG:
      case IDC_UNREGISTER:
        bRegClick(true);
        break;
      case IDM_CREATEINST:
        cmCreateInst();
        break;
      case IDM_CREATEINST_INPROC:
        cmCreateInst(TCreateContext::ccInProcess);
        break;
      case IDM_CREATEINST_LOCAL:
        cmCreateInst(TCreateContext::ccLocalServer);
        break;
      case IDC_COPY:
        bCopyClick();
        break;
      case IDM_ABOUT:
        cmAbout();
        break;
      case IDM_VIEWTLB:
      case IDC_VIEW:
        cmViewTLB();
        break;
      case IDM_VIEWTYPELIB:
        cmViewTypeLib();
        break;
      default:
        break;
    }
  });
}

LRESULT TfrmMain::Notify(NMHDR* AHeader) {
  LRESULT result = 0;
  if (FRegTree && FRegTree->Notify(AHeader, result)) return result;
  if (FResults && AHeader->hwndFrom == FResults->Handle()) {
    RunCommand([&] { FResults->Notify(AHeader, result); });
    return result;
  }
  if (AHeader->hwndFrom != FTree) return 0;
  switch (AHeader->code) {
    case TVN_ITEMEXPANDINGW: {
      auto* view = reinterpret_cast<NMTREEVIEWW*>(AHeader);
      if (view->action & TVE_EXPAND) RunCommand([&] { TreeExpanding(view->itemNew.hItem); });
      return FALSE;  // the expansion is never refused
    }
    case TVN_ITEMEXPANDEDW: {
      auto* view = reinterpret_cast<NMTREEVIEWW*>(AHeader);
      HTREEITEM node = view->itemNew.hItem;
      // A root whose catalog turned out empty keeps its button: expanding it loads again.
      if (!TreeView_GetParent(FTree, node) && !TreeView_GetChild(FTree, node)) KeepExpandButton(node);
      return 0;
    }
    case TVN_SELCHANGINGW: {
      // The control selects its first node when it gets the focus with none selected.
      auto* view = reinterpret_cast<NMTREEVIEWW*>(AHeader);
      return FFocusingTree && view->action == TVC_UNKNOWN && !view->itemOld.hItem;
    }
    case TVN_SELCHANGEDW: {
      auto* view = reinterpret_cast<NMTREEVIEWW*>(AHeader);
      RunCommand([&] { TreeChange(view->itemNew.hItem); });
      return 0;
    }
    case NM_DBLCLK: {
      // On an entry only: a double-click on a root expands or collapses it as usual.
      TVHITTESTINFO hit = {};
      GetCursorPos(&hit.pt);
      ScreenToClient(FTree, &hit.pt);
      HTREEITEM item = TreeView_HitTest(FTree, &hit);
      if (!item || !(hit.flags & TVHT_ONITEM) || !TreeView_GetParent(FTree, item)) return 0;
      RunCommand([&] { cmViewTLB(); });
      return TRUE;
    }
    default:
      return 0;
  }
}

void TfrmMain::DoClose(TCloseAction& AAction) {
  // The registration's wait belongs to this window: it closes when the program has ended.
  if (FRegistering) {
    AAction = TCloseAction::caNone;
    SetStatus(L"A registration is running: Vantrel closes when it has ended");
    return;
  }
  TLMForm::DoClose(AAction);
}

LRESULT TfrmMain::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(ALParam);
      if (draw->hwndItem != FIcon) break;
      FillRect(draw->hDC, &draw->rcItem, GetSysColorBrush(COLOR_BTNFACE));
      const int size = Scale(32);
      const int x = draw->rcItem.left + (draw->rcItem.right - draw->rcItem.left - size) / 2;
      const int y = draw->rcItem.top + (draw->rcItem.bottom - draw->rcItem.top - size) / 2;
      if (FShownIcon) {
        DrawIconEx(draw->hDC, x, y, FShownIcon.get(), size, size, 0, nullptr, DI_NORMAL);
      } else if (FShownImage >= 0) {
        ImageList_Draw(FLargeImages.get(), FShownImage, draw->hDC, x, y, ILD_TRANSPARENT);
      }
      return TRUE;
    }
    case WM_MENUSELECT: {
      UINT id = LOWORD(AWParam);
      UINT flags = HIWORD(AWParam);
      if (flags == 0xFFFF && ALParam == 0) break;
      wchar_t text[256] = {};
      if (!(flags & MF_POPUP) && !(flags & MF_SEPARATOR) && LoadStringW(Application().Instance(), id, text, 256)) {
        SetStatus(text);
      } else {
        SetStatus(L"");
      }
      break;
    }
    case WM_EXITMENULOOP:
      SetStatus(L"Ready");
      break;
    case kIndexMailMessage:
      RunCommand([&] { IndexMail(AWParam); });
      return 0;
    case kCheckMailMessage:
      RunCommand([&] { CheckMail(AWParam); });
      return 0;
    default:
      break;
  }
  return TLMForm::WndProc(AMsg, AWParam, ALParam);
}

bool TfrmMain::PreTranslateMessage(MSG& AMsg) {
  if (SearchKeyDown(AMsg)) return true;
  if (AMsg.message == WM_KEYDOWN && AMsg.wParam == VK_ESCAPE && IsChild(Handle(), AMsg.hwnd)) {
    // Esc stops a running check first, then takes the result list away.
    if (FChecking) {
      FCheckWork.Cancel();
      SetStatus(L"Cancelling the check...");
      return true;
    }
    if (AMsg.hwnd == FSearch || (FResultsShown && AMsg.hwnd == FResults->Handle())) {
      RunCommand([&] { CloseResults(); });
      return true;
    }
  }
  if (AMsg.message == WM_KEYDOWN && AMsg.wParam == VK_RETURN && FResultsShown && AMsg.hwnd == FResults->Handle()) {
    // Enter opens the type library, as a double-click does.
    RunCommand([&] { FResults->OpenSelected(); });
    return true;
  }
  if (AMsg.message == WM_KEYDOWN && AMsg.hwnd == FSearch && FResultsShown &&
      (AMsg.wParam == VK_DOWN || AMsg.wParam == VK_RETURN)) {
    // From the field into the results: the first row is chosen unless one already is.
    SetFocus(FResults->Handle());
    if (FResults->Selected() < 0) FResults->Select(0);
    return true;
  }
  // Typed characters search every node: the control's own search only sees expanded branches.
  // (Handled here rather than in a subclass of the tree: subclassing slows every message to it.)
  // With nothing selected, the first arrow key selects a node instead of moving away from one.
  if (AMsg.message == WM_KEYDOWN && AMsg.hwnd == FTree && !TreeView_GetSelection(FTree)) {
    switch (AMsg.wParam) {
      case VK_HOME:
      case VK_UP:
      case VK_DOWN:
      case VK_LEFT:
      case VK_RIGHT:
        TreeView_SelectItem(FTree, TreeView_GetRoot(FTree));
        return true;
      case VK_END:
        TreeView_SelectItem(FTree, TreeView_GetLastVisible(FTree));
        return true;
      default:
        break;
    }
  }
  if (AMsg.message == WM_CHAR && AMsg.hwnd == FTree && AMsg.wParam >= L' ') {
    RunCommand([&] { TreeIncrementalSearch(static_cast<wchar_t>(AMsg.wParam)); });
    return true;
  }
  return TLMForm::PreTranslateMessage(AMsg);
}

}  // namespace vantrel
