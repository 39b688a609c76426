#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "composer/composition.h"
#include "composer/parameter_string.h"
#include "composer/piece_builder.h"
#include "support/pieces.h"

namespace vordel {
namespace {

using testing::CoutCapture;
using testing::Obj;
using testing::TestPiece;

std::vector<int> Elements(const Set& s) {
  std::vector<int> out;
  for (int i = 0; i < s.GetSize(); ++i)
    out.push_back(s[i]);
  return out;
}

class PreGeneration : public ::testing::Test {
 protected:
  void Build(const char* text) {
    p_.ClearMusicalObjectList();
    const std::vector<int> n = SplitParameterString(text);
    for (std::size_t i = 0; i + 4 < n.size(); i += 5) {
      p_.AddMusicalObject(n[i], n[i + 1], n[i + 2], n[i + 3], n[i + 4]);
    }
    p_.PreGenerate();
  }
  CoutCapture quiet_;
  testing::FreshComposer fresh_{42};
  TestPiece p_;
};

TEST_F(PreGeneration, StartUpString) {
  Build("0 80 40 30 25 1 50 30 23 20");
  MusicalObject& st = Obj(p_, 0);
  EXPECT_EQ(Elements(*st.GetPitchSet()), (std::vector<int>{0, 6, 4, 1, 9, 3, 2, 10, 8, 5, 11, 7}));
  EXPECT_EQ(st.GetDynamicSet()->GetCapacity(), 5);
  EXPECT_EQ(st.GetDurationSet()->GetCapacity(), 17);
  EXPECT_EQ(st.GetAlgParm(53), 600);
  EXPECT_EQ(st.GetAlgParm(51), 0);
  EXPECT_EQ(st.GetAlgParm(27), 1);
  EXPECT_EQ(st.GetAlgParm(23), 4);
  MusicalObject& prep = Obj(p_, 1);
  EXPECT_EQ(Elements(*prep.GetPitchSet()),
            (std::vector<int>{1, 0, 11, 2, 4, 3, 5, 7, 6, 8, 10, 9}));
  EXPECT_EQ(prep.GetDurationSet()->GetCapacity(), 12);
  EXPECT_EQ(prep.GetDynamicSet()->GetCapacity(), 12);
  EXPECT_EQ(prep.GetAlgParm(53), 500);
  EXPECT_EQ(prep.GetAlgParm(5), 3);
  EXPECT_EQ(prep.GetAlgParm(42), 0);
  EXPECT_EQ(prep.GetAlgParm(23), 3);
  EXPECT_TRUE(p_.obj_iter == p_.object_list.end());
}

TEST_F(PreGeneration, StatementRowsAndGapRule) {
  Build("0 5 40 30 25 0 15 40 30 50 0 110 60 30 51 0 -25 10 30 10");
  EXPECT_EQ(Obj(p_, 0).GetPitchSet()->operator[](0), pitch_root[1][0]);
  EXPECT_EQ(Elements(*Obj(p_, 1).GetPitchSet())[1], pitch_root[0][1]);
  EXPECT_EQ(Elements(*Obj(p_, 2).GetPitchSet())[1], pitch_root[0][1]);  // |110/10 - 1| mod 10 = 0
  EXPECT_EQ(Elements(*Obj(p_, 3).GetPitchSet())[1], pitch_root[3][1]);  // |-2 - 1| = 3
  EXPECT_EQ(Obj(p_, 1).GetAlgParm(51), 600);                            // G exactly 50: pause
  EXPECT_EQ(Obj(p_, 1).GetDynamicSet()->GetCapacity(), 5);
  EXPECT_EQ(Obj(p_, 2).GetDynamicSet()->GetCapacity(), 18);
  EXPECT_EQ(Obj(p_, 2).GetAlgParm(51), 800);
  EXPECT_EQ(Obj(p_, 3).GetAlgParm(53), 300);
  EXPECT_EQ(Obj(p_, 3).GetAlgParm(27), 0);  // G below 20
}

TEST_F(PreGeneration, GapIsComputedWithoutOverflow) {
  Build("0 50 300000000 30 60 0 50 2147483647 30 10");
  EXPECT_EQ(Obj(p_, 0).GetAlgParm(51), 3000000200LL);
  EXPECT_EQ(Obj(p_, 1).GetAlgParm(51), 21474836670LL);
}

TEST_F(PreGeneration, AntecedentAndConsequentTakeTheStatementsMaterial) {
  Build("3 50 40 50 10 0 80 40 30 25 4 50 40 50 10 3 50 60 50 60");
  MusicalObject& lone = Obj(p_, 0);  // before any Statement: fresh row 0, transposed up
  EXPECT_EQ(Elements(*lone.GetPitchSet()),
            (std::vector<int>{2, 1, 0, 3, 5, 4, 6, 8, 7, 9, 11, 10}));
  EXPECT_EQ(lone.GetDurationSet()->GetCapacity(), 12);
  MusicalObject& st = Obj(p_, 1);
  MusicalObject& cons = Obj(p_, 2);
  std::vector<int> down = Elements(*st.GetPitchSet());
  for (int& v : down)
    v = (v - 1) % 12;
  EXPECT_EQ(Elements(*cons.GetPitchSet()), down);
  EXPECT_EQ(Elements(*cons.GetDynamicSet()), Elements(*st.GetDynamicSet()));
  EXPECT_EQ(Elements(*cons.GetDurationSet()), Elements(*st.GetDurationSet()));
  EXPECT_EQ(cons.GetAlgParm(27), 2);
  EXPECT_EQ(cons.GetAlgParm(8), 1);  // K 40, V 50: rests in the Introduction only
  EXPECT_EQ(cons.GetAlgParm(43), 0);
  MusicalObject& ante = Obj(p_, 3);
  EXPECT_EQ(ante.GetDynamicSet()->GetCapacity(), 18);
  EXPECT_EQ(ante.GetAlgParm(8), 1);  // K above 50: rests in both
  EXPECT_EQ(ante.GetAlgParm(43), 1);
  EXPECT_EQ(ante.GetAlgParm(27), 1);
  EXPECT_EQ(lone.GetAlgParm(8), 1);  // V 50 is not below 50
  EXPECT_EQ(lone.GetAlgParm(43), 0);
}

TEST_F(PreGeneration, PreparationsAndExtensionsCopyTheirNeighbours) {
  Build("2 50 40 30 25 0 80 40 30 25 2 50 40 70 25 1 50 40 30 25 1 50 40 30 25 3 50 40 30 25");
  MusicalObject& first_ext = Obj(p_, 0);
  EXPECT_EQ(Elements(*first_ext.GetPitchSet()),
            (std::vector<int>{1, 0, 11, 2, 4, 3, 5, 7, 6, 8, 10, 9}));
  MusicalObject& st = Obj(p_, 1);
  MusicalObject& ext = Obj(p_, 2);
  EXPECT_EQ(Elements(*ext.GetPitchSet()), Elements(*st.GetPitchSet()));
  EXPECT_EQ(Elements(*ext.GetDurationSet()), Elements(*st.GetDurationSet()));
  EXPECT_EQ(ext.GetAlgParm(42), 2);  // H 70
  EXPECT_EQ(ext.GetAlgParm(5), 0);
  // A Preparation before a Preparation copies the constructor's empty sets.
  MusicalObject& prep1 = Obj(p_, 3);
  EXPECT_EQ(prep1.GetPitchSet()->GetSize(), 0);
  EXPECT_EQ(prep1.GetDurationSet()->GetCapacity(), 6);
  // A Preparation before an Antecedent copies the transposed material.
  MusicalObject& prep2 = Obj(p_, 4);
  EXPECT_EQ(Elements(*prep2.GetPitchSet()), Elements(*Obj(p_, 5).GetPitchSet()));
  EXPECT_EQ(prep2.GetAlgParm(5), 3);
}

TEST_F(PreGeneration, NeighbourLookups) {
  Build("0 80 40 30 25 1 50 30 23 20 3 50 40 50 10");
  p_.obj_iter = std::next(p_.object_list.begin());
  EXPECT_EQ(p_.GetNeighbourSet(1, kStatement, 0), Obj(p_, 0).GetPitchSet());
  EXPECT_EQ(p_.GetNeighbourSet(0, kStatement, 0), nullptr);
  EXPECT_EQ(p_.GetNeighbourSet(0, kPreparation, 2), Obj(p_, 1).GetDurationSet());  // itself
  EXPECT_EQ(p_.GetNeighbourSet(0, kAntecedent, 4), nullptr);
  EXPECT_EQ(p_.GetNeighbourSet(2, kStatement, 0), nullptr);
  EXPECT_EQ(p_.GetNeighbourSet(0, 1), Obj(p_, 2).GetDynamicSet());
  EXPECT_EQ(p_.GetNeighbourSet(1, 3), Obj(p_, 0).GetTextureSet());
  p_.obj_iter = p_.object_list.begin();
  EXPECT_EQ(p_.GetNeighbourSet(1, 0), nullptr);
  p_.obj_iter = std::prev(p_.object_list.end());
  EXPECT_EQ(p_.GetNeighbourSet(0, 0), nullptr);
  EXPECT_EQ(p_.GetNeighbourSet(1, 7), nullptr);
}

class Generation : public ::testing::Test {
 protected:
  CoutCapture out_;
  testing::FreshComposer fresh_{1000};
  TestPiece p_;
};

TEST_F(Generation, ChainsObjectsAndSetsThePosition) {
  ASSERT_EQ(BuildPiece(p_, "0 80 40 30 25 0 50 60 50 30 3 50 40 50 10").result,
            BuildResult::kBuilt);
  std::int64_t expected_onset = 0;
  for (auto& obj : p_.object_list) {
    EXPECT_EQ(obj->GetMusObjOnsetTime(), expected_onset);
    // The list is in time order and every event lies within the object.
    std::int64_t last = obj->GetMusObjOnsetTime();
    for (const auto& e : obj->event_list) {
      ASSERT_GE(e->GetTIME(), last);
      last = e->GetTIME();
    }
    EXPECT_LE(last, obj->GetMusObjDuration());
    EXPECT_TRUE(obj->ev_iter == obj->event_list.begin());
    const std::int64_t pause =
        obj->GetAlgParm(51) > 0 && obj->GetAlgParm(53) == 0 ? obj->GetAlgParm(51) : 0;
    expected_onset = obj->GetMusObjDuration() + pause;
  }
  EXPECT_EQ(p_.Composition_TotalTime, expected_onset);
  EXPECT_TRUE(p_.obj_iter == p_.object_list.begin());
  EXPECT_EQ(p_.Composition_CurrentObject, 1);
  EXPECT_EQ(p_.Composition_OffsetTime, 0);
  EXPECT_EQ(p_.Composition_TotalObjectCount, 3);
  EXPECT_NE(out_.str().find("[SetPosition] Playing from object: 1 / TotTime: " +
                            std::to_string(p_.Composition_TotalTime) +
                            " / TotObj: 3 / CurObj: 1 / Offset: 0\n"),
            std::string::npos);
  const std::int64_t third_onset = Obj(p_, 2).GetMusObjOnsetTime();
  p_.ResetIters();
  EXPECT_EQ(p_.SetPosition(3), third_onset);
  EXPECT_EQ(p_.Composition_CurrentObject, 3);
  p_.ResetIters();
  EXPECT_EQ(p_.SetPosition(4), 0);
  EXPECT_EQ(p_.Composition_CurrentObject, 1);
  EXPECT_EQ(p_.SetPosition(0), 0);
  EXPECT_NE(out_.str().find("[SetPosition] Playing from object: 4 /"), std::string::npos);
}

TEST_F(Generation, EventCountsFollowTheSlots) {
  ASSERT_EQ(BuildPiece(p_, "0 80 40 30 25 1 50 30 23 20 2 50 40 50 60").result,
            BuildResult::kBuilt);
  EXPECT_EQ(Obj(p_, 0).event_list.size(), 2u * 12 * 2 * (4 + 4 + 4));
  EXPECT_EQ(Obj(p_, 1).event_list.size(), 2u * 12 * 2 * (3 + 4 + 4));
  EXPECT_EQ(Obj(p_, 2).event_list.size(), 2u * 12 * 5 * (3 + 4 + 4));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(static_cast<std::int64_t>(Obj(p_, i).event_list.size()),
              PlannedObjectEvents(Obj(p_, i).GetFunktion(), Obj(p_, i).GetP4()));
  }
}

TEST_F(Generation, EmptyListGeneratesNothing) {
  p_.PreGenerate();
  p_.Generate();
  EXPECT_EQ(p_.Composition_TotalTime, 0);
  EXPECT_TRUE(p_.obj_iter == p_.object_list.end());
  EXPECT_NE(
      out_.str().find(
          "[SetPosition] Playing from object: 1 / TotTime: 0 / TotObj: 0 / CurObj: 1 / Offset: 0"),
      std::string::npos);
  EXPECT_EQ(p_.SetPosition(3), 0);
}

TEST_F(Generation, ExtremeParametersStayDefined) {
  // Huge velocity bases, negative lengths and unknown functions: no overflow, no crash.
  ASSERT_EQ(BuildPiece(p_,
                       "0 2147483647 2147483647 2147483647 60 9 -2147483648 -2147483648 0 10 "
                       "4 0 300000000 100 -2147483648 1 1 1 1 1")
                .result,
            BuildResult::kBuilt);
  EXPECT_EQ(Obj(p_, 0).GetAlgParm(51), 21474836670LL);
  EXPECT_EQ(Obj(p_, 1).GetMusObjOnsetTime(), Obj(p_, 0).GetMusObjDuration() + 21474836670LL);
  // The unknown function reads the constructor's empty sets: keys at the lowest key, whole notes.
  for (const auto& e : Obj(p_, 1).event_list) {
    ASSERT_EQ(e->GetKEY(), 48);
  }
  EXPECT_TRUE(Obj(p_, 2).event_list.empty());
  EXPECT_GE(p_.Composition_TotalTime, Obj(p_, 3).GetMusObjOnsetTime());
}

}  // namespace
}  // namespace vordel
