// Run tables of one transcode: created by Transcode's set-up, freed at its
// end (FreeTranscodeTables). Only the engine's transcode stages include this.
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "engine/FFmpeg.h"
#include "engine/amrnb_encoder.h"

namespace fennick {

class TAmrNbEncoder;

struct TInputFile {
  bool EofReached = false;
  int FirstStreamIndex = 0;
  int StreamCount = 0;
};

struct TInputStream {
  int FileIndex = 0;
  int StreamIndex = 0;
  AVStream* Stream = nullptr;
  AVCodecContext* Decoder = nullptr;  // owned by the input file slot
  bool Discard = true;                // not chosen by any output stream yet
  bool DecodingNeeded = false;
  int64_t StartClock = 0;             // µs, rate emulation
  uint32_t FramesRead = 0;
  int64_t NextPts = AV_NOPTS_VALUE;   // µs
  int64_t Pts = 0;                    // µs
  bool IsStart = true;
  float Quality = 0;                  // quality of the last decoded picture
  int RequestedChannels = 0;          // decoded audio is delivered at this count
  // decoded audio (any format) -> interleaved s16 at RequestedChannels;
  // re-created when the decoder's format, rate or layout changes
  SwrContextPtr DecodeConvert;
  int DecodeConvertFormat = -1, DecodeConvertRate = 0, DecodeConvertChannels = 0;
  uint64_t DecodeConvertMask = 0;
};

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct TOutputStream {
  int FileIndex = 0;
  int StreamIndex = 0;
  int SourceIndex = 0;
  AVStream* Stream = nullptr;
  AVCodecContext* Encoder = nullptr;  // owned by the output file slot
  bool EncodingNeeded = false;
  int FrameNumber = 0;
  TInputStream* SyncInput = nullptr;
  int64_t SyncCount = 0;
  float Quality = 0;

  // video
  bool VideoResample = false;
  FramePtr TempPicture;
  SwsContextPtr ScaleContext;
  int ResampleHeight = 0;
  bool VideoCrop = false;
  int CropTopBand = 0, CropLeftBand = 0;
  bool VideoPad = false;
  int PadTopBand = 0, PadBottomBand = 0, PadLeftBand = 0, PadRightBand = 0;

  // audio: interleaved signed 16-bit at the encoder's channel count wait in
  // the FIFO until a whole encoder frame is there
  bool AudioResample = false;
  SwrContextPtr ResampleContext;   // decoded s16 (input rate) -> s16 (output rate)
  AudioFifoPtr AudioFifo;
  SwrContextPtr EncoderConvert;    // s16 -> the encoder's sample format
  FramePtr EncoderFrame;           // reused frame handed to the encoder
  std::unique_ptr<TAmrNbEncoder> AmrNb;  // the engine's own AMR-NB encoder
  int EncoderFrameCapacity = 0;    // samples EncoderFrame's buffers hold
  int64_t NextAudioPts = AV_NOPTS_VALUE;  // encoder time base, end of the last frame sent

  FilePtr PassLogFile;
  AvMemPtr<char> StatsIn;          // pass-2 statistics handed to the encoder
  PacketPtr Packet;                // reused for encoded output
};

// Everything one run owns; freed as a whole by FreeTranscodeTables.
struct TTranscodeRun {
  std::vector<TInputFile> InputFiles;
  std::vector<std::unique_ptr<TInputStream>> InputStreams;
  std::vector<std::unique_ptr<TOutputStream>> OutputStreams;
  PacketPtr ReadPacket;   // reused for every packet read
  FramePtr DecodedFrame;  // reused for every decoded frame
  int64_t VideoBytes = 0, AudioBytes = 0, HeaderBytes = 0;
  int DupFrames = 0, DropFrames = 0;
  int64_t ReportClock = 0;      // µs, when the loop started
  int64_t LastReportTime = 0;   // µs
};

}  // namespace fennick
