// A JACK server in the test program itself: the JACK functions vordel calls, defined here, take
// the place of the library's. The test decides when the server runs, when a cycle runs (with
// which clock), what arrives at input ports and how much room an output buffer has, and reads
// what was written. Its cycles run on the test's thread.
#pragma once

#include <jack/jack.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vordel::testing::fake_jack {

// JACK's microsecond clock is the monotonic clock plus this.
inline constexpr std::uint64_t kClockOffsetUs = 5'000'000'000;
inline constexpr jack_nframes_t kFrames = 48;  // a period: 1 ms at 48 kHz
inline constexpr float kPeriodUs = 1000.0F;

struct Written {
  std::string port;
  std::uint32_t offset;
  std::vector<std::uint8_t> bytes;
};

// A fresh server (up or not), no clients, nothing written.
void Reset(bool up);
// The server stops: every client hears of it as from JACK's own thread.
void ShutDown();
// A server runs again (its clients must open anew).
void Start();
// Every client hears of an xrun, as from JACK's own thread.
void Xrun();
// One process cycle of every active client, starting at JACK time `cycle_us`.
void RunCycle(std::uint64_t cycle_us);
// JACK time now.
std::uint64_t Now();
// What the cycles wrote to output ports, in order.
std::vector<Written> TakeWritten();
// Events a cycle writes per output port before its buffer is full (default: unlimited).
void SetRoom(std::size_t events);
// Raw bytes that arrive at every input port in the next cycle.
void Arrive(const std::vector<std::uint8_t>& bytes);
// Other clients' ports, and the connections made ("source>destination").
void AddPort(const std::string& name, unsigned long flags);
std::vector<std::string> Connections();
// Activating a client fails.
void RefuseActivation(bool refuse);
// Clients open now, and port lists handed out and not yet given back.
int OpenClients();
int PortListsOut();

}  // namespace vordel::testing::fake_jack
