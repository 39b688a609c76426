// Parameter strings: whole decimal numbers separated by white space, five per section (function,
// p1, p2, p3, p4). A string is read once, where it enters the program, into a PieceParameters
// value: its numbers, its complete groups of five, and whether it can make a piece (or why not);
// everything downstream takes that value. Any thread; not real-time safe (allocates).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vordel {

// Longest text read from a parameter string; the rest of a longer text is ignored.
inline constexpr std::size_t kMaxParameterText = 4095;
inline constexpr int kMaxMusicalObjects = 50;
inline constexpr int kNumbersPerObject = 5;
// Most events a whole piece may have; more would take minutes and gigabytes to build.
inline constexpr std::int64_t kMaxPieceEvents = 1000000;

// True for the bytes that separate numbers: space, tab, LF, VT, FF, CR.
constexpr bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether every word of `text` (there is one at least) begins like a number: a digit, or a minus
// sign and a digit ("4O" does, and is read with a warning; "hello" and "http://..." do not).
bool LooksLikeParameterString(std::string_view text);

// One number of the string as it was read.
struct ParameterToken {
  std::string text;        // the characters between separators
  int value = 0;           // what the standard decimal conversion makes of them
  bool plain = true;       // an optional sign and digits, nothing else
  bool saturated = false;  // beyond the int range, read as its nearest end
};

// The five numbers of one section.
struct SectionParameters {
  int function = 0;
  int p1 = 0;
  int p2 = 0;
  int p3 = 0;
  int p4 = 0;
};

class PieceParameters {
 public:
  enum class Verdict {
    kAccepted,         // it makes a piece
    kNoCompleteGroup,  // fewer than five numbers: the current piece is kept
    kTooManyEvents,    // the piece would exceed kMaxPieceEvents: the current piece is kept
  };

  PieceParameters() = default;
  // Reads the first kMaxParameterText bytes of text.
  static PieceParameters Parse(std::string_view text);

  // Every number read, in order.
  const std::vector<ParameterToken>& tokens() const { return tokens_; }
  // The sections: one per complete group of five, at most kMaxMusicalObjects.
  const std::vector<SectionParameters>& sections() const { return sections_; }
  // Numbers after the last complete group (fewer than five).
  int leftover() const { return static_cast<int>(tokens_.size() % kNumbersPerObject); }
  // Complete groups beyond kMaxMusicalObjects, which make no section.
  int groups_dropped() const { return groups_dropped_; }
  // Whether the text was longer than kMaxParameterText (the rest was not read).
  bool truncated() const { return truncated_; }
  // Events the piece will have.
  std::int64_t planned_events() const { return planned_events_; }

  Verdict verdict() const { return verdict_; }
  bool accepted() const { return verdict_ == Verdict::kAccepted; }
  // Why the string cannot make a piece ("" when it can), one sentence for the user.
  const std::string& refusal() const { return refusal_; }
  // The same, said where a piece is playing or ready and stays ("...; the current composition
  // is kept.").
  std::string KeptRefusal() const;
  // The numbers as they are read, separated by single spaces: the same piece in a form a shell
  // takes as one argument.
  std::string Canonical() const;

 private:
  std::vector<ParameterToken> tokens_;
  std::vector<SectionParameters> sections_;
  int groups_dropped_ = 0;
  bool truncated_ = false;
  std::int64_t planned_events_ = 0;
  Verdict verdict_ = Verdict::kNoCompleteGroup;
  std::string refusal_;
};

// Converts one token the way the standard decimal conversion does (optional sign, digits up
// to the first other character, 0 without digits), saturating at the int range.
ParameterToken ReadToken(std::string_view token);

// A composer's clock as given on a command line: a decimal integer (optionally negative) of any
// length, taken modulo 2^32 as the random source takes it; nullopt for anything else.
std::optional<std::uint32_t> ParseClockValue(const std::string& text);

// Events that a section of function f with length parameter p4 generates.
std::int64_t PlannedObjectEvents(int f, int p4);

}  // namespace vordel
