#include "cli/values.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vordel {
namespace {

bool AllDigits(const std::string& text, std::size_t from) {
  return from < text.size() && text.find_first_not_of("0123456789", from) == std::string::npos;
}

std::string Trimmed(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) {
    return "";
  }
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

}  // namespace

std::optional<std::int64_t> ParseWholeNumber(const std::string& text, std::int64_t min,
                                             std::int64_t max) {
  if (!AllDigits(text, !text.empty() && text[0] == '-' ? 1 : 0)) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> ParseDecimal(const std::string& text, double min, double max) {
  const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  const std::size_t dot = text.find('.');
  const std::string whole =
      text.substr(digits, dot == std::string::npos ? std::string::npos : dot - digits);
  const std::string part = dot == std::string::npos ? "" : text.substr(dot + 1);
  const bool whole_ok = whole.empty() || AllDigits(whole, 0);
  const bool part_ok = part.empty() || AllDigits(part, 0);
  if (!whole_ok || !part_ok || (whole.empty() && part.empty())) {
    return std::nullopt;
  }
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
      value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::pair<int, int>> ParseTimeSignature(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) {
    return std::nullopt;
  }
  const auto beats = ParseWholeNumber(text.substr(0, slash), 1, 32);
  const auto type = ParseWholeNumber(text.substr(slash + 1), 1, 16);
  if (!beats || !type || (*type & (*type - 1)) != 0) {
    return std::nullopt;
  }
  return std::make_pair(static_cast<int>(*beats), static_cast<int>(*type));
}

std::optional<int> ParseTimeOfDay(const std::string& text, bool end) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() != colon + 3) {
    return std::nullopt;
  }
  const auto h = ParseWholeNumber(text.substr(0, colon), 0, 24);
  const auto m = ParseWholeNumber(text.substr(colon + 1), 0, 59);
  if (!h || !m || (*h == 24 && (*m != 0 || !end))) {
    return std::nullopt;
  }
  return static_cast<int>(*h * 60 + *m);
}

std::optional<OpeningHours> ParseOpeningHours(const std::string& text, std::string* error) {
  std::vector<std::pair<int, int>> ranges;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string part = Trimmed(text.substr(at, comma - at));
    at = comma + 1;
    const std::size_t dash = part.find('-');
    const auto first =
        dash == std::string::npos ? std::nullopt : ParseTimeOfDay(part.substr(0, dash), false);
    const auto end =
        dash == std::string::npos ? std::nullopt : ParseTimeOfDay(part.substr(dash + 1), true);
    if (!first || !end || *first == *end) {
      *error = "--hours: '" + part + "' is not a range of local times like 10:00-18:00";
      return std::nullopt;
    }
    ranges.emplace_back(*first, *end);
  }
  return OpeningHours(std::move(ranges));
}

}  // namespace vordel
