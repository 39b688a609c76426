// Any text a user could copy goes the whole way from parameter string to generated piece.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string_view>

#include "chances/random_source.h"
#include "composer/composition.h"
#include "composer/piece_builder.h"

namespace {

class FuzzPiece : public vordel::Composition {
 public:
  FuzzPiece() : Composition("fuzz", "", "", 0, 5) {}
  void PrepareEnsemble() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    std::cout.setstate(std::ios::badbit);  // the diagnostic lines are not what is tested
    return true;
  }();
  (void)quiet;
  // The first byte, when present, pins the clock so that inputs replay alike.
  vordel::ScopedClockPin pin(size > 0 ? data[0] : 0);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // Huge pieces only cost time here (the refusal above a million events has its own tests):
  // past a smaller budget only the planning runs, so that the fuzzer explores more inputs.
  if (vordel::PlannedPieceEvents(text) > 60000) {
    return 0;
  }
  FuzzPiece piece;
  std::ostringstream diag;
  vordel::BuildPiece(piece, text, diag);
  // Every event list must be in time order after generation.
  for (auto& obj : piece.object_list) {
    std::int64_t last = INT64_MIN;
    for (const auto& ev : obj->event_list) {
      if (ev->GetTIME() < last) {
        __builtin_trap();
      }
      last = ev->GetTIME();
    }
  }
  return 0;
}
