// A layout storage in memory that records every call and can be told to fail at one operation.
#pragma once

#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.LayoutManager.Storage.h"

namespace vantrel::test {

class TMemoryStorage : public ILayoutManagerStorage {
 public:
  using TValue = std::variant<int64_t, std::wstring, double, bool>;
  using TSection = std::map<std::wstring, TValue>;

  // Every call as "Operation" or "Operation Section|Name" (BeginAccess as "BeginAccess(read)" or
  // "BeginAccess(write)").
  std::vector<std::wstring> Log;
  std::map<std::wstring, TSection> Sections;
  // The operation that raises an error the next times it is called ("WriteString"...).
  std::wstring FailOn;

  bool Has(const std::wstring& ASection, const std::wstring& AName) const {
    auto section = Sections.find(ASection);
    return section != Sections.end() && section->second.count(AName) != 0;
  }
  template <typename T>
  std::optional<T> Get(const std::wstring& ASection, const std::wstring& AName) const {
    auto section = Sections.find(ASection);
    if (section == Sections.end()) return std::nullopt;
    auto value = section->second.find(AName);
    if (value == section->second.end() || !std::holds_alternative<T>(value->second)) return std::nullopt;
    return std::get<T>(value->second);
  }
  // The names stored in a section, sorted.
  std::vector<std::wstring> Names(const std::wstring& ASection) const {
    std::vector<std::wstring> names;
    auto section = Sections.find(ASection);
    if (section != Sections.end()) {
      for (const auto& [name, value] : section->second) names.push_back(name);
    }
    return names;
  }
  // Calls that change stored data.
  size_t WriteCount() const {
    size_t count = 0;
    for (const std::wstring& line : Log) {
      if (line.rfind(L"Write", 0) == 0 || line.rfind(L"Erase", 0) == 0 || line.rfind(L"Delete", 0) == 0) ++count;
    }
    return count;
  }
  // Only the access calls of the log, in order.
  std::vector<std::wstring> AccessLog() const {
    std::vector<std::wstring> result;
    for (const std::wstring& line : Log) {
      if (line.rfind(L"BeginAccess", 0) == 0 || line == L"EndAccess") result.push_back(line);
    }
    return result;
  }

  bool ValueExists(const std::wstring& ASection, const std::wstring& AName) override {
    Call(L"ValueExists", ASection, AName);
    return Has(ASection, AName);
  }
  void WriteInteger(const std::wstring& ASection, const std::wstring& AName, int64_t AValue) override {
    Put(L"WriteInteger", ASection, AName, AValue);
  }
  void WriteString(const std::wstring& ASection, const std::wstring& AName, const std::wstring& AValue) override {
    Put(L"WriteString", ASection, AName, AValue);
  }
  void WriteFloat(const std::wstring& ASection, const std::wstring& AName, double AValue) override {
    Put(L"WriteFloat", ASection, AName, AValue);
  }
  void WriteDateTime(const std::wstring& ASection, const std::wstring& AName, double AValue) override {
    Put(L"WriteDateTime", ASection, AName, AValue);
  }
  void WriteBool(const std::wstring& ASection, const std::wstring& AName, bool AValue) override {
    Put(L"WriteBool", ASection, AName, AValue);
  }
  int64_t ReadInteger(const std::wstring& ASection, const std::wstring& AName, int64_t ADefault) override {
    Call(L"ReadInteger", ASection, AName);
    return Get<int64_t>(ASection, AName).value_or(ADefault);
  }
  std::wstring ReadString(const std::wstring& ASection, const std::wstring& AName,
                          const std::wstring& ADefault) override {
    Call(L"ReadString", ASection, AName);
    return Get<std::wstring>(ASection, AName).value_or(ADefault);
  }
  double ReadFloat(const std::wstring& ASection, const std::wstring& AName, double ADefault) override {
    Call(L"ReadFloat", ASection, AName);
    return Get<double>(ASection, AName).value_or(ADefault);
  }
  double ReadDateTime(const std::wstring& ASection, const std::wstring& AName, double ADefault) override {
    Call(L"ReadDateTime", ASection, AName);
    return Get<double>(ASection, AName).value_or(ADefault);
  }
  bool ReadBool(const std::wstring& ASection, const std::wstring& AName, bool ADefault) override {
    Call(L"ReadBool", ASection, AName);
    return Get<bool>(ASection, AName).value_or(ADefault);
  }
  void EraseSection(const std::wstring& ASection) override {
    Call(L"EraseSection", ASection, {});
    for (auto it = Sections.begin(); it != Sections.end();) {
      bool below = it->first.size() > ASection.size() && it->first.compare(0, ASection.size(), ASection) == 0 &&
                   it->first[ASection.size()] == L'\\';
      it = it->first == ASection || below ? Sections.erase(it) : std::next(it);
    }
  }
  void DeleteValue(const std::wstring& ASection, const std::wstring& AName) override {
    Call(L"DeleteValue", ASection, AName);
    auto section = Sections.find(ASection);
    if (section != Sections.end()) section->second.erase(AName);
  }
  void BeginAccess(bool ARead) override {
    Log.push_back(ARead ? L"BeginAccess(read)" : L"BeginAccess(write)");
    if (FailOn == L"BeginAccess") throw Exception(L"storage failure");
  }
  void EndAccess() override { Log.push_back(L"EndAccess"); }

 private:
  void Call(const wchar_t* AOperation, const std::wstring& ASection, const std::wstring& AName) {
    Log.push_back(std::wstring(AOperation) + L" " + ASection + L"|" + AName);
    if (FailOn == AOperation) throw Exception(L"storage failure");
  }
  void Put(const wchar_t* AOperation, const std::wstring& ASection, const std::wstring& AName, TValue AValue) {
    Call(AOperation, ASection, AName);
    Sections[ASection][AName] = std::move(AValue);
  }
};

}  // namespace vantrel::test
