// vordel-compose as a user runs it: options, exit codes and the dump.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/test_support.h"

namespace vordel {
namespace {

using testing::PieceLines;

testing::CommandResult Compose(const std::string& args) {
  return testing::RunCommand(std::string(VORDEL_COMPOSE_BIN) + " " + args + " 2>/dev/null");
}

TEST(ComposeTool, DumpIsReproducibleAndMatchesTheReference) {
  const auto a = Compose("--clock 1000 --dump \"0 80 40 30 25 1 50 30 23 20\"");
  const auto b = Compose("--dump --clock=1000 \"0 80 40 30 25 1 50 30 23 20\"");
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  // Standard output holds the dump and nothing else: the composer's lines go to standard error.
  EXPECT_EQ(a.out, testing::ReadFile(std::string(VORDEL_PIECES_DIR) + "/start-up-1000.dump"));
}

// Standard error alone, standard output thrown away.
testing::CommandResult ComposeErrors(const std::string& args) {
  return testing::RunCommand(std::string(VORDEL_COMPOSE_BIN) + " " + args + " 2>&1 >/dev/null");
}

// A string that makes no piece is refused: exit 1, the reason on standard error, nothing on
// standard output.
TEST(ComposeTool, RefusalsExitWithOneAndSayWhy) {
  for (const char* refused :
       {"\"\"", "hello", "\"1 2 3\"", "\"0 80 40 30 999999999\"", "-- --dump"}) {
    const auto out = Compose(std::string("--clock 0 --dump ") + refused);
    EXPECT_EQ(out.status, 1) << refused;
    EXPECT_EQ(out.out, "") << refused;
    const auto err = ComposeErrors(std::string("--clock 0 ") + refused);
    EXPECT_EQ(err.out.rfind("vordel-compose: Parameter string ", 0), 0u) << err.out;
  }
  // A file that cannot be written is a failure too.
  for (const char* option :
       {"--midi x.mid", "--score x.musicxml", "--render x.wav", "--wav x.wav"}) {
    std::string args = option;
    args.insert(args.find(' ') + 1, "/nonexistent/");
    const auto err = ComposeErrors(args + " \"0 50 40 1 0\"");
    EXPECT_EQ(err.status, 1) << option;
    EXPECT_NE(err.out.find("/nonexistent/"), std::string::npos) << err.out;
  }
}

TEST(ComposeTool, SummaryNamesObjectsAndTotals) {
  const auto r = Compose("--clock 0 \"0 80 40 30 25 1 50 30 23 20\"");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("objects: 2"), std::string::npos);
  EXPECT_NE(r.out.find("Statement (80 40 30 25) tempo 360, 576 events"), std::string::npos);
  EXPECT_NE(r.out.find("total time: 68809 ms"), std::string::npos);
}

TEST(ComposeTool, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Compose("").status, 2);
  EXPECT_EQ(Compose("--clock").status, 2);
  EXPECT_EQ(Compose("--clock abc \"1 2 3 4 5\"").status, 2);
  EXPECT_EQ(Compose("--frobnicate \"1 2 3 4 5\"").status, 2);
  EXPECT_EQ(Compose("\"1 2 3 4 5\" \"6 7 8 9 10\"").status, 2);
  EXPECT_EQ(Compose("--help").status, 0);
  EXPECT_NE(Compose("--help").out.find("Usage: vordel-compose"), std::string::npos);
  EXPECT_NE(Compose("--version").out.find("vordel-compose "), std::string::npos);
  EXPECT_EQ(Compose("--render x.mp3 \"1 2 3 4 5\"").status, 2);  // no such audio format
  EXPECT_EQ(Compose("--gain 3 \"1 2 3 4 5\"").status, 2);        // gain without a render
  for (const char* gain : {"nan", "40.5", "-61", "x"}) {
    EXPECT_EQ(Compose(std::string("--render x.wav --gain ") + gain + " \"1 2 3 4 5\"").status, 2)
        << gain;
  }
  EXPECT_EQ(Compose("--port x \"1 2 3 4 5\"").status, 2);  // ports go with --play
  // Bare numbers: how to quote them.
  EXPECT_NE(ComposeErrors("0 80 40 30 25")
                .out.find("put it in quotes, as in vordel-compose "
                          "'0 80 40 30 25'"),
            std::string::npos);
}

TEST(ComposeTool, ARenderThatClipsSaysHowManySamples) {
  const std::string path = testing::TempPath("loud.wav");
  const auto loud = testing::RunCommand(std::string(VORDEL_COMPOSE_BIN) + " --render " + path +
                                        " --gain 40 \"0 50 40 1 0\" 2>&1");
  ASSERT_EQ(loud.status, 0) << loud.out;
  EXPECT_NE(loud.out.find(" samples clipped"), std::string::npos) << loud.out;
  const std::string wav = testing::ReadFile(path);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");  // not RF64: every player reads it
  bool left = false;                    // the left channel sounds too
  for (std::size_t i = wav.find("data") + 8; i + 1 < wav.size(); i += 4) {
    left = left || wav[i] != 0 || wav[i + 1] != 0;
  }
  EXPECT_TRUE(left);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace vordel
