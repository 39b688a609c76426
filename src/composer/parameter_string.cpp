#include "composer/parameter_string.h"

#include <algorithm>
#include <climits>

#include "composer/musical_object.h"

namespace vordel {

ParameterToken ReadToken(std::string_view token) {
  ParameterToken t;
  t.text = std::string(token);
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
    negative = token[i] == '-';
    ++i;
  }
  const std::size_t digits_from = i;
  std::int64_t value = 0;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    if (!t.saturated) {
      value = value * 10 + (token[i] - '0');
      if (value > static_cast<std::int64_t>(INT_MAX) + 1) {
        t.saturated = true;
      }
    }
  }
  t.plain = i == token.size() && i > digits_from;
  if (negative) {
    value = -value;
  }
  if (t.saturated || value > INT_MAX || value < INT_MIN) {
    t.saturated = true;
    t.value = negative ? INT_MIN : INT_MAX;
  } else {
    t.value = static_cast<int>(value);
  }
  return t;
}

bool LooksLikeParameterString(std::string_view text) {
  bool any = false;
  for (std::size_t i = 0; i < text.size();) {
    while (i < text.size() && IsSeparator(text[i])) {
      ++i;
    }
    if (i == text.size()) {
      break;
    }
    const std::size_t digit = text[i] == '-' ? i + 1 : i;
    if (digit >= text.size() || text[digit] < '0' || text[digit] > '9') {
      return false;
    }
    any = true;
    while (i < text.size() && !IsSeparator(text[i])) {
      ++i;
    }
  }
  return any;
}

std::int64_t PlannedObjectEvents(int f, int p4) {
  const std::int64_t cycles = std::max<std::int64_t>(PitchCyclesOf(LengthOf(p4)), 0);
  // Introduction voices: three for Preparations and Extensions, four otherwise; Development
  // and Reprise have four voices. Every note is two events in cycles of twelve notes.
  const std::int64_t intro_voices = (f == kPreparation || f == kExtension) ? 3 : 4;
  return 24 * cycles * (intro_voices + 4 + 4);
}

PieceParameters PieceParameters::Parse(std::string_view text) {
  PieceParameters p;
  p.truncated_ = text.size() > kMaxParameterText;
  text = text.substr(0, std::min(text.size(), kMaxParameterText));
  // The one place where a text is cut into numbers.
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSeparator(text[i])) {
      ++i;
    }
    const std::size_t start = i;
    while (i < text.size() && !IsSeparator(text[i])) {
      ++i;
    }
    if (i > start) {
      p.tokens_.push_back(ReadToken(text.substr(start, i - start)));
    }
  }
  const std::size_t groups = p.tokens_.size() / kNumbersPerObject;
  const std::size_t kept = std::min<std::size_t>(groups, kMaxMusicalObjects);
  p.groups_dropped_ = static_cast<int>(groups - kept);
  for (std::size_t g = 0; g < kept; ++g) {
    const ParameterToken* n = &p.tokens_[g * kNumbersPerObject];
    p.sections_.push_back({n[0].value, n[1].value, n[2].value, n[3].value, n[4].value});
    p.planned_events_ += PlannedObjectEvents(n[0].value, n[4].value);
  }
  if (groups == 0) {
    p.verdict_ = Verdict::kNoCompleteGroup;
    p.refusal_ = "Parameter string ignored: it holds " + std::to_string(p.tokens_.size()) +
                 " number(s), not one complete group of five.";
  } else if (p.planned_events_ > kMaxPieceEvents) {
    p.verdict_ = Verdict::kTooManyEvents;
    p.refusal_ = "Parameter string refused: it would generate " +
                 std::to_string(p.planned_events_) + " events, more than the limit of " +
                 std::to_string(kMaxPieceEvents) + ".";
  } else {
    p.verdict_ = Verdict::kAccepted;
  }
  return p;
}

std::string PieceParameters::KeptRefusal() const {
  if (refusal_.empty()) {
    return "";
  }
  return refusal_.substr(0, refusal_.size() - 1) + "; the current composition is kept.";
}

std::string PieceParameters::Canonical() const {
  std::string numbers;
  for (const ParameterToken& t : tokens_) {
    numbers += (numbers.empty() ? "" : " ") + std::to_string(t.value);
  }
  return numbers;
}

std::optional<std::uint32_t> ParseClockValue(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return std::nullopt;
    }
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

}  // namespace vordel
