#include "composer/composition.h"

#include <gtest/gtest.h>

#include <string>

#include "composer/piece_builder.h"
#include "support/pieces.h"

namespace vordel {
namespace {

using testing::CoutCapture;
using testing::Obj;
using testing::TestPiece;

TEST(Composition, AddsAtMostFiftyLiveObjects) {
  CoutCapture quiet;
  TestPiece p;
  for (int i = 0; i < 55; ++i) {
    EXPECT_EQ(p.AddMusicalObject(0, 50, 50, 50, 10), i < 50 ? 1 : 0) << i;
  }
  EXPECT_EQ(p.GetMusObjCount(), 50);
  EXPECT_EQ(p.object_list.size(), 50u);
  p.ClearMusicalObjectList();
  EXPECT_EQ(p.GetMusObjCount(), 0);
  EXPECT_EQ(p.AddMusicalObject("3 1 2 3 4 9 9"), 1);  // the sixth number overwrites the first
  EXPECT_EQ(Obj(p, 0).GetFunktion(), 9);
  EXPECT_EQ(Obj(p, 0).GetP4(), 4);
}

TEST(Composition, ClearDeletesObjectsAndEventsAndReports) {
  TestPiece p;
  testing::FreshComposer fresh(0);
  std::string out;
  {
    CoutCapture quiet;
    BuildPiece(p, "0 80 40 30 25 1 50 30 23 20");
  }
  {
    CoutCapture cap;
    const int events = Event::EvInstances;
    EXPECT_GT(events, 0);
    p.ClearMusicalObjectList();
    EXPECT_EQ(Event::EvInstances, 0);
    EXPECT_EQ(MusicalObject::MusObjInstances, 0);
    EXPECT_TRUE(p.IsNewComposition());
    EXPECT_EQ(p.GetMusObjCount(), 0);
    out = cap.str();
  }
  EXPECT_EQ(out.find("NO OBJECTS"), std::string::npos);
  EXPECT_EQ(out.find("Memory leak"), std::string::npos);
  CoutCapture cap;
  p.ClearMusicalObjectList();
  EXPECT_EQ(cap.str(), "\tNO OBJECTS IN OBJECTLIST...\n");
}

TEST(Composition, ReportsLeakedInstances) {
  TestPiece p;
  CoutCapture cap;
  {
    Event stray(1, 1, 1, 1, 1, 2);
    p.ClearMusicalObjectList();
  }
  EXPECT_EQ(cap.str(),
            "\tNO OBJECTS IN OBJECTLIST...\nERROR: Memory leak.....[1 events left !!!\n");
}

TEST(Composition, InfoShowAndEnsembles) {
  CoutCapture cap;
  TestPiece p;
  testing::FreshComposer fresh(0);
  BuildPiece(p, "0 80 40 30 25 1 50 30 23 20");
  char info[512];
  p.GetCompositionInfo(info, sizeof info);
  EXPECT_STREQ(info,
               "Filename: Dit is de titel.\nPath: /vordel/pieces.\nInfo: een test.\n"
               "MusicalObjects: 2.\nMusicalParms: 5.\n");
  // The ensembles' bytes are checked where they are sent (the schedule's tests).
  EXPECT_STREQ(p.GetEnsembleName(), "BrassWood");
  p.ChooseEnsemble(1);
  EXPECT_STREQ(p.GetEnsembleName(), "Strings");
  p.ChooseEnsemble(7);
  EXPECT_EQ(p.Composition_PresetNumber, 1);
  const std::size_t before = cap.str().size();
  p.show();
  const std::string shown = cap.str().substr(before);
  EXPECT_EQ(
      shown.rfind("> CompositionClass: \nname:Dit is de titel\npath:/vordel/pieces\n"
                  "info:een test\nNumber of MusObj:2\nNumber of MusParms:5\n\n> MusicalObject:\n",
                  0),
      0u);
  EXPECT_TRUE(p.obj_iter == p.object_list.end());
}

}  // namespace
}  // namespace vordel
