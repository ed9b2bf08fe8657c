// Option vocabulary and the generic option setter. Every handler writes the
// engine's settings (engine_settings.h) and nothing else; a refused value
// raises before anything is changed.
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <optional>
#include <span>
#include <string_view>

#include "engine/FFmpeg.h"
#include "engine/option_parsing.h"
#include "engine/option_vocabulary.h"
#include "util/text_util.h"

namespace fennick {

namespace {

const char* const kSideNames[4] = {"Top", "Bottom", "Left", "Right"};
enum TSide { sdTop, sdBottom, sdLeft, sdRight };

// Finds an option of a real option object; `flags` must all be set on it.
const AVOption* FindOption(void* object, const std::string& name, int flags) {
  if (!object) return nullptr;
  return AVL.av_opt_find(object, name.c_str(), nullptr, flags, 0);
}

// Sets an option found on `object`; the option on success.
const AVOption* TrySetOption(void* object, const std::string& name, const std::string& value) {
  const AVOption* o = FindOption(object, name, 0);
  if (o && AVL.av_opt_set(object, name.c_str(), value.c_str(), 0) >= 0) return o;
  return nullptr;
}

// Old names of options this library generation calls otherwise.
std::string CurrentOptionName(const std::string& name) { return name == "gop" ? "g" : name; }

// The kinds of encoder (kPrivateVideo, ...) and muxer (kPrivateMuxer) whose
// own option class has `name` and takes `value` there; 0 when none does.
// The option's description is returned through `found`.
int PrivateOptionTargets(const std::string& name, const std::string& value, const AVOption*& found) {
  int targets = 0;
  void* iterator = nullptr;
  while (const AVCodec* codec = AVL.av_codec_iterate(&iterator)) {
    if (!codec->priv_class || !AVL.av_codec_is_encoder(codec)) continue;
    const int kind = codec->type == AVMEDIA_TYPE_VIDEO      ? TEngineSettings::kPrivateVideo
                     : codec->type == AVMEDIA_TYPE_AUDIO    ? TEngineSettings::kPrivateAudio
                     : codec->type == AVMEDIA_TYPE_SUBTITLE ? TEngineSettings::kPrivateSubtitle
                                                            : 0;
    if (kind == 0 || (targets & kind)) continue;
    const AVClass* privClass = codec->priv_class;
    const AVOption* o = AVL.av_opt_find(&privClass, name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
    if (!o) continue;
    // The value must be one this encoder takes.
    CodecContextPtr trial(AVL.avcodec_alloc_context3(codec));
    if (!trial || AVL.av_opt_set(trial.get(), name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN) < 0) continue;
    targets |= kind;
    if (!found) found = o;
  }
  iterator = nullptr;
  while (const AVOutputFormat* format = AVL.av_muxer_iterate(&iterator)) {
    if (!format->priv_class) continue;
    const AVClass* privClass = format->priv_class;
    const AVOption* o = AVL.av_opt_find(&privClass, name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
    if (!o) continue;
    AVFormatContext* allocated = nullptr;
    if (AVL.avformat_alloc_output_context2(&allocated, format, nullptr, nullptr) < 0 || !allocated) continue;
    const FormatContextPtr trial(allocated);
    if (!trial->priv_data || AVL.av_opt_set(trial->priv_data, name.c_str(), value.c_str(), 0) < 0) continue;
    targets |= TEngineSettings::kPrivateMuxer;
    if (!found) found = o;
    break;
  }
  return targets;
}

// Switches the process's current folder for the lifetime of the object.
class TFolderSwitch {
 public:
  explicit TFolderSwitch(const std::filesystem::path& folder) {
    std::error_code ec;
    FPrevious = std::filesystem::current_path(ec);
    if (!ec) std::filesystem::current_path(folder, ec);
    FSwitched = !ec;
  }
  ~TFolderSwitch() {
    std::error_code ec;
    if (FSwitched) std::filesystem::current_path(FPrevious, ec);
  }
  TFolderSwitch(const TFolderSwitch&) = delete;
  TFolderSwitch& operator=(const TFolderSwitch&) = delete;

 private:
  std::filesystem::path FPrevious;
  bool FSwitched = false;
};

std::string ProgramFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec).string();
  return exe.parent_path().string();
}

}  // namespace

// The vocabulary: one row per option name, in comparison order; the rows
// of switches (options that take no value) say so.
struct TOptionVocabulary {
  using THandler = void (*)(TCustomFFmpeg& e, const std::string& name, const std::string& value);
  static constexpr bool kSwitch = true;
  struct TEntry {
    std::string_view Name;
    THandler Handler;
    bool Switch = false;
  };
  static std::span<const TEntry> Entries();

  static void NotePgmYuv(TCustomFFmpeg& e) {
    e.S.ImageFormatCompat = true;
    e.Log(1, "pgmyuv format is deprecated, use image2");
  }

  // ---- handler kinds
  static void Ignored(TCustomFFmpeg& e, const std::string& name, const std::string&) {
    e.Log(1, "Do nothing: option - " + name);
  }
  static void Refused(TCustomFFmpeg&, const std::string& name, const std::string&) {
    throw FFMpegException("TODO: option - " + name);
  }
  template <bool TEngineSettings::*Field>
  static void SwitchOn(TCustomFFmpeg& e, const std::string&, const std::string&) {
    e.S.*Field = true;
  }
  template <int TEngineSettings::*Field>
  static void Integer(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    e.S.*Field = ParseInt32(value);
  }
  template <TMediaSlot Slot>
  static void FrameLimit(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    const int limit = ParseInt32(value);
    if (limit < 0) throw FFMpegException(name + " must not be negative: " + value);
    e.S.MaxFrames[Slot] = limit;
  }
  template <int TEngineSettings::*Field>
  static void PositiveInteger(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const int v = ParseInt32(value);
    if (v > 0) e.S.*Field = v;
  }
  static void AudioChannels(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    const int v = ParseInt32(value);
    if (v > kMaxAudioChannels)
      throw FFMpegException("Too many audio channels: " + value + " (at most " + std::to_string(kMaxAudioChannels) +
                            ")");
    PositiveInteger<&TEngineSettings::AudioChannels>(e, name, value);
  }
  // The encoder's intra DC precision is "dc" - 8, within -8 to 16.
  static void IntraDcPrecision(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const int v = ParseInt32(value);
    if (v < 0 || v > 24) throw FFMpegException("dc must be between 0 and 24");
    e.S.IntraDcPrecision = v;
  }
  static void FileSizeLimit(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    e.S.LimitFileSize = ParseInt64(value);
  }
  template <float TEngineSettings::*Field>
  static void Float(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    e.S.*Field = static_cast<float>(ParseFloat(value));
  }
  template <std::string TEngineSettings::*Field>
  static void Text(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    e.S.*Field = value;
  }
  template <std::string TEngineSettings::*Field>
  static void Metadata(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    if (!value.empty()) e.S.*Field = value;
  }
  template <TMediaSlot Kind>  // msVideo, msAudio or msSubtitle
  static void NewStream(TCustomFFmpeg& e, const std::string&, const std::string&) {
    if (e.FOutputFiles.empty()) throw FFMpegException("At least one output file must be specified");
    TOutputFileSlot& file = *e.FOutputFiles.back();
    if constexpr (Kind == msVideo)
      e.AddVideoStream(file);
    else if constexpr (Kind == msAudio)
      e.AddAudioStream(file);
    else
      e.AddSubtitleStream(file);
  }

  // ---- handlers with rules of their own
  static void FileFormat(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const bool compat = value == "pgmyuv";
    const std::string name = compat ? "image2" : value;
    const AVInputFormat* in = AVL.av_find_input_format(name.c_str());
    const AVOutputFormat* out = AVL.av_guess_format(name.c_str(), nullptr, nullptr);
    if (!in && !out) throw FFMpegException(FormatText("Unknown input or output format: %s", value.c_str()));
    if (compat) NotePgmYuv(e);
    e.S.InputFormat = in;
    e.S.OutputFormat = out;
  }

  static void StreamMap(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    auto bad = [&] { return EConvertError("'" + value + "' is not a valid stream map"); };
    size_t p = 0;
    const auto file = ReadCInteger(value, p);
    if (!file || p >= value.size()) throw bad();
    ++p;
    const auto stream = ReadCInteger(value, p);
    if (!stream) throw bad();
    TStreamMap map{*file, *stream, *file, *stream};
    if (p < value.size()) {
      ++p;
      const auto syncFile = ReadCInteger(value, p);
      if (!syncFile || p >= value.size()) throw bad();
      ++p;
      const auto syncStream = ReadCInteger(value, p);
      if (!syncStream || p != value.size()) throw bad();
      map.SyncFileIndex = *syncFile;
      map.SyncStreamIndex = *syncStream;
    }
    if (e.FStreamMaps.size() >= static_cast<size_t>(kMaxStreamMaps))
      throw FFMpegException("Too many stream maps: at most " + std::to_string(kMaxStreamMaps) + " are allowed");
    e.FStreamMaps.push_back(map);
  }

  static void MetaDataMap(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    auto bad = [&] { return EConvertError("'" + value + "' is not a valid metadata map"); };
    size_t p = 0;
    const auto output = ReadCInteger(value, p);
    if (!output || p >= value.size()) throw bad();
    ++p;
    const auto input = ReadCInteger(value, p);
    if (!input || p != value.size()) throw bad();
    if (e.FMetaDataMaps.size() >= static_cast<size_t>(kMaxMetaDataMaps))
      throw FFMpegException("Too many metadata maps: at most " + std::to_string(kMaxMetaDataMaps) +
                            " are allowed");
    e.FMetaDataMaps.push_back(TMetaDataMap{*output, *input});
  }

  static int64_t ParseTime(const std::string& name, const std::string& value, bool duration) {
    int64_t t = 0;
    if (AVL.av_parse_time(&t, value.c_str(), duration ? 1 : 0) < 0)
      throw FFMpegException(std::string("Invalid ") + (duration ? "duration" : "date") + " for " +
                            name + ": " + value);
    return t;
  }
  // A position or length within a file: from 0 up to the longest time the
  // task records and the progress events hold (32-bit milliseconds).
  static int64_t ParseFileTime(const std::string& name, const std::string& value) {
    const int64_t t = ParseTime(name, value, true);
    constexpr int64_t kLongest = int64_t{INT_MAX} * 1000;
    if (t < 0 || t > kLongest)
      throw FFMpegException("Invalid duration for " + name + ": " + value + ": " +
                            (t < 0 ? "it must not be negative" : "it must not exceed 596:31:23.647"));
    return t;
  }
  static void RecordingTime(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    const int64_t ms = ParseFileTime(name, value) / 1000;
    if (ms <= 0) return;
    e.S.RecordingTime = ms * 1000;
    e.FTotalOutputDuration = static_cast<int>(ms);
  }
  static void StartTime(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    e.S.StartTime = ParseFileTime(name, value);
  }
  static void InputTsOffset(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    e.S.InputTsOffset = ParseTime(name, value, true);
  }
  static void Timestamp(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    e.S.RecordingTimestamp = std::llround(static_cast<long double>(ParseTime(name, value, false)) / 1000000.0L);
  }

  static void InputTsScale(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    size_t p = 0;
    const auto stream = ReadCInteger(value, p);
    if (!stream) throw EConvertError("'" + value + "' is not a valid integer value");
    if (*stream >= kMaxStreams)
      throw FFMpegException("stream index over MAX_STREAMS(" + std::to_string(kMaxStreams) + ")");
    if (*stream < 0) throw FFMpegException("stream index must not be negative: " + value);
    if (p < value.size()) ++p;
    e.S.InputTsScale[*stream] = ParseFloat(value.substr(p));
  }

  static void Verbosity(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    e.SetVerbosity(ParseInt32(value));
  }

  static void Target(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    std::string type(Trim(value));
    std::string norm = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
      const std::string_view p = prefix;
      if (type.starts_with(p)) {
        norm = std::string(p.substr(0, p.size() - 1));
        type.erase(0, p.size());
        break;
      }
    }
    e.ApplyTarget(type, norm, "ntsc");
  }

  static void BitRate(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    if (!e.SetGenericOption(name, value)) throw EConvertError("'" + value + "' is not a valid bit rate");
    if (!e.OnLog) return;
    const AVCodecContext* ctx = e.FCodecOptions[name.starts_with("a") ? msAudio : msVideo].get();
    if (ctx && ctx->bit_rate < 1000)
      e.Log(1, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
  }

  static void FrameRate(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    AVRational rate{0, 0};
    if (AVL.av_parse_video_rate(&rate, value.c_str()) < 0) throw FFMpegException("Incorrect frame rate");
    e.S.FrameRate = rate;
  }

  static void FrameSize(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    int width = 0, height = 0;
    // A size no picture of the libraries can have is as incorrect as a
    // malformed one.
    if (AVL.av_parse_video_size(&width, &height, value.c_str()) < 0 ||
        AVL.av_image_check_size(static_cast<unsigned>(width), static_cast<unsigned>(height), 0, nullptr) < 0)
      throw FFMpegException("Incorrect frame size");
    if (width % 2 != 0 || height % 2 != 0) throw FFMpegException("Frame size must be a multiple of 2");
    e.S.FrameWidth = width;
    e.S.FrameHeight = height;
  }

  static void Aspect(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    double ratio = 0;
    const size_t colon = value.find(':');
    if (colon != std::string::npos) {
      const int w = TryParseInt32(value.substr(0, colon)).value_or(0);
      const int h = TryParseInt32(value.substr(colon + 1)).value_or(0);
      if (h > 0) ratio = static_cast<double>(w) / h;
    } else {
      ratio = TryParseFloat(value).value_or(0);
    }
    // A negative ratio is refused as well: no picture has one.
    if (!(ratio > 0)) throw FFMpegException("Incorrect aspect ratio.");
    e.S.AspectRatio = static_cast<float>(ratio);
  }

  static void PixelFormat(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    if (value == "list") {
      for (int i = -1; i < 40; ++i) {
        char line[256] = {};
        AVL.av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(i));
        e.Log(1, std::string(Trim(line)));
      }
      return;
    }
    const AVPixelFormat format = AVL.av_get_pix_fmt(value.c_str());
    if (format == AV_PIX_FMT_NONE) throw FFMpegException("Unknown pixel format requested: " + value);
    e.S.PixelFormat = format;
  }

  template <TSide Side>
  static void Crop(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const int size = ParseInt32(value);
    if (size < 0) return;
    if (size % 2 != 0) throw FFMpegException(std::string(kSideNames[Side]) + " crop size must be a multiple of 2");
    constexpr bool vertical = Side == sdTop || Side == sdBottom;
    int& frame = vertical ? e.S.FrameHeight : e.S.FrameWidth;
    if (size >= frame)
      throw FFMpegException(std::string(vertical ? "Vertical" : "Horizontal") +
                            " crop dimensions are outside the range of the original image.\n"
                            "Remember to crop first and scale second.");
    int* crops[4] = {&e.S.CropTop, &e.S.CropBottom, &e.S.CropLeft, &e.S.CropRight};
    *crops[Side] = size;
    frame -= size;
  }

  template <TSide Side>
  static void Pad(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const int size = ParseInt32(value);
    if (size < 0) return;
    if (size % 2 != 0) throw FFMpegException(std::string(kSideNames[Side]) + " pad size must be a multiple of 2");
    if (size > kMaxPadSize)
      throw FFMpegException(std::string(kSideNames[Side]) + " pad size must be at most " +
                            std::to_string(kMaxPadSize));
    int* pads[4] = {&e.S.PadTop, &e.S.PadBottom, &e.S.PadLeft, &e.S.PadRight};
    *pads[Side] = size;
  }

  static void PadColor(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    e.SetPadColor(ParseColorValue(value));
  }

  static void QScale(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const double q = ParseFloat(value);
    if (q <= 0 || q > 255) throw FFMpegException("qscale must be > 0.0 and <= 255");
    e.S.VideoQScale = static_cast<float>(q);
  }

  template <std::string TEngineSettings::*Name, bool TEngineSettings::*Copy>
  static void Codec(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    e.S.*Name = value == "copy" ? std::string() : value;
    if (value == "copy") e.S.*Copy = true;
  }

  template <uint32_t TEngineSettings::*Tag>
  static void CodecTag(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
    if (value.size() != 4)
      throw FFMpegException(std::string(name == "vtag" ? "video" : "audio") + " tag parameter must be 4 chars");
    uint32_t tag = 0;
    for (int i = 3; i >= 0; --i) tag = (tag << 8) | static_cast<unsigned char>(value[i]);
    e.S.*Tag = tag;
  }

  static void Pass(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const int pass = ParseInt32(value);
    if (pass != 1 && pass != 2) throw FFMpegException("pass number can be only 1 or 2");
    e.S.DoPass = pass;
  }

  static void VStats(TCustomFFmpeg& e, const std::string&, const std::string&) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16] = {};
    std::strftime(stamp, sizeof stamp, "%H%M%S", &local);
    e.S.VStatsFileName = ProgramFolder() + "/vstats_" + stamp + ".log";
  }

  static void VHook(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const std::string_view delimiters = value.find('|') != std::string::npos ? "|" : " \t";
    std::vector<std::string> args = SplitWords(value, delimiters, 254);
    const auto fail = [&] { return FFMpegException("Failed to add video hook function: " + value); };
    if (args.empty()) throw fail();
    std::unique_ptr<THookModule> module;
    int rc;
    std::error_code ec;
    const std::filesystem::path modulePath(args[0]);
    if (modulePath.has_parent_path()) {
      // The module is loaded from inside its folder, which also joins the
      // search path; the name is made absolute first so the switch does not
      // change what it refers to.
      const auto absolute = std::filesystem::absolute(modulePath, ec);
      if (ec) throw fail();
      args[0] = absolute.string();
      AppendToSearchPath(absolute.parent_path().string());
      TFolderSwitch inFolder(absolute.parent_path());
      rc = THookModule::Load(args, module);
    } else {
      // A bare name is found in the current folder first, as the library
      // search of the platform the option comes from does.
      if (std::filesystem::is_regular_file(modulePath, ec)) args[0] = std::filesystem::absolute(modulePath, ec).string();
      rc = THookModule::Load(args, module);
    }
    if (rc != 0) throw fail();
    e.FHookModules.push_back(std::move(module));
    e.FUsingVHook = true;
  }

  template <std::vector<uint16_t> TEngineSettings::*Matrix>
  static void QuantMatrix(TCustomFFmpeg& e, const std::string&, const std::string& value) {
    const auto syntaxError = [&](int index) {
      return FFMpegException("Syntax error in matrix \"" + value + "\" at coeff " + std::to_string(index));
    };
    std::vector<uint16_t> coefficients(64);
    size_t p = 0;
    for (int i = 0;; ++i) {
      const size_t comma = value.find(',', p);
      const auto c = TryParseInt32(value.substr(p, comma == std::string::npos ? std::string::npos : comma - p));
      if (!c || *c < 1 || *c > 65535) throw syntaxError(i);
      coefficients[i] = static_cast<uint16_t>(*c);
      if (i == 63) break;
      if (comma == std::string::npos) throw syntaxError(i);
      p = comma + 1;
    }
    e.S.*Matrix = std::move(coefficients);
  }
};

std::span<const TOptionVocabulary::TEntry> TOptionVocabulary::Entries() {
  using T = TEngineSettings;
  static const TEntry kEntries[] = {
      {"L", Ignored, kSwitch},
      {"h", Ignored, kSwitch},
      {"version", Ignored, kSwitch},
      {"formats", Ignored, kSwitch},
      {"f", FileFormat},
      {"i", Ignored},
      {"y", Ignored, kSwitch},
      {"map", StreamMap},
      {"map_meta_data", MetaDataMap},
      {"t", RecordingTime},
      {"fs", FileSizeLimit},
      {"ss", StartTime},
      {"itsoffset", InputTsOffset},
      {"itsscale", InputTsScale},
      {"title", Metadata<&T::Title>},
      {"timestamp", Timestamp},
      {"author", Metadata<&T::Author>},
      {"copyright", Metadata<&T::Copyright>},
      {"comment", Metadata<&T::Comment>},
      {"genre", Metadata<&T::Genre>},
      {"album", Metadata<&T::Album>},
      {"dframes", FrameLimit<msData>},
      {"benchmark", Ignored, kSwitch},
      {"dump", SwitchOn<&T::DoPktDump>, kSwitch},
      {"hex", SwitchOn<&T::DoHexDump>, kSwitch},
      {"re", SwitchOn<&T::RateEmu>, kSwitch},
      {"loop_input", SwitchOn<&T::LoopInput>, kSwitch},
      {"loop_output", Integer<&T::LoopOutput>},
      {"v", Verbosity},
      {"target", Target},
      {"threads", Refused},
      {"vsync", Integer<&T::VideoSyncMethod>},
      {"async", Integer<&T::AudioSyncMethod>},
      {"adrift_threshold", Float<&T::AudioDriftThreshold>},
      {"vglobal", Integer<&T::VideoGlobalHeader>},
      {"copyts", SwitchOn<&T::CopyTs>, kSwitch},
      {"shortest", SwitchOn<&T::OptShortest>, kSwitch},
      {"dts_delta_threshold", Float<&T::DtsDeltaThreshold>},
      {"programid", Integer<&T::OptProgramId>},
      {"b", BitRate},
      {"vb", BitRate},
      {"vframes", FrameLimit<msVideo>},
      {"r", FrameRate},
      {"s", FrameSize},
      {"aspect", Aspect},
      {"pix_fmt", PixelFormat},
      {"croptop", Crop<sdTop>},
      {"cropbottom", Crop<sdBottom>},
      {"cropleft", Crop<sdLeft>},
      {"cropright", Crop<sdRight>},
      {"padtop", Pad<sdTop>},
      {"padbottom", Pad<sdBottom>},
      {"padleft", Pad<sdLeft>},
      {"padright", Pad<sdRight>},
      {"padcolor", PadColor},
      {"intra", SwitchOn<&T::IntraOnly>, kSwitch},
      {"vn", SwitchOn<&T::VideoDisable>, kSwitch},
      {"vdt", Integer<&T::VideoDiscard>},
      {"qscale", QScale},
      {"rc_override", Text<&T::RcOverride>},
      {"vcodec", Codec<&T::VideoCodecName, &T::VideoStreamCopy>},
      {"me_threshold", Integer<&T::MeThreshold>},
      {"sameq", SwitchOn<&T::SameQuality>, kSwitch},
      {"pass", Pass},
      {"passlogfile", Text<&T::PassLogFileName>},
      {"deinterlace", SwitchOn<&T::DoDeinterlace>, kSwitch},
      {"psnr", SwitchOn<&T::DoPsnr>, kSwitch},
      {"vstats", VStats, kSwitch},
      {"vstats_file", Text<&T::VStatsFileName>},
      {"vhook", VHook},
      {"intra_matrix", QuantMatrix<&T::IntraMatrix>},
      {"inter_matrix", QuantMatrix<&T::InterMatrix>},
      {"top", Integer<&T::TopFieldFirst>},
      {"dc", IntraDcPrecision},
      {"vtag", CodecTag<&T::VideoCodecTag>},
      {"newvideo", NewStream<msVideo>, kSwitch},
      {"qphist", SwitchOn<&T::QpHist>, kSwitch},
      {"ab", BitRate},
      {"aframes", FrameLimit<msAudio>},
      {"aq", Float<&T::AudioQScale>},
      {"ar", PositiveInteger<&T::AudioSampleRate>},
      {"ac", AudioChannels},
      {"an", SwitchOn<&T::AudioDisable>, kSwitch},
      {"acodec", Codec<&T::AudioCodecName, &T::AudioStreamCopy>},
      {"atag", CodecTag<&T::AudioCodecTag>},
      {"vol", Integer<&T::AudioVolume>},
      {"newaudio", NewStream<msAudio>, kSwitch},
      {"alang", Text<&T::AudioLanguage>},
      {"sn", SwitchOn<&T::SubtitleDisable>, kSwitch},
      {"scodec", Codec<&T::SubtitleCodecName, &T::SubtitleStreamCopy>},
      {"newsubtitle", NewStream<msSubtitle>, kSwitch},
      {"slang", Text<&T::SubtitleLanguage>},
      {"vc", Integer<&T::VideoChannel>},
      {"tvstd", Text<&T::VideoStandard>},
      {"isync", SwitchOn<&T::InputSync>, kSwitch},
      {"muxdelay", Float<&T::MuxMaxDelay>},
      {"muxpreload", Float<&T::MuxPreload>},
      {"absf", Refused},
      {"vbsf", Refused},
      {"sbsf", Refused},
      {"apre", Ignored},
      {"vpre", Ignored},
      {"spre", Ignored},
  };
  static_assert(std::size(kEntries) == 103);
  return kEntries;
}

bool IsSwitchOption(std::string_view name) {
  for (const auto& entry : TOptionVocabulary::Entries())
    if (entry.Name == name) return entry.Switch;
  return false;
}

void TCustomFFmpeg::ApplyOption(const std::string& name, const std::string& value) {
  const TClassicNumberScope classicNumbers;
  if (!LibrariesLoaded()) throw FFMpegException("The codec libraries are not loaded");
  for (const auto& entry : TOptionVocabulary::Entries()) {
    if (entry.Name == name) {
      entry.Handler(*this, name, value);
      return;
    }
  }
  SetGenericOption(name, value);
}

bool TCustomFFmpeg::SetGenericOption(const std::string& rawName, const std::string& rawValue) {
  const std::string name = CurrentOptionName(std::string(Trim(rawName))), value(Trim(rawValue));
  if (name.empty() || value.empty() || !LibrariesLoaded() || !FCodecOptions[msVideo]) return false;
  static const int kSlotFlags[kMediaSlotCount] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                                  AV_OPT_FLAG_SUBTITLE_PARAM, 0};
  // The bit-rate options of the codec table now carry the audio flag too, but
  // "b" and "bt" have always meant the video stream: audio has "ab" and "abt".
  const bool videoOnly = name == "b" || name == "bt";
  const AVOption* set = nullptr;
  for (int slot = 0; slot < kMediaSlotCount; ++slot) {
    if (videoOnly && slot != msVideo) continue;
    const AVOption* o = FindOption(FCodecOptions[msVideo].get(), name, kSlotFlags[slot]);
    if (o && FCodecOptions[slot] && AVL.av_opt_set(FCodecOptions[slot].get(), name.c_str(), value.c_str(), 0) >= 0)
      set = o;
  }
  if (!set) set = TrySetOption(FFormatOptions.get(), name, value);
  if (!set) set = TrySetOption(FScalerOptions.get(), name, value);
  if (!set && name.size() > 1) {
    const int slot = name[0] == 'a' ? msAudio : name[0] == 'v' ? msVideo : name[0] == 's' ? msSubtitle : -1;
    if (slot >= 0) set = TrySetOption(FCodecOptions[slot].get(), name.substr(1), value);
  }
  if (!set) {
    // An option of some encoder's or muxer's own: kept for the streams and
    // files whose encoder or muxer has it.
    const int targets = PrivateOptionTargets(name, value, set);
    if (!targets) return false;
    auto& kept = S.PrivateOptions;
    const auto same = std::find_if(kept.begin(), kept.end(), [&](const auto& o) { return o.Name == name; });
    if (same != kept.end()) kept.erase(same);
    kept.push_back({name, value, targets});
  }
  FGenericOptions.push_back(set);
  if (FCodecOptions[msVideo]->debug != 0 || (FFormatOptions && FFormatOptions->debug != 0)) SetVerbosity(2);
  return true;
}

void TCustomFFmpeg::SetInputFormat(const std::string& name) {
  if (!LibrariesLoaded()) throw FFMpegException("The codec libraries are not loaded");
  const bool compat = name == "pgmyuv";
  const AVInputFormat* in = AVL.av_find_input_format(compat ? "image2" : name.c_str());
  if (!in) throw FFMpegException(FormatText("Unknown input format: %s", name.c_str()));
  if (compat) TOptionVocabulary::NotePgmYuv(*this);
  S.InputFormat = in;
}

void TCustomFFmpeg::SetOutputFormat(const std::string& name) {
  if (!LibrariesLoaded()) throw FFMpegException("The codec libraries are not loaded");
  const bool compat = name == "pgmyuv";
  const AVOutputFormat* out = AVL.av_guess_format(compat ? "image2" : name.c_str(), nullptr, nullptr);
  if (!out) throw FFMpegException(FormatText("Unknown output format: %s", name.c_str()));
  if (compat) TOptionVocabulary::NotePgmYuv(*this);
  S.OutputFormat = out;
}

void TCustomFFmpeg::SetPadColor(uint32_t bgr) {
  // 10-bit fixed-point BT.601 coefficients, arithmetic shifts.
  const int r = static_cast<int>(bgr & 0xFF), g = static_cast<int>((bgr >> 8) & 0xFF),
            b = static_cast<int>((bgr >> 16) & 0xFF);
  S.PadColorY = (307 * r + 602 * g + 117 * b + 512) >> 10;
  S.PadColorCb = ((-173 * r - 340 * g + 512 * b + 511) >> 10) + 128;
  S.PadColorCr = ((512 * r - 429 * g - 84 * b + 511) >> 10) + 128;
}

void TCustomFFmpeg::SetHookTimeRanges(std::vector<THookTimeRange> ranges) {
  FHookTimeRanges = std::move(ranges);
  FHookRangeIndex = 0;
}

bool TCustomFFmpeg::SetHookPixelFormat(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = LibrariesLoaded() ? AVL.av_pix_fmt_desc_get(format) : nullptr;
  if (!desc || AVL.av_pix_fmt_count_planes(format) != 1) return false;
  // Whole bytes per pixel, no palette, no bitstream layout, no hardware frame:
  // each bitmap row is then the picture's row as it is.
  const int bits = desc->comp[0].step * 8;
  if ((desc->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)) || bits < 8 ||
      bits > 32 || desc->log2_chroma_w || desc->log2_chroma_h)
    return false;
  FHookPixelFormat = format;
  FHookBitmap.reset();  // made again in the new layout
  return true;
}

}  // namespace fennick
