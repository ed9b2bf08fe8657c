// The layer under both front ends: the queue saved and loaded, and the
// conversion run converting a queue through the component, with the job
// statuses, counts and overall progress it reports.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "component/FFmpegVCL.h"
#include "jobs/conversion_run.h"
#include "jobs/event_queue.h"
#include "jobs/job_queue.h"
#include "profiles/output_formats.h"
#include "test_support.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(JobQueueFile, ASavedQueueLoadsEqual) {
  test::TempDir dir;
  TJobQueue queue;
  TQueuedJob a;
  a.Source = "/media/holiday \"2008\"\\clip.avi";
  a.Settings = TJobSettings{"AVI - Audio Video Interleave (*.avi)", {"MPEG4", "1200 Kbps", "", "", "", "", "", ""}, 2, 300};
  a.VideoSizeText = "720x576";
  a.DisplayAspect = 1.7778f;
  queue.Add(a);
  TQueuedJob b;
  b.Source = std::string("/media/caf\xe9.mp3");  // a Latin-1 name, no UTF-8
  b.Checked = false;
  b.Status = TJobStatus::Failed;
  b.Reason = "x: Unknown format";
  const TJobId removed = queue.Add(b);
  queue.Add(TQueuedJob{});
  queue.Remove(removed);
  queue.Add(b);
  queue.Move(queue.At(2).Id, 0);

  std::string error;
  ASSERT_TRUE(queue.Save(dir.file("queue.json"), error)) << error;
  const auto loaded = TJobQueue::Load(dir.file("queue.json"), error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(*loaded, queue);
  // New jobs never take an identity the queue has used.
  TJobQueue more = *loaded;
  EXPECT_GT(more.Add(TQueuedJob{}), removed + 2);
  // What was written is JSON to any reader.
  EXPECT_EQ(test::RunCommand("python3 -c 'import json,sys; json.load(open(sys.argv[1]))' " +
                             test::ShellQuote(dir.file("queue.json")))
                .exitCode,
            0);
}

TEST(JobQueueFile, ADamagedOrNewerFileIsRefusedAndLeftAsItIs) {
  test::TempDir dir;
  TJobQueue queue;
  TQueuedJob job;
  job.Source = "/media/a.avi";
  queue.Add(job);
  std::string error;
  ASSERT_TRUE(queue.Save(dir.file("queue.json"), error)) << error;
  const std::string saved = ReadText(dir.file("queue.json"));

  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      {"cut.json", saved.substr(0, saved.size() / 2), "damaged"},
      {"newer.json", std::string(saved).replace(saved.find("\"version\":1"), 11, "\"version\":7"), "newer version"},
      {"other.json", "{\"kind\":\"something else\",\"version\":1}", "not a saved queue"},
  };
  for (const auto& c : cases) {
    std::ofstream(dir.file(c.name), std::ios::binary) << c.text;
    const auto loaded = TJobQueue::Load(dir.file(c.name), error);
    EXPECT_FALSE(loaded) << c.name;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_EQ(ReadText(dir.file(c.name)), c.text) << c.name;
  }
}

// A run over generated sources, its events drained on this thread.
class RunTest : public ::testing::Test, protected IRunListener {
 protected:
  static void SetUpTestSuite() { test::RequireLibraries(); }
  void SetUp() override {
    ASSERT_TRUE(Component.LoadCodecLibraries("", true)) << Component.LastError();
    // No running reports: the tests say what progress a job has made.
    Component.SetProgressInterval(600000);
    test::ClipSpec spec;
    spec.width = 160;
    spec.height = 120;
    ASSERT_TRUE(test::MakeClip(Clip, spec));
    fs::create_directories(Out);
    Options.OutputFolder = Out;
    TProfileControls controls;
    FillOutputFormatList(controls.ComboOutputFormat);
    ASSERT_TRUE(ChooseOutputFormat(controls, "MP4 - MPEG4 Video (*.mp4)"));
    Options.Settings = SnapshotSettings(controls, 256);
  }
  void TearDown() override {
    if (!FifoWriter.empty()) test::RunCommand("kill " + FifoWriter + " 2>/dev/null");
  }

  TJobId Queue(const std::string& source, bool checked = true) {
    TQueuedJob job;
    job.Source = source;
    job.Checked = checked;
    return Jobs.Add(job);
  }
  // A source that sends a clip and then nothing more: its conversion runs
  // until stopped.
  std::string StallingSource() {
    // Long enough for the probe to see all it looks for before the pipe
    // stalls.
    const std::string clip = Dir.file("long.mp4");
    test::ClipSpec spec;
    spec.seconds = 8;
    spec.width = 160;
    spec.height = 120;
    EXPECT_TRUE(test::MakeClip(clip, spec));
    const std::string fifo = Dir.file("stalling.mpg");
    EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The writer lets go of the command's output before it waits for a
    // reader of the pipe.
    const std::string writer = "exec > " + test::ShellQuote(fifo) + "; ffmpeg -v error -i " + test::ShellQuote(clip) +
                               " -f mpeg -; exec sleep 60";
    const auto r = test::RunCommand("sh -c " + test::ShellQuote(writer) + " </dev/null >/dev/null 2>&1 & echo $!");
    FifoWriter = r.output.substr(0, r.output.find('\n'));
    return fifo;
  }
  void Drain(TConversionRun& run) {
    for (auto deadline = std::chrono::steady_clock::now() + test::kConversionCap;
         run.Active() && std::chrono::steady_clock::now() < deadline;)
      Events.RunPending(20ms);
    EXPECT_FALSE(run.Active()) << "the run did not end";
  }

  void JobEnded(const TQueuedJob& job, bool, bool) override {
    Ended.push_back(job.Id);
    PercentAtEnd[job.Id] = Run->OverallPercent();
  }
  void RunEnded() override { ++RunEnds; }

  test::TempDir Dir;
  const std::string Clip = Dir.file("clip.mp4");
  const std::string Out = Dir.file("out");
  TEventQueue Events;
  TFFmpegVCL Component;
  TJobQueue Jobs;
  TRunOptions Options;
  TConversionRun* Run = nullptr;
  std::vector<TJobId> Ended;
  std::map<TJobId, int> PercentAtEnd;
  int RunEnds = 0;
  std::string FifoWriter;
};

TEST_F(RunTest, StatusesCountsAndOverallProgressOfARun) {
  const TJobId good = Queue(Clip), missing = Queue(Dir.file("missing.mp4")), skipped = Queue(Clip, false),
               last = Queue(Clip);
  TConversionRun run(Component, Jobs, Events.Executor());
  Run = &run;
  run.SetListener(this);
  run.Start(Options);
  Drain(run);

  EXPECT_EQ(Ended, (std::vector<TJobId>{good, missing, last}));
  EXPECT_EQ(Jobs.Find(good)->Status, TJobStatus::Done);
  EXPECT_EQ(Jobs.Find(missing)->Status, TJobStatus::Failed);
  EXPECT_NE(Jobs.Find(missing)->Reason.find("no such file"), std::string::npos) << Jobs.Find(missing)->Reason;
  EXPECT_EQ(Jobs.Find(skipped)->Status, TJobStatus::Waiting);
  EXPECT_EQ(Jobs.Find(last)->Status, TJobStatus::Done);
  EXPECT_EQ(run.DoneCount(), 2);
  EXPECT_EQ(run.FailedCount(), 1);
  EXPECT_EQ(RunEnds, 1);
  // Each job that ended counts whole among the checked ones.
  EXPECT_EQ(PercentAtEnd[good], 33);
  EXPECT_EQ(PercentAtEnd[missing], 66);
  EXPECT_EQ(PercentAtEnd[last], 100);
  // Both outputs are there, each under a name of its own, with its measures.
  EXPECT_NE(Jobs.Find(good)->OutputPath, Jobs.Find(last)->OutputPath);
  for (const TJobId id : {good, last}) {
    EXPECT_EQ(test::CountFrames(Jobs.Find(id)->OutputPath, "video"), 25);
    EXPECT_EQ(Jobs.Find(id)->OutputSize, static_cast<int64_t>(fs::file_size(Jobs.Find(id)->OutputPath)));
    EXPECT_NEAR(Jobs.Find(id)->OutputDurationMs, 1000, 100);
  }
  // The component holds no task of a finished job.
  EXPECT_EQ(Component.TaskCount(), 0);
}

TEST_F(RunTest, ARunningJobCountsByItsOwnProgressAndAFailureGetsTheLibrarysReason) {
  const TJobId job = Queue(StallingSource());
  TConversionRun run(Component, Jobs, Events.Executor());
  Run = &run;
  run.SetListener(this);
  run.Start(Options);
  ASSERT_EQ(run.RunningCount(), 1);
  // What the task's thread would report, through the component's handlers.
  ASSERT_EQ(Component.TaskCount(), 1);
  Component.OnProgress(0, 10, 25, 500, 3.0f, 100.0f, 2048, 1000);
  Events.RunPending(1s);
  EXPECT_EQ(run.OverallPercent(), 50);

  Component.OnLog(0, TLogLevel::llError, "No space left on device");
  Component.OnTerminate(0, false, true, "Error while writing to output file #0");
  Drain(run);
  EXPECT_EQ(Jobs.Find(job)->Status, TJobStatus::Failed);
  EXPECT_EQ(Jobs.Find(job)->Reason, "Error while writing to output file #0 (No space left on device)");
  EXPECT_EQ(run.OverallPercent(), 100);
}

TEST_F(RunTest, AnEndThatArrivesForAnEarlierRunsTaskIsIgnored) {
  const TJobId job = Queue(StallingSource());
  // The test hands the events over when it likes.
  std::vector<std::function<void()>> held;
  TConversionRun run(Component, Jobs, [&held](std::function<void()> work) { held.push_back(std::move(work)); });
  run.Start(Options);
  ASSERT_EQ(run.RunningCount(), 1);
  // The end of this task, still on its way when the next run begins.
  Component.OnTerminate(0, true, false, "");
  ASSERT_EQ(held.size(), 1u);
  std::function<void()> late = std::move(held.back());
  held.clear();
  Component.RemoveAllTasks();
  test::RunCommand("kill " + FifoWriter);
  FifoWriter.clear();

  Jobs.At(0).Source = Clip;
  run.Start(Options);
  ASSERT_EQ(run.RunningCount(), 1);
  late();
  EXPECT_EQ(Jobs.Find(job)->Status, TJobStatus::Running);
  EXPECT_TRUE(run.Active());
  run.SetListener(this);
  Run = &run;
  for (auto deadline = std::chrono::steady_clock::now() + test::kConversionCap;
       run.Active() && std::chrono::steady_clock::now() < deadline;) {
    std::vector<std::function<void()>> work;
    work.swap(held);
    for (auto& w : work) w();
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(Jobs.Find(job)->Status, TJobStatus::Done);
}

// Stopped before anything was converted: nothing a player would refuse is
// left behind.
TEST_F(RunTest, AStopEndsTheRunningJobWithoutAnEmptyOutputAndSkipsTheRest) {
  const TJobId running = Queue(StallingSource()), waiting = Queue(Clip);
  TConversionRun run(Component, Jobs, Events.Executor());
  Run = &run;
  run.SetListener(this);
  run.Start(Options);
  ASSERT_EQ(run.RunningCount(), 1);
  run.Stop();
  Drain(run);
  EXPECT_EQ(Jobs.Find(running)->Status, TJobStatus::Stopped);
  EXPECT_EQ(Jobs.Find(waiting)->Status, TJobStatus::Skipped);
  EXPECT_EQ(run.StoppedCount(), 1);
  EXPECT_EQ(RunEnds, 1);
  EXPECT_EQ(Jobs.Find(running)->OutputPath, "");
  EXPECT_TRUE(std::filesystem::is_empty(Options.OutputFolder));
}

}  // namespace
}  // namespace fennick
