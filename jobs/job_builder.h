// Building one conversion job from a source file and the chosen profile: the
// output path, the input record and the output record. Shared by the window's
// queue and the command line; no toolkit, no component calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component/AVProbe.h"
#include "component/task_options.h"
#include "jobs/job_queue.h"
#include "jobs/stream_choice.h"
#include "profiles/profile_settings.h"
#include "util/output_reservation.h"

namespace fennick {

// ---- output path

// The output picture's size a job's records make ("640x480" with the pads
// of "LetterBox" included): nothing for an output without a picture or
// whose size is the source's and unknown.
struct TPictureSize {
  int Width = 0, Height = 0;
};
std::optional<TPictureSize> OutputPictureSize(const TOutputOptions& output, std::string_view videoSizeText);

// "." followed by the lower-case short format name: "MP4" gives ".mp4".
std::string OutputExtension(std::string_view formatName);
// path with the extension of its file name (from the last "." on) replaced by
// extension; a name without "." (or only a leading one) gets it appended.
std::string ReplaceExtension(const std::string& path, const std::string& extension);
// An output name that cannot be taken for a reason other than being in use
// (the folder cannot be written, a path part is not a folder ...); the
// message names the file and says why ("Permission denied").
class EOutputNameError : public std::runtime_error {
 public:
  explicit EOutputNameError(const std::string& message) : std::runtime_error(message) {}
};

// The files one conversion run must not destroy: its sources, the outputs
// it has written so far and the names it has chosen for its jobs. Files are
// known by identity (device and inode), so any spelling of a path finds
// them; a chosen name is protected from the moment it is chosen, before its
// file exists.
class TRunFiles {
 public:
  void AddSource(const std::string& path) { Add(path); }
  void AddOutput(const std::string& path) { Add(path); }
  void AddChosenOutput(const std::string& path);
  bool Protects(const std::string& path) const;

 private:
  void Add(const std::string& path);
  std::vector<std::pair<uint64_t, uint64_t>> FFiles;
  std::vector<std::string> FChosen;  // absolute and normalised
};

// An output name chosen for a job, with its reservation: while the
// reservation is held, no conversion of this or another process chooses or
// replaces the name, and the file appears under it only once complete.
struct TOutputName {
  std::string Path;
  std::shared_ptr<TOutputReservation> Reservation;
};

// The output name rule: Path with its extension replaced by Extension, else
// the first of Base-1, Base-2 ... + Extension that no file has and no
// running conversion holds. With overwrite, a finished file of an earlier
// run is replaced, but never a file the run protects (a source of the run,
// the job's own source, a name chosen for another of its jobs): such a name
// gets the next number too. The chosen name joins the run's names. Raises
// EOutputNameError when no name can be reserved there (the folder cannot be
// written ...). `replaceable`, a file the job itself wrote when it was
// stopped, is replaced when the rule reaches its name (that file only).
TOutputName ChooseOutputName(const std::string& path, const std::string& extension, bool overwrite,
                             const std::string& source = "", TRunFiles* run = nullptr,
                             const std::string& replaceable = "");
// The name alone, without overwriting and without keeping the reservation.
std::string MakeUniqueOutputName(const std::string& Path, const std::string& Extension);
// Where the job for source writes: folder (a "/" is added unless it ends with
// one; empty means the current folder) + source's file name with the
// format's extension, by ChooseOutputName; the reservation is not kept.
std::string JobOutputPath(const std::string& source, const std::string& folder, std::string_view formatName,
                          bool overwrite, TRunFiles* run = nullptr);
// Why no output can be made in `folder` (empty: one can): it "does not
// exist", "is not a folder", or "cannot be written: " and the system's
// reason ("Read-only file system"), found by making and removing a hidden
// file there. Empty folder text: the current folder.
std::string OutputFolderProblem(const std::string& folder);
// The job's source: the row's text as given when a file of that name exists
// (names may begin or end with blanks), else with blanks at both ends dropped.
std::string JobSource(const std::string& rowText);

// ---- volume

inline constexpr int VolumePositionCount = 11;
inline constexpr int DefaultVolumePosition = 5;
// The volume bar, top (0) to bottom (10): label and AudioVolume value.
// Position 5 ("100%") is 256, the engine's "unchanged".
std::string VolumeLabel(int position);
int ConversionVolumeFor(int position);
// A volume in percent as the AudioVolume value with that gain: 256 × p / 100,
// rounded. 100 is 256 (unchanged), 200 is 512 (+6 dB), 50 is 128 (-6 dB),
// 0 is silence.
int AudioVolumeForPercent(int percent);

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
// With letterBox ("Video Zoom"), a picture whose display aspect differs
// from the frame's is fitted inside the frame keeping its shape, with black
// bars (the frame's aspect is the aspect list's 4:3 or 16:9, else the
// profile's frame in square pixels; a frame of the source's size keeps the
// source's shape with "Original": nothing to fit).
// Raises EProfileConvertError when a setting's number cannot be read, and
// EProfileSettingRefused when the format cannot take a chosen item.
void FillJobOutputOptions(TOutputOptions& JobOutputOptions, const TProfileControls& controls,
                          int conversionVolume, std::string_view videoSizeText, float displayAspect = -1.0f,
                          bool letterBox = false);

// ---- streams

// Whether a job's output carries the source's subtitles (those in it and the
// subtitle files beside it) where its container holds them, or none.
enum class TSubtitleChoice { Keep, None };

// Everything one job needs, built in one go.
struct TJobRequest {
  std::string Source;         // the row's path (see JobSource)
  std::string VideoSizeText;  // the row's "Video Size" cell
  float DisplayAspect = -1.0f;  // the row's probed display aspect (TRowTexts), -1 unknown
  std::string OutputFolder;
  bool Overwrite = false;
  TRunFiles* Run = nullptr;  // what the run protects, and its chosen names; none: only the job's own source
  // The source's audio tracks and the one asked for (see ChooseAudioTrack).
  std::vector<TProbeStreamInfo> AudioTracks;
  std::string AudioTrack;
  TSubtitleChoice Subtitles = TSubtitleChoice::Keep;
  // A subtitle file to convert with the source instead of those beside it.
  std::string SubtitleFile;
  // The source's tags, chapters and cover go into the output (where its
  // container keeps them).
  bool KeepMetadata = true;
  // The output's name before its extension (jobs/name_pattern.h; empty: the
  // source's name) and the job's row number for its {n}.
  std::string NamePattern;
  int RowNumber = 0;
  // A folder under OutputFolder the output goes into, made when missing
  // (relative; "" none): the source's folder below a folder that was added.
  std::string Subfolder;
  // The file the job's own earlier, stopped conversion wrote: converted
  // again, the job replaces it instead of writing a "-N" beside it.
  std::string StoppedOutput;
};

struct TJob {
  std::string Source;
  std::string OutputPath;
  // The output name's reservation, taken over by the engine that writes the
  // file; ReleaseOutputName gives it up when the job does not run.
  std::shared_ptr<TOutputReservation> OutputReservation;
  TInputOptions Input;
  TOutputOptions Output;
  // Subtitle files converted with the source, each a further input of the
  // task (its language from its name).
  std::vector<TSubtitleFile> SubtitleInputs;
};

// True when the job's output names the very file it reads (for example an
// MP4 converted to MP4 in its own folder with overwriting on): writing it
// would destroy the source.
bool OutputReplacesSource(const TJob& job);

// The streams of the job's output (after FillJobOutputOptions): the
// chosen audio track's stream, with its channels and rate where the profile
// keeps the source's; and unless the subtitles are left out, every subtitle
// stream the container holds, with the subtitle files beside the source (or
// the one given) as further inputs, for outputs with a picture. Raises
// EStreamChoiceError for a track the source does not have.
void ChooseJobStreams(const TJobRequest& request, TJob& job);

// The job's settings name a format or an item the catalogue no longer
// offers.
class EJobSettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills job from request and the job's settings (format, items, aspect,
// volume, "Video Zoom"): nothing else is read or kept. The records are
// filled first, so that the name pattern knows the output's picture; then
// the output name is chosen (and reserved) by the pattern, in the subfolder
// (made when missing). EJobSettingsError and translation errors
// (EProfileConvertError) propagate with Source and Input filled and no name
// chosen. EOutputNameError (also for a subfolder that cannot be made)
// propagates with no name chosen.
void BuildJob(const TJobRequest& request, const TJobSettings& settings, TJob& job);

// The file name (with its extension) the request's pattern gives a job of
// these settings, before the "-N" rule: what the options show as the
// pattern's example. Empty when the settings cannot be used.
std::string PatternOutputName(const TJobRequest& request, const TJobSettings& settings);

// The bit rate (bit/s) of the output the settings make: picture and sound
// together, where the settings give both (a quality level of today's
// formats, lossless sound or a source's own rate give none: nothing).
std::optional<int64_t> ExpectedBitRate(const TJobSettings& settings);
// The output's expected size in bytes at that rate over `seconds`.
std::optional<int64_t> ExpectedOutputSize(const TJobSettings& settings, double seconds);

// Gives up the job's hold on its output name: a name whose file was never
// written is free again (an output the engine is still writing stays
// reserved by the engine until it is complete).
void ReleaseOutputName(TJob& job);

}  // namespace fennick
