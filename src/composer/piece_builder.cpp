#include "composer/piece_builder.h"

#include "composer/composition.h"

namespace vordel {

std::optional<Composed> ComposePiece(const PieceParameters& parameters, std::int64_t clock_ms,
                                     CarriedState carried_in, int ensemble,
                                     std::ostream& diagnostics, const std::atomic<bool>* cancel) {
  auto body = std::make_shared<PieceBody>();
  body->parameters = parameters;
  body->clock_ms = clock_ms;
  body->carried_in = carried_in;
  Composed composed;
  composed.carried_out = carried_in;
  if (!parameters.accepted()) {
    composed.piece = Piece(std::move(body), ensemble);
    return composed;
  }
  ComposingContext context(clock_ms, diagnostics, cancel);
  context.intro_planner().started = carried_in.rest_planner_started;
  {
    Composition composition(context);
    for (const SectionParameters& s : parameters.sections()) {
      composition.AddMusicalObject(s.function, s.p1, s.p2, s.p3, s.p4);
    }
    composition.PreGenerate();
    if (!composition.Generate()) {
      return std::nullopt;
    }
    body->total_ms = composition.Composition_TotalTime;
    int number = 1;
    for (const auto& obj : composition.object_list) {
      PieceSection section;
      section.number = number;
      section.function = obj->GetFunktion();
      section.parameters = parameters.sections()[static_cast<std::size_t>(number - 1)];
      section.tempo = static_cast<int>(obj->GetAlgParm(kSlotTempo));
      section.beat_ms = static_cast<double>(obj->GetDurations().Getdur(0, 0)) / 4.0;
      section.onset = obj->GetMusObjOnsetTime();
      section.end = obj->GetMusObjDuration();
      section.events.reserve(obj->event_list.size());
      for (const Event& e : obj->event_list) {
        section.events.push_back(
            {e.GetCH(), e.GetKEY(), e.GetVEL(), e.GetTIME(), e.GetDUR(), 0, e.GetWritten()});
      }
      section.rests = obj->planned_rests;
      section.part_timed = obj->part_timed;
      const std::int64_t pause = obj->GetAlgParm(kSlotPauseAfter);
      const std::int64_t fermata = obj->GetAlgParm(kSlotFermata);
      section.pause_ms = pause > 0 && fermata == 0 ? pause : 0;
      section.fermata_ms = pause == 0 && fermata > 0 ? fermata : 0;
      body->sections.push_back(std::move(section));
      ++number;
    }
  }
  composed.carried_out.rest_planner_started = context.intro_planner().started;
  composed.piece = AssemblePiece(std::move(body), ensemble);
  return composed;
}

}  // namespace vordel
