// What a control source asks for. A source reads texts, packets or MIDI messages and yields
// these; the controller applies them to the session. Plain values: any thread may make and move
// them.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace vordel {

struct Command {
  enum class Kind {
    kStop,
    kPlay,
    kQuit,
    kCompose,
    kVolume,
    kEnsemble,
    kEndless,
    kPlaylist,
    kNext,
    kScore,
    kFollowTempo,
    kLink
  };

  Kind kind = Kind::kStop;
  std::string text;  // kCompose: the parameter string; kPlaylist, kScore: the file
  int value = 0;     // kVolume: 0-127; kEnsemble: 0-2; kEndless: 0 off, 1 on; kFollowTempo: the
                     // tempo in thousandths of a beat a minute (0: the piece's own); kLink: 0
                     // leave the session, 1 join it
  // A text that stays where it was read and is seen again at every poll (the clipboard): the
  // rules for such texts apply (a stop acts once, a parameter string is taken once, a play acts
  // again whenever the player has become idle). Other commands act each time they arrive.
  bool latched = false;
  // Where it came from, for log lines ("clipboard", "OSC", "standard input", "MIDI input").
  std::string origin;
  // Who sent it, when that can be told (an OSC sender's address and port; "" otherwise).
  std::string sender;
  // kPlaylist, kScore: `text` is a name inside the files folder (sent by another program), not
  // a path of the user's choosing.
  bool in_files_folder = false;
  // kCompose: `text` may also be a [Reproduce] line (--clock MS ... 'STRING'), which makes that
  // very piece again (the window's history); other sources send parameter strings only.
  bool exact = false;
  // kCompose, kPlaylist, kScore: told on the control thread what became of the string or the
  // file ("" when it plays or was written, else why not).
  std::function<void(const std::string&)> reply;
  // kScore: told the whole path of the file once it is written.
  std::function<void(const std::string&)> saved;
  // Why it is not carried out, when the queue dropped it: it is only answered (its reply told
  // this). "" for a command to carry out.
  std::string dropped;
};

// What a command dropped by the queue is answered: a later command made it pointless, or too
// many waited.
inline constexpr const char* kSuperseded = "superseded";
inline constexpr const char* kTooManyWaiting = "too many commands are waiting; ask again later";
// And a command that was still waiting, or being carried out, when the program quit.
inline constexpr const char* kQuitFirst = "vordel quit before it was carried out";

// The command of a clipboard-style text: "0" stop, "1" play, "q" quit, two or more characters
// a parameter string; nothing for other single characters and the empty text.
std::optional<Command> CommandFromText(const std::string& text, bool latched,
                                       const std::string& origin);

}  // namespace vordel
