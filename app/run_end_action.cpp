#include "app/run_end_action.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QMessageBox>
#include <QTimer>

#include <atomic>

namespace fennick {

namespace {

constexpr const char* kLoginService = "org.freedesktop.login1";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kLoginInterface = "org.freedesktop.login1.Manager";
constexpr const char* kSystemBusSocket = "unix:path=/var/run/dbus/system_bus_socket";

QString ErrorText(const QString& name, const QString& message) {
  if (name.isEmpty()) return message.isEmpty() ? TDBusLoginManager::tr("no answer") : message;
  return message.isEmpty() ? name : name + QStringLiteral(": ") + message;
}

}  // namespace

QString TDBusLoginManager::Suspend() { return Call(QStringLiteral("Suspend")); }
QString TDBusLoginManager::PowerOff() { return Call(QStringLiteral("PowerOff")); }

QString TDBusLoginManager::Call(const QString& method) {
  static std::atomic<int> connections{0};
  const QString name = QStringLiteral("fennick-login-manager-%1").arg(++connections);
  const QByteArray given = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
  const QString address = given.isEmpty() ? QString::fromLatin1(kSystemBusSocket) : QString::fromLocal8Bit(given);
  QString error;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
      const QDBusError reason = bus.lastError();
      error = tr("the system bus cannot be reached (%1)").arg(ErrorText(reason.name(), reason.message()));
    } else {
      QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kLoginService), QString::fromLatin1(kLoginPath),
                                                         QString::fromLatin1(kLoginInterface), method);
      call << false;  // not interactive
      const QDBusMessage reply = bus.call(call, QDBus::Block);
      if (reply.type() != QDBusMessage::ReplyMessage) error = ErrorText(reply.errorName(), reply.errorMessage());
    }
  }
  QDBusConnection::disconnectFromBus(name);
  return error;
}

bool TQtEndCountdown::Run(const QString& text, int seconds) {
  QMessageBox box(QMessageBox::Information, tr("Information"), text.arg(seconds), QMessageBox::Cancel,
                  FParent);
  int left = seconds;
  bool elapsed = false;
  QTimer tick;
  tick.setInterval(1000);
  QObject::connect(&tick, &QTimer::timeout, &box, [&] {
    if (--left > 0) return box.setText(text.arg(left));
    elapsed = true;
    box.done(QMessageBox::Ok);
  });
  tick.start();
  box.exec();
  return elapsed;
}

}  // namespace fennick
