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

// A note read back: its section, onset and end in grid steps from the section's first measure
// (tied notes joined), key as sounded, velocity.
struct ReadNote {
  int section;
  std::int64_t start;
  std::int64_t end;
  int key;
  int velocity;
  auto operator<=>(const ReadNote&) const = default;
};

struct ReadScore {
  std::vector<std::string> problems;  // voices that do not add up, values that lie, broken ties
  std::vector<std::string> rehearsals;
  std::vector<std::vector<ReadNote>> parts;
  std::vector<std::vector<std::string>> dynamics;  // each part's marks, in order
  std::vector<std::string> clefs;                  // "G2", "F4 -1" ...
  std::vector<int> measures;
};

int Int(pugi::xml_node node, const char* child) {
  return node.child(child).text().as_int();
}

ReadScore Read(const std::string& xml) {
  ReadScore score;
  pugi::xml_document doc;
  if (!doc.load_string(xml.c_str())) {
    score.problems.emplace_back("does not parse");
    return score;
  }
  const pugi::xml_node root = doc.child("score-partwise");
  std::vector<int> section_start;  // the measure (from 0) where each section begins
  int index = 0;
  for (pugi::xml_node m : root.child("part").children("measure")) {
    if (pugi::xml_node r = m.select_node(".//rehearsal").node()) {
      score.rehearsals.emplace_back(r.text().as_string());
      section_start.push_back(index);
    }
    ++index;
  }
  static const std::map<std::string, double> kQuarters = {
      {"whole", 4}, {"half", 2}, {"quarter", 1}, {"eighth", 0.5}, {"16th", 0.25}, {"32nd", 0.125}};
  static const std::map<std::string, int> kStep = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5},
                                                   {"G", 7}, {"A", 9}, {"B", 11}};
  for (pugi::xml_node part : root.children("part")) {
    std::vector<ReadNote> notes;
    std::vector<std::string> marks;
    std::map<std::pair<int, int>, std::size_t> open;  // (voice, key): the note a tie continues
    std::int64_t units = 0;
    int divisions = 1;
    int octave_change = 0;
    int m = 0;
    for (pugi::xml_node measure : part.children("measure")) {
      const std::string where = "measure " + std::string(measure.attribute("number").value());
      const auto s = std::upper_bound(section_start.begin(), section_start.end(), m) -
                     section_start.begin() - 1;
      const std::int64_t origin =
          (m - (s >= 0 ? section_start[static_cast<std::size_t>(s)] : 0)) * units;
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
          if (pugi::xml_node c = e.child("clef")) {
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
        } else if (name == "direction" && e.child("direction-type").child("dynamics")) {
          marks.emplace_back(e.child("direction-type").child("dynamics").first_child().name());
        } else if (name == "note") {
          const std::int64_t duration = Int(e, "duration");
          const int voice = Int(e, "voice");
          const bool chord = static_cast<bool>(e.child("chord"));
          const std::int64_t onset = chord ? last_onset : at;
          if (!chord) {
            at += duration;
            filled[voice] += duration;
            last_onset = onset;
          }
          if (e.child("type")) {  // the printed value says what the duration says
            const auto it = kQuarters.find(e.child_value("type"));
            if ((it == kQuarters.end() ? 0 : it->second) * divisions *
                    (e.child("dot") ? 1.5 : 1.0) !=
                static_cast<double>(duration)) {
              score.problems.push_back(where + ": a " + e.child_value("type") + " of " +
                                       std::to_string(duration));
            }
          } else if (!e.child("rest").attribute("measure")) {
            score.problems.push_back(where + ": a note without a value");
          }
          if (e.child("rest")) {
            continue;
          }
          pugi::xml_node p = e.child("pitch");
          const int key = (Int(p, "octave") + 1) * 12 + kStep.at(p.child_value("step")) +
                          Int(p, "alter") + 12 * octave_change;
          const std::int64_t from = origin + onset;
          const auto slot = std::make_pair(voice, key);
          if (e.find_child_by_attribute("tie", "type", "stop")) {
            auto it = open.find(slot);
            if (it == open.end() || notes[it->second].end != from) {
              score.problems.push_back(where + ": a tie continues nothing");
            } else {
              notes[it->second].end += duration;
            }
          } else {
            open[slot] = notes.size();
            notes.push_back(
                {static_cast<int>(s), from, from + duration, key,
                 static_cast<int>(std::lround(e.attribute("dynamics").as_double() * 0.9))});
          }
        }
      }
      for (const auto& [voice, sum] : filled) {
        if (sum != units) {
          score.problems.push_back(where + " voice " + std::to_string(voice) + " holds " +
                                   std::to_string(sum) + " of " + std::to_string(units));
        }
      }
      if (filled.empty()) {
        score.problems.push_back(where + " is empty");
      }
      ++m;
    }
    std::sort(notes.begin(), notes.end());
    score.parts.push_back(notes);
    score.dynamics.push_back(marks);
    score.measures.push_back(m);
  }
  return score;
}

// Every file validates against the MusicXML 4.0 schema: "" or what xmllint says.
std::string Validate(const std::vector<std::string>& files) {
  std::string command = "xmllint --noout --nonet --schema '" + std::string(VORDEL_SOURCE_DIR) +
                        "/tests/export/musicxml-4.0/musicxml.xsd'";
  for (const std::string& f : files) {
    command += " '" + f + "'";
  }
  const testing::CommandResult r = testing::RunCommand(command + " 2>&1 >/dev/null");
  return r.status == 0 ? "" : r.out.substr(0, 2000);
}

// The score holds the piece's notes on the grid: per part the same keys in the same order, each
// onset and end within half a step of the original (a note shorter than that keeps one step).
void ExpectSameNotes(const Piece& piece, const ReadScore& score, int grid,
                     const std::string& label) {
  ASSERT_EQ(score.parts.size(), 4u) << label;
  for (std::size_t p = 0; p < 4; ++p) {
    std::vector<std::tuple<int, std::int64_t, int, double, double, int>> want;
    for (const Note& n : piece.Notes()) {
      if (static_cast<std::size_t>(n.channel) == p + 1) {
        const PieceSection& s = piece.sections()[static_cast<std::size_t>(n.section)];
        const double step = (s.beat_ms > 0 ? s.beat_ms : 500.0) * 4.0 / grid;
        const double start = static_cast<double>(n.onset - s.onset) / step;
        want.emplace_back(n.section, std::llround(start), n.key, start,
                          static_cast<double>(n.onset + n.length - s.onset) / step, n.velocity);
      }
    }
    std::stable_sort(want.begin(), want.end(), [](const auto& a, const auto& b) {
      return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a)) <
             std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b));
    });
    const std::vector<ReadNote>& got = score.parts[p];
    ASSERT_EQ(got.size(), want.size()) << label << " part " << p + 1;
    for (std::size_t i = 0; i < got.size(); ++i) {
      const auto& [section, rounded, key, start, end, velocity] = want[i];
      const ReadNote& r = got[i];
      const std::string at =
          label + " part " + std::to_string(p + 1) + " note " + std::to_string(i);
      ASSERT_EQ(std::tie(r.section, r.key, r.velocity), std::tie(section, key, velocity)) << at;
      ASSERT_LE(std::abs(static_cast<double>(r.start) - start), 0.5) << at;
      if (end - static_cast<double>(r.start) >= 1.5) {
        ASSERT_LE(std::abs(static_cast<double>(r.end) - end), 0.5) << at;
      } else {
        ASSERT_EQ(r.end - r.start, 1) << at;
      }
    }
  }
}

class ScoreFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vordel-score-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const Piece& piece, const std::string& name, ScoreOptions options,
                    std::string* xml) {
    const std::string file = (dir_ / name).string();
    std::string error;
    EXPECT_TRUE(WriteScore(piece, file, options, &error)) << error;
    std::ifstream in(file);
    xml->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return file;
  }
  fs::path dir_;
};

// The reference pieces, long and dense strings and a sample of the corpus, under several meters
// and both grids: each score validates, every measure adds up, each section is marked, and the
// notes read back are the piece's notes on the grid.
TEST_F(ScoreFiles, ValidateAddUpAndHoldThePiecesNotes) {
  struct Case {
    std::string text;
    std::int64_t clock;
    const char* meter;
    int grid;
  };
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
  for (std::size_t i = 0; i < corpus.size(); i += 75) {
    cases.push_back(
        {corpus[i].text, corpus[i].clock, i % 2 == 0 ? "4/4" : "6/8", 16 << (i % 3 == 0)});
  }
  static const char* const kFunctions[] = {"Statement", "Preparation", "Extension", "Antecedent",
                                           "Consequent"};
  std::vector<std::string> files;
  for (const Case& c : cases) {
    const std::string label = "'" + c.text + "' at " + std::to_string(c.clock);
    const Piece piece = testing::ComposeText(c.text, c.clock);
    ScoreOptions options;
    options.grid = c.grid;
    const std::string meter = c.meter;
    options.beats = std::stoi(meter.substr(0, meter.find('/')));
    options.beat_type = std::stoi(meter.substr(meter.find('/') + 1));
    options.reproduce = piece.Reproduce();
    std::string xml;
    files.push_back(
        Write(piece, "piece-" + std::to_string(files.size()) + ".musicxml", options, &xml));
    const ReadScore score = Read(xml);
    EXPECT_EQ(score.problems, std::vector<std::string>{}) << label;
    ASSERT_EQ(score.rehearsals.size(), piece.sections().size()) << label;
    for (std::size_t s = 0; s < piece.sections().size(); ++s) {
      const int f = piece.sections()[s].function;
      EXPECT_EQ(score.rehearsals[s],
                std::to_string(s + 1) + " " + (f >= 0 && f <= 4 ? kFunctions[f] : "Unknown"));
    }
    ExpectSameNotes(piece, score, c.grid, label);
    // Each part's clef follows the middle of its range: treble with an 8 above from C6, treble
    // from B3, bass from D2, bass with an 8 below lower down (a part that sounds below C0 is
    // written an octave up, and left out here).
    ASSERT_EQ(score.clefs.size(), score.parts.size()) << label;
    for (std::size_t part = 0; part < score.parts.size(); ++part) {
      const std::vector<ReadNote>& notes = score.parts[part];
      if (notes.empty()) {
        continue;
      }
      const auto [low, high] =
          std::minmax_element(notes.begin(), notes.end(),
                              [](const ReadNote& a, const ReadNote& b) { return a.key < b.key; });
      if (low->key < 12) {
        continue;
      }
      const int middle = (low->key + high->key) / 2;
      const char* clef = middle >= 84   ? "G2 1"
                         : middle >= 59 ? "G2"
                         : middle >= 38 ? "F4"
                                        : "F4 -1";
      EXPECT_EQ(score.clefs[part], clef) << label << ", part " << part + 1;
    }
    EXPECT_NE(xml.find(piece.Reproduce()), std::string::npos) << label;
    // The page's head: the title centred in 20 points, the composer on the right in 10.
    for (
        const char* head :
        {R"(default-x="600" default-y="1600" justify="center" valign="top" font-size="20">)",
         R"(default-x="1130" default-y="1540" justify="right" valign="top" font-size="10">vordel<)"}) {
      EXPECT_NE(xml.find(head), std::string::npos) << head;
    }
  }
  std::string xml;
  files.push_back(Write(testing::HandPiece({}), "empty.musicxml", {}, &xml));
  const ReadScore empty = Read(xml);  // one empty measure per part
  EXPECT_EQ(empty.problems, std::vector<std::string>{});
  EXPECT_EQ(empty.measures, (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(empty.clefs, (std::vector<std::string>{"G2", "G2", "G2", "G2"}));
  EXPECT_EQ(Validate(files), "");
}

TEST_F(ScoreFiles, BadPathsAndOptionsLeaveNothing) {
  std::string error;
  const std::string target = (dir_ / "missing" / "piece.musicxml").string();
  EXPECT_FALSE(WriteScore(testing::ComposeText("0 80 40 30 25", 0), target, {}, &error));
  EXPECT_NE(error.find(target), std::string::npos) << error;
  ScoreOptions bad;
  bad.grid = 8;
  EXPECT_FALSE(WriteScore(testing::ComposeText("0 80 40 30 25", 0),
                          (dir_ / "piece.musicxml").string(), bad, &error));
  EXPECT_TRUE(fs::is_empty(dir_));
  // A score is written only to a score's name.
  for (const auto& [name, ok] : {std::pair<const char*, bool>{"a.musicxml", true},
                                 {"dir.v2/A.XML", true},
                                 {"x.pdf", false},
                                 {"xml", false},
                                 {"a.xml/b", false},
                                 {"score.musicxml.bak", false}}) {
    std::string why;
    EXPECT_EQ(CheckScoreFileName(name, &why), ok) << name;
    EXPECT_EQ(why.empty(), ok) << name;
  }
}

}  // namespace
}  // namespace vordel
