// Run tables of one transcode: created by Transcode's set-up, freed as a
// whole at its end (FreeTranscodeTables). Only the engine's transcode stages
// include this. The records are split by the stage that owns them during the
// packet loop: the reading and decoding stage (TInputFile's reader part,
// TInputStream), the sync and conversion stage (TInputSync, TOutputStream,
// the rest of TTranscodeRun), which also encodes and writes. With stage
// threads (see TStageThreads) each stage is one thread; the two share
// nothing mutable but the queues of TInputUnit between them, so no lock
// guards these records. With several output files each file's conversion,
// encoding and writing has a thread of its own (TOutputWorker), which
// writes only that file's TOutputStream records and reads the units the
// conversion stage hands it. The stream records own their codec contexts and
// close them under CodecLock when they go.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <utility>
#include <memory>
#include <string>
#include <vector>

#include "engine/FFmpeg.h"
#include "engine/amrnb_encoder.h"
#include "engine/bounded_queue.h"
#include "util/text_util.h"

namespace fennick {

class TAmrNbEncoder;
class TOutputWriter;

struct TInputFile {
  int FirstStreamIndex = 0;
  int StreamCount = 0;
  // Conversion stage: the file's end has been taken from its reader.
  bool EofReached = false;
  // Reading stage from here on.
  // Rate emulation ("re"): the first timestamp read (µs) and the running
  // time (wall clock less pauses, µs) when it was read; packets are handed
  // on no sooner than their distance from it.
  bool RateEmu = false;
  int64_t RateEmuFirstTs = AV_NOPTS_VALUE;
  int64_t RateEmuStartClock = 0;
  PacketPtr ReadPacket;   // reused for every packet read
  FramePtr DecodedFrame;  // reused for every decoded frame
};

// A decoded picture or block of sound as the decoding stage hands it on:
// the frame with its time, its stream and what the decoder said of it.
struct TDecodedFrame {
  FramePtr Frame;
  int64_t Pts = 0;         // µs, on the input's repaired time line
  float Quality = 0;       // the decoder's quality of a picture
  int DecoderRate = 0;     // sound: the decoder's rate and channels when it
  int DecoderChannels = 0; // handed the block out
};

// What one step of an input file's reader produced, taken by the conversion
// stage in order: a packet of a stream (with the frames its decoding gave,
// or the packet itself for stream copies), the file's end, or the frames a
// decoder handed out when drained at the end.
struct TInputUnit {
  enum TKind { ukPacket, ukFileEnd, ukDrain };
  TKind Kind = ukPacket;
  int FileIndex = 0;
  int InputIndex = -1;       // input stream table index; -1: a packet no output takes
  bool DecodeFailed = false;
  bool HasData = false;      // the packet lies inside the recorded range
  PacketPtr Packet;          // the packet, repaired, for stream copies
  std::vector<TDecodedFrame> Frames;
  // A decoded subtitle (freed with the unit) and its packet's pts.
  bool HasSubtitle = false;
  AVSubtitle Subtitle{};
  int64_t SubtitlePts = AV_NOPTS_VALUE;
  // The stream's time after the step (µs), as its reader left it.
  int64_t Pts = 0, NextPts = AV_NOPTS_VALUE;
  // Log lines of the step (level, text), written by the conversion stage so
  // that they keep their place among its own.
  std::vector<std::pair<int, std::string>> Notes;
  int Pictures = 0;  // decoded pictures among the frames
  // For the queues' bound (kQueueCapacity): pictures are what fills memory,
  // blocks of sound are small and many.
  static constexpr int kPictureWeight = 20;
  static int WeightOf(int pictures) { return 1 + kPictureWeight * pictures; }
  int Weight() const { return WeightOf(Pictures); }
  ~TInputUnit();
};
using TInputUnitPtr = std::unique_ptr<TInputUnit>;

// The weight the queues between the stages hold at most: three pictures,
// or sixty-four blocks of sound.
inline constexpr int kQueueCapacity = 64;

// The bounded queue of one input file's units between its reader thread
// and the conversion stage: a few pictures deep (see kQueueCapacity); a
// full queue wakes its reader once it is half empty again. The reader's
// failure reaches the conversion stage after the units before it.
using TUnitQueue = TBoundedQueue<TInputUnitPtr>;
inline std::unique_ptr<TUnitQueue> MakeUnitQueue() {
  return std::make_unique<TUnitQueue>(kQueueCapacity, kQueueCapacity / 2);
}

// Sound handed to an output stream: interleaved samples in the input
// stream's block format, at the decoder's rate.
struct TSoundBlock {
  const void* Samples = nullptr;
  int Bytes = 0;
  int Rate = 0;      // the decoder's rate for the block
  int Channels = 0;  // channels of the block
};

// A unit as the conversion stage hands it to the output streams: its
// frames after deinterlacing and the hooks, sound converted for encoding,
// the time each output stream follows, and what the outputs read of the
// input stream's record, taken when the unit was handed out. The output
// streams only read it, so that several output threads may share one.
struct TDeliveredFrame {
  TDecodedFrame* Decoded = nullptr;  // in the unit
  TSoundBlock Sound;
  std::vector<uint8_t> OwnSamples;   // the block, where Sound.Samples would not outlive the next frame
  // µs, the time each output stream follows, by position in the stream's
  // OutputsBySource: the frame's own, or where the stream a map names for
  // it has got to; empty when every output follows the frame's own.
  std::vector<int64_t> SyncPts;
};
struct TDeliveredUnit {
  TInputUnitPtr Unit;
  int InputIndex = -1;
  std::vector<TDeliveredFrame> Frames;
  bool Subtitle = false;     // the cue goes to the re-encoded outputs
  bool Flush = false;        // the stream has ended: its encoders give what they hold
  bool Copy = false;         // the packet goes to the stream copies
  bool CopyStarted = false;  // ... past the start position
  int64_t SourcePts = 0;     // µs, the input stream's time after the unit
  AVRational TimeBase{1, 1000000};
  int Weight() const { return TInputUnit::WeightOf(Unit ? Unit->Pictures : 0); }
};
using TDeliveredUnitPtr = std::shared_ptr<TDeliveredUnit>;

// One output file's conversion, encoding and writing on a thread of its
// own, for runs with several output files: the conversion stage hands it
// the units that concern its file through a bounded queue (as deep as a
// reader's), in order. It writes only its own file's stream records; log
// lines it produces wait in Lines for the conversion stage, which logs
// them. A failure stops its work and is raised by the conversion stage.
struct TOutputWorker {
  int FileIndex = 0;
  // The units that concern the file, in order; the thread's failure ends
  // the hand-over and is raised by the conversion stage.
  TBoundedQueue<TDeliveredUnitPtr> Units{kQueueCapacity, kQueueCapacity};
  // Its log lines, for the conversion stage to write in order.
  std::mutex LinesLock;
  std::vector<std::pair<int, std::string>> Lines;
  std::thread Thread;
};

// The stages on threads of their own: one reader thread per input file,
// each filling its file's queue, and with several output files one thread
// per output file. Destroying it (or Stop) cancels and joins them all; a
// cancelled output thread leaves what is still queued.
class TStageThreads {
 public:
  ~TStageThreads() { Stop(); }
  void Stop() {
    Cancelled = true;
    WakeAll();
    for (std::thread& reader : Readers)
      if (reader.joinable()) reader.join();
    for (auto& output : Outputs)
      if (output->Thread.joinable()) output->Thread.join();
  }
  // Every wait looks again at the flags it asks (a cancel, a stop).
  void WakeAll() {
    for (auto& queue : Queues) queue->Wake();
    for (auto& output : Outputs) output->Units.Wake();
  }
  std::vector<std::unique_ptr<TUnitQueue>> Queues;  // by input file
  std::vector<std::thread> Readers;
  std::vector<std::unique_ptr<TOutputWorker>> Outputs;  // by output file; none with one output file
  std::atomic<bool> Cancelled{false};
};

// Log lines of an output thread wait for the conversion stage: true when
// the calling thread is one and the line was kept for it.
bool KeepOutputThreadLine(int level, const std::string& text);

// Decoding stage: one record per input stream.
struct TInputStream {
  ~TInputStream() { CloseDecoder(); }
  // Closes and frees the decoder under CodecLock (nothing once it is gone).
  void CloseDecoder();

  int FileIndex = 0;
  int StreamIndex = 0;
  AVStream* Stream = nullptr;
  // Taken from the input file when the tables are built (parameters and
  // generic options applied there); opened by the set-up when the stream
  // is decoded.
  CodecContextPtr Decoder;
  bool Discard = true;                // not chosen by any output stream yet
  bool DecodingNeeded = false;
  // The time the reader has got to (µs): the packet's or picture's it
  // handled last and where the next one is expected.
  int64_t NextPts = AV_NOPTS_VALUE;
  int64_t Pts = 0;
  // Decoded sound's own clock: the time of its last resync (µs) and the
  // samples decoded since, at Rate; see DecodePacket.
  struct TSoundClock {
    int64_t Base = AV_NOPTS_VALUE;
    int64_t Samples = 0;
    int Rate = 0;
    int64_t LastPacketDts = AV_NOPTS_VALUE;  // stream time base
  } SoundClock;
  int64_t FrameDuration = 40000;      // µs, nominal video frame duration
  int RequestedChannels = 0;          // decoded audio is delivered at this count
  // ... and as interleaved samples of this format: signed 16-bit; 32-bit
  // where the source has more bits and only lossless encoders that take
  // them are fed from it; floating point where the source decodes to it and
  // only encoders that take it are fed from it (see the set-up)
  AVSampleFormat AudioFormat = AV_SAMPLE_FMT_S16;
};

// Sync and conversion stage: one record per input stream, with the
// stream's time as the units taken so far have left it.
struct TInputSync {
  int FileIndex = 0, StreamIndex = 0;
  AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  AVRational TimeBase{1, 1000000};    // the stream's
  bool Discard = true;
  int64_t NextPts = AV_NOPTS_VALUE;   // µs
  int64_t Pts = 0;                    // µs
  bool HasData = false;               // a packet inside the recorded range was read
  int RequestedChannels = 0;          // as the decoding record's
  AVSampleFormat AudioFormat = AV_SAMPLE_FMT_S16;
  // The decoder's rate and channels for the block in hand.
  int DecoderRate = 0, DecoderChannels = 0;
  // decoded audio (any format) -> interleaved AudioFormat at
  // RequestedChannels; re-created when the decoder's format, rate or layout
  // changes
  SwrContextPtr DecodeConvert;
  int DecodeConvertFormat = -1, DecodeConvertRate = 0, DecodeConvertChannels = 0;
  AVSampleFormat DecodeConvertTarget = AV_SAMPLE_FMT_NONE;
  uint64_t DecodeConvertMask = 0;
};

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// A recycling store of pictures of one geometry: every picture handed out
// is reference-counted, so an encoder that keeps a reference to it keeps
// its own buffer while the next picture is written into another one.
struct TPicturePool {
  BufferPoolPtr Pool;
  int Width = 0, Height = 0;
  AVPixelFormat Format = AV_PIX_FMT_NONE;
  static constexpr int kAlign = 64;
  // Every plane has spare lines below the picture: the scaler copies whole
  // lines when line sizes match, so a view that starts inside a line (the
  // inner area of a padded picture) is written up to a line beyond its end.
  static constexpr int kSpareLines = 4;

  bool Init(int width, int height, AVPixelFormat format);
  // Lays `frame` (unreferenced first) over a buffer of the pool.
  bool Get(AVFrame* frame);
};

// Tells an opened encoder whose library cannot be freed before the end of
// its stream that the stream has ended, dropping what it still gives; does
// nothing for others. Needs no CodecLock.
void EndEncoderBeforeFree(AVCodecContext* enc);

struct TOutputStream {
  ~TOutputStream() { CloseEncoder(); }
  // An encoder that codes pictures in the graphics device's memory (VAAPI):
  // the pictures are made in HardwareSoftwareFormat as for any encoder and
  // copied into the device's frames (HardwareFrames) just before encoding.
  bool HardwareEncoder = false;
  AVPixelFormat HardwareSoftwareFormat = AV_PIX_FMT_NV12;
  BufferRefPtr HardwareFrames;
  FramePtr HardwareFrame;  // reused for every upload
  // The layout the pictures are made in for the encoder.
  AVPixelFormat PictureFormat() const;
  // Frees the pass-2 statistics, then closes and frees the encoder context
  // and the engine's own encoder under CodecLock (nothing once they are gone).
  void CloseEncoder();

  int FileIndex = 0;
  int StreamIndex = 0;
  int SourceIndex = 0;
  // The writer of the stream's file, which owns the stream: every packet of
  // the stream is written through it.
  TOutputWriter* Writer = nullptr;
  AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  AVStream* Stream = nullptr;
  // Taken from the stream's configuration when the tables are built; opened
  // by the set-up when the stream is encoded.
  CodecContextPtr Encoder;
  TOutputStreamConfig* Config = nullptr;    // as AddOutputFile built it
  const AVCodec* Codec = nullptr;     // the encoder chosen by AddOutputFile
  bool OwnAmrNbEncoder = false;
  // A song's cover, copied as its one picture: no video (no time line, no
  // frames to count).
  bool AttachedPicture = false;
  bool EncodingNeeded = false;
  int FrameNumber = 0;
  // The input stream whose time the stream follows (input table index):
  // its source, or the one a stream map names.
  int SyncIndex = 0;
  int64_t SyncCount = 0;
  float Quality = 0;
  // End of the last packet written, in seconds of the stream's time.
  double CurrentTime = 0;
  int64_t PacketsWritten = 0;
  // The stream has reached the recording time ("t"): nothing more is
  // written to it and the packet loop no longer waits for it.
  bool RecordingEnded = false;
  // No more input is coming for the stream (see MarkEndedInputs): it no
  // longer holds the reported time back.
  bool InputEnded = false;
  // Seconds of its source's time line the stream has closed up: gaps longer
  // than kMaxGapSeconds are skipped rather than filled (see kMaxGapSeconds).
  double SkippedTime = 0;

  // Statistics of the last encoded video packet (quality side data).
  int LastQuality = 0;  // lambda (FF_QP2LAMBDA x quantiser)
  int LastPictType = 0;
  uint64_t LastError[4] = {};

  // video: the decoded geometry the scaler was built for
  int InWidth = 0, InHeight = 0;
  AVPixelFormat InFormat = AV_PIX_FMT_NONE;
  bool VideoResample = false;
  TPicturePool TempPool;           // scaled/padded output pictures
  FramePtr TempPicture;            // the current output picture
  FramePtr CropView;               // reused view record over the source
  FramePtr EncodeFrame;            // reused record handed to the encoder
  SwsContextPtr ScaleContext;
  int ResampleHeight = 0;
  bool VideoCrop = false;
  int CropTopBand = 0, CropLeftBand = 0;
  bool VideoPad = false;
  int PadTopBand = 0, PadBottomBand = 0, PadLeftBand = 0, PadRightBand = 0;
  // decoded pictures whose layout allows no crop view are converted whole
  // into CropPool pictures first
  SwsContextPtr CropConvert;
  TPicturePool CropPool;
  FramePtr CropPicture;
  // padding in a layout that allows no view of the inner area is composed in
  // ComposePool pictures and converted into the output by PadConvert
  SwsContextPtr PadConvert;
  TPicturePool ComposePool;
  FramePtr ComposePicture;
  FramePtr PadBackground;          // the pad colour over a whole picture of the padded layout

  // audio: interleaved samples of AudioFormat (its source's) at the
  // encoder's channel count wait in the FIFO until a whole encoder frame is
  // there; the resampler and inserted silence work in that format too
  AVSampleFormat AudioFormat = AV_SAMPLE_FMT_S16;
  bool AudioResample = false;
  // The container cannot store where this stream starts: its first block
  // gets the start corrected (leading silence, or trimming) whatever the
  // audio sync method, so that it stays in step with the picture.
  bool CorrectStart = false;
  // No block has been trimmed or led by silence yet: the first correction
  // is made however small the drift.
  bool AudioStart = true;
  SwrContextPtr ResampleContext;   // AudioFormat at the input rate -> at the output rate
  AudioFifoPtr AudioFifo;
  SwrContextPtr EncoderConvert;    // AudioFormat -> the encoder's sample format
  FramePtr EncoderFrame;           // reused frame handed to the encoder
  std::unique_ptr<TAmrNbEncoder> AmrNb;  // the engine's own AMR-NB encoder
  int EncoderFrameCapacity = 0;    // samples EncoderFrame's buffers hold
  int64_t NextAudioPts = AV_NOPTS_VALUE;  // encoder time base, end of the last frame sent

  // Work buffers of the stream's conversion, grown when too small.
  std::vector<uint8_t> AudioWork;    // resampler output; one frame from the FIFO
  std::vector<uint8_t> Silence;      // zeros only: inserted silence
  AvMemPtr<uint8_t> SubtitleBuffer;  // an encoded cue

  FilePtr PassLogFile;
  AvMemPtr<char> StatsIn;          // pass-2 statistics handed to the encoder
  PacketPtr Packet;                // reused for encoded output

  bool IsVideo() const { return Type == AVMEDIA_TYPE_VIDEO && !AttachedPicture; }
  bool IsAudio() const { return Type == AVMEDIA_TYPE_AUDIO; }
};

// Sound of an output file held back until its picture has got as far: a
// video encoder gives its pictures a second or two after it takes them
// (look-ahead, reordering), while sound comes out at once. Written in step,
// a file stopped at any moment ends its picture and its sound together.
struct TSoundHold {
  bool Active = false;           // the file has a re-encoded picture
  double PictureEnd = -1e300;    // s, the end of the latest picture written
  std::deque<PacketPtr> Held;    // in the muxer's time base, in order
};

// The longest the sound of a file is held ahead of its picture (seconds):
// beyond every video encoder's delay, and a picture that has ended (a
// source whose sound goes on) holds its sound no longer than this.
inline constexpr double kSoundHoldSeconds = 10;

// One output file's writing side: it owns the file's output streams (in
// stream order), the sound held behind its picture and the counts of what
// was written, and every packet of the file goes through Write. With output
// threads the file's own thread is the only one that calls its non-const
// members and touches its streams; the conversion stage reads the counts
// (atomics) for its reports at any time, and the streams only while the
// threads are idle (WaitForOutputs).
class TOutputWriter {
 public:
  TOutputWriter(int fileIndex, AVFormatContext* context) : FFileIndex(fileIndex), FContext(context) {}
  TOutputWriter(const TOutputWriter&) = delete;
  TOutputWriter& operator=(const TOutputWriter&) = delete;

  int FileIndex() const { return FFileIndex; }
  AVFormatContext* Context() const { return FContext; }
  // Takes the file's next stream (its StreamIndex is its place here).
  TOutputStream& AddStream(std::unique_ptr<TOutputStream> stream);
  const std::vector<std::unique_ptr<TOutputStream>>& Streams() const { return FStreams; }

  // The file's sound waits for its picture: on for files with a re-encoded
  // picture and sound.
  void HoldSoundBehindPicture(bool on) { FHold.Active = on; }
  // Writes an encoded or copied packet of one of the file's streams,
  // rescaled from the encoder's time base when encoder is given; counts it
  // and keeps the stream's end (CurrentTime).
  void Write(AVPacket* packet, AVCodecContext* encoder);
  // The end of the held sound: a stopped file drops it (its picture ends
  // where it was cut), a whole one writes it all.
  void EndHeldSound(bool stopped);
  // Some packet of the file has been written (held sound not counted).
  bool HoldsMedia() const;

  void CountDropped() { ++FDropFrames; }
  void CountDuplicated(int n) { FDupFrames += n; }
  int64_t VideoBytes() const { return FVideoBytes; }
  int64_t AudioBytes() const { return FAudioBytes; }
  int DupFrames() const { return FDupFrames; }
  int DropFrames() const { return FDropFrames; }

 private:
  void InterleavedWrite(AVPacket* packet);
  void ReleaseHeldSound(bool all);

  const int FFileIndex;
  AVFormatContext* const FContext;  // owned by the engine's output file slot
  std::vector<std::unique_ptr<TOutputStream>> FStreams;
  TSoundHold FHold;
  std::atomic<int64_t> FVideoBytes{0}, FAudioBytes{0};
  std::atomic<int> FDupFrames{0}, FDropFrames{0};
};

// Everything one run owns; freed as a whole by FreeTranscodeTables, which
// closes whatever codec is still open.
struct TTranscodeRun {
  std::vector<TInputFile> InputFiles;
  std::vector<std::unique_ptr<TInputStream>> InputStreams;
  // One writer per output file, owning the file's streams; and all output
  // streams in table order (file by file).
  std::vector<std::unique_ptr<TOutputWriter>> Writers;
  std::vector<TOutputStream*> OutputStreams;
  // The streams whose codec the set-up opened, latest first: a run that
  // fails closes exactly those, in this order (CloseOpenEncoders,
  // CloseOpenDecoders), once its error is reported.
  std::list<TOutputStream*> OpenEncoders;
  std::list<TInputStream*> OpenDecoders;
  // Output streams fed by each input stream (by input stream table index).
  std::vector<std::vector<TOutputStream*>> OutputsBySource;
  std::vector<TInputSync> InputSync;  // by input stream table index
  // The reader threads, when the stages run on threads of their own.
  std::unique_ptr<TStageThreads> Stages;
  TPicturePool WorkPool;  // deinterlaced working copies
  FramePtr WorkFrame;
  FilePtr VStatsFile;
  THookAction HookAction = THookAction::haContinue;  // decision for the hook modules
  int64_t HeaderBytes = 0;
  // The writers' counts, summed.
  int64_t VideoBytes() const;
  int64_t AudioBytes() const;
  int DupFrames() const;
  int DropFrames() const;
  std::mutex VStatsLock;  // the statistics file, shared by the output threads
  // Reports of the first video stream by quantiser ("qphist"); this run's
  // alone.
  std::array<int, 52> QpHistogram{};
  int64_t ReportClock = 0;      // µs, when the loop started
  int64_t LastReportTime = 0;   // µs
};

// The longest gap in a stream's time line that is filled, with repeated
// pictures or with silence, in seconds. Longer gaps (a garbled or wrapped
// timestamp, which puts a stream hours or days away) are closed up: the
// stream continues right after what it has written and keeps that shift
// from then on. Far above the fill a real file asks for (a stream starting
// late, a long still picture, an "itsoffset" of minutes; jumps within a
// stream beyond "dts_delta_threshold" are absorbed while reading), and
// cheap enough to fill.
inline constexpr double kMaxGapSeconds = 600;

// A stream of an input file whose time lags the newest time read from that
// file by more than this (seconds) has fallen silent: its output stream is
// taken as ended for the progress report until its input resumes.
inline constexpr double kEndedInputLagSeconds = 5;

// Updates the output streams' InputEnded after a packet of input file
// `fileIndex` was read (or its end reached: `fileEnded`).
void MarkEndedInputs(TTranscodeRun& run, int fileIndex, bool fileEnded);

// The intra-frame deinterlacer (deinterlace.cpp): every line of the second
// field is replaced by the vertical (-1, 4, 2, 4, -1)/8 low-pass over its
// neighbourhood; the first field is kept. Planar 8-bit YUV and grey only;
// false for any other layout.
bool DeinterlacePicture(uint8_t* const dst[4], const int dstLinesize[4], const uint8_t* const src[4],
                        const int srcLinesize[4], AVPixelFormat format, int width, int height);

// Decides crop, pad and scaling of a re-encoded video stream for decoded
// pictures of the given geometry, creating the picture pool and the scaler
// as needed. Returns null on success, else the failure message.
const char* ConfigureVideoGeometry(TOutputStream& ost, const TEngineSettings& settings, int width, int height,
                                   AVPixelFormat format);

// The parameters the engine's own AMR-NB encoder works with (8000 Hz mono
// s16, 160-sample frames), set on its encoder context.
void FitOwnAmrNbParameters(AVCodecContext* enc);

// The message of a failed write to an output: the operation and the
// library's text for the result ("No space left on device").
std::string WriteErrorText(const char* operation, int code);
// The error of an output's byte stream, 0 when none: writes are buffered, so
// a failed write surfaces there rather than in the muxer's result.
int OutputStreamError(const AVFormatContext* file);

// Every component of a picture layout, in order, with its subsampling
// (log2; only the chroma components of YUV layouts are subsampled):
// `visit(component, horizontalShift, verticalShift)`. The component
// descriptor names the plane it lies in.
template <typename Visit>
void ForEachComponent(const AVPixFmtDescriptor& desc, Visit&& visit) {
  for (int c = 0; c < desc.nb_components; ++c) {
    const bool chroma = !(desc.flags & AV_PIX_FMT_FLAG_RGB) && (c == 1 || c == 2);
    visit(desc.comp[c], chroma ? desc.log2_chroma_w : 0, chroma ? desc.log2_chroma_h : 0);
  }
}

// Plane pointers of `data` moved to (row, column) of the picture, for a
// view (a palette plane stays as it is); false where a view cannot start at
// that position of the layout.
bool OffsetPicture(uint8_t* out[4], const int linesize[4], uint8_t* const data[4], AVPixelFormat format, int row,
                   int column);

}  // namespace fennick
