#include "control/controller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "control/text_fields.h"
#include "export/score.h"
#include "platform/clock.h"

namespace vordel {

Controller::Controller(Session& session, ControllerHost& host, ProgrammeSettings programme,
                       std::string files)
    : session_(session),
      host_(host),
      transport_(session.transport()),
      programme_(std::make_unique<Programme>(session, static_cast<ProgrammeHost&>(*this),
                                             std::move(programme))),
      files_(std::move(files)) {}

Controller::~Controller() = default;

void Controller::Poll() {
  scores_.Poll();
  if (held_ && MonotonicNanos() >= held_->due_ns) {
    const Held start = std::move(*held_);
    held_.reset();
    Replace(start.cue, start.command);
    host_.Invalidate();
    ApplyWaiting();
  }
  session_.Poll();
  programme_->Poll();
  const Programme::Status s = programme_->GetStatus();
  session_.SetProgrammeStatus(s.mode, s.position, s.length, s.seconds_to_next);
}

void Controller::SetupWindow(const std::string& piece) {
  transport_.player().InitCounters(0, 1);
  Command startup;
  startup.origin = "start-up";
  const PieceParameters given = PieceParameters::Parse(piece);
  play_at_start_ = given.accepted();
  Await(play_at_start_ ? given : PieceParameters::Parse(kDefaultParameterString), startup,
        AfterComposing::kKeep);
}

void Controller::Apply(const Command& command) {
  if (quitting_) {
    return;
  }
  if (!command.dropped.empty()) {
    command.reply(command.dropped);  // the queue dropped it: it is only answered
    return;
  }
  transport_.Poll();  // what the player did by itself, before a command looks at it
  if (command.kind == Command::Kind::kQuit) {
    Quit();  // at once, whatever waits
    return;
  }
  if (held_ && !command.latched && command.kind == Command::Kind::kStop) {
    // A stop before the piece waiting to start got its turn: it never starts.
    host_.Log(command.origin + ": the piece waiting to start is dropped");
    if (held_->command.reply) {
      held_->command.reply(kSuperseded);
    }
    held_.reset();
  }
  if (pending_ || held_) {
    // Whatever comes while a piece is composed, or waits to start, waits its turn; of several
    // strings only the newest (the queue drops the others), and the piece being composed is
    // finished all the same, so that a flood of strings still lets pieces start.
    waiting_.Post(command);
    return;
  }
  if (command.latched) {
    ApplyLatched(command);
  } else {
    ApplyOnce(command);
  }
}

void Controller::Await(const PieceParameters& parameters, const Command& command,
                       AfterComposing after, std::optional<std::int64_t> clock_ms,
                       std::optional<CarriedState> carried) {
  pending_ =
      Pending{session_.composer().Request(parameters, ComposeFor::kCommand, clock_ms, carried),
              command, after};
}

void Controller::PieceComposed() {
  if (quitting_) {
    return;
  }
  programme_->PieceComposed();
  std::optional<Cue> ready = session_.composer().Take();
  if (!ready || !pending_ || ready->request != pending_->request) {
    return;
  }
  const Pending done = std::move(*pending_);
  pending_.reset();
  switch (done.after) {
    case AfterComposing::kKeep:
      transport_.Load(*ready);
      if (!began_) {
        began_ = true;
        programme_->Begin();  // the start-up piece is there: endless play may begin
        if (play_at_start_ && !transport_.Playing() && programme_->Open() &&
            !programme_->Endless()) {
          PlayFromStart();  // the string the program was started with
        }
      }
      break;
    case AfterComposing::kRestart:
      // A parameter string from the clipboard: the new piece from the first object.
      transport_.Load(*ready);
      host_.Invalidate();
      transport_.Play();
      break;
    case AfterComposing::kReplace:
      // A parameter string from elsewhere: whatever plays stops, the new piece plays; but a
      // piece that has just started plays a second at least before it is replaced.
      if (const std::int64_t due = transport_.PlayingSinceNanos() + kShortestPlaybackNanos;
          transport_.Playing() && MonotonicNanos() < due) {
        held_ = Held{std::move(*ready), done.command, due};
        return;
      }
      Replace(*ready, done.command);
      break;
  }
  host_.Invalidate();
  ApplyWaiting();
}

void Controller::Replace(const Cue& cue, const Command& command) {
  const bool started = transport_.Start(cue);
  if (command.reply) {
    command.reply(
        started ? "" : "the piece could not start (" + transport_.player().TimerStatusText() + ")");
  }
}

void Controller::ApplyWaiting() {
  // The commands that waited, in order; one of them may start composing again, and those
  // after it wait once more.
  for (const Command& command : waiting_.TakeAll()) {
    Apply(command);
  }
}

int Controller::WakeInMs() const {
  int wake = programme_->WakeInMs();
  if (held_) {
    const std::int64_t left = (held_->due_ns - MonotonicNanos()) / kNanosPerMilli + 1;
    wake = static_cast<int>(std::clamp<std::int64_t>(left, 0, wake));
  }
  return wake;
}

void Controller::ClipboardText(const std::string& text) {
  if (const auto command = CommandFromText(text, true, "clipboard")) {
    Apply(*command);
  }
}

void Controller::ApplyLatched(const Command& command) {
  switch (command.kind) {
    case Command::Kind::kStop:
      if (!stop_done_) {
        transport_.Stop("stop", programme_->fade_ms());
        string_taken_ = false;
        stop_done_ = true;
        host_.Invalidate();
      }
      return;
    case Command::Kind::kPlay:
      if (!transport_.Playing()) {
        PlayFromStart();
      }
      return;
    case Command::Kind::kQuit:
      Quit();
      return;
    case Command::Kind::kCompose:
      if (!string_taken_) {
        stop_done_ = false;
        string_taken_ = true;
        TakeClipboardString(command.text);
        if (!pending_) {
          // A refused string restarts the piece that is kept; its reason stays in view for
          // that playback.
          const std::string why = session_.Refusal();
          transport_.Play();
          session_.SetRefusal(why);
        }
      } else if (command.text != last_string_ && session_.Refusal().empty()) {
        session_.SetRefusal(
            "Parameter string ignored: a piece was taken from the clipboard already; copy 0 "
            "(stop) to take the next one.");
        host_.Invalidate();
      }
      return;
    default:
      ApplyOnce(command);
  }
}

void Controller::ApplyOnce(const Command& command) {
  switch (command.kind) {
    case Command::Kind::kStop:
      StopNow(command.origin);
      return;
    case Command::Kind::kPlay:
      if (!transport_.Playing()) {
        PlayFromStart();
      } else {
        host_.Log(command.origin + ": play ignored, a playback runs");
      }
      return;
    case Command::Kind::kQuit:
      Quit();
      return;
    case Command::Kind::kCompose:
      ComposeAndPlay(command);
      return;
    case Command::Kind::kVolume:
      transport_.ChooseVolume(command.value);
      return;
    case Command::Kind::kLink:
      host_.Log(command.origin + ": " +
                (link_switch_ ? link_switch_(command.value != 0)
                              : std::string("Link is not available in this program")));
      host_.Invalidate();
      return;
    case Command::Kind::kEndless:
      programme_->SetEndless(command.value != 0);
      host_.Log(command.origin + ": endless play " + (command.value != 0 ? "on" : "off"));
      host_.Invalidate();
      return;
    case Command::Kind::kPlaylist:
      UsePlaylist(command);
      return;
    case Command::Kind::kNext:
      programme_->Next();
      host_.Invalidate();
      return;
    case Command::Kind::kScore:
      SaveScore(command);
      return;
    case Command::Kind::kFollowTempo: {
      const double bpm = command.value / 1000.0;
      transport_.FollowTempo(bpm);
      // Said when it begins and when it moves by more than a hundredth, not once a beat.
      if (std::abs(bpm - tempo_said_) > tempo_said_ / 100) {
        char text[48];
        std::snprintf(text, sizeof text, ": following %.1f beats a minute", bpm);
        host_.Log(command.origin + (bpm > 0 ? text : ": each piece at its own tempo again"));
        tempo_said_ = bpm;
      }
      return;
    }
    case Command::Kind::kEnsemble:
      if (command.value < 0 || command.value > 2) {
        host_.Log(command.origin + ": no ensemble " + std::to_string(command.value) +
                  " (0, 1 or 2)");
        return;
      }
      transport_.ChooseEnsemble(command.value);
      transport_.EnsembleForNextStart();
      host_.Log(command.origin + ": ensemble " + std::to_string(command.value) + " (" +
                EnsembleName(command.value) + ") for the next start");
      return;
  }
}

void Controller::UsePlaylist(const Command& command) {
  std::string error;
  std::optional<Playlist> list;
  if (!command.in_files_folder) {
    list = LoadPlaylist(command.text, &error);
  } else if (const auto place = files_.Locate(command.text, &error)) {
    if (auto file = files_.OpenForReading(*place, &error)) {
      list = ReadPlaylist(std::move(*file), place->full, &error);
    }
  }
  if (list) {
    programme_->UsePlaylist(std::move(*list));
  } else {
    host_.Log(command.origin + ": " + error);  // what plays keeps playing
  }
  if (command.reply) {
    command.reply(error);
  }
  host_.Invalidate();
}

void Controller::SaveScore(const Command& command) {
  std::string refusal;
  std::unique_ptr<PendingFile> file;
  if (!CheckScoreFileName(command.text, &refusal)) {
    // A score is only ever written to a score's name, never over something else.
  } else if (scores_.Waiting() >= ScoreJobs::kWaiting) {
    refusal =
        std::to_string(ScoreJobs::kWaiting) + " scores are waiting to be written; ask again later";
  } else if (!command.sender.empty() && scores_.Busy(command.sender)) {
    refusal = "a score asked for by " + command.sender +
              " is still being written; ask again when it is saved";
  } else {
    file = ScoreFile(command, session_.piece(), &refusal);
  }
  if (!file) {
    host_.Log(command.origin + ": " + refusal);
    if (command.reply) {
      command.reply(refusal);
    }
    return;
  }
  scores_.Add(
      session_.piece(), std::move(file), command.sender,
      [this, command](const std::string& error, const std::string& written) {
        host_.Log(command.origin + ": " + (error.empty() ? "score saved to " + written : error));
        if (command.reply) {
          command.reply(error);
        }
        if (error.empty() && command.saved) {
          command.saved(written);
        }
      });
}

std::unique_ptr<PendingFile> Controller::ScoreFile(const Command& command, const Piece& piece,
                                                   std::string* error) {
  std::unique_ptr<PendingFile> file;
  std::string full = command.text;
  if (!command.in_files_folder) {
    // A path the user chose; still never a FIFO or a device, which could keep the writer (and
    // a quit) waiting.
    file = std::make_unique<PendingFile>(command.text, PendingFile::Target::kRegularOnly);
  } else {
    const auto place = files_.Locate(command.text, error);
    if (!place) {
      return nullptr;
    }
    full = place->full;
    // A file that is there already is replaced only when it is a score of ours.
    struct stat st {};
    if (fstatat(place->folder.get(), place->leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      std::string head;
      if (S_ISREG(st.st_mode)) {
        if (auto in = files_.OpenForReading(*place, error)) {
          head.resize(16384);
          const ssize_t n = read(in->get(), head.data(), head.size());
          head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        }
      }
      if (!LooksLikeOwnScore(head)) {
        *error = full + " is there already and is not a score vordel wrote; it stays as it is";
        return nullptr;
      }
    }
    file = std::make_unique<PendingFile>(place->folder.get(), place->leaf, full);
  }
  if (file->fd() < 0) {
    *error = file->error();
    return nullptr;
  }
  const std::uint64_t needed = EstimatedScoreBytes(piece);
  if (const auto free = FreeBytesBeside(full); free && *free < needed) {
    *error = "not enough room for " + full + ": the score takes about " +
             std::to_string(needed / 1000000 + 1) + " MB, and " + std::to_string(*free / 1000000) +
             " MB are free there";
    return nullptr;
  }
  return file;
}

void Controller::StopNow(const std::string& origin) {
  (void)origin;
  transport_.Stop("stop", programme_->fade_ms());
  host_.Invalidate();
}

void Controller::PlayCurrent() {
  PlayFromStart();
}

void Controller::PlayFromStart() {
  transport_.Play();
  host_.Invalidate();
}

void Controller::Quit() {
  quitting_ = true;
  scores_.Abandon(kQuitFirst);  // a score being written is not waited for
  session_.composer().Cancel();
  // Whoever waits for an answer gets one.
  for (const Command* command :
       {pending_ ? &pending_->command : nullptr, held_ ? &held_->command : nullptr}) {
    if (command != nullptr && command->reply) {
      command->reply(kQuitFirst);
    }
  }
  for (const Command& command : waiting_.TakeAll()) {
    if (command.reply) {
      command.reply(command.dropped.empty() ? kQuitFirst : command.dropped);
    }
  }
  pending_.reset();
  held_.reset();
  transport_.Shutdown("quit");  // told to OSC subscribers while they are still heard
  host_.PostQuit(0);
}

std::string Controller::Refusal(const PieceParameters& parameters) const {
  return session_.piece().empty() ? parameters.refusal() : parameters.KeptRefusal();
}

void Controller::ComposeAndPlay(const Command& command) {
  if (command.exact && command.text.find("--clock") != std::string::npos) {
    std::string error;
    if (const std::optional<PieceRecipe> recipe = ReadRecipe(command.text, &error)) {
      Await(recipe->parameters, command, AfterComposing::kReplace, recipe->clock_ms,
            recipe->clock_ms ? std::optional<CarriedState>(recipe->carried) : std::nullopt);
    } else {
      RefuseString(command, error);
    }
    return;
  }
  const PieceParameters parameters = PieceParameters::Parse(command.text);
  if (!parameters.accepted()) {
    RefuseString(command, Refusal(parameters));
    return;
  }
  Await(parameters, command, AfterComposing::kReplace);
}

void Controller::RefuseString(const Command& command, const std::string& refusal) {
  // The current piece stays, and so does whatever plays.
  session_.SetRefusal(refusal);
  host_.Log(command.origin + ": " + refusal);
  if (command.reply) {
    command.reply(refusal);
  }
  host_.Invalidate();
}

void Controller::TakeClipboardString(const std::string& text) {
  transport_.ChooseEnsemble(0);
  transport_.PrepareEnsemble();
  last_string_ = text;
  if (!transport_.Playing()) {
    const PieceParameters parameters = PieceParameters::Parse(last_string_);
    if (parameters.accepted()) {
      Command command;
      command.latched = true;
      command.origin = "clipboard";
      Await(parameters, command, AfterComposing::kRestart);
    } else {
      session_.Diagnose(Refusal(parameters));
      session_.Refuse(Refusal(parameters));
    }
  }
  host_.Invalidate();
}

void Controller::EvLButtonDown() {
  host_.MessageBox("Playing from object: 1.", "Player status.");
  if (!session_.piece().empty()) {
    if (!transport_.Playing()) {
      transport_.Play(/*honour_stop=*/true);  // after a stop: it ends at its first tick
    } else {
      host_.MessageBox("Composition is still playing...", "Player status.");
    }
  } else {
    host_.MessageBox("Compostion's ObjectList is Empty...", "Error.");
  }
  host_.Invalidate();
}

void Controller::EvRButtonDown() {
  const bool empty = session_.piece().empty();
  if (!empty && transport_.Playing()) {
    host_.MessageBox("Composition is still playing...", "Player status.");
  } else if (empty) {
    host_.MessageBox("Compostion's ObjectList is Empty...", "Error.");
  }
  host_.Invalidate();
}

void Controller::EvMouseMove(int y) {
  transport_.SetVolume(y % 127);
}

bool Controller::CanClose() {
  // Stop for real before asking, so that a No leaves nothing sounding and the player idle.
  transport_.Stop("stop");
  return host_.AskYesNo("Want to close ?", "Query");
}

std::string Controller::CountersText() const {
  const Piece& piece = session_.piece();
  char text[256];
  std::snprintf(text, sizeof text,
                "Total Object Count: %i. / Current object: %i. / Total time of composition: %lli. "
                "/ Offset time: %lli.",
                static_cast<int>(piece.sections().size()), 1,
                static_cast<long long>(piece.total_ms()), 0LL);
  return text;
}

std::string Controller::StatusText(StatusField field) const {
  const CompositionPlayer& player = session_.player();
  char text[64];
  switch (field) {
    case StatusField::kEvents:
      std::snprintf(text, sizeof text, "ev_played %i.", player.PlayedEvents());
      return text;
    case StatusField::kTick:
      std::snprintf(text, sizeof text, "timed: %u.", player.LastTick());
      return text;
    case StatusField::kTimer: {
      const std::string closed = programme_->ClosedText();
      return closed.empty() ? player.TimerStatusText() : closed;
    }
    case StatusField::kMidiIn:
      return session_.GetINStatusStr();
    case StatusField::kMidiOut:
      return session_.GetOUTStatusStr();
    case StatusField::kBeat: {
      // While playing: the beat in the section (counted from 1, as a musician counts) and the
      // tempo in force.
      const MusicalPosition at = player.Position();
      if (player.Running() == 0 || at.tempo <= 0) {
        return "";
      }
      std::snprintf(text, sizeof text, "beat %.1f at %.0f/min", at.beat_in_section + 1.0, at.tempo);
      return text;
    }
  }
  return "";
}

std::string Controller::NoticeText(bool with_warnings) const {
  if (!session_.Refusal().empty()) {
    return session_.Refusal();
  }
  std::string text;
  if (std::string closed = programme_->ClosedText(); !closed.empty()) {
    text = std::move(closed);
  } else if (session_.player().Running() != 0) {
    const Schedule& s = session_.schedule();
    text = "Playing object " + std::to_string(session_.player().PlayingObjectNumber()) + " of " +
           std::to_string(s.Objects()) + ".";
  } else {
    text = "Nothing plays.";
  }
  // What the string of the piece holds outside the useful ranges, a line each.
  for (const std::string& warning :
       with_warnings ? session_.Warnings() : std::vector<std::string>{}) {
    text += "\nWarning: " + warning;
  }
  return text;
}

std::string Controller::ReadableCounters() const {
  const Piece& piece = session_.piece();
  const std::size_t sections = piece.sections().size();
  std::string text = std::to_string(sections) + (sections == 1 ? " section, " : " sections, ") +
                     MinutesAndSeconds(piece.total_ms());
  const CompositionPlayer& player = session_.player();
  if (player.Running() != 0 && sections > 0) {
    // The section whose onset the playhead has passed last.
    const auto tick = static_cast<std::int64_t>(player.LastTick());
    std::size_t at = 0;
    while (at + 1 < sections && piece.sections()[at + 1].onset <= tick) {
      ++at;
    }
    text += "; section " + std::to_string(at + 1) + " at " + MinutesAndSeconds(tick);
  }
  return text;
}

std::string Controller::StatusWords(StatusField field) const {
  const CompositionPlayer& player = session_.player();
  switch (field) {
    case StatusField::kEvents:
      return std::to_string(player.PlayedEvents()) + " events played";
    case StatusField::kTick:
      return player.Running() != 0
                 ? "at " + MinutesAndSeconds(static_cast<std::int64_t>(player.LastTick()))
                 : "stopped";
    case StatusField::kTimer: {
      std::string closed = programme_->ClosedText();
      if (!closed.empty()) {
        return closed;
      }
      const std::string& timer = player.TimerStatusText();
      if (timer.empty()) {
        return "Clock: not started yet";
      }
      return timer.rfind("Timer OK", 0) == 0 ? "Clock: on time" : "Clock: failed to start";
    }
    case StatusField::kMidiIn: {
      const MidiInput* input = session_.input();
      if (input == nullptr) {
        return "MIDI input: none";
      }
      const std::string raw = session_.GetINStatusStr();
      if (raw != "MIN OK") {
        return raw == "MIN none" ? "MIDI input: none" : "MIDI input: error";
      }
      const std::string from = input->Connected();
      return "MIDI input: " + (from.empty() ? std::string("not connected") : from);
    }
    case StatusField::kMidiOut: {
      const MidiOutput* output = session_.output();
      if (output == nullptr || session_.GetOUTStatusStr().rfind("MOUT OK", 0) != 0) {
        return "Output: error";
      }
      std::string text = "Output: " + output->Describe();
      if (const std::uint64_t lost = session_.LostMessages(); lost > 0) {
        text += ", " + std::to_string(lost) + " messages lost";
      }
      return text;
    }
    case StatusField::kBeat:
      return StatusText(StatusField::kBeat);  // in words already
  }
  return "";
}

std::int64_t Controller::DisplayedTick() const {
  if (session_.player().Running() != 0) {
    return static_cast<std::int64_t>(session_.player().LastTick());
  }
  return 0;
}

}  // namespace vordel
