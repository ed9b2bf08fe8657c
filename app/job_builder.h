// Building one conversion job from a source file and the chosen profile: the
// output path, the input record and the output record. Shared by the window's
// queue and the command line; no toolkit, no component calls.
#pragma once

#include <string>
#include <string_view>

#include "component/task_options.h"
#include "profiles/profile_settings.h"

namespace fennick {

// ---- output path

// "." followed by the lower-case short format name: "MP4" gives ".mp4".
std::string OutputExtension(std::string_view formatName);
// path with the extension of its file name (from the last "." on) replaced by
// extension; a name without "." (or only a leading one) gets it appended.
std::string ReplaceExtension(const std::string& path, const std::string& extension);
// Path with its extension replaced by Extension if no such file exists, else
// the first of Base-1, Base-2 ... + Extension that does not exist.
std::string MakeUniqueOutputName(const std::string& Path, const std::string& Extension);
// Where the job for source writes: folder (a "/" is added unless it ends with
// one; empty means the current folder) + source's file name with the format's extension; with overwrite off,
// a name that is still free.
std::string JobOutputPath(const std::string& source, const std::string& folder, std::string_view formatName,
                          bool overwrite);

// ---- volume

inline constexpr int VolumePositionCount = 11;
inline constexpr int DefaultVolumePosition = 5;
// The volume bar, top (0) to bottom (10): label and AudioVolume value.
// Position 5 ("100%") is 256, the engine's "unchanged".
std::string VolumeLabel(int position);
int ConversionVolumeFor(int position);

// ---- aspect ratio

// The source's ratio as the engine's aspect text, rounded to four decimals in
// the shortest form with "." whatever the locale: "1.3333", "1.5", "1.7778".
// It is the display aspect the probe found (sample aspect x width / height,
// so that anamorphic pictures keep their shape) when that is known (above
// 0), else width / height of the "Video Size" cell ("640x480"). A blank cell
// counts as 640x480; anything unreadable gives "1.3333".
std::string SourceAspectRatio(std::string_view videoSizeText, float displayAspect = -1.0f);
// By the position of the aspect list: 1 "4:3", 2 "16:9", otherwise the
// source's ratio.
std::string JobAspectRatio(int aspectIndex, std::string_view videoSizeText, float displayAspect = -1.0f);

// ---- records

// The job's input record: reset, FileName = source, StartTime 0.
void FillJobInputOptions(TInputOptions& options, const std::string& source);
// The job's output record (JobOutputOptions): reset, the profile's
// translation, AudioVolume, then the aspect rule. Where the settings keep the
// source's picture size, a size the video encoder cannot code (321x241) is
// rounded to one it can (320x240); the aspect rule keeps the display aspect.
// Raises EProfileConvertError when a setting's number cannot be read, and
// EProfileSettingRefused when the format cannot take a chosen item.
void FillJobOutputOptions(TOutputOptions& JobOutputOptions, const TProfileControls& controls,
                          int conversionVolume, std::string_view videoSizeText, float displayAspect = -1.0f);

// Everything one job needs, built in one go.
struct TJobRequest {
  std::string Source;         // the row's path; blanks at both ends are dropped
  std::string VideoSizeText;  // the row's "Video Size" cell
  float DisplayAspect = -1.0f;  // the row's probed display aspect (TRowTexts), -1 unknown
  std::string OutputFolder;
  bool Overwrite = false;
  int ConversionVolume = 256;
};

struct TJob {
  std::string Source;
  std::string OutputPath;
  TInputOptions Input;
  TOutputOptions Output;
};

// True when the job's output names the very file it reads (for example an
// MP4 converted to MP4 in its own folder with overwriting on): writing it
// would destroy the source.
bool OutputReplacesSource(const TJob& job);

// Fills job from request and controls. The output path is decided first;
// a translation error (EProfileConvertError) propagates with Source,
// OutputPath and Input already filled.
void BuildJob(const TJobRequest& request, const TProfileControls& controls, TJob& job);

}  // namespace fennick
