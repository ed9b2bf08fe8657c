// fennick: the converter's window. Files named on the command line (and the
// media files inside named folders) are added to the list as if chosen in
// the open dialog.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/maker.h"
#include "app/media_preview_player.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/single_instance.h"
#include "app/translations.h"

int main(int argc, char** argv) {
  using namespace fennick;
  // The usage text and the version need no display: answered before the application exists.
  QStringList given;
  for (int i = 0; i < argc; ++i) given << QString::fromLocal8Bit(argv[i]);
  const TWindowArguments early = ParseWindowArguments(given);
  if (early.Help || early.Version) {
    std::fputs(early.Help ? WindowUsage : WindowVersion, stdout);
    return 0;
  }

  SelectMediaBackend();
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QString::fromLatin1(SettingsOrganisation));
  QApplication::setApplicationName(QString::fromLatin1(SettingsApplication));
  QApplication::setApplicationVersion(QString::fromLatin1(ProductVersionText));
  QApplication::setDesktopFileName(QStringLiteral("fennick"));
  // The window speaks the desktop's language where a catalogue has it.
  InstallTranslations(application, QApplication::applicationDirPath());

  // The arguments the application leaves (it takes its own, such as -style).
  const TWindowArguments arguments = ParseWindowArguments(QApplication::arguments());

  // One window per session: a window already open takes the files (named
  // as from here) and comes to the front; this start ends.
  QStringList files;
  for (const std::string& file : arguments.Files)
    files << QFileInfo(QFile::decodeName(file.c_str())).absoluteFilePath();
  bool handedOver = false;
  const std::unique_ptr<TSingleInstance> instance = TSingleInstance::Claim(files, handedOver);
  if (handedOver) return 0;

  TQtPrompts prompts;
  TForm1 window(prompts);
  prompts.SetParentWidget(&window);
  if (!window.FormCreate(QApplication::applicationDirPath())) return 1;
  window.show();
  if (instance) {
    instance->OnFiles = [&window](const QStringList& handed) {
      std::vector<std::string> paths;
      for (const QString& file : handed) paths.push_back(QFile::encodeName(file).toStdString());
      window.Controller().AddHandedFiles(paths);
      if (window.isMinimized()) window.showNormal();
      window.raise();
      window.activateWindow();
    };
  }
  if (!arguments.Files.empty())
    QTimer::singleShot(0, &window, [&window, files = arguments.Files] { window.Controller().AddFileSources(files); });
  return application.exec();
}
