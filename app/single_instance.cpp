#include "app/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace fennick {

namespace {

// What a later start writes to the local socket: one path per line, UTF-8.
QByteArray Encode(const QStringList& files) { return files.join(QLatin1Char('\n')).toUtf8() + '\n'; }

bool HandOverByBus(QDBusConnection& bus, const QStringList& files) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(QString::fromLatin1(TSingleInstance::ServiceName),
                                     QString::fromLatin1(TSingleInstance::ObjectPath),
                                     QStringLiteral("org.quarvel.Fennick"), QStringLiteral("AddFiles"));
  call << files;
  return bus.call(call, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

bool HandOverBySocket(const QStringList& files) {
  QLocalSocket socket;
  socket.connectToServer(TSingleInstance::SocketPath());
  if (!socket.waitForConnected(2000)) return false;
  socket.write(Encode(files));
  if (!socket.waitForBytesWritten(5000)) return false;
  socket.disconnectFromServer();
  return true;
}

}  // namespace

QString TSingleInstance::SocketPath() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  return folder + QStringLiteral("/fennick-%1.socket").arg(getuid());
}

std::unique_ptr<TSingleInstance> TSingleInstance::Claim(const QStringList& files, bool& handedOver) {
  handedOver = false;
  std::unique_ptr<TSingleInstance> instance(new TSingleInstance());
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    // The object first, so that a start that finds the name finds it too.
    bus.registerObject(QString::fromLatin1(ObjectPath), instance.get(), QDBusConnection::ExportScriptableSlots);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        QString::fromLatin1(ServiceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
      instance->FOnBus = true;
      return instance;
    }
    bus.unregisterObject(QString::fromLatin1(ObjectPath));
    if (HandOverByBus(bus, files)) {
      handedOver = true;
      return nullptr;
    }
    return nullptr;  // the bus answers but the other instance does not: alone
  }
  if (HandOverBySocket(files)) {
    handedOver = true;
    return nullptr;
  }
  // Nobody listens: a socket left by a crash is replaced.
  QLocalServer::removeServer(SocketPath());
  instance->FServer = std::make_unique<QLocalServer>();
  instance->FServer->setSocketOptions(QLocalServer::UserAccessOption);
  if (!instance->FServer->listen(SocketPath())) return nullptr;
  TSingleInstance* self = instance.get();
  connect(self->FServer.get(), &QLocalServer::newConnection, self, [self] {
    while (QLocalSocket* socket = self->FServer->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, [self, socket] {
        const QString text = QString::fromUtf8(socket->readAll());
        QStringList files = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        self->AddFiles(files);
        socket->deleteLater();
      });
    }
  });
  return instance;
}

TSingleInstance::~TSingleInstance() {
  if (FOnBus) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(QString::fromLatin1(ServiceName));
    bus.unregisterObject(QString::fromLatin1(ObjectPath));
  }
  if (FServer) FServer->close();
}

void TSingleInstance::AddFiles(const QStringList& files) {
  if (OnFiles) OnFiles(files);
}

}  // namespace fennick
