#include "forms/Zarvek.Forms.TreeSearch.h"

#include <algorithm>

#include "base/Zarvek_StrUtils.h"

namespace vantrel {

bool IncrementalSearchMatches(std::wstring_view ATyped, std::wstring_view AText) {
  size_t n = std::min(ATyped.size(), AText.size());
  for (size_t i = 0; i < n; ++i) {
    if (LowerAscii(ATyped[i]) != LowerAscii(AText[i])) return false;
  }
  return true;
}

bool TTreeIncrementalSearch::Type(HWND ATree, wchar_t AChar, DWORD ANow, const std::vector<TTreeSearchNode>& ANodes) {
  if (ANow - FLastKey > PauseMs) FText.clear();
  FLastKey = ANow;
  FText += AChar;
  if (ANodes.empty()) return false;

  HTREEITEM focused = TreeView_GetSelection(ATree);
  size_t start = 0;
  for (size_t i = 0; i < ANodes.size(); ++i) {
    if (ANodes[i].Node == focused) {
      // A new search starts after the focused node; a longer text may stay on it.
      start = FText.size() == 1 ? i + 1 : i;
      break;
    }
  }
  for (size_t k = 0; k < ANodes.size(); ++k) {
    const TTreeSearchNode& candidate = ANodes[(start + k) % ANodes.size()];
    if (IncrementalSearchMatches(FText, candidate.Text) ||
        (FText.size() <= candidate.Name.size() && IncrementalSearchMatches(FText, candidate.Name))) {
      TreeView_SelectItem(ATree, candidate.Node);
      TreeView_EnsureVisible(ATree, candidate.Node);
      return true;
    }
  }
  return false;
}

}  // namespace vantrel
