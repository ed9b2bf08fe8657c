// Where the queue a front end keeps between its runs lives, and how it is
// read back: $XDG_DATA_HOME/fennick/queue.json (by default
// ~/.local/share/fennick/queue.json). A job that was running when its
// program ended comes back interrupted; a file that cannot be read is moved
// aside, so that nothing of it is lost and the next start begins empty.
#pragma once

#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "jobs/job_queue.h"

namespace fennick {

// The folder of the user's data: $XDG_DATA_HOME when it is an absolute
// path, else $HOME/.local/share; empty when neither is known.
std::string UserDataFolder();
// The saved queue's path (empty when UserDataFolder is).
std::string SavedQueuePath();

struct TSavedQueue {
  TJobQueue Queue;
  // The file could not be read: why, and where it was moved (empty when it
  // could not be moved either).
  std::string Error;
  std::string MovedTo;
};

// Reads the queue saved at `path`. A missing file is an empty queue. Jobs
// that were running are interrupted. A file that cannot be read is renamed
// to `path` + ".damaged-YYYYMMDD-HHMMSS" (local time `now`; "-2", "-3" ...
// when taken).
TSavedQueue LoadSavedQueue(const std::string& path, std::time_t now);
// Saves the queue at `path`, making its folder when missing; whole or not
// at all. False with the reason.
bool SaveQueueFile(const TJobQueue& queue, const std::string& path, std::string& error);

// Saves queues on a thread of its own, so that a front end's thread never
// waits for the disk: the latest queue posted is the one written, and a
// queue posted while another is written follows it.
class TQueueSaver {
 public:
  // Told on the saver's thread after each write: "" when it was saved, else
  // why not.
  using TResult = std::function<void(const std::string& error)>;
  explicit TQueueSaver(TResult onResult);
  // Writes what is still posted, then ends.
  ~TQueueSaver();
  TQueueSaver(const TQueueSaver&) = delete;
  TQueueSaver& operator=(const TQueueSaver&) = delete;

  void Post(TJobQueue queue, std::string path);
  // Returns once every queue posted so far is written.
  void Flush();

 private:
  void Work();

  TResult FOnResult;
  std::mutex FLock;
  std::condition_variable FWake, FIdle;
  std::optional<std::pair<TJobQueue, std::string>> FPending;
  bool FWriting = false;
  bool FQuit = false;
  std::thread FThread;  // last: starts once the rest is made
};

}  // namespace fennick
