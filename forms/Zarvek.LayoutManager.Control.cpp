#include "forms/Zarvek.LayoutManager.Control.h"

namespace vantrel {

TLayoutManager::TLayoutManager() = default;
TLayoutManager::~TLayoutManager() = default;

void TLayoutManager::SetStorage(TLayoutManagerStorageRef AStorage) { FStorage = std::move(AStorage); }

int TLayoutManager::Add(TComponent* AControl, const TStringList&, TLayoutManagerControlOptions) {
  return AControl && AControl->WindowHandle() ? 0 : -1;
}

void TLayoutManager::Delete(TComponent*) {}

void TLayoutManager::SetOptions(TComponent*, TLayoutManagerControlOptions) {}

void TLayoutManager::Save() {}

void TLayoutManager::Restore() {}

void TLayoutManager::Restore(TComponent*) {}

}  // namespace vantrel
