#include "export/audio_render.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "outputs/soundfont.h"
#include "sequence/schedule.h"
#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

// A rendering given up, before it began or in either pass, writes nothing, not even the file
// beside its target, and says it was cancelled; one left to run writes the file.
TEST(AudioRender, ACancelledRenderingLeavesNothing) {
  if (FindSoundfont().empty()) {
    GTEST_SKIP() << "no soundfont installed";
  }
  const Schedule schedule = BuildSchedule(testing::ComposeText("0 60 40 1 0", 1843, false));
  const std::string path = testing::TempPath("render.wav");
  struct Row {
    std::int64_t cancel_after;  // reports of progress; -1 never
    bool normalise;
  };
  for (const Row row : {Row{0, true}, Row{1, true}, Row{3, true}, Row{1, false}, Row{-1, false}}) {
    std::atomic<bool> cancel{row.cancel_after == 0};
    RenderOptions options;
    options.cancel = &cancel;
    if (!row.normalise) {
      options.gain_db = 0.0;
    }
    std::int64_t reports = 0;
    std::int64_t done_before = -1;
    std::int64_t last_total = 0;
    bool forward = true;  // the bar never goes back, across both passes
    const RenderResult r =
        RenderAudio(schedule, path, options, [&](std::int64_t done, std::int64_t total) {
          forward = forward && done >= done_before && done <= total;
          done_before = done;
          last_total = total;
          if (++reports == row.cancel_after) {
            cancel = true;
          }
        });
    EXPECT_TRUE(forward);
    const std::string folder = path.substr(0, path.rfind('/'));
    const testing::CommandResult left =
        testing::RunCommand("ls -a '" + folder + "' | grep -c 'render.wav' || true");
    if (row.cancel_after >= 0) {
      EXPECT_FALSE(r.ok);
      EXPECT_EQ(r.error, kRenderCancelled);
      EXPECT_EQ(left.out, "0\n") << "cancelled after " << row.cancel_after;
    } else {
      EXPECT_TRUE(r.ok) << r.error;
      EXPECT_GT(r.frames, 0);
      EXPECT_EQ(done_before, last_total);  // it ends full
      EXPECT_EQ(left.out, "1\n");
    }
    std::remove(path.c_str());
  }
}

// Up to the end of the last tick, in whole blocks of 64 frames.
TEST(AudioRender, FramesReachTheLastTickInWholeBlocks) {
  for (const std::int64_t tick : {0, 1, 2, 999, 1000, 123457, 3600000}) {
    const std::int64_t frames = RenderedFrames(tick);
    const std::int64_t needed = (tick + 1) * kRenderSampleRate / 1000;
    EXPECT_EQ(frames % 64, 0) << tick;
    EXPECT_GE(frames, needed) << tick;
    EXPECT_LT(frames, needed + 64) << tick;
  }
}

}  // namespace
}  // namespace vordel
