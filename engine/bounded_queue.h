// The queue between two stages of a run (a reader and the conversion stage,
// the conversion stage and an output file's thread): bounded by the weight
// of what it holds, so that memory stays bounded, and waited on without
// polling. A producer that found it full waits until it has drained to the
// refill mark, so that small items (blocks of sound) cross in batches
// rather than one thread switch each. A stop or a cancel reaches every wait
// through Wake, which the owner of the flag calls after setting it; a
// failure on either side ends the other side's waits.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace fennick {

template <typename T>
class TBoundedQueue {
 public:
  TBoundedQueue(int capacity, int refill) : FCapacity(capacity), FRefill(refill) {}
  TBoundedQueue(const TBoundedQueue&) = delete;
  TBoundedQueue& operator=(const TBoundedQueue&) = delete;

  // Hands an item of `weight` over, waiting for room; false, and the item
  // dropped, once `stop` holds or the queue has failed. An item heavier
  // than the capacity passes into an empty queue.
  template <typename Stop>
  bool Push(T item, int weight, Stop&& stop) {
    std::unique_lock<std::mutex> lock(FLock);
    while (FWeight > 0 && FWeight + weight > FCapacity && !FFailed && !stop()) {
      FProducerWaits = true;
      FChanged.wait(lock, [&] { return !FProducerWaits || FFailed || stop(); });
    }
    FProducerWaits = false;
    if (FFailed || stop()) return false;
    FWeight += weight;
    FItems.emplace_back(std::move(item), weight);
    lock.unlock();
    FChanged.notify_all();
    return true;
  }

  // The next item, waiting for one; it stays in hand until Done. Nothing
  // once the queue is empty and `stop` holds or the queue has failed (the
  // items before a failure are handed out first).
  template <typename Stop>
  std::optional<T> Pop(Stop&& stop) {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [&] { return !FItems.empty() || FFailed || stop(); });
    if (FItems.empty()) return std::nullopt;
    auto [item, weight] = std::move(FItems.front());
    FItems.pop_front();
    FWeight -= weight;
    FInHand = true;
    if (FProducerWaits && FWeight <= FRefill) FProducerWaits = false;
    lock.unlock();
    FChanged.notify_all();
    return std::move(item);
  }

  // The consumer has done with the item it took last.
  void Done() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FInHand = false;
    }
    FChanged.notify_all();
  }

  // Waits until every item handed over has been taken and done with.
  void WaitIdle() {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [&] { return FItems.empty() && !FInHand; });
  }

  // A side has failed: the other side's waits end, and the message is kept
  // for whoever reports it (the first one counts).
  void Fail(std::string message) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (!FFailed) FFailure = std::move(message);
      FFailed = true;
    }
    FChanged.notify_all();
  }
  bool Failed(std::string* message = nullptr) const {
    std::lock_guard<std::mutex> lock(FLock);
    if (FFailed && message) *message = FFailure;
    return FFailed;
  }

  // A flag a wait's `stop` asks has changed: every wait looks again. The
  // lock orders the change before a waiter's next look at it.
  void Wake() {
    { std::lock_guard<std::mutex> lock(FLock); }
    FChanged.notify_all();
  }

 private:
  const int FCapacity, FRefill;
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::pair<T, int>> FItems;
  int FWeight = 0;
  bool FProducerWaits = false;  // waits for the queue to drain to FRefill
  bool FInHand = false;
  bool FFailed = false;
  std::string FFailure;
};

}  // namespace fennick
