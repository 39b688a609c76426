// The recorder the end-to-end tests play into, against the test's own JACK server: it connects
// where it is asked and writes each message as "TIME: BYTES", with nothing on its standard
// error when it lost nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "support/fake_jack.h"
#include "support/test_support.h"

int RecorderMain(int argc, char** argv);  // the recorder's main, built into this program

namespace vordel {
namespace {

namespace jack = testing::fake_jack;

// What the recorder writes to its standard output and error while three Note Ons arrive in one
// cycle, until the server goes away.
std::pair<std::string, std::string> Record() {
  jack::Reset(true);
  const std::string paths[2] = {testing::TempPath("rec.out"), testing::TempPath("rec.err")};
  std::fflush(nullptr);
  const int saved[2] = {dup(1), dup(2)};
  for (int fd = 1; fd <= 2; ++fd) {
    FILE* f = std::fopen(paths[fd - 1].c_str(), "w");
    dup2(fileno(f), fd);
    std::fclose(f);
  }
  std::thread recorder([] {
    std::string args[] = {"vordel-jack-recorder", "--connect", "vordel:out"};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), nullptr};  // as main gets it
    RecorderMain(3, argv);
  });
  for (int i = 0; i < 10000 && jack::Connections().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(jack::Connections(), std::vector<std::string>{"vordel:out>midi-recorder:input"});
  for (int i = 0; i < 3; ++i) {
    jack::Arrive({0x90, 60, 100});
  }
  jack::RunCycle(jack::Now());
  jack::ShutDown();
  recorder.join();
  std::fflush(nullptr);
  for (int fd = 1; fd <= 2; ++fd) {
    dup2(saved[fd - 1], fd);
    close(saved[fd - 1]);
  }
  return {testing::ReadFile(paths[0]), testing::ReadFile(paths[1])};
}

TEST(JackRecorder, ConnectsAndWritesWhatArrives) {
  const auto [out, err] = Record();
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
  EXPECT_NE(out.find(": 90 3c 64\n"), std::string::npos) << out.substr(0, 200);
  EXPECT_EQ(err, "");
}

}  // namespace
}  // namespace vordel
