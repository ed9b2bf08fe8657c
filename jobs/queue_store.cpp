#include "jobs/queue_store.h"

#include <cstdlib>
#include <filesystem>

namespace fennick {

namespace {

constexpr const char* kQueueFolder = "fennick";
constexpr const char* kQueueFile = "queue.json";

}  // namespace

std::string UserDataFolder() {
  // XDG base directories are absolute; a relative value counts as unset.
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') return data;
  if (const char* home = std::getenv("HOME"); home && home[0] != '\0') return std::string(home) + "/.local/share";
  return {};
}

std::string SavedQueuePath() {
  const std::string data = UserDataFolder();
  return data.empty() ? std::string() : data + "/" + kQueueFolder + "/" + kQueueFile;
}

TSavedQueue LoadSavedQueue(const std::string& path, std::time_t now) {
  TSavedQueue saved;
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) return saved;
  auto queue = TJobQueue::Load(path, saved.Error);
  if (queue) {
    saved.Queue = std::move(*queue);
    saved.Error.clear();
    for (int i = 0; i < saved.Queue.Count(); ++i)
      if (saved.Queue.At(i).Status == TJobStatus::Running) saved.Queue.At(i).Status = TJobStatus::Interrupted;
    return saved;
  }
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + ".damaged-" + stamp;
  for (int n = 1; n < 100; ++n) {
    const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
    if (std::filesystem::exists(aside, ec)) continue;
    std::filesystem::rename(path, aside, ec);
    if (!ec) saved.MovedTo = aside;
    break;
  }
  return saved;
}

bool SaveQueueFile(const TJobQueue& queue, const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "no folder for the user's data ($XDG_DATA_HOME and $HOME are not set)";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (ec) {
    error = "cannot make \"" + std::filesystem::path(path).parent_path().string() + "\": " + ec.message();
    return false;
  }
  return queue.Save(path, error);
}

TQueueSaver::TQueueSaver(TResult onResult) : FOnResult(std::move(onResult)), FThread([this] { Work(); }) {}

TQueueSaver::~TQueueSaver() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FQuit = true;
  }
  FWake.notify_all();
  FThread.join();
}

void TQueueSaver::Post(TJobQueue queue, std::string path) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FPending.emplace(std::move(queue), std::move(path));
  }
  FWake.notify_all();
}

void TQueueSaver::Flush() {
  std::unique_lock<std::mutex> lock(FLock);
  FIdle.wait(lock, [this] { return !FPending && !FWriting; });
}

void TQueueSaver::Work() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    FWake.wait(lock, [this] { return FPending || FQuit; });
    if (!FPending) return;
    auto [queue, path] = std::move(*FPending);
    FPending.reset();
    FWriting = true;
    lock.unlock();
    std::string error;
    SaveQueueFile(queue, path, error);
    if (FOnResult) FOnResult(error);
    lock.lock();
    FWriting = false;
    FIdle.notify_all();
  }
}

}  // namespace fennick
