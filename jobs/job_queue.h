// The conversion queue: jobs in order, each with a stable identity, the
// settings it converts with, and where it stands. It can be saved to a file
// and loaded again. Used on one thread (the owner's).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "component/AVProbe.h"
#include "profiles/profile_settings.h"

namespace fennick {

// A job's identity: never reused within a queue, never a position.
using TJobId = uint64_t;
inline constexpr TJobId NoJob = 0;

// Interrupted: it was running when the program that ran it ended without
// stopping it (a crash, a kill); the next run converts it again.
enum class TJobStatus { Waiting, Running, Done, Failed, Stopped, Skipped, Interrupted };

// The lists a job's settings choose from, in SettingNames() order: the
// window's eight, then the encoder speed (empty for the formats without one).
inline constexpr int JobSettingCount = 9;

// The volume a job may carry: from silence to the volume bar's 200 %
// (256 = unchanged).
inline constexpr int MaxJobVolume = 600;

// What a job converts with: a snapshot of the choices, not the controls.
struct TJobSettings {
  std::string Format;                                   // the catalogue's display name
  std::array<std::string, JobSettingCount> Items;       // the chosen item of each list ("" = none offered)
  int AspectIndex = 0;                                  // 0 "Original", 1 "4:3", 2 "16:9"
  int Volume = 256;                                     // AudioVolume (256 = unchanged)
  int ZoomIndex = 0;                                    // "Video Zoom": 0 "None", 1 "LetterBox"

  bool operator==(const TJobSettings&) const = default;
};

// The choices the controls show now.
TJobSettings SnapshotSettings(const TProfileControls& controls, int volume);
// Shows `settings` in controls (whose format list the catalogue fills).
// False, with the reason, when the catalogue no longer offers the format or
// one of the items.
bool ApplySettings(const TJobSettings& settings, TProfileControls& controls, std::string& reason);

// The settings as the queue file stores them (a JSON object's text), and
// read back from such an object; nothing, with the reason, for one that is
// not, or whose volume, aspect or zoom lies outside what its control takes.
std::string JobSettingsJson(const TJobSettings& settings);
class TJsonValue;
std::optional<TJobSettings> ReadJobSettings(const TJsonValue& value, std::string& reason);

struct TQueuedJob {
  TJobId Id = NoJob;
  std::string Source;
  bool Checked = true;
  // The settings it converts with; when empty, the run's own.
  std::optional<TJobSettings> Settings;
  // The source's picture as the probe saw it ("640x480", " " without video)
  // and its display aspect (-1 unknown); empty text when not probed.
  std::string VideoSizeText;
  float DisplayAspect = -1.0f;
  // The audio track it converts: "" the one the source marks as the one to
  // play (else its first), "N" its Nth (from 1), or a language code.
  std::string AudioTrack;
  // A subtitle file it converts with the source instead of those beside it.
  std::string SubtitleFile;
  // Its Settings were pinned on its row by the user ("Keep Current Settings
  // for Selected Rows"): they stay when the window's choices change.
  bool Pinned = false;
  // The folder it lies in below a folder that was added ("" none), for
  // outputs that keep the added folders' structure.
  std::string Subfolder;
  // The list's frame rate and duration texts of the source ("" unknown).
  std::string FrameRateText;
  std::string DurationText;
  // The source's audio tracks as the probe found them (kept when there are
  // several to choose from).
  std::vector<TProbeStreamInfo> AudioTracks;

  TJobStatus Status = TJobStatus::Waiting;
  std::string OutputPath;       // once chosen
  std::string Reason;           // why it failed or was not started
  int64_t OutputSize = -1;      // bytes, -1 unknown
  int64_t OutputDurationMs = -1;

  bool operator==(const TQueuedJob&) const = default;
};

class TJobQueue {
 public:
  int Count() const { return static_cast<int>(FJobs.size()); }
  bool Empty() const { return FJobs.empty(); }
  const std::vector<TQueuedJob>& Jobs() const { return FJobs; }
  const TQueuedJob& At(int index) const { return FJobs.at(index); }
  TQueuedJob& At(int index) { return FJobs.at(index); }
  // Position of the job, -1 when it is not (or no longer) in the queue.
  int IndexOf(TJobId id) const;
  TQueuedJob* Find(TJobId id);
  const TQueuedJob* Find(TJobId id) const;

  // Appends the job under a new identity, which it returns.
  TJobId Add(TQueuedJob job);
  bool Remove(TJobId id);
  // Moves the job to position `to` (clamped to the queue).
  bool Move(TJobId id, int to);
  bool SetChecked(TJobId id, bool checked);
  void Clear();

  // Writes the queue as JSON, whole or not at all: into a temporary file
  // beside `path`, then renamed onto it. False with the reason.
  bool Save(const std::string& path, std::string& error) const;
  // Reads a saved queue. A file that is damaged, is no queue, or was written
  // by a newer version is refused (nothing, with the reason); the file stays
  // as it is.
  static std::optional<TJobQueue> Load(const std::string& path, std::string& error);

  bool operator==(const TJobQueue&) const = default;

 private:
  std::vector<TQueuedJob> FJobs;
  TJobId FNextId = 1;
};

// The status as the queue file names it ("waiting", "done" ...).
const char* JobStatusName(TJobStatus status);
// How a job's end reads where a person sees it, in the list and on the
// command line: "Done", "Fail", "Abort", "Skip"; a job that was converting
// when the program ended is "Interrupted"; one waiting has none ("").
const char* JobResultText(TJobStatus status);

}  // namespace fennick
