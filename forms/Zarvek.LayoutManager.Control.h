// The layout manager: saves and restores the layout of registered components through a storage,
// beside a collection of free named values.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Component.h"
#include "forms/Zarvek.LayoutManager.Storage.h"

namespace vantrel {

class ELayoutManager : public Exception {
  using Exception::Exception;
};

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
  constexpr bool Empty() const { return FBits == 0; }
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

// "(%dx%dx%d)": the virtual desktop's width and height and the pixel density of the monitor
// nearest to AWindow. Part of the names under which a form's position and size are stored, so
// that they are remembered per desktop size and density.
std::wstring LayoutDesktopTag(HWND AWindow);

class TLayoutManager;
class TLayoutManagerControl;

// A per-control hook that keeps extra layout data of its own, in the entry's section plus
// "\Layout".
class ILayoutManagerControlLayout {
 public:
  virtual ~ILayoutManagerControlLayout() = default;
  virtual TLayoutManagerControl* GetControl() const = 0;
  virtual void SetControl(TLayoutManagerControl* AControl) = 0;
  virtual void SaveDefault(bool AForce) = 0;
  virtual void Save() = 0;
  virtual void RestoreDefault() = 0;
  virtual void Restore() = 0;
  virtual void DeleteData() = 0;
};

class TLayoutManagerControlLayout : public ILayoutManagerControlLayout {
 public:
  TLayoutManagerControl* GetControl() const override { return FControl; }
  void SetControl(TLayoutManagerControl* AControl) override { FControl = AControl; }
  // Erases the hook's section.
  void DeleteData() override;

 protected:
  // The entry's section plus "\Layout"; empty without an entry.
  std::wstring Section() const;
  // The entry's storage; null without an entry or storage.
  ILayoutManagerStorage* Storage() const;

 private:
  TLayoutManagerControl* FControl = nullptr;
};

// Makes the hook of a new entry; empty for none.
using TLayoutManagerControlLayoutClass = std::function<std::unique_ptr<ILayoutManagerControlLayout>()>;

// One registered component.
class TLayoutManagerControl : private IFreeNotification {
 public:
  TLayoutManagerControl(TLayoutManager* ALM, TComponent* AComponent, const TStringList& AProps);
  ~TLayoutManagerControl();
  TLayoutManagerControl(const TLayoutManagerControl&) = delete;
  TLayoutManagerControl& operator=(const TLayoutManagerControl&) = delete;

  // Null once the component has been destroyed; the entry then does nothing.
  TComponent* Component() const { return FComponent; }
  TLayoutManager* LayoutManager() const { return FLM; }
  // Extra property names, sorted regardless of case, without duplicates.
  const TStringList& Props() const { return FProps; }
  // Empty unless the component is a windowed control.
  TLayoutManagerControlOptions Options() const { return FOptions; }
  void SetOptions(TLayoutManagerControlOptions AOptions);
  ILayoutManagerControlLayout* Layout() const { return FLayout.get(); }
  void SetLayout(std::unique_ptr<ILayoutManagerControlLayout> ALayout);

  const TLayoutManagerStorageRef& Storage() const { return FStorage; }
  // Replacing a storage ends access to the old one.
  void SetStorage(TLayoutManagerStorageRef AStorage);

  // A form's class name; for other components the name, prefixed by the owners' class names up
  // to the form ("TfrmMain\Tree").
  std::wstring Section() const;

  void Save();
  void Restore();
  void DeleteData();

 private:
  void ComponentFreed(TComponent* AComponent) override;
  bool IsWindowed() const;
  void SaveForm(ILayoutManagerStorage& AStorage, const std::wstring& ASection);
  void RestoreForm(ILayoutManagerStorage& AStorage, const std::wstring& ASection);
  void SaveWindowed(ILayoutManagerStorage& AStorage, const std::wstring& ASection);
  void RestoreWindowed(ILayoutManagerStorage& AStorage, const std::wstring& ASection);
  void SaveProps(ILayoutManagerStorage& AStorage, const std::wstring& ASection);
  void RestoreProps(ILayoutManagerStorage& AStorage, const std::wstring& ASection);
  std::wstring ReferenceText(const TPersistent* AObject) const;
  TComponent* FindReference(const std::wstring& AText) const;

  TLayoutManagerStorageRef FStorage;
  TComponent* FComponent;
  TStringList FProps;
  std::unique_ptr<ILayoutManagerControlLayout> FLayout;
  TLayoutManagerControlOptions FOptions;
  TLayoutManager* FLM;
};

// An OLE date: days since 30 December 1899, the time as the fraction.
struct TDateTime {
  double Value = 0;
  bool operator==(const TDateTime&) const = default;
};

// What a free value can hold; single, double and currency values all travel as double.
using TLayoutManagerVariant = std::variant<std::monostate, int64_t, double, TDateTime, bool, std::wstring>;

// The value as text: integers in decimal, floats in their shortest exact form, Booleans as
// "True"/"False", empty as "".
std::wstring VariantToText(const TLayoutManagerVariant& AValue);

// Scrambles values kept with a key.
class ILayoutManagerCipherer {
 public:
  virtual ~ILayoutManagerCipherer() = default;
  virtual std::wstring EncryptText(const std::wstring& AText, const std::wstring& AKey) = 0;
  virtual std::wstring DecryptText(const std::wstring& AText, const std::wstring& AKey) = 0;
};

// Text and key in the system ANSI code page; text byte i (from 1) exclusive-or key byte
// (i mod key length) + 1; each byte as two upper-case hexadecimal digits. Decryption gives empty
// text for anything that is not pairs of hexadecimal digits.
class TLayoutManagerCipherer : public ILayoutManagerCipherer {
 public:
  std::wstring EncryptText(const std::wstring& AText, const std::wstring& AKey) override;
  std::wstring DecryptText(const std::wstring& AText, const std::wstring& AKey) override;
};

class TLayoutManagerValues;

class TLayoutManagerValue {
 public:
  TLayoutManagerValue(const TLayoutManagerValue&) = delete;
  TLayoutManagerValue& operator=(const TLayoutManagerValue&) = delete;

  const std::wstring& Name() const { return FName; }
  // Raises ELayoutManager when another value of the collection has the name (regardless of case).
  void SetName(const std::wstring& AName);
  const TLayoutManagerVariant& Value() const { return FValue; }
  void SetValue(TLayoutManagerVariant AValue) { FValue = std::move(AValue); }
  // Non-empty: the value is stored scrambled with this key.
  const std::wstring& Key() const { return FKey; }
  void SetKey(std::wstring AKey) { FKey = std::move(AKey); }

 private:
  friend class TLayoutManagerValues;
  explicit TLayoutManagerValue(TLayoutManagerValues* AOwner) : FOwner(AOwner) {}
  void Save(ILayoutManagerStorage& AStorage, const std::wstring& ASection, ILayoutManagerCipherer& ACipherer) const;
  void Restore(ILayoutManagerStorage& AStorage, const std::wstring& ASection, ILayoutManagerCipherer& ACipherer);

  TLayoutManagerValues* FOwner;
  std::wstring FName;
  TLayoutManagerVariant FValue;
  std::wstring FKey;
};

class TLayoutManagerValues {
 public:
  TLayoutManagerValues();
  TLayoutManagerValues(const TLayoutManagerValues&) = delete;
  TLayoutManagerValues& operator=(const TLayoutManagerValues&) = delete;

  // The storage section of the values; "Settings" unless changed.
  const std::wstring& Section() const { return FSection; }
  void SetSection(std::wstring ASection) { FSection = std::move(ASection); }
  ILayoutManagerCipherer& Cipherer() const { return *FCipherer; }
  // Null puts back the collection's own TLayoutManagerCipherer.
  void SetCipherer(std::shared_ptr<ILayoutManagerCipherer> ACipherer);

  // Raises ELayoutManager when the name is taken.
  TLayoutManagerValue& Add(const std::wstring& AName);
  int Count() const { return static_cast<int>(FItems.size()); }
  TLayoutManagerValue& Items(int AIndex) const { return *FItems.at(static_cast<size_t>(AIndex)); }
  int IndexOf(const std::wstring& AName) const;
  TLayoutManagerValue* Find(const std::wstring& AName) const;
  void Delete(int AIndex);
  void Clear() { FItems.clear(); }

  // Each value is followed by an EndAccess of the storage, also when it fails.
  void Save(ILayoutManagerStorage& AStorage);
  void Restore(ILayoutManagerStorage& AStorage);

 private:
  std::vector<std::unique_ptr<TLayoutManagerValue>> FItems;
  std::wstring FSection = L"Settings";
  std::shared_ptr<ILayoutManagerCipherer> FCipherer;
};

class TLayoutManager {
 public:
  TLayoutManager();
  ~TLayoutManager();
  TLayoutManager(const TLayoutManager&) = delete;
  TLayoutManager& operator=(const TLayoutManager&) = delete;

  // The form the manager belongs to; not owned.
  TComponent* Owner() const { return FOwner; }
  void SetOwner(TComponent* AOwner) { FOwner = AOwner; }

  const TLayoutManagerStorageRef& Storage() const { return FStorage; }
  // Handed on to every entry; the same storage again changes nothing.
  void SetStorage(TLayoutManagerStorageRef AStorage);

  // Read-only: saves are skipped, restores still run.
  bool ReadOnly() const { return FRO; }
  void SetReadOnly(bool AValue) { FRO = AValue; }
  bool Restoring() const { return FRestoring; }

  // Registers a windowed control whose window exists and returns its index; -1 when it is null,
  // has no window or is registered already. AProps names extra published properties. A layout
  // hook made by ALayoutClass saves its defaults at once unless the manager is read-only.
  int Add(TComponent* AControl, const TStringList& AProps, TLayoutManagerControlOptions AOptions,
          const TLayoutManagerControlLayoutClass& ALayoutClass = {});
  // Registers any component, for its extra properties only; -1 when null or registered already.
  int Add(TComponent* AComponent, const TStringList& AProps);
  void Delete(TComponent* AComponent);
  // Removes every entry, erasing the stored data first when ADeleteData.
  void Clear(bool ADeleteData);
  int FindComponent(const TComponent* AComponent) const;
  TLayoutManagerControl* GetControl(const TComponent* AComponent) const;
  int Count() const { return static_cast<int>(FList.size()); }
  TLayoutManagerControl& Controls(int AIndex) const { return *FList.at(static_cast<size_t>(AIndex)); }
  void SetOptions(TComponent* AControl, TLayoutManagerControlOptions AOptions);

  // Every entry and every value, between OnBeforeSave and OnAfterSave; nothing when read-only,
  // while a full restore runs, or without storage.
  void Save();
  void Save(TComponent* AComponent);
  // Every entry and every value, between OnBeforeRestore and OnAfterRestore.
  void Restore();
  void Restore(TComponent* AComponent);
  void DeleteData();
  void DeleteData(TComponent* AComponent);

  TLayoutManagerValues& Values() { return *FValues; }
  // The value of that name; empty when there is none.
  TLayoutManagerVariant GetValueByName(const std::wstring& AName) const;
  // Sets the value of that name, adding it when there is none.
  void SetValueByName(const std::wstring& AName, TLayoutManagerVariant AValue);

  TNotifyEvent OnBeforeRestore, OnAfterRestore, OnBeforeSave, OnAfterSave;

 private:
  int AddEntry(TComponent* AComponent, const TStringList& AProps);
  void Raise(const TNotifyEvent& AEvent) {
    if (AEvent) AEvent(FOwner);
  }

  std::vector<std::unique_ptr<TLayoutManagerControl>> FList;
  TLayoutManagerStorageRef FStorage;
  TComponent* FOwner = nullptr;
  std::unique_ptr<TLayoutManagerValues> FValues;
  bool FRestoring = false;
  bool FRO = false;
};

}  // namespace vantrel
