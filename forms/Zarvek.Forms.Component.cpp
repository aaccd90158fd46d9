#include "forms/Zarvek.Forms.Component.h"

#include <algorithm>

namespace vantrel {

TComponent::~TComponent() {
  // Observers may stop watching while they are told; tell a copy of the list.
  std::vector<IFreeNotification*> observers;
  observers.swap(FObservers);
  for (IFreeNotification* observer : observers) observer->ComponentFreed(this);
  for (TComponent* owned : FComponents) owned->FOwner = nullptr;
  SetOwner(nullptr);
}

void TComponent::SetOwner(TComponent* AOwner) {
  if (AOwner == FOwner) return;
  if (FOwner) {
    auto& list = FOwner->FComponents;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  FOwner = AOwner;
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent* TComponent::FindComponent(std::wstring_view AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* owned : FComponents) {
    if (SameTextAscii(owned->Name(), AName)) return owned;
  }
  return nullptr;
}

const TPropInfo* TComponent::FindProperty(std::wstring_view AName) const {
  for (const TPropInfo& info : FProperties) {
    if (SameTextAscii(info.Name, AName)) return &info;
  }
  return nullptr;
}

void TComponent::FreeNotification(IFreeNotification* AObserver) {
  if (AObserver && std::find(FObservers.begin(), FObservers.end(), AObserver) == FObservers.end()) {
    FObservers.push_back(AObserver);
  }
}

void TComponent::RemoveFreeNotification(IFreeNotification* AObserver) {
  FObservers.erase(std::remove(FObservers.begin(), FObservers.end(), AObserver), FObservers.end());
}

void TComponent::PublishOrdinal(std::wstring AName, TPropertyKind AKind, std::function<int64_t()> AGet,
                                std::function<void(int64_t)> ASet) {
  TPropInfo info;
  info.Name = std::move(AName);
  info.Kind = AKind;
  info.GetOrd = std::move(AGet);
  info.SetOrd = std::move(ASet);
  Publish(std::move(info));
}

void TComponent::PublishFloat(std::wstring AName, std::function<double()> AGet, std::function<void(double)> ASet) {
  TPropInfo info;
  info.Name = std::move(AName);
  info.Kind = TPropertyKind::pkFloat;
  info.GetFloat = std::move(AGet);
  info.SetFloat = std::move(ASet);
  Publish(std::move(info));
}

void TComponent::PublishString(std::wstring AName, std::function<std::wstring()> AGet,
                               std::function<void(const std::wstring&)> ASet) {
  TPropInfo info;
  info.Name = std::move(AName);
  info.Kind = TPropertyKind::pkString;
  info.GetStr = std::move(AGet);
  info.SetStr = std::move(ASet);
  Publish(std::move(info));
}

void TComponent::PublishObject(std::wstring AName, std::function<TPersistent*()> AGet,
                               std::function<void(TPersistent*)> ASet, std::function<bool(const TPersistent*)> AAccepts) {
  TPropInfo info;
  info.Name = std::move(AName);
  info.Kind = TPropertyKind::pkClass;
  info.GetObject = std::move(AGet);
  info.SetObject = std::move(ASet);
  info.Accepts = std::move(AAccepts);
  Publish(std::move(info));
}

}  // namespace vantrel
