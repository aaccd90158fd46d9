// Where a layout manager keeps its sections and values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vantrel {

// Sections are paths with "\" separators. Reference counting is the shared pointer's.
class ILayoutManagerStorage {
 public:
  virtual ~ILayoutManagerStorage() = default;

  virtual bool ValueExists(const std::wstring& ASection, const std::wstring& AName) = 0;
  virtual void WriteInteger(const std::wstring& ASection, const std::wstring& AName, int64_t AValue) = 0;
  virtual void WriteString(const std::wstring& ASection, const std::wstring& AName, const std::wstring& AValue) = 0;
  virtual void WriteFloat(const std::wstring& ASection, const std::wstring& AName, double AValue) = 0;
  virtual void WriteDateTime(const std::wstring& ASection, const std::wstring& AName, double AValue) = 0;
  virtual void WriteBool(const std::wstring& ASection, const std::wstring& AName, bool AValue) = 0;
  virtual int64_t ReadInteger(const std::wstring& ASection, const std::wstring& AName, int64_t ADefault) = 0;
  virtual std::wstring ReadString(const std::wstring& ASection, const std::wstring& AName,
                                  const std::wstring& ADefault) = 0;
  virtual double ReadFloat(const std::wstring& ASection, const std::wstring& AName, double ADefault) = 0;
  virtual double ReadDateTime(const std::wstring& ASection, const std::wstring& AName, double ADefault) = 0;
  virtual bool ReadBool(const std::wstring& ASection, const std::wstring& AName, bool ADefault) = 0;
  virtual void EraseSection(const std::wstring& ASection) = 0;
  virtual void DeleteValue(const std::wstring& ASection, const std::wstring& AName) = 0;
  // ARead: true before an entry's restore, false before its save.
  virtual void BeginAccess(bool ARead) = 0;
  // Also called without a preceding BeginAccess; must be harmless then.
  virtual void EndAccess() = 0;
};

using TLayoutManagerStorageRef = std::shared_ptr<ILayoutManagerStorage>;

}  // namespace vantrel
