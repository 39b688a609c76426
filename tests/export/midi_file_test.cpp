#include "export/midi_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sequence/schedule.h"
#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Vlq(std::uint32_t n) {
  Bytes b;
  AppendVariableLength(b, n);
  return b;
}

TEST(MidiFile, VariableLengthQuantities) {
  EXPECT_EQ(Vlq(0), (Bytes{0x00}));
  EXPECT_EQ(Vlq(0x40), (Bytes{0x40}));
  EXPECT_EQ(Vlq(0x7F), (Bytes{0x7F}));
  EXPECT_EQ(Vlq(0x80), (Bytes{0x81, 0x00}));
  EXPECT_EQ(Vlq(0x2000), (Bytes{0xC0, 0x00}));
  EXPECT_EQ(Vlq(0x3FFF), (Bytes{0xFF, 0x7F}));
  EXPECT_EQ(Vlq(0x1FFFFF), (Bytes{0xFF, 0xFF, 0x7F}));
  EXPECT_EQ(Vlq(0x0FFFFFFF), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
}

// Reads the chunks of a file: the header's words and each track's bytes.
struct Parsed {
  int format = -1, tracks = -1, division = -1;
  std::vector<Bytes> track;
};

Parsed Parse(const Bytes& b) {
  Parsed p;
  auto u32 = [&](std::size_t i) {
    return (std::uint32_t{b[i]} << 24) | (std::uint32_t{b[i + 1]} << 16) |
           (std::uint32_t{b[i + 2]} << 8) | b[i + 3];
  };
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "MThd");
  EXPECT_EQ(u32(4), 6u);
  p.format = (b[8] << 8) | b[9];
  p.tracks = (b[10] << 8) | b[11];
  p.division = (b[12] << 8) | b[13];
  std::size_t i = 14;
  while (i + 8 <= b.size()) {
    EXPECT_EQ(std::string(b.begin() + static_cast<long>(i), b.begin() + static_cast<long>(i) + 4),
              "MTrk");
    const std::uint32_t len = u32(i + 4);
    p.track.emplace_back(b.begin() + static_cast<long>(i) + 8,
                         b.begin() + static_cast<long>(i + 8 + len));
    i += 8 + len;
  }
  EXPECT_EQ(i, b.size());
  return p;
}

TEST(MidiFile, HeaderTempoTrackAndChannelTracks) {
  const Piece piece =
      testing::HandPiece({{{1, 60, 90, 0}, {3, 64, 100, 0}, {1, 60, 0, 200}, {3, 64, 0, 1000}}});
  const Parsed p = Parse(StandardMidiFileBytes(BuildSchedule(piece)));
  EXPECT_EQ(p.format, 1);
  EXPECT_EQ(p.tracks, 5);
  EXPECT_EQ(p.division, 500);
  ASSERT_EQ(p.track.size(), 5u);
  // Tempo track: name, 500000 us per quarter, 4/4, end of track at the end of the piece.
  const Bytes& tempo = p.track[0];
  const Bytes tempo_tail = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58,
                            0x04, 0x04, 0x02, 0x18, 0x08, 0x87, 0x68, 0xFF, 0x2F, 0x00};
  ASSERT_GE(tempo.size(), tempo_tail.size());
  EXPECT_EQ(Bytes(tempo.end() - static_cast<long>(tempo_tail.size()), tempo.end()), tempo_tail);
  // Channel 1: name "French horn", program 60, pan 30, volume 100, the note, end of track.
  Bytes ch1 = {0x00, 0xFF, 0x03, 11};
  for (char c : std::string("French horn"))
    ch1.push_back(static_cast<std::uint8_t>(c));
  const Bytes rest1 = {0x00, 0xC0, 60,   0x00, 0xB0, 10, 30,   0x00, 0xB0, 7,    100,  0x00, 0x90,
                       60,   90,   0x81, 0x48, 0x80, 60, 0x00, 0x86, 0x20, 0xFF, 0x2F, 0x00};
  ch1.insert(ch1.end(), rest1.begin(), rest1.end());
  EXPECT_EQ(p.track[1], ch1);
  // Channel 3 sounds an octave lower, start and end alike.
  const Bytes& ch3 = p.track[3];
  const Bytes notes3 = {0x00, 0x92, 52, 100, 0x87, 0x68, 0x82, 52, 0x00, 0x00, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(Bytes(ch3.end() - static_cast<long>(notes3.size()), ch3.end()), notes3);
  // Channel 2 holds only its set-up and the end of track.
  const Bytes& ch2 = p.track[2];
  EXPECT_EQ(Bytes(ch2.end() - 5, ch2.end()), (Bytes{0x87, 0x68, 0xFF, 0x2F, 0x00}));
  EXPECT_EQ(Bytes(ch2.end() - 8, ch2.end() - 5), (Bytes{0xB1, 7, 100}));
  EXPECT_EQ(ch2.size(), 4u + 8u + 3u + 4u + 4u + 5u);  // name "Clarinet", program, pan, volume, end
}

TEST(MidiFile, ACorpusOfPiecesByteForByte) {
  for (const testing::CorpusPiece& c : testing::LoadCorpus()) {
    const Piece piece = testing::ComposeText(c.text, c.clock, c.rest_planner_started);
    const Bytes bytes = StandardMidiFileBytes(BuildSchedule(piece));
    EXPECT_EQ(testing::Fingerprint(std::string(bytes.begin(), bytes.end())), c.midi)
        << "'" << c.text << "' at " << c.clock;
  }
}

TEST(MidiFile, SaveWritesTheBytesAndReportsFailures) {
  const std::string path = testing::TempPath("test.mid");
  std::string error;
  const Schedule schedule = BuildSchedule(testing::HandPiece({{{1, 60, 90, 0}, {1, 60, 0, 5}}}));
  ASSERT_TRUE(WriteStandardMidiFile(schedule, path, &error)) << error;
  std::ifstream in(path, std::ios::binary);
  const Bytes written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, StandardMidiFileBytes(schedule));
  std::remove(path.c_str());
  EXPECT_FALSE(WriteStandardMidiFile(schedule, "/nonexistent-dir/x.mid", &error));
  EXPECT_NE(error.find("cannot write /nonexistent-dir/x.mid"), std::string::npos);
}

}  // namespace
}  // namespace vordel
