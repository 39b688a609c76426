// The JACK transport, for playing in time with the other programs of a JACK server: whether it
// rolls, starting and stopping it, and leading it as its timebase, with bar, beat, tick and
// tempo read from the playback. A client of its own ("NAME-transport"), opened again when the
// server comes back.
//
// Everything is for the control thread (or a source's thread), except the position function a
// leader is given: JACK's process thread calls it, so it must be real-time safe.
#pragma once

#include <jack/transport.h>

#include <atomic>
#include <memory>
#include <string>

namespace vordel {

class JackClient;

// Where the music is, for a timebase leader: beats since the piece began and the tempo in force
// (beats a minute; 0 when nothing plays). Real-time safe.
using MusicalClock = void (*)(const void* user, double* beat, double* tempo);

// Bar, beat and tick of `beat` (counted from 0) in bars of `beats_per_bar` quarter notes, at
// `tempo`, as JACK's position carries them (bars and beats counted from 1, 1920 ticks a beat).
// Real-time safe.
void FillBarBeatTick(double beat, double tempo, int beats_per_bar, jack_position_t* position);

class JackTransport {
 public:
  // Opens the client (without starting a server). Up() says whether it is there.
  explicit JackTransport(const std::string& name);
  ~JackTransport();
  JackTransport(const JackTransport&) = delete;
  JackTransport& operator=(const JackTransport&) = delete;

  bool Up() const;
  // Whether the transport rolls (or is about to).
  bool Rolling() const;
  // Rolls from the start, or stops.
  void Start();
  void Stop();
  // Becomes the timebase leader, publishing what `clock` says; Release gives that up. False
  // when the server is not there or refuses.
  bool Lead(MusicalClock clock, const void* user, int beats_per_bar);
  void Release();

 private:
  static void OnTimebase(jack_transport_state_t state, jack_nframes_t frames,
                         jack_position_t* position, int new_position, void* arg);

  std::unique_ptr<JackClient> client_;
  std::atomic<MusicalClock> clock_{nullptr};
  std::atomic<const void*> user_{nullptr};
  std::atomic<int> beats_per_bar_{4};
  std::atomic<bool> leading_{false};
  // The last position published (JACK's process thread only).
  double last_beat_ = 0;
  double last_tempo_ = 0;
};

}  // namespace vordel
