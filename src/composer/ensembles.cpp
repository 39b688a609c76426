#include "composer/ensembles.h"

namespace vordel {
namespace {

constexpr track_preset kPresets[kEnsembleCount][4] = {
    {{61, 30, 100}, {72, 55, 100}, {69, 70, 100}, {46, 90, 100}},  // BrassWood
    {{41, 30, 100}, {42, 55, 100}, {43, 70, 100}, {44, 90, 100}},  // Strings
    {{74, 30, 100}, {72, 55, 100}, {71, 70, 100}, {43, 90, 100}},  // Woodwinds
};
constexpr const char* kEnsembleNames[kEnsembleCount] = {"BrassWood", "Strings", "Woodwinds"};

int Valid(int index) {
  return index >= 0 && index < kEnsembleCount ? index : 0;
}

}  // namespace

const track_preset (&EnsemblePresets(int index))[4] {
  return kPresets[Valid(index)];
}

const char* EnsembleName(int index) {
  return kEnsembleNames[Valid(index)];
}

}  // namespace vordel
