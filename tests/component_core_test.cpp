// The component's parts that need no conversion: properties, the task list,
// the main-thread scheduler, the bitmap, and the engine's run life cycle
// (refusal, terminate thread, last reference dropped in OnTerminate).
#include "component/FFmpegVCL.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "component/task_list.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

using namespace std::chrono_literals;

TEST(Component, DefaultsAndPropertyRules) {
  TFFmpegVCL component;
  EXPECT_EQ(component.Version(), "2.0b");
  EXPECT_EQ(component.LogLevel(), TLogLevel::llInfo);
  EXPECT_EQ(component.ProgressInterval(), 500);
  EXPECT_EQ(component.ThreadPriority(), TConvertPriority::tpNormal);
  EXPECT_EQ(component.TaskCount(), 0);
  const std::pair<int, int> intervals[] = {{50, 100}, {100, 100}, {-5, 100}, {101, 101}, {2000, 2000}};
  for (const auto& [given, stored] : intervals) {
    component.SetProgressInterval(given);
    EXPECT_EQ(component.ProgressInterval(), stored) << given;
  }
}

TEST(Component, BadTaskIndexRaisesTheListError) {
  test::RequireLibraries();
  TFFmpegVCL component;
  try {
    component.AddTaskOutput(3, "out.avi");
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (3)");
  }
  EXPECT_THROW(component.RemoveTask(0), std::out_of_range);
}

TEST(Component, StartStopPauseOnAnEmptyListDoNothing) {
  test::RequireLibraries();
  std::atomic<int> terminates{0};
  {
    TFFmpegVCL component;
    component.OnTerminate = [&](int, bool, bool, const std::string&) { ++terminates; };
    component.StartTasks(2);
    component.PauseTasks();
    component.ResumeTasks();
    component.StopTasks();
    component.RemoveAllTasks();
  }  // no call can arrive once the component is gone
  EXPECT_EQ(terminates, 0);
}

TEST(TaskList, AddDeleteRenumbersAndFindsByThread) {
  TFFmpegList list;
  std::vector<std::shared_ptr<TFFmpeg>> tasks;
  for (int i = 0; i < 4; ++i) {
    tasks.push_back(std::make_shared<TFFmpeg>());
    tasks.back()->SetThreadId(100 + i);
    EXPECT_EQ(list.Add(tasks.back()), i);
  }
  list.Delete(1);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(tasks[1]->Index(), -1);
  EXPECT_EQ(tasks[0]->Index(), 0);
  EXPECT_EQ(tasks[2]->Index(), 1);
  EXPECT_EQ(tasks[3]->Index(), 2);
  EXPECT_EQ(&list.Item(1), tasks[2].get());
  EXPECT_EQ(list.FindByThreadId(103), tasks[3].get());
  EXPECT_EQ(list.FindByThreadId(101), nullptr);
  EXPECT_THROW(list.Item(3), std::out_of_range);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(tasks[0]->Index(), -1);
}

TEST(Scheduler, RunsWorkInDueOrderOnThePumpingThreadAndCancels) {
  TSimpleMainThreadScheduler scheduler;
  std::vector<int> order;
  const auto pumpThread = std::this_thread::get_id();
  bool onPumpThread = true;
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration firstAt{};
  // Far enough apart that a busy machine pausing this thread between the
  // calls does not swap them.
  scheduler.Schedule(300, [&] { order.push_back(2); });
  scheduler.Schedule(30, [&] {
    order.push_back(1);
    firstAt = std::chrono::steady_clock::now() - start;
    onPumpThread = std::this_thread::get_id() == pumpThread;
  });
  const auto cancelled = scheduler.Schedule(40, [&] { order.push_back(99); });
  std::thread([&] { scheduler.Schedule(0, [&] { order.push_back(0); }); }).join();
  scheduler.Cancel(cancelled);
  EXPECT_EQ(scheduler.Pending(), 3u);
  EXPECT_TRUE(scheduler.RunUntil([&] { return order.size() == 3; }, 5s));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_GE(firstAt, 30ms);
  EXPECT_TRUE(onPumpThread);
  EXPECT_FALSE(scheduler.RunUntil([] { return false; }, 20ms));
}

TEST(Bitmap, RowsAreBgrPaddedToFourBytes) {
  TBitmap bitmap(5, 3);
  EXPECT_EQ(bitmap.Width(), 5);
  EXPECT_EQ(bitmap.Height(), 3);
  EXPECT_EQ(bitmap.Stride(), 16);
  EXPECT_EQ(bitmap.ScanLine(1) - bitmap.ScanLine(0), 16);
  bitmap.ScanLine(2)[14] = 0xFF;  // red of the last pixel
  EXPECT_EQ(bitmap.ScanLine(2)[14], 0xFF);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0);
  EXPECT_THROW(bitmap.ScanLine(3), std::out_of_range);
  EXPECT_THROW(bitmap.ScanLine(-1), std::out_of_range);
  {
    std::lock_guard<TBitmap> canvas(bitmap);
    std::thread([&] { EXPECT_FALSE(bitmap.TryLock()); }).join();
  }
  EXPECT_TRUE(bitmap.TryLock());
  bitmap.Unlock();
}

// ---- engine life cycle without a conversion

struct TerminateRecord {
  std::atomic<int> count{0};
  std::atomic<pid_t> thread{0};
  bool finished = true, exception = false;
  std::string message;
};

void Watch(TCustomFFmpeg& engine, TerminateRecord& record, std::vector<std::string>* log = nullptr) {
  engine.OnTerminate = [&record](TCustomFFmpeg& e) {
    record.finished = e.Finished();
    record.exception = e.ExceptionRaised();
    record.message = e.TerminateMessage();
    record.thread = gettid();
    ++record.count;
  };
  if (log) engine.OnLog = [log](TCustomFFmpeg&, int level, const std::string& text) {
    log->push_back(std::to_string(level) + " " + text);
  };
}

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

TEST(EngineRun, StartWithoutOutputIsRefusedThroughLogAndTerminate) {
  test::RequireLibraries();
  TFFmpeg engine;
  engine.Reset();
  TerminateRecord record;
  std::vector<std::string> log;
  Watch(engine, record, &log);
  EXPECT_EQ(engine.StartRun(true), nullptr);
  EXPECT_EQ(record.count, 1);
  EXPECT_TRUE(record.exception);
  EXPECT_EQ(record.message, "Must supply at least one output file");
  EXPECT_EQ(log, (std::vector<std::string>{"-1 Must supply at least one output file"}));
  EXPECT_TRUE(engine.Terminated());
  EXPECT_EQ(engine.StartRun(true), nullptr);  // a second start does nothing
  EXPECT_FALSE(engine.StopTask());
  EXPECT_EQ(record.count, 1);
}

TEST(EngineRun, StopTaskTerminatesANeverStartedEngineFromItsOwnThread) {
  test::RequireLibraries();
  TFFmpeg engine;
  engine.Reset();
  TerminateRecord record;
  Watch(engine, record);
  EXPECT_TRUE(engine.StopTask());
  ASSERT_TRUE(WaitFor([&] { return record.count == 1; }));
  engine.WaitForThreads();
  EXPECT_NE(record.thread, gettid());
  EXPECT_FALSE(record.finished);
  EXPECT_FALSE(record.exception);
  EXPECT_EQ(record.message, "");
  EXPECT_FALSE(engine.CanStart());
  EXPECT_EQ(engine.StartRun(true), nullptr);
  EXPECT_FALSE(engine.StopTask());
  EXPECT_EQ(record.count, 1);
}

TEST(EngineRun, LastReferenceDroppedInsideItsOwnTerminateIsSafe) {
  test::RequireLibraries();
  struct Shared {
    std::mutex lock;
    std::shared_ptr<TFFmpeg> holder;
    std::atomic<bool> done{false};
  };
  for (int round = 0; round < 20; ++round) {
    auto engine = std::make_shared<TFFmpeg>();
    engine->Reset();
    auto shared = std::make_shared<Shared>();
    shared->holder = engine;
    engine->OnTerminate = [shared](TCustomFFmpeg&) {
      {
        std::lock_guard<std::mutex> lock(shared->lock);
        shared->holder.reset();  // the owner lets go from inside the notification
      }
      shared->done = true;
    };
    ASSERT_TRUE(engine->StopTask());
    const std::weak_ptr<TFFmpeg> freed = engine;
    engine.reset();  // now only the terminate thread (and `holder`) keep it
    ASSERT_TRUE(WaitFor([&] { return shared->done.load(); }));
    // The thread frees the engine after its work.
    ASSERT_TRUE(WaitFor([&] { return freed.expired(); })) << "round " << round;
  }
}

TEST(EngineRun, WorkerThreadsAreLoweredRelativeToTheProcessPriority) {
  // The process's own priority is changed in a child process only.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), 10) != 0) std::_Exit(2);
        TFFmpeg engine;
        int nice = -100;
        {
          TFFmpegThread thread(engine, 5);  // suspended: its priority is set, its work never runs
          nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread.ThreadId()));
        }
        std::fprintf(stderr, "worker nice %d\n", nice);
        std::_Exit(nice == 15 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "worker nice 15");
}

}  // namespace
}  // namespace fennick
