#include "base/CompactString.h"

#include <windows.h>

#include <cstring>

#include "base/Zarvek_StrUtils.h"

namespace vantrel {

void TCompactString::Assign(std::wstring_view AText) {
  Release();
  if (AText.empty()) return;
  const uint32_t length = static_cast<uint32_t>(AText.size());
  FData = new char[sizeof(uint32_t) + (AText.size() + 1) * sizeof(wchar_t)];
  std::memcpy(FData, &length, sizeof(length));
  wchar_t* chars = reinterpret_cast<wchar_t*>(FData + sizeof(uint32_t));
  std::memcpy(chars, AText.data(), AText.size() * sizeof(wchar_t));
  chars[AText.size()] = L'\0';
}

void TCompactString::Release() noexcept {
  delete[] FData;
  FData = nullptr;
}

std::ostream& operator<<(std::ostream& AStream, const TCompactString& AText) {
  return AStream << WideToCodePage(AText.view(), CP_UTF8);
}

}  // namespace vantrel
