#include "export/audio_render.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "outputs/soundfont.h"
#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

struct Audio {
  SF_INFO info{};
  std::vector<float> samples;
  double PeakDb() const {
    double peak = 0;
    for (float s : samples) {
      peak = std::max(peak, static_cast<double>(std::fabs(s)));
    }
    return AmplitudeToDb(peak);
  }
};

Audio Read(const std::string& path) {
  Audio a;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
  if (f == nullptr) {
    return a;
  }
  a.samples.resize(static_cast<std::size_t>(a.info.frames * a.info.channels));
  sf_readf_float(f, a.samples.data(), a.info.frames);
  sf_close(f);
  return a;
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CheckSoundfont(FindSoundfont()).empty()) {
      GTEST_SKIP() << "no General MIDI soundfont here";
    }
  }
  Schedule Piece(const char* text) { return BuildSchedule(testing::ComposeText(text, 7)); }
  std::string Temp(const char* name) { return testing::TempPath(name); }
};

TEST_F(Render, NormalisesThePeakToMinusOneDbfsAndSaysSo) {
  const Schedule s = Piece("0 50 40 1 0");
  const std::string path = Temp("vordel-render.wav");
  std::int64_t last_done = 0;
  std::int64_t last_total = 0;
  int reports = 0;
  const RenderResult r = RenderAudio(s, path, {}, [&](std::int64_t done, std::int64_t total) {
    ++reports;
    EXPECT_GE(done, last_done);
    last_done = done;
    last_total = total;
  });
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(last_done, last_total);
  EXPECT_GT(reports, 10);  // as it goes (a ten-second piece, rendered twice), not only at the end
  const Audio a = Read(path);
  EXPECT_EQ(a.info.samplerate, kRenderSampleRate);
  EXPECT_EQ(a.info.channels, 2);
  EXPECT_EQ(a.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
  EXPECT_EQ(a.info.frames, r.frames);
  EXPECT_NEAR(a.PeakDb(), kRenderPeakDbfs, 0.1);
  EXPECT_NEAR(r.peak_dbfs, kRenderPeakDbfs, 0.1);
  float side_peak[2] = {0, 0};  // both sides sound (the parts are panned across)
  for (std::size_t i = 0; i < a.samples.size(); ++i) {
    side_peak[i % 2] = std::max(side_peak[i % 2], std::fabs(a.samples[i]));
  }
  EXPECT_GT(std::min(side_peak[0], side_peak[1]), 0.1F);
  EXPECT_GT(r.gain_db, 0);  // the synthesizer alone is quieter
  EXPECT_LT(r.loudness_lufs, r.peak_dbfs);
  EXPECT_EQ(r.clipped_samples, 0);
  // Long enough for the piece, its ring-out and the closing silence.
  EXPECT_GT(static_cast<double>(a.info.frames) / kRenderSampleRate,
            static_cast<double>(s.end_tick) / 1000.0 + 2.0);
  std::remove(path.c_str());
}

TEST_F(Render, AFixedGainAndOtherFormats) {
  const Schedule s = Piece("0 50 40 1 0");
  RenderOptions o;
  o.gain_db = -6.0;
  const std::string path = Temp("vordel-render.flac");
  const RenderResult r = RenderAudio(s, path, o, nullptr);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_NEAR(r.gain_db, -6.0, 1e-6);
  EXPECT_EQ(r.clipped_samples, 0);
  const Audio a = Read(path);
  EXPECT_EQ(a.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
  EXPECT_NEAR(a.PeakDb(), r.peak_dbfs, 0.1);
  EXPECT_LT(a.PeakDb(), kRenderPeakDbfs);
  // Far too loud: clipped at full scale, and counted.
  o.gain_db = 40.0;
  const RenderResult loud = RenderAudio(s, Temp("vordel-loud.ogg"), o, nullptr);
  ASSERT_TRUE(loud.ok) << loud.error;
  EXPECT_GT(loud.clipped_samples, 1000);
  EXPECT_EQ(Read(Temp("vordel-loud.ogg")).info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
  std::remove(path.c_str());
  std::remove(Temp("vordel-loud.ogg").c_str());
}

TEST_F(Render, ASilentPieceWritesSilence) {
  const Schedule s = Piece("0 50 40 1 -20");
  ASSERT_TRUE(s.messages.empty());
  const std::string path = Temp("vordel-silence.wav");
  const RenderResult r = RenderAudio(s, path, {}, nullptr);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(std::isinf(r.peak_dbfs));
  EXPECT_EQ(r.gain_db, 0);
  const Audio a = Read(path);
  EXPECT_GT(a.info.frames, 2 * kRenderSampleRate);
  EXPECT_TRUE(std::isinf(a.PeakDb()));
  std::remove(path.c_str());
}

TEST_F(Render, RefusesWhatItCannotWrite) {
  const Schedule s = Piece("0 50 40 1 0");
  EXPECT_NE(RenderAudio(s, Temp("x.mp3"), {}, nullptr).error.find("cannot tell the audio format"),
            std::string::npos);
  EXPECT_NE(RenderAudio(s, "/nonexistent-dir/x.wav", {}, nullptr)
                .error.find("cannot write /nonexistent-dir/x.wav"),
            std::string::npos);
  RenderOptions o;
  o.soundfont = "/nonexistent/font.sf2";
  EXPECT_NE(RenderAudio(s, Temp("y.wav"), o, nullptr).error.find("cannot read the soundfont"),
            std::string::npos);
}

}  // namespace
}  // namespace vordel
