#include "jobs/job_queue.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "util/json.h"
#include "util/text_util.h"

namespace fennick {

namespace {

// What the queue file says it is, and the version this program writes: a
// file of a higher version is refused rather than half understood.
constexpr const char* kFileKind = "fennick-queue";
constexpr int64_t kFileVersion = 1;

constexpr std::array<const char*, 7> kStatusNames = {"waiting", "running", "done",       "failed",
                                                     "stopped", "skipped", "interrupted"};

// A job's "items" are the window's eight lists, as the first version of the
// file stored them; the encoder speed, which only the formats of today
// offer, is the member "encoder_speed", present only when one is chosen. So
// files saved before it existed load, and files without one read as before.
// Likewise "zoom", the "Video Zoom" index, only when it is not "None".
constexpr size_t kStoredItems = 8;
constexpr size_t kEncoderSpeedItem = 8;
static_assert(kEncoderSpeedItem + 1 == JobSettingCount);

// Text that may hold any bytes (a file name need not be UTF-8): kept as it
// is when it is UTF-8, else in hexadecimal under the key + "_hex".
void AddBytes(TJsonObject& json, std::string_view key, const std::string& text) {
  if (IsValidUtf8(text)) {
    json.Add(key, text);
    return;
  }
  std::string hex;
  for (unsigned char c : text) hex += FormatText("%02x", c);
  json.Add(std::string(key) + "_hex", hex);
}

std::optional<std::string> ReadBytes(const TJsonValue& object, const std::string& key) {
  if (const TJsonValue* v = object.Member(key); v && v->String()) return *v->String();
  const TJsonValue* hex = object.Member(key + "_hex");
  if (!hex || !hex->String() || hex->String()->size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex->String()->size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(hex->String()->c_str() + i, "%2x", &value) != 1) return std::nullopt;
    bytes += static_cast<char>(value);
  }
  return bytes;
}

std::string SettingsJson(const TJobSettings& settings) {
  std::string items = "[";
  for (size_t i = 0; i < kStoredItems; ++i) items += (i ? "," : "") + JsonString(settings.Items[i]);
  items += "]";
  TJsonObject json;
  json.Add("format", settings.Format).AddRaw("items", items).Add("aspect", settings.AspectIndex).Add("volume",
                                                                                                   settings.Volume);
  if (!settings.Items[kEncoderSpeedItem].empty()) json.Add("encoder_speed", settings.Items[kEncoderSpeedItem]);
  if (settings.ZoomIndex != 0) json.Add("zoom", settings.ZoomIndex);
  return json.Text();
}

std::optional<TJobSettings> ReadSettings(const TJsonValue& value, std::string& reason) {
  reason = "its settings cannot be read";
  TJobSettings settings;
  const TJsonValue* format = value.Member("format");
  const TJsonValue* items = value.Member("items");
  const TJsonValue* aspect = value.Member("aspect");
  const TJsonValue* volume = value.Member("volume");
  const TJsonValue* speed = value.Member("encoder_speed");
  const TJsonValue* zoom = value.Member("zoom");
  if (!format || !format->String() || !items || !items->Array() || items->Array()->size() != kStoredItems ||
      !aspect || !aspect->Integer() || !volume || !volume->Integer() || (speed && !speed->String()) ||
      (zoom && !zoom->Integer()))
    return std::nullopt;
  settings.Format = *format->String();
  for (size_t i = 0; i < kStoredItems; ++i) {
    const std::string* item = (*items->Array())[i].String();
    if (!item) return std::nullopt;
    settings.Items[i] = *item;
  }
  if (speed) settings.Items[kEncoderSpeedItem] = *speed->String();
  // Each number within what its control takes: a damaged file never
  // reaches the engine with a volume that clips every sample.
  const auto outside = [&reason](const char* what, int64_t number, int64_t low, int64_t high) {
    if (number >= low && number <= high) return false;
    reason = FormatText("its %s %lld is outside %lld to %lld", what, static_cast<long long>(number),
                        static_cast<long long>(low), static_cast<long long>(high));
    return true;
  };
  if (outside("volume", *volume->Integer(), 0, MaxJobVolume) || outside("aspect", *aspect->Integer(), 0, 2) ||
      (zoom && outside("zoom", *zoom->Integer(), 0, 1)))
    return std::nullopt;
  settings.AspectIndex = static_cast<int>(*aspect->Integer());
  settings.Volume = static_cast<int>(*volume->Integer());
  if (zoom) settings.ZoomIndex = static_cast<int>(*zoom->Integer());
  reason.clear();
  return settings;
}

std::string AudioTracksJson(const std::vector<TProbeStreamInfo>& tracks) {
  std::string json = "[";
  for (size_t i = 0; i < tracks.size(); ++i) {
    const TProbeStreamInfo& track = tracks[i];
    TJsonObject item;
    item.Add("index", int64_t{track.Index}).Add("language", track.Language).Add("codec", track.CodecName);
    item.Add("title", track.Title).Add("channels", int64_t{track.Channels}).Add("sample_rate", int64_t{track.SampleRate});
    item.Add("default", track.Default);
    json += (i ? "," : "") + item.Text();
  }
  return json + "]";
}

std::optional<std::vector<TProbeStreamInfo>> ReadAudioTracks(const TJsonValue& value) {
  if (!value.Array()) return std::nullopt;
  std::vector<TProbeStreamInfo> tracks;
  for (const TJsonValue& item : *value.Array()) {
    const TJsonValue* index = item.Member("index");
    const TJsonValue* language = item.Member("language");
    const TJsonValue* codec = item.Member("codec");
    const TJsonValue* title = item.Member("title");
    const TJsonValue* channels = item.Member("channels");
    const TJsonValue* rate = item.Member("sample_rate");
    const TJsonValue* isDefault = item.Member("default");
    if (!index || !index->Integer() || !language || !language->String() || !codec || !codec->String() || !title ||
        !title->String() || !channels || !channels->Integer() || !rate || !rate->Integer() || !isDefault ||
        !isDefault->Bool())
      return std::nullopt;
    TProbeStreamInfo track;
    track.Index = static_cast<int32_t>(*index->Integer());
    track.Language = *language->String();
    track.CodecName = *codec->String();
    track.Title = *title->String();
    track.Channels = static_cast<int32_t>(*channels->Integer());
    track.SampleRate = static_cast<int32_t>(*rate->Integer());
    track.Default = *isDefault->Bool();
    tracks.push_back(std::move(track));
  }
  return tracks;
}

std::string JobJson(const TQueuedJob& job) {
  TJsonObject json;
  json.Add("id", static_cast<int64_t>(job.Id));
  AddBytes(json, "source", job.Source);
  json.Add("checked", job.Checked);
  if (job.Settings) json.AddRaw("settings", SettingsJson(*job.Settings));
  const double aspect = std::isfinite(job.DisplayAspect) ? job.DisplayAspect : -1.0;
  json.Add("video_size", job.VideoSizeText).Add("display_aspect", aspect);
  // Only when chosen, so that the file reads as before otherwise.
  if (!job.AudioTrack.empty()) json.Add("audio_track", job.AudioTrack);
  if (!job.SubtitleFile.empty()) AddBytes(json, "subtitle_file", job.SubtitleFile);
  if (job.Pinned) json.Add("pinned", true);
  if (!job.Subfolder.empty()) AddBytes(json, "subfolder", job.Subfolder);
  if (!job.FrameRateText.empty()) json.Add("frame_rate", job.FrameRateText);
  if (!job.DurationText.empty()) json.Add("duration", job.DurationText);
  if (job.AudioTracks.size() > 1) json.AddRaw("audio_tracks", AudioTracksJson(job.AudioTracks));
  json.Add("status", JobStatusName(job.Status));
  AddBytes(json, "output", job.OutputPath);
  json.Add("reason", job.Reason).Add("output_size", job.OutputSize).Add("output_duration_ms", job.OutputDurationMs);
  return json.Text();
}

std::optional<TQueuedJob> ReadJob(const TJsonValue& value) {
  TQueuedJob job;
  const TJsonValue* id = value.Member("id");
  const TJsonValue* checked = value.Member("checked");
  const TJsonValue* videoSize = value.Member("video_size");
  const TJsonValue* aspect = value.Member("display_aspect");
  const TJsonValue* status = value.Member("status");
  const TJsonValue* reason = value.Member("reason");
  const TJsonValue* size = value.Member("output_size");
  const TJsonValue* duration = value.Member("output_duration_ms");
  const TJsonValue* audioTrack = value.Member("audio_track");
  const TJsonValue* frameRate = value.Member("frame_rate");
  const TJsonValue* durationText = value.Member("duration");
  const auto source = ReadBytes(value, "source");
  const auto output = ReadBytes(value, "output");
  const bool hasSubtitleFile = value.Member("subtitle_file") || value.Member("subtitle_file_hex");
  const auto subtitleFile = ReadBytes(value, "subtitle_file");
  const TJsonValue* pinned = value.Member("pinned");
  const bool hasSubfolder = value.Member("subfolder") || value.Member("subfolder_hex");
  const auto subfolder = ReadBytes(value, "subfolder");
  if (!id || !id->Integer() || *id->Integer() <= 0 || !source || !checked || !checked->Bool() || !videoSize ||
      !videoSize->String() || !aspect || !aspect->Number() || !status || !status->String() || !output || !reason ||
      !reason->String() || !size || !size->Integer() || !duration || !duration->Integer() ||
      (audioTrack && !audioTrack->String()) || (hasSubtitleFile && !subtitleFile) || (pinned && !pinned->Bool()) ||
      (hasSubfolder && !subfolder) || (frameRate && !frameRate->String()) || (durationText && !durationText->String()))
    return std::nullopt;
  const auto name = std::find(kStatusNames.begin(), kStatusNames.end(), *status->String());
  if (name == kStatusNames.end()) return std::nullopt;
  job.Id = static_cast<TJobId>(*id->Integer());
  job.Source = *source;
  job.Checked = *checked->Bool();
  if (const TJsonValue* settings = value.Member("settings")) {
    std::string reason;
    job.Settings = ReadSettings(*settings, reason);
    if (!job.Settings) return std::nullopt;
  }
  job.VideoSizeText = *videoSize->String();
  job.DisplayAspect = static_cast<float>(*aspect->Number());
  if (audioTrack) job.AudioTrack = *audioTrack->String();
  if (subtitleFile) job.SubtitleFile = *subtitleFile;
  if (pinned) job.Pinned = *pinned->Bool() && job.Settings;
  if (subfolder) job.Subfolder = *subfolder;
  if (frameRate) job.FrameRateText = *frameRate->String();
  if (durationText) job.DurationText = *durationText->String();
  if (const TJsonValue* tracks = value.Member("audio_tracks")) {
    auto read = ReadAudioTracks(*tracks);
    if (!read) return std::nullopt;
    job.AudioTracks = std::move(*read);
  }
  job.Status = static_cast<TJobStatus>(name - kStatusNames.begin());
  job.OutputPath = *output;
  job.Reason = *reason->String();
  job.OutputSize = *size->Integer();
  job.OutputDurationMs = *duration->Integer();
  return job;
}

}  // namespace

std::string JobSettingsJson(const TJobSettings& settings) { return SettingsJson(settings); }
std::optional<TJobSettings> ReadJobSettings(const TJsonValue& value, std::string& reason) {
  return ReadSettings(value, reason);
}

const char* JobStatusName(TJobStatus status) { return kStatusNames.at(static_cast<size_t>(status)); }

const char* JobResultText(TJobStatus status) {
  switch (status) {
    case TJobStatus::Done: return "Done";
    case TJobStatus::Failed: return "Fail";
    case TJobStatus::Stopped: return "Abort";
    case TJobStatus::Skipped: return "Skip";
    case TJobStatus::Running:
    case TJobStatus::Interrupted: return "Interrupted";
    default: return "";
  }
}

TJobSettings SnapshotSettings(const TProfileControls& controls, int volume) {
  TJobSettings settings;
  settings.Format = controls.ComboOutputFormat.Text();
  for (size_t i = 0; i < settings.Items.size(); ++i)
    settings.Items[i] = SettingsControlByName(controls, SettingNames()[i])->Text();
  settings.AspectIndex = std::max(controls.ComboAspectRatio.ItemIndex(), 0);
  settings.Volume = volume;
  return settings;
}

bool ApplySettings(const TJobSettings& settings, TProfileControls& controls, std::string& reason) {
  if (controls.ComboOutputFormat.Count() == 0) FillOutputFormatList(controls.ComboOutputFormat);
  if (!ChooseOutputFormat(controls, settings.Format)) {
    reason = "the output format \"" + settings.Format + "\" is not offered";
    return false;
  }
  for (size_t i = 0; i < settings.Items.size(); ++i) {
    TSettingsControl& control = *SettingsControlByName(controls, SettingNames()[i]);
    // No encoder speed stored: the format's default one.
    if (settings.Items[i].empty() && i == kEncoderSpeedItem) continue;
    if (settings.Items[i].empty() ? control.Count() == 0 : control.SelectText(settings.Items[i])) continue;
    reason = "\"" + settings.Format + "\" does not offer " + SettingNames()[i] + " \"" + settings.Items[i] + "\"";
    return false;
  }
  controls.ComboAspectRatio.SetItemIndex(settings.AspectIndex);
  return true;
}

int TJobQueue::IndexOf(TJobId id) const {
  for (size_t i = 0; i < FJobs.size(); ++i)
    if (FJobs[i].Id == id) return static_cast<int>(i);
  return -1;
}

TQueuedJob* TJobQueue::Find(TJobId id) {
  const int index = IndexOf(id);
  return index < 0 ? nullptr : &FJobs[index];
}

const TQueuedJob* TJobQueue::Find(TJobId id) const {
  const int index = IndexOf(id);
  return index < 0 ? nullptr : &FJobs[index];
}

TJobId TJobQueue::Add(TQueuedJob job) {
  job.Id = FNextId++;
  FJobs.push_back(std::move(job));
  return FJobs.back().Id;
}

bool TJobQueue::Remove(TJobId id) {
  const int index = IndexOf(id);
  if (index < 0) return false;
  FJobs.erase(FJobs.begin() + index);
  return true;
}

bool TJobQueue::Move(TJobId id, int to) {
  const int from = IndexOf(id);
  if (from < 0) return false;
  to = std::clamp(to, 0, Count() - 1);
  TQueuedJob job = std::move(FJobs[from]);
  FJobs.erase(FJobs.begin() + from);
  FJobs.insert(FJobs.begin() + to, std::move(job));
  return true;
}

bool TJobQueue::SetChecked(TJobId id, bool checked) {
  TQueuedJob* job = Find(id);
  if (!job) return false;
  job->Checked = checked;
  return true;
}

void TJobQueue::Clear() { FJobs.clear(); }

bool TJobQueue::Save(const std::string& path, std::string& error) const {
  std::string jobs = "[";
  for (size_t i = 0; i < FJobs.size(); ++i) jobs += (i ? ",\n" : "\n") + JobJson(FJobs[i]);
  jobs += "\n]";
  TJsonObject file;
  file.Add("kind", kFileKind).Add("version", kFileVersion).Add("next_id", static_cast<int64_t>(FNextId)).AddRaw("jobs",
                                                                                                                jobs);
  const std::string text = file.Text() + "\n";

  // Whole or not at all: a file of this process's beside the queue file,
  // written and synced, then renamed onto it.
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot write \"" + temporary + "\": " + std::strerror(errno);
    return false;
  }
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const int writeError = written == text.size() ? 0 : errno;
  const bool synced = writeError == 0 && ::fsync(fd) == 0;
  const int syncError = errno;
  ::close(fd);
  if (writeError || !synced || ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write \"" + path + "\": " + std::strerror(writeError ? writeError : !synced ? syncError : errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::optional<TJobQueue> TJobQueue::Load(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read \"" + path + "\": " + std::strerror(errno);
    return std::nullopt;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::string parseError;
  const auto root = ParseJson(text.str(), parseError);
  if (!root) {
    error = "\"" + path + "\" is damaged: " + parseError;
    return std::nullopt;
  }
  const TJsonValue* kind = root->Member("kind");
  const TJsonValue* version = root->Member("version");
  if (!kind || !kind->String() || *kind->String() != kFileKind || !version || !version->Integer()) {
    error = "\"" + path + "\" is not a saved queue";
    return std::nullopt;
  }
  if (*version->Integer() > kFileVersion) {
    error = "\"" + path + "\" was saved by a newer version (" + std::to_string(*version->Integer()) +
            "); this one reads version " + std::to_string(kFileVersion);
    return std::nullopt;
  }
  const TJsonValue* jobs = root->Member("jobs");
  const TJsonValue* nextId = root->Member("next_id");
  if (!jobs || !jobs->Array() || !nextId || !nextId->Integer()) {
    error = "\"" + path + "\" is damaged: it lists no jobs";
    return std::nullopt;
  }
  TJobQueue queue;
  for (size_t i = 0; i < jobs->Array()->size(); ++i) {
    auto job = ReadJob((*jobs->Array())[i]);
    if (!job || queue.IndexOf(job->Id) >= 0) {
      error = "\"" + path + "\" is damaged: job " + std::to_string(i + 1) + " cannot be read";
      return std::nullopt;
    }
    queue.FNextId = std::max(queue.FNextId, job->Id + 1);
    queue.FJobs.push_back(std::move(*job));
  }
  queue.FNextId = std::max<TJobId>(queue.FNextId, static_cast<TJobId>(std::max<int64_t>(*nextId->Integer(), 1)));
  return queue;
}

}  // namespace fennick
