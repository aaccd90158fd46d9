// What a window keeps beside its place and size (the width of a pane, a view option), as a layout
// hook made of two functions.
#pragma once

#include <functional>
#include <string>

#include "forms/Zarvek.LayoutManager.Control.h"

namespace vantrel {

// Saves with the window's entry, in the entry's section plus "\Layout". Restores once, with the
// window's first restore: later restores (after a display change) move and size the window only.
class TFormSettingsLayout : public TLayoutManagerControlLayout {
 public:
  using TAccess = std::function<void(ILayoutManagerStorage& AStorage, const std::wstring& ASection)>;
  TFormSettingsLayout(TAccess ASave, TAccess ARestore) : FSave(std::move(ASave)), FRestore(std::move(ARestore)) {}

  void SaveDefault(bool) override {}
  void RestoreDefault() override {}
  void Save() override {
    if (ILayoutManagerStorage* storage = Storage()) FSave(*storage, Section());
  }
  void Restore() override {
    ILayoutManagerStorage* storage = Storage();
    if (!storage || FRestored) return;
    FRestored = true;
    FRestore(*storage, Section());
  }

 private:
  TAccess FSave;
  TAccess FRestore;
  bool FRestored = false;
};

// A pane width kept at 96 dots per inch, read back only when it lies in [AMinimum, AMaximum]:
// anything else stored there leaves the width as it is.
inline int StoredPaneWidth(ILayoutManagerStorage& AStorage, const std::wstring& ASection, const std::wstring& AName,
                           int ACurrent, int AMinimum = 50, int AMaximum = 4000) {
  int64_t width = AStorage.ReadInteger(ASection, AName, ACurrent);
  return width >= AMinimum && width <= AMaximum ? static_cast<int>(width) : ACurrent;
}

}  // namespace vantrel
