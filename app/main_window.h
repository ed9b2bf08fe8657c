// The main window "Fennick Video Converter": the tool strip with the large
// buttons and the output choices, the file list, the preview pane, the video
// and audio settings, the status bar, the menus. A view over
// TMainController: every control calls the controller's command of the same
// name, and StateChanged shows the controller's state again.
#pragma once

#include <QComboBox>
#include <QMainWindow>
#include <QTableView>

#include <functional>
#include <memory>
#include <vector>

#include "app/main_controller.h"

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSlider;
class QToolButton;

namespace fennick {

class TFileListModel;
class TForm4;
class TFormAbout;
class TPresetsDialog;

// A drop-down list as wide as its widest item, also of the items it may be
// given later (FitTexts: the same list's items for other output formats),
// so that a change of items never cuts one nor moves the layout. Its open
// list shows maxVisibleItems() entries under every style (some styles would
// otherwise show every entry over the control).
class TSettingsComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TSettingsComboBox(QWidget* parent = nullptr);
  QStringList FitTexts;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 private:
  QSize FitEveryText(QSize hint) const;
};

// A drop-down list that says when it is about to open.
class TDropDownComboBox : public TSettingsComboBox {
  Q_OBJECT

 public:
  using TSettingsComboBox::TSettingsComboBox;
  std::function<void()> OnDropDown;
  void showPopup() override;
};

// The file list's view: whole rows, grid lines, check boxes; takes files and
// folders dropped on it. One stop of the Tab key: Tab leaves it.
class TFileListView : public QTableView {
  Q_OBJECT

 public:
  explicit TFileListView(QWidget* parent = nullptr);
  // Local files and folders dropped on the list, in the order given.
  std::function<void(const QStringList& paths)> OnFilesDropped;
  // Drops are taken only while this holds.
  std::function<bool()> AcceptsDrops;
  // The selected rows dragged within the list and dropped before row
  // `before` (the row count: after the last).
  std::function<void(int before)> OnRowsDropped;
  // What a drag of the list's own rows carries.
  static constexpr const char* RowsMimeType = "application/x-fennick-rows";
  // Widens each column from first to last that is narrower than its texts
  // in rows firstRow to lastRow (-1: the last row) (the first column, which
  // takes the width the others leave, aside).
  void WidenColumnsToTexts(int first, int last, int firstRow = 0, int lastRow = -1);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  // Space checks or unchecks the current row, whichever cell is current.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Acceptable(const QMimeData* data) const;
  bool OwnRows(const QDropEvent* event) const;
};

class TForm1 : public QMainWindow, public IMainView {
  Q_OBJECT

 public:
  // player: the preview's player; none makes the window's own Qt Multimedia
  // player in the preview pane.
  // session: the desktop's sleep inhibit and notifications; none: the
  // session bus's.
  explicit TForm1(IPrompts& prompts, IPreviewPlayer* player = nullptr, TDesktopActions desktop = QtDesktopActions(),
                  IDesktopSession* session = nullptr);
  ~TForm1() override;

  // Start-up after the widgets exist: loads the codec libraries from
  // programFolder (false after telling the user when they cannot be
  // loaded: the program ends), then creates the about box and the options
  // dialog, whose creation loads the settings.
  bool FormCreate(const QString& programFolder);

  TMainController& Controller() { return *FController; }
  // The "Additional Options" dialog and the about box (after FormCreate).
  TForm4& OptionsDialog() { return *Form4; }
  TFormAbout& AboutBox() { return *FormAbout; }
  // The "Presets" dialog (made at its first use), filled with the presets.
  TPresetsDialog& PresetsDialog();

  // The list's selection: identities of the selected rows, and the row that
  // counts as "the selected one" (the current row when selected, else the
  // first selected; -1 when none).
  std::vector<TRowId> SelectedRowIds() const;
  // The selected rows moved one place up (-1) or down (+1), kept selected.
  void MoveSelectedRows(int step);
  // Selects the rows, the one at `first` current and in view (none below 0).
  void SelectRows(const std::vector<TRowId>& ids, int first);
  int SelectedRow() const;

  // IMainView
  void ScrollRowIntoView(int row) override;
  void StateChanged() override;
  bool WindowActive() const override;

  // ---- controls, named as the commands name them
  QToolButton* ButtonAddFile;
  QToolButton* ButtonRemove;
  QToolButton* ButtonClear;
  QToolButton* ButtonStopConvert;
  QToolButton* ButtonConvert;
  TDropDownComboBox* ComboOutputFormat;
  QLineEdit* EditOutputFolder;  // typed, pasted or chosen with the button
  QToolButton* ButtonBrowseForFolder;
  TFileListView* ListView1;
  QComboBox* ComboAspectRatio;  // hidden: the aspect choice jobs use
  QFrame* PanelPlay;
  QToolButton* ButtonPlay;
  QToolButton* ButtonPause;
  QToolButton* ButtonStop;
  QSlider* PreviewPosition;   // where the preview plays; moves it
  QLabel* LabelPreviewTime;   // "00:00:12 / 00:02:00"
  QGroupBox* GroupVideoSettings;
  QGroupBox* GroupAudioSettings;
  QComboBox* ComboVideoBitrate;
  QComboBox* ComboVideoCodec;
  QComboBox* ComboVideoSize;
  QComboBox* ComboVideoFramerate;
  // "Encoder Speed :" with its list, shown only for the formats that offer
  // one (the formats of today); the classic formats' group keeps its four.
  QLabel* LabelEncoderSpeed;
  QComboBox* ComboEncoderSpeed;
  QComboBox* ComboAudioBitrate;
  QComboBox* ComboAudioCodec;
  QComboBox* ComboAudioChannels;
  QComboBox* ComboSamplingRate;
  QSlider* TrackBar1;
  QLabel* LabelVolume;
  QLabel* StatusPanelReady;     // panel 0
  QLabel* StatusPanelFileSize;  // panel 1
  QProgressBar* ProgressBar1;   // panel 2
  QMenu* MenuFile;
  QMenu* MenuOptions;
  QMenu* MenuHelp;
  QAction* AddFile1;
  QAction* AddFolder1;  // also on the Add File button's arrow
  // On the Stop button's arrow, during a run: "Pause"/"Resume" and "Stop
  // After Current File(s)" beside "Stop Now" (the button's own click).
  QAction* ShowLog1 = nullptr;   // the row's conversion log
  QAction* MoveUp1 = nullptr;    // the selected rows one place up (Ctrl+Up)
  QAction* MoveDown1 = nullptr;  // and down (Ctrl+Down)
  QAction* StopNow1 = nullptr;
  QAction* PauseConvert1 = nullptr;
  QAction* StopAfterCurrent1 = nullptr;
  QAction* GoConvert1;
  QAction* OpenOutputFolder1;
  QAction* Exit1;
  QAction* SetAdditionalOptions1;
  QAction* SaveSettingsAsPreset1;  // "Save Settings as Preset..."
  QAction* Presets1;               // "Presets...": rename and delete
  QAction* OpenHelpFile1;
  QAction* VisitOurWebsite1;
  QAction* About1;
  QMenu* PopupMenu1;
  QAction* CheckAllItems1;
  QAction* UncheckAllItems1;
  QAction* RemoveSelectedItems1;
  QAction* RemoveAllItems1;
  QAction* PlaySelectedFile1;
  QAction* OpenOutputFolder2;  // the list's "Open Output Folder"
  // The list's "Audio Track": the tracks of the row under the pointer,
  // shown for a source of several.
  QMenu* AudioTrack1;
  // The list's pins: the window's choices kept on the selected rows, and
  // taken off again.
  QAction* KeepCurrentSettings1;
  QAction* UseWindowSettings1;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Pixels at 96 dpi in this screen's pixels.
  int Px(int pixels) const;
  // The sizes that follow the font: large buttons, status panels, the
  // list's rows and columns, labels whose text changes. Run again when the
  // font or the style changes.
  void FitSizesToTexts();
  // The first showing: the size and position kept from the last start, or
  // the size the layouts give at this font (at least the window's size at
  // 96 dpi), within the screen, centred.
  void PlaceWindow();
  // Keeps the size, position and column widths for the next start.
  void SaveWindowLayout();
  void ShowPreviewTime(qint64 position, qint64 duration);
  QWidget* BuildToolStrip();
  QWidget* BuildFileList();
  QWidget* BuildBottomPanel(IPreviewPlayer*& player);
  void BuildStatusBar();
  void BuildMenus();
  void BindSettingsCombo(QComboBox* combo, TSettingsControl& control);
  // Fills "Audio Track" with the tracks of list row `row`.
  void FillAudioTrackMenu(int row);

  std::unique_ptr<TMainController> FController;
  IPreviewPlayer* FPlayer = nullptr;
  std::unique_ptr<TFileListModel> FListModel;
  TForm4* Form4 = nullptr;
  TFormAbout* FormAbout = nullptr;
  TPresetsDialog* FormPresets = nullptr;
  // Each settings drop-down with the list it shows.
  std::vector<std::pair<QComboBox*, TSettingsControl*>> FCombos;
  bool FSyncing = false;
  // ScrollRowIntoView is moving the list (not the user).
  bool FScrollingToRow = false;
  bool FBuilt = false;  // every control exists
  bool FPlaced = false;
  bool FPreviewSyncing = false;
};

}  // namespace fennick
