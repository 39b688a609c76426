#include "midi/offline_render.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "midi/devices.h"
#include "player/schedule.h"

namespace vordel {
namespace {

constexpr int kBlock = 64;

void PutLE(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<std::uint8_t> WavHeader(std::int64_t frames) {
  const std::uint32_t data =
      static_cast<std::uint32_t>(std::min<std::int64_t>(frames * 4, 0xFFFFFFF0));
  std::vector<std::uint8_t> h;
  h.insert(h.end(), {'R', 'I', 'F', 'F'});
  PutLE(h, 36 + data, 4);
  h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLE(h, 16, 4);
  PutLE(h, 1, 2);  // PCM
  PutLE(h, 2, 2);  // stereo
  PutLE(h, kRenderSampleRate, 4);
  PutLE(h, kRenderSampleRate * 4, 4);
  PutLE(h, 4, 2);
  PutLE(h, 16, 2);
  h.insert(h.end(), {'d', 'a', 't', 'a'});
  PutLE(h, data, 4);
  return h;
}

void QuietLog(int, const char*, void*) {}

}  // namespace

std::int64_t RenderedFrames(std::int64_t end_tick) {
  const std::int64_t frames = (end_tick + 1) * kRenderSampleRate / 1000;
  return (frames + kBlock - 1) / kBlock * kBlock;
}

RenderResult RenderWav(Composition& composition, const std::string& path,
                       const std::string& soundfont,
                       const std::function<void(std::int64_t, std::int64_t)>& progress) {
  RenderResult result;
  const std::string sf = soundfont.empty() ? FindSoundfont() : soundfont;
  if (sf.empty()) {
    result.error = "no General MIDI soundfont installed (timgm6mb-soundfont)";
    return result;
  }
  for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
    fluid_set_log_function(level, &QuietLog, nullptr);
  }
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRenderSampleRate);
  fluid_synth_t* synth = new_fluid_synth(settings);
  auto cleanup = [&] {
    if (synth != nullptr)
      delete_fluid_synth(synth);
    delete_fluid_settings(settings);
  };
  if (synth == nullptr || fluid_synth_sfload(synth, sf.c_str(), 1) == FLUID_FAILED) {
    result.error = "the synthesizer could not load " + sf;
    cleanup();
    return result;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    result.error = "cannot write " + path + ": " + std::strerror(errno);
    cleanup();
    return result;
  }

  const Schedule schedule = PlaybackSchedule(composition);
  // The notes sounding at the end ring out; the total is known only then, so the header is
  // written again at the end.
  const std::int64_t total = RenderedFrames(schedule.end_tick);
  const std::vector<std::uint8_t> placeholder = WavHeader(0);
  bool ok = std::fwrite(placeholder.data(), 1, placeholder.size(), f) == placeholder.size();

  const int preset = std::clamp(composition.Composition_PresetNumber, 0, 2);
  for (int t = 0; t < 4; ++t) {
    const track_preset& p = composition.Composition_TrPresets[preset][t];
    fluid_synth_program_change(synth, t, std::clamp(p.Patch, 1, 128) - 1);
    fluid_synth_cc(synth, t, 10, std::clamp(p.Panning, 0, 127));
    fluid_synth_cc(synth, t, 7, std::clamp(p.Volume, 0, 127));
  }

  std::vector<std::int16_t> buffer(2 * 8192);
  std::int64_t done = 0;
  std::int64_t next_report = 0;
  auto render_to = [&](std::int64_t target) {
    while (ok && done < target) {
      const int n = static_cast<int>(std::min<std::int64_t>(target - done, 8192));
      fluid_synth_write_s16(synth, n, buffer.data(), 0, 2, buffer.data(), 1, 2);
      ok = std::fwrite(buffer.data(), sizeof(std::int16_t), static_cast<std::size_t>(2 * n), f) ==
           static_cast<std::size_t>(2 * n);
      done += n;
      if (progress && done >= next_report) {
        progress(std::min(done, total), total);
        next_report = done + kRenderSampleRate;
      }
    }
  };
  for (const ScheduledEvent& e : schedule.events) {
    render_to(std::min(total, e.tick * kRenderSampleRate / 1000));
    const int ch = (e.channel - 1) & 0x0F;
    if (e.velocity != 0) {
      fluid_synth_noteon(synth, ch, e.key, e.velocity);
    } else {
      fluid_synth_noteoff(synth, ch, e.key);
    }
  }
  render_to(total);
  // Ring out: whole blocks until no voice sounds (at most a minute).
  const std::int64_t limit = total + 60LL * kRenderSampleRate;
  while (ok && done < limit && fluid_synth_get_active_voice_count(synth) > 0) {
    render_to(done + kBlock);
  }
  // Two seconds of silence close the file, as a file player rendering the exported MIDI file
  // does, so that both renderings of a piece last equally long.
  render_to(done + (2 * kRenderSampleRate + kBlock - 1) / kBlock * kBlock + 2 * kBlock);
  if (progress)
    progress(done, done);
  if (ok) {
    const std::vector<std::uint8_t> header = WavHeader(done);
    ok = std::fseek(f, 0, SEEK_SET) == 0 &&
         std::fwrite(header.data(), 1, header.size(), f) == header.size();
  }
  ok = std::fclose(f) == 0 && ok;
  cleanup();
  if (!ok) {
    result.error = "cannot write " + path + ": " + std::strerror(errno);
    return result;
  }
  result.ok = true;
  result.frames = done;
  return result;
}

}  // namespace vordel
