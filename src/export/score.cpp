#include "export/score.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numeric>
#include <sstream>
#include <vector>

#include "composer/musical_object.h"
#include "export/engraving.h"
#include "export/file_names.h"
#include "midi/message.h"
#include "platform/pending_file.h"
#include "vordel_version.h"

namespace vordel {
namespace {

constexpr int kParts = 4;
constexpr std::int64_t kWhole = kUnitsPerWhole;  // a whole note in the score's units
constexpr int kLowestWritten = 12;               // C0
constexpr int kHighestWritten = 131;             // B9
// Spelled upwards (sharps) and downwards (flats): the step and its alteration per pitch class.
constexpr const char* kSharpSteps[12] = {"C", "C", "D", "D", "E", "F",
                                         "F", "G", "G", "A", "A", "B"};
constexpr const char* kFlatSteps[12] = {"C", "D", "D", "E", "E", "F", "G", "G", "A", "A", "B", "B"};
constexpr int kSharpAlter[12] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0};
constexpr int kFlatAlter[12] = {0, -1, 0, -1, 0, 0, -1, 0, -1, 0, -1, 0};
constexpr const char* kTypes[] = {"whole", "half", "quarter", "eighth",
                                  "16th",  "32nd", "64th",    "128th"};

// A note of one part in the score's units from its section's first measure.
struct Placed {
  std::int64_t start;
  std::int64_t end;
  int key;
  int velocity;
  bool staccato;
  bool held;
};

// Notes of a part that start and end together: one chord, notes[first, first + count) of its
// section.
struct Chord {
  std::int64_t start;
  std::int64_t end;
  std::size_t first;
  std::size_t count;
  const char* dynamic;  // the mark before it, when the part's level changes here
};

// Chords that follow one another without overlapping, in the order they sound; `next` is the
// first that has not ended before the measure being written.
struct Voice {
  std::vector<std::size_t> chords;
  std::int64_t free_from = 0;
  std::size_t next = 0;
};

// A direction at a place in a section: a tempo (metronome and its sound) or words.
struct Mark {
  std::int64_t at;
  std::string words;    // "rit.", "accel."; empty for a tempo
  double printed = 0;   // quarters a minute as README says them
  double sounding = 0;  // quarters a minute as the piece plays them
};

// One part's notes, chords and voices in one section.
struct PartSection {
  std::vector<Placed> notes;
  std::vector<Chord> chords;
  std::vector<Voice> voices;
  std::vector<Mark> marks;
};

// A clef: its sign, line and octave.
struct ClefChoice {
  const char* sign;
  int line;
  int octave_change;
  bool operator==(const ClefChoice& o) const {
    return std::strcmp(sign, o.sign) == 0 && line == o.line && octave_change == o.octave_change;
  }
};

// Hands what pugixml prints to the file as it comes.
class SinkWriter : public pugi::xml_writer {
 public:
  explicit SinkWriter(const ByteSink& sink) : sink_(sink) {}
  void write(const void* data, std::size_t size) override { ok_ = sink_(data, size) && ok_; }
  void Text(const char* text) { write(text, std::strlen(text)); }
  bool ok() const { return ok_; }

 private:
  const ByteSink& sink_;
  bool ok_ = true;
};

constexpr unsigned kFormat = pugi::format_indent;

const char* DynamicOf(int velocity) {
  static const std::array<std::pair<int, const char*>, 7> kLevels = {
      {{16, "ppp"}, {32, "pp"}, {48, "p"}, {64, "mp"}, {80, "mf"}, {96, "f"}, {112, "ff"}}};
  for (const auto& [upto, mark] : kLevels) {
    if (velocity <= upto) {
      return mark;
    }
  }
  return "fff";
}

std::string Number(double v, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  std::string s = text;
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') {
      s.pop_back();
    }
  }
  return s;
}

// The sound a notation program plays a General MIDI program (1..128) with, and the part's
// short name: the ensembles' instruments by name, any other by its family.
struct Instrument {
  const char* sound;
  const char* abbreviation;
};
Instrument InstrumentOf(int program) {
  static const std::array<std::pair<int, Instrument>, 11> kNamed = {{
      {41, {"strings.violin", "Vn."}},
      {42, {"strings.viola", "Va."}},
      {43, {"strings.cello", "Vc."}},
      {44, {"strings.contrabass", "Cb."}},
      {46, {"strings.group", "Pizz."}},
      {61, {"brass.french-horn", "Hn."}},
      {69, {"wind.reed.oboe", "Ob."}},
      {71, {"wind.reed.bassoon", "Bsn."}},
      {72, {"wind.reed.clarinet", "Cl."}},
      {74, {"wind.flutes.flute", "Fl."}},
      {1, {"keyboard.piano", "Pno."}},
  }};
  for (const auto& [p, instrument] : kNamed) {
    if (p == program) {
      return instrument;
    }
  }
  static const std::array<Instrument, 16> kFamilies = {{
      {"keyboard.piano", "Pno."},
      {"pitched-percussion.vibraphone", "Perc."},
      {"keyboard.organ", "Org."},
      {"pluck.guitar", "Gtr."},
      {"pluck.bass", "Bass"},
      {"strings.group", "Str."},
      {"strings.group", "Str."},
      {"brass.group", "Br."},
      {"wind.reed.saxophone", "Sax."},
      {"wind.reed.oboe", "Ww."},
      {"synth.tone.square", "Syn."},
      {"synth.pad", "Pad"},
      {"synth.effects", "Fx."},
      {"pluck.sitar", "Sit."},
      {"drum.group", "Perc."},
      {"effect", "Fx."},
  }};
  return kFamilies[static_cast<std::size_t>(std::clamp(program, 1, 128) - 1) / 8];
}

// The title as lines of at most `width` characters, broken between words.
std::vector<std::string> Wrapped(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::istringstream words(text);
  std::string word;
  std::string line;
  while (words >> word) {
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty()) {
    lines.push_back(line);
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& lines, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count && i < lines.size(); ++i) {
    text += (i > 0 ? "\n" : "") + lines[i];
  }
  return text;
}

// The clef that keeps most of a part's keys within three ledger lines (the first of those that
// keep as many: plain clefs before octave clefs).
ClefChoice ClefFor(const std::vector<int>& keys) {
  // Keys within three ledger lines of the staff: treble F3..E6, bass A1..G4.
  static const std::array<std::pair<ClefChoice, std::pair<int, int>>, 6> kClefs = {{
      {{"G", 2, 0}, {53, 88}},
      {{"F", 4, 0}, {33, 67}},
      {{"G", 2, 1}, {65, 100}},
      {{"F", 4, -1}, {21, 55}},
      {{"G", 2, 2}, {77, 112}},
      {{"F", 4, -2}, {9, 43}},
  }};
  ClefChoice best = kClefs[0].first;
  std::size_t most = 0;
  bool first = true;
  for (const auto& choice : kClefs) {
    const int low = choice.second.first;
    const int high = choice.second.second;
    const auto inside = static_cast<std::size_t>(
        std::count_if(keys.begin(), keys.end(), [=](int k) { return k >= low && k <= high; }));
    if (first || inside > most) {
      best = choice.first;
      most = inside;
      first = false;
    }
  }
  return best;
}

// The metronome unit and number for quarters a minute: a half or whole note where the quarter
// would pass 240.
std::pair<const char*, double> MetronomeOf(double quarters) {
  if (quarters > 480) {
    return {"whole", quarters / 4};
  }
  if (quarters > 240) {
    return {"half", quarters / 2};
  }
  return {"quarter", quarters};
}

// The notes and rests of one voice in one measure as they are written, for the beams.
struct Engraved {
  std::int64_t at;  // from the measure's start
  int type;
  bool rest;
  pugi::xml_node note;  // its first note (the chord's lowest line)
};

pugi::xml_node NotationsOf(pugi::xml_node note) {
  pugi::xml_node n = note.child("notations");
  return n ? n : note.append_child("notations");
}

class Writer {
 public:
  // stop: when it turns true the writing ends (Write returns false) at the next check.
  Writer(const Piece& piece, const ScoreOptions& options, const std::atomic<bool>* stop = nullptr)
      : piece_(piece),
        options_(options),
        meter_(options.beats, options.beat_type),
        measure_(meter_.measure()),
        beat_(meter_.beat()),
        step_(kWhole / options.grid),
        stop_(stop) {}

  // Prints the score measure by measure, so a long piece is never held whole as XML.
  bool Write(SinkWriter& out) {
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    doc.append_child(pugi::node_doctype)
        .set_value(
            "score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
            "\"http://www.musicxml.org/dtds/partwise.dtd\"");
    doc.save(out, "  ", kFormat, pugi::encoding_utf8);
    out.Text("<score-partwise version=\"4.0\">\n");
    doc.reset();
    Header(doc.root());
    PartList(doc.root());
    for (pugi::xml_node node : doc.children()) {
      node.print(out, "  ", kFormat, pugi::encoding_utf8, 1);
    }
    if (!Layout()) {
      return false;
    }
    for (int ch = 1; ch <= kParts && out.ok() && !Stopped(); ++ch) {
      // The parts' own elements are opened and closed here so that their measures can be
      // printed one at a time; the identifiers are the part list's.
      const std::string open = "  <part id=\"P" + std::to_string(ch) + "\">\n";
      out.Text(open.c_str());
      Part(out, ch);
      out.Text("  </part>\n");
    }
    out.Text("</score-partwise>\n");
    return out.ok() && !Stopped();
  }

 private:
  struct SectionFrame {
    std::int64_t first_measure = 0;  // counted from 0
    std::int64_t measures = 1;
  };

  void Header(pugi::xml_node score) {
    const std::string title = piece_.parameters().Canonical();
    score.append_child("work").append_child("work-title").text() = title.c_str();
    pugi::xml_node id = score.append_child("identification");
    pugi::xml_node creator = id.append_child("creator");
    creator.append_attribute("type") = "composer";
    creator.text() = "vordel";
    if (!options_.reproduce.empty()) {
      id.append_child("rights").text() = ("Made again with: " + options_.reproduce).c_str();
    }
    pugi::xml_node encoding = id.append_child("encoding");
    encoding.append_child("software").text() = "vordel " VORDEL_VERSION;
    char date[16];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    encoding.append_child("encoding-date").text() = date;
    pugi::xml_node defaults = score.append_child("defaults");
    pugi::xml_node scaling = defaults.append_child("scaling");
    scaling.append_child("millimeters").text() = "7";
    scaling.append_child("tenths").text() = "40";
    pugi::xml_node page = defaults.append_child("page-layout");
    page.append_child("page-height").text() = "1697";
    page.append_child("page-width").text() = "1200";
    // A title that would run off the page is wrapped; one longer than three lines is given
    // whole as the subtitle under its beginning.
    const std::vector<std::string> lines = Wrapped(title, 48);
    if (lines.size() <= 3) {
      Credit(score, "title", Joined(lines, 3), 600, 1600, "center", 20);
    } else {
      Credit(score, "title", lines.front() + " …", 600, 1600, "center", 20);
      Credit(score, "subtitle", Joined(Wrapped(title, 110), 40), 600, 1560, "center", 9);
    }
    Credit(score, "composer", "vordel", 1130, 1500, "right", 10);
  }

  static void Credit(pugi::xml_node score, const char* type, const std::string& text, int x, int y,
                     const char* justify, int size) {
    pugi::xml_node credit = score.append_child("credit");
    credit.append_attribute("page") = 1;
    credit.append_child("credit-type").text() = type;
    pugi::xml_node words = credit.append_child("credit-words");
    words.append_attribute("default-x") = x;
    words.append_attribute("default-y") = y;
    words.append_attribute("justify") = justify;
    words.append_attribute("valign") = "top";
    words.append_attribute("font-size") = size;
    words.text() = text.c_str();
  }

  void PartList(pugi::xml_node score) {
    pugi::xml_node list = score.append_child("part-list");
    for (int ch = 1; ch <= kParts; ++ch) {
      const track_preset& t = piece_.tracks()[ch - 1];
      const std::string id = "P" + std::to_string(ch);
      const std::string instrument = id + "-I1";
      const int program = std::clamp(t.Patch, 1, 128);
      const char* name =
          GetGMPatchName(ProgramMessage(1, static_cast<unsigned char>(t.Patch)).bytes[1]);
      const Instrument sound = InstrumentOf(program);
      pugi::xml_node part = list.append_child("score-part");
      part.append_attribute("id") = id.c_str();
      part.append_child("part-name").text() = name;
      part.append_child("part-abbreviation").text() = sound.abbreviation;
      pugi::xml_node si = part.append_child("score-instrument");
      si.append_attribute("id") = instrument.c_str();
      si.append_child("instrument-name").text() = name;
      si.append_child("instrument-sound").text() = sound.sound;
      pugi::xml_node midi = part.append_child("midi-instrument");
      midi.append_attribute("id") = instrument.c_str();
      midi.append_child("midi-channel").text() = ch;
      midi.append_child("midi-program").text() = program;
      midi.append_child("volume").text() =
          Number(std::clamp(t.Volume, 0, 127) * 100.0 / 127.0, 2).c_str();
      midi.append_child("pan").text() =
          Number((std::clamp(t.Panning, 0, 127) - 64) * 90.0 / 64.0, 1).c_str();
    }
  }

  bool Stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

  std::int64_t Snap(double units) const {
    return static_cast<std::int64_t>(std::llround(units / static_cast<double>(step_))) * step_;
  }

  // Where each section's measures lie, every note of every part in its place, and the marks.
  // Notes are where the composer wrote them; a voice on a tempo curve of its own, and what has
  // no written value, is placed on the grid. False when stopped.
  bool Layout() {
    const std::vector<PieceSection>& sections = piece_.sections();
    frames_.resize(sections.size());
    for (auto& part : parts_) {
      part.resize(sections.size());
    }
    std::vector<std::int64_t> longest(sections.size(), 1);
    for (std::size_t s = 0; s < sections.size(); ++s) {
      const PieceSection& section = sections[s];
      longest[s] = std::max<std::int64_t>(
          1, std::llround(static_cast<double>(section.part_start[2]) +
                          section.part_timed[2] / static_cast<double>(section.part_factor[2])));
      TempoMarks(s);
    }
    std::size_t placed = 0;
    // Per part and section: the first note of a voice off its part's tempo, to mark it.
    std::vector<std::array<bool, 3>> curve_marked(kParts * sections.size());
    for (const Note& n : piece_.Notes()) {
      if ((++placed & 4095U) == 0 && Stopped()) {
        return false;
      }
      const auto s = static_cast<std::size_t>(n.section);
      const PieceSection& section = sections[s];
      std::int64_t start = 0;
      std::int64_t end = 0;
      if (n.value > 0 && n.exact) {
        start = n.written_onset;
        end = start + n.value;
      } else if (n.value > 0) {
        const double factor =
            static_cast<double>(section.part_factor[static_cast<std::size_t>(n.part)]);
        start = Snap(static_cast<double>(n.written_onset));
        end = Snap(static_cast<double>(n.written_onset) +
                   n.value * static_cast<double>(n.tempo_factor) / factor);
        auto& marked = curve_marked[static_cast<std::size_t>(n.channel - 1) * sections.size() + s];
        if (!marked[static_cast<std::size_t>(n.part)]) {
          marked[static_cast<std::size_t>(n.part)] = true;
          parts_[n.channel - 1][s].marks.push_back(
              {start,
               n.tempo_factor > section.part_factor[static_cast<std::size_t>(n.part)] ? "rit."
                                                                                      : "accel.",
               0, 0});
        }
      } else {
        const double unit_ms = (section.beat_ms > 0 ? section.beat_ms : 500.0) * 4.0 / kWhole;
        start = Snap(static_cast<double>(n.onset - section.onset) / unit_ms);
        end = Snap(static_cast<double>(n.onset + n.length - section.onset) / unit_ms);
      }
      start = std::max<std::int64_t>(0, start);
      end = std::max(end, start + step_);  // a note shorter than half a step still sounds
      parts_[n.channel - 1][s].notes.push_back({start, end, n.key, n.velocity, n.staccato, n.held});
      longest[s] = std::max(longest[s], end);
    }
    std::int64_t measure = 0;
    for (std::size_t s = 0; s < sections.size(); ++s) {
      frames_[s].first_measure = measure;
      frames_[s].measures = (longest[s] + measure_ - 1) / measure_;
      measure += frames_[s].measures;
    }
    return true;
  }

  // The section's tempo where it begins, and again where its Development or Reprise changes it.
  void TempoMarks(std::size_t s) {
    const PieceSection& section = piece_.sections()[s];
    const double beat_ms = section.beat_ms > 0 ? section.beat_ms : 500.0;
    const double printed = section.tempo > 0 ? section.tempo : 60000.0 / beat_ms;
    float factor = 0;
    for (std::size_t p = 0; p < 3; ++p) {
      if (p > 0 && (section.part_factor[p] == factor || section.part_timed[p] <= 0)) {
        continue;
      }
      factor = section.part_factor[p];
      parts_[0][s].marks.push_back({section.part_start[p], "", printed / factor,
                                    60000.0 / beat_ms / static_cast<double>(factor)});
    }
  }

  // Chords and voices of each section; a dynamic mark where the part's level changes; the
  // clef of each section.
  void Arrange(std::vector<PartSection>& sections) {
    const char* level = nullptr;
    int lowest = 127;
    int highest = 0;
    clefs_.assign(sections.size(), ClefChoice{"G", 2, 0});
    std::vector<int> keys;
    std::vector<std::vector<int>> sections_keys;
    for (std::size_t s = 0; s < sections.size(); ++s) {
      PartSection& section = sections[s];
      if (Stopped()) {
        return;
      }
      std::vector<Placed>& notes = section.notes;
      std::stable_sort(notes.begin(), notes.end(), [](const Placed& a, const Placed& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
      });
      keys.clear();
      for (std::size_t i = 0; i < notes.size(); ++i) {
        const Placed& n = notes[i];
        lowest = std::min(lowest, n.key);
        highest = std::max(highest, n.key);
        keys.push_back(n.key);
        if (!section.chords.empty() && section.chords.back().start == n.start &&
            section.chords.back().end == n.end) {
          ++section.chords.back().count;
        } else {
          section.chords.push_back({n.start, n.end, i, 1, nullptr});
        }
      }
      for (std::size_t c = 0; c < section.chords.size(); ++c) {
        Chord& chord = section.chords[c];
        const char* here = DynamicOf(notes[chord.first].velocity);
        if (level == nullptr || std::strcmp(here, level) != 0) {
          chord.dynamic = here;
          level = here;
        }
        auto free = std::find_if(section.voices.begin(), section.voices.end(),
                                 [&](const Voice& v) { return v.free_from <= chord.start; });
        if (free == section.voices.end()) {
          section.voices.emplace_back();
          free = std::prev(section.voices.end());
        }
        free->chords.push_back(c);
        free->free_from = chord.end;
      }
      std::sort(section.marks.begin(), section.marks.end(),
                [](const Mark& a, const Mark& b) { return a.at < b.at; });
      sections_keys.push_back(keys);
    }
    // Pitches are written between C0 and B9. A part that sounds lower is written an octave up
    // (and says so), as a double bass is; a part that goes below C0 and above B8 alike changes
    // its transposition from measure to measure as its notes need.
    part_shift_ = lowest < kLowestWritten && highest + 12 <= kHighestWritten ? 12 : 0;
    per_measure_shift_ = lowest < kLowestWritten && highest + 12 > kHighestWritten;
    // Each section's clef from its keys as written.
    for (std::size_t s = 0; s < sections_keys.size(); ++s) {
      std::vector<int>& written = sections_keys[s];
      const bool low =
          !written.empty() && *std::min_element(written.begin(), written.end()) < kLowestWritten;
      const int shift = per_measure_shift_ ? (low ? 12 : 0) : part_shift_;
      for (int& k : written) {
        k += shift;
      }
      clefs_[s] =
          written.empty() ? (s > 0 ? clefs_[s - 1] : ClefChoice{"G", 2, 0}) : ClefFor(written);
    }
  }

  void Part(SinkWriter& out, int ch) {
    std::vector<PartSection>& sections = parts_[ch - 1];
    Arrange(sections);
    last_key_ = -1;
    flats_ = false;
    pugi::xml_document doc;
    auto print = [&] {
      doc.first_child().print(out, "  ", kFormat, pugi::encoding_utf8, 2);
      doc.reset();
    };
    if (frames_.empty()) {
      pugi::xml_node measure = doc.append_child("measure");
      measure.append_attribute("number") = 1;
      Attributes(measure, 0, ClefChoice{"G", 2, 0});
      Rest(measure, measure_, 1, true);
      Barline(measure, "light-heavy");
      print();
      return;
    }
    std::int64_t number = 1;
    ClefChoice clef{"", 0, 0};
    for (std::size_t s = 0; s < frames_.size() && out.ok(); ++s) {
      PartSection& section = sections[s];
      const PieceSection& composed = piece_.sections()[s];
      std::size_t mark = 0;
      for (std::int64_t m = 0; m < frames_[s].measures && out.ok() && !Stopped(); ++m, ++number) {
        pugi::xml_node measure = doc.append_child("measure");
        measure.append_attribute("number") = static_cast<long long>(number);
        const std::int64_t from = m * measure_;
        const std::int64_t to = from + measure_;
        for (Voice& voice : section.voices) {
          while (voice.next < voice.chords.size() &&
                 section.chords[voice.chords[voice.next]].end <= from) {
            ++voice.next;
          }
        }
        const int shift = per_measure_shift_ ? MeasureShift(section, to) : part_shift_;
        if (number == 1) {
          Attributes(measure, shift, clefs_[s]);
          clef = clefs_[s];
        } else if (shift != shift_ || (m == 0 && !(clefs_[s] == clef))) {
          pugi::xml_node attributes = measure.append_child("attributes");
          if (m == 0 && !(clefs_[s] == clef)) {
            Clef(attributes, clefs_[s]);
            clef = clefs_[s];
          }
          if (shift != shift_) {
            Transpose(attributes, shift);
          }
        }
        shift_ = shift;
        if (m == 0 && ch == 1) {
          Rehearsal(measure, s);
        }
        for (; mark < section.marks.size() && section.marks[mark].at < to; ++mark) {
          Direction(measure, section.marks[mark], section.marks[mark].at - from);
        }
        const bool last = m + 1 == frames_[s].measures;
        bool written = false;
        for (std::size_t v = 0; v < section.voices.size(); ++v) {
          Voice& voice = section.voices[v];
          if (voice.next == voice.chords.size() ||
              section.chords[voice.chords[voice.next]].start >= to) {
            continue;  // this voice is silent here
          }
          if (written) {
            measure.append_child("backup").append_child("duration").text() =
                static_cast<long long>(measure_);
          }
          FillVoice(measure, section, voice, from, to, static_cast<int>(v) + 1,
                    last && composed.pause_ms > 0);
          written = true;
        }
        if (!written) {
          Rest(measure, measure_, 1, true);
        }
        if (last) {
          Barline(measure, s + 1 == frames_.size() ? "light-heavy" : "light-light");
        }
        print();
      }
      section = PartSection{};  // written: its memory is not needed any more
    }
  }

  // One voice in one measure: its chords (cut at the barlines and by the beats, tied) and
  // rests between them, triplets in brackets; then its beams.
  void FillVoice(pugi::xml_node measure, const PartSection& section, const Voice& voice,
                 std::int64_t from, std::int64_t to, int number, bool caesura) {
    constexpr std::size_t kRest = static_cast<std::size_t>(-1);
    std::vector<Stretch> spans;
    std::vector<Interval> pieces;
    auto add = [&](std::int64_t a, std::int64_t b, std::size_t tag) {
      pieces.clear();
      meter_.Split(a - from, b - from, pieces);
      for (const auto& [x, y] : pieces) {
        spans.push_back({x, y, tag});
      }
    };
    std::int64_t at = from;
    for (std::size_t i = voice.next; i < voice.chords.size(); ++i) {
      const Chord& c = section.chords[voice.chords[i]];
      if (c.start >= to) {
        break;
      }
      const std::int64_t begin = std::max(c.start, from);
      if (begin > at) {
        add(at, begin, kRest);
      }
      const std::int64_t end = std::min(c.end, to);
      add(begin, end, voice.chords[i]);
      at = end;
    }
    if (at < to) {
      add(at, to, kRest);
    }
    // Triplets go in groups of a beat; whatever falls inside one is written in triplet values.
    const std::vector<Interval> groups = meter_.TripletBeats(spans);
    const std::vector<Stretch> cut = meter_.CutAtGroups(spans, groups);
    std::size_t g = 0;
    std::vector<Engraved> written;
    pugi::xml_node last_note;
    for (const Stretch& span : cut) {
      while (g < groups.size() && groups[g].second <= span.x) {
        ++g;
      }
      const bool inside = g < groups.size() && groups[g].first <= span.x;
      const NoteValue value = Meter::WrittenAs(span.y - span.x, inside);
      const bool opens = inside && span.x == groups[g].first;
      const bool closes = inside && span.y == groups[g].second;
      const std::int64_t units = span.y - span.x;
      if (span.tag == kRest) {
        pugi::xml_node note = Rest(measure, units, number, false, &value);
        written.push_back({span.x, value.type, true, note});
        Bracket(note, opens, closes);
        continue;
      }
      const Chord& c = section.chords[span.tag];
      const Placed& lead = section.notes[c.first];
      const bool tied_before = span.x + from > c.start;
      const bool tied_after = span.y + from < c.end;
      if (!tied_before && c.dynamic != nullptr) {
        Dynamic(measure, c.dynamic, lead.velocity, number);
      }
      pugi::xml_node first;
      for (std::size_t k = 0; k < c.count; ++k) {
        pugi::xml_node note = NoteElement(measure, section.notes[c.first + k], units, value, number,
                                          k > 0, tied_before, tied_after);
        if (k == 0) {
          first = note;
        }
      }
      if (!tied_before && lead.staccato) {
        NotationsOf(first).append_child("articulations").append_child("staccato");
      }
      if (!tied_after && lead.held) {
        NotationsOf(first).append_child("fermata").append_attribute("type") = "upright";
      }
      written.push_back({span.x, value.type, false, first});
      Bracket(first, opens, closes);
      last_note = first;
    }
    if (caesura && last_note) {
      NotationsOf(last_note).append_child("articulations").append_child("caesura");
    }
    Beams(written);
  }

  static void Bracket(pugi::xml_node note, bool opens, bool closes) {
    if (opens) {
      pugi::xml_node tuplet = NotationsOf(note).append_child("tuplet");
      tuplet.append_attribute("type") = "start";
      tuplet.append_attribute("bracket") = "yes";
    }
    if (closes) {
      NotationsOf(note).append_child("tuplet").append_attribute("type") = "stop";
    }
  }

  // Notes of an eighth or shorter within one beat are beamed together (a second beam for the
  // sixteenths and shorter among them); rests break a beam.
  void Beams(const std::vector<Engraved>& written) const {
    std::size_t i = 0;
    while (i < written.size()) {
      std::size_t j = i;
      auto beamable = [&](std::size_t k) {
        return !written[k].rest && written[k].type >= 3 &&
               written[k].at / beat_ == written[i].at / beat_;
      };
      while (j < written.size() && beamable(j)) {
        ++j;
      }
      if (j - i >= 2) {
        for (std::size_t k = i; k < j; ++k) {
          Beam(written[k].note, 1, k == i ? "begin" : k + 1 == j ? "end" : "continue");
        }
        for (std::size_t k = i; k < j;) {
          std::size_t e = k;
          while (e < j && written[e].type >= 4) {
            ++e;
          }
          if (e - k >= 2) {
            for (std::size_t q = k; q < e; ++q) {
              Beam(written[q].note, 2, q == k ? "begin" : q + 1 == e ? "end" : "continue");
            }
          }
          k = std::max(e, k + 1);
        }
      }
      i = std::max(j, i + 1);
    }
  }

  static void Beam(pugi::xml_node note, int level, const char* kind) {
    pugi::xml_node notations = note.child("notations");
    pugi::xml_node beam =
        notations ? note.insert_child_before("beam", notations) : note.append_child("beam");
    beam.append_attribute("number") = level;
    beam.text() = kind;
  }

  static void TypeOf(pugi::xml_node note, const NoteValue& value) {
    note.append_child("type").text() = kTypes[std::max(value.type, 0)];
    if (value.dotted) {
      note.append_child("dot");
    }
    if (value.triplet) {
      pugi::xml_node modification = note.append_child("time-modification");
      modification.append_child("actual-notes").text() = 3;
      modification.append_child("normal-notes").text() = 2;
    }
  }

  pugi::xml_node Rest(pugi::xml_node measure, std::int64_t units, int voice, bool whole_measure,
                      const NoteValue* value = nullptr) {
    pugi::xml_node note = measure.append_child("note");
    pugi::xml_node rest = note.append_child("rest");
    if (whole_measure) {
      rest.append_attribute("measure") = "yes";
    }
    note.append_child("duration").text() = static_cast<long long>(units);
    note.append_child("voice").text() = voice;
    if (!whole_measure) {
      TypeOf(note, value != nullptr ? *value : ValueOf(units));
    }
    return note;
  }

  pugi::xml_node NoteElement(pugi::xml_node measure, const Placed& n, std::int64_t units,
                             const NoteValue& value, int voice, bool chord, bool tied_before,
                             bool tied_after) {
    pugi::xml_node note = measure.append_child("note");
    note.append_attribute("dynamics") = Number(n.velocity * 100.0 / 90.0, 2).c_str();
    if (chord) {
      note.append_child("chord");
    }
    pugi::xml_node pitch = note.append_child("pitch");
    const int written = n.key + shift_;
    // Spelled by the direction the part moves in: sharps up, flats down; a repeated key keeps
    // its spelling (so a tie never changes it).
    if (!chord && !tied_before && last_key_ >= 0 && n.key != last_key_) {
      flats_ = n.key < last_key_;
    }
    if (!chord) {
      last_key_ = n.key;
    }
    const int pc = written % 12;
    pitch.append_child("step").text() = flats_ ? kFlatSteps[pc] : kSharpSteps[pc];
    const int alter = flats_ ? kFlatAlter[pc] : kSharpAlter[pc];
    if (alter != 0) {
      pitch.append_child("alter").text() = alter;
    }
    pitch.append_child("octave").text() = std::clamp(written / 12 - 1, 0, 9);
    note.append_child("duration").text() = static_cast<long long>(units);
    if (tied_before) {
      note.append_child("tie").append_attribute("type") = "stop";
    }
    if (tied_after) {
      note.append_child("tie").append_attribute("type") = "start";
    }
    note.append_child("voice").text() = voice;
    TypeOf(note, value);
    if (tied_before || tied_after) {
      pugi::xml_node notations = note.append_child("notations");
      if (tied_before) {
        notations.append_child("tied").append_attribute("type") = "stop";
      }
      if (tied_after) {
        notations.append_child("tied").append_attribute("type") = "start";
      }
    }
    return note;
  }

  void Dynamic(pugi::xml_node measure, const char* mark, int velocity, int voice) {
    pugi::xml_node direction = measure.append_child("direction");
    direction.append_attribute("placement") = "below";
    direction.append_child("direction-type").append_child("dynamics").append_child(mark);
    direction.append_child("voice").text() = voice;
    direction.append_child("sound").append_attribute("dynamics") =
        Number(velocity * 100.0 / 90.0, 2).c_str();
  }

  void Rehearsal(pugi::xml_node measure, std::size_t s) {
    const PieceSection& section = piece_.sections()[s];
    pugi::xml_node rehearsal = measure.append_child("direction");
    rehearsal.append_attribute("placement") = "above";
    rehearsal.append_child("direction-type").append_child("rehearsal").text() =
        (std::to_string(section.number) + " " + FunktionName(section.function)).c_str();
  }

  // A tempo or words at `offset` units into the measure.
  static void Direction(pugi::xml_node measure, const Mark& mark, std::int64_t offset) {
    pugi::xml_node direction = measure.append_child("direction");
    direction.append_attribute("placement") = "above";
    pugi::xml_node type = direction.append_child("direction-type");
    if (!mark.words.empty()) {
      type.append_child("words").text() = mark.words.c_str();
    } else {
      const auto [unit, per_minute] = MetronomeOf(mark.printed);
      pugi::xml_node metronome = type.append_child("metronome");
      metronome.append_child("beat-unit").text() = unit;
      metronome.append_child("per-minute").text() = Number(per_minute, 1).c_str();
    }
    if (offset > 0) {
      pugi::xml_node o = direction.append_child("offset");
      o.text() = static_cast<long long>(offset);
      o.append_attribute("sound") = "yes";
    }
    if (mark.words.empty()) {
      direction.append_child("sound").append_attribute("tempo") = Number(mark.sounding, 4).c_str();
    }
  }

  // The octave a measure is written up: one when it has notes below C0. A measure that reaches
  // from below C0 to above B8 cannot be written in one transposition; its highest notes are
  // then written in the ninth octave.
  int MeasureShift(const PartSection& section, std::int64_t to) const {
    int lowest = 127;
    for (const Voice& voice : section.voices) {
      for (std::size_t i = voice.next; i < voice.chords.size(); ++i) {
        const Chord& c = section.chords[voice.chords[i]];
        if (c.start >= to) {
          break;
        }
        for (std::size_t k = 0; k < c.count; ++k) {
          lowest = std::min(lowest, section.notes[c.first + k].key);
        }
      }
    }
    return lowest < kLowestWritten ? 12 : 0;
  }

  static void Transpose(pugi::xml_node attributes, int shift) {
    pugi::xml_node transpose = attributes.append_child("transpose");
    transpose.append_child("diatonic").text() = 0;
    transpose.append_child("chromatic").text() = 0;
    transpose.append_child("octave-change").text() = -shift / 12;
  }

  static void Clef(pugi::xml_node attributes, const ClefChoice& choice) {
    pugi::xml_node clef = attributes.append_child("clef");
    clef.append_child("sign").text() = choice.sign;
    clef.append_child("line").text() = choice.line;
    if (choice.octave_change != 0) {
      clef.append_child("clef-octave-change").text() = choice.octave_change;
    }
  }

  void Attributes(pugi::xml_node measure, int shift, const ClefChoice& clef) {
    pugi::xml_node attributes = measure.append_child("attributes");
    attributes.append_child("divisions").text() = static_cast<long long>(kWhole / 4);
    pugi::xml_node key = attributes.append_child("key");
    key.append_child("fifths").text() = 0;
    key.append_child("mode").text() = "none";
    pugi::xml_node time = attributes.append_child("time");
    time.append_child("beats").text() = options_.beats;
    time.append_child("beat-type").text() = options_.beat_type;
    Clef(attributes, clef);
    if (shift != 0) {
      Transpose(attributes, shift);
    }
  }

  static void Barline(pugi::xml_node measure, const char* style) {
    pugi::xml_node barline = measure.append_child("barline");
    barline.append_attribute("location") = "right";
    barline.append_child("bar-style").text() = style;
  }

  const Piece& piece_;
  const ScoreOptions& options_;
  const Meter meter_;
  const std::int64_t measure_;  // units
  const std::int64_t beat_;
  const std::int64_t step_;  // the grid
  const std::atomic<bool>* stop_;
  std::vector<SectionFrame> frames_;
  std::array<std::vector<PartSection>, kParts> parts_;
  std::vector<ClefChoice> clefs_;
  int part_shift_ = 0;  // semitones the part is written above its sound
  bool per_measure_shift_ = false;
  int shift_ = 0;  // the transposition in force
  int last_key_ = -1;
  bool flats_ = false;
};

}  // namespace

std::string ScoreCommand(const Piece& piece, const std::string& path, const ScoreOptions& options) {
  std::string action;
  if (options.beats != 4 || options.beat_type != 4) {
    action += "--time-signature " + std::to_string(options.beats) + "/" +
              std::to_string(options.beat_type) + " ";
  }
  if (options.grid != 16) {
    action += "--grid " + std::to_string(options.grid) + " ";
  }
  std::string name =
      path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
  std::string quoted = "'";
  for (const char c : name) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return piece.Reproduce(action + "--score " + quoted + "'");
}

bool CheckScoreFileName(const std::string& path, std::string* error) {
  if (HasExtension(path, ".musicxml") || HasExtension(path, ".xml")) {
    return true;
  }
  *error = "a score is saved to a .musicxml or .xml file, not '" + path + "'";
  return false;
}

bool CheckScoreOptions(const ScoreOptions& options, std::string* error) {
  if (options.grid != 16 && options.grid != 32) {
    *error = "--grid takes 16 or 32, not " + std::to_string(options.grid);
    return false;
  }
  const int t = options.beat_type;
  if (options.beats < 1 || options.beats > 32 ||
      !(t == 1 || t == 2 || t == 4 || t == 8 || t == 16)) {
    *error =
        "--time-signature takes 1 to 32 beats of a whole, half, quarter, eighth or sixteenth "
        "note, not " +
        std::to_string(options.beats) + "/" + std::to_string(t);
    return false;
  }
  return true;
}

std::string ScoreDocument(const Piece& piece, const ScoreOptions& options) {
  std::string text;
  const ByteSink sink = [&](const void* data, std::size_t size) {
    text.append(static_cast<const char*>(data), size);
    return true;
  };
  SinkWriter out(sink);
  Writer(piece, options).Write(out);
  return text;
}

bool WriteScore(const Piece& piece, const std::string& path, const ScoreOptions& options,
                std::string* error) {
  PendingFile file(path);
  return WriteScore(piece, file, options, nullptr, error);
}

bool WriteScore(const Piece& piece, PendingFile& file, const ScoreOptions& options,
                const std::atomic<bool>* stop, std::string* error) {
  if (!CheckScoreOptions(options, error)) {
    file.Abandon();
    return false;
  }
  return WriteFileAtomically(
      file,
      [&](const ByteSink& sink) {
        const ByteSink stoppable = [&](const void* data, std::size_t size) {
          return !(stop != nullptr && stop->load(std::memory_order_relaxed)) && sink(data, size);
        };
        SinkWriter out(stop != nullptr ? stoppable : sink);
        return Writer(piece, options, stop).Write(out);
      },
      error);
}

bool LooksLikeOwnScore(const std::string& head) {
  const std::size_t root = head.find("<score-partwise");
  const std::size_t software = head.find("<software>vordel ");
  return root != std::string::npos && software != std::string::npos && root < software;
}

std::uint64_t EstimatedScoreBytes(const Piece& piece) {
  return static_cast<std::uint64_t>(piece.EventCount()) * 700 + 65536;
}

}  // namespace vordel
