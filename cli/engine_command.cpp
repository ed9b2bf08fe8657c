// --engine: the transcoding engine driven with its own option vocabulary, in
// the order given, like the classic command-line transcoder.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/stream_output.h"
#include "component/FFmpegVCL.h"
#include "component/log_routing.h"
#include "engine/FFmpeg.h"
#include "util/text_util.h"

namespace fennick::cli {

namespace {

std::mutex g_StderrLock;

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_StderrLock);
  WriteStream(stderr, line + "\n");
}

}  // namespace

int EngineCommand(const TCliArguments& arguments) {
  // The component loads the libraries and routes their log lines.
  TFFmpegVCL vcl;
  vcl.OnLog = [](int, TLogLevel, const std::string& line) { PrintLine(line); };
  if (!LoadCodecs(vcl)) return ExitFailed;

  std::mutex lock;
  std::condition_variable terminated;
  bool done = false;
  const bool terminal = isatty(STDERR_FILENO);

  TCustomFFmpeg engine;
  engine.OnLog = [](TCustomFFmpeg&, int, const std::string& line) { PrintLine(line); };
  engine.OnProgress = [terminal](TCustomFFmpeg&, int frame, int fps, int currentMs, float quality, float bitRate,
                                 int64_t size, int) {
    const std::string line =
        FormatText("frame=%5d fps=%3d q=%.1f size=%8lldkB time=%.2f bitrate=%6.1fkbits/s", frame, fps, quality,
                   static_cast<long long>(size / 1024), currentMs / 1000.0, bitRate);
    std::lock_guard<std::mutex> guard(g_StderrLock);
    WriteStream(stderr, line + (terminal ? "\r" : "\n"));
  };
  // The libraries' lines the component passes on follow the verbosity the
  // options set ("-v", "-debug").
  engine.OnVerbosityChanged = [](TCustomFFmpeg&, int) { RefreshLogThreshold(); };
  engine.OnTerminate = [&](TCustomFFmpeg&) {
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    terminated.notify_all();
  };

  engine.Reset();
  engine.SetVerbosity(1);
  // Opening an input may read for long (an endless source being probed):
  // Ctrl-C meanwhile ends the opening through the engine's stop request.
  std::optional<TInterruptWatch> watch;
  watch.emplace([&engine] { engine.RequestStop(); });
  for (const TEngineStep& step : arguments.EngineSteps) {
    try {
      switch (step.Kind) {
        case TEngineStep::Option:
          engine.ApplyOption(step.Name, step.Value);
          break;
        case TEngineStep::Input:
          if (!engine.AddInputFile(step.Value)) {
            PrintLine(engine.LastErrorText());
            return Interrupted() ? ExitSignalBase + InterruptSignal() : ExitFailed;
          }
          break;
        case TEngineStep::Output:
          if (!engine.AddOutputFile(step.Value)) {
            PrintLine(engine.LastErrorText());
            return ExitFailed;
          }
          break;
      }
    } catch (const std::exception& e) {
      PrintLine(e.what());
      return ExitFailed;
    }
  }

  watch.reset();
  if (Interrupted()) return ExitSignalBase + InterruptSignal();

  engine.SetProgressInterval(500 * 1000);
  if (TFFmpegThread* thread = engine.StartRun(true)) thread->Resume();
  bool stopSent = false;
  {
    std::unique_lock<std::mutex> guard(lock);
    while (!done) {
      terminated.wait_for(guard, std::chrono::milliseconds(50));
      if (!stopSent && Interrupted()) {
        engine.RequestStop();
        stopSent = true;
      }
    }
  }
  if (terminal) PrintLine("");
  if (engine.ExceptionRaised()) return ExitFailed;
  if (Interrupted()) return ExitSignalBase + InterruptSignal();
  return ExitOk;
}

}  // namespace fennick::cli
