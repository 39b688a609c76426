// Preparing every object's material by its function, generating the sections, and the
// playback position.
#include <ostream>

#include "composer/composition.h"

namespace vordel {
namespace {

void Fill(Set* s, int type, int capacity, int row, ComposingContext& context) {
  s->newset(type, capacity);
  s->choose(row, context);
}

// Copies source into target, or fills target with fresh material when there is no source.
void CopyOrFill(Set* target, const Set* source, int type, int capacity, ComposingContext& context) {
  if (source != nullptr) {
    *target = source;
  } else {
    Fill(target, type, capacity, 0, context);
  }
}

// The pause after the object (slot 51) or the lengthening of its last event (slot 53).
void ApplyGapRule(MusicalObject& obj) {
  const std::int64_t g = 10 * static_cast<std::int64_t>(obj.GetP2()) + 200;
  if (obj.GetP4() >= 50 || obj.GetP2() > 50) {
    obj.SetAlgParm(kSlotPauseAfter, g);
  } else {
    obj.SetAlgParm(kSlotFermata, g);
  }
}

}  // namespace

void Composition::PrepareStatement(MusicalObject& obj) {
  const std::int64_t v = obj.GetP1();
  const std::int64_t row = v / 10 - 1;
  Fill(obj.GetPitchSet(), kPitchSet, 12, static_cast<int>((row < 0 ? -row : row) % 10), context_);
  Fill(obj.GetDynamicSet(), kDynamicSet, obj.GetP4() > 50 ? 18 : 5, 0, context_);
  Fill(obj.GetDurationSet(), kDurationSet, obj.GetAlgParm(kSlotTempo) < 100 ? 8 : 17, 0, context_);
  ApplyGapRule(obj);
  obj.SetAlgParm(kSlotMelodyVoices, obj.GetP4() >= 20 ? 1 : 0);
  obj.SetAlgParm(kSlotIntroRests, 0);
  obj.SetAlgParm(kSlotRepriseRests, 0);
  obj.SetAlgParm(kSlotIntroShaping, 0);
  obj.SetAlgParm(kSlotRepriseShaping, 0);
  obj.SetAlgParm(kSlotIntroVoices, 4);
}

void Composition::PrepareAntecedentOrConsequent(MusicalObject& obj) {
  const bool antecedent = obj.GetFunktion() == kAntecedent;
  CopyOrFill(obj.GetPitchSet(), GetNeighbourSet(1, kStatement, 0), kPitchSet, 12, context_);
  if (antecedent) {
    CopyOrFill(obj.GetDurationSet(), GetNeighbourSet(1, kStatement, 2), kDurationSet, 12, context_);
    Fill(obj.GetDynamicSet(), kDynamicSet, obj.GetP4() > 50 ? 18 : 5, 0, context_);
    obj.GetPitchSet()->transpose(1);
  } else {
    CopyOrFill(obj.GetDynamicSet(), GetNeighbourSet(1, kStatement, 1), kDynamicSet, 12, context_);
    CopyOrFill(obj.GetDurationSet(), GetNeighbourSet(1, kStatement, 2), kDurationSet, 7, context_);
    obj.GetPitchSet()->transpose(-1);
  }
  ApplyGapRule(obj);
  if (obj.GetP2() > 50) {
    obj.SetAlgParm(kSlotIntroRests, 1);
    obj.SetAlgParm(kSlotRepriseRests, 1);
  } else if (obj.GetP1() < 50) {
    obj.SetAlgParm(kSlotIntroRests, 0);
    obj.SetAlgParm(kSlotRepriseRests, 1);
  } else {
    obj.SetAlgParm(kSlotIntroRests, 1);
    obj.SetAlgParm(kSlotRepriseRests, 0);
  }
  obj.SetAlgParm(kSlotIntroShaping, 0);
  obj.SetAlgParm(kSlotRepriseShaping, 0);
  obj.SetAlgParm(kSlotIntroVoices, 4);
  obj.SetAlgParm(kSlotMelodyVoices, antecedent ? 1 : 2);
}

void Composition::PreparePreparationOrExtension(MusicalObject& obj) {
  // A Preparation takes its material from the next object, an Extension from the previous.
  const int neighbour = obj.GetFunktion() == kPreparation ? 0 : 1;
  CopyOrFill(obj.GetPitchSet(), GetNeighbourSet(neighbour, 0), kPitchSet, 12, context_);
  CopyOrFill(obj.GetDurationSet(), GetNeighbourSet(neighbour, 2), kDurationSet, 12, context_);
  CopyOrFill(obj.GetDynamicSet(), GetNeighbourSet(neighbour, 1), kDynamicSet, 12, context_);
  ApplyGapRule(obj);
  const int shaping = obj.GetP3() < 60 ? 3 : 2;
  if (obj.GetFunktion() == kPreparation) {
    obj.SetAlgParm(kSlotIntroShaping, shaping);
    obj.SetAlgParm(kSlotRepriseShaping, 0);
  } else {
    obj.SetAlgParm(kSlotRepriseShaping, shaping);
    obj.SetAlgParm(kSlotIntroShaping, 0);
  }
  obj.SetAlgParm(kSlotIntroVoices, 3);
  obj.SetAlgParm(kSlotMelodyVoices, 1);
  obj.SetAlgParm(kSlotIntroRests, 0);
  obj.SetAlgParm(kSlotRepriseRests, 0);
}

void Composition::PreGenerate() {
  for (obj_iter = object_list.begin(); obj_iter != object_list.end(); ++obj_iter) {
    if ((*obj_iter)->GetFunktion() == kStatement) {
      PrepareStatement(**obj_iter);
    }
  }
  for (obj_iter = object_list.begin(); obj_iter != object_list.end(); ++obj_iter) {
    const int f = (*obj_iter)->GetFunktion();
    if (f == kAntecedent || f == kConsequent) {
      PrepareAntecedentOrConsequent(**obj_iter);
    }
  }
  for (obj_iter = object_list.begin(); obj_iter != object_list.end(); ++obj_iter) {
    const int f = (*obj_iter)->GetFunktion();
    if (f == kPreparation || f == kExtension) {
      PreparePreparationOrExtension(**obj_iter);
    }
  }
}

bool Composition::Generate() {
  std::int64_t start_time = 0;
  Composition_TotalTime = 0;
  for (obj_iter = object_list.begin(); obj_iter != object_list.end(); ++obj_iter) {
    if (context_.Cancelled()) {
      return false;
    }
    MusicalObject& mobj = **obj_iter;
    mobj.SetOnsetTime(start_time);
    const std::int64_t dev_time = mobj.Introduction(start_time);
    const std::int64_t rep_time = mobj.Development(dev_time);
    const std::int64_t end_time = mobj.Reprise(rep_time);
    mobj.SortEventList();
    mobj.RemapVelocity(start_time, mobj.GetMusObjDuration(), 10, 2);
    if (mobj.GetP4() > 50) {
      mobj.RemapPitch(dev_time, rep_time, 2);
      mobj.RemapVelocity(dev_time, rep_time, 10, 4);
    }
    Composition_TotalTime += end_time - start_time;
    start_time = end_time;
  }
  ResetIters();
  SetPosition(1);
  return true;
}

Set* Composition::GetNeighbourSet(int which_neighbour, int which_neigh_type, int which_set) {
  if (obj_iter == object_list.end() || which_set < 0 || which_set > 3) {
    return nullptr;
  }
  if (which_neighbour == 0) {
    for (auto it = obj_iter; it != object_list.end(); ++it) {
      if ((*it)->GetFunktion() == which_neigh_type) {
        return (*it)->GetSetBySelector(which_set);
      }
    }
    return nullptr;
  }
  if (which_neighbour == 1) {
    for (auto it = obj_iter;; --it) {
      if ((*it)->GetFunktion() == which_neigh_type) {
        return (*it)->GetSetBySelector(which_set);
      }
      if (it == object_list.begin()) {
        return nullptr;
      }
    }
  }
  return nullptr;
}

Set* Composition::GetNeighbourSet(int which_neighbour, int which_set) {
  if (obj_iter == object_list.end()) {
    return nullptr;
  }
  auto it = obj_iter;
  if (which_neighbour == 0) {
    ++it;
    if (it == object_list.end()) {
      return nullptr;
    }
  } else if (which_neighbour == 1) {
    if (it == object_list.begin()) {
      return nullptr;
    }
    --it;
  } else {
    return nullptr;
  }
  return (*it)->GetSetBySelector(which_set);
}

void Composition::ResetIters() {
  for (obj_iter = object_list.begin(); obj_iter != object_list.end(); ++obj_iter) {
    (*obj_iter)->ResetIters();
  }
  obj_iter = object_list.begin();
}

std::int64_t Composition::SetPosition(int obj_num) {
  // Out of range (or an empty list) starts from the top.
  if (obj_num <= 1 || obj_num > GetMusObjCount() || object_list.empty()) {
    obj_iter = object_list.begin();
    Composition_OffsetTime = 0;
    Composition_CurrentObject = 1;
  } else {
    for (int i = 1; i < obj_num && obj_iter != object_list.end(); ++i) {
      ++obj_iter;
    }
    Composition_OffsetTime = obj_iter != object_list.end() ? (*obj_iter)->GetMusObjOnsetTime() : 0;
    Composition_CurrentObject = obj_num;
  }
  Composition_TotalObjectCount = GetMusObjCount();
  context_.diagnostics() << PlayingPositionLine(obj_num, Composition_TotalTime,
                                                Composition_TotalObjectCount,
                                                Composition_CurrentObject, Composition_OffsetTime)
                         << std::endl;
  return Composition_OffsetTime;
}

}  // namespace vordel
