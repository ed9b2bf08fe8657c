// Engine life cycle: construction, reset, run on a worker thread or
// synchronously, pause/stop, the terminate step, release of task resources.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>

#include "engine/FFmpeg.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace fennick {

namespace {

thread_local bool t_HoldsCodecLock = false;
// Work this thread put off while holding CodecLock.
thread_local std::vector<std::function<void()>> t_AfterCodecLock;

}  // namespace

void TCodecLock::lock() {
  FMutex.lock();
  t_HoldsCodecLock = true;
}

bool TCodecLock::try_lock() {
  if (!FMutex.try_lock()) return false;
  t_HoldsCodecLock = true;
  return true;
}

void TCodecLock::unlock() {
  t_HoldsCodecLock = false;
  FMutex.unlock();
  while (!t_AfterCodecLock.empty()) {
    const std::vector<std::function<void()>> work = std::move(t_AfterCodecLock);
    t_AfterCodecLock.clear();
    for (const auto& w : work) {
      try {
        w();
      } catch (...) {
        // Called from lock guards' destructors: nothing may escape.
      }
    }
  }
}

bool TCodecLock::HeldByCurrentThread() { return t_HoldsCodecLock; }

TCodecLock& CodecLock() {
  static TCodecLock lock;
  return lock;
}

void RunOutsideCodecLock(std::function<void()> work) {
  if (t_HoldsCodecLock)
    t_AfterCodecLock.push_back(std::move(work));
  else
    work();
}

std::string AvErrorText(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  if (AVL.av_strerror && AVL.av_strerror(code, buf, sizeof buf) == 0) return buf;
  return "error " + std::to_string(code);
}

TCustomFFmpeg::TCustomFFmpeg() { ApplyDefaults(); }

TCustomFFmpeg::~TCustomFFmpeg() {
  RequestStop();
  const bool onOwnThread =
      (FThread && FThread->IsCurrent()) || (FTerminateThread && FTerminateThread->IsCurrent());
  if (!onOwnThread) {
    // Wait about a second for a running worker; if it is still busy after
    // that, its resources are not freed under it: the wait goes on until it
    // ends.
    for (int i = 0; i < 10 && FThread && FThread->Resumed() && !FThread->Done(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WaitForThreads();
  }
  // On its own thread the run has already released everything; releasing
  // again is harmless. Nothing touches the engine after its terminate step.
  FreeTaskResources();
}

void TCustomFFmpeg::ApplyDefaults() { S = TEngineSettings{}; }

void TCustomFFmpeg::Log(int level, const std::string& text) {
  if (!OnLog || KeepOutputThreadLine(level, text)) return;
  if (TCodecLock::HeldByCurrentThread()) {
    // Delivered when this thread leaves the lock, still inside the engine's
    // own call: the engine is alive then.
    RunOutsideCodecLock([this, level, text] {
      if (OnLog) OnLog(*this, level, text);
    });
    return;
  }
  OnLog(*this, level, text);
}

void TCustomFFmpeg::LogQuietly(int level, const std::string& text) noexcept {
  try {
    Log(level, text);
  } catch (...) {
    // Reporting a failure must not fail the run's end.
  }
}

void TCustomFFmpeg::Reset() {
  if (!LibrariesLoaded()) return;
  FreeTaskResources();
  ApplyDefaults();
  FRunning = FStopRequested = FFinished = FTerminated = false;
  FException = false;
  FPaused = false;
  FPausedTime = FPauseStart = 0;
  FStartClaimed = false;
  FTerminateMessage.clear();
  FTotalOutputDuration = -1;
  FHookTimeRanges.clear();
  FHookRangeIndex = 0;
  FHookFrameNumber = 0;
  FHookPixelFormat = AV_PIX_FMT_BGR24;
  static const AVMediaType kSlotTypes[kMediaSlotCount] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                                          AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};
  for (int i = 0; i < kMediaSlotCount; ++i) {
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

int LibraryLogLevel(int engineLevel) {
  if (engineLevel < 0) return AV_LOG_QUIET;
  switch (engineLevel) {
    case 0: return AV_LOG_ERROR;
    case 1: return AV_LOG_INFO;
    case 2: return AV_LOG_DEBUG;
    default: return AV_LOG_TRACE;
  }
}

int EngineLogLevel(int libraryLevel) {
  if (libraryLevel < 0) return -1;
  if (libraryLevel <= AV_LOG_ERROR) return 0;
  if (libraryLevel <= AV_LOG_INFO) return 1;
  if (libraryLevel <= AV_LOG_DEBUG) return 2;
  return 3;
}

void TCustomFFmpeg::SetVerbosity(int level) {
  S.Verbose = level;
  if (LibrariesLoaded()) AVL.av_log_set_level(LibraryLogLevel(level));
  if (OnVerbosityChanged) OnVerbosityChanged(*this, level);
}

TFFmpegThread* TCustomFFmpeg::StartRun(bool runInThread, int priority) {
  const char* refusal = nullptr;
  {
    std::lock_guard<std::mutex> lock(FRunStateLock);
    if (FStartClaimed || FRunning || FTerminated) return nullptr;
    FStartClaimed = true;
    if (FOutputFiles.empty())
      refusal = "Must supply at least one output file";
    else if (FInputFiles.empty())
      refusal = "Must supply at least one input file";
    if (!refusal) {
      FRunning = true;
      FStopRequested = FFinished = FTerminated = false;
    }
  }
  if (refusal) {
    FreeTaskResources();
    LogQuietly(-1, refusal);
    FException = true;
    FTerminateMessage = refusal;
    DoTerminate();
    return nullptr;
  }
  if (!runInThread) {
    Run();
    return nullptr;
  }
  FThread = std::make_unique<TFFmpegThread>(*this, priority);
  FThreadRecorded = true;
  return FThread.get();
}

void TCustomFFmpeg::Run() {
  const TClassicNumberScope classicNumbers;
  FFinished = false;
  std::optional<std::string> failure;
  try {
    Transcode();
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown exception";
  }
  if (failure) {
    LogQuietly(-1, *failure);
    FException = true;
    FTerminateMessage = *failure;
  }
  CloseOpenEncoders();
  CloseOpenDecoders();
  FreeTaskResources();
  std::vector<CodecContextPtr> stoppedEncoders = std::move(FStoppedEncoders);
  FStoppedEncoders.clear();
  DoTerminate();
  // The terminate notification may have dropped the last reference to this
  // engine: nothing here touches it any more.
  if (!stoppedEncoders.empty()) {
    for (const CodecContextPtr& enc : stoppedEncoders) EndEncoderBeforeFree(enc.get());
    std::lock_guard<TCodecLock> lock(CodecLock());
    stoppedEncoders.clear();
  }
}

void TCustomFFmpeg::RequestStop() {
  FStopRequested = true;
  ResumeRun();
  WakeStages();
}

bool TCustomFFmpeg::StopTask() {
  bool neverStarted = false;
  {
    std::lock_guard<std::mutex> lock(FRunStateLock);
    neverStarted = !FStartClaimed.exchange(true);
  }
  if (neverStarted) {
    FTerminateThread = std::make_unique<TDoTerminateThread>(*this);
    FTerminateThread->Resume();
    return true;
  }
  // Running, about to run, or over: a stop request ends a run at its next
  // check and is harmless otherwise.
  RequestStop();
  return false;
}

void TCustomFFmpeg::PauseRun() {
  if (!FThreadRecorded || !FRunning) return;
  std::lock_guard<std::mutex> lock(FPauseMutex);
  if (!FPaused) FPauseStart = AVL.av_gettime_relative();
  FPaused = true;
}

void TCustomFFmpeg::ResumeRun() {
  {
    std::lock_guard<std::mutex> lock(FPauseMutex);
    if (FPaused) FPausedTime += AVL.av_gettime_relative() - FPauseStart;
    FPaused = false;
  }
  FPauseCond.notify_all();
}

int64_t TCustomFFmpeg::RunningClock() {
  std::lock_guard<std::mutex> lock(FPauseMutex);
  const int64_t now = AVL.av_gettime_relative();
  return now - FPausedTime - (FPaused ? now - FPauseStart : 0);
}

void TCustomFFmpeg::WaitIfPaused() {
  if (!FPaused) return;
  std::unique_lock<std::mutex> lock(FPauseMutex);
  ++FHeldByPause;
  FPauseCond.wait(lock, [this] { return !FPaused || FStopRequested; });
  --FHeldByPause;
}

void TCustomFFmpeg::DoTerminate() {
  if (FTerminated.exchange(true)) return;
  FRunning = false;
  FThreadRecorded = false;
  ResumeRun();
  if (OnTerminate) {
    // A copy: the handler may free this engine (and its bindings) when it is
    // not kept alive by a shared owner.
    const TTerminateNotify notify = OnTerminate;
    const TLogNotify log = OnLog;
    std::optional<std::string> failure;
    try {
      notify(*this);
    } catch (const std::exception& e) {
      failure = e.what();
    } catch (...) {
      failure = "unknown exception";
    }
    if (failure && log) {
      try {
        log(*this, 0, "Error occurs OnTerminate: " + *failure);
      } catch (...) {
      }
    }
  }
}

bool TCustomFFmpeg::ThreadsFinished() const {
  auto finished = [](const TEngineThread* t) { return !t || !t->Resumed() || t->Done(); };
  return finished(FThread.get()) && finished(FTerminateThread.get());
}

void TCustomFFmpeg::WaitForThreads() {
  if (FThread) FThread->Join();
  if (FTerminateThread) FTerminateThread->Join();
}

void TCustomFFmpeg::FreeTaskResources() {
  if (!LibrariesLoaded()) return;
  // The run tables first: they refer to the files.
  FreeTranscodeTables();
  for (auto& ctx : FCodecOptions) ctx.reset();
  FFormatOptions.reset();
  FScalerOptions.reset();
  for (auto& file : FOutputFiles) {
    if (!file || !file->Context) continue;
    file->Streams.clear();
    file->Context.reset();  // closes the byte stream, frees the context
    // A partial file that was not completed goes with its reservation.
    file->Reservation.reset();
  }
  FOutputFiles.clear();
  FInputFiles.clear();
  FGenericOptions.clear();
  FHookModules.clear();
  FUsingVHook = false;
  FHookBitmap.reset();
  FHookRGBBuffer.reset();
  FHookRGBBufferSize = 0;
  FToRGB.reset();
  FFromRGB.reset();
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

// ---- engine threads

namespace {

// Gives thread `tid` the process's own nice value plus `steps` (at most 19):
// relative to what the process was started with, so a process started with
// "nice -n 19" keeps its threads at 19. A thread inherits the nice value of
// the thread that created it, which may be another task's lowered thread; it
// never gets a higher priority than the process's own. Where the system
// refuses the change the thread keeps the priority it inherited.
void LowerThreadPriority(pid_t tid, int steps) {
  errno = 0;
  const int process = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  if (process == -1 && errno != 0) return;
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (current == -1 && errno != 0) return;
  const int wanted = std::min(19, process + std::max(0, steps));
  if (wanted != current) setpriority(PRIO_PROCESS, static_cast<id_t>(tid), wanted);
}

}  // namespace

// Shared by a thread object and the thread's body, so the body never touches
// the object (which may be freed on the thread itself).
struct TEngineThreadState {
  std::mutex Lock;
  std::condition_variable Cond;
  bool Resumed = false, Cancelled = false;    // guarded by Lock
  std::shared_ptr<TCustomFFmpeg> KeepAlive;  // guarded by Lock; handed to the body
  std::atomic<uint32_t> ThreadId{0};
  std::atomic<bool> Done{false};
};

TEngineThread::TEngineThread(TCustomFFmpeg& engine, int nice, void (*work)(TCustomFFmpeg&))
    : FEngine(engine), FState(std::make_shared<TEngineThreadState>()) {
  TCustomFFmpeg* target = &engine;
  FThread = std::thread([st = FState, target, nice, work] {
    const pid_t tid = gettid();
    LowerThreadPriority(tid, nice);
    std::shared_ptr<TCustomFFmpeg> keepAlive;
    {
      std::unique_lock<std::mutex> lock(st->Lock);
      st->ThreadId = static_cast<uint32_t>(tid);
      st->Cond.notify_all();
      st->Cond.wait(lock, [&] { return st->Resumed || st->Cancelled; });
      if (st->Cancelled) {
        st->Done = true;
        return;
      }
      keepAlive = std::move(st->KeepAlive);
    }
    work(*target);
    st->Done = true;
    // May free the engine, and this thread's object with it, right here.
    keepAlive.reset();
  });
  FId = FThread.get_id();
  std::unique_lock<std::mutex> lock(FState->Lock);
  FState->Cond.wait(lock, [this] { return FState->ThreadId != 0; });
}

TEngineThread::~TEngineThread() {
  if (!FThread.joinable()) return;
  if (IsCurrent()) {
    FThread.detach();
    return;
  }
  Join();
}

void TEngineThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(FState->Lock);
    if (FState->Resumed || FState->Cancelled) return;
    FState->KeepAlive = FEngine.weak_from_this().lock();
    FState->Resumed = true;
  }
  FState->Cond.notify_all();
}

uint32_t TEngineThread::ThreadId() const { return FState->ThreadId; }

bool TEngineThread::Resumed() const {
  std::lock_guard<std::mutex> lock(FState->Lock);
  return FState->Resumed;
}

bool TEngineThread::Done() const { return FState->Done; }

void TEngineThread::Join() {
  if (!FThread.joinable() || IsCurrent()) return;
  {
    std::lock_guard<std::mutex> lock(FState->Lock);
    if (!FState->Resumed) FState->Cancelled = true;
  }
  FState->Cond.notify_all();
  FThread.join();
}

TFFmpegThread::TFFmpegThread(TCustomFFmpeg& engine, int nice)
    : TEngineThread(engine, nice, [](TCustomFFmpeg& e) { e.Run(); }) {}

TDoTerminateThread::TDoTerminateThread(TCustomFFmpeg& engine)
    : TEngineThread(engine, 19, [](TCustomFFmpeg& e) { e.DoTerminate(); }) {}

}  // namespace fennick
