#include "control/session.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "composer/explain.h"
#include "outputs/lanes.h"
#include "platform/clock.h"

namespace vordel {

namespace {

// The composer's lines without its "[SetPosition] ..." one: the program says where a playback
// starts when one starts, and a piece that is only composed plays nothing.
std::string WithoutPositionLines(const std::string& lines) {
  std::string kept;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("[SetPosition]", 0) != 0) {
      kept += line + "\n";
    }
  }
  return kept;
}

}  // namespace

static_assert(kPlayerLaneCapacity >= kMaxPieceEvents + std::int64_t{16} * 128 + 16,
              "the player's lane holds every message a legal piece can send in one second");

Session::Session(std::unique_ptr<MidiOutput> output, std::unique_ptr<MidiInput> input,
                 TimerService& timer, std::ostream* log)
    : log_(log),
      schedule_(std::make_shared<Schedule>()),
      output_(std::move(output)),
      input_(std::move(input)),
      midi_(output_.get(), Lane::kControl, notes_),
      player_(output_.get(), notes_, timer),
      ready_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  player_.SetSchedule(schedule_);
  live_output_.store(output_.get());
  device_line_ = GetINStatusStr() + std::string(" / ") + GetOUTStatusStr();
  composer_ = std::thread([this] { Compose(); });
}

Session::~Session() {
  Shutdown("quit");
  if (ready_fd_ >= 0) {
    close(ready_fd_);
  }
}

void Session::Refuse(const std::string& reason) {
  refusal_ = reason;
  for (SessionListener* l : listeners_) {
    l->PieceRefused(refusal_);
  }
}

void Session::Diagnose(const std::string& line) {
  if (log_ != nullptr) {
    *log_ << line << std::endl;
  }
}

ReadyPiece Session::Make(const Request& request, Composed composed, std::string diagnostics) const {
  ReadyPiece ready;
  ready.request = request.number;
  ready.schedule = std::make_shared<const Schedule>(BuildSchedule(composed.piece));
  ready.piece = std::move(composed.piece);
  ready.diagnostics = std::move(diagnostics);
  ready.carried_out = composed.carried_out;
  return ready;
}

void Session::Compose() {
  std::unique_lock<std::mutex> lock(composer_mutex_);
  for (;;) {
    composer_wake_.wait(lock, [this] {
      return composer_stopping_ || waiting_[0].has_value() || waiting_[1].has_value();
    });
    if (composer_stopping_) {
      return;
    }
    const int slot = waiting_[0] ? 0 : 1;  // a command's piece first
    const Request request = std::move(*waiting_[slot]);
    waiting_[slot].reset();
    cancel_[slot].store(false, std::memory_order_relaxed);
    lock.unlock();
    std::ostringstream diagnostics;
    std::optional<Composed> composed = ComposePiece(
        request.parameters, request.clock_ms, request.carried, 0, diagnostics, &cancel_[slot]);
    std::optional<ReadyPiece> ready;
    if (composed) {
      ready = Make(request, std::move(*composed), diagnostics.str());
    }
    lock.lock();
    if (ready && request.number == requested_[slot]) {
      done_[slot] = std::move(ready);
      const std::uint64_t one = 1;
      (void)!write(ready_fd_, &one, sizeof one);
    }
  }
}

std::uint64_t Session::RequestPiece(const PieceParameters& parameters, ComposeFor purpose,
                                    std::optional<std::int64_t> clock_ms,
                                    std::optional<CarriedState> carried) {
  const int slot = static_cast<int>(purpose);
  std::lock_guard<std::mutex> lock(composer_mutex_);
  Request request;
  request.number = ++next_request_;
  request.slot = slot;
  request.parameters = parameters;
  request.clock_ms = clock_ms.value_or(MillisSinceStart());
  request.carried = carried.value_or(carried_);
  requested_[slot] = request.number;
  waiting_[slot] = std::move(request);
  done_[slot].reset();
  cancel_[slot].store(true, std::memory_order_relaxed);  // what is being made is pointless now
  composer_wake_.notify_one();
  return requested_[slot];
}

std::optional<ReadyPiece> Session::TakeComposed(ComposeFor purpose) {
  const int slot = static_cast<int>(purpose);
  std::uint64_t count = 0;
  (void)!read(ready_fd_, &count, sizeof count);
  std::lock_guard<std::mutex> lock(composer_mutex_);
  // The other purpose's piece may be ready as well: its descriptor stays readable.
  if (done_[1 - slot]) {
    const std::uint64_t one = 1;
    (void)!write(ready_fd_, &one, sizeof one);
  }
  if (!done_[slot] || done_[slot]->request != requested_[slot]) {
    return std::nullopt;
  }
  std::optional<ReadyPiece> ready = std::move(done_[slot]);
  done_[slot].reset();
  taken_[slot] = ready->request;
  carried_ = ready->carried_out;
  return ready;
}

bool Session::Composing(ComposeFor purpose) const {
  const int slot = static_cast<int>(purpose);
  std::lock_guard<std::mutex> lock(composer_mutex_);
  return taken_[slot] != requested_[slot];
}

void Session::CancelComposing(ComposeFor purpose) {
  const int slot = static_cast<int>(purpose);
  std::lock_guard<std::mutex> lock(composer_mutex_);
  waiting_[slot].reset();
  done_[slot].reset();
  taken_[slot] = requested_[slot] = ++next_request_;  // whatever is being made is for nobody
  cancel_[slot].store(true, std::memory_order_relaxed);
}

ReadyPiece Session::ComposeNow(const PieceParameters& parameters, std::int64_t clock_ms) {
  CancelComposing(ComposeFor::kCommand);
  Request request;
  request.parameters = parameters;
  request.clock_ms = clock_ms;
  request.carried = carried_;
  std::ostringstream diagnostics;
  Composed composed = *ComposePiece(parameters, clock_ms, carried_, 0, diagnostics);
  ReadyPiece ready = Make(request, std::move(composed), diagnostics.str());
  carried_ = ready.carried_out;
  return ready;
}

void Session::SetPiece(const ReadyPiece& ready) {
  // No tick may run while the piece changes.
  player_.StopPlaybackAndWait();
  ++piece_serial_;
  const bool new_string =
      piece_.parameters().Canonical() != ready.piece.parameters().Canonical() || piece_.empty();
  piece_ = ready.piece.WithEnsemble(ensemble_);
  refusal_.clear();
  warnings_ = ParameterWarnings(piece_.parameters());
  schedule_ = ready.schedule;
  following_.reset();
  player_.SetSchedule(schedule_);
  if (log_ != nullptr) {
    *log_ << WithoutPositionLines(ready.diagnostics) << "[Reproduce] " << piece_.Reproduce()
          << std::endl;
    for (const std::string& warning : new_string ? warnings_ : std::vector<std::string>{}) {
      *log_ << "[Warning] " << warning << std::endl;
    }
  }
  for (SessionListener* l : listeners_) {
    l->PieceBuilt(piece_.Reproduce());
  }
  Publish();
}

void Session::SetPiece(const Piece& piece) {
  ReadyPiece ready;
  ready.piece = piece;
  ready.schedule = std::make_shared<const Schedule>(BuildSchedule(piece));
  SetPiece(ready);
}

void Session::SetFollowing(const ReadyPiece& ready, std::int64_t gap_ms) {
  following_ = ready;
  following_->piece = ready.piece.WithEnsemble(ensemble_);
  // After the current piece's own end (its last pause included) and the gap.
  const std::int64_t own_end = std::max(piece_.total_ms(), piece_.end_tick() + 1);
  const std::int64_t wait = own_end - (piece_.end_tick() + 1) + std::max<std::int64_t>(gap_ms, 0);
  // The follower opens with its ensemble, at the volume set (not the ensemble's own).
  std::array<MidiMessage, 12> opening = EnsembleMessages(following_->piece.tracks());
  for (std::size_t ch = 1; ch <= 4; ++ch) {
    opening[3 * (ch - 1) + 2] =
        ControlMessage(static_cast<unsigned char>(ch), 7, static_cast<unsigned char>(volume_));
  }
  player_.SetNext(ready.schedule, wait, opening);
}

void Session::ClearFollowing() {
  following_.reset();
  player_.SetNext(nullptr, 0, {});
}

std::optional<ReadyPiece> Session::TakeFollowing() {
  std::optional<ReadyPiece> following = std::move(following_);
  ClearFollowing();
  return following;
}

bool Session::StartPlayback() {
  fade_.reset();
  if (ensemble_pending_) {
    ensemble_pending_ = false;
    PrepareEnsemble();
  }
  if (faded_) {
    SendVolume(volume_);  // the volume set before the fade
    faded_ = false;
  }
  const bool was_playing = playing_;
  const bool started = player_.PlayMusicalObject();
  if (was_playing) {
    EndedNow(end_reason_.empty() ? "stop" : end_reason_);
  }
  if (started) {
    refusal_.clear();  // what was refused before is no longer news
    player_.SetPlayStatus();
    playing_ = true;
    playing_since_ns_ = MonotonicNanos();
    follower_waits_ = false;
    ended_seen_ = player_.EndedPlaybacks();
    continuations_seen_ = player_.Continuations();
    end_reason_.clear();
    for (SessionListener* l : listeners_) {
      l->PlaybackStarted();
    }
  }
  Publish();
  return started;
}

void Session::LogPosition() {
  if (log_ != nullptr) {
    *log_ << piece_.PositionLine() << std::endl;
  }
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

void Session::ChooseEnsemble(int ensemble) {
  if (ensemble >= 0 && ensemble < kEnsembleCount) {
    ensemble_ = ensemble;
    piece_ = piece_.WithEnsemble(ensemble_);
  }
}

void Session::PrepareEnsemble() {
  for (const MidiMessage& m : EnsembleMessages(EnsemblePresets(ensemble_))) {
    midi_.Send(m);
  }
  midi_.Commit();
  volume_ = EnsemblePresets(ensemble_)[0].Volume;
  faded_ = false;
  if (chosen_volume_) {
    SetVolume(*chosen_volume_);  // the user's volume outlasts the ensemble's own
  }
}

void Session::SetVolume(int value) {
  volume_ = std::clamp(value, 0, 127);
  SendVolume(volume_);
}

void Session::ChooseVolume(int value) {
  SetVolume(value);
  chosen_volume_ = volume_;
}

void Session::SendVolume(int value) {
  const auto v = static_cast<unsigned char>(std::clamp(value, 0, 127));
  for (unsigned char ch = 1; ch <= 4; ++ch) {
    midi_.ControlChange(ch, 7, v);
  }
  midi_.Commit();
}

void Session::Stop(const std::string& reason, std::int64_t fade_ms) {
  const bool running = player_.GetPlayStatus() != 0 || player_.TimerActive();
  if (fade_ms <= 0 || !running || fade_) {
    StopNow(fade_ ? fade_->reason : reason);
    return;
  }
  fade_ = Fade{MonotonicNanos(), fade_ms * kNanosPerMilli, reason, volume_, volume_};
  faded_ = true;
}

void Session::StopNow(const std::string& reason) {
  fade_.reset();
  if (player_.GetPlayStatus() != 0) {
    ExpectEnd(reason);
  }
  // The playback's own last tick ends every note it started and sends All Notes Off; only then
  // does this lane say anything, so that no Note Off comes after an All Notes Off.
  const bool ticking = player_.TimerActive();
  player_.RaiseStop();
  player_.StopPlaybackAndWait();
  player_.ResetPlayStatus();
  if (!ticking || notes_.Sounding() > 0) {
    Silence();
  }
}

void Session::FadeStep() {
  if (!fade_) {
    return;
  }
  if (player_.GetPlayStatus() == 0 && !player_.TimerActive()) {
    // The piece ended by itself meanwhile: it still ended for the fade's reason (a stop is a
    // stop even when the piece's last note came first).
    if (playing_) {
      ExpectEnd(fade_->reason);
    }
    fade_.reset();
    return;
  }
  const std::int64_t elapsed = MonotonicNanos() - fade_->start_ns;
  if (elapsed >= fade_->length_ns) {
    SendVolume(0);
    StopNow(fade_->reason);
    return;
  }
  const int level = static_cast<int>(static_cast<std::int64_t>(fade_->from) *
                                     (fade_->length_ns - elapsed) / fade_->length_ns);
  if (level != fade_->sent) {
    fade_->sent = level;
    SendVolume(level);
  }
}

void Session::Panic() {
  if (MidiOutput* output = live_output_.load()) {
    output->Panic();
  }
}

void Session::Silence() {
  midi_.ReleaseSoundingNotes();
  midi_.AllNotesOff();
  midi_.Commit();
}

std::string Session::GetINStatusStr() const {
  return vordel::GetINStatusStr(input_ ? input_->Status() : kMidiNoSystem);
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
  live_output_.store(opened.output.get());
  CloseOutput();
  output_ = std::move(opened.output);
  output_backend_ = opened.backend;
  output_input_ = opened.input;
  *message = opened.note;
  // The new output has heard nothing yet: the instruments first, then the volume in force.
  const int volume = volume_;
  PrepareEnsemble();
  SetVolume(volume);
  Poll();
  return true;
}

void Session::Poll() {
  FadeStep();
  if (player_.Adopt() || player_.Continuations() != continuations_seen_) {
    // The piece that followed has taken over: one playback ended, the next started.
    continuations_seen_ = player_.Continuations();
    if (following_) {
      ++piece_serial_;
      piece_ = following_->piece;
      schedule_ = following_->schedule;
      following_.reset();
      follower_waits_ = true;
      if (log_ != nullptr) {
        *log_ << "[Reproduce] " << piece_.Reproduce() << std::endl;
      }
      for (SessionListener* l : listeners_) {
        l->PlaybackEnded("end");
        l->PieceBuilt(piece_.Reproduce());
      }
    }
  }
  // The follower's playback starts when its first tick has come, after its gap.
  if (follower_waits_ && (player_.LastTimeSetEvID() > 0 || !player_.TimerActive())) {
    follower_waits_ = false;
    if (player_.TimerActive()) {
      playing_since_ns_ = MonotonicNanos();
      for (SessionListener* l : listeners_) {
        l->PlaybackStarted();
      }
    }
  }
  if (playing_ && player_.EndedPlaybacks() != ended_seen_) {
    if (fade_ && end_reason_.empty()) {
      ExpectEnd(fade_->reason);  // it ended since the fade's last step
    }
    fade_.reset();
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
  snapshot_.total_ms = piece_.total_ms();
  snapshot_.reproduce = piece_.Reproduce();
}

void Session::SetProgrammeStatus(int mode, int position, int length, int seconds_to_next) {
  std::lock_guard<std::mutex> lock(snapshot_mutex_);
  snapshot_.mode = mode;
  snapshot_.playlist_position = position;
  snapshot_.playlist_length = length;
  snapshot_.seconds_to_next = seconds_to_next;
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

void Session::StopComposer() {
  {
    std::lock_guard<std::mutex> lock(composer_mutex_);
    composer_stopping_ = true;
    cancel_[0].store(true, std::memory_order_relaxed);
    cancel_[1].store(true, std::memory_order_relaxed);
  }
  composer_wake_.notify_one();
  if (composer_.joinable()) {
    composer_.join();
  }
}

void Session::EndPlayback(const std::string& reason) {
  if (player_.TimerActive()) {
    // The last tick ends every note it started and sends All Notes Off.
    player_.RaiseStop();
    player_.StopPlaybackAndWait();
  }
  player_.ResetPlayStatus();
  if (playing_) {
    EndedNow(reason);
  }
}

void Session::Shutdown(const std::string& reason) {
  if (shut_down_) {
    return;
  }
  shut_down_ = true;
  StopComposer();
  EndPlayback(reason);
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
  if (std::string caution = output_->Warning(); !caution.empty()) {
    cautions_.push_back(std::move(caution));
  }
}

}  // namespace vordel
