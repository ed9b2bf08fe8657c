// Output threads: with several output files, each file's conversion,
// encoding and writing runs on a thread of its own, fed by the conversion
// stage with the units that concern the file, in order. Each thread writes
// only its own file's output stream records, so every file gets the bytes
// the one-thread run writes; the conversion stage reads those records only
// once the threads have done every unit handed out (WaitForOutputs).
#include <unistd.h>

#include "engine/transcode_tables.h"

namespace fennick {

namespace {

constexpr std::chrono::milliseconds kSlice{5};

// The output thread the calling thread is, if any: its log lines wait for
// the conversion stage.
thread_local TOutputWorker* tOutputWorker = nullptr;

bool Concerns(const TTranscodeRun& run, const TDeliveredUnit& unit, int outputFile) {
  for (const TOutputStream* ost : run.OutputsBySource[unit.InputIndex])
    if (ost->FileIndex == outputFile) return true;
  return false;
}

}  // namespace

bool KeepOutputThreadLine(int level, const std::string& text) {
  TOutputWorker* worker = tOutputWorker;
  if (!worker) return false;
  std::lock_guard<std::mutex> lock(worker->Lock);
  worker->Lines.emplace_back(level, text);
  return true;
}

bool TCustomFFmpeg::OutputThreadsRunning() const { return FRun && FRun->Stages && !FRun->Stages->Outputs.empty(); }

void TCustomFFmpeg::StartOutputThreads(TStageThreads& threads) {
  if (FOutputFiles.size() < 2) return;
  for (size_t i = 0; i < FOutputFiles.size(); ++i) {
    threads.Outputs.push_back(std::make_unique<TOutputWorker>());
    threads.Outputs.back()->FileIndex = static_cast<int>(i);
  }
  for (auto& worker : threads.Outputs) {
    TOutputWorker& w = *worker;
    w.Thread = std::thread([this, &w, &threads] { RunOutputThread(w, threads.Cancelled); });
  }
}

void TCustomFFmpeg::RunOutputThread(TOutputWorker& worker, const std::atomic<bool>& cancelled) {
  tOutputWorker = &worker;
  std::atomic<uint32_t>& id = FOutputThreadIds[worker.FileIndex];
  id = static_cast<uint32_t>(gettid());
  for (;;) {
    TDeliveredUnitPtr unit;
    bool failed;
    {
      std::unique_lock<std::mutex> lock(worker.Lock);
      while (worker.Units.empty()) {
        if (cancelled) {
          id = 0;
          tOutputWorker = nullptr;
          return;
        }
        worker.Changed.wait_for(lock, kSlice);
      }
      unit = std::move(worker.Units.front());
      worker.Units.pop_front();
      worker.Weight -= unit->Weight();
      worker.Busy = true;
      failed = worker.Failed;
    }
    worker.Changed.notify_all();
    // After a stop, a failure or a cancel what is queued is left.
    if (!failed && !FStopRequested && !cancelled) {
      WaitIfPaused();
      try {
        DeliverUnit(*unit, worker.FileIndex);
      } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(worker.Lock);
        worker.Failed = true;
        worker.Failure = e.what();
      } catch (...) {
        std::lock_guard<std::mutex> lock(worker.Lock);
        worker.Failed = true;
        worker.Failure = "unknown exception";
      }
    }
    // The unit's frames go back to their pools here, not under the lock.
    unit.reset();
    {
      std::lock_guard<std::mutex> lock(worker.Lock);
      worker.Busy = false;
    }
    worker.Changed.notify_all();
  }
}

void TCustomFFmpeg::HandOutUnit(TDeliveredUnit&& delivered) {
  if (!OutputThreadsRunning()) {
    DeliverUnit(delivered, -1);
    return;
  }
  // Shared by the output threads; the last one done frees it.
  const auto unit = std::make_shared<TDeliveredUnit>(std::move(delivered));
  TTranscodeRun& run = *FRun;
  const int weight = unit->Weight();
  for (auto& workerPtr : run.Stages->Outputs) {
    TOutputWorker& worker = *workerPtr;
    if (!Concerns(run, *unit, worker.FileIndex)) continue;
    std::unique_lock<std::mutex> lock(worker.Lock);
    while (worker.Weight > 0 && worker.Weight + weight > TOutputWorker::kCapacity && !worker.Failed) {
      if (FStopRequested) return;
      worker.Changed.wait_for(lock, kSlice);
    }
    if (worker.Failed) break;
    worker.Units.push_back(unit);
    worker.Weight += weight;
    lock.unlock();
    worker.Changed.notify_all();
  }
  CollectOutputs();
}

void TCustomFFmpeg::WaitForOutputs() {
  if (!OutputThreadsRunning()) return;
  for (auto& workerPtr : FRun->Stages->Outputs) {
    TOutputWorker& worker = *workerPtr;
    std::unique_lock<std::mutex> lock(worker.Lock);
    while (!worker.Units.empty() || worker.Busy) worker.Changed.wait_for(lock, kSlice);
  }
  CollectOutputs();
}

void TCustomFFmpeg::CollectOutputs() {
  if (!OutputThreadsRunning()) return;
  std::string failure;
  for (auto& workerPtr : FRun->Stages->Outputs) {
    TOutputWorker& worker = *workerPtr;
    std::vector<std::pair<int, std::string>> lines;
    {
      std::lock_guard<std::mutex> lock(worker.Lock);
      if (worker.Failed && failure.empty()) failure = worker.Failure;
      lines.swap(worker.Lines);
    }
    for (const auto& [level, text] : lines) Log(level, text);
  }
  if (!failure.empty()) throw FFMpegException(failure);
}

}  // namespace fennick
