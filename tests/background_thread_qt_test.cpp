// The background worker: the order and threads of its events, Start while
// running, destruction while running, groups.
#include <gtest/gtest.h>

#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "app/background_thread.h"

using namespace fennick;

namespace {

// Lets a worker run until the test opens it.
struct TGate {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Open = false;
  void Release() {
    std::lock_guard lock(Lock);
    Open = true;
    Changed.notify_all();
  }
  void Wait() {
    std::unique_lock lock(Lock);
    Changed.wait(lock, [this] { return Open; });
  }
};

}  // namespace

TEST(BackgroundThread, StartWhileRunningCreatesNothingAndDoesNotCallOnStartAgain) {
  TBackgroundThread worker;
  TGate gate;
  int starts = 0, terminates = 0;
  worker.OnStart = [&](auto*, auto*, void*&) { ++starts; };
  worker.OnExecute = [&](auto*, auto*, void*&) { gate.Wait(); };
  worker.OnTerminate = [&](auto*, auto*, void*&) { ++terminates; };

  int first = 1, second = 2;
  worker.Start(&first);
  TBackgroundExecuteThread* thread = worker.Thread();
  ASSERT_TRUE(thread);
  worker.Start(&second);
  EXPECT_EQ(worker.Thread(), thread);
  EXPECT_EQ(thread->Data, &first);
  EXPECT_EQ(starts, 1);

  gate.Release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return terminates == 1; }, 5000));
  EXPECT_FALSE(worker.Running());
  // Idle again: a new Start runs.
  worker.Start();
  EXPECT_EQ(starts, 2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return terminates == 2; }, 5000));
}

TEST(BackgroundThread, OnStartBeforeOnExecuteAndOnTerminateOnTheUserInterfaceThreadAfterIt) {
  TBackgroundThread worker;
  std::mutex lock;
  std::vector<std::string> events;
  auto note = [&](const std::string& event) {
    std::lock_guard guard(lock);
    events.push_back(event);
  };
  QThread* terminateThread = nullptr;
  QThread* executeThread = nullptr;
  worker.OnStart = [&](auto*, auto*, void*&) {
    note("start begins");
    note("start ends");
  };
  worker.OnExecute = [&](auto*, TBackgroundExecuteThread* thread, void*&) {
    executeThread = QThread::currentThread();
    note("execute begins");
    thread->Percent = 100;
    note("execute ends");
  };
  worker.OnTerminate = [&](auto*, TBackgroundExecuteThread* thread, void*&) {
    terminateThread = QThread::currentThread();
    note("terminate " + std::to_string(thread->Percent));
  };
  worker.Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return terminateThread != nullptr; }, 5000));
  EXPECT_EQ(events, (std::vector<std::string>{"start begins", "start ends", "execute begins", "execute ends",
                                              "terminate 100"}));
  EXPECT_EQ(terminateThread, QThread::currentThread());
  EXPECT_NE(executeThread, QThread::currentThread());
}

TEST(BackgroundThread, DestroyingWhileRunningWaitsForTheThreadWithoutOnTerminate) {
  auto worker = std::make_unique<TBackgroundThread>();
  std::atomic<bool> executing{false}, executeEnded{false};
  int terminates = 0;
  worker->OnExecute = [&](auto*, TBackgroundExecuteThread* thread, void*&) {
    executing = true;
    while (!thread->Terminated()) QThread::yieldCurrentThread();
    executeEnded = true;
  };
  worker->OnTerminate = [&](auto*, auto*, void*&) { ++terminates; };
  worker->Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return executing.load(); }, 5000));
  worker.reset();
  EXPECT_TRUE(executeEnded);
  QCoreApplication::processEvents();
  EXPECT_EQ(terminates, 0);
}

// A failing OnStart leaves no thread behind: Start reports the failure and
// the next Start works.
TEST(BackgroundThread, AThrowingOnStartLeavesTheWorkerIdle) {
  TBackgroundThread worker;
  bool fail = true;
  int terminates = 0;
  worker.OnStart = [&](auto*, auto*, void*&) {
    if (fail) throw std::runtime_error("no");
  };
  worker.OnTerminate = [&](auto*, auto*, void*&) { ++terminates; };
  EXPECT_THROW(worker.Start(), std::runtime_error);
  EXPECT_FALSE(worker.Running());
  fail = false;
  worker.Start();
  EXPECT_TRUE(worker.Running());
  ASSERT_TRUE(QTest::qWaitFor([&] { return terminates == 1; }, 5000));
}

// A group reports its first start and its last end once, every member's
// start and end, refuses to form a ring, and counts a member destroyed
// while running as ended.
TEST(BackgroundThreadGroup, AggregateEventsNestingAndAMemberDestroyedWhileRunning) {
  TBackgroundThreadGroup outer, inner;
  ASSERT_TRUE(inner.SetThreadGroup(&outer));
  EXPECT_FALSE(outer.SetThreadGroup(&inner));
  EXPECT_FALSE(outer.SetThreadGroup(&outer));
  EXPECT_EQ(outer.ThreadGroup(), nullptr);

  TGate gate;
  TBackgroundThread first;
  auto second = std::make_unique<TBackgroundThread>();
  first.OnExecute = [&](auto*, auto*, void*&) { gate.Wait(); };
  second->OnExecute = [&](auto*, TBackgroundExecuteThread* thread, void*&) {
    while (!thread->Terminated()) QThread::yieldCurrentThread();
  };
  ASSERT_TRUE(first.SetThreadGroup(&inner));
  ASSERT_TRUE(second->SetThreadGroup(&outer));
  EXPECT_EQ(outer.AllThreads(), (std::vector<TBackgroundThread*>{&first, second.get()}));

  int outerStarts = 0, outerTerminates = 0, threadStarts = 0, threadTerminates = 0;
  outer.OnStart = [&](auto*, auto*, void*&) { ++outerStarts; };
  outer.OnTerminate = [&](auto*, auto*, void*&) { ++outerTerminates; };
  outer.OnThreadStart = [&](auto*, auto*, void*&) { ++threadStarts; };
  outer.OnThreadTerminate = [&](auto*, auto*, void*&) { ++threadTerminates; };

  outer.Start();
  EXPECT_TRUE(first.Running() && second->Running());
  EXPECT_TRUE(outer.Running() && inner.Running());
  EXPECT_EQ(outerStarts, 1);
  EXPECT_EQ(threadStarts, 2);

  second.reset();
  EXPECT_EQ(threadTerminates, 1);
  EXPECT_EQ(outerTerminates, 0);
  EXPECT_TRUE(outer.Running());

  gate.Release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !outer.Running(); }, 5000));
  EXPECT_FALSE(inner.Running());
  EXPECT_EQ(threadTerminates, 2);
  EXPECT_EQ(outerTerminates, 1);
}
