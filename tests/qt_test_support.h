// Set-up of the Qt test programs: the application on the offscreen
// platform, settings in a folder of the test's own, screenshots.
// The programs get their main() from qt_test_main.cpp, which makes the
// application before any test runs.
#pragma once

#include <QString>

class QComboBox;

#include <chrono>
#include <functional>

#include "app/preview.h"
#include "test_support.h"

class QWidget;

namespace fennick::test {

// Called by main() before the QApplication exists: the offscreen platform
// (whatever the environment says), the media backend the program uses, the
// program's organisation and application names, and QSettings (and the XDG
// config and data folders) pointed at a fresh temporary folder removed at
// exit.
void PrepareQtTestProcess();

// The folder the settings of this test program live in.
QString SettingsFolder();
// Removes every stored setting and the saved file list, so that the next
// reading is a first start.
void ClearSettings();

// Shows the widget if it is not shown yet, lets it lay itself out and paint,
// and saves its picture as <build>/screenshots/<name>.png (the folder is
// made when missing). Returns the file's path; empty when it could not be
// written.
QString SaveScreenshot(QWidget& widget, const QString& name);

// Runs the event loop until `done` holds; false when it still does not after
// `cap`.
bool WaitFor(const std::function<bool()>& done, std::chrono::seconds cap = kConversionCap);

// A preview player that plays nothing, for windows whose preview a test
// does not look at.
class TSilentPlayer : public IPreviewPlayer {
 public:
  void SetFileName(const QString&) override {}
  void Play() override {}
  void Pause() override {}
  void Stop() override {}
};

// A drop-down chosen as the user does: the item by the text it shows, then
// its activation.
void Choose(QComboBox& combo, const QString& text);

}  // namespace fennick::test
