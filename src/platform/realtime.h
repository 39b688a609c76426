// Real-time scheduling for the threads that keep time. Call on the thread itself.
#pragma once

namespace vordel {

// Which of the time-keeping threads asks: the tick runs first, the threads that hand its messages
// to a device right after it.
enum class RealTimeRole { kTick, kDelivery };

// Asks for SCHED_FIFO at the role's priority; false (and nothing changed) when not permitted.
bool TryRealTime(RealTimeRole role);

}  // namespace vordel
