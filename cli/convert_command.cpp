// Profile mode: every FILE converted one after the other with the chosen
// profile, as the window's queue does. The component raises its events on
// the task's worker thread; the main thread waits for the end of each task
// and turns Ctrl-C into a stop.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>

#include "app/job_builder.h"
#include "app/row_texts.h"
#include "cli/commands.h"
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

struct TFileResult {
  std::string Source, Output, Status, Message;
};

// Blanks collapsed and trimmed, lower case: "8000  Hz" and "8000 hz" agree.
std::string Normalised(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string QuotedList(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "\"" : ", \"") + item + "\"";
  return text;
}

// Chooses the format and the --set items and --aspect; EUsageError for what
// the catalogue does not offer.
void ChooseSettings(const TCliArguments& arguments, TProfileControls& controls) {
  FillOutputFormatList(controls.ComboOutputFormat);
  const std::string format = arguments.FormatName.empty() ? OfferedOutputFormats().front() : arguments.FormatName;
  if (!ChooseOutputFormat(controls, format))
    throw EUsageError("unknown output format \"" + format + "\" (fennick-convert --list-formats shows the names)");
  for (const auto& [name, item] : arguments.Settings) {
    TSettingsControl* control = SettingsControlByName(controls, name);
    if (!control) throw EUsageError("--set: unknown control \"" + name + "\"");
    if (control->SelectText(item)) continue;
    int match = -1, matches = 0;
    for (int i = 0; i < control->Count(); ++i)
      if (Normalised(control->Items()[i]) == Normalised(item)) match = i, ++matches;
    if (matches == 1) {
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
  TConvertRun(TFFmpegVCL& vcl, bool json) : FVcl(vcl), FJson(json), FBar(!json && isatty(STDERR_FILENO)) {
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
  void RunTask(int fileIndex, int fileCount, TFileResult& result) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FFileIndex = fileIndex;
      FAllDone = false;
      FStatus = "Fail";
      FMessage = "the task ended without reporting";
      FLastLibraryError.clear();
    }
    FBar.Start("[" + std::to_string(fileIndex + 1) + "/" + std::to_string(fileCount) + "] " +
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
    FBar.Clear();
  }

 private:
  void Progress(int frame, int fps, int currentMs, float quality, float bitRate, int64_t size, int totalMs) {
    int index;
    {
      std::lock_guard<std::mutex> lock(FLock);
      index = FFileIndex;
    }
    if (FJson)
      WriteJsonLine(TJsonObject()
                        .Add("event", "progress")
                        .Add("index", index)
                        .Add("frame", frame)
                        .Add("fps", fps)
                        .Add("time_ms", currentMs)
                        .Add("quality", static_cast<double>(quality))
                        .Add("bitrate_kbps", static_cast<double>(bitRate))
                        .Add("size", size)
                        .Add("total_ms", totalMs));
    else
      FBar.Update(frame, currentMs, totalMs, size);
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
  TProgressBar FBar;  // drawn from the task thread, started and cleared on the main thread

  std::mutex FLock;
  std::condition_variable FDone;
  int FFileIndex = 0;
  bool FAllDone = false;
  std::string FStatus, FMessage, FLastLibraryError;
};

// The row texts the list would show (the job needs the "Video Size" cell and
// the display aspect); all empty when the probe fails.
TRowTexts ProbedRow(TAVProbe& probe, const std::string& file) {
  try {
    if (!probe.LoadFile(file, "")) return {};
    const TRowTexts row = ProbeRowTexts(probe);
    probe.CloseFile();
    return row;
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

int ConvertCommand(const TCliArguments& arguments) {
  TProfileControls controls;
  ChooseSettings(arguments, controls);
  std::error_code ec;
  if (!std::filesystem::is_directory(arguments.OutputFolder, ec))
    throw EUsageError("the output folder \"" + arguments.OutputFolder + "\" does not exist");

  TFFmpegVCL vcl;
  if (!LoadCodecs(vcl)) return ExitFailed;
  TAVProbe& probe = vcl.Probe();
  std::vector<TFileResult> results;
  bool interrupted = false;
  {
    TConvertRun run(vcl, arguments.Json);
    for (size_t i = 0; i < arguments.Files.size(); ++i) {
      if (Interrupted()) break;
      TFileResult& result = results.emplace_back();
      result.Source = arguments.Files[i];
      TJobRequest request;
      request.Source = result.Source;
      const TRowTexts row = ProbedRow(probe, result.Source);
      request.VideoSizeText = row.VideoSize;
      request.DisplayAspect = row.DisplayAspect;
      request.OutputFolder = arguments.OutputFolder;
      request.Overwrite = arguments.Overwrite;
      request.ConversionVolume = ConversionVolumeFor(arguments.VolumePosition);
      TJob job;
      vcl.RemoveAllTasks();
      result.Status = "Fail";
      try {
        BuildJob(request, controls, job);
      } catch (const std::exception& e) {
        result.Output = job.OutputPath;
        result.Message = std::string("Fail to add file to list! ") + e.what();
      }
      if (!result.Message.empty()) {
        // reported below
      } else if (result.Output = job.OutputPath; OutputReplacesSource(job)) {
        result.Message = "the output would replace its own source";
      } else if (const int task = vcl.AddInputTask(job.Source, &job.Input); task < 0) {
        result.Message = vcl.LastError();
      } else if (!vcl.AddTaskOutput(task, job.OutputPath, &job.Output)) {
        result.Message = vcl.LastError();
        vcl.RemoveTask(task);
      } else {
        run.RunTask(static_cast<int>(i), static_cast<int>(arguments.Files.size()), result);
      }
      if (result.Status == "Fail" && result.Message.empty()) result.Message = "the conversion failed";
      if (arguments.Json)
        WriteJsonLine(TJsonObject()
                          .Add("event", "done")
                          .Add("index", static_cast<int>(i))
                          .Add("source", result.Source)
                          .Add("output", result.Output)
                          .Add("status", result.Status)
                          .Add("message", result.Message));
    }
    interrupted = Interrupted();
    vcl.RemoveAllTasks();
  }

  bool failed = false;
  for (const TFileResult& r : results) {
    failed = failed || r.Status == "Fail";
    if (arguments.Json) continue;
    std::cout << r.Status << std::string(6 - std::min<size_t>(r.Status.size(), 5), ' ') << r.Source << " -> "
              << (r.Output.empty() ? "-" : r.Output);
    if (r.Status == "Fail") std::cout << ": " << r.Message;
    std::cout << "\n";
  }
  std::cout.flush();
  if (interrupted) return ExitInterrupted;
  return failed ? ExitFailed : ExitOk;
}

}  // namespace fennick::cli
