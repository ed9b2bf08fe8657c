// The small commands and what every command shares.
#include "cli/commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <vector>

#include "component/FFmpegVCL.h"
#include "jobs/presets.h"
#include "profiles/output_formats.h"

namespace fennick::cli {

bool LoadCodecs(TFFmpegVCL& vcl) {
  // An empty folder: the system's library search finds the installed ones.
  if (vcl.LoadCodecLibraries("", true)) return true;
  std::fprintf(stderr, "fennick-convert: cannot load the codec libraries: %s\n", vcl.LastError().c_str());
  return false;
}

int ListFormatsCommand() {
  for (const std::string& name : OfferedOutputFormats()) std::cout << name << "\n";
  // The user's own presets after the catalogue, for --preset NAME.
  const TPresetList presets = LoadPresets();
  for (const std::string& problem : presets.Problems) std::fprintf(stderr, "fennick-convert: %s\n", problem.c_str());
  if (!presets.Presets.empty()) {
    std::cout << "Presets:\n";
    for (const TPreset& preset : presets.Presets) std::cout << preset.Name << "\n";
  }
  std::cout.flush();
  return ExitOk;
}

int ListShortNamesCommand() {
  std::vector<std::string> names;
  for (const std::string& display : OfferedOutputFormats()) {
    std::string name(LookupOutputFormat(display)->FormatName);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  for (const std::string& name : names) std::cout << name << "\n";
  std::cout.flush();
  return ExitOk;
}

}  // namespace fennick::cli
