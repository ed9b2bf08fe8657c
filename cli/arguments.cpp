#include "cli/arguments.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace fennick::cli {

namespace {

const std::vector<std::string> kAspects = {"Original", "4:3", "16:9"};

int ParseVolume(const std::string& text) {
  int value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 || value > 10)
    throw EUsageError("--volume takes a position from 0 (200%) to 10 (0%); 5 is 100%, not \"" + text + "\"");
  return value;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

}  // namespace

const std::vector<std::string>& SettingNames() {
  static const std::vector<std::string> kNames = {"VideoCodec", "VideoBitrate", "VideoSize",     "VideoFramerate",
                                                  "AudioCodec", "AudioBitrate", "SamplingRate", "AudioChannels"};
  return kNames;
}

bool IsEngineSwitch(const std::string& name) {
  static const std::set<std::string> kSwitches = {
      "L",      "h",       "version", "formats", "y",     "benchmark", "dump",     "hex",      "re",
      "loop_input", "copyts", "shortest", "intra", "vn",  "sameq",     "deinterlace", "psnr", "vstats",
      "qphist", "an",      "sn",      "isync",   "newvideo", "newaudio", "newsubtitle"};
  return kSwitches.count(name) != 0;
}

TCliArguments ParseArguments(const std::vector<std::string>& args) {
  TCliArguments result;
  if (!args.empty() && args[0] == "--engine") {
    result.Mode = TCliMode::Engine;
    result.EngineSteps = ParseEngineArguments({args.begin() + 1, args.end()});
    return result;
  }
  bool listFormats = false, probe = false;
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
    } else if (arg == "--list-formats") {
      noValue();
      listFormats = true;
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
      if (std::find(kAspects.begin(), kAspects.end(), result.Aspect) == kAspects.end())
        throw EUsageError("--aspect takes Original, 4:3 or 16:9, not \"" + result.Aspect + "\"");
      convertOptions.push_back(arg);
    } else if (arg == "--volume") {
      result.VolumePosition = ParseVolume(value());
      convertOptions.push_back(arg);
    } else {
      throw EUsageError("unknown option " + args[i] + " (see --help)");
    }
  }
  if (listFormats) {
    if (probe || result.Json || !convertOptions.empty() || !result.Files.empty())
      throw EUsageError("--list-formats takes no other arguments");
    result.Mode = TCliMode::ListFormats;
    return result;
  }
  if (probe) {
    if (!convertOptions.empty()) throw EUsageError("option " + convertOptions.front() + " does not apply to --probe");
    result.Mode = TCliMode::Probe;
  }
  if (result.Files.empty()) throw EUsageError("no input files given (see --help)");
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
    } else if (IsEngineSwitch(name)) {
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
  return R"(Usage:
  fennick-convert [-f "DISPLAY NAME"] [-o FOLDER] [--overwrite] [--set CONTROL=ITEM]...
                  [--aspect Original|4:3|16:9] [--volume 0..10] [--json] FILE...
  fennick-convert --list-formats
  fennick-convert --probe [--json] FILE...
  fennick-convert --engine [-NAME [VALUE]]... [-i INPUT]... OUTPUT...
  fennick-convert --help

Converts each FILE, one after the other, into the chosen output format or
device profile with that entry's default settings, as the window's queue does.

Conversion options:
  -f, --format NAME       the output format by its display name as --list-formats
                          prints it (default: the list's first entry)
  -o, --output-folder DIR where the outputs go (default: the current folder);
                          each output is named after its source with the format's
                          extension
  --overwrite             replace an existing output; without it "-1", "-2" ...
                          are inserted before the extension until the name is free
  --set CONTROL=ITEM      choose ITEM (as the profile lists it, e.g. "640 x 480")
                          in one of the settings VideoCodec, VideoBitrate,
                          VideoSize, VideoFramerate, AudioCodec, AudioBitrate,
                          SamplingRate, AudioChannels; an item the profile does
                          not offer is refused with the valid items
  --aspect A              Original (the source's ratio), 4:3 or 16:9
  --volume P              volume position 0..10: 0 200%, 1 180%, 2 160%, 3 140%,
                          4 120%, 5 100% (default, unchanged), 6 80%, 7 60%,
                          8 40%, 9 20%, 10 0%
  --json                  one JSON object per line on stdout instead of the
                          progress bar and the result lines:
                          {"event":"progress","index":I,"frame":N,"fps":N,
                           "time_ms":N,"quality":Q,"bitrate_kbps":R,"size":BYTES,
                           "total_ms":N}  at each progress report, and
                          {"event":"done","index":I,"source":S,"output":O,
                           "status":"Done|Fail|Abort","message":M}  per file
                          (I is the file's position among the FILEs, from 0)

While converting, a progress bar on stderr (when it is a terminal) shows the
percentage, frames, output size, speed and time left. At the end each file gets
a line: Done, Fail (with the reason) or Abort, the source and the output.
Ctrl-C stops the running conversion like the window's "Stop": the output is
closed properly (playable up to that point), the file is reported as Abort and
the remaining files are not converted.

Other commands:
  --list-formats          the offered output formats, one a line, in list order
  --probe FILE...         what the file list would show (Video Size, Frame Rate,
                          Duration) and the probe's figures; with --json one
                          object per file with "ok" and, on failure, "error"
  --engine ARGS...        drive the transcoding engine directly with its own
                          option vocabulary, in order: "-NAME VALUE" sets an
                          option (switches such as -y, -vn, -an take no value),
                          "-i FILE" adds an input, any other argument adds an
                          output; log lines go to stderr

Exit status: 0 every file Done; 1 a file failed (or a probe, or an engine
option, input or output was refused); 2 a malformed command line; 130 stopped
by Ctrl-C.
)";
}

}  // namespace fennick::cli
