#include "cli/options.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

int Parse(const std::vector<std::string>& args, OutputRequest& request) {
  CLI::App app{"", "prog"};
  AddOutputOptions(app, request);
  const int code = ParseCommandLine(app, args);
  if (code >= 0) {
    return code;
  }
  const std::string problem = CheckOutputOptions(request);
  return problem.empty() ? -1 : UsageError("prog", problem);
}

TEST(Options, SharedOutputOptions) {
  OutputRequest r;
  EXPECT_EQ(Parse({"--output", "synth", "--audio-driver=alsa"}, r), -1);
  EXPECT_EQ(r.choice, "synth");
  EXPECT_EQ(r.audio_driver, "alsa");
  r = {};
  EXPECT_EQ(Parse({"--output=port", "--port", "FLUID"}, r), -1);
  EXPECT_EQ(r.port, "FLUID");
  r = {};
  EXPECT_EQ(Parse({"--record", "/tmp/x.txt"}, r), -1);
  EXPECT_EQ(r.choice, "recording");  // --record alone chooses the recording
  r = {};
  EXPECT_EQ(Parse({"--help"}, r), 0);
}

TEST(Options, BadCommandLinesExitWithTwo) {
  OutputRequest r;
  testing::internal::CaptureStderr();
  EXPECT_EQ(Parse({"--output", "loud"}, r), 2);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("prog: --output takes auto, port, jack, alsa, synth, port-rtmidi or "
                     "recording, not 'loud'"),
            std::string::npos);
  EXPECT_NE(err.find("Try 'prog --help' for more information."), std::string::npos);
  testing::internal::CaptureStderr();
  r = {};
  EXPECT_EQ(Parse({"--port"}, r), 2);
  r = {};
  EXPECT_EQ(Parse({"--frobnicate"}, r), 2);
  r = {};
  EXPECT_EQ(Parse({"--output", "synth", "--record", "x"}, r), 2);
  r = {};
  EXPECT_EQ(Parse({"--soundfont", "/nonexistent/x.sf2"}, r), 2);
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace vordel
