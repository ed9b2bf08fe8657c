// Profile mode: every FILE converted one after the other with the chosen
// profile, as the window's queue does, or (-j N) up to N at once through the
// component's concurrency. The component raises its events on
// the task's worker thread; the main thread waits for the end of each task
// and turns Ctrl-C or SIGTERM into a stop.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "jobs/job_builder.h"
#include "jobs/row_texts.h"
#include "cli/commands.h"
#include "cli/file_results.h"
#include "cli/format_choice.h"
#include "cli/interrupt.h"
#include "cli/json_output.h"
#include "cli/progress_bar.h"
#include "component/AVProbe.h"
#include "component/FFmpegVCL.h"
#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"

namespace fennick::cli {

namespace {

std::string QuotedList(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "\"" : ", \"") + item + "\"";
  return text;
}

// A "progress" event of file `index`; what is not known (negative) is null.
TJsonObject ProgressEvent(int index, int frame, int fps, int currentMs, float quality, float bitRate, int64_t size,
                          int totalMs) {
  TJsonObject json;
  json.Add("event", "progress").Add("index", index);
  const auto count = [&json](const char* key, double value, bool known) {
    if (known)
      json.Add(key, value);
    else
      json.AddNull(key);
  };
  count("frame", frame, frame >= 0);
  count("fps", fps, fps >= 0);
  json.Add("time_ms", currentMs);
  count("quality", quality, quality >= 0);
  json.Add("bitrate_kbps", static_cast<double>(bitRate)).Add("size", size);
  count("total_ms", totalMs, totalMs > 0);
  return json;
}

// Chooses the format (as -f names it, MP4 without -f); EUsageError for what
// the catalogue does not offer.
std::string ChooseFormat(const std::string& name, TProfileControls& controls) {
  FillOutputFormatList(controls.ComboOutputFormat);
  const std::string format = ResolveOutputFormat(name.empty() ? DefaultOutputFormat : name);
  if (!ChooseOutputFormat(controls, format)) throw EUsageError("unknown output format \"" + format + "\"");
  return format;
}

// The format, the --set items and --aspect; EUsageError for what the
// profile does not offer.
void ChooseSettings(const TCliArguments& arguments, TProfileControls& controls) {
  const std::string format = ChooseFormat(arguments.FormatName, controls);
  for (const auto& [name, item] : arguments.Settings) {
    TSettingsControl* control = SettingsControlByName(controls, name);
    if (!control) throw EUsageError("--set: unknown control \"" + name + "\"");
    if (const int match = FindSettingItem(*control, item); match >= 0) {
      control->SetItemIndex(match);
      continue;
    }
    if (control->Count() == 0)
      throw EUsageError("--set " + name + ": \"" + format + "\" offers no " + name + " choices");
    throw EUsageError("--set " + name + ": \"" + format + "\" does not offer \"" + item + "\"; valid items: " +
                      QuotedList(control->Items()));
  }
  controls.ComboAspectRatio.SelectText(arguments.Aspect);
}

// The run's state shared between the component's events (task thread) and
// the main thread; guarded by FLock.
class TConvertRun {
 public:
  TConvertRun(TFFmpegVCL& vcl, bool json)
      : FVcl(vcl),
        FJson(json),
        FBar(json                       ? TProgressStyle::None
             : isatty(STDERR_FILENO) ? TProgressStyle::Bar
                                     : TProgressStyle::Plain) {
    vcl.OnProgress = [this](int, int frame, int fps, int currentMs, float quality, float bitRate, int64_t size,
                            int totalMs) { Progress(frame, fps, currentMs, quality, bitRate, size, totalMs); };
    vcl.OnTerminate = [this](int index, bool finished, bool exception, const std::string& message) {
      Terminate(index, finished, exception, message);
    };
    vcl.OnLog = [this](int, TLogLevel level, const std::string& line) {
      if (level != TLogLevel::llError) return;
      std::lock_guard<std::mutex> lock(FLock);
      FLastLibraryError = line;
    };
  }
  ~TConvertRun() {
    FVcl.OnProgress = nullptr;
    FVcl.OnTerminate = nullptr;
    FVcl.OnLog = nullptr;
  }

  // Runs the one task in the component's list to its end; fills status and
  // message of result.
  void RunTask(int fileCount, TFileResult& result) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FFileIndex = result.Index;
      FAllDone = false;
      FStatus = "Fail";
      FMessage = "the task ended without reporting";
      FLastLibraryError.clear();
    }
    FBar.Start("[" + std::to_string(result.Index + 1) + "/" + std::to_string(fileCount) + "] " +
               std::filesystem::path(result.Source).filename().string());
    bool stopSent = false;
    try {
      FVcl.StartTasks(1);
    } catch (const std::exception& e) {
      FVcl.StopTasks();
      stopSent = true;
      std::lock_guard<std::mutex> lock(FLock);
      FMessage = e.what();
    }
    std::unique_lock<std::mutex> lock(FLock);
    while (!FAllDone) {
      FDone.wait_for(lock, std::chrono::milliseconds(50));
      if (!stopSent && Interrupted()) {
        lock.unlock();
        FVcl.StopTasks();
        stopSent = true;
        lock.lock();
      }
    }
    result.Status = FStatus;
    result.Message = FMessage;
    // The engine's message says which stage failed, the library's last error
    // line often says why.
    if (FStatus == "Fail" && !FLastLibraryError.empty() && FMessage.find(FLastLibraryError) == std::string::npos)
      result.Message += " (" + FLastLibraryError + ")";
    lock.unlock();
    FBar.Finish(result.Status == "Done");
  }

 private:
  void Progress(int frame, int fps, int currentMs, float quality, float bitRate, int64_t size, int totalMs) {
    int index;
    {
      std::lock_guard<std::mutex> lock(FLock);
      index = FFileIndex;
    }
    // The output may run a little past the expected duration.
    if (totalMs > 0) currentMs = std::min(currentMs, totalMs);
    if (!FJson) return FBar.Update(frame, currentMs, totalMs, size);
    WriteJsonLine(ProgressEvent(index, frame, fps, currentMs, quality, bitRate, size, totalMs));
  }

  void Terminate(int index, bool finished, bool exception, const std::string& message) {
    std::lock_guard<std::mutex> lock(FLock);
    if (index < 0) {
      FAllDone = true;
      FDone.notify_all();
      return;
    }
    if (exception) {
      FStatus = "Fail";
      FMessage = message.empty() ? "the conversion failed" : message;
    } else if (finished) {
      FStatus = "Done";
      FMessage.clear();
    } else {
      FStatus = "Abort";
      FMessage = "stopped";
    }
  }

  TFFmpegVCL& FVcl;
  const bool FJson;
  TProgressBar FBar;  // updated from the task thread, started and finished on the main thread

  std::mutex FLock;
  std::condition_variable FDone;
  int FFileIndex = 0;
  bool FAllDone = false;
  std::string FStatus, FMessage, FLastLibraryError;
};

// Adds the task of one file to the (empty or batch) task list: the input
// opened, the job built, the output added. Returns the task's index, or -1
// with the reason in result.Message.
int PrepareFile(const TCliArguments& arguments, const TProfileControls& controls, TFFmpegVCL& vcl,
                TRunFiles& runFiles, TJob& job, TFileResult& result) {
  job.Source = JobSource(result.Source);
  // The source is opened once, by the task: a pipe or a FIFO cannot be read
  // twice. The task's opened input gives what the list's probe would.
  FillJobInputOptions(job.Input, job.Source);
  // Ctrl-C while the source is opened (a pipe that sends nothing more) ends
  // the opening: the file was stopped, not failed.
  std::optional<TInterruptWatch> watch(std::in_place, [&vcl] { vcl.StopTasks(); });
  const int task = vcl.AddInputTask(job.Source, &job.Input);
  watch.reset();
  if (task < 0) {
    result.Message = vcl.LastError();
    if (Interrupted()) result.Status = "Abort";
    return -1;
  }
  TJobRequest request;
  request.Source = job.Source;
  TProbeVideoInfo video;
  request.VideoSizeText = vcl.TaskInputVideoInfo(task, video) ? VideoSizeText(video.Width, video.Height) : " ";
  request.DisplayAspect = video.DisplayAspect;
  request.OutputFolder = arguments.OutputFolder;
  request.Overwrite = arguments.Overwrite;
  request.ConversionVolume = AudioVolumeForPercent(arguments.VolumePercent);
  request.Run = &runFiles;
  try {
    BuildJob(request, controls, job);
  } catch (const std::exception& e) {
    // The window says "Fail to add file to list!" in a box; here the line
    // names the file already, so the reason stands alone.
    result.Message = e.what();
  }
  if (result.Message.empty() && !vcl.AddTaskOutput(task, job.OutputPath, &job.Output)) result.Message = vcl.LastError();
  if (!result.Message.empty()) {
    // The task added last: no other task is renumbered.
    vcl.RemoveTask(task);
    return -1;
  }
  return task;
}

// Converts one file; result has Index and Source set.
void ConvertFile(const TCliArguments& arguments, const TProfileControls& controls, TFFmpegVCL& vcl,
                 TConvertRun& run, TRunFiles& runFiles, TFileResult& result) {
  vcl.RemoveAllTasks();
  TJob job;
  const int task = PrepareFile(arguments, controls, vcl, runFiles, job, result);
  if (task >= 0 && Interrupted()) {
    result.Status = "Skip";
  } else if (task >= 0) {
    run.RunTask(static_cast<int>(arguments.Files.size()), result);
    vcl.RemoveAllTasks();  // closes the output before it is measured
    std::error_code ec;
    if (std::filesystem::exists(job.OutputPath, ec)) {
      result.Output = job.OutputPath;
      runFiles.AddOutput(job.OutputPath);
    }
  }
  vcl.RemoveAllTasks();
  ReleaseOutputName(job);
  std::error_code ec;
  if (!result.Output.empty() && !std::filesystem::exists(result.Output, ec)) result.Output.clear();
}

// Size and duration of the written output, as the probe reads it.
void MeasureOutput(TAVProbe& probe, TFileResult& result) {
  if (result.Output.empty()) return;
  std::error_code ec;
  const auto size = std::filesystem::file_size(result.Output, ec);
  if (!ec) result.OutputSize = static_cast<int64_t>(size);
  try {
    if (result.Status == "Fail" || !probe.LoadFile(result.Output, "")) return;
    TProbeFileInfo info;
    probe.GetFileInfo(info);
    if (info.Duration >= 0) result.OutputDurationMs = info.Duration / 1000;
    probe.CloseFile();
  } catch (const std::exception&) {
  }
}

// The finished file's reason for people, its measures and its line.
void ReportFile(TAVProbe& probe, bool json, TFileResult& result) {
  if (result.Status == "Skip") result.Message = "not started: the run was stopped";
  if (result.Status == "Fail" && result.Message.empty()) result.Message = "the conversion failed";
  result.Message = ReasonForPeople(result.Message);
  MeasureOutput(probe, result);
  // Each file's result as soon as it ends.
  if (json) {
    WriteJsonLine(DoneEvent(result));
  } else {
    std::cout << ResultLine(result) << std::endl;
  }
}

// -j N above 1: every file's task goes into the component's list, which runs
// up to N at a time. The events come on the tasks' threads; the main thread
// reports each file as its task ends and turns Ctrl-C or SIGTERM into a stop
// of them all.
class TBatchRun {
 public:
  TBatchRun(TFFmpegVCL& vcl, bool json) : FVcl(vcl), FJson(json) {
    vcl.OnProgress = [this](int task, int frame, int fps, int currentMs, float quality, float bitRate, int64_t size,
                            int totalMs) { Progress(task, frame, fps, currentMs, quality, bitRate, size, totalMs); };
    vcl.OnTerminate = [this](int task, bool finished, bool exception, const std::string& message) {
      Terminate(task, finished, exception, message);
    };
    vcl.OnLog = [this](int task, TLogLevel level, const std::string& line) {
      if (level != TLogLevel::llError) return;
      std::lock_guard<std::mutex> lock(FLock);
      if (task >= 0 && task < static_cast<int>(FTasks.size())) FTasks[task].LastLibraryError = line;
    };
  }
  ~TBatchRun() {
    FVcl.OnProgress = nullptr;
    FVcl.OnTerminate = nullptr;
    FVcl.OnLog = nullptr;
  }

  // Task `task` (the next in the list) converts file `fileIndex`.
  void AddTask(int task, int fileIndex) {
    std::lock_guard<std::mutex> lock(FLock);
    if (static_cast<int>(FTasks.size()) <= task) FTasks.resize(task + 1);
    FTasks[task].FileIndex = fileIndex;
  }

  // Runs the tasks, `jobs` at a time; `ended` is called on this thread with
  // each task's index and its result's status and message, as it ends.
  void Run(int jobs, const std::function<void(int task, const std::string& status, const std::string& message)>& ended) {
    bool stopSent = false;
    try {
      FVcl.StartTasks(jobs);
    } catch (const std::exception& e) {
      FVcl.StopTasks();
      stopSent = true;
      std::lock_guard<std::mutex> lock(FLock);
      FStartError = e.what();
    }
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
      while (!FEnded.empty()) {
        const int task = FEnded.front();
        FEnded.erase(FEnded.begin());
        TTaskState& state = FTasks[task];
        std::string message = state.Message;
        if (state.Status == "Fail" && message.empty()) message = FStartError;
        // The engine's message says which stage failed, the library's last
        // error line often says why.
        if (state.Status == "Fail" && !state.LastLibraryError.empty() &&
            message.find(state.LastLibraryError) == std::string::npos)
          message += " (" + state.LastLibraryError + ")";
        const std::string status = state.Status;
        lock.unlock();
        ended(task, status, message);
        lock.lock();
      }
      if (FAllDone) break;
      FDone.wait_for(lock, std::chrono::milliseconds(50));
      if (!stopSent && Interrupted()) {
        lock.unlock();
        FVcl.StopTasks();
        stopSent = true;
        lock.lock();
      }
    }
  }

 private:
  struct TTaskState {
    int FileIndex = -1;
    std::string Status = "Fail", Message = "the task ended without reporting", LastLibraryError;
  };

  void Progress(int task, int frame, int fps, int currentMs, float quality, float bitRate, int64_t size,
                int totalMs) {
    if (!FJson) return;
    int index;
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (task < 0 || task >= static_cast<int>(FTasks.size())) return;
      index = FTasks[task].FileIndex;
    }
    if (totalMs > 0) currentMs = std::min(currentMs, totalMs);
    WriteJsonLine(ProgressEvent(index, frame, fps, currentMs, quality, bitRate, size, totalMs));
  }

  // Under the component's lock, on the thread where the task ended.
  void Terminate(int task, bool finished, bool exception, const std::string& message) {
    const bool started = task >= 0 && FVcl.TaskStarted(task);
    std::lock_guard<std::mutex> lock(FLock);
    if (task < 0) {
      FAllDone = true;
      FDone.notify_all();
      return;
    }
    if (task >= static_cast<int>(FTasks.size())) return;
    TTaskState& state = FTasks[task];
    if (exception) {
      state.Status = "Fail";
      state.Message = message.empty() ? "the conversion failed" : message;
    } else if (finished) {
      state.Status = "Done";
      state.Message.clear();
    } else {
      state.Status = started ? "Abort" : "Skip";
      state.Message = started ? "stopped" : "";
    }
    FEnded.push_back(task);
    FDone.notify_all();
  }

  TFFmpegVCL& FVcl;
  const bool FJson;
  std::mutex FLock;
  std::condition_variable FDone;
  std::vector<TTaskState> FTasks;
  std::vector<int> FEnded;  // tasks ended and not yet reported, in order
  bool FAllDone = false;
  std::string FStartError;
};

// Converts the files with -j N above 1; returns whether a file failed.
bool ConvertBatch(const TCliArguments& arguments, const TProfileControls& controls, TFFmpegVCL& vcl,
                  TRunFiles& runFiles) {
  const size_t count = arguments.Files.size();
  std::vector<TJob> jobs(count);
  std::vector<TFileResult> results(count);
  std::vector<int> taskFile;  // task index -> file index
  bool failed = false;
  TBatchRun batch(vcl, arguments.Json);
  const auto finish = [&](TFileResult& result) {
    ReportFile(vcl.Probe(), arguments.Json, result);
    failed = failed || result.Status == "Fail";
  };
  for (size_t i = 0; i < count; ++i) {
    TFileResult& result = results[i];
    result.Index = static_cast<int>(i);
    result.Source = arguments.Files[i];
    if (Interrupted()) continue;  // reported with the tasks' ends below
    const int task = PrepareFile(arguments, controls, vcl, runFiles, jobs[i], result);
    if (task < 0) {
      ReleaseOutputName(jobs[i]);
      finish(result);
      result.Status.clear();  // reported
      continue;
    }
    batch.AddTask(task, static_cast<int>(i));
    taskFile.push_back(static_cast<int>(i));
    result.Status = "Skip";  // until its task ends
  }
  if (!taskFile.empty() && !Interrupted()) {
    batch.Run(arguments.Jobs, [&](int task, const std::string& status, const std::string& message) {
      TFileResult& result = results[taskFile.at(task)];
      result.Status = status;
      result.Message = message;
      // A Done or stopped task has written its trailer and closed its
      // output; a failed one's is removed with the task.
      std::error_code ec;
      const TJob& job = jobs[result.Index];
      if (status != "Fail" && status != "Skip" && std::filesystem::exists(job.OutputPath, ec)) {
        result.Output = job.OutputPath;
        runFiles.AddOutput(job.OutputPath);
      }
      finish(result);
      result.Status.clear();
    });
  }
  vcl.RemoveAllTasks();
  for (size_t i = 0; i < count; ++i) {
    ReleaseOutputName(jobs[i]);
    // Files the stop came before.
    if (results[i].Status.empty()) continue;
    results[i].Status = "Skip";
    finish(results[i]);
  }
  return failed;
}

}  // namespace

int ListSettingsCommand(const TCliArguments& arguments) {
  TProfileControls controls;
  std::cout << ChooseFormat(arguments.FormatName, controls) << "  (* the default)\n";
  for (const std::string& name : SettingNames()) {
    const TSettingsControl& control = *SettingsControlByName(controls, name);
    std::cout << name << ":" << (control.Count() == 0 ? " none offered" : "") << "\n";
    for (int i = 0; i < control.Count(); ++i)
      std::cout << (i == control.ItemIndex() ? "  * " : "    ") << control.Items()[i] << "\n";
  }
  std::cout.flush();
  return ExitOk;
}

int ConvertCommand(const TCliArguments& arguments) {
  TProfileControls controls;
  ChooseSettings(arguments, controls);
  std::error_code ec;
  const auto folder = std::filesystem::status(arguments.OutputFolder, ec);
  const std::string folderName = "the output folder \"" + arguments.OutputFolder + "\"";
  if (folder.type() == std::filesystem::file_type::not_found) throw EUsageError(folderName + " does not exist");
  if (ec) throw EUsageError(folderName + " cannot be used: " + ec.message());
  if (folder.type() != std::filesystem::file_type::directory) throw EUsageError(folderName + " is not a folder");

  TFFmpegVCL vcl;
  if (!LoadCodecs(vcl)) return ExitFailed;
  // No output of this run replaces one of its sources.
  TRunFiles runFiles;
  for (const std::string& file : arguments.Files) runFiles.AddSource(JobSource(file));
  vcl.SetThreadCount(CodecThreads(arguments, std::thread::hardware_concurrency()));
  bool failed = false;
  if (arguments.Jobs > 1 && arguments.Files.size() > 1) {
    failed = ConvertBatch(arguments, controls, vcl, runFiles);
  } else {
    TConvertRun run(vcl, arguments.Json);
    for (size_t i = 0; i < arguments.Files.size(); ++i) {
      TFileResult result;
      result.Index = static_cast<int>(i);
      result.Source = arguments.Files[i];
      if (Interrupted())
        result.Status = "Skip";
      else
        ConvertFile(arguments, controls, vcl, run, runFiles, result);
      ReportFile(vcl.Probe(), arguments.Json, result);
      failed = failed || result.Status == "Fail";
    }
    vcl.RemoveAllTasks();
  }
  if (Interrupted()) return ExitSignalBase + InterruptSignal();
  return failed ? ExitFailed : ExitOk;
}

}  // namespace fennick::cli
