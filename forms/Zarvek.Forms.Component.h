// The base of everything the layout manager can register: a named object with an owner.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel {

class TComponent {
 public:
  TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent() = default;

  // The class name as it appears in layout section names (for example "TfrmMain").
  virtual std::wstring ClassName() const = 0;
  // The native window of a windowed component; null for the others.
  virtual HWND WindowHandle() const { return nullptr; }

  const std::wstring& Name() const { return FName; }
  void SetName(std::wstring AName) { FName = std::move(AName); }
  TComponent* Owner() const { return FOwner; }
  void SetOwner(TComponent* AOwner) { FOwner = AOwner; }

 private:
  std::wstring FName;
  TComponent* FOwner = nullptr;
};

}  // namespace vantrel
