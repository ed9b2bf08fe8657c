// Everything the main window decides, without its widgets: the format and
// settings lists, the file list and how files get into it, the options, the
// run state, the preview's state machine, start-up and shut-down. Each
// command of the window is a method named after the control and event that
// runs it; the widgets only call these and show the state. Message boxes and
// file dialogs go through IPrompts, so tests answer them.
// Lives on the user-interface thread; a conversion run (jobs/) converts the
// list's jobs, and what it tells reaches the controller through queued
// invocations (TUiQueue), in the order it happened.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/background_thread.h"
#include "app/desktop_session.h"
#include "app/file_list.h"
#include "app/options_model.h"
#include "app/preview.h"
#include "app/prompts.h"
#include "app/run_end_action.h"
#include "app/run_state.h"
#include "component/FFmpegVCL.h"
#include "jobs/conversion_run.h"
#include "jobs/presets.h"
#include "profiles/profile_settings.h"

class QSettings;
class QTimer;

namespace fennick {

class TQueueSaver;

// Runs work on the user-interface thread, from any thread, in the order it
// was posted. Work still queued when the queue goes is dropped.
class TUiQueue {
 public:
  TUiQueue();
  ~TUiQueue();
  void Post(std::function<void()> work);

 private:
  std::unique_ptr<QObject> FContext;  // lives on the thread that made the queue
};

// What the controller asks of the widgets.
class IMainView {
 public:
  virtual ~IMainView() = default;
  // Makes the row visible in the list (partial visibility suffices).
  virtual void ScrollRowIntoView(int row) = 0;
  // Something other than the list's rows changed (run flags, lists, labels,
  // folder, status bar, title): show the state again.
  virtual void StateChanged() = 0;
  // The window is the one the user works in (it has the keyboard focus).
  virtual bool WindowActive() const = 0;
};

// What leaves the program: the desktop's handling of an address, and the
// end of the application.
struct TDesktopActions {
  // Web, mail and file addresses; false when the desktop could not open it.
  std::function<bool(const QString& url)> OpenUrl;
  std::function<void()> Quit;                       // ends the application at once
};
TDesktopActions QtDesktopActions();
// Has xdg-open open an address; true once it says it did (or still works on
// it after a moment), false when it cannot be started or fails.
bool OpenWithDesktopLauncher(const QString& url);

class TMainController : private IRunListener {
  Q_DECLARE_TR_FUNCTIONS(TMainController)
  // First, so that it outlives the component whose events it carries.
  std::unique_ptr<TUiQueue> FUiQueue;

 public:
  // session: the desktop's sleep inhibit and notifications; none uses the
  // session bus's (TDBusDesktopSession).
  TMainController(IPrompts& prompts, IPreviewPlayer& player, TDesktopActions desktop = QtDesktopActions(),
                  IDesktopSession* session = nullptr);
  ~TMainController();
  TMainController(const TMainController&) = delete;
  TMainController& operator=(const TMainController&) = delete;

  void SetView(IMainView* view) { FView = view; }
  // Returns once the list's changes so far are written to its file.
  void WaitForSavedQueue();
  // The countdown and the login manager of the end-of-run action (by
  // default a message box and logind on the system bus); they must outlive
  // the controller.
  void SetRunEndServices(IEndCountdown& countdown, ILoginManager& loginManager);

  // ---- state the widgets show
  TFFmpegVCL ffVCL;
  TProfileControls Controls;  // format list, settings lists, hidden aspect list
  TOptionsModel Options;      // the options dialog's controls
  TFileList ListView1;
  TRunState Run;
  std::string EditOutputFolder;
  TPreviewController Preview;
  TBackgroundThread BackgroundThread1;

  // ---- start-up and shut-down
  // Loads the codec libraries from programFolder, then the system's; on
  // failure tells the user and returns false (the program ends). Otherwise
  // fills the format list, sets the volume to "100%", the drop-down count to
  // 25, starts the reg.sh script beside the program (detached, ignored when
  // missing), binds the component's events and restores the list saved
  // last (SavedQueuePath): a job that was converting when the program ended
  // shows "Interrupted"; a saved list that cannot be read is moved aside,
  // with a message naming the copy, and the list starts empty. From then on
  // every change of the list and of its jobs is saved.
  bool FormCreate(const std::string& programFolder);
  // The options dialog's creation: fills its lists and loads the settings.
  void OptionsFormCreate(QSettings& settings);
  // First showing of the window: applies the format the settings chose.
  void FormShow();
  // While a run converts, asks "Stop all conversions and quit?": No keeps
  // the window open, Yes stops the run as "Stop" does and waits for the
  // stopped job's file. Then detaches the component's events, stops its
  // tasks and lets the window close.
  bool FormCloseQuery();
  // The window has closed: saves the settings.
  void FormClose(QSettings& settings);
  // "Exit": ends the program at once, without saving.
  void Exit1Click();

  // ---- the file list
  void ButtonAddFileClick();
  // "Add Folder...": the media files of a chosen folder and its subfolders,
  // as dropping the folder adds them.
  void ButtonAddFolderClick();
  // Files given on the command line or dropped on the list: added like files
  // chosen in the open dialog (a folder adds the media files below it).
  void AddFileSources(const std::vector<std::string>& paths);
  // Files another start of the program handed over: added now, or, during
  // a run, once it has ended.
  void AddHandedFiles(const std::vector<std::string>& paths);
  // The background worker's start notification: asks for files (or takes the
  // given ones) and hands them to the worker, which expands folders and
  // probes each file off the user-interface thread; the rows are appended
  // here, in order, as the worker's updates and its end bring them.
  void AddFilesToList();
  void ButtonRemoveClick(const std::vector<TRowId>& selected);
  void ButtonClearClick();
  void CheckAllItems1Click();
  void UncheckAllItems1Click();
  void RemoveSelectedItems1Click(const std::vector<TRowId>& selected);
  // "Show Log": the engine's lines of the row's last conversion in this
  // session, to read and copy.
  void ShowLog1Click(int row);
  // The selected rows moved one place up (-1) or down (+1), or dropped
  // before row `to` (the list's end: its count); not during a run or an
  // add. The index of the first moved row; -1 when nothing moved.
  int MoveRowsBy(const std::vector<TRowId>& selected, int step);
  int MoveRowsTo(const std::vector<TRowId>& selected, int to);
  void RemoveAllItems1Click();
  // The check box of a row was changed in the view.
  void ListView1Check(int row, bool checked);
  // The list's "Audio Track" menu: a row's audio tracks as it lists them
  // (empty when its source has fewer than two), and the choice of one (by
  // its position there) for the row's job; not during a run.
  std::vector<std::string> AudioTrackItems(int row) const;
  void AudioTrack1Click(int row, int track);

  // ---- output choices
  void ComboOutputFormatChange();
  // An item of one of the format's lists was chosen (quality, speed ...).
  void SettingItemChange();
  void ComboOutputFormatDropDown();
  void TrackBar1Change(int position);
  void ButtonBrowseForFolderClick();
  // A folder typed or pasted into the output folder field.
  void EditOutputFolderChange(const std::string& folder);

  // ---- the options dialog
  void SpinEdit1Change(int value);
  void ComboAspectRatio4Change(int index);
  void ComboLetterBoxChange(int index);
  void ComboSubtitlesChange(int index);
  void CheckBoxOverWriteClick(bool checked);
  // The outputs' name pattern ("" is "{name}") and "Keep the folders of
  // dropped folders"; the next run names and places its outputs by them.
  void EditNamePatternChange(const std::string& pattern);
  // The name the pattern gives the selected row (the first without a
  // selection; a sample clip without rows), with the settings it converts
  // with.
  std::string NamePatternExample() const;
  // A row's expected output size ("12.3 MB") from the bit rates of the
  // settings it converts with and its duration; empty when they give none.
  // And the status bar's total over the checked rows not yet done.
  std::string ExpectedSizeOf(int row) const;
  std::string ExpectedTotalText() const;
  void CheckBoxKeepFoldersClick(bool checked);

  // ---- presets of the user's own (jobs/presets.h), offered after the
  // output formats
  std::vector<TPreset> Presets;
  // Reads the presets folder again; each file that cannot be read is told
  // (and skipped).
  void LoadPresetList();
  // "Save Settings as Preset...": asks for a name (a preset of that name is
  // replaced when the user agrees) and stores the format, its items, the
  // aspect, volume and "Video Zoom" shown now.
  void SaveSettingsAsPreset1Click();
  // A preset chosen in the format list (its position among Presets): its
  // format and every choice of it shown again.
  void ComboOutputFormatPresetChoose(int preset);
  // The presets dialog's "Rename..." (asks for the new name) and "Delete"
  // (asks first); true when the preset was renamed or deleted.
  bool PresetRenameClick(const std::string& name);
  bool PresetDeleteClick(const std::string& name);
  // The choices shown now as a job's settings.
  TJobSettings WindowSettings() const;
  // The preset whose choices are shown, until one of them is changed (the
  // format list shows its name); "" none.
  std::string ChosenPreset;

  // ---- settings pinned on rows
  // "Keep Current Settings for Selected Rows": the rows convert with the
  // choices shown now, whatever is chosen later; "Use Window Settings"
  // removes that. Not during a run.
  void KeepCurrentSettings1Click(const std::vector<TRowId>& selected);
  void UseWindowSettings1Click(const std::vector<TRowId>& selected);
  void SpinFilesAtOnceChange(int value);
  void ComboRunEndChange(int index);

  // ---- preview
  void ListView1SelectItem(int row);
  // The user scrolled the list: a run's progress no longer brings the
  // converting row into view (until the next Convert).
  void ListView1Scrolled();
  void ButtonPlayClick(int selectedRow);  // -1: no row selected
  void ButtonPauseClick();
  void ButtonStopClick();

  // ---- conversion run
  void ButtonConvertClick();
  void ButtonStopConvertClick();
  // "Pause" and "Resume" of the run (its conversions held where they are),
  // and "Stop After Current File(s)": no further file starts, the run ends
  // once those converting now are done, the rows not reached stay checked.
  void PauseConvertClick();
  void StopAfterCurrentClick();
  bool RunPaused() const;
  void LockControls();
  void UnlockControls();
  // What the run tells of a job, on the user-interface thread in the order
  // it happened: its progress, and its end (its row shows "Done", "Fail"
  // with the reason as the tip, or "Abort").
  void ffVCLProgress(const TQueuedJob& job, const TJobProgress& progress);
  void ffVCLTerminate(const TQueuedJob& job);
  // "Open Output Folder" (File menu, the list's context menu): the output
  // folder in the desktop's file manager.
  void OpenOutputFolder1Click();
  // A double click on a row: the folder of the row's output, once written.
  void ListView1DblClick(int row);
  // The window's title: the product name, led by the run's overall
  // progress while a run converts ("42% - Fennick Video Converter").
  QString WindowTitle() const;

  // ---- help
  void OpenHelpFile1Click();
  void VisitOurWebsite1Click();
  void ContactSupportClick();
  // The help page: beside the program (help/index.html), else where
  // `cmake --install` put it.
  std::string HelpFile() const;

  // The drop-down count the format list shows.
  int OutputFormatDropDownCount() const { return Controls.ComboOutputFormat.DropDownCount; }

 private:
  void Changed();
  // The settings are stored as soon as the user changes them (not only at
  // close), once those of the last session have been shown.
  void SettingsChanged();
  bool FSettingsShown = false;
  void StartAddRequest();
  // One add request's files and the worker's probe; shared with the worker,
  // which may outlive the request.
  struct TAddWork;
  // The files probed so far by the worker become rows; the status bar says
  // how many of how many.
  void TakeProbedFiles();
  // The worker's terminate notification: the last rows, then the files
  // dropped meanwhile get a worker of their own, or the add request ends.
  void AddWorkerEnded();
  void EndAddRequest();
  // Ends the add request once its worker is probing: no more rows come
  // (those not yet in the list are dropped, and so are files dropped
  // meanwhile), a probe waiting for a pipe is interrupted. FAddingFiles is
  // cleared when the worker has gone. False when there was nothing to stop.
  bool StopAddRequest();
  void DetachComponentEvents();
  // Pauses the run and asks; on No the run goes on (false).
  bool AskToStop(const QString& question);
  // The format of the window in the Output cell of every row without
  // settings of its own.
  void ShowFormatInOutputColumn();
  // Asks whether to stop the run and quit; true when the run has stopped.
  bool StopRunToQuit();
  // Has the desktop open an address; when it cannot, says so with what to
  // open by hand (`shown`: the address or the file's path).
  void OpenAddress(const QString& url, const QString& shown);
  // Removes the component's tasks (a run's are its own; what is left of a
  // stopped one goes).
  void RemoveAllTasks();
  // The run's listener.
  void JobStarted(const TQueuedJob& job) override;
  void JobProgress(const TQueuedJob& job, const TJobProgress& progress) override;
  void JobEnded(const TQueuedJob& job, bool notAdded, bool buildError) override;
  // The run is over: completed (the completion message), or stopped (the
  // status bar cleared once its last job has ended).
  void RunEnded() override;
  // Ends the run with "All Conversions Completed" (after the last job, or at
  // once when the last row's job could not be added).
  void CompleteRun();
  // Back to idle after a run: controls unlocked, no job, the bar at 0.
  void ReturnToIdle();
  // After a run that was not stopped, what the options say: quit, or
  // suspend or power off after the countdown; `summary` is the completion
  // message.
  void RunEndAction(int action, const QString& summary);
  // The list's jobs are saved soon (once for the changes of one moment), or
  // at once; a failure is told once (unless `tellFailure` is false).
  void QueueChanged();
  void SaveQueueNow(bool tellFailure = true);
  void RestoreQueue();
  // What every end of a run does: the sleep inhibit released, the title
  // back.
  void EndRunState();
  // Whether a job converts, and the run's overall progress, as the run
  // tells them.
  void TakeRunState();
  // "Converting 2 of 5": the jobs started so far among the run's.
  std::string ConvertingText(const TRunSnapshot& run) const;
  // The summary that ends a run: its counts ("3 Done, 1 Fail, 0 Abort"),
  // then the failed files and those that ended early, with their reasons;
  // RunCountsText: the counts alone.
  QString RunSummary(const TRunSnapshot& run) const;
  QString RunCountsText(const TRunSnapshot& run) const;

 public:
  // The status bar's texts in the window's language: "Converting 2 of 5",
  // "File Size : 38.1 MB", those of a paused run and of one ending after
  // its current files.
  static QString PausedStatus();
  static QString StoppingAfterStatus();
  static QString ConvertingStatus(const QString& current, const QString& total);
  static QString FileSizeStatus(const QString& size);

 private:

  IPrompts& FPrompts;
  TDesktopActions FDesktop;
  std::unique_ptr<IDesktopSession> FOwnSession;
  IDesktopSession* FSession;
  // Saves the list's jobs once the changes of the moment are made.
  std::unique_ptr<QTimer> FQueueSave;
  // Writes those saves off this thread; its results come back through
  // FUiQueue.
  std::unique_ptr<TQueueSaver> FQueueSaver;
  // Where the list is kept; empty: not kept (no data folder, or a damaged
  // file that could not be moved aside).
  std::string FQueuePath;
  bool FQueueSaveFailed = false;
  // Tells the first failure to save the list (and none after it until a save
  // succeeds again); `tell` false: says nothing.
  void QueueSaved(const std::string& error, bool tell);
  // Conversions of the current run at once.
  int FRunConcurrency = 1;
  // The list shows the converting row, until the user scrolls or selects
  // another row.
  bool FFollowRunningRow = true;
  std::unique_ptr<IEndCountdown> FOwnCountdown;
  std::unique_ptr<ILoginManager> FOwnLoginManager;
  IEndCountdown* FCountdown;
  ILoginManager* FLoginManager;
  // The conversion run over the list's jobs; made once the codec libraries
  // are loaded.
  std::unique_ptr<TConversionRun> FRun;
  // When the current job started, for its speed and time left.
  std::chrono::steady_clock::time_point FJobStart;
  IMainView* FView = nullptr;
  std::string FProgramFolder;
  // The folder picked at the folder dialog's last successful use.
  QString FLastBrowsedFolder;
  QString FLastAddedFolder;
  std::vector<std::string> FHandedFiles;  // handed over during a run
  void TakeHandedFiles();
  TRowId FSelectedRow = 0;  // the row selected last, 0 none
  // Bit rates by the settings' text: the lists are not filled again for
  // every row.
  mutable std::map<std::string, std::optional<int64_t>> FRates;
  std::optional<int64_t> RateOf(const TJobSettings& settings) const;
  // The job's expected bytes: its own settings' rate when pinned, else the
  // window's.
  std::optional<int64_t> ExpectedBytes(const TQueuedJob& job, const std::optional<int64_t>& windowRate) const;  // where "Add Folder..." starts
  // Files waiting for the running add request (dropped or given on the
  // command line); empty: the add request asks with the open dialog.
  std::vector<std::string> FPendingFiles;
  // The running add request's work, once its files are known; none otherwise.
  std::shared_ptr<TAddWork> FAddWork;
  // Of the running add request: rows appended, files found by the workers
  // that have ended, and the status text it replaced.
  int FAddedFiles = 0;
  int FFoundFiles = 0;
  std::string FStatusBeforeAdding;
  bool FOptionsCreated = false;
  bool FShown = false;
};

}  // namespace fennick
