// Routing of the codec libraries' log output: prefix, partial lines per
// thread, the line buffer limit, level threshold and mapping, registry.
#include "component/log_routing.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "component/FFmpegVCL.h"
#include "engine/FFmpeg.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

// A logging context of our own: its first member is the class description.
const char* FakeItemName(void*) { return "fake"; }
const AVClass kFakeClass = [] {
  AVClass c{};
  c.class_name = "FakeClass";
  c.item_name = &FakeItemName;
  c.version = LIBAVUTIL_VERSION_INT;
  return c;
}();
struct FakeContext {
  const AVClass* Class = &kFakeClass;
};

std::string FakePrefix() {
  char address[32];
  std::snprintf(address, sizeof address, "%08" PRIXPTR, reinterpret_cast<uintptr_t>(&kFakeClass));
  return std::string("[fake @ ") + address + "]";
}

struct LogLine {
  int index;
  TLogLevel level;
  std::string text;
};

// A component that records every log line it is given.
class LogRecorder {
 public:
  LogRecorder() {
    component.OnLog = [this](int index, TLogLevel level, const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex);
      lines.push_back({index, level, text});
    };
  }
  std::vector<LogLine> Lines() {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    lines.clear();
  }
  TFFmpegVCL component;

 private:
  std::mutex mutex;
  std::vector<LogLine> lines;
};

class LogRouting : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireLibraries();
    ASSERT_TRUE(recorder.component.LoadCodecLibraries("", true)) << recorder.component.LastError();
    recorder.component.SetLogLevel(TLogLevel::llInfo);
    LogBuffers().Clear();
  }
  LogRecorder recorder;
  FakeContext context;
};

TEST(LogLevelMapping, EngineLevelPlusOneClamped) {
  const std::pair<int, TLogLevel> cases[] = {
      {-8, TLogLevel::llQuiet}, {-1, TLogLevel::llQuiet}, {0, TLogLevel::llError}, {1, TLogLevel::llInfo},
      {2, TLogLevel::llDebug},  {3, TLogLevel::llAll},    {4, TLogLevel::llAll},   {40, TLogLevel::llAll},
  };
  for (const auto& [level, expected] : cases) EXPECT_EQ(MapLogLevel(level), expected) << level;
}

TEST(LogLevelMapping, EngineAndLibraryScalesMeet) {
  EXPECT_EQ(LibraryLogLevel(-1), AV_LOG_QUIET);
  EXPECT_EQ(LibraryLogLevel(0), AV_LOG_ERROR);
  EXPECT_EQ(LibraryLogLevel(1), AV_LOG_INFO);
  EXPECT_EQ(LibraryLogLevel(2), AV_LOG_DEBUG);
  for (int level : {AV_LOG_PANIC, AV_LOG_FATAL, AV_LOG_ERROR}) EXPECT_EQ(EngineLogLevel(level), 0);
  for (int level : {AV_LOG_WARNING, AV_LOG_INFO}) EXPECT_EQ(EngineLogLevel(level), 1);
  for (int level : {AV_LOG_VERBOSE, AV_LOG_DEBUG}) EXPECT_EQ(EngineLogLevel(level), 2);
  EXPECT_EQ(EngineLogLevel(AV_LOG_TRACE), 3);
}

TEST_F(LogRouting, LinesCarryTheContextPrefixAndJoinPartialMessages) {
  AVL.av_log(&context, AV_LOG_INFO, "first %d\n", 1);
  AVL.av_log(&context, AV_LOG_INFO, "second ");
  AVL.av_log(&context, AV_LOG_INFO, "part %s\nthird", "two");
  AVL.av_log(nullptr, AV_LOG_INFO, " ends\n");
  AVL.av_log(nullptr, AV_LOG_INFO, "no context\n");
  const auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].text, FakePrefix() + "first 1");
  EXPECT_EQ(lines[1].text, FakePrefix() + "second part two");
  EXPECT_EQ(lines[2].text, "third ends");
  EXPECT_EQ(lines[3].text, "no context");
  for (const auto& line : lines) {
    EXPECT_EQ(line.index, -1);  // no task runs on this thread
    EXPECT_EQ(line.level, TLogLevel::llInfo);
  }
}

TEST_F(LogRouting, ThresholdFollowsTheLogLevelAndLevelsAreMapped) {
  AVL.av_log(&context, AV_LOG_ERROR, "error\n");
  AVL.av_log(&context, AV_LOG_WARNING, "warning\n");
  AVL.av_log(&context, AV_LOG_DEBUG, "debug\n");
  AVL.av_log(&context, AV_LOG_ERROR | (5 << 8), "coloured\n");  // a colour in the upper bits
  auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].level, TLogLevel::llError);
  EXPECT_EQ(lines[1].level, TLogLevel::llInfo);
  EXPECT_EQ(lines[2].level, TLogLevel::llError);
  EXPECT_EQ(LogThreshold(), AV_LOG_INFO);

  recorder.Clear();
  recorder.component.SetLogLevel(TLogLevel::llError);
  EXPECT_EQ(AVL.av_log_get_level(), AV_LOG_ERROR);
  EXPECT_EQ(LogThreshold(), AV_LOG_ERROR);
  AVL.av_log(&context, AV_LOG_WARNING, "dropped\n");
  AVL.av_log(&context, AV_LOG_ERROR, "kept\n");
  recorder.component.SetLogLevel(TLogLevel::llDebug);
  AVL.av_log(&context, AV_LOG_DEBUG, "debug\n");
  recorder.component.SetLogLevel(TLogLevel::llQuiet);
  AVL.av_log(&context, AV_LOG_PANIC, "quiet\n");
  lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, FakePrefix() + "kept");
  EXPECT_EQ(lines[1].level, TLogLevel::llDebug);
  recorder.component.SetLogLevel(TLogLevel::llInfo);
}

TEST_F(LogRouting, ThresholdFollowsATaskOptionThatRaisesTheVerbosity) {
  TInputOptions options;
  options.ExtOptions = "v=2";  // the libraries' debug level
  recorder.component.AddInputTask("/no/such/folder/clip.avi", &options);
  EXPECT_EQ(LogThreshold(), AV_LOG_DEBUG);
  recorder.Clear();
  AVL.av_log(&context, AV_LOG_DEBUG, "debug\n");
  const auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, TLogLevel::llDebug);
  recorder.component.SetLogLevel(TLogLevel::llInfo);
}

TEST_F(LogRouting, LongMessagesAreCutAtTheBufferEnd) {
  const std::string huge(5000, 'x');
  AVL.av_log(&context, AV_LOG_INFO, "%s tail\n", huge.c_str());
  AVL.av_log(&context, AV_LOG_INFO, "next\n");
  const auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text.size(), kLogLineBufferSize - 1);
  EXPECT_EQ(lines[0].text.rfind(FakePrefix(), 0), 0u);
  EXPECT_EQ(lines[0].text.find_first_not_of('x', FakePrefix().size()), std::string::npos);
  EXPECT_EQ(lines[1].text, FakePrefix() + "next");  // nothing of the cut line is left pending
}

std::string Build(const std::string& pending, void* context, const char* format, bool& cut, ...) {
  va_list args;
  va_start(args, cut);
  std::string text = BuildLogText(pending, context, format, args, cut);
  va_end(args);
  return text;
}

TEST_F(LogRouting, PendingTextFillingTheBufferLeavesNoRoomAndNoOverrun) {
  bool cut = false;
  EXPECT_EQ(Build(std::string(3000, 'p'), &context, "%s", cut, "more"), std::string(kLogLineBufferSize - 1, 'p'));
  EXPECT_TRUE(cut);
  EXPECT_EQ(Build("", &context, "%d", cut, 7), FakePrefix() + "7");
  EXPECT_FALSE(cut);
}

TEST_F(LogRouting, LinesOfConcurrentThreadsAreNeverMixed) {
  constexpr int kThreads = 4, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kLines; ++i) {
        // Each line in three pieces, so other threads interleave between them.
        AVL.av_log(&context, AV_LOG_INFO, "thread%d ", t);
        AVL.av_log(nullptr, AV_LOG_INFO, "line%d ", i);
        AVL.av_log(nullptr, AV_LOG_INFO, "thread%d\n", t);
      }
    });
  }
  for (auto& th : threads) th.join();
  const auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const auto& line : lines) {
    int t1 = -1, i = -1, t2 = -2;
    const std::string body = line.text.substr(FakePrefix().size());
    ASSERT_EQ(std::sscanf(body.c_str(), "thread%d line%d thread%d", &t1, &i, &t2), 3) << line.text;
    ASSERT_EQ(t1, t2) << line.text;
    ASSERT_GE(t1, 0);
    ASSERT_LT(t1, kThreads);
    EXPECT_EQ(i, next[t1]++) << "lines of one thread keep their order";
  }
}

TEST_F(LogRouting, EveryRegisteredComponentGetsTheLineUntilItIsDestroyed) {
  const size_t before = RegisteredComponentCount();
  {
    LogRecorder second;
    EXPECT_EQ(RegisteredComponentCount(), before + 1);
    AVL.av_log(&context, AV_LOG_INFO, "both\n");
    ASSERT_EQ(second.Lines().size(), 1u);
  }
  EXPECT_EQ(RegisteredComponentCount(), before);
  AVL.av_log(&context, AV_LOG_INFO, "one\n");
  EXPECT_EQ(recorder.Lines().size(), 2u);
}

TEST(LogList, OneItemInPlaceOthersChainedAndClearedTogether) {
  TLogList list;
  {
    std::lock_guard<std::mutex> lock(list.Lock());
    list.ItemFor(11).Pending = "a";
    list.ItemFor(22).Pending = "b";
    list.ItemFor(33).Pending = "c";
    EXPECT_EQ(list.ItemFor(11).Pending, "a");
    EXPECT_EQ(list.ItemFor(22).Pending, "b");
    EXPECT_EQ(list.ItemFor(33).Pending, "c");
  }
  EXPECT_EQ(list.ItemCount(), 3u);
  list.Clear();
  EXPECT_EQ(list.ItemCount(), 0u);
  std::lock_guard<std::mutex> lock(list.Lock());
  EXPECT_EQ(list.ItemFor(22).Pending, "");
}

}  // namespace
}  // namespace fennick
