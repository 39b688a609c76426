#include "sequence/schedule.h"

namespace vordel {

std::array<MidiMessage, 12> EnsembleMessages(const track_preset (&presets)[4],
                                             std::optional<int> volume) {
  std::array<MidiMessage, 12> out{};
  for (std::size_t t = 0; t < 4; ++t) {
    const track_preset& p = presets[t];
    const auto ch = static_cast<unsigned char>(t + 1);
    out[3 * t] = ProgramMessage(ch, static_cast<unsigned char>(p.Patch));
    out[3 * t + 1] = ControlMessage(ch, 10, static_cast<unsigned char>(p.Panning));
    out[3 * t + 2] = ControlMessage(ch, 7, static_cast<unsigned char>(volume.value_or(p.Volume)));
  }
  return out;
}

Schedule BuildSchedule(const Piece& piece) {
  Schedule s;
  s.ensemble = EnsembleMessages(piece.tracks());
  s.messages.reserve(piece.EventCount());
  for (const PieceSection& section : piece.sections()) {
    for (const ComposedEvent& e : section.events) {
      s.messages.push_back(
          {e.tick, NoteMessage(static_cast<unsigned char>(e.channel & 0xFF),
                               static_cast<unsigned char>(SoundingKey(e.channel, e.key)),
                               static_cast<unsigned char>(SoundingVelocity(e.velocity)))});
    }
    s.object_end_ticks.push_back(section.end_tick);
  }
  s.end_tick = piece.end_tick();
  s.beats = BuildBeatMap(piece);
  return s;
}

}  // namespace vordel
