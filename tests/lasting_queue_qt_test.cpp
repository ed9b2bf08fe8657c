// The window's list between sessions, several files converting at once and
// what follows the end of a run, on the offscreen platform: windows closed
// or dropped and made again over the same data folder, real conversions of
// small generated clips, and a login manager of the test's own on a private
// message bus standing in for logind.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDir>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSpinBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/main_window.h"
#include "jobs/row_texts.h"
#include "app/options_dialog.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"
#include "trickle_fifo.h"

using namespace fennick;
using test::TScriptedPrompts;
using test::WaitFor;
using namespace std::chrono_literals;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The file's length in seconds as ffprobe reads it (0 when it cannot).
double Seconds(const std::string& path) {
  const auto probe = test::ProbeFile(path);
  const auto duration = probe.find("format.duration");
  return duration == probe.end() ? 0.0 : std::stod(duration->second);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The countdown answered at once: ran out or cancelled, as told.
class TScriptedCountdown : public IEndCountdown {
 public:
  bool RunsOut = true;
  QStringList Texts;  // with the seconds filled in
  bool Run(const QString& text, int seconds) override {
    Texts << text.arg(seconds);
    return RunsOut;
  }
};

}  // namespace

// logind's manager as far as the window uses it: records each request, and
// refuses them when told to.
class TFakeLoginManager : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

 public:
  std::atomic<bool> Refuse{false};
  QStringList Calls() {
    std::lock_guard hold(FLock);
    return FCalls;
  }

 public slots:
  void Suspend(bool interactive) { Answer(QStringLiteral("Suspend"), interactive); }
  void PowerOff(bool interactive) { Answer(QStringLiteral("PowerOff"), interactive); }

 private:
  void Answer(const QString& method, bool interactive) {
    {
      std::lock_guard hold(FLock);
      FCalls << QStringLiteral("%1(%2)").arg(method, interactive ? QStringLiteral("true") : QStringLiteral("false"));
    }
    if (Refuse)
      sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                     QStringLiteral("Access denied by the test's login manager"));
  }
  std::mutex FLock;
  QStringList FCalls;
};

namespace {

struct LastingQueue : testing::Test {
  test::TempDir Dir;
  std::string Out;
  TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  std::unique_ptr<TForm1> Form;
  int Quits = 0;

  void SetUp() override {
    test::ClearSettings();
    Out = Dir.file("out");
    std::filesystem::create_directories(Out);
    ASSERT_NO_FATAL_FAILURE(Open());
  }

  // A window over the data folder as the last one left it.
  void Open() {
    Form = std::make_unique<TForm1>(Prompts, &Player,
                                    TDesktopActions{[](const QString&) { return true; }, [this] { ++Quits; }});
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    Form->activateWindow();
    C().EditOutputFolder = Out;
  }
  // Closed as the user closes it, then opened again.
  void Reopen() {
    ASSERT_TRUE(Form->close());
    Form.reset();
    ASSERT_NO_FATAL_FAILURE(Open());
  }

  // Ended as kill -9 ends it: what was saved at the last change is what
  // the next window finds, whatever the window would still save.
  void Kill() {
    C().WaitForSavedQueue();
    std::ifstream in(SavedList());
    std::stringstream saved;
    saved << in.rdbuf();
    Form.reset();
    std::ofstream(SavedList()) << saved.str();
  }

  TMainController& C() { return Form->Controller(); }
  const TFileList& List() { return C().ListView1; }
  std::string Cell(int row, TListColumn column) { return List().Row(row).Cell(column); }
  QStringList Said() { return Prompts.Texts(TScriptedPrompts::TKind::Information); }
  static std::string SavedList() { return qEnvironmentVariable("XDG_DATA_HOME").toStdString() + "/fennick/queue.json"; }

  void Add(const QStringList& files) {
    Prompts.FileAnswers.push_back(files);
    QTest::mouseClick(Form->ButtonAddFile, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !C().BackgroundThread1.Running() && !C().Run.FAddingFiles; }));
  }
  void Convert() { QTest::mouseClick(Form->ButtonConvert, Qt::LeftButton); }
  void WaitForRunEnd() {
    ASSERT_TRUE(WaitFor([&] { return !C().Run.RunActive && !C().Run.Converting && C().ffVCL.TaskCount() == 0; }));
  }
  std::string MakeVideo(const std::string& name, double seconds = 1) { return test::SmallClip(Dir, name, seconds); }
  std::string MakeText(const std::string& name) { return test::NotMediaFile(Dir, name); }
};

TEST_F(LastingQueue, TheRowsTheirChecksAndResultsComeBackInTheNextWindow) {
  const std::string a = MakeVideo("a.mp4"), b = MakeVideo("b.mp4"), notes = MakeText("notes.mp4");
  // A source of two audio tracks, the second chosen.
  const std::string two = Dir.file("two.mkv");
  ASSERT_TRUE(test::MakeMedia(
      two, "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
           "-f lavfi -i sine=sample_rate=48000:duration=1 -map 0:v -map 1:a -map 2:a -c:v mpeg4 -c:a:0 aac "
           "-ac:a:0 2 -c:a:1 ac3 -ac:a:1 6 -metadata:s:a:0 language=eng -metadata:s:a:1 language=ger"));
  ASSERT_NO_FATAL_FAILURE(Add({Q(a), Q(b), Q(notes), Q(two)}));
  C().ListView1Check(1, false);
  C().ListView1Check(3, false);
  C().AudioTrack1Click(3, 1);
  const std::vector<std::string> tracks = C().AudioTrackItems(3);
  ASSERT_EQ(tracks.size(), 2u);
  const QString trackTip = Form->ListView1->model()->index(3, ColDuration).data(Qt::ToolTipRole).toString();
  ASSERT_TRUE(trackTip.startsWith(QStringLiteral("Audio Track 2"))) << trackTip.toStdString();
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  const TFileRow before = List().Row(0);
  const std::string reason = List().Row(2).ProgressTip;
  ASSERT_FALSE(reason.empty());

  ASSERT_NO_FATAL_FAILURE(Reopen());

  ASSERT_EQ(List().Count(), 4);
  EXPECT_EQ(List().Row(0).Caption, a);
  EXPECT_EQ(List().Row(1).Caption, b);
  EXPECT_EQ(List().Row(2).Caption, notes);
  // Converted, a row is no longer to convert; a failed one still is.
  EXPECT_FALSE(List().Row(0).Checked);
  EXPECT_FALSE(List().Row(1).Checked);
  EXPECT_TRUE(List().Row(2).Checked);
  for (TListColumn column : {ColVideoSize, ColFrameRate, ColDuration}) EXPECT_EQ(Cell(0, column), before.Cell(column));
  EXPECT_EQ(Cell(0, ColProgress), "Done");
  EXPECT_EQ(Cell(1, ColProgress), "");
  EXPECT_EQ(Cell(2, ColProgress), "Fail");
  EXPECT_EQ(List().Row(2).ProgressTip, reason);
  EXPECT_EQ(C().AudioTrackItems(3), tracks);
  EXPECT_EQ(Form->ListView1->model()->index(3, ColDuration).data(Qt::ToolTipRole).toString(), trackTip);
  // The finished row still names and leads to its output.
  EXPECT_EQ(Cell(0, ColOutput), "a.3gp");
  EXPECT_EQ(Form->ListView1->model()->index(0, ColOutput).data(Qt::ToolTipRole).toString(), Q(Out + "/a.3gp"));
  EXPECT_TRUE(Said().filter(QStringLiteral("saved")).isEmpty()) << Said().join('|').toStdString();
}

TEST_F(LastingQueue, ARowConvertingWhenTheProgramEndedShowsInterruptedAndConvertsAgainWhole) {
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("a.mp4", 2))}));
  Convert();
  ASSERT_TRUE(C().Run.Converting);
  // The program ends while the row converts, without closing its window.
  Form.reset();
  // What a killed conversion leaves: its partial file, no output.
  std::filesystem::remove(Out + "/a.3gp");
  const std::string partial = Out + "/.a.3gp.fennick-partial";
  std::ofstream(partial) << "half a file";

  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_EQ(List().Count(), 1);
  EXPECT_EQ(Cell(0, ColProgress), "Interrupted");
  EXPECT_TRUE(List().Row(0).Checked);

  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(Cell(0, ColProgress), "Done");
  EXPECT_EQ(Cell(0, ColOutput), "a.3gp");
  EXPECT_NEAR(Seconds(Out + "/a.3gp"), 2.0, 0.15) << "converted from the start";
  EXPECT_FALSE(std::filesystem::exists(partial));
}

TEST_F(LastingQueue, ASavedListThatCannotBeReadIsMovedAsideWithAMessageAndTheListStartsEmpty) {
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("a.mp4"))}));
  ASSERT_TRUE(Form->close());
  Form.reset();
  std::ofstream(SavedList(), std::ios::trunc) << "{\"kind\": \"fennick-queue\", \"jobs\": [";
  Prompts.Asked.clear();

  ASSERT_NO_FATAL_FAILURE(Open());

  EXPECT_EQ(List().Count(), 0);
  std::vector<std::string> aside;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(SavedList()).parent_path()))
    if (entry.path().filename().string().starts_with("queue.json.damaged-")) aside.push_back(entry.path().string());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadBytes(aside[0]), "{\"kind\": \"fennick-queue\", \"jobs\": [");
  ASSERT_EQ(Said().size(), 1);
  EXPECT_TRUE(Said()[0].contains(Q(aside[0]))) << Said()[0].toStdString();

  // The next list is kept again.
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("b.mp4"))}));
  ASSERT_NO_FATAL_FAILURE(Reopen());
  ASSERT_EQ(List().Count(), 1);
  EXPECT_EQ(List().Row(0).Caption, Dir.file("b.mp4"));
}

TEST_F(LastingQueue, AListThatCannotBeSavedIsSaidOnce) {
  const QByteArray data = qgetenv("XDG_DATA_HOME");
  // Nobody, not even root, makes folders there.
  qputenv("XDG_DATA_HOME", "/proc/fennick-data");
  Form.reset();
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("a.mp4"))}));
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("b.mp4"))}));
  // Every save written, and its result handled.
  C().WaitForSavedQueue();
  QCoreApplication::processEvents();
  qputenv("XDG_DATA_HOME", data);

  EXPECT_EQ(List().Count(), 2);
  ASSERT_EQ(Said().size(), 1) << Said().join('|').toStdString();
  EXPECT_TRUE(Said()[0].startsWith(QStringLiteral("The file list cannot be saved:\ncannot make \"/proc/fennick-data/fennick\"")))
      << Said()[0].toStdString();
}

TEST_F(LastingQueue, ClearEmptiesTheSavedListToo) {
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("a.mp4"))}));
  ASSERT_NO_FATAL_FAILURE(Reopen());
  ASSERT_EQ(List().Count(), 1);
  QTest::mouseClick(Form->ButtonClear, Qt::LeftButton);
  Kill();
  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_EQ(List().Count(), 0);
}

// A crash or a kill keeps the choices made before it, also the quality
// and speed of a format of today, so that restored rows convert as shown.
TEST_F(LastingQueue, ChoicesAreKeptWhenTheProgramIsKilled) {
  const int h264 = Form->ComboOutputFormat->findText(QStringLiteral("MP4 - H.264 Video (*.mp4)"));
  ASSERT_GE(h264, 0);
  Form->ComboOutputFormat->setCurrentIndex(h264);
  emit Form->ComboOutputFormat->activated(h264);
  for (auto [combo, item] : {std::pair{Form->ComboVideoBitrate, "Small"}, std::pair{Form->ComboEncoderSpeed, "Faster"}}) {
    const int index = combo->findText(QString::fromLatin1(item));
    ASSERT_GE(index, 0) << item;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
  Form->OptionsDialog().SpinFilesAtOnce->setValue(2);
  Kill();

  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_EQ(Form->ComboOutputFormat->currentText(), QStringLiteral("MP4 - H.264 Video (*.mp4)"));
  EXPECT_EQ(Form->ComboVideoBitrate->currentText(), QStringLiteral("Small"));
  EXPECT_EQ(Form->ComboEncoderSpeed->currentText(), QStringLiteral("Faster"));
  EXPECT_EQ(Form->OptionsDialog().SpinFilesAtOnce->value(), 2);
  // Another format shows its own defaults, not the kept items.
  const int mkv = Form->ComboOutputFormat->findText(QStringLiteral("MKV - Matroska Video (*.mkv)"));
  Form->ComboOutputFormat->setCurrentIndex(mkv);
  emit Form->ComboOutputFormat->activated(mkv);
  EXPECT_EQ(Form->ComboVideoBitrate->currentText(), QStringLiteral("High"));
}

TEST_F(LastingQueue, APinnedRowComesBackPinnedWithItsOwnFormat) {
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("a.mp4")), Q(MakeVideo("b.mp4"))}));
  const int mp3 = Form->ComboOutputFormat->findText(QStringLiteral("MP3 - Mpeg Layer3 Audio (*.mp3)"));
  ASSERT_GE(mp3, 0);
  Form->ComboOutputFormat->setCurrentIndex(mp3);
  emit Form->ComboOutputFormat->activated(mp3);
  Form->ListView1->selectRow(0);
  Form->KeepCurrentSettings1->trigger();
  Kill();

  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_EQ(List().Count(), 2);
  // Another format chosen now: only the row without settings of its own
  // follows it.
  Form->ComboOutputFormat->setCurrentIndex(0);
  emit Form->ComboOutputFormat->activated(0);
  const QAbstractItemModel* model = Form->ListView1->model();
  EXPECT_EQ(Cell(0, ColOutput), "MP3");
  EXPECT_TRUE(model->data(model->index(0, ColOutput), Qt::FontRole).value<QFont>().italic());
  EXPECT_NE(Cell(1, ColOutput), "MP3");
}

TEST_F(LastingQueue, TwoFilesConvertAtOnceEachRowDoneWithOneCompletionMessage) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: one file at a time";
  ASSERT_NO_FATAL_FAILURE(
      Add({Q(MakeVideo("a.mp4", 2)), Q(MakeText("notes.mp4")), Q(MakeVideo("b.mp4", 2)), Q(MakeVideo("c.mp4", 2))}));
  Form->OptionsDialog().SpinFilesAtOnce->setValue(2);

  Convert();
  // The row that cannot be opened fails and its place goes to the next.
  EXPECT_EQ(C().ffVCL.TaskCount(), 2) << "both conversions run";
  EXPECT_EQ(C().ffVCL.ThreadCount(), std::max(1, static_cast<int>(std::thread::hardware_concurrency()) / 2));
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());

  EXPECT_EQ(Cell(1, ColProgress), "Fail");
  for (int row : {0, 2, 3}) EXPECT_EQ(Cell(row, ColProgress), "Done") << row;
  ASSERT_EQ(Said().size(), 1) << Said().join('|').toStdString();
  EXPECT_TRUE(Said()[0].startsWith(QStringLiteral("All Conversions Completed\n\n3 Done, 1 Fail, 0 Abort")))
      << Said()[0].toStdString();
  for (const char* name : {"a", "b", "c"}) EXPECT_NEAR(Seconds(Out + "/" + name + ".3gp"), 2.0, 0.15) << name;
  EXPECT_EQ(Form->windowTitle(), QStringLiteral("Fennick Video Converter"));
}

TEST_F(LastingQueue, StopAsksOnceAndStopsEveryConversion) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: one file at a time";
  // Sources read through pipes held back once both rows show progress, so
  // that both still convert when Stop is pressed.
  const std::string a = MakeVideo("a.mkv", 3), b = MakeVideo("b.mkv", 3);
  ASSERT_NO_FATAL_FAILURE(Add({Q(a), Q(b)}));
  test::TTrickleFifo pipeA(a), pipeB(b);
  ASSERT_TRUE(pipeA.Made() && pipeB.Made());
  C().SpinFilesAtOnceChange(2);
  Convert();
  ASSERT_TRUE(WaitFor([&] { return !Cell(0, ColFrames).empty() && !Cell(1, ColFrames).empty(); }))
      << "both rows show their progress";
  pipeA.Hold();
  pipeB.Hold();
  EXPECT_TRUE(Form->windowTitle().endsWith(QStringLiteral("% - Fennick Video Converter")));

  Prompts.QuestionAnswers.push_back(true);
  QTest::mouseClick(Form->ButtonStopConvert, Qt::LeftButton);
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());

  EXPECT_EQ(Prompts.Texts(TScriptedPrompts::TKind::Question), QStringList{QStringLiteral("Stop all conversions?")});
  EXPECT_EQ(Cell(0, ColProgress), "Abort");
  EXPECT_EQ(Cell(1, ColProgress), "Abort");
  EXPECT_TRUE(Said().isEmpty()) << Said().join('|').toStdString();
}

TEST_F(LastingQueue, TheRunOptionsAreKeptWithTheSettingsAndDefaultToOneAtATimeAndNothing) {
  EXPECT_EQ(Form->OptionsDialog().SpinFilesAtOnce->value(), 1);
  EXPECT_EQ(Form->OptionsDialog().ComboRunEnd->currentText(), QStringLiteral("Do nothing"));
  EXPECT_EQ(Form->OptionsDialog().SpinFilesAtOnce->maximum(),
            std::max(1, static_cast<int>(std::thread::hardware_concurrency())));
  Form->OptionsDialog().SpinFilesAtOnce->setValue(2);
  C().ComboRunEndChange(RunEndSuspend);

  ASSERT_NO_FATAL_FAILURE(Reopen());

  EXPECT_EQ(C().Options.SpinFilesAtOnce.Value(), std::min(2, Form->OptionsDialog().SpinFilesAtOnce->maximum()));
  EXPECT_EQ(Form->OptionsDialog().ComboRunEnd->currentText(), QStringLiteral("Suspend"));
}

// A message bus of the test's own as the system bus, with a login manager
// that records what it is asked on a thread of its own (the window asks it
// and waits).
struct RunEnd : LastingQueue {
  QProcess Bus;
  QString Address;
  QThread ServiceThread;
  TFakeLoginManager* Service = nullptr;  // lives on ServiceThread; deleted with it
  TScriptedCountdown Countdown;
  TDBusLoginManager LoginManager;
  QByteArray SystemBusBefore;

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LastingQueue::SetUp());
    Bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                               QStringLiteral("--print-address")});
    ASSERT_TRUE(Bus.waitForStarted(5000)) << "dbus-daemon (package dbus) is needed";
    ASSERT_TRUE(WaitFor([&] { return Bus.canReadLine() || Bus.waitForReadyRead(100); }, 10s));
    Address = QString::fromLocal8Bit(Bus.readLine()).trimmed();
    ASSERT_FALSE(Address.isEmpty());
    SystemBusBefore = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", Address.toLocal8Bit());
    C().SetRunEndServices(Countdown, LoginManager);
  }
  void TearDown() override {
    Form.reset();
    if (Service) {
      QDBusConnection::disconnectFromBus(QStringLiteral("test-login1"));
      QMetaObject::invokeMethod(Service, [this] { delete Service; }, Qt::BlockingQueuedConnection);
      ServiceThread.quit();
      ServiceThread.wait();
    }
    if (SystemBusBefore.isNull())
      qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    else
      qputenv("DBUS_SYSTEM_BUS_ADDRESS", SystemBusBefore);
    Bus.kill();
    Bus.waitForFinished(5000);
  }

  void OfferLoginManager() {
    ServiceThread.start();
    Service = new TFakeLoginManager;
    Service->moveToThread(&ServiceThread);
    QDBusConnection bus = QDBusConnection::connectToBus(Address, QStringLiteral("test-login1"));
    ASSERT_TRUE(bus.isConnected());
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.login1")));
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/login1"), Service, QDBusConnection::ExportAllSlots));
  }
  // A short run that ends by itself, with `action` to follow it.
  void RunThen(int action) {
    ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("a.mp4"))}));
    C().ComboRunEndChange(action);
    Convert();
    ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
    ASSERT_EQ(Cell(0, ColProgress), "Done");
  }
};

TEST_F(RunEnd, SuspendAsksTheLoginManagerAfterTheCountdownWithoutInteraction) {
  ASSERT_NO_FATAL_FAILURE(OfferLoginManager());
  ASSERT_NO_FATAL_FAILURE(RunThen(RunEndSuspend));

  ASSERT_EQ(Countdown.Texts.size(), 1);
  EXPECT_TRUE(Countdown.Texts[0].endsWith(QStringLiteral("The computer will suspend in 60 seconds.")))
      << Countdown.Texts[0].toStdString();
  EXPECT_EQ(Service->Calls(), QStringList{QStringLiteral("Suspend(false)")});
  // The summary stays for the user's return.
  ASSERT_EQ(Said().size(), 1);
  EXPECT_TRUE(Said()[0].startsWith(QStringLiteral("All Conversions Completed"))) << Said()[0].toStdString();
}

TEST_F(RunEnd, APowerOffTheLoginManagerRefusesIsSaidWithItsReasonAndNothingElseHappens) {
  ASSERT_NO_FATAL_FAILURE(OfferLoginManager());
  Service->Refuse = true;
  ASSERT_NO_FATAL_FAILURE(RunThen(RunEndPowerOff));

  EXPECT_EQ(Service->Calls(), QStringList{QStringLiteral("PowerOff(false)")});
  ASSERT_EQ(Said().size(), 1);
  EXPECT_TRUE(Said()[0].startsWith(QStringLiteral("The computer could not power off: "
                                                  "org.freedesktop.DBus.Error.AccessDenied: "
                                                  "Access denied by the test's login manager")))
      << Said()[0].toStdString();
  EXPECT_EQ(Quits, 0);
  EXPECT_TRUE(Form->isVisible());
}

TEST_F(RunEnd, WithoutALoginManagerTheMessageSaysSo) {
  ASSERT_NO_FATAL_FAILURE(RunThen(RunEndSuspend));

  ASSERT_EQ(Said().size(), 1);
  EXPECT_TRUE(Said()[0].startsWith(QStringLiteral("The computer could not suspend: "
                                                  "org.freedesktop.DBus.Error.ServiceUnknown")))
      << Said()[0].toStdString();
}

TEST_F(RunEnd, ACancelledCountdownAsksNothing) {
  ASSERT_NO_FATAL_FAILURE(OfferLoginManager());
  Countdown.RunsOut = false;
  ASSERT_NO_FATAL_FAILURE(RunThen(RunEndPowerOff));

  EXPECT_EQ(Countdown.Texts.size(), 1);
  EXPECT_TRUE(Service->Calls().isEmpty());
  ASSERT_EQ(Said().size(), 1);
  EXPECT_TRUE(Said()[0].startsWith(QStringLiteral("All Conversions Completed")));
}

TEST_F(RunEnd, QuitEndsTheProgramAfterARunButNotAfterAStoppedOne) {
  ASSERT_NO_FATAL_FAILURE(RunThen(RunEndQuit));
  EXPECT_EQ(Quits, 1);
  EXPECT_TRUE(Countdown.Texts.isEmpty());

  // Stopped: the run did not end by itself.
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeText("notes.mp4")), Q(MakeVideo("b.mp4", 3))}));
  C().ListView1Check(0, false);
  Convert();
  Prompts.QuestionAnswers.push_back(true);
  QTest::mouseClick(Form->ButtonStopConvert, Qt::LeftButton);
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_EQ(Quits, 1);
}

TEST(RunEndCountdown, TheMessageRunsOutOrIsCancelled) {
  TQtEndCountdown countdown;
  QString shown;
  QTimer::singleShot(200ms, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) shown = box->text();
  });
  EXPECT_TRUE(countdown.Run(QStringLiteral("Going in %1 seconds."), 2));
  EXPECT_EQ(shown, QStringLiteral("Going in 2 seconds."));

  QTimer::singleShot(200ms, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      box->button(QMessageBox::Cancel)->click();
  });
  EXPECT_FALSE(countdown.Run(QStringLiteral("Going in %1 seconds."), 60));
}

}  // namespace

#include "lasting_queue_qt_test.moc"

// Rows move by keyboard and by dropping them elsewhere in the list; the run
// converts in the list's order and the order is saved.
namespace fs = std::filesystem;

TEST_F(LastingQueue, RowsMovedByKeyboardAndDropConvertInTheirNewOrderAndKeepIt) {
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("a.mp4")), Q(MakeVideo("b.mp4")), Q(MakeVideo("c.mp4"))}));
  const auto order = [this] {
    std::string names;
    for (int row = 0; row < List().Count(); ++row) names += fs::path(List().Row(row).Caption).stem().string();
    return names;
  };
  Form->ListView1->setFocus();
  Form->ListView1->selectRow(2);
  QTest::keyClick(Form->ListView1, Qt::Key_Up, Qt::ControlModifier);
  QTest::keyClick(Form->ListView1, Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(order(), "cab");
  EXPECT_EQ(Form->SelectedRowIds(), std::vector<TRowId>{List().IdAt(0)}) << "the moved row stays selected";
  Form->ListView1->selectionModel()->select(Form->ListView1->model()->index(1, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  Form->ListView1->OnRowsDropped(3);
  EXPECT_EQ(order(), "cba");
  Kill();

  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_EQ(order(), "cba");
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  const auto written = [this](const char* name) { return fs::last_write_time(Out + "/" + name + ".3gp"); };
  EXPECT_LT(written("c"), written("b"));
  EXPECT_LT(written("b"), written("a"));
}

// Before converting, a row's tip and the status bar tell the size the
// settings' bit rates give; a constant-rate MP3 comes out at that size.
TEST_F(LastingQueue, TheExpectedSizeIsShownBeforeConvertingAndMatchesAConstantRateFile) {
  ASSERT_NO_FATAL_FAILURE(Add({Q(MakeVideo("talk.mp4", 10)), Q(MakeVideo("walk.mp4", 10))}));
  test::Choose(*Form->ComboOutputFormat, QStringLiteral("MP3 - Mpeg Layer3 Audio (*.mp3)"));
  const QAbstractItemModel* model = Form->ListView1->model();
  const QString tip = model->data(model->index(0, ColOutput), Qt::ToolTipRole).toString();
  EXPECT_EQ(tip, QStringLiteral("Expected size: about ") + QString::fromStdString(FormatSize(10 * 192000 / 8)));
  EXPECT_EQ(Form->StatusPanelFileSize->text(),
            QStringLiteral("Expected Size : ") + QString::fromStdString(FormatSize(2 * 10 * 192000 / 8)));
  Form->ListView1->model()->setData(model->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_NEAR(static_cast<double>(fs::file_size(Out + "/talk.mp3")), 10 * 192000 / 8, 0.03 * 10 * 192000 / 8);

  // A quality level names no rate: nothing is promised.
  test::Choose(*Form->ComboOutputFormat, QStringLiteral("MKV - Matroska Video (*.mkv)"));
  EXPECT_TRUE(model->data(model->index(1, ColOutput), Qt::ToolTipRole).toString().isEmpty());
  // PCM sound: its rate by its samples, channels and 16 bits.
  test::Choose(*Form->ComboOutputFormat, QStringLiteral("WAV - Waveform Audio (*.wav)"));
  Form->ListView1->model()->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole);
  Convert();
  ASSERT_NO_FATAL_FAILURE(WaitForRunEnd());
  EXPECT_NEAR(static_cast<double>(fs::file_size(Out + "/walk.wav")), 10 * 44100 * 4, 0.01 * 10 * 44100 * 4);
  EXPECT_EQ(C().ExpectedSizeOf(1), FormatSize(10 * 44100 * 4));
}
