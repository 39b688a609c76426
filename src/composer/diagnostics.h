// Where the composer's diagnostic lines go (an emptied object list, the playback position, set
// sizes out of range): standard output unless the program chooses another stream, as
// vordel-compose does to keep its standard output for the piece itself. Control thread only;
// not real-time safe.
#pragma once

#include <ostream>

namespace vordel {

std::ostream& Diagnostics();

// Sends the diagnostic lines to `stream` from now on (null: back to standard output).
void SetDiagnosticStream(std::ostream* stream);

// Sends them to `stream` while it lives (tests, tools).
class ScopedDiagnosticStream {
 public:
  explicit ScopedDiagnosticStream(std::ostream& stream);
  ~ScopedDiagnosticStream();
  ScopedDiagnosticStream(const ScopedDiagnosticStream&) = delete;
  ScopedDiagnosticStream& operator=(const ScopedDiagnosticStream&) = delete;

 private:
  std::ostream* previous_;
};

}  // namespace vordel
