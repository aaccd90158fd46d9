// The time limit of type library reads as the user sets it, kept between runs: the value
// ReadTimeLimit (seconds, REG_DWORD) of the program's settings key.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel {

constexpr DWORD kReadTimeLimitDefault = 30;  // seconds
constexpr DWORD kReadTimeLimitMinimum = 1;
constexpr DWORD kReadTimeLimitMaximum = 3600;

// The limit stored below ARoot\AKey, in seconds; the default when there is none, or what is there
// is no REG_DWORD from kReadTimeLimitMinimum to kReadTimeLimitMaximum (a value edited by hand, say).
DWORD StoredReadTimeLimit(HKEY ARoot, const std::wstring& AKey);

// Stores ASeconds there, creating the key; raises Exception for a number out of the range or a
// write that fails.
void StoreReadTimeLimit(HKEY ARoot, const std::wstring& AKey, DWORD ASeconds);

// Makes the stored limit the one every read starts from (TypeLibReaderDefaults), as the program
// does at its start.
void UseStoredReadTimeLimit(HKEY ARoot, const std::wstring& AKey);

}  // namespace vantrel
