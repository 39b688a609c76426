#include "midi/midi_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "midi/midi.h"
#include "player/schedule.h"

namespace vordel {
namespace {

void Append32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Append16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void AppendTrack(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& body) {
  out.insert(out.end(), {'M', 'T', 'r', 'k'});
  Append32(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

void AppendText(std::vector<std::uint8_t>& t, std::uint8_t type, const std::string& text) {
  t.push_back(0x00);
  t.push_back(0xFF);
  t.push_back(type);
  AppendVariableLength(t, static_cast<std::uint32_t>(text.size()));
  t.insert(t.end(), text.begin(), text.end());
}

void AppendEndOfTrack(std::vector<std::uint8_t>& t, std::uint32_t delta) {
  AppendVariableLength(t, delta);
  t.insert(t.end(), {0xFF, 0x2F, 0x00});
}

// Tick deltas beyond what a variable-length quantity holds (about 74 hours) are capped.
std::uint32_t Delta(std::int64_t from, std::int64_t to) {
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(to - from, 0, 0x0FFFFFFF));
}

}  // namespace

void AppendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t n) {
  n &= 0x0FFFFFFF;
  std::uint8_t bytes[4];
  int count = 0;
  do {
    bytes[count++] = static_cast<std::uint8_t>(n & 0x7F);
    n >>= 7;
  } while (n != 0);
  while (count > 0) {
    --count;
    out.push_back(static_cast<std::uint8_t>(bytes[count] | (count > 0 ? 0x80 : 0x00)));
  }
}

std::vector<std::uint8_t> StandardMidiFileBytes(Composition& composition) {
  const Schedule schedule = PlaybackSchedule(composition);
  const int preset = std::clamp(composition.Composition_PresetNumber, 0, 2);
  constexpr int kChannels = 4;

  std::vector<std::uint8_t> out;
  out.insert(out.end(), {'M', 'T', 'h', 'd'});
  Append32(out, 6);
  Append16(out, 1);              // format 1
  Append16(out, 1 + kChannels);  // tempo track and one per channel
  Append16(out, kSmfTicksPerQuarter);

  std::vector<std::uint8_t> tempo;
  AppendText(tempo, 0x03, "vordel");
  tempo.insert(tempo.end(),
               {0x00, 0xFF, 0x51, 0x03, static_cast<std::uint8_t>(kSmfMicrosPerQuarter >> 16),
                static_cast<std::uint8_t>(kSmfMicrosPerQuarter >> 8),
                static_cast<std::uint8_t>(kSmfMicrosPerQuarter)});
  tempo.insert(tempo.end(), {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});  // 4/4
  AppendEndOfTrack(tempo, Delta(0, schedule.end_tick));
  AppendTrack(out, tempo);

  for (int ch = 1; ch <= kChannels; ++ch) {
    const track_preset& p = composition.Composition_TrPresets[preset][ch - 1];
    const auto status = static_cast<std::uint8_t>(ch - 1);
    std::vector<std::uint8_t> t;
    const int program = std::clamp(p.Patch, 1, 128) - 1;
    AppendText(t, 0x03, p_names[program]);
    t.insert(t.end(),
             {0x00, static_cast<std::uint8_t>(0xC0 | status), static_cast<std::uint8_t>(program)});
    t.insert(t.end(), {0x00, static_cast<std::uint8_t>(0xB0 | status), 10,
                       static_cast<std::uint8_t>(std::clamp(p.Panning, 0, 127))});
    t.insert(t.end(), {0x00, static_cast<std::uint8_t>(0xB0 | status), 7,
                       static_cast<std::uint8_t>(std::clamp(p.Volume, 0, 127))});
    std::int64_t last = 0;
    for (const ScheduledEvent& e : schedule.events) {
      if (e.channel != ch)
        continue;
      AppendVariableLength(t, Delta(last, e.tick));
      last = std::max(last, e.tick);
      if (e.velocity != 0) {
        t.insert(t.end(),
                 {static_cast<std::uint8_t>(0x90 | status), static_cast<std::uint8_t>(e.key),
                  static_cast<std::uint8_t>(e.velocity)});
      } else {
        t.insert(t.end(),
                 {static_cast<std::uint8_t>(0x80 | status), static_cast<std::uint8_t>(e.key), 0});
      }
    }
    AppendEndOfTrack(t, Delta(last, schedule.end_tick));
    AppendTrack(out, t);
  }
  return out;
}

bool WriteStandardMidiFile(Composition& composition, const std::string& path, std::string* error) {
  const std::vector<std::uint8_t> bytes = StandardMidiFileBytes(composition);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    if (error != nullptr)
      *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!ok || !closed) {
    if (error != nullptr)
      *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace vordel

namespace vordel {

bool Composition::SaveAsMIDIFile(const std::string& path, std::string* error) {
  return WriteStandardMidiFile(*this, path, error);
}

}  // namespace vordel
