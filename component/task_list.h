// The component's task list: one engine per task, with its place in the list
// and the thread that runs it. Private to the component (FFmpegVCL.cpp, the
// log routing and the component's own tests).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/FFmpeg.h"

namespace fennick {

class TCustomFFmpegVCL;

// One conversion task: an engine with its place in the task list and the
// thread that runs it.
class TFFmpeg : public TCustomFFmpeg {
 public:
  // Keeps the log routing's threshold in step with the libraries' log level
  // whenever the task's verbosity changes.
  TFFmpeg();

  // Position in the owning list; -1 until added and after removal.
  int Index() const { return FIndex; }
  void SetIndex(int index) { FIndex = index; }
  // gettid() of the thread that runs the task; 0 until started.
  uint32_t ThreadId() const { return FThreadId; }
  void SetThreadId(uint32_t id) { FThreadId = id; }
  // The owner's number for the task (TCustomFFmpegVCL::SetTaskTag).
  uint64_t Tag() const { return FTag; }
  void SetTag(uint64_t tag) { FTag = tag; }
  // Applies "name=value" lines through the option dispatcher.
  void ApplyExtOptions(const std::string& text);

 private:
  std::atomic<int> FIndex{-1};
  std::atomic<uint32_t> FThreadId{0};
  std::atomic<uint64_t> FTag{0};

  // Run bookkeeping of the owning component, guarded by its lock.
  friend class TCustomFFmpegVCL;
  bool FAwaitingTerminate = false;  // started (or being terminated); its terminate step not yet handled
  bool FCounted = false;            // its termination counts as finished in the current run
};

// The tasks in order; a task's index is its position.
class TFFmpegList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises std::out_of_range "List index out of bounds (i)" for a bad index.
  TFFmpeg& Item(int index) const { return *Shared(index); }
  std::shared_ptr<TFFmpeg> Shared(int index) const;
  // Appends, stores the position as the task's index and returns it.
  int Add(std::shared_ptr<TFFmpeg> task);
  // Frees item i (once nothing else holds it), removes it, renumbers the rest.
  void Delete(int index) { Extract(index); }
  // Removes item i, renumbers the rest and hands the task over (index -1).
  std::shared_ptr<TFFmpeg> Extract(int index);
  void Clear();
  // The first task whose thread is `threadId`, or null.
  TFFmpeg* FindByThreadId(uint32_t threadId) const;
  // The first task still running on `threadId` (not yet terminated), or null.
  TFFmpeg* FindRunningByThreadId(uint32_t threadId) const;
  const std::vector<std::shared_ptr<TFFmpeg>>& Items() const { return FItems; }

 private:
  void CheckIndex(int index) const;
  std::vector<std::shared_ptr<TFFmpeg>> FItems;
};

}  // namespace fennick
