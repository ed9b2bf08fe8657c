// The component running real conversions: concurrency, the all-done call,
// stop, removal and renumbering, log routing per task, progress spacing,
// pause and resume, tasks on the main thread, destruction while running.
#include <gtest/gtest.h>

#include <memory>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "component/FFmpegVCL.h"
#include "engine/FFmpeg.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Event {
  enum Kind { Log, Progress, Terminate } kind;
  int index = 0;
  pid_t thread = 0;
  Clock::time_point at;
  bool finished = false, exception = false;
  std::string text;
  TLogLevel level = TLogLevel::llQuiet;
  int totalDuration = 0;
  int frameNumber = 0;
};

// Records what a component raises, from whatever thread.
class Recorder {
 public:
  explicit Recorder(TFFmpegVCL& component, bool logs = false) {
    if (logs)
      component.OnLog = [this](int index, TLogLevel level, const std::string& text) {
        Event e{Event::Log};
        e.index = index;
        e.level = level;
        e.text = text;
        Add(std::move(e));
      };
    component.OnProgress = [this](int index, int frameNumber, int, int, float, float, int64_t, int total) {
      Event e{Event::Progress};
      e.index = index;
      e.frameNumber = frameNumber;
      e.totalDuration = total;
      Add(std::move(e));
    };
    component.OnTerminate = [this](int index, bool finished, bool exception, const std::string& message) {
      Event e{Event::Terminate};
      e.index = index;
      e.finished = finished;
      e.exception = exception;
      e.text = message;
      if (BeforeTerminate) BeforeTerminate(index);
      Add(std::move(e));
    };
  }
  std::function<void(int index)> BeforeTerminate;  // runs inside OnTerminate

  bool WaitFor(const std::function<bool(const std::vector<Event>&)>& done, std::chrono::seconds timeout = 60s) {
    std::unique_lock<std::mutex> lock(FLock);
    return FCond.wait_for(lock, timeout, [&] { return done(FEvents); });
  }
  bool WaitAllDone(std::chrono::seconds timeout = 60s) {
    return WaitFor([](const auto& events) { return AllDoneCount(events) > 0; }, timeout);
  }
  std::vector<Event> Events() {
    std::lock_guard<std::mutex> lock(FLock);
    return FEvents;
  }
  static int AllDoneCount(const std::vector<Event>& events) {
    return static_cast<int>(std::count_if(events.begin(), events.end(),
                                          [](const Event& e) { return e.kind == Event::Terminate && e.index == -1; }));
  }

 private:
  void Add(Event e) {
    e.thread = gettid();
    e.at = Clock::now();
    // Notified under the lock: a waiter may destroy the recorder as soon as
    // it sees the event.
    std::lock_guard<std::mutex> lock(FLock);
    FEvents.push_back(std::move(e));
    FCond.notify_all();
  }
  std::mutex FLock;
  std::condition_variable FCond;
  std::vector<Event> FEvents;
};

std::vector<Event> Of(const std::vector<Event>& events, Event::Kind kind, int index) {
  std::vector<Event> out;
  for (const auto& e : events)
    if (e.kind == kind && e.index == index) out.push_back(e);
  return out;
}

// Position of the first/last event of a task (any kind) in the record.
std::pair<size_t, size_t> Span(const std::vector<Event>& events, int index) {
  size_t first = events.size(), last = 0;
  for (size_t i = 0; i < events.size(); ++i)
    if (events[i].index == index) {
      first = std::min(first, i);
      last = i;
    }
  return {first, last};
}

// The component with its shutdown in reach: once that returns, no event can
// arrive any more, so what was recorded is all there is.
class TComponent : public TFFmpegVCL {
 public:
  using TCustomFFmpegVCL::Shutdown;
};

class ComponentTasks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::RequireLibraries();
    sources = std::make_unique<test::TempDir>();
    for (int ms : {600, 800, 1000, 1600}) {
      test::ClipSpec spec;
      spec.seconds = ms / 1000.0;
      spec.width = 160;
      spec.height = 120;
      const std::string path = sources->file("clip" + std::to_string(ms) + ".avi");
      ASSERT_TRUE(test::MakeClip(path, spec));
      clips[ms] = path;
    }
  }
  static void TearDownTestSuite() {
    sources.reset();
  }

  void SetUp() override {
    test::RequireLibraries();
    ASSERT_TRUE(component.LoadCodecLibraries("", true)) << component.LastError();
  }

  // Adds a task converting `clip` to out<n>.avi; `realTime` reads the input
  // at its own pace so the task runs about as long as the clip lasts.
  int AddTask(int clipMs, bool realTime = true, TFFmpegVCL* target = nullptr) {
    TFFmpegVCL& c = target ? *target : component;
    TInputOptions input;
    InitInputOptions(input);
    if (realTime) input.ExtOptions = "re=1";
    const int index = c.AddInputTask(clips.at(clipMs), &input);
    EXPECT_GE(index, 0) << c.LastError();
    if (index < 0) return index;
    TOutputOptions output;
    InitOutputOptions(output);
    output.VideoCodec = "mpeg4";
    output.AudioCodec = "mp2";
    const std::string out = outputs.file("out" + std::to_string(outputCount++) + ".avi");
    EXPECT_TRUE(c.AddTaskOutput(index, out, &output)) << c.LastError();
    files.push_back(out);
    return index;
  }

  static bool Playable(const std::string& path) {
    const auto probe = test::ProbeFile(path);
    return !probe.empty() && test::FindStream(probe, "video") >= 0 && test::CountFrames(path, "video") > 0;
  }

  static std::unique_ptr<test::TempDir> sources;
  static std::map<int, std::string> clips;
  test::TempDir outputs;
  std::vector<std::string> files;
  int outputCount = 0;
  TComponent component;
};

std::unique_ptr<test::TempDir> ComponentTasks::sources;
std::map<int, std::string> ComponentTasks::clips;

// ---- failures reported through LastError

TEST_F(ComponentTasks, AddFailuresGoToLastErrorWithoutThrowing) {
  const std::string missing = outputs.file("missing.avi");
  int index = 0;
  EXPECT_NO_THROW(index = component.AddInputTask(missing));
  EXPECT_EQ(index, -1);
  EXPECT_EQ(component.LastError(), missing + ": no such file or directory");
  EXPECT_EQ(component.TaskCount(), 0);

  TInputOptions input;
  InitInputOptions(input);
  input.FileFormat = "no_such_format";
  EXPECT_EQ(component.AddInputTask(clips[600], &input), -1);
  EXPECT_EQ(component.LastError(), "Unknown input format: no_such_format");
  EXPECT_EQ(input.FileName, clips[600]);  // filled in, as the record rule says

  index = component.AddInputTask(clips[600]);
  ASSERT_EQ(index, 0) << component.LastError();
  TOutputOptions output;
  InitOutputOptions(output);
  output.VideoCodec = "no_such_encoder";
  bool added = true;
  EXPECT_NO_THROW(added = component.AddTaskOutput(index, outputs.file("a.avi"), &output));
  EXPECT_FALSE(added);
  EXPECT_NE(component.LastError().find("Unknown encoder 'no_such_encoder'"), std::string::npos)
      << component.LastError();
  output.VideoCodec = "mpeg4";
  output.VideoTag = "abc";
  EXPECT_FALSE(component.AddTaskOutput(index, outputs.file("b.avi"), &output));
  EXPECT_EQ(component.LastError(), "video tag parameter must be 4 chars");
  EXPECT_EQ(component.TaskCount(), 1);  // the task stays, without those outputs

  component.RemoveAllTasks();
  EXPECT_EQ(component.LastError(), "");
  EXPECT_EQ(component.TaskCount(), 0);
}

TEST_F(ComponentTasks, TaskWithoutOutputEndsWithTheRefusalAndTheAllDoneCall) {
  Recorder rec(component, true);
  ASSERT_EQ(component.AddInputTask(clips[600]), 0);
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitAllDone());
  const auto events = rec.Events();
  const auto terminates = Of(events, Event::Terminate, 0);
  ASSERT_EQ(terminates.size(), 1u);
  EXPECT_FALSE(terminates[0].finished);
  EXPECT_TRUE(terminates[0].exception);
  EXPECT_EQ(terminates[0].text, "Must supply at least one output file");
  const auto logs = Of(events, Event::Log, 0);
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs.back().text, "Must supply at least one output file");
  EXPECT_EQ(logs.back().level, TLogLevel::llQuiet);  // engine errors have level -1
  EXPECT_EQ(events.back().kind, Event::Terminate);
  EXPECT_EQ(events.back().index, -1);
  EXPECT_TRUE(events.back().finished);
}

// ---- the terminate contract, whatever the run's outcome

// Every task's OnTerminate exactly once, then one call with -1, last.
void ExpectTerminateContract(const std::vector<Event>& events, int tasks) {
  std::vector<int> seen(tasks, 0);
  for (const auto& e : events)
    if (e.kind == Event::Terminate && e.index >= 0) {
      ASSERT_LT(e.index, tasks);
      ++seen[e.index];
    }
  for (int i = 0; i < tasks; ++i) EXPECT_EQ(seen[i], 1) << "task " << i;
  EXPECT_EQ(Recorder::AllDoneCount(events), 1);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, Event::Terminate);
  EXPECT_EQ(events.back().index, -1);
  EXPECT_TRUE(events.back().finished);
}

class TerminateContract : public ComponentTasks, public ::testing::WithParamInterface<int> {};

TEST_P(TerminateContract, EveryTaskEndsOnceThenTheAllDoneCall) {
  const int concurrency = GetParam();
  TSimpleMainThreadScheduler scheduler;
  component.SetMainThreadScheduler(scheduler);
  Recorder rec(component);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(AddTask(600, false), i);
  component.StartTasks(concurrency);
  ASSERT_TRUE(scheduler.RunUntil([&] { return Recorder::AllDoneCount(rec.Events()) > 0; }, 60s));
  EXPECT_EQ(scheduler.Pending(), 0u) << "nothing more is due on the main thread";
  component.Shutdown();
  const auto events = rec.Events();
  ExpectTerminateContract(events, 4);
  for (const auto& e : events) {
    if (concurrency > 0)
      EXPECT_NE(e.thread, gettid());
    else
      EXPECT_EQ(e.thread, gettid());
  }
}

// 0, 1 and 2 have tests of their own below; -1 runs on the main thread as 0
// does, and 5 has more places than tasks.
INSTANTIATE_TEST_SUITE_P(Concurrency, TerminateContract, ::testing::Values(-1, 5));

TEST_F(ComponentTasks, StopAtAnyMomentStillEndsEveryTaskOnce) {
  for (int delayMs : {0, 1, 3, 10, 30, 100}) {
    TComponent local;
    Recorder rec(local);
    local.SetProgressInterval(100);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(AddTask(600, true, &local), i);
    local.StartTasks(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    local.StopTasks();
    ASSERT_TRUE(rec.WaitAllDone()) << delayMs;
    local.Shutdown();
    ExpectTerminateContract(rec.Events(), 3);
  }
}

// ---- concurrency

TEST_F(ComponentTasks, ConcurrencyOneRunsTasksOneAfterAnotherEachOnItsOwnThread) {
  Recorder rec(component);
  component.SetProgressInterval(100);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(AddTask(600), i);
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitAllDone());
  component.Shutdown();  // nothing may follow the -1 call
  const auto events = rec.Events();

  std::set<pid_t> threads;
  for (int i = 0; i < 3; ++i) {
    const auto terminates = Of(events, Event::Terminate, i);
    ASSERT_EQ(terminates.size(), 1u) << i;
    EXPECT_TRUE(terminates[0].finished);
    EXPECT_FALSE(terminates[0].exception) << terminates[0].text;
    std::set<pid_t> own;
    for (const auto& e : events)
      if (e.index == i) own.insert(e.thread);
    EXPECT_EQ(own.size(), 1u) << "task " << i << " runs on one thread";
    EXPECT_EQ(own.count(gettid()), 0u);
    threads.insert(own.begin(), own.end());
    ASSERT_FALSE(Of(events, Event::Progress, i).empty());
    if (i > 0) {
      // Everything of task i comes after the end of task i - 1.
      EXPECT_GT(Span(events, i).first, Span(events, i - 1).second);
    }
    EXPECT_TRUE(Playable(files[i]));
  }
  EXPECT_EQ(threads.size(), 3u);
  EXPECT_EQ(Recorder::AllDoneCount(events), 1);
  EXPECT_EQ(events.back().index, -1);
  EXPECT_TRUE(events.back().finished);
  EXPECT_FALSE(events.back().exception);
  EXPECT_EQ(events.back().text, "");
}

TEST_F(ComponentTasks, ConcurrencyTwoRunsTwoAtOnce) {
  Recorder rec(component);
  component.SetProgressInterval(100);
  ASSERT_EQ(AddTask(1000), 0);
  ASSERT_EQ(AddTask(1000), 1);
  ASSERT_EQ(AddTask(600), 2);
  component.StartTasks(2);
  ASSERT_TRUE(rec.WaitAllDone());
  component.Shutdown();
  const auto events = rec.Events();
  const auto span0 = Span(events, 0), span1 = Span(events, 1), span2 = Span(events, 2);
  // Tasks 0 and 1 overlap; task 2 starts only once one of them has ended.
  EXPECT_LT(span1.first, span0.second);
  EXPECT_LT(span0.first, span1.second);
  EXPECT_GT(span2.first, std::min(span0.second, span1.second));
  for (int i = 0; i < 3; ++i) {
    const auto terminates = Of(events, Event::Terminate, i);
    ASSERT_EQ(terminates.size(), 1u);
    EXPECT_TRUE(terminates[0].finished);
    EXPECT_TRUE(Playable(files[i]));
  }
  EXPECT_EQ(Recorder::AllDoneCount(events), 1);
  EXPECT_EQ(events.back().index, -1);
}

TEST_F(ComponentTasks, StartingAListThatHasRunDeliversNothing) {
  Recorder rec(component);
  ASSERT_EQ(AddTask(600, false), 0);
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitAllDone());
  const size_t before = rec.Events().size();
  component.StartTasks(1);
  component.StopTasks();
  component.Shutdown();
  EXPECT_EQ(rec.Events().size(), before);
}

TEST_F(ComponentTasks, AFailingRunEndsOnlyItsOwnTask) {
  Recorder rec(component, true);
  ASSERT_EQ(AddTask(600, false), 0);
  ASSERT_EQ(component.AddInputTask(clips[600]), 1);
  TOutputOptions refused;
  InitOutputOptions(refused);
  refused.VideoCodec = "mpeg4";
  refused.AudioCodec = "copy";
  refused.AudioVolume = 300;
  ASSERT_TRUE(component.AddTaskOutput(1, outputs.file("refused.avi"), &refused)) << component.LastError();
  ASSERT_EQ(AddTask(600, false), 2);
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitAllDone());
  const auto events = rec.Events();
  ExpectTerminateContract(events, 3);
  const std::string message = "-acodec copy and -vol are incompatible (frames are not decoded)";
  const auto failed = Of(events, Event::Terminate, 1);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_TRUE(failed[0].exception);
  EXPECT_FALSE(failed[0].finished);
  EXPECT_EQ(failed[0].text, message);
  const auto logs = Of(events, Event::Log, 1);
  EXPECT_TRUE(std::any_of(logs.begin(), logs.end(), [&](const Event& e) {
    return e.text == message && e.level == TLogLevel::llQuiet;
  }));
  for (int i : {0, 2}) {
    EXPECT_TRUE(Of(events, Event::Terminate, i)[0].finished);
    EXPECT_TRUE(Playable(files[i == 0 ? 0 : 1]));
  }
  EXPECT_FALSE(std::filesystem::exists(outputs.file("refused.avi")));
}

TEST_F(ComponentTasks, ThreadPriorityLowersTheWorkerThreads) {
  const int base = getpriority(PRIO_PROCESS, 0);
  const std::pair<TConvertPriority, int> cases[] = {
      {TConvertPriority::tpIdle, 19}, {TConvertPriority::tpLower, 5}, {TConvertPriority::tpNormal, 0}};
  for (const auto& [priority, nice] : cases) {
    TFFmpegVCL local;
    local.SetThreadPriority(priority);
    std::atomic<int> seen{-100};
    local.OnTerminate = [&](int index, bool, bool, const std::string&) {
      if (index == 0) seen = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    };
    ASSERT_EQ(AddTask(600, false, &local), 0);
    local.StartTasks(1);
    const auto deadline = Clock::now() + 30s;
    while (seen == -100 && Clock::now() < deadline) std::this_thread::sleep_for(2ms);
    // Steps below the process's own priority, never beyond 19.
    EXPECT_EQ(seen, std::min(19, base + nice)) << static_cast<int>(priority);
  }
}

TEST_F(ComponentTasks, ThreadCountReachesEachTaskAndOneIsTheDefault) {
  // The MPEG-4 encoder codes one slice per codec thread: the bytes show the
  // count a task used.
  const auto convert = [this](int threads) {  // -1: the component's default
    TComponent local;
    if (threads >= 0) local.SetThreadCount(threads);
    Recorder rec(local);
    EXPECT_EQ(AddTask(600, false, &local), 0);
    local.StartTasks(1);
    EXPECT_TRUE(rec.WaitAllDone());
    local.Shutdown();
    std::ifstream in(files.back(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(component.ThreadCount(), 1);
  const std::string byDefault = convert(-1);
  ASSERT_FALSE(byDefault.empty());
  EXPECT_EQ(convert(1), byDefault);
  EXPECT_NE(convert(3), byDefault);
}

// ---- stop

TEST_F(ComponentTasks, StopEndsTheRunningTaskAndTerminatesTheWaitingOnes) {
  Recorder rec(component);
  component.SetProgressInterval(100);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(AddTask(1600), i);
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitFor([](const auto& events) { return Of(events, Event::Progress, 0).size() >= 2; }));
  component.StopTasks();  // returns at once
  ASSERT_TRUE(rec.WaitAllDone());
  EXPECT_TRUE(component.TaskStarted(0));
  EXPECT_FALSE(component.TaskStarted(1)) << "ended by the stop before its turn";
  EXPECT_FALSE(component.TaskStarted(2));
  component.Shutdown();
  const auto events = rec.Events();

  std::set<pid_t> threads;
  for (int i = 0; i < 3; ++i) {
    const auto terminates = Of(events, Event::Terminate, i);
    ASSERT_EQ(terminates.size(), 1u) << i;
    EXPECT_FALSE(terminates[0].finished) << i;
    EXPECT_FALSE(terminates[0].exception) << terminates[0].text;
    EXPECT_NE(terminates[0].thread, gettid());
    threads.insert(terminates[0].thread);
  }
  EXPECT_EQ(threads.size(), 3u) << "each waiting task ends on a thread of its own";
  EXPECT_TRUE(Of(events, Event::Progress, 1).empty());
  EXPECT_TRUE(Of(events, Event::Progress, 2).empty());
  EXPECT_EQ(Of(events, Event::Terminate, 1)[0].text, "");
  EXPECT_EQ(Recorder::AllDoneCount(events), 1);
  EXPECT_EQ(events.back().index, -1);
  EXPECT_TRUE(events.back().finished);
  EXPECT_TRUE(Playable(files[0])) << "a stopped output is still a complete file";
  EXPECT_LT(test::CountFrames(files[0], "video"), 40);
  // Never-started outputs stayed empty and went with their tasks.
  EXPECT_FALSE(std::filesystem::exists(files[1]));
  EXPECT_FALSE(std::filesystem::exists(files[2]));
}

// ---- removal

TEST_F(ComponentTasks, RemovingTaskZeroInsideItsTerminateRenumbersTheOthers) {
  Recorder rec(component);
  component.SetProgressInterval(100);
  ASSERT_EQ(AddTask(600, false), 0);
  ASSERT_EQ(AddTask(800), 1);
  ASSERT_EQ(AddTask(1000), 2);
  bool removed = false;
  rec.BeforeTerminate = [&](int index) {
    if (index == 0 && !removed) {
      removed = true;
      component.RemoveTask(0);  // the task's own last reference goes here
    }
  };
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitAllDone());
  const auto events = rec.Events();
  std::vector<int> order;
  for (const auto& e : events)
    if (e.kind == Event::Terminate) order.push_back(e.index);
  EXPECT_EQ(order, (std::vector<int>{0, 0, 1, -1}));
  // The old task 1 now reports as 0, the old task 2 as 1.
  const auto progress0 = Of(events, Event::Progress, 0);
  const auto progress1 = Of(events, Event::Progress, 1);
  ASSERT_FALSE(progress0.empty());
  ASSERT_FALSE(progress1.empty());
  EXPECT_NEAR(progress0.back().totalDuration, 800, 80);
  EXPECT_NEAR(progress1.back().totalDuration, 1000, 80);
  EXPECT_EQ(component.TaskCount(), 2);
}

TEST_F(ComponentTasks, RemoveTaskBeforeStartRenumbers) {
  Recorder rec(component);
  component.SetProgressInterval(100);
  ASSERT_EQ(AddTask(600, false), 0);
  ASSERT_EQ(AddTask(800, false), 1);
  ASSERT_EQ(AddTask(1000, false), 2);
  component.RemoveTask(0);
  EXPECT_EQ(component.TaskCount(), 2);
  component.StartTasks(2);
  ASSERT_TRUE(rec.WaitAllDone());
  const auto events = rec.Events();
  ASSERT_EQ(Of(events, Event::Terminate, 0).size(), 1u);
  ASSERT_EQ(Of(events, Event::Terminate, 1).size(), 1u);
  EXPECT_TRUE(Of(events, Event::Terminate, 2).empty());
  EXPECT_NEAR(Of(events, Event::Progress, 0).back().totalDuration, 800, 80);
  EXPECT_NEAR(Of(events, Event::Progress, 1).back().totalDuration, 1000, 80);
  EXPECT_FALSE(std::filesystem::exists(files[0])) << "the removed task's empty output is deleted";
}

// The only waiting task removed while another runs: the running one ends
// and the batch still ends with the call with -1.
TEST_F(ComponentTasks, RemovingTheOnlyWaitingTaskStillEndsTheBatch) {
  Recorder rec(component);
  ASSERT_EQ(AddTask(1000), 0);
  ASSERT_EQ(AddTask(600, false), 1);
  component.StartTasks(1);
  component.RemoveTask(1);
  ASSERT_TRUE(rec.WaitAllDone());
  const auto events = rec.Events();
  std::vector<int> order;
  for (const auto& e : events)
    if (e.kind == Event::Terminate) order.push_back(e.index);
  EXPECT_EQ(order, (std::vector<int>{0, -1}));
  EXPECT_TRUE(Of(events, Event::Terminate, 0)[0].finished);
  EXPECT_EQ(component.TaskCount(), 1);
}

// ---- log routing with tasks

TEST_F(ComponentTasks, LogLinesOfTwoConvertingTasksAreNeverMixed) {
  component.SetLogLevel(TLogLevel::llDebug);
  Recorder rec(component, true);
  component.SetProgressInterval(100);
  ASSERT_EQ(AddTask(1000), 0);
  ASSERT_EQ(AddTask(1000), 1);
  // Each progress report also logs a line in pieces from the task's thread,
  // so that the two threads' partial lines interleave.
  auto progress = component.OnProgress;
  component.OnProgress = [&, progress](int index, int f, int fps, int d, float q, float b, int64_t s, int t) {
    progress(index, f, fps, d, q, b, s, t);
    for (int k = 0; k < 20; ++k) {
      AVL.av_log(nullptr, AV_LOG_INFO, "mark task=%d ", index);
      std::this_thread::yield();
      AVL.av_log(nullptr, AV_LOG_INFO, "piece=%d ", k);
      AVL.av_log(nullptr, AV_LOG_INFO, "end task=%d\n", index);
    }
  };
  component.StartTasks(2);
  ASSERT_TRUE(rec.WaitAllDone());
  component.SetLogLevel(TLogLevel::llInfo);
  const auto events = rec.Events();

  std::map<int, pid_t> taskThread;
  for (const auto& e : events)
    if (e.kind == Event::Progress) taskThread[e.index] = e.thread;
  ASSERT_EQ(taskThread.size(), 2u);
  ASSERT_NE(taskThread[0], taskThread[1]);
  int marks = 0, libraryLines = 0;
  for (const auto& e : events) {
    if (e.kind != Event::Log) continue;
    if (e.index >= 0) {
      // Its own threads: the run's, and the stage threads reading its input.
      EXPECT_NE(e.thread, taskThread[1 - e.index]) << "a task's lines never come from the other task's thread";
    }
    if (e.text.rfind("mark ", 0) == 0) {
      int t1 = -1, k = -1, t2 = -2;
      ASSERT_EQ(std::sscanf(e.text.c_str(), "mark task=%d piece=%d end task=%d", &t1, &k, &t2), 3) << e.text;
      EXPECT_EQ(t1, t2) << e.text;
      EXPECT_EQ(e.index, t1) << e.text;
      EXPECT_EQ(e.text.find("mark", 1), std::string::npos) << e.text;
      ++marks;
    } else if (e.text.rfind("[", 0) == 0 && e.index >= 0) {
      ++libraryLines;
      EXPECT_EQ(e.text.find("] [", 1), std::string::npos) << e.text;
    }
  }
  EXPECT_GT(marks, 40);
  EXPECT_GT(libraryLines, 0) << "the libraries' own lines reach the tasks too";
}

// ---- progress

TEST_F(ComponentTasks, ProgressComesNoMoreOftenThanTheInterval) {
  Recorder rec(component);
  component.SetProgressInterval(50);
  EXPECT_EQ(component.ProgressInterval(), 100);
  ASSERT_EQ(AddTask(1000), 0);
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitAllDone());
  const auto progress = Of(rec.Events(), Event::Progress, 0);
  ASSERT_GE(progress.size(), 4u);
  // All but the last report (which follows the trailer at once) are spaced
  // by at least the interval; a few ms of clock granularity allowed.
  for (size_t i = 1; i + 1 < progress.size(); ++i)
    EXPECT_GE(progress[i].at - progress[i - 1].at, 95ms) << "report " << i;
}

// ---- pause

TEST_F(ComponentTasks, PauseHoldsATaskWithoutBlockingOthersOrTheCaller) {
  Recorder rec(component, true);
  component.SetProgressInterval(100);
  ASSERT_EQ(AddTask(1000), 0);
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitFor([](const auto& events) { return !Of(events, Event::Progress, 0).empty(); }));
  component.PauseTasks();
  // A report under way may still arrive, none after it.
  const size_t pausedAt = Of(rec.Events(), Event::Progress, 0).size() + 1;

  // While it is paused: the component lock, CodecLock and the log routing
  // are free for the caller and for another component's task, which takes
  // longer than the held task had left to run.
  {
    std::unique_lock<TCodecLock> codec(CodecLock(), std::try_to_lock);
    EXPECT_TRUE(codec.owns_lock());
  }
  component.SetLogLevel(TLogLevel::llInfo);
  const int extra = component.AddInputTask(clips[600]);
  EXPECT_EQ(extra, 1) << component.LastError();
  component.RemoveTask(extra);
  TFFmpegVCL other;
  Recorder otherRec(other, true);
  ASSERT_EQ(AddTask(1600, true, &other), 0);
  other.StartTasks(1);
  ASSERT_TRUE(otherRec.WaitAllDone());
  EXPECT_TRUE(Of(otherRec.Events(), Event::Terminate, 0)[0].finished);
  EXPECT_TRUE(Playable(files.back()));
  auto events = rec.Events();
  EXPECT_LE(Of(events, Event::Progress, 0).size(), pausedAt) << "no progress while paused";
  EXPECT_TRUE(Of(events, Event::Terminate, 0).empty());

  component.ResumeTasks();
  ASSERT_TRUE(rec.WaitAllDone());
  events = rec.Events();
  EXPECT_GT(Of(events, Event::Progress, 0).size(), pausedAt);
  const auto terminates = Of(events, Event::Terminate, 0);
  ASSERT_EQ(terminates.size(), 1u);
  EXPECT_TRUE(terminates[0].finished);
  const int frames = test::CountFrames(files[0], "video");
  EXPECT_GE(frames, 23);  // 1 s at 25 frames per second
  EXPECT_LE(frames, 27);
}

TEST_F(ComponentTasks, StopEndsAPausedTask) {
  Recorder rec(component);
  component.SetProgressInterval(100);
  ASSERT_EQ(AddTask(1600), 0);
  // Paused on the task's own thread at its first report, before the report
  // is recorded: its next check holds it, and the stop below (which waits
  // for the component lock the report holds) comes after the pause.
  auto record = component.OnProgress;
  bool paused = false;
  component.OnProgress = [&, record](int index, int f, int fps, int d, float q, float b, int64_t s, int t) {
    if (!paused) {
      paused = true;
      component.PauseTasks();
    }
    record(index, f, fps, d, q, b, s, t);
  };
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitFor([](const auto& events) { return !Of(events, Event::Progress, 0).empty(); }));
  component.StopTasks();
  ASSERT_TRUE(rec.WaitAllDone(10s));
  const auto terminates = Of(rec.Events(), Event::Terminate, 0);
  ASSERT_EQ(terminates.size(), 1u);
  EXPECT_FALSE(terminates[0].finished);
  EXPECT_TRUE(Playable(files[0]));
}

// ---- tasks on the main thread

TEST_F(ComponentTasks, ConcurrencyZeroRunsTasksOnTheMainThreadFromTheScheduler) {
  TSimpleMainThreadScheduler scheduler;
  component.SetMainThreadScheduler(scheduler);
  Recorder rec(component);
  component.SetProgressInterval(100);
  ASSERT_EQ(AddTask(600, false), 0);
  ASSERT_EQ(AddTask(600, false), 1);
  const auto called = Clock::now();
  component.StartTasks(0);
  EXPECT_TRUE(rec.Events().empty()) << "nothing runs inside the call";
  component.PauseTasks();  // no effect on tasks of the main thread
  ASSERT_TRUE(scheduler.RunUntil([&] { return Recorder::AllDoneCount(rec.Events()) > 0; }, 60s));
  const auto events = rec.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_GE(events.front().at - called, 100ms);
  for (const auto& e : events) EXPECT_EQ(e.thread, gettid());
  ASSERT_EQ(Of(events, Event::Terminate, 0).size(), 1u);
  ASSERT_EQ(Of(events, Event::Terminate, 1).size(), 1u);
  EXPECT_TRUE(Of(events, Event::Terminate, 1)[0].finished);
  EXPECT_GT(Span(events, 1).first, Span(events, 0).second);
  EXPECT_EQ(events.back().index, -1);
  EXPECT_EQ(Recorder::AllDoneCount(events), 1);
  EXPECT_EQ(scheduler.Pending(), 0u);
}

TEST_F(ComponentTasks, StopBeforeTheMainThreadTimerFiresTerminatesEveryTask) {
  TSimpleMainThreadScheduler scheduler;
  component.SetMainThreadScheduler(scheduler);
  Recorder rec(component);
  ASSERT_EQ(AddTask(600, false), 0);
  ASSERT_EQ(AddTask(600, false), 1);
  component.StartTasks(0);
  component.StopTasks();
  EXPECT_EQ(scheduler.Pending(), 0u) << "the pending timer is cancelled";
  ASSERT_TRUE(rec.WaitAllDone());
  const auto events = rec.Events();
  EXPECT_EQ(Of(events, Event::Terminate, 0).size(), 1u);
  EXPECT_EQ(Of(events, Event::Terminate, 1).size(), 1u);
  EXPECT_EQ(events.back().index, -1);
  EXPECT_TRUE(Of(events, Event::Progress, 0).empty());
}

// ---- destruction

TEST_F(ComponentTasks, DestroyingTheComponentWhileTasksRunStopsThemFirst) {
  std::vector<int> ended;
  std::mutex endedLock;
  {
    auto doomed = std::make_unique<TFFmpegVCL>();
    ASSERT_TRUE(doomed->LoadCodecLibraries("", true));
    doomed->SetProgressInterval(100);
    std::atomic<int> progress{0};
    doomed->OnProgress = [&](int, int, int, int, float, float, int64_t, int) { ++progress; };
    doomed->OnTerminate = [&](int index, bool finished, bool, const std::string&) {
      std::lock_guard<std::mutex> lock(endedLock);
      ended.push_back(finished ? 100 + index : index);
    };
    ASSERT_EQ(AddTask(1600, true, doomed.get()), 0);
    ASSERT_EQ(AddTask(1600, true, doomed.get()), 1);
    ASSERT_EQ(AddTask(1600, true, doomed.get()), 2);
    doomed->StartTasks(2);
    const auto deadline = Clock::now() + 30s;
    while (progress < 2 && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
    doomed.reset();  // both running tasks are stopped; the third never starts
  }
  std::lock_guard<std::mutex> lock(endedLock);
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(ended, (std::vector<int>{0, 1})) << "the running tasks' ends arrive before the destructor returns";
  EXPECT_TRUE(Playable(files[0]));
  EXPECT_TRUE(Playable(files[1]));
}

TEST_F(ComponentTasks, RemovingARunningTaskStopsItQuietly) {
  Recorder rec(component);
  component.SetProgressInterval(100);
  ASSERT_EQ(AddTask(1600), 0);
  ASSERT_EQ(AddTask(600), 1);
  component.StartTasks(1);
  ASSERT_TRUE(rec.WaitFor([](const auto& events) { return !Of(events, Event::Progress, 0).empty(); }));
  component.RemoveTask(0);  // the old task 1 becomes 0 and takes the freed slot
  ASSERT_TRUE(rec.WaitAllDone());
  const auto events = rec.Events();
  std::vector<int> order;
  for (const auto& e : events)
    if (e.kind == Event::Terminate) order.push_back(e.index);
  EXPECT_EQ(order, (std::vector<int>{0, -1}));
  EXPECT_NEAR(Of(events, Event::Progress, 0).back().totalDuration, 600, 80);
  EXPECT_EQ(component.TaskCount(), 1);
}

// ---- handlers, locks and the batch

TEST_F(ComponentTasks, AnExceptionFromOnTerminateBecomesALogLine) {
  Recorder rec(component, true);
  rec.BeforeTerminate = [](int index) {
    if (index == 0) throw std::runtime_error("handler failed");
  };
  ASSERT_EQ(AddTask(600, false), 0);
  ASSERT_EQ(AddTask(600, false), 1);
  component.StartTasks(1);
  // The process lives on, the batch goes on with task 1 and ends as usual.
  ASSERT_TRUE(rec.WaitAllDone());
  const auto events = rec.Events();
  const auto logs = Of(events, Event::Log, 0);
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs.back().text, "Error occurs OnTerminate: handler failed");
  EXPECT_EQ(logs.back().level, TLogLevel::llError);
  ASSERT_EQ(Of(events, Event::Terminate, 1).size(), 1u);
  EXPECT_TRUE(Of(events, Event::Terminate, 1)[0].finished);
}

TEST_F(ComponentTasks, ALineLoggedUnderCodecLockDoesNotWaitForTheComponentLock) {
  // A terminate handler (holding the component lock) adds a task, which
  // takes CodecLock; meanwhile another thread holds CodecLock and logs, as
  // an encoder does while it is opened or closed.
  Recorder rec(component, true);
  std::atomic<bool> codecLockHeld{false};
  std::thread logger;
  int added = -2;
  rec.BeforeTerminate = [&](int index) {
    if (index != 0) return;
    logger = std::thread([&] {
      std::lock_guard codec(CodecLock());
      codecLockHeld = true;
      AVL.av_log(nullptr, AV_LOG_ERROR, "logged under CodecLock\n");
    });
    while (!codecLockHeld) std::this_thread::yield();
    added = component.AddInputTask(clips[600]);
  };
  ASSERT_EQ(AddTask(600, false), 0);
  component.StopTasks();  // never started: its terminate event comes from an auxiliary thread
  const bool delivered = rec.WaitFor(
      [](const auto& events) {
        return !Of(events, Event::Terminate, 0).empty() &&
               std::any_of(events.begin(), events.end(),
                           [](const Event& e) { return e.kind == Event::Log && e.text == "logged under CodecLock"; });
      },
      20s);
  if (!delivered) {
    // The two threads wait for each other for good: nothing can be cleaned up.
    std::fprintf(stderr, "deadlock between CodecLock and the component lock\n");
    std::_Exit(1);
  }
  logger.join();
  EXPECT_EQ(added, 1) << component.LastError();
  EXPECT_EQ(component.TaskCount(), 2);
}

TEST_F(ComponentTasks, AddTaskOutputRefusesATaskWaitingInARunningBatch) {
  Recorder rec(component);
  ASSERT_EQ(AddTask(600, false), 0);
  ASSERT_EQ(AddTask(600, false), 1);
  component.StartTasks(1);
  component.PauseTasks();  // task 0 holds at its first safe point, task 1 waits for its turn
  // Held while another component's task, longer than both, runs to its end.
  TFFmpegVCL other;
  Recorder otherRec(other);
  ASSERT_EQ(AddTask(1600, true, &other), 0);
  other.StartTasks(1);
  ASSERT_TRUE(otherRec.WaitAllDone());
  EXPECT_TRUE(rec.Events().empty()) << "task 0 reported while paused";
  EXPECT_FALSE(component.TaskStarted(1));
  const std::string extra = outputs.file("extra.avi");
  EXPECT_FALSE(component.AddTaskOutput(1, extra));
  EXPECT_EQ(component.LastError(), "Task 1 is waiting in a running batch");
  component.ResumeTasks();
  ASSERT_TRUE(rec.WaitAllDone());
  ExpectTerminateContract(rec.Events(), 2);
  EXPECT_TRUE(Playable(files[1]));
  EXPECT_FALSE(std::filesystem::exists(extra));
}

}  // namespace
}  // namespace fennick
