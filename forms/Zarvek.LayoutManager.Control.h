// The layout manager: saves and restores the layout of registered components through a storage.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalog/Zarvek_StrUtils.h"
#include "forms/Zarvek.Forms.Component.h"
#include "forms/Zarvek.LayoutManager.Storage.h"

namespace vantrel {

enum class TLayoutManagerControlOption : uint8_t { loPosition, loSize, loState, loStyle };

// A set of TLayoutManagerControlOption, one bit per option.
class TLayoutManagerControlOptions {
 public:
  constexpr TLayoutManagerControlOptions() = default;
  constexpr TLayoutManagerControlOptions(std::initializer_list<TLayoutManagerControlOption> AOptions) {
    for (auto option : AOptions) FBits |= Bit(option);
  }
  static constexpr TLayoutManagerControlOptions All() {
    return {TLayoutManagerControlOption::loPosition, TLayoutManagerControlOption::loSize,
            TLayoutManagerControlOption::loState, TLayoutManagerControlOption::loStyle};
  }
  constexpr bool Contains(TLayoutManagerControlOption AOption) const { return (FBits & Bit(AOption)) != 0; }
  constexpr TLayoutManagerControlOptions Without(TLayoutManagerControlOption AOption) const {
    TLayoutManagerControlOptions result = *this;
    result.FBits &= static_cast<uint8_t>(~Bit(AOption));
    return result;
  }
  constexpr bool operator==(const TLayoutManagerControlOptions&) const = default;

 private:
  static constexpr uint8_t Bit(TLayoutManagerControlOption AOption) {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(AOption));
  }
  uint8_t FBits = 0;
};

using TNotifyEvent = std::function<void(TComponent* ASender)>;

class TLayoutManager {
 public:
  TLayoutManager();
  ~TLayoutManager();
  TLayoutManager(const TLayoutManager&) = delete;
  TLayoutManager& operator=(const TLayoutManager&) = delete;

  TComponent* Owner() const { return FOwner; }
  void SetOwner(TComponent* AOwner) { FOwner = AOwner; }

  const TLayoutManagerStorageRef& Storage() const { return FStorage; }
  void SetStorage(TLayoutManagerStorageRef AStorage);

  bool ReadOnly() const { return FRO; }
  void SetReadOnly(bool AValue) { FRO = AValue; }

  // Registers a windowed component; -1 when it is null, has no window or is registered already.
  int Add(TComponent* AControl, const TStringList& AProps, TLayoutManagerControlOptions AOptions);
  void Delete(TComponent* AComponent);
  void SetOptions(TComponent* AControl, TLayoutManagerControlOptions AOptions);

  void Save();
  void Restore();
  void Restore(TComponent* AComponent);

  TNotifyEvent OnBeforeRestore, OnAfterRestore, OnBeforeSave, OnAfterSave;

 private:
  TComponent* FOwner = nullptr;
  TLayoutManagerStorageRef FStorage;
  bool FRestoring = false;
  bool FRO = false;
};

}  // namespace vantrel
