// What a run asks of the user's desktop session beyond the window: keeping
// the computer awake while it converts, and a notification when it ends
// unseen. Both are favours: where the desktop offers no such service (no
// session bus, as on a build machine) they are silently skipped.
#pragma once

#include <memory>

#include <map>

#include <functional>

#include <QObject>

#include <QString>

#include <cstdint>
#include <optional>

namespace fennick {

class IDesktopSession {
 public:
  virtual ~IDesktopSession() = default;
  // Keeps the computer from sleeping until AllowSleep; reason is what the
  // desktop shows for it. A second call while held changes nothing.
  virtual void InhibitSleep(const QString& reason) = 0;
  virtual void AllowSleep() = 0;
  // One desktop notification; not waited for.
  virtual void Notify(const QString& summary, const QString& body) = 0;
  // The same with a button `action` (and a click on the notification) that
  // calls onAction on the interface thread; where the desktop offers no
  // such buttons, a plain notification.
  virtual void NotifyWithAction(const QString& summary, const QString& body, const QString& action,
                                std::function<void()> onAction) {
    (void)action;
    (void)onAction;
    Notify(summary, body);
  }
};

// The notifications' answers from the bus: the action chosen in one of
// ours calls its function.
class TNotificationActions : public QObject {
  Q_OBJECT

 public:
  std::map<uint32_t, std::function<void()>> Pending;  // by notification id

 public slots:
  void ActionInvoked(uint id, const QString& key);
  void NotificationClosed(uint id, uint reason);
};

// The session bus's services: the power management inhibit service
// (org.freedesktop.PowerManagement, or GNOME's session manager where that is
// missing) and org.freedesktop.Notifications.
class TDBusDesktopSession : public IDesktopSession {
 public:
  TDBusDesktopSession() = default;
  ~TDBusDesktopSession() override;
  TDBusDesktopSession(const TDBusDesktopSession&) = delete;
  TDBusDesktopSession& operator=(const TDBusDesktopSession&) = delete;

  void InhibitSleep(const QString& reason) override;
  void AllowSleep() override;
  void Notify(const QString& summary, const QString& body) override;
  void NotifyWithAction(const QString& summary, const QString& body, const QString& action,
                        std::function<void()> onAction) override;

 private:
  std::unique_ptr<TNotificationActions> FActions;
  enum class TInhibitor { None, PowerManagement, GnomeSession };
  TInhibitor FInhibitor = TInhibitor::None;
  uint32_t FCookie = 0;
};

}  // namespace fennick
