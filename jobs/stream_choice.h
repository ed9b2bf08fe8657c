// Which of a source's streams a job converts: the audio track asked for (by
// number or language), and the subtitle files beside the source that go
// with it. Plain values in, plain values out; no component calls.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "component/AVProbe.h"

namespace fennick {

// An audio track that the source does not have; the message names what was
// asked for and the tracks it has.
class EStreamChoiceError : public std::runtime_error {
 public:
  explicit EStreamChoiceError(const std::string& message) : std::runtime_error(message) {}
};

// A language code as containers store it: the three-letter ISO 639-2 code
// (bibliographic form, "ger") for a two-letter ISO 639-1 code ("de") of the
// common languages, otherwise the code as given; lower case.
std::string StoredLanguageCode(std::string_view code);
// Whether two language codes name the same language ("de", "ger" and "deu").
bool SameLanguage(std::string_view a, std::string_view b);

// A track as the user chooses it: "2: ger, ac3, 5.1" (number from 1,
// language or "und", codec, channels as mono, stereo, 5.1, 7.1 or "N ch"),
// with its title in quotes after it when it has one.
std::string AudioTrackText(const TProbeStreamInfo& track, int number);

// The position (from 0) of the track the source marks as the one to play,
// else 0; -1 without tracks.
int DefaultAudioTrack(const std::vector<TProbeStreamInfo>& tracks);
// The position of the track `request` names: "" the default track, "N" the
// Nth (from 1), else a language code (the first such track the source marks
// as the one to play, else the first such track). -1 without tracks and
// without a request; raises EStreamChoiceError when the request names no
// track.
int ChooseAudioTrack(const std::vector<TProbeStreamInfo>& tracks, const std::string& request);
// Whether `request` is a valid form: a number from 1, or a language code of
// two or three letters.
bool ValidAudioTrackRequest(std::string_view request);

// A subtitle file converted with a source, with the language its name gives
// (empty when it names none).
struct TSubtitleFile {
  std::string Path;
  std::string Language;

  bool operator==(const TSubtitleFile&) const = default;
};

// The file extensions of subtitle files, lower case.
const std::vector<std::string>& SubtitleFileExtensions();
// The language a subtitle file's name gives, relative to the source's base
// name: "film.de.srt" beside "film.mkv" gives "ger"; "film.srt" none. Any
// file: the part before its extension when that is a code of two or three
// letters ("x.en.srt" gives "eng").
std::string SubtitleFileLanguage(const std::string& subtitlePath, const std::string& sourcePath = "");
// The subtitle files beside `source` that belong to it: its base name, then
// optionally "." and a language code of two or three letters, then one of
// the subtitle extensions (any case): "film.srt", "film.en.srt",
// "film.de.ass", "film.vtt". Regular files only, in name order.
std::vector<TSubtitleFile> FindSubtitleFiles(const std::string& source);

}  // namespace fennick
