// Helpers shared by the unit tests.
#pragma once

#include <cstdint>
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

}  // namespace vordel::testing
