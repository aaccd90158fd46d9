// Components with published properties of every kind the layout manager stores.
#pragma once

#include <string>

#include "forms/Zarvek.Forms.Component.h"

namespace vantrel::test {

class TProbe : public TComponent {
 public:
  TProbe(std::wstring AClassName, std::wstring AName, TComponent* AOwner = nullptr) : FClassName(std::move(AClassName)) {
    SetName(std::move(AName));
    SetOwner(AOwner);
    PublishOrdinal(L"Count", TPropertyKind::pkInteger, [this] { return Count; }, [this](int64_t V) { Count = V; });
    PublishOrdinal(L"Kind", TPropertyKind::pkEnumeration, [this] { return Kind; }, [this](int64_t V) { Kind = V; });
    PublishOrdinal(L"Mask", TPropertyKind::pkSet, [this] { return Mask; }, [this](int64_t V) { Mask = V; });
    PublishOrdinal(L"Big", TPropertyKind::pkInt64, [this] { return Big; }, [this](int64_t V) { Big = V; });
    PublishOrdinal(
        L"Letter", TPropertyKind::pkChar, [this] { return static_cast<int64_t>(Letter); },
        [this](int64_t V) { Letter = static_cast<wchar_t>(V); });
    PublishString(L"Caption", [this] { return Caption; }, [this](const std::wstring& V) { Caption = V; });
    PublishFloat(L"Ratio", [this] { return Ratio; }, [this](double V) { Ratio = V; });
    PublishObject(
        L"History", [this] { return &History; }, [](TPersistent*) {}, AcceptsClass<TStrings>());
    PublishObject(
        L"Buddy", [this] { return Buddy; }, [this](TPersistent* V) { Buddy = V; }, AcceptsClass<TProbe>());
  }
  std::wstring ClassName() const override { return FClassName; }

  int64_t Count = 0, Kind = 0, Mask = 0, Big = 0;
  wchar_t Letter = L'A';
  std::wstring Caption;
  double Ratio = 0;
  TStrings History;
  TPersistent* Buddy = nullptr;

 private:
  std::wstring FClassName;
};

// A component of another class, which the Buddy property does not accept.
class TStranger : public TComponent {
 public:
  TStranger(std::wstring AName, TComponent* AOwner) {
    SetName(std::move(AName));
    SetOwner(AOwner);
  }
  std::wstring ClassName() const override { return L"TStranger"; }
};

// An object that is no component; stored by its name path.
class TFontLike : public TPersistent {
 public:
  std::wstring ClassName() const override { return L"TFontLike"; }
  std::wstring GetNamePath() const override { return L"Box.Font"; }
};

}  // namespace vantrel::test
