#include "composer/piece_builder.h"

#include <algorithm>
#include <string>
#include <vector>

#include "composer/parameter_string.h"

namespace vordel {
std::int64_t PlannedObjectEvents(int f, int p4) {
  const std::int64_t cycles = std::max<std::int64_t>(PitchCyclesOf(LengthOf(p4)), 0);
  // Introduction voices: three for Preparations and Extensions, four otherwise; Development
  // and Reprise have four voices. Every note is two events in cycles of twelve notes.
  const std::int64_t intro_voices = (f == kPreparation || f == kExtension) ? 3 : 4;
  return 24 * cycles * (intro_voices + 4 + 4);
}

std::int64_t PlannedPieceEvents(std::string_view text) {
  const std::vector<int> numbers = SplitParameterString(text);
  const std::size_t groups =
      std::min<std::size_t>(numbers.size() / kNumbersPerObject, kMaxMusicalObjects);
  std::int64_t total = 0;
  for (std::size_t g = 0; g < groups; ++g) {
    total +=
        PlannedObjectEvents(numbers[g * kNumbersPerObject], numbers[g * kNumbersPerObject + 4]);
  }
  return total;
}

BuildResult BuildPiece(Composition& composition, std::string_view text, std::ostream& diag,
                       bool clear_first) {
  const std::string bounded(text.substr(0, std::min(text.size(), kMaxParameterText)));
  const std::vector<int> numbers = SplitParameterString(bounded);
  const std::size_t groups = numbers.size() / kNumbersPerObject;
  if (groups == 0) {
    diag << "Parameter string ignored: it holds " << numbers.size()
         << " number(s), not one complete group of five; the current composition is kept."
         << std::endl;
    return BuildResult::kNoCompleteGroup;
  }
  const std::int64_t planned = PlannedPieceEvents(bounded);
  if (planned > kMaxPieceEvents) {
    diag << "Parameter string refused: it would generate " << planned
         << " events, more than the limit of " << kMaxPieceEvents
         << "; the current composition is kept." << std::endl;
    return BuildResult::kTooManyEvents;
  }
  if (clear_first) {
    composition.ClearMusicalObjectList();
  }
  const int number_of_parms = composition.ParseParmString(bounded.c_str());
  const int number_of_objects = number_of_parms / kNumbersPerObject;
  for (int i = 0; i < number_of_objects; ++i) {
    const int* g = &numbers[static_cast<std::size_t>(i) * kNumbersPerObject];
    composition.AddMusicalObject(g[0], g[1], g[2], g[3], g[4]);
  }
  composition.PreGenerate();
  composition.Generate();
  return BuildResult::kBuilt;
}

}  // namespace vordel
