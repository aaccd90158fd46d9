// Work on a thread of its own that reports to a window: the thread puts what it has into a
// mailbox and posts a message; the window takes the mail on its own thread. Nothing the window
// owns is touched by the thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vantrel {

// Items handed from one thread to another, in the order they were put.
template <typename T>
class TMailbox {
 public:
  void Put(T AItem) {
    std::lock_guard<std::mutex> lock(FLock);
    FItems.push_back(std::move(AItem));
  }
  std::vector<T> TakeAll() {
    std::lock_guard<std::mutex> lock(FLock);
    std::vector<T> items;
    items.swap(FItems);
    return items;
  }
  void Clear() { TakeAll(); }

 private:
  std::mutex FLock;
  std::vector<T> FItems;
};

class TBackgroundWork {
 public:
  TBackgroundWork() = default;
  ~TBackgroundWork() { Stop(); }
  TBackgroundWork(const TBackgroundWork&) = delete;
  TBackgroundWork& operator=(const TBackgroundWork&) = delete;

  // Runs AWork on a new thread, after stopping any work still running. AWork should return soon
  // once its argument's Stopped() is true; it calls Notify() whenever it has put something in a
  // mailbox. AWindow gets AMessage with wParam = AGeneration: mail of stopped work can be told
  // apart.
  class TContext {
   public:
    bool Stopped() const { return FStop.load(std::memory_order_relaxed); }
    void Notify() const { PostMessageW(FWindow, FMessage, FGeneration, 0); }

   private:
    friend class TBackgroundWork;
    TContext(const std::atomic<bool>& AStop, HWND AWindow, UINT AMessage, WPARAM AGeneration)
        : FStop(AStop), FWindow(AWindow), FMessage(AMessage), FGeneration(AGeneration) {}
    const std::atomic<bool>& FStop;
    HWND FWindow;
    UINT FMessage;
    WPARAM FGeneration;
  };
  void Start(HWND AWindow, UINT AMessage, std::function<void(const TContext& AContext)> AWork) {
    Stop();
    FStop = false;
    FRunning = true;
    const WPARAM generation = ++FGeneration;
    FThread = std::thread([this, AWindow, AMessage, generation, work = std::move(AWork)] {
      TContext context(FStop, AWindow, AMessage, generation);
      try {
        work(context);
      } catch (...) {
        // The work reports its own failures through its mailbox; nothing may escape a thread.
      }
      FRunning = false;
      context.Notify();
    });
  }
  // Asks the work to stop and waits for its thread.
  void Stop() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
    FRunning = false;
  }
  // Asks the work to stop without waiting.
  void Cancel() { FStop = true; }
  bool Running() const { return FRunning; }
  bool Cancelled() const { return FStop; }
  // The generation of the work started last: mail with another one is stale.
  WPARAM Generation() const { return FGeneration; }

 private:
  std::thread FThread;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FRunning{false};
  WPARAM FGeneration = 0;
};

}  // namespace vantrel
