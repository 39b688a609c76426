#include "outputs/delivery_thread.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/clock.h"

namespace vordel {
namespace {

// A device that keeps what the delivery thread hands it.
class FakeDevice : public DeliveryThreadOutput {
 public:
  FakeDevice(Timing timing, std::int64_t latency) : DeliveryThreadOutput(timing, latency, false) {
    Start();
  }
  ~FakeDevice() override { Close(); }
  std::string Describe() const override { return "fake"; }

  struct Delivery {
    MidiMessage message;
    std::int64_t due;
    std::int64_t at;
  };
  std::vector<Delivery> delivered;  // read after Close
  bool device_closed = false;
  unsigned fail_with = kMidiOk;

 protected:
  unsigned Deliver(const MidiMessage& m, std::int64_t due) override {
    delivered.push_back({m, due, MonotonicNanos()});
    return fail_with;
  }
  void CloseDevice() override { device_closed = true; }
};

TEST(DeliveryThread, DeliversBothLanesInDueOrderAndNotBeforeTheirTime) {
  FakeDevice dev(DeliveryThreadOutput::Timing::kAtDueTime, 2 * kNanosPerMilli);
  const std::int64_t base = MonotonicNanos() + 20 * kNanosPerMilli;
  std::thread tick([&] {
    for (int i = 0; i < 200; ++i) {
      dev.Send(Lane::kPlayer, NoteMessage(1, static_cast<unsigned char>(i % 128), 90),
               base + 2 * i * 100000);
      dev.Commit(Lane::kPlayer);
    }
  });
  for (int i = 0; i < 200; ++i) {
    dev.Send(Lane::kControl, ControlMessage(2, 7, static_cast<unsigned char>(i % 128)),
             base + (2 * i + 1) * 100000);
    dev.Commit(Lane::kControl);
  }
  tick.join();
  dev.Close();
  EXPECT_TRUE(dev.device_closed);
  ASSERT_EQ(dev.delivered.size(), 400u);
  for (std::size_t i = 0; i < dev.delivered.size(); ++i) {
    const auto& d = dev.delivered[i];
    // Alternating lanes, as their due times alternate.
    EXPECT_EQ(d.message.bytes[0] & 0xF0, i % 2 == 0 ? 0x90 : 0xB0) << i;
    EXPECT_GE(d.at, d.due + 2 * kNanosPerMilli) << i;  // never before due time plus latency
  }
}

}  // namespace
}  // namespace vordel
