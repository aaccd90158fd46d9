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

// What a line of the registry view stands for: the line as shown, and for a line of a type
// library's version list, the version it opens.
struct TRegistryNodeData {
  std::wstring Text;
  bool OpensVersion = false;
  uint32_t Major = 0, Minor = 0;
  std::wstring VersionKey;  // "c.1", as registered
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
  // its subkeys below its last line. At most AKeyLimit keys are read (a reference that names a huge
  // key, such as CLSID itself, must not hold the window); a line says that the rest was left out.
  void FillRegistryTree(const std::wstring& AKey, bool AsHex, TRegView AView, size_t AKeyLimit = kEntryKeyLimit);
  // The limits of an entry's own key, and of a key another value of it refers to.
  static constexpr size_t kEntryKeyLimit = 20000;
  static constexpr size_t kReferenceKeyLimit = 1000;
  // Adds a line below AParent (-1: the top level); returns its index for lines below it.
  int AddLine(int AParent, TRegistryNodeData AData);
  // The data of the selected line; null when none is selected.
  const TRegistryNodeData* SelectedData() const;
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
  // Called when a line is double-clicked or Enter is pressed on it.
  std::function<void(const TRegistryNodeData& ALine)> OnOpen;

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
  int AddLine(int AParent, std::wstring AText) { return AddLine(AParent, TRegistryNodeData{std::move(AText)}); }
  // The key's lines; its subkeys' paths into ASubkeys, in the registry's order. False when the key
  // cannot be opened.
  bool AddRegistryKey(TRegistry& ARegistry, int AParent, const std::wstring& AKey, bool AsHex, int& ALast,
                      TStringList& ASubkeys);

  HWND FTree = nullptr;
  TFont FBoldFont;
  std::vector<TLine> FLines;
  int FUpdateCount = 0;
};

}  // namespace vantrel
