// Rendering a piece to a WAV file offline with the built-in synthesizer, driven sample by
// sample from the playback schedule (far faster than real time).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "composer/composition.h"

namespace vordel {

inline constexpr int kRenderSampleRate = 44100;

struct RenderResult {
  bool ok = false;
  std::string error;
  std::int64_t frames = 0;  // stereo frames written
};

// progress(done, total) is called now and then with frames rendered so far.
RenderResult RenderWav(Composition& composition, const std::string& path,
                       const std::string& soundfont,
                       const std::function<void(std::int64_t, std::int64_t)>& progress);

// Frames up to the end of a piece's last tick, rounded up to whole blocks of the synthesizer
// (64 frames); the rendering then goes on in whole blocks until the last notes have rung out,
// and two seconds of silence follow.
std::int64_t RenderedFrames(std::int64_t end_tick);

}  // namespace vordel
