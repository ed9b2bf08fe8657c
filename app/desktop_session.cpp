#include "app/desktop_session.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "app/maker.h"

namespace fennick {

namespace {

// A service that does not answer within this time is taken as missing; the
// window waits for it, so it must be short.
constexpr int CallTimeoutMs = 1000;

const QString PowerService = QStringLiteral("org.freedesktop.PowerManagement");
const QString PowerPath = QStringLiteral("/org/freedesktop/PowerManagement/Inhibit");
const QString PowerInterface = QStringLiteral("org.freedesktop.PowerManagement.Inhibit");
const QString GnomeService = QStringLiteral("org.gnome.SessionManager");
const QString GnomePath = QStringLiteral("/org/gnome/SessionManager");
const QString GnomeInterface = QStringLiteral("org.gnome.SessionManager");
constexpr uint32_t GnomeInhibitSuspend = 4;

// The session bus when there is one (connecting needs its address).
std::optional<QDBusConnection> SessionBus() {
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return std::nullopt;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return std::nullopt;
  return bus;
}

bool HasService(const QDBusConnection& bus, const QString& service) {
  const QDBusConnectionInterface* names = bus.interface();
  return names && names->isServiceRegistered(service).value();
}

// The cookie an inhibit call answers with, or none.
std::optional<uint32_t> Cookie(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
  bool ok = false;
  const uint32_t cookie = reply.arguments().first().toUInt(&ok);
  return ok ? std::optional<uint32_t>(cookie) : std::nullopt;
}

}  // namespace

TDBusDesktopSession::~TDBusDesktopSession() { AllowSleep(); }

void TDBusDesktopSession::InhibitSleep(const QString& reason) {
  if (FInhibitor != TInhibitor::None) return;
  std::optional<QDBusConnection> bus = SessionBus();
  if (!bus) return;
  const QString application = QString::fromLatin1(ProductName);
  if (HasService(*bus, PowerService)) {
    QDBusMessage call = QDBusMessage::createMethodCall(PowerService, PowerPath, PowerInterface, QStringLiteral("Inhibit"));
    call << application << reason;
    if (const auto cookie = Cookie(bus->call(call, QDBus::Block, CallTimeoutMs))) {
      FInhibitor = TInhibitor::PowerManagement;
      FCookie = *cookie;
      return;
    }
  }
  if (HasService(*bus, GnomeService)) {
    QDBusMessage call = QDBusMessage::createMethodCall(GnomeService, GnomePath, GnomeInterface, QStringLiteral("Inhibit"));
    call << application << uint32_t{0} << reason << GnomeInhibitSuspend;
    if (const auto cookie = Cookie(bus->call(call, QDBus::Block, CallTimeoutMs))) {
      FInhibitor = TInhibitor::GnomeSession;
      FCookie = *cookie;
    }
  }
}

void TDBusDesktopSession::AllowSleep() {
  const TInhibitor inhibitor = FInhibitor;
  FInhibitor = TInhibitor::None;
  if (inhibitor == TInhibitor::None) return;
  std::optional<QDBusConnection> bus = SessionBus();
  if (!bus) return;
  QDBusMessage call = inhibitor == TInhibitor::PowerManagement
                          ? QDBusMessage::createMethodCall(PowerService, PowerPath, PowerInterface, QStringLiteral("UnInhibit"))
                          : QDBusMessage::createMethodCall(GnomeService, GnomePath, GnomeInterface, QStringLiteral("Uninhibit"));
  call << FCookie;
  bus->send(call);
}

void TDBusDesktopSession::Notify(const QString& summary, const QString& body) {
  std::optional<QDBusConnection> bus = SessionBus();
  if (!bus) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  call << QString::fromLatin1(ProductName) << uint32_t{0} << QStringLiteral("fennick") << summary << body
       << QStringList() << QVariantMap() << int32_t{-1};
  bus->send(call);
}

void TDBusDesktopSession::NotifyWithAction(const QString& summary, const QString& body, const QString& action,
                                           std::function<void()> onAction) {
  std::optional<QDBusConnection> bus = SessionBus();
  if (!bus) return;
  const QString service = QStringLiteral("org.freedesktop.Notifications");
  const QString path = QStringLiteral("/org/freedesktop/Notifications");
  if (!FActions) {
    FActions = std::make_unique<TNotificationActions>();
    bus->connect(service, path, service, QStringLiteral("ActionInvoked"), FActions.get(),
                 SLOT(ActionInvoked(uint, QString)));
    bus->connect(service, path, service, QStringLiteral("NotificationClosed"), FActions.get(),
                 SLOT(NotificationClosed(uint, uint)));
  }
  QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
  // "default" is a click on the notification itself.
  call << QString::fromLatin1(ProductName) << uint32_t{0} << QStringLiteral("fennick") << summary << body
       << QStringList{QStringLiteral("default"), action, QStringLiteral("open"), action} << QVariantMap()
       << int32_t{-1};
  auto* watcher = new QDBusPendingCallWatcher(bus->asyncCall(call), FActions.get());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, FActions.get(),
                   [actions = FActions.get(), onAction = std::move(onAction)](QDBusPendingCallWatcher* done) {
                     const QDBusPendingReply<uint> reply = *done;
                     if (reply.isValid()) actions->Pending[reply.value()] = onAction;
                     done->deleteLater();
                   });
}

void TNotificationActions::ActionInvoked(uint id, const QString& key) {
  const auto it = Pending.find(id);
  if (it == Pending.end() || (key != QStringLiteral("default") && key != QStringLiteral("open"))) return;
  const std::function<void()> action = it->second;
  Pending.erase(it);
  if (action) action();
}

void TNotificationActions::NotificationClosed(uint id, uint) { Pending.erase(id); }

}  // namespace fennick
