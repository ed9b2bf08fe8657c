// The command line of fennick-convert: what the user asked for, checked for
// form only (names of formats and settings items are checked against the
// catalogue when the run starts).
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "profiles/profile_settings.h"

namespace fennick::cli {

// A malformed command line; the message says what is wrong. Exit status 2.
class EUsageError : public std::runtime_error {
 public:
  explicit EUsageError(const std::string& message) : std::runtime_error(message) {}
};

enum class TCliMode { Convert, ListFormats, ListShortNames, ListSettings, Probe, Engine, Help, Version };

// One step of --engine: an option with its value (empty for a switch), an
// input ("-i FILE") or an output.
struct TEngineStep {
  enum TKind { Option, Input, Output } Kind;
  std::string Name;   // option name without "-"
  std::string Value;  // option value or file name
};

struct TCliArguments {
  TCliMode Mode = TCliMode::Convert;
  std::string FormatName;  // as given to -f or --list-settings; empty: MP4
  std::string OutputFolder = ".";
  bool Overwrite = false;
  std::vector<std::pair<std::string, std::string>> Settings;  // --set CONTROL=ITEM, in order
  std::string Aspect = "Original";
  int VolumePercent = 100;  // 0..200
  std::string AudioTrack;  // --audio-track N|LANG; empty: the source's default track
  std::string Subtitles = "keep";  // --subtitles keep|none|FILE
  int ZoomIndex = 0;        // --zoom: 0 none, 1 letterbox
  bool NoMetadata = false;  // --no-metadata: no tags, chapters or cover
  bool Json = false;
  // --threads: codec threads per conversion, 0 = the machine's (the
  // libraries' automatic choice), 1 = every codec on the task's thread;
  // -1 (not given): the machine's, shared among the files converted at
  // once (the run's SharedCodecThreads).
  int Threads = -1;
  int Jobs = 1;  // -j: files converted at once
  // --preset NAME: a saved preset's format and settings (jobs/presets.h);
  // --set, --aspect, --volume and --zoom given beside it change them.
  std::string Preset;
  bool AspectGiven = false, VolumeGiven = false, ZoomGiven = false;
  std::string NamePattern;   // --name PATTERN (jobs/name_pattern.h); empty: the sources' names
  bool KeepFolders = false;  // --keep-folders: a FILE folder's subfolders made again under -o
  std::vector<std::string> Files;
  std::vector<TEngineStep> EngineSteps;
};

// Parses argv[1..]. Raises EUsageError.
TCliArguments ParseArguments(const std::vector<std::string>& args);
std::vector<TEngineStep> ParseEngineArguments(const std::vector<std::string>& args);

// The --help text.
std::string HelpText();
// The --version line: the program's name and the project's version.
std::string VersionText();

}  // namespace fennick::cli
