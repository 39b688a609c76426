#include "outputs/table.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <vector>

#include "outputs/recording.h"

namespace vordel {
namespace {

// Rows whose systems the test decides, opening recordings that remember the row and input.
struct Fake {
  static inline OutputProbe jack;
  static inline OutputProbe alsa;
  static inline std::vector<std::string> probed;
  static inline std::string opened;
};

OpenResult OpenFake(const char* row, const OutputRequest&, const std::string& input) {
  Fake::opened = std::string(row) + ":" + input;
  return {std::make_unique<RecordingOutput>(4), ""};
}

std::vector<OutputBackend> Rows() {
  return {
      {"jack", "a JACK MIDI port", true, true,
       [] {
         Fake::probed.push_back("jack");
         return Fake::jack;
       },
       [](const OutputRequest& r, const std::string& i) { return OpenFake("jack", r, i); }},
      {"alsa", "an ALSA sequencer port", true, true,
       [] {
         Fake::probed.push_back("alsa");
         return Fake::alsa;
       },
       [](const OutputRequest& r, const std::string& i) { return OpenFake("alsa", r, i); }},
      {"synth", "the built-in synthesizer", false, true,
       [] {
         return OutputProbe{true, {}};
       },
       [](const OutputRequest& r, const std::string& i) { return OpenFake("synth", r, i); }},
      {"recording", "a recording", false, false,
       [] {
         return OutputProbe{true, {}};
       },
       [](const OutputRequest& r, const std::string& i) { return OpenFake("recording", r, i); }},
  };
}

class OutputTable : public ::testing::Test {
 protected:
  OutputTable() {
    Fake::jack = {};
    Fake::alsa = {};
    Fake::probed.clear();
    Fake::opened.clear();
  }
  std::string Open(const std::string& choice, const std::string& port = "") {
    OutputRequest r;
    r.choice = choice;
    r.port = port;
    Fake::opened.clear();
    OpenedOutput o = OpenOutput(r, Rows());
    return o.output ? Fake::opened : "error: " + o.error;
  }
};

TEST_F(OutputTable, AutoPlaysOnTheFirstSynthesizerInputInOrderOfPreference) {
  Fake::jack = {true, {"system:midi_playback_1", "vordel-in:vordel in", "fluidsynth:midi_00"}};
  Fake::alsa = {true, {"FLUID Synth (12):Synth input port (12:0)"}};
  EXPECT_EQ(Open("auto"), "jack:fluidsynth:midi_00");
  EXPECT_EQ(Fake::probed, (std::vector<std::string>{"jack"}));  // no further than needed
  Fake::jack.inputs = {"midi-monitor:input"};  // JACK offers no synthesizer: ALSA's
  EXPECT_EQ(Open("auto"), "alsa:FLUID Synth (12):Synth input port (12:0)");
  EXPECT_EQ(Open("auto", "monitor"), "jack:midi-monitor:input");
}

TEST_F(OutputTable, ARowByNameAndItsSystemMissing) {
  EXPECT_EQ(Open("recording"), "recording:");
  EXPECT_EQ(Open("jack"), "error: cannot open a JACK MIDI port: its system is not running");
  Fake::jack = {true, {"midi-monitor:input"}};
  EXPECT_EQ(Open("jack", "MONITOR"), "jack:midi-monitor:input");
  EXPECT_EQ(Open("nothing"), "error: no output named 'nothing'");
}

TEST_F(OutputTable, TheMenuOffersTheSynthesizerAndEveryInputButOurOwn) {
  Fake::jack = {true, {"fluidsynth:midi_00", "vordel-2-in:vordel in"}};
  Fake::alsa = {true, {"FLUID Synth (12):Synth input port (12:0)"}};
  OutputRequest base;
  base.name = "vordel-2";
  const std::vector<OutputOffer> offers = ListOutputOffers(base, Rows());
  ASSERT_EQ(offers.size(), 3u);
  EXPECT_EQ(offers[0].request.choice, "synth");
  EXPECT_EQ(offers[1].label, "JACK: fluidsynth:midi_00");
  EXPECT_EQ(offers[1].request.port, "fluidsynth:midi_00");
  EXPECT_EQ(offers[2].request.choice, "alsa");
  EXPECT_EQ(offers[2].request.name, "vordel-2");  // the instance keeps its names
}

// --list-outputs: every kind with its inputs or why it has none, and what auto would take, the
// same choice as opening makes.
TEST_F(OutputTable, TheListSaysWhatAutoTakes) {
  Fake::alsa = {true, {"FLUID Synth (12):Synth input port (12:0)", "Midi Through:0"}};
  const std::string list = DescribeOutputChoices(OutputRequest{}, Rows());
  EXPECT_NE(list.find("  jack        a JACK MIDI port: its system is not running\n"),
            std::string::npos)
      << list;
  EXPECT_NE(list.find("  alsa        an ALSA sequencer port\n"
                      "              FLUID Synth (12):Synth input port (12:0)\n"
                      "              Midi Through:0\n"),
            std::string::npos)
      << list;
  EXPECT_NE(list.find("auto takes: alsa FLUID Synth (12):Synth input port (12:0)\n"),
            std::string::npos)
      << list;
  EXPECT_EQ(Open("auto"), "alsa:FLUID Synth (12):Synth input port (12:0)");
  Fake::alsa = {};
  EXPECT_NE(DescribeOutputChoices(OutputRequest{}, Rows()).find("auto takes: synth\n"),
            std::string::npos);
}

TEST(OutputChoice, RealPortsWithoutTheirSystemsSayWhy) {
  setenv("JACK_DEFAULT_SERVER", "vordel-no-such-server", 1);
  for (const char* row : {"jack", "port-rtmidi"}) {
    OutputRequest r;
    r.choice = row;
    const OpenedOutput o = OpenOutput(r);
    EXPECT_FALSE(o.output) << row;
    EXPECT_NE(o.error.find("its system is not running"), std::string::npos) << o.error;
  }
  unsetenv("JACK_DEFAULT_SERVER");
}

}  // namespace
}  // namespace vordel
