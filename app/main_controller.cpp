#include "app/main_controller.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <optional>

#include "app/file_sources.h"
#include "jobs/job_builder.h"
#include "app/maker.h"
#include "jobs/row_texts.h"
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

TDesktopActions QtDesktopActions() {
  TDesktopActions actions;
  actions.OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
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
      TimerConvertAgain(std::make_unique<QTimer>()) {
  BackgroundThread1.OnStart = [this](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
    AddFilesToList();
  };
  TimerConvertAgain->setInterval(50);
  TimerConvertAgain->callOnTimeout([this] { TimerConvertAgainTimer(); });
}

// The component goes first: it stops its tasks and waits for their last
// events, which can still reach the queue.
TMainController::~TMainController() = default;

void TMainController::Changed() {
  if (FView) FView->StateChanged();
}

// ---- start-up and shut-down

bool TMainController::FormCreate(const std::string& programFolder) {
  FProgramFolder = programFolder;
  if (!ffVCL.LoadCodecLibraries(programFolder, true)) {
    FPrompts.Information(QStringLiteral("Some files are missing. Please re-install this software"));
    return false;
  }
  ffVCL.SetThreadCount(0);  // each conversion's codecs use the threads the machine offers
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
  Changed();
  return true;
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
}

bool TMainController::FormCloseQuery() {
  // Also between two jobs of a run: the next one would start as the window
  // closes.
  if (Run.Converting || Run.RunActive) return false;
  DetachComponentEvents();
  ffVCL.StopTasks();
  return true;
}

void TMainController::FormClose(QSettings& settings) {
  try {
    SaveSettings(settings, {EditOutputFolder, Controls.ComboOutputFormat, Options});
  } catch (...) {
  }
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
  if (Run.Converting) return;
  StartAddRequest();
}

void TMainController::AddFileSources(const std::vector<std::string>& paths) {
  if (Run.Converting) return;
  const std::vector<std::string> files = ExpandFileSources(paths, DefaultFilterPatterns(OpenDialogFilter()));
  if (files.empty()) return;
  FPendingFiles.insert(FPendingFiles.end(), files.begin(), files.end());
  // During an add request the running one appends them after its own.
  if (Run.FAddingFiles) return;
  StartAddRequest();
  FPendingFiles.clear();
}

void TMainController::StartAddRequest() {
  // One add request at a time: a second one while files are being added
  // (the message queue runs between files) neither opens a dialog nor clears
  // the marks of the rows the first one is adding.
  if (Run.FAddingFiles) return;
  Preview.StopForListChange();
  RemoveAllTasks();
  ListView1.SetColumn(ColProgress, "");
  // The worker of the previous request may not have been forgotten yet (its
  // end is delivered through the message queue); its Start would do nothing.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (BackgroundThread1.Running() && std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  Run.FAddingFiles = true;
  Changed();
  try {
    BackgroundThread1.Start();
  } catch (...) {
  }
  Run.FAddingFiles = false;
  Changed();
}

void TMainController::AddFilesToList() {
  std::vector<std::string> files;
  files.swap(FPendingFiles);
  if (files.empty()) {
    const QStringList chosen = FPrompts.OpenFiles(QString::fromStdString(OpenDialogFilter()));
    for (const QString& file : chosen) files.push_back(ToPath(file));
  }
  try {
    for (size_t i = 0;; ++i) {
      if (i == files.size()) {
        // Files dropped meanwhile come last.
        if (FPendingFiles.empty()) break;
        files.insert(files.end(), FPendingFiles.begin(), FPendingFiles.end());
        FPendingFiles.clear();
      }
      AddOneFile(files[i]);
      if (FView) FView->ScrollRowIntoView(ListView1.Count() - 1);
      QCoreApplication::processEvents();
    }
  } catch (...) {
    // The rows added so far stay; the remaining files are not added.
  }
  Run.FAddingFiles = false;
}

void TMainController::AddOneFile(const std::string& file) {
  TAVProbe& probe = ffVCL.Probe();
  if (probe.LoadFile(file, "")) {
    const TRowTexts texts = ProbeRowTexts(probe);
    probe.CloseFile();
    ListView1.AppendProbed(file, texts, Controls.FOutputFormatName);
  } else {
    ListView1.AppendError(file);
  }
}

void TMainController::ButtonRemoveClick(const std::vector<TRowId>& selected) {
  if (Run.FAddingFiles) return;
  ListView1.Remove(selected);
}

void TMainController::ButtonClearClick() {
  if (Run.Converting || Run.FAddingFiles) return;
  Preview.StopForListChange();
  RemoveAllTasks();
  ListView1.Clear();
}

void TMainController::CheckAllItems1Click() {
  if (!ListView1.Empty()) ListView1.SetAllChecked(true);
}

void TMainController::UncheckAllItems1Click() {
  if (!ListView1.Empty()) ListView1.SetAllChecked(false);
}

void TMainController::RemoveSelectedItems1Click(const std::vector<TRowId>& selected) { ListView1.Remove(selected); }

void TMainController::RemoveAllItems1Click() { ListView1.Clear(); }

void TMainController::OpenOutputFolder1Click() {}

void TMainController::ListView1DblClick(int row) { (void)row; }

void TMainController::ListView1Check(int row, bool checked) {
  if (row >= 0 && row < ListView1.Count()) ListView1.SetChecked(row, checked);
}

// ---- output choices

void TMainController::ComboOutputFormatChange() {
  if (OutputFormatChanged(Controls)) {
    ListView1.SetColumn(ColOutput, Controls.FOutputFormatName);
    ComboOutputFormatDropDown();
  }
  Changed();
}

void TMainController::ComboOutputFormatDropDown() {
  Controls.ComboOutputFormat.DropDownCount = FOptionsCreated ? Options.SpinEdit1.Value() : FallbackDropDownCount;
}

void TMainController::TrackBar1Change(int position) {
  if (position < 0 || position >= VolumePositionCount) return;
  Run.VolumePosition = position;
  Run.ConversionVolume = ConversionVolumeFor(position);
  Changed();
}

void TMainController::ButtonBrowseForFolderClick() {
  if (Run.Converting) return;
  const QString folder = FPrompts.ChooseFolder(QStringLiteral("Please select an output folder"), FLastBrowsedFolder);
  if (folder.isEmpty()) return;
  FLastBrowsedFolder = folder;
  EditOutputFolder = ToPath(folder);
  Changed();
}

// ---- the options dialog

void TMainController::SpinEdit1Change(int value) {
  Options.SpinEdit1.SetValue(value);
  ComboOutputFormatChange();
}

void TMainController::ComboAspectRatio4Change(int index) {
  Options.ComboAspectRatio4.SetItemIndex(index);
  Controls.ComboAspectRatio.SetItemIndex(index);
  Changed();
}

void TMainController::ComboLetterBoxChange(int index) {
  // Stored with the settings; no conversion step reads it.
  Options.ComboLetterBox.SetItemIndex(index);
}

void TMainController::CheckBoxOverWriteClick(bool checked) { Options.CheckBoxOverWrite = checked; }

// ---- preview

void TMainController::ListView1SelectItem(int row) {
  if (row < 0 || row >= ListView1.Count()) return;
  Preview.RowSelected(static_cast<TPreviewRowKey>(ListView1.IdAt(row)), ToQString(ListView1.Row(row).Caption));
}

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
    FPrompts.Information(QStringLiteral("Please Add Files To Convert!"));
    return;
  }
  if (EditOutputFolder.empty()) {
    FPrompts.Information(QStringLiteral("Please select an output folder!"));
    ButtonBrowseForFolderClick();
    return;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(std::string(Trim(EditOutputFolder)), error)) {
    FPrompts.Information(QStringLiteral("The output folder \"") + ToQString(EditOutputFolder) +
                         QStringLiteral("\"\ndoes not exist or has been deleted!\nPlease choose a new output folder."));
    ButtonBrowseForFolderClick();
    return;
  }
  // The run.
  Run.Converting = true;
  TimerConvertAgain->start();
  Run.StopRequested = false;
  LockControls();
  RemoveAllTasks();
  Run.FCurrentRow = -1;
  Run.FCurrentRowId = NoRow;
  Run.FTimerTicks = 0;
  Run.RunActive = true;
  Run.JobsEnded = Run.DoneCount = Run.FailCount = Run.AbortCount = 0;
  Run.OverallPercent = 0;
  // Every job of the run converts with the choices shown now (the controls
  // stay locked until the run ends).
  TRunOptions options;
  options.OutputFolder = EditOutputFolder;
  options.Overwrite = Options.CheckBoxOverWrite;
  options.Settings = SnapshotSettings(Controls, Run.ConversionVolume);
  options.AutoAdvance = false;
  FRun->Start(options);
  FSession->InhibitSleep(QStringLiteral("Converting video files"));
  StartNextJob();
  Changed();
}

void TMainController::StartNextJob() {
  Run.ProgressPosition = 0;
  Run.FLastRowReached = false;
  Run.FQueueFinished = false;
  const TNextJob next = FRun->StartNextJob();
  Run.FCurrentRowId = FRun->CurrentJob();
  Run.FCurrentRow = ListView1.IndexOf(Run.FCurrentRowId);
  Run.FLastRowReached = FRun->LastJobReached();
  switch (next) {
    case TNextJob::NoneLeft:
      // Nothing left to visit (only unchecked rows, or the list has become
      // shorter): no job, the next tick ends the run.
      Run.Converting = false;
      Run.FQueueFinished = true;
      break;
    case TNextJob::NotAdded:
      return JobNotAdded();
    case TNextJob::Started:
      if (Run.FLastRowReached) Run.FQueueFinished = true;
      break;
  }
  Changed();
}

void TMainController::JobNotAdded() {
  TakeRunFigures();
  if (Run.FLastRowReached) return CompleteRun();
  if (!FRun->Active()) {
    // The component cannot run jobs: the run ends here, back to idle.
    TimerConvertAgain->stop();
    RemoveAllTasks();
    return ReturnToIdle();
  }
  Run.FTimerTicks = 0;
  Run.Converting = false;
  Changed();
}

void TMainController::TimerConvertAgainTimer() {
  if (Run.Converting) return;
  if (Run.FQueueFinished) return CompleteRun();
  if (++Run.FTimerTicks < 2) return;
  Run.FTimerTicks = 0;
  Run.Converting = true;
  StartNextJob();
}

bool TMainController::ConvertAgainTimerActive() const { return TimerConvertAgain->isActive(); }

void TMainController::CompleteRun() {
  TimerConvertAgain->stop();
  RemoveAllTasks();
  if (Run.RunActive) {
    // Said on the desktop too when the user is elsewhere.
    if (FView && !FView->WindowActive())
      FSession->Notify(QStringLiteral("All Conversions Completed"),
                       QStringLiteral("%1 Done, %2 Fail, %3 Abort").arg(Run.DoneCount).arg(Run.FailCount).arg(Run.AbortCount));
    FPrompts.Information(QStringLiteral("All Conversions Completed"));
  }
  ReturnToIdle();
}

void TMainController::ReturnToIdle() {
  Run.ProgressPosition = 0;
  UnlockControls();
  Run.Converting = false;
  Run.FQueueFinished = true;
  EndRunState();
  Changed();
}

void TMainController::EndRunState() {
  Run.RunActive = false;
  Run.OverallPercent = 0;
  FSession->AllowSleep();
}

void TMainController::RemoveAllTasks() { ffVCL.RemoveAllTasks(); }

void TMainController::TakeRunFigures() {
  Run.JobsEnded = FRun->EndedCount();
  Run.DoneCount = FRun->DoneCount();
  Run.FailCount = FRun->FailedCount();
  Run.AbortCount = FRun->StoppedCount();
  if (Run.RunActive) Run.OverallPercent = FRun->OverallPercent();
}

void TMainController::ButtonStopConvertClick() {
  if (Run.Converting) {
    FRun->Pause();
    // No job starts or run ends while the question is open.
    const bool timerWasActive = TimerConvertAgain->isActive();
    TimerConvertAgain->stop();
    if (!FPrompts.Question(QStringLiteral("Stop all conversions?"))) {
      FRun->Resume();
      if (timerWasActive) TimerConvertAgain->start();
      return;
    }
    Run.StopRequested = true;
  }
  Run.FQueueFinished = true;
  TimerConvertAgain->stop();
  FRun->Stop();
  Run.ProgressPosition = 0;
  UnlockControls();
  Run.Converting = false;
  if (Run.RunActive) EndRunState();
  Changed();
}

void TMainController::LockControls() {
  Run.ControlsLocked = true;
  Changed();
}

void TMainController::UnlockControls() {
  Run.ControlsLocked = false;
  Changed();
}

void TMainController::JobProgress(const TQueuedJob& job, const TJobProgress& progress) {
  ffVCLProgress(job, progress);
}

void TMainController::JobEnded(const TQueuedJob& job, bool notAdded, bool buildError) {
  if (buildError) FPrompts.Information(QStringLiteral("Fail to add file to list!"));
  ffVCLTerminate(job);
  // A job that was not added: StartNextJob goes on from there.
  if (notAdded) return;
  // Only now that the row's text is written: the timer starts the next job
  // when it sees this cleared.
  Run.Converting = false;
  if (Run.FQueueFinished && !FRun->Active()) Run.ProgressPosition = 0;
  Changed();
}

void TMainController::ffVCLProgress(const TQueuedJob& job, const TJobProgress& progress) {
  // The job's row by its identity: rows may have moved or gone.
  const int row = ListView1.IndexOf(job.Id);
  if (row < 0) return;
  Run.FCurrentRow = row;
  if (FView) FView->ScrollRowIntoView(row);
  // Without a total duration there is no percentage.
  const std::optional<int> percent = progress.Percent();
  ListView1.SetCell(row, ColProgress, percent ? std::to_string(std::clamp(*percent, 0, 100)) + "%" : "");
  Run.FileSizeText = "File Size : " + std::to_string(progress.Size);
  ListView1.SetCell(row, ColFrames, progress.FrameNumber == -1 ? " " : std::to_string(progress.FrameNumber));
  Run.ProgressPosition = std::max(percent.value_or(0), 0);
  if (Run.RunActive) Run.OverallPercent = FRun->OverallPercent();
  Changed();
}

void TMainController::ffVCLTerminate(const TQueuedJob& job) {
  // A job the run did not reach before it stopped: its row stays as it is.
  if (job.Status == TJobStatus::Skipped) return;
  const char* status = job.Status == TJobStatus::Done      ? ProgressDone
                       : job.Status == TJobStatus::Stopped ? ProgressAbort
                                                           : ProgressFail;
  // Into the job's own row, wherever it is now; nowhere when it is gone.
  if (const int row = ListView1.IndexOf(job.Id); row >= 0)
    ListView1.SetProgress(row, status, job.Status == TJobStatus::Failed ? job.Reason : "");
  TakeRunFigures();
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

void TMainController::OpenHelpFile1Click() {
  if (FDesktop.OpenUrl) FDesktop.OpenUrl(QUrl::fromLocalFile(ToQString(HelpFile())).toString());
}

void TMainController::VisitOurWebsite1Click() {
  if (FDesktop.OpenUrl) FDesktop.OpenUrl(QString::fromLatin1(MakerWebSite));
}

void TMainController::ContactSupportClick() {
  if (FDesktop.OpenUrl) FDesktop.OpenUrl(QStringLiteral("mailto:") + QString::fromLatin1(MakerSupportAddress));
}

}  // namespace fennick
