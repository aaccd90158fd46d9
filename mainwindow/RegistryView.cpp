#include "mainwindow/RegistryView.h"

#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_StrUtils.h"
#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

// The last component of a key path: the text after its last backslash or colon.
std::wstring KeyName(const std::wstring& AKey) {
  size_t pos = AKey.find_last_of(L"\\:");
  return pos == std::wstring::npos ? AKey : AKey.substr(pos + 1);
}

}  // namespace

TRegistryView::TRegistryView(HWND AParent, int AId) {
  FTree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_SHOWSELALWAYS |
                                                    TVS_DISABLEDRAGDROP | TVS_NOHSCROLL,
                          0, 0, 10, 10, AParent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)),
                          Application().Instance(), nullptr);
  // The view sits on the button face like the panel around it.
  TreeView_SetBkColor(FTree, GetSysColor(COLOR_BTNFACE));
}

TRegistryView::~TRegistryView() = default;

void TRegistryView::SetFont(HFONT AFont) {
  SendMessageW(FTree, WM_SETFONT, reinterpret_cast<WPARAM>(AFont), TRUE);
  LOGFONTW font = {};
  GetObjectW(AFont, sizeof(font), &font);
  font.lfWeight = FW_BOLD;
  FBoldFont.reset(CreateFontIndirectW(&font));
}

void TRegistryView::BeginUpdate() {
  if (FUpdateCount++ == 0) SendMessageW(FTree, WM_SETREDRAW, FALSE, 0);
}

void TRegistryView::EndUpdate() {
  if (--FUpdateCount == 0) {
    SendMessageW(FTree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(FTree, nullptr, TRUE);
  }
}

void TRegistryView::Clear() {
  FLines.clear();
  TreeView_DeleteAllItems(FTree);
}

int TRegistryView::AddLine(int AParent, TRegistryNodeData AData) {
  TVINSERTSTRUCTW insert = {};
  insert.hParent = AParent < 0 ? TVI_ROOT : FLines[static_cast<size_t>(AParent)].Item;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = LPSTR_TEXTCALLBACKW;
  insert.item.lParam = static_cast<LPARAM>(FLines.size());
  int level = AParent < 0 ? 0 : FLines[static_cast<size_t>(AParent)].Level + 1;
  FLines.push_back({std::move(AData), AParent, level, nullptr, {}});
  int index = static_cast<int>(FLines.size() - 1);
  FLines.back().Item = TreeView_InsertItem(FTree, &insert);
  if (AParent >= 0) FLines[static_cast<size_t>(AParent)].Children.push_back(index);
  return index;
}

void TRegistryView::FillRegistryTree(const std::wstring& AKey, bool AsHex, TRegView AView, size_t AKeyLimit) {
  std::wstring key = AKey;
  if (!key.empty() && key.back() == L'\\') key.pop_back();
  TRegistry registry = CatalogRegistry(AView);
  if (IsBlankText(key) || !registry.KeyExists(key)) return;
  const std::wstring fullKey = key;
  int parent = -1;
  for (size_t slash = key.find(L'\\'); slash != std::wstring::npos; slash = key.find(L'\\')) {
    parent = AddLine(parent, key.substr(0, slash));
    key.erase(0, slash + 1);
  }
  // Depth first without recursion, in the registry's order: a key's subkeys hang below its last
  // line, and come before the key's next sibling.
  struct TPending {
    int Parent;
    std::wstring Key;
  };
  std::vector<TPending> pending = {{parent, fullKey}};
  size_t read = 0;
  bool cut = false;
  TStringList subkeys;
  while (!pending.empty()) {
    TPending next = std::move(pending.back());
    pending.pop_back();
    if (read == AKeyLimit) {
      cut = true;
      break;
    }
    int last = -1;
    if (!AddRegistryKey(registry, next.Parent, next.Key, AsHex, last, subkeys)) continue;
    ++read;
    for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it) pending.push_back({last, next.Key + L"\\" + *it});
  }
  if (cut) {
    AddLine(parent, L"\u2026 " + KeyName(fullKey) + L": more keys than the " + std::to_wstring(AKeyLimit) +
                        L" shown; the rest is left out");
  }
}

bool TRegistryView::AddRegistryKey(TRegistry& ARegistry, int AParent, const std::wstring& AKey, bool AsHex, int& ALast,
                                   TStringList& ASubkeys) {
  ASubkeys.clear();
  if (!ARegistry.OpenKeyReadOnly(AKey)) return false;
  const std::wstring name = KeyName(AKey);
  ALast = AddLine(AParent, name + L" = " + RegistryValueDisplayText(ARegistry, L"", AsHex));
  TStringList valueNames;
  ARegistry.GetValueNames(valueNames);
  for (const std::wstring& valueName : valueNames) {
    if (IsBlankText(valueName)) continue;  // the default value is on the key line
    ALast = AddLine(AParent, name + L"[" + valueName + L"] = " + RegistryValueDisplayText(ARegistry, valueName, AsHex));
  }
  ARegistry.GetKeyNames(ASubkeys);
  // One key open at a time: the registry object serves the subkeys too.
  ARegistry.CloseKey();
  return true;
}

void TRegistryView::ExpandAll() {
  for (const TLine& line : FLines) {
    if (!line.Children.empty()) TreeView_Expand(FTree, line.Item, TVE_EXPAND);
  }
}

std::vector<TRegistryView::TLineRef> TRegistryView::LinesInTreeOrder() const {
  std::vector<TLineRef> lines;
  lines.reserve(FLines.size());
  // Depth-first without recursion: hostile registries nest keys hundreds of levels deep.
  std::vector<int> pending;
  for (size_t i = FLines.size(); i-- > 0;) {
    if (FLines[i].Parent < 0) pending.push_back(static_cast<int>(i));
  }
  while (!pending.empty()) {
    const TLine& line = FLines[static_cast<size_t>(pending.back())];
    pending.pop_back();
    lines.push_back({line.Level, &line.Data.Text});
    for (auto it = line.Children.rbegin(); it != line.Children.rend(); ++it) pending.push_back(*it);
  }
  return lines;
}

const TRegistryNodeData* TRegistryView::SelectedData() const { return NodeData(TreeView_GetSelection(FTree)); }

const TRegistryNodeData* TRegistryView::NodeData(HTREEITEM AItem) const {
  if (!AItem) return nullptr;
  TVITEMW item = {};
  item.mask = TVIF_PARAM | TVIF_HANDLE;
  item.hItem = AItem;
  if (!TreeView_GetItem(FTree, &item)) return nullptr;
  size_t index = static_cast<size_t>(item.lParam);
  return index < FLines.size() ? &FLines[index].Data : nullptr;
}

bool TRegistryView::Notify(NMHDR* AHeader, LRESULT& AResult) {
  if (AHeader->hwndFrom != FTree) return false;
  AResult = 0;
  switch (AHeader->code) {
    case TVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMTVDISPINFOW*>(AHeader);
      size_t index = static_cast<size_t>(info->item.lParam);
      if ((info->item.mask & TVIF_TEXT) && index < FLines.size() && info->item.pszText && info->item.cchTextMax > 0) {
        // The control shows what fits its buffer; the whole line is in the memo and the copy.
        const std::wstring& text = FLines[index].Data.Text;
        size_t count = std::min<size_t>(text.size(), static_cast<size_t>(info->item.cchTextMax - 1));
        text.copy(info->item.pszText, count);
        info->item.pszText[count] = L'\0';
      }
      return true;
    }
    case NM_CUSTOMDRAW: {
      auto* draw = reinterpret_cast<NMTVCUSTOMDRAW*>(AHeader);
      if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
        AResult = CDRF_NOTIFYITEMDRAW;
      } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        size_t index = static_cast<size_t>(draw->nmcd.lItemlParam);
        // Top-level lines are drawn bold.
        if (index < FLines.size() && FLines[index].Level == 0 && FBoldFont) {
          SelectObject(draw->nmcd.hdc, FBoldFont.get());
          AResult = CDRF_NEWFONT;
        }
      }
      return true;
    }
    case TVN_SELCHANGEDW: {
      auto* view = reinterpret_cast<NMTREEVIEWW*>(AHeader);
      if (OnChange) OnChange(NodeData(view->itemNew.hItem));
      return true;
    }
    case NM_DBLCLK:
    case NM_RETURN: {
      const TRegistryNodeData* line = SelectedData();
      if (line && OnOpen) OnOpen(*line);
      AResult = line && line->OpensVersion;  // a version line opens instead of toggling
      return true;
    }
    default:
      return false;
  }
}

}  // namespace vantrel
