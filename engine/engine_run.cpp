// Engine life cycle: construction, reset, run on a worker thread or
// synchronously, pause/stop, the terminate step, release of task resources.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "engine/FFmpeg.h"
#include "engine/transcode_tables.h"

namespace fennick {

std::function<void(int level)> g_OnLibraryLogLevelChanged;

std::mutex& CodecLock() {
  static std::mutex lock;
  return lock;
}

std::string AvErrorText(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  if (AVL.av_strerror && AVL.av_strerror(code, buf, sizeof buf) == 0) return buf;
  return "error " + std::to_string(code);
}

TCustomFFmpeg::TCustomFFmpeg() { ApplyDefaults(); }

TCustomFFmpeg::~TCustomFFmpeg() {
  RequestStop();
  // Wait about a second for a running worker; if it is still busy after that
  // its resources are not freed under it: the wait goes on until it ends.
  for (int i = 0; i < 10 && FThreadRecorded; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (FThread) FThread->Join();
  if (FTerminateThread.joinable()) {
    if (FTerminateThread.get_id() == std::this_thread::get_id())
      FTerminateThread.detach();
    else
      FTerminateThread.join();
  }
  FreeTaskResources();
}

void TCustomFFmpeg::ApplyDefaults() { S = TEngineSettings{}; }

void TCustomFFmpeg::Log(int level, const std::string& text) {
  if (OnLog) OnLog(*this, level, text);
}

void TCustomFFmpeg::Reset() {
  if (!LibrariesLoaded()) return;
  FreeTaskResources();
  ApplyDefaults();
  FRunning = FStopRequested = FFinished = FTerminated = false;
  FException = false;
  FTotalOutputDuration = -1;
  static const AVMediaType kSlotTypes[5] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                            AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};
  for (int i = 0; i < 5; ++i) {
    FCodecOptions[i].reset(AVL.avcodec_alloc_context3(nullptr));
    if (FCodecOptions[i]) FCodecOptions[i]->codec_type = kSlotTypes[i];
  }
  FFormatOptions.reset(AVL.avformat_alloc_context());
  FScalerOptions.reset(AVL.sws_alloc_context());
  if (FScalerOptions) {
    // A 16x16 -> 16x16 scaler of pixel format 0 carrying the scaler flags.
    AVL.av_opt_set_int(FScalerOptions.get(), "srcw", 16, 0);
    AVL.av_opt_set_int(FScalerOptions.get(), "srch", 16, 0);
    AVL.av_opt_set_int(FScalerOptions.get(), "dstw", 16, 0);
    AVL.av_opt_set_int(FScalerOptions.get(), "dsth", 16, 0);
    AVL.av_opt_set_int(FScalerOptions.get(), "src_format", 0, 0);
    AVL.av_opt_set_int(FScalerOptions.get(), "dst_format", 0, 0);
    AVL.av_opt_set_int(FScalerOptions.get(), "sws_flags", S.SwsFlags, 0);
  }
}

void TCustomFFmpeg::SetVerbosity(int level) {
  S.Verbose = level;
  if (LibrariesLoaded()) AVL.av_log_set_level(level);
  if (g_OnLibraryLogLevelChanged) g_OnLibraryLogLevelChanged(level);
}

TFFmpegThread* TCustomFFmpeg::StartRun(bool runInThread, int priority) {
  if (FRunning || FTerminated) return nullptr;
  const char* refusal = nullptr;
  if (FOutputFiles.empty())
    refusal = "Must supply at least one output file";
  else if (FInputFiles.empty())
    refusal = "Must supply at least one input file";
  if (refusal) {
    FreeTaskResources();
    Log(-1, refusal);
    FException = true;
    FTerminateMessage = refusal;
    DoTerminate();
    return nullptr;
  }
  FRunning = true;
  FStopRequested = FFinished = FTerminated = false;
  if (!runInThread) {
    Run();
    return nullptr;
  }
  FThread = std::make_unique<TFFmpegThread>(*this, priority);
  FThreadRecorded = true;
  return FThread.get();
}

void TCustomFFmpeg::Run() {
  FFinished = false;
  try {
    Transcode();
  } catch (const std::exception& e) {
    Log(-1, e.what());
    FException = true;
    FTerminateMessage = e.what();
  }
  CloseOpenEncoders();
  CloseOpenDecoders();
  FreeTaskResources();
  DoTerminate();
}

void TCustomFFmpeg::RequestStop() {
  FStopRequested = true;
  ResumeRun();
}

void TCustomFFmpeg::StopTask() {
  if (FRunning) {
    RequestStop();
    return;
  }
  if (FTerminated || FTerminateStarted.exchange(true)) return;
  FTerminateThread = std::thread([this] {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    DoTerminate();
  });
}

void TCustomFFmpeg::PauseRun() {
  if (!FRunning) return;
  std::lock_guard<std::mutex> lock(FPauseMutex);
  FPaused = true;
}

void TCustomFFmpeg::ResumeRun() {
  {
    std::lock_guard<std::mutex> lock(FPauseMutex);
    FPaused = false;
  }
  FPauseCond.notify_all();
}

void TCustomFFmpeg::WaitIfPaused() {
  if (!FPaused) return;
  std::unique_lock<std::mutex> lock(FPauseMutex);
  FPauseCond.wait(lock, [this] { return !FPaused || FStopRequested; });
}

void TCustomFFmpeg::DoTerminate() {
  if (FTerminated.exchange(true)) return;
  FRunning = false;
  FThreadRecorded = false;
  if (OnTerminate) OnTerminate(*this);
}

void TCustomFFmpeg::FreeTaskResources() {
  if (!LibrariesLoaded()) return;
  for (auto& ctx : FCodecOptions) ctx.reset();
  FFormatOptions.reset();
  FScalerOptions.reset();
  for (auto& file : FOutputFiles) {
    if (!file || !file->Context) continue;
    const std::string url = file->Context->url ? file->Context->url : "";
    const bool ownFile = file->Context->oformat && !(file->Context->oformat->flags & AVFMT_NOFILE);
    file->Streams.clear();
    file->Context.reset();  // closes the byte stream, frees the context
    if (ownFile && !url.empty()) {
      struct stat st {};
      if (::stat(url.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) ::unlink(url.c_str());
    }
  }
  FOutputFiles.clear();
  FInputFiles.clear();
  FGenericOptions.clear();
  FHookModules.clear();
  S.IntraMatrix.clear();
  S.InterMatrix.clear();
  S.VStatsFileName.clear();
  S.VideoCodecName.clear();
  S.AudioCodecName.clear();
  S.SubtitleCodecName.clear();
  S.VideoStandard.clear();
  S.RcOverride.clear();
  S.AudioLanguage.clear();
  S.SubtitleLanguage.clear();
}

TFFmpegThread::~TFFmpegThread() { Join(); }

void TFFmpegThread::Resume() {
  if (FThread.joinable() || FDone) return;
  FThread = std::thread([this] {
    FThreadId = static_cast<uint32_t>(gettid());
    if (FPriority > 0) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), FPriority);
    FEngine.Run();
    FDone = true;
  });
  // The identifier is known to the caller once Resume returns.
  while (FThreadId == 0 && !FDone) std::this_thread::yield();
}

void TFFmpegThread::Join() {
  if (!FThread.joinable()) return;
  if (FThread.get_id() == std::this_thread::get_id())
    FThread.detach();
  else
    FThread.join();
}

}  // namespace fennick
