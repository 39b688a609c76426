// Helpers shared by the unit tests of every layer.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace vordel::testing {

// The whole content of a file ("" when it cannot be read).
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// How many descriptors this process has open.
inline int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) {
      ++n;
    }
    closedir(d);
  }
  return n;
}

// A file name in the temporary folder of this test process alone: tests run side by side.
inline std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "vordel-" + std::to_string(getpid()) + "-" + name;
}

// Runs a shell command; its standard output and exit code.
struct CommandResult {
  int status;
  std::string out;
};

inline CommandResult RunCommand(const std::string& cmd) {
  FILE* pipe = popen(cmd.c_str(), "r");
  std::string out;
  if (pipe == nullptr) {
    return {-1, out};
  }
  std::array<char, 65536> buf{};
  std::size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) {
    out.append(buf.data(), n);
  }
  const int raw = pclose(pipe);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

// The lines of a dump that describe the piece (object, event and total lines).
inline std::string PieceLines(const std::string& out) {
  std::istringstream in(out);
  std::string line;
  std::string kept;
  while (std::getline(in, line)) {
    if (line.rfind("object ", 0) == 0 || line.rfind(">EV", 0) == 0 ||
        line.rfind("total ", 0) == 0) {
      kept += line + "\n";
    }
  }
  return kept;
}

}  // namespace vordel::testing
