// The main window's search over the four catalogs and its registration check: the field above the
// tree, the result list that stands in its place, and the work on other threads behind them.
#include <algorithm>
#include <functional>
#include <optional>

#include "base/Zarvek_StrUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"

namespace vantrel {

namespace {

constexpr int kProgressRange = 1000;

std::wstring WindowText(HWND AWindow) {
  const int length = GetWindowTextLengthW(AWindow);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(AWindow, text.data(), length + 1)));
  return text;
}

std::wstring Counted(size_t ACount, const wchar_t* AOne, const wchar_t* AMany) {
  return std::to_wstring(ACount) + L" " + (ACount == 1 ? AOne : AMany);
}

// The result rows of search hits.
std::vector<TResultRow> SearchRows(const std::vector<TSearchIndex::THit>& AHits) {
  std::vector<TResultRow> rows;
  rows.reserve(AHits.size());
  for (const TSearchIndex::THit& hit : AHits) rows.push_back({hit.Catalog, hit.Index, hit.Fields});
  return rows;
}

// Puts ARows in place of the list's rows; the entry selected stays selected, and is not shown
// again.
void ReplaceRows(TResultList& AList, const std::vector<TResultRow>& ARows) {
  const int selected = AList.Selected();
  const std::optional<TResultRow> kept =
      selected >= 0 ? std::optional(AList.Rows()[static_cast<size_t>(selected)]) : std::nullopt;
  AList.Clear();
  AList.AddRows(ARows);
  if (!kept) return;
  std::function<void(const TResultRow&)> onSelect = std::move(AList.OnSelect);
  AList.OnSelect = nullptr;
  TScopeExit restore([&] { AList.OnSelect = std::move(onSelect); });
  for (size_t row = 0; row < ARows.size(); ++row) {
    if (ARows[row].Catalog == kept->Catalog && ARows[row].Index == kept->Index) {
      AList.Select(static_cast<int>(row));
      return;
    }
  }
}

// Two loadings of one catalog that hold the same entries in the same order.
bool SameEntries(const TObjects& A, const TObjects& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    if (A[i].GUID.view() != B[i].GUID.view()) return false;
  }
  return true;
}

}  // namespace

void TfrmMain::PlaceLeftPane(int AWidth, int AHeight) {
  const int fieldHeight = Scale(23);
  const int top = fieldHeight + Scale(3);
  MoveWindow(FSearch, 0, 0, AWidth, fieldHeight, TRUE);
  MoveWindow(FTree, 0, top, AWidth, std::max(0, AHeight - top), TRUE);
  MoveWindow(FResults->Handle(), 0, top, AWidth, std::max(0, AHeight - top), TRUE);
}

void TfrmMain::cmFind() {
  SetFocus(FSearch);
  SendMessageW(FSearch, EM_SETSEL, 0, -1);
}

bool TfrmMain::SearchKeyDown(const MSG& AMsg) {
  if (AMsg.message != WM_KEYDOWN || AMsg.hwnd != FSearch) return false;
  // Ctrl+A selects the whole text, as in every search field: edit controls before Windows 10
  // (1809) leave that to their owner. Taken here, the key never reaches the control twice.
  auto down = [](int AKey) { return GetKeyState(AKey) < 0; };
  if (AMsg.wParam == 'A' && down(VK_CONTROL) && !down(VK_MENU) && !down(VK_SHIFT)) {
    SendMessageW(FSearch, EM_SETSEL, 0, -1);
    return true;
  }
  return false;
}

void TfrmMain::ShowResults(TResultList::TMode AMode) {
  if (FResults->Mode() != AMode) {
    FResults->SetMode(AMode);
  } else {
    FResults->Clear();
  }
  if (!FResultsShown) {
    FResultsShown = true;
    ShowWindow(FResults->Handle(), SW_SHOW);
    ShowWindow(FTree, SW_HIDE);
  }
}

void TfrmMain::SearchChange() {
  if (FClearingSearch) return;
  FSearchText = WindowText(FSearch);
  if (IsBlankText(FSearchText)) {
    if (FResultsShown && FResults->Mode() == TResultList::TMode::rmSearch) CloseResults();
    return;
  }
  if (!FIndexComplete && !FIndexing) StartIndex();
  ShowResults(TResultList::TMode::rmSearch);
  FResults->AddRows(SearchRows(FIndex.Find(FSearchText)));
  ShowSearchStatus();
}

void TfrmMain::ShowSearchStatus() {
  if (!FResultsShown || FResults->Mode() != TResultList::TMode::rmSearch || FChecking) return;
  const size_t found = FResults->Rows().size();
  if (!FIndexComplete) {
    SetStatus(L"Reading the catalogs for the search: " + Counted(found, L"entry", L"entries") + L" found so far");
  } else {
    SetStatus(found == 0 ? std::wstring(L"No entries found") : Counted(found, L"entry", L"entries") + L" found");
  }
}

std::wstring TfrmMain::ResultCellText(const TResultRow& ARow, int AColumn) const {
  const TRegistrationProblem* problem =
      ARow.Problem >= 0 && static_cast<size_t>(ARow.Problem) < FShownProblems.size()
          ? &FShownProblems[static_cast<size_t>(ARow.Problem)]
          : nullptr;
  const TObjects& list = ListOf(ARow.Catalog);
  const TObjectData* entry = !problem && ARow.Index < list.size() ? &list[ARow.Index] : nullptr;
  switch (AColumn) {
    case 0: return problem ? problem->Name : entry ? std::wstring(entry->Name) : std::wstring();
    case 1: return CatalogName(ARow.Catalog);
    case 2: return problem ? problem->GUID : entry ? std::wstring(entry->GUID) : std::wstring();
    case 3: return problem ? problem->Problem : FoundInText(ARow.Fields);
    case 4: return problem ? problem->Value : std::wstring();
    default: return std::wstring();
  }
}

int TfrmMain::EntryIndexByGuid(TObjectType AType, const std::wstring& AGuid) {
  TObjects& list = ListOf(AType);
  if (list.empty()) {
    TWaitCursor wait;
    Loader(AType, list);
  }
  for (size_t i = 0; i < list.size(); ++i) {
    if (SameTextAscii(list[i].GUID.view(), AGuid)) return static_cast<int>(i);
  }
  return -1;
}

void TfrmMain::ResultsSelect(const TResultRow& ARow) {
  int index = static_cast<int>(ARow.Index);
  if (ARow.Problem >= 0) {
    if (static_cast<size_t>(ARow.Problem) >= FShownProblems.size()) return;
    const TRegistrationProblem& problem = FShownProblems[static_cast<size_t>(ARow.Problem)];
    index = EntryIndexByGuid(ARow.Catalog, problem.GUID);
    if (index < 0 && !problem.Key.empty()) {
      FLastResult = {ARow.Catalog, -1};
      ShowProblemKey(problem);
      return;
    }
    if (index < 0) {
      ClearDetails();
      SetStatus(L"The entry is no longer registered");
      return;
    }
  }
  FLastResult = {ARow.Catalog, index};
  ShowEntry(ARow.Catalog, index);
}

void TfrmMain::SelectInTree(TObjectType AType, int AIndex) {
  TCatalogBranch& branch = Branch(AType);
  if (branch.Children.empty()) TreeView_Expand(FTree, branch.Root, TVE_EXPAND);
  const auto found = std::find(branch.ChildIndex.begin(), branch.ChildIndex.end(), AIndex);
  if (found == branch.ChildIndex.end()) return;
  HTREEITEM item = branch.Children[static_cast<size_t>(found - branch.ChildIndex.begin())];
  TreeView_SelectItem(FTree, item);
  TreeView_EnsureVisible(FTree, item);
}

void TfrmMain::CloseResults() {
  if (FResultsShown) {
    FResultsShown = false;
    ShowWindow(FTree, SW_SHOW);
    ShowWindow(FResults->Handle(), SW_HIDE);
    FResults->Clear();
    FShownProblems.clear();
    if (FLastResult.Index >= 0) SelectInTree(FLastResult.Typ, FLastResult.Index);
  }
  FClearingSearch = true;
  SetWindowTextW(FSearch, L"");
  FClearingSearch = false;
  FSearchText.clear();
  // The tree takes the keyboard without selecting a node of its own accord.
  FFocusingTree = true;
  SetFocus(FTree);
  FFocusingTree = false;
  if (!FChecking) SetStatus(L"Ready");
}

void TfrmMain::StartIndex() {
  FIndexWork.Stop();
  FIndex.Clear();
  FIndexComplete = false;
  FIndexing = true;
  // The lists the window has are indexed as they are, so that the index points into them.
  std::vector<TIndexSource> sources;
  for (TObjectType kind : kRootOrder) {
    TIndexSource source;
    source.Kind = kind;
    if (!ListOf(kind).empty()) source.List = ListOf(kind);
    sources.push_back(std::move(source));
  }
  // The thread reads copies of what the window may change meanwhile: the lists, the view, the
  // environment and the loader.
  FIndexWork.Start(Handle(), kIndexMailMessage,
                   [sources = std::move(sources), view = FView, environment = ViewEnvironment(Environment, FView),
                    loader = WorkReaders.LoadCatalog](const TIndexWork::TContext& AContext) mutable {
                     FillSearchIndex(std::move(sources), view, environment, loader, AContext);
                   });
  if (!FChecking) ShowProgress(0, 0);
}

void TfrmMain::IndexMail(WPARAM AGeneration) {
  // Mail of an index that was stopped has been thrown away with it.
  for (TIndexMail& mail : FIndexWork.TakeMail(AGeneration)) {
    if (mail.LoadedKind) {
      TObjects& list = ListOf(*mail.LoadedKind);
      if (list.empty()) {
        list = std::move(mail.List);
      } else if (!SameEntries(list, mail.List)) {
        // The tree read the catalog meanwhile and found it changed: the index must point into the
        // tree's list.
        StartIndex();
        return;
      }
      continue;
    }
    if (!mail.Error.empty()) {
      FIndexWork.Stop();
      FIndexing = false;
      FIndexComplete = true;
      if (!FChecking) HideProgress();
      throw Exception(L"The search cannot read every catalog: " + mail.Error);
    }
    const size_t first = FIndex.Count();
    FIndex.Append(std::move(mail.Chunk));
    if (FResultsShown && FResults->Mode() == TResultList::TMode::rmSearch) {
      const std::vector<TSearchIndex::THit> hits = FIndex.Find(FSearchText, first);
      const bool exact = std::any_of(hits.begin(), hits.end(), [](const auto& AHit) { return AHit.ExactName; });
      if (exact && !FResults->Rows().empty()) {
        // An entry of that very name goes before the rows found so far.
        ReplaceRows(*FResults, SearchRows(FIndex.Find(FSearchText)));
      } else {
        FResults->AddRows(SearchRows(hits));
      }
    }
    if (mail.Finished) {
      FIndexWork.Stop();
      FIndexing = false;
      FIndexComplete = true;
      FIndex.Compact();
      if (!FChecking) HideProgress();
    } else if (!FChecking) {
      ShowProgress(mail.Done, mail.Total);
    }
    ShowSearchStatus();
  }
}

void TfrmMain::cmCheckRegistrations() {
  // A check cancelled but still in a call that does not return soon (a network path, say) is
  // left to end on its own.
  if (FRegistering || (FChecking && !FCheckWork.Cancelled())) return;
  FChecking = true;
  FCheckWork.Start(Handle(), kCheckMailMessage,
                   [environment = Environment, view = FView,
                    check = WorkReaders.CheckRegistrations](const TCheckWork::TContext& AContext) {
                     RunRegistrationCheck(view, environment, check, AContext);
                   });
  ShowProgress(0, 0);
  SetStatus(L"Checking the registrations (Esc cancels)...");
}

void TfrmMain::CheckMail(WPARAM AGeneration) {
  for (TCheckMail& mail : FCheckWork.TakeMail(AGeneration)) {
    if (!mail.Finished) {
      ShowProgress(mail.Done, mail.Total);
      continue;
    }
    FCheckWork.Stop();
    FChecking = false;
    HideProgress();
    if (FIndexing) ShowProgress(0, 0);
    if (!mail.Error.empty()) {
      FSaveWhenChecked = false;
      SetStatus(L"Ready");
      throw Exception(L"The registration check failed: " + mail.Error);
    }
    if (!mail.Cancelled) FProblems = mail.Problems;
    // The problems take the list's place; the search field no longer says what it shows.
    FClearingSearch = true;
    SetWindowTextW(FSearch, L"");
    FClearingSearch = false;
    FSearchText.clear();
    ShowResults(TResultList::TMode::rmProblems);
    FShownProblems = std::move(mail.Problems);
    std::vector<TResultRow> rows(FShownProblems.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      rows[i].Catalog = FShownProblems[i].Catalog;
      rows[i].Problem = static_cast<int>(i);
    }
    FResults->AddRows(rows);
    // The tree that had the keyboard is hidden now: the list takes it.
    if (GetFocus() == FTree || GetFocus() == Handle()) SetFocus(FResults->Handle());
    const std::wstring found = Counted(FShownProblems.size(), L"problem", L"problems");
    SetStatus(mail.Cancelled ? L"Check cancelled: " + found + L" found in " + std::to_wstring(mail.Done) + L" of " +
                                   std::to_wstring(mail.Total) + L" entries"
                             : found + L" found in " + std::to_wstring(mail.Total) + L" entries");
    if (FSaveWhenChecked && !mail.Cancelled) {
      FSaveWhenChecked = false;
      SaveProblemsAs(*FProblems);
    }
    FSaveWhenChecked = false;
  }
}

void TfrmMain::cmSaveProblems() {
  if (FProblems) {
    SaveProblemsAs(*FProblems);
    return;
  }
  // The problems are saved once the check has found them.
  FSaveWhenChecked = true;
  cmCheckRegistrations();
}

void TfrmMain::SaveProblemsAs(const TRegistrationProblems& AProblems) {
  std::wstring fileName = L"Problems.csv";
  if (!ExecuteSaveDialog(fileName)) return;
  TWaitCursor wait;
  SaveProblems(fileName, AProblems);
}

void TfrmMain::ShowProgress(size_t ADone, size_t ATotal) {
  const LPARAM position = ATotal == 0 ? 0 : static_cast<LPARAM>(static_cast<double>(ADone) * kProgressRange / ATotal);
  SendMessageW(FProgress, PBM_SETRANGE32, 0, kProgressRange);
  SendMessageW(FProgress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  if (!FProgressShown) {
    FProgressShown = true;
    LayoutStatusBar();
    ShowWindow(FProgress, SW_SHOWNA);
  }
}

void TfrmMain::HideProgress() {
  if (!FProgressShown) return;
  FProgressShown = false;
  ShowWindow(FProgress, SW_HIDE);
  LayoutStatusBar();
}

void TfrmMain::StopCatalogWork() {
  // Asked to stop, not waited for: their mail is thrown away.
  FIndexWork.Stop();
  FCheckWork.Stop();
  FIndex.Clear();
  FIndexing = false;
  FIndexComplete = false;
  FChecking = false;
  FProblems.reset();
  FSaveWhenChecked = false;
  HideProgress();
}

}  // namespace vantrel
