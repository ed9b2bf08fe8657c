#include "app/main_controller.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "app/file_sources.h"
#include "component/hardware_encoders.h"
#include "jobs/job_builder.h"
#include "app/maker.h"
#include "jobs/queue_store.h"
#include "jobs/row_texts.h"
#include "jobs/stream_choice.h"
#include "app/settings.h"
#include "profiles/output_formats.h"
#include "util/text_util.h"

namespace fennick {

// ---- TUiQueue

TUiQueue::TUiQueue() : FContext(std::make_unique<QObject>()) {}
TUiQueue::~TUiQueue() = default;

void TUiQueue::Post(std::function<void()> work) {
  // Queued invocations on one receiver are delivered in the order they were
  // posted, on the receiver's thread.
  QMetaObject::invokeMethod(FContext.get(), std::move(work), Qt::QueuedConnection);
}

bool OpenWithDesktopLauncher(const QString& url) {
  // The desktop's launcher says by its exit status whether anything took
  // the address (xdg-open: 0 opened, 3 no program for it, 4 the program
  // failed); having started it is no success. One still running after a
  // moment has handed the address to a program that keeps it: it is left
  // to end on its own (the application owns it until then).
  auto* launcher = new QProcess(QCoreApplication::instance());
  QObject::connect(launcher, &QProcess::finished, launcher, &QObject::deleteLater);
  launcher->start(QStringLiteral("xdg-open"), {url});
  if (!launcher->waitForStarted(3000)) {
    launcher->deleteLater();
    return false;
  }
  if (!launcher->waitForFinished(3000)) return true;
  return launcher->exitStatus() == QProcess::NormalExit && launcher->exitCode() == 0;
}

TDesktopActions QtDesktopActions() {
  TDesktopActions actions;
  actions.OpenUrl = [](const QString& url) { return OpenWithDesktopLauncher(url); };
  actions.Quit = [] { QCoreApplication::exit(0); };
  return actions;
}

namespace {

QString ToQString(const std::string& path) { return QFile::decodeName(path.c_str()); }
std::string ToPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

// ---- TMainController

TMainController::TMainController(IPrompts& prompts, IPreviewPlayer& player, TDesktopActions desktop,
                                 IDesktopSession* session)
    : FUiQueue(std::make_unique<TUiQueue>()),
      Preview(player, [this] { return Run.Converting; }),
      FPrompts(prompts),
      FDesktop(std::move(desktop)),
      FOwnSession(session ? nullptr : std::make_unique<TDBusDesktopSession>()),
      FSession(session ? session : FOwnSession.get()),
      FQueueSave(std::make_unique<QTimer>()),
      FOwnCountdown(std::make_unique<TQtEndCountdown>()),
      FOwnLoginManager(std::make_unique<TDBusLoginManager>()),
      FCountdown(FOwnCountdown.get()),
      FLoginManager(FOwnLoginManager.get()) {
  BackgroundThread1.OnStart = [this](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
    AddFilesToList();
  };
  BackgroundThread1.OnUpdate = [this](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&, int) {
    TakeProbedFiles();
  };
  BackgroundThread1.OnTerminate = [this](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
    AddWorkerEnded();
  };
  FQueueSave->setSingleShot(true);
  FQueueSave->setInterval(0);
  FQueueSave->callOnTimeout([this] {
    if (FQueuePath.empty()) return;
    FQueueSaver->Post(ListView1.Queue(), FQueuePath);
  });
  FQueueSaver = std::make_unique<TQueueSaver>([this](const std::string& error) {
    FUiQueue->Post([this, error] { QueueSaved(error, true); });
  });
}

void TMainController::WaitForSavedQueue() {
  QCoreApplication::processEvents();
  FQueueSaver->Flush();
}

void TMainController::SetRunEndServices(IEndCountdown& countdown, ILoginManager& loginManager) {
  FCountdown = &countdown;
  FLoginManager = &loginManager;
}

// A probe of the add request waiting for a pipe is interrupted, so that the
// worker, whose end the background worker awaits, ends. Then the component
// goes: it stops its tasks and waits for their last events, which can still
// reach the queue. A change of the list not saved yet is saved first, as it
// stands: a job still converting (the window went without being closed)
// comes back interrupted.
TMainController::~TMainController() {
  StopAddRequest();
  if (FQueueSave->isActive()) SaveQueueNow(false);
}

void TMainController::Changed() {
  if (FView) FView->StateChanged();
}

// ---- start-up and shut-down

bool TMainController::FormCreate(const std::string& programFolder) {
  FProgramFolder = programFolder;
  if (!ffVCL.LoadCodecLibraries(programFolder, true)) {
    // The program's own message, then which library is missing.
    FPrompts.Information(tr("Some files are missing. Please re-install this software") + QStringLiteral("\n\n") +
                         QString::fromStdString(ffVCL.LastError()));
    return false;
  }
  ffVCL.SetThreadCount(0);  // each conversion's codecs use the threads the machine offers
  OfferHardwareVideoEncoders(UsableVaapiEncoders());
  TrackBar1Change(DefaultVolumePosition);
  FillOutputFormatList(Controls.ComboOutputFormat);
  Controls.ComboOutputFormat.DropDownCount = FallbackDropDownCount;
  // A script beside the program that the installation may provide; started
  // and forgotten, and no matter when it is missing or fails.
  const QString script = QDir(ToQString(programFolder)).filePath(QStringLiteral("reg.sh"));
  if (QFileInfo(script).isFile()) QProcess::startDetached(QStringLiteral("/bin/sh"), {script});
  TUiQueue* queue = FUiQueue.get();
  FRun = std::make_unique<TConversionRun>(ffVCL, ListView1.Queue(),
                                          [queue](std::function<void()> work) { queue->Post(std::move(work)); });
  FRun->SetListener(this);
  LoadPresetList();
  RestoreQueue();
  ListView1.OnQueueChanged = [this] { QueueChanged(); };
  Changed();
  return true;
}

void TMainController::RestoreQueue() {
  FQueuePath = SavedQueuePath();
  TSavedQueue saved = LoadSavedQueue(FQueuePath, std::time(nullptr));
  if (!saved.Error.empty()) {
    QString text;
    if (saved.MovedTo.empty()) {
      text = tr("The saved file list could not be read:\n%1\nIt could not be moved aside either; this session's "
                "list will not be saved.")
                 .arg(QString::fromStdString(saved.Error));
      FQueuePath.clear();
    } else {
      text = tr("The saved file list could not be read:\n%1\nIt has been moved to\n%2\nThe list starts empty.")
                 .arg(QString::fromStdString(saved.Error), ToQString(saved.MovedTo));
    }
    FPrompts.Information(text);
    return;
  }
  if (!saved.Queue.Empty()) ListView1.Restore(std::move(saved.Queue), Controls.FOutputFormatName);
}

void TMainController::QueueChanged() {
  if (!FQueuePath.empty()) FQueueSave->start();
}

void TMainController::SaveQueueNow(bool tellFailure) {
  FQueueSave->stop();
  if (FQueuePath.empty()) return;
  // A save still being written would otherwise land after this one.
  FQueueSaver->Flush();
  std::string error;
  SaveQueueFile(ListView1.Queue(), FQueuePath, error);
  QueueSaved(error, tellFailure);
}

void TMainController::QueueSaved(const std::string& error, bool tell) {
  if (error.empty()) {
    FQueueSaveFailed = false;
    return;
  }
  // Said once, not at every change.
  if (FQueueSaveFailed || !tell) return;
  FQueueSaveFailed = true;
  FPrompts.Information(tr("The file list cannot be saved:\n%1").arg(QString::fromStdString(error)));
}

void TMainController::OptionsFormCreate(QSettings& settings) {
  Options = TOptionsModel();
  try {
    LoadSettings(settings, {EditOutputFolder, Controls.ComboOutputFormat, Options});
  } catch (...) {
  }
  FOptionsCreated = true;
  Changed();
}

void TMainController::FormShow() {
  if (FShown) return;
  FShown = true;
  ComboOutputFormatChange();
  // The items chosen last time, where the format still offers them.
  if (std::optional<TJobSettings> items = LoadFormatItems(*OpenSettings());
      items && items->Format == Controls.ComboOutputFormat.Text()) {
    items->AspectIndex = Controls.ComboAspectRatio.ItemIndex();
    std::string reason;
    ApplySettings(*items, Controls, reason);
    Changed();
  }
  FSettingsShown = true;
  // Rows restored from the saved list keep showing what they made.
  ListView1.ShowWrittenOutputs();
}

bool TMainController::FormCloseQuery() {
  // Also between two jobs of a run: the next one would start as the window
  // closes.
  if ((Run.Converting || Run.RunActive) && !StopRunToQuit()) return false;
  StopAddRequest();
  DetachComponentEvents();
  ffVCL.StopTasks();
  SaveQueueNow();
  return true;
}

bool TMainController::AskToStop(const QString& question) {
  // No job starts or run ends while the question is open; a run the user
  // paused stays paused on No.
  const bool paused = FRun->Paused();
  if (!paused) FRun->Pause();
  if (FPrompts.Question(question)) return true;
  if (!paused) FRun->Resume();
  return false;
}

bool TMainController::RunPaused() const { return FRun && FRun->Paused(); }

void TMainController::PauseConvertClick() {
  if (!Run.Converting || !FRun->Active()) return;
  if (FRun->Paused()) {
    FRun->Resume();
    Run.StatusText = ConvertingText(FRun->Snapshot());
  } else {
    FRun->Pause();
    Run.StatusText = ConvertingText(FRun->Snapshot());
  }
  Changed();
}

void TMainController::StopAfterCurrentClick() {
  if (!Run.Converting || !FRun->Active()) return;
  FRun->StopAfterCurrent();
  if (FRun->Active()) Run.StatusText = ConvertingText(FRun->Snapshot());
  Changed();
}

bool TMainController::StopRunToQuit() {
  if (!AskToStop(tr("Stop all conversions and quit?"))) return false;
  // As "Stop" does; the stopped job completes its file before the window
  // goes.
  Run.StopRequested = true;
  FRun->Stop();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (FRun->Active() && std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  Run.Converting = false;
  UnlockControls();
  if (Run.RunActive) EndRunState();
  return true;
}

void TMainController::FormClose(QSettings& settings) {
  try {
    SaveSettings(settings, {EditOutputFolder, Controls.ComboOutputFormat, Options});
    if (FSettingsShown) SaveFormatItems(settings, WindowSettings());
  } catch (...) {
  }
}

void TMainController::SettingsChanged() {
  if (!FSettingsShown || !FOptionsCreated) return;
  // QSettings writes a new file and renames it over the old one.
  FormClose(*OpenSettings());
}

void TMainController::Exit1Click() {
  if (FDesktop.Quit) FDesktop.Quit();
}

void TMainController::DetachComponentEvents() {
  ffVCL.OnBeforeHook = nullptr;
  ffVCL.OnCustomHook = nullptr;
  ffVCL.OnLog = nullptr;
  ffVCL.OnProgress = nullptr;
  ffVCL.OnTerminate = nullptr;
}

// ---- the file list

void TMainController::ButtonAddFileClick() {
  // Not during a run, also not in the moment between two of its jobs.
  if (Run.Converting || Run.RunActive) return;
  StartAddRequest();
}

void TMainController::ButtonAddFolderClick() {
  if (Run.Converting || Run.RunActive || Run.FAddingFiles) return;
  const QString folder = FPrompts.ChooseFolder(tr("Please select a folder to add"), FLastAddedFolder);
  if (folder.isEmpty()) return;
  FLastAddedFolder = folder;
  AddFileSources({ToPath(folder)});
}

void TMainController::AddHandedFiles(const std::vector<std::string>& paths) {
  if (!Run.Converting && !Run.RunActive) return AddFileSources(paths);
  FHandedFiles.insert(FHandedFiles.end(), paths.begin(), paths.end());
}

void TMainController::AddFileSources(const std::vector<std::string>& paths) {
  if (Run.Converting || Run.RunActive) return;
  // Names relative to the current folder are resolved now; what a folder
  // holds is found by the add request's worker.
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    FPendingFiles.push_back(error ? path : absolute.string());
  }
  // During an add request they are appended after its files.
  if (FPendingFiles.empty() || Run.FAddingFiles) return;
  StartAddRequest();
}

// The files the add request's worker expands and probes, and what it hands
// back. Probed and Found are exchanged under the background worker's lock.
struct TMainController::TAddWork {
  struct TProbed {
    std::string File;
    std::string Subfolder;  // below the added folder it was found in
    bool Opened = false;
    std::string Error;  // why it could not be opened
    TRowTexts Texts;
    std::vector<TProbeStreamInfo> AudioTracks;
  };

  std::vector<std::string> Sources;   // as chosen, dropped or given
  std::vector<std::string> Patterns;  // what a folder adds
  TAVProbe Probe;                     // the worker's own
  std::vector<TProbed> Probed;        // not yet in the list, in order
  int Found = 0;                      // files the sources stand for so far

  // On the worker thread, until the files are probed or the thread is asked
  // to stop. A probe that was interrupted gives no row.
  void Execute(std::recursive_mutex& lock, const TBackgroundExecuteThread& thread) {
    const std::function<bool()> stopped = [&thread] { return thread.Terminated(); };
    std::vector<TSourceFile> files;
    for (const std::string& source : Sources) {
      const std::vector<TSourceFile> found = ScanFileSources({source}, Patterns, true, stopped);
      if (stopped()) return;
      files.insert(files.end(), found.begin(), found.end());
      std::lock_guard hold(lock);
      Found = static_cast<int>(files.size());
    }
    for (const TSourceFile& file : files) {
      TProbed probed{file.Path, file.Subfolder};
      probed.Opened = Probe.LoadFile(file.Path, "");
      if (stopped() || Probe.StopRequested()) return;
      if (probed.Opened) {
        probed.Texts = ProbeRowTexts(Probe);
        probed.AudioTracks = Probe.Streams().Audio;
        Probe.CloseFile();
      } else {
        probed.Error = Probe.LastError();
      }
      std::lock_guard hold(lock);
      Probed.push_back(std::move(probed));
    }
  }
};

void TMainController::StartAddRequest() {
  // One add request at a time: a second one while files are being added
  // neither opens a dialog nor clears the marks of the rows the first one is
  // adding.
  if (Run.FAddingFiles) return;
  Preview.StopForListChange();
  RemoveAllTasks();
  ListView1.SetColumn(ColProgress, "");
  Run.FAddingFiles = true;
  FAddedFiles = FFoundFiles = 0;
  FStatusBeforeAdding = Run.StatusText;
  BackgroundThread1.SetUpdateEnabled(true);
  Changed();
  try {
    BackgroundThread1.Start();
  } catch (...) {
    // The start notification failed: no worker runs, nothing is added.
    EndAddRequest();
  }
}

void TMainController::AddFilesToList() {
  std::vector<std::string> files;
  files.swap(FPendingFiles);
  if (files.empty()) {
    const QStringList chosen = FPrompts.OpenFiles(QString::fromStdString(OpenDialogFilter()));
    for (const QString& file : chosen) files.push_back(ToPath(file));
  }
  BackgroundThread1.OnExecute = nullptr;
  // Cancelled: the worker ends at once, and with it the request.
  if (files.empty()) return;
  auto work = std::make_shared<TAddWork>();
  work->Sources = std::move(files);
  work->Patterns = DefaultFilterPatterns(OpenDialogFilter());
  FAddWork = work;
  // The worker keeps its work, also past the controller's end.
  BackgroundThread1.OnExecute = [work](TBackgroundThreadBase* sender, TBackgroundExecuteThread* thread, void*&) {
    work->Execute(sender->Lock(), *thread);
  };
}

void TMainController::TakeProbedFiles() {
  if (!FAddWork) return;
  std::vector<TAddWork::TProbed> probed;
  int found = 0;
  {
    std::lock_guard hold(BackgroundThread1.Lock());
    probed.swap(FAddWork->Probed);
    found = FAddWork->Found;
  }
  for (const TAddWork::TProbed& file : probed) {
    const TRowId id = file.Opened
                          ? ListView1.AppendProbed(file.File, file.Texts, Controls.FOutputFormatName, file.AudioTracks)
                          : ListView1.AppendError(file.File, file.Error);
    if (!file.Subfolder.empty()) ListView1.SetSubfolder(id, file.Subfolder);
  }
  FAddedFiles += static_cast<int>(probed.size());
  if (!probed.empty() && FView) FView->ScrollRowIntoView(ListView1.Count() - 1);
  std::string status = tr("Adding files: %1 of %2").arg(FAddedFiles).arg(FFoundFiles + found).toStdString();
  if (status == Run.StatusText) return;
  Run.StatusText = std::move(status);
  Changed();
}

void TMainController::AddWorkerEnded() {
  // A stopped request has dropped its work: its rows are not wanted.
  if (FAddWork) {
    TakeProbedFiles();
    FFoundFiles += FAddWork->Found;
    FAddWork.reset();
  }
  BackgroundThread1.OnExecute = nullptr;
  if (Run.FAddingFiles && !FPendingFiles.empty()) {
    // Files dropped meanwhile come last.
    try {
      BackgroundThread1.Start();
      return;
    } catch (...) {
    }
  }
  EndAddRequest();
}

void TMainController::EndAddRequest() {
  BackgroundThread1.SetUpdateEnabled(false);
  Run.FAddingFiles = false;
  Run.StatusText = FStatusBeforeAdding;
  Changed();
}

bool TMainController::StopAddRequest() {
  FPendingFiles.clear();
  if (!FAddWork) return false;
  FAddWork->Probe.RequestStop();
  BackgroundThread1.Stop();
  FAddWork.reset();
  return true;
}

void TMainController::ButtonRemoveClick(const std::vector<TRowId>& selected) {
  if (Run.FAddingFiles) return;
  ListView1.Remove(selected);
}

void TMainController::ButtonClearClick() {
  if (Run.Converting) return;
  // During an add request Clear ends it, once its files are being probed:
  // the list is emptied and no more rows come.
  if (Run.FAddingFiles && !StopAddRequest()) return;
  Preview.StopForListChange();
  RemoveAllTasks();
  ListView1.Clear();
  Run.StatusText.clear();
  Run.FileSizeText.clear();
  Run.ProgressText.clear();
  Changed();
}

void TMainController::CheckAllItems1Click() {
  if (!ListView1.Empty()) ListView1.SetAllChecked(true);
}

void TMainController::UncheckAllItems1Click() {
  if (!ListView1.Empty()) ListView1.SetAllChecked(false);
}

void TMainController::RemoveSelectedItems1Click(const std::vector<TRowId>& selected) { ListView1.Remove(selected); }

void TMainController::RemoveAllItems1Click() { ListView1.Clear(); }

void TMainController::ShowLog1Click(int row) {
  if (row < 0 || row >= ListView1.Count()) return;
  QString text;
  if (const std::deque<std::string>* log = FRun->JobLog(ListView1.IdAt(row))) {
    for (const std::string& line : *log) {
      text += QString::fromStdString(line);
      if (!text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
    }
  }
  if (text.isEmpty()) text = tr("The file has not been converted since the program started.");
  FPrompts.ShowText(tr("Log of %1").arg(ToQString(std::filesystem::path(ListView1.Row(row).Caption).filename().string())),
                    text);
}

int TMainController::MoveRowsBy(const std::vector<TRowId>& selected, int step) {
  int first = ListView1.Count();
  for (const TRowId id : selected)
    if (const int row = ListView1.IndexOf(id); row >= 0) first = std::min(first, row);
  if (first == ListView1.Count() || Run.Converting || Run.RunActive || Run.FAddingFiles) return -1;
  // Among the rows left, the place one up or down from the first.
  return ListView1.MoveRows(selected, std::max(first + step, 0));
}

int TMainController::MoveRowsTo(const std::vector<TRowId>& selected, int to) {
  if (Run.Converting || Run.RunActive || Run.FAddingFiles) return -1;
  // Dropped before a row: among the rows left, that row's place.
  int before = 0;
  for (const TRowId id : selected)
    if (const int row = ListView1.IndexOf(id); row >= 0 && row < to) ++before;
  return ListView1.MoveRows(selected, to - before);
}

void TMainController::ListView1Check(int row, bool checked) {
  if (row >= 0 && row < ListView1.Count()) ListView1.SetChecked(row, checked);
}

std::vector<std::string> TMainController::AudioTrackItems(int row) const {
  std::vector<std::string> items;
  if (row < 0 || row >= ListView1.Count()) return items;
  const std::vector<TProbeStreamInfo>& tracks = ListView1.Row(row).AudioTracks;
  if (tracks.size() < 2) return items;
  for (size_t i = 0; i < tracks.size(); ++i) items.push_back(AudioTrackText(tracks[i], static_cast<int>(i) + 1));
  return items;
}

void TMainController::AudioTrack1Click(int row, int track) {
  if (Run.ControlsLocked || row < 0 || row >= ListView1.Count()) return;
  ListView1.SetAudioTrack(row, track);
}

// ---- output choices

void TMainController::ComboOutputFormatChange() {
  ChosenPreset.clear();
  if (OutputFormatChanged(Controls)) {
    ShowFormatInOutputColumn();
    ComboOutputFormatDropDown();
  }
  SettingsChanged();
  Changed();
}

void TMainController::SettingItemChange() {
  ChosenPreset.clear();  // the choices are the preset's no longer
  SettingsChanged();
  Changed();
}

void TMainController::ShowFormatInOutputColumn() {
  for (int row = 0; row < ListView1.Count(); ++row)
    if (!ListView1.Pinned(row)) ListView1.SetCell(row, ColOutput, Controls.FOutputFormatName);
}

void TMainController::ComboOutputFormatDropDown() {
  Controls.ComboOutputFormat.DropDownCount = FOptionsCreated ? Options.SpinEdit1.Value() : FallbackDropDownCount;
}

void TMainController::TrackBar1Change(int position) {
  if (position < 0 || position >= VolumePositionCount) return;
  Run.VolumePosition = position;
  Run.ConversionVolume = ConversionVolumeFor(position);
  ChosenPreset.clear();
  Changed();
}

void TMainController::ButtonBrowseForFolderClick() {
  if (Run.Converting) return;
  const QString folder = FPrompts.ChooseFolder(tr("Please select an output folder"), FLastBrowsedFolder);
  if (folder.isEmpty()) return;
  FLastBrowsedFolder = folder;
  EditOutputFolder = ToPath(folder);
  SettingsChanged();
  Changed();
}

void TMainController::EditOutputFolderChange(const std::string& folder) {
  EditOutputFolder = folder;
  SettingsChanged();
}

// ---- the options dialog

void TMainController::SpinEdit1Change(int value) {
  Options.SpinEdit1.SetValue(value);
  ComboOutputFormatChange();
}

void TMainController::ComboAspectRatio4Change(int index) {
  Options.ComboAspectRatio4.SetItemIndex(index);
  Controls.ComboAspectRatio.SetItemIndex(index);
  ChosenPreset.clear();
  SettingsChanged();
  Changed();
}

void TMainController::ComboLetterBoxChange(int index) {
  // Stored with the settings; the next run converts with it.
  Options.ComboLetterBox.SetItemIndex(index);
  ChosenPreset.clear();
  SettingsChanged();
}

void TMainController::ComboSubtitlesChange(int index) {
  Options.ComboSubtitles.SetItemIndex(index);
  SettingsChanged();
}

void TMainController::CheckBoxOverWriteClick(bool checked) {
  Options.CheckBoxOverWrite = checked;
  SettingsChanged();
}

void TMainController::EditNamePatternChange(const std::string& pattern) {
  Options.EditNamePattern = pattern;
  SettingsChanged();
}

std::string TMainController::NamePatternExample() const {
  TJobRequest request;
  request.NamePattern = Options.EditNamePattern;
  int row = ListView1.IndexOf(FSelectedRow);
  if (row < 0 && ListView1.Count() > 0) row = 0;
  const TQueuedJob* job = row >= 0 ? ListView1.Queue().Find(ListView1.IdAt(row)) : nullptr;
  if (job) {
    request.Source = job->Source;
    request.VideoSizeText = job->VideoSizeText;
    request.DisplayAspect = job->DisplayAspect;
    request.RowNumber = row + 1;
  } else {
    request.Source = "holiday.mov";
    request.VideoSizeText = "1920x1080";
    request.RowNumber = 1;
  }
  return PatternOutputName(request, job && job->Pinned && job->Settings ? *job->Settings : WindowSettings());
}

std::optional<int64_t> TMainController::RateOf(const TJobSettings& settings) const {
  const std::string key = JobSettingsJson(settings);
  auto rate = FRates.find(key);
  if (rate == FRates.end()) rate = FRates.emplace(key, ExpectedBitRate(settings)).first;
  return rate->second;
}

std::optional<int64_t> TMainController::ExpectedBytes(const TQueuedJob& job,
                                                      const std::optional<int64_t>& windowRate) const {
  const std::optional<double> seconds = DurationSeconds(job.DurationText);
  if (!seconds) return std::nullopt;
  const std::optional<int64_t> rate = job.Pinned && job.Settings ? RateOf(*job.Settings) : windowRate;
  if (!rate) return std::nullopt;
  return static_cast<int64_t>(static_cast<double>(*rate) / 8.0 * *seconds);
}

std::string TMainController::ExpectedSizeOf(int row) const {
  if (row < 0 || row >= ListView1.Count()) return {};
  const TQueuedJob* job = ListView1.Queue().Find(ListView1.IdAt(row));
  const std::optional<int64_t> bytes = job ? ExpectedBytes(*job, RateOf(WindowSettings())) : std::nullopt;
  return bytes ? FormatSize(*bytes) : std::string();
}

std::string TMainController::ExpectedTotalText() const {
  int64_t total = 0;
  bool known = false;
  const std::optional<int64_t> windowRate = RateOf(WindowSettings());
  for (const TQueuedJob& job : ListView1.Queue().Jobs()) {
    if (!job.Checked || job.Status == TJobStatus::Done) continue;
    if (const std::optional<int64_t> bytes = ExpectedBytes(job, windowRate)) {
      total += *bytes;
      known = true;
    }
  }
  return known ? tr("Expected Size : %1").arg(QString::fromStdString(FormatSize(total))).toStdString() : std::string();
}

void TMainController::CheckBoxKeepFoldersClick(bool checked) {
  Options.CheckBoxKeepFolders = checked;
  SettingsChanged();
}

// ---- presets

void TMainController::LoadPresetList() {
  TPresetList list = LoadPresets();
  Presets = std::move(list.Presets);
  for (const std::string& problem : list.Problems) FPrompts.Information(QString::fromStdString(problem));
  Changed();
}

TJobSettings TMainController::WindowSettings() const {
  TJobSettings settings = SnapshotSettings(Controls, Run.ConversionVolume);
  settings.ZoomIndex = std::max(Options.ComboLetterBox.ItemIndex(), 0);
  return settings;
}

void TMainController::SaveSettingsAsPreset1Click() {
  if (Run.ControlsLocked) return;
  const QString answer = FPrompts.AskText(tr("Save Settings as Preset"), tr("Preset name:"), QString());
  if (answer.isNull()) return;
  const TPreset preset{std::string(Trim(answer.toStdString())), WindowSettings()};
  std::string error = PresetNameProblem(preset.Name);
  if (error.empty() && FindPreset(Presets, preset.Name) && FindPreset(Presets, preset.Name)->Name == preset.Name &&
      !FPrompts.Question(tr("Replace the preset \"%1\"?").arg(QString::fromStdString(preset.Name))))
    return;
  if (!error.empty() || !SavePreset(preset, error)) {
    FPrompts.Information(tr("The preset could not be saved: %1").arg(QString::fromStdString(error)));
    return;
  }
  ChosenPreset = preset.Name;
  LoadPresetList();
}

void TMainController::ComboOutputFormatPresetChoose(int preset) {
  if (Run.ControlsLocked || preset < 0 || preset >= static_cast<int>(Presets.size())) return;
  const TPreset chosen = Presets[preset];
  std::string reason;
  const bool applied = ApplySettings(chosen.Settings, Controls, reason);
  // Whatever was applied of it shows (a format whose item has gone keeps
  // that list's default).
  ShowFormatInOutputColumn();
  ComboOutputFormatDropDown();
  if (!applied) {
    FPrompts.Information(tr("The preset \"%1\" cannot be used: %2")
                             .arg(QString::fromStdString(chosen.Name), QString::fromStdString(reason)));
    Changed();
    return;
  }
  Options.ComboAspectRatio4.SetItemIndex(chosen.Settings.AspectIndex);
  Options.ComboLetterBox.SetItemIndex(chosen.Settings.ZoomIndex);
  // The volume bar's step of the stored volume (the nearest one).
  int position = DefaultVolumePosition;
  for (int i = 0; i < VolumePositionCount; ++i)
    if (std::abs(ConversionVolumeFor(i) - chosen.Settings.Volume) <
        std::abs(ConversionVolumeFor(position) - chosen.Settings.Volume))
      position = i;
  TrackBar1Change(position);
  ChosenPreset = chosen.Name;
  SettingsChanged();
  Changed();
}

bool TMainController::PresetRenameClick(const std::string& name) {
  const QString answer =
      FPrompts.AskText(tr("Rename Preset"), tr("New name:"), QString::fromStdString(name));
  if (answer.isNull()) return false;
  std::string error;
  if (!RenamePreset(name, std::string(Trim(answer.toStdString())), error)) {
    FPrompts.Information(tr("The preset could not be renamed: %1").arg(QString::fromStdString(error)));
    return false;
  }
  LoadPresetList();
  return true;
}

bool TMainController::PresetDeleteClick(const std::string& name) {
  if (!FPrompts.Question(tr("Delete the preset \"%1\"?").arg(QString::fromStdString(name)))) return false;
  std::string error;
  if (!DeletePreset(name, error)) {
    FPrompts.Information(tr("The preset could not be deleted: %1").arg(QString::fromStdString(error)));
    return false;
  }
  LoadPresetList();
  return true;
}

// ---- settings pinned on rows

void TMainController::KeepCurrentSettings1Click(const std::vector<TRowId>& selected) {
  if (Run.ControlsLocked) return;
  const TJobSettings settings = WindowSettings();
  for (const TRowId id : selected)
    if (const int row = ListView1.IndexOf(id); row >= 0)
      ListView1.SetPinnedSettings(row, settings, Controls.FOutputFormatName);
}

void TMainController::UseWindowSettings1Click(const std::vector<TRowId>& selected) {
  if (Run.ControlsLocked) return;
  for (const TRowId id : selected) {
    const int row = ListView1.IndexOf(id);
    if (row < 0 || !ListView1.Pinned(row)) continue;
    ListView1.SetPinnedSettings(row, std::nullopt, "");
    ListView1.SetCell(row, ColOutput, Controls.FOutputFormatName);
  }
}
void TMainController::SpinFilesAtOnceChange(int value) {
  Options.SpinFilesAtOnce.SetValue(value);
  SettingsChanged();
}

void TMainController::ComboRunEndChange(int index) {
  Options.ComboRunEnd.SetItemIndex(index);
  SettingsChanged();
}

// ---- preview

void TMainController::ListView1SelectItem(int row) {
  if (row < 0 || row >= ListView1.Count()) return;
  FSelectedRow = ListView1.IdAt(row);
  // Looking at another row than a converting one: the list stays there.
  const TQueuedJob* job = ListView1.Queue().Find(ListView1.IdAt(row));
  if (!job || job->Status != TJobStatus::Running) FFollowRunningRow = false;
  Preview.RowSelected(static_cast<TPreviewRowKey>(ListView1.IdAt(row)), ToQString(ListView1.Row(row).Caption));
}

void TMainController::ListView1Scrolled() { FFollowRunningRow = false; }

void TMainController::ButtonPlayClick(int selectedRow) {
  std::optional<TPreviewRowKey> row;
  if (selectedRow >= 0 && selectedRow < ListView1.Count())
    row = static_cast<TPreviewRowKey>(ListView1.IdAt(selectedRow));
  Preview.PlayClicked(row);
}

void TMainController::ButtonPauseClick() { Preview.PauseClicked(); }
void TMainController::ButtonStopClick() { Preview.StopClicked(); }

// ---- conversion run

void TMainController::ButtonConvertClick() {
  if (Run.FAddingFiles || Run.RunActive) return;
  Preview.StopForListChange();
  Run.StopRequested = false;
  ListView1.SetColumn(ColProgress, "");
  ListView1.SetColumn(ColFrames, "");
  if (ListView1.Empty()) {
    FPrompts.Information(tr("Please Add Files To Convert!"));
    return;
  }
  if (EditOutputFolder.empty()) {
    FPrompts.Information(tr("Please select an output folder!"));
    ButtonBrowseForFolderClick();
    return;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(std::string(Trim(EditOutputFolder)), error)) {
    FPrompts.Information(
        tr("The output folder \"%1\"\ndoes not exist or has been deleted!\nPlease choose a new output folder.")
            .arg(ToQString(EditOutputFolder)));
    ButtonBrowseForFolderClick();
    return;
  }
  // Once for the run rather than once for each file.
  if (const std::string problem = OutputFolderProblem(std::string(Trim(EditOutputFolder))); !problem.empty()) {
    FPrompts.Information(tr("The output folder \"%1\"\n%2\nPlease choose a new output folder.")
                             .arg(ToQString(EditOutputFolder), QString::fromStdString(problem)));
    ButtonBrowseForFolderClick();
    return;
  }
  // The run.
  Run.StopRequested = false;
  LockControls();
  RemoveAllTasks();
  Run.RunActive = true;
  Run.OverallPercent = 0;
  Run.Converting = true;
  // Every job of the run converts with the choices shown now (the controls
  // stay locked until the run ends).
  TRunOptions options;
  options.OutputFolder = EditOutputFolder;
  options.Overwrite = Options.CheckBoxOverWrite;
  options.Settings = SnapshotSettings(Controls, Run.ConversionVolume);
  options.Subtitles = Options.ComboSubtitles.ItemIndex() == 1 ? TSubtitleChoice::None : TSubtitleChoice::Keep;
  options.Settings.ZoomIndex = std::max(Options.ComboLetterBox.ItemIndex(), 0);
  options.NamePattern = Options.EditNamePattern;
  options.KeepFolders = Options.CheckBoxKeepFolders;
  FRunConcurrency = options.Concurrency = Options.SpinFilesAtOnce.Value();
  FFollowRunningRow = true;
  QueueChanged();
  FSession->InhibitSleep(tr("Converting video files"));
  // The run starts its first jobs now, the next ones as jobs end, and says
  // when it is over (at once, when no job could start).
  FRun->Start(options);
  TakeRunState();
  Changed();
}

void TMainController::CompleteRun() {
  RemoveAllTasks();
  QueueChanged();
  if (Run.RunActive) {
    const TRunSnapshot run = FRun->Snapshot();
    // Said on the desktop too when the user is elsewhere.
    if (FView && !FView->WindowActive())
      FSession->NotifyWithAction(tr("All Conversions Completed"), RunCountsText(run), tr("Open Folder"),
                                 [this] { OpenOutputFolder1Click(); });
    const QString summary = run.EndsAfterCurrent
                                ? tr("Conversions Stopped After The Current Files\n\n%1").arg(RunSummary(run))
                                : tr("All Conversions Completed\n\n%1").arg(RunSummary(run));
    const int action =
        Run.StopRequested || run.EndsAfterCurrent ? RunEndNothing : Options.ComboRunEnd.ItemIndex();
    if (action != RunEndNothing) {
      // The window is idle again while the countdown runs.
      ReturnToIdle();
      return RunEndAction(action, summary);
    }
    FPrompts.Information(summary);
  }
  ReturnToIdle();
}

void TMainController::RunEndAction(int action, const QString& summary) {
  if (action == RunEndQuit) {
    // As closing the window would: the list and the settings are kept.
    SaveQueueNow();
    FormClose(*OpenSettings());
    if (FDesktop.Quit) FDesktop.Quit();
    return;
  }
  const bool suspend = action == RunEndSuspend;
  // The countdown puts the seconds left into its "%1".
  const QString countdown = suspend ? tr("%1\n\nThe computer will suspend in %2 seconds.")
                                    : tr("%1\n\nThe computer will power off in %2 seconds.");
  if (!FCountdown->Run(countdown.arg(summary, QStringLiteral("%1")), RunEndCountdownSeconds)) {
    FPrompts.Information(summary);
    return;
  }
  SaveQueueNow();
  const QString error = suspend ? FLoginManager->Suspend() : FLoginManager->PowerOff();
  const QString failed = suspend ? tr("The computer could not suspend: %1\n\n%2")
                                 : tr("The computer could not power off: %1\n\n%2");
  FPrompts.Information(error.isEmpty() ? summary : failed.arg(error, summary));
}

void TMainController::ReturnToIdle() {
  Run.ProgressPosition = 0;
  Run.StatusText.clear();
  Run.FileSizeText.clear();
  Run.ProgressText.clear();
  UnlockControls();
  Run.Converting = false;
  EndRunState();
  Changed();
  TakeHandedFiles();
}

void TMainController::TakeHandedFiles() {
  // What was handed over during the run comes in now.
  if (FHandedFiles.empty() || Run.Converting || Run.RunActive) return;
  std::vector<std::string> handed;
  handed.swap(FHandedFiles);
  AddFileSources(handed);
}

void TMainController::EndRunState() {
  Run.RunActive = false;
  Run.OverallPercent = 0;
  FSession->AllowSleep();
}

void TMainController::RemoveAllTasks() { ffVCL.RemoveAllTasks(); }

void TMainController::TakeRunState() {
  Run.Converting = FRun->RunningCount() > 0;
  if (Run.RunActive) Run.OverallPercent = FRun->OverallPercent();
}

void TMainController::ButtonStopConvertClick() {
  StopAddRequest();
  if (Run.Converting) {
    if (!AskToStop(tr("Stop all conversions?"))) return;
    Run.StopRequested = true;
  }
  FRun->Stop();
  QueueChanged();
  Run.ProgressPosition = 0;
  UnlockControls();
  Run.Converting = false;
  if (Run.RunActive) EndRunState();
  Changed();
  TakeHandedFiles();
}

void TMainController::LockControls() {
  Run.ControlsLocked = true;
  Changed();
}

void TMainController::UnlockControls() {
  Run.ControlsLocked = false;
  Changed();
}

void TMainController::JobStarted(const TQueuedJob& job) {
  FJobStart = std::chrono::steady_clock::now();
  // The name actually used, with its "-1" where the plain one was taken.
  if (const int row = ListView1.IndexOf(job.Id); row >= 0)
    ListView1.SetCell(row, ColOutput, std::filesystem::path(job.OutputPath).filename().string());
  Run.StatusText = ConvertingText(FRun->Snapshot());
  TakeRunState();
  QueueChanged();
  Changed();
}

QString TMainController::PausedStatus() { return tr("Paused"); }

QString TMainController::StoppingAfterStatus() { return tr("Stopping after the current file(s)"); }

std::string TMainController::ConvertingText(const TRunSnapshot& run) const {
  if (FRun->Paused()) return PausedStatus().toStdString();
  if (run.EndsAfterCurrent) return StoppingAfterStatus().toStdString();
  return ConvertingStatus(QString::number(run.Current()), QString::number(run.Jobs)).toStdString();
}

QString TMainController::ConvertingStatus(const QString& current, const QString& total) {
  return tr("Converting %1 of %2").arg(current, total);
}

QString TMainController::FileSizeStatus(const QString& size) { return tr("File Size : %1").arg(size); }

QString TMainController::RunCountsText(const TRunSnapshot& run) const {
  return tr("%1 Done, %2 Fail, %3 Abort")
      .arg(QString::number(run.Done), QString::number(run.Failed), QString::number(run.Stopped));
}

QString TMainController::RunSummary(const TRunSnapshot& run) const {
  // The run's counts, then the files that failed and those that ended
  // early, with their reasons (the libraries' own, in English), ten of each
  // at most.
  QString text = RunCountsText(run);
  const auto list = [&](const QString& heading, const std::vector<TRunNote>& notes) {
    constexpr size_t kShown = 10;
    if (notes.empty()) return;
    text += QLatin1Char('\n') + heading;
    for (size_t i = 0; i < notes.size() && i < kShown; ++i)
      text += QStringLiteral("\n  ") + tr("%1: %2").arg(ToQString(notes[i].File), QString::fromStdString(notes[i].Reason));
    if (notes.size() > kShown)
      text += QStringLiteral("\n  ") + tr("... and %1 more").arg(static_cast<int>(notes.size() - kShown));
  };
  list(tr("Failed:"), run.FailedFiles);
  list(tr("Ended early:"), run.EndedEarly);
  return text;
}

void TMainController::JobProgress(const TQueuedJob& job, const TJobProgress& progress) {
  ffVCLProgress(job, progress);
}

void TMainController::JobEnded(const TQueuedJob& job, bool notAdded, bool buildError) {
  QueueChanged();
  if (buildError) FPrompts.Information(tr("Fail to add file to list!"));
  ffVCLTerminate(job);
  Changed();
}

void TMainController::RunEnded() {
  TakeRunState();
  // After "Stop" the window is idle already: only the status bar, which
  // the stopped jobs' ends still wrote to, is cleared.
  CompleteRun();
}

void TMainController::ffVCLProgress(const TQueuedJob& job, const TJobProgress& progress) {
  // The job's row by its identity: rows may have moved or gone.
  const int row = ListView1.IndexOf(job.Id);
  if (row < 0) return;
  const TRunSnapshot run = FRun->Snapshot();
  const bool several = FRunConcurrency > 1 && Run.RunActive;
  if (FView && FFollowRunningRow) FView->ScrollRowIntoView(row);
  // Without a total duration there is no percentage.
  const std::optional<int> percent = progress.Percent();
  ListView1.SetCell(row, ColProgress, percent ? std::to_string(std::clamp(*percent, 0, 100)) + "%" : "");
  ListView1.SetCell(row, ColFrames, progress.FrameNumber == -1 ? " " : std::to_string(progress.FrameNumber));
  Run.StatusText = ConvertingText(run);
  if (Run.RunActive) Run.OverallPercent = run.OverallPercent;
  if (several) {
    // The status bar speaks of the whole run: its outputs' size, its
    // percentage and its time left.
    Run.FileSizeText = FileSizeStatus(QString::fromStdString(FormatSize(run.OutputSize))).toStdString();
    Run.ProgressPosition = Run.OverallPercent;
    Run.ProgressText = tr("%1%  %2 left")
                           .arg(QString::number(Run.OverallPercent), QString::fromStdString(run.TimeLeft))
                           .toStdString();
  } else {
    Run.FileSizeText = FileSizeStatus(QString::fromStdString(FormatSize(progress.Size))).toStdString();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - FJobStart).count();
    const TConversionPace pace = ConversionPace(progress.CurrentMs, progress.TotalMs, elapsed);
    Run.ProgressPosition = std::max(percent.value_or(0), 0);
    Run.ProgressText =
        (percent ? tr("%1%  %2  %3 left")
                       .arg(QString::number(std::clamp(*percent, 0, 100)), QString::fromStdString(pace.Speed),
                            QString::fromStdString(pace.Left))
                 : tr("%1  %2 left").arg(QString::fromStdString(pace.Speed), QString::fromStdString(pace.Left)))
            .toStdString();
  }
  Changed();
}

void TMainController::ffVCLTerminate(const TQueuedJob& job) {
  // A job the run did not reach before it stopped: its row stays as it is.
  if (job.Status == TJobStatus::Skipped) return;
  const char* status = JobResultText(job.Status);
  // Into the job's own row, wherever it is now; nowhere when it is gone. A
  // converted row's check goes with it (the run took it off the job).
  if (const int row = ListView1.IndexOf(job.Id); row >= 0) {
    ListView1.SetProgress(row, status, job.Reason);
    if (!job.Checked) ListView1.SetChecked(row, false);
  }
  TakeRunState();
  Changed();
}

QString TMainController::WindowTitle() const {
  const QString product = QString::fromLatin1(ProductName);
  if (!Run.RunActive) return product;
  return QStringLiteral("%1% - %2").arg(Run.OverallPercent).arg(product);
}

// ---- help

std::string TMainController::HelpFile() const {
  namespace fs = std::filesystem;
  const fs::path folder = FProgramFolder;
  for (const fs::path& candidate : {folder / "help" / "index.html", folder / ".." / "share" / "fennick" / "help" / "index.html"}) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return fs::weakly_canonical(candidate, error).string();
  }
  return (folder / "help" / "index.html").string();
}

void TMainController::OpenOutputFolder1Click() {
  const QString folder = ToQString(std::string(Trim(EditOutputFolder)));
  if (folder.isEmpty()) return;
  OpenAddress(QUrl::fromLocalFile(QFileInfo(folder).absoluteFilePath()).toString(), folder);
}

void TMainController::ListView1DblClick(int row) {
  if (row < 0 || row >= ListView1.Count()) return;
  const TQueuedJob* job = ListView1.Queue().Find(ListView1.IdAt(row));
  std::error_code error;
  if (!job || job->OutputPath.empty() || !std::filesystem::exists(job->OutputPath, error)) return;
  const QString folder = QFileInfo(ToQString(job->OutputPath)).absolutePath();
  OpenAddress(QUrl::fromLocalFile(folder).toString(), folder);
}

void TMainController::OpenAddress(const QString& url, const QString& shown) {
  if (FDesktop.OpenUrl && FDesktop.OpenUrl(url)) return;
  FPrompts.Information(tr("The desktop could not open\n%1\nPlease open it by hand.").arg(shown));
}

void TMainController::OpenHelpFile1Click() {
  const QString file = ToQString(HelpFile());
  OpenAddress(QUrl::fromLocalFile(file).toString(), file);
}

void TMainController::VisitOurWebsite1Click() {
  OpenAddress(QString::fromLatin1(MakerWebSite), QString::fromLatin1(MakerWebSite));
}

void TMainController::ContactSupportClick() {
  OpenAddress(QStringLiteral("mailto:") + QString::fromLatin1(MakerSupportAddress),
              QString::fromLatin1(MakerSupportAddress));
}

}  // namespace fennick
