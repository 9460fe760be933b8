// The MML converter's MIDI bytes against events worked out by hand, and a rendering through
// FluidSynth where it is installed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/midi_render.h"
#include "media/mml.h"
#include "text/encoding.h"

using namespace morivel;
using namespace morivel::media;

namespace {

struct Ev {
  std::uint32_t tick;
  std::vector<int> bytes;
  bool operator==(const Ev&) const = default;
};

std::uint32_t be(const std::string& s, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

// The tracks of an SMF as absolute-time events (running status is never written).
std::vector<std::vector<Ev>> parse(const std::string& smf) {
  EXPECT_EQ(smf.substr(0, 4), "MThd");
  EXPECT_EQ(be(smf, 8, 2), 1u);
  EXPECT_EQ(be(smf, 12, 2), static_cast<std::uint32_t>(kTicksPerQuarter));
  std::size_t count = be(smf, 10, 2);
  std::vector<std::vector<Ev>> tracks;
  std::size_t pos = 14;
  for (std::size_t t = 0; t < count; ++t) {
    EXPECT_EQ(smf.substr(pos, 4), "MTrk");
    std::size_t end = pos + 8 + be(smf, pos + 4, 4);
    pos += 8;
    std::vector<Ev> events;
    std::uint32_t tick = 0;
    while (pos < end) {
      std::uint32_t delta = 0;
      unsigned char c;
      do {
        c = static_cast<unsigned char>(smf[pos++]);
        delta = (delta << 7) | (c & 0x7F);
      } while (c & 0x80);
      tick += delta;
      auto status = static_cast<unsigned char>(smf[pos]);
      std::size_t len = status == 0xFF            ? 3 + static_cast<unsigned char>(smf[pos + 2])
                        : (status & 0xF0) == 0xC0 ? 2
                                                  : 3;
      Ev e{tick, {}};
      for (std::size_t i = 0; i < len; ++i)
        e.bytes.push_back(static_cast<unsigned char>(smf[pos + i]));
      pos += len;
      events.push_back(e);
    }
    tracks.push_back(events);
  }
  EXPECT_EQ(pos, smf.size());
  return tracks;
}

const std::vector<int> kEnd = {0xFF, 0x2F, 0x00};
std::vector<int> on(int ch, int note, int vel) {
  return {0x90 | ch, note, vel};
}
std::vector<int> off(int ch, int note) {
  return {0x80 | ch, note, 0};
}

}  // namespace

TEST(Mml, OneQuarterNoteIsTheWholeFileByteForByte) {
  std::string expected("MThd\0\0\0\6\0\1\0\2\x01\xE0", 14);
  expected += std::string("MTrk\0\0\0\x0B\0\xFF\x51\x03\x07\xA1\x20\0\xFF\x2F\0", 19);
  // o4 c = 60, velocity of v12 = (12*127+7)/15 = 102, a quarter = 480 ticks = 0x83 0x60.
  expected += std::string("MTrk\0\0\0\x0D\0\x90\x3C\x66\x83\x60\x80\x3C\0\0\xFF\x2F\0", 21);
  EXPECT_EQ(mml_to_midi("c"), expected);
}

TEST(Mml, NotesLengthsDotsTiesAndRests) {
  auto tracks = parse(mml_to_midi("o5 l8 c d+4. r16 e-2^4 f&f v15 g16 > a < b-"));
  ASSERT_EQ(tracks.size(), 2u);
  std::vector<Ev> expected = {
      {0, on(0, 72, 102)},    {240, off(0, 72)},   // c8
      {240, on(0, 75, 102)},  {960, off(0, 75)},   // d+4.
      {1080, on(0, 75, 102)}, {2520, off(0, 75)},  // r16, e-2^4
      {2520, on(0, 77, 102)}, {3000, off(0, 77)},  // f&f: one note
      {3000, on(0, 79, 127)}, {3120, off(0, 79)},  // v15 g16
      {3120, on(0, 93, 127)}, {3360, off(0, 93)},  // > a
      {3360, on(0, 82, 127)}, {3600, off(0, 82)},  // < b-
      {3600, kEnd},
  };
  EXPECT_EQ(tracks[1], expected);
}

TEST(Mml, TempoGoesToTheFirstTrackAndProgramsToTheirChannel) {
  auto tracks = parse(mml_to_midi("t150 @19 c4 t60 c4"));
  std::vector<Ev> tempo = {{0, {0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80}},    // 400000 us
                           {480, {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}},  // 1000000 us
                           {480, kEnd}};
  EXPECT_EQ(tracks[0], tempo);
  EXPECT_EQ(tracks[1][0], (Ev{0, {0xC0, 19}}));
}

TEST(Mml, TracksTakeTheirOwnChannelsAndKeepTheDrumChannelFree) {
  auto tracks = parse(mml_to_midi("c;d;e;f;g;a;b;c;d;e;ch10 c"));
  ASSERT_EQ(tracks.size(), 12u);  // tempo track + 11
  EXPECT_EQ(tracks[1][0].bytes[0], 0x90);
  EXPECT_EQ(tracks[9][0].bytes[0], 0x98);
  EXPECT_EQ(tracks[10][0].bytes[0], 0x9A);  // the tenth track skips channel 10
  EXPECT_EQ(tracks[11][0].bytes[0], 0x99);  // ch10 asks for it
}

TEST(Mml, LoopsRepeatAndTheColonLeavesTheLastPass) {
  auto tracks = parse(mml_to_midi("l4 [c:d]3 e [[g]2 a]"));
  std::vector<int> notes;
  for (const Ev& e : tracks[1])
    if (e.bytes[0] == 0x90) notes.push_back(e.bytes[1]);
  EXPECT_EQ(notes, (std::vector<int>{60, 62, 60, 62, 60, 64, 67, 67, 69, 67, 67, 69}));
  EXPECT_EQ(tracks[1].back().tick, 12u * 480);
}

TEST(Mml, GateShortensTheSoundNotTheStep) {
  auto tracks = parse(mml_to_midi("q4 c2 d"));
  EXPECT_EQ(tracks[1][1], (Ev{480, off(0, 60)}));
  EXPECT_EQ(tracks[1][2], (Ev{960, on(0, 62, 102)}));
}

TEST(Mml, BadTextIsAnErrorThatSaysWhere) {
  struct Case {
    const char* mml;
    const char* utf8_start;
  };
  for (Case c :
       {Case{"c d x", "5文字目"}, Case{"o10 c", "2文字目"}, Case{"c0", "2文字目"},
        Case{"[c d", "1文字目"}, Case{"c]", "2文字目"}, Case{"t0", "2文字目"},
        Case{"o9 b+", "4文字目"}, Case{"@128", "2文字目"}, Case{"[c]1000", "4文字目"},
        Case{"c;c;c;c;c;c;c;c;c;c;c;c;c;c;c;c;c", "32文字目"}, Case{"c99999999", "2文字目"}}) {
    try {
      mml_to_midi(c.mml);
      ADD_FAILURE() << c.mml << " converted";
    } catch (const MmlError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(text::sjis(c.utf8_start), 0), 0u)
          << c.mml << ": " << text::to_utf8(e.what());
    }
  }
}

TEST(Mml, RunawayLoopsEndInAnError) {
  EXPECT_THROW(mml_to_midi("[[[[[c64]999]999]999]999]999"), MmlError);
  EXPECT_THROW(mml_to_midi("[[[[[o4]999]999]999]999]999"), MmlError);
}

namespace {

// Seconds and peak level of a 16-bit stereo 44.1 kHz WAV rendered from `mml`.
std::pair<double, long> render(const std::string& mml) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "morivel-mml-XXXXXX").string();
  fs::path dir = ::mkdtemp(pattern.data());
  fs::path midi = dir / "t.mid", wav = dir / "t.wav";
  std::ofstream(midi, std::ios::binary) << mml_to_midi(mml);
  bool rendered = render_midi_to_wav(midi, wav);
  std::ifstream in(wav, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove_all(dir);
  EXPECT_TRUE(rendered);
  if (data.size() <= 44 || data.substr(0, 4) != "RIFF") return {0, 0};
  long peak = 0;
  for (std::size_t i = 44; i + 1 < data.size(); i += 2) {
    auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(data[i]) |
                                            (static_cast<unsigned char>(data[i + 1]) << 8));
    peak = std::max<long>(peak, std::abs(sample));
  }
  return {static_cast<double>(data.size() - 44) / 176400.0, peak};
}

}  // namespace

TEST(MidiRender, AnMmlTuneRendersToAudibleWaveOfTheRightLength) {
  if (!midi_rendering_available()) GTEST_SKIP() << "no FluidSynth or soundfont here";
  // The renderer lets the last notes ring out for a fixed while, so lengths are compared.
  auto [two_seconds, peak] = render("t120 l4 o4 c e g > c");
  auto [four_seconds, peak4] = render("t120 l4 o4 c e g > c < g e c c");
  EXPECT_GE(two_seconds, 2.0);
  EXPECT_NEAR(four_seconds - two_seconds, 2.0, 0.05);
  EXPECT_GT(peak, 1000);
  EXPECT_GT(peak4, 1000);
  auto [silent_seconds, silent_peak] = render("t120 v0 l4 c e g > c");
  EXPECT_LT(silent_peak, 10);
}
