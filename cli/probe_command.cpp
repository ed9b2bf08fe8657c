// --probe: what the file list shows for each file and the probe's figures.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string_view>

#include "jobs/row_texts.h"
#include "jobs/stream_choice.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "component/AVProbe.h"
#include "component/FFmpegVCL.h"

namespace fennick::cli {

namespace {

std::string AspectText(float aspect) {
  return aspect > 0 ? FormatGeneral(std::nearbyint(aspect * 10000.0) / 10000) : "none";
}

// A figure the probe knows; null for what it does not (its -1, the
// libraries' "no time" marker, a bit rate or picture measure of 0).
void AddFigure(TJsonObject& json, std::string_view key, int64_t value) {
  if (value > 0)
    json.Add(key, value);
  else
    json.AddNull(key);
}

std::string SubtitleTrackText(const TProbeStreamInfo& track, int number) {
  std::string text = std::to_string(number) + ": " + (track.Language.empty() ? "und" : track.Language) + ", " +
                     track.CodecName + (track.Bitmap ? ", pictures" : "");
  if (!track.Title.empty()) text += " \"" + track.Title + "\"";
  return text;
}

// The tracks by number from 1, as --audio-track names them.
void PrintTracks(const TAVProbe& probe) {
  const TProbeStreamList streams = probe.Streams();
  std::cout << "  Audio Tracks: " << streams.Audio.size() << "\n";
  for (size_t i = 0; i < streams.Audio.size(); ++i) {
    const TProbeStreamInfo& track = streams.Audio[i];
    std::cout << "    " << AudioTrackText(track, static_cast<int>(i) + 1);
    if (track.SampleRate > 0) std::cout << ", " << track.SampleRate << " Hz";
    std::cout << (track.Default ? " (default)" : "") << "\n";
  }
  std::cout << "  Subtitle Tracks: " << streams.Subtitles.size() << "\n";
  for (size_t i = 0; i < streams.Subtitles.size(); ++i)
    std::cout << "    " << SubtitleTrackText(streams.Subtitles[i], static_cast<int>(i) + 1)
              << (streams.Subtitles[i].Default ? " (default)" : "") << "\n";
}

// The tracks as a JSON array; what a track does not name is null.
std::string TracksJson(const std::vector<TProbeStreamInfo>& tracks, bool audio) {
  std::string json = "[";
  for (size_t i = 0; i < tracks.size(); ++i) {
    const TProbeStreamInfo& track = tracks[i];
    TJsonObject item;
    item.Add("track", static_cast<int>(i) + 1).Add("stream", track.Index);
    const auto text = [&item](const char* key, const std::string& value) {
      if (value.empty())
        item.AddNull(key);
      else
        item.Add(key, value);
    };
    text("language", track.Language);
    item.Add("codec", track.CodecName);
    text("title", track.Title);
    if (audio) {
      AddFigure(item, "channels", track.Channels);
      AddFigure(item, "sample_rate", track.SampleRate);
    } else {
      item.Add("bitmap", track.Bitmap);
    }
    item.Add("default", track.Default);
    json += (i ? "," : "") + item.Text();
  }
  return json + "]";
}

void PrintText(const std::string& file, const TAVProbe& probe) {
  const TRowTexts row = ProbeRowTexts(probe);
  TProbeFileInfo info;
  probe.GetFileInfo(info);
  std::cout << file << "\n"
            << "  Video Size: " << row.VideoSize << "\n"
            << "  Frame Rate: " << row.FrameRate << "\n"
            << "  Duration: " << row.Duration << "\n"
            << "  Streams: " << probe.StreamCount() << " (video " << probe.VideoStreamCount() << ", audio "
            << probe.AudioStreamCount() << ", subtitle " << probe.SubtitleStreamCount() << "), programs "
            << probe.ProgramCount() << "\n"
            << "  Duration (microseconds): " << info.Duration << "\n"
            << "  Bit Rate: " << info.BitRate << "\n";
  if (probe.VideoStreamCount() > 0) {
    TProbeVideoInfo video;
    probe.GetVideoInfo(video);
    std::cout << "  Width: " << video.Width << "\n"
              << "  Height: " << video.Height << "\n"
              << "  Frame Rate (num/den): " << video.FrameRateNum << "/" << video.FrameRateDen << "\n"
              << "  Display Aspect: " << AspectText(video.DisplayAspect) << "\n";
  }
  PrintTracks(probe);
}

TJsonObject JsonFor(const std::string& file, const TAVProbe& probe) {
  const TRowTexts row = ProbeRowTexts(probe);
  TProbeFileInfo info;
  probe.GetFileInfo(info);
  TJsonObject json;
  json.Add("file", file)
      .Add("ok", true)
      .Add("video_size", row.VideoSize)
      .Add("frame_rate", row.FrameRate)
      .Add("duration", row.Duration)
      .Add("streams", probe.StreamCount())
      .Add("programs", probe.ProgramCount())
      .Add("video_streams", probe.VideoStreamCount())
      .Add("audio_streams", probe.AudioStreamCount())
      .Add("subtitle_streams", probe.SubtitleStreamCount());
  if (info.Duration >= 0)
    json.Add("duration_us", info.Duration);
  else
    json.AddNull("duration_us");
  AddFigure(json, "bit_rate", info.BitRate);
  TProbeVideoInfo video;  // all -1 without video
  if (probe.VideoStreamCount() > 0) probe.GetVideoInfo(video);
  AddFigure(json, "width", video.Width);
  AddFigure(json, "height", video.Height);
  const bool rateKnown = video.FrameRateNum > 0 && video.FrameRateDen > 0;
  AddFigure(json, "frame_rate_num", rateKnown ? video.FrameRateNum : 0);
  AddFigure(json, "frame_rate_den", rateKnown ? video.FrameRateDen : 0);
  if (video.DisplayAspect > 0)
    json.Add("display_aspect", static_cast<double>(video.DisplayAspect));
  else
    json.AddNull("display_aspect");
  const TProbeStreamList streams = probe.Streams();
  json.AddRaw("audio_tracks", TracksJson(streams.Audio, true))
      .AddRaw("subtitle_tracks", TracksJson(streams.Subtitles, false));
  return json;
}

}  // namespace

int ProbeCommand(const TCliArguments& arguments) {
  TFFmpegVCL vcl;
  if (!LoadCodecs(vcl)) return ExitFailed;
  int status = ExitOk;
  TAVProbe& probe = vcl.Probe();
  for (const std::string& file : arguments.Files) {
    bool loaded = false;
    std::string error;
    try {
      loaded = probe.LoadFile(file, "");
      if (!loaded) error = probe.LastError();
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (!loaded) status = ExitFailed;
    if (arguments.Json) {
      WriteJsonLine(loaded ? JsonFor(file, probe) : TJsonObject().Add("file", file).Add("ok", false).Add("error", error));
    } else if (loaded) {
      PrintText(file, probe);
    } else {
      std::cout << file << "\n  error: " << error << "\n";
    }
    probe.CloseFile();
  }
  std::cout.flush();
  return status;
}

}  // namespace fennick::cli
