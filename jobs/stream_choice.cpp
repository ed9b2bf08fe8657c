#include "jobs/stream_choice.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>

namespace fennick {

namespace {

struct TLanguage {
  const char* Short;          // ISO 639-1
  const char* Bibliographic;  // ISO 639-2/B, what containers store
  const char* Terminology;    // ISO 639-2/T where it differs, else the same
};

// The languages films are commonly subtitled or dubbed in.
constexpr std::array<TLanguage, 46> kLanguages = {{
    {"ar", "ara", "ara"}, {"bg", "bul", "bul"}, {"ca", "cat", "cat"}, {"cs", "cze", "ces"}, {"da", "dan", "dan"},
    {"de", "ger", "deu"}, {"el", "gre", "ell"}, {"en", "eng", "eng"}, {"es", "spa", "spa"}, {"et", "est", "est"},
    {"eu", "baq", "eus"}, {"fa", "per", "fas"}, {"fi", "fin", "fin"}, {"fr", "fre", "fra"}, {"ga", "gle", "gle"},
    {"gl", "glg", "glg"}, {"he", "heb", "heb"}, {"hi", "hin", "hin"}, {"hr", "hrv", "hrv"}, {"hu", "hun", "hun"},
    {"id", "ind", "ind"}, {"is", "ice", "isl"}, {"it", "ita", "ita"}, {"ja", "jpn", "jpn"}, {"ko", "kor", "kor"},
    {"lt", "lit", "lit"}, {"lv", "lav", "lav"}, {"mk", "mac", "mkd"}, {"ms", "may", "msa"}, {"nb", "nob", "nob"},
    {"nl", "dut", "nld"}, {"nn", "nno", "nno"}, {"no", "nor", "nor"}, {"pl", "pol", "pol"}, {"pt", "por", "por"},
    {"ro", "rum", "ron"}, {"ru", "rus", "rus"}, {"sk", "slo", "slk"}, {"sl", "slv", "slv"}, {"sr", "srp", "srp"},
    {"sv", "swe", "swe"}, {"th", "tha", "tha"}, {"tr", "tur", "tur"}, {"uk", "ukr", "ukr"}, {"vi", "vie", "vie"},
    {"zh", "chi", "zho"},
}};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

const TLanguage* FindLanguage(std::string_view code) {
  const std::string lower = Lower(code);
  for (const TLanguage& language : kLanguages)
    if (lower == language.Short || lower == language.Bibliographic || lower == language.Terminology) return &language;
  return nullptr;
}

bool LanguageCodeForm(std::string_view text) {
  return (text.size() == 2 || text.size() == 3) &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

// A whole text as a number from 1; 0 when it is none.
int TrackNumber(std::string_view text) {
  int number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  return text.empty() || ec != std::errc() || end != text.data() + text.size() || number < 1 ? 0 : number;
}

std::string ChannelsText(int channels) {
  switch (channels) {
    case 1: return "mono";
    case 2: return "stereo";
    case 6: return "5.1";
    case 8: return "7.1";
    default: return channels > 0 ? std::to_string(channels) + " ch" : "? ch";
  }
}

std::string TrackList(const std::vector<TProbeStreamInfo>& tracks) {
  std::string text;
  for (size_t i = 0; i < tracks.size(); ++i) text += (i ? "; " : "") + AudioTrackText(tracks[i], static_cast<int>(i) + 1);
  return text;
}

}  // namespace

std::string StoredLanguageCode(std::string_view code) {
  const TLanguage* language = code.size() == 2 ? FindLanguage(code) : nullptr;
  return language ? language->Bibliographic : Lower(code);
}

bool SameLanguage(std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return false;
  const TLanguage* first = FindLanguage(a);
  return first ? first == FindLanguage(b) : Lower(a) == Lower(b);
}

std::string AudioTrackText(const TProbeStreamInfo& track, int number) {
  std::string text = std::to_string(number) + ": " + (track.Language.empty() ? "und" : track.Language) + ", " +
                     track.CodecName + ", " + ChannelsText(track.Channels);
  if (!track.Title.empty()) text += " \"" + track.Title + "\"";
  return text;
}

int DefaultAudioTrack(const std::vector<TProbeStreamInfo>& tracks) {
  if (tracks.empty()) return -1;
  const auto marked = std::find_if(tracks.begin(), tracks.end(), [](const TProbeStreamInfo& t) { return t.Default; });
  return marked == tracks.end() ? 0 : static_cast<int>(marked - tracks.begin());
}

bool ValidAudioTrackRequest(std::string_view request) { return TrackNumber(request) > 0 || LanguageCodeForm(request); }

int ChooseAudioTrack(const std::vector<TProbeStreamInfo>& tracks, const std::string& request) {
  if (request.empty()) return DefaultAudioTrack(tracks);
  const std::string has = tracks.empty() ? "the source has no audio track"
                                         : "the source's audio tracks are " + TrackList(tracks);
  if (const int number = TrackNumber(request)) {
    if (number > static_cast<int>(tracks.size()))
      throw EStreamChoiceError("no audio track " + request + ": " + has);
    return number - 1;
  }
  int found = -1;
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (!SameLanguage(tracks[i].Language, request)) continue;
    if (found < 0 || (tracks[i].Default && !tracks[found].Default)) found = static_cast<int>(i);
  }
  if (found < 0) throw EStreamChoiceError("no audio track in the language \"" + request + "\": " + has);
  return found;
}

const std::vector<std::string>& SubtitleFileExtensions() {
  static const std::vector<std::string> kExtensions = {".srt", ".ass", ".ssa", ".vtt"};
  return kExtensions;
}

std::string SubtitleFileLanguage(const std::string& subtitlePath, const std::string& sourcePath) {
  const std::string stem = std::filesystem::path(subtitlePath).stem().string();
  if (!sourcePath.empty()) {
    // What lies between the source's base name and the extension.
    const std::string base = std::filesystem::path(sourcePath).stem().string();
    if (stem.size() <= base.size() + 1 || stem.compare(0, base.size(), base) != 0 || stem[base.size()] != '.')
      return "";
    const std::string middle = stem.substr(base.size() + 1);
    return LanguageCodeForm(middle) ? StoredLanguageCode(middle) : "";
  }
  // A name of its own: only a code of a known language counts ("the.end"
  // names none).
  const size_t dot = stem.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  const std::string last = stem.substr(dot + 1);
  const TLanguage* language = LanguageCodeForm(last) ? FindLanguage(last) : nullptr;
  return language ? StoredLanguageCode(last) : "";
}

std::vector<TSubtitleFile> FindSubtitleFiles(const std::string& source) {
  namespace fs = std::filesystem;
  std::vector<TSubtitleFile> found;
  const fs::path sourcePath(source);
  const std::string base = sourcePath.stem().string();
  if (base.empty()) return found;
  fs::path folder = sourcePath.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    const std::string extension = Lower(path.extension().string());
    const auto& known = SubtitleFileExtensions();
    if (std::find(known.begin(), known.end(), extension) == known.end()) continue;
    if (path.filename() == sourcePath.filename()) continue;
    const std::string stem = path.stem().string();
    const bool plain = stem == base;
    const bool withLanguage = stem.size() > base.size() + 1 && stem.compare(0, base.size(), base) == 0 &&
                              stem[base.size()] == '.' && LanguageCodeForm(stem.substr(base.size() + 1));
    std::error_code typeError;
    if ((!plain && !withLanguage) || !it->is_regular_file(typeError)) continue;
    const std::string file = sourcePath.has_parent_path() ? (folder / path.filename()).string() : path.filename().string();
    found.push_back({file, SubtitleFileLanguage(file, source)});
  }
  std::sort(found.begin(), found.end(), [](const TSubtitleFile& a, const TSubtitleFile& b) { return a.Path < b.Path; });
  return found;
}

}  // namespace fennick
