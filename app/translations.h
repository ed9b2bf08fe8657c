// The window in the desktop's language: the program's catalogue
// (translations/fennick_<language>.qm) and Qt's own (the standard dialogs'
// buttons), and the window's view of the fixed texts the Qt-free layers
// give it (row states, settings items, column captions), which stay
// English wherever the code and the saved files use them.
#pragma once

#include <QString>

#include <string>

class QCoreApplication;

namespace fennick {

// Installs the translators for QLocale::system()'s languages: the catalogue
// from `programFolder`/translations (the build tree) or
// `programFolder`/../share/fennick/translations (installed), and Qt's
// qtbase catalogue. English needs none. Call before the window is made.
// Returns whether the program's catalogue was found for the language.
bool InstallTranslations(QCoreApplication& application, const QString& programFolder);

// A fixed English text of the jobs and profiles, as the window shows it
// (context "fennick"); texts the catalogue does not hold, such as numbers,
// come back as they are.
QString DisplayText(const std::string& text);

}  // namespace fennick
