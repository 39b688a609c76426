#include "cli/options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vordel {
namespace {

// The help in the GNU manner: usage first, the groups in the order given, short and long forms,
// VALUE names without the parser's own notes, every line within the width, examples, where to
// report bugs.
TEST(Options, HelpFollowsTheGnuConventions) {
  CLI::App app{"Does things with a piece.", "prog"};
  OutputRequest request;
  int port = 7770;
  bool flag = false;
  app.add_flag("-x,--extra", flag, "a flag of the program's own")->group("Playing");
  app.add_option("--osc-port", port, "a port (default: 7770)")->type_name("N")->group("Remote");
  AddOutputOptions(app, request);
  app.set_help_flag("-h,--help", "show this help and exit")->group("Help");
  HelpText text;
  text.usage = "prog [OPTION]... \"STRING\"";
  text.summary = app.get_description();
  text.groups = {"Playing", kOutputGroup, "Remote", "Help"};
  text.examples = {"prog '0 80 40 30 25'"};
  for (const int width : {60, 80, 120}) {
    const std::string help = FormatHelp(app, text, width);
    EXPECT_EQ(help.rfind("Usage: prog [OPTION]... \"STRING\"\nDoes things with a piece.\n", 0), 0u);
    std::size_t at = 0;
    for (const char* heading : {"\nPlaying:\n", "\nOutput:\n", "\nRemote:\n", "\nHelp:\n",
                                "\nExamples:\n  prog '0 80 40 30 25'\n"}) {
      const std::size_t next = help.find(heading, at);
      ASSERT_NE(next, std::string::npos) << heading << " at width " << width << "\n" << help;
      at = next;
    }
    EXPECT_NE(help.find("  -x, --extra "), std::string::npos) << help;
    EXPECT_NE(help.find("  -o, --output=NAME "), std::string::npos) << help;
    EXPECT_NE(help.find("      --osc-port=N "), std::string::npos) << help;
    EXPECT_NE(help.find("(default: auto)"), std::string::npos) << help;
    EXPECT_EQ(help.find("INT"), std::string::npos) << help;
    EXPECT_EQ(help.find("Report bugs"), std::string::npos) << help;  // no address made up
    EXPECT_EQ(help.find("=7770"), std::string::npos) << help;
    std::istringstream lines(help);
    std::string line;
    while (std::getline(lines, line)) {
      // Only a word longer than the room (a long path) may stand out.
      const bool one_word = line.find(' ', line.find_first_not_of(' ')) == std::string::npos;
      EXPECT_TRUE(line.size() <= static_cast<std::size_t>(width) || one_word) << line;
    }
  }
}

// Bare numbers on the command line: the parser's message and how to quote the string.
TEST(Options, BareNumbersGetAHintToQuote) {
  CLI::App app{"", "prog"};
  std::string text;
  app.add_option("string", text);
  HelpText help;
  help.numbers_hint = "put it in quotes, as in prog";
  testing::internal::CaptureStderr();
  EXPECT_EQ(ParseCommandLine(app, {"0", "80", "40", "30", "25"}, help), 2);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "prog: put it in quotes, as in prog '0 80 40 30 25'"),
            std::string::npos);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ParseCommandLine(app, {"0 80 40 30 25", "--frobnicate"}, help), 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr().find("quotes"), std::string::npos);
}

// What CLI11 cannot check about the output: its name, and how --record goes with it. A recording
// without a file would write nothing and say all is well.
struct OutputCase {
  const char* choice;
  const char* record;
  const char* audio_driver;
  const char* soundfont;
  const char* taken;  // the output then asked for; "" when refused
  const char* why;    // part of the refusal
};

class OutputOptions : public ::testing::TestWithParam<OutputCase> {};

TEST_P(OutputOptions, AreCheckedTogether) {
  const OutputCase& c = GetParam();
  OutputRequest request;
  request.choice = c.choice;
  request.record_file = c.record;
  request.audio_driver = c.audio_driver;
  request.soundfont = c.soundfont;
  std::string why;
  EXPECT_EQ(CheckOutputOptions(request, &why), *c.taken != '\0') << why;
  EXPECT_NE(why.find(c.why), std::string::npos) << why;
  if (*c.taken != '\0') {
    EXPECT_EQ(request.choice, c.taken);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, OutputOptions,
    ::testing::Values(
        OutputCase{"auto", "", "", "", "auto", ""},
        OutputCase{"auto", "r.txt", "", "", "recording", ""},
        OutputCase{"recording", "r.txt", "", "", "recording", ""},
        OutputCase{"recording", "", "", "", "", "writes to the file --record FILE"},
        OutputCase{"jack", "r.txt", "", "", "", "--record goes with --output recording"},
        OutputCase{"loud", "", "", "", "", "--output takes "},
        OutputCase{"synth", "", "no-such-driver", "", "", "--audio-driver takes one of"},
        OutputCase{"synth", "", "", "/nonexistent.sf2", "", "--soundfont: cannot read"}));

}  // namespace
}  // namespace vordel
