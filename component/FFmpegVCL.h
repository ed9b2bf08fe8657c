// The conversion component: the one object through which the window and the
// command line convert files. It keeps a list of tasks (one engine each),
// runs them on worker threads with a chosen concurrency, and turns what the
// engines report into five events.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "component/AVProbe.h"
#include "component/events.h"
#include "component/main_thread_scheduler.h"
#include "component/task_options.h"
#include "engine/bitmap.h"

namespace fennick {

enum class TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// The task list and its tasks (component/task_list.h), private to the
// component.
class TFFmpeg;
class TFFmpegList;
class TOutputReservation;

// The component's re-entrant lock; knows whether the calling thread holds it.
class TComponentLock {
 public:
  void lock() {
    FMutex.lock();
    if (FDepth++ == 0) FOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  void unlock() {
    if (--FDepth == 0) FOwner.store(std::thread::id(), std::memory_order_relaxed);
    FMutex.unlock();
  }
  bool HeldByCurrentThread() const { return FOwner.load(std::memory_order_relaxed) == std::this_thread::get_id(); }
  // How often the holder has taken it (meaningful for the holder only).
  int Depth() const { return FDepth; }

 private:
  std::recursive_mutex FMutex;
  int FDepth = 0;  // written by the holder only
  std::atomic<std::thread::id> FOwner{};
};

class TCustomFFmpegVCL {
 public:
  TCustomFFmpegVCL();
  virtual ~TCustomFFmpegVCL();
  TCustomFFmpegVCL(const TCustomFFmpegVCL&) = delete;
  TCustomFFmpegVCL& operator=(const TCustomFFmpegVCL&) = delete;

  std::string About;  // not interpreted

  // Loads the codec libraries once per process; on success installs the
  // library log callback and the log level. Failure: false, text in LastError.
  bool LoadCodecLibraries(const std::string& libraryFolder, bool versionedNames);
  // Creates a task for one input file. Returns its index, or -1 with the
  // reason in LastError. `options->FileName` is filled in when empty.
  int AddInputTask(const std::string& fileName, TInputOptions* options = nullptr);
  // Adds one more input to task `index` before its outputs (a subtitle file
  // converted with the source): as AddInputTask opens it, under the rules of
  // AddTaskOutput. A bad index raises std::out_of_range; false with the
  // reason in LastError.
  bool AddTaskInput(int index, const std::string& fileName, TInputOptions* options = nullptr);
  // Adds an output to task `index` (a bad index raises std::out_of_range).
  // False with the reason in LastError; the task then keeps its other outputs.
  // `reservation`: the output name the caller has reserved, which the task
  // writes under and commits (util/output_reservation.h); without one the
  // task reserves a local file's name itself.
  bool AddTaskOutput(int index, const std::string& fileName, TOutputOptions* options = nullptr,
                     std::shared_ptr<TOutputReservation> reservation = nullptr);
  // Removes a task and renumbers the later ones. A running task is stopped;
  // it sends no more progress or terminate events.
  void RemoveTask(int index);
  // Removes every task, clears LastError, concurrency back to 0.
  void RemoveAllTasks();
  // Runs every task in the list, at most `maxConcurrent` at a time; 0 or less
  // runs them one after another on the main thread, through the scheduler.
  void StartTasks(int maxConcurrent);
  // Ends running tasks at their next check; never-started ones are
  // terminated from an auxiliary thread; an AddInputTask in progress on
  // another thread stops opening its input and fails. Does not wait.
  void StopTasks();
  // Holds every task that runs on a worker thread at its next safe point;
  // tasks on the main thread are not affected.
  void PauseTasks();
  void ResumeTasks();

  const std::string& LastError() const { return FLastError; }
  int TaskCount() const;
  // Whether task `index` has been started (it ran or runs on a thread of
  // its own or the main thread); false for one a stop ended before its
  // turn. A bad index raises std::out_of_range.
  bool TaskStarted(int index) const;
  // A number of the owner's for task `index` (0 until set): read in an event
  // handler, where the index is current, it tells which task the event is
  // about even after earlier tasks were removed. A bad index raises
  // std::out_of_range.
  void SetTaskTag(int index, uint64_t tag);
  // Whether task `index` is held by a pause right now (PauseTasks takes
  // effect at the task's next safe point). A bad index raises
  // std::out_of_range.
  bool TaskHeldByPause(int index) const;
  uint64_t TaskTag(int index) const;
  // The index of the task tagged `tag`, or -1.
  int TaskIndexOfTag(uint64_t tag) const;
  // The first video stream of the input that task `index` has opened, as
  // the probe describes a file's, so that a source is opened only once
  // (pipes can be read only once). False, info at its initial values, when
  // the input has no video or the task has been started. A bad index raises
  // std::out_of_range.
  bool TaskInputVideoInfo(int index, TProbeVideoInfo& info);
  // The audio and subtitle streams of input `input` of task `index`, as the
  // probe describes a file's. False, the list empty, when the task has no
  // such input or has been started. A bad index raises std::out_of_range.
  bool TaskInputStreams(int index, TProbeStreamList& streams, int input = 0);
  // The scheduler used for tasks run on the main thread (concurrency <= 0);
  // not owned. Set it before StartTasks.
  void SetMainThreadScheduler(TMainThreadScheduler& scheduler) { FScheduler = &scheduler; }

  // The media probe owned by the component (main thread only).
  TAVProbe& Probe() { return FProbe; }

 protected:
  TLogLevel LogLevel() const { return FLogLevel; }
  void SetLogLevel(TLogLevel value);
  int ProgressInterval() const { return FProgressInterval; }
  void SetProgressInterval(int value) { FProgressInterval = value > 100 ? value : 100; }
  TConvertPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TConvertPriority value) { FThreadPriority = value; }
  // Codec threads given to each task when it starts (the engine's thread
  // count): 1 by default, 0 for the libraries' choice for the machine.
  int ThreadCount() const { return FThreadCount; }
  void SetThreadCount(int value) { FThreadCount = value < 0 ? 1 : value; }

  // Assign handlers while no task runs. Hooks are called without the lock.
  // What a handler throws never leaves the component: from OnLog and
  // OnTerminate it becomes a log line "Error occurs OnTerminate: ...", from
  // OnProgress the error that ends the task, from a hook the engine's
  // "Error occurs OnBeforeHook: ..." or "Error occurs OnCustomHook: ..." note
  // (the modules stop, or the picture stays as it was).
  TBeforeHookEvent OnBeforeHook;
  TCustomHookEvent OnCustomHook;
  TLogEvent OnLog;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;

  // Notifications from the tasks, on the thread where they happen.
  virtual void TaskBeforeHook(TFFmpeg& task, int64_t pts, THookAction& action);
  virtual void TaskCustomHook(TFFmpeg& task, TBitmap& bitmap, int frameNumber, int64_t pts, bool& update,
                              bool& stopHook);
  // `task` is null for lines that belong to no task.
  virtual void TaskLog(TFFmpeg* task, int level, const std::string& text);
  virtual void TaskProgress(TFFmpeg& task, int frameNumber, int fps, int currentDurationMs, float quality,
                            float bitRateKbps, int64_t currentSize, int totalDurationMs);
  virtual void TaskTerminate(TFFmpeg& task);

  // Stops the tasks and waits until no notification can reach this object.
  // The most derived destructor calls it first; later calls do nothing.
  void Shutdown();

 private:
  friend struct TLogRouting;
  // A line of the codec libraries, from the log routing.
  void LibraryLogLine(uint32_t threadId, int level, const std::string& line);

  void BindTask(TFFmpeg& task);
  void StartNextTask();
  void RunTaskInThread(const std::shared_ptr<TFFmpeg>& task);
  void ScheduleTask(const std::shared_ptr<TFFmpeg>& task);
  void ScheduledTaskDue(uint64_t token, const std::weak_ptr<TFFmpeg>& weak);
  void PrepareRun(TFFmpeg& task);
  void MarkActive(TFFmpeg& task);
  void CheckAllDone();
  // An event handler raised: the failure becomes a log line (error level).
  void ReportHandlerError(const char* handler, int index, const std::string& text);
  void CancelTimers();
  void Retire(std::shared_ptr<TFFmpeg> task);
  // Frees removed tasks whose threads have finished, outside the lock.
  void ReleaseRetired();
  // Under the lock: hands over the removed tasks whose threads have finished.
  std::vector<std::shared_ptr<TFFmpeg>> TakeFinishedRetired();
  // AddInputTask's engine has opened its input or failed to.
  void EndOpening(const TFFmpeg& task);
  // Under the lock: whether the task's inputs and outputs may still change
  // (not started, not waiting its turn in a running batch); else FLastError
  // says why.
  bool TaskStillOpen(int index, const TFFmpeg& task);

  // Written on the main thread only.
  std::string FLastError;
  TAVProbe FProbe;
  TMainThreadScheduler* FScheduler;
  bool FShutDown = false;

  // Settings: written on the main thread, read when a task starts.
  std::atomic<TLogLevel> FLogLevel{TLogLevel::llInfo};
  std::atomic<int> FProgressInterval{500};  // ms
  std::atomic<TConvertPriority> FThreadPriority{TConvertPriority::tpNormal};
  std::atomic<int> FThreadCount{1};

  // Everything below is guarded by FLock. Log, progress and terminate events
  // are raised under it; stop, pause and resume hold it.
  mutable TComponentLock FLock;
  std::condition_variable_any FIdle;  // FActive dropped
  std::unique_ptr<TFFmpegList> FTasks;
  // Removed tasks whose thread has not yet finished; freed outside the lock.
  std::vector<std::shared_ptr<TFFmpeg>> FRetired;
  // Engines opening their input in AddInputTask, not yet in the list.
  std::vector<std::shared_ptr<TFFmpeg>> FOpening;
  int FConcurrency = 0;
  int FNextTask = -1;
  int FFinishedCount = 0;
  int FPending = 0;
  int FActive = 0;            // tasks whose terminate step is awaited (started or being terminated)
  bool FAllDoneSent = false;  // the -1 call went out and nothing started since
  bool FDestroying = false;
  std::map<uint64_t, TMainThreadScheduler::TTimerId> FTimers;  // token -> scheduler id
  uint64_t FNextTimerToken = 1;
  // Expires with the component, for timers a scheduler could not cancel.
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};

class TFFmpegVCL : public TCustomFFmpegVCL {
 public:
  ~TFFmpegVCL() override { Shutdown(); }

  using TCustomFFmpegVCL::LogLevel;
  using TCustomFFmpegVCL::ProgressInterval;
  using TCustomFFmpegVCL::SetLogLevel;
  using TCustomFFmpegVCL::SetProgressInterval;
  using TCustomFFmpegVCL::SetThreadCount;
  using TCustomFFmpegVCL::SetThreadPriority;
  using TCustomFFmpegVCL::ThreadCount;
  using TCustomFFmpegVCL::ThreadPriority;
  std::string Version() const { return "2.0b"; }
  using TCustomFFmpegVCL::OnBeforeHook;
  using TCustomFFmpegVCL::OnCustomHook;
  using TCustomFFmpegVCL::OnLog;
  using TCustomFFmpegVCL::OnProgress;
  using TCustomFFmpegVCL::OnTerminate;
};

}  // namespace fennick
