#include "support/fake_rtmidi.h"

#include <rtmidi/RtMidi.h>

#include <ctime>
#include <mutex>

namespace vordel::testing::fake_rtmidi {
namespace {

struct Sequencer {
  std::mutex mutex;
  std::vector<std::string> inputs;
  bool fail_sending = false;
  std::string warning;  // what every send warns of, if anything
  std::vector<Sent> sent;
  std::string opened;
  bool closed = false;
};

Sequencer& Q() {
  static Sequencer q;
  return q;
}

std::int64_t Monotonic() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

class FakeOut : public MidiOutApi {
 public:
  RtMidi::Api getCurrentApi() override { return RtMidi::LINUX_ALSA; }
  void openPort(unsigned int number, const std::string& /*name*/) override {
    std::lock_guard<std::mutex> lock(Q().mutex);
    Q().opened = "port " + std::to_string(number);
    connected_ = true;
  }
  void openVirtualPort(const std::string& /*name*/) override {
    std::lock_guard<std::mutex> lock(Q().mutex);
    Q().opened = "virtual";
  }
  void closePort() override {
    std::lock_guard<std::mutex> lock(Q().mutex);
    Q().closed = true;
    connected_ = false;
  }
  void setClientName(const std::string& /*name*/) override {}
  void setPortName(const std::string& /*name*/) override {}
  unsigned int getPortCount() override {
    std::lock_guard<std::mutex> lock(Q().mutex);
    return static_cast<unsigned int>(Q().inputs.size());
  }
  std::string getPortName(unsigned int number) override {
    std::lock_guard<std::mutex> lock(Q().mutex);
    return number < Q().inputs.size() ? Q().inputs[number] : "";
  }
  void sendMessage(const unsigned char* message, size_t size) override {
    bool fail = false;
    std::string warning;
    {
      std::lock_guard<std::mutex> lock(Q().mutex);
      fail = Q().fail_sending;
      warning = Q().warning;
      if (!fail) {
        Q().sent.push_back({std::vector<std::uint8_t>(message, message + size), Monotonic()});
      }
    }
    if (fail) {
      error(RtMidiError::DRIVER_ERROR, "the sequencer went away");
    } else if (!warning.empty()) {
      error(RtMidiError::WARNING, warning);
    }
  }

 protected:
  void initialize(const std::string& /*name*/) override {}
};

}  // namespace

void Reset(const std::vector<std::string>& inputs) {
  std::lock_guard<std::mutex> lock(Q().mutex);
  Q().inputs = inputs;
  Q().fail_sending = false;
  Q().warning.clear();
  Q().sent.clear();
  Q().opened.clear();
  Q().closed = false;
}

void FailSending(bool fail) {
  std::lock_guard<std::mutex> lock(Q().mutex);
  Q().fail_sending = fail;
}

void WarnWhenSending(const std::string& text) {
  std::lock_guard<std::mutex> lock(Q().mutex);
  Q().warning = text;
}

std::vector<Sent> TakeSent() {
  std::lock_guard<std::mutex> lock(Q().mutex);
  std::vector<Sent> s;
  s.swap(Q().sent);
  return s;
}

std::string Opened() {
  std::lock_guard<std::mutex> lock(Q().mutex);
  return Q().opened;
}

bool Closed() {
  std::lock_guard<std::mutex> lock(Q().mutex);
  return Q().closed;
}

}  // namespace vordel::testing::fake_rtmidi

// The output ports vordel opens come from here.
RtMidiOut::RtMidiOut(RtMidi::Api /*api*/, const std::string& /*client_name*/) {
  rtapi_ = new vordel::testing::fake_rtmidi::FakeOut();
}
