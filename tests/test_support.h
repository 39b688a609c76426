// Helpers shared by the unit tests.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "chances/random_source.h"
#include "composer/composition.h"

namespace vordel::testing {

// Collects what std::cout receives while it lives.
class CoutCapture {
 public:
  CoutCapture() : old_(std::cout.rdbuf(buffer_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(old_); }
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;
  std::string str() const { return buffer_.str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* old_;
};

// An independent model of the generator, to predict draws without touching the real one.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : state_(seed) {}
  int next() {
    state_ = state_ * 22695477u + 1u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

 private:
  std::uint32_t state_;
};

// A composition without an instrument.
class TestPiece : public Composition {
 public:
  TestPiece() : Composition("Dit is de titel", "/vordel/pieces", "een test", 0, 5) {}
  void PrepareEnsemble() override { ++ensembles_prepared; }
  int ensembles_prepared = 0;
};

// Pins the clock and puts the rest planners back to a fresh process's state.
class FreshComposer {
 public:
  explicit FreshComposer(std::int64_t clock_ms) : pin_(clock_ms) { ResetRestPlanners(); }

 private:
  ScopedClockPin pin_;
};

// A piece as vordel-compose --dump prints it: objects with onsets and ends, events, total.
inline std::string DumpLines(Composition& piece) {
  std::ostringstream out;
  int k = 1;
  for (auto& obj : piece.object_list) {
    out << "object " << k++ << " onset " << obj->GetMusObjOnsetTime() << " end "
        << obj->GetMusObjDuration() << '\n';
    for (const auto& e : obj->event_list) {
      out << ">EV" << e->GetCH() << ',' << e->GetKEY() << ',' << e->GetVEL() << ',' << e->GetTIME()
          << ',' << e->GetDUR() << '\n';
    }
  }
  out << "total " << piece.Composition_TotalTime << '\n';
  return out.str();
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
