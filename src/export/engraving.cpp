#include "export/engraving.h"

#include <algorithm>
#include <numeric>

#include "composer/events.h"

namespace vordel {

NoteValue ValueOf(std::int64_t units) {
  const std::int64_t six = units * 6;  // in sixths of a unit, so that a 128th is whole
  for (int k = 0; k < 8; ++k) {
    const std::int64_t plain = (std::int64_t{6} * kUnitsPerWhole) >> k;
    if (six == plain) {
      return {k, false, false};
    }
    if (2 * six == 3 * plain) {
      return {k, true, false};
    }
    if (3 * six == 2 * plain) {
      return {k, false, true};
    }
  }
  return {};
}

NoteValue Meter::WrittenAs(std::int64_t units, bool in_group) {
  if (in_group && units % 2 == 0) {
    NoteValue v = ValueOf(units * 3 / 2);
    if (v.type >= 0 && !v.triplet) {
      v.triplet = true;
      return v;
    }
  }
  return ValueOf(units);
}

Meter::Meter(int beats, int beat_type)
    : beats_(beats),
      measure_(std::int64_t{beats} * kUnitsPerWhole / beat_type),
      beat_(kUnitsPerWhole / beat_type) {
  for (std::int64_t d = 1; d <= beat_; ++d) {
    if (beat_ % d == 0) {
      divisors_.push_back(d);
    }
  }
}

void Meter::Split(std::int64_t a, std::int64_t b, std::vector<Interval>& out) const {
  if (Whole(a, b)) {
    out.emplace_back(a, b);
    return;
  }
  std::int64_t best = -1;
  std::int64_t strength = 0;
  auto consider = [&](std::int64_t x) {
    if (x <= a || x >= b) {
      return;
    }
    const std::int64_t st = Strength(x);
    if (best < 0 || st < strength || (st == strength && x < best)) {
      best = x;
      strength = st;
    }
  };
  if (Middle() > 0) {
    consider(Middle());
  }
  for (const std::int64_t d : divisors_) {
    const std::int64_t grain = beat_ / d;
    consider((a / grain + 1) * grain);
  }
  if (best < 0) {
    out.emplace_back(a, b);  // no place inside: written as it is
    return;
  }
  Split(a, best, out);
  Split(best, b, out);
}

// The middle of a bar of four (or of any even number of beats from four), else 0.
std::int64_t Meter::Middle() const {
  return beats_ % 2 == 0 && beats_ >= 4 ? measure_ / 2 : 0;
}

// How strong a place in the measure is: the bar, its middle, a beat, then the finer the
// division of the beat it falls on, the weaker.
std::int64_t Meter::Strength(std::int64_t x) const {
  if (x % measure_ == 0) {
    return 0;
  }
  if (x == Middle()) {
    return 1;
  }
  if (x % beat_ == 0) {
    return 2;
  }
  return 2 + beat_ / std::gcd(x % beat_, beat_);
}

bool Meter::Whole(std::int64_t a, std::int64_t b) const {
  const std::int64_t u = b - a;
  if (ValueOf(u).type < 0) {
    return false;
  }
  const std::int64_t middle = Middle();
  if (middle > 0 && a < middle && b > middle && a != 0 && !(a == beat_ && u == 2 * beat_)) {
    return false;
  }
  if (a % beat_ == 0) {
    return true;
  }
  // Off the beat: within its beat, or from the middle of a beat to a beat (the eighth,
  // quarter, dotted quarter of a syncopation).
  const std::int64_t next_beat = (a / beat_ + 1) * beat_;
  return b <= next_beat || (a % beat_ * 2 == beat_ && (u == beat_ || b % beat_ == 0));
}

std::vector<Interval> Meter::TripletBeats(const std::vector<Stretch>& stretches) const {
  std::vector<Interval> groups;
  auto mark = [&](std::int64_t x) {
    if (x % 3 == 0) {
      return;
    }
    const std::int64_t begin = x / beat_ * beat_;
    if (begin + beat_ <= measure_ && (groups.empty() || groups.back().first < begin)) {
      groups.emplace_back(begin, begin + beat_);
    }
  };
  for (const Stretch& s : stretches) {
    mark(s.x);
    mark(s.y);
  }
  return groups;
}

std::vector<Stretch> Meter::CutAtGroups(const std::vector<Stretch>& stretches,
                                        const std::vector<Interval>& groups) const {
  std::vector<Stretch> cut;
  std::vector<Interval> pieces;
  std::size_t g = 0;
  for (const Stretch& s : stretches) {
    std::int64_t x = s.x;
    while (x < s.y) {
      while (g < groups.size() && groups[g].second <= x) {
        ++g;
      }
      const bool inside = g < groups.size() && groups[g].first <= x;
      const std::int64_t limit =
          g == groups.size() ? s.y : std::min(s.y, inside ? groups[g].second : groups[g].first);
      if (inside) {
        for (std::int64_t at = x; at < limit;) {
          std::int64_t w = limit - at;
          while (w > 1 && !WrittenAs(w, true).triplet) {
            --w;
          }
          cut.push_back({at, at + w, s.tag});
          at += w;
        }
      } else if (x == s.x && limit == s.y) {
        cut.push_back(s);
      } else {
        pieces.clear();
        Split(x, limit, pieces);
        for (const auto& [a, b] : pieces) {
          cut.push_back({a, b, s.tag});
        }
      }
      x = limit;
    }
  }
  return cut;
}

}  // namespace vordel
