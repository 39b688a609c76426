#include "composer/diagnostics.h"

#include <iostream>

namespace vordel {
namespace {

std::ostream* g_stream = nullptr;

}  // namespace

std::ostream& Diagnostics() {
  return g_stream != nullptr ? *g_stream : std::cout;
}

void SetDiagnosticStream(std::ostream* stream) {
  g_stream = stream;
}

ScopedDiagnosticStream::ScopedDiagnosticStream(std::ostream& stream) : previous_(g_stream) {
  g_stream = &stream;
}

ScopedDiagnosticStream::~ScopedDiagnosticStream() {
  g_stream = previous_;
}

}  // namespace vordel
