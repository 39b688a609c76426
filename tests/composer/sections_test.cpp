#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "chances/random_source.h"
#include "composer/musical_object.h"
#include "support/test_support.h"

namespace vordel {
namespace {

class Sections : public ::testing::Test {
 protected:
  void SetUp() override { ResetRestPlanners(); }

  // A Statement-like object at tempo 360 whose sets hold the given rows.
  static void Material(MusicalObject& m, const std::vector<int>& durations) {
    Set* p = m.GetPitchSet();
    p->newset(kPitchSet, 12);
    for (int v : {1, 0, 11, 2, 4, 3, 5, 7, 6, 8, 10, 9})
      p->insert(v);
    Set* d = m.GetDynamicSet();
    d->newset(kDynamicSet, 1);
    d->insert(0);
    Set* r = m.GetDurationSet();
    r->newset(kDurationSet, static_cast<int>(durations.size()));
    for (int v : durations)
      r->insert(v);
  }

  static std::map<int, int> NotesPerChannel(const MusicalObject& m) {
    std::map<int, int> n;
    for (const auto& e : m.event_list) {
      if (e->GetEXP() == 2)
        ++n[e->GetCH()];
    }
    return n;
  }

  testing::CoutCapture quiet_;
  ScopedClockPin pin_{1000};
};

TEST_F(Sections, IntroductionMakesTwelveNotesPerCycleAndVoice) {
  MusicalObject m(0, 80, 40, 30, 25);  // slots 22 = 2, 23 = 4, tempo 360
  Material(m, {2});
  const std::int64_t end = m.Introduction(1000);
  EXPECT_EQ(m.event_list.size(), 192u);
  // Factor 2.0: a code-2 note (166 ms) lasts 332, ends at onset + 331, the next starts 332 on.
  const auto& first = **m.event_list.begin();
  const auto& first_off = **std::next(m.event_list.begin());
  EXPECT_EQ(first.GetTIME(), 1000);
  EXPECT_EQ(first.GetDUR(), 332);
  EXPECT_EQ(first_off.GetTIME(), 1331);
  EXPECT_EQ(first_off.GetVEL(), 0);
  EXPECT_EQ((*std::next(m.event_list.begin(), 2))->GetTIME(), 1332);
  EXPECT_EQ(end, 1000 + 24 * 332);
  EXPECT_EQ(NotesPerChannel(m), (std::map<int, int>{{1, 24}, {2, 24}, {3, 24}, {4, 24}}));
  EXPECT_EQ(first.GetVEL(), 40);  // dynamic 0 + velocity base
}

TEST_F(Sections, IntroductionStaccatoMovesOnlyTheEnd) {
  MusicalObject m(0, 80, 40, 30, 25);
  Material(m, {130});
  m.Introduction(0);
  const auto& on = **m.event_list.begin();
  const auto& off = **std::next(m.event_list.begin());
  EXPECT_EQ(on.GetDUR(), 332);
  EXPECT_EQ(off.GetTIME(), 165);
  EXPECT_EQ((*std::next(m.event_list.begin(), 2))->GetTIME(), 332);
}

TEST_F(Sections, IntroductionWithoutVoicesOrCyclesTakesNoTime) {
  MusicalObject none(0, 80, 40, 30, 25);
  none.SetAlgParm(23, 0);
  EXPECT_EQ(none.Introduction(5000), 5000);
  EXPECT_TRUE(none.event_list.empty());
  MusicalObject no_cycles(0, 80, 40, 30, -1);
  EXPECT_EQ(no_cycles.Introduction(700), 700);
  EXPECT_TRUE(no_cycles.event_list.empty());
  MusicalObject negative(0, 80, 40, 30, 25);
  negative.SetAlgParm(23, -3);
  EXPECT_EQ(negative.Introduction(10), 10);
}

TEST_F(Sections, IntroductionTempoModeThreeSlowsEveryVoice) {
  MusicalObject m(0, 80, 40, 30, 25);
  Material(m, {2});
  m.SetAlgParm(5, 3);
  const std::int64_t end = m.Introduction(0);
  // Voice lengths grow: the result is the end of the last, slowest voice.
  std::map<int, std::int64_t> last_on;
  for (const auto& e : m.event_list) {
    if (e->GetEXP() == 2)
      last_on[e->GetCH()] = e->GetTIME();
  }
  EXPECT_LT(last_on[1], last_on[2]);
  EXPECT_LT(last_on[3], last_on[4]);
  // The last note's factor is about 6: its length is about 6 * 166.
  EXPECT_NEAR(static_cast<double>(m.event_list.back()->GetTIME() - last_on[4]), 6.0 * 166 - 1, 2.0);
  EXPECT_GT(end, last_on[4]);
}

TEST_F(Sections, IntroductionRestsAreNotScaled) {
  MusicalObject plain(0, 80, 40, 30, 25);
  Material(plain, {2});
  const std::int64_t without = plain.Introduction(0);
  MusicalObject rests(0, 80, 40, 30, 25);
  Material(rests, {2});
  rests.SetAlgParm(8, 1);
  const std::int64_t with = rests.Introduction(0);
  EXPECT_GT(with, without);
  // Consecutive onsets of a voice lie one scaled note apart plus, after a rest, one of the six
  // plain (unscaled) note values at tempo 360.
  const std::vector<std::int64_t> allowed = {666, 333, 166, 83, 41, 20};
  std::int64_t prev_on = -1;
  for (const auto& e : rests.event_list) {
    if (e->GetEXP() != 2 || e->GetCH() != 1)
      continue;
    if (prev_on >= 0) {
      const std::int64_t gap = e->GetTIME() - prev_on - 332;
      EXPECT_TRUE(gap == 0 || std::find(allowed.begin(), allowed.end(), gap) != allowed.end())
          << gap;
    }
    prev_on = e->GetTIME();
  }
}

TEST_F(Sections, DevelopmentChordAndMelodyLayers) {
  MusicalObject m(0, 80, 40, 30, 25);  // 38 = 2 cycles, 39 = 4 voices
  Material(m, {2});
  m.SetAlgParm(27, 1);
  const std::int64_t end = m.Development(2000);
  EXPECT_EQ(NotesPerChannel(m), (std::map<int, int>{{1, 24}, {2, 24}, {3, 24}, {4, 24}}));
  // All notes of a chord share onset, length and end.
  auto it = m.event_list.begin();
  std::vector<const Event*> chord;
  for (int i = 0; i < 6; ++i, ++it)
    chord.push_back(it->get());
  for (int v = 0; v < 3; ++v) {
    EXPECT_EQ(chord[static_cast<std::size_t>(2 * v)]->GetTIME(), 2000);
    EXPECT_EQ(chord[static_cast<std::size_t>(2 * v)]->GetDUR(), 166);
    EXPECT_EQ(chord[static_cast<std::size_t>(2 * v + 1)]->GetTIME(), 2165);
    EXPECT_EQ(chord[static_cast<std::size_t>(2 * v)]->GetCH(), v + 1);
  }
  EXPECT_EQ(end, 2000 + 24 * 166);
}

TEST_F(Sections, DevelopmentAllMelodyStillStepsTheChordLayer) {
  MusicalObject m(0, 80, 40, 30, 25);
  Material(m, {2, 0});  // chord steps alternate order at random; melody voices too
  m.SetAlgParm(27, 4);
  m.SetAlgParm(39, 4);
  const std::int64_t end = m.Development(0);
  EXPECT_EQ(NotesPerChannel(m), (std::map<int, int>{{1, 24}, {2, 24}, {3, 24}, {4, 24}}));
  // The empty chord layer still takes 24 steps of at least the shorter code (166 ms).
  EXPECT_GE(end, 24 * 166);
  EXPECT_LE(end, 24 * 666);
}

TEST_F(Sections, DevelopmentWithoutCyclesTakesNoTime) {
  MusicalObject m(0, 80, 40, 30, -1);
  EXPECT_EQ(m.Development(4321), 4321);
  EXPECT_TRUE(m.event_list.empty());
}

TEST_F(Sections, RepriseEndings) {
  struct Case {
    std::int64_t pause, fermata, result_extra, duration_extra;
    bool moved;
  };
  const Case cases[] = {{600, 0, 600, 0, false},
                        {0, 500, 500, 500, true},
                        {600, 500, 0, 0, false},
                        {-5, 0, 0, 0, false},
                        {0, -5, 0, 0, false}};
  for (const Case& c : cases) {
    MusicalObject m(0, 80, 40, 30, 25);
    Material(m, {2});
    m.SetAlgParm(51, c.pause);
    m.SetAlgParm(53, c.fermata);
    const std::int64_t result = m.Reprise(100);
    const std::int64_t track = 100 + 24 * 166;
    EXPECT_EQ(result, track + c.result_extra) << c.pause << "/" << c.fermata;
    EXPECT_EQ(m.GetMusObjDuration(), track + c.duration_extra);
    const std::int64_t last_off = track - 166 + 165;  // last note of the last voice
    EXPECT_EQ(m.event_list.back()->GetTIME(), last_off + (c.moved ? c.fermata : 0));
  }
}

TEST_F(Sections, RepriseFermataOnAnEmptyListStillEndsLater) {
  MusicalObject m(0, 80, 40, 30, -1);  // no cycles
  m.SetAlgParm(53, 600);
  EXPECT_EQ(m.Reprise(29052), 29652);
  EXPECT_EQ(m.GetMusObjDuration(), 29652);
  EXPECT_TRUE(m.event_list.empty());
  MusicalObject silent(0, 80, 40, 30, 25);
  silent.SetAlgParm(58, 0);
  EXPECT_EQ(silent.Reprise(50), 50);
  EXPECT_EQ(silent.GetMusObjDuration(), 50);
}

TEST_F(Sections, RepriseTempoModeThreeGrowsByOneThirtySixthPerNote) {
  MusicalObject m(0, 80, 40, 30, 25);
  Material(m, {0});  // whole notes, 666 ms
  m.SetAlgParm(42, 3);
  m.Reprise(0);
  std::vector<std::int64_t> durs;
  for (const auto& e : m.event_list) {
    if (e->GetEXP() == 2 && e->GetCH() == 1)
      durs.push_back(e->GetDUR());
  }
  ASSERT_EQ(durs.size(), 24u);
  EXPECT_EQ(durs[0], static_cast<std::int64_t>(
                         666.0 * static_cast<double>(static_cast<float>(1.0 + 1.0 / 36.0))));
  EXPECT_NEAR(static_cast<double>(durs[23]), 666.0 * (1.0 + 24.0 / 36), 1.0);
}

TEST_F(Sections, RepriseRestsAreScaled) {
  MusicalObject m(0, 80, 40, 30, 25);
  Material(m, {2});
  m.SetAlgParm(43, 1);
  const std::int64_t end = m.Reprise(0);
  EXPECT_GT(end, 24 * 166);
  EXPECT_EQ(m.event_list.size(), 192u);
}

}  // namespace
}  // namespace vordel
