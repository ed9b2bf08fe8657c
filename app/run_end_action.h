// What the window does after a run that ended by itself, when the options
// ask for more than nothing: the desktop's login manager (logind, on the
// system bus) suspends or powers off the computer, after a countdown the
// user can cancel.
#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace fennick {

// The login manager's requests; each returns empty text when it was
// accepted, else why not (the D-Bus error's name and text).
class ILoginManager {
 public:
  virtual ~ILoginManager() = default;
  virtual QString Suspend() = 0;
  virtual QString PowerOff() = 0;
};

// org.freedesktop.login1 on the system bus ($DBUS_SYSTEM_BUS_ADDRESS, else
// the system's socket), asked without interaction (no password dialog of
// its own). Each request uses a connection of its own, so that the bus
// named at that moment is the one asked.
class TDBusLoginManager : public ILoginManager {
  Q_DECLARE_TR_FUNCTIONS(TDBusLoginManager)

 public:
  QString Suspend() override;
  QString PowerOff() override;

 private:
  QString Call(const QString& method);
};

// The countdown before the computer goes: a message with a "Cancel" button.
class IEndCountdown {
 public:
  virtual ~IEndCountdown() = default;
  // Shows `text`, its "%1" replaced by the seconds left, for `seconds`.
  // True when the time ran out, false when the user cancelled.
  virtual bool Run(const QString& text, int seconds) = 0;
};

// A modal message box whose text counts down every second.
class TQtEndCountdown : public IEndCountdown {
  Q_DECLARE_TR_FUNCTIONS(TQtEndCountdown)

 public:
  explicit TQtEndCountdown(QWidget* parent = nullptr) : FParent(parent) {}
  bool Run(const QString& text, int seconds) override;

 private:
  QPointer<QWidget> FParent;
};

// Seconds the countdown gives the user to cancel.
inline constexpr int RunEndCountdownSeconds = 60;

}  // namespace fennick
