// A piece while it is composed: the musical objects in playing order, built from the sections
// of a parameter value, given their material in three passes by function and generated one
// after the other, with the shared object cursor and the playback position. It lives inside one
// composing call and draws on that call's context. The composing thread; not real-time safe.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "composer/composing_context.h"
#include "composer/musical_object.h"

namespace vordel {

using ObjectList = std::list<std::unique_ptr<MusicalObject>>;

// "[SetPosition] Playing from object: ..." without its end of line.
std::string PlayingPositionLine(int obj_num, std::int64_t total_time, int total_objects,
                                int current_object, std::int64_t offset_time);

class Composition {
 public:
  explicit Composition(ComposingContext& context);
  Composition(const Composition&) = delete;
  Composition& operator=(const Composition&) = delete;

  // Appends a musical object; 0 when it holds kMaxMusicalObjects already.
  int AddMusicalObject(int f, int p1, int p2, int p3, int p4);
  int GetMusObjCount() const { return static_cast<int>(object_list.size()); }

  // Generation and playback position.
  void PreGenerate();
  // false when the context was cancelled before every object was generated.
  bool Generate();
  Set* GetNeighbourSet(int which_neighbour, int which_neigh_type, int which_set);
  Set* GetNeighbourSet(int which_neighbour, int which_set);
  void ResetIters();
  std::int64_t SetPosition(int obj_num);

  ObjectList object_list;
  ObjectList::iterator obj_iter;
  std::int64_t Composition_TotalTime = 0;
  int Composition_TotalObjectCount = 0;
  int Composition_CurrentObject = 1;
  std::int64_t Composition_OffsetTime = 0;

 private:
  void PrepareStatement(MusicalObject& obj);
  void PrepareAntecedentOrConsequent(MusicalObject& obj);
  void PreparePreparationOrExtension(MusicalObject& obj);

  ComposingContext& context_;
};

}  // namespace vordel
