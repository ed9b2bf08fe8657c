// Profile mode: the FILEs become the jobs of a queue, which one conversion
// run converts with the chosen profile, one after the other as the window
// does, or (-j N) up to N at once. The run's events come on the main thread
// through its own event queue; Ctrl-C or SIGTERM stops the run.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

#include "cli/commands.h"
#include "cli/file_results.h"
#include "cli/format_choice.h"
#include "cli/interrupt.h"
#include "cli/json_output.h"
#include "cli/progress_bar.h"
#include "cli/stream_output.h"
#include "component/FFmpegVCL.h"
#include "jobs/conversion_run.h"
#include "jobs/event_queue.h"
#include "jobs/folder_scan.h"
#include "jobs/job_builder.h"
#include "jobs/job_queue.h"
#include "jobs/presets.h"
#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"

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
  OfferThisMachinesHardwareEncoders();
  FillOutputFormatList(controls.ComboOutputFormat);
  const std::string format = ResolveOutputFormat(name.empty() ? DefaultOutputFormat : name);
  if (!ChooseOutputFormat(controls, format)) throw EUsageError("unknown output format \"" + format + "\"");
  return format;
}

// The preset's choices in controls; EUsageError for a preset that is not
// saved or whose format or items the catalogue no longer offers.
std::string ChoosePreset(const std::string& name, TProfileControls& controls, TJobSettings& settings) {
  const TPresetList presets = LoadPresets();
  for (const std::string& problem : presets.Problems) std::fprintf(stderr, "fennick-convert: %s\n", problem.c_str());
  const TPreset* preset = FindPreset(presets.Presets, name);
  if (!preset) {
    std::vector<std::string> names;
    for (const TPreset& p : presets.Presets) names.push_back(p.Name);
    throw EUsageError("--preset: no preset \"" + name + "\" in \"" + PresetsFolder() + "\"" +
                      (names.empty() ? std::string() : "; the presets are " + QuotedList(names)));
  }
  OfferThisMachinesHardwareEncoders();
  std::string reason;
  if (!ApplySettings(preset->Settings, controls, reason))
    throw EUsageError("--preset \"" + preset->Name + "\": " + reason);
  settings = preset->Settings;
  return preset->Settings.Format;
}

// The format (or the preset), the --set items and --aspect; EUsageError for
// what the profile does not offer.
void ChooseSettings(const TCliArguments& arguments, TProfileControls& controls, TJobSettings* preset = nullptr) {
  TJobSettings saved;
  const std::string format = arguments.Preset.empty() ? ChooseFormat(arguments.FormatName, controls)
                                                      : ChoosePreset(arguments.Preset, controls, saved);
  if (preset) *preset = saved;
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
  if (arguments.Preset.empty() || arguments.AspectGiven) controls.ComboAspectRatio.SelectText(arguments.Aspect);
}

// What the run tells, shown: a progress bar or JSON progress lines while a
// file converts, its result line or JSON "done" event as it ends.
class TCliRunListener : public IRunListener {
 public:
  TCliRunListener(const TJobQueue& queue, bool json, bool bar)
      : FQueue(queue),
        FJson(json),
        FBar(json || !bar                ? TProgressStyle::None
             : isatty(STDERR_FILENO) ? TProgressStyle::Bar
                                     : TProgressStyle::Plain) {}

  bool AnyFailed() const { return FAnyFailed; }

  void JobStarted(const TQueuedJob& job) override {
    FBar.Start("[" + std::to_string(FQueue.IndexOf(job.Id) + 1) + "/" + std::to_string(FQueue.Count()) + "] " +
               std::filesystem::path(job.Source).filename().string());
  }

  void JobProgress(const TQueuedJob& job, const TJobProgress& p) override {
    // The output may run a little past the expected duration.
    const int currentMs = p.TotalMs > 0 ? std::min(p.CurrentMs, p.TotalMs) : p.CurrentMs;
    if (!FJson) return FBar.Update(p.FrameNumber, currentMs, p.TotalMs, p.Size);
    WriteJsonLine(ProgressEvent(FQueue.IndexOf(job.Id), p.FrameNumber, p.Fps, currentMs, p.Quality, p.BitRateKbps,
                                p.Size, p.TotalMs));
  }

  void JobEnded(const TQueuedJob& job, bool notAdded, bool) override {
    TFileResult result;
    result.Index = FQueue.IndexOf(job.Id);
    result.Source = job.Source;
    result.Output = job.OutputPath;
    result.OutputSize = job.OutputSize;
    result.OutputDurationMs = job.OutputDurationMs;
    result.Status = JobResultText(job.Status);
    result.Message = job.Status == TJobStatus::Stopped && job.Reason.empty() ? "stopped" : job.Reason;
    if (result.Status == "Fail" && result.Message.empty()) result.Message = "the conversion failed";
    result.Message = ReasonForPeople(result.Message);
    if (!notAdded && job.Status != TJobStatus::Skipped) FBar.Finish(job.Status == TJobStatus::Done);
    FAnyFailed = FAnyFailed || result.Status == "Fail";
    if (FJson)
      WriteJsonLine(DoneEvent(result));
    else
      WriteStream(stdout, ResultLine(result) + "\n");
  }

 private:
  const TJobQueue& FQueue;
  const bool FJson;
  TProgressBar FBar;
  bool FAnyFailed = false;
};

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
  TJobSettings preset;
  ChooseSettings(arguments, controls, &preset);
  // A missing output folder is made, as mkdir -p makes it.
  if (std::error_code made; !arguments.OutputFolder.empty() && !std::filesystem::exists(arguments.OutputFolder, made))
    std::filesystem::create_directories(arguments.OutputFolder, made);
  if (const std::string problem = OutputFolderProblem(arguments.OutputFolder); !problem.empty())
    throw EUsageError("the output folder \"" + arguments.OutputFolder + "\" " + problem);

  // Before the component: its handlers post here until it is gone.
  TEventQueue events;
  TFFmpegVCL vcl;
  if (!LoadCodecs(vcl)) return ExitFailed;
  const int jobs = std::max(1, arguments.Jobs);

  TJobQueue queue;
  const bool subtitleFile = arguments.Subtitles != "keep" && arguments.Subtitles != "none";
  // A folder stands for the media files below it, as in the window; a
  // folder without any is said and adds nothing.
  std::vector<TSourceFile> files;
  const std::vector<std::string> patterns = MediaFilePatterns();
  for (const std::string& given : arguments.Files) {
    std::error_code error;
    const std::vector<TSourceFile> found =
        given.empty() ? std::vector<TSourceFile>{{given, ""}} : ScanFileSources({given}, patterns, false);
    if (found.empty() && std::filesystem::is_directory(given, error))
      std::fprintf(stderr, "fennick-convert: \"%s\" holds no media files\n", given.c_str());
    files.insert(files.end(), found.begin(), found.end());
  }
  if (files.empty()) return ExitFailed;
  if (subtitleFile && files.size() > 1)
    throw EUsageError("--subtitles FILE goes with one input file, not " + std::to_string(files.size()));
  for (const TSourceFile& file : files) {
    TQueuedJob job;
    job.Source = file.Path;
    job.Subfolder = file.Subfolder;
    job.AudioTrack = arguments.AudioTrack;
    if (subtitleFile) job.SubtitleFile = arguments.Subtitles;
    queue.Add(std::move(job));
  }
  TRunOptions options;
  options.OutputFolder = arguments.OutputFolder;
  options.Overwrite = arguments.Overwrite;
  options.Concurrency = jobs;
  const bool fromPreset = !arguments.Preset.empty();
  options.Settings = SnapshotSettings(controls, fromPreset && !arguments.VolumeGiven
                                                    ? preset.Volume
                                                    : AudioVolumeForPercent(arguments.VolumePercent));
  if (arguments.Subtitles == "none") options.Subtitles = TSubtitleChoice::None;
  options.Settings.ZoomIndex = fromPreset && !arguments.ZoomGiven ? preset.ZoomIndex : arguments.ZoomIndex;
  options.NamePattern = arguments.NamePattern;
  options.KeepFolders = arguments.KeepFolders;
  options.KeepMetadata = !arguments.NoMetadata;
  // Shared among the files the folders gave, not the arguments.
  options.CodecThreads = arguments.Threads;

  TConversionRun run(vcl, queue, events.Executor());
  TCliRunListener listener(queue, arguments.Json, jobs == 1);
  run.SetListener(&listener);
  {
    // Ctrl-C while the main thread is busy (an input being opened may read
    // for long) reaches the run from the watch's own thread.
    TInterruptWatch watch([&run] { run.RequestStop(); });
    run.Start(options);
    while (run.Active()) {
      events.RunPending(std::chrono::milliseconds(50));
      if (Interrupted()) run.Stop();
    }
  }
  if (Interrupted()) return ExitSignalBase + InterruptSignal();
  return listener.AnyFailed() ? ExitFailed : ExitOk;
}

}  // namespace fennick::cli
