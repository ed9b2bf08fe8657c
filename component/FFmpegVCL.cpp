// The conversion component: task list, starting and ending tasks, events.
//
// Lifetime: tasks live in std::shared_ptr. A started task's thread holds a
// reference until its run has returned, so removing a task (even from inside
// its own OnTerminate) never frees an engine under its thread. Removed tasks
// whose thread has not finished wait in FRetired and are freed later, outside
// the component lock, by the next call that finds them finished.
//
// Locks: FLock (re-entrant) guards the run bookkeeping and the task list and
// is held while log, progress and terminate events are raised. The log
// routing takes no lock of its own while calling in here, so a thread never
// holds FLock while waiting for a routing lock or the reverse. A thread that
// holds CodecLock never waits for FLock: its log lines are delivered once it
// has released CodecLock, so a handler may add a task (which takes CodecLock)
// while holding FLock. A paused task waits in the engine with no lock held.
#include "component/FFmpegVCL.h"

#include <unistd.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

#include "codec_library/codec_library.h"
#include "component/log_routing.h"
#include "component/task_list.h"
#include "component/task_options_apply.h"

namespace fennick {

namespace {

uint32_t CurrentThreadId() { return static_cast<uint32_t>(gettid()); }

// Thread priorities as steps below the process's own (nice increments).
int NiceValue(TConvertPriority priority) {
  switch (priority) {
    case TConvertPriority::tpIdle: return 19;
    case TConvertPriority::tpLowest: return 10;
    case TConvertPriority::tpLower: return 5;
    case TConvertPriority::tpNormal: break;
  }
  return 0;
}

std::string IndexError(int index) { return "List index out of bounds (" + std::to_string(index) + ")"; }

// Calls an event handler; what it throws comes back as text, nothing when it
// returned normally.
template <typename Call>
std::optional<std::string> CallHandler(Call&& call) {
  try {
    call();
    return std::nullopt;
  } catch (const std::exception& e) {
    return std::string(e.what());
  } catch (...) {
    return std::string("unknown exception");
  }
}

}  // namespace

TLogLevel MapLogLevel(int engineLevel) {
  if (engineLevel < 0) return TLogLevel::llQuiet;
  if (engineLevel >= 4) return TLogLevel::llAll;
  return static_cast<TLogLevel>(engineLevel + 1);
}

// ---- TFFmpeg

TFFmpeg::TFFmpeg() {
  OnVerbosityChanged = [](TCustomFFmpeg&, int) { RefreshLogThreshold(); };
}

void TFFmpeg::ApplyExtOptions(const std::string& text) { fennick::ApplyExtOptions(*this, text); }

// ---- TFFmpegList

void TFFmpegList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw std::out_of_range(IndexError(index));
}

std::shared_ptr<TFFmpeg> TFFmpegList::Shared(int index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)];
}

int TFFmpegList::Add(std::shared_ptr<TFFmpeg> task) {
  const int index = Count();
  task->SetIndex(index);
  FItems.push_back(std::move(task));
  return index;
}

std::shared_ptr<TFFmpeg> TFFmpegList::Extract(int index) {
  CheckIndex(index);
  auto task = std::move(FItems[static_cast<size_t>(index)]);
  FItems.erase(FItems.begin() + index);
  task->SetIndex(-1);
  for (int i = index; i < Count(); ++i) FItems[static_cast<size_t>(i)]->SetIndex(i);
  return task;
}

void TFFmpegList::Clear() {
  for (auto& task : FItems) task->SetIndex(-1);
  FItems.clear();
}

TFFmpeg* TFFmpegList::FindByThreadId(uint32_t threadId) const {
  for (const auto& task : FItems)
    if (task->ThreadId() == threadId) return task.get();
  return nullptr;
}

TFFmpeg* TFFmpegList::FindRunningByThreadId(uint32_t threadId) const {
  for (const auto& task : FItems)
    if ((task->ThreadId() == threadId || task->RunsStageThread(threadId)) && !task->Terminated()) return task.get();
  return nullptr;
}

// ---- TCustomFFmpegVCL: construction and destruction

TCustomFFmpegVCL::TCustomFFmpegVCL()
    : FScheduler(&DefaultMainThreadScheduler()), FTasks(std::make_unique<TFFmpegList>()) {
  RegisterComponent(*this);
}

TCustomFFmpegVCL::~TCustomFFmpegVCL() { Shutdown(); }

void TCustomFFmpegVCL::Shutdown() {
  if (FShutDown) return;
  FShutDown = true;
  // No library line reaches this component once this returns.
  UnregisterComponent(*this);
  std::vector<std::shared_ptr<TFFmpeg>> engines;
  {
    std::unique_lock<TComponentLock> lock(FLock);
    FDestroying = true;
    FPending = 0;
    CancelTimers();
    FAlive.reset();
    // Running tasks are stopped and their terminate events still arrive;
    // tasks never started are simply freed.
    for (const auto& task : FTasks->Items())
      if (task->FAwaitingTerminate) task->RequestStop();
    for (const auto& task : FRetired)
      if (task->FAwaitingTerminate) task->RequestStop();
    FIdle.wait(lock, [this] { return FActive == 0; });
    engines = FTasks->Items();
    FTasks->Clear();
    engines.insert(engines.end(), FRetired.begin(), FRetired.end());
    FRetired.clear();
  }
  // Past their terminate step the threads need no lock: wait for them, then
  // free the engines here.
  for (const auto& task : engines) task->WaitForThreads();
}

// ---- operations

bool TCustomFFmpegVCL::LoadCodecLibraries(const std::string& libraryFolder, bool versionedNames) {
  if (!LoadLibraries(libraryFolder, versionedNames)) {
    FLastError = LibraryLoadError();
    return false;
  }
  InstallLibraryLogCallback();
  AVL.av_log_set_level(LibraryLogLevel(static_cast<int>(FLogLevel.load()) - 1));
  RefreshLogThreshold();
  return true;
}

void TCustomFFmpegVCL::SetLogLevel(TLogLevel value) {
  FLogLevel = value;
  if (LibrariesLoaded()) {
    AVL.av_log_set_level(LibraryLogLevel(static_cast<int>(value) - 1));
    RefreshLogThreshold();
  }
}

int TCustomFFmpegVCL::TaskCount() const {
  std::lock_guard<TComponentLock> lock(FLock);
  return FTasks->Count();
}

bool TCustomFFmpegVCL::TaskStarted(int index) const {
  std::lock_guard<TComponentLock> lock(FLock);
  return FTasks->Item(index).ThreadId() != 0;
}

void TCustomFFmpegVCL::SetTaskTag(int index, uint64_t tag) {
  std::lock_guard<TComponentLock> lock(FLock);
  FTasks->Item(index).SetTag(tag);
}

bool TCustomFFmpegVCL::TaskHeldByPause(int index) const {
  std::lock_guard<TComponentLock> lock(FLock);
  return FTasks->Item(index).HeldByPause();
}

uint64_t TCustomFFmpegVCL::TaskTag(int index) const {
  std::lock_guard<TComponentLock> lock(FLock);
  return FTasks->Item(index).Tag();
}

int TCustomFFmpegVCL::TaskIndexOfTag(uint64_t tag) const {
  std::lock_guard<TComponentLock> lock(FLock);
  for (int i = 0; i < FTasks->Count(); ++i)
    if (FTasks->Item(i).Tag() == tag) return i;
  return -1;
}

int TCustomFFmpegVCL::AddInputTask(const std::string& fileName, TInputOptions* options) {
  ReleaseRetired();
  if (!LibrariesLoaded()) {
    FLastError = "The codec libraries are not loaded";
    return -1;
  }
  try {
    auto task = std::make_shared<TFFmpeg>();
    task->Reset();
    task->SetVerbosity(static_cast<int>(FLogLevel.load()) - 1);
    std::string inputName = fileName;
    if (options) {
      if (options->FileName.empty()) options->FileName = fileName;
      inputName = ApplyInputOptions(*task, *options, fileName);
    }
    // Registered meanwhile, so that StopTasks ends a long opening (a pipe
    // that sends nothing).
    {
      std::lock_guard<TComponentLock> lock(FLock);
      FOpening.push_back(task);
    }
    bool added;
    try {
      added = task->AddInputFile(inputName);
    } catch (...) {
      EndOpening(*task);
      throw;
    }
    EndOpening(*task);
    if (!added) {
      FLastError = task->LastErrorText();
      return -1;
    }
    BindTask(*task);
    std::lock_guard<TComponentLock> lock(FLock);
    return FTasks->Add(std::move(task));
  } catch (const std::exception& e) {
    FLastError = e.what();
    return -1;
  }
}

void TCustomFFmpegVCL::EndOpening(const TFFmpeg& task) {
  std::lock_guard<TComponentLock> lock(FLock);
  std::erase_if(FOpening, [&task](const auto& opening) { return opening.get() == &task; });
}

bool TCustomFFmpegVCL::TaskInputVideoInfo(int index, TProbeVideoInfo& info) {
  info = TProbeVideoInfo{};
  std::shared_ptr<TFFmpeg> task;
  {
    std::lock_guard<TComponentLock> lock(FLock);
    task = FTasks->Shared(index);
  }
  if (!task->CanStart() || task->InputCount() == 0) return false;
  const AVFormatContext* input = task->InputFile(0).Context.get();
  for (unsigned i = 0; input && i < input->nb_streams; ++i) {
    if (input->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || IsAttachedPicture(input->streams[i]))
      continue;
    DescribeVideoStream(*input->streams[i], info);
    return true;
  }
  return false;
}

bool TCustomFFmpegVCL::TaskInputStreams(int index, TProbeStreamList& streams, int input) {
  streams = TProbeStreamList{};
  std::shared_ptr<TFFmpeg> task;
  {
    std::lock_guard<TComponentLock> lock(FLock);
    task = FTasks->Shared(index);
  }
  if (!task->CanStart() || input < 0 || input >= task->InputCount()) return false;
  const AVFormatContext* context = task->InputFile(input).Context.get();
  if (!context) return false;
  streams = DescribeStreams(*context);
  return true;
}

bool TCustomFFmpegVCL::TaskStillOpen(int index, const TFFmpeg& task) {
  if (!task.CanStart()) {
    // Its engine belongs to its thread now (or is done): not to be touched.
    FLastError = "Task " + std::to_string(index) + " has already been started";
    return false;
  }
  if (index >= FNextTask && index < FNextTask + FPending) {
    // Its turn comes when another task ends: what it converts is settled.
    FLastError = "Task " + std::to_string(index) + " is waiting in a running batch";
    return false;
  }
  return true;
}

bool TCustomFFmpegVCL::AddTaskInput(int index, const std::string& fileName, TInputOptions* options) {
  std::lock_guard<TComponentLock> lock(FLock);
  const std::shared_ptr<TFFmpeg> task = FTasks->Shared(index);  // a bad index raises to the caller
  if (!TaskStillOpen(index, *task)) return false;
  try {
    std::string inputName = fileName;
    if (options) {
      if (options->FileName.empty()) options->FileName = fileName;
      inputName = ApplyInputOptions(*task, *options, fileName);
    }
    if (!task->AddInputFile(inputName)) {
      FLastError = task->LastErrorText();
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    FLastError = e.what();
    return false;
  }
}

bool TCustomFFmpegVCL::AddTaskOutput(int index, const std::string& fileName, TOutputOptions* options,
                                     std::shared_ptr<TOutputReservation> reservation) {
  // Held throughout: the worker of a running batch starts the next task under
  // this lock, so no task can be started while its engine is being changed.
  std::lock_guard<TComponentLock> lock(FLock);
  const std::shared_ptr<TFFmpeg> task = FTasks->Shared(index);  // a bad index raises to the caller
  if (!TaskStillOpen(index, *task)) return false;
  try {
    std::string outputName = fileName;
    THookChoice hook = THookChoice::None;
    if (options) {
      if (options->FileName.empty()) options->FileName = fileName;
      const TOutputApplyResult applied = ApplyOutputOptions(*task, *options, fileName);
      outputName = applied.FileName;
      hook = applied.Hook;
    }
    if (!task->AddOutputFile(outputName, std::move(reservation))) {
      FLastError = task->LastErrorText();
      return false;
    }
    TFFmpeg* raw = task.get();
    if (hook == THookChoice::Custom) {
      task->OnCustomHook = [this, raw](TCustomFFmpeg&, TBitmap& bitmap, int frameNumber, int64_t pts, bool& update,
                                       bool& stopHook) {
        TaskCustomHook(*raw, bitmap, frameNumber, pts, update, stopHook);
      };
    } else if (hook == THookChoice::Before) {
      task->OnBeforeHook = [this, raw](TCustomFFmpeg&, int64_t pts, THookAction& action) {
        TaskBeforeHook(*raw, pts, action);
      };
    }
    return true;
  } catch (const std::exception& e) {
    FLastError = e.what();
    return false;
  }
}

void TCustomFFmpegVCL::RemoveTask(int index) {
  {
    std::lock_guard<TComponentLock> lock(FLock);
    auto task = FTasks->Shared(index);  // a bad index raises to the caller
    // Keep the run's bookkeeping on the same tasks.
    if (index < FNextTask)
      --FNextTask;
    else if (index < FNextTask + FPending)
      --FPending;
    if (task->FCounted) {
      task->FCounted = false;
      --FFinishedCount;
    }
    Retire(FTasks->Extract(index));
  }
  ReleaseRetired();
}

void TCustomFFmpegVCL::RemoveAllTasks() {
  {
    std::lock_guard<TComponentLock> lock(FLock);
    while (FTasks->Count() > 0) {
      auto task = FTasks->Extract(FTasks->Count() - 1);
      task->FCounted = false;
      Retire(std::move(task));
    }
    CancelTimers();
    FNextTask = -1;
    FPending = 0;
    FFinishedCount = 0;
    FConcurrency = 0;
  }
  FLastError.clear();
  ReleaseRetired();
}

void TCustomFFmpegVCL::Retire(std::shared_ptr<TFFmpeg> task) {
  // A removed task that still runs is stopped; its end is still awaited.
  if (task->FAwaitingTerminate) task->RequestStop();
  FRetired.push_back(std::move(task));
}

std::vector<std::shared_ptr<TFFmpeg>> TCustomFFmpegVCL::TakeFinishedRetired() {
  std::vector<std::shared_ptr<TFFmpeg>> finished;
  auto keep = std::stable_partition(FRetired.begin(), FRetired.end(), [](const auto& task) {
    return task->FAwaitingTerminate || !task->ThreadsFinished();
  });
  std::move(keep, FRetired.end(), std::back_inserter(finished));
  FRetired.erase(keep, FRetired.end());
  return finished;
}

void TCustomFFmpegVCL::ReleaseRetired() {
  if (FLock.HeldByCurrentThread()) return;  // an outer frame releases them
  std::vector<std::shared_ptr<TFFmpeg>> finished;
  {
    std::lock_guard<TComponentLock> lock(FLock);
    finished = TakeFinishedRetired();
  }
  for (const auto& task : finished) task->WaitForThreads();
}

void TCustomFFmpegVCL::StartTasks(int maxConcurrent) {
  ReleaseRetired();
  std::lock_guard<TComponentLock> lock(FLock);
  LogBuffers().Clear();
  CancelTimers();
  FNextTask = 0;
  FFinishedCount = 0;
  FConcurrency = maxConcurrent;
  FPending = FTasks->Count();
  FAllDoneSent = false;
  for (const auto& task : FTasks->Items()) task->FCounted = false;
  int starts = 0;
  do {
    StartNextTask();
    ++starts;
  } while (starts < maxConcurrent && FPending > 0);
}

void TCustomFFmpegVCL::StartNextTask() {
  while (FPending > 0) {
    --FPending;
    auto task = FTasks->Shared(FNextTask++);
    if (task->CanStart()) {
      if (FConcurrency > 0)
        RunTaskInThread(task);
      else
        ScheduleTask(task);
      return;
    }
    // Started before (running or over): it takes no slot. One that is over
    // counts as finished in this run.
    if (task->Terminated() && !task->FAwaitingTerminate && !task->FCounted) {
      task->FCounted = true;
      ++FFinishedCount;
    }
  }
}

void TCustomFFmpegVCL::PrepareRun(TFFmpeg& task) {
  task.SetProgressInterval(static_cast<int64_t>(FProgressInterval.load()) * 1000);
  task.SetThreadCount(FThreadCount.load());
  task.SetVerbosity(static_cast<int>(FLogLevel.load()) - 1);
}

void TCustomFFmpegVCL::MarkActive(TFFmpeg& task) {
  task.FAwaitingTerminate = true;
  ++FActive;
  FAllDoneSent = false;
}

void TCustomFFmpegVCL::RunTaskInThread(const std::shared_ptr<TFFmpeg>& task) {
  PrepareRun(*task);
  MarkActive(*task);
  TFFmpegThread* thread = task->StartRun(true, NiceValue(FThreadPriority));
  if (thread) {
    task->SetThreadId(thread->ThreadId());
    thread->Resume();
    return;
  }
  task->SetThreadId(0);
  // Refused: the terminate step has run (and was handled) unless another
  // owner had taken the engine.
  if (task->FAwaitingTerminate) {
    task->FAwaitingTerminate = false;
    --FActive;
    FIdle.notify_all();
  }
}

void TCustomFFmpegVCL::ScheduleTask(const std::shared_ptr<TFFmpeg>& task) {
  const uint64_t token = FNextTimerToken++;
  std::weak_ptr<TFFmpeg> weak = task;
  std::weak_ptr<int> alive = FAlive;
  FTimers[token] = FScheduler->Schedule(100, [this, token, weak, alive] {
    if (alive.expired()) return;
    ScheduledTaskDue(token, weak);
  });
}

void TCustomFFmpegVCL::ScheduledTaskDue(uint64_t token, const std::weak_ptr<TFFmpeg>& weak) {
  std::shared_ptr<TFFmpeg> task;
  {
    std::lock_guard<TComponentLock> lock(FLock);
    if (FTimers.erase(token) == 0 || FDestroying) return;
    task = weak.lock();
    if (!task || task->Index() < 0 || !task->CanStart()) {
      // Removed or ended meanwhile: the next one takes its turn.
      if (task && task->Index() >= 0 && task->Terminated() && !task->FAwaitingTerminate && !task->FCounted) {
        task->FCounted = true;
        ++FFinishedCount;
      }
      if (FPending > 0)
        StartNextTask();
      else
        CheckAllDone();
      return;
    }
    PrepareRun(*task);
    MarkActive(*task);
    task->SetThreadId(CurrentThreadId());
  }
  // Runs here, on the main thread, without the component lock; returns once
  // the task has terminated.
  task->StartRun(false);
  {
    std::lock_guard<TComponentLock> lock(FLock);
    if (task->FAwaitingTerminate) {
      task->FAwaitingTerminate = false;
      --FActive;
      FIdle.notify_all();
    }
  }
  ReleaseRetired();
}

void TCustomFFmpegVCL::CancelTimers() {
  for (const auto& [token, id] : FTimers) FScheduler->Cancel(id);
  FTimers.clear();
}

void TCustomFFmpegVCL::CheckAllDone() {
  if (FAllDoneSent || FPending > 0 || FActive > 0 || FFinishedCount != FTasks->Count()) return;
  FAllDoneSent = true;
  if (OnTerminate) {
    if (auto error = CallHandler([&] { OnTerminate(-1, true, false, ""); }))
      ReportHandlerError("OnTerminate", -1, *error);
  }
  LogBuffers().Clear();
}

void TCustomFFmpegVCL::StopTasks() {
  std::lock_guard<TComponentLock> lock(FLock);
  FPending = 0;
  CancelTimers();
  for (const auto& task : FOpening) task->RequestStop();
  for (const auto& task : FTasks->Items()) {
    if (task->Running()) {
      task->RequestStop();
    } else if (!task->Terminated() && task->CanStart()) {
      MarkActive(*task);
      if (!task->StopTask()) {
        task->FAwaitingTerminate = false;
        --FActive;
      }
    }
  }
}

void TCustomFFmpegVCL::PauseTasks() {
  std::lock_guard<TComponentLock> lock(FLock);
  for (const auto& task : FTasks->Items()) task->PauseRun();
}

void TCustomFFmpegVCL::ResumeTasks() {
  std::lock_guard<TComponentLock> lock(FLock);
  for (const auto& task : FTasks->Items()) task->ResumeRun();
}

// ---- notifications

void TCustomFFmpegVCL::BindTask(TFFmpeg& task) {
  TFFmpeg* raw = &task;
  task.OnLog = [this, raw](TCustomFFmpeg&, int level, const std::string& text) { TaskLog(raw, level, text); };
  task.OnProgress = [this, raw](TCustomFFmpeg&, int frameNumber, int fps, int currentDurationMs, float quality,
                                float bitRateKbps, int64_t currentSize, int totalDurationMs) {
    TaskProgress(*raw, frameNumber, fps, currentDurationMs, quality, bitRateKbps, currentSize, totalDurationMs);
  };
  task.OnTerminate = [this, raw](TCustomFFmpeg&) { TaskTerminate(*raw); };
}

void TCustomFFmpegVCL::LibraryLogLine(uint32_t threadId, int level, const std::string& line) {
  std::lock_guard<TComponentLock> lock(FLock);
  TaskLog(FTasks->FindRunningByThreadId(threadId), level, line);
}

void TCustomFFmpegVCL::ReportHandlerError(const char* handler, int index, const std::string& text) {
  if (!OnLog) return;
  // The log handler may fail as well: then nobody can be told.
  CallHandler([&] { OnLog(index, TLogLevel::llError, std::string("Error occurs ") + handler + ": " + text); });
}

// The hook handlers' failures are the engine's to report (it stops the hooks
// on them): any exception reaches it as the engine's own.
void TCustomFFmpegVCL::TaskBeforeHook(TFFmpeg& task, int64_t pts, THookAction& action) {
  if (!OnBeforeHook) return;
  if (auto error = CallHandler([&] { OnBeforeHook(task.Index(), pts, action); })) throw FFMpegException(*error);
}

void TCustomFFmpegVCL::TaskCustomHook(TFFmpeg& task, TBitmap& bitmap, int frameNumber, int64_t pts, bool& update,
                                      bool& stopHook) {
  // Without a handler nothing paints the bitmap: keep the picture as decoded.
  if (!OnCustomHook) {
    update = false;
    return;
  }
  if (auto error = CallHandler([&] { OnCustomHook(task.Index(), bitmap, frameNumber, pts, update, stopHook); }))
    throw FFMpegException(*error);
}

void TCustomFFmpegVCL::TaskLog(TFFmpeg* task, int level, const std::string& text) {
  std::lock_guard<TComponentLock> lock(FLock);
  if (!OnLog) return;
  const int index = task ? task->Index() : -1;
  if (auto error = CallHandler([&] { OnLog(index, MapLogLevel(level), text); }))
    ReportHandlerError("OnLog", index, *error);
}

void TCustomFFmpegVCL::TaskProgress(TFFmpeg& task, int frameNumber, int fps, int currentDurationMs, float quality,
                                    float bitRateKbps, int64_t currentSize, int totalDurationMs) {
  std::lock_guard<TComponentLock> lock(FLock);
  const int index = task.Index();
  if (!OnProgress || index < 0) return;
  // Raised inside the run: the failure ends the task as its error.
  if (auto error = CallHandler([&] {
        OnProgress(index, frameNumber, fps, currentDurationMs, quality, bitRateKbps, currentSize, totalDurationMs);
      }))
    throw FFMpegException("Error occurs OnProgress: " + *error);
}

void TCustomFFmpegVCL::TaskTerminate(TFFmpeg& task) {
  std::vector<std::shared_ptr<TFFmpeg>> finished;
  {
    std::lock_guard<TComponentLock> lock(FLock);
    const bool wasActive = std::exchange(task.FAwaitingTerminate, false);
    const int index = task.Index();
    // Counted before the event, so that a handler removing the task keeps
    // the count right.
    if (index >= 0 && !task.FCounted) {
      task.FCounted = true;
      ++FFinishedCount;
    }
    if (wasActive) --FActive;
    if (index >= 0 && OnTerminate) {
      if (auto error = CallHandler(
              [&] { OnTerminate(index, task.Finished(), task.ExceptionRaised(), task.TerminateMessage()); }))
        ReportHandlerError("OnTerminate", index, *error);
    }
    if (!FDestroying) {
      if (FPending > 0)
        StartNextTask();
      else
        CheckAllDone();
      if (FLock.Depth() == 1) finished = TakeFinishedRetired();
    }
    FIdle.notify_all();
  }
  // The component may be gone from here on (a destructor waiting on FIdle):
  // only the tasks handed over above are touched.
  for (const auto& retired : finished) retired->WaitForThreads();
}

}  // namespace fennick
