#include "export/midi_file.h"

#include <algorithm>
#include <array>

#include "export/file_names.h"
#include "platform/pending_file.h"

namespace vordel {
namespace {

constexpr int kChannels = 4;

void Append32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(v >> shift));
  }
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

std::vector<std::uint8_t> StandardMidiFileBytes(const Schedule& schedule) {
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

  // Each channel's track is named after the instrument its program change selects.
  std::array<std::vector<std::uint8_t>, kChannels> tracks;
  std::array<std::int64_t, kChannels> last{};
  for (int ch = 0; ch < kChannels; ++ch) {
    for (const MidiMessage& m : schedule.ensemble) {
      if ((m.bytes[0] & 0xF0) == 0xC0 && (m.bytes[0] & 0x0F) == ch) {
        AppendText(tracks[static_cast<std::size_t>(ch)], 0x03, GetGMPatchName(m.bytes[1]));
        break;
      }
    }
  }
  WalkSchedule(schedule, [&](std::int64_t tick, const MidiMessage& m) {
    const int ch = m.bytes[0] & 0x0F;
    if (ch >= kChannels) {
      return;
    }
    std::vector<std::uint8_t>& t = tracks[static_cast<std::size_t>(ch)];
    std::int64_t& at = last[static_cast<std::size_t>(ch)];
    AppendVariableLength(t, Delta(at, tick));
    at = std::max(at, tick);
    t.insert(t.end(), m.bytes, m.bytes + m.size);
  });
  for (int ch = 0; ch < kChannels; ++ch) {
    std::vector<std::uint8_t>& t = tracks[static_cast<std::size_t>(ch)];
    AppendEndOfTrack(t, Delta(last[static_cast<std::size_t>(ch)], schedule.end_tick));
    AppendTrack(out, t);
  }
  return out;
}

bool CheckMidiFileName(const std::string& path, std::string* error) {
  if (HasExtension(path, ".mid") || HasExtension(path, ".midi")) {
    return true;
  }
  *error = "a Standard MIDI File is saved to a .mid or .midi file, not '" + path + "'";
  return false;
}

bool WriteStandardMidiFile(const Schedule& schedule, const std::string& path, std::string* error) {
  const std::vector<std::uint8_t> bytes = StandardMidiFileBytes(schedule);
  return WriteFileAtomically(path, std::string(bytes.begin(), bytes.end()), error);
}

}  // namespace vordel
