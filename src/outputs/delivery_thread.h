// An output whose device is fed by a delivery thread of its own: the lanes' producers only queue
// stamped messages (real-time safe) and the delivery thread hands them to the device, either at
// their due time plus the output's latency (ports whose library sends at once) or as soon as they
// arrive (devices that schedule by themselves). About once a second the thread also lets the
// device check itself. Send and Commit: any lane's producer, real-time safe. Close and the
// constructor: control thread. Deliver, CheckDevice: the delivery thread only.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "midi/output.h"
#include "outputs/lanes.h"

namespace vordel {

class DeliveryThreadOutput : public MidiOutput {
 public:
  enum class Timing { kAtDueTime, kWhenQueued };

  ~DeliveryThreadOutput() override;
  unsigned Status() const override { return status_.load(std::memory_order_acquire); }
  unsigned Send(Lane lane, const MidiMessage& message, std::int64_t due_ns) override;
  void Commit(Lane lane) override;
  void Close() override;
  void Panic() override;
  std::uint64_t Dropped() const override { return queues_.Dropped(); }
  std::int64_t LatencyNanos() const override { return latency_ns_; }

 protected:
  // real_time: the delivery thread asks for real-time priority, just below the tick's.
  DeliveryThreadOutput(Timing timing, std::int64_t latency_ns, bool real_time);
  // Starts the delivery thread; call once the device is open.
  void Start();
  // Delivery thread: hands one message to the device; returns 0 or an error code.
  virtual unsigned Deliver(const MidiMessage& message, std::int64_t due_ns) = 0;
  // Delivery thread, every CheckInterval.
  virtual void CheckDevice() {}
  virtual std::int64_t CheckIntervalNanos() const { return 1000000000; }
  // Closing thread, after the last delivery.
  virtual void CloseDevice() {}
  void SetStatus(unsigned s) { status_.store(s, std::memory_order_release); }
  void SetLatency(std::int64_t latency_ns) { latency_ns_ = latency_ns; }

 private:
  void Run();

  Timing timing_;
  std::int64_t latency_ns_;
  bool real_time_;
  LaneQueues queues_;
  std::atomic<bool> pending_[kLaneCount] = {};
  std::atomic<unsigned> status_{kMidiOk};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> panic_settled_{false};  // a panic delivered and the device settled
  sem_t wake_;
  std::thread thread_;
  bool closed_ = false;
};

}  // namespace vordel
