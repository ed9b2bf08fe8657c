#include "jobs/conversion_run.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <thread>

#include "jobs/row_texts.h"
#include "util/output_reservation.h"

namespace fennick {

namespace {

std::string FileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

// Shared by the run and the component's handlers: the handlers run on the
// tasks' threads and may outlive the run; what they hand over reaches the
// run on the owner's thread only while it lives.
struct TConversionRun::TBridge {
  TFFmpegVCL* Component = nullptr;
  TExecutor Executor;
  TConversionRun* Run = nullptr;  // owner's thread only; null once the run is gone

  void Post(const std::shared_ptr<TBridge>& self, std::function<void(TConversionRun&)> work) const {
    Executor([self, work = std::move(work)] {
      if (self->Run) work(*self->Run);
    });
  }
};

std::optional<int> TJobProgress::Percent() const {
  if (TotalMs <= 0) return std::nullopt;
  const int64_t percent = static_cast<int64_t>(CurrentMs) * 100 / TotalMs;
  return static_cast<int>(std::clamp<int64_t>(percent, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int SharedCodecThreads(int asked, int concurrency, size_t jobs, unsigned cores) {
  if (asked >= 0) return asked;
  if (concurrency <= 1 || jobs <= 1) return 0;
  return std::max(1, static_cast<int>(cores) / concurrency);
}

TJobStatus JobStatusOfEnd(bool started, bool finished, bool exception) {
  if (exception) return TJobStatus::Failed;
  if (!started) return TJobStatus::Skipped;
  return finished ? TJobStatus::Done : TJobStatus::Stopped;
}

TConversionRun::TConversionRun(TFFmpegVCL& component, TJobQueue& queue, TExecutor executor)
    : FComponent(component), FQueue(queue), FBridge(std::make_shared<TBridge>()) {
  FBridge->Component = &component;
  FBridge->Executor = std::move(executor);
  FBridge->Run = this;
  // The handlers run under the component's lock, where a task's index is
  // current: each reads its task's tag there and hands the event over.
  const std::shared_ptr<TBridge> bridge = FBridge;
  component.OnProgress = [bridge](int index, int frame, int fps, int currentMs, float quality, float bitRate,
                                  int64_t size, int totalMs) {
    if (index < 0) return;
    const uint64_t tag = bridge->Component->TaskTag(index);
    const TJobProgress progress{frame, fps, currentMs, totalMs, quality, bitRate, size};
    bridge->Post(bridge, [tag, progress](TConversionRun& run) { run.JobProgressed(tag, progress); });
  };
  component.OnTerminate = [bridge](int index, bool finished, bool exception, const std::string& message) {
    if (index < 0) return;  // the component's own "all done": the run keeps its own count
    const uint64_t tag = bridge->Component->TaskTag(index);
    const bool started = bridge->Component->TaskStarted(index);
    bridge->Post(bridge, [=](TConversionRun& run) { run.JobTerminated(tag, started, finished, exception, message); });
  };
  component.OnLog = [bridge](int index, TLogLevel level, const std::string& line) {
    if (index < 0) return;
    const uint64_t tag = bridge->Component->TaskTag(index);
    const bool error = level == TLogLevel::llError;
    bridge->Post(bridge, [tag, error, line](TConversionRun& run) { run.JobLogged(tag, error, line); });
  };
}

TConversionRun::~TConversionRun() {
  FBridge->Run = nullptr;
  if (!FRunning.empty()) FComponent.StopTasks();
}

void TConversionRun::Start(const TRunOptions& options) {
  FOptions = options;
  FOptions.Concurrency = std::max(1, FOptions.Concurrency);
  FFiles = TRunFiles();
  FRunJobs.clear();
  FStoppedOutputs.clear();
  for (int i = 0; i < FQueue.Count(); ++i) {
    TQueuedJob& job = FQueue.At(i);
    FFiles.AddSource(JobSource(job.Source));
    if (!job.Checked) continue;
    FRunJobs.push_back(job.Id);
    // What its own stopped conversion left, it may replace.
    if (job.Status == TJobStatus::Stopped && !job.OutputPath.empty()) FStoppedOutputs[job.Id] = job.OutputPath;
    job.Status = TJobStatus::Waiting;
    job.OutputPath.clear();
    job.Reason.clear();
    job.OutputSize = job.OutputDurationMs = -1;
  }
  FComponent.SetThreadCount(SharedCodecThreads(FOptions.CodecThreads, FOptions.Concurrency, FRunJobs.size(),
                                               std::thread::hardware_concurrency()));
  // What a previous run left running has been removed from the component
  // by now, or its end comes under a tag this run does not know.
  FRunning.clear();
  FDone = FFailed = FStopped = 0;
  FEndedSize = 0;
  FStartTime = std::chrono::steady_clock::now();
  FCursorId = NoJob;
  FCursorIndex = -1;
  FExhausted = false;
  FEndsAfterCurrent = false;
  FStopping = false;
  FStopAsked = false;
  FPaused = false;
  FActive = true;
  FillSlots();
}

TConversionRun::TNextJob TConversionRun::StartNextJob() {
  if (!FActive || FExhausted || FStopAsked) return TNextJob::NoneLeft;
  // After the job visited last, wherever it is now; when it has been
  // removed, the one that took its place comes next.
  int from = FCursorIndex;
  if (FCursorId != NoJob) {
    const int at = FQueue.IndexOf(FCursorId);
    from = at >= 0 ? at : FCursorIndex - 1;
  }
  const int last = FQueue.Count() - 1;
  int index = from + 1;
  if (index > last) {
    FExhausted = true;
    CheckRunEnded();
    return TNextJob::NoneLeft;
  }
  while (index < last && !FQueue.At(index).Checked) ++index;
  FCursorIndex = index;
  FCursorId = FQueue.At(index).Id;
  if (index == last) FExhausted = true;
  if (!FQueue.At(index).Checked) {
    CheckRunEnded();
    return TNextJob::NoneLeft;
  }
  return Visit(*FQueue.Find(FCursorId));
}

TConversionRun::TNextJob TConversionRun::Visit(TQueuedJob& job) {
  const TJobId id = job.Id;
  TRunningJob running;
  running.Id = id;
  int task = -1;
  std::string reason;
  bool buildError = false;
  job.Status = TJobStatus::Running;
  const bool added = BuildAndAdd(job, running, task, reason, buildError);
  const uint64_t tag = FNextTag++;
  if (added) {
    FComponent.SetTaskTag(task, tag);
    const std::string output = running.Built.OutputPath;
    FRunning.emplace(tag, std::move(running));
    try {
      FComponent.StartTasks(1);
      TQueuedJob* started = FQueue.Find(id);
      started->OutputPath = output;
      if (FListener) FListener->JobStarted(*started);
      return TNextJob::Started;
    } catch (const std::exception& e) {
      // The component cannot run jobs: this one fails and the run ends.
      FComponent.StopTasks();
      reason = e.what();
      running = std::move(FRunning.at(tag));
      FRunning.erase(tag);
      task = FComponent.TaskIndexOfTag(tag);
      FExhausted = true;
    }
  }
  if (task >= 0) FComponent.RemoveTask(task);
  ReleaseOutputName(running.Built);
  TQueuedJob* failed = FQueue.Find(id);
  // An input whose opening a stop ended was stopped, not failed.
  failed->Status = FStopAsked && !buildError ? TJobStatus::Stopped : TJobStatus::Failed;
  failed->Reason = reason;
  EndJob(*failed, true, buildError);
  CheckRunEnded();
  return TNextJob::NotAdded;
}

bool TConversionRun::BuildAndAdd(const TQueuedJob& job, TRunningJob& running, int& task, std::string& reason,
                                 bool& buildError) {
  TJob& built = running.Built;
  built.Source = JobSource(job.Source);
  // The source is opened once, by the task: a pipe cannot be read twice.
  FillJobInputOptions(built.Input, built.Source);
  task = FComponent.AddInputTask(built.Source, &built.Input);
  if (task < 0) {
    reason = FComponent.LastError();
    return false;
  }
  TJobRequest request;
  request.Source = built.Source;
  request.VideoSizeText = job.VideoSizeText;
  request.DisplayAspect = job.DisplayAspect;
  // What the probe did not tell, the opened input does; the tracks always
  // come from there.
  TProbeVideoInfo video;
  TProbeStreamList streams;
  if (job.DisplayAspect <= 0 && FComponent.TaskInputVideoInfo(task, video)) {
    request.VideoSizeText = VideoSizeText(video.Width, video.Height);
    request.DisplayAspect = video.DisplayAspect;
  } else if (request.VideoSizeText.empty()) {
    request.VideoSizeText = " ";
  }
  FComponent.TaskInputStreams(task, streams);
  request.AudioTracks = streams.Audio;
  request.AudioTrack = job.AudioTrack;
  request.Subtitles = FOptions.Subtitles;
  request.SubtitleFile = job.SubtitleFile;
  const TJobSettings& settings = job.Settings ? *job.Settings : FOptions.Settings;
  request.OutputFolder = FOptions.OutputFolder;
  request.Overwrite = FOptions.Overwrite;
  request.KeepMetadata = FOptions.KeepMetadata;
  request.NamePattern = FOptions.NamePattern;
  request.RowNumber = FQueue.IndexOf(job.Id) + 1;
  if (FOptions.KeepFolders) request.Subfolder = job.Subfolder;
  if (const auto stopped = FStoppedOutputs.find(job.Id); stopped != FStoppedOutputs.end())
    request.StoppedOutput = stopped->second;
  request.Run = &FFiles;
  try {
    BuildJob(request, settings, built);
  } catch (const EOutputNameError& e) {
    // No output can be made: the job fails like one whose output cannot be
    // added.
    reason = e.what();
    return false;
  } catch (const EStreamChoiceError& e) {
    // The source has no such track: as a source that cannot be read.
    reason = e.what();
    return false;
  } catch (const std::exception& e) {
    reason = e.what();
    buildError = true;
    return false;
  }
  // Subtitle files follow the source as inputs 1, 2 ...
  for (size_t i = 0; i < built.SubtitleInputs.size(); ++i) {
    if (!AddSubtitleInput(task, static_cast<int>(i) + 1, built.SubtitleInputs[i], !job.SubtitleFile.empty(), reason))
      return false;
  }
  if (!FComponent.AddTaskOutput(task, built.OutputPath, &built.Output, built.OutputReservation)) {
    reason = FComponent.LastError();
    return false;
  }
  return true;
}

bool TConversionRun::AddSubtitleInput(int task, int input, const TSubtitleFile& subtitles, bool given,
                                      std::string& reason) {
  // A file named by the user is read like the files beside the source, which
  // are regular files: one that is not could hold the run up waiting.
  std::error_code ec;
  if (given && !std::filesystem::is_regular_file(subtitles.Path, ec)) {
    reason = subtitles.Path + ": " + (std::filesystem::exists(subtitles.Path, ec) ? "not a regular file"
                                                                                   : "no such file or directory");
    return false;
  }
  TInputOptions options;
  FillJobInputOptions(options, subtitles.Path);
  options.StreamLanguage = subtitles.Language;
  if (!FComponent.AddTaskInput(task, subtitles.Path, &options)) {
    reason = FComponent.LastError();
    return false;
  }
  TProbeStreamList streams;
  FComponent.TaskInputStreams(task, streams, input);
  if (streams.Subtitles.empty()) {
    reason = subtitles.Path + ": holds no subtitles";
    return false;
  }
  return true;
}

void TConversionRun::FillSlots() {
  while (FActive && !FPaused && !FExhausted && !FStopAsked && RunningCount() < FOptions.Concurrency) StartNextJob();
  CheckRunEnded();
}

void TConversionRun::JobProgressed(uint64_t tag, const TJobProgress& progress) {
  const auto it = FRunning.find(tag);
  if (it == FRunning.end()) return;
  it->second.Percent = std::clamp(progress.Percent().value_or(0), 0, 100);
  it->second.Size = progress.Size;
  if (progress.TotalMs > 0) it->second.TotalMs = progress.TotalMs;
  const TQueuedJob* job = FQueue.Find(it->second.Id);
  if (job && FListener) FListener->JobProgress(*job, progress);
}

void TConversionRun::JobLogged(uint64_t tag, bool error, const std::string& line) {
  const auto it = FRunning.find(tag);
  if (it == FRunning.end()) return;
  if (error) it->second.LastLibraryError = line;
  std::deque<std::string>& log = it->second.Log;
  log.push_back(line);
  if (log.size() > kMaxJobLogLines) log.pop_front();
}

const std::deque<std::string>* TConversionRun::JobLog(TJobId id) const {
  const auto it = FJobLogs.find(id);
  return it == FJobLogs.end() ? nullptr : &it->second;
}

void TConversionRun::JobTerminated(uint64_t tag, bool started, bool finished, bool exception,
                                   const std::string& message) {
  const auto it = FRunning.find(tag);
  if (it == FRunning.end()) return;
  TRunningJob running = std::move(it->second);
  FRunning.erase(it);
  FJobLogs[running.Id] = std::move(running.Log);
  // The task's work is over: it goes, and the job's hold on its name with
  // it. A name taken while the job wrote sent the file to a "-N" name.
  if (const int index = FComponent.TaskIndexOfTag(tag); index >= 0) FComponent.RemoveTask(index);
  if (running.Built.OutputReservation && !running.Built.OutputReservation->RenamedTo().empty())
    running.Built.OutputPath = running.Built.OutputReservation->RenamedTo();
  ReleaseOutputName(running.Built);

  TQueuedJob removed;  // a job taken out of the queue meanwhile still counts
  removed.Id = running.Id;
  TQueuedJob* job = FQueue.Find(running.Id);
  if (!job) job = &removed;
  job->Status = JobStatusOfEnd(started, finished, exception);
  job->Reason.clear();
  job->OutputPath.clear();
  if (job->Status == TJobStatus::Failed) {
    job->Reason = message.empty() ? "the conversion failed" : message;
    // The engine's message says which stage failed, the library's last
    // error line often says why.
    const std::string& library = running.LastLibraryError;
    if (!library.empty() && job->Reason.find(library) == std::string::npos) job->Reason += " (" + library + ")";
  }
  // A finished or stopped conversion has put its complete output in place.
  std::error_code ec;
  if ((job->Status == TJobStatus::Done || job->Status == TJobStatus::Stopped) &&
      std::filesystem::exists(running.Built.OutputPath, ec)) {
    job->OutputPath = running.Built.OutputPath;
    FFiles.AddOutput(job->OutputPath);
    MeasureOutput(*job);
    // A conversion that ends normally well before the source's end (a
    // truncated file): done, but the user is told.
    const int64_t missing = running.TotalMs - job->OutputDurationMs;
    if (job->Status == TJobStatus::Done && running.TotalMs > 0 && job->OutputDurationMs >= 0 && missing > 1000 &&
        missing * 20 > running.TotalMs)
      job->Reason = "the source ended early, at " + DurationText(job->OutputDurationMs * 1000) + " of " +
                    DurationText(int64_t{running.TotalMs} * 1000);
  }
  FEndedSize += job->OutputSize >= 0 ? job->OutputSize : running.Size;
  // A row's check means "still to convert": a converted one is not again.
  if (job->Status == TJobStatus::Done) job->Checked = false;
  EndJob(*job, false, false);
  FillSlots();
  CheckRunEnded();
}

void TConversionRun::MeasureOutput(TQueuedJob& job) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(job.OutputPath, ec);
  job.OutputSize = ec ? -1 : static_cast<int64_t>(size);
  job.OutputDurationMs = -1;
  TAVProbe& probe = FComponent.Probe();
  try {
    if (!probe.LoadFile(job.OutputPath, "")) return;
    TProbeFileInfo info;
    probe.GetFileInfo(info);
    if (info.Duration >= 0) job.OutputDurationMs = info.Duration / 1000;
    probe.CloseFile();
  } catch (const std::exception&) {
  }
}

void TConversionRun::EndJob(TQueuedJob& job, bool notAdded, bool buildError) {
  switch (job.Status) {
    case TJobStatus::Done: ++FDone; break;
    case TJobStatus::Failed: ++FFailed; break;
    case TJobStatus::Stopped: ++FStopped; break;
    default: break;
  }
  if (FListener) FListener->JobEnded(job, notAdded, buildError);
}

void TConversionRun::CheckRunEnded() {
  if (!FActive || FPaused || !FExhausted || !FRunning.empty()) return;
  FActive = false;
  if (FListener) FListener->RunEnded();
}

void TConversionRun::Stop() {
  if (!FActive || FStopping) return;
  FStopping = true;
  FPaused = false;
  FStopAsked = true;
  FExhausted = true;
  FComponent.StopTasks();
  // The checked jobs the run has not reached are skipped.
  const int from = FCursorId != NoJob && FQueue.IndexOf(FCursorId) >= 0 ? FQueue.IndexOf(FCursorId) : FCursorIndex;
  std::vector<TJobId> skipped;
  for (int i = std::max(from + 1, 0); i < FQueue.Count(); ++i)
    if (FQueue.At(i).Checked && FQueue.At(i).Status == TJobStatus::Waiting) skipped.push_back(FQueue.At(i).Id);
  for (const TJobId id : skipped) {
    TQueuedJob* job = FQueue.Find(id);
    if (!job) continue;
    job->Status = TJobStatus::Skipped;
    job->Reason = "not started: the run was stopped";
    EndJob(*job, false, false);
  }
  CheckRunEnded();
}

void TConversionRun::RequestStop() {
  if (FStopAsked.exchange(true)) return;
  FComponent.StopTasks();
  FBridge->Post(FBridge, [](TConversionRun& run) { run.Stop(); });
}

void TConversionRun::Pause() {
  FPaused = true;
  FComponent.PauseTasks();
}

void TConversionRun::Resume() {
  FPaused = false;
  FComponent.ResumeTasks();
  FillSlots();
}

void TConversionRun::StopAfterCurrent() {
  if (!FActive || FExhausted) return;
  FExhausted = true;
  FEndsAfterCurrent = true;
  if (FPaused) {
    FPaused = false;
    FComponent.ResumeTasks();
  }
  CheckRunEnded();
}

TRunSnapshot TConversionRun::Snapshot() const {
  TRunSnapshot snapshot;
  snapshot.Active = FActive;
  snapshot.Done = FDone;
  snapshot.Failed = FFailed;
  snapshot.Stopped = FStopped;
  snapshot.Running = RunningCount();
  snapshot.Jobs = snapshot.Current() + WaitingCount();
  snapshot.EndsAfterCurrent = FEndsAfterCurrent;
  snapshot.OverallPercent = OverallPercent();
  snapshot.OutputSize = FEndedSize;
  for (const auto& [tag, running] : FRunning) snapshot.OutputSize += running.Size;
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStartTime).count();
  snapshot.TimeLeft = ConversionPace(snapshot.OverallPercent * 1000, 100 * 1000, elapsed).Left;
  for (const TJobId id : FRunJobs) {
    const TQueuedJob* found = FQueue.Find(id);
    if (!found) continue;
    const TQueuedJob& job = *found;
    if (job.Status == TJobStatus::Failed) snapshot.FailedFiles.push_back({FileNameOf(job.Source), job.Reason});
    if (job.Status == TJobStatus::Done && !job.Reason.empty())
      snapshot.EndedEarly.push_back({FileNameOf(job.Source), job.Reason});
  }
  return snapshot;
}

int TConversionRun::WaitingCount() const {
  if (!FActive || FExhausted) return 0;
  int waiting = 0;
  const int from = FCursorId != NoJob && FQueue.IndexOf(FCursorId) >= 0 ? FQueue.IndexOf(FCursorId) : FCursorIndex;
  for (int i = std::max(from + 1, 0); i < FQueue.Count(); ++i) waiting += FQueue.At(i).Checked ? 1 : 0;
  return waiting;
}

int TConversionRun::OverallPercent() const {
  const int ended = FDone + FFailed + FStopped;
  const int64_t jobs = ended + RunningCount() + WaitingCount();
  int64_t done = static_cast<int64_t>(ended) * 100;
  for (const auto& [tag, running] : FRunning) done += running.Percent;
  return jobs == 0 ? 0 : static_cast<int>(done / jobs);
}

}  // namespace fennick
