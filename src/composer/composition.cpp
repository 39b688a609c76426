#include "composer/composition.h"

#include "composer/parameter_string.h"

namespace vordel {

std::string PlayingPositionLine(int obj_num, std::int64_t total_time, int total_objects,
                                int current_object, std::int64_t offset_time) {
  return "[SetPosition] Playing from object: " + std::to_string(obj_num) +
         " / TotTime: " + std::to_string(total_time) +
         " / TotObj: " + std::to_string(total_objects) +
         " / CurObj: " + std::to_string(current_object) +
         " / Offset: " + std::to_string(offset_time);
}

Composition::Composition(ComposingContext& context) : context_(context) {
  obj_iter = object_list.end();
}

int Composition::AddMusicalObject(int f, int p1, int p2, int p3, int p4) {
  if (GetMusObjCount() >= kMaxMusicalObjects) {
    return 0;
  }
  object_list.push_back(std::make_unique<MusicalObject>(context_, f, p1, p2, p3, p4));
  return 1;
}

}  // namespace vordel
