// --probe: what the file list shows for each file and the probe's figures.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string_view>

#include "jobs/row_texts.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "component/AVProbe.h"
#include "component/FFmpegVCL.h"

namespace fennick::cli {

namespace {

std::string AspectText(float aspect) {
  return aspect > 0 ? FormatGeneral(std::nearbyint(aspect * 10000.0) / 10000) : "none";
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
}

// A figure the probe knows; null for what it does not (its -1, the
// libraries' "no time" marker, a bit rate or picture measure of 0).
void AddFigure(TJsonObject& json, std::string_view key, int64_t value) {
  if (value > 0)
    json.Add(key, value);
  else
    json.AddNull(key);
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
