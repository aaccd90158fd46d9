// The main window's work on other threads: filling the search index and running the registration
// check. Each reports through a mailbox; the window keeps what it gets.
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

// The messages that tell the main window that a mailbox has mail; wParam: the work's generation.
constexpr UINT kIndexMailMessage = WM_APP + 1;
constexpr UINT kCheckMailMessage = WM_APP + 2;

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

// A catalog to index: a copy of the window's list when it has one, else nothing (the thread loads
// it with ALoader).
struct TIndexSource {
  TObjectType Kind = TObjectType::otCLSID;
  std::optional<TObjects> List;
};

// Indexes the catalogs in the order given and each in the tree's order of its entries.
void FillSearchIndex(std::vector<TIndexSource> ASources, TRegView AView,
                     const std::function<void(TObjectType AType, TObjects& AList)>& ALoader,
                     TMailbox<TIndexMail>& AMail, const TBackgroundWork::TContext& AContext);

struct TCheckMail {
  size_t Done = 0, Total = 0;
  bool Finished = false;
  bool Cancelled = false;
  TRegistrationProblems Problems;  // when finished or cancelled: what was found
  std::wstring Error;
};

void RunRegistrationCheck(TRegView AView, const TStringList& AEnvironment, TMailbox<TCheckMail>& AMail,
                          const TBackgroundWork::TContext& AContext);

}  // namespace vantrel
