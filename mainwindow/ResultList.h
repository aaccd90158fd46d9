// The result list of the main window: the entries a search found, or the problems the
// registration check found, in a list view that asks for its texts (tens of thousands of rows
// cost no more than a screenful).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "catalog/ObjectCatalog.h"

namespace vantrel {

// A row: the entry it stands for (its catalog and position in the catalog's list) and what it
// says about it: the fields a search found the text in, or the position of a problem.
struct TResultRow {
  TObjectType Catalog = TObjectType::otCLSID;
  uint32_t Index = 0;
  uint32_t Fields = 0;  // search rows: bit 1 << TSearchField
  int Problem = -1;     // problem rows: position in the check's problems
};

class TResultList {
 public:
  enum class TMode { rmSearch, rmProblems };
  // The texts of a row's cells, by column: Name, Catalog, GUID, then "Found in", or "Problem"
  // and "Value".
  using TCellText = std::function<std::wstring(const TResultRow& ARow, int AColumn)>;

  // ADpi: the window's dots per inch, for the column widths.
  TResultList(HWND AParent, int AId, UINT ADpi, TCellText ACellText);
  TResultList(const TResultList&) = delete;
  TResultList& operator=(const TResultList&) = delete;

  HWND Handle() const { return FList; }
  TMode Mode() const { return FMode; }
  // Sets the columns of the mode and removes every row.
  void SetMode(TMode AMode);
  // Scales the column widths to the window's new dots per inch.
  void SetDpi(UINT ADpi);
  void Clear();
  // Adds rows at the end, keeping the selection.
  void AddRows(const std::vector<TResultRow>& ARows);
  const std::vector<TResultRow>& Rows() const { return FRows; }
  // The selected row, or -1.
  int Selected() const;
  void Select(int ARow);
  // The text of a cell as the list shows it.
  std::wstring CellText(int ARow, int AColumn) const;
  std::wstring ColumnCaption(int AColumn) const;
  int ColumnCount() const;

  // Called when the selection moved to a row.
  std::function<void(const TResultRow& ARow)> OnSelect;
  // Called on a double-click on a row, or by OpenSelected (the owner's Enter key).
  std::function<void(const TResultRow& ARow)> OnOpen;
  void OpenSelected();

  // Notifications of the list control, forwarded by the owner; true when handled.
  bool Notify(NMHDR* AHeader, LRESULT& AResult);

 private:
  HWND FList = nullptr;
  UINT FDpi;
  TMode FMode = TMode::rmSearch;
  TCellText FCellText;
  std::vector<TResultRow> FRows;
  std::wstring FTextBuffer;  // what the control was last given to show
};

}  // namespace vantrel
