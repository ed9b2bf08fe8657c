// The window program's command line: files and folders to add to the list,
// or a request for the usage text or the version.
#pragma once

#include <QStringList>

#include <string>
#include <vector>

namespace fennick {

struct TWindowArguments {
  bool Help = false;     // "--help" or "-h"
  bool Version = false;  // "--version"
  // Every other argument, in order, made absolute against the current
  // folder ("--" ends the options: all after it are names, also ones that
  // begin with "-").
  std::vector<std::string> Files;
};

// arguments as QCoreApplication::arguments() gives them (program first).
TWindowArguments ParseWindowArguments(const QStringList& arguments);

extern const char* const WindowUsage;
// The --version line: the program's name and the project's version.
extern const char* const WindowVersion;

}  // namespace fennick
