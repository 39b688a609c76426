#include "control/hours.h"

#include <cstdio>

#include "control/text_fields.h"

namespace vordel {
namespace {

// "HH:MM" as minutes of the day (24:00 only as an end).
std::optional<int> Minutes(const std::string& text, bool end) {
  if (text.size() != 5 || text[2] != ':') {
    return std::nullopt;
  }
  for (std::size_t i : {0u, 1u, 3u, 4u}) {
    if (text[i] < '0' || text[i] > '9') {
      return std::nullopt;
    }
  }
  const int h = (text[0] - '0') * 10 + (text[1] - '0');
  const int m = (text[3] - '0') * 10 + (text[4] - '0');
  if (m > 59 || h > 24 || (h == 24 && (m != 0 || !end))) {
    return std::nullopt;
  }
  return h * 60 + m;
}

int MinuteOfDay(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_hour * 60 + local.tm_min;
}

}  // namespace

std::optional<OpeningHours> OpeningHours::Parse(const std::string& text, std::string* error) {
  OpeningHours hours;
  for (const std::string& part : CommaFields(text)) {
    const std::size_t dash = part.find('-');
    const auto first =
        dash == std::string::npos ? std::nullopt : Minutes(part.substr(0, dash), false);
    const auto end =
        dash == std::string::npos ? std::nullopt : Minutes(part.substr(dash + 1), true);
    if (!first || !end || *first == *end) {
      *error = "--hours: '" + part + "' is not a range of local times like 10:00-18:00";
      return std::nullopt;
    }
    hours.ranges_.emplace_back(*first, *end);
  }
  return hours;
}

bool OpeningHours::OpenAtMinute(int minute) const {
  if (ranges_.empty()) {
    return true;
  }
  for (const auto& [first, end] : ranges_) {
    const bool inside = first < end ? (minute >= first && minute < end)
                                    : (minute >= first || minute < end);  // across midnight
    if (inside) {
      return true;
    }
  }
  return false;
}

bool OpeningHours::OpenAt(std::time_t t) const {
  return OpenAtMinute(MinuteOfDay(t));
}

std::optional<std::time_t> OpeningHours::NextChange(std::time_t now) const {
  if (ranges_.empty()) {
    return std::nullopt;
  }
  const bool open = OpenAt(now);
  // Minute by minute from the next whole minute: local time's gaps and repeats (daylight saving)
  // need no arithmetic of their own.
  const std::time_t start = now - now % 60 + 60;
  constexpr std::time_t kTwoDays = std::time_t{2} * 24 * 3600;
  for (std::time_t t = start; t < start + kTwoDays; t += 60) {
    if (OpenAt(t) != open) {
      return t;
    }
  }
  return std::nullopt;
}

std::string LocalClockText(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", local.tm_hour, local.tm_min);
  return text;
}

}  // namespace vordel
