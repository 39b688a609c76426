#include "control/session.h"

#include <algorithm>

#include "chances/random_source.h"
#include "outputs/lanes.h"

namespace vordel {

static_assert(kPlayerLaneCapacity >= kMaxPieceEvents + 16 * 128 + 16,
              "the player's lane holds every message a legal piece can send in one second");

Session::Session(std::unique_ptr<MidiOutput> output, std::unique_ptr<MidiInput> input,
                 TimerService& timer, std::ostream* log)
    : log_(log),
      composition_("Dit is de titel", "/usr/share/vordel/pieces", "een test", 0, 5),
      schedule_(std::make_shared<Schedule>()),
      output_(std::move(output)),
      input_(std::move(input)),
      midi_(output_.get(), Lane::kControl, notes_),
      player_(output_.get(), notes_, timer) {
  player_.SetSchedule(schedule_);
  device_line_ = GetINStatusStr() + std::string(" / ") + GetOUTStatusStr();
}

Session::~Session() {
  Shutdown("quit");
}

BuildOutcome Session::Compose(std::string_view text, bool clear_first) {
  // No tick may run while the composition changes.
  player_.StopPlaybackAndWait();
  BuildOutcome outcome = BuildPieceAt(composition_, text, clock(), clear_first);
  if (outcome.result == BuildResult::kBuilt) {
    ++piece_serial_;
    reproduce_ = outcome.reproduce;
    refusal_.clear();
    schedule_ = std::make_shared<const Schedule>(BuildSchedule(composition_));
    player_.SetSchedule(schedule_);
    if (log_ != nullptr) {
      *log_ << "[Reproduce] " << reproduce_ << std::endl;
    }
    for (SessionListener* l : listeners_) {
      l->PieceBuilt(reproduce_);
    }
  } else {
    refusal_ = outcome.reason;
    for (SessionListener* l : listeners_) {
      l->PieceRefused(refusal_);
    }
  }
  Publish();
  return outcome;
}

bool Session::StartPlayback() {
  if (ensemble_pending_) {
    ensemble_pending_ = false;
    PrepareEnsemble();
  }
  const bool was_playing = playing_;
  const bool started = player_.PlayMusicalObject();
  if (was_playing) {
    EndedNow(end_reason_.empty() ? "stop" : end_reason_);
  }
  if (started) {
    player_.SetPlayStatus();
    playing_ = true;
    ended_seen_ = player_.EndedPlaybacks();
    end_reason_.clear();
    for (SessionListener* l : listeners_) {
      l->PlaybackStarted();
    }
  }
  Publish();
  return started;
}

void Session::EndedNow(const std::string& reason) {
  playing_ = false;
  ended_seen_ = player_.EndedPlaybacks();
  const std::string why = output_ && output_->Status() != kMidiOk ? "error" : reason;
  end_reason_.clear();
  for (SessionListener* l : listeners_) {
    l->PlaybackEnded(why);
  }
}

void Session::PrepareEnsemble() {
  for (const MidiMessage& m : EnsembleMessages(composition_.SelectedEnsemble())) {
    midi_.Send(m);
  }
  midi_.Commit();
}

void Session::SetVolume(int value) {
  const auto v = static_cast<unsigned char>(std::clamp(value, 0, 127));
  for (unsigned char ch = 1; ch <= 4; ++ch) {
    midi_.ControlChange(ch, 7, v);
  }
  midi_.Commit();
}

void Session::Silence() {
  midi_.ReleaseSoundingNotes();
  midi_.AllNotesOff();
  midi_.Commit();
}

std::string Session::GetINStatusStr() const {
  return vordel::GetINStatusStr(input_ ? input_->Status() : kMidiErrorBadDevice);
}

std::string Session::GetOUTStatusStr() const {
  std::string s = vordel::GetOUTStatusStr(output_ ? output_->Status() : kMidiErrorBadDevice);
  const std::uint64_t lost = LostMessages();
  if (lost > 0) {
    s += " (" + std::to_string(lost) + " lost)";
  }
  return s;
}

std::uint64_t Session::LostMessages() const {
  return (output_ ? output_->Dropped() : 0) + (input_ ? input_->Dropped() : 0);
}

void Session::SetOutputIdentity(const std::string& backend, const std::string& input) {
  output_backend_ = backend;
  output_input_ = input;
}

bool Session::SwitchOutput(const OutputRequest& request, std::string* message) {
  player_.StopPlaybackAndWait();
  if (playing_) {
    EndedNow("stop");
  }
  player_.ResetPlayStatus();
  Silence();
  OpenedOutput opened = OpenOutput(request);
  if (!opened.output) {
    *message = opened.error;
    return false;
  }
  player_.SetOutput(opened.output.get());
  midi_.SetOutput(opened.output.get());
  CloseOutput();
  output_ = std::move(opened.output);
  output_backend_ = opened.backend;
  output_input_ = opened.input;
  *message = opened.note;
  Poll();
  return true;
}

void Session::Poll() {
  if (playing_ && player_.EndedPlaybacks() != ended_seen_) {
    EndedNow(end_reason_.empty() ? "end" : end_reason_);
  }
  const std::string line = GetINStatusStr() + " / " + GetOUTStatusStr();
  if (line != device_line_) {
    device_line_ = line;
    const std::string what = line + (output_ ? " (" + output_->Describe() + ")" : "");
    for (SessionListener* l : listeners_) {
      l->DevicesChanged(what);
    }
  }
  Publish();
}

void Session::AddListener(SessionListener* listener) {
  listeners_.push_back(listener);
}

void Session::RemoveListener(SessionListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void Session::Publish() {
  std::lock_guard<std::mutex> lock(snapshot_mutex_);
  snapshot_.playing = playing_;
  snapshot_.total_ms = composition_.Composition_TotalTime;
  snapshot_.reproduce = reproduce_;
}

Session::Snapshot Session::GetSnapshot() const {
  Snapshot s;
  {
    std::lock_guard<std::mutex> lock(snapshot_mutex_);
    s = snapshot_;
  }
  s.playing = s.playing && player_.GetPlayStatus() != 0;
  s.current_object = player_.PlayingObjectNumber();
  s.playback_ms = s.playing ? static_cast<std::int64_t>(player_.LastTimeSetEvID()) : 0;
  s.events_played = player_.PlayedEvents();
  return s;
}

void Session::Shutdown(const std::string& reason) {
  if (shut_down_) {
    return;
  }
  shut_down_ = true;
  const bool was_running = player_.TimerActive();
  if (was_running) {
    // The last tick ends every note it started and sends All Notes Off.
    player_.RaiseStop();
    player_.StopPlaybackAndWait();
  }
  player_.ResetPlayStatus();
  if (playing_) {
    EndedNow(reason);
  }
  // Whatever still sounds (notes the control side started, a playback that was cut off) ends.
  if (notes_.Sounding() > 0) {
    Silence();
  }
  CloseOutput();
  input_.reset();
  Publish();
}

void Session::CloseOutput() {
  if (!output_) {
    return;
  }
  output_->Close();
  if (std::string failure = output_->Failure(); !failure.empty()) {
    failures_.push_back(std::move(failure));
  }
}

}  // namespace vordel
