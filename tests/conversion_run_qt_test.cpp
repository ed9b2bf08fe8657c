// The window's conversion run on the offscreen platform: real conversions of
// small generated clips through "Convert", the convert-again timer, the
// component's events, "Stop", the completion message, the locked controls,
// and the desktop session's sleep inhibit and notification.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSlider>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/main_window.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"
#include "trickle_fifo.h"

using namespace fennick;
using test::TScriptedPrompts;
using test::TTrickleFifo;
using test::WaitFor;
using namespace std::chrono_literals;

namespace {

// What the run asked of the desktop.
class TRecordingSession : public IDesktopSession {
 public:
  int Inhibits = 0, Allows = 0;
  bool Inhibited = false;
  QStringList Notifications;  // "summary: body"
  void InhibitSleep(const QString&) override {
    ++Inhibits;
    Inhibited = true;
  }
  void AllowSleep() override {
    ++Allows;
    Inhibited = false;
  }
  void Notify(const QString& summary, const QString& body) override { Notifications << summary + ": " + body; }
};

QString Q(const std::string& text) { return QString::fromStdString(text); }

struct ConversionRun : testing::Test {
  test::TempDir Dir;
  std::string Out;
  TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  TRecordingSession Session;
  std::unique_ptr<TForm1> Form;

  void SetUp() override {
    std::signal(SIGPIPE, SIG_IGN);  // a pipe's reader may go before its writer
    test::ClearSettings();
    Form = std::make_unique<TForm1>(Prompts, &Player, TDesktopActions{[](const QString&) { return true; }, [] {}}, &Session);
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    Form->activateWindow();
    Out = Dir.file("out");
    std::filesystem::create_directories(Out);
    C().EditOutputFolder = Out;
    C().ffVCL.SetProgressInterval(100);
  }

  TMainController& C() { return Form->Controller(); }
  const TFileList& List() { return C().ListView1; }
  std::string Cell(int row, TListColumn column) { return List().Row(row).Cell(column); }
  int Messages() { return Prompts.Count(TScriptedPrompts::TKind::Information); }
  // The first line of each message box (the completion message goes on
  // with the run's summary).
  QStringList Said() {
    QStringList lines;
    for (const QString& text : Prompts.Texts(TScriptedPrompts::TKind::Information)) lines << text.section('\n', 0, 0);
    return lines;
  }
  std::string OutputOf(const std::string& name) { return Out + "/" + name + ".3gp"; }

  void Add(const QStringList& files) {
    Prompts.FileAnswers.push_back(files);
    QTest::mouseClick(Form->ButtonAddFile, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !C().BackgroundThread1.Running(); }));
    Prompts.Asked.clear();
  }
  void Convert() { QTest::mouseClick(Form->ButtonConvert, Qt::LeftButton); }
  // Forty copies of a clip: more rows than the list shows at once.
  void AddForty() {
    QStringList files;
    const std::string clip = MakeVideo("a.mp4");
    for (int i = 0; i < 40; ++i) {
      const std::string copy = Dir.file("copy" + std::to_string(i) + ".mp4");
      std::filesystem::copy_file(clip, copy);
      files << Q(copy);
    }
    Add(files);
  }
  // Converts a 3 s source read through a pipe, then a second file; returns
  // once the first job has reported progress and its source holds back.
  std::unique_ptr<TTrickleFifo> StartHeldRun() {
    const std::string source = MakeVideo("slow.mkv", 3);
    Add({Q(source), Q(MakeVideo("b.mp4"))});
    auto fifo = std::make_unique<TTrickleFifo>(source);
    if (!fifo->Made()) return nullptr;
    Convert();
    EXPECT_TRUE(WaitFor([&] { return !Cell(0, ColFrames).empty(); })) << "the first job reported no progress";
    fifo->Hold();
    return fifo;
  }
  // Waits for the end of the run: the controls unlocked and every event of
  // its tasks handled.
  void WaitForRunEnd() {
    ASSERT_TRUE(WaitFor([&] { return !C().Run.RunActive && !C().Run.Converting && C().ffVCL.TaskCount() == 0; }));
  }

  std::string MakeVideo(const std::string& name, double seconds = 1) { return test::SmallClip(Dir, name, seconds); }
  std::string MakeText(const std::string& name) { return test::NotMediaFile(Dir, name); }

  bool Playable(const std::string& path) {
    const auto probe = test::ProbeFile(path);
    return test::FindStream(probe, "video") >= 0 && test::CountFrames(path, "video") > 0;
  }
  // What a run locks, and what stays usable.
  bool Locked() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             Form->ButtonAddFile, Form->ButtonClear, Form->ButtonRemove, Form->ButtonConvert, Form->ComboOutputFormat,
             Form->ComboVideoSize, Form->ComboVideoBitrate, Form->ComboVideoFramerate, Form->ComboAudioBitrate,
             Form->ComboAudioChannels, Form->ComboVideoCodec, Form->ComboSamplingRate, Form->ComboAudioCodec,
             Form->TrackBar1})
      if (control->isEnabled()) return false;
    for (QMenu* menu : {Form->MenuFile, Form->MenuOptions, Form->MenuHelp})
      if (menu->menuAction()->isEnabled()) return false;
    return true;
  }
  bool Unlocked() {
    for (QWidget* control : std::initializer_list<QWidget*>{Form->ButtonAddFile, Form->ButtonConvert,
                                                            Form->ComboOutputFormat, Form->TrackBar1})
      if (!control->isEnabled()) return false;
    return Form->MenuFile->menuAction()->isEnabled();
  }
};

}  // namespace

TEST_F(ConversionRun, ThreeCheckedRowsConvertToDoneWithOneCompletionMessageAndTheControlsUnlocked) {
  const std::string a = MakeVideo("a.mp4"), b = MakeVideo("b.mp4"), c = MakeVideo("c.mp4");
  Add({Q(a), Q(b), Q(c)});
  EXPECT_EQ(C().ffVCL.ThreadCount(), 0) << "the codecs use the threads the machine offers";

  Convert();
  EXPECT_TRUE(Locked());
  // Still usable during a run.
  for (QWidget* control : std::initializer_list<QWidget*>{Form->ButtonStopConvert, Form->ButtonBrowseForFolder,
                                                          Form->ButtonPlay, Form->ButtonPause, Form->ButtonStop})
    EXPECT_TRUE(control->isEnabled()) << control->toolTip().toStdString();
  EXPECT_TRUE(Form->ListView1->model()->flags(Form->ListView1->model()->index(1, 0)) & Qt::ItemIsUserCheckable);
  EXPECT_TRUE(Session.Inhibited);
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());

  EXPECT_EQ(Said(), QStringList{QStringLiteral("All Conversions Completed")});
  for (int row = 0; row < 3; ++row) EXPECT_EQ(Cell(row, ColProgress), "Done") << row;
  for (const char* name : {"a", "b", "c"}) EXPECT_TRUE(Playable(OutputOf(name))) << name;
  EXPECT_TRUE(Unlocked());
  EXPECT_EQ(Form->ProgressBar1->value(), 0);
  EXPECT_EQ(Form->windowTitle(), QStringLiteral("Fennick Video Converter"));
  EXPECT_EQ(Session.Inhibits, 1);
  EXPECT_FALSE(Session.Inhibited);
  // The window was in front: no desktop notification.
  EXPECT_TRUE(Session.Notifications.isEmpty());
  test::SaveScreenshot(*Form, QStringLiteral("main-window-run-completed"));
}

// A converted row's check is taken off: Convert again converts nothing
// again (no "-1" copies), until the user checks the rows again.
TEST_F(ConversionRun, ADoneRowIsUncheckedSoConvertingAgainMakesNoCopy) {
  Add({Q(MakeVideo("a.mp4")), Q(MakeText("notes.mp4"))});
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_FALSE(List().Row(0).Checked);
  EXPECT_TRUE(List().Row(1).Checked) << "a failed row is still to convert";
  EXPECT_EQ(Form->ListView1->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);

  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_FALSE(std::filesystem::exists(Out + "/a-1.3gp"));

  C().CheckAllItems1Click();
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_TRUE(std::filesystem::exists(Out + "/a-1.3gp"));
}

TEST_F(ConversionRun, RowsZeroAndTwoCheckedConvertThoseTwoAndLeaveRowOneUntouched) {
  const std::string a = MakeVideo("a.mp4"), b = MakeVideo("b.mp4"), c = MakeVideo("c.mp4");
  Add({Q(a), Q(b), Q(c)});
  C().ListView1Check(1, false);

  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());

  EXPECT_EQ(Cell(0, ColProgress), "Done");
  EXPECT_EQ(Cell(1, ColProgress), "");
  EXPECT_EQ(Cell(1, ColFrames), "");
  EXPECT_EQ(Cell(2, ColProgress), "Done");
  EXPECT_TRUE(std::filesystem::exists(OutputOf("a")));
  EXPECT_FALSE(std::filesystem::exists(OutputOf("b")));
  EXPECT_TRUE(std::filesystem::exists(OutputOf("c")));
  EXPECT_EQ(Messages(), 1);
}

TEST_F(ConversionRun, AllRowsUncheckedShowTheCompletionMessageAtOnce) {
  Add({Q(MakeVideo("a.mp4")), Q(MakeVideo("b.mp4"))});
  C().UncheckAllItems1Click();

  Convert();
  EXPECT_EQ(Messages(), 1);
  EXPECT_FALSE(C().Run.RunActive);
  EXPECT_TRUE(Unlocked());
  EXPECT_TRUE(std::filesystem::is_empty(Out));
}

TEST_F(ConversionRun, ProgressAndFramesAreEmptiedWhenARunStartsAlsoOnUncheckedRows) {
  Add({Q(MakeVideo("a.mp4")), Q(MakeText("b.txt"))});
  C().ListView1.SetCell(0, ColProgress, "Done");
  C().ListView1.SetCell(0, ColFrames, "25");
  C().ListView1Check(0, false);

  Convert();

  EXPECT_EQ(Cell(0, ColProgress), "");
  EXPECT_EQ(Cell(0, ColFrames), "");
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
}

TEST_F(ConversionRun, ALastRowThatCannotBeOpenedShowsFailWithItsReasonAndTheMessageAtOnce) {
  Add({Q(MakeText("notes.mp4"))});

  Convert();

  // At once.
  EXPECT_EQ(Cell(0, ColProgress), "Fail");
  EXPECT_EQ(Said(), QStringList{QStringLiteral("All Conversions Completed")});
  EXPECT_FALSE(C().Run.Converting);
  EXPECT_TRUE(Unlocked());
  EXPECT_FALSE(Session.Inhibited);
  // Why, as the cell's tip.
  const QString tip = Form->ListView1->model()->index(0, ColProgress).data(Qt::ToolTipRole).toString();
  EXPECT_FALSE(tip.isEmpty());
  EXPECT_TRUE(tip.contains(QStringLiteral("notes.mp4"))) << tip.toStdString();
  EXPECT_TRUE(std::filesystem::is_empty(Out));
}

TEST_F(ConversionRun, ARunEndingWhileTheWindowIsNotActiveIsNotifiedOnTheDesktopWithItsCounts) {
  Add({Q(MakeVideo("a.mp4")), Q(MakeText("notes.mp4"))});
  QWidget other;
  other.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
  other.activateWindow();
  ASSERT_TRUE(WaitFor([&] { return !Form->isActiveWindow(); }, 5s));

  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());

  EXPECT_EQ(Session.Notifications, QStringList{QStringLiteral("All Conversions Completed: 1 Done, 1 Fail, 0 Abort")});
  EXPECT_EQ(Messages(), 1);
}

TEST_F(ConversionRun, StopAnsweredNoResumesTheJobAndTheRunCompletes) {
  const auto fifo = StartHeldRun();
  ASSERT_TRUE(fifo);
  EXPECT_TRUE(Form->windowTitle().endsWith(QStringLiteral("% - Fennick Video Converter"))) << Form->windowTitle().toStdString();
  test::SaveScreenshot(*Form, QStringLiteral("main-window-run-converting"));
  Prompts.QuestionAnswers.push_back(false);
  QTest::mouseClick(Form->ButtonStopConvert, Qt::LeftButton);

  EXPECT_EQ(Prompts.Texts(TScriptedPrompts::TKind::Question), QStringList{QStringLiteral("Stop all conversions?")});
  EXPECT_TRUE(C().Run.Converting);
  EXPECT_TRUE(Locked());
  fifo->Release();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(Cell(0, ColProgress), "Done");
  EXPECT_EQ(Cell(1, ColProgress), "Done");
  EXPECT_EQ(Said(), QStringList{QStringLiteral("All Conversions Completed")});
}

// The last job ends while the question is open: the run ends only once it
// is answered, with one completion message after the answer.
TEST_F(ConversionRun, ARunWhoseLastJobEndsDuringTheStopQuestionEndsAfterTheAnswer) {
  Add({Q(MakeVideo("a.mp4"))});
  Convert();
  // The job's end is on its way to the window, not handled yet.
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!std::filesystem::exists(OutputOf("a")) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(200ms);
  int saidDuringTheQuestion = -1;
  Prompts.OnAsked = [&](const TScriptedPrompts::TAsked& asked) {
    if (asked.Kind != TScriptedPrompts::TKind::Question) return;
    QTest::qWait(300);  // as the question's own event loop would
    saidDuringTheQuestion = Messages();
  };
  Prompts.QuestionAnswers.push_back(false);
  QTest::mouseClick(Form->ButtonStopConvert, Qt::LeftButton);
  Prompts.OnAsked = nullptr;
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(saidDuringTheQuestion, 0);
  EXPECT_EQ(Said(), QStringList{QStringLiteral("All Conversions Completed")});
  EXPECT_EQ(Cell(0, ColProgress), "Done");
}

TEST_F(ConversionRun, StopAnsweredYesEndsTheRunWithAbortAPlayableFileNoMessageAndUnlockedControls) {
  const auto fifo = StartHeldRun();
  ASSERT_TRUE(fifo);
  Prompts.QuestionAnswers.push_back(true);
  QTest::mouseClick(Form->ButtonStopConvert, Qt::LeftButton);

  // The controls come back at once; the job ends when it next reads.
  EXPECT_TRUE(Unlocked());
  EXPECT_FALSE(Session.Inhibited);
  fifo->Release();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(Cell(0, ColProgress), "Abort");
  EXPECT_EQ(Cell(1, ColProgress), "");
  EXPECT_EQ(Messages(), 0);
  EXPECT_TRUE(Playable(OutputOf("slow")));
  EXPECT_FALSE(std::filesystem::exists(OutputOf("b")));
  // Idle, and the status bar says so: nothing of the stopped run is left.
  EXPECT_EQ(Form->StatusPanelReady->text(), QStringLiteral("Ready"));
  // (Idle, the size panel tells what the rows left to convert will make.)
  EXPECT_FALSE(Form->StatusPanelFileSize->text().startsWith(QStringLiteral("File Size")));
  EXPECT_EQ(Form->ProgressBar1->value(), 0);
  EXPECT_FALSE(Form->ProgressBar1->isTextVisible());
}

TEST_F(ConversionRun, StopAnsweredYesEndsAJobHeldAtItsPausePoint) {
  // A file read at full speed: the pause holds the job at its next safe point.
  Add({Q(MakeVideo("long.mp4", 120))});
  Convert();
  ASSERT_TRUE(WaitFor([&] { return !Cell(0, ColFrames).empty(); })) << "the job reported no progress";
  bool held = false;
  Prompts.OnAsked = [&](const TScriptedPrompts::TAsked&) {
    held = WaitFor([&] { return C().ffVCL.TaskCount() > 0 && C().ffVCL.TaskHeldByPause(0); });
  };
  Prompts.QuestionAnswers.push_back(true);
  QTest::mouseClick(Form->ButtonStopConvert, Qt::LeftButton);

  EXPECT_TRUE(held) << "the job was not held by the pause while the question was open";
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(Cell(0, ColProgress), "Abort");
  EXPECT_TRUE(Playable(OutputOf("long")));

  // Converted again, the row replaces the file its stopped conversion left
  // rather than writing a "-1" beside it.
  Prompts.OnAsked = nullptr;
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(Cell(0, ColProgress), "Done");
  EXPECT_EQ(Cell(0, ColOutput), "long.3gp");
  EXPECT_FALSE(std::filesystem::exists(Out + "/long-1.3gp"));
  const auto probe = test::ProbeFile(OutputOf("long"));
  EXPECT_NEAR(std::stod(probe.at("format.duration")), 120.0, 1.0);
}

TEST_F(ConversionRun, WhileAJobConvertsAddFileAsksNothingAndClosingAsksToStop) {
  const auto fifo = StartHeldRun();
  ASSERT_TRUE(fifo);
  QTest::mouseClick(Form->ButtonAddFile, Qt::LeftButton);
  EXPECT_TRUE(Prompts.Asked.empty());

  Prompts.QuestionAnswers.push_back(false);
  EXPECT_FALSE(Form->close());
  EXPECT_TRUE(Form->isVisible());
  EXPECT_TRUE(C().Run.Converting);

  Prompts.QuestionAnswers.push_back(true);
  EXPECT_TRUE(Form->close());
  EXPECT_EQ(Prompts.Texts(TScriptedPrompts::TKind::Question),
            QStringList(2, QStringLiteral("Stop all conversions and quit?")));
  EXPECT_EQ(Cell(0, ColProgress), "Abort");
  EXPECT_TRUE(Playable(OutputOf("slow")));
  EXPECT_FALSE(std::filesystem::exists(OutputOf("b")));
}

TEST_F(ConversionRun, AnOutputFolderThatCannotBeWrittenGivesOneMessageAndNoFailRows) {
  Add({Q(MakeVideo("a.mp4")), Q(MakeVideo("b.mp4"))});
  // Nobody, not even root, makes files there.
  C().EditOutputFolder = "/sys/kernel";

  Convert();

  const QStringList said = Prompts.Texts(TScriptedPrompts::TKind::Information);
  ASSERT_EQ(said.size(), 1) << said.join('|').toStdString();
  EXPECT_TRUE(said[0].contains(QStringLiteral("cannot be written: Permission denied"))) << said[0].toStdString();
  EXPECT_FALSE(C().Run.RunActive);
  for (int row = 0; row < 2; ++row) EXPECT_EQ(Cell(row, ColProgress), "") << row;
}

TEST_F(ConversionRun, ASourceThatEndsEarlyIsDoneWithANoteAndTheSummaryNamesWhatWentWrong) {
  // A 10 s file of which only the first part arrived.
  const std::string full = MakeVideo("full.mkv", 10), cut = Dir.file("cut.mkv");
  std::string bytes;
  {
    std::ifstream in(full, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 45 / 100);
  Add({Q(cut), Q(MakeText("notes.mp4"))});

  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());

  EXPECT_EQ(Cell(0, ColProgress), "Done");
  const QString tip = Form->ListView1->model()->index(0, ColProgress).data(Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.startsWith(QStringLiteral("the source ended early, at 00:00:04 of 00:00:10"))) << tip.toStdString();
  const QStringList said = Prompts.Texts(TScriptedPrompts::TKind::Information);
  ASSERT_EQ(said.size(), 1);
  for (const QString& part : {QStringLiteral("All Conversions Completed\n"), QStringLiteral("1 Done, 1 Fail, 0 Abort"),
                              QStringLiteral("Failed:\n  notes.mp4: "), QStringLiteral("Ended early:\n  cut.mkv: the source ended early")})
    EXPECT_TRUE(said[0].contains(part)) << said[0].toStdString();
}

TEST_F(ConversionRun, TheOutputColumnShowsTheNameUsedAndTheStatusBarWhatHappens) {
  std::ofstream(OutputOf("a")) << "an earlier file";
  EXPECT_FALSE(Form->ButtonStopConvert->isEnabled());
  const auto fifo = StartHeldRun();
  ASSERT_TRUE(fifo);
  EXPECT_TRUE(Form->ButtonStopConvert->isEnabled());
  EXPECT_TRUE(Form->StatusPanelReady->text().startsWith(QStringLiteral("Converting 1 of 2"))) << Form->StatusPanelReady->text().toStdString();
  fifo->Release();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(Cell(0, ColOutput), "slow.3gp");
  EXPECT_FALSE(Form->ButtonStopConvert->isEnabled());
  EXPECT_EQ(Form->StatusPanelReady->text(), QStringLiteral("Ready"));
  EXPECT_EQ(Form->StatusPanelFileSize->text(), QString());

  // A taken name gets its number, and the row shows it.
  C().ListView1Check(0, false);
  Add({Q(MakeVideo("a.mp4"))});
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(Cell(2, ColOutput), "a-1.3gp");
}

TEST_F(ConversionRun, AProgressEventShowsTheCappedPercentTheFramesAndTheSizeAndNoPercentWithoutATotal) {
  Add({Q(MakeVideo("a.mp4"))});
  TJobProgress progress;
  progress.FrameNumber = 30;
  progress.CurrentMs = 1500;
  progress.TotalMs = 1000;
  progress.Size = 12345;
  C().ffVCLProgress(List().Queue().At(0), progress);
  EXPECT_EQ(Cell(0, ColProgress), "100%");
  EXPECT_EQ(Cell(0, ColFrames), "30");
  EXPECT_EQ(Form->ProgressBar1->value(), 100);
  EXPECT_EQ(Form->StatusPanelFileSize->text(), QStringLiteral("File Size : 12 kB"));

  progress.FrameNumber = -1;
  progress.TotalMs = 0;
  C().ffVCLProgress(List().Queue().At(0), progress);
  EXPECT_EQ(Cell(0, ColProgress), "");
  EXPECT_EQ(Cell(0, ColFrames), " ");
  EXPECT_EQ(Form->ProgressBar1->value(), 0);
}

// Progress brings the converting row into view, until the user scrolls
// away; the next Convert follows it again.
TEST_F(ConversionRun, TheListFollowsTheConvertingRowUntilTheUserScrollsAway) {
  AddForty();
  QScrollBar* bar = Form->ListView1->verticalScrollBar();
  TJobProgress progress;
  progress.CurrentMs = 500;
  progress.TotalMs = 1000;
  C().ffVCLProgress(List().Queue().At(39), progress);
  ASSERT_EQ(bar->value(), bar->maximum());
  ASSERT_GT(bar->maximum(), 0);

  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  C().ffVCLProgress(List().Queue().At(39), progress);
  EXPECT_EQ(bar->value(), 0) << "the list jumped back to the converting row";
}

TEST_F(ConversionRun, TheListStaysWithARowTheUserSelected) {
  AddForty();
  Form->ListView1->selectRow(0);
  TJobProgress progress;
  progress.CurrentMs = 500;
  progress.TotalMs = 1000;
  C().ffVCLProgress(List().Queue().At(39), progress);
  EXPECT_EQ(Form->ListView1->verticalScrollBar()->value(), 0) << "the list left the row the user selected";
}

TEST_F(ConversionRun, AJobsEndLandsInItsOwnRowAfterEarlierRowsWereRemoved) {
  Add({Q(MakeVideo("a.mp4")), Q(MakeVideo("b.mp4")), Q(MakeVideo("c.mp4"))});
  TQueuedJob stopped = List().Queue().At(2);
  stopped.Status = TJobStatus::Stopped;
  C().ButtonRemoveClick({List().IdAt(0)});

  C().ffVCLTerminate(stopped);

  ASSERT_EQ(List().Count(), 2);
  EXPECT_EQ(Cell(0, ColProgress), "");
  EXPECT_EQ(Cell(1, ColProgress), "Abort");
}

TEST_F(ConversionRun, AJobThatCannotBeBuiltSaysSoFailsWithItsReasonLeavesNoFileAndTheRunGoesOn) {
  Add({Q(MakeVideo("a.mp4")), Q(MakeVideo("b.mp4"))});
  // A quality whose number cannot be read.
  C().Controls.ComboVideoBitrate.Assign({"lots Kbps"}, 0);

  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());

  EXPECT_EQ(Said(),
            (QStringList{QStringLiteral("Fail to add file to list!"), QStringLiteral("Fail to add file to list!"),
                         QStringLiteral("All Conversions Completed")}));
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(Cell(row, ColProgress), "Fail") << row;
    EXPECT_FALSE(List().Row(row).ProgressTip.empty()) << row;
  }
  EXPECT_TRUE(std::filesystem::is_empty(Out));
}

TEST_F(ConversionRun, AFailedJobShowsFailWithItsReasonAsTheTip) {
  Add({Q(MakeVideo("a.mp4"))});
  TQueuedJob failed = List().Queue().At(0);
  failed.Status = TJobStatus::Failed;
  failed.Reason = "Error while writing to output file #0 (No space left on device)";

  C().ffVCLTerminate(failed);

  EXPECT_EQ(Cell(0, ColProgress), "Fail");
  EXPECT_TRUE(Form->ListView1->model()->index(0, ColProgress).data(Qt::ToolTipRole).toString().startsWith(
      QStringLiteral("Error while writing to output file #0 (No space left on device)\n")));
}

// Pause holds the converting file where it is (the Stop question answered
// No keeps it held); Resume goes on; "Stop After Current File(s)" lets the
// converting file finish, starts no other and leaves those rows to convert.
TEST_F(ConversionRun, PauseResumeAndStopAfterTheCurrentFile) {
  Add({Q(MakeVideo("long.mp4", 20)), Q(MakeVideo("b.mp4")), Q(MakeVideo("c.mp4"))});
  C().Options.ComboRunEnd.SetItemIndex(RunEndQuit);  // not done after such a stop
  Convert();
  ASSERT_TRUE(WaitFor([&] { return !Cell(0, ColFrames).empty(); })) << "the job reported no progress";
  Form->PauseConvert1->trigger();
  EXPECT_EQ(Form->PauseConvert1->text(), QStringLiteral("&Resume"));
  EXPECT_EQ(Form->StatusPanelReady->text(), QStringLiteral("Paused"));
  ASSERT_TRUE(WaitFor([&] { return C().ffVCL.TaskCount() > 0 && C().ffVCL.TaskHeldByPause(0); }));
  Prompts.QuestionAnswers.push_back(false);
  QTest::mouseClick(Form->ButtonStopConvert, Qt::LeftButton);
  QTest::qWait(300);
  EXPECT_TRUE(C().ffVCL.TaskHeldByPause(0)) << "No to the stop question lifted the user's pause";
  const std::string frames = Cell(0, ColFrames);
  test::SaveScreenshot(*Form, QStringLiteral("main-window-run-paused"));

  Form->StopAfterCurrent1->trigger();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_NE(Cell(0, ColFrames), frames) << "the paused file did not go on";
  EXPECT_EQ(Cell(0, ColProgress), "Done");
  for (int row : {1, 2}) {
    EXPECT_EQ(Cell(row, ColProgress), "") << row;
    EXPECT_TRUE(List().Row(row).Checked) << row;
  }
  EXPECT_FALSE(std::filesystem::exists(OutputOf("b")));
  EXPECT_EQ(Said(), QStringList{QStringLiteral("Conversions Stopped After The Current Files")});
  EXPECT_EQ(Form->StatusPanelReady->text(), QStringLiteral("Ready"));
}

// "Show Log" gives each row the engine's lines of its own conversion, and a
// Fail row's tip points to it.
TEST_F(ConversionRun, ShowLogGivesEachRowItsOwnConversionsLines) {
  Add({Q(MakeVideo("first.mp4")), Q(MakeVideo("second.mp4")), Q(MakeText("notes.mp4"))});
  Form->ListView1->model()->setData(Form->ListView1->model()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  Form->ListView1->selectRow(0);
  Form->ShowLog1->trigger();
  Form->ListView1->selectRow(1);
  Form->ShowLog1->trigger();
  std::vector<TScriptedPrompts::TAsked> shown;
  for (const auto& asked : Prompts.Asked)
    if (asked.Kind == TScriptedPrompts::TKind::ShowText) shown.push_back(asked);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].Text, QStringLiteral("Log of first.mp4"));
  EXPECT_TRUE(shown[0].Preselected.contains(QStringLiteral("first.3gp"))) << shown[0].Preselected.toStdString();
  EXPECT_TRUE(shown[0].Preselected.contains(QStringLiteral("Stream mapping:")));
  EXPECT_FALSE(shown[0].Preselected.contains(QStringLiteral("second")));
  EXPECT_EQ(shown[1].Preselected, QStringLiteral("The file has not been converted since the program started."));
  EXPECT_EQ(Cell(2, ColProgress), "Fail");
  const QAbstractItemModel* model = Form->ListView1->model();
  EXPECT_TRUE(model->data(model->index(2, ColProgress), Qt::ToolTipRole).toString().endsWith(QStringLiteral("Show Log")));
}

// Files another start hands over during a run are added once it has ended.
TEST_F(ConversionRun, FilesHandedOverDuringARunAreAddedAfterIt) {
  const auto fifo = StartHeldRun();
  ASSERT_TRUE(fifo);
  const std::string late = MakeVideo("late.mp4");
  C().AddHandedFiles({late});
  EXPECT_EQ(List().Count(), 2);
  fifo->Release();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  ASSERT_TRUE(WaitFor([&] { return List().Count() == 3 && !C().Run.FAddingFiles; }));
  EXPECT_EQ(List().Row(2).Caption, late);
}
