#include "composer/composition.h"

#include <cstdio>
#include <cstring>
#include <iostream>

#include "composer/diagnostics.h"

namespace vordel {
namespace {

constexpr track_preset kPresets[3][4] = {
    {{61, 30, 100}, {72, 55, 100}, {69, 70, 100}, {46, 90, 100}},  // BrassWood
    {{41, 30, 100}, {42, 55, 100}, {43, 70, 100}, {44, 90, 100}},  // Strings
    {{74, 30, 100}, {72, 55, 100}, {71, 70, 100}, {43, 90, 100}},  // Woodwinds
};
constexpr const char* kEnsembleNames[3] = {"BrassWood", "Strings", "Woodwinds"};

std::string OrEmpty(const char* s) {
  return s != nullptr ? std::string(s) : std::string();
}

}  // namespace

Composition::Composition() : filename("noname"), path("noname"), info("noname") {
  FillPresets();
  obj_iter = object_list.end();
}

Composition::Composition(const char* name, const char* pth, const char* inf, int obj_q, int parm_q)
    : filename(OrEmpty(name)),
      path(OrEmpty(pth)),
      info(OrEmpty(inf)),
      MusObjCount(obj_q),
      MusParmCount(parm_q) {
  FillPresets();
  obj_iter = object_list.end();
}

Composition::Composition(const char* /*parameters*/)
    : filename("noname"), path("noname"), info("noname") {
  FillPresets();
  obj_iter = object_list.end();
}

Composition::~Composition() {
  ClearMusicalObjectList();
}

void Composition::FillPresets() {
  for (int e = 0; e < 3; ++e) {
    for (int t = 0; t < 4; ++t) {
      Composition_TrPresets[e][t] = kPresets[e][t];
    }
    std::snprintf(ens_names[e], sizeof ens_names[e], "%s", kEnsembleNames[e]);
  }
  Composition_PresetNumber = 0;
}

int Composition::ParseParmString(const char* data) {
  if (data == nullptr) {
    input_stream[0] = '\0';
    return 0;
  }
  const std::size_t n = strnlen(data, kMaxParameterText);
  std::memcpy(input_stream, data, n);
  input_stream[n] = '\0';
  // Split in place: every separator becomes a terminator.
  int count = 0;
  bool in_token = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (IsSeparator(input_stream[i])) {
      input_stream[i] = '\0';
      in_token = false;
    } else if (!in_token) {
      in_token = true;
      ++count;
    }
  }
  return count;
}

int Composition::AddMusicalObject(int f, int p1, int p2, int p3, int p4) {
  if (MusicalObject::MusObjInstances >= kMaxMusicalObjects) {
    return 0;
  }
  object_list.push_back(std::make_unique<MusicalObject>(f, p1, p2, p3, p4));
  MusObjCount = MusicalObject::MusObjInstances;
  return 1;
}

int Composition::AddMusicalObject(const char* parameters) {
  if (MusicalObject::MusObjInstances >= kMaxMusicalObjects) {
    return 0;
  }
  const int parm_count = MusParmCount > 0 ? MusParmCount : kNumbersPerObject;
  int values[kNumbersPerObject] = {0, 0, 0, 0, 0};
  const std::vector<int> numbers = SplitParameterString(parameters != nullptr ? parameters : "");
  for (std::size_t k = 0; k < numbers.size() && static_cast<int>(k) <= parm_count; ++k) {
    values[static_cast<int>(k) % parm_count % kNumbersPerObject] = numbers[k];
  }
  return AddMusicalObject(values[0], values[1], values[2], values[3], values[4]);
}

void Composition::ClearMusicalObjectList() {
  if (!object_list.empty()) {
    for (obj_iter = object_list.begin(); obj_iter != object_list.end(); ++obj_iter) {
      obj_iter->reset();
    }
    object_list.clear();
  } else {
    Diagnostics() << "\tNO OBJECTS IN OBJECTLIST..." << std::endl;
  }
  obj_iter = object_list.end();
  MusObjCount = 0;
  new_composition = true;
  if (Event::EvInstances != 0) {
    Diagnostics() << "ERROR: Memory leak.....[" << Event::EvInstances << " events left !!!"
                  << std::endl;
  }
  if (MusicalObject::MusObjInstances != 0) {
    Diagnostics() << "ERROR: Memory leak.....[" << MusicalObject::MusObjInstances
                  << " MusicalObjects left !!!]" << std::endl;
  }
}

void Composition::ChooseEnsemble(int ensemble) {
  if (ensemble >= 0 && ensemble < 3) {
    Composition_PresetNumber = ensemble;
  }
}

const track_preset (&Composition::SelectedEnsemble() const)[4] {
  const int p = (Composition_PresetNumber >= 0 && Composition_PresetNumber < 3)
                    ? Composition_PresetNumber
                    : 0;
  return Composition_TrPresets[p];
}

const char* Composition::GetEnsembleName() const {
  const int p = (Composition_PresetNumber >= 0 && Composition_PresetNumber < 3)
                    ? Composition_PresetNumber
                    : 0;
  return ens_names[p];
}

void Composition::show() {
  std::cout << "> CompositionClass: " << std::endl;
  std::cout << "name:" << filename << std::endl;
  std::cout << "path:" << path << std::endl;
  std::cout << "info:" << info << std::endl;
  std::cout << "Number of MusObj:" << MusObjCount << std::endl;
  std::cout << "Number of MusParms:" << MusParmCount << std::endl;
  for (obj_iter = object_list.begin(); obj_iter != object_list.end(); ++obj_iter) {
    (*obj_iter)->show();
  }
}

void Composition::GetCompositionInfo(char* dest_str, std::size_t size) const {
  if (dest_str == nullptr || size == 0) {
    return;
  }
  std::snprintf(dest_str, size,
                "Filename: %s.\nPath: %s.\nInfo: %s.\nMusicalObjects: %i.\nMusicalParms: %i.\n",
                filename.c_str(), path.c_str(), info.c_str(), MusObjCount, MusParmCount);
}

}  // namespace vordel
