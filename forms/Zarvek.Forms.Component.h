// The base of everything the layout manager can register: a named object with an owner, whose
// published properties can be read and written by name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Zarvek_StrUtils.h"

namespace vantrel {

class TComponent;

// An object that can be the value of a class-typed property. Its name path is how a stored
// layout refers to it.
class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  // The class name as it appears in layout section names (for example "TfrmMain").
  virtual std::wstring ClassName() const = 0;
  virtual std::wstring GetNamePath() const { return ClassName(); }
};

// A list of text lines as the value of a class-typed property.
class TStrings : public TPersistent {
 public:
  std::wstring ClassName() const override { return L"TStrings"; }
  TStringList Lines;
};

// The kinds of published properties the layout manager knows.
enum class TPropertyKind { pkInteger, pkChar, pkEnumeration, pkFloat, pkString, pkSet, pkClass, pkInt64 };

// One published property: its name, its kind and how to read and write it. Ordinal kinds
// (integer, character, enumeration, set, 64-bit) use GetOrd/SetOrd, floats GetFloat/SetFloat,
// strings GetStr/SetStr, classes GetObject/SetObject; a class property also says which objects it
// accepts (the property's class).
struct TPropInfo {
  std::wstring Name;
  TPropertyKind Kind = TPropertyKind::pkInteger;
  std::function<int64_t()> GetOrd;
  std::function<void(int64_t)> SetOrd;
  std::function<double()> GetFloat;
  std::function<void(double)> SetFloat;
  std::function<std::wstring()> GetStr;
  std::function<void(const std::wstring&)> SetStr;
  std::function<TPersistent*()> GetObject;
  std::function<void(TPersistent*)> SetObject;
  std::function<bool(const TPersistent*)> Accepts;
};
using TPropInfoList = std::vector<TPropInfo>;

// Told when a component it watches is destroyed.
class IFreeNotification {
 public:
  virtual void ComponentFreed(TComponent* AComponent) = 0;

 protected:
  ~IFreeNotification() = default;
};

class TComponent : public TPersistent {
 public:
  TComponent() = default;
  ~TComponent() override;

  // The native window of a windowed component; null for the others.
  virtual HWND WindowHandle() const { return nullptr; }

  const std::wstring& Name() const { return FName; }
  void SetName(std::wstring AName) { FName = std::move(AName); }
  std::wstring GetNamePath() const override { return FName; }

  // The owner keeps a list of what it owns (for lookups by name) but does not free it.
  TComponent* Owner() const { return FOwner; }
  void SetOwner(TComponent* AOwner);
  const std::vector<TComponent*>& Components() const { return FComponents; }
  // An owned component by name, regardless of case; null when there is none.
  TComponent* FindComponent(std::wstring_view AName) const;

  // Published properties, in the order they were published.
  const TPropInfoList& Properties() const { return FProperties; }
  // A published property by name, regardless of case; null when there is none.
  const TPropInfo* FindProperty(std::wstring_view AName) const;

  // AObserver learns when this component is destroyed; Remove... stops that.
  void FreeNotification(IFreeNotification* AObserver);
  void RemoveFreeNotification(IFreeNotification* AObserver);

 protected:
  void Publish(TPropInfo AInfo) { FProperties.push_back(std::move(AInfo)); }
  // Shorthands for the common kinds; the getters and setters usually capture this.
  void PublishOrdinal(std::wstring AName, TPropertyKind AKind, std::function<int64_t()> AGet,
                      std::function<void(int64_t)> ASet);
  void PublishFloat(std::wstring AName, std::function<double()> AGet, std::function<void(double)> ASet);
  void PublishString(std::wstring AName, std::function<std::wstring()> AGet,
                     std::function<void(const std::wstring&)> ASet);
  void PublishObject(std::wstring AName, std::function<TPersistent*()> AGet, std::function<void(TPersistent*)> ASet,
                     std::function<bool(const TPersistent*)> AAccepts);

 private:
  std::wstring FName;
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<IFreeNotification*> FObservers;
  TPropInfoList FProperties;
};

// Accepts objects of class T and its descendants, for PublishObject.
template <typename T>
std::function<bool(const TPersistent*)> AcceptsClass() {
  return [](const TPersistent* AObject) { return dynamic_cast<const T*>(AObject) != nullptr; };
}

}  // namespace vantrel
