// Registrations that point at nothing: server files that are gone, ProgIDs that lead elsewhere,
// type libraries, classes and application IDs referred to but not registered, services and
// surrogates that do not exist. Read in one registry view; no windows.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/ObjectCatalog.h"

namespace vantrel {

struct TRegistrationProblem {
  TObjectType Catalog = TObjectType::otCLSID;
  std::wstring Name;
  std::wstring GUID;
  std::wstring Problem;  // what is wrong, "Server file not found" say
  std::wstring Value;    // the value that is wrong, as registered
  // A key under HKEY_CLASSES_ROOT that holds the problem when it is no catalog entry's (a ProgID).
  std::wstring Key;
};
using TRegistrationProblems = std::vector<TRegistrationProblem>;

// Reports progress: entries checked of all entries; returns false to stop the check.
using TCheckProgress = std::function<bool(size_t ADone, size_t ATotal)>;

// Checks the entries of the four catalogs in the registry view AView, in catalog order (classes,
// type libraries, application IDs, interfaces) and in each in list order. AEnvironment: the
// NAME=VALUE snapshot of the environment, to expand server paths as the view's programs would.
// A stopped check returns what it found so far.
TRegistrationProblems CheckRegistrations(TRegView AView, const TStringList& AEnvironment,
                                         const TCheckProgress& AProgress = {});

// The catalog's name as the tree shows it: "Object Classes", "Type Libraries", ...
std::wstring CatalogName(TObjectType AType);

// "Catalog;Name;GUID;Problem;Value", then one line per problem; the CSV rules of the catalog
// files (ANSI code page, CR LF, fields quoted when they need it).
std::string FormatProblemsCsv(const TRegistrationProblems& AProblems);
// Writes FormatProblemsCsv to the file, creating or replacing it; raises EFileError.
void SaveProblems(std::wstring_view AFilename, const TRegistrationProblems& AProblems);

}  // namespace vantrel
