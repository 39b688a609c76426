#include "control/session.h"

#include <algorithm>
#include <sstream>

#include "composer/explain.h"
#include "outputs/lanes.h"

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
      output_(std::move(output)),
      input_(std::move(input)),
      transport_(output_.get(), timer) {
  live_output_.store(output_.get());
  device_line_ = GetINStatusStr() + std::string(" / ") + GetOUTStatusStr();
  transport_.AddListener(this);
}

Session::~Session() {
  Shutdown("quit");
  transport_.RemoveListener(this);
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

void Session::SetPiece(const Piece& piece) {
  transport_.Load(CueOf(piece));
}

void Session::CueLoaded(const Cue& cue, bool took_over) {
  // Whether the cue was loaded or followed the one before, it is said the same way: the
  // composer's lines, how to make it again, and the warnings of a string other than the last.
  took_over_ = took_over;
  ++piece_serial_;
  const std::string string = cue.piece.parameters().Canonical();
  const bool new_string = string != last_string_ || cue.piece.empty();
  last_string_ = string;
  refusal_.clear();
  warnings_ = ParameterWarnings(cue.piece.parameters());
  if (log_ != nullptr) {
    *log_ << WithoutPositionLines(cue.composer_lines) << "[Reproduce] " << cue.piece.Reproduce()
          << std::endl;
    for (const std::string& warning : new_string ? warnings_ : std::vector<std::string>{}) {
      *log_ << "[Warning] " << warning << std::endl;
    }
  }
  for (SessionListener* l : listeners_) {
    l->PieceBuilt(cue.piece.Reproduce());
  }
  Publish();
}

void Session::PlaybackStarted(const Cue& cue) {
  // A playback from the top says so; a piece that followed seamlessly goes on the same time line.
  if (log_ != nullptr && !took_over_) {
    *log_ << cue.piece.PositionLine() << std::endl;
  }
  took_over_ = false;
  refusal_.clear();  // what was refused before is no longer news
  for (SessionListener* l : listeners_) {
    l->PlaybackStarted();
  }
  Publish();
}

void Session::PlaybackEnded(const Cue& /*cue*/, const std::string& reason) {
  for (SessionListener* l : listeners_) {
    l->PlaybackEnded(reason);
  }
  Publish();
}

void Session::Panic() {
  if (MidiOutput* output = live_output_.load()) {
    output->Panic();
  }
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
  transport_.ClearStage();
  OpenedOutput opened = OpenOutput(request);
  if (!opened.output) {
    *message = opened.error;
    return false;
  }
  transport_.SetOutput(opened.output.get());
  live_output_.store(opened.output.get());
  CloseOutput();
  output_ = std::move(opened.output);
  output_backend_ = opened.backend;
  output_input_ = opened.input;
  *message = opened.note;
  // The new output has heard nothing yet: the instruments first, then the volume in force.
  const int volume = transport_.Volume();
  transport_.PrepareEnsemble();
  transport_.SetVolume(volume);
  Poll();
  return true;
}

void Session::Poll() {
  transport_.Poll();
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
  snapshot_.playing = transport_.Playing();
  snapshot_.total_ms = piece().total_ms();
  snapshot_.reproduce = piece().Reproduce();
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
  const CompositionPlayer& player = transport_.player();
  s.playing = s.playing && player.Running() != 0;
  s.current_object = player.PlayingObjectNumber();
  s.playback_ms = s.playing ? static_cast<std::int64_t>(player.LastTick()) : 0;
  s.events_played = player.PlayedEvents();
  if (s.playing) {
    const MusicalPosition at = player.Position();
    s.beat = at.beat_in_section;
    s.tempo = at.tempo;
  }
  return s;
}

void Session::Shutdown(const std::string& reason) {
  if (shut_down_) {
    return;
  }
  shut_down_ = true;
  composer_.Stop();
  transport_.Shutdown(reason);
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
