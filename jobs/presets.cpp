#include "jobs/presets.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "util/json.h"
#include "util/text_util.h"

namespace fennick {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileKind = "fennick-preset";
constexpr int64_t kFileVersion = 1;
constexpr const char* kExtension = ".json";
// A file name within the 255 bytes of one name, with room for the
// temporary name it is written under first.
constexpr size_t kMaxFileName = 230;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string PresetText(const TPreset& preset) {
  TJsonObject json;
  json.Add("kind", kFileKind).Add("version", kFileVersion).Add("name", preset.Name).AddRaw(
      "settings", JobSettingsJson(preset.Settings));
  return json.Text() + "\n";
}

// The preset in a file, or the reason it cannot be read.
std::optional<TPreset> ReadPresetFile(const fs::path& file, std::string& reason) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    reason = std::strerror(errno);
    return std::nullopt;
  }
  std::stringstream text;
  text << in.rdbuf();
  const auto root = ParseJson(text.str(), reason);
  if (!root) return std::nullopt;
  const TJsonValue* kind = root->Member("kind");
  const TJsonValue* version = root->Member("version");
  const TJsonValue* name = root->Member("name");
  const TJsonValue* settings = root->Member("settings");
  if (!kind || !kind->String() || *kind->String() != kFileKind || !version || !version->Integer()) {
    reason = "it is not a preset";
    return std::nullopt;
  }
  if (*version->Integer() > kFileVersion) {
    reason = "it was saved by a newer version";
    return std::nullopt;
  }
  if (!name || !name->String() || !PresetNameProblem(*name->String()).empty()) {
    reason = "it has no name";
    return std::nullopt;
  }
  reason = "its settings cannot be read";
  auto read = settings ? ReadJobSettings(*settings, reason) : std::nullopt;
  if (!read) return std::nullopt;
  return TPreset{*name->String(), *read};
}

bool WriteWhole(const fs::path& file, const std::string& text, std::string& error) {
  const fs::path temporary = file.string() + ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      error = "cannot write \"" + file.string() + "\": " + std::strerror(errno);
      std::error_code ec;
      fs::remove(temporary, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, file, ec);
  if (ec) {
    error = "cannot write \"" + file.string() + "\": " + ec.message();
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

}  // namespace

std::string PresetsFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (config && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : ".") / ".config";
  }
  return (base / "fennick" / "presets").string();
}

std::string PresetFileName(const std::string& name) {
  std::string file;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == ' ')
      file += static_cast<char>(c);
    else
      file += FormatText("%%%02X", c);
  }
  return file + kExtension;
}

std::string PresetNameProblem(const std::string& name) {
  if (Trim(name).empty()) return "a preset needs a name";
  if (PresetFileName(name).size() > kMaxFileName) return "the name \"" + name + "\" is too long";
  return "";
}

TPresetList LoadPresets(const std::string& folder) {
  TPresetList list;
  std::error_code ec;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == kExtension && it->is_regular_file(ec)) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::string reason;
    auto preset = ReadPresetFile(file, reason);
    const bool duplicate = preset && FindPreset(list.Presets, preset->Name) &&
                           FindPreset(list.Presets, preset->Name)->Name == preset->Name;
    if (duplicate) reason = "another file holds the preset \"" + preset->Name + "\"";
    if (!preset || duplicate) {
      list.Problems.push_back("\"" + file.string() + "\" is damaged: " + reason + "; skipped");
      continue;
    }
    list.Presets.push_back(std::move(*preset));
  }
  std::sort(list.Presets.begin(), list.Presets.end(),
            [](const TPreset& a, const TPreset& b) { return a.Name < b.Name; });
  return list;
}

const TPreset* FindPreset(const std::vector<TPreset>& presets, const std::string& name) {
  for (const TPreset& preset : presets)
    if (preset.Name == name) return &preset;
  const TPreset* found = nullptr;
  for (const TPreset& preset : presets) {
    if (Lower(preset.Name) != Lower(name)) continue;
    if (found) return nullptr;
    found = &preset;
  }
  return found;
}

bool SavePreset(const TPreset& preset, std::string& error, const std::string& folder) {
  if (error = PresetNameProblem(preset.Name); !error.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    error = "cannot create \"" + folder + "\": " + ec.message();
    return false;
  }
  return WriteWhole(fs::path(folder) / PresetFileName(preset.Name), PresetText(preset), error);
}

bool RenamePreset(const std::string& name, const std::string& newName, std::string& error,
                  const std::string& folder) {
  if (error = PresetNameProblem(newName); !error.empty()) return false;
  const TPresetList list = LoadPresets(folder);
  const auto it = std::find_if(list.Presets.begin(), list.Presets.end(),
                               [&](const TPreset& p) { return p.Name == name; });
  if (it == list.Presets.end()) {
    error = "there is no preset \"" + name + "\"";
    return false;
  }
  if (newName == name) return true;
  if (std::any_of(list.Presets.begin(), list.Presets.end(), [&](const TPreset& p) { return p.Name == newName; })) {
    error = "a preset \"" + newName + "\" exists already";
    return false;
  }
  TPreset renamed{newName, it->Settings};
  if (!SavePreset(renamed, error, folder)) return false;
  std::error_code ec;
  if (PresetFileName(newName) != PresetFileName(name)) fs::remove(fs::path(folder) / PresetFileName(name), ec);
  return true;
}

bool DeletePreset(const std::string& name, std::string& error, const std::string& folder) {
  std::error_code ec;
  if (!fs::remove(fs::path(folder) / PresetFileName(name), ec)) {
    error = ec ? "cannot delete the preset \"" + name + "\": " + ec.message()
               : "there is no preset \"" + name + "\"";
    return false;
  }
  return true;
}

}  // namespace fennick
