// The "Additional Options" dialog: "Video Zoom", aspect and subtitle
// choices, the overwrite switch, the drop-down length, the output name
// pattern and whether added folders' subfolders are kept. Every change takes effect at
// once; "Done" keeps them, Escape (or the close box) puts back what was in
// force when the dialog opened. Its creation loads the settings into it and
// into the main window.
#pragma once

#include <QDialog>

#include "app/options_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace fennick {

class TMainController;

class TForm4 : public QDialog {
  Q_OBJECT

 public:
  TForm4(TMainController& controller, QWidget* parent);

  // Shows the options' state again.
  void Sync();

  QComboBox* ComboLetterBox;
  QComboBox* ComboAspectRatio4;
  QComboBox* ComboSubtitles;
  QCheckBox* CheckBoxOverWrite;
  QSpinBox* SpinEdit1;
  // The outputs' name pattern and "Keep the folders of dropped folders".
  QLineEdit* EditNamePattern;
  QLabel* LabelNameTokens;   // the pattern's tokens
  QLabel* LabelNameExample;  // the name it gives the selected row
  QCheckBox* CheckBoxKeepFolders;
  QSpinBox* SpinFilesAtOnce;  // "Convert up to N files at once"
  QComboBox* ComboRunEnd;     // "When the run ends:"
  QPushButton* Button1;  // "Done"

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The name pattern's example, for the row selected in the window.
  void ShowNameExample();
  TMainController& FController;
  bool FSyncing = false;
  // What was in force when the dialog opened: its options and the main
  // window's aspect choice.
  TOptionsModel FOpened;
  int FOpenedAspect = 0;
  QSize FSmallest;  // 427 x 313 pixels at 96 dpi
};

}  // namespace fennick
