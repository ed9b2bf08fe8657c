// What goes from a source into its output besides the picture: the audio
// track chosen (by number, by language, or the one the source marks), and
// the subtitles, those in the source and the subtitle files beside it, in
// the kind each container holds. Driven through fennick-convert (the
// conversion run), read back with ffprobe and the ffmpeg command.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "codec_library/codec_library.h"
#include "engine/av_ptr.h"
#include "jobs/job_queue.h"
#include "jobs/stream_choice.h"
#include "test_support.h"
#include "util/json.h"

namespace fennick {
namespace {

using test::Contains;
using test::CommandResult;
using test::RunCommand;
using test::ShellQuote;

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";
const std::string kMkv = "MKV - Matroska Video (*.mkv)";
const std::string kMp4 = "MP4 - MPEG4 Video (*.mp4)";
const std::string kAvi = "AVI - DivX Video (*.avi)";

CommandResult Convert(const std::string& arguments) { return RunCommand(ShellQuote(kBin) + " " + arguments); }

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// The streams of one kind ("audio", "subtitle") in a file, in order, each as
// ffprobe's values without the "streams.stream.N." prefix.
std::vector<std::map<std::string, std::string>> StreamsOf(const std::string& path, const std::string& kind) {
  const auto probe = test::ProbeFile(path);
  std::vector<std::map<std::string, std::string>> streams;
  for (int i = 0; !test::StreamValue(probe, i, "codec_type").empty(); ++i) {
    if (test::StreamValue(probe, i, "codec_type") != kind) continue;
    std::map<std::string, std::string> values;
    const std::string prefix = "streams.stream." + std::to_string(i) + ".";
    for (const auto& [key, value] : probe)
      if (key.rfind(prefix, 0) == 0) values[key.substr(prefix.size())] = value;
    streams.push_back(values);
  }
  return streams;
}

struct Cue {
  double Start = 0, End = 0;
  std::string Text;
};

// The cues of subtitle stream `n` as the ffmpeg command writes them out as
// SubRip.
std::vector<Cue> Cues(const std::string& path, int n) {
  const auto r = RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " -map 0:s:" + std::to_string(n) +
                            " -f srt - 2>/dev/null");
  std::vector<Cue> cues;
  const std::regex timing(R"((\d+):(\d+):(\d+),(\d+) --> (\d+):(\d+):(\d+),(\d+))");
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, timing)) continue;
    const auto seconds = [&m](int at) {
      return std::stoi(m[at]) * 3600.0 + std::stoi(m[at + 1]) * 60.0 + std::stoi(m[at + 2]) + std::stoi(m[at + 3]) / 1000.0;
    };
    Cue cue{seconds(1), seconds(5), ""};
    if (std::getline(in, line)) cue.Text = line;
    cues.push_back(cue);
  }
  return cues;
}

// The same cues at the same times (within a tenth of a second: the
// containers keep milliseconds, a picture lasts a tenth here).
void ExpectCues(const std::vector<Cue>& actual, const std::vector<Cue>& expected, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].Text, expected[i].Text) << what << " cue " << i;
    EXPECT_NEAR(actual[i].Start, expected[i].Start, 0.1) << what << " cue " << i << " " << actual[i].Text;
    EXPECT_NEAR(actual[i].End, expected[i].End, 0.1) << what << " cue " << i << " " << actual[i].Text;
  }
}

// Two cues, the second more than ten seconds after the first.
const char* const kEnglishCues =
    "1\n00:00:00,500 --> 00:00:01,500\nHello there\n\n2\n00:00:12,000 --> 00:00:12,800\nLate line\n";
const char* const kGermanCues =
    "1\n00:00:01,000 --> 00:00:02,000\nHallo du\n\n2\n00:00:12,400 --> 00:00:12,900\nSpaete Zeile\n";

// A Matroska file of one DVD subtitle stream (two cues of a small picture),
// made with the libraries' own encoder and muxer: the ffmpeg command makes
// picture subtitles only from picture subtitles.
bool MakeDvdSubtitles(const std::string& path) {
  test::RequireLibraries();
  const AVCodec* codec = AVL.avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
  if (!codec) return false;
  CodecContextPtr encoder(AVL.avcodec_alloc_context3(codec));
  encoder->width = 96;
  encoder->height = 64;
  encoder->time_base = AVRational{1, 1000};
  if (AVL.avcodec_open2(encoder.get(), codec, nullptr) < 0) return false;
  AVFormatContext* allocated = nullptr;
  if (AVL.avformat_alloc_output_context2(&allocated, nullptr, "matroska", path.c_str()) < 0) return false;
  OutputFormatContextPtr file(allocated);
  AVStream* stream = AVL.avformat_new_stream(allocated, nullptr);
  if (!stream || AVL.avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0) return false;
  stream->time_base = AVRational{1, 1000};
  if (AVL.avio_open(&allocated->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
      AVL.avformat_write_header(allocated, nullptr) < 0)
    return false;
  std::vector<uint8_t> pixels(16 * 8, 1);
  uint32_t palette[4] = {0x00000000, 0xffffffff, 0xff000000, 0xff808080};
  PacketPtr packet(AVL.av_packet_alloc());
  for (const auto& [start, end] : {std::pair{500, 1500}, std::pair{3000, 3800}}) {
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = 40;
    rect.y = 50;
    rect.w = 16;
    rect.h = 8;
    rect.nb_colors = 4;
    rect.data[0] = pixels.data();
    rect.linesize[0] = 16;
    rect.data[1] = reinterpret_cast<uint8_t*>(palette);
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle cue{};
    cue.num_rects = 1;
    cue.rects = rects;
    cue.end_display_time = static_cast<uint32_t>(end - start);
    uint8_t buffer[65536];
    const int size = AVL.avcodec_encode_subtitle(encoder.get(), buffer, sizeof buffer, &cue);
    if (size <= 0 || AVL.av_new_packet(packet.get(), size) < 0) return false;
    std::memcpy(packet->data, buffer, static_cast<size_t>(size));
    packet->pts = packet->dts = start;
    packet->duration = end - start;
    packet->stream_index = 0;
    if (AVL.av_interleaved_write_frame(allocated, packet.get()) < 0) return false;
  }
  return AVL.av_write_trailer(allocated) >= 0;
}

// The suite's sources, made once.
class Streams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new test::TempDir();
    // English stereo AAC at 44100 Hz, German 5.1 AC-3 at 48000 Hz.
    const std::string tracks =
        "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 "
        "-f lavfi -i sine=frequency=660:sample_rate=48000:duration=1 -map 0:v -map 1:a -map 2:a -c:v mpeg4 "
        "-c:a:0 aac -ac:a:0 2 -c:a:1 ac3 -ac:a:1 6 -metadata:s:a:0 language=eng -metadata:s:a:1 language=ger ";
    ASSERT_TRUE(test::MakeMedia(Dir->file("tracks.mkv"), tracks));
    // The same with the German track marked as the one to play.
    ASSERT_TRUE(test::MakeMedia(Dir->file("german.mkv"), tracks + "-disposition:a:0 0 -disposition:a:1 default"));
    // A 13 s film with English SubRip cues inside and German ones beside it.
    WriteText(Dir->file("english.srt"), kEnglishCues);
    ASSERT_TRUE(test::MakeMedia(
        Dir->file("film.mkv"),
        "-f lavfi -i testsrc=size=96x64:rate=10:duration=13 -f lavfi -i sine=sample_rate=44100:duration=13 -i " +
            ShellQuote(Dir->file("english.srt")) +
            " -map 0:v -map 1:a -map 2:s -c:v mpeg4 -c:a aac -c:s srt -metadata:s:s:0 language=eng"));
    WriteText(Dir->file("film.de.srt"), kGermanCues);
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
  }

  void SetUp() override {
    Out = Dir->file("out-" + std::to_string(++Runs));
    std::filesystem::create_directories(Out);
  }

  // Converts `source` into `format` with more arguments; the output's path.
  std::string ConvertInto(const std::string& source, const std::string& format, const std::string& more = "") {
    const CommandResult r =
        Convert("-f " + ShellQuote(format) + " -o " + ShellQuote(Out) + " " + more + " " + ShellQuote(source));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(Contains(r.output, "Done")) << r.output;
    const std::string extension = format == kMkv ? ".mkv" : format == kAvi ? ".avi" : ".mp4";
    return Out + "/" + std::filesystem::path(source).stem().string() + extension;
  }

  static test::TempDir* Dir;
  static int Runs;
  std::string Out;
};

test::TempDir* Streams::Dir = nullptr;
int Streams::Runs = 0;

TEST_F(Streams, EachAudioTrackIsConvertedAloneWithItsOwnChannelsAndLanguage) {
  struct Case {
    std::string Request;
    int Channels;
    std::string Language;
  };
  for (const Case& c : {Case{"1", 2, "eng"}, Case{"2", 6, "ger"}, Case{"eng", 2, "eng"}, Case{"de", 6, "ger"},
                        Case{"deu", 6, "ger"}}) {
    const auto audio = StreamsOf(ConvertInto(Dir->file("tracks.mkv"), kMkv, "--audio-track " + c.Request), "audio");
    ASSERT_EQ(audio.size(), 1u) << c.Request;
    EXPECT_EQ(audio[0].at("channels"), std::to_string(c.Channels)) << c.Request;
    EXPECT_EQ(audio[0].at("tags.language"), c.Language) << c.Request;
    std::filesystem::remove_all(Out);
    std::filesystem::create_directories(Out);
  }
  // A classic format (stereo by its settings) takes the chosen track too.
  const auto audio = StreamsOf(ConvertInto(Dir->file("tracks.mkv"), kMp4, "--audio-track ger"), "audio");
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(audio[0].at("tags.language"), "ger");
}

TEST_F(Streams, WithoutAChoiceTheTrackTheSourceMarksIsConverted) {
  const auto audio = StreamsOf(ConvertInto(Dir->file("german.mkv"), kMkv), "audio");
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(audio[0].at("tags.language"), "ger");
  EXPECT_EQ(audio[0].at("channels"), "6");
}

// Two English tracks, the commentary first and the main one marked default:
// "eng" takes the one to play.
TEST_F(Streams, ALanguageWithSeveralTracksTakesTheOneTheSourceMarks) {
  const std::string source = Dir->file("commentary.mkv");
  ASSERT_TRUE(test::MakeMedia(
      source, "-f lavfi -i sine=frequency=440:duration=1 -f lavfi -i sine=frequency=660:sample_rate=48000:duration=1 "
              "-map 0:a -map 1:a -c:a:0 aac -ac:a:0 2 -c:a:1 ac3 -ac:a:1 6 -metadata:s:a:0 language=eng "
              "-metadata:s:a:1 language=eng -disposition:a:0 0 -disposition:a:1 default"));
  const auto audio = StreamsOf(ConvertInto(source, kMkv, "--audio-track eng"), "audio");
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(audio[0].at("channels"), "6");
}

TEST_F(Streams, ATrackTheSourceDoesNotHaveFailsTheFileNamingItsTracks) {
  for (const std::string request : {"3", "fre"}) {
    const CommandResult r = Convert("-f mkv -o " + ShellQuote(Out) + " --audio-track " + request + " " +
                                    ShellQuote(Dir->file("tracks.mkv")));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Contains(r.output, "Fail")) << r.output;
    EXPECT_TRUE(Contains(r.output, "1: eng, aac, stereo; 2: ger, ac3, 5.1")) << r.output;
  }
  EXPECT_TRUE(std::filesystem::is_empty(Out));
  const CommandResult bad = Convert("--audio-track 0 " + ShellQuote(Dir->file("tracks.mkv")));
  EXPECT_EQ(bad.exitCode, 2) << bad.output;
}

TEST_F(Streams, TheProbeListsTheTracks) {
  const CommandResult text = Convert("--probe " + ShellQuote(Dir->file("tracks.mkv")));
  EXPECT_TRUE(Contains(text.output, "Audio Tracks: 2\n    1: eng, aac, stereo, 44100 Hz (default)\n"
                                    "    2: ger, ac3, 5.1, 48000 Hz\n"))
      << text.output;
  const CommandResult json = RunCommand(ShellQuote(kBin) + " --probe --json " + ShellQuote(Dir->file("film.mkv")) +
                                        " 2>/dev/null");
  std::string error;
  const auto value = ParseJson(json.output, error);
  ASSERT_TRUE(value) << error << json.output;
  const TJsonValue* audio = value->Member("audio_tracks");
  const TJsonValue* subtitles = value->Member("subtitle_tracks");
  ASSERT_TRUE(audio && audio->Array() && subtitles && subtitles->Array()) << json.output;
  ASSERT_EQ(audio->Array()->size(), 1u);
  EXPECT_EQ(*(*audio->Array())[0].Member("channels")->Integer(), 1);
  ASSERT_EQ(subtitles->Array()->size(), 1u);
  EXPECT_EQ(*(*subtitles->Array())[0].Member("language")->String(), "eng");
  EXPECT_EQ(*(*subtitles->Array())[0].Member("codec")->String(), "subrip");
}

TEST_F(Streams, IntoMatroskaTheSubtitlesInsideAndBesideKeepTheirCuesAndLanguages) {
  const std::string output = ConvertInto(Dir->file("film.mkv"), kMkv);
  const auto subtitles = StreamsOf(output, "subtitle");
  ASSERT_EQ(subtitles.size(), 2u);
  EXPECT_EQ(subtitles[0].at("codec_name"), "subrip");
  EXPECT_EQ(subtitles[0].at("tags.language"), "eng");
  EXPECT_EQ(subtitles[1].at("codec_name"), "subrip");
  EXPECT_EQ(subtitles[1].at("tags.language"), "ger");
  ExpectCues(Cues(output, 0), Cues(Dir->file("film.mkv"), 0), "inside");
  ExpectCues(Cues(output, 1), {{1.0, 2.0, "Hallo du"}, {12.4, 12.9, "Spaete Zeile"}}, "beside");
}

// A subtitle track without a single cue (a track left empty) is kept and
// the file converts: only picture and sound must have something written.
TEST_F(Streams, ASubtitleTrackWithoutCuesConverts) {
  WriteText(Dir->file("empty.ass"),
            "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize\n"
            "Style: Default,Arial,20\n\n[Events]\nFormat: Layer, Start, End, Style, Text\n");
  ASSERT_TRUE(test::MakeMedia(Dir->file("nocues.mkv"),
                              "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=duration=1 -i " +
                                  ShellQuote(Dir->file("empty.ass")) +
                                  " -map 0:v -map 1:a -map 2:s -c:v mpeg4 -c:a aac -c:s ass"));
  const std::string output = ConvertInto(Dir->file("nocues.mkv"), kMkv);
  EXPECT_EQ(StreamsOf(output, "subtitle").size(), 1u);
}

TEST_F(Streams, IntoMp4TheSubtitlesBecomeMovText) {
  const std::string output = ConvertInto(Dir->file("film.mkv"), kMp4);
  const auto subtitles = StreamsOf(output, "subtitle");
  ASSERT_EQ(subtitles.size(), 2u);
  for (const auto& stream : subtitles) EXPECT_EQ(stream.at("codec_name"), "mov_text");
  EXPECT_EQ(subtitles[0].at("tags.language"), "eng");
  EXPECT_EQ(subtitles[1].at("tags.language"), "ger");
  ExpectCues(Cues(output, 1), {{1.0, 2.0, "Hallo du"}, {12.4, 12.9, "Spaete Zeile"}}, "beside");
}

TEST_F(Streams, IntoAviThereAreNoSubtitlesAndTheFileConverts) {
  const std::string output = ConvertInto(Dir->file("film.mkv"), kAvi);
  EXPECT_TRUE(StreamsOf(output, "subtitle").empty());
  EXPECT_EQ(StreamsOf(output, "video").size(), 1u);
  EXPECT_EQ(StreamsOf(output, "audio").size(), 1u);
}

TEST_F(Streams, SubtitlesNoneLeavesThemOutAndAFileGivenReplacesThoseBeside) {
  EXPECT_TRUE(StreamsOf(ConvertInto(Dir->file("film.mkv"), kMkv, "--subtitles none"), "subtitle").empty());

  WriteText(Dir->file("other.fr.srt"), "1\n00:00:02,000 --> 00:00:03,000\nBonjour\n");
  const std::string output = ConvertInto(Dir->file("film.mkv"), kMp4, "--subtitles " + Dir->file("other.fr.srt"));
  const auto subtitles = StreamsOf(output, "subtitle");
  ASSERT_EQ(subtitles.size(), 2u);
  EXPECT_EQ(subtitles[1].at("tags.language"), "fre");
  ExpectCues(Cues(output, 1), {{2.0, 3.0, "Bonjour"}}, "given");

  const CommandResult missing = Convert("-f mkv -o " + ShellQuote(Out) + " --subtitles " +
                                        ShellQuote(Dir->file("none.srt")) + " " + ShellQuote(Dir->file("film.mkv")));
  EXPECT_EQ(missing.exitCode, 1) << missing.output;
  EXPECT_TRUE(Contains(missing.output, "none.srt: no such file or directory")) << missing.output;
}

TEST_F(Streams, PictureSubtitlesGoOnlyIntoMatroska) {
  const std::string pictures = Dir->file("pictures.mkv");
  ASSERT_TRUE(MakeDvdSubtitles(pictures));
  const std::string source = Dir->file("dvd.mkv");
  ASSERT_TRUE(test::MakeMedia(source, "-f lavfi -i testsrc=size=96x64:rate=10:duration=4 -i " + ShellQuote(pictures) +
                                          " -map 0:v -map 1:s -c:v mpeg4 -c:s copy"));
  const auto kept = StreamsOf(ConvertInto(source, kMkv), "subtitle");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].at("codec_name"), "dvd_subtitle");
  const std::string mp4 = ConvertInto(source, kMp4);
  EXPECT_TRUE(StreamsOf(mp4, "subtitle").empty());
  EXPECT_EQ(StreamsOf(mp4, "video").size(), 1u);
}

TEST(StreamChoice, TheSubtitleFilesBesideASourceAreThoseWithItsName) {
  test::TempDir dir;
  for (const char* name : {"film.mkv", "film.srt", "film.en.srt", "film.DE.ASS", "film.vtt", "film.commentary.srt",
                           "film2.srt", "other.srt", "film.en.txt"})
    WriteText(dir.file(name), "");
  std::filesystem::create_directory(dir.file("film.fr.srt"));
  const std::vector<TSubtitleFile> expected = {{dir.file("film.DE.ASS"), "ger"},
                                               {dir.file("film.en.srt"), "eng"},
                                               {dir.file("film.srt"), ""},
                                               {dir.file("film.vtt"), ""}};
  EXPECT_EQ(FindSubtitleFiles(dir.file("film.mkv")), expected);
}

TEST(StreamChoice, TheSavedQueueKeepsTheTrackAndReadsFilesWithoutIt) {
  test::TempDir dir;
  TJobQueue queue;
  TQueuedJob job;
  job.Source = "/films/two tracks.mkv";
  job.AudioTrack = "2";
  job.SubtitleFile = "/films/two tracks.fr.srt";
  TProbeStreamInfo english, german;
  english.Index = 1;
  english.Language = "eng";
  english.CodecName = "aac";
  english.Channels = 2;
  english.SampleRate = 44100;
  english.Default = true;
  german.Index = 2;
  german.Language = "ger";
  german.CodecName = "ac3";
  german.Channels = 6;
  german.SampleRate = 48000;
  job.AudioTracks = {english, german};
  queue.Add(job);
  job.AudioTrack.clear();
  job.SubtitleFile.clear();
  job.AudioTracks.clear();
  queue.Add(job);
  std::string error;
  ASSERT_TRUE(queue.Save(dir.file("queue.json"), error)) << error;
  const auto loaded = TJobQueue::Load(dir.file("queue.json"), error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(*loaded, queue);

  // A file of the version before: no such members.
  std::ifstream in(dir.file("queue.json"));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  text = std::regex_replace(text, std::regex(R"(,"audio_track":"2")"), "");
  text = std::regex_replace(text, std::regex(R"(,"subtitle_file":"[^"]*")"), "");
  text = std::regex_replace(text, std::regex(R"(,"audio_tracks":\[[^\]]*\])"), "");
  ASSERT_FALSE(Contains(text, "audio_track"));
  WriteText(dir.file("old.json"), text);
  const auto old = TJobQueue::Load(dir.file("old.json"), error);
  ASSERT_TRUE(old) << error;
  ASSERT_EQ(old->Count(), 2);
  EXPECT_EQ(old->At(0).AudioTrack, "");
  EXPECT_EQ(old->At(0).SubtitleFile, "");
}

}  // namespace
}  // namespace fennick
