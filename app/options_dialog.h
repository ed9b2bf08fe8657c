// The "Additional Options" dialog: "Video Zoom" and aspect choices, the
// overwrite switch and the drop-down length. Every change takes effect at
// once (there is no cancel); "Done" closes it. Its creation loads the
// settings into it and into the main window.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
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
  QCheckBox* CheckBoxOverWrite;
  QSpinBox* SpinEdit1;
  QPushButton* Button1;  // "Done"

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TMainController& FController;
  bool FSyncing = false;
};

}  // namespace fennick
