// FluidSynth's file renderer driven by its MIDI player, sample-timed, as fast as it can.
#include "media/midi_render.h"

#include <array>
#include <memory>
#include <system_error>

#ifdef MORIVEL_HAVE_FLUIDSYNTH
#include <fluidsynth.h>

#include "platform/optional_library.h"
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

// The synthesizer brings some sixty shared libraries (audio drivers, glib, SDL) that only music
// needs, so it is opened when the first MIDI file is rendered.
struct FluidSynthApi {
  static constexpr const char* kSoname = "libfluidsynth.so.3";
  decltype(&fluid_set_log_function) set_log_function;
  decltype(&new_fluid_settings) new_settings;
  decltype(&delete_fluid_settings) delete_settings;
  decltype(&fluid_settings_setstr) settings_setstr;
  decltype(&fluid_settings_setint) settings_setint;
  decltype(&fluid_settings_setnum) settings_setnum;
  decltype(&new_fluid_synth) new_synth;
  decltype(&delete_fluid_synth) delete_synth;
  decltype(&fluid_synth_sfload) synth_sfload;
  decltype(&new_fluid_player) new_player;
  decltype(&delete_fluid_player) delete_player;
  decltype(&fluid_player_add) player_add;
  decltype(&fluid_player_play) player_play;
  decltype(&fluid_player_get_status) player_get_status;
  decltype(&fluid_player_stop) player_stop;
  decltype(&new_fluid_file_renderer) new_file_renderer;
  decltype(&delete_fluid_file_renderer) delete_file_renderer;
  decltype(&fluid_file_renderer_process_block) file_renderer_process_block;

  void Resolve(platform::OptionalLibrary& library) {
    library.Resolve("fluid_set_log_function", set_log_function);
    library.Resolve("new_fluid_settings", new_settings);
    library.Resolve("delete_fluid_settings", delete_settings);
    library.Resolve("fluid_settings_setstr", settings_setstr);
    library.Resolve("fluid_settings_setint", settings_setint);
    library.Resolve("fluid_settings_setnum", settings_setnum);
    library.Resolve("new_fluid_synth", new_synth);
    library.Resolve("delete_fluid_synth", delete_synth);
    library.Resolve("fluid_synth_sfload", synth_sfload);
    library.Resolve("new_fluid_player", new_player);
    library.Resolve("delete_fluid_player", delete_player);
    library.Resolve("fluid_player_add", player_add);
    library.Resolve("fluid_player_play", player_play);
    library.Resolve("fluid_player_get_status", player_get_status);
    library.Resolve("fluid_player_stop", player_stop);
    library.Resolve("new_fluid_file_renderer", new_file_renderer);
    library.Resolve("delete_fluid_file_renderer", delete_file_renderer);
    library.Resolve("fluid_file_renderer_process_block", file_renderer_process_block);
  }
};
using FluidSynthLibrary = platform::LazyLibrary<FluidSynthApi>;

// Only made once the library is loaded, so the deleters can take its table for granted.
struct SettingsFree {
  void operator()(fluid_settings_t* s) const { FluidSynthLibrary::Get()->delete_settings(s); }
};
struct SynthFree {
  void operator()(fluid_synth_t* s) const { FluidSynthLibrary::Get()->delete_synth(s); }
};
struct PlayerFree {
  void operator()(fluid_player_t* p) const { FluidSynthLibrary::Get()->delete_player(p); }
};
struct RendererFree {
  void operator()(fluid_file_renderer_t* r) const {
    FluidSynthLibrary::Get()->delete_file_renderer(r);
  }
};

constexpr double kSampleRate = 44100;
constexpr int kPeriodSize = 64;

// FluidSynth reports on standard error by default; its complaints reach the caller as a false
// result instead.
void quiet_logging(const FluidSynthApi& fluid) {
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
    fluid.set_log_function(level, nullptr, nullptr);
}

}  // namespace

bool midi_rendering_available() {
  return general_midi_soundfont().has_value() && FluidSynthLibrary::Get();
}

std::string midi_library_problem() {
  return FluidSynthLibrary::Problem();
}

bool render_midi_to_wav(const std::filesystem::path& midi, const std::filesystem::path& wav,
                        double max_seconds) {
  std::optional<std::filesystem::path> soundfont = general_midi_soundfont();
  const FluidSynthApi* fluid = FluidSynthLibrary::Get();
  if (!soundfont || !fluid) return false;
  quiet_logging(*fluid);
  std::unique_ptr<fluid_settings_t, SettingsFree> settings(fluid->new_settings());
  if (!settings) return false;
  fluid->settings_setstr(settings.get(), "audio.file.name", wav.c_str());
  fluid->settings_setstr(settings.get(), "audio.file.type", "wav");
  fluid->settings_setstr(settings.get(), "player.timing-source", "sample");
  fluid->settings_setint(settings.get(), "synth.lock-memory", 0);
  fluid->settings_setnum(settings.get(), "synth.sample-rate", kSampleRate);
  fluid->settings_setint(settings.get(), "audio.period-size", kPeriodSize);
  std::unique_ptr<fluid_synth_t, SynthFree> synth(fluid->new_synth(settings.get()));
  if (!synth || fluid->synth_sfload(synth.get(), soundfont->c_str(), 1) == FLUID_FAILED)
    return false;
  std::unique_ptr<fluid_player_t, PlayerFree> player(fluid->new_player(synth.get()));
  if (!player || fluid->player_add(player.get(), midi.c_str()) != FLUID_OK) return false;
  std::unique_ptr<fluid_file_renderer_t, RendererFree> renderer(
      fluid->new_file_renderer(synth.get()));
  if (!renderer || fluid->player_play(player.get()) != FLUID_OK) return false;
  const auto max_blocks = static_cast<long long>(max_seconds * kSampleRate / kPeriodSize);
  long long blocks = 0;
  while (fluid->player_get_status(player.get()) == FLUID_PLAYER_PLAYING && blocks++ < max_blocks)
    if (fluid->file_renderer_process_block(renderer.get()) != FLUID_OK) return false;
  fluid->player_stop(player.get());
  // A file the player could not read ends at once: no block written means failure.
  return blocks > 1;
}

#else

bool midi_rendering_available() {
  return false;
}

std::string midi_library_problem() {
  return "built without FluidSynth";
}

bool render_midi_to_wav(const std::filesystem::path&, const std::filesystem::path&, double) {
  return false;
}

#endif

}  // namespace morivel::media
