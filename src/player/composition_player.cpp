#include "player/composition_player.h"

#include "player/schedule.h"

#include <algorithm>
#include <cstdio>

namespace vordel {

std::atomic<int> STOP_PLAYING{0};
RequestData Global_Data;

namespace {

const char* const timer_err[2] = {"ERROR", "OK"};

}  // namespace

CompositionPlayer::CompositionPlayer(const char* name, const char* path, const char* info,
                                     std::unique_ptr<MidiOutput> output, unsigned input_status,
                                     TimerService& timer)
    : Composition(name, path, info, 0, 5), Midi(std::move(output), input_status), timer_(timer) {}

CompositionPlayer::~CompositionPlayer() {
  StopPlaybackAndWait();
}

void CompositionPlayer::PrepareEnsemble() {
  const int p = std::clamp(Composition_PresetNumber, 0, 2);
  for (int t = 0; t < 4; ++t) {
    const track_preset& preset = Composition_TrPresets[p][t];
    const auto ch = static_cast<unsigned char>(t + 1);
    ProgramChange(ch, static_cast<unsigned char>(preset.Patch));
    ControlChange(ch, 10, static_cast<unsigned char>(preset.Panning));
    ControlChange(ch, 7, static_cast<unsigned char>(preset.Volume));
  }
}

bool CompositionPlayer::PlayMusicalObject() {
  // Never two timers on one composition: a playback still running ends first.
  StopPlaybackAndWait();
  Global_Data.PlayedEvents.store(0, std::memory_order_relaxed);
  if (object_list.empty()) {
    return false;
  }
  char text[40];
  unsigned id = 0;
  mm_err = timer_.GetDevCaps(&tc);
  if (mm_err == kTimerNoError) {
    ++StartTimes;
    std::snprintf(text, sizeof text, "Timer %s (%i)", timer_err[1], StartTimes);
    wTimerRes = std::min(std::max(tc.wPeriodMin, 1u), tc.wPeriodMax);
    timer_.BeginPeriod(wTimerRes);
    playing_object_.store(Composition_CurrentObject, std::memory_order_relaxed);
    id = timer_.SetEvent(wTimerRes, wTimerRes, &CompositionPlayer::myTimerFunc,
                         reinterpret_cast<std::uintptr_t>(this));
    wTimerID.store(id, std::memory_order_release);
    ShowTimerStatus(text);
  }
  if (mm_err != kTimerNoError || id == 0) {
    std::snprintf(text, sizeof text, "Timer %s (%i)", timer_err[0], StartTimes);
    ShowTimerStatus(text);
  }
  return id != 0;
}

void CompositionPlayer::myTimerFunc(unsigned wID, unsigned /*wMsg*/, std::uintptr_t dwUser,
                                    std::uintptr_t /*dw1*/, std::uintptr_t /*dw2*/) {
  reinterpret_cast<CompositionPlayer*>(dwUser)->Tick(wID);
}

void CompositionPlayer::Tick(unsigned own_id) {
  if (!first_run_done_) {
    first_run_done_ = true;
    myTime = Composition_OffsetTime;
    object_count = GetMusObjCount();
  }
  if (IsNewComposition()) {
    object_count = GetMusObjCount();
    ResetNewComp();
  }
  const bool stop_requested =
      STOP_PLAYING.load(std::memory_order_acquire) != 0 || abort_.load(std::memory_order_acquire);
  if (obj_iter != object_list.end() && !stop_requested) {
    MusicalObject& obj = **obj_iter;
    if (obj.ev_iter != obj.event_list.end()) {
      const Event* ev = obj.ev_iter->get();
      while (ev->GetTIME() <= myTime) {
        // Channels 3 and up sound an octave lower, note ends alike; a note start's velocity
        // stays inside 1..127 (0 would end the note).
        playNote(static_cast<unsigned char>(ev->GetCH()),
                 static_cast<unsigned char>(SoundingKey(ev->GetCH(), ev->GetKEY())),
                 static_cast<unsigned char>(SoundingVelocity(ev->GetVEL())));
        Global_Data.PlayedEvents.fetch_add(1, std::memory_order_relaxed);
        ++obj.ev_iter;
        if (obj.ev_iter == obj.event_list.end()) {
          break;
        }
        ev = obj.ev_iter->get();
        RequestRepaint();
      }
    }
    ++myTime;
    Global_Data.LastTimeSetEvID.store(static_cast<std::uint32_t>(myTime),
                                      std::memory_order_relaxed);
    if (obj.ev_iter == obj.event_list.end()) {
      --object_count;
      if (object_count > 0) {
        ++obj_iter;
        if (obj_iter != object_list.end()) {
          (*obj_iter)->ResetIters();
          playing_object_.fetch_add(1, std::memory_order_relaxed);
        }
      } else {
        obj_iter = object_list.end();
      }
    }
  }
  if (obj_iter == object_list.end() || object_count == 0 || stop_requested) {
    EndPlayback(own_id);
  }
}

void CompositionPlayer::EndPlayback(unsigned own_id) {
  myTime = Composition_OffsetTime;
  object_count = GetMusObjCount();
  PlayStat.store(0, std::memory_order_release);
  Composition::ResetIters();
  playing_object_.store(1, std::memory_order_relaxed);
  timer_.EndPeriod(wTimerRes);
  timer_.KillEvent(own_id);
  ReleaseSoundingNotes();
  AllNotesOff();
}

bool CompositionPlayer::TimerActive() {
  const unsigned id = wTimerID.load(std::memory_order_acquire);
  return id != 0 && timer_.Active(id);
}

void CompositionPlayer::StopPlaybackAndWait() {
  const unsigned id = wTimerID.load(std::memory_order_acquire);
  if (id == 0) {
    return;
  }
  if (timer_.Active(id)) {
    abort_.store(true, std::memory_order_release);
  }
  timer_.Wait(id);
  abort_.store(false, std::memory_order_release);
}

void CompositionPlayer::WaitForPlayerIdle() {
  const unsigned id = wTimerID.load(std::memory_order_acquire);
  if (id != 0) {
    timer_.Wait(id);
  }
}

}  // namespace vordel
