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

int TRegistryView::AddLine(int AParent, std::wstring AText) {
  TVINSERTSTRUCTW insert = {};
  insert.hParent = AParent < 0 ? TVI_ROOT : FLines[static_cast<size_t>(AParent)].Item;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = LPSTR_TEXTCALLBACKW;
  insert.item.lParam = static_cast<LPARAM>(FLines.size());
  int level = AParent < 0 ? 0 : FLines[static_cast<size_t>(AParent)].Level + 1;
  FLines.push_back({{std::move(AText)}, AParent, level, nullptr, {}});
  int index = static_cast<int>(FLines.size() - 1);
  FLines.back().Item = TreeView_InsertItem(FTree, &insert);
  if (AParent >= 0) FLines[static_cast<size_t>(AParent)].Children.push_back(index);
  return index;
}

void TRegistryView::FillRegistryTree(const std::wstring& AKey, bool AsHex, TRegView AView) {
  std::wstring key = AKey;
  if (!key.empty() && key.back() == L'\\') key.pop_back();
  TRegistry registry = CatalogRegistry(AView);
  if (IsBlankText(key) || !registry.KeyExists(key)) return;
  int parent = -1;
  for (size_t slash = key.find(L'\\'); slash != std::wstring::npos; slash = key.find(L'\\')) {
    parent = AddLine(parent, key.substr(0, slash));
    key.erase(0, slash + 1);
  }
  AddRegistryKey(registry, parent, AKey, AsHex);
}

void TRegistryView::AddRegistryKey(TRegistry& ARegistry, int AParent, const std::wstring& AKey, bool AsHex) {
  if (!ARegistry.OpenKeyReadOnly(AKey)) return;
  const std::wstring name = KeyName(AKey);
  int last = AddLine(AParent, name + L" = " + RegistryValueText(ARegistry, L"", AsHex));
  TStringList valueNames;
  ARegistry.GetValueNames(valueNames);
  for (const std::wstring& valueName : valueNames) {
    if (IsBlankText(valueName)) continue;  // the default value is on the key line
    last = AddLine(AParent, name + L"[" + valueName + L"] = " + RegistryValueText(ARegistry, valueName, AsHex));
  }
  TStringList subkeys;
  ARegistry.GetKeyNames(subkeys);
  // One key open at a time: the registry object serves the subkeys too.
  ARegistry.CloseKey();
  // A key's subkeys hang below its last line.
  for (const std::wstring& subkey : subkeys) AddRegistryKey(ARegistry, last, AKey + L"\\" + subkey, AsHex);
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
    default:
      return false;
  }
}

}  // namespace vantrel
