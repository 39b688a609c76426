// The built-in synthesizer as the tests' machine offers it: no sound server, so either no audio
// device at all or a JACK one only when a server runs (the end-to-end tests use that).
#include <gtest/gtest.h>

#include "outputs/table.h"
#include "platform/clock.h"

namespace vordel {
namespace {

OutputRequest Synth(const std::string& driver) {
  OutputRequest r;
  r.choice = "synth";
  r.audio_driver = driver;
  r.name = "vordel-test";
  return r;
}

TEST(SynthOutput, WithoutAnAudioDeviceItStillTakesMessagesAndSaysWhy) {
  setenv("JACK_DEFAULT_SERVER", "vordel-no-such-server", 1);
  OpenedOutput opened = OpenOutput(Synth("jack"));
  ASSERT_TRUE(opened.output);
  EXPECT_NE(opened.output->Status(), kMidiOk);
  EXPECT_NE(opened.output->Describe().find("built-in synthesizer"), std::string::npos);
  EXPECT_NE(opened.output->Describe().find("'jack' does not work here"), std::string::npos);
  // Messages neither block nor pile up: the closing delivers them all.
  for (int i = 0; i < 1000; ++i) {
    opened.output->Send(Lane::kPlayer, NoteMessage(1, 60, i % 2 == 0 ? 90 : 0), MonotonicNanos());
  }
  opened.output->Commit(Lane::kPlayer);
  opened.output->Close();
  EXPECT_EQ(opened.output->Dropped(), 0u);
  unsetenv("JACK_DEFAULT_SERVER");
}

TEST(SynthOutput, AMissingSoundfontIsAnErrorStatusNotACrash) {
  setenv("JACK_DEFAULT_SERVER", "vordel-no-such-server", 1);
  OutputRequest r = Synth("jack");
  r.soundfont = "/nonexistent/font.sf2";
  OpenedOutput opened = OpenOutput(r);
  ASSERT_TRUE(opened.output);
  EXPECT_NE(opened.output->Status(), kMidiOk);
  EXPECT_NE(opened.output->Describe().find("/nonexistent/font.sf2"), std::string::npos);
  opened.output->Close();
  unsetenv("JACK_DEFAULT_SERVER");
}

}  // namespace
}  // namespace vordel
