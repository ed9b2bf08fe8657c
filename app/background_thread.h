// The background worker: a component that owns at most one worker thread at
// a time and tells its owner about the thread's life through four events:
//   OnStart      in the thread that calls Start, before the worker runs;
//   OnExecute    on the worker thread (the work itself);
//   OnUpdate     on the user-interface thread, every RefreshInterval ms while
//                UpdateEnabled;
//   OnTerminate  on the user-interface thread, after the worker has ended.
// OnStart, OnUpdate and OnTerminate run inside the component's lock, which
// the work code may enter (Lock()) to exchange data with them. Workers and
// groups may belong to a TBackgroundThreadGroup, which adds aggregate events.
//
// A component lives on the user-interface thread (it is created, started,
// stopped and destroyed there); the thread object's Terminated, Percent and
// WaitWhileSuspended are for the work code.
#pragma once

#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace fennick {

class TBackgroundThread;
class TBackgroundThreadBase;
class TBackgroundThreadGroup;
class TBackgroundExecuteThread;

// Thread priorities, as nice steps relative to the process: lower ones are
// always granted; higher ones only where the process may raise priorities
// (otherwise the thread stays at the process's own).
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Sender: the worker whose thread it is (in a group's events too); Thread:
// its thread object, none when a running group joins a group; Data: the
// value given to Start(Data), which a handler may change.
using TBackgroundDataNotifyEvent =
    std::function<void(TBackgroundThreadBase* Sender, TBackgroundExecuteThread* Thread, void*& Data)>;
using TBackgroundUpdateNotifyEvent =
    std::function<void(TBackgroundThreadBase* Sender, TBackgroundExecuteThread* Thread, void*& Data, int Percent)>;

class TBackgroundThreadBase {
 public:
  TBackgroundThreadBase() = default;
  virtual ~TBackgroundThreadBase() = default;
  TBackgroundThreadBase(const TBackgroundThreadBase&) = delete;
  TBackgroundThreadBase& operator=(const TBackgroundThreadBase&) = delete;

  TBackgroundThreadGroup* ThreadGroup() const { return FThreadGroup; }
  // Leaves the current group and joins group (none: leaves only). Refused,
  // returning false and changing nothing, when this is group itself or one
  // of the groups enclosing group: that would make a ring.
  bool SetThreadGroup(TBackgroundThreadGroup* group);

  int UpdatePriority = 0;

  // The lock the component's events run in.
  std::recursive_mutex& Lock() const { return FLock; }

  virtual bool Running() const = 0;
  // From a member (worker or group) of this group: it started or ended.
  virtual void GroupStartNotify(TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread, void*& data) = 0;
  virtual void GroupTerminateNotify(TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread, void*& data) = 0;
  virtual void Start() = 0;
  virtual void Start(void* data) = 0;
  // Asks the thread to end (the work code watches Terminated); returns at once.
  virtual void Stop() = 0;
  // A cooperative pause: the work code waits at its next WaitWhileSuspended.
  virtual void Suspend() = 0;
  virtual void Resume() = 0;

 protected:
  // Tells the group, if any, the member left; run by the destructors.
  void LeaveGroup() { SetThreadGroup(nullptr); }

 private:
  friend class TBackgroundThreadGroup;
  TBackgroundThreadGroup* FThreadGroup = nullptr;
  mutable std::recursive_mutex FLock;
};

// The worker thread of one Start: made by Start, gone after the terminate
// step.
class TBackgroundExecuteThread {
 public:
  TBackgroundExecuteThread(TBackgroundThread& owner, void* data) : Data(data), FOwner(owner) {}
  TBackgroundExecuteThread(const TBackgroundExecuteThread&) = delete;
  TBackgroundExecuteThread& operator=(const TBackgroundExecuteThread&) = delete;

  void* Data;                   // given to Start(Data); the events' var Data
  std::atomic<int> Percent{0};  // set by the work code; reported by OnUpdate

  TBackgroundThread& Owner() const { return FOwner; }
  // Stop has been asked for: the work should end.
  bool Terminated() const { return FTerminated.load(); }
  bool Suspended() const;
  // A safe point for a pause: waits while suspended; returns at once when
  // the thread is not suspended or Stop has been asked for.
  void WaitWhileSuspended();
  // What an OnExecute handler threw, caught on the worker thread; null
  // when the work ended normally. Read it in OnTerminate.
  std::exception_ptr FatalException() const { return FFatalException; }

 private:
  friend class TBackgroundThread;
  void Terminate();
  void SetSuspended(bool suspended);

  TBackgroundThread& FOwner;
  std::thread FThread;
  std::atomic<pid_t> FThreadId{0};  // the worker's kernel thread id, 0 until it runs
  std::atomic<bool> FTerminated{false};
  mutable std::mutex FPauseLock;
  std::condition_variable FPauseChanged;
  bool FSuspended = false;             // guarded by FPauseLock
  std::exception_ptr FFatalException;  // written by the worker before it ends
};

class TBackgroundThread : public TBackgroundThreadBase {
 public:
  TBackgroundThread();
  // Asks a running thread to end and waits for it (running the event queue
  // meanwhile) without OnTerminate; the group learns that the member ended.
  ~TBackgroundThread() override;

  TBackgroundDataNotifyEvent OnExecute;
  TBackgroundUpdateNotifyEvent OnUpdate;
  TBackgroundDataNotifyEvent OnStart;
  TBackgroundDataNotifyEvent OnTerminate;

  bool Running() const override { return FThread != nullptr; }
  void GroupStartNotify(TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) override {}
  void GroupTerminateNotify(TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) override {}
  // Does nothing while a thread exists. Otherwise makes the thread, tells
  // the group, calls OnStart (it has returned before the worker runs; what
  // it throws comes out of Start, with no thread left behind), then lets
  // the worker run OnExecute.
  void Start() override { Start(nullptr); }
  void Start(void* data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  // The current thread object; none while idle.
  TBackgroundExecuteThread* Thread() const { return FThread.get(); }

  TThreadPriority Priority() const { return FPriority; }
  // Also applied to a running thread.
  void SetPriority(TThreadPriority priority);
  bool UpdateEnabled() const { return FUpdateEnabled; }
  // Starts or stops the refresh timer.
  void SetUpdateEnabled(bool enabled);
  int RefreshInterval() const { return FTimer.interval(); }
  void SetRefreshInterval(int milliseconds) { FTimer.setInterval(milliseconds); }

 private:
  void Execute(TBackgroundExecuteThread& thread);
  void TimerTick();
  void TerminateStep();

  std::unique_ptr<TBackgroundExecuteThread> FThread;  // none when idle
  bool FDestroying = false;  // the terminate step only forgets the thread
  std::atomic<TThreadPriority> FPriority{TThreadPriority::tpNormal};
  bool FUpdateEnabled = false;
  QTimer FTimer;  // the refresh timer; also the receiver of the worker's end
};

class TBackgroundThreadGroup : public TBackgroundThreadBase {
 public:
  TBackgroundThreadGroup() = default;
  // Leaves its group; its members are left without a group.
  ~TBackgroundThreadGroup() override;

  // When the first member starts / the last one ends.
  TBackgroundDataNotifyEvent OnStart;
  TBackgroundDataNotifyEvent OnTerminate;
  // A member's update, when no running member has a higher UpdatePriority
  // than the reporting worker.
  TBackgroundUpdateNotifyEvent OnUpdate;
  // Every member's start, end and update.
  TBackgroundDataNotifyEvent OnThreadStart;
  TBackgroundDataNotifyEvent OnThreadTerminate;
  TBackgroundUpdateNotifyEvent OnThreadUpdate;

  // While at least one member runs.
  bool Running() const override;
  void GroupStartNotify(TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread, void*& data) override;
  void GroupTerminateNotify(TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread, void*& data) override;
  // From a worker's refresh timer.
  void GroupUpdateNotify(TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread, void*& data, int percent);
  // Each applies to every member in the order they joined.
  void Start() override;
  void Start(void* data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  // The direct members, in the order they joined.
  std::vector<TBackgroundThreadBase*> Members() const;
  // Every worker of this group and of the groups inside it.
  std::vector<TBackgroundThread*> AllThreads() const;

 private:
  friend class TBackgroundThreadBase;
  void Add(TBackgroundThreadBase* member);
  void Remove(TBackgroundThreadBase* member);

  std::vector<TBackgroundThreadBase*> FMembers;  // guarded by Lock()
  int FRunning = 0;                              // running members; guarded by Lock()
};

}  // namespace fennick
