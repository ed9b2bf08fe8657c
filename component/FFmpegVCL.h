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
#include "component/main_thread_scheduler.h"
#include "component/task_options.h"
#include "engine/FFmpeg.h"
#include "engine/bitmap.h"

namespace fennick {

enum class TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };
enum class TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// Events carry no sender. AIndex is the task index, or -1 where no single task
// is meant (including the final "all tasks done" terminate call).
using TProgressEvent = std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration,
                                          float AQuality, float ABitRate, int64_t ACurrentSize,
                                          int ATotalOutputDuration)>;
using TLogEvent = std::function<void(int AIndex, TLogLevel ALogLevel, const std::string& AMsg)>;
using TTerminateEvent = std::function<void(int AIndex, bool AFinished, bool AException, const std::string& AMessage)>;
using TBeforeHookEvent = std::function<void(int AIndex, int64_t APTS, THookAction& AHookAction)>;
using TCustomHookEvent = std::function<void(int AIndex, TBitmap& ABitmap, int AFrameNumber, int64_t APTS,
                                            bool& AUpdate, bool& AStopHook)>;

// Engine level L (-1 quiet/errors, 0 error, 1 information, 2 debug, ...) as
// the event's level: ordinal L + 1, clamped to llQuiet..llAll.
TLogLevel MapLogLevel(int engineLevel);

class TCustomFFmpegVCL;

// One conversion task: an engine with its place in the task list and the
// thread that runs it.
class TFFmpeg : public TCustomFFmpeg {
 public:
  // Position in the owning list; -1 until added and after removal.
  int Index() const { return FIndex; }
  void SetIndex(int index) { FIndex = index; }
  // gettid() of the thread that runs the task; 0 until started.
  uint32_t ThreadId() const { return FThreadId; }
  void SetThreadId(uint32_t id) { FThreadId = id; }
  // Applies "name=value" lines through the option dispatcher.
  void ApplyExtOptions(const std::string& text);

 private:
  std::atomic<int> FIndex{-1};
  std::atomic<uint32_t> FThreadId{0};

  // Run bookkeeping of the owning component, guarded by its lock.
  friend class TCustomFFmpegVCL;
  bool FAwaitingTerminate = false;  // started (or being terminated); its terminate step not yet handled
  bool FCounted = false;            // its termination counts as finished in the current run
};

// The tasks in order; a task's index is its position.
class TFFmpegList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises std::out_of_range "List index out of bounds (i)" for a bad index.
  TFFmpeg& Item(int index) const { return *Shared(index); }
  std::shared_ptr<TFFmpeg> Shared(int index) const;
  // Appends, stores the position as the task's index and returns it.
  int Add(std::shared_ptr<TFFmpeg> task);
  // Frees item i (once nothing else holds it), removes it, renumbers the rest.
  void Delete(int index) { Extract(index); }
  // Removes item i, renumbers the rest and hands the task over (index -1).
  std::shared_ptr<TFFmpeg> Extract(int index);
  void Clear();
  // The first task whose thread is `threadId`, or null.
  TFFmpeg* FindByThreadId(uint32_t threadId) const;
  // The first task still running on `threadId` (not yet terminated), or null.
  TFFmpeg* FindRunningByThreadId(uint32_t threadId) const;
  const std::vector<std::shared_ptr<TFFmpeg>>& Items() const { return FItems; }

 private:
  void CheckIndex(int index) const;
  std::vector<std::shared_ptr<TFFmpeg>> FItems;
};

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
  // Adds an output to task `index` (a bad index raises std::out_of_range).
  // False with the reason in LastError; the task then keeps its other outputs.
  bool AddTaskOutput(int index, const std::string& fileName, TOutputOptions* options = nullptr);
  // Removes a task and renumbers the later ones. A running task is stopped;
  // it sends no more progress or terminate events.
  void RemoveTask(int index);
  // Removes every task, clears LastError, concurrency back to 0.
  void RemoveAllTasks();
  // Runs every task in the list, at most `maxConcurrent` at a time; 0 or less
  // runs them one after another on the main thread, through the scheduler.
  void StartTasks(int maxConcurrent);
  // Ends running tasks at their next check; never-started ones are
  // terminated from an auxiliary thread. Does not wait.
  void StopTasks();
  // Holds every task that runs on a worker thread at its next safe point;
  // tasks on the main thread are not affected.
  void PauseTasks();
  void ResumeTasks();

  const std::string& LastError() const { return FLastError; }
  int TaskCount() const;
  // The first video stream of the input that task `index` has opened, as
  // the probe describes a file's, so that a source is opened only once
  // (pipes can be read only once). False, info at its initial values, when
  // the input has no video or the task has been started. A bad index raises
  // std::out_of_range.
  bool TaskInputVideoInfo(int index, TProbeVideoInfo& info);
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

  // Assign handlers while no task runs. Hooks are called without the lock.
  // What a handler throws never leaves the component: from OnLog and
  // OnTerminate it becomes a log line "Error occurs OnTerminate: ...", from
  // OnProgress the error that ends the task, from a hook the engine's
  // "Error occurs OnBeforeHook: ..." note.
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

  // Written on the main thread only.
  std::string FLastError;
  TAVProbe FProbe;
  TMainThreadScheduler* FScheduler;
  bool FShutDown = false;

  // Settings: written on the main thread, read when a task starts.
  std::atomic<TLogLevel> FLogLevel{TLogLevel::llInfo};
  std::atomic<int> FProgressInterval{500};  // ms
  std::atomic<TConvertPriority> FThreadPriority{TConvertPriority::tpNormal};

  // Everything below is guarded by FLock. Log, progress and terminate events
  // are raised under it; stop, pause and resume hold it.
  mutable TComponentLock FLock;
  std::condition_variable_any FIdle;  // FActive dropped
  TFFmpegList FTasks;
  // Removed tasks whose thread has not yet finished; freed outside the lock.
  std::vector<std::shared_ptr<TFFmpeg>> FRetired;
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
  using TCustomFFmpegVCL::SetThreadPriority;
  using TCustomFFmpegVCL::ThreadPriority;
  std::string Version() const { return "2.0b"; }
  using TCustomFFmpegVCL::OnBeforeHook;
  using TCustomFFmpegVCL::OnCustomHook;
  using TCustomFFmpegVCL::OnLog;
  using TCustomFFmpegVCL::OnProgress;
  using TCustomFFmpegVCL::OnTerminate;
};

}  // namespace fennick
