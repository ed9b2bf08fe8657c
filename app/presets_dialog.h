// The "Presets" dialog: the user's saved presets by name, renamed with
// "Rename..." and deleted with "Delete" (both ask through the controller's
// prompts); the format list follows at once.
#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

namespace fennick {

class TMainController;

class TPresetsDialog : public QDialog {
  Q_OBJECT

 public:
  TPresetsDialog(TMainController& controller, QWidget* parent);

  // Shows the controller's presets again, keeping the selected name where
  // it still exists.
  void Refill();

  QListWidget* ListPresets;
  QPushButton* ButtonRename;
  QPushButton* ButtonDelete;
  QPushButton* ButtonClose;

 private:
  void AfterChange();
  TMainController& FController;
};

}  // namespace fennick
