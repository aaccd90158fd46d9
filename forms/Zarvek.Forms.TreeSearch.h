// Search by typing in a tree view that reaches every node, collapsed branches included: the
// control's own search only sees the expanded ones.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The match rule of the incremental search: the shorter length decides how many characters are
// compared, ignoring the case of ASCII letters.
bool IncrementalSearchMatches(std::wstring_view ATyped, std::wstring_view AText);

// A node the search can find: by the text it shows (the rule above), or by a name within that
// text (a declaration's name after its kind word, say) that starts with all that was typed, so
// that typing on past a short name moves on to a longer one.
struct TTreeSearchNode {
  HTREEITEM Node = nullptr;
  std::wstring_view Text;
  std::wstring_view Name;
};

class TTreeIncrementalSearch {
 public:
  // A pause longer than this between two characters starts a new search.
  static constexpr DWORD PauseMs = 1000;

  // Adds a character typed at ANow (milliseconds since some start) and selects the first node of
  // ANodes (every node, in tree order) that matches what was typed, looking from the selected
  // node on: after it when the search is new, from it when the text grew. Selecting expands the
  // node's branch and scrolls it into view. True when a node was selected.
  bool Type(HWND ATree, wchar_t AChar, DWORD ANow, const std::vector<TTreeSearchNode>& ANodes);

 private:
  std::wstring FText;
  DWORD FLastKey = 0;
};

}  // namespace vantrel
