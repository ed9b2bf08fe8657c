// fennick: the converter's window. Files named on the command line (and the
// media files inside named folders) are added to the list as if chosen in
// the open dialog.
#include <QApplication>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/maker.h"
#include "app/media_preview_player.h"
#include "app/prompts.h"
#include "app/settings.h"

namespace {

const char* const Usage =
    "Usage: fennick [FILE|FOLDER]...\n"
    "Opens the Fennick Video Converter window and adds the files (and the media\n"
    "files inside the folders) to its list. Converting without a window:\n"
    "fennick-convert --help.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace fennick;
  SelectMediaBackend();
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QString::fromLatin1(SettingsOrganisation));
  QApplication::setApplicationName(QString::fromLatin1(SettingsApplication));
  QApplication::setApplicationVersion(QString::fromLatin1(ProductVersionText));
  QApplication::setDesktopFileName(QStringLiteral("fennick"));

  std::vector<std::string> files;
  bool filesOnly = false;
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (!filesOnly && (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
      std::fputs(Usage, stdout);
      return 0;
    }
    if (!filesOnly && argument == QLatin1String("--")) {
      filesOnly = true;
      continue;
    }
    files.push_back(QFile::encodeName(argument).toStdString());
  }

  TQtPrompts prompts;
  TForm1 window(prompts);
  prompts.SetParentWidget(&window);
  if (!window.FormCreate(QApplication::applicationDirPath())) return 1;
  window.show();
  if (!files.empty())
    QTimer::singleShot(0, &window, [&window, files] { window.Controller().AddFileSources(files); });
  return application.exec();
}
