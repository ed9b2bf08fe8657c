// fennick: the converter's window. Files named on the command line (and the
// media files inside named folders) are added to the list as if chosen in
// the open dialog.
#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/maker.h"
#include "app/media_preview_player.h"
#include "app/prompts.h"
#include "app/settings.h"
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

  TQtPrompts prompts;
  TForm1 window(prompts);
  prompts.SetParentWidget(&window);
  if (!window.FormCreate(QApplication::applicationDirPath())) return 1;
  window.show();
  if (!arguments.Files.empty())
    QTimer::singleShot(0, &window, [&window, files = arguments.Files] { window.Controller().AddFileSources(files); });
  return application.exec();
}
