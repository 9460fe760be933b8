// The speech synthesizer's functions. Only the agent speaks, so its library is opened when the
// agent first tries to; a run without the agent never loads it.
#pragma once

#include <string>

#ifdef MORIVEL_HAVE_ESPEAK
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include "platform/optional_library.h"
#endif

namespace morivel::bridges {

#ifdef MORIVEL_HAVE_ESPEAK
struct EspeakApi {
  static constexpr const char* kSoname = "libespeak-ng.so.1";
  decltype(&espeak_ng_InitializePath) initialize_path;
  decltype(&espeak_ng_Initialize) initialize;
  decltype(&espeak_ng_InitializeOutput) initialize_output;
  decltype(&espeak_ng_GetSampleRate) get_sample_rate;
  decltype(&espeak_SetSynthCallback) set_synth_callback;
  decltype(&espeak_SetVoiceByName) set_voice_by_name;
  decltype(&espeak_Synth) synth;
  decltype(&espeak_Cancel) cancel;
  decltype(&espeak_IsPlaying) is_playing;

  void Resolve(platform::OptionalLibrary& library) {
    library.Resolve("espeak_ng_InitializePath", initialize_path);
    library.Resolve("espeak_ng_Initialize", initialize);
    library.Resolve("espeak_ng_InitializeOutput", initialize_output);
    library.Resolve("espeak_ng_GetSampleRate", get_sample_rate);
    library.Resolve("espeak_SetSynthCallback", set_synth_callback);
    library.Resolve("espeak_SetVoiceByName", set_voice_by_name);
    library.Resolve("espeak_Synth", synth);
    library.Resolve("espeak_Cancel", cancel);
    library.Resolve("espeak_IsPlaying", is_playing);
  }
};
using SpeechLibrary = platform::LazyLibrary<EspeakApi>;
#endif

// Why the agent cannot speak for want of its library ("built without speech" when this build has
// none); empty when the library is loaded. The first call loads it.
std::string speech_library_problem();

}  // namespace morivel::bridges
