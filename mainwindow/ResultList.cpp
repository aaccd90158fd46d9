#include "mainwindow/ResultList.h"

#include <iterator>

#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

struct TColumn {
  const wchar_t* Caption;
  int Width96;
};
constexpr TColumn kSearchColumns[] = {{L"Name", 220}, {L"Catalog", 110}, {L"GUID", 250}, {L"Found in", 120}};
constexpr TColumn kProblemColumns[] = {
    {L"Name", 200}, {L"Catalog", 110}, {L"GUID", 250}, {L"Problem", 220}, {L"Value", 300}};

}  // namespace

TResultList::TResultList(HWND AParent, int AId, UINT ADpi, TCellText ACellText)
    : FDpi(ADpi), FCellText(std::move(ACellText)) {
  FList = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                          WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA, 0,
                          0, 10, 10, AParent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)),
                          Application().Instance(), nullptr);
  ListView_SetExtendedListViewStyle(FList, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SetMode(TMode::rmSearch);
}

void TResultList::SetMode(TMode AMode) {
  Clear();
  while (ListView_DeleteColumn(FList, 0)) {
  }
  FMode = AMode;
  int index = 0;
  auto add = [&](const TColumn& AColumn) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(AColumn.Caption);
    column.cx = MulDiv(AColumn.Width96, static_cast<int>(FDpi), 96);
    ListView_InsertColumn(FList, index++, &column);
  };
  if (AMode == TMode::rmSearch) {
    for (const TColumn& column : kSearchColumns) add(column);
  } else {
    for (const TColumn& column : kProblemColumns) add(column);
  }
}

void TResultList::SetDpi(UINT ADpi) {
  for (int column = 0; column < ColumnCount(); ++column) {
    const int width = ListView_GetColumnWidth(FList, column);
    ListView_SetColumnWidth(FList, column, MulDiv(width, static_cast<int>(ADpi), static_cast<int>(FDpi)));
  }
  FDpi = ADpi;
}

int TResultList::ColumnCount() const {
  return FMode == TMode::rmSearch ? static_cast<int>(std::size(kSearchColumns))
                                  : static_cast<int>(std::size(kProblemColumns));
}

std::wstring TResultList::ColumnCaption(int AColumn) const {
  if (AColumn < 0 || AColumn >= ColumnCount()) return std::wstring();
  return FMode == TMode::rmSearch ? kSearchColumns[AColumn].Caption : kProblemColumns[AColumn].Caption;
}

void TResultList::Clear() {
  FRows.clear();
  ListView_SetItemCountEx(FList, 0, 0);
}

void TResultList::AddRows(const std::vector<TResultRow>& ARows) {
  if (ARows.empty()) return;
  FRows.insert(FRows.end(), ARows.begin(), ARows.end());
  // Rows only come at the end: the selection and the scroll position stay.
  ListView_SetItemCountEx(FList, static_cast<int>(FRows.size()), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  InvalidateRect(FList, nullptr, FALSE);
}

int TResultList::Selected() const { return ListView_GetNextItem(FList, -1, LVNI_SELECTED); }

void TResultList::Select(int ARow) {
  if (ARow < 0 || ARow >= static_cast<int>(FRows.size())) return;
  ListView_SetItemState(FList, ARow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(FList, ARow, FALSE);
}

void TResultList::OpenSelected() {
  const int row = Selected();
  if (row >= 0 && OnOpen) OnOpen(FRows[static_cast<size_t>(row)]);
}

std::wstring TResultList::CellText(int ARow, int AColumn) const {
  if (ARow < 0 || ARow >= static_cast<int>(FRows.size()) || AColumn < 0 || AColumn >= ColumnCount()) {
    return std::wstring();
  }
  return FCellText(FRows[static_cast<size_t>(ARow)], AColumn);
}

bool TResultList::Notify(NMHDR* AHeader, LRESULT& AResult) {
  if (AHeader->hwndFrom != FList) return false;
  AResult = 0;
  switch (AHeader->code) {
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(AHeader);
      if (info->item.mask & LVIF_TEXT) {
        FTextBuffer = CellText(info->item.iItem, info->item.iSubItem);
        // The control copies the text before it asks again.
        info->item.pszText = FTextBuffer.data();
      }
      return true;
    }
    case LVN_ITEMCHANGED: {
      auto* change = reinterpret_cast<NMLISTVIEW*>(AHeader);
      const bool nowSelected = (change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED);
      if (nowSelected && change->iItem >= 0 && change->iItem < static_cast<int>(FRows.size()) && OnSelect) {
        OnSelect(FRows[static_cast<size_t>(change->iItem)]);
      }
      return true;
    }
    case NM_DBLCLK:
      OpenSelected();
      AResult = TRUE;
      return true;
    default:
      return false;
  }
}

}  // namespace vantrel
