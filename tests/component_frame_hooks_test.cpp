// Frame hooks during real conversions through the component: the custom hook
// drawing on the bitmap, the before-hook and the time ranges choosing when the
// frame-hook modules run, and the project's own modules. Outputs are lossless
// (rawvideo) and decoded by ffmpeg to check their pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "component/FFmpegVCL.h"
#include "engine/FFmpeg.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

constexpr int kWidth = 64, kHeight = 48;
constexpr size_t kFrameBytes = kWidth * kHeight * 3;
using TPicture = std::vector<uint8_t>;  // rgb24 rows

const std::string kGreyModule = std::string(FENNICK_BIN_DIR) + "/hook_grey.so";
const std::string kTimestampModule = std::string(FENNICK_BIN_DIR) + "/hook_timestamp.so";

// Every picture of the file's first video stream, as ffmpeg decodes it.
std::vector<TPicture> DecodeAll(const std::string& path) {
  test::TempDir dir;
  const std::string raw = dir.file("all.rgb");
  test::RunCommand("ffmpeg -hide_banner -nostdin -loglevel error -y -i " + test::ShellQuote(path) +
                   " -f rawvideo -pix_fmt rgb24 " + test::ShellQuote(raw));
  std::ifstream in(raw, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<TPicture> pictures;
  for (size_t at = 0; at + kFrameBytes <= bytes.size(); at += kFrameBytes)
    pictures.emplace_back(bytes.begin() + at, bytes.begin() + at + kFrameBytes);
  return pictures;
}

// The largest difference between the colour components of one pixel.
int Colourfulness(const TPicture& p) {
  int most = 0;
  for (size_t i = 0; i + 2 < p.size(); i += 3)
    most = std::max(most, std::max({p[i], p[i + 1], p[i + 2]}) - std::min({p[i], p[i + 1], p[i + 2]}));
  return most;
}
bool IsGrey(const TPicture& p) { return Colourfulness(p) <= 6; }
bool IsRed(const TPicture& p) {
  for (size_t i = 0; i + 2 < p.size(); i += 3)
    if (p[i] < 200 || p[i + 1] > 60 || p[i + 2] > 60) return false;
  return true;
}
const uint8_t* Pixel(const TPicture& p, int x, int y) { return p.data() + (y * kWidth + x) * 3; }

class FrameHooks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::RequireLibraries();
    Dir = new test::TempDir;
    // A moving colour pattern: 2 s at 10 fps, and 14 s at 5 fps for the
    // time ranges.
    ASSERT_TRUE(test::MakeMedia(Dir->file("clip.nut"),
                                "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -pix_fmt yuv420p -c:v ffv1"));
    ASSERT_TRUE(test::MakeMedia(Dir->file("long.nut"),
                                "-f lavfi -i testsrc=size=64x48:rate=5:duration=14 -pix_fmt yuv420p -c:v ffv1"));
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(component.LoadCodecLibraries("", true)) << component.LastError();
    component.OnLog = [this](int, TLogLevel, const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex);
      log.push_back(text);
    };
  }

  // Converts `source` to a lossless output with the record as the test set
  // it up, and returns the output's pictures.
  std::vector<TPicture> Convert(const std::string& source, TOutputOptions& record, const std::string& name) {
    const std::string output = Dir->file(name + ".nut");
    const int index = component.AddInputTask(source);
    EXPECT_GE(index, 0) << component.LastError();
    record.VideoCodec = "rawvideo";
    record.DisableAudio = true;
    if (!component.AddTaskOutput(index, output, &record)) {
      ADD_FAILURE() << component.LastError();
      return {};
    }
    const test::TaskEnd end = test::RunTasks(component);
    EXPECT_TRUE(end.Finished && !end.Exception) << end.Message;
    component.RemoveAllTasks();
    return DecodeAll(output);
  }
  std::vector<TPicture> Convert(const std::string& source, const std::string& name) {
    TOutputOptions record;
    InitOutputOptions(record);
    return Convert(source, record, name);
  }
  TOutputOptions HookRecord() {
    TOutputOptions record;
    InitOutputOptions(record);
    return record;
  }
  bool Logged(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(log.begin(), log.end(), line) != log.end();
  }

  static test::TempDir* Dir;
  TFFmpegVCL component;
  std::mutex mutex;
  std::vector<std::string> log;
};
test::TempDir* FrameHooks::Dir = nullptr;

// Fills the bitmap with pure red (rows are blue, green, red).
void PaintRed(TBitmap& bitmap) {
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      uint8_t* p = bitmap.ScanLine(y) + x * 3;
      p[0] = 0, p[1] = 0, p[2] = 255;
    }
}

TEST_F(FrameHooks, CustomHookPaintingReachesTheOutputOnlyWithUpdate) {
  const auto plain = Convert(Dir->file("clip.nut"), "plain");
  ASSERT_EQ(plain.size(), 20u);
  ASSERT_FALSE(IsRed(plain[0]));

  std::vector<int> frameNumbers;
  bool update = true;
  component.OnCustomHook = [&](int, TBitmap& bitmap, int frameNumber, int64_t, bool& AUpdate, bool&) {
    EXPECT_EQ(bitmap.Width(), kWidth);
    EXPECT_EQ(bitmap.Height(), kHeight);
    frameNumbers.push_back(frameNumber);
    PaintRed(bitmap);
    AUpdate = update;
  };
  TOutputOptions record = HookRecord();
  record.CustomHook = true;
  const auto painted = Convert(Dir->file("clip.nut"), record, "painted");
  ASSERT_EQ(painted.size(), 20u);
  for (const auto& picture : painted) EXPECT_TRUE(IsRed(picture));
  ASSERT_EQ(frameNumbers.size(), 20u);
  for (size_t i = 0; i < frameNumbers.size(); ++i) EXPECT_EQ(frameNumbers[i], static_cast<int>(i) + 1);

  update = false;
  record = HookRecord();
  record.CustomHook = true;
  EXPECT_EQ(Convert(Dir->file("clip.nut"), record, "unchanged"), plain);

  // Asked for by the task but with no handler on the component: the pictures
  // stay as decoded, not converted to the bitmap and back.
  component.OnCustomHook = nullptr;
  record = HookRecord();
  record.CustomHook = true;
  EXPECT_EQ(Convert(Dir->file("clip.nut"), record, "nohandler"), plain);
}

TEST_F(FrameHooks, StoppingOnTheFirstPictureKeepsItsPaintAndEndsHooksAndModules) {
  int calls = 0;
  component.OnCustomHook = [&](int, TBitmap& bitmap, int, int64_t, bool&, bool& AStop) {
    ++calls;
    PaintRed(bitmap);
    AStop = true;
  };
  TOutputOptions record = HookRecord();
  record.CustomHook = true;
  record.ExtOptions = "vhook=" + kGreyModule;  // idle while the custom hook is attached, and after it
  const auto pictures = Convert(Dir->file("clip.nut"), record, "stopped");
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(pictures.size(), 20u);
  EXPECT_TRUE(IsRed(pictures[0]));
  for (size_t i = 1; i < pictures.size(); ++i) {
    EXPECT_FALSE(IsRed(pictures[i])) << i;
    EXPECT_FALSE(IsGrey(pictures[i])) << i;
  }
}

TEST_F(FrameHooks, RaisingHandlerIsLoggedAndLeavesThePicture) {
  const auto plain = Convert(Dir->file("clip.nut"), "plain");
  int calls = 0;
  component.OnCustomHook = [&](int, TBitmap& bitmap, int, int64_t, bool&, bool&) {
    ++calls;
    PaintRed(bitmap);
    throw std::runtime_error("no brush");
  };
  TOutputOptions record = HookRecord();
  record.CustomHook = true;
  EXPECT_EQ(Convert(Dir->file("clip.nut"), record, "raised"), plain);
  EXPECT_EQ(calls, 20);
  EXPECT_TRUE(Logged("Error occurs OnCustomHook: no brush"));
}

TEST_F(FrameHooks, ModulesActInsideTheTimeRangesOnly) {
  TOutputOptions record = HookRecord();
  record.HookTimeRanges = "10000-12000, 0-2000";
  record.ExtOptions = "vhook=" + kGreyModule;
  const auto pictures = Convert(Dir->file("long.nut"), record, "ranges");
  ASSERT_EQ(pictures.size(), 70u);  // 5 fps: picture i is at i * 0.2 s
  for (size_t i = 0; i < pictures.size(); ++i) {
    const bool inside = i <= 10 || (i >= 50 && i <= 60);
    EXPECT_EQ(IsGrey(pictures[i]), inside) << "picture " << i;
  }
}

TEST_F(FrameHooks, BeforeHookThatKeepsTheActionRunsModulesOnEveryPicture) {
  int calls = 0;
  component.OnBeforeHook = [&](int, int64_t, THookAction&) { ++calls; };
  TOutputOptions record = HookRecord();
  record.BeforeHook = true;
  record.ExtOptions = "vhook=" + kGreyModule;
  auto pictures = Convert(Dir->file("clip.nut"), record, "before");
  EXPECT_EQ(calls, 20);
  ASSERT_EQ(pictures.size(), 20u);
  for (const auto& picture : pictures) EXPECT_TRUE(IsGrey(picture));

  // Without modules there is nothing to decide.
  calls = 0;
  record = HookRecord();
  record.BeforeHook = true;
  pictures = Convert(Dir->file("clip.nut"), record, "before-nomodules");
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(pictures.size(), 20u);
  EXPECT_FALSE(IsGrey(pictures[0]));
}

TEST_F(FrameHooks, TimestampModuleDrawsTheTimeInABoxAtTheGivenPlace) {
  const auto plain = Convert(Dir->file("clip.nut"), "plain");
  TOutputOptions record = HookRecord();
  record.ExtOptions = "vhook=" + kTimestampModule + " 4 6";
  const auto stamped = Convert(Dir->file("clip.nut"), record, "stamped");
  ASSERT_EQ(stamped.size(), 20u);
  // "HH:MM:SS.mmm" in 3x5 dots with 2 dots of white round it: 51 x 9 pixels
  // from (4, 6).
  const auto whiteAt = [](const TPicture& p, int x, int y) {
    return Pixel(p, x, y)[0] > 200 && Pixel(p, x, y)[2] > 200;
  };
  const auto blackAt = [](const TPicture& p, int x, int y) { return Pixel(p, x, y)[0] < 50 && Pixel(p, x, y)[2] < 50; };
  for (const auto& p : stamped) {
    for (int x = 4; x < 55; ++x) EXPECT_TRUE(whiteAt(p, x, 6) && whiteAt(p, x, 14)) << x;
    EXPECT_TRUE(blackAt(p, 6, 8));  // the first "0": its top-left dot
  }
  // 00:00:00.000 and 00:00:01.000 differ in the seconds' last digit (dots
  // 28..30 of the text): on its middle row a "0" has the middle dot clear, a
  // "1" has it set.
  EXPECT_TRUE(whiteAt(stamped[0], 6 + 29, 8 + 2));
  EXPECT_TRUE(blackAt(stamped[10], 6 + 29, 8 + 2));
  // Outside the box the picture is the source's.
  for (int y = 18; y < kHeight; ++y)
    EXPECT_TRUE(std::equal(Pixel(stamped[3], 0, y), Pixel(stamped[3], kWidth, y), Pixel(plain[3], 0, y))) << y;
}

// The engine on its own: a hook format equal to the decoded one needs no
// conversion, one the scaler cannot reach ends the hook; a layout the
// bitmap cannot hold is refused.
class HookEngine : public TCustomFFmpeg {
 public:
  bool Converted() const { return FToRGB || FFromRGB; }
};

TEST_F(FrameHooks, HookFormatOfTheDecodedPictureIsUsedAsItIs) {
  ASSERT_TRUE(test::MakeMedia(Dir->file("bgr.nut"),
                              "-f lavfi -i testsrc=size=64x48:rate=10:duration=0.5 -c:v rawvideo -pix_fmt bgr24"));
  HookEngine engine;
  engine.Reset();
  EXPECT_FALSE(engine.SetHookPixelFormat(AV_PIX_FMT_YUV420P));
  EXPECT_FALSE(engine.SetHookPixelFormat(AV_PIX_FMT_MONOBLACK));
  EXPECT_EQ(engine.HookPixelFormat(), AV_PIX_FMT_BGR24);
  ASSERT_TRUE(engine.AddInputFile(Dir->file("bgr.nut")));
  engine.ApplyOption("vcodec", "rawvideo");
  engine.ApplyOption("pix_fmt", "bgr24");
  ASSERT_TRUE(engine.AddOutputFile(Dir->file("bgr-out.nut")));
  int calls = 0;
  bool converted = true;
  engine.OnCustomHook = [&](TCustomFFmpeg& e, TBitmap& bitmap, int, int64_t, bool&, bool&) {
    ++calls;
    converted = static_cast<HookEngine&>(e).Converted();
    bitmap.ScanLine(0)[0] = 1, bitmap.ScanLine(0)[1] = 2, bitmap.ScanLine(0)[2] = 3;
  };
  engine.StartRun(false);
  EXPECT_FALSE(engine.ExceptionRaised()) << engine.TerminateMessage();
  EXPECT_EQ(calls, 5);
  EXPECT_FALSE(converted);
  const auto pictures = DecodeAll(Dir->file("bgr-out.nut"));
  ASSERT_EQ(pictures.size(), 5u);
  EXPECT_EQ(std::vector<int>(Pixel(pictures[4], 0, 0), Pixel(pictures[4], 1, 0)), (std::vector<int>{3, 2, 1}));
}

TEST_F(FrameHooks, HookFormatWithoutAConversionDetachesTheHook) {
  // The scaler converts neither to nor from this layout.
  HookEngine engine;
  engine.Reset();
  ASSERT_TRUE(engine.SetHookPixelFormat(AV_PIX_FMT_X2RGB10BE));
  std::vector<std::string> lines;
  engine.OnLog = [&](TCustomFFmpeg&, int, const std::string& text) { lines.push_back(text); };
  ASSERT_TRUE(engine.AddInputFile(Dir->file("clip.nut")));
  engine.ApplyOption("vcodec", "rawvideo");
  ASSERT_TRUE(engine.AddOutputFile(Dir->file("x2rgb.nut")));
  int calls = 0;
  engine.OnCustomHook = [&](TCustomFFmpeg&, TBitmap&, int, int64_t, bool&, bool&) { ++calls; };
  engine.StartRun(false);
  EXPECT_FALSE(engine.ExceptionRaised()) << engine.TerminateMessage();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Cannot initialize the toRGB conversion context"), 1);
  EXPECT_FALSE(engine.OnCustomHook);
  EXPECT_EQ(DecodeAll(Dir->file("x2rgb.nut")), Convert(Dir->file("clip.nut"), "plain"));
}

}  // namespace
}  // namespace fennick
