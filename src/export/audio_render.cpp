#include "export/audio_render.h"

#include <ebur128.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "export/file_names.h"
#include "outputs/soundfont.h"
#include "outputs/synth_engine.h"
#include "platform/pending_file.h"

namespace vordel {
namespace {

constexpr int kBlock = 64;
constexpr int kChunk = 8192;
// -100 dBFS: a third of the smallest step of 16-bit audio.
constexpr double kSilenceBelow = 1e-5;

int FormatOf(const std::string& path) {
  const std::string ext = Extension(path);
  if (ext == "wav") {
    return SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
  }
  if (ext == "flac") {
    return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  }
  if (ext == "ogg" || ext == "oga") {
    return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  }
  return 0;
}

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

using Sink = std::function<bool(const float* frames, int count)>;

// One render of the piece into sink; the frames rendered, or -1 with error set.
std::int64_t RenderPass(const Schedule& schedule, const std::string& soundfont, const Sink& sink,
                        const std::function<void(std::int64_t)>& progress,
                        const std::atomic<bool>* cancel, std::string* error) {
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRenderSampleRate);
  SynthEngine engine(settings, soundfont);
  if (!engine.error().empty()) {
    *error = engine.error();
    return -1;
  }
  const std::int64_t total = RenderedFrames(schedule.end_tick);
  std::vector<float> buffer(std::size_t{2} * kChunk);
  std::int64_t done = 0;
  std::int64_t next_report = 0;
  bool ok = true;
  auto render_to = [&](std::int64_t target) {
    while (ok && done < target) {
      const int n = static_cast<int>(std::min<std::int64_t>(target - done, kChunk));
      fluid_synth_write_float(engine.synth(), n, buffer.data(), 0, 2, buffer.data(), 1, 2);
      ok = sink(buffer.data(), n);
      done += n;
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        ok = false;
        *error = kRenderCancelled;
      }
      if (done >= next_report) {
        progress(done);
        next_report = done + kRenderSampleRate;
      }
    }
  };
  // Audio is rendered up to shortly before each message, which the sequencer then starts at
  // the first audio block that reaches its tick.
  WalkSchedule(schedule, [&](std::int64_t tick, const MidiMessage& m) {
    render_to(std::min(total, tick * kRenderSampleRate / 1000 - std::int64_t{2} * kBlock));
    engine.Schedule(m, static_cast<unsigned>(tick));
  });
  render_to(total);
  // Ring out: whole blocks until no voice sounds (at most a minute).
  const std::int64_t limit = total + 60LL * kRenderSampleRate;
  while (ok && done < limit && fluid_synth_get_active_voice_count(engine.synth()) > 0) {
    render_to(done + kBlock);
  }
  // Two seconds of silence close the file, as a file player rendering the exported MIDI file
  // does, so that both renderings of a piece last equally long.
  render_to(done + (std::int64_t{2} * kRenderSampleRate + kBlock - 1) / kBlock * kBlock +
            std::int64_t{2} * kBlock);
  if (!ok) {
    if (error->empty()) {
      *error = "the audio could not be written";
    }
    return -1;
  }
  return done;
}

struct Level {
  double peak = 0;
  double loudness = -std::numeric_limits<double>::infinity();
};

class Meter {
 public:
  Meter() : state_(ebur128_init(2, kRenderSampleRate, EBUR128_MODE_I)) {}
  ~Meter() {
    if (state_ != nullptr) {
      ebur128_destroy(&state_);
    }
  }
  Meter(const Meter&) = delete;
  Meter& operator=(const Meter&) = delete;
  void Add(const float* frames, int count, float gain) {
    scaled_.resize(std::size_t{2} * static_cast<std::size_t>(count));
    for (int i = 0; i < 2 * count; ++i) {
      const float v = frames[i] * gain;
      scaled_[static_cast<std::size_t>(i)] = v;
      peak_ = std::max(peak_, static_cast<double>(std::fabs(v)));
    }
    if (state_ != nullptr) {
      ebur128_add_frames_float(state_, scaled_.data(), static_cast<std::size_t>(count));
    }
  }
  Level Result() const {
    Level l;
    l.peak = peak_;
    double lufs = 0;
    if (state_ != nullptr && ebur128_loudness_global(state_, &lufs) == EBUR128_SUCCESS &&
        std::isfinite(lufs)) {
      l.loudness = lufs;
    }
    return l;
  }

 private:
  ebur128_state* state_;
  std::vector<float> scaled_;
  double peak_ = 0;
};

}  // namespace

double AmplitudeToDb(double amplitude) {
  return amplitude > 0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

std::uint64_t EstimatedAudioBytes(const std::string& path, std::int64_t frames) {
  // 16-bit stereo; FLAC keeps well within seven tenths of that, Vorbis within a sixth.
  const auto pcm = static_cast<std::uint64_t>(std::max<std::int64_t>(frames, 0)) * 4 + 4096;
  const std::string ext = Extension(path);
  if (ext == "flac") {
    return pcm / 10 * 7;
  }
  if (ext == "ogg" || ext == "oga") {
    return pcm / 6;
  }
  return pcm;
}

std::int64_t RenderedFrames(std::int64_t end_tick) {
  const std::int64_t frames = (end_tick + 1) * kRenderSampleRate / 1000;
  return (frames + kBlock - 1) / kBlock * kBlock;
}

bool CheckAudioFileName(const std::string& path, std::string* error) {
  if (FormatOf(path) == 0) {
    *error = "cannot tell the audio format of " + path + " (use .wav, .flac or .ogg)";
    return false;
  }
  return true;
}

RenderResult RenderAudio(const Schedule& schedule, const std::string& path,
                         const RenderOptions& options,
                         const std::function<void(std::int64_t, std::int64_t)>& progress) {
  RenderResult result;
  const std::string soundfont = ChooseSoundfont(options.soundfont);
  if (!CheckAudioFileName(path, &result.error) || !CheckSoundfont(soundfont, &result.error)) {
    return result;
  }
  const bool normalise = !options.gain_db.has_value();
  const std::int64_t estimate =
      RenderedFrames(schedule.end_tick) + std::int64_t{2} * kRenderSampleRate;
  // A disk too full for the file is found now, not after a first pass of many minutes.
  const std::optional<std::uint64_t> free = FreeBytesBeside(path);
  const std::uint64_t needed = EstimatedAudioBytes(path, estimate);
  if (free && *free < needed) {
    result.error = "not enough room for " + path + ": the rendering takes about " +
                   Megabytes(needed) + ", and " + Megabytes(*free) + " are free there";
    return result;
  }
  const std::int64_t passes = normalise ? 2 : 1;
  auto report = [&](std::int64_t pass, std::int64_t done) {
    if (progress) {
      progress(pass * estimate + std::min(done, estimate), passes * estimate);
    }
  };

  // First pass (normalising only): the level of the synthesizer's own output.
  float gain = 1.0f;
  bool silent = false;
  if (normalise) {
    Meter meter;
    const std::int64_t frames = RenderPass(
        schedule, soundfont,
        [&](const float* f, int n) {
          meter.Add(f, n, 1.0f);
          return true;
        },
        [&](std::int64_t done) { report(0, done); }, options.cancel, &result.error);
    if (frames < 0) {
      return result;
    }
    const double peak = meter.Result().peak;
    // A piece without a sound leaves only the synthesizer's rounding noise far below anything
    // audible: that is written as digital silence, never raised to the peak level.
    silent = peak < kSilenceBelow;
    gain = silent ? 0.0f : static_cast<float>(std::pow(10.0, kRenderPeakDbfs / 20.0) / peak);
  } else {
    gain = static_cast<float>(std::pow(10.0, *options.gain_db / 20.0));
  }

  SF_INFO info{};
  info.samplerate = kRenderSampleRate;
  info.channels = 2;
  info.format = FormatOf(path);
  // Written beside the target and put in place only when complete.
  PendingFile pending(path);
  if (pending.fd() < 0) {
    result.error = pending.error();
    return result;
  }
  SNDFILE* file = sf_open_fd(pending.fd(), SFM_WRITE, &info, SF_FALSE);
  if (file == nullptr) {
    result.error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return result;
  }
  sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  Meter written;
  std::vector<float> scaled(std::size_t{2} * kChunk);
  std::int64_t clipped = 0;
  const std::int64_t frames = RenderPass(
      schedule, soundfont,
      [&](const float* f, int n) {
        for (int i = 0; i < 2 * n; ++i) {
          const float v = f[i] * gain;
          scaled[static_cast<std::size_t>(i)] = v;
          clipped += (v > 1.0f || v < -1.0f) ? 1 : 0;
        }
        written.Add(f, n, gain);
        return sf_writef_float(file, scaled.data(), n) == n;
      },
      [&](std::int64_t done) { report(passes - 1, done); }, options.cancel, &result.error);
  if (frames < 0) {
    sf_close(file);
    if (result.error != kRenderCancelled) {
      result.error = "cannot write " + path + ": " + result.error;
    }
    return result;
  }
  if (sf_close(file) != 0) {
    result.error = "cannot write " + path + ": the file could not be completed";
    return result;
  }
  if (!pending.Commit()) {
    result.error = pending.error();
    return result;
  }
  if (progress) {
    progress(passes * estimate, passes * estimate);
  }
  const Level level = written.Result();
  result.ok = true;
  result.frames = frames;
  result.gain_db = silent ? 0.0 : AmplitudeToDb(gain);
  result.peak_dbfs = AmplitudeToDb(std::min(level.peak, 1.0));
  result.loudness_lufs = level.loudness;
  result.clipped_samples = clipped;
  return result;
}

}  // namespace vordel
