// The conversion run: converts the checked jobs of a queue through the
// conversion component, in queue order, up to N at a time. Each job is
// built at its turn (its input opened, its output name chosen, its records
// filled), so a run of any length holds the files and memory of N
// conversions. The component's events, which come on its worker threads,
// are handed to the owner's thread through the executor the owner passes in;
// there the run maps them to job statuses, keeps the run's files and counts,
// and tells its listener. Both front ends drive this one run and only show
// what it tells them.
//
// Everything but RequestStop is called on the owner's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "component/FFmpegVCL.h"
#include "jobs/job_builder.h"
#include "jobs/job_queue.h"

namespace fennick {

// Runs work on the owner's thread, later, in the order it was handed over.
using TExecutor = std::function<void(std::function<void()>)>;

struct TRunOptions {
  std::string OutputFolder;
  bool Overwrite = false;
  // Jobs converting at once (at least 1).
  int Concurrency = 1;
  // The settings of jobs that have none of their own.
  TJobSettings Settings;
  // Every job's subtitles: kept where the output holds them, or left out.
  TSubtitleChoice Subtitles = TSubtitleChoice::Keep;
  // The sources' tags, chapters and covers go into the outputs.
  bool KeepMetadata = true;
  // The outputs' names (jobs/name_pattern.h; empty: the sources' names),
  // and whether a job's Subfolder is made again under the output folder.
  std::string NamePattern;
  bool KeepFolders = false;
  // The codec threads each conversion asks for; -1: what the machine offers,
  // shared among the conversions at once (SharedCodecThreads).
  int CodecThreads = -1;
};

// What one progress report of a running job says.
struct TJobProgress {
  int FrameNumber = -1;  // -1 without video
  int Fps = -1;
  int CurrentMs = 0;
  int TotalMs = -1;      // -1 or 0 when unknown
  float Quality = -1;
  float BitRateKbps = 0;
  int64_t Size = 0;      // bytes written so far
  // CurrentMs x 100 / TotalMs (not capped; nothing when the total is unknown).
  std::optional<int> Percent() const;
};

// A file the run's summary names, with why.
struct TRunNote {
  std::string File;  // the source's file name
  std::string Reason;
};

// The run as both front ends show it: they only format and translate it.
struct TRunSnapshot {
  bool Active = false;
  // Jobs ended so far, by how; jobs converting now; the run's jobs in all
  // (ended, converting and still to start).
  int Done = 0, Failed = 0, Stopped = 0;
  int Running = 0;
  int Jobs = 0;
  // "Converting Current of Jobs".
  int Current() const { return Done + Failed + Stopped + Running; }
  // Ended jobs count whole, converting ones by their own progress (0 to 100).
  int OverallPercent = 0;
  // What the run's outputs hold so far (bytes).
  int64_t OutputSize = 0;
  // The whole run's time left ("00:01:10"; "--:--:--" unknown).
  std::string TimeLeft;
  // The summary: the files that failed and those that ended early, with
  // their reasons, in queue order.
  std::vector<TRunNote> FailedFiles, EndedEarly;
  // The run ends (or ended) after the jobs that were converting when it was
  // asked to, before its last job.
  bool EndsAfterCurrent = false;
};

class IRunListener {
 public:
  virtual ~IRunListener() = default;
  // The job's conversion has started; its output path is chosen.
  virtual void JobStarted(const TQueuedJob& job) {}
  virtual void JobProgress(const TQueuedJob& job, const TJobProgress& progress) {}
  // The job has ended: Done, Failed, Stopped or Skipped, with its reason.
  // `notAdded` when it never ran (its input could not be opened, its job
  // not built or its output not added); `buildError` when building it
  // raised (a setting that cannot be read or taken).
  virtual void JobEnded(const TQueuedJob& job, bool notAdded, bool buildError) {}
  // No job runs and none will start: the run is over (completed or stopped).
  virtual void RunEnded() {}
};

class TConversionRun {
 public:
  TConversionRun(TFFmpegVCL& component, TJobQueue& queue, TExecutor executor);
  // Unbinds the component's handlers; a run still converting is stopped.
  ~TConversionRun();
  TConversionRun(const TConversionRun&) = delete;
  TConversionRun& operator=(const TConversionRun&) = delete;

  void SetListener(IRunListener* listener) { FListener = listener; }

  // Starts a run over the queue's checked jobs: their status, output and
  // reason are reset (a job that ends Done is unchecked: its check means
  // "still to convert"), the run's files are the queue's sources, the codec
  // threads are given to the component, and the first jobs start at once.
  // Each time a job ends the next one starts, up to Concurrency at a time,
  // in queue order; RunEnded comes when none is left (also during Start,
  // when no job could start).
  void Start(const TRunOptions& options);
  // Stops the running jobs (each ends Stopped, its output closed properly
  // and kept) and skips the checked jobs not started yet.
  void Stop();
  // From any thread (a signal's watcher): ends what the running jobs and an
  // input being opened are doing, and stops the run on the owner's thread.
  void RequestStop();
  // Pauses the running jobs; meanwhile no job starts and the run does not
  // end (a question about stopping is open). Resume goes on from there.
  void Pause();
  void Resume();
  bool Paused() const { return FPaused; }
  // The engine's lines of the job's last conversion in this session (the
  // latest kMaxJobLogLines), for its row's log; none when it has not run.
  const std::deque<std::string>* JobLog(TJobId id) const;
  static constexpr size_t kMaxJobLogLines = 1000;
  // No further job starts: the run ends once the jobs converting now have
  // ended (a pause is lifted so that they can). The checked jobs not reached
  // stay waiting, to be converted by the next run.
  void StopAfterCurrent();

  bool Active() const { return FActive; }
  int RunningCount() const { return static_cast<int>(FRunning.size()); }
  int DoneCount() const { return FDone; }
  int FailedCount() const { return FFailed; }
  int StoppedCount() const { return FStopped; }
  // The run's progress in percent (0 to 100): ended jobs count whole,
  // running ones by their own progress, waiting ones as 0.
  int OverallPercent() const;
  const TRunFiles& Files() const { return FFiles; }
  TRunSnapshot Snapshot() const;

 private:
  // A job handed to the component, by the tag its task carries: tags are
  // never reused, so an event that arrives late (its task removed, a new run
  // begun) finds nothing.
  struct TRunningJob {
    TJobId Id = NoJob;
    TJob Built;
    std::string LastLibraryError;
    std::deque<std::string> Log;  // the task's lines, the latest kMaxJobLogLines
    int Percent = 0;   // 0 to 100
    int TotalMs = -1;  // the source's duration as the task reports it
    int64_t Size = 0;  // bytes written so far
  };
  struct TBridge;
  enum class TNextJob { Started, NotAdded, NoneLeft };

  // Builds and starts the next checked job after the one visited last.
  TNextJob StartNextJob();
  TNextJob Visit(TQueuedJob& job);
  // Builds the job and adds its task (its index in `task`); the reason when
  // it cannot.
  bool BuildAndAdd(const TQueuedJob& job, TRunningJob& running, int& task, std::string& reason, bool& buildError);
  // Adds a subtitle file as input `input` of the task; the reason when it
  // cannot (`given`: named by the user rather than found beside the
  // source).
  bool AddSubtitleInput(int task, int input, const TSubtitleFile& subtitles, bool given, std::string& reason);
  void FillSlots();
  void JobProgressed(uint64_t tag, const TJobProgress& progress);
  void JobTerminated(uint64_t tag, bool started, bool finished, bool exception, const std::string& message);
  void JobLogged(uint64_t tag, bool error, const std::string& line);
  void EndJob(TQueuedJob& job, bool notAdded, bool buildError);
  // The run's checked jobs not visited yet.
  int WaitingCount() const;
  void MeasureOutput(TQueuedJob& job);
  void CheckRunEnded();

  TFFmpegVCL& FComponent;
  TJobQueue& FQueue;
  // What the component's handlers hold: they outlive the run (the component
  // keeps them), so they reach it only while it lives.
  std::shared_ptr<TBridge> FBridge;
  IRunListener* FListener = nullptr;

  TRunOptions FOptions;
  TRunFiles FFiles;
  std::vector<TJobId> FRunJobs;  // the jobs checked at Start, in queue order
  // The files the run's jobs wrote when they were last stopped.
  std::map<TJobId, std::string> FStoppedOutputs;
  bool FActive = false;
  bool FExhausted = false;  // no job is left to start
  bool FEndsAfterCurrent = false;
  std::map<TJobId, std::deque<std::string>> FJobLogs;
  bool FStopping = false;
  bool FPaused = false;
  std::atomic<bool> FStopAsked{false};
  std::map<uint64_t, TRunningJob> FRunning;
  uint64_t FNextTag = 1;
  TJobId FCursorId = NoJob;
  int FCursorIndex = -1;
  int FDone = 0, FFailed = 0, FStopped = 0;
  int64_t FEndedSize = 0;  // what the ended jobs' outputs hold
  std::chrono::steady_clock::time_point FStartTime;
};

// The codec threads of each conversion of a run: `asked` when given (0 lets
// the codec libraries choose for the machine); else 0 for conversions one at
// a time (or a single job), and the machine's `cores` shared among the
// `concurrency` conversions at once, at least 1 each.
int SharedCodecThreads(int asked, int concurrency, size_t jobs, unsigned cores);

// How a task's end reads as a job status: failed with an exception; skipped
// when a stop came before it started; done when it finished; else stopped.
TJobStatus JobStatusOfEnd(bool started, bool finished, bool exception);

}  // namespace fennick
