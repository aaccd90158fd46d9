// A type library as a compact record of what the declaration tree and the unit generator read of
// it: written by the process that loaded the library, replayed in another one as a type library
// that answers from the record alone. The record is private to this program and versioned; a
// reader trusts nothing in it.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

// Raised for a record that does not parse: another format or version, cut off, or a count,
// length or reference that points outside it.
class ESnapshotError : public Exception {
 public:
  explicit ESnapshotError(const std::wstring& AReason)
      : Exception(L"The type library record is damaged: " + AReason), FReason(AReason) {}
  // What is wrong, as a part of a sentence.
  const std::wstring& Reason() const { return FReason; }

 private:
  std::wstring FReason;
};

// The record of a loaded library: the library's attributes and documentation, and for each of its
// type descriptions the attributes, variables, functions, names, doc strings, implemented types
// and the descriptions they refer to (of those, what their names and kinds need).
std::string RecordTypeLibrary(ITypeLib* ALib);

// The record of a library that could not be loaded, with the loader's result code.
std::string RecordLoadFailure(HRESULT ACode);

// The record of a read that failed with a message of its own.
std::string RecordFailureText(std::wstring_view AText);

// What a record holds: a library, or the load's failure code, or a message.
struct TSnapshotContent {
  HRESULT LoadResult = E_FAIL;
  std::wstring FailureText;
  TComPtr<ITypeLib> Library;
};

// Reads a record. The library answers the type information calls as the loaded library answered
// them; calls it has no record of fail. Raises ESnapshotError.
TSnapshotContent ReplayTypeLibrary(std::string_view AData);

}  // namespace vantrel
