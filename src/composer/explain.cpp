#include "composer/explain.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "composer/musical_object.h"

namespace vordel {
namespace {

constexpr const char* kFields[kNumbersPerObject] = {"function", "register", "velocity", "tempo",
                                                    "length"};

const char* FunctionMeaning(int f) {
  switch (f) {
    case kStatement:
      return "states a twelve-tone row of its own (chosen by the register), with its own "
             "dynamics and rhythms";
    case kPreparation:
      return "prepares the section after it, from that section's pitches, dynamics and rhythms";
    case kExtension:
      return "extends the section before it, from that section's pitches, dynamics and rhythms";
    case kAntecedent:
      return "the row of the last Statement up to here, a semitone higher, with its rhythms and "
             "dynamics of its own";
    case kConsequent:
      return "the row of the last Statement up to here, a semitone lower, with its dynamics and "
             "rhythms";
    default:
      return "no material of its own: every note on the register's lowest key, all voices "
             "together";
  }
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// "41.1 s", "2 min 5 s".
std::string Duration(std::int64_t ms) {
  char text[48];
  if (ms < 60000) {
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "%lld min %lld s", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms % 60000 / 1000));
  }
  return text;
}

// What a section's numbers were read as, warnings for those outside their useful range.
void SectionWarnings(int number, const SectionParameters& p, std::vector<std::string>* out) {
  const std::string section = "section " + std::to_string(number) + ": ";
  if (p.function < 0 || p.function > kFunctionHighest) {
    out->push_back(section + "function " + std::to_string(p.function) +
                   " is not one of 0-4; the section has no material of its own (every note on "
                   "the register's lowest key)");
  }
  if (p.p1 < kRegisterLowest || p.p1 > kRegisterHighest) {
    out->push_back(section + "register " + std::to_string(p.p1) +
                   " is outside 1-100; its pitches start from " +
                   KeyName(LowestKeyOfRegister(p.p1)) + ", as for 50");
  }
  if (p.p2 < kVelocityLowest) {
    out->push_back(section + "velocity " + std::to_string(p.p2) +
                   " is below 1; its quietest notes are played at velocity 1, or not at all "
                   "where they come to 0");
  } else if (p.p2 > kVelocityHighest) {
    out->push_back(section + "velocity " + std::to_string(p.p2) +
                   " is above 47; the dynamics add up to 80 to it, and every note above 127 is "
                   "played at 127");
  }
  if (p.p3 < kTempoLowest || p.p3 > kTempoHighest) {
    out->push_back(section + "tempo " + std::to_string(p.p3) +
                   " is outside 1-100 and is read as 50 (" +
                   std::to_string(BeatsPerMinuteOfTempo(p.p3)) + " beats a minute)");
  }
  if (p.p4 < kLengthLowest) {
    out->push_back(section + "length " + std::to_string(p.p4) +
                   " is below 0; the section has no notes");
  }
}

}  // namespace

std::string KeyName(int key) {
  static const char* const kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                         "F#", "G",  "G#", "A",  "A#", "B"};
  const int k = std::clamp(key, 0, 127);
  return kNames[k % 12] + std::to_string(k / 12 - 1);
}

std::vector<std::string> ParameterWarnings(const PieceParameters& parameters) {
  std::vector<std::string> out;
  if (parameters.truncated()) {
    out.push_back("only the first " + std::to_string(kMaxParameterText) +
                  " characters of the string are read");
  }
  for (const ParameterToken& t : parameters.tokens()) {
    if (t.saturated) {
      out.push_back(Quoted(t.text) + " is beyond the range of numbers and is read as " +
                    std::to_string(t.value));
    } else if (!t.plain) {
      out.push_back(Quoted(t.text) + " is not a plain number and is read as " +
                    std::to_string(t.value));
    }
  }
  const std::vector<SectionParameters>& sections = parameters.sections();
  for (std::size_t s = 0; s < sections.size(); ++s) {
    SectionWarnings(static_cast<int>(s) + 1, sections[s], &out);
  }
  if (parameters.groups_dropped() > 0) {
    out.push_back(std::to_string(parameters.groups_dropped()) +
                  " group(s) of five after the 50th make no section");
  }
  if (parameters.leftover() > 0) {
    std::string numbers;
    const std::vector<ParameterToken>& tokens = parameters.tokens();
    for (std::size_t i = tokens.size() - static_cast<std::size_t>(parameters.leftover());
         i < tokens.size(); ++i) {
      numbers += (numbers.empty() ? "" : " ") + tokens[i].text;
    }
    out.push_back(std::to_string(parameters.leftover()) +
                  " number(s) after the last complete group of five are not used: " + numbers);
  }
  return out;
}

std::string ExplainParameters(const PieceParameters& parameters, const Piece& piece) {
  std::ostringstream out;
  const std::vector<SectionParameters>& sections = parameters.sections();
  out << Quoted(parameters.Canonical()) << ": " << sections.size() << " section(s)";
  if (!piece.empty()) {
    out << ", " << piece.Notes().size() << " notes, " << Duration(piece.total_ms());
  }
  out << "\n";
  // What the piece made of each section: keys and velocities as sounded, and its notes.
  struct Made {
    int low_key = 128;
    int high_key = -1;
    int low_velocity = 128;
    int high_velocity = -1;
    std::size_t notes = 0;
  };
  std::vector<Made> made(sections.size());
  for (const Note& n : piece.Notes()) {
    if (n.section < 0 || static_cast<std::size_t>(n.section) >= made.size()) {
      continue;
    }
    Made& m = made[static_cast<std::size_t>(n.section)];
    m.low_key = std::min(m.low_key, n.key);
    m.high_key = std::max(m.high_key, n.key);
    m.low_velocity = std::min(m.low_velocity, n.velocity);
    m.high_velocity = std::max(m.high_velocity, n.velocity);
    ++m.notes;
  }
  const std::vector<ParameterToken>& tokens = parameters.tokens();
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const SectionParameters& p = sections[s];
    const Made& m = made[s];
    const bool composed = s < piece.sections().size();
    out << "\nSection " << s + 1 << ": " << FunktionName(p.function) << " - "
        << FunctionMeaning(p.function) << "\n";
    const int values[kNumbersPerObject] = {p.function, p.p1, p.p2, p.p3, p.p4};
    for (int f = 0; f < kNumbersPerObject; ++f) {
      const ParameterToken& t = tokens[s * kNumbersPerObject + static_cast<std::size_t>(f)];
      char head[64];
      std::snprintf(head, sizeof head, "  %-9s %6s", kFields[f], t.text.c_str());
      out << head;
      if (!t.plain || t.saturated) {
        out << " (read as " << values[f] << ")";
      }
      out << "  ";
      switch (f) {
        case 0:
          out << FunktionName(p.function);
          break;
        case 1: {
          const int low = LowestKeyOfRegister(p.p1);
          out << "pitches from " << KeyName(low) << " (" << low << ")";
          if (p.p1 < kRegisterLowest || p.p1 > kRegisterHighest) {
            out << ", as for 50";
          }
          if (m.notes > 0) {
            out << "; sounds " << KeyName(m.low_key) << " to " << KeyName(m.high_key) << " ("
                << m.low_key << "-" << m.high_key << ", channels 3 and 4 an octave lower)";
          }
          break;
        }
        case 2:
          out << "velocity base " << p.p2;
          if (m.notes > 0) {
            out << "; sounds at " << m.low_velocity;
            if (m.high_velocity != m.low_velocity) {
              out << "-" << m.high_velocity;
            }
          }
          break;
        case 3: {
          const int bpm = BeatsPerMinuteOfTempo(p.p3);
          out << bpm << " beats a minute (a beat of " << 60000 / bpm << " ms)";
          if (p.p3 < kTempoLowest || p.p3 > kTempoHighest) {
            out << ", as for 50";
          }
          break;
        }
        default: {
          const std::int64_t cycles = std::max<std::int64_t>(PitchCyclesOf(LengthOf(p.p4)), 0);
          out << cycles << " pitch cycle(s) in each part of the section";
          if (composed) {
            const PieceSection& section = piece.sections()[s];
            const std::int64_t next =
                s + 1 < piece.sections().size() ? piece.sections()[s + 1].onset : piece.total_ms();
            out << "; " << m.notes << " notes in " << Duration(next - section.onset);
          }
          const std::int64_t gap = 10 * static_cast<std::int64_t>(p.p2) + 200;
          if (m.notes == 0) {
            break;
          }
          if (p.p4 >= 50 || p.p2 > 50) {
            out << "; then a pause of " << gap << " ms";
          } else {
            out << "; its last note held " << gap << " ms longer";
          }
          break;
        }
      }
      out << "\n";
    }
  }
  const std::vector<std::string> warnings = ParameterWarnings(parameters);
  out << "\n";
  if (warnings.empty()) {
    out << "No warnings.\n";
  } else {
    out << "Warnings:\n";
    for (const std::string& w : warnings) {
      out << "  " << w << "\n";
    }
  }
  if (!parameters.accepted()) {
    out << "\n" << parameters.refusal() << "\n";
  }
  return out.str();
}

}  // namespace vordel
