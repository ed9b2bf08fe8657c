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

// A drop-down list that says when it is about to open.
class TDropDownComboBox : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;
  std::function<void()> OnDropDown;
  void showPopup() override;
};

// The file list's view: whole rows, grid lines, check boxes; takes files and
// folders dropped on it.
class TFileListView : public QTableView {
  Q_OBJECT

 public:
  explicit TFileListView(QWidget* parent = nullptr);
  // Local files and folders dropped on the list, in the order given.
  std::function<void(const QStringList& paths)> OnFilesDropped;
  // Drops are taken only while this holds.
  std::function<bool()> AcceptsDrops;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Space checks or unchecks the current row, whichever cell is current.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Acceptable(const QMimeData* data) const;
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

  // The list's selection: identities of the selected rows, and the row that
  // counts as "the selected one" (the current row when selected, else the
  // first selected; -1 when none).
  std::vector<TRowId> SelectedRowIds() const;
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
  QLineEdit* EditOutputFolder;
  QToolButton* ButtonBrowseForFolder;
  TFileListView* ListView1;
  QComboBox* ComboAspectRatio;  // hidden: the aspect choice jobs use
  QFrame* PanelPlay;
  QToolButton* ButtonPlay;
  QToolButton* ButtonPause;
  QToolButton* ButtonStop;
  QGroupBox* GroupVideoSettings;
  QGroupBox* GroupAudioSettings;
  QComboBox* ComboVideoBitrate;
  QComboBox* ComboVideoCodec;
  QComboBox* ComboVideoSize;
  QComboBox* ComboVideoFramerate;
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
  QAction* GoConvert1;
  QAction* Exit1;
  QAction* SetAdditionalOptions1;
  QAction* OpenHelpFile1;
  QAction* VisitOurWebsite1;
  QAction* About1;
  QMenu* PopupMenu1;
  QAction* CheckAllItems1;
  QAction* UncheckAllItems1;
  QAction* RemoveSelectedItems1;
  QAction* RemoveAllItems1;
  QAction* PlaySelectedFile1;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Pixels at 96 dpi in this screen's pixels.
  int Px(int pixels) const;
  QWidget* BuildToolStrip();
  QWidget* BuildFileList();
  QWidget* BuildBottomPanel(IPreviewPlayer*& player);
  void BuildStatusBar();
  void BuildMenus();
  void BindSettingsCombo(QComboBox* combo, TSettingsControl& control);

  std::unique_ptr<TMainController> FController;
  std::unique_ptr<TFileListModel> FListModel;
  TForm4* Form4 = nullptr;
  TFormAbout* FormAbout = nullptr;
  // Each settings drop-down with the list it shows.
  std::vector<std::pair<QComboBox*, TSettingsControl*>> FCombos;
  bool FSyncing = false;
  bool FCentred = false;
};

}  // namespace fennick
