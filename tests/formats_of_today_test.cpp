// The formats of today: their quality levels (files shrink as the level
// falls; "High" is as good as a 720p source to the eye), the encoder speed
// reaching the encoder from the command line and through a saved queue,
// 5.1 kept into MKV, their short names on the command line, the classic
// lists coming back after them, and hardware encoders offered only where
// the machine has them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/format_choice.h"
#include "component/FFmpegVCL.h"
#include "component/hardware_encoders.h"
#include "component/task_options.h"
#include "jobs/job_builder.h"
#include "jobs/job_queue.h"
#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"
#include "test_support.h"

namespace fennick {
namespace {

using test::RunCommand;
using test::ShellQuote;

const std::string kConvert = std::string(FENNICK_BIN_DIR) + "/fennick-convert";
const std::string kMatroska = "MKV - Matroska Video (*.mkv)";
const std::string kMp4H264 = "MP4 - H.264 Video (*.mp4)";
const std::string kMp4H265 = "MP4 - H.265 Video (*.mp4)";

std::string Extension(const TProfileControls& controls) {
  std::string extension = controls.FOutputFormatName;
  std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
  return extension;
}

// The format chosen in fresh settings lists, with these items chosen.
TProfileControls Chosen(const std::string& format, const std::vector<std::pair<std::string, std::string>>& items = {}) {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  EXPECT_TRUE(ChooseOutputFormat(controls, format)) << format;
  for (const auto& [list, item] : items)
    EXPECT_TRUE(SettingsControlByName(controls, list)->SelectText(item)) << list << " " << item;
  return controls;
}

// Converts source with the job builder's record for these settings into
// folder/name.<extension>, through the component; the output's path.
std::string Convert(const std::string& source, const TProfileControls& controls, const std::string& videoSize,
                    const test::TempDir& folder, const std::string& name) {
  TOutputOptions options;
  EXPECT_NO_THROW(FillJobOutputOptions(options, controls, 256, videoSize));
  const std::string output = folder.file(name + "." + Extension(controls));
  TFFmpegVCL vcl;
  EXPECT_TRUE(vcl.LoadCodecLibraries("", true));
  TInputOptions input;
  InitInputOptions(input);
  const int task = vcl.AddInputTask(source, &input);
  EXPECT_GE(task, 0) << vcl.LastError();
  EXPECT_TRUE(vcl.AddTaskOutput(task, output, &options)) << vcl.LastError();
  const test::TaskEnd end = test::RunTasks(vcl);
  EXPECT_TRUE(end.Finished && !end.Exception) << name << ": " << end.Message;
  return output;
}

// The mean PSNR (dB) of a coded file's pictures against the source's, as the
// ffmpeg command measures it.
double Psnr(const std::string& coded, const std::string& source) {
  const auto r = RunCommand("ffmpeg -hide_banner -nostats -i " + ShellQuote(coded) + " -i " + ShellQuote(source) +
                            " -lavfi psnr -f null - 2>&1");
  const size_t at = r.output.find("average:");
  return at == std::string::npos ? 0.0 : std::atof(r.output.c_str() + at + 8);
}

// ---- quality levels

struct TCodecCase {
  const char* Codec;   // the video codec item
  const char* Format;  // an entry that offers it
  friend void PrintTo(const TCodecCase& c, std::ostream* os) { *os << c.Codec; }
};

// "H.265" as "H265".
std::string Alphanumeric(const char* text) {
  std::string name;
  for (const char* c = text; *c; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  return name;
}

std::string CaseName(const ::testing::TestParamInfo<TCodecCase>& info) { return Alphanumeric(info.param.Codec); }

// One second of a 720p picture with fine detail and a little grain, coded
// without loss: what the quality levels are measured on.
class TodayQuality : public ::testing::TestWithParam<TCodecCase> {
 protected:
  static void SetUpTestSuite() {
    test::RequireLibraries();
    Folder = std::make_unique<test::TempDir>();
    Source = Folder->file("detail 720p.mkv");
    ASSERT_TRUE(test::MakeMedia(Source, "-f lavfi -i mandelbrot=size=1280x720:rate=25,noise=alls=3:allf=t,"
                                        "format=yuv420p -t 1 -c:v ffv1"));
  }
  static void TearDownTestSuite() { Folder.reset(); }
  static std::unique_ptr<test::TempDir> Folder;
  static std::string Source;
};
std::unique_ptr<test::TempDir> TodayQuality::Folder;
std::string TodayQuality::Source;

class QualityLevels : public TodayQuality {};

// At the fastest speed, each level down gives a smaller file.
TEST_P(QualityLevels, EachLevelDownGivesASmallerFile) {
  std::vector<uintmax_t> sizes;
  for (const char* level : {"Best", "High", "Medium", "Small"}) {
    const TProfileControls controls = Chosen(
        GetParam().Format, {{"VideoCodec", GetParam().Codec}, {"VideoBitrate", level}, {"EncoderSpeed", "Faster"}});
    const std::string output = Convert(Source, controls, "1280x720", *Folder, Alphanumeric(GetParam().Codec) + level);
    sizes.push_back(std::filesystem::file_size(output));
  }
  for (size_t i = 1; i < sizes.size(); ++i)
    EXPECT_LT(sizes[i], sizes[i - 1]) << "level " << i << " of " << ::testing::PrintToString(sizes);
}

INSTANTIATE_TEST_SUITE_P(Encoders, QualityLevels,
                         ::testing::Values(TCodecCase{"H.264", "MKV - Matroska Video (*.mkv)"},
                                           TCodecCase{"H.265", "MKV - Matroska Video (*.mkv)"},
                                           TCodecCase{"VP9", "WebM - VP9 Video (*.webm)"},
                                           TCodecCase{"AV1", "WebM - AV1 Video (*.webm)"}),
                         CaseName);

class HighQuality : public TodayQuality {};

// The default level at the default speed looks like the source: 38 dB or
// more against it.
TEST_P(HighQuality, LooksLikeTheSource) {
  const TProfileControls controls = Chosen(GetParam().Format);
  ASSERT_EQ(controls.ComboVideoBitrate.Text(), "High");
  ASSERT_EQ(controls.ComboEncoderSpeed.Text(), "Balanced");
  const std::string output = Convert(Source, controls, "1280x720", *Folder, "high");
  const double psnr = Psnr(output, Source);
  EXPECT_GE(psnr, 38.0) << GetParam().Codec;
}

INSTANTIATE_TEST_SUITE_P(Encoders, HighQuality,
                         ::testing::Values(TCodecCase{"H.264", "MP4 - H.264 Video (*.mp4)"},
                                           TCodecCase{"H.265", "MP4 - H.265 Video (*.mp4)"}),
                         CaseName);

// The encoder gets what the user's choices name: the same coded picture as
// the ffmpeg command with those encoder settings (VP9 at High, Balanced: no
// bit-rate cap, its speed), 4:2:0 from a 4:2:2 source, and an MP4 that
// plays while it downloads (its index before its media).
class TodayEncoderSettings : public TodayQuality {};

// The top-level boxes of an MP4 file, in order.
std::vector<std::string> TopBoxes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> boxes;
  unsigned char head[16];
  while (in.read(reinterpret_cast<char*>(head), 8)) {
    uint64_t size = (uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
    boxes.emplace_back(reinterpret_cast<char*>(head + 4), 4);
    uint64_t header = 8;
    if (size == 1 && in.read(reinterpret_cast<char*>(head + 8), 8)) {
      size = 0;
      for (int i = 8; i < 16; ++i) size = size << 8 | head[i];
      header = 16;
    }
    if (size < header) break;
    in.seekg(static_cast<std::streamoff>(size - header), std::ios::cur);
  }
  return boxes;
}

TEST_F(TodayEncoderSettings, TheEncoderCodesWhatTheChoicesName) {
  const std::string vp9 = Convert(Source, Chosen("WebM - VP9 Video (*.webm)"), "1280x720", *Folder, "vp9");
  const std::string reference = Folder->file("reference.webm");
  ASSERT_EQ(RunCommand("ffmpeg -v error -nostdin -y -i " + ShellQuote(Source) +
                       " -threads 1 -c:v libvpx-vp9 -crf 31 -b:v 0 -deadline good -cpu-used 4 -row-mt 1 -pix_fmt yuv420p -an " +
                       ShellQuote(reference))
                .exitCode,
            0);
  EXPECT_EQ(test::VideoPacketBytes(vp9), test::VideoPacketBytes(reference));

  const std::string wide = Folder->file("422.mkv");
  ASSERT_TRUE(test::MakeMedia(wide, "-f lavfi -i testsrc2=size=320x240:rate=25,format=yuv422p -t 0.4 -c:v ffv1"));
  const std::string h264 = Convert(wide, Chosen(kMp4H264), "320x240", *Folder, "h264");
  const auto probe = test::ProbeFile(h264);
  EXPECT_EQ(test::StreamValue(probe, test::FindStream(probe, "video"), "pix_fmt"), "yuv420p");
  const std::vector<std::string> boxes = TopBoxes(h264);
  const auto at = [&boxes](const char* box) { return std::find(boxes.begin(), boxes.end(), box) - boxes.begin(); };
  EXPECT_LT(at("moov"), at("mdat")) << ::testing::PrintToString(boxes);

  const std::string song = Folder->file("song.wav");
  ASSERT_TRUE(test::MakeMedia(song, "-f lavfi -i sine=frequency=440:duration=0.5 -c:a pcm_s16le"));
  const std::vector<std::string> songBoxes = TopBoxes(Convert(song, Chosen("M4A - Apple Lossless (*.m4a)"), "", *Folder, "song"));
  EXPECT_LT(std::find(songBoxes.begin(), songBoxes.end(), "moov"), std::find(songBoxes.begin(), songBoxes.end(), "mdat"))
      << ::testing::PrintToString(songBoxes);
}

// ---- sound

// A 5.1 source keeps its six channels into Matroska with AAC (the default)
// and with Opus.
TEST(TodaySound, FiveOneKeepsSixChannelsInMatroska) {
  test::RequireLibraries();
  test::TempDir dir;
  test::ClipSpec clip;
  clip.channels = 6;
  clip.sampleRate = 48000;
  const std::string source = dir.file("surround.mp4");
  ASSERT_TRUE(test::MakeClip(source, clip));
  for (const char* codec : {"AAC", "Opus"}) {
    SCOPED_TRACE(codec);
    const std::string output = Convert(source, Chosen(kMatroska, {{"AudioCodec", codec}}), "320x240", dir, codec);
    const auto probe = test::ProbeFile(output);
    const int audio = test::FindStream(probe, "audio");
    ASSERT_GE(audio, 0);
    EXPECT_EQ(test::StreamValue(probe, audio, "channels"), "6");
  }
}

// ---- the command line

TEST(TodayCommandLine, ShortNamesFindTheFormatsOfToday) {
  EXPECT_EQ(cli::ResolveOutputFormat("mkv"), kMatroska);
  EXPECT_EQ(cli::ResolveOutputFormat("MKV"), kMatroska);
  EXPECT_EQ(cli::ResolveOutputFormat("webm"), "WebM - VP9 Video (*.webm)");
  EXPECT_EQ(cli::ResolveOutputFormat("flac"), "FLAC - Free Lossless Audio (*.flac)");
  EXPECT_EQ(cli::ResolveOutputFormat("opus"), "Opus Audio (*.opus)");
  // The classic entries keep their short names.
  EXPECT_EQ(cli::ResolveOutputFormat("mp4"), "MP4 - MPEG4 Video (*.mp4)");
  EXPECT_EQ(cli::ResolveOutputFormat("m4a"), "M4A - Mpeg4 Audio File (*.m4a)");
  EXPECT_EQ(cli::ResolveOutputFormat("h.265 video"), kMp4H265);
}

TEST(TodayCommandLine, ListFormatsShowsThemAfterTheClassicOnes) {
  const auto r = RunCommand(ShellQuote(kConvert) + " --list-formats 2>/dev/null");
  ASSERT_EQ(r.exitCode, 0);
  std::vector<std::string> lines;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<std::string> today = {kMatroska,
                                          kMp4H264,
                                          kMp4H265,
                                          "WebM - VP9 Video (*.webm)",
                                          "WebM - AV1 Video (*.webm)",
                                          "FLAC - Free Lossless Audio (*.flac)",
                                          "M4A - Apple Lossless (*.m4a)",
                                          "Opus Audio (*.opus)",
                                          "Android Phone (1080p) (*.mp4)",
                                          "Web Video 720p (*.mp4)",
                                          "4K UHD H.265 (*.mkv)"};
  ASSERT_EQ(lines.size(), 56 + today.size());
  EXPECT_EQ(lines.front(), "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 56, lines.end()), today);
}

// What x264 writes into its stream about its settings: "subme=2" for
// veryfast, "subme=8" for slow.
std::string X264Setting(const std::string& path, const std::string& name) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t at = bytes.find(" " + name + "=");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 2;
  return bytes.substr(start, bytes.find(' ', start) - start);
}

// --set EncoderSpeed reaches the encoder: the snapshot of the settings each
// job converts with carries it.
TEST(TodayCommandLine, EncoderSpeedChoosesTheEncodersPreset) {
  test::TempDir dir;
  test::ClipSpec clip;
  clip.seconds = 0.4;
  const std::string source = dir.file("clip.mp4");
  ASSERT_TRUE(test::MakeClip(source, clip));
  for (const auto& [speed, subme] : {std::pair{"Faster", "2"}, std::pair{"Smaller Files", "8"}}) {
    const test::TempDir out;
    const auto r = RunCommand(ShellQuote(kConvert) + " -f " + ShellQuote(kMp4H264) + " --set " +
                              ShellQuote(std::string("EncoderSpeed=") + speed) + " -o " +
                              ShellQuote(out.path().string()) + " " + ShellQuote(source) + " 2>&1");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(X264Setting(out.file("clip.mp4"), "subme"), subme) << speed;
  }
  // The classic formats offer no speed.
  const auto r = RunCommand(ShellQuote(kConvert) + " -f mp4 --set EncoderSpeed=Faster -o " +
                            ShellQuote(dir.path().string()) + " " + ShellQuote(source) + " 2>&1");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("offers no EncoderSpeed choices"), std::string::npos) << r.output;
}

// ---- the saved queue

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The speed is saved beside the eight items the queue file always had, and
// comes back; a queue saved before there was a speed still loads.
TEST(TodayQueue, TheEncoderSpeedIsSavedAndOlderQueuesLoad) {
  test::TempDir dir;
  TJobQueue queue;
  TQueuedJob job;
  job.Source = "/videos/holiday.mov";
  job.Settings = SnapshotSettings(Chosen(kMatroska, {{"EncoderSpeed", "Faster"}}), 256);
  queue.Add(job);
  std::string error;
  const std::string path = dir.file("queue.json");
  ASSERT_TRUE(queue.Save(path, error)) << error;
  const auto read = RunCommand("python3 -c " +
                               ShellQuote("import json,sys; s=json.load(open(sys.argv[1]))['jobs'][0]['settings']; "
                                          "print(len(s['items']), s['encoder_speed'])") +
                               " " + ShellQuote(path));
  EXPECT_EQ(read.output, "8 Faster\n");
  auto loaded = TJobQueue::Load(path, error);
  ASSERT_TRUE(loaded) << error;
  TProfileControls controls;
  ASSERT_TRUE(ApplySettings(*loaded->At(0).Settings, controls, error)) << error;
  EXPECT_EQ(controls.ComboOutputFormat.Text(), kMatroska);
  EXPECT_EQ(controls.ComboEncoderSpeed.Text(), "Faster");

  const std::string older = dir.file("older.json");
  std::ofstream(older) << R"json({"kind":"fennick-queue","version":1,"next_id":2,"jobs":[
{"id":1,"source":"/videos/a.avi","checked":true,"settings":{"format":"AVI - DivX Video (*.avi)","items":["MPEG4",
"1200 Kbps","Original Video Size","Auto","mp3","128 Kbps","48000 Hz","Mono"],"aspect":0,"volume":256},
"video_size":"640x480","display_aspect":1.3333,"status":"waiting","output":"","reason":"","output_size":-1,
"output_duration_ms":-1}]})json";
  loaded = TJobQueue::Load(older, error);
  ASSERT_TRUE(loaded) << error << "\n" << ReadFile(older);
  ASSERT_TRUE(ApplySettings(*loaded->At(0).Settings, controls, error)) << error;
  EXPECT_EQ(controls.ComboAudioChannels.Text(), "Mono");
  EXPECT_EQ(controls.ComboEncoderSpeed.Count(), 0);
}

// ---- the lists

// After a format of today (channels "Original", a speed list), a classic
// format shows its own lists: the two channel items and no speed.
TEST(TodayLists, AClassicFormatAfterOneOfTodayHasItsOwnLists) {
  TProfileControls controls = Chosen(kMatroska);
  ASSERT_EQ(controls.ComboAudioChannels.Text(), "Original");
  // The iPod entry keeps the channel choice as it is.
  ASSERT_TRUE(ChooseOutputFormat(controls, "iPod (*.mp4)"));
  EXPECT_EQ(controls.ComboAudioChannels.Items(), (std::vector<std::string>{"Stereo", "Mono"}));
  EXPECT_EQ(controls.ComboAudioChannels.Text(), "Stereo");
  EXPECT_EQ(controls.ComboEncoderSpeed.Count(), 0);
  TOutputOptions options;
  InitOutputOptions(options);
  ApplyProfileToOptions(controls, options);
  EXPECT_EQ(options.AudioChannels, 2);
  // A "Mono" chosen in a format of today stays for it.
  ASSERT_TRUE(ChooseOutputFormat(controls, kMatroska));
  ASSERT_TRUE(controls.ComboAudioChannels.SelectText("Mono"));
  ASSERT_TRUE(ChooseOutputFormat(controls, "iPod (*.mp4)"));
  EXPECT_EQ(controls.ComboAudioChannels.Text(), "Mono");
}

// ---- hardware encoders

// Offers the encoders for the life of the object.
struct TOfferedHardware {
  explicit TOfferedHardware(std::vector<std::string> encoders) { OfferHardwareVideoEncoders(std::move(encoders)); }
  ~TOfferedHardware() { OfferHardwareVideoEncoders({}); }
};

TEST(TodayHardware, NoneWithoutARenderNode) {
  test::RequireLibraries();
  test::TempDir dir;
  for (const THardwareEncoderCheck& check : CheckVaapiEncoders(dir.path().string())) {
    EXPECT_FALSE(check.Usable) << check.Encoder;
    EXPECT_NE(check.Reason.find("no VAAPI device"), std::string::npos) << check.Reason;
  }
}

// A file that is named like a render node opens, but is no device.
TEST(TodayHardware, ANodeThatIsNoDeviceIsRefused) {
  test::RequireLibraries();
  test::TempDir dir;
  std::ofstream(dir.file("renderD128")) << "not a device";
  const std::vector<THardwareEncoderCheck> checks = CheckVaapiEncoders(dir.path().string());
  ASSERT_EQ(checks.size(), 2u);
  for (const THardwareEncoderCheck& check : checks) {
    EXPECT_FALSE(check.Usable) << check.Encoder;
    EXPECT_NE(check.Reason.find(dir.file("renderD128") + " is no VAAPI device"), std::string::npos) << check.Reason;
  }
}

// This machine has no render node: nothing is offered, in the lists the
// command line shows either.
TEST(TodayHardware, AMachineWithoutADeviceOffersNone) {
  if (!VaapiRenderNodes().empty()) GTEST_SKIP() << "this machine has a render node";
  test::RequireLibraries();
  EXPECT_EQ(UsableVaapiEncoders(), std::vector<std::string>{});
  const auto r = RunCommand(ShellQuote(kConvert) + " --list-settings " + ShellQuote(kMp4H264) + " 2>&1");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("VideoCodec:\n  * H.264\nVideoBitrate:"), std::string::npos) << r.output;
}

// What a machine with the hardware gets: the hardware items after the
// software codec they stand beside, translated to the VAAPI encoders.
TEST(TodayHardware, OfferedEncodersFollowTheirSoftwareCodec) {
  const TOfferedHardware offered({"h264_vaapi", "hevc_vaapi"});
  EXPECT_EQ(Chosen(kMatroska).ComboVideoCodec.Items(),
            (std::vector<std::string>{"H.264", "H.265", "AV1", "VP9", "MPEG4", "H.264 (hardware)", "H.265 (hardware)"}));
  const TProfileControls h265 = Chosen(kMp4H265, {{"VideoCodec", "H.265 (hardware)"}});
  EXPECT_EQ(h265.ComboVideoCodec.Items(), (std::vector<std::string>{"H.265", "H.265 (hardware)"}));
  TOutputOptions options;
  InitOutputOptions(options);
  ApplyProfileToOptions(h265, options);
  EXPECT_EQ(options.VideoCodec, "hevc_vaapi");
  EXPECT_EQ(options.VideoTag, "hvc1");
  // The classic entries stay as they are.
  EXPECT_EQ(Chosen("MP4 - MPEG4 Video (*.mp4)").ComboVideoCodec.Items(),
            (std::vector<std::string>{"MPEG4", "H264", "XVid"}));
}

// A hardware encoder asked for where no graphics device opens fails the
// file saying so, and leaves nothing.
TEST(TodayHardware, AHardwareEncoderWithoutADeviceFailsSayingWhy) {
  test::TempDir dir;
  test::ClipSpec spec;
  spec.seconds = 0.4;
  spec.width = 160;
  spec.height = 120;
  ASSERT_TRUE(test::MakeClip(dir.file("clip.mp4"), spec));
  if (!UsableVaapiEncoders().empty()) GTEST_SKIP() << "this machine has a usable VAAPI device";
  const auto r = RunCommand(ShellQuote(kConvert) + " --engine -i " + ShellQuote(dir.file("clip.mp4")) +
                            " -vcodec h264_vaapi " + ShellQuote(dir.file("out.mp4")) + " 2>&1");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("Cannot use the hardware encoder of output stream #0.0: no graphics device"), std::string::npos)
      << r.output;
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.mp4")));
}

}  // namespace
}  // namespace fennick
