#include "outputs/soundfont.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vordel {
namespace {

TEST(Soundfont, ChecksWhatItIsGiven) {
  EXPECT_NE(CheckSoundfont("").find("no General MIDI soundfont"), std::string::npos);
  EXPECT_NE(CheckSoundfont("/nonexistent/x.sf2").find("cannot read the soundfont"),
            std::string::npos);
  const std::string text = testing::TempPath("not-a-font.sf2");
  std::ofstream(text) << "just some text, long enough";
  EXPECT_NE(CheckSoundfont(text).find("is not a soundfont"), std::string::npos);
  const std::string riff = testing::TempPath("tiny.sf2");
  std::ofstream(riff, std::ios::binary).write("RIFF\4\0\0\0sfbk", 12);
  EXPECT_EQ(CheckSoundfont(riff), "");
  std::remove(text.c_str());
  std::remove(riff.c_str());
}

TEST(Soundfont, TheEnvironmentComesBeforeTheInstalledOnesAndAnAskedOneBeforeBoth) {
  setenv("VORDEL_SOUNDFONT", "/my/font.sf2", 1);
  EXPECT_EQ(FindSoundfont(), "/my/font.sf2");
  EXPECT_EQ(ChooseSoundfont(""), "/my/font.sf2");
  EXPECT_EQ(ChooseSoundfont("/asked.sf2"), "/asked.sf2");
  unsetenv("VORDEL_SOUNDFONT");
  EXPECT_NE(FindSoundfont(), "/my/font.sf2");
}

}  // namespace
}  // namespace vordel
