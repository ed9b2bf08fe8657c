// Everything the main window decides, without its widgets: the format and
// settings lists, the file list and how files get into it, the options, the
// run state, the preview's state machine, start-up and shut-down. Each
// command of the window is a method named after the control and event that
// runs it; the widgets only call these and show the state. Message boxes and
// file dialogs go through IPrompts, so tests answer them.
// Lives on the user-interface thread; the component's events reach it
// through queued invocations (TUiQueue), in the order they happened.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/background_thread.h"
#include "app/file_list.h"
#include "app/options_model.h"
#include "app/preview.h"
#include "app/prompts.h"
#include "app/run_state.h"
#include "component/FFmpegVCL.h"
#include "profiles/profile_settings.h"

class QSettings;

namespace fennick {

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
  // folder, status bar): show the state again.
  virtual void StateChanged() = 0;
};

// What leaves the program: the desktop's handling of an address, and the
// end of the application.
struct TDesktopActions {
  std::function<void(const QString& url)> OpenUrl;  // web, mail and file addresses
  std::function<void()> Quit;                       // ends the application at once
};
TDesktopActions QtDesktopActions();

class TMainController {
  // First, so that it outlives the component whose events it carries.
  std::unique_ptr<TUiQueue> FUiQueue;

 public:
  TMainController(IPrompts& prompts, IPreviewPlayer& player, TDesktopActions desktop = QtDesktopActions());
  ~TMainController();
  TMainController(const TMainController&) = delete;
  TMainController& operator=(const TMainController&) = delete;

  void SetView(IMainView* view) { FView = view; }

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
  // missing) and binds the component's events.
  bool FormCreate(const std::string& programFolder);
  // The options dialog's creation: fills its lists and loads the settings.
  void OptionsFormCreate(QSettings& settings);
  // First showing of the window: applies the format the settings chose.
  void FormShow();
  // False while converting (the window stays open); otherwise detaches the
  // component's events and stops its tasks.
  bool FormCloseQuery();
  // The window has closed: saves the settings.
  void FormClose(QSettings& settings);
  // "Exit": ends the program at once, without saving.
  void Exit1Click();

  // ---- the file list
  void ButtonAddFileClick();
  // Files given on the command line or dropped on the list: added like files
  // chosen in the open dialog (a folder adds the media files below it).
  void AddFileSources(const std::vector<std::string>& paths);
  // The background worker's start notification: asks for files (or takes the
  // given ones) and appends a row for each.
  void AddFilesToList();
  void ButtonRemoveClick(const std::vector<TRowId>& selected);
  void ButtonClearClick();
  void CheckAllItems1Click();
  void UncheckAllItems1Click();
  void RemoveSelectedItems1Click(const std::vector<TRowId>& selected);
  void RemoveAllItems1Click();
  // The check box of a row was changed in the view.
  void ListView1Check(int row, bool checked);

  // ---- output choices
  void ComboOutputFormatChange();
  void ComboOutputFormatDropDown();
  void TrackBar1Change(int position);
  void ButtonBrowseForFolderClick();

  // ---- the options dialog
  void SpinEdit1Change(int value);
  void ComboAspectRatio4Change(int index);
  void ComboLetterBoxChange(int index);
  void CheckBoxOverWriteClick(bool checked);

  // ---- preview
  void ListView1SelectItem(int row);
  void ButtonPlayClick(int selectedRow);  // -1: no row selected
  void ButtonPauseClick();
  void ButtonStopClick();

  // ---- conversion run
  void ButtonConvertClick();
  void ButtonStopConvertClick();
  void LockControls();
  void UnlockControls();
  // The component's events, on the user-interface thread in arrival order.
  void ffVCLProgress(int AIndex, int AFrameNumber, int ACurrentDuration, int64_t ACurrentSize,
                     int ATotalOutputDuration);
  void ffVCLTerminate(int AIndex, bool AFinished, bool AException, const std::string& AMessage);

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
  void StartAddRequest();
  void AddOneFile(const std::string& file);
  void BindComponentEvents();
  void DetachComponentEvents();

  IPrompts& FPrompts;
  TDesktopActions FDesktop;
  IMainView* FView = nullptr;
  std::string FProgramFolder;
  // The folder picked at the folder dialog's last successful use.
  QString FLastBrowsedFolder;
  // Files waiting for the running add request (dropped or given on the
  // command line); empty: the add request asks with the open dialog.
  std::vector<std::string> FPendingFiles;
  bool FOptionsCreated = false;
  bool FShown = false;
};

}  // namespace fennick
