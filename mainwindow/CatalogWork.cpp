#include "mainwindow/CatalogWork.h"

#include "base/Zarvek_SysUtils.h"
#include "mainwindow/Main.h"

namespace vantrel {

namespace {

// A chunk goes to the window this often: results appear while the index fills, and the window
// is not flooded with messages.
constexpr ULONGLONG kMailIntervalMs = 100;

std::wstring ErrorText(const std::exception_ptr& AError) {
  try {
    std::rethrow_exception(AError);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::bad_alloc&) {
    return L"Out of memory";
  } catch (...) {
    return L"Unexpected error";
  }
}

}  // namespace

void FillSearchIndex(std::vector<TIndexSource> ASources, TRegView AView, const TStringList& AEnvironment,
                     const TCatalogLoader& ALoader, const TIndexWork::TContext& AContext) {
  try {
    // Every catalog first, so that the progress knows the whole.
    std::vector<TObjects> lists(ASources.size());
    size_t total = 0;
    for (size_t i = 0; i < ASources.size(); ++i) {
      if (AContext.Stopped()) return;
      if (ASources[i].List) {
        lists[i] = std::move(*ASources[i].List);
      } else {
        ALoader(ASources[i].Kind, lists[i], AView);
        TIndexMail mail;
        mail.LoadedKind = ASources[i].Kind;
        mail.List = lists[i];
        AContext.Put(std::move(mail));
      }
      total += lists[i].size();
    }
    TSearchEntryReader reader(AView, AEnvironment, TProgIdKeys(AView, [&] { return AContext.Stopped(); }));
    TSearchIndex chunk;
    size_t done = 0;
    ULONGLONG lastMail = GetTickCount64();
    auto send = [&](bool AFinished) {
      TIndexMail mail;
      mail.Chunk = std::move(chunk);
      chunk = TSearchIndex();
      mail.Done = done;
      mail.Total = total;
      mail.Finished = AFinished;
      AContext.Put(std::move(mail));
      lastMail = GetTickCount64();
    };
    for (size_t i = 0; i < ASources.size(); ++i) {
      const TObjects& list = lists[i];
      for (int index : SortedEntryOrder(list)) {
        if (AContext.Stopped()) return;
        reader.Add(chunk, ASources[i].Kind, static_cast<uint32_t>(index), list[static_cast<size_t>(index)]);
        ++done;
        if (GetTickCount64() - lastMail >= kMailIntervalMs) send(false);
      }
    }
    send(true);
  } catch (...) {
    TIndexMail mail;
    mail.Finished = true;
    mail.Error = ErrorText(std::current_exception());
    AContext.Put(std::move(mail));
  }
}

void RunRegistrationCheck(TRegView AView, const TStringList& AEnvironment, const TRegistrationChecker& ACheck,
                          const TCheckWork::TContext& AContext) {
  TCheckMail last;
  try {
    ULONGLONG lastMail = 0;
    last.Problems = ACheck(AView, AEnvironment, [&](size_t ADone, size_t ATotal) {
      last.Done = ADone;
      last.Total = ATotal;
      if (GetTickCount64() - lastMail >= kMailIntervalMs) {
        TCheckMail progress;
        progress.Done = ADone;
        progress.Total = ATotal;
        AContext.Put(std::move(progress));
        lastMail = GetTickCount64();
      }
      return !AContext.Stopped();
    });
    last.Cancelled = AContext.Stopped();
  } catch (...) {
    last.Error = ErrorText(std::current_exception());
  }
  last.Finished = true;
  AContext.Put(std::move(last));
}

}  // namespace vantrel
