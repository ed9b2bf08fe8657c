// The transcoding engine: one TCustomFFmpeg per conversion task. Every
// setting the classic command-line transcoder keeps in globals is a field of
// the instance, so several conversions can run at once, each on its thread.
//
// Operations live in files by stage:
//   engine_run.cpp       life cycle, StartRun/Run, pause/stop, resource release
//   options.cpp          option vocabulary and the generic option setter
//   input_files.cpp      AddInputFile, FindCodecId, CopyGenericOptions
//   output_files.cpp     AddOutputFile and the stream builders
//   targets.cpp          the vcd/svcd/dvd/dv/dv50 presets
//   transcode_*.cpp, audio_output.cpp, video_output.cpp, report.cpp  the run
//
// The public members are what the engine's callers use (the component,
// fennick-convert --engine, the benchmark, the tests); the stages of a run are
// protected and called only from the engine's own files, whose private headers
// are transcode_tables.h and option_parsing.h. The engine calls nothing above
// it: its owner hears from it through the notifications.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "codec_library/codec_library.h"
#include "codec_library/media_files.h"
#include "engine/av_ptr.h"
#include "engine/bitmap.h"
#include "engine/engine_settings.h"
#include "engine/frame_hook_module.h"
#include "engine/hook_action.h"

namespace fennick {

// The engine's exception: a message and nothing else.
class FFMpegException : public std::runtime_error {
 public:
  explicit FFMpegException(const std::string& message) : std::runtime_error(message) {}
};

// A malformed number handed to a numeric option.
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

// Process-wide lock held around every codec open/close and around reading an
// input's stream information: the libraries do not allow those concurrently.
// A thread that holds it waits for no other lock meanwhile: a thread waiting
// for CodecLock may hold the lock of a component (a handler adding a task),
// so what would take such a lock (a log line reaching a component) is put
// off with RunOutsideCodecLock until the holder releases CodecLock.
class TCodecLock {
 public:
  void lock();
  bool try_lock();
  // Releases the lock, then runs what this thread put off while holding it.
  void unlock();
  static bool HeldByCurrentThread();

 private:
  std::mutex FMutex;
};
TCodecLock& CodecLock();
// Runs `work` now, or, on a thread that holds CodecLock, right after that
// thread releases it (in the order put off).
void RunOutsideCodecLock(std::function<void()> work);

class TCustomFFmpeg;
class TFFmpegThread;
class TDoTerminateThread;
struct TInputFile;
struct TInputStream;
struct TInputSync;
struct TInputUnit;
struct TDecodedFrame;
class TStageThreads;
struct TDeliveredUnit;
struct TOutputWorker;
struct TSoundBlock;
struct TOutputStream;
struct TTranscodeRun;
class TOutputReservation;

// An opened input file and the decoder contexts prepared for its streams
// (filled from each stream's codecpar, generic options applied, not opened;
// the transcode set-up takes them into its run tables).
struct TInputFileSlot {
  InputFormatContextPtr Context;
  std::string Name;                       // as given to AddInputFile
  // Device and inode of a local input, so that no output overwrites it.
  bool HasIdentity = false;
  uint64_t Device = 0, Inode = 0;
  std::vector<CodecContextPtr> Decoders;  // one per stream, from its codecpar
  std::vector<const AVCodec*> DecoderCodecs;  // forced decoder per stream, or null
  int64_t TsOffset = 0;                   // µs
  double TsScale[kMaxStreams] = {};       // "itsscale" per stream, 0 = none
  bool RateEmu = false;                   // "re": read at the input's own pace
};

// One stream of an output file as AddOutputFile built it: the muxer's stream
// and the encoder context configured from the settings. The context is not
// opened here: the transcode set-up takes it into its run tables, opens
// `Encoder` on it (or, for a stream copy, fills the stream's codecpar from
// the source) and then copies the parameters into the stream.
struct TOutputStreamConfig {
  AVStream* Stream = nullptr;
  CodecContextPtr Codec;
  const AVCodec* Encoder = nullptr;  // the encoder chosen by name or guessed
  bool StreamCopy = false;
  float Quality = 0;           // fixed-quality value (118 × scale), 0 = none
  bool OwnAmrNbEncoder = false;  // "libamr_nb": the engine's own encoder
  DictionaryPtr EncoderOptions;  // private encoder options for avcodec_open2
  // The input stream it takes, fixed when it was made (file and stream
  // index); -1: chosen at set-up.
  int SourceFile = -1, SourceStream = -1;
  // A copied cover: the input stream (index into the run's input stream
  // table) of the attached picture it carries; -1 for every other stream.
  // Set by the transcode set-up, which adds such streams.
  int AttachedPictureSource = -1;
};

struct TOutputFileSlot {
  OutputFormatContextPtr Context;
  std::vector<TOutputStreamConfig> Streams;
  DictionaryPtr MuxerOptions;  // handed to avformat_write_header
  std::string Name;            // as given to AddOutputFile
  // The local file the output names (empty for URLs), so that no input
  // added later is that very file.
  std::string LocalPath;
  // A local regular file is written under its partial name and renamed onto
  // its own name once complete; until then the reservation holds the name.
  // Devices, pipes, URLs and files the muxer opens itself have none and are
  // written directly.
  std::shared_ptr<TOutputReservation> Reservation;
  // Trailer written, byte stream closed without an error and the file in
  // place under its name: it is playable and stays.
  bool Complete = false;
};

// A time range (µs) in which frame-hook modules act.
struct THookTimeRange {
  int64_t Start = 0, End = 0;
};

// Engines that live in a std::shared_ptr are kept alive by their worker
// thread until its run has returned, so the last reference may be dropped
// anywhere, even from inside the engine's own terminate notification.
class TCustomFFmpeg : public std::enable_shared_from_this<TCustomFFmpeg> {
 public:
  // Notifications. Bound by the owner before the run; called on the thread
  // that runs the engine.
  using TLogNotify = std::function<void(TCustomFFmpeg&, int level, const std::string& text)>;
  using TProgressNotify =
      std::function<void(TCustomFFmpeg&, int frameNumber, int fps, int currentDurationMs, float quality,
                         float bitRateKbps, int64_t currentSize, int totalDurationMs)>;
  using TTerminateNotify = std::function<void(TCustomFFmpeg&)>;
  using TBeforeHookNotify = std::function<void(TCustomFFmpeg&, int64_t pts, THookAction& action)>;
  using TCustomHookNotify = std::function<void(TCustomFFmpeg&, TBitmap& bitmap, int frameNumber, int64_t pts,
                                               bool& update, bool& stopHook)>;
  // The verbosity changed (SetVerbosity, or an option that raises it); the
  // libraries' log level has already followed it. Called on the thread that
  // changed it.
  using TVerbosityNotify = std::function<void(TCustomFFmpeg&, int level)>;

  TCustomFFmpeg();
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  // ---- life cycle (engine_run.cpp)
  void Reset();
  // Sets the verbosity and the libraries' log level to match, then sends
  // the verbosity notification.
  void SetVerbosity(int level);
  // Returns the suspended worker thread (the caller resumes it), or nullptr
  // when run synchronously, already started, or refused.
  TFFmpegThread* StartRun(bool runInThread, int priority = 0);
  void Run();
  void RequestStop();
  // True when it started the auxiliary terminate thread.
  bool StopTask();
  void PauseRun();
  void ResumeRun();
  bool Running() const { return FRunning; }
  bool StopRequested() const { return FStopRequested; }
  bool Finished() const { return FFinished; }
  bool Terminated() const { return FTerminated; }
  bool ExceptionRaised() const { return FException; }
  bool Paused() const { return FPaused; }
  // Held at a pause point right now (a pause asked for takes effect at the
  // next one).
  bool HeldByPause() const { return FHeldByPause > 0; }
  const std::string& TerminateMessage() const { return FTerminateMessage; }
  const std::string& LastErrorText() const { return FLastError; }
  int TotalOutputDuration() const { return FTotalOutputDuration; }
  int64_t ProgressInterval() const { return FProgressInterval; }
  void SetProgressInterval(int64_t microseconds) { FProgressInterval = microseconds; }
  // Codec threads of every decoder and encoder the run opens: 1 (the
  // default) keeps each codec on the task's thread, 0 lets the libraries
  // choose for the machine, N asks for N. A setting of the engine, not an
  // option of its vocabulary; Reset restores 1. Read when the codecs open.
  int ThreadCount() const { return S.ThreadCount; }
  void SetThreadCount(int count) { S.ThreadCount = count < 0 ? 1 : count; }
  // Stage threads: reading and decoding of each input file on a thread of
  // its own, handing frames to the conversion, encoding and writing on the
  // run's thread (on by default). Off runs every stage in one loop on the
  // run's thread. Either way the same input and settings give the same
  // output. A setting of the engine, not an option of its vocabulary;
  // Reset restores the default. Read when the run starts.
  bool StageThreads() const { return S.StageThreads; }
  void SetStageThreads(bool on) { S.StageThreads = on; }
  // Whether `threadId` (a system thread id) is one of the run's stage
  // threads right now, so that what the libraries log on it is the run's.
  bool RunsStageThread(uint32_t threadId) const;
  // The terminate step: running off, terminated on, thread forgotten, then
  // the terminate notification. Runs once per engine.
  void DoTerminate();
  // Blocks the calling thread (the run's or one of its stage threads) while
  // the run is paused. Called at safe points only, never while a lock is
  // held.
  void WaitIfPaused();
  // The wall clock less the time the run has been paused (µs).
  int64_t RunningClock();
  // False once StartRun or StopTask has taken the engine: it runs only once.
  bool CanStart() const { return !FStartClaimed; }
  // Whether the worker and terminate threads (if any) have finished their work.
  bool ThreadsFinished() const;
  // Waits for the engine's threads to end (never for the calling thread itself).
  void WaitForThreads();

  // ---- option vocabulary (options.cpp)
  void ApplyOption(const std::string& name, const std::string& value);
  bool SetGenericOption(const std::string& name, const std::string& value);
  // One-sided "f" variants of the record path.
  void SetInputFormat(const std::string& name);
  void SetOutputFormat(const std::string& name);
  void SetPadColor(uint32_t bgr);  // 0x00BBGGRR
  void SetHookTimeRanges(std::vector<THookTimeRange> ranges);
  // The layout of the custom hook's bitmap rows: a packed format of one
  // plane with 1 to 4 whole bytes per pixel (AV_PIX_FMT_BGR24 by default,
  // and again after Reset). False, and nothing changed, for any other.
  bool SetHookPixelFormat(AVPixelFormat format);
  AVPixelFormat HookPixelFormat() const { return FHookPixelFormat; }

  // ---- inputs (input_files.cpp)
  bool AddInputFile(const std::string& fileName);
  // Resolves a codec name ("encoder" or "decoder" kind); empty name gives
  // AV_CODEC_ID_NONE. False with the last error text set on failure.
  bool FindCodecId(const std::string& name, const std::string& kind, AVMediaType type, AVCodecID& id,
                   const AVCodec** codec = nullptr);
  void InputMediaKinds(bool& hasVideo, bool& hasAudio, bool& hasSubtitle);

  // ---- outputs (output_files.cpp, targets.cpp)
  // `reservation`: the name the caller reserved for this file (jobs'
  // output names); without one, a local file's name is reserved here.
  bool AddOutputFile(const std::string& fileName, std::shared_ptr<TOutputReservation> reservation = nullptr);
  void ApplyTarget(const std::string& type, const std::string& norm, const std::string& assumedNorm);

  // ---- read access for the owner and the tests
  const TEngineSettings& Settings() const { return S; }
  TEngineSettings& MutableSettings() { return S; }
  int InputCount() const { return static_cast<int>(FInputFiles.size()); }
  int OutputCount() const { return static_cast<int>(FOutputFiles.size()); }
  const TInputFileSlot& InputFile(int i) const { return *FInputFiles.at(i); }
  const TOutputFileSlot& OutputFile(int i) const { return *FOutputFiles.at(i); }
  const std::vector<TStreamMap>& StreamMaps() const { return FStreamMaps; }
  const std::vector<TMetaDataMap>& MetaDataMaps() const { return FMetaDataMaps; }
  AVCodecContext* CodecOptionContext(TMediaSlot slot) const { return FCodecOptions[slot].get(); }
  AVFormatContext* FormatOptionContext() const { return FFormatOptions.get(); }
  SwsContext* ScalerOptionContext() const { return FScalerOptions.get(); }
  const std::vector<const AVOption*>& GenericOptionNames() const { return FGenericOptions; }
  const std::vector<THookTimeRange>& HookTimeRanges() const { return FHookTimeRanges; }
  size_t HookModuleCount() const { return FHookModules.size(); }
  bool UsingVHook() const { return FUsingVHook; }

  TLogNotify OnLog;
  TProgressNotify OnProgress;
  TTerminateNotify OnTerminate;
  TBeforeHookNotify OnBeforeHook;
  TCustomHookNotify OnCustomHook;
  TVerbosityNotify OnVerbosityChanged;

 protected:
  // ---- stages of the conversion, called only from the engine's own files
  // (and from tests of a stage, through a subclass)
  // Copies the generic options set so far from one option object to another
  // when their flags contain all of `flags`.
  void CopyGenericOptions(void* target, void* source, int flags);
  void AddVideoStream(TOutputFileSlot& file);
  void AddAudioStream(TOutputFileSlot& file);
  void AddSubtitleStream(TOutputFileSlot& file);
  // A subtitle stream for each subtitle stream of the inputs that the
  // output's container holds ("KeepSubtitles").
  void AddKeptSubtitleStreams(TOutputFileSlot& file);
  // Opens the output's byte stream (under its partial name where it has
  // one); false with the last error text set.
  bool OpenOutputStream(TOutputFileSlot& file);
  // The refusal of an input that is the very file an output names.
  static std::string SameFileRefusal(const std::string& output, const std::string& input);

  // ---- the run (transcode_setup.cpp, transcode_loop.cpp, ...)
  void Transcode();
  void CloseOpenEncoders();
  void CloseOpenDecoders();
  void FreeTranscodeTables();

  // ---- audio output (audio_output.cpp)
  // Converts a decoded audio frame to interleaved samples of the input
  // stream's AudioFormat at its RequestedChannels, applies the volume, and
  // returns the samples (the frame's own data when it needs no change, else
  // an engine-owned buffer; valid until the next call or the frame's
  // release) and their byte count.
  const void* DecodedAudioBlock(TInputSync& ist, const AVFrame& frame, int& bytes);
  // The same as interleaved signed 16-bit, whatever the stream's AudioFormat.
  const int16_t* DecodedAudioToS16(TInputSync& ist, const AVFrame& frame, int& bytes);
  // Encodes one block of DecodedAudioBlock (samples of the output stream's
  // AudioFormat, which is its source's) whose stream's time is `syncPts`
  // (µs; the block's own, or that of the stream the output follows).
  void OutputAudio(AVFormatContext* file, TOutputStream& ost, int64_t syncPts, const TSoundBlock& block);
  // End of stream: encodes what waits in the FIFO (short last frame when the
  // encoder accepts one) and drains the encoder.
  void FlushAudio(AVFormatContext* file, TOutputStream& ost);
  // Opens the engine's own encoder for an output stream that asked for one
  // ("libamr_nb"); raises on failure.
  void OpenOwnAudioEncoder(TOutputStream& ost);

  // ---- video output (video_output.cpp)
  // Deinterlacing and the frame hooks, on a picture of time `pts` (µs).
  void PreprocessVideoFrame(int64_t pts, AVFrame& picture);
  // Hands the working picture to the custom hook as a bitmap and, when the
  // handler asks for it, takes the bitmap back. False when the hook is to
  // stop (the handler said so, or a conversion could not be set up).
  bool RunCustomHook(AVFrame& work, int64_t pts);
  // Encodes a picture whose stream's time is `syncPts` (µs), dropped or
  // repeated to keep the output's frame rate; `quality` is its decoder's.
  void OutputVideo(AVFormatContext* file, TOutputStream& ost, int64_t syncPts, float quality, AVFrame& picture,
                   int& frameSize);
  void FlushVideo(AVFormatContext* file, TOutputStream& ost);
  // A decoded cue, `pts` in the input stream's time base `timeBase`.
  void OutputSubtitle(AVFormatContext* file, TOutputStream& ost, AVRational timeBase, AVSubtitle& subtitle,
                      int64_t pts);

  // ---- progress report (report.cpp)
  void PrintReport(bool isLastReport);
  void WriteVideoStats(TOutputStream& ost, int frameSize);

  // Sends a line to the log notification (level -1 errors, 0 error-level
  // notes, 1 information) when one is bound.
  void Log(int level, const std::string& text);
  // As Log, for the run's end: a failing log handler is ignored.
  void LogQuietly(int level, const std::string& text) noexcept;
  void FreeTaskResources();
  void ApplyDefaults();

  // The run's inner stages (transcode_setup.cpp, transcode_loop.cpp,
  // video_output.cpp); they work on FRun.
  void SetupTranscode();
  void TranscodeLoop();
  void FinishTranscode();
  // Raises when an output file, or an audio or video stream of one whose
  // source had data, got no packet: such a run did not convert anything.
  void CheckOutputsHoldMedia();
  // ---- reading and decoding stage (transcode_loop.cpp): what an input
  // file's next packet gives, what a decoder gives when drained.
  std::unique_ptr<TInputUnit> ReadInputUnit(int fileIndex);
  std::unique_ptr<TInputUnit> DrainDecoder(int istIndex);
  // Decodes a packet (null: drains the decoder) into `unit`, each frame
  // with its time; keeps the packet for stream copies.
  void DecodePacket(TInputStream& ist, int istIndex, AVPacket* packet, TInputUnit& unit);
  // The time (µs) of a decoded block of `samples` at `rate` whose packet had
  // this decoding time (stream time base, or none).
  int64_t SoundFrameTime(TInputStream& ist, int64_t packetDts, int samples, int rate);
  // Rate emulation: waits until a packet of `file` with this timestamp (µs)
  // is due; returns early on a stop request.
  void PaceInput(TInputFile& file, int64_t timestamp);
  // The body of a reader thread: the file's units into its queue, then
  // its decoders' last frames.
  void ReadInputFile(int fileIndex, TStageThreads& threads);
  // Whether this run's stages may run on threads of their own.
  bool StageThreadsUsable() const;
  void StartStageThreads();
  // Cancels and joins the reader threads (nothing without them).
  void StopStageThreads();
  // Has every wait of the stages look again at the stop flag (from any
  // thread; nothing without stage threads).
  void WakeStages();
  // ---- conversion stage: the next unit of a file (from its reader thread,
  // or read right here), and its way to the outputs. False when decoding
  // failed.
  std::unique_ptr<TInputUnit> NextInputUnit(int fileIndex);
  // Takes what is shared of a unit (its log lines, the stream's time, the
  // hooks, sound conversion) and hands the rest to the outputs.
  bool OutputInputUnit(std::unique_ptr<TInputUnit> unit);
  // What the output streams of one file (-1: of every file) do with a unit:
  // encode its frames and cue, copy its packet, drain at the stream's end.
  void DeliverUnit(const TDeliveredUnit& unit, int outputFile);
  // End of an input stream: drains the encoders it feeds (in one output
  // file, -1: in every file).
  void FlushEncoders(int istIndex, int outputFile = -1);
  // ---- output threads (output_threads.cpp), with several output files.
  void StartOutputThreads(TStageThreads& threads);
  // Hands a unit to the output threads whose files it concerns, or, without
  // them, to the outputs right here.
  void HandOutUnit(TDeliveredUnit&& unit);
  // Waits until the output threads have done every unit handed out, so
  // that the output stream records may be read; logs their lines and raises
  // the first one's failure. Nothing without output threads.
  void WaitForOutputs();
  // Logs the lines the output threads have kept and raises a failure.
  void CollectOutputs();
  void RunOutputThread(TOutputWorker& worker, const std::atomic<bool>& cancelled);
  bool OutputThreadsRunning() const;
  // After a stop: an encoder that has written no packet yet gives what it
  // holds (sound encoders all of it, picture encoders their first picture),
  // so that a stopped file holds what was converted; the others are left as
  // they are, so that a look-ahead is not encoded.
  void FinishStoppedEncoders(int istIndex);
  // A packet of a stream copy; the input stream's time after it is
  // `sourcePts` (µs), its time base `timeBase`.
  void CopyPacket(TOutputStream& ost, int64_t sourcePts, AVRational timeBase, const AVPacket& packet);
  AVFrame* PrepareOutputPicture(TOutputStream& ost, AVFrame& picture);
  // Sends `frame` (null: the end of the stream) and writes the packets the
  // encoder gives, at most `maxPackets` of them when positive; the bytes
  // written.
  int EncodeVideoFrame(AVFormatContext* file, TOutputStream& ost, AVFrame* frame, int maxPackets = 0);

  // Settings (written by the option handlers) and per-task tables.
  TEngineSettings S;
  std::vector<std::unique_ptr<TInputFileSlot>> FInputFiles;
  std::vector<std::unique_ptr<TOutputFileSlot>> FOutputFiles;
  std::vector<TStreamMap> FStreamMaps;
  std::vector<TMetaDataMap> FMetaDataMaps;

  // Generic option targets: codec contexts by media type, the container and
  // the scaler option object.
  CodecContextPtr FCodecOptions[kMediaSlotCount];
  FormatContextPtr FFormatOptions;
  SwsContextPtr FScalerOptions;
  std::vector<const AVOption*> FGenericOptions;

  // The run tables of the current transcode (transcode_tables.h), with the
  // codecs the run opened.
  std::unique_ptr<TTranscodeRun> FRun;
  // The encoders of a stopped run, closed by Run after the terminate
  // notification: closing waits for the pictures an encoder's own threads
  // still work on (tens of milliseconds for x264, a quarter of a second for
  // SVT-AV1), which the stopped file does not take.
  std::vector<CodecContextPtr> FStoppedEncoders;

  std::vector<THookTimeRange> FHookTimeRanges;
  size_t FHookRangeIndex = 0;
  bool FUsingVHook = false;
  // Frame-hook modules added by "vhook", in the order added.
  std::vector<std::unique_ptr<THookModule>> FHookModules;
  // Pictures offered to the hooks so far (the first one is number 1).
  int FHookFrameNumber = 0;
  // The custom hook's bitmap (made on first use), the picture converted to
  // its layout and the two cached conversions; kept from picture to picture.
  AVPixelFormat FHookPixelFormat = AV_PIX_FMT_BGR24;
  std::unique_ptr<TBitmap> FHookBitmap;
  AvMemPtr<uint8_t> FHookRGBBuffer;
  int FHookRGBBufferSize = 0;
  SwsContextPtr FToRGB, FFromRGB;

  // Run flags: written by the owner thread (stop, pause) and the task thread.
  std::atomic<bool> FRunning{false}, FStopRequested{false}, FFinished{false}, FTerminated{false},
      FException{false}, FPaused{false};
  // Threads held at a pause point right now.
  std::atomic<int> FHeldByPause{0};
  // System ids of the running reader threads, one slot per input file,
  // and of the output threads, one per output file.
  std::array<std::atomic<uint32_t>, kMaxFiles> FStageThreadIds{}, FOutputThreadIds{};
  // The running stage threads, for a stop from another thread to wake.
  std::mutex FWakeLock;
  TStageThreads* FWakeStages = nullptr;
  std::string FTerminateMessage;
  int FTotalOutputDuration = -1;  // ms
  std::string FLastError;
  int64_t FProgressInterval = 500000;  // µs

  // Pause/resume handshake (cooperative, see WaitIfPaused).
  std::mutex FPauseMutex;
  std::condition_variable FPauseCond;
  // Under FPauseMutex: time (µs) the run has been paused before the
  // current pause, and when that began.
  int64_t FPausedTime = 0, FPauseStart = 0;

  // The worker thread of a threaded run and the auxiliary thread that
  // terminates a never-started engine (StopTask). Created by whichever thread
  // calls StartRun/StopTask; the owner serialises those calls.
  std::unique_ptr<TFFmpegThread> FThread;
  std::atomic<bool> FThreadRecorded{false};
  std::unique_ptr<TDoTerminateThread> FTerminateThread;
  // Taken once by StartRun or StopTask, under FRunStateLock, so that a stop
  // cannot slip in between the claim and the start of the run.
  std::mutex FRunStateLock;
  std::atomic<bool> FStartClaimed{false};

  // Audio work buffers (audio_output.cpp) of DecodedAudioBlock, used by the
  // conversion stage only: grown when too small, never shrunk, kept for the
  // engine's life.
  std::vector<int16_t> AudioDecodeBuffer;    // decoded frame as interleaved s16
  std::vector<int32_t> AudioDecodeBuffer32;  // decoded frame as interleaved s32
  std::vector<float> AudioDecodeBufferFloat; // decoded frame as interleaved float
  // Audio encoding steps shared by OutputAudio and FlushAudio, over `count`
  // interleaved samples of the stream's AudioFormat.
  void EncodeAudioBlock(AVFormatContext* file, TOutputStream& ost, const void* samples, int count);
  void EncodeAudioFrame(AVFormatContext* file, TOutputStream& ost, const void* samples, int count,
                        int frameSamples);
  void ReceiveAudioPackets(AVFormatContext* file, TOutputStream& ost);

  friend class TFFmpegThread;
  friend struct TOptionVocabulary;
  friend struct TTranscodeSetup;
};

struct TEngineThreadState;

// A thread bound to one engine, created suspended: the OS thread exists and
// its identifier is known, but it waits until Resume. It frees itself: the
// object may be destroyed on its own thread (the thread then detaches).
class TEngineThread {
 public:
  virtual ~TEngineThread();
  TEngineThread(const TEngineThread&) = delete;
  TEngineThread& operator=(const TEngineThread&) = delete;
  void Resume();
  uint32_t ThreadId() const;
  bool Resumed() const;
  bool Done() const;
  bool IsCurrent() const { return std::this_thread::get_id() == FId; }
  // Waits for the thread to end; a never-resumed thread is cancelled first.
  // Does nothing on the thread itself.
  void Join();

 protected:
  // The thread runs `nice` steps below the process's own priority (nice
  // value + `nice`, at most 19; kept as inherited where the system refuses).
  TEngineThread(TCustomFFmpeg& engine, int nice, void (*work)(TCustomFFmpeg&));

 private:
  TCustomFFmpeg& FEngine;
  std::shared_ptr<TEngineThreadState> FState;
  std::thread FThread;
  std::thread::id FId;
};

// The worker thread of one engine; created suspended by StartRun, started by
// Resume. Its only work is the engine's Run.
class TFFmpegThread : public TEngineThread {
 public:
  TFFmpegThread(TCustomFFmpeg& engine, int nice);
};

// Terminates an engine that was never started (StopTask) at idle priority.
class TDoTerminateThread : public TEngineThread {
 public:
  explicit TDoTerminateThread(TCustomFFmpeg& engine);
};

// The engine's log levels (-1 quiet/errors, 0 error, 1 information, 2 debug,
// 3 and above everything) and the codec libraries' AV_LOG_* scale.
int LibraryLogLevel(int engineLevel);
int EngineLogLevel(int libraryLevel);

}  // namespace fennick
