// Helpers of the transcode tests: one conversion through the engine's own
// option vocabulary, inputs and outputs, with its log and end state.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "codec_library/codec_library.h"
#include "engine/FFmpeg.h"
#include "tests/test_support.h"

namespace fennick::test {

using TOptionList = std::vector<std::pair<std::string, std::string>>;

struct TConversion {
  bool Added = false;  // input and output accepted
  bool Exception = false;
  bool Finished = false;
  std::string Message;  // termination or add failure
  std::vector<std::string> Log;
  bool Logged(const std::string& piece) const {
    for (const auto& line : Log)
      if (line.find(piece) != std::string::npos) return true;
    return false;
  }
};

// Applies the input options, adds the input, applies the output options,
// adds the output and runs the engine synchronously. `prepare` may bind
// notifications before the run.
inline TConversion Convert(const std::string& input, const std::string& output, const TOptionList& outputOptions,
                           const TOptionList& inputOptions = {},
                           const std::function<void(TCustomFFmpeg&)>& prepare = {}) {
  TConversion result;
  TCustomFFmpeg engine;
  engine.Reset();
  AVL.av_log_set_level(AV_LOG_ERROR);
  engine.OnLog = [&](TCustomFFmpeg&, int, const std::string& text) { result.Log.push_back(text); };
  try {
    for (const auto& [name, value] : inputOptions) engine.ApplyOption(name, value);
    if (!engine.AddInputFile(input)) {
      result.Message = engine.LastErrorText();
      return result;
    }
    for (const auto& [name, value] : outputOptions) engine.ApplyOption(name, value);
    if (!engine.AddOutputFile(output)) {
      result.Message = engine.LastErrorText();
      return result;
    }
  } catch (const std::exception& e) {
    result.Message = e.what();
    return result;
  }
  result.Added = true;
  if (prepare) prepare(engine);
  engine.StartRun(false);
  result.Exception = engine.ExceptionRaised();
  result.Finished = engine.Finished();
  if (result.Exception) result.Message = engine.TerminateMessage();
  return result;
}

inline double ProbeNumber(const std::map<std::string, std::string>& probe, const std::string& key) {
  const auto it = probe.find(key);
  if (it == probe.end()) return -1;
  try {
    return std::stod(it->second);
  } catch (...) {
    return -1;
  }
}

// One decoded frame of the first video stream as planar yuv420p bytes.
inline std::vector<uint8_t> DecodeFrameYuv(const std::string& path, int frameIndex, int width, int height) {
  TempDir dir;
  const std::string raw = dir.file("frame.yuv");
  RunCommand("ffmpeg -hide_banner -nostdin -loglevel error -y -i " + ShellQuote(path) + " -vf " +
             ShellQuote("select=eq(n\\," + std::to_string(frameIndex) + ")") + " -frames:v 1 -f rawvideo -pix_fmt yuv420p " + ShellQuote(raw));
  std::ifstream in(raw, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() != static_cast<size_t>(width * height * 3 / 2)) bytes.clear();
  return bytes;
}

}  // namespace fennick::test
