#include "player/player.h"

#include <algorithm>
#include <cstdio>

namespace vordel {
namespace {

const char* const timer_err[2] = {"ERROR", "OK"};

}  // namespace

CompositionPlayer::CompositionPlayer(MidiOutput* output, NoteTracker& notes, TimerService& timer)
    : timer_(timer), midi_(output, Lane::kPlayer, notes) {}

CompositionPlayer::~CompositionPlayer() {
  StopPlaybackAndWait();
}

void CompositionPlayer::SetSchedule(std::shared_ptr<const Schedule> schedule) {
  StopPlaybackAndWait();
  schedule_ = std::move(schedule);
  cursor_.Reset(schedule_.get());
  myTime = 0;
  object_index_ = 0;
  playing_object_.store(1, std::memory_order_relaxed);
}

void CompositionPlayer::SetOutput(MidiOutput* output) {
  StopPlaybackAndWait();
  midi_.SetOutput(output);
}

void CompositionPlayer::InitCounters(int played, std::uint32_t last_tick) {
  Global_Data.PlayedEvents.store(played, std::memory_order_relaxed);
  Global_Data.LastTimeSetEvID.store(last_tick, std::memory_order_relaxed);
}

bool CompositionPlayer::PlayMusicalObject() {
  // Never two timers on one piece: a playback still running ends first.
  StopPlaybackAndWait();
  Global_Data.PlayedEvents.store(0, std::memory_order_relaxed);
  if (!schedule_ || schedule_->Objects() == 0) {
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
    id = timer_.SetEvent(wTimerRes, wTimerRes, &CompositionPlayer::myTimerFunc,
                         reinterpret_cast<std::uintptr_t>(this));
    wTimerID.store(id, std::memory_order_release);
    timer_status_ = text;
  }
  if (mm_err != kTimerNoError || id == 0) {
    std::snprintf(text, sizeof text, "Timer %s (%i)", timer_err[0], StartTimes);
    timer_status_ = text;
  }
  return id != 0;
}

void CompositionPlayer::myTimerFunc(unsigned wID, unsigned /*wMsg*/, std::uintptr_t dwUser,
                                    std::uintptr_t dw1, std::uintptr_t /*dw2*/) {
  reinterpret_cast<CompositionPlayer*>(dwUser)->Tick(wID, static_cast<std::int64_t>(dw1));
}

void CompositionPlayer::Tick(unsigned own_id, std::int64_t due_ns) {
  midi_.SetDue(due_ns);
  if (myTime == 0) {
    first_due_.store(due_ns, std::memory_order_release);
  }
  const bool stop_requested =
      STOP_PLAYING.load(std::memory_order_acquire) != 0 || abort_.load(std::memory_order_acquire);
  if (!stop_requested) {
    const int sent = cursor_.SendDue(myTime, [this](const MidiMessage& m) { midi_.Send(m); });
    if (sent > 0) {
      Global_Data.PlayedEvents.fetch_add(sent, std::memory_order_relaxed);
      repaint_.store(true, std::memory_order_release);
    }
    const std::vector<std::int64_t>& ends = schedule_->object_end_ticks;
    while (object_index_ + 1 < static_cast<int>(ends.size()) &&
           ends[static_cast<std::size_t>(object_index_)] <= myTime) {
      ++object_index_;
      playing_object_.store(object_index_ + 1, std::memory_order_relaxed);
    }
    ++myTime;
    Global_Data.LastTimeSetEvID.store(static_cast<std::uint32_t>(myTime),
                                      std::memory_order_relaxed);
  }
  // The playback ends in the tick in which the last object is exhausted.
  if (stop_requested || myTime > schedule_->end_tick) {
    EndPlayback(own_id);
  }
  midi_.Commit();
}

void CompositionPlayer::EndPlayback(unsigned own_id) {
  myTime = 0;
  object_index_ = 0;
  PlayStat.store(0, std::memory_order_release);
  cursor_.Rewind();
  playing_object_.store(1, std::memory_order_relaxed);
  timer_.EndPeriod(wTimerRes);
  timer_.KillEvent(own_id);
  midi_.ReleaseSoundingNotes();
  midi_.AllNotesOff();
  ended_.fetch_add(1, std::memory_order_acq_rel);
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
