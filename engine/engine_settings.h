// Every setting of the engine with its default. The option handlers write
// them; AddInputFile/AddOutputFile read them; Reset restores the defaults by
// assigning a fresh TEngineSettings.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "codec_library/av_headers.h"

namespace fennick {

inline constexpr int kMaxFiles = 20;        // inputs, outputs
inline constexpr int kMaxStreams = 20;      // per-stream tables of one input
inline constexpr int kMaxStreamMaps = 20;
inline constexpr int kMaxMetaDataMaps = 20;
// Bounds that keep the picture and sample arithmetic within 32 bits: more
// channels than the resampler handles, wider pads than any picture has.
inline constexpr int kMaxAudioChannels = 64;
inline constexpr int kMaxPadSize = 65536;

// The media types that have a generic option context and a frame limit of
// their own (indexes of those tables), in the libraries' AVMediaType order.
enum TMediaSlot { msVideo, msAudio, msData, msSubtitle, msAttachment, kMediaSlotCount };

struct TEngineSettings {
  const AVInputFormat* InputFormat = nullptr;    // "f"
  const AVOutputFormat* OutputFormat = nullptr;  // "f"
  int FrameWidth = 0, FrameHeight = 0;           // "s", reduced by crops
  float AspectRatio = 0;                         // "aspect"
  int PixelFormat = -1;                          // "pix_fmt" (AV_PIX_FMT_NONE)
  int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
  int PadColorY = 16, PadColorCb = 128, PadColorCr = 128;  // "padcolor"
  int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
  // "vframes", "aframes", "dframes" by TMediaSlot, msVideo to msSubtitle
  int MaxFrames[msSubtitle + 1] = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
                                   std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()};
  AVRational FrameRate{0, 0};  // "r"
  float VideoQScale = 0;       // "qscale"
  std::vector<uint16_t> IntraMatrix, InterMatrix;  // 64 entries when set
  std::string RcOverride;                          // "rc_override"
  bool VideoDisable = false;                       // "vn"
  int VideoDiscard = 0;                            // "vdt"
  std::string VideoCodecName;                      // "vcodec"
  uint32_t VideoCodecTag = 0;                      // "vtag"
  bool SameQuality = false, DoDeinterlace = false;
  int TopFieldFirst = -1;      // "top"
  int MeThreshold = 0;         // "me_threshold"
  int IntraDcPrecision = 8;    // "dc"
  bool LoopInput = false;      // "loop_input"
  int LoopOutput = -1;         // "loop_output"
  bool QpHist = false, IntraOnly = false;
  int AudioSampleRate = 44100;  // "ar"
  float AudioQScale = -99999.0f;  // "aq" (none)
  bool AudioDisable = false;      // "an"
  int AudioChannels = 2;          // "ac"
  std::string AudioCodecName;     // "acodec"
  uint32_t AudioCodecTag = 0;     // "atag"
  std::string AudioLanguage;      // "alang"
  bool SubtitleDisable = false;   // "sn"
  std::string SubtitleCodecName;  // "scodec"
  std::string SubtitleLanguage;   // "slang"
  // Set through the task records only (no option of the vocabulary):
  // the stream of the first input that the next audio output stream takes
  // (-1: the set-up's own choice); whether the next output gets a subtitle
  // stream for each subtitle stream of the inputs that its container holds;
  // the language given to the next input's streams that name none.
  int AudioSourceStream = -1;
  bool KeepSubtitles = false;
  std::string InputStreamLanguage;
  float MuxPreload = 0.5f, MuxMaxDelay = 0.7f;  // seconds
  int64_t RecordingTime = std::numeric_limits<int64_t>::max();  // "t", µs
  int64_t StartTime = 0;          // "ss", µs
  int64_t RecordingTimestamp = 0; // "timestamp", seconds since 1970
  int64_t InputTsOffset = 0;      // "itsoffset", µs
  std::string Title, Author, Copyright, Comment, Genre, Album;
  int Year = 0, Track = 0;
  bool DoHexDump = false, DoPktDump = false, DoPsnr = false;
  int DoPass = 0;                 // "pass"
  std::string PassLogFileName;    // "passlogfile"
  bool AudioStreamCopy = false, VideoStreamCopy = false, SubtitleStreamCopy = false;
  int VideoSyncMethod = -1;       // "vsync"
  int AudioSyncMethod = 0;        // "async"
  float AudioDriftThreshold = 0.1f;
  bool CopyTs = false, OptShortest = false;
  int VideoGlobalHeader = 0;      // "vglobal"
  std::string VStatsFileName;     // "vstats_file" / "vstats"
  int OptProgramId = 0;           // "programid"
  bool RateEmu = false;           // "re"
  int VideoChannel = 0;           // "vc" (0 = none)
  std::string VideoStandard;      // "tvstd"
  int AudioVolume = 256;          // "vol"
  int Verbose = 1;                // "v"
  int ThreadCount = 1;            // codec threads, 0 = the libraries' choice
  bool StageThreads = true;       // reading and decoding on threads of their own
  double InputTsScale[kMaxStreams] = {};  // "itsscale", for the next input
  bool InputSync = false;         // "isync"
  int64_t LimitFileSize = 0;      // "fs", bytes, 0 = none
  bool ImageFormatCompat = false; // "f pgmyuv"
  float DtsDeltaThreshold = 10.0f;  // seconds
  int SwsFlags = SWS_BICUBIC;     // from the scaler option object
  // Options of the encoders' and muxers' own option classes that reached the
  // generic setter, with the kinds of target that have them (bits of
  // kPrivateVideo ...). Kept, like the generic options, for every stream
  // added later whose encoder has the option and every output file whose
  // muxer has it; a later value for the same name replaces the earlier one.
  struct TPrivateOption {
    std::string Name, Value;
    int Targets = 0;
  };
  static constexpr int kPrivateVideo = 1, kPrivateAudio = 2, kPrivateSubtitle = 4, kPrivateMuxer = 8;
  std::vector<TPrivateOption> PrivateOptions;
  // Options a target preset needs that exist only as encoder-private or
  // muxer-private options (name, value); the next video stream and the next
  // output file take them where their encoder or muxer has the option.
  std::vector<std::pair<std::string, std::string>> VideoPrivateOptions, MuxerPrivateOptions;
};

struct TStreamMap {
  int FileIndex = 0, StreamIndex = 0, SyncFileIndex = 0, SyncStreamIndex = 0;
};

struct TMetaDataMap {
  int OutputFile = 0, InputFile = 0;
};

}  // namespace fennick
