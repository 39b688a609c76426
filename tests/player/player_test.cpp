#include "player/player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/pieces.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;

using Events = std::vector<testing::HandEvent>;

std::shared_ptr<const Schedule> ScheduleOf(const std::vector<Events>& sections,
                                           std::int64_t total_ms = 0) {
  return std::make_shared<const Schedule>(BuildSchedule(testing::HandPiece(sections, total_ms)));
}

class Player : public ::testing::Test {
 protected:
  Player() : player_(&rec_, notes_, timer_) {}
  ~Player() override { player_.StopPlaybackAndWait(); }

  void AddObject(const Events& events) { sections_.push_back(events); }
  void Ready() {
    player_.SetSchedule(ScheduleOf(sections_));
    rec_.Clear();
  }
  std::vector<Bytes> Sent() const { return rec_.Bytes(); }
  int AllNotesOffCount() const {
    int n = 0;
    for (const auto& b : Sent()) {
      n += (b[0] & 0xF0) == 0xB0 && b[1] == 123;
    }
    return n;
  }

  std::vector<Events> sections_;
  testing::ManualTimerService timer_;
  RecordingOutput rec_{1 << 16};
  NoteTracker notes_;
  CompositionPlayer player_;
};

TEST_F(Player, DueEventsAreSentInTheirTickStampedWithItsDeadline) {
  AddObject({{1, 60, 90, 0}, {2, 62, 80, 0}, {1, 60, 0, 5}, {2, 62, 0, 5}});
  Ready();
  ASSERT_TRUE(player_.StartPlayback());
  player_.MarkRunning();
  EXPECT_TRUE(player_.TimerActive());
  EXPECT_EQ(player_.TimerStatusText(), "Timer OK (1)");
  EXPECT_EQ(player_.GetTimerResolution(), 1u);
  ASSERT_TRUE(timer_.Tick());  // tick counter 0
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x90, 60, 90}, {0x91, 62, 80}}));
  EXPECT_EQ(player_.LastTick(), 1u);
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(timer_.Tick());
  }
  EXPECT_EQ(Sent().size(), 2u);
  ASSERT_TRUE(timer_.Tick());  // the sixth tick sends the events at 5 and ends the piece
  const auto records = rec_.Records();
  ASSERT_EQ(records.size(), 4u + 16u);  // nothing left sounding: only All Notes Off follows
  EXPECT_EQ(Sent()[2], (Bytes{0x80, 60, 0}));
  EXPECT_EQ(Sent()[3], (Bytes{0x81, 62, 0}));
  // Every message carries the deadline of the tick that sent it, on the player's lane.
  EXPECT_EQ(records[0].due_ns, timer_.first_deadline_ns);
  EXPECT_EQ(records[2].due_ns, timer_.first_deadline_ns + 5 * kNanosPerMilli);
  EXPECT_EQ(records[2].lane, Lane::kPlayer);
  EXPECT_EQ(AllNotesOffCount(), 16);
  EXPECT_EQ(player_.Running(), 0);
  EXPECT_FALSE(timer_.Tick());           // the callback stopped its own timer
  EXPECT_EQ(player_.PlayedEvents(), 4);  // starts and ends alike
  EXPECT_EQ(player_.EndedPlaybacks(), 1u);
}

TEST_F(Player, StopMidPieceReleasesSoundingNotesFirst) {
  AddObject({{1, 60, 90, 0}, {2, 64, 90, 0}, {1, 60, 0, 50}, {2, 64, 0, 50}});
  Ready();
  player_.StartPlayback();
  player_.MarkRunning();
  timer_.Tick();
  timer_.Tick();
  player_.RaiseStop();
  rec_.Clear();
  ASSERT_TRUE(timer_.Tick());
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u + 16u);
  EXPECT_EQ(sent[0], (Bytes{0x80, 60, 0}));  // released before All Notes Off
  EXPECT_EQ(sent[1], (Bytes{0x81, 64, 0}));
  EXPECT_EQ(player_.Running(), 0);
  EXPECT_FALSE(timer_.Active(player_.GetTimerID()));
  // A playback started while the stop is still raised ends at its first tick, silently.
  rec_.Clear();
  player_.StartPlayback();
  EXPECT_EQ(timer_.RunUntilStopped(100), 1);
  EXPECT_EQ(Sent().size(), 16u);
}

TEST_F(Player, ObjectsFollowEachOtherOnOneTimeLine) {
  AddObject({{1, 60, 90, 0}, {1, 60, 0, 2}});
  AddObject({});
  AddObject({{1, 61, 90, 1}, {1, 61, 0, 6}});  // already due when it becomes current
  Ready();
  player_.StartPlayback();
  std::vector<int> objects;
  while (timer_.Tick()) {
    objects.push_back(player_.PlayingObjectNumber());
  }
  EXPECT_EQ(objects.size(), 3u + 1u + 3u);
  EXPECT_EQ(objects[2], 2);  // the empty object is passed in one tick
  EXPECT_EQ(objects[5], 3);
  EXPECT_EQ(Sent()[2], (Bytes{0x90, 61, 90}));
  EXPECT_EQ(player_.PlayedEvents(), 4);
  // The next playback starts again at the first object.
  rec_.Clear();
  player_.StartPlayback();
  EXPECT_EQ(player_.TimerStatusText(), "Timer OK (2)");
  EXPECT_EQ(timer_.RunUntilStopped(100), 7);
  EXPECT_EQ(Sent()[0], (Bytes{0x90, 60, 90}));
}

TEST_F(Player, AWholePieceEndsWithNothingSounding) {
  const Piece piece = testing::ComposeText("0 80 40 30 25 1 50 30 23 20", 0);
  player_.SetSchedule(std::make_shared<const Schedule>(BuildSchedule(piece)));
  player_.StartPlayback();
  const int ticks = timer_.RunUntilStopped(1 << 20);
  EXPECT_EQ(ticks, player_.GetSchedule()->end_tick + 1);
  EXPECT_EQ(player_.PlayedEvents(), static_cast<int>(piece.EventCount()));
  EXPECT_EQ(notes_.Sounding(), 0);
}

TEST_F(Player, WhatFollowsCanBeReplacedOrClearedAndAStopStillStops) {
  AddObject({{1, 60, 90, 0}, {1, 60, 0, 2}});
  Ready();
  player_.SetNext(ScheduleOf({{{1, 61, 90, 0}}}), 0, {});
  player_.SetNext(ScheduleOf({{{1, 62, 90, 0}, {1, 62, 0, 5}}}), 0, {});  // the newer one
  ASSERT_TRUE(player_.StartPlayback());
  timer_.Tick();
  timer_.Tick();
  timer_.Tick();                      // the first piece ends, the second takes over
  EXPECT_EQ(AllNotesOffCount(), 16);  // as any playback's end
  rec_.Clear();
  timer_.Tick();
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x90, 62, 90}}));
  player_.SetNext(ScheduleOf({{{1, 63, 90, 0}}}), 0, {});
  player_.SetNext(nullptr, 0, {});  // nothing follows after all
  EXPECT_EQ(timer_.RunUntilStopped(100), 5);
  EXPECT_EQ(player_.Continuations(), 1u);
  // A stop during a piece that has a follower ends the playback; the follower waits.
  player_.SetNext(ScheduleOf({{{1, 64, 90, 0}}}), 0, {});
  ASSERT_TRUE(player_.StartPlayback());
  player_.RaiseStop();
  EXPECT_EQ(timer_.RunUntilStopped(100), 1);
  EXPECT_TRUE(player_.HasNext());
  EXPECT_EQ(player_.Continuations(), 1u);
  // A new piece set in its place drops the follower: the new one plays, alone.
  const auto fresh = ScheduleOf({{{1, 65, 90, 0}, {1, 65, 0, 1}}});
  player_.SetSchedule(fresh);
  player_.ClearStop();
  ASSERT_TRUE(player_.StartPlayback());
  EXPECT_EQ(player_.GetSchedule(), fresh.get());
  EXPECT_FALSE(player_.HasNext());
  EXPECT_EQ(timer_.RunUntilStopped(100), 2);
  // One set while a piece plays ends that playback first: nothing of it sounds on.
  ASSERT_TRUE(player_.StartPlayback());
  timer_.Tick();
  ASSERT_EQ(notes_.Sounding(), 1);
  player_.SetSchedule(ScheduleOf({{{1, 66, 90, 0}}}));
  EXPECT_FALSE(player_.TimerActive());
  EXPECT_EQ(notes_.Sounding(), 0);
}

// MIDI clock through whole pieces: Song Position 0 and Start at the first tick, then 24 clocks a
// beat, each stamped where the beat map puts it between two ticks, every note of the leading
// voice on a clock, due times that never go back, and Stop where the piece ends; the position
// published on the way is the map's.
class PlayerClock : public Player, public ::testing::WithParamInterface<const char*> {};

TEST_P(PlayerClock, CountsTwentyFourClocksABeatFromStartToStop) {
  const Piece piece = testing::ComposeText(GetParam(), 11);
  const auto schedule = std::make_shared<const Schedule>(BuildSchedule(piece));
  player_.SetSchedule(schedule);
  player_.SetMidiClock(true);
  ASSERT_TRUE(player_.StartPlayback());
  BeatCursor map;
  map.Reset(&schedule->beats);
  double last_beat = 0;
  bool tempo_seen = false;
  while (timer_.Tick()) {
    const MusicalPosition at = player_.Position();
    if (player_.Running() != 0 || at.tempo > 0) {
      ASSERT_GE(at.beat, last_beat);
      last_beat = at.beat;
      tempo_seen = tempo_seen || at.tempo > 0;
    }
  }
  EXPECT_TRUE(tempo_seen);
  EXPECT_EQ(player_.Position().tempo, 0.0);  // idle again
  const auto records = rec_.Records();
  ASSERT_GE(records.size(), 3u);
  EXPECT_EQ(records[0].message, SongPositionMessage(0));
  EXPECT_EQ(records[1].message, RealTimeMessage(kMidiStart));
  EXPECT_EQ(records[1].due_ns, timer_.first_deadline_ns);
  std::int64_t clocks = 0;
  std::int64_t previous_due = 0;
  int stops = 0;
  std::vector<std::int64_t> clock_dues;
  for (const auto& r : records) {
    ASSERT_GE(r.due_ns, previous_due);
    previous_due = r.due_ns;
    if (r.message == RealTimeMessage(kMidiClockTick)) {
      ASSERT_EQ(stops, 0) << "a clock after Stop";
      const double want = map.TickOf(static_cast<double>(clocks) / kClocksPerBeat);
      EXPECT_NEAR(static_cast<double>(r.due_ns - timer_.first_deadline_ns),
                  want * static_cast<double>(kNanosPerMilli), 1.0)
          << "clock " << clocks;
      clock_dues.push_back(r.due_ns);
      ++clocks;
    } else if (r.message == RealTimeMessage(kMidiStop)) {
      ++stops;
    } else if (stops > 0) {
      EXPECT_FALSE(IsNoteOn(r.message)) << "a note after Stop";
    }
  }
  EXPECT_EQ(stops, 1);
  const double beats = schedule->beats.points.back().beat;
  EXPECT_EQ(clocks, static_cast<std::int64_t>(std::floor(beats * kClocksPerBeat)) + 1);
  // Whole beats of the map fall on notes; each of those notes has a clock with its due time.
  std::size_t on_clock = 0;
  std::size_t on_points = 0;
  for (const BeatPoint& p : schedule->beats.points) {
    if (p.beat * kClocksPerBeat != std::floor(p.beat * kClocksPerBeat) || p.tick == 0 ||
        p.tick == schedule->end_tick) {
      continue;
    }
    ++on_points;
    const std::int64_t due = timer_.first_deadline_ns + p.tick * kNanosPerMilli;
    on_clock += std::binary_search(clock_dues.begin(), clock_dues.end(), due) ? 1 : 0;
  }
  EXPECT_GT(on_points, 10u);
  EXPECT_EQ(on_clock, on_points);
}

INSTANTIATE_TEST_SUITE_P(Pieces, PlayerClock,
                         ::testing::Values("3 50 40 50 10", "1 50 50 50 10 1 60 40 30 10"));

TEST_F(Player, ClockStopsWithAStopAndStartsAgainWithTheNextPiece) {
  const auto first =
      std::make_shared<const Schedule>(BuildSchedule(testing::ComposeText("3 50 40 50 10", 37)));
  player_.SetSchedule(first);
  player_.SetNext(
      std::make_shared<const Schedule>(BuildSchedule(testing::ComposeText("0 10 127 99 40", 3))), 2,
      {});
  player_.SetMidiClock(true);
  ASSERT_TRUE(player_.StartPlayback());
  const auto count = [this](std::uint8_t status) {
    int n = 0;
    for (const auto& r : rec_.Records()) {
      n += r.message == RealTimeMessage(status) ? 1 : 0;
    }
    return n;
  };
  const int to_end = static_cast<int>(first->end_tick) + 1;
  EXPECT_EQ(timer_.RunUntilStopped(to_end), to_end);  // the first piece to its end, then the gap
  EXPECT_EQ(count(kMidiStart), 1);
  EXPECT_EQ(count(kMidiStop), 1);
  const int first_clocks = count(kMidiClockTick);
  EXPECT_GT(first_clocks, 24 * 8);
  timer_.Tick();
  timer_.Tick();
  EXPECT_EQ(count(kMidiStart), 1);  // not during the gap
  timer_.Tick();
  EXPECT_EQ(count(kMidiStart), 2);  // the next piece's first tick
  EXPECT_EQ(count(kMidiClockTick), first_clocks + 1);
  player_.RaiseStop();
  timer_.RunUntilStopped(10);
  EXPECT_EQ(count(kMidiStop), 2);
  // Without the clock, a playback sends none of it.
  player_.SetMidiClock(false);
  player_.ClearStop();
  rec_.Clear();
  ASSERT_TRUE(player_.StartPlayback());
  timer_.RunUntilStopped(1 << 20);
  EXPECT_EQ(count(kMidiStart) + count(kMidiClockTick) + count(kMidiStop), 0);
  EXPECT_GT(rec_.Count(), 16u);
}

// A followed tempo scales the whole piece by one ratio: at twice its first tempo it plays every
// message in half the time, in the same order, with as many clocks, and says the tempo it plays
// at; the ratio stays within four; 0 gives the piece its own tempo back.
TEST_F(Player, AFollowedTempoScalesThePiece) {
  const Piece piece = testing::ComposeText("3 50 40 50 10", 37);
  const auto schedule = std::make_shared<const Schedule>(BuildSchedule(piece));
  const double own = schedule->beats.points.front().tempo;
  player_.SetSchedule(schedule);
  player_.SetMidiClock(true);
  struct Case {
    double follow;
    double ratio;
  };
  std::vector<std::pair<std::vector<Bytes>, int>> sent;  // the notes, and the clocks
  for (const Case& c : {Case{0, 1}, Case{own * 2, 2}, Case{own * 40, 4}, Case{own / 2, 0.5}}) {
    player_.SetFollowTempo(c.follow);
    rec_.Clear();
    ASSERT_TRUE(player_.StartPlayback());
    timer_.Tick();
    EXPECT_NEAR(player_.Position().tempo, own * c.ratio, 1e-9) << c.follow;
    const int ticks = 1 + timer_.RunUntilStopped(1 << 22);
    EXPECT_NEAR(ticks, static_cast<double>(schedule->end_tick) / c.ratio, 2.0) << c.follow;
    EXPECT_EQ(player_.PlayedEvents(), static_cast<int>(piece.EventCount()));
    std::pair<std::vector<Bytes>, int> got;
    for (const Bytes& b : Sent()) {
      if (b.size() == 1) {
        got.second += b[0] == kMidiClockTick ? 1 : 0;
      } else {
        got.first.push_back(b);
      }
    }
    sent.push_back(got);
  }
  for (std::size_t i = 1; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i], sent[0]) << i;  // the same notes in the same order, and as many clocks
  }
}

// On a shared timeline a playback waits for the bar it was asked to begin on while that is
// still ahead, else for the first bar a fifth of a second away, and every message lands on the
// line:
// kept in shape (the piece's ticks scaled by one ratio) or on the grid (the piece's beats are
// the timeline's); the same messages in the same order as on the player's own clock.
constexpr double kNoBar = std::numeric_limits<double>::quiet_NaN();

struct TimelineCase {
  CompositionPlayer::TimelineMode mode;
  double bpm;         // the timeline's tempo
  double first_beat;  // its beat at the first tick
  double quantum;
  double asked;       // the bar it was asked to begin on (NaN: none)
  double start_beat;  // where the piece must begin
};

class PlayerTimeline : public Player, public ::testing::WithParamInterface<TimelineCase> {};

TEST_P(PlayerTimeline, BeginsOnTheNextBarAndKeepsToTheLine) {
  const TimelineCase& c = GetParam();
  const auto schedule =
      std::make_shared<const Schedule>(BuildSchedule(testing::ComposeText("3 50 40 50 10", 37)));
  player_.SetSchedule(schedule);
  ASSERT_TRUE(player_.StartPlayback());
  timer_.RunUntilStopped(1 << 22);
  std::vector<Bytes> own;
  for (const Bytes& b : Sent()) {
    own.push_back(b);
  }
  BeatTimeline timeline;
  BeatTimeline::Line line{timer_.first_deadline_ns, c.first_beat, c.bpm};
  timeline.Publish(line);
  player_.FollowTimeline(&timeline, c.mode, c.quantum);
  player_.BeginAt(c.asked);
  rec_.Clear();
  const std::int64_t first = timer_.first_deadline_ns;
  ASSERT_TRUE(player_.StartPlayback());
  timer_.first_deadline_ns = first;
  timer_.RunUntilStopped(1 << 22);
  EXPECT_DOUBLE_EQ(player_.StartBeat(), c.start_beat);
  EXPECT_EQ(Sent(), own);
  const auto records = rec_.Records();
  BeatCursor map;
  map.Reset(&schedule->beats);
  const double own_tempo = schedule->beats.points.front().tempo;
  for (std::size_t i = 0; i < schedule->messages.size(); ++i) {
    const double tick = static_cast<double>(schedule->messages[i].tick);
    const double beats = c.mode == CompositionPlayer::TimelineMode::kShape
                             ? tick * own_tempo / 60000.0
                             : map.At(tick).beat;
    const std::int64_t expected = BeatTimeline::TimeAt(line, c.start_beat + beats);
    // Moments are found along a straight line within a tick: where the map bends inside one
    // (the grid), up to a tenth of a millisecond off.
    const double within = c.mode == CompositionPlayer::TimelineMode::kShape ? 1e3 : 1e5;
    EXPECT_NEAR(static_cast<double>(records[i].due_ns), static_cast<double>(expected), within)
        << i << " at tick " << tick;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PlayerTimeline,
    ::testing::Values(TimelineCase{CompositionPlayer::TimelineMode::kShape, 120, 2.3, 4, kNoBar, 4},
                      TimelineCase{CompositionPlayer::TimelineMode::kShape, 97, 0, 4, kNoBar, 4},
                      TimelineCase{CompositionPlayer::TimelineMode::kShape, 97, 0, 4, 0, 0},
                      TimelineCase{CompositionPlayer::TimelineMode::kShape, 150, 3.95, 4, 4, 4},
                      TimelineCase{CompositionPlayer::TimelineMode::kGrid, 133, 5.01, 3, 3, 6},
                      TimelineCase{CompositionPlayer::TimelineMode::kGrid, 133, 5.01, 3, 12, 12},
                      TimelineCase{CompositionPlayer::TimelineMode::kGrid, 60, -1.5, 4, kNoBar,
                                   0}));

// Leaving the timeline in the middle keeps the pace it had; joining one in the middle goes on
// from where the playback is. Neither skips a message nor sends one twice.
TEST_F(Player, LeavingOrJoiningATimelineMidPieceNeitherJumpsNorSkips) {
  const auto schedule =
      std::make_shared<const Schedule>(BuildSchedule(testing::ComposeText("3 50 40 50 10", 37)));
  const double own_tempo = schedule->beats.points.front().tempo;
  player_.SetSchedule(schedule);
  BeatTimeline timeline;  // twice the piece's own tempo
  timeline.Publish({timer_.first_deadline_ns, 0, own_tempo * 2});
  const std::int64_t half = schedule->end_tick / 2;
  for (const bool leave : {true, false}) {
    player_.FollowTimeline(leave ? &timeline : nullptr, CompositionPlayer::TimelineMode::kShape, 4);
    player_.BeginAt(0);  // at once
    rec_.Clear();
    ASSERT_TRUE(player_.StartPlayback());
    const int ticks = leave ? static_cast<int>(half / 2) : static_cast<int>(half);
    for (int i = 0; i < ticks; ++i) {
      ASSERT_TRUE(timer_.Tick());
    }
    const double tempo = player_.Position().tempo;
    player_.FollowTimeline(leave ? nullptr : &timeline, CompositionPlayer::TimelineMode::kShape, 4);
    ASSERT_TRUE(timer_.Tick());
    // No jump: the tempo goes on as it was for the tick after.
    EXPECT_NEAR(player_.Position().tempo, leave ? tempo : player_.OwnTempo() * 2, 1e-6) << leave;
    const int rest = timer_.RunUntilStopped(1 << 22);
    EXPECT_EQ(player_.PlayedEvents(), static_cast<int>(schedule->messages.size())) << leave;
    // The rest of the piece (half of it) at twice its own tempo.
    EXPECT_NEAR(rest, static_cast<double>(schedule->end_tick - half) / 2, 3.0) << leave;
  }
}

// The player on the real timer thread while the control thread stops, starts and swaps pieces
// and other threads read the counters and send controllers. Run under ThreadSanitizer.
TEST(PlayerThreads, StopStartSwapWhileTicksRun) {
  ThreadTimerService timer;
  RecordingOutput rec(1 << 20);
  NoteTracker notes;
  CompositionPlayer player(&rec, notes, timer);
  Midi control(&rec, Lane::kControl, notes);
  const char* pieces[] = {"0 50 40 1 0", "3 60 60 1 0 0 50 40 1 0", "1 50 30 1 0"};
  std::vector<std::shared_ptr<const Schedule>> schedules;
  for (const char* text : pieces) {
    schedules.push_back(
        std::make_shared<const Schedule>(BuildSchedule(testing::ComposeText(text, 3))));
  }
  const auto tiny = ScheduleOf({{{1, 60, 90, 0}, {1, 60, 0, 1}}});
  std::atomic<bool> done{false};
  std::thread painter([&] {
    long sum = 0;
    while (!done.load()) {
      sum += player.PlayedEvents() + static_cast<long>(player.LastTick()) + player.Running() +
             player.PlayingObjectNumber();
      player.TakeRepaintRequest();
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    EXPECT_GE(sum, 0);
  });
  for (int round = 0; round < 12; ++round) {
    player.SetSchedule(round % 4 == 1 ? tiny : schedules[static_cast<std::size_t>(round % 3)]);
    player.ClearStop();
    ASSERT_TRUE(player.StartPlayback());
    player.MarkRunning();
    // Pieces set to follow while the ticks run: some taken over, some replaced.
    for (int n = 0; n < 3; ++n) {
      player.SetNext(n % 2 == 0 ? tiny : schedules[static_cast<std::size_t>(n)], 0, {});
      player.Adopt();
    }
    for (int v = 0; v < 20; ++v) {  // the mouse: volume on the control lane meanwhile
      control.ControlChange(1, 7, static_cast<unsigned char>(v));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3 + round % 4));
    if (round % 3 == 0) {
      ASSERT_TRUE(player.StartPlayback());  // again while playing: the first ends
    }
    player.RaiseStop();
    player.MarkIdle();
    control.ReleaseSoundingNotes();
    control.AllNotesOff();
    player.WaitForPlayerIdle();
    EXPECT_FALSE(player.TimerActive());
  }
  done.store(true);
  painter.join();
  EXPECT_EQ(notes.Sounding(), 0);
  EXPECT_GT(rec.Count(), 0u);
  EXPECT_EQ(rec.Dropped(), 0u);
}

}  // namespace
}  // namespace vordel
