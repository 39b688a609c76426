#include "control/controller.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "control/text_fields.h"
#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;

class FakeHost : public ControllerHost {
 public:
  void MessageBox(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + "|" + text);
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + "|" + text);
    return answer_yes;
  }
  void Invalidate() override { ++repaints; }
  void PostQuit(int code) override { quit_code = code; }
  void Log(const std::string& line) override { log.push_back(line); }
  std::vector<std::string> boxes;
  std::vector<std::string> log;
  int repaints = 0;
  bool answer_yes = true;
  int quit_code = -1;
};

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() {
    auto out = std::make_unique<RecordingOutput>(1 << 16);
    rec_ = out.get();
    session_ = std::make_unique<Session>(std::move(out), nullptr, timer_, &out_);
    ctl_ = std::make_unique<Controller>(*session_, host_);
    ctl_->SetupWindow();
    Settle();
  }
  ~ControllerTest() override {
    ctl_.reset();
    session_.reset();
  }
  // Hands every piece the composer makes to the controller until none is awaited or waits to
  // start, as the program's loop does (at most ten seconds).
  void Settle() {
    for (int i = 0; i < 200 && ctl_->Composing(); ++i) {
      pollfd p{session_->composer().ReadyFd(), POLLIN, 0};
      if (poll(&p, 1, ctl_->WakeInMs()) == 1) {
        ctl_->PieceComposed();
      }
      ctl_->Poll();
    }
    ASSERT_FALSE(ctl_->Composing());
  }
  void Poll(const std::string& text) {
    ctl_->ClipboardText(text);
    Settle();
  }
  void Once(Command::Kind kind, const std::string& text = "", int value = 0, bool settle = true) {
    Command c;
    c.kind = kind;
    c.text = text;
    c.value = value;
    c.origin = "test";
    c.reply = [this](const std::string& r) { replies.push_back(r); };
    ctl_->Apply(c);
    if (settle) {
      Settle();
    }
  }
  int CountSent(int status_high, int data1 = -1) const {
    int n = 0;
    for (const auto& b : rec_->Bytes()) {
      n += (b[0] & 0xF0) == status_high && (data1 < 0 || b[1] == data1);
    }
    return n;
  }
  int Playing() { return session_->player().Running(); }
  const Piece& piece() { return session_->piece(); }

  std::ostringstream out_;
  FakeHost host_;
  testing::ManualTimerService timer_;
  RecordingOutput* rec_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<Controller> ctl_;
  std::vector<std::string> replies;
};

// The clipboard's rules for a text that stays: a string is taken once (ensemble 0 first) and
// plays; while taken, others are ignored with a word why; "0" stops once, "1" plays when idle,
// a string during a playback restarts it without a rebuild, "q" quits at once, other single
// characters do nothing.
TEST_F(ControllerTest, TheClipboardsRules) {
  Poll("Q");
  Poll("");
  EXPECT_EQ(Playing(), 0);
  EXPECT_TRUE(rec_->Records().empty());
  Poll("0 50 40 1 0");
  EXPECT_EQ(piece().sections().size(), 1u);
  EXPECT_EQ(Playing(), 1);
  EXPECT_EQ(CountSent(0xC0), 4);
  EXPECT_EQ(rec_->Bytes()[0], (Bytes{0xC0, 60}));
  EXPECT_EQ(ctl_->StatusText(StatusField::kTimer), "Timer OK (1)");
  EXPECT_NE(out_.str().find("--dump '0 50 40 1 0'\n[SetPosition] Playing from object: 1"),
            std::string::npos);
  const Piece taken = piece();
  Poll("0 50 40 1 0");  // left there: ignored, silently
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_EQ(ctl_->NoticeText().rfind("Playing object 1 of 1", 0), 0u);
  const int repaints = host_.repaints;
  Poll("0 80 40 30 25 1 50 30 23 20");
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_NE(ctl_->NoticeText().find("ignored"), std::string::npos);
  EXPECT_GT(host_.repaints, repaints);  // and the window shows it
  timer_.Tick();
  EXPECT_EQ(ctl_->DisplayedTick(), 1);  // the playhead is where the tick is
  EXPECT_EQ(ctl_->StatusText(StatusField::kBeat).rfind("beat 1.0 at ", 0), 0u);
  for (int i = 0; i < 2000; ++i) {
    timer_.Tick();
  }
  const std::string beat = ctl_->StatusText(StatusField::kBeat);  // "beat B at T/min"
  EXPECT_GT(std::stod(beat.substr(5)), 2.0) << beat;
  EXPECT_EQ(beat.substr(beat.size() - 4), "/min");
  Poll("0");
  EXPECT_EQ(ctl_->StatusText(StatusField::kBeat), "");
  EXPECT_EQ(ctl_->DisplayedTick(), 0);
  EXPECT_EQ(Playing(), 0);
  EXPECT_TRUE(ctl_->StopDone());
  EXPECT_EQ(CountSent(0xB0, 123), 16);
  timer_.Tick();
  rec_->Clear();
  Poll("0");  // a stop acts once
  EXPECT_TRUE(rec_->Records().empty());
  Poll("1");
  EXPECT_EQ(Playing(), 1);
  const unsigned first = session_->player().GetTimerID();
  Poll("1");  // still playing: nothing
  EXPECT_EQ(session_->player().GetTimerID(), first);
  timer_.RunUntilStopped(1 << 20);
  Poll("1");  // idle again: plays again
  EXPECT_NE(session_->player().GetTimerID(), first);
  session_->transport().player().StopPlaybackAndWait();
  Poll("01");  // no complete group: the piece is kept and played, and the window says why
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_NE(ctl_->NoticeText().find("not one complete group of five"), std::string::npos);
  EXPECT_EQ(Playing(), 1);
  Poll("0");
  Poll("1");
  timer_.Tick();
  rec_->Clear();
  Poll("3 50 40 50 10");  // during a playback: ensemble 0 and a restart, no rebuild
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_EQ(CountSent(0xC0), 4);
  EXPECT_TRUE(timer_.Active(session_->player().GetTimerID()));
  Poll("q");
  EXPECT_EQ(host_.quit_code, 0);
  EXPECT_TRUE(host_.boxes.empty());
  EXPECT_FALSE(timer_.Active(session_->player().GetTimerID()));
  Poll("1");
  EXPECT_EQ(Playing(), 0);
}

// What the window shows a person: the counters in sections and minutes, the status in words
// (the raw fields stay as they were), a stop from the clipboard repainted at once, the warnings
// apart from the notice.
TEST_F(ControllerTest, TheWindowsReadableTexts) {
  struct Row {
    StatusField field;
    const char* idle;
    const char* playing;  // after two seconds of ticks
  };
  const Row rows[] = {
      {StatusField::kEvents, "0 events played", nullptr},
      {StatusField::kTick, "stopped", "at 0:02"},
      {StatusField::kTimer, "Clock: not started yet", "Clock: on time"},
      {StatusField::kMidiIn, "MIDI input: none", "MIDI input: none"},
      {StatusField::kMidiOut, "Output: recording", "Output: recording"},
      {StatusField::kBeat, "", nullptr},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ctl_->StatusWords(row.field), row.idle);
  }
  EXPECT_EQ(ctl_->ReadableCounters(), "2 sections, " + MinutesAndSeconds(piece().total_ms()));

  Poll("0 80 40 30 25 1 50 30 23 20 7");
  for (int i = 0; i < 2000; ++i) {
    timer_.Tick();
  }
  for (const Row& row : rows) {
    if (row.playing != nullptr) {
      EXPECT_EQ(ctl_->StatusWords(row.field), row.playing);
    }
  }
  EXPECT_EQ(ctl_->StatusWords(StatusField::kEvents),
            std::to_string(session_->player().PlayedEvents()) + " events played");
  EXPECT_EQ(ctl_->StatusWords(StatusField::kBeat), ctl_->StatusText(StatusField::kBeat));
  EXPECT_NE(ctl_->ReadableCounters().find("; section 1 at 0:02"), std::string::npos)
      << ctl_->ReadableCounters();
  EXPECT_EQ(ctl_->StatusText(StatusField::kTick), "timed: 2000.");  // the raw field unchanged
  // The second section's onset passed: the counters say so.
  const std::int64_t second = piece().sections()[1].onset;
  while (static_cast<std::int64_t>(session_->player().LastTick()) < second) {
    timer_.Tick();
  }
  EXPECT_NE(ctl_->ReadableCounters().find("; section 2 at "), std::string::npos);
  EXPECT_NE(ctl_->NoticeText().find("\nWarning: 1 number(s) after"), std::string::npos);
  EXPECT_EQ(ctl_->NoticeText(false), "Playing object 2 of 2.");

  const int repaints = host_.repaints;
  Poll("0");
  EXPECT_GT(host_.repaints, repaints);  // the window shows the stop at once
  EXPECT_EQ(ctl_->StatusWords(StatusField::kTick), "stopped");
  EXPECT_EQ(ctl_->ReadableCounters().find("section 2 at"), std::string::npos);
}

// The window's history sends a [Reproduce] line: that very piece is made again; a line that
// makes no piece is refused and answered.
TEST_F(ControllerTest, AReproduceLineFromTheWindowMakesThatVeryPieceAgain) {
  Once(Command::Kind::kCompose, "0 50 40 1 0");
  const Piece first = piece();
  auto exact = [this](const std::string& text) {
    Command c;
    c.kind = Command::Kind::kCompose;
    c.text = text;
    c.exact = true;
    c.origin = "window";
    c.reply = [this](const std::string& r) { replies.push_back(r); };
    ctl_->Apply(c);
    Settle();
  };
  auto keys = [](const Piece& p) {
    std::vector<std::tuple<int, int, int, std::int64_t>> out;
    for (const Note& n : p.Notes()) {
      out.emplace_back(n.channel, n.key, n.velocity, n.onset);
    }
    return out;
  };
  Once(Command::Kind::kCompose, "0 50 40 1 0");  // the same string at a new clock
  exact(first.Reproduce());
  EXPECT_FALSE(piece().SameAs(first));
  EXPECT_EQ(piece().clock_ms(), first.clock_ms());
  EXPECT_EQ(keys(piece()), keys(first));
  EXPECT_EQ(replies.back(), "");
  EXPECT_EQ(Playing(), 1);

  replies.clear();
  const Piece kept = piece();
  exact("vordel-compose --clock 12 --dump '1 2'");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_FALSE(replies[0].empty());
  EXPECT_TRUE(piece().SameAs(kept));
  EXPECT_EQ(ctl_->NoticeText(), replies[0]);
  EXPECT_EQ(host_.log.back(), "window: " + replies[0]);  // and the log says where it came from
}

// Clicks show their boxes, a click after a stop ends at the first tick, the mouse's height sets
// the volume, and closing stops first (No leaves it idle, not stuck).
TEST_F(ControllerTest, WindowEvents) {
  ctl_->EvRButtonDown();
  EXPECT_TRUE(host_.boxes.empty());
  ctl_->EvMouseMove(200);
  EXPECT_EQ(rec_->Bytes(),
            (std::vector<Bytes>{{0xB0, 7, 73}, {0xB1, 7, 73}, {0xB2, 7, 73}, {0xB3, 7, 73}}));
  ctl_->EvLButtonDown();
  ctl_->EvLButtonDown();
  ctl_->EvRButtonDown();
  EXPECT_EQ(host_.boxes,
            (std::vector<std::string>{"Player status.|Playing from object: 1.",
                                      "Player status.|Playing from object: 1.",
                                      "Player status.|Composition is still playing...",
                                      "Player status.|Composition is still playing..."}));
  timer_.Tick();
  struct Ends : SessionListener {
    void PlaybackEnded(const std::string& why) override { seen.push_back(why); }
    std::vector<std::string> seen;
  } ends;
  session_->AddListener(&ends);
  host_.answer_yes = false;
  EXPECT_FALSE(ctl_->CanClose());
  EXPECT_EQ(host_.boxes.back(), "Query|Want to close ?");
  EXPECT_EQ(Playing(), 0);
  EXPECT_FALSE(timer_.Active(session_->player().GetTimerID()));
  session_->Poll();
  EXPECT_EQ(ends.seen, std::vector<std::string>{"stop"});  // in the journal and to the peers
  session_->RemoveListener(&ends);
  Poll("0");
  rec_->Clear();
  ctl_->EvLButtonDown();  // after a stop: ends at the first tick, no note
  EXPECT_EQ(timer_.RunUntilStopped(100), 1);
  EXPECT_EQ(CountSent(0x90), 0);
  session_->transport().player().MarkIdle();
  session_->SetPiece(Piece());
  ctl_->EvLButtonDown();
  ctl_->EvRButtonDown();
  EXPECT_EQ(host_.boxes.back(), "Error.|Compostion's ObjectList is Empty...");
  EXPECT_EQ(host_.boxes[host_.boxes.size() - 2], "Error.|Compostion's ObjectList is Empty...");
  EXPECT_GE(host_.repaints, 5);
  host_.answer_yes = true;
  EXPECT_TRUE(ctl_->CanClose());
}

// While a piece is composed the commands after it wait their turn; a newer piece from the same
// kind of source waits until the one being composed has played a second, then replaces it (so a
// flood of strings still lets pieces play); a quit acts at once and drops what waits.
TEST_F(ControllerTest, CommandsWaitForThePieceBeforeThemButAQuitNeverAndAllAreAnswered) {
  Once(Command::Kind::kCompose, "3 50 40 50 10", 0, false);
  Once(Command::Kind::kStop, "", 0, false);
  EXPECT_TRUE(ctl_->Composing());
  EXPECT_EQ(piece().sections().size(), 2u);
  Settle();
  EXPECT_EQ(piece().sections().front().function, 3);
  EXPECT_EQ(Playing(), 0);
  // A string that makes no piece is answered with why; the piece stays.
  Once(Command::Kind::kCompose, "1 2 3");
  ASSERT_FALSE(replies.empty());
  EXPECT_NE(replies.back().find("group of five"), std::string::npos) << replies.back();
  EXPECT_EQ(piece().sections().front().function, 3);
  replies.pop_back();
  Once(Command::Kind::kCompose, "0 50 40 50 1000 0 50 40 50 1000 0 50 40 50 1000", 0, false);
  Once(Command::Kind::kCompose, "2 60 70 20 30", 0, false);
  Once(Command::Kind::kCompose, "4 60 70 20 30");
  EXPECT_EQ(piece().sections().size(), 1u);
  EXPECT_EQ(piece().sections().front().function, 4);
  // The long one played before it; the one in between never did.
  EXPECT_NE(out_.str().find("--dump '0 50 40 50 1000 0 50 40 50 1000 0 50 40 50 1000'"),
            std::string::npos);
  EXPECT_EQ(out_.str().find("--dump '2 60 70 20 30'"), std::string::npos);
  // A stop drops a piece that waits for its turn to start.
  Once(Command::Kind::kCompose, "3 60 70 20 30", 0, false);
  for (int i = 0; i < 100 && !ctl_->WaitsToStart(); ++i) {
    pollfd p{session_->composer().ReadyFd(), POLLIN, 0};
    if (poll(&p, 1, 100) == 1) {
      ctl_->PieceComposed();
    }
  }
  ASSERT_TRUE(ctl_->WaitsToStart());
  Once(Command::Kind::kStop);
  EXPECT_FALSE(ctl_->WaitsToStart());
  EXPECT_EQ(piece().sections().front().function, 4);
  EXPECT_EQ(Playing(), 0);
  Once(Command::Kind::kCompose, "0 50 40 50 1000 0 50 40 50 1000", 0, false);
  Once(Command::Kind::kStop, "", 0, false);
  Once(Command::Kind::kQuit, "", 0, false);
  EXPECT_EQ(host_.quit_code, 0);
  EXPECT_FALSE(ctl_->Composing());
  EXPECT_FALSE(session_->composer().Composing());
  // Every command was answered once: played (""), made pointless by a later one, or still
  // waiting at the quit.
  EXPECT_EQ(replies, (std::vector<std::string>{"", "", kSuperseded, "", kSuperseded, kQuitFirst,
                                               kQuitFirst}));
}

// The volume the user set is kept across a change of the ensemble: the next start sends the
// ensemble's programs, then that volume, not the ensemble's own.
TEST_F(ControllerTest, TheVolumeSetOutlastsAChangeOfEnsemble) {
  Once(Command::Kind::kVolume, "", 50);
  Once(Command::Kind::kEnsemble, "", 2);
  rec_->Clear();
  Once(Command::Kind::kPlay);
  timer_.RunUntilStopped(2000);
  std::vector<int> volumes;  // of channel 1, before its first note
  int programs = 0;
  for (const auto& b : rec_->Bytes()) {
    if (b[0] == 0x90 && b[2] > 0) {
      break;
    }
    programs += (b[0] & 0xF0) == 0xC0 ? 1 : 0;
    if (b[0] == 0xB0 && b[1] == 7) {
      volumes.push_back(b[2]);
    }
  }
  EXPECT_EQ(programs, 4);
  ASSERT_FALSE(volumes.empty());
  EXPECT_EQ(volumes.back(), 50);
}

// A clock's tempo reaches the player, and the log says so when it begins and when it moves by
// more than a hundredth (not once a beat); 0 gives the pieces their own tempo back.
TEST_F(ControllerTest, AFollowedTempoReachesThePlayerAndIsSaidWhenItMoves) {
  const auto logged = [this] {
    return std::count_if(host_.log.begin(), host_.log.end(), [](const std::string& line) {
      return line.find("beats a minute") != std::string::npos ||
             line.find("its own tempo") != std::string::npos;
    });
  };
  for (const auto& [millis, said] : std::vector<std::pair<int, long>>{
           {120000, 1}, {120500, 1}, {121300, 2}, {90000, 3}, {0, 4}}) {
    Once(Command::Kind::kFollowTempo, "", millis);
    EXPECT_DOUBLE_EQ(session_->player().FollowTempo(), millis / 1000.0);
    EXPECT_EQ(logged(), said) << millis;
  }
  EXPECT_EQ(host_.log.back(), "test: each piece at its own tempo again");
}

// Joining and leaving a Link session go through the switch the program gives, and what it says
// is logged after where the command came from; without one, that Link is not there.
TEST_F(ControllerTest, LinkCommandsGoThroughTheProgramsSwitch) {
  Once(Command::Kind::kLink, "", 1);
  EXPECT_EQ(host_.log.back(), "test: Link is not available in this program");
  EXPECT_FALSE(ctl_->LinkJoined());
  std::vector<bool> asked;
  bool joined = false;
  ctl_->SetLinkSwitch(
      [&](bool join) {
        asked.push_back(join);
        joined = join;
        return join ? std::string("in") : std::string("out");
      },
      [&] { return joined; });
  for (const int value : {1, 0, 7}) {
    Once(Command::Kind::kLink, "", value);
    EXPECT_EQ(host_.log.back(), value != 0 ? "test: in" : "test: out");
    EXPECT_EQ(ctl_->LinkJoined(), value != 0);
  }
  EXPECT_EQ(asked, (std::vector<bool>{true, false, true}));
}

// Files named by other programs: a name in the files folder, never a path elsewhere, never
// through a link, never over a file that is not a score of ours; one score at a time for each
// sender; the whole path is told once written, and a playlist is read from there too.
TEST_F(ControllerTest, NamesFromOtherProgramsStayInTheFilesFolder) {
  char folder_template[] = "/tmp/vordel-files-XXXXXX";
  const std::string root = mkdtemp(folder_template);
  const std::string files = root + "/files";
  ctl_ = std::make_unique<Controller>(*session_, host_, ProgrammeSettings{}, files);
  std::ofstream(root + "/outside.xml") << "<theirs/>";
  ASSERT_EQ(mkdir(files.c_str(), 0700), 0);
  ASSERT_EQ(symlink(root.c_str(), (files + "/up").c_str()), 0);
  ASSERT_EQ(symlink((root + "/outside.xml").c_str(), (files + "/link.xml").c_str()), 0);
  std::ofstream(files + "/foreign.xml") << "<mine/>";
  std::vector<std::string> saved;
  auto send = [&](Command::Kind kind, const std::string& name, const std::string& sender) {
    Command c;
    c.kind = kind;
    c.text = name;
    c.in_files_folder = true;
    c.sender = sender;
    c.origin = "test";
    c.reply = [this](const std::string& r) { replies.push_back(r); };
    c.saved = [&saved](const std::string& p) { saved.push_back(p); };
    ctl_->Apply(c);
  };
  const struct {
    std::string name;
    std::string why;
  } kRefused[] = {
      {root + "/outside.xml", "is not a name inside the files folder"},
      {"../outside.xml", "is not a name inside the files folder"},
      {"a//b.xml", "is not a name inside the files folder"},
      {"./b.xml", "is not a name inside the files folder"},
      {"up/outside.xml", "does not lead to a folder inside the files folder"},
      {"none/b.xml", "does not lead to a folder inside the files folder"},
      {"link.xml", files + "/link.xml is there already and is not a score vordel wrote"},
      {"foreign.xml", files + "/foreign.xml is there already and is not a score vordel wrote"},
      {"notes.pdf", "a score is saved to a .musicxml or .xml file, not 'notes.pdf'"},
  };
  for (const auto& c : kRefused) {
    send(Command::Kind::kScore, c.name, "127.0.0.1:9000");
    ASSERT_FALSE(replies.empty()) << c.name;
    EXPECT_NE(replies.back().find(c.why), std::string::npos) << c.name << ": " << replies.back();
  }
  EXPECT_EQ(testing::ReadFile(root + "/outside.xml"), "<theirs/>");
  EXPECT_EQ(testing::ReadFile(files + "/foreign.xml"), "<mine/>");
  auto await_saved = [&](std::size_t count) {
    for (int i = 0; i < 1000 && saved.size() < count; ++i) {
      ctl_->Poll();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return saved.size() == count;
  };
  // Written, and written again over a score of its own; the answer names the whole path.
  for (std::size_t n = 1; n <= 2; ++n) {
    send(Command::Kind::kScore, "mine.musicxml", "127.0.0.1:9000");
    ASSERT_TRUE(await_saved(n));
    EXPECT_EQ(saved.back(), files + "/mine.musicxml");
  }
  EXPECT_NE(testing::ReadFile(files + "/mine.musicxml").find("<score-partwise"), std::string::npos);
  // One at a time for one sender; another sender is not kept waiting by it.
  send(Command::Kind::kScore, "a.musicxml", "127.0.0.1:9000");
  send(Command::Kind::kScore, "b.musicxml", "127.0.0.1:9000");
  EXPECT_NE(replies.back().find("still being written"), std::string::npos) << replies.back();
  const std::size_t answered = replies.size();
  send(Command::Kind::kScore, "c.musicxml", "127.0.0.1:9001");
  EXPECT_EQ(replies.size(), answered);  // taken: answered once written
  ASSERT_TRUE(await_saved(4));
  // A playlist by name, from there; a link is not followed.
  std::ofstream(files + "/list.txt") << "0 50 40 1 0\n";
  ASSERT_EQ(symlink((root + "/outside.xml").c_str(), (files + "/list-link.txt").c_str()), 0);
  send(Command::Kind::kPlaylist, "list.txt", "127.0.0.1:9000");
  EXPECT_EQ(replies.back(), "");
  EXPECT_EQ(ctl_->programme().GetStatus().length, 1);
  send(Command::Kind::kPlaylist, "list-link.txt", "127.0.0.1:9000");
  EXPECT_EQ(replies.back(), "cannot read " + files + "/list-link.txt: it is a symbolic link");
  ctl_.reset();
  EXPECT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
}

}  // namespace
}  // namespace vordel
