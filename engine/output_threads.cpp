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
  std::lock_guard<std::mutex> lock(worker->LinesLock);
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
  // Until cancelled, or its own failure has been handed over and nothing is
  // left.
  while (std::optional<TDeliveredUnitPtr> unit = worker.Units.Pop([&cancelled] { return cancelled.load(); })) {
    // After a stop, a failure or a cancel what is queued is left.
    if (!worker.Units.Failed() && !FStopRequested && !cancelled) {
      WaitIfPaused();
      try {
        DeliverUnit(**unit, worker.FileIndex);
      } catch (const std::exception& e) {
        worker.Units.Fail(e.what());
      } catch (...) {
        worker.Units.Fail("unknown exception");
      }
    }
    // The unit's frames go back to their pools here, not under the lock.
    unit.reset();
    worker.Units.Done();
  }
  id = 0;
  tOutputWorker = nullptr;
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
    if (!worker.Units.Push(unit, weight, [this] { return FStopRequested.load(); })) {
      if (FStopRequested) return;
      break;  // the thread failed: raised below
    }
  }
  CollectOutputs();
}

void TCustomFFmpeg::WaitForOutputs() {
  if (!OutputThreadsRunning()) return;
  for (auto& worker : FRun->Stages->Outputs) worker->Units.WaitIdle();
  CollectOutputs();
}

void TCustomFFmpeg::CollectOutputs() {
  if (!OutputThreadsRunning()) return;
  std::string failure;
  for (auto& workerPtr : FRun->Stages->Outputs) {
    TOutputWorker& worker = *workerPtr;
    std::vector<std::pair<int, std::string>> lines;
    {
      std::lock_guard<std::mutex> lock(worker.LinesLock);
      lines.swap(worker.Lines);
    }
    std::string message;
    if (worker.Units.Failed(&message) && failure.empty()) failure = message;
    for (const auto& [level, text] : lines) Log(level, text);
  }
  if (!failure.empty()) throw FFMpegException(failure);
}

}  // namespace fennick
