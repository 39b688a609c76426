#include "export/score.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <vector>

#include "composer/musical_object.h"
#include "export/file_names.h"
#include "midi/message.h"
#include "platform/pending_file.h"
#include "vordel_version.h"

namespace vordel {
namespace {

constexpr int kParts = 4;
constexpr int kLowestWritten = 12;    // C0
constexpr int kHighestWritten = 131;  // B9
constexpr const char* kSteps[12] = {"C", "C", "D", "D", "E", "F", "F", "G", "G", "A", "A", "B"};
constexpr bool kSharp[12] = {false, true,  false, true,  false, false,
                             true,  false, true,  false, true,  false};

// A note of one part in grid units from its section's first measure.
struct Placed {
  std::int64_t start;
  std::int64_t end;
  int key;
  int velocity;
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

// One part's notes, chords and voices in one section.
struct PartSection {
  std::vector<Placed> notes;
  std::vector<Chord> chords;
  std::vector<Voice> voices;
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

class Writer {
 public:
  // stop: when it turns true the writing ends (Write returns false) at the next check.
  Writer(const Piece& piece, const ScoreOptions& options, const std::atomic<bool>* stop = nullptr)
      : piece_(piece),
        options_(options),
        units_per_measure_(options.beats * options.grid / options.beat_type),
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
    double beat_ms = 500;
  };

  void Header(pugi::xml_node score) {
    const std::string title = piece_.parameters().Canonical();
    score.append_child("work").append_child("work-title").text() = title.c_str();
    pugi::xml_node id = score.append_child("identification");
    pugi::xml_node creator = id.append_child("creator");
    creator.append_attribute("type") = "composer";
    creator.text() = "vordel";
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
    Credit(score, "title", title, 600, 1600, "center", 20);
    Credit(score, "composer", "vordel", 1130, 1540, "right", 10);
    if (!options_.reproduce.empty()) {
      Credit(score, "rights", "Made again with: " + options_.reproduce, 600, 40, "center", 8);
    }
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
      const char* name =
          GetGMPatchName(ProgramMessage(1, static_cast<unsigned char>(t.Patch)).bytes[1]);
      pugi::xml_node part = list.append_child("score-part");
      part.append_attribute("id") = id.c_str();
      part.append_child("part-name").text() = name;
      pugi::xml_node si = part.append_child("score-instrument");
      si.append_attribute("id") = instrument.c_str();
      si.append_child("instrument-name").text() = name;
      pugi::xml_node midi = part.append_child("midi-instrument");
      midi.append_attribute("id") = instrument.c_str();
      midi.append_child("midi-channel").text() = ch;
      midi.append_child("midi-program").text() = std::clamp(t.Patch, 1, 128);
      midi.append_child("volume").text() =
          Number(std::clamp(t.Volume, 0, 127) * 100.0 / 127.0, 2).c_str();
      midi.append_child("pan").text() =
          Number((std::clamp(t.Panning, 0, 127) - 64) * 90.0 / 64.0, 1).c_str();
    }
  }

  // Where each section's measures lie, and every note of every part placed on the grid.
  bool Stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

  // False when stopped.
  bool Layout() {
    const std::vector<PieceSection>& sections = piece_.sections();
    frames_.resize(sections.size());
    for (auto& part : parts_) {
      part.resize(sections.size());
    }
    std::vector<std::int64_t> longest(sections.size(), 1);
    for (std::size_t s = 0; s < sections.size(); ++s) {
      const double beat = sections[s].beat_ms > 0 ? sections[s].beat_ms : 500.0;
      frames_[s].beat_ms = beat;
      const std::int64_t next = s + 1 < sections.size() ? sections[s + 1].onset : piece_.total_ms();
      longest[s] = std::max<std::int64_t>(
          1, static_cast<std::int64_t>(
                 std::ceil(static_cast<double>(next - sections[s].onset) / Step(beat))));
    }
    std::size_t placed = 0;
    for (const Note& n : piece_.Notes()) {
      if ((++placed & 4095U) == 0 && Stopped()) {
        return false;
      }
      const auto s = static_cast<std::size_t>(n.section);
      const double step = Step(frames_[s].beat_ms);
      const double from = static_cast<double>(sections[s].onset);
      const std::int64_t start =
          std::max<std::int64_t>(0, std::llround(static_cast<double>(n.onset - from) / step));
      std::int64_t end = std::llround(static_cast<double>(n.onset + n.length - from) / step);
      end = std::max(end, start + 1);  // a note shorter than half a step still sounds
      parts_[n.channel - 1][s].notes.push_back({start, end, n.key, n.velocity});
      longest[s] = std::max(longest[s], end);
    }
    std::int64_t measure = 0;
    for (std::size_t s = 0; s < sections.size(); ++s) {
      frames_[s].first_measure = measure;
      frames_[s].measures = (longest[s] + units_per_measure_ - 1) / units_per_measure_;
      measure += frames_[s].measures;
    }
    return true;
  }

  double Step(double beat_ms) const { return beat_ms * 4.0 / options_.grid; }

  // Chords and voices of each section; a dynamic mark where the part's level changes.
  void Arrange(std::vector<PartSection>& sections) {
    const char* level = nullptr;
    int lowest = 127;
    int highest = 0;
    for (PartSection& section : sections) {
      if (Stopped()) {
        return;
      }
      std::vector<Placed>& notes = section.notes;
      std::stable_sort(notes.begin(), notes.end(), [](const Placed& a, const Placed& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
      });
      for (std::size_t i = 0; i < notes.size(); ++i) {
        const Placed& n = notes[i];
        lowest = std::min(lowest, n.key);
        highest = std::max(highest, n.key);
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
    }
    // Pitches are written between C0 and B9. A part that sounds lower is written an octave up
    // (and says so), as a double bass is; a part that goes below C0 and above B8 alike changes
    // its transposition from measure to measure as its notes need.
    part_shift_ = lowest < kLowestWritten && highest + 12 <= kHighestWritten ? 12 : 0;
    per_measure_shift_ = lowest < kLowestWritten && highest + 12 > kHighestWritten;
    clef_ = Clef(lowest + part_shift_, highest + part_shift_);
  }

  void Part(SinkWriter& out, int ch) {
    std::vector<PartSection>& sections = parts_[ch - 1];
    Arrange(sections);
    pugi::xml_document doc;
    auto print = [&] {
      doc.first_child().print(out, "  ", kFormat, pugi::encoding_utf8, 2);
      doc.reset();
    };
    if (frames_.empty()) {
      pugi::xml_node measure = doc.append_child("measure");
      measure.append_attribute("number") = 1;
      Attributes(measure, 0);
      Rest(measure, units_per_measure_, 1, true);
      Barline(measure, "light-heavy");
      print();
      return;
    }
    std::int64_t number = 1;
    for (std::size_t s = 0; s < frames_.size() && out.ok(); ++s) {
      PartSection& section = sections[s];
      for (std::int64_t m = 0; m < frames_[s].measures && out.ok() && !Stopped(); ++m, ++number) {
        pugi::xml_node measure = doc.append_child("measure");
        measure.append_attribute("number") = static_cast<long long>(number);
        if (m == 0 && ch == 1) {
          SectionMarks(measure, s);
        }
        const std::int64_t from = m * units_per_measure_;
        const std::int64_t to = from + units_per_measure_;
        for (Voice& voice : section.voices) {
          while (voice.next < voice.chords.size() &&
                 section.chords[voice.chords[voice.next]].end <= from) {
            ++voice.next;
          }
        }
        const int shift = per_measure_shift_ ? MeasureShift(section, to) : part_shift_;
        if (number == 1) {
          Attributes(measure, shift);
        } else if (shift != shift_) {
          Transpose(measure.append_child("attributes"), shift);
        }
        shift_ = shift;
        bool written = false;
        for (std::size_t v = 0; v < section.voices.size(); ++v) {
          Voice& voice = section.voices[v];
          if (voice.next == voice.chords.size() ||
              section.chords[voice.chords[voice.next]].start >= to) {
            continue;  // this voice is silent here
          }
          if (written) {
            measure.append_child("backup").append_child("duration").text() =
                static_cast<long long>(units_per_measure_);
          }
          FillVoice(measure, section, voice, from, to, static_cast<int>(v) + 1);
          written = true;
        }
        if (!written) {
          Rest(measure, units_per_measure_, 1, true);
        }
        if (m + 1 == frames_[s].measures) {
          Barline(measure, s + 1 == frames_.size() ? "light-heavy" : "light-light");
        }
        print();
      }
      section = PartSection{};  // written: its memory is not needed any more
    }
  }

  // One voice in one measure: its chords (cut at the barlines and into plain and dotted
  // values, tied) and rests between them.
  void FillVoice(pugi::xml_node measure, const PartSection& section, const Voice& voice,
                 std::int64_t from, std::int64_t to, int number) {
    std::int64_t at = from;
    for (std::size_t i = voice.next; i < voice.chords.size(); ++i) {
      const Chord& c = section.chords[voice.chords[i]];
      if (c.start >= to) {
        break;
      }
      const std::int64_t begin = std::max(c.start, from);
      if (begin > at) {
        Rests(measure, at, begin, number);
      }
      const Placed& lead = section.notes[c.first];
      if (c.dynamic != nullptr && c.start >= from) {
        Dynamic(measure, c.dynamic, lead.velocity, number);
      }
      const std::int64_t end = std::min(c.end, to);
      for (std::int64_t piece_from = begin; piece_from < end;) {
        const std::int64_t length = Longest(end - piece_from);
        const bool tied_before = piece_from > c.start;
        const bool tied_after = piece_from + length < c.end;
        for (std::size_t k = 0; k < c.count; ++k) {
          NoteElement(measure, section.notes[c.first + k], length, number, k > 0, tied_before,
                      tied_after);
        }
        piece_from += length;
      }
      at = end;
    }
    if (at < to) {
      Rests(measure, at, to, number);
    }
  }

  // The longest plain or dotted value that fits into `units`.
  std::int64_t Longest(std::int64_t units) const {
    std::int64_t best = 1;
    for (std::int64_t plain = options_.grid; plain >= 1; plain /= 2) {
      if (plain * 3 % 2 == 0 && plain * 3 / 2 <= units && plain * 3 / 2 > best) {
        best = plain * 3 / 2;
      }
      if (plain <= units && plain > best) {
        best = plain;
      }
    }
    return best;
  }

  // The type and dots of a value of `units`.
  void Value(pugi::xml_node note, std::int64_t units) const {
    static const char* const kTypes[] = {"whole", "half", "quarter", "eighth", "16th", "32nd"};
    int index = 0;
    bool dotted = false;
    for (std::int64_t plain = options_.grid; plain >= 1; plain /= 2, ++index) {
      if (plain == units) {
        break;
      }
      if (plain * 3 == units * 2) {
        dotted = true;
        break;
      }
    }
    note.append_child("type").text() = kTypes[std::min(index, 5)];
    if (dotted) {
      note.append_child("dot");
    }
  }

  void Rests(pugi::xml_node measure, std::int64_t from, std::int64_t to, int voice) {
    if (from == to - units_per_measure_ && from % units_per_measure_ == 0) {
      Rest(measure, units_per_measure_, voice, true);
      return;
    }
    while (from < to) {
      const std::int64_t length = Longest(to - from);
      Rest(measure, length, voice, false);
      from += length;
    }
  }

  void Rest(pugi::xml_node measure, std::int64_t units, int voice, bool whole_measure) {
    pugi::xml_node note = measure.append_child("note");
    pugi::xml_node rest = note.append_child("rest");
    if (whole_measure) {
      rest.append_attribute("measure") = "yes";
    }
    note.append_child("duration").text() = static_cast<long long>(units);
    note.append_child("voice").text() = voice;
    if (!whole_measure) {
      Value(note, units);
    }
  }

  void NoteElement(pugi::xml_node measure, const Placed& n, std::int64_t units, int voice,
                   bool chord, bool tied_before, bool tied_after) {
    pugi::xml_node note = measure.append_child("note");
    note.append_attribute("dynamics") = Number(n.velocity * 100.0 / 90.0, 2).c_str();
    if (chord) {
      note.append_child("chord");
    }
    pugi::xml_node pitch = note.append_child("pitch");
    const int written = n.key + shift_;
    pitch.append_child("step").text() = kSteps[written % 12];
    if (kSharp[written % 12]) {
      pitch.append_child("alter").text() = 1;
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
    Value(note, units);
    if (tied_before || tied_after) {
      pugi::xml_node notations = note.append_child("notations");
      if (tied_before) {
        notations.append_child("tied").append_attribute("type") = "stop";
      }
      if (tied_after) {
        notations.append_child("tied").append_attribute("type") = "start";
      }
    }
  }

  void Dynamic(pugi::xml_node measure, const char* mark, int velocity, int voice) {
    pugi::xml_node direction = measure.append_child("direction");
    direction.append_attribute("placement") = "below";
    direction.append_child("direction-type").append_child("dynamics").append_child(mark);
    direction.append_child("voice").text() = voice;
    direction.append_child("sound").append_attribute("dynamics") =
        Number(velocity * 100.0 / 90.0, 2).c_str();
  }

  void SectionMarks(pugi::xml_node measure, std::size_t s) {
    const PieceSection& section = piece_.sections()[s];
    pugi::xml_node rehearsal = measure.append_child("direction");
    rehearsal.append_attribute("placement") = "above";
    rehearsal.append_child("direction-type").append_child("rehearsal").text() =
        (std::to_string(section.number) + " " + FunktionName(section.function)).c_str();
    const double tempo = 60000.0 / frames_[s].beat_ms;
    pugi::xml_node direction = measure.append_child("direction");
    direction.append_attribute("placement") = "above";
    pugi::xml_node metronome = direction.append_child("direction-type").append_child("metronome");
    metronome.append_child("beat-unit").text() = "quarter";
    metronome.append_child("per-minute").text() = static_cast<long long>(std::llround(tempo));
    direction.append_child("sound").append_attribute("tempo") = Number(tempo, 4).c_str();
  }

  struct ClefChoice {
    const char* sign;
    int line;
    int octave_change;
  };

  // The clef that keeps most of a part's range on the staff.
  static ClefChoice Clef(int lowest, int highest) {
    if (lowest > highest) {
      return {"G", 2, 0};
    }
    const int middle = (lowest + highest) / 2;
    if (middle >= 84) {
      return {"G", 2, 1};
    }
    if (middle >= 59) {
      return {"G", 2, 0};
    }
    if (middle >= 38) {
      return {"F", 4, 0};
    }
    return {"F", 4, -1};
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

  void Attributes(pugi::xml_node measure, int shift) {
    pugi::xml_node attributes = measure.append_child("attributes");
    attributes.append_child("divisions").text() = options_.grid / 4;
    pugi::xml_node time = attributes.append_child("time");
    time.append_child("beats").text() = options_.beats;
    time.append_child("beat-type").text() = options_.beat_type;
    pugi::xml_node clef = attributes.append_child("clef");
    clef.append_child("sign").text() = clef_.sign;
    clef.append_child("line").text() = clef_.line;
    if (clef_.octave_change != 0) {
      clef.append_child("clef-octave-change").text() = clef_.octave_change;
    }
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
  const std::int64_t units_per_measure_;
  const std::atomic<bool>* stop_;
  std::vector<SectionFrame> frames_;
  std::array<std::vector<PartSection>, kParts> parts_;
  ClefChoice clef_{"G", 2, 0};
  int part_shift_ = 0;  // semitones the part is written above its sound
  bool per_measure_shift_ = false;
  int shift_ = 0;  // the transposition in force
};

}  // namespace

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
