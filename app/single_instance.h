// One window per user session: the first `fennick` owns the session bus
// name org.quarvel.Fennick and takes the files later starts hand it (the
// desktop's usual single-instance way); without a session bus a local
// socket in the user's runtime folder does the same. Two windows would
// otherwise save their lists over each other's.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

namespace fennick {

class TSingleInstance : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.quarvel.Fennick")

 public:
  static constexpr const char* ServiceName = "org.quarvel.Fennick";
  static constexpr const char* ObjectPath = "/org/quarvel/Fennick";

  // Becomes the session's instance, or hands `files` (absolute paths) to
  // the one that is: then `handedOver` is true and the caller ends. When
  // neither works (no bus, no runtime folder) this process goes on alone.
  static std::unique_ptr<TSingleInstance> Claim(const QStringList& files, bool& handedOver);
  ~TSingleInstance() override;

  // Files (and folders) another start handed over; empty: only come to the
  // front. On this (the interface) thread.
  std::function<void(const QStringList& files)> OnFiles;

  // The local socket's path where there is no session bus.
  static QString SocketPath();

 public slots:
  Q_SCRIPTABLE void AddFiles(const QStringList& files);

 private:
  TSingleInstance() = default;
  bool FOnBus = false;
  std::unique_ptr<QLocalServer> FServer;
};

}  // namespace fennick
