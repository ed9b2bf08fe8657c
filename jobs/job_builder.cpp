#include "jobs/job_builder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "jobs/job_queue.h"
#include "jobs/name_pattern.h"
#include "jobs/row_texts.h"
#include "profiles/format_limits.h"
#include "profiles/profile_translation.h"
#include "util/text_util.h"

namespace fennick {

namespace {

// Device and inode of the file path names, following links.
std::optional<std::pair<uint64_t, uint64_t>> FileIdentity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::pair<uint64_t, uint64_t>(st.st_dev, st.st_ino);
}

bool SameFile(const std::string& a, const std::string& b) {
  const auto first = FileIdentity(a);
  return first && first == FileIdentity(b);
}

EOutputNameError CannotWrite(const std::string& path, int error) {
  return EOutputNameError("cannot write \"" + path + "\": " + std::strerror(error));
}

std::string NormalPath(const std::string& path) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

// A whole text as a finite decimal number; surrounding blanks are allowed.
std::optional<double> ReadNumber(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// Width and height of a "Video Size" cell ("640x480"); nothing for a blank
// or unreadable cell.
std::optional<std::pair<int, int>> ReadVideoSize(std::string_view cell) {
  cell = Trim(cell);
  const size_t x = cell.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  int width = 0, height = 0;
  const auto w = std::from_chars(cell.data(), cell.data() + x, width);
  const auto h = std::from_chars(cell.data() + x + 1, cell.data() + cell.size(), height);
  if (w.ec != std::errc() || w.ptr != cell.data() + x || h.ec != std::errc() || h.ptr != cell.data() + cell.size() ||
      width <= 0 || height <= 0)
    return std::nullopt;
  return std::pair{width, height};
}

// An even picture side near `length`, at least 2 (pads and the halved
// chroma of 4:2:0 pictures need even sides).
int EvenSide(double length) { return std::max(2, static_cast<int>(std::lround(length / 2)) * 2); }

// Fits the picture inside the output frame, keeping its display shape, by
// a smaller picture size and black pads: the picture takes the frame's
// width or height and its other side follows the two shapes; the bars
// share the rest, each of an even size (the engine pads by whole chroma
// samples). The frame's display shape: 4:3 or 16:9 as chosen; else, for a
// frame the profile sizes, its own in square pixels, which the aspect then
// says; a frame of the source's size keeps the source's shape and has
// nothing to fit.
void LetterBox(TOutputOptions& o, int aspectIndex, bool profileFrame, std::string_view videoSizeText,
               float displayAspect) {
  const auto source = ReadVideoSize(videoSizeText);
  if (o.DisableVideo || o.VideoCodec.empty() || !source) return;
  const auto frame = ReadVideoSize(o.FrameSize).value_or(*source);
  const auto [width, height] = frame;
  const double picture = displayAspect > 0 && std::isfinite(displayAspect)
                             ? static_cast<double>(displayAspect)
                             : static_cast<double>(source->first) / source->second;
  double shape;
  if (aspectIndex == 1)
    shape = 4.0 / 3;
  else if (aspectIndex == 2)
    shape = 16.0 / 9;
  else if (profileFrame)
    shape = static_cast<double>(width) / height;
  else
    return;
  const int innerWidth = picture < shape ? std::min(width, EvenSide(width * picture / shape)) : width;
  const int innerHeight = picture > shape ? std::min(height, EvenSide(height * shape / picture)) : height;
  if (innerWidth == width && innerHeight == height) return;
  o.FrameSize = std::to_string(innerWidth) + "x" + std::to_string(innerHeight);
  o.PadTop = (height - innerHeight) / 4 * 2;
  o.PadBottom = height - innerHeight - o.PadTop;
  o.PadLeft = (width - innerWidth) / 4 * 2;
  o.PadRight = width - innerWidth - o.PadLeft;
  o.PadColor = 0;  // black
  if (aspectIndex != 1 && aspectIndex != 2) o.AspectRatio = std::to_string(width) + ":" + std::to_string(height);
}

// Position of the extension's "." in path, or npos when the file name has
// none (a leading "." starts a hidden name, not an extension).
size_t ExtensionDot(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  return dot == std::string::npos || dot <= nameStart ? std::string::npos : dot;
}

struct TVolumeStep {
  const char* Label;
  int Value;
};
// 100% is 256: the engine leaves the samples alone only at that value.
constexpr std::array<TVolumeStep, VolumePositionCount> kVolumeSteps = {{
    {"200%", MaxJobVolume}, {"180%", 450}, {"160%", 400}, {"140%", 350}, {"120%", 300}, {"100%", 256},
    {"80%", 200},  {"60%", 150},  {"40%", 100},  {"20%", 50},   {"0%", 1},
}};

}  // namespace

std::string OutputExtension(std::string_view formatName) {
  std::string extension = ".";
  for (char c : formatName) extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  return path.substr(0, ExtensionDot(path)) + extension;
}

void TRunFiles::Add(const std::string& path) {
  if (const auto identity = FileIdentity(path)) FFiles.push_back(*identity);
}

void TRunFiles::AddChosenOutput(const std::string& path) { FChosen.push_back(NormalPath(path)); }

bool TRunFiles::Protects(const std::string& path) const {
  if (std::find(FChosen.begin(), FChosen.end(), NormalPath(path)) != FChosen.end()) return true;
  const auto identity = FileIdentity(path);
  return identity && std::find(FFiles.begin(), FFiles.end(), *identity) != FFiles.end();
}

TOutputName ChooseOutputName(const std::string& path, const std::string& extension, bool overwrite,
                             const std::string& source, TRunFiles* run, const std::string& replaceable) {
  const std::string base = path.substr(0, ExtensionDot(path));
  for (long n = 0;; ++n) {
    const std::string candidate = n == 0 ? base + extension : base + "-" + std::to_string(n) + extension;
    if ((run && run->Protects(candidate)) || (overwrite && !source.empty() && SameFile(candidate, source))) continue;
    // Reserving takes over a leftover partial file of the name: never one
    // that is a source of the run (a file rescued from a killed run).
    const std::string partial = PartialOutputPath(candidate);
    if ((run && run->Protects(partial)) || (!source.empty() && SameFile(partial, source))) continue;
    const bool own = !replaceable.empty() && SameFile(candidate, replaceable);
    TReservedOutput reserved = ReserveOutput(candidate, overwrite || own);
    if (reserved.Result == TReserveResult::Failed) throw CannotWrite(candidate, reserved.Error);
    if (reserved.Result != TReserveResult::Reserved) continue;  // taken, or held by a running conversion
    if (run) run->AddChosenOutput(candidate);
    return {candidate, std::move(reserved.Output)};
  }
}

namespace {

std::string OutputTarget(const std::string& source, const std::string& folder) {
  const std::string name = std::filesystem::path(source).filename().string();
  std::string target = folder;
  if (!target.empty() && target.back() != '/') target += '/';
  return target + name;
}

}  // namespace

std::string MakeUniqueOutputName(const std::string& Path, const std::string& Extension) {
  return ChooseOutputName(Path, Extension, false).Path;
}

std::string JobOutputPath(const std::string& source, const std::string& folder, std::string_view formatName,
                          bool overwrite, TRunFiles* run) {
  const std::string file = JobSource(source);
  return ChooseOutputName(OutputTarget(file, folder), OutputExtension(formatName), overwrite, file, run).Path;
}

std::string OutputFolderProblem(const std::string& folder) {
  const std::string path = folder.empty() ? "." : folder;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return "does not exist";
    return std::string("cannot be used: ") + std::strerror(errno);
  }
  if (!S_ISDIR(st.st_mode)) return "is not a folder";
  std::string probe = path + (path.back() == '/' ? "" : "/") + ".fennick-write-check-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return std::string("cannot be written: ") + std::strerror(errno);
  ::close(fd);
  ::unlink(probe.c_str());
  return "";
}

std::string JobSource(const std::string& rowText) {
  std::error_code ec;
  if (std::filesystem::exists(rowText, ec)) return rowText;
  return std::string(Trim(rowText));
}

std::string VolumeLabel(int position) {
  if (position < 0 || position >= VolumePositionCount) return "";
  return kVolumeSteps[position].Label;
}

int ConversionVolumeFor(int position) {
  if (position < 0 || position >= VolumePositionCount) return 256;
  return kVolumeSteps[position].Value;
}

int AudioVolumeForPercent(int percent) { return (std::max(percent, 0) * 256 + 50) / 100; }

std::string SourceAspectRatio(std::string_view videoSizeText, float displayAspect) {
  static const std::string kFallback = "1.3333";
  if (displayAspect > 0 && std::isfinite(displayAspect)) {
    const double q = std::nearbyint(static_cast<double>(displayAspect) * 10000);
    if (q > 0) return FormatGeneral(q / 10000);
  }
  std::string_view size = Trim(videoSizeText);
  if (size.empty()) size = "640x480";
  const size_t x = size.find('x');
  if (x == std::string_view::npos) return kFallback;
  const auto width = ReadNumber(size.substr(0, x)), height = ReadNumber(size.substr(x + 1));
  if (!width || !height || *height == 0) return kFallback;
  const double q = std::nearbyint(*width / *height * 10000);
  if (!std::isfinite(q)) return kFallback;
  return FormatGeneral(q / 10000);
}

std::string JobAspectRatio(int aspectIndex, std::string_view videoSizeText, float displayAspect) {
  if (aspectIndex == 1) return "4:3";
  if (aspectIndex == 2) return "16:9";
  return SourceAspectRatio(videoSizeText, displayAspect);
}

void FillJobInputOptions(TInputOptions& options, const std::string& source) {
  InitInputOptions(options);
  options.FileName = source;
  options.StartTime = 0;
}

void FillJobOutputOptions(TOutputOptions& JobOutputOptions, const TProfileControls& controls,
                          int conversionVolume, std::string_view videoSizeText, float displayAspect, bool letterBox) {
  InitOutputOptions(JobOutputOptions);
  ApplyProfileToOptions(controls, JobOutputOptions);
  JobOutputOptions.AudioVolume = conversionVolume;
  JobOutputOptions.AspectRatio =
      JobAspectRatio(controls.ComboAspectRatio.ItemIndex(), videoSizeText, displayAspect);
  const bool profileFrame = ReadVideoSize(JobOutputOptions.FrameSize).has_value();
  if (!JobOutputOptions.DisableVideo && JobOutputOptions.FrameSize.empty() && !JobOutputOptions.VideoCodec.empty()) {
    if (const auto size = ReadVideoSize(videoSizeText))
      JobOutputOptions.FrameSize = FitSourceFrameSize(JobOutputOptions.VideoCodec, size->first, size->second);
  }
  if (letterBox)
    LetterBox(JobOutputOptions, controls.ComboAspectRatio.ItemIndex(), profileFrame, videoSizeText, displayAspect);
}

bool OutputReplacesSource(const TJob& job) {
  std::error_code ec;
  return std::filesystem::equivalent(job.Source, job.OutputPath, ec) && !ec;
}

std::optional<TPictureSize> OutputPictureSize(const TOutputOptions& output, std::string_view videoSizeText) {
  if (output.DisableVideo || output.VideoCodec.empty()) return std::nullopt;
  const auto frame = ReadVideoSize(output.FrameSize);
  const auto size = frame ? frame : ReadVideoSize(videoSizeText);
  if (!size) return std::nullopt;
  const int padX = frame ? std::max(output.PadLeft, 0) + std::max(output.PadRight, 0) : 0;
  const int padY = frame ? std::max(output.PadTop, 0) + std::max(output.PadBottom, 0) : 0;
  return TPictureSize{size->first + padX, size->second + padY};
}

namespace {

// The output's file name by the request's pattern, with its extension.
std::string NameByPattern(const TJobRequest& request, const std::string& source, const TOutputOptions& output,
                          const std::string& extension) {
  TNameTokens tokens = SourceNameTokens(source);
  tokens.Format = extension.substr(1);
  if (const auto picture = OutputPictureSize(output, request.VideoSizeText)) {
    tokens.Width = std::to_string(picture->Width);
    tokens.Height = std::to_string(picture->Height);
  }
  tokens.Date = TodayText();
  tokens.Number = request.RowNumber;
  return ExpandNamePattern(request.NamePattern, tokens, extension.size()) + extension;
}

}  // namespace

std::string PatternOutputName(const TJobRequest& request, const TJobSettings& settings) {
  TProfileControls controls;
  if (std::string reason; !ApplySettings(settings, controls, reason)) return {};
  TOutputOptions output;
  try {
    FillJobOutputOptions(output, controls, settings.Volume, request.VideoSizeText, request.DisplayAspect,
                         settings.ZoomIndex == 1);
  } catch (const std::exception&) {
    return {};
  }
  return NameByPattern(request, JobSource(request.Source), output, OutputExtension(controls.FOutputFormatName));
}

std::optional<int64_t> ExpectedBitRate(const TJobSettings& settings) {
  TProfileControls controls;
  if (std::string reason; !ApplySettings(settings, controls, reason)) return std::nullopt;
  TOutputOptions output;
  InitOutputOptions(output);
  try {
    ApplyProfileToOptions(controls, output);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  int64_t rate = 0;
  if (!output.DisableVideo && !output.VideoCodec.empty()) {
    if (output.VideoBitrate <= 0) return std::nullopt;
    rate += output.VideoBitrate;
  }
  if (!output.DisableAudio) {
    if (output.AudioCodec.starts_with("pcm_")) {
      if (output.AudioSampleRate <= 0 || output.AudioChannels <= 0) return std::nullopt;
      rate += int64_t{output.AudioSampleRate} * output.AudioChannels * 16;
    } else if (output.AudioBitrate > 0) {
      rate += output.AudioBitrate;
    } else {
      return std::nullopt;
    }
  }
  return rate > 0 ? std::optional<int64_t>(rate) : std::nullopt;
}

std::optional<int64_t> ExpectedOutputSize(const TJobSettings& settings, double seconds) {
  const std::optional<int64_t> rate = ExpectedBitRate(settings);
  if (!rate || !(seconds > 0)) return std::nullopt;
  return static_cast<int64_t>(static_cast<double>(*rate) / 8.0 * seconds);
}

void BuildJob(const TJobRequest& request, const TJobSettings& settings, TJob& job) {
  job.Source = JobSource(request.Source);
  job.OutputPath.clear();
  job.OutputReservation.reset();
  FillJobInputOptions(job.Input, job.Source);
  // The catalogue's rows fill their lists; the settings choose in them.
  TProfileControls controls;
  if (std::string reason; !ApplySettings(settings, controls, reason)) throw EJobSettingsError(reason);
  FillJobOutputOptions(job.Output, controls, settings.Volume, request.VideoSizeText, request.DisplayAspect,
                       settings.ZoomIndex == 1);

  std::string folder = request.OutputFolder;
  if (!request.Subfolder.empty()) {
    // Only the folder's own parts: a stored subfolder never leads out of
    // the output folder.
    std::filesystem::path relative;
    for (const auto& part : std::filesystem::path(request.Subfolder).relative_path())
      if (part != ".." && part != "." && !part.empty()) relative /= part;
    if (!relative.empty()) {
      folder = (std::filesystem::path(folder.empty() ? "." : folder) / relative).string();
      std::error_code ec;
      std::filesystem::create_directories(folder, ec);
      if (ec) throw EOutputNameError("cannot create the folder \"" + folder + "\": " + ec.message());
    }
  }
  const std::string extension = OutputExtension(controls.FOutputFormatName);
  std::string target = folder;
  if (!target.empty() && target.back() != '/') target += '/';
  target += NameByPattern(request, job.Source, job.Output, extension);
  TOutputName output =
      ChooseOutputName(target, extension, request.Overwrite, job.Source, request.Run, request.StoppedOutput);
  job.OutputPath = std::move(output.Path);
  job.OutputReservation = std::move(output.Reservation);

  // The engine copies the source's tags, chapters and cover when a
  // meta-data map asks (task: input 0, output 0).
  job.Output.KeepSourceTags = request.KeepMetadata;
  ChooseJobStreams(request, job);
}

void ChooseJobStreams(const TJobRequest& request, TJob& job) {
  TOutputOptions& output = job.Output;
  job.SubtitleInputs.clear();
  if (!output.DisableAudio) {
    const int track = ChooseAudioTrack(request.AudioTracks, request.AudioTrack);
    if (track >= 0) {
      // Where the profile keeps the source's channels and rate, those of
      // this track (the engine would take those of the source's last one).
      const TProbeStreamInfo& chosen = request.AudioTracks[track];
      output.AudioStream = chosen.Index;
      if (output.AudioChannels <= 0 && chosen.Channels > 0) output.AudioChannels = chosen.Channels;
      if (output.AudioSampleRate <= 0 && chosen.SampleRate > 0) output.AudioSampleRate = chosen.SampleRate;
    }
  }
  if (request.Subtitles == TSubtitleChoice::None) {
    output.DisableSubtitle = true;
  } else if (!output.DisableVideo) {
    output.KeepSubtitles = true;
    if (!request.SubtitleFile.empty())
      job.SubtitleInputs.push_back({request.SubtitleFile, SubtitleFileLanguage(request.SubtitleFile)});
    else
      job.SubtitleInputs = FindSubtitleFiles(job.Source);
  }
}

void ReleaseOutputName(TJob& job) { job.OutputReservation.reset(); }

}  // namespace fennick
