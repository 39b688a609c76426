#include "platform/realtime.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>

namespace vordel {

bool TryRealTime(RealTimeRole role) {
  sched_param param{};
  const int tick = std::max(2, sched_get_priority_max(SCHED_FIFO) / 2);
  param.sched_priority = role == RealTimeRole::kTick ? tick : tick - 1;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace vordel
