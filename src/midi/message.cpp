#include "midi/message.h"

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

MidiMessage RawChannelMessage(unsigned char type, unsigned char channel, unsigned char b2,
                              unsigned char b3) {
  MidiMessage m;
  m.bytes[0] = static_cast<std::uint8_t>(type | static_cast<unsigned char>(channel - 1));
  m.bytes[1] = b2;
  m.bytes[2] = b3;
  return m;
}

MidiMessage NoteMessage(unsigned char channel, unsigned char key, unsigned char velocity) {
  const unsigned char k = (key >= 1 && key <= 127) ? key : 60;
  const auto ch = static_cast<unsigned char>(channel - 1);
  MidiMessage m;
  m.bytes[1] = k;
  if (velocity != 0) {
    m.bytes[0] = static_cast<std::uint8_t>(0x90 | ch);
    m.bytes[2] = velocity > 127 ? 127 : velocity;
  } else {
    m.bytes[0] = static_cast<std::uint8_t>(0x80 | ch);
    m.bytes[2] = 0;
  }
  return m;
}

MidiMessage ControlMessage(unsigned char channel, unsigned char controller, unsigned char value) {
  MidiMessage m;
  m.bytes[0] = static_cast<std::uint8_t>(0xB0 | static_cast<unsigned char>(channel - 1));
  m.bytes[1] = controller <= 127 ? controller : 0;
  m.bytes[2] = value <= 127 ? value : 0;
  return m;
}

MidiMessage ProgramMessage(unsigned char channel, unsigned char patch) {
  MidiMessage m;
  m.bytes[0] = static_cast<std::uint8_t>(0xC0 | static_cast<unsigned char>(channel - 1));
  m.bytes[1] = patch == 0 ? 0 : static_cast<std::uint8_t>(patch - 1);
  m.bytes[2] = 0;
  m.size = 2;
  return m;
}

MidiMessage SongPositionMessage(int sixteenths) {
  const int at = sixteenths < 0 ? 0 : (sixteenths > 16383 ? 16383 : sixteenths);
  return MidiMessage{
      {0xF2, static_cast<std::uint8_t>(at & 0x7F), static_cast<std::uint8_t>((at >> 7) & 0x7F)}, 3};
}

MidiMessage AllNotesOffMessage(int channel_index) {
  MidiMessage m;
  m.bytes[0] = static_cast<std::uint8_t>(0xB0 | (channel_index & 0x0F));
  m.bytes[1] = 123;
  m.bytes[2] = 0;
  return m;
}

const char* GetGMPatchName(int program) {
  if (program < 0 || program > 127) {
    return "";
  }
  return p_names[program];
}

const char* GetINStatusStr(unsigned status) {
  return status == kMidiOk ? "MIN OK" : (status == kMidiNoSystem ? "MIN none" : "MIN Error.");
}

const char* GetOUTStatusStr(unsigned status) {
  return status == kMidiOk ? "MOUT OK" : "MOUT Error.";
}

}  // namespace vordel
