// Opening hours: the times of day, in local time, when an installation plays, as ranges of
// minutes of the day such as 10:00-18:00 (a range may cross midnight: 22:00-02:00). No ranges:
// always open. Any thread; not real-time safe.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vordel {

class OpeningHours {
 public:
  // Always open.
  OpeningHours() = default;
  // Minutes of the day, each range [first, end) (0..1440; first > end crosses midnight).
  explicit OpeningHours(std::vector<std::pair<int, int>> ranges) : ranges_(std::move(ranges)) {}

  bool always() const { return ranges_.empty(); }
  // Whether the minute of the day (0..1439) is inside the hours.
  bool OpenAtMinute(int minute) const;
  bool OpenAt(std::time_t t) const;
  // The first time after `now` at which the hours open or close (nullopt when always open).
  std::optional<std::time_t> NextChange(std::time_t now) const;

 private:
  std::vector<std::pair<int, int>> ranges_;  // minutes of the day, [first, end)
};

// "10:00" of a local time.
std::string LocalClockText(std::time_t t);

}  // namespace vordel
