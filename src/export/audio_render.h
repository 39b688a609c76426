// Rendering a piece to an audio file offline with the built-in synthesizer, driven by the
// piece's schedule (far faster than real time). The file's format follows its extension: .wav
// (16-bit PCM; RF64 beyond 4 GiB), .flac (16-bit) or .ogg (Vorbis), 44.1 kHz stereo, written
// beside its target and put in place only when complete. By default
// the render is normalised so that its peak is at -1 dBFS (two passes of the same render); a
// fixed gain renders once. Control thread; not real-time safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "sequence/schedule.h"

namespace vordel {

inline constexpr int kRenderSampleRate = 44100;
inline constexpr double kRenderPeakDbfs = -1.0;
// The fixed gains a render takes, in dB.
inline constexpr double kMinGainDb = -60.0;
inline constexpr double kMaxGainDb = 40.0;

struct RenderOptions {
  std::string soundfont;          // "" for the one found
  std::optional<double> gain_db;  // a fixed gain instead of normalising
  // Set (from any thread) to give the rendering up: nothing is written, the error says so.
  const std::atomic<bool>* cancel = nullptr;
};

inline constexpr const char* kRenderCancelled = "the rendering was cancelled";

struct RenderResult {
  bool ok = false;
  std::string error;
  std::int64_t frames = 0;           // stereo frames written
  double gain_db = 0;                // the gain applied to the synthesizer's output
  double peak_dbfs = 0;              // of what was written (-inf for silence)
  double loudness_lufs = 0;          // integrated loudness of what was written (-inf for silence)
  std::int64_t clipped_samples = 0;  // samples beyond full scale, written at full scale
};

// Whether the file name has an extension this renderer writes; if not, why in *error.
bool CheckAudioFileName(const std::string& path, std::string* error);

// progress(done, total) is called now and then with frames rendered so far (both passes).
RenderResult RenderAudio(const Schedule& schedule, const std::string& path,
                         const RenderOptions& options,
                         const std::function<void(std::int64_t, std::int64_t)>& progress);

// Frames up to the end of a piece's last tick, rounded up to whole blocks of the synthesizer
// (64 frames); the rendering then goes on in whole blocks until the last notes have rung out,
// and two seconds of silence follow.
std::int64_t RenderedFrames(std::int64_t end_tick);

// The bytes a file of `frames` rendered frames takes, by the format of its name (a fair upper
// estimate for the compressed ones).
std::uint64_t EstimatedAudioBytes(const std::string& path, std::int64_t frames);

// Decibels of a linear amplitude (-inf for 0).
double AmplitudeToDb(double amplitude);

}  // namespace vordel
