#include "control/hours.h"

#include <cstdio>

namespace vordel {
namespace {

int MinuteOfDay(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_hour * 60 + local.tm_min;
}

}  // namespace

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
