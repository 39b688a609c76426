// An ALSA sequencer in the test program itself: the RtMidi output ports vordel opens are made
// here instead of in the library. The test names the ports there are, makes the sequencer fail,
// and reads what was sent and when.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vordel::testing::fake_rtmidi {

struct Sent {
  std::vector<std::uint8_t> bytes;
  std::int64_t at_ns;  // the monotonic clock when it was handed over
};

// No port opened yet, nothing sent; these input ports to connect to.
void Reset(const std::vector<std::string>& inputs);
// Every send reports a driver error.
void FailSending(bool fail);
// Every send succeeds with this warning ("": none).
void WarnWhenSending(const std::string& text);
std::vector<Sent> TakeSent();
// "port N" or "virtual", and whether it was closed.
std::string Opened();
bool Closed();

}  // namespace vordel::testing::fake_rtmidi
