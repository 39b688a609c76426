#include "export/midi_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sequence/schedule.h"
#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(MidiFile, ACorpusOfPiecesByteForByte) {
  for (const testing::CorpusPiece& c : testing::LoadCorpus()) {
    const Piece piece = testing::ComposeText(c.text, c.clock, c.rest_planner_started);
    const Bytes bytes = StandardMidiFileBytes(BuildSchedule(piece));
    EXPECT_EQ(testing::Fingerprint(std::string(bytes.begin(), bytes.end())), c.midi)
        << "'" << c.text << "' at " << c.clock;
  }
}

}  // namespace
}  // namespace vordel
