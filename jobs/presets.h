// Presets of the user's own: an output format with its settings items,
// aspect, volume and "Video Zoom", saved under a name. One JSON file per
// preset in the presets folder; the window offers them after the output
// formats, fennick-convert takes them with --preset NAME.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jobs/job_queue.h"

namespace fennick {

struct TPreset {
  std::string Name;
  TJobSettings Settings;
};

// $XDG_CONFIG_HOME/fennick/presets, or ~/.config/fennick/presets when it
// is not set (or not an absolute path).
std::string PresetsFolder();

// The preset file's name for a preset name: letters, digits, "-", "_" and
// blanks kept, every other byte as "%XX", then ".json" ("My MP3s/2" is
// "My MP3s%2F2.json"), so that any name makes one file in the folder.
std::string PresetFileName(const std::string& name);

// Why a name cannot be a preset's ("" it can): empty or only blanks, or so
// long its file name would not fit.
std::string PresetNameProblem(const std::string& name);

struct TPresetList {
  std::vector<TPreset> Presets;   // sorted by name
  // One line per preset file that could not be read: "\"FILE\" is damaged:
  // REASON; skipped".
  std::vector<std::string> Problems;
};

// The presets of the folder (none when it does not exist).
TPresetList LoadPresets(const std::string& folder = PresetsFolder());

// The preset named `name` exactly; else the one whose name matches it in
// any letter case when there is just one.
const TPreset* FindPreset(const std::vector<TPreset>& presets, const std::string& name);

// Writes the preset's file (the folder is made when missing), whole or not
// at all; one of the same name is replaced. False with the reason.
bool SavePreset(const TPreset& preset, std::string& error, const std::string& folder = PresetsFolder());
// Gives the preset another name (its file follows). False with the reason
// (no such preset, a preset of the new name exists, a bad name).
bool RenamePreset(const std::string& name, const std::string& newName, std::string& error,
                  const std::string& folder = PresetsFolder());
bool DeletePreset(const std::string& name, std::string& error, const std::string& folder = PresetsFolder());

}  // namespace fennick
