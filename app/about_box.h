// The about box: the program's icon, name and version, a link to the maker's
// web site and one that writes to its support address, and "OK".
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace fennick {

class TMainController;

class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  TFormAbout(TMainController& controller, QWidget* parent);

  QLabel* LabelProduct;
  QLabel* LabelVersion;
  QLabel* LinkWebSite;  // "Visit our Website"
  QLabel* LinkSupport;  // "Contact Support Department"
  QPushButton* ButtonOK;
};

}  // namespace fennick
