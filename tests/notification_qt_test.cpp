// The run's notification on a desktop of the test's own (a message bus and
// a notification server that records what it is asked): its "Open Folder"
// button calls back into the window.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTest>
#include <QVariantMap>

#include "app/desktop_session.h"
#include "test_support.h"

namespace {

class TFakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList Actions;
  int Calls = 0;

 public slots:
  uint Notify(const QString&, uint, const QString&, const QString&, const QString&, const QStringList& actions,
              const QVariantMap&, int) {
    Actions = actions;
    ++Calls;
    return 41;
  }
};

}  // namespace

TEST(Notification, TheOpenFolderButtonCallsBack) {
  QProcess bus;
  bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                            QStringLiteral("--print-address")});
  ASSERT_TRUE(bus.waitForStarted(5000)) << "dbus-daemon (package dbus) is needed";
  ASSERT_TRUE(QTest::qWaitFor([&] { return bus.canReadLine() || bus.waitForReadyRead(100); }, 10000));
  const QString address = QString::fromLocal8Bit(bus.readLine()).trimmed();
  // The window's session bus is this one (read at its first use).
  qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
  {
    TFakeNotifications server;
    QDBusConnection serverBus = QDBusConnection::connectToBus(address, QStringLiteral("test-notifications"));
    ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                         QDBusConnection::ExportAllSlots));
    fennick::TDBusDesktopSession session;
    int opened = 0;
    session.NotifyWithAction(QStringLiteral("All Conversions Completed"), QStringLiteral("3 Done"),
                             QStringLiteral("Open Folder"), [&opened] { ++opened; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Calls == 1; }, 5000));
    EXPECT_TRUE(server.Actions.contains(QStringLiteral("Open Folder")));
    QTest::qWait(200);  // the id's reply reaches the session
    // Another notification's action does nothing; ours opens once.
    for (const uint id : {40u, 41u, 41u}) {
      QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                       QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("ActionInvoked"));
      signal << id << QStringLiteral("open");
      serverBus.send(signal);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened > 0; }, 5000));
    QTest::qWait(200);
    EXPECT_EQ(opened, 1);
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("test-notifications"));
  bus.kill();
  bus.waitForFinished(5000);
}

#include "notification_qt_test.moc"
