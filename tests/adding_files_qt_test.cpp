// Adding files while the window keeps answering: folders are walked and
// files probed off the user-interface thread, a named pipe inside a folder
// is skipped, and one given itself waits for data until closing the
// window, "Clear" or "Stop" ends the add.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "app/main_window.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A named pipe nothing writes to. A reader still waiting on it after
// `release`, or once ReleaseNow is called, gets its end (a writer opens and
// closes it): so code that cannot be interrupted fails its test instead of
// hanging it.
class TSilentFifo {
 public:
  TSilentFifo(std::string path, std::chrono::seconds release) : FPath(std::move(path)) {
    FMade = ::mkfifo(FPath.c_str(), 0600) == 0;
    if (FMade) FReleaser = std::thread([this, release] { Release(release); });
  }
  ~TSilentFifo() {
    {
      std::lock_guard lock(FLock);
      FDone = true;
    }
    FChanged.notify_all();
    if (FReleaser.joinable()) FReleaser.join();
  }
  TSilentFifo(const TSilentFifo&) = delete;
  TSilentFifo& operator=(const TSilentFifo&) = delete;

  bool Made() const { return FMade; }
  const std::string& Path() const { return FPath; }
  void ReleaseNow() {
    {
      std::lock_guard lock(FLock);
      FReleaseNow = true;
    }
    FChanged.notify_all();
  }

 private:
  void Release(std::chrono::seconds after) {
    std::unique_lock lock(FLock);
    if (FChanged.wait_for(lock, after, [this] { return FDone || FReleaseNow; }) && FDone) return;
    // Opening for writing without blocking fails while no reader has it open.
    while (!FDone) {
      const int fd = ::open(FPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        ::close(fd);
        return;
      }
      FChanged.wait_for(lock, 20ms, [this] { return FDone; });
    }
  }

  const std::string FPath;
  bool FMade = false;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FDone = false;
  bool FReleaseNow = false;
  std::thread FReleaser;
};

long long Milliseconds(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

struct AddingFiles : testing::Test {
  test::TempDir Dir;
  test::TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  std::unique_ptr<TForm1> Form;

  void SetUp() override {
    test::ClearSettings();
    Open();
  }
  void Open() {
    Form = std::make_unique<TForm1>(Prompts, &Player, TDesktopActions{[](const QString&) { return true; }, [] {}});
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }

  TMainController& C() { return Form->Controller(); }
  const TFileList& List() { return C().ListView1; }
  bool Adding() { return C().Run.FAddingFiles || C().BackgroundThread1.Running(); }

  std::string MakeVideo(const std::string& name) {
    const std::string path = Dir.file(name);
    test::ClipSpec spec;
    spec.seconds = 0.4;
    spec.width = 160;
    spec.height = 120;
    EXPECT_TRUE(test::MakeClip(path, spec));
    return path;
  }

  // Adds a named pipe that nothing writes to and, while its probe waits,
  // does `end`: the add ends within a second of it, without a row for the
  // pipe.
  void ExpectPipeAddEndsAtOnce(const std::function<void()>& end) {
    TSilentFifo fifo(Dir.file("live.mp4"), 10s);
    ASSERT_TRUE(fifo.Made());
    const int rows = List().Count();
    C().AddFileSources({fifo.Path()});
    QTest::qWait(300);
    ASSERT_TRUE(C().Run.FAddingFiles) << "the add did not wait for the pipe";
    const Clock::time_point asked = Clock::now();
    end();
    ASSERT_TRUE(test::WaitFor([&] { return !Adding(); }));
    EXPECT_LT(Clock::now() - asked, 1s) << Milliseconds(Clock::now() - asked) << " ms";
    EXPECT_LE(List().Count(), rows);
  }
};

}  // namespace

TEST_F(AddingFiles, AFolderOfThreeHundredClipsAndANamedPipeAddsTheClipsWhileTheWindowKeepsAnswering) {
  const std::string clip = MakeVideo("clip.mp4");
  const std::string folder = Dir.file("clips");
  std::filesystem::create_directories(folder);
  std::vector<std::string> expected;
  for (int i = 0; i < 300; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/c%03d.mp4", i);
    expected.push_back(folder + name);
    std::filesystem::copy_file(clip, expected.back());
  }
  // Among the clips in name order: skipped.
  TSilentFifo inFolder(folder + "/c150 stuck.mp4", 10s);
  ASSERT_TRUE(inFolder.Made());
  // Given after the folder: probed, and holds the add until it ends.
  TSilentFifo given(Dir.file("given.mp4"), 10s);
  ASSERT_TRUE(given.Made());

  // The event loop's answer: the longest time between the ticks of a 50 ms
  // timer.
  QTimer ticker;
  ticker.setInterval(50);
  Clock::time_point last = Clock::now();
  Clock::duration longest{};
  ticker.callOnTimeout([&] {
    const Clock::time_point now = Clock::now();
    longest = std::max(longest, now - last);
    last = now;
  });
  ticker.start();
  last = Clock::now();
  C().AddFileSources({folder, given.Path()});
  ASSERT_TRUE(test::WaitFor([&] { return List().Count() >= 300 || !Adding(); }));

  // The clips are in the list while the add waits for the given pipe; the
  // list can be used meanwhile, and the status bar tells how far the add is.
  EXPECT_TRUE(C().Run.FAddingFiles);
  EXPECT_EQ(Form->StatusPanelReady->text().toStdString(), "Adding files: 300 of 301");
  test::SaveScreenshot(*Form, QStringLiteral("adding-files-status"));
  QAbstractItemModel* model = Form->ListView1->model();
  EXPECT_TRUE(Form->ListView1->viewport()->rect().intersects(Form->ListView1->visualRect(model->index(299, 0))))
      << "the last row added is out of view";
  model->setData(model->index(0, ColFileName), Qt::Unchecked, Qt::CheckStateRole);
  Form->ListView1->selectRow(0);
  given.ReleaseNow();
  ASSERT_TRUE(test::WaitFor([&] { return !Adding(); }));
  longest = std::max(longest, Clock::now() - last);
  ticker.stop();

  EXPECT_LT(longest, 200ms) << Milliseconds(longest) << " ms without an answer";
  ASSERT_EQ(List().Count(), 301);
  for (int row = 0; row < 300; ++row) {
    EXPECT_EQ(List().Row(row).Caption, expected[row]) << row;
    EXPECT_EQ(List().Row(row).Cell(ColVideoSize), "160x120") << row;
  }
  // The given pipe ended without data.
  EXPECT_EQ(List().Row(300).Caption, given.Path());
  EXPECT_EQ(List().Row(300).Cell(ColProgress), "Error");
  EXPECT_FALSE(List().Row(0).Checked);
  EXPECT_TRUE(Form->ListView1->selectionModel()->isRowSelected(0, QModelIndex()));
  EXPECT_FALSE(Form->StatusPanelReady->text().startsWith(QStringLiteral("Adding")));
}

TEST_F(AddingFiles, ClosingTheWindowEndsTheAddOfANamedPipeAtOnce) {
  ExpectPipeAddEndsAtOnce([&] { EXPECT_TRUE(Form->close()); });
  EXPECT_EQ(List().Count(), 0);
}

TEST_F(AddingFiles, ClearEndsTheAddOfANamedPipeAtOnceAndEmptiesTheList) {
  C().AddFileSources({MakeVideo("clip.mp4")});
  ASSERT_TRUE(test::WaitFor([&] { return !Adding(); }));
  ASSERT_EQ(List().Count(), 1);
  ExpectPipeAddEndsAtOnce([&] { QTest::mouseClick(Form->ButtonClear, Qt::LeftButton); });
  EXPECT_EQ(List().Count(), 0);
}

TEST_F(AddingFiles, StopEndsTheAddOfANamedPipeAtOnceAndKeepsTheRowsAdded) {
  const std::string clip = MakeVideo("clip.mp4");
  C().AddFileSources({clip});
  ASSERT_TRUE(test::WaitFor([&] { return !Adding(); }));
  ExpectPipeAddEndsAtOnce([&] { QTest::mouseClick(Form->ButtonStopConvert, Qt::LeftButton); });
  ASSERT_EQ(List().Count(), 1);
  EXPECT_EQ(List().Row(0).Caption, clip);
  EXPECT_TRUE(Prompts.Asked.empty());
}

// "Add Folder..." from the keyboard (File menu or its shortcut) adds a
// folder tree's media as dropping it does; cancelling adds nothing.
TEST_F(AddingFiles, AddFolderAddsTheTreeAndIsReachedByKeyboard) {
  const std::string clip = MakeVideo("clip.mp4");
  const std::string folder = Dir.file("holiday");
  std::filesystem::create_directories(folder + "/day 2");
  std::filesystem::copy_file(clip, folder + "/a.mp4");
  std::filesystem::copy_file(clip, folder + "/day 2/b.mp4");
  std::ofstream(folder + "/notes.txt") << "not media";

  Prompts.FolderAnswers.push_back(QString());
  Form->AddFolder1->trigger();
  ASSERT_TRUE(test::WaitFor([&] { return !Adding(); }));
  EXPECT_EQ(List().Count(), 0);

  Prompts.FolderAnswers.push_back(QString::fromStdString(folder));
  QTest::keyClick(Form.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(test::WaitFor([&] { return List().Count() == 2 && !Adding(); }));
  EXPECT_EQ(List().Row(0).Caption, folder + "/a.mp4");
  EXPECT_EQ(List().Row(1).Caption, folder + "/day 2/b.mp4");
  ASSERT_NE(Form->ButtonAddFile->menu(), nullptr);
  EXPECT_TRUE(Form->ButtonAddFile->menu()->actions().contains(Form->AddFolder1));
}

// A file that cannot be opened says why, on its "Error" cell, also after a
// restart.
TEST_F(AddingFiles, AnErrorRowTellsWhyTheFileCannotBeOpened) {
  const std::string notes = Dir.file("notes.mp4");
  std::ofstream(notes) << "shopping list, not a video";
  C().AddFileSources({notes});
  ASSERT_TRUE(test::WaitFor([&] { return List().Count() == 1 && !Adding(); }));
  const QAbstractItemModel* model = Form->ListView1->model();
  EXPECT_EQ(model->data(model->index(0, ColProgress)).toString(), QStringLiteral("Error"));
  const QString tip = model->data(model->index(0, ColProgress), Qt::ToolTipRole).toString();
  EXPECT_EQ(tip, QString::fromStdString(notes + ": Unknown format"));
  C().WaitForSavedQueue();
  Form.reset();
  Open();
  ASSERT_EQ(List().Count(), 1);
  EXPECT_EQ(Form->ListView1->model()->data(Form->ListView1->model()->index(0, ColProgress), Qt::ToolTipRole).toString(),
            tip);
}
