#include "transport/transport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "composer/ensembles.h"
#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/pieces.h"

namespace vordel {
namespace {

// Three short pieces, told apart by their one note: A is current, B the follower set up before
// the verb, C the cue a verb brings. Each holds its note 100 ms and lasts 150.
Cue MakeCue(int line, int key) {
  Cue cue = CueOf(testing::HandPiece({{{1, key, 90, 0}, {1, key, 0, 100}}}, 150));
  cue.playlist_line = line;
  return cue;
}

class Told : public TransportListener {
 public:
  void CueLoaded(const Cue& cue, bool took_over) override {
    seen.push_back("loaded " + Name(cue) + (took_over ? " (took over)" : ""));
  }
  void PlaybackStarted(const Cue& cue) override { seen.push_back("started " + Name(cue)); }
  void PlaybackEnded(const Cue& cue, const std::string& reason) override {
    seen.push_back("ended " + Name(cue) + " " + reason);
  }
  static std::string Name(const Cue& cue) { return std::string(1, "-ABC"[cue.playlist_line]); }
  std::vector<std::string> seen;
};

// Where a row starts from.
enum class From { kIdle, kWaiting, kPlaying, kPlayingFollowed, kFading, kGap };

class TransportTest : public ::testing::Test {
 protected:
  TransportTest() : transport_(&rec_, timer_, [this] { return now_ns_; }) {
    transport_.AddListener(&told_);
    for (const Cue* cue : {&a_, &b_, &c_}) {
      names_[cue->schedule->messages.front().message.bytes[1]] = Told::Name(*cue);
    }
  }
  ~TransportTest() override { transport_.RemoveListener(&told_); }

  // One millisecond: the clock moves, the player ticks, the transport takes in what it did.
  void Millis(int n) {
    for (int i = 0; i < n; ++i) {
      now_ns_ += kNanosPerMilli;
      timer_.Tick();
      transport_.Poll();
    }
  }

  void Reach(From from) {
    transport_.Load(a_);
    switch (from) {
      case From::kIdle:
        break;
      case From::kWaiting:
        transport_.QueueAt(b_, now_ns_ + 10'000 * kNanosPerMilli);
        break;
      case From::kPlaying:
        transport_.Play();
        Millis(10);
        break;
      case From::kPlayingFollowed:
      case From::kFading:
        transport_.Play();
        transport_.Queue(b_, 300);
        Millis(10);
        if (from == From::kFading) {
          transport_.Stop("stop", 1000);
        }
        break;
      case From::kGap:
        transport_.Play();
        transport_.Queue(b_, 300);
        Millis(200);  // A has ended, B has taken over and waits out its gap
        break;
    }
    rec_.Clear();
    told_.seen.clear();
  }

  // The messages sent since Reach, each told by a word, a repetition folded into one: "A+" and
  // "A-" a note of A starting and ending, "off" All Notes Off, "Strings vN" the instruments of an
  // ensemble with their volume N, "vN" channel volume N (a fade by its last step).
  std::string Sent() const {
    std::vector<std::string> words;
    const auto bytes = rec_.Bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const auto& b = bytes[i];
      std::string w;
      const int kind = b[0] & 0xF0;
      if (kind == 0x90 || kind == 0x80) {
        const auto name = names_.find(b[1]);
        w = (name == names_.end() ? "?" : name->second) + (kind == 0x90 && b[2] > 0 ? "+" : "-");
      } else if (kind == 0xC0 && i + 2 < bytes.size()) {
        // Program, pan and volume of each channel: the ensemble by its name, on the first.
        i += 2;
        if ((b[0] & 0x0F) != 0) {
          continue;
        }
        w = "?";
        for (int e = 0; e < kEnsembleCount; ++e) {
          if (EnsemblePresets(e)[0].Patch - 1 == b[1]) {
            w = EnsembleName(e);
          }
        }
        w += " v" + std::to_string(bytes[i][2]);
      } else if (kind == 0xB0 && b[1] == 123) {
        w = "off";
      } else if (kind == 0xB0 && b[1] == 7) {
        w = "v" + std::to_string(b[2]);
        if (!words.empty() && words.back()[0] == 'v') {
          words.pop_back();  // a fade: its last step
        }
      }
      if (!w.empty() && (words.empty() || words.back() != w)) {
        words.push_back(w);
      }
    }
    std::string out;
    for (const std::string& w : words) {
      out += (out.empty() ? "" : " ") + w;
    }
    return out;
  }

  std::int64_t now_ns_ = 5'000'000'000;
  testing::ManualTimerService timer_;
  RecordingOutput rec_{1 << 16};
  Transport transport_;
  Told told_;
  Cue a_ = MakeCue(1, 60);
  Cue b_ = MakeCue(2, 64);
  Cue c_ = MakeCue(3, 67);
  std::map<int, std::string> names_;
};

struct Row {
  From from;
  const char* verb;
  Transport::State state;  // right after the verb
  std::vector<std::string> told;
  const char* sent;   // the messages the verb sent
  const char* later;  // and in the next second, once the player has done what it will
};

using S = Transport::State;

// Every verb in every state, and what the player does by itself. "later" is the second after: a
// follower that was dropped must not sound in it.
const Row kRows[] = {
    // load: what plays ends ("stop"), a follower no longer follows, the cue becomes current.
    {From::kIdle, "load", S::kIdle, {"loaded C"}, "", ""},
    {From::kWaiting, "load", S::kIdle, {"loaded C"}, "", ""},
    {From::kPlaying, "load", S::kIdle, {"ended A stop", "loaded C"}, "A- off", ""},
    {From::kPlayingFollowed, "load", S::kIdle, {"ended A stop", "loaded C"}, "A- off", ""},
    {From::kFading, "load", S::kIdle, {"ended A stop", "loaded C"}, "A- off", ""},
    {From::kGap, "load", S::kIdle, {"loaded C"}, "off", ""},
    // play: the current cue from its start; what plays ends first.
    {From::kIdle, "play", S::kPlaying, {"started A"}, "", "A+ A- off"},
    {From::kWaiting, "play", S::kPlaying, {"started A"}, "", "A+ A- off"},
    {From::kPlaying, "play", S::kPlaying, {"ended A stop", "started A"}, "A- off", "A+ A- off"},
    {From::kPlayingFollowed,
     "play",
     S::kPlaying,
     {"ended A stop", "started A"},
     "A- off",
     "A+ A- off BrassWood v100 B+ B- off"},
    {From::kFading, "play", S::kPlaying, {"ended A stop", "started A"}, "A- off v100", "A+ A- off"},
    {From::kGap, "play", S::kPlaying, {"started B"}, "off", "B+ B- off"},
    // start: the cue at once, with its ensemble, after a clean stop.
    {From::kIdle,
     "start",
     S::kPlaying,
     {"loaded C", "started C"},
     "off BrassWood v100",
     "C+ C- off"},
    {From::kWaiting,
     "start",
     S::kPlaying,
     {"loaded C", "started C"},
     "off BrassWood v100",
     "C+ C- off"},
    {From::kPlaying,
     "start",
     S::kPlaying,
     {"ended A stop", "loaded C", "started C"},
     "A- off BrassWood v100",
     "C+ C- off"},
    {From::kPlayingFollowed,
     "start",
     S::kPlaying,
     {"ended A stop", "loaded C", "started C"},
     "A- off BrassWood v100",
     "C+ C- off"},
    {From::kFading,
     "start",
     S::kPlaying,
     {"ended A stop", "loaded C", "started C"},
     "A- off BrassWood v100",
     "C+ C- off"},
    {From::kGap,
     "start",
     S::kPlaying,
     {"loaded C", "started C"},
     "off BrassWood v100",
     "C+ C- off"},
    // stop: at once; whatever waited to follow no longer does.
    {From::kIdle, "stop", S::kIdle, {}, "off", ""},
    {From::kWaiting, "stop", S::kIdle, {}, "off", ""},
    {From::kPlaying, "stop", S::kIdle, {"ended A stop"}, "A- off", ""},
    {From::kPlayingFollowed, "stop", S::kIdle, {"ended A stop"}, "A- off", ""},
    {From::kFading, "stop", S::kIdle, {"ended A stop"}, "A- off", ""},
    {From::kGap, "stop", S::kIdle, {}, "off", ""},
    // stop with a fade: the volume goes down, then the playback ends; nothing follows it.
    {From::kIdle, "stop fading", S::kIdle, {}, "off", ""},
    {From::kPlaying, "stop fading", S::kFading, {}, "", "v91 A- off"},
    {From::kPlayingFollowed, "stop fading", S::kFading, {}, "", "v91 A- off"},
    {From::kFading, "stop fading", S::kIdle, {"ended A stop"}, "A- off", ""},
    {From::kGap, "stop fading", S::kIdle, {}, "off", ""},
    // next: as a stop, but the follower plays its gap after the end.
    {From::kIdle, "next", S::kIdle, {}, "off", ""},
    {From::kWaiting, "next", S::kWaiting, {}, "off", "off BrassWood v100 B+ B- off"},
    {From::kPlaying, "next", S::kIdle, {"ended A next"}, "A- off", ""},
    {From::kPlayingFollowed,
     "next",
     S::kWaiting,
     {"ended A next"},
     "A- off",
     "off BrassWood v100 B+ B- off"},
    {From::kFading, "next", S::kIdle, {"ended A stop"}, "A- off", ""},
    {From::kGap, "next", S::kIdle, {}, "off", ""},
    {From::kPlayingFollowed,
     "next fading",
     S::kFading,
     {},
     "",
     "v70 A- off BrassWood v100 B+ B- off"},
    // clear stage: silence at once, a start time still holds.
    {From::kIdle, "clear stage", S::kIdle, {}, "off", ""},
    {From::kWaiting, "clear stage", S::kWaiting, {}, "off", ""},
    {From::kPlaying, "clear stage", S::kIdle, {"ended A stop"}, "A- off", ""},
    {From::kPlayingFollowed, "clear stage", S::kIdle, {"ended A stop"}, "A- off", ""},
    {From::kFading, "clear stage", S::kIdle, {"ended A stop"}, "A- off", ""},
    {From::kGap, "clear stage", S::kIdle, {}, "off", ""},
    // queue: after the current cue's end and the gap, or at once when nothing plays.
    {From::kIdle,
     "queue",
     S::kPlaying,
     {"loaded C", "started C"},
     "off BrassWood v100",
     "C+ C- off"},
    {From::kWaiting,
     "queue",
     S::kPlaying,
     {"loaded C", "started C"},
     "off BrassWood v100",
     "C+ C- off"},
    {From::kPlaying, "queue", S::kPlaying, {}, "", "A- off BrassWood v100 C+ C- off"},
    {From::kPlayingFollowed, "queue", S::kPlaying, {}, "", "A- off BrassWood v100 C+ C- off"},
    {From::kFading, "queue", S::kFading, {}, "", "v91 A- off"},
    {From::kGap, "queue", S::kGap, {}, "", "B+ B- off BrassWood v100 C+ C- off"},
    // queue at a time: C replaces whatever plays then.
    {From::kIdle, "queue at", S::kWaiting, {}, "", "off BrassWood v100 C+ C- off"},
    {From::kWaiting, "queue at", S::kWaiting, {}, "", "off BrassWood v100 C+ C- off"},
    {From::kPlaying, "queue at", S::kPlaying, {}, "", "A- off BrassWood v100 C+ C- off"},
    {From::kPlayingFollowed, "queue at", S::kPlaying, {}, "", "A- off BrassWood v100 C+ C- off"},
    {From::kFading, "queue at", S::kFading, {}, "", "v91 A- off BrassWood v100 C+ C- off"},
    {From::kGap, "queue at", S::kGap, {}, "", "B+ B- off BrassWood v100 C+ C- off"},
    // unqueue: the follower or the start time is taken back.
    {From::kIdle, "unqueue", S::kIdle, {}, "", ""},
    {From::kWaiting, "unqueue", S::kIdle, {}, "", ""},
    {From::kPlaying, "unqueue", S::kPlaying, {}, "", "A- off"},
    {From::kPlayingFollowed, "unqueue", S::kPlaying, {}, "", "A- off"},
    {From::kFading, "unqueue", S::kFading, {}, "", "v91 A- off"},
    {From::kGap, "unqueue", S::kGap, {}, "", "B+ B- off"},
    // shut down: everything ends for good.
    {From::kIdle, "shut down", S::kIdle, {}, "off", ""},
    {From::kWaiting, "shut down", S::kIdle, {}, "off", ""},
    {From::kPlaying, "shut down", S::kIdle, {"ended A quit"}, "A- off", ""},
    {From::kPlayingFollowed, "shut down", S::kIdle, {"ended A quit"}, "A- off", ""},
    {From::kFading, "shut down", S::kIdle, {"ended A quit"}, "A- off", ""},
    {From::kGap, "shut down", S::kIdle, {}, "off", ""},
    // The volume the user chose is kept, sent at once unless a fade is lowering it; the ensemble
    // chosen comes with the next start, a follower's included; silence ends what sounds and
    // leaves the state as it is.
    {From::kIdle, "volume 64", S::kIdle, {}, "v64", ""},
    {From::kWaiting, "volume 64", S::kWaiting, {}, "v64", ""},
    {From::kPlaying, "volume 64", S::kPlaying, {}, "v64", "A- off"},
    {From::kPlayingFollowed, "volume 64", S::kPlaying, {}, "v64", "A- off BrassWood v64 B+ B- off"},
    {From::kFading, "volume 64", S::kFading, {}, "", "v91 A- off"},
    {From::kGap, "volume 64", S::kGap, {}, "v64", "B+ B- off"},
    {From::kIdle, "volume 0", S::kIdle, {}, "v0", ""},
    {From::kIdle, "ensemble Strings", S::kIdle, {}, "", ""},
    {From::kWaiting, "ensemble Strings", S::kWaiting, {}, "", ""},
    {From::kPlaying, "ensemble Strings", S::kPlaying, {}, "", "A- off"},
    {From::kPlayingFollowed,
     "ensemble Strings",
     S::kPlaying,
     {},
     "",
     "A- off Strings v100 B+ B- off"},
    {From::kFading, "ensemble Strings", S::kFading, {}, "", "v91 A- off"},
    {From::kGap, "ensemble Strings", S::kGap, {}, "", "B+ B- off"},
    {From::kIdle, "silence", S::kIdle, {}, "off", ""},
    {From::kWaiting, "silence", S::kWaiting, {}, "off", ""},
    {From::kPlaying, "silence", S::kPlaying, {}, "A- off", "A- off"},
    {From::kPlayingFollowed,
     "silence",
     S::kPlaying,
     {},
     "A- off",
     "A- off BrassWood v100 B+ B- off"},
    {From::kFading, "silence", S::kFading, {}, "A- off", "v91 A- off"},
    {From::kGap, "silence", S::kGap, {}, "off", "B+ B- off"},
    // What the player does by itself. A piece that ends during a faded stop is not followed,
    // and its end is the stop's, told once; a follower that takes over is loaded as any cue is.
    {From::kPlaying, "piece ends", S::kIdle, {"ended A end"}, "A- off", ""},
    {From::kPlayingFollowed,
     "piece ends",
     S::kGap,
     {"ended A end", "loaded B (took over)"},
     "A- off BrassWood v100",
     "B+ B- off"},
    {From::kFading, "piece ends", S::kIdle, {"ended A stop"}, "v91 A- off", ""},
    {From::kGap, "piece ends", S::kPlaying, {"started B"}, "B+", "B- off"},
    {From::kFading, "fade ends", S::kIdle, {"ended A stop"}, "v0 A- off", ""},
    {From::kWaiting,
     "start time",
     S::kPlaying,
     {"loaded B", "started B"},
     "off BrassWood v100",
     "B+ B- off"},
};

class TransportRows : public TransportTest, public ::testing::WithParamInterface<Row> {};

const char* FromName(From from) {
  switch (from) {
    case From::kIdle:
      return "idle";
    case From::kWaiting:
      return "waiting";
    case From::kPlaying:
      return "playing";
    case From::kPlayingFollowed:
      return "playing, followed";
    case From::kFading:
      return "fading";
    case From::kGap:
      return "gap";
  }
  return "?";
}

TEST_P(TransportRows, EveryVerbInEveryStateIsOneTransition) {
  const Row& row = GetParam();
  Reach(row.from);
  SCOPED_TRACE(std::string(FromName(row.from)) + " + " + row.verb);
  const std::string verb = row.verb;
  if (verb == "load") {
    transport_.Load(c_);
  } else if (verb == "play") {
    transport_.Play();
  } else if (verb == "start") {
    transport_.Start(c_);
  } else if (verb == "stop") {
    transport_.Stop("stop");
  } else if (verb == "stop fading") {
    transport_.Stop("stop", 1000);
  } else if (verb == "next") {
    transport_.Next(0, 200);
  } else if (verb == "next fading") {
    transport_.Next(300, 200);
  } else if (verb == "clear stage") {
    transport_.ClearStage();
  } else if (verb == "queue") {
    transport_.Queue(c_, 300);
  } else if (verb == "queue at") {
    transport_.QueueAt(c_, now_ns_ + 500 * kNanosPerMilli);
  } else if (verb == "unqueue") {
    transport_.Unqueue();
  } else if (verb == "shut down") {
    transport_.Shutdown("quit");
  } else if (verb == "volume 64" || verb == "volume 0") {
    transport_.ChooseVolume(verb == "volume 0" ? 0 : 64);
  } else if (verb == "ensemble Strings") {
    transport_.ChooseEnsemble(1);
    transport_.EnsembleForNextStart();
  } else if (verb == "silence") {
    transport_.Silence();
  } else if (verb == "piece ends" || verb == "fade ends" || verb == "start time") {
    // The player ends its piece (or its gap), the fade's time or the start time comes.
    const auto before = told_.seen.size();
    for (int i = 0; i < 2000 && told_.seen.size() == before; ++i) {
      Millis(1);
      if (verb == "fade ends") {
        now_ns_ += 1000 * kNanosPerMilli;
        transport_.Poll();
      } else if (verb == "start time") {
        now_ns_ += 10'000 * kNanosPerMilli;
        transport_.Poll();
      }
    }
  } else {
    FAIL() << "no verb " << verb;
  }
  EXPECT_EQ(StateName(transport_.state()), std::string(StateName(row.state)));
  EXPECT_EQ(told_.seen, row.told);
  EXPECT_EQ(Sent(), row.sent);
  rec_.Clear();
  told_.seen.clear();
  Millis(1000);
  EXPECT_EQ(Sent(), row.later);
}

INSTANTIATE_TEST_SUITE_P(Transport, TransportRows, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           std::string name =
                               std::string(FromName(info.param.from)) + "_" + info.param.verb;
                           for (char& c : name) {
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name + "_" + std::to_string(info.index);
                         });

// A playback after the output was changed goes to the new output, and only there.
TEST_F(TransportTest, APlaybackGoesToTheOutputChosenLast) {
  RecordingOutput other(1 << 16);
  Reach(From::kPlaying);
  transport_.SetOutput(&other);
  rec_.Clear();
  ASSERT_TRUE(transport_.Play());
  Millis(1000);
  EXPECT_EQ(Sent(), "");
  EXPECT_FALSE(other.Bytes().empty());
  transport_.SetOutput(&rec_);
}

// A piece that ended by itself has already silenced the instruments: a quit says nothing more.
TEST_F(TransportTest, AQuitAfterAnEndSaysNothingMore) {
  Reach(From::kPlaying);
  Millis(1000);
  ASSERT_EQ(told_.seen, std::vector<std::string>{"ended A end"});
  rec_.Clear();
  transport_.Shutdown("quit");
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(transport_.state(), Transport::State::kIdle);
}

}  // namespace
}  // namespace vordel
