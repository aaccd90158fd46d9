// A text field that takes one pointer when empty: catalog records hold nine texts each, most of
// them empty, and the catalogs hold tens of thousands of records.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace vantrel {

class TCompactString {
 public:
  static constexpr size_t npos = std::wstring_view::npos;

  TCompactString() noexcept = default;
  TCompactString(std::wstring_view AText) { Assign(AText); }
  TCompactString(const wchar_t* AText) { Assign(AText ? std::wstring_view(AText) : std::wstring_view()); }
  TCompactString(const std::wstring& AText) { Assign(AText); }
  TCompactString(const TCompactString& AOther) { Assign(AOther.view()); }
  TCompactString(TCompactString&& AOther) noexcept : FData(AOther.FData) { AOther.FData = nullptr; }
  ~TCompactString() { Release(); }

  TCompactString& operator=(const TCompactString& AOther) {
    if (this != &AOther) {
      TCompactString copy(AOther);
      Swap(copy);
    }
    return *this;
  }
  TCompactString& operator=(TCompactString&& AOther) noexcept {
    TCompactString taken(std::move(AOther));
    Swap(taken);
    return *this;
  }
  TCompactString& operator=(std::wstring_view AText) {
    TCompactString copy(AText);
    Swap(copy);
    return *this;
  }
  TCompactString& operator=(const std::wstring& AText) { return *this = std::wstring_view(AText); }
  TCompactString& operator=(const wchar_t* AText) { return *this = TCompactString(AText); }

  size_t size() const noexcept { return FData ? *reinterpret_cast<const uint32_t*>(FData) : 0; }
  size_t length() const noexcept { return size(); }
  bool empty() const noexcept { return FData == nullptr; }
  // Always NUL-terminated.
  const wchar_t* c_str() const noexcept { return FData ? Chars() : L""; }
  const wchar_t* data() const noexcept { return c_str(); }
  std::wstring_view view() const noexcept { return std::wstring_view(c_str(), size()); }
  std::wstring str() const { return std::wstring(view()); }

  operator std::wstring_view() const noexcept { return view(); }
  operator std::wstring() const { return str(); }

  size_t find(wchar_t AChar, size_t APos = 0) const noexcept { return view().find(AChar, APos); }
  size_t find(std::wstring_view AText, size_t APos = 0) const noexcept { return view().find(AText, APos); }
  std::wstring substr(size_t APos, size_t ACount = npos) const { return std::wstring(view().substr(APos, ACount)); }

  // Hidden friends: found only when a TCompactString takes part, so they never compete with the
  // comparisons and concatenations of the standard strings.
  friend bool operator==(const TCompactString& A, const TCompactString& B) noexcept { return A.view() == B.view(); }
  friend bool operator==(const TCompactString& A, std::wstring_view B) noexcept { return A.view() == B; }
  friend bool operator==(const TCompactString& A, const std::wstring& B) noexcept {
    return A.view() == std::wstring_view(B);
  }
  friend bool operator==(const TCompactString& A, const wchar_t* B) noexcept {
    return A.view() == std::wstring_view(B);
  }
  friend std::wstring operator+(const std::wstring& A, const TCompactString& B) { return A + std::wstring(B.view()); }
  friend std::wstring operator+(std::wstring&& A, const TCompactString& B) { return std::move(A.append(B.view())); }
  friend std::wstring operator+(const wchar_t* A, const TCompactString& B) { return std::wstring(A).append(B.view()); }
  friend std::wstring operator+(const TCompactString& A, const std::wstring& B) { return A.str() + B; }
  friend std::wstring operator+(const TCompactString& A, const wchar_t* B) { return A.str() + B; }

  void Swap(TCompactString& AOther) noexcept {
    char* data = FData;
    FData = AOther.FData;
    AOther.FData = data;
  }

 private:
  // One block: the length as 32 bits, then the characters and a NUL.
  void Assign(std::wstring_view AText);
  void Release() noexcept;
  const wchar_t* Chars() const noexcept { return reinterpret_cast<const wchar_t*>(FData + sizeof(uint32_t)); }

  char* FData = nullptr;
};

// For test output: the text as UTF-8.
std::ostream& operator<<(std::ostream& AStream, const TCompactString& AText);

}  // namespace vantrel
