// A source of commands: the clipboard, OSC, MIDI input, standard input. Each posts what it reads
// to the control thread's queue; a new source is one more file and one line in main. Start and
// Stop: control thread.
#pragma once

#include <string>

#include "control/command_queue.h"

namespace vordel {

class CommandSource {
 public:
  virtual ~CommandSource() = default;
  virtual std::string Name() const = 0;
  // Starts posting commands to `queue`; false with a reason when the source cannot work here.
  virtual bool Start(CommandQueue& queue, std::string* error) = 0;
  // Stops posting (joins the source's thread, if it has one).
  virtual void Stop() = 0;
};

}  // namespace vordel
