// Silence on the way out, whatever the way: while it lives, a process that ends through exit()
// from inside a library (the window framework does so when its X server is lost) or through
// std::terminate first ends every note and sends All Notes Off, and one that runs out of memory
// ends every note through the output at once. Main thread.
#pragma once

#include "control/session.h"

namespace vordel {

class EmergencySilence {
 public:
  explicit EmergencySilence(Session& session);
  ~EmergencySilence();
  EmergencySilence(const EmergencySilence&) = delete;
  EmergencySilence& operator=(const EmergencySilence&) = delete;
};

}  // namespace vordel
