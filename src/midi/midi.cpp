#include "midi/midi.h"

#include <cstdio>

namespace vordel {

const char* const p_names[128] = {
    "Acoustic grand piano",
    "Bright acoustic piano",
    "Electric grand piano",
    "Honky-tonk piano",
    "Rhodes piano",
    "Chorused piano",
    "Harpsichord",
    "Clavinet",
    "Celesta",
    "Glockenspiel",
    "Music box",
    "Vibraphone",
    "Marimba",
    "Xylophone",
    "Tubular bells",
    "Dulcimer",
    "Hammond organ",
    "Percussive organ",
    "Rock organ",
    "Church organ",
    "Reed organ",
    "Accordion",
    "Harmonica",
    "Tango accordion",
    "Acoustic guitar (nylon)",
    "Acoustic guitar (steel)",
    "Electric guitar (jazz)",
    "Electric guitar (clean)",
    "Electric guitar (muted)",
    "Overdriven guitar",
    "Distortion guitar",
    "Guitar harmonics",
    "Acoustic bass",
    "Electric bass (finger)",
    "Electric bass (pick)",
    "Fretless bass",
    "Slap bass 1",
    "Slap bass 2",
    "Synth bass 1",
    "Synth bass 2",
    "Violin",
    "Viola",
    "Cello",
    "Contrabass",
    "Tremolo strings",
    "Pizzicato strings",
    "Orchestral harp",
    "Timpani",
    "String ensemble 1",
    "String ensemble 2",
    "Synth. strings 1",
    "Synth. strings 2",
    "Choir Aahs",
    "Voice Oohs",
    "Synth voice",
    "Orchestra hit",
    "Trumpet",
    "Trombone",
    "Tuba",
    "Muted trumpet",
    "French horn",
    "Brass section",
    "Synth. brass 1",
    "Synth. brass 2",
    "Soprano sax",
    "Alto sax",
    "Tenor sax",
    "Baritone sax",
    "Oboe",
    "English horn",
    "Bassoon",
    "Clarinet",
    "Piccolo",
    "Flute",
    "Recorder",
    "Pan flute",
    "Bottle blow",
    "Shakuhachi",
    "Whistle",
    "Ocarina",
    "Lead 1 (square)",
    "Lead 2 (sawtooth)",
    "Lead 3 (calliope lead)",
    "Lead 4 (chiff lead)",
    "Lead 5 (charang)",
    "Lead 6 (voice)",
    "Lead 7 (fifths)",
    "Lead 8 (brass + lead)",
    "Pad 1 (new age)",
    "Pad 2 (warm)",
    "Pad 3 (polysynth)",
    "Pad 4 (choir)",
    "Pad 5 (bowed)",
    "Pad 6 (metallic)",
    "Pad 7 (halo)",
    "Pad 8 (sweep)",
    "FX 1 Rain",
    "FX 2 Soundtrack",
    "FX 3 Crystal",
    "FX 4 Atmosphere",
    "FX 5 Brightness",
    "FX 6 Goblins",
    "FX 7 Echo sweep",
    "FX 8 SciFi",
    "Sitar",
    "Banjo",
    "Shamisen",
    "Koto",
    "Kalimba",
    "bagpipe",
    "Fiddle",
    "Shanai",
    "Tinkle bell",
    "Agogo",
    "Steel drums",
    "Woodblock",
    "Taiko drum",
    "Melodic Tom",
    "Synth drum",
    "Reverse Cymbal",
    "Guitar fret noise",
    "Breath noise",
    "Seashore",
    "Bird tweet",
    "Telephone ring",
    "Helicopter",
    "Applause",
    "Gunshot",
};

Midi::Midi(std::unique_ptr<MidiOutput> output, unsigned input_status)
    : INStatus(input_status), OUTStatus(kMidiErrorBadDevice), output_(std::move(output)) {
  for (int i = 0; i < 128; ++i) {
    std::snprintf(GM_PatchNames[i], sizeof GM_PatchNames[i], "%s", p_names[i]);
  }
  if (output_) {
    OUTStatus = output_->Status();
  }
}

Midi::~Midi() {
  CloseDevices();
}

void Midi::CloseDevices() {
  if (closed_) {
    return;
  }
  closed_ = true;
  if (output_) {
    if (OUTStatus == kMidiErrorStillPlaying) {
      output_->Reset();
    }
    // Even an output that reported a failure may hold a device (a synthesizer without an
    // audio driver): release it, after delivering what was sent.
    output_->Close();
  }
}

unsigned Midi::Send(const ShortMessage& u, std::uint8_t size) {
  if (!output_ || closed_) {
    send_errors_.fetch_add(1, std::memory_order_relaxed);
    return kMidiErrorBadDevice;
  }
  const MidiMessage m{{u.bData[0], u.bData[1], u.bData[2]}, size};
  const unsigned r = output_->Send(m);
  if (r != kMidiOk) {
    send_errors_.fetch_add(1, std::memory_order_relaxed);
  }
  return r;
}

void Midi::Track(std::uint8_t status, std::uint8_t key) {
  const int ch = status & 0x0F;
  std::atomic<std::uint8_t>& n = sounding_[ch][key & 0x7F];
  if ((status & 0xF0) == 0x90) {
    std::uint8_t v = n.load(std::memory_order_relaxed);
    while (v < 255 && !n.compare_exchange_weak(v, static_cast<std::uint8_t>(v + 1))) {
    }
  } else {
    std::uint8_t v = n.load(std::memory_order_relaxed);
    while (v > 0 && !n.compare_exchange_weak(v, static_cast<std::uint8_t>(v - 1))) {
    }
  }
}

unsigned Midi::sendMidiEvent(unsigned char type, unsigned char b1, unsigned char b2,
                             unsigned char b3) {
  ShortMessage u{};
  u.bData[0] = static_cast<std::uint8_t>(type | static_cast<unsigned char>(b1 - 1));
  u.bData[1] = b2;
  u.bData[2] = b3;
  return Send(u, 3);
}

unsigned Midi::playNote(unsigned char ch, unsigned char key, unsigned char vel) {
  ShortMessage u{};
  const unsigned char k = (key >= 1 && key <= 127) ? key : 60;
  const auto channel = static_cast<unsigned char>(ch - 1);
  if (vel != 0) {
    u.bData[0] = static_cast<std::uint8_t>(0x90 | channel);
    u.bData[1] = k;
    u.bData[2] = vel > 127 ? 127 : vel;
  } else {
    u.bData[0] = static_cast<std::uint8_t>(0x80 | channel);
    u.bData[1] = k;
    u.bData[2] = 0;
  }
  const unsigned r = Send(u, 3);
  Track(u.bData[0], k);
  return r;
}

unsigned Midi::ControlChange(unsigned char ch, unsigned char ctrl, unsigned char val) {
  ShortMessage u{};
  u.bData[0] = static_cast<std::uint8_t>(0xB0 | static_cast<unsigned char>(ch - 1));
  u.bData[1] = ctrl <= 127 ? ctrl : 0;
  u.bData[2] = val <= 127 ? val : 0;
  return Send(u, 3);
}

unsigned Midi::ProgramChange(unsigned char ch, unsigned char patch) {
  ShortMessage u{};
  u.bData[0] = static_cast<std::uint8_t>(0xC0 | static_cast<unsigned char>(ch - 1));
  u.bData[1] = patch == 0 ? 0 : static_cast<std::uint8_t>(patch - 1);
  u.bData[2] = 0;
  return Send(u, 2);
}

void Midi::AllNotesOff() {
  for (unsigned char i = 0; i < 16; ++i) {
    ShortMessage u{};
    u.bData[0] = static_cast<std::uint8_t>(0xB0 | i);
    u.bData[1] = 123;
    u.bData[2] = 0;
    Send(u, 3);
  }
}

void Midi::ReleaseSoundingNotes() {
  for (int ch = 0; ch < 16; ++ch) {
    for (int key = 0; key < 128; ++key) {
      std::uint8_t n = sounding_[ch][key].exchange(0, std::memory_order_acq_rel);
      if (n == 0) {
        continue;
      }
      ShortMessage u{};
      u.bData[0] = static_cast<std::uint8_t>(0x80 | ch);
      u.bData[1] = static_cast<std::uint8_t>(key);
      u.bData[2] = 0;
      Send(u, 3);
    }
  }
}

int Midi::SoundingNotes() const {
  int total = 0;
  for (const auto& ch : sounding_) {
    for (const auto& n : ch) {
      total += n.load(std::memory_order_relaxed);
    }
  }
  return total;
}

const char* Midi::GetGMPatchName(int program) const {
  if (program < 0 || program > 127) {
    return "";
  }
  return GM_PatchNames[program];
}

const char* Midi::GetINStatusStr() const {
  return INStatus == 0 ? "MIN OK" : "MIN Error.";
}

const char* Midi::GetOUTStatusStr() const {
  // An output that failed after opening (a port removed, a server gone) shows as an error too.
  const bool failed_now = output_ && output_->Status() != kMidiOk;
  return OUTStatus == 0 && !failed_now ? "MOUT OK" : "MOUT Error.";
}

}  // namespace vordel
