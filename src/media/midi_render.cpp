// FluidSynth's file renderer driven by its MIDI player, sample-timed, as fast as it can.
#include "media/midi_render.h"

#include <array>
#include <memory>
#include <system_error>

#ifdef MORIVEL_HAVE_FLUIDSYNTH
#include <fluidsynth.h>
#endif

namespace morivel::media {

std::optional<std::filesystem::path> general_midi_soundfont() {
  static constexpr std::array<const char*, 3> kCandidates = {
      "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
      "/usr/share/sounds/sf3/default-GM.sf3"};
  std::error_code ec;
  for (const char* candidate : kCandidates)
    if (std::filesystem::is_regular_file(candidate, ec)) return std::filesystem::path(candidate);
  return std::nullopt;
}

#ifdef MORIVEL_HAVE_FLUIDSYNTH

namespace {

struct SettingsFree {
  void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};
struct SynthFree {
  void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
};
struct PlayerFree {
  void operator()(fluid_player_t* p) const { delete_fluid_player(p); }
};
struct RendererFree {
  void operator()(fluid_file_renderer_t* r) const { delete_fluid_file_renderer(r); }
};

constexpr double kSampleRate = 44100;
constexpr int kPeriodSize = 64;

// FluidSynth reports on standard error by default; its complaints reach the caller as a false
// result instead.
void quiet_logging() {
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
    fluid_set_log_function(level, nullptr, nullptr);
}

}  // namespace

bool midi_rendering_available() {
  return general_midi_soundfont().has_value();
}

bool render_midi_to_wav(const std::filesystem::path& midi, const std::filesystem::path& wav,
                        double max_seconds) {
  std::optional<std::filesystem::path> soundfont = general_midi_soundfont();
  if (!soundfont) return false;
  quiet_logging();
  std::unique_ptr<fluid_settings_t, SettingsFree> settings(new_fluid_settings());
  if (!settings) return false;
  fluid_settings_setstr(settings.get(), "audio.file.name", wav.c_str());
  fluid_settings_setstr(settings.get(), "audio.file.type", "wav");
  fluid_settings_setstr(settings.get(), "player.timing-source", "sample");
  fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
  fluid_settings_setnum(settings.get(), "synth.sample-rate", kSampleRate);
  fluid_settings_setint(settings.get(), "audio.period-size", kPeriodSize);
  std::unique_ptr<fluid_synth_t, SynthFree> synth(new_fluid_synth(settings.get()));
  if (!synth || fluid_synth_sfload(synth.get(), soundfont->c_str(), 1) == FLUID_FAILED)
    return false;
  std::unique_ptr<fluid_player_t, PlayerFree> player(new_fluid_player(synth.get()));
  if (!player || fluid_player_add(player.get(), midi.c_str()) != FLUID_OK) return false;
  std::unique_ptr<fluid_file_renderer_t, RendererFree> renderer(
      new_fluid_file_renderer(synth.get()));
  if (!renderer || fluid_player_play(player.get()) != FLUID_OK) return false;
  const auto max_blocks = static_cast<long long>(max_seconds * kSampleRate / kPeriodSize);
  long long blocks = 0;
  while (fluid_player_get_status(player.get()) == FLUID_PLAYER_PLAYING && blocks++ < max_blocks)
    if (fluid_file_renderer_process_block(renderer.get()) != FLUID_OK) return false;
  fluid_player_stop(player.get());
  // A file the player could not read ends at once: no block written means failure.
  return blocks > 1;
}

#else

bool midi_rendering_available() {
  return false;
}

bool render_midi_to_wav(const std::filesystem::path&, const std::filesystem::path&, double) {
  return false;
}

#endif

}  // namespace morivel::media
