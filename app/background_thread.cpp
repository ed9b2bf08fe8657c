#include "app/background_thread.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace fennick {

namespace {

// Nice steps relative to the process's own value.
int NiceSteps(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle: return 19;
    case TThreadPriority::tpLowest: return 10;
    case TThreadPriority::tpLower: return 5;
    case TThreadPriority::tpNormal: return 0;
    case TThreadPriority::tpHigher: return -5;
    case TThreadPriority::tpHighest: return -10;
    case TThreadPriority::tpTimeCritical: return -20;
  }
  return 0;
}

// Where the system refuses (raising needs a privilege) the thread keeps
// what it has.
void ApplyPriority(pid_t tid, TThreadPriority priority) {
  if (tid == 0) return;
  errno = 0;
  const int process = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  if (process == -1 && errno != 0) return;
  const int wanted = std::clamp(process + NiceSteps(priority), -20, 19);
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), wanted);
}

}  // namespace

// ---- base

bool TBackgroundThreadBase::SetThreadGroup(TBackgroundThreadGroup* group) {
  if (group == FThreadGroup) return true;
  for (TBackgroundThreadBase* enclosing = group; enclosing; enclosing = enclosing->FThreadGroup)
    if (enclosing == this) return false;
  if (TBackgroundThreadGroup* old = FThreadGroup) {
    FThreadGroup = nullptr;
    old->Remove(this);
  }
  if (group) {
    group->Add(this);
    FThreadGroup = group;
  }
  return true;
}

// ---- thread object

bool TBackgroundExecuteThread::Suspended() const {
  std::lock_guard lock(FPauseLock);
  return FSuspended;
}

void TBackgroundExecuteThread::WaitWhileSuspended() {
  std::unique_lock lock(FPauseLock);
  FPauseChanged.wait(lock, [this] { return !FSuspended || FTerminated.load(); });
}

void TBackgroundExecuteThread::Terminate() {
  std::lock_guard lock(FPauseLock);
  FTerminated = true;
  FPauseChanged.notify_all();
}

void TBackgroundExecuteThread::SetSuspended(bool suspended) {
  std::lock_guard lock(FPauseLock);
  FSuspended = suspended;
  FPauseChanged.notify_all();
}

// ---- worker

TBackgroundThread::TBackgroundThread() {
  FTimer.setInterval(100);
  QObject::connect(&FTimer, &QTimer::timeout, [this] { TimerTick(); });
}

TBackgroundThread::~TBackgroundThread() {
  FTimer.stop();
  if (FThread) {
    FDestroying = true;
    FThread->Terminate();
    FThread->SetSuspended(false);
    // The work code may be waiting for the user-interface thread: keep its
    // events running until the worker's end has been seen.
    const bool onOwnThread = QCoreApplication::instance() && QThread::currentThread() == FTimer.thread();
    while (onOwnThread && FThread) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (FThread) {
      if (FThread->FThread.joinable()) FThread->FThread.join();
      FThread.reset();
    }
    // The group counted the member's start; it learns of its end too.
    if (TBackgroundThreadGroup* group = ThreadGroup()) {
      void* data = nullptr;
      group->GroupTerminateNotify(this, nullptr, data);
    }
  }
  LeaveGroup();
}

void TBackgroundThread::Start(void* data) {
  if (FThread) return;
  FThread = std::make_unique<TBackgroundExecuteThread>(*this, data);
  TBackgroundExecuteThread* thread = FThread.get();
  if (TBackgroundThreadGroup* group = ThreadGroup()) group->GroupStartNotify(this, thread, thread->Data);
  if (OnStart) {
    try {
      std::lock_guard lock(Lock());
      OnStart(this, thread, thread->Data);
    } catch (...) {
      // The worker never ran: nothing of it stays, and a later Start works.
      std::unique_ptr<TBackgroundExecuteThread> gone = std::move(FThread);
      if (TBackgroundThreadGroup* group = ThreadGroup()) group->GroupTerminateNotify(this, gone.get(), gone->Data);
      throw;
    }
  }
  thread->FThread = std::thread([this, thread] { Execute(*thread); });
  if (FUpdateEnabled) FTimer.start();
}

void TBackgroundThread::Execute(TBackgroundExecuteThread& thread) {
  thread.FThreadId = gettid();
  ApplyPriority(thread.FThreadId, FPriority);
  if (OnExecute) {
    try {
      OnExecute(this, &thread, thread.Data);
    } catch (...) {
      thread.FFatalException = std::current_exception();
    }
  }
  // The last thing the worker does: hand its end to the user-interface
  // thread.
  QMetaObject::invokeMethod(&FTimer, [this] { TerminateStep(); }, Qt::QueuedConnection);
}

void TBackgroundThread::TerminateStep() {
  FTimer.stop();
  std::unique_ptr<TBackgroundExecuteThread> thread = std::move(FThread);
  if (!thread) return;
  if (thread->FThread.joinable()) thread->FThread.join();
  if (FDestroying) return;
  if (TBackgroundThreadGroup* group = ThreadGroup()) group->GroupTerminateNotify(this, thread.get(), thread->Data);
  if (OnTerminate) {
    std::lock_guard lock(Lock());
    OnTerminate(this, thread.get(), thread->Data);
  }
  if (FUpdateEnabled && !FTimer.isActive()) FTimer.start();
}

void TBackgroundThread::TimerTick() {
  if (!FThread) return;
  TBackgroundExecuteThread* thread = FThread.get();
  if (TBackgroundThreadGroup* group = ThreadGroup())
    group->GroupUpdateNotify(this, thread, thread->Data, thread->Percent);
  if (OnUpdate) {
    std::lock_guard lock(Lock());
    OnUpdate(this, thread, thread->Data, thread->Percent);
  }
}

void TBackgroundThread::Stop() {
  if (!FThread) return;
  FThread->SetSuspended(false);
  FThread->Terminate();
}

void TBackgroundThread::Suspend() {
  if (FThread) FThread->SetSuspended(true);
}

void TBackgroundThread::Resume() {
  if (FThread) FThread->SetSuspended(false);
}

void TBackgroundThread::SetPriority(TThreadPriority priority) {
  FPriority = priority;
  if (FThread) ApplyPriority(FThread->FThreadId, priority);
}

void TBackgroundThread::SetUpdateEnabled(bool enabled) {
  if (enabled == FUpdateEnabled) return;
  FUpdateEnabled = enabled;
  if (enabled)
    FTimer.start();
  else
    FTimer.stop();
}

// ---- group

TBackgroundThreadGroup::~TBackgroundThreadGroup() {
  LeaveGroup();
  std::lock_guard lock(Lock());
  for (TBackgroundThreadBase* member : FMembers) member->FThreadGroup = nullptr;
  FMembers.clear();
}

bool TBackgroundThreadGroup::Running() const {
  std::lock_guard lock(Lock());
  return FRunning > 0;
}

namespace {

// A member's thread object: a worker's current one, none for a group.
TBackgroundExecuteThread* ThreadOf(TBackgroundThreadBase* member) {
  auto* worker = dynamic_cast<TBackgroundThread*>(member);
  return worker ? worker->Thread() : nullptr;
}

}  // namespace

void TBackgroundThreadGroup::Add(TBackgroundThreadBase* member) {
  if (member->Running()) {
    TBackgroundExecuteThread* thread = ThreadOf(member);
    void* none = nullptr;
    GroupStartNotify(member, thread, thread ? thread->Data : none);
  }
  std::lock_guard lock(Lock());
  FMembers.push_back(member);
}

void TBackgroundThreadGroup::Remove(TBackgroundThreadBase* member) {
  {
    std::lock_guard lock(Lock());
    FMembers.erase(std::remove(FMembers.begin(), FMembers.end(), member), FMembers.end());
  }
  if (member->Running()) {
    TBackgroundExecuteThread* thread = ThreadOf(member);
    void* none = nullptr;
    GroupTerminateNotify(member, thread, thread ? thread->Data : none);
  }
}

void TBackgroundThreadGroup::GroupStartNotify(TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread,
                                              void*& data) {
  bool first;
  {
    std::lock_guard lock(Lock());
    first = FRunning == 0;
    ++FRunning;
    if (OnThreadStart) OnThreadStart(sender, thread, data);
  }
  if (TBackgroundThreadGroup* group = ThreadGroup()) group->GroupStartNotify(sender, thread, data);
  if (first && OnStart) OnStart(sender, thread, data);
}

void TBackgroundThreadGroup::GroupTerminateNotify(TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread,
                                                  void*& data) {
  bool last;
  {
    std::lock_guard lock(Lock());
    if (FRunning > 0) --FRunning;
    last = FRunning == 0;
  }
  if (OnThreadTerminate) OnThreadTerminate(sender, thread, data);
  if (TBackgroundThreadGroup* group = ThreadGroup()) group->GroupTerminateNotify(sender, thread, data);
  if (last && OnTerminate) OnTerminate(sender, thread, data);
}

void TBackgroundThreadGroup::GroupUpdateNotify(TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread,
                                               void*& data, int percent) {
  if (OnThreadUpdate) OnThreadUpdate(sender, thread, data, percent);
  for (TBackgroundThreadBase* member : Members())
    if (member != sender && member->Running() && member->UpdatePriority > sender->UpdatePriority) return;
  if (OnUpdate) OnUpdate(sender, thread, data, percent);
}

std::vector<TBackgroundThreadBase*> TBackgroundThreadGroup::Members() const {
  std::lock_guard lock(Lock());
  return FMembers;
}

std::vector<TBackgroundThread*> TBackgroundThreadGroup::AllThreads() const {
  std::vector<TBackgroundThread*> all;
  for (TBackgroundThreadBase* member : Members()) {
    if (auto* worker = dynamic_cast<TBackgroundThread*>(member))
      all.push_back(worker);
    else if (auto* group = dynamic_cast<TBackgroundThreadGroup*>(member)) {
      const std::vector<TBackgroundThread*> inner = group->AllThreads();
      all.insert(all.end(), inner.begin(), inner.end());
    }
  }
  return all;
}

void TBackgroundThreadGroup::Start() { Start(nullptr); }

void TBackgroundThreadGroup::Start(void* data) {
  for (TBackgroundThreadBase* member : Members()) member->Start(data);
}

void TBackgroundThreadGroup::Stop() {
  for (TBackgroundThreadBase* member : Members()) member->Stop();
}

void TBackgroundThreadGroup::Suspend() {
  for (TBackgroundThreadBase* member : Members()) member->Suspend();
}

void TBackgroundThreadGroup::Resume() {
  for (TBackgroundThreadBase* member : Members()) member->Resume();
}

}  // namespace fennick
