#include "composer/events.h"

namespace vordel {

Event::Event(int c, int k, std::int64_t v, std::int64_t t, std::int64_t d, int exp)
    : ch(c), key(k), vel(v), time(t), dur(d), expression(exp) {}

// Events made without a tag are neither note starts nor note ends by tag: expression 0.
Event::Event(int c, int k, std::int64_t v, std::int64_t t, std::int64_t d)
    : ch(c), key(k), vel(v), time(t), dur(d), expression(0) {}

void Event::show(std::ostream& out) const {
  out << ">EV" << ch << ',' << key << ',' << vel << ',' << time << ',' << dur << '\n';
}

}  // namespace vordel
