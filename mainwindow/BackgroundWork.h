// Work on a thread of its own that reports to a window: the thread puts its mail into the mailbox
// of its run and posts a message; the window takes the mail on its own thread. The thread shares
// nothing with the window but the state of its run, so the window never waits for it: stopping is
// a request, and a thread still busy (in a network call, say) when the window has gone ends on its
// own, touching only what it owns.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vantrel {

template <typename TMail>
class TBackgroundWork {
  // What the window and the thread of one run share.
  struct TRun {
    std::atomic<bool> Stop{false};
    std::atomic<bool> Ended{false};
    UINT Message = 0;
    WPARAM Generation = 0;
    std::mutex Lock;  // guards Window and Mail
    // None once the window wants no more of the run's mail: nothing more is posted to it.
    HWND Window = nullptr;
    std::vector<TMail> Mail;

    // Under the lock, so that once the window has let go of the run nothing reaches it.
    void Post() {
      if (Window) PostMessageW(Window, Message, Generation, 0);
    }
  };

 public:
  // What the work sees of its run.
  class TContext {
   public:
    bool Stopped() const { return FRun->Stop.load(std::memory_order_relaxed); }
    // Hands mail to the window and tells it; mail of a run the window has stopped goes nowhere.
    void Put(TMail AMail) const {
      std::lock_guard<std::mutex> lock(FRun->Lock);
      if (!FRun->Window) return;
      FRun->Mail.push_back(std::move(AMail));
      FRun->Post();
    }

   private:
    friend class TBackgroundWork;
    explicit TContext(std::shared_ptr<TRun> ARun) : FRun(std::move(ARun)) {}
    std::shared_ptr<TRun> FRun;
  };
  using TWork = std::function<void(const TContext& AContext)>;

  TBackgroundWork() = default;
  ~TBackgroundWork() { Stop(); }
  TBackgroundWork(const TBackgroundWork&) = delete;
  TBackgroundWork& operator=(const TBackgroundWork&) = delete;

  // Runs AWork on a new thread, after stopping the work started before (which may go on for a
  // while, unseen). AWork must own what it uses, by copies or shared owners: it may outlive this
  // object and the window. It should return soon once Stopped() is true. AWindow gets AMessage
  // with wParam = the run's generation for every mail, and once more when the work has ended.
  void Start(HWND AWindow, UINT AMessage, TWork AWork) {
    Stop();
    auto run = std::make_shared<TRun>();
    run->Window = AWindow;
    run->Message = AMessage;
    run->Generation = ++FGeneration;
    std::thread([run, work = std::move(AWork)]() mutable {
      try {
        work(TContext(run));
      } catch (...) {
        // The work reports its own failures through its mail; nothing may escape a thread.
      }
      // What the work holds goes before it is said to have ended.
      work = nullptr;
      run->Ended = true;
      try {
        std::lock_guard<std::mutex> lock(run->Lock);
        run->Post();
      } catch (...) {
        // A lock that fails leaves the window without the last message, not the process.
      }
    }).detach();
    FRun = std::move(run);
  }
  // Asks the work to stop and lets go of it at once: its mail, sent or to come, is thrown away.
  void Stop() {
    if (!FRun) return;
    FRun->Stop = true;
    std::vector<TMail> dropped;
    {
      std::lock_guard<std::mutex> lock(FRun->Lock);
      FRun->Window = nullptr;
      dropped.swap(FRun->Mail);
    }
    FRun.reset();
  }
  // Asks the work to stop; its mail still comes, up to its end.
  void Cancel() {
    if (FRun) FRun->Stop = true;
  }
  // Whether the work started last, and not stopped, has not ended yet.
  bool Running() const { return FRun && !FRun->Ended; }
  bool Cancelled() const { return FRun && FRun->Stop; }
  // The generation of the work started last: a message with another one is stale.
  WPARAM Generation() const { return FGeneration; }
  // The mail the work started last has put since the last call; none for a stale message.
  std::vector<TMail> TakeMail(WPARAM AGeneration) {
    std::vector<TMail> mail;
    if (!FRun || AGeneration != FRun->Generation) return mail;
    std::lock_guard<std::mutex> lock(FRun->Lock);
    mail.swap(FRun->Mail);
    return mail;
  }

 private:
  std::shared_ptr<TRun> FRun;
  WPARAM FGeneration = 0;
};

}  // namespace vantrel
