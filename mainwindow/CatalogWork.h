// The main window's work on other threads: filling the search index and running the registration
// check. Each gets copies of everything it reads when it starts, and reports through the mail of
// its run; the window keeps what it gets.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "catalog/RegistrationCheck.h"
#include "catalog/SearchIndex.h"
#include "mainwindow/BackgroundWork.h"

namespace vantrel {

// The messages that tell the main window that a run has mail; wParam: the run's generation.
constexpr UINT kIndexMailMessage = WM_APP + 1;
constexpr UINT kCheckMailMessage = WM_APP + 2;

using TCatalogLoader = std::function<void(TObjectType AType, TObjects& AList, TRegView AView)>;
using TRegistrationChecker = std::function<TRegistrationProblems(TRegView AView, const TStringList& AEnvironment,
                                                                 const TCheckProgress& AProgress)>;

// What the work on other threads reads the registry with: the catalogs (in the view given) and
// the check. Each thread gets a copy of the one it uses when it starts; tests replace them.
struct TCatalogWorkReaders {
  TCatalogLoader LoadCatalog = LoadList;
  TRegistrationChecker CheckRegistrations = vantrel::CheckRegistrations;
};

// What the index's thread hands the window, in this order: the catalogs it had to load, then
// chunks of the index in the window's catalog order, then the end (or an error).
struct TIndexMail {
  std::optional<TObjectType> LoadedKind;  // with List: a catalog the window had not loaded
  TObjects List;
  TSearchIndex Chunk;
  size_t Done = 0, Total = 0;  // entries indexed, of all
  bool Finished = false;
  std::wstring Error;  // a catalog that could not be read: the index stops there
};
using TIndexWork = TBackgroundWork<TIndexMail>;

// A catalog to index: a copy of the window's list when it has one, else nothing (the thread loads
// it).
struct TIndexSource {
  TObjectType Kind = TObjectType::otCLSID;
  std::optional<TObjects> List;
};

// Indexes the catalogs in the order given and each in the tree's order of its entries, reading in
// the registry view AView; AEnvironment: the environment of the view's programs, for the paths.
void FillSearchIndex(std::vector<TIndexSource> ASources, TRegView AView, const TStringList& AEnvironment,
                     const TCatalogLoader& ALoader, const TIndexWork::TContext& AContext);

struct TCheckMail {
  size_t Done = 0, Total = 0;
  bool Finished = false;
  bool Cancelled = false;
  TRegistrationProblems Problems;  // when finished or cancelled: what was found
  std::wstring Error;
};
using TCheckWork = TBackgroundWork<TCheckMail>;

void RunRegistrationCheck(TRegView AView, const TStringList& AEnvironment, const TRegistrationChecker& ACheck,
                          const TCheckWork::TContext& AContext);

}  // namespace vantrel
