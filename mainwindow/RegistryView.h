// The registry view of the details pane: raw registry subtrees as indented lines of text.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/Zarvek_UIHandles.h"
#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

// What a line of the registry view stands for: the line as shown.
struct TRegistryNodeData {
  std::wstring Text;
};

class TRegistryView {
 public:
  // A tree control without buttons or root lines, child of AParent.
  TRegistryView(HWND AParent, int AId);
  ~TRegistryView();
  TRegistryView(const TRegistryView&) = delete;
  TRegistryView& operator=(const TRegistryView&) = delete;

  HWND Handle() const { return FTree; }
  void SetFont(HFONT AFont);

  // Removes every line.
  void Clear();
  // Adds the subtree of AKey (a path under HKEY_CLASSES_ROOT, read in the registry view AView) at
  // the top level: a path line per component before the key, the key line, its value lines, and
  // its subkeys below its last line.
  void FillRegistryTree(const std::wstring& AKey, bool AsHex, TRegView AView);
  void ExpandAll();
  // Suspends repainting while lines are replaced.
  void BeginUpdate();
  void EndUpdate();

  // The lines in tree order (each before its children) with their levels.
  struct TLineRef {
    int Level;
    const std::wstring* Text;
  };
  std::vector<TLineRef> LinesInTreeOrder() const;
  size_t LineCount() const { return FLines.size(); }
  const TRegistryNodeData* NodeData(HTREEITEM AItem) const;

  // Called with the selected line's data, or null when the selection went away.
  std::function<void(const TRegistryNodeData* ALine)> OnChange;

  // Notifications of the tree control, forwarded by the owner; true when handled.
  bool Notify(NMHDR* AHeader, LRESULT& AResult);

 private:
  struct TLine {
    TRegistryNodeData Data;
    int Parent;
    int Level;
    HTREEITEM Item;
    std::vector<int> Children;
  };
  int AddLine(int AParent, std::wstring AText);
  void AddRegistryKey(TRegistry& ARegistry, int AParent, const std::wstring& AKey, bool AsHex);

  HWND FTree = nullptr;
  TFont FBoldFont;
  std::vector<TLine> FLines;
  int FUpdateCount = 0;
};

}  // namespace vantrel
