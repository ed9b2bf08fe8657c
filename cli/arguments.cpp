#include "cli/arguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "engine/option_vocabulary.h"
#include "fennick_version.h"
#include "jobs/conversion_run.h"
#include "jobs/stream_choice.h"
#include "util/text_util.h"

namespace fennick::cli {

namespace {

const std::vector<std::string> kAspects = {"Original", "4:3", "16:9"};

// A percentage from 0 to 200; a trailing "%" is allowed.
int ParseVolume(const std::string& text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.back() == '%') digits.remove_suffix(1);
  int value = -1;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || value < 0 || value > 200)
    throw EUsageError("--volume takes a percentage from 0 (silence) to 200; 100 leaves the volume unchanged, not \"" +
                      text + "\"");
  return value;
}

// A whole number from `low` to `high`; otherwise EUsageError with `meaning`.
int ParseCount(const std::string& option, const std::string& text, int low, int high, const std::string& meaning) {
  int value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
    throw EUsageError(option + " takes " + meaning + ", not \"" + text + "\"");
  return value;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

}  // namespace

TCliArguments ParseArguments(const std::vector<std::string>& args) {
  TCliArguments result;
  if (!args.empty() && args[0] == "--engine") {
    result.Mode = TCliMode::Engine;
    result.EngineSteps = ParseEngineArguments({args.begin() + 1, args.end()});
    return result;
  }
  bool listFormats = false, listShortNames = false, listSettings = false, probe = false;
  std::vector<std::string> convertOptions;  // given options that only a conversion takes
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--") {
      result.Files.insert(result.Files.end(), args.begin() + i + 1, args.end());
      break;
    }
    if (arg.empty() || arg[0] != '-' || arg == "-") {
      result.Files.push_back(arg);
      continue;
    }
    // "--name=value" carries its value inline.
    std::string inlineValue;
    bool hasInline = false;
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        inlineValue = arg.substr(eq + 1);
        arg.resize(eq);
        hasInline = true;
      }
    }
    const auto value = [&]() -> std::string {
      if (hasInline) return inlineValue;
      if (i + 1 >= args.size()) throw EUsageError("option " + arg + " needs a value (see --help)");
      return args[++i];
    };
    const auto noValue = [&] {
      if (hasInline) throw EUsageError("option " + arg + " takes no value");
    };
    if (arg == "-h" || arg == "--help") {
      noValue();
      result.Mode = TCliMode::Help;
      return result;
    } else if (arg == "--version") {
      noValue();
      result.Mode = TCliMode::Version;
      return result;
    } else if (arg == "--list-formats") {
      noValue();
      listFormats = true;
    } else if (arg == "--list-short-names") {
      noValue();
      listShortNames = true;
    } else if (arg == "--list-settings") {
      result.FormatName = value();
      listSettings = true;
    } else if (arg == "--probe") {
      noValue();
      probe = true;
    } else if (arg == "--json") {
      noValue();
      result.Json = true;
    } else if (arg == "--engine") {
      throw EUsageError("--engine must be the first argument");
    } else if (arg == "-f" || arg == "--format") {
      result.FormatName = value();
      convertOptions.push_back(arg);
    } else if (arg == "-o" || arg == "--output-folder") {
      result.OutputFolder = value();
      if (result.OutputFolder.empty()) throw EUsageError("option " + arg + " needs a folder, not empty text");
      convertOptions.push_back(arg);
    } else if (arg == "--overwrite") {
      noValue();
      result.Overwrite = true;
      convertOptions.push_back(arg);
    } else if (arg == "--set") {
      const std::string setting = value();
      const size_t eq = setting.find('=');
      if (eq == std::string::npos) throw EUsageError("--set takes CONTROL=ITEM, not \"" + setting + "\"");
      const std::string name = setting.substr(0, eq);
      const auto& names = SettingNames();
      if (std::find(names.begin(), names.end(), name) == names.end())
        throw EUsageError("--set: unknown control \"" + name + "\"; the controls are " + Joined(names));
      result.Settings.emplace_back(name, setting.substr(eq + 1));
      convertOptions.push_back(arg);
    } else if (arg == "--aspect") {
      result.Aspect = value();
      result.AspectGiven = true;
      if (std::find(kAspects.begin(), kAspects.end(), result.Aspect) == kAspects.end())
        throw EUsageError("--aspect takes Original, 4:3 or 16:9, not \"" + result.Aspect + "\"");
      convertOptions.push_back(arg);
    } else if (arg == "--zoom") {
      const std::string zoom = value();
      if (zoom != "none" && zoom != "letterbox")
        throw EUsageError("--zoom takes letterbox or none, not \"" + zoom + "\"");
      result.ZoomIndex = zoom == "letterbox" ? 1 : 0;
      result.ZoomGiven = true;
      convertOptions.push_back(arg);
    } else if (arg == "--no-metadata") {
      noValue();
      result.NoMetadata = true;
      convertOptions.push_back(arg);
    } else if (arg == "--volume") {
      result.VolumePercent = ParseVolume(value());
      result.VolumeGiven = true;
      convertOptions.push_back(arg);
    } else if (arg == "--audio-track") {
      result.AudioTrack = value();
      if (!ValidAudioTrackRequest(result.AudioTrack))
        throw EUsageError("--audio-track takes a track number from 1 or a language code (eng, de ...), not \"" +
                          result.AudioTrack + "\"");
      convertOptions.push_back(arg);
    } else if (arg == "--subtitles") {
      result.Subtitles = value();
      if (result.Subtitles.empty()) throw EUsageError("--subtitles takes keep, none or a subtitle file, not empty text");
      std::string word = result.Subtitles;
      for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (word == "keep" || word == "none") result.Subtitles = word;
      convertOptions.push_back(arg);
    } else if (arg == "--threads") {
      const std::string count = value();
      result.Threads = count == "auto" ? 0
                                       : ParseCount(arg, count, 0, 64,
                                                    "a number of codec threads from 1 to 64, or 0 or auto for the "
                                                    "machine's");
      convertOptions.push_back(arg);
    } else if (arg == "--preset") {
      result.Preset = value();
      if (Trim(result.Preset).empty()) throw EUsageError("--preset needs a preset's name");
      convertOptions.push_back(arg);
    } else if (arg == "--name") {
      result.NamePattern = value();
      if (result.NamePattern.empty()) throw EUsageError("--name needs a pattern such as \"{name}-{date}\"");
      convertOptions.push_back(arg);
    } else if (arg == "--keep-folders") {
      noValue();
      result.KeepFolders = true;
      convertOptions.push_back(arg);
    } else if (arg == "-j" || arg == "--jobs") {
      result.Jobs = ParseCount(arg, value(), 1, 64, "a number of files converted at once from 1 to 64");
      convertOptions.push_back(arg);
    } else {
      throw EUsageError("unknown option " + args[i] + " (see --help)");
    }
  }
  if (listShortNames) {
    if (listFormats || listSettings || probe || result.Json || !convertOptions.empty() || !result.Files.empty())
      throw EUsageError("--list-short-names takes no other arguments");
    result.Mode = TCliMode::ListShortNames;
    return result;
  }
  if (listFormats) {
    if (listSettings || probe || result.Json || !convertOptions.empty() || !result.Files.empty())
      throw EUsageError("--list-formats takes no other arguments");
    result.Mode = TCliMode::ListFormats;
    return result;
  }
  if (listSettings) {
    if (probe || result.Json || !convertOptions.empty() || !result.Files.empty())
      throw EUsageError("--list-settings takes only the format");
    result.Mode = TCliMode::ListSettings;
    return result;
  }
  if (probe) {
    if (!convertOptions.empty()) throw EUsageError("option " + convertOptions.front() + " does not apply to --probe");
    result.Mode = TCliMode::Probe;
  }
  if (result.Files.empty()) throw EUsageError("no input files given (see --help)");
  if (!result.Preset.empty() && !result.FormatName.empty())
    throw EUsageError("--preset chooses the format: it does not go with -f");
  if (result.Subtitles != "keep" && result.Subtitles != "none" && result.Files.size() > 1)
    throw EUsageError("--subtitles FILE goes with one input file, not " + std::to_string(result.Files.size()));
  return result;
}

std::vector<TEngineStep> ParseEngineArguments(const std::vector<std::string>& args) {
  std::vector<TEngineStep> steps;
  bool hasInput = false, hasOutput = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      steps.push_back({TEngineStep::Output, "", arg});
      hasOutput = true;
      continue;
    }
    const std::string name = arg.substr(1);
    if (name == "i") {
      if (i + 1 >= args.size()) throw EUsageError("--engine: -i needs an input file");
      steps.push_back({TEngineStep::Input, "", args[++i]});
      hasInput = true;
    } else if (IsSwitchOption(name)) {
      steps.push_back({TEngineStep::Option, name, ""});
    } else {
      if (i + 1 >= args.size()) throw EUsageError("--engine: option -" + name + " needs a value");
      steps.push_back({TEngineStep::Option, name, args[++i]});
    }
  }
  if (!hasInput) throw EUsageError("--engine: no input file given (-i FILE)");
  if (!hasOutput) throw EUsageError("--engine: no output file given");
  return steps;
}

std::string HelpText() {
  return R"HELP(Usage:
  fennick-convert [-f FORMAT] [-o FOLDER] [--overwrite] [--set CONTROL=ITEM]...
                  [--aspect Original|4:3|16:9] [--zoom letterbox|none]
                  [--volume 0..200] [--audio-track N|LANG]
                  [--subtitles keep|none|FILE] [--no-metadata] [--json]
                  [--threads N] [-j N] [--preset NAME] [--name PATTERN]
                  [--keep-folders] FILE|FOLDER...
  fennick-convert --list-formats
  fennick-convert --list-short-names
  fennick-convert --list-settings FORMAT
  fennick-convert --probe [--json] FILE...
  fennick-convert --engine [-NAME [VALUE]]... [-i INPUT]... OUTPUT...
  fennick-convert --help
  fennick-convert --version

Converts each FILE, one after the other (or -j N at once), into the chosen
output format or device profile with that entry's default settings, as the
window's queue does. A FOLDER stands for the media files inside it and its
subfolders (those the window's open dialog shows), in name order.

Conversion options:
  -f, --format FORMAT     the output format or device profile: its display name
                          as --list-formats prints it, its short name (mp4,
                          avi, mpg, mp3, wav, vob, mkv, webm, flac, opus ...;
                          any case; where several entries share one, the first
                          in the list) or a part of exactly one display name in
                          any case (dvd, "ipod touch wide", "h.265 video"); a
                          name that matches nothing lists the closest entries.
                          Default: "MP4 - MPEG4 Video (*.mp4)"
  -o, --output-folder DIR where the outputs go (default: the current folder;
                          a missing folder is made); each output is named
                          after its source with the format's extension; a
                          taken name gets "-1", "-2" ... inserted before the
                          extension (a name is taken at
                          once, so runs converting into one folder at the same
                          time never share an output)
  --overwrite             replace an existing output of an earlier run instead;
                          an output never replaces a source of the same run or
                          an output the run has already written: such a name
                          gets the "-1", "-2" ... rule, and the result line
                          shows the name used
  --set CONTROL=ITEM      choose ITEM in one of the settings VideoCodec,
                          VideoBitrate, VideoSize, VideoFramerate, AudioCodec,
                          AudioBitrate, SamplingRate, AudioChannels,
                          EncoderSpeed: as the profile lists it ("640 x 480"),
                          in any case, or by its number where that is unique
                          (1500 for "1500 Kbps", 44100 for "44100 Hz", 640x480
                          for "640 x 480"); an item the profile does not offer
                          is refused with the valid items (--list-settings
                          shows them). The formats of today (MKV, WebM, FLAC,
                          Opus ... after the classic ones) choose VideoBitrate
                          by quality (Best, High, Medium, Small) or bit rate,
                          and EncoderSpeed (Faster, Balanced, Smaller Files)
                          trades encoding time for file size. An offered
                          item the format cannot take with the other settings
                          (H263 at 320 x 240, WMA at 54000 Hz ...) fails the
                          file before it starts, naming the items it takes
  --aspect A              Original (the source's display aspect: anamorphic
                          pictures keep their shape), 4:3 or 16:9
  --zoom Z                letterbox: a picture whose shape differs from the
                          output frame's (a wide film in a 320 x 240 frame) is
                          scaled to fit inside it, keeping its shape, with
                          black bars; the frame's shape is --aspect 4:3 or 16:9
                          when given, else its size in square pixels. none
                          (default): the picture fills the frame and the
                          aspect tells players its shape
  --no-metadata           leave out the source's tags (title, artist, album,
                          track ...), chapters and cover picture, which are
                          otherwise kept where the output format stores them
  --volume P              volume in percent, 0 to 200 (default 100, unchanged):
                          200 is +6 dB, 50 is -6 dB, 0 is silence
  --audio-track T         the source's audio track to convert, for every output
                          format: its number from 1 (as --probe lists them) or
                          a language code (eng, ger, de ...; several tracks of
                          that language: the one marked default, else the
                          first). Default: the track the source marks as
                          default, else its first. A file without such a track
                          fails, listing its tracks
  --subtitles S           keep (default): the source's subtitle tracks and the
                          subtitle files beside it with its name (film.srt,
                          film.en.srt, film.de.ass, film.vtt; the language from
                          the name) go into outputs whose container holds
                          subtitles (MKV as they are, MP4, MOV and 3GP as
                          mov_text, WebM as WebVTT; picture subtitles into MKV
                          only); none: no subtitles; FILE: that subtitle file
                          instead of those beside the source (one input file)
  --threads N             codec threads of each conversion, for its decoders
                          and encoders: 0 or auto as many as the machine offers
                          (the codec libraries' choice), 1 every codec on the
                          conversion's own thread, as before. Default: auto;
                          with -j N the machine's cores shared among the N
                          conversions (at least 1 each)
  --preset NAME           a preset saved in the window ("Save Settings as
                          Preset..."): its format, settings, aspect, volume and
                          zoom; --set, --aspect, --volume and --zoom given too
                          change them (not with -f). --list-formats lists them
  --name PATTERN          the outputs' names before the extension, from text
                          and the tokens {name} (the source's name without its
                          extension), {ext} (its extension), {format} (the
                          format's short name), {width} and {height} (the
                          output picture's; empty for audio), {date} (today,
                          YYYY-MM-DD), {n} (the file's number from 1); other
                          text in braces stays as it is; "/" becomes "_".
                          Default: {name}. Taken names get "-1", "-2" ...
  --keep-folders          a FOLDER's subfolders are made again under the output
                          folder, each output in the one of its source
  -j, --jobs N            convert up to N files at once (default 1: one after
                          the other); each result line and JSON event names its
                          file; with N above 1 no progress bar is drawn
  --json                  one JSON object per line on stdout instead of the
                          progress and the result lines:
                          {"event":"progress","index":I,"frame":N,"fps":N,
                           "time_ms":N,"quality":Q,"bitrate_kbps":R,
                           "size":BYTES,"total_ms":N}  at each progress report,
                          and {"event":"done","index":I,"source":S,"output":O,
                           "status":"Done|Fail|Abort|Skip","message":M,
                           "size":BYTES,"duration_ms":N}  as each file ends
                          (I is the file's position among the FILEs, from 0;
                          what is not known is null: frame, fps and quality of
                          an audio-only output, total_ms of a pipe; output, size
                          and duration_ms when no output was written; time_ms
                          never exceeds total_ms)

While converting, a progress bar on stderr shows the percentage, frames, output
size, speed and time left; when stderr is not a terminal, a plain line with the
same figures comes at most every 5 seconds. As each file ends it gets a line on
stdout: Done, Fail (with the reason) or Abort, the source and the output ("-"
when none was written). Ctrl-C or SIGTERM stops the running conversion like the
window's "Stop": the output is closed properly (playable up to that point), the
file is reported as Abort, and the files not started get a Skip line (with -j,
every running conversion stops).

Other commands:
  --list-formats          the offered output formats, one a line, in list order,
                          then "Presets:" and the saved presets' names
  --list-short-names      the short names -f takes (mp4, avi ...), one a line
  --list-settings FORMAT  each settings list of the format (named as for -f)
                          with its items; * marks the default
  --probe FILE...         what the file list would show (Video Size, Frame Rate,
                          Duration), the probe's figures and the audio and
                          subtitle tracks; with --json one object per file
                          with "ok" and, on failure, "error"
  --engine ARGS...        drive the transcoding engine directly with its own
                          option vocabulary, in order: "-NAME VALUE" sets an
                          option (switches such as -y, -vn, -an take no value),
                          "-i FILE" adds an input, any other argument adds an
                          output; log lines go to stderr
  --version               the program's version

Exit status: 0 every file Done; 1 a file failed (or a probe, or an engine
option, input or output was refused); 2 a malformed command line, an unknown
preset, or an output folder that is missing or cannot be written; 130 stopped
by Ctrl-C, 143 stopped by SIGTERM.
)HELP";
}

std::string VersionText() { return "fennick-convert " FENNICK_VERSION "\n"; }

}  // namespace fennick::cli
