#include "export/score.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

namespace fs = std::filesystem;

const std::string kSchema =
    std::string(VORDEL_SOURCE_DIR) + "/tests/export/musicxml-4.0/musicxml.xsd";

// A note read back from a score: its section, onset and end in grid steps from the section's
// first measure (tied notes joined), its key as sounded and its velocity.
struct ReadNote {
  int section;
  std::int64_t start;
  std::int64_t end;
  int key;
  int velocity;
  bool operator<(const ReadNote& o) const {
    return std::tie(section, start, key, end) < std::tie(o.section, o.start, o.key, o.end);
  }
};

struct ReadScore {
  std::vector<std::string> problems;  // measures whose voices do not add up, broken ties
  std::vector<std::string> rehearsals;
  std::vector<std::vector<ReadNote>> parts;
  std::vector<std::vector<std::string>> dynamics;  // the marks of each part, in order
  std::vector<std::string> clefs;                  // sign, line and octave change of each part
  std::vector<int> measures;                       // of each part
};

int Int(pugi::xml_node node, const char* child) {
  return node.child(child).text().as_int();
}

ReadScore Read(const std::string& xml) {
  ReadScore score;
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_string(xml.c_str());
  if (!parsed) {
    score.problems.push_back(std::string("does not parse: ") + parsed.description());
    return score;
  }
  std::vector<int> section_of_measure;  // from the rehearsal marks of the first part
  for (pugi::xml_node part : doc.child("score-partwise").children("part")) {
    std::vector<ReadNote> notes;
    std::vector<std::string> marks;
    std::map<std::pair<int, int>, std::size_t> open;  // (voice, key) -> the note a tie continues
    std::int64_t units = 0;
    std::int64_t section_start = 0;  // the measure where the current section began, in units
    int section = -1;
    int octave_change = 0;
    int divisions = 1;
    int measure_index = 0;
    const bool first_part = score.parts.empty();
    for (pugi::xml_node measure : part.children("measure")) {
      if (first_part) {
        if (pugi::xml_node r = measure.select_node(".//rehearsal").node()) {
          score.rehearsals.emplace_back(r.text().as_string());
          section_of_measure.push_back(static_cast<int>(score.rehearsals.size()) - 1);
        } else {
          section_of_measure.push_back(section_of_measure.empty() ? 0 : section_of_measure.back());
        }
      }
      const int here = measure_index < static_cast<int>(section_of_measure.size())
                           ? section_of_measure[static_cast<std::size_t>(measure_index)]
                           : -1;
      if (here != section) {
        section = here;
        section_start = measure_index;
      }
      std::map<int, std::int64_t> filled;
      std::int64_t at = 0;
      std::int64_t last_onset = 0;
      for (pugi::xml_node e : measure.children()) {
        const std::string name = e.name();
        if (name == "attributes") {
          if (e.child("divisions")) {
            divisions = Int(e, "divisions");
            units =
                Int(e.child("time"), "beats") * 4 * divisions / Int(e.child("time"), "beat-type");
          }
          if (e.child("clef")) {
            pugi::xml_node c = e.child("clef");
            score.clefs.push_back(std::string(c.child_value("sign")) + c.child_value("line") +
                                  (c.child("clef-octave-change")
                                       ? std::string(" ") + c.child_value("clef-octave-change")
                                       : ""));
          }
          if (e.child("transpose")) {
            octave_change = Int(e.child("transpose"), "octave-change");
          }
        } else if (name == "backup") {
          at -= Int(e, "duration");
        } else if (name == "direction") {
          if (pugi::xml_node d = e.child("direction-type").child("dynamics")) {
            marks.emplace_back(d.first_child().name());
          }
        } else if (name == "note") {
          const std::int64_t duration = Int(e, "duration");
          const int voice = Int(e, "voice");
          const bool chord = static_cast<bool>(e.child("chord"));
          const std::int64_t onset = chord ? last_onset : at;
          // The printed value says the same as the duration.
          static const std::map<std::string, double> kQuarters = {{"whole", 4},   {"half", 2},
                                                                  {"quarter", 1}, {"eighth", 0.5},
                                                                  {"16th", 0.25}, {"32nd", 0.125}};
          if (e.child("type")) {
            const auto it = kQuarters.find(e.child_value("type"));
            const double printed =
                (it == kQuarters.end() ? 0 : it->second) * divisions * (e.child("dot") ? 1.5 : 1.0);
            if (printed != static_cast<double>(duration)) {
              score.problems.push_back(
                  "measure " + std::string(measure.attribute("number").value()) + ": a " +
                  e.child_value("type") + " lasting " + std::to_string(duration));
            }
          } else if (!e.child("rest") || !e.child("rest").attribute("measure")) {
            score.problems.push_back("measure " + std::string(measure.attribute("number").value()) +
                                     ": a note without a value");
          }
          if (!chord) {
            at += duration;
            filled[voice] += duration;
            last_onset = onset;
          }
          if (e.child("rest")) {
            continue;
          }
          pugi::xml_node p = e.child("pitch");
          static const std::map<std::string, int> kStep = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5},
                                                           {"G", 7}, {"A", 9}, {"B", 11}};
          const int key = (Int(p, "octave") + 1) * 12 + kStep.at(p.child_value("step")) +
                          Int(p, "alter") + 12 * octave_change;
          const std::int64_t from = (measure_index - section_start) * units + onset;
          bool tie_stop = false;
          for (pugi::xml_node t : e.children("tie")) {
            tie_stop = tie_stop || std::string(t.attribute("type").value()) == "stop";
          }
          const auto slot = std::make_pair(voice, key);
          if (tie_stop) {
            auto it = open.find(slot);
            if (it == open.end() || notes[it->second].end != from) {
              score.problems.push_back("measure " +
                                       std::string(measure.attribute("number").value()) +
                                       ": a tie continues nothing");
              continue;
            }
            notes[it->second].end += duration;
          } else {
            const int velocity =
                static_cast<int>(std::lround(e.attribute("dynamics").as_double() * 90.0 / 100.0));
            open[slot] = notes.size();
            notes.push_back({section, from, from + duration, key, velocity});
          }
        }
      }
      for (const auto& [voice, sum] : filled) {
        if (sum != units) {
          score.problems.push_back("measure " + std::string(measure.attribute("number").value()) +
                                   " voice " + std::to_string(voice) + " holds " +
                                   std::to_string(sum) + " of " + std::to_string(units));
        }
      }
      if (filled.empty()) {
        score.problems.push_back("measure " + std::string(measure.attribute("number").value()) +
                                 " is empty");
      }
      ++measure_index;
    }
    std::sort(notes.begin(), notes.end());
    score.parts.push_back(notes);
    score.dynamics.push_back(marks);
    score.measures.push_back(measure_index);
  }
  return score;
}

// Every file validates against the MusicXML 4.0 schema; "" or what xmllint says.
std::string Validate(const std::vector<std::string>& files) {
  std::string command = "xmllint --noout --nonet --schema '" + kSchema + "'";
  for (const std::string& f : files) {
    command += " '" + f + "'";
  }
  const testing::CommandResult r = testing::RunCommand(command + " 2>&1 >/dev/null");
  return r.status == 0 ? "" : r.out.substr(0, 2000);
}

// The piece's notes as the score should hold them: quantised on the grid, per part.
void ExpectSameNotes(const Piece& piece, const ReadScore& score, const ScoreOptions& options,
                     const std::string& label) {
  ASSERT_EQ(score.parts.size(), 4u) << label;
  std::vector<std::vector<Note>> expected(4);
  for (const Note& n : piece.Notes()) {
    expected[static_cast<std::size_t>(n.channel - 1)].push_back(n);
  }
  for (std::size_t p = 0; p < 4; ++p) {
    const std::vector<ReadNote>& got = score.parts[p];
    ASSERT_EQ(got.size(), expected[p].size()) << label << " part " << p + 1;
    // The position of each original note in grid steps, in the order the score holds them.
    struct Original {
      int section;
      double start;
      double end;
      int key;
      int velocity;
    };
    std::vector<Original> originals;
    for (const Note& n : expected[p]) {
      const PieceSection& s = piece.sections()[static_cast<std::size_t>(n.section)];
      const double step = (s.beat_ms > 0 ? s.beat_ms : 500.0) * 4.0 / options.grid;
      originals.push_back({n.section, static_cast<double>(n.onset - s.onset) / step,
                           static_cast<double>(n.onset + n.length - s.onset) / step, n.key,
                           n.velocity});
    }
    std::stable_sort(originals.begin(), originals.end(), [](const Original& a, const Original& b) {
      const auto qa = std::llround(a.start);
      const auto qb = std::llround(b.start);
      return std::tie(a.section, qa, a.key) < std::tie(b.section, qb, b.key);
    });
    for (std::size_t i = 0; i < got.size(); ++i) {
      const Original& o = originals[i];
      const ReadNote& r = got[i];
      ASSERT_EQ(r.section, o.section) << label << " part " << p + 1 << " note " << i;
      ASSERT_EQ(r.key, o.key) << label << " part " << p + 1 << " note " << i;
      ASSERT_LE(std::abs(static_cast<double>(r.start) - o.start), 0.5)
          << label << " part " << p + 1 << " note " << i;
      // Lengths come from the quantised ends; a note shorter than half a step keeps one step.
      if (o.end - static_cast<double>(r.start) >= 1.5) {
        ASSERT_LE(std::abs(static_cast<double>(r.end) - o.end), 0.5)
            << label << " part " << p + 1 << " note " << i;
      } else {
        ASSERT_EQ(r.end - r.start, 1) << label << " part " << p + 1 << " note " << i;
      }
      ASSERT_EQ(r.velocity, o.velocity) << label << " part " << p + 1 << " note " << i;
    }
  }
}

struct Case {
  std::string text;
  std::int64_t clock;
  std::string time_signature;
  int grid;
};

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vordel-score-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

using ScoreFiles = TempDir;

// The reference pieces, long and dense strings and a sample of the corpus, under several meters
// and both grids: each score validates, every measure adds up, and the notes read back are the
// piece's notes on the grid.
TEST_F(ScoreFiles, ValidateAddUpAndHoldThePiecesNotes) {
  std::vector<Case> cases;
  std::ifstream reference(std::string(VORDEL_PIECES_DIR) + "/cases.tsv");
  std::string line;
  std::getline(reference, line);  // the heading
  while (std::getline(reference, line)) {
    const auto a = line.find('\t');
    const auto b = line.find('\t', a + 1);
    cases.push_back({line.substr(b + 1), std::stoll(line.substr(a + 1, b - a - 1)), "4/4", 16});
  }
  cases.push_back({"0 80 40 30 120 1 50 30 23 120", 0, "4/4", 16});              // long
  cases.push_back({"3 50 40 50 80 2 70 30 5 60 4 40 100 99 60", 0, "3/4", 32});  // dense
  cases.push_back({"0 20 127 1 60 5 100 1 99 60", 0, "7/8", 16});                // below C0, fast
  cases.push_back({"0 80 40 30 25 1 50 30 23 20", 0, "5/16", 32});
  const std::vector<testing::CorpusPiece> corpus = testing::LoadCorpus();
  for (std::size_t i = 0; i < corpus.size(); i += 50) {
    cases.push_back(
        {corpus[i].text, corpus[i].clock, i % 2 == 0 ? "4/4" : "6/8", i % 3 == 0 ? 32 : 16});
  }
  std::vector<std::string> files;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string label = "'" + c.text + "' at " + std::to_string(c.clock);
    const Piece piece = testing::ComposeText(c.text, c.clock);
    ScoreOptions options;
    options.grid = c.grid;
    ASSERT_EQ(ParseTimeSignature(c.time_signature, &options), "");
    options.reproduce = piece.Reproduce();
    const std::string file = (dir_ / ("piece-" + std::to_string(i) + ".musicxml")).string();
    std::string error;
    ASSERT_TRUE(WriteScore(piece, file, options, &error)) << error;
    files.push_back(file);
    std::ifstream in(file);
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const ReadScore score = Read(xml);
    EXPECT_EQ(score.problems, std::vector<std::string>{}) << label;
    ASSERT_EQ(score.rehearsals.size(), piece.sections().size()) << label;
    static const char* const kFunctions[] = {"Statement", "Preparation", "Extension", "Antecedent",
                                             "Consequent"};
    for (std::size_t s = 0; s < piece.sections().size(); ++s) {
      const int f = piece.sections()[s].function;
      EXPECT_EQ(score.rehearsals[s],
                std::to_string(s + 1) + " " + (f >= 0 && f <= 4 ? kFunctions[f] : "Unknown"))
          << label;
    }
    ExpectSameNotes(piece, score, options, label);
    EXPECT_NE(xml.find(piece.Reproduce()), std::string::npos) << label;
  }
  EXPECT_EQ(Validate(files), "");
}

// Hand-made pieces: what each shape of notes becomes.
TEST_F(ScoreFiles, ChordsVoicesTiesAndMarks) {
  // At 500 ms a beat a sixteenth is 125 ms. Part 1: a chord of two notes, then a note that
  // crosses the barline, overlapped by another (a second voice); part 3 an octave lower.
  const Piece piece = testing::HandPiece({{{1, 60, 100, 0},
                                           {1, 64, 100, 0},
                                           {1, 60, 0, 500},
                                           {1, 64, 0, 500},
                                           {1, 67, 30, 1500},
                                           {1, 70, 30, 1750},
                                           {1, 70, 0, 2250},
                                           {1, 67, 0, 2750},
                                           {3, 40, 64, 0},
                                           {3, 40, 0, 125}}},
                                         3000);
  ScoreOptions options;
  const std::string xml = ScoreDocument(piece, options);
  const ReadScore score = Read(xml);
  EXPECT_EQ(score.problems, std::vector<std::string>{});
  ExpectSameNotes(piece, score, options, "hand");
  EXPECT_EQ(score.dynamics[0], (std::vector<std::string>{"ff", "pp"}));
  EXPECT_EQ(score.dynamics[2], (std::vector<std::string>{"mp"}));
  EXPECT_EQ(score.parts[2].front().key, 28);  // sounded an octave lower
  EXPECT_NE(xml.find("<chord />"), std::string::npos);
  EXPECT_NE(xml.find("<backup>"), std::string::npos);
  EXPECT_NE(xml.find("<tied type=\"start\" />"), std::string::npos);
  EXPECT_EQ(score.measures, (std::vector<int>{2, 2, 2, 2}));  // six beats
  // The header: the string as the title, the composer, the instruments to play it back with.
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(xml.c_str()));
  const pugi::xml_node root = doc.child("score-partwise");
  EXPECT_STREQ(root.child("identification").child("creator").text().as_string(), "vordel");
  int channel = 1;
  for (pugi::xml_node part : root.child("part-list").children("score-part")) {
    const pugi::xml_node midi = part.child("midi-instrument");
    EXPECT_EQ(midi.child("midi-channel").text().as_int(), channel);
    EXPECT_EQ(midi.child("midi-program").text().as_int(),
              piece.tracks()[static_cast<std::size_t>(channel - 1)].Patch);
    ++channel;
  }
  EXPECT_EQ(channel, 5);
}

// Each part's clef keeps the middle of its range on the staff; a part that sounds below C0 is
// written an octave up and says so.
TEST(Score, ClefFromTheRange) {
  const struct {
    int low;
    int high;
    const char* clef;
    std::int64_t apart;  // ms between the two notes' starts
  } kCases[] = {
      {60, 72, "G2", 500},    {96, 110, "G2 1", 500}, {40, 55, "F4", 500},
      {24, 40, "F4 -1", 500}, {59, 59, "G2", 500},    {5, 20, "F4 -1", 500},  // written 17..32
      {5, 125, "G2", 4000},  // the first measure written an octave up, the third not
  };
  for (const auto& c : kCases) {
    const Piece piece = testing::HandPiece({{{1, c.low, 60, 0},
                                             {1, c.low, 0, 500},
                                             {1, c.high, 60, c.apart},
                                             {1, c.high, 0, c.apart + 500}}},
                                           c.apart + 500);
    const std::string xml = ScoreDocument(piece, {});
    const ReadScore score = Read(xml);
    EXPECT_EQ(score.clefs.at(0), c.clef) << c.low << ".." << c.high;
    ASSERT_EQ(score.parts[0].size(), 2u);
    EXPECT_EQ(score.parts[0][0].key, c.low);
    EXPECT_EQ(score.parts[0][1].key, c.high);
  }
}

TEST_F(ScoreFiles, EmptyPieceHasOneEmptyMeasurePerPart) {
  const std::string file = (dir_ / "empty.musicxml").string();
  std::string error;
  ASSERT_TRUE(WriteScore(testing::HandPiece({}), file, {}, &error)) << error;
  std::ifstream in(file);
  const ReadScore score =
      Read(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  EXPECT_EQ(score.problems, std::vector<std::string>{});
  EXPECT_EQ(score.measures, (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(Validate({file}), "");
}

TEST_F(ScoreFiles, UnwritablePathLeavesNothing) {
  std::string error;
  const std::string target = (dir_ / "missing" / "piece.musicxml").string();
  EXPECT_FALSE(WriteScore(testing::ComposeText("0 80 40 30 25", 0), target, {}, &error));
  EXPECT_NE(error.find(target), std::string::npos) << error;
  EXPECT_TRUE(fs::is_empty(dir_));
  ScoreOptions bad;
  bad.grid = 8;
  EXPECT_FALSE(WriteScore(testing::ComposeText("0 80 40 30 25", 0),
                          (dir_ / "piece.musicxml").string(), bad, &error));
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST(Score, TimeSignatures) {
  const struct {
    const char* text;
    bool ok;
  } kCases[] = {{"4/4", true},  {"3/4", true},   {"6/8", true},   {"5/16", true}, {"32/1", true},
                {"4", false},   {"0/4", false},  {"33/4", false}, {"3/5", false}, {"3/32", false},
                {"a/b", false}, {"3/4x", false}, {"-3/4", false}, {"", false}};
  for (const auto& c : kCases) {
    ScoreOptions options;
    EXPECT_EQ(ParseTimeSignature(c.text, &options).empty(), c.ok) << c.text;
  }
  ScoreOptions options;
  options.grid = 32;
  EXPECT_EQ(CheckScoreOptions(options), "");
  options.grid = 8;
  EXPECT_NE(CheckScoreOptions(options), "");
}

}  // namespace
}  // namespace vordel
