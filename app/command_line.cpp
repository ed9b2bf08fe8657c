#include "app/command_line.h"

#include <QFile>

#include <filesystem>

#include "fennick_version.h"

namespace fennick {

const char* const WindowUsage =
    "Usage: fennick [FILE|FOLDER]...\n"
    "Opens the Fennick Video Converter window and adds the files, and the media\n"
    "files inside the folders and their subfolders, to its list.\n"
    "To convert without a window: fennick-convert --help\n"
    "\n"
    "Options:\n"
    "  -h, --help              this text\n"
    "  --version               the program's version\n"
    "  --                      every argument after it is a file or folder name,\n"
    "                          also one that begins with \"-\"\n";

const char* const WindowVersion = "fennick " FENNICK_VERSION "\n";

TWindowArguments ParseWindowArguments(const QStringList& arguments) {
  TWindowArguments result;
  bool namesOnly = false;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (!namesOnly && (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
      result.Help = true;
    } else if (!namesOnly && argument == QLatin1String("--version")) {
      result.Version = true;
    } else if (!namesOnly && argument == QLatin1String("--")) {
      namesOnly = true;
    } else {
      // Relative to the folder the program was started in.
      const std::string name = QFile::encodeName(argument).toStdString();
      std::error_code error;
      const std::filesystem::path absolute = std::filesystem::absolute(name, error);
      result.Files.push_back(error || name.empty() ? name : absolute.string());
    }
  }
  return result;
}

}  // namespace fennick
