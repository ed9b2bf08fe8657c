// A named pipe in place of a media file, for tests whose task must still be
// reading when they act.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace fennick::test {

using namespace std::chrono_literals;

// A named pipe in place of a file, fed with the file's bytes a little at a
// time (so that the task reads for a while and reports progress), and held
// back on request: a task reading it waits until Release.
class TTrickleFifo {
 public:
  explicit TTrickleFifo(const std::string& path) : FPath(path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    FBytes = bytes.str();
    std::filesystem::remove(path);
    FMade = ::mkfifo(path.c_str(), 0600) == 0;
    if (FMade) FThread = std::thread([this] { Feed(); });
  }
  ~TTrickleFifo() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FQuit = true;
    }
    FChanged.notify_all();
    if (!FThread.joinable()) return;
    // A writer blocked on a full pipe is freed by reading what it wrote.
    const int reader = ::open(FPath.c_str(), O_RDONLY | O_NONBLOCK);
    char sink[4096];
    while (!FDone.load()) {
      if (reader < 0 || ::read(reader, sink, sizeof sink) <= 0) std::this_thread::sleep_for(5ms);
    }
    if (reader >= 0) ::close(reader);
    FThread.join();
  }
  bool Made() const { return FMade; }
  void Hold() {
    std::lock_guard<std::mutex> lock(FLock);
    FHold = true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FHold = false;
    }
    FChanged.notify_all();
  }

 private:
  void Feed() {
    int fd = -1;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (fd < 0 && !Quitting() && std::chrono::steady_clock::now() < deadline) {
      fd = ::open(FPath.c_str(), O_WRONLY | O_NONBLOCK);  // fails until a reader has opened it
      if (fd < 0) std::this_thread::sleep_for(5ms);
    }
    if (fd >= 0) {
      ::fcntl(fd, F_SETFL, 0);
      for (size_t at = 0; at < FBytes.size();) {
        {
          std::unique_lock<std::mutex> lock(FLock);
          FChanged.wait_for(lock, 60s, [this] { return !FHold || FQuit; });
          if (FQuit) break;
        }
        const ssize_t written = ::write(fd, FBytes.data() + at, std::min<size_t>(2048, FBytes.size() - at));
        if (written <= 0) break;  // the reader has gone
        at += static_cast<size_t>(written);
        std::this_thread::sleep_for(20ms);
      }
      ::close(fd);
    }
    FDone = true;
  }
  bool Quitting() {
    std::lock_guard<std::mutex> lock(FLock);
    return FQuit;
  }

  std::string FPath, FBytes;
  bool FMade = false;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FHold = false, FQuit = false;
  std::atomic<bool> FDone{false};
  std::thread FThread;
};

}  // namespace fennick::test
