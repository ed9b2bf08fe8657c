// Profile mode: every FILE converted one after the other with the chosen
// profile, as the window's queue does. The component raises its events on
// the task's worker thread; the main thread waits for the end of each task
// and turns Ctrl-C or SIGTERM into a stop.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <mutex>

#include "app/job_builder.h"
#include "app/row_texts.h"
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
    WriteJsonLine(json);
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

// Converts one file; result has Index and Source set.
void ConvertFile(const TCliArguments& arguments, const TProfileControls& controls, TFFmpegVCL& vcl,
                 TConvertRun& run, TRunFiles& runFiles, TFileResult& result) {
  vcl.RemoveAllTasks();
  TJob job;
  job.Source = JobSource(result.Source);
  // The source is opened once, by the task: a pipe or a FIFO cannot be read
  // twice. The task's opened input gives what the list's probe would.
  FillJobInputOptions(job.Input, job.Source);
  const int task = vcl.AddInputTask(job.Source, &job.Input);
  if (task < 0) {
    result.Message = vcl.LastError();
    return;
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
  } catch (const EOutputNameError& e) {
    result.Message = e.what();
  } catch (const std::exception& e) {
    result.Message = std::string("Fail to add file to list! ") + e.what();
  }
  if (result.Message.empty() && !vcl.AddTaskOutput(task, job.OutputPath, &job.Output)) result.Message = vcl.LastError();
  if (result.Message.empty() && Interrupted()) {
    result.Status = "Skip";
  } else if (result.Message.empty()) {
    run.RunTask(static_cast<int>(arguments.Files.size()), result);
    vcl.RemoveAllTasks();  // closes the output before it is measured
    std::error_code ec;
    if (std::filesystem::exists(job.OutputPath, ec)) {
      result.Output = job.OutputPath;
      runFiles.AddOutput(job.OutputPath);
    }
  }
  vcl.RemoveAllTasks();
  ReleaseUnwrittenOutput(job);
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
  if (!std::filesystem::is_directory(arguments.OutputFolder, ec))
    throw EUsageError("the output folder \"" + arguments.OutputFolder + "\" does not exist");

  TFFmpegVCL vcl;
  if (!LoadCodecs(vcl)) return ExitFailed;
  // No output of this run replaces one of its sources.
  TRunFiles runFiles;
  for (const std::string& file : arguments.Files) runFiles.AddSource(JobSource(file));
  bool failed = false;
  {
    TConvertRun run(vcl, arguments.Json);
    for (size_t i = 0; i < arguments.Files.size(); ++i) {
      TFileResult result;
      result.Index = static_cast<int>(i);
      result.Source = arguments.Files[i];
      if (Interrupted())
        result.Status = "Skip";
      else
        ConvertFile(arguments, controls, vcl, run, runFiles, result);
      if (result.Status == "Skip") result.Message = "not started: the run was stopped";
      if (result.Status == "Fail" && result.Message.empty()) result.Message = "the conversion failed";
      result.Message = ReasonForPeople(result.Message);
      MeasureOutput(vcl.Probe(), result);
      failed = failed || result.Status == "Fail";
      // Each file's result as soon as it ends.
      if (arguments.Json) {
        WriteJsonLine(DoneEvent(result));
      } else {
        std::cout << ResultLine(result) << std::endl;
      }
    }
    vcl.RemoveAllTasks();
  }
  if (Interrupted()) return ExitSignalBase + InterruptSignal();
  return failed ? ExitFailed : ExitOk;
}

}  // namespace fennick::cli
