#include "qt_test_support.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QSettings>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "app/media_preview_player.h"
#include "test_support.h"

namespace fennick::test {

namespace {

// Lives until the process ends; removes the folder then.
std::unique_ptr<TempDir>& SettingsDir() {
  static std::unique_ptr<TempDir> dir;
  return dir;
}

}  // namespace

void PrepareQtTestProcess() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  SelectMediaBackend();
  SettingsDir() = std::make_unique<TempDir>();
  const QString folder = QString::fromStdString(SettingsDir()->path().string());
  // QSettings on Linux reads $XDG_CONFIG_HOME; setPath covers the formats
  // whatever that says.
  qputenv("XDG_CONFIG_HOME", folder.toLocal8Bit());
  // The window's saved list lives below it too, so that ClearSettings
  // also forgets the list and no test finds another's rows.
  qputenv("XDG_DATA_HOME", (folder + QStringLiteral("/data")).toLocal8Bit());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
  QCoreApplication::setOrganizationName(QStringLiteral("Quarvel"));
  QCoreApplication::setApplicationName(QStringLiteral("Fennick Video Converter"));
}

QString SettingsFolder() {
  return SettingsDir() ? QString::fromStdString(SettingsDir()->path().string()) : QString();
}

void ClearSettings() {
  const QString folder = SettingsFolder();
  if (folder.isEmpty()) return;
  QDir dir(folder);
  for (const QString& entry : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
    QFileInfo info(dir.filePath(entry));
    if (info.isDir())
      QDir(info.filePath()).removeRecursively();
    else
      QFile::remove(info.filePath());
  }
}

QString SaveScreenshot(QWidget& widget, const QString& name) {
  if (!widget.isVisible()) {
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget)) return {};
  }
  QCoreApplication::processEvents();
  const QDir folder(QStringLiteral(FENNICK_SCREENSHOT_DIR));
  if (!folder.mkpath(QStringLiteral("."))) return {};
  const QString path = folder.filePath(name + QStringLiteral(".png"));
  return widget.grab().save(path, "PNG") ? path : QString();
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds cap) {
  const auto deadline = std::chrono::steady_clock::now() + cap;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

void Choose(QComboBox& combo, const QString& text) {
  const int index = combo.findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  combo.setCurrentIndex(index);
  emit combo.activated(index);
}

}  // namespace fennick::test
