// Helpers of the transcode tests: one conversion through the engine's own
// option vocabulary, inputs and outputs, with its log and end state.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
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

// Runs the engine on this thread. A run still going after kConversionCap is
// stopped, ending as a stop request ends it, and fails the test.
inline void RunCapped(TCustomFFmpeg& engine) {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false, stopped = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> guard(lock);
    if (!ended.wait_for(guard, kConversionCap, [&] { return done; })) {
      stopped = true;
      engine.RequestStop();
    }
  });
  engine.StartRun(false);
  {
    std::lock_guard<std::mutex> guard(lock);
    done = true;
  }
  ended.notify_all();
  watchdog.join();
  if (stopped) ADD_FAILURE() << "the conversion was stopped after " << kConversionCap.count() << " s";
}

// Applies the input options, adds the input, applies the output options,
// adds the output and runs the engine on this thread (capped). `prepare`
// may bind notifications before the run.
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
  RunCapped(engine);
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

}  // namespace fennick::test
