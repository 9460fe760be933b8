// MIDI files rendered to WAV through FluidSynth and a General-MIDI soundfont, where both are
// installed: the sound player then plays the WAV like any other file. Qt-free.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace morivel::media {

// True when this build has FluidSynth, its library can be loaded and a soundfont is installed.
bool midi_rendering_available();

// Why the synthesizer's library cannot be used ("built without FluidSynth" when this build has
// none); empty when it is loaded. The first call loads it.
std::string midi_library_problem();

// The soundfont used, or nothing.
std::optional<std::filesystem::path> general_midi_soundfont();

// Renders `midi` into a 44.1 kHz stereo WAV at `wav`. False when rendering is not available or
// fails (an unreadable MIDI file among others). Songs longer than `max_seconds` are cut there.
bool render_midi_to_wav(const std::filesystem::path& midi, const std::filesystem::path& wav,
                        double max_seconds = 1800);

}  // namespace morivel::media
