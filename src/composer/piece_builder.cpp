#include "composer/piece_builder.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "chances/random_source.h"
#include "composer/diagnostics.h"
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

namespace {

BuildResult Check(std::string_view text, std::string* reason) {
  const std::vector<int> numbers = SplitParameterString(text);
  if (numbers.size() / kNumbersPerObject == 0) {
    *reason = "Parameter string ignored: it holds " + std::to_string(numbers.size()) +
              " number(s), not one complete group of five; the current composition is kept.";
    return BuildResult::kNoCompleteGroup;
  }
  const std::int64_t planned = PlannedPieceEvents(text);
  if (planned > kMaxPieceEvents) {
    *reason = "Parameter string refused: it would generate " + std::to_string(planned) +
              " events, more than the limit of " + std::to_string(kMaxPieceEvents) +
              "; the current composition is kept.";
    return BuildResult::kTooManyEvents;
  }
  return BuildResult::kBuilt;
}

}  // namespace

std::string RefusalOf(std::string_view text) {
  std::string reason;
  Check(text, &reason);
  return reason;
}

BuildOutcome BuildPiece(Composition& composition, std::string_view text, bool clear_first) {
  BuildOutcome outcome;
  const std::string bounded(text.substr(0, std::min(text.size(), kMaxParameterText)));
  outcome.result = Check(bounded, &outcome.reason);
  if (outcome.result != BuildResult::kBuilt) {
    Diagnostics() << outcome.reason << std::endl;
    return outcome;
  }
  const std::vector<int> numbers = SplitParameterString(bounded);
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
  outcome.result = BuildResult::kBuilt;
  return outcome;
}

BuildOutcome BuildPieceAt(Composition& composition, std::string_view text, std::int64_t clock_ms,
                          bool clear_first) {
  const bool rest_planner_started = IntroRestPlannerStarted();
  BuildOutcome outcome;
  {
    ScopedClockPin pin(clock_ms);
    outcome = BuildPiece(composition, text, clear_first);
  }
  if (outcome.result == BuildResult::kBuilt) {
    outcome.reproduce = ReproduceCommand(text, clock_ms, rest_planner_started);
  }
  return outcome;
}

std::string ReproduceCommand(std::string_view text, std::int64_t clock_ms,
                             bool rest_planner_started) {
  // The numbers as they are read: the same piece, in a form a shell takes as one argument.
  std::string numbers;
  for (int n : SplitParameterString(text)) {
    numbers += (numbers.empty() ? "" : " ") + std::to_string(n);
  }
  return "vordel-compose --clock " + std::to_string(clock_ms) +
         (rest_planner_started ? " --rest-planner-started" : "") + " --dump '" + numbers + "'";
}

}  // namespace vordel
