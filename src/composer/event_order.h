// Time order of event lists.
// Any thread, on lists it owns; not real-time safe (sorting).
#pragma once

#include <iterator>
#include <memory>
#include <utility>

#include "composer/events.h"

namespace vordel {

// True exactly when a is earlier than b.
struct AscendingTime {
  bool operator()(const Event& a, const Event& b) const { return a.time < b.time; }
  bool operator()(const Event* a, const Event* b) const { return a->time < b->time; }
  bool operator()(const std::unique_ptr<Event>& a, const std::unique_ptr<Event>& b) const {
    return a->time < b->time;
  }
};

// In-place exchange sort of [first, last): each pass carries the latest element of the
// remaining range to its end. Exchanges happen only on a strictly smaller key, so equal
// elements keep their order. Quadratic; the event lists use a stable sort that gives the same
// order.
template <typename BidirIt, typename Compare>
void bubble_sort(BidirIt first, BidirIt last, Compare comp) {
  while (first != last) {
    BidirIt left_el = first;
    BidirIt right_el = std::next(first);
    while (right_el != last) {
      if (comp(*right_el, *left_el)) {
        using std::swap;
        swap(*right_el, *left_el);
      }
      ++right_el;
      ++left_el;
    }
    --last;
  }
}

}  // namespace vordel
