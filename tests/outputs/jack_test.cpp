// The native JACK output against the test's own JACK server (support/fake_jack).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "midi/message.h"
#include "outputs/backends.h"
#include "support/fake_jack.h"

namespace vordel {
namespace {

namespace jack = testing::fake_jack;

class JackOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { jack::Reset(true); }
  void TearDown() override {
    out_.reset();
    jack::Reset(false);
  }
  void Open() {
    OutputRequest request;
    OpenResult r = OpenJack(request, "synth:midi_in");
    ASSERT_TRUE(r.output) << r.error;
    out_ = std::move(r.output);
  }
  // Sends a Note On of `key` due `from_cycle_us` microseconds from the start of a cycle at `cycle`.
  void SendDue(int key, std::uint64_t cycle, std::int64_t from_cycle_us) {
    const auto due_us = static_cast<std::int64_t>(cycle - jack::kClockOffsetUs) + from_cycle_us;
    EXPECT_EQ(out_->Send(Lane::kPlayer, NoteMessage(1, key, 90), due_us * 1000), kMidiOk);
    out_->Commit(Lane::kPlayer);
  }
  static std::vector<int> Keys(const std::vector<jack::Written>& w) {
    std::vector<int> keys;
    for (const auto& e : w) {
      keys.push_back(e.bytes.at(1));
    }
    return keys;
  }
  std::unique_ptr<MidiOutput> out_;
};

// Each message goes in the cycle that reaches its due time plus the output's latency: one long
// past at the cycle's start, the others in the order due, at rising offsets; one due later
// waits for its cycle, and nothing is written twice.
TEST_F(JackOutputTest, StampedMessagesLandInTheirCycle) {
  Open();
  EXPECT_EQ(jack::Connections(), std::vector<std::string>{"vordel:vordel>synth:midi_in"});
  const std::uint64_t cycle = jack::Now();
  SendDue(60, cycle, -20000);  // late
  SendDue(61, cycle, -1600);
  SendDue(62, cycle, -1000);
  SendDue(63, cycle, -800);
  SendDue(64, cycle, 3000);  // three cycles later
  jack::RunCycle(cycle);
  const auto first = jack::TakeWritten();
  ASSERT_EQ(Keys(first), (std::vector<int>{60, 61, 62, 63}));
  EXPECT_EQ(first[0].offset, 0u);
  EXPECT_LT(first[1].offset, first[2].offset);
  EXPECT_LT(first[2].offset, first[3].offset);
  EXPECT_LT(first[3].offset, jack::kFrames);
  EXPECT_EQ(first[0].port, "vordel:vordel");
  for (std::uint64_t c = 1; c <= 3; ++c) {
    jack::RunCycle(cycle + c * 1000);
    EXPECT_TRUE(jack::TakeWritten().empty()) << c;
  }
  jack::RunCycle(cycle + 4000);
  EXPECT_EQ(Keys(jack::TakeWritten()), std::vector<int>{64});
}

// A cycle's buffer that fills up: the rest follows in the next cycles, in order, none lost.
TEST_F(JackOutputTest, AFullBufferLeavesTheRestForTheNextCycle) {
  Open();
  jack::SetRoom(2);
  const std::uint64_t cycle = jack::Now();
  for (int key = 60; key < 65; ++key) {
    SendDue(key, cycle, -20000);
  }
  std::vector<int> keys;
  for (int c = 0; c < 3; ++c) {
    jack::RunCycle(cycle + static_cast<std::uint64_t>(c) * 1000);
    const auto w = Keys(jack::TakeWritten());
    EXPECT_LE(w.size(), 2u);
    keys.insert(keys.end(), w.begin(), w.end());
  }
  EXPECT_EQ(keys, (std::vector<int>{60, 61, 62, 63, 64}));
  EXPECT_EQ(out_->Dropped(), 0u);
}

// What the server never takes before the output closes is lost, and counted; an xrun at the
// server (a client there that was late may miss what was written) is said at the end.
TEST_F(JackOutputTest, WhatCannotBeDeliveredIsCountedAndXrunsAreSaid) {
  Open();
  EXPECT_EQ(out_->Warning(), "");
  const std::uint64_t cycle = jack::Now();
  SendDue(60, cycle, -20000);
  SendDue(61, cycle, 2000000);  // due long after the close
  jack::RunCycle(cycle);
  EXPECT_EQ(Keys(jack::TakeWritten()), std::vector<int>{60});
  jack::Xrun();
  jack::Xrun();
  out_->Close();
  EXPECT_EQ(out_->Dropped(), 1u);
  EXPECT_NE(out_->Warning().find("reported 2 xrun(s)"), std::string::npos) << out_->Warning();
}

// The server goes away: the output says so at once and takes nothing meanwhile (the watch
// thread's reconnection is run against a real server end to end).
TEST_F(JackOutputTest, AServerThatGoesAway) {
  Open();
  jack::ShutDown();
  EXPECT_NE(out_->Status(), kMidiOk);
  EXPECT_NE(out_->Describe().find("gone away"), std::string::npos) << out_->Describe();
  EXPECT_NE(out_->Send(Lane::kPlayer, NoteMessage(1, 61, 90), 0), kMidiOk);
  // The client the server dropped is let go without closing it: libjack may hang for good
  // closing a client whose server has died (coming back: see the end-to-end tests).
  for (int i = 0; i < 50 && jack::OpenClients() == 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(jack::OpenClients(), 1);
}

// The client is vordel on its server whatever the instance number, and vordel-2 when another
// client there has that name (JACK's own answer).
TEST_F(JackOutputTest, NamedVordelWhereThatNameIsFree) {
  OutputRequest request;
  request.name = "vordel-3";  // a third vordel of this user, elsewhere
  OpenResult first = OpenJack(request, "synth:midi_in");
  ASSERT_TRUE(first.output);
  EXPECT_EQ(first.output->Describe(), "JACK port vordel:vordel -> synth:midi_in");
  OpenResult second = OpenJack(request, "");
  ASSERT_TRUE(second.output);
  EXPECT_EQ(second.output->Describe(), "JACK port vordel-2:vordel-2 (not connected)");
}

// A client the server will not run is given back: no output, nothing left open.
TEST_F(JackOutputTest, AClientThatCannotBeActivatedIsGivenBack) {
  jack::RefuseActivation(true);
  EXPECT_FALSE(OpenJack(OutputRequest{}, "synth:midi_in").output);
  EXPECT_EQ(jack::OpenClients(), 0);
}

// The probe lists the synthesizers' inputs and leaves neither a client nor JACK's list behind.
TEST_F(JackOutputTest, TheProbeListsInputsAndLeavesNothingOpen) {
  jack::AddPort("synth:midi_in", JackPortIsInput);
  jack::AddPort("keyboard:out", JackPortIsOutput);
  const OutputProbe probe = ProbeJack();
  EXPECT_TRUE(probe.present);
  EXPECT_EQ(probe.inputs, std::vector<std::string>{"synth:midi_in"});
  EXPECT_EQ(jack::OpenClients(), 0);
  EXPECT_EQ(jack::PortListsOut(), 0);
}

}  // namespace
}  // namespace vordel
