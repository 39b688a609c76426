#include "composer/events.h"

#include <iostream>

namespace vordel {

int Event::EvInstances = 0;

Event::Event(int c, int k, std::int64_t v, std::int64_t t, std::int64_t d, int exp)
    : ch(c), key(k), vel(v), time(t), dur(d), expression(exp) {
  ++EvInstances;
}

// Events made without a tag are neither note starts nor note ends by tag: expression 0.
Event::Event(int c, int k, std::int64_t v, std::int64_t t, std::int64_t d)
    : ch(c), key(k), vel(v), time(t), dur(d), expression(0) {
  ++EvInstances;
}

Event::~Event() {
  --EvInstances;
}

void Event::InitEvent(int c, int k, std::int64_t v, std::int64_t t, std::int64_t d) {
  ch = c;
  key = k;
  vel = v;
  time = t;
  dur = d;
}

void Event::InitEvent(int c, int k, std::int64_t v, std::int64_t t, std::int64_t d, int exp) {
  InitEvent(c, k, v, t, d);
  expression = exp;
}

void Event::show() const {
  std::cout << ">EV" << ch << ',' << key << ',' << vel << ',' << time << ',' << dur << '\n';
}

}  // namespace vordel
