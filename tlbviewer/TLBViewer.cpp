#include "tlbviewer/TLBViewer.h"

#include <algorithm>
#include <map>
#include <optional>

#include "SciLexer.h"
#include "forms/Zarvek_Dialogs.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek.Forms.RedrawLock.h"
#include "forms/Zarvek.Forms.FileDialog.h"
#include "forms/Zarvek.LayoutManager.Settings.h"
#include "resources/ProgramIcons.h"
#include "generators/IdlGenerator.h"
#include "tlbviewer/IdlStyles.h"
#include "generators/ImportUnit.h"
#include "tlbviewer/PascalStyles.h"
#include "tlbviewer/ReadProgress.h"
#include "typelib/TypeInfoSource.h"
#include "typelib/TypeLibReader.h"
#include "generators/UnitExport.h"
#include "tlbviewer/resource.h"

namespace vantrel {

const wchar_t* const TypeKindGroupNames[8] = {L"Enums",          L"Structs",   L"Modules",  L"Interfaces",
                                              L"Dispinterfaces", L"CoClasses", L"Typedefs", L"Unions"};
const wchar_t* const TypeKindWords[8] = {L"typedef enum", L"typedef struct", L"module",  L"interface",
                                         L"dispinterface", L"coclass",       L"typedef", L"typedef union"};

namespace {

TFormDesign ViewerDesign(HWND AOwner) {
  TFormDesign design;
  design.ClassName = L"TfrmTLBView";
  design.Caption = L"ITypeLib Viewer";
  design.ClientWidth = 1089;
  design.ClientHeight = 614;
  design.Owner = AOwner;
  design.MenuId = IDR_TLBMENU;
  design.AcceleratorsId = IDR_TLBACCEL;
  design.IconId = IDI_VANTREL;
  return design;
}

constexpr COLORREF kCaretLineColor = RGB(255, 255, 0);  // yellow

// The ten tree images at one size, made once for the process: every viewer shows the same ones,
// and reading them from the resources takes longer than the rest of the window's set-up.
HIMAGELIST TreeImages(int ASize) {
  static std::map<int, HIMAGELIST> lists;
  HIMAGELIST& list = lists[ASize];
  if (!list) {
    list = ImageList_Create(ASize, ASize, ILC_COLOR32, 10, 0);
    for (int id = IDI_TLB_ENUM; id <= IDI_TLB_FOLDER; ++id) {
      TIcon icon(static_cast<HICON>(
          LoadImageW(Application().Instance(), MAKEINTRESOURCEW(id), IMAGE_ICON, ASize, ASize, 0)));
      ImageList_AddIcon(list, icon.get());
    }
  }
  return list;
}

// The node after AItem when every group is open: its first child, else the next sibling of it or
// of its nearest ancestor that has one.
HTREEITEM NextInTreeOrder(HWND ATree, HTREEITEM AItem) {
  if (HTREEITEM child = TreeView_GetChild(ATree, AItem)) return child;
  for (; AItem; AItem = TreeView_GetParent(ATree, AItem)) {
    if (HTREEITEM next = TreeView_GetNextSibling(ATree, AItem)) return next;
  }
  return nullptr;
}

std::function<void(TfrmTLBView&)>& ViewerHook() {
  static std::function<void(TfrmTLBView&)> hook;
  return hook;
}

}  // namespace

void SetTypeLibViewerHook(std::function<void(TfrmTLBView& AViewer)> AHook) { ViewerHook() = std::move(AHook); }

TfrmTLBView::TfrmTLBView(HWND AOwner) : TLMForm(ViewerDesign(AOwner)) {
  ExecutePrintDialog = [this] { return DefaultPrintDialog(); };
  ExecuteSaveDialog = [this](std::wstring& AFileName) {
    if (FShown == TUnitKind::ukIdl) {
      return vantrel::ExecuteSaveDialog(
          Handle(), {L"IDL files (*.idl)\0*.idl\0All files (*.*)\0*.*\0", L"idl", OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST},
          AFileName);
    }
    return vantrel::ExecuteSaveDialog(Handle(),
                                      {L"Pascal units (*.pas)\0*.pas\0All files (*.*)\0*.*\0", L"pas",
                                       OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST},
                                      AFileName);
  };
  FormCreate();
}

TfrmTLBView::~TfrmTLBView() { CloseFindDialog(); }

void TfrmTLBView::FormCreate() {
  FCurrentLine = -1;
  HINSTANCE instance = Application().Instance();
  FTree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                              TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP,
                          0, 0, 10, 10, Handle(), reinterpret_cast<HMENU>(IDC_TLB_TREE), instance, nullptr);
  FSplitter = std::make_unique<TSplitter>(Handle(), 347, [this] { Resize(); });
  FSynMemo = std::make_unique<TScintilla>(Handle(), IDC_TLB_MEMO);
  FStatusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, Handle(),
                               reinterpret_cast<HMENU>(IDC_TLB_STATUS), instance, nullptr);
  int parts[] = {Scale(207), -1};
  SendMessageW(FStatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  SendMessageW(FStatusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, reinterpret_cast<LPARAM>(L"Ready"));
  FFindMessage = RegisterWindowMessageW(FINDMSGSTRINGW);
  FFind.lStructSize = sizeof(FFind);
  FFind.hwndOwner = Handle();
  FFind.lpstrFindWhat = FFindText;
  FFind.wFindWhatLen = static_cast<WORD>(std::size(FFindText));
  FFind.Flags = FR_DOWN;
  CreateImageList();
  ApplyEditorSettings();
  for (HWND child : {FTree, FStatusBar}) ApplyFont(child);
  Resize();
  KeepLayout();
}

void TfrmTLBView::KeepLayout() {
  SetLayoutControl(true);
  LayoutManager().GetControl(this)->SetLayout(std::make_unique<TFormSettingsLayout>(
      [this](ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
        AStorage.WriteInteger(ASection, L"TreeWidth", FSplitter->PaneWidth96());
      },
      [this](ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
        FSplitter->SetPaneWidth96(StoredPaneWidth(AStorage, ASection, L"TreeWidth", FSplitter->PaneWidth96()));
        Resize();
      }));
}

void TfrmTLBView::CreateImageList() {
  const int size = Scale(16);
  FImageList = TreeImages(size);
  TreeView_SetImageList(FTree, FImageList, TVSIL_NORMAL);
  TreeView_SetItemHeight(FTree, size);
}

void TfrmTLBView::ApplyEditorSettings() {
  TScintilla& editor = *FSynMemo;
  static const std::string face = MonospaceFace(L"Consolas");
  ApplyPascalStyles(editor, face.c_str(), 10);
  editor.StyleSetFont(STYLE_LINENUMBER, "Terminal", 8);
  editor.Call(SCI_SETMARGINTYPEN, 0, SC_MARGIN_NUMBER);
  editor.Call(SCI_SETMARGINWIDTHN, 1, 0);
  editor.Call(SCI_SETMARGINWIDTHN, 2, 0);
  // No line breaks: the text is read-only; no context help.
  editor.Call(SCI_CLEARCMDKEY, SCK_RETURN + (SCMOD_SHIFT << 16));
  editor.Call(SCI_ASSIGNCMDKEY, VK_F1, SCI_NULL);
  editor.Call(SCI_SETCARETLINEBACK, kCaretLineColor);
  editor.Call(SCI_SETCARETLINEVISIBLEALWAYS, 1);
  editor.Call(SCI_SETCARETLINEVISIBLE, FCurrentLine >= 0);
  editor.Call(SCI_SETSCROLLWIDTHTRACKING, 1);
  editor.SetReadOnly(true);
}

void TfrmTLBView::DpiChanged() {
  CreateImageList();
  for (HWND child : {FTree, FStatusBar}) ApplyFont(child);
  Resize();
  KeepLayout();
}

void TfrmTLBView::Resize() {
  if (!FTree) return;
  const int height = PlaceStatusBar(FStatusBar);
  SIZE client = ClientSize();
  const int rest = FSplitter->Place(FTree, client.cx, height, Dpi());
  MoveWindow(FSynMemo->Handle(), rest, 0, std::max(0, static_cast<int>(client.cx) - rest), height, TRUE);
  TreeResize();
}

void TfrmTLBView::TreeResize() {
  RECT tree = {};
  GetWindowRect(FTree, &tree);
  int parts[] = {tree.right - tree.left, -1};
  SendMessageW(FStatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
}

void TfrmTLBView::SetStatus(int APanel, const std::wstring& AText) {
  WPARAM part = static_cast<WPARAM>(APanel) | (APanel == 0 ? SBT_NOBORDERS : 0);
  SendMessageW(FStatusBar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(AText.c_str()));
}

std::wstring TfrmTLBView::PanelText(int APanel) const {
  LRESULT length = SendMessageW(FStatusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(APanel), 0);
  std::wstring text(LOWORD(length) + 1, L'\0');
  SendMessageW(FStatusBar, SB_GETTEXTW, static_cast<WPARAM>(APanel), reinterpret_cast<LPARAM>(text.data()));
  text.resize(LOWORD(length));
  return text;
}

int TfrmTLBView::PanelWidth(int APanel) const {
  int parts[2] = {};
  SendMessageW(FStatusBar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  if (APanel == 0) return parts[0];
  return parts[1] < 0 ? -1 : parts[1] - parts[0];
}

HTREEITEM TfrmTLBView::AddNode(HTREEITEM AParent, std::wstring AText, int AKind) {
  TVINSERTSTRUCTW insert = {};
  insert.hParent = AParent ? AParent : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = LPSTR_TEXTCALLBACKW;
  insert.item.iImage = insert.item.iSelectedImage = AKind;
  insert.item.lParam = static_cast<LPARAM>(FNodes.size());
  FNodes.push_back({std::move(AText), AKind});
  HTREEITEM item = TreeView_InsertItem(FTree, &insert);
  FNodeItems.push_back(item);
  return item;
}

void TfrmTLBView::FillTree(ITypeLib* OTL) {
  UINT count = OTL->GetTypeInfoCount();
  std::wstring name, doc;
  if (FAILED(ReadLibDocumentation(OTL, -1, &name, &doc, nullptr))) name.clear(), doc.clear();
  TRedrawLock lock(FTree);
  // A node shows one line, and a declaration's name as the unit writes it: the jump looks for it.
  HTREEITEM root =
      AddNode(nullptr, NameOnOneLine(TruncateAtNul(name)) + L" (" + NameOnOneLine(TruncateAtNul(doc)) + L")",
              kLibraryNode);
  HTREEITEM groups[8];
  for (int kind = 0; kind < 8; ++kind) groups[kind] = AddNode(root, TypeKindGroupNames[kind], kGroupNode);
  for (UINT i = 0; i < count; ++i) {
    std::wstring typeName;
    HRESULT documented = ReadLibDocumentation(OTL, static_cast<INT>(i), &typeName, nullptr, nullptr);
    if (FAILED(documented)) typeName.clear();
    typeName = NameOnOneLine(TruncateAtNul(typeName));
    TYPEKIND kind;
    if (FAILED(OTL->GetTypeInfoType(i, &kind)) || kind < 0 || kind > 7) continue;
    std::wstring text = typeName;
    if (kind == TKIND_DISPATCH) text += L"Disp";
    if (kind == TKIND_COCLASS) text = L"T" + text;
    AddNode(groups[kind], text, kind);
    if ((kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) || FAILED(documented)) continue;
    // A dual interface shows a second time, under the kind of its first implemented type.
    TComPtr<ITypeInfo> info;
    if (FAILED(ReadTypeInfo(OTL, i, info))) continue;
    TTypeAttrHolder attr(info.get());
    if (FAILED(attr.Fetch()) || !(attr->wTypeFlags & kDualFlag)) continue;
    HREFTYPE ref;
    TComPtr<ITypeInfo> referred;
    if (FAILED(info->GetRefTypeOfImplType(0, &ref)) || FAILED(ReadRefTypeInfo(info.get(), ref, referred))) continue;
    TTypeAttrHolder referredAttr(referred.get());
    if (FAILED(referredAttr.Fetch())) continue;
    int referredKind = referredAttr->typekind;
    if (referredKind < 0 || referredKind > 7) continue;
    AddNode(groups[referredKind], referredKind == TKIND_DISPATCH ? typeName + L"Disp" : typeName, referredKind);
  }
  TreeView_Expand(FTree, root, TVE_EXPAND);
}

const TTypeNodeData* TfrmTLBView::NodeData(HTREEITEM ANode) const {
  if (!ANode) return nullptr;
  TVITEMW item = {};
  item.mask = TVIF_PARAM | TVIF_HANDLE;
  item.hItem = ANode;
  if (!TreeView_GetItem(FTree, &item)) return nullptr;
  size_t index = static_cast<size_t>(item.lParam);
  return index < FNodes.size() ? &FNodes[index] : nullptr;
}

std::wstring TfrmTLBView::TreeGetText(HTREEITEM ANode) const {
  const TTypeNodeData* data = NodeData(ANode);
  if (!data) return {};
  if (data->Kind >= 0 && data->Kind <= 7) return std::wstring(TypeKindWords[data->Kind]) + L" " + data->Text;
  int children = 0;
  for (HTREEITEM child = TreeView_GetChild(FTree, ANode); child; child = TreeView_GetNextSibling(FTree, child)) {
    ++children;
  }
  return children ? data->Text + L" (" + std::to_wstring(children) + L")" : data->Text;
}

int TfrmTLBView::TreeGetImageIndex(HTREEITEM ANode) const {
  const TTypeNodeData* data = NodeData(ANode);
  return data ? data->Kind : -1;
}

void TfrmTLBView::TreeDblClick() {
  HTREEITEM focused = TreeView_GetSelection(FTree);
  const TTypeNodeData* data = NodeData(focused);
  if (!data) return;
  TScintilla& editor = *FSynMemo;
  editor.GotoPos(0);
  editor.SetFirstVisibleLine(0);
  std::wstring name = data->Text;
  // The import unit names a class by itself (its creator is "Co" + name), and declares every
  // interface first forward: the declaration is the last match.
  if (FShown == TUnitKind::ukImport && data->Kind == TKIND_COCLASS && name.size() > 1 && name[0] == L'T') {
    name.erase(0, 1);
  }
  std::wstring pattern = L" " + name + L" = ";
  if (FShown == TUnitKind::ukIdl) {
    // IDL names a declaration after its keyword, or closes a typedef with it.
    if (data->Kind == TKIND_COCLASS && name.size() > 1 && name[0] == L'T') name.erase(0, 1);
    if (data->Kind == TKIND_DISPATCH && name.size() > 4 && name.compare(name.size() - 4, 4, L"Disp") == 0) {
      name.erase(name.size() - 4);
    }
    switch (data->Kind) {
      case TKIND_INTERFACE: pattern = L"interface " + name + L" "; break;
      case TKIND_DISPATCH: pattern = L"interface " + name + L" "; break;
      case TKIND_COCLASS: pattern = L"coclass " + name + L" "; break;
      case TKIND_MODULE: pattern = L"module " + name + L" "; break;
      default: pattern = L" " + name + L";"; break;
    }
  }
  TScintilla::TMatch match = editor.Search(pattern, 0, editor.Length(), 0);
  while (FShown != TUnitKind::ukAnnotated && match.Start >= 0) {
    TScintilla::TMatch next = editor.Search(pattern, match.End, editor.Length(), 0);
    if (next.Start < 0) break;
    match = next;
  }
  if (match.Start >= 0) editor.SetSelection(match.Start, match.End);
  editor.SetFirstVisibleLine(std::max<intptr_t>(0, editor.CaretLine() - 2));
  // The selection shrinks to the character before the match.
  intptr_t start = editor.SelectionStart();
  editor.SetSelection(start, std::max<intptr_t>(0, start - 1));
  SetFocus(editor.Handle());
}

bool TfrmTLBView::TreeIncrementalSearch(wchar_t AChar) {
  std::vector<HTREEITEM> items;
  for (HTREEITEM item = TreeView_GetRoot(FTree); item; item = NextInTreeOrder(FTree, item)) items.push_back(item);
  std::vector<std::wstring> texts;
  texts.reserve(items.size());
  for (HTREEITEM item : items) texts.push_back(TreeGetText(item));
  std::vector<TTreeSearchNode> nodes;
  nodes.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    // A declaration is found by its name as well as by "kind name".
    const TTypeNodeData* data = NodeData(items[i]);
    const bool declaration = data && data->Kind >= 0 && data->Kind <= 7;
    nodes.push_back({items[i], texts[i], declaration ? std::wstring_view(data->Text) : std::wstring_view()});
  }
  return FTreeSearch.Type(FTree, AChar, Clock(), nodes);
}

bool TfrmTLBView::SynMemoSpecialLineColors(intptr_t ALine, COLORREF& ABackground) const {
  if (ALine != FSynMemo->CaretLine() || FCurrentLine < 0) return false;
  ABackground = kCaretLineColor;
  return true;
}

void TfrmTLBView::SynMemoStatusChange() {
  TScintilla& editor = *FSynMemo;
  const intptr_t caret = editor.CurrentPos();
  const intptr_t line = editor.LineFromPosition(caret);
  SetStatus(1, L"Line: " + std::to_wstring(line + 1) + L"   Col: " + std::to_wstring(editor.Column(caret) + 1) +
                   L"   Lines: " + std::to_wstring(editor.LineCount()));
  FCurrentLine = line;
  // The caret line is painted yellow from the first report on; the editor repaints both lines.
  editor.Call(SCI_SETCARETLINEVISIBLE, 1);
  // Line numbers sized to fit the longest number.
  std::string widest(std::to_string(editor.LineCount()).size() + 1, '9');
  widest[0] = '_';
  editor.Call(SCI_SETMARGINWIDTHN, 0, editor.TextWidth(STYLE_LINENUMBER, widest.c_str()));
}

void TfrmTLBView::SetFindText(const std::wstring& AText) {
  wcsncpy_s(FFindText, AText.c_str(), _TRUNCATE);
  if (FFindDialog) SetDlgItemTextW(FFindDialog, edt1, FFindText);
}

void TfrmTLBView::cmFind() {
  SetFindText(FSynMemo->WordAt(FSynMemo->CurrentPos()));
  if (FFindDialog) {
    SetForegroundWindow(FFindDialog);
    return;
  }
  FFindDialog = FindTextW(&FFind);
  if (FFindDialog) Application().AddModelessDialog(FFindDialog);
}

void TfrmTLBView::fdFind() {
  TScintilla& editor = *FSynMemo;
  const std::wstring text = FFindText;
  int flags = 0;
  if (FFind.Flags & FR_MATCHCASE) flags |= SCFIND_MATCHCASE;
  if (FFind.Flags & FR_WHOLEWORD) flags |= SCFIND_WHOLEWORD;
  const bool down = (FFind.Flags & FR_DOWN) != 0;
  const intptr_t caret = editor.CurrentPos();
  TScintilla::TMatch match = editor.Search(text, caret, down ? editor.Length() : 0, flags);
  if (match.Start < 0) {
    InfoBox(L"Text not found.");
    return;
  }
  if (down) {
    editor.SetSelection(match.Start, match.End);
  } else {
    editor.SetSelection(match.End, match.Start);
  }
  editor.Call(SCI_SCROLLCARET);
}

void TfrmTLBView::cmFindNext() {
  FFind.Flags |= FR_DOWN;
  if (FFindDialog) CheckRadioButton(FFindDialog, rad1, rad2, rad2);
  fdFind();
  SetFocus(FSynMemo->Handle());
}

HDC TfrmTLBView::DefaultPrintDialog() {
  PRINTDLGW dialog = {sizeof(dialog)};
  dialog.hwndOwner = Handle();
  dialog.Flags = PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS | PD_USEDEVMODECOPIESANDCOLLATE;
  dialog.nCopies = 1;
  BOOL chosen = PrintDlgW(&dialog);
  if (dialog.hDevMode) GlobalFree(dialog.hDevMode);
  if (dialog.hDevNames) GlobalFree(dialog.hDevNames);
  return chosen ? dialog.hDC : nullptr;
}

void TfrmTLBView::cmPrint() {
  TPrinterDC printer(ExecutePrintDialog());
  if (!printer) return;
  TWaitCursor wait;
  SetStatus(0, L"Printing...");
  TScopeExit ready([this] { SetStatus(0, L"Ready"); });
  TUnitPrinter printerText(Handle(), FShown == TUnitKind::ukIdl ? TPrintedLanguage::Idl : TPrintedLanguage::Pascal);
  printerText.SetText(FSynMemo->Text());
  printerText.Print(printer.get(), Application().Title() + L" - [" + UnitName() + L"]");
}


void TfrmTLBView::cmSaveAs() {
  std::wstring fileName = DefaultUnitFileName(UnitName(), FShown == TUnitKind::ukIdl ? L".idl" : L".pas");
  if (!ExecuteSaveDialog(fileName)) return;
  TWaitCursor wait;
  if (FShown == TUnitKind::ukIdl) {
    SaveIdlFile(fileName, UnitLines());
  } else {
    SaveUnitFile(fileName, UnitLines());
  }
}

void TfrmTLBView::cmExit() { Close(); }

void TfrmTLBView::SetLibrary(const TObjectData& AData, ITypeLib* ALibrary) {
  FData = AData;
  FLibrary = TComPtr<ITypeLib>(ALibrary, true);
  for (TUnitText& unit : FUnits) {
    unit.Lines.Clear();
    unit.Made = false;
  }
}

void TfrmTLBView::ShowUnit(TUnitKind AKind) {
  TUnitText& unit = FUnits[static_cast<int>(AKind)];
  if (!unit.Made && FLibrary) {
    TWaitCursor wait;
    unit.Lines.Clear();
    if (AKind == TUnitKind::ukImport) {
      GenerateCompilableUnit(FData, FLibrary.get(), unit.Lines, unit.Name);
    } else if (AKind == TUnitKind::ukIdl) {
      GenerateIdl(FData, FLibrary.get(), unit.Lines, unit.Name);
    } else {
      GenerateImportUnit(FData, FLibrary.get(), unit.Lines, unit.Name);
    }
    unit.Made = true;
  }
  FShown = AKind;
  ShowUnitText();
}

void TfrmTLBView::ShowUnitText() {
  CheckMenuRadioItem(GetMenu(Handle()), IDM_TLB_ANNOTATED, IDM_TLB_IDL, IDM_TLB_ANNOTATED + static_cast<UINT>(FShown),
                     MF_BYCOMMAND);
  TScintilla& editor = *FSynMemo;
  // IDL is coloured as C; the units as Pascal.
  static const std::string face = MonospaceFace(L"Consolas");
  if (FShown == TUnitKind::ukIdl) {
    ApplyIdlStyles(editor, face.c_str(), 10);
  } else {
    ApplyPascalStyles(editor, face.c_str(), 10);
  }
  editor.StyleSetFont(STYLE_LINENUMBER, "Terminal", 8);
  editor.Call(SCI_SETCARETLINEBACK, kCaretLineColor);
  editor.SetReadOnly(false);
  editor.SetUtf8Text(EditorText(UnitLines()).View());
  editor.SetReadOnly(true);
  editor.GotoPos(0);
  SynMemoStatusChange();
}

void TfrmTLBView::CloseFindDialog() {
  if (!FFindDialog) return;
  Application().RemoveModelessDialog(FFindDialog);
  DestroyWindow(FFindDialog);
  FFindDialog = nullptr;
}

bool TfrmTLBView::PreTranslateMessage(MSG& AMsg) {
  // Typed characters search every declaration: the control's own search only sees open groups.
  if (AMsg.message == WM_CHAR && AMsg.hwnd == FTree && AMsg.wParam >= L' ') {
    RunCommand([&] { TreeIncrementalSearch(static_cast<wchar_t>(AMsg.wParam)); });
    return true;
  }
  return TLMForm::PreTranslateMessage(AMsg);
}

void TfrmTLBView::DoClose(TCloseAction& AAction) {
  CloseFindDialog();
  TLMForm::DoClose(AAction);
}

void TfrmTLBView::Command(int AId, int, HWND) {
  RunCommand([&] {
    switch (AId) {
      case IDM_TLB_SAVEAS: cmSaveAs(); break;
      case IDM_TLB_PRINT: cmPrint(); break;
      case IDM_TLB_EXIT: cmExit(); break;
      case IDM_TLB_FIND: cmFind(); break;
      case IDM_TLB_FINDNEXT: cmFindNext(); break;
      case IDM_TLB_ANNOTATED: ShowUnit(TUnitKind::ukAnnotated); break;
      case IDM_TLB_IMPORT: ShowUnit(TUnitKind::ukImport); break;
      case IDM_TLB_IDL: ShowUnit(TUnitKind::ukIdl); break;
      default: break;
    }
  });
}

LRESULT TfrmTLBView::Notify(NMHDR* AHeader) {
  if (AHeader->hwndFrom == FSynMemo->Handle()) {
    auto* notification = reinterpret_cast<SCNotification*>(AHeader);
    if (AHeader->code == SCN_UPDATEUI &&
        (notification->updated & (SC_UPDATE_SELECTION | SC_UPDATE_V_SCROLL | SC_UPDATE_H_SCROLL | SC_UPDATE_CONTENT))) {
      RunCommand([&] { SynMemoStatusChange(); });
    }
    return 0;
  }
  if (AHeader->hwndFrom != FTree) return 0;
  switch (AHeader->code) {
    case TVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMTVDISPINFOW*>(AHeader);
      if ((info->item.mask & TVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
        std::wstring text = TreeGetText(info->item.hItem);
        wcsncpy_s(info->item.pszText, static_cast<size_t>(info->item.cchTextMax), text.c_str(), _TRUNCATE);
      }
      return 0;
    }
    case NM_DBLCLK:
      RunCommand([&] { TreeDblClick(); });
      return TRUE;
    case NM_RETURN:
      RunCommand([&] { TreeDblClick(); });
      return TRUE;
    default:
      return 0;
  }
}

LRESULT TfrmTLBView::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (FFindMessage && AMsg == FFindMessage) {
    auto* find = reinterpret_cast<FINDREPLACEW*>(ALParam);
    if (find->Flags & FR_DIALOGTERM) {
      Application().RemoveModelessDialog(FFindDialog);
      FFindDialog = nullptr;
    } else if (find->Flags & FR_FINDNEXT) {
      RunCommand([&] { fdFind(); });
    }
    return 0;
  }
  if (AMsg == WM_HELP) return TRUE;  // no context help
  return TLMForm::WndProc(AMsg, AWParam, ALParam);
}

TUtf8Text EditorText(const TLineList& ALines) {
  size_t length = 0;
  for (size_t i = 0; i < ALines.Count(); ++i) length += ALines[i].size() + 2;
  // Room for the worst case, left untouched where unused: three bytes per code unit.
  TUtf8Text text;
  text.Data.reset(new char[3 * length]);
  char* out = text.Data.get();
  for (size_t i = 0; i < ALines.Count(); ++i) {
    if (i) {
      *out++ = '\r';
      *out++ = '\n';
    }
    out = EncodeUtf8(out, ALines[i]);
  }
  text.Size = static_cast<size_t>(out - text.Data.get());
  return text;
}

namespace {

// The user's answer whether libraries are read without the reader's sandbox, once asked.
std::optional<bool>& UnsandboxedAnswer() {
  static std::optional<bool> answer;
  return answer;
}

// Asks once per run of the program; later reads get the same answer.
bool AskReadUnsandboxed(HWND AOwner, const std::wstring& AWhy) {
  std::optional<bool>& answer = UnsandboxedAnswer();
  if (!answer) {
    answer = ShowMessageBox(AOwner,
                            L"Type libraries are read by a separate process with restricted rights, so that a "
                            L"damaged or hostile library cannot harm your files or other programs. These "
                            L"restrictions cannot be applied here (" +
                                AWhy +
                                L").\n\nRead type libraries without them until Vantrel is closed? The reading "
                                L"process would then have all your rights.",
                            L"Vantrel", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
  }
  return *answer;
}

}  // namespace

void ForgetUnsandboxedAnswer() { UnsandboxedAnswer().reset(); }

void OpenTypeLibViewer(const TObjectData& AData, TRegView AView) {
  TForm* main = Application().MainForm();
  TTypeLibRead read;
  {
    TWaitCursor wait;
    HWND owner = main ? main->Handle() : nullptr;
    TTypeLibReadOptions options = TypeLibReaderDefaults();
    options.AskUnsandboxed = [owner](const std::wstring& AWhy) { return AskReadUnsandboxed(owner, AWhy); };
    read = ReadTypeLibraryWithProgress(owner, AData, AView, options);
  }
  // The next read finds a reader started while the user looks at this one.
  TScopeExit prepare([] { PrepareTypeLibReader(); });
  // A read the user cancelled needs no word.
  if (read.Cancelled) return;
  if (!read.Library) {
    ErrorBox(read.Message);
    return;
  }
  std::unique_ptr<TfrmTLBView> viewer;
  {
    TWaitCursor wait;
    viewer = CreateTypeLibViewer(main ? main->Handle() : nullptr, AData, read.Library.get());
  }
  if (ViewerHook()) ViewerHook()(*viewer);
  viewer->ShowModal();
}

std::unique_ptr<TfrmTLBView> CreateTypeLibViewer(HWND AOwner, const TObjectData& AData, ITypeLib* ALibrary) {
  auto viewer = std::make_unique<TfrmTLBView>(AOwner);
  try {
    viewer->SetCaption(L"ITypeLib Viewer - [" + AData.Name + L"]");
    viewer->FillTree(ALibrary);
  } catch (...) {
    // What the tree holds by now is shown.
  }
  viewer->SetLibrary(AData, ALibrary);
  viewer->ShowUnit(TfrmTLBView::TUnitKind::ukAnnotated);
  return viewer;
}

}  // namespace vantrel
