// MML to SMF: a small reader that walks the text once (loops jump back), collecting timed events
// per track, then the file writer.
#include "media/mml.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::media {
namespace {

constexpr int kWholeNote = 4 * kTicksPerQuarter;
constexpr int kMaxLoopCount = 999;
constexpr int kMaxLoopDepth = 32;
constexpr std::size_t kMaxEvents = 2000000;
constexpr std::size_t kMaxSteps = 20000000;  // loops without notes must end too
constexpr std::int64_t kMaxTick = std::int64_t{1} << 31;
constexpr int kTracks = 16;
constexpr int kDrumChannel = 9;

struct Event {
  std::int64_t tick;
  int order;  // at one tick: note offs, then settings, then note ons
  std::string bytes;
};

struct Track {
  int channel = 0;
  std::int64_t tick = 0;
  int octave = 4;
  int default_length = kTicksPerQuarter;
  int volume = 12;
  int gate = 8;
  std::vector<Event> events;
  // A note joined by "&" to the next one: its number, start and length so far.
  int tied_note = -1;
  std::int64_t tied_start = 0;
  std::int64_t tied_length = 0;
};

struct Loop {
  std::size_t start;  // just after "["
  std::size_t after;  // just after "]" and its count
  int count;
  int pass;
};

void put_be(std::string& out, std::uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put_variable_length(std::string& out, std::uint32_t v) {
  std::string groups(1, static_cast<char>(v & 0x7F));
  while (v >>= 7) groups.insert(groups.begin(), static_cast<char>(0x80 | (v & 0x7F)));
  out += groups;
}

std::string track_chunk(std::vector<Event> events) {
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::string body;
  std::int64_t last = 0;
  for (const Event& e : events) {
    put_variable_length(body, static_cast<std::uint32_t>(e.tick - last));
    body += e.bytes;
    last = e.tick;
  }
  body += std::string("\x00\xFF\x2F\x00", 4);
  std::string chunk = "MTrk";
  put_be(chunk, static_cast<std::uint32_t>(body.size()), 4);
  return chunk + body;
}

class MmlReader {
 public:
  explicit MmlReader(std::string_view mml) : text_(mml) {
    for (char& c : text_)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    tracks_.emplace_back();
  }

  std::string Convert() {
    while (pos_ < text_.size()) Step();
    if (!loops_.empty()) Fail(loops_.back().start, "「[」に対応する「]」がありません。");
    for (Track& t : tracks_) FlushTie(t);
    return Smf();
  }

 private:
  [[noreturn]] void Fail(std::size_t at, const char* utf8_reason) const {
    std::size_t column = text::char_index_of_byte(text_, std::min(at, text_.size())) + 1;
    throw MmlError(std::to_string(column) + text::sjis("文字目: ") + text::sjis(utf8_reason));
  }

  Track& Current() { return tracks_.back(); }

  bool Accept(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
  }
  // A decimal number, or -1 when no digit follows.
  long Number() {
    SkipBlanks();
    std::size_t start = pos_;
    long value = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      if (pos_ - start >= 7) Fail(start, "数値が大きすぎます。");
      value = value * 10 + (text_[pos_++] - '0');
    }
    return pos_ == start ? -1 : value;
  }
  long NumberIn(long low, long high, const char* what) {
    std::size_t at = pos_;
    long n = Number();
    if (n < low || n > high) Fail(at, what);
    return n;
  }

  // A length in ticks: a divisor of the whole note (or the default length), then dots.
  std::int64_t Length(std::int64_t default_ticks) {
    std::size_t at = pos_;
    long divisor = Number();
    std::int64_t ticks = default_ticks;
    if (divisor >= 0) {
      if (divisor < 1 || divisor > kWholeNote) Fail(at, "音長は1から1920までです。");
      ticks = kWholeNote / divisor;
    }
    for (std::int64_t part = ticks / 2; Accept('.'); part /= 2) ticks += part;
    return ticks;
  }
  std::int64_t NoteLength() {
    std::int64_t ticks = Length(Current().default_length);
    while (Accept('^')) ticks += Length(Current().default_length);
    return ticks;
  }

  void Add(Track& t, std::int64_t tick, int order, std::string bytes) {
    if (++events_ > kMaxEvents || tick > kMaxTick) Fail(pos_, "曲が長すぎます。");
    t.events.push_back({tick, order, std::move(bytes)});
  }
  std::string ChannelMessage(int status, int a, int b = -1) {
    std::string m{static_cast<char>(status | Current().channel), static_cast<char>(a)};
    if (b >= 0) m.push_back(static_cast<char>(b));
    return m;
  }

  void FlushTie(Track& t) {
    if (t.tied_note < 0) return;
    int velocity = (t.volume * 127 + 7) / 15;
    if (velocity > 0) {
      std::int64_t sounding = std::max<std::int64_t>(1, t.tied_length * t.gate / 8);
      auto channel = static_cast<char>(t.channel);
      Add(t, t.tied_start, 2,
          {static_cast<char>(0x90 | channel), static_cast<char>(t.tied_note),
           static_cast<char>(velocity)});
      Add(t, t.tied_start + sounding, 0,
          {static_cast<char>(0x80 | channel), static_cast<char>(t.tied_note), 0});
    }
    t.tied_note = -1;
  }

  void Note(int semitone) {
    std::size_t at = pos_ - 1;
    for (;;) {
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '#'))
        ++semitone, ++pos_;
      else if (pos_ < text_.size() && text_[pos_] == '-')
        --semitone, ++pos_;
      else
        break;
    }
    Track& t = Current();
    int note = (t.octave + 1) * 12 + semitone;
    if (note < 0 || note > 127) Fail(at, "音の高さが範囲を超えています。");
    std::int64_t ticks = NoteLength();
    if (t.tied_note != note) {
      FlushTie(t);
      t.tied_note = note;
      t.tied_start = t.tick;
      t.tied_length = 0;
    }
    t.tied_length += ticks;
    t.tick += ticks;
    if (!Accept('&')) FlushTie(t);
  }

  void Rest() {
    FlushTie(Current());
    Current().tick += NoteLength();
  }

  void NextTrack() {
    FlushTie(Current());
    if (tracks_.size() >= kTracks) Fail(pos_ - 1, "トラックが多すぎます。");
    int index = static_cast<int>(tracks_.size());
    tracks_.emplace_back();
    tracks_.back().channel = index < kDrumChannel ? index : index + 1;
    if (tracks_.back().channel >= kTracks) tracks_.back().channel = kDrumChannel;
  }

  void Tempo() {
    long bpm = NumberIn(1, 999, "テンポは1から999までです。");
    auto micros = static_cast<std::uint32_t>(60000000 / bpm);
    std::string meta("\xFF\x51\x03", 3);
    put_be(meta, micros, 3);
    tempo_.push_back({Current().tick, 1, meta});
  }

  void OpenLoop() {
    if (loops_.size() >= kMaxLoopDepth) Fail(pos_ - 1, "ループが深すぎます。");
    std::size_t depth = 1, scan = pos_;
    for (; scan < text_.size() && depth > 0; ++scan) {
      if (text_[scan] == '[') ++depth;
      if (text_[scan] == ']') --depth;
    }
    if (depth > 0) Fail(pos_ - 1, "「[」に対応する「]」がありません。");
    std::size_t saved = pos_;
    pos_ = scan;
    long count = Number();
    if (count == -1) count = 2;
    if (count < 1 || count > kMaxLoopCount) Fail(scan, "ループ回数は1から999までです。");
    loops_.push_back({saved, pos_, static_cast<int>(count), 1});
    pos_ = saved;
  }
  void CloseLoop() {
    if (loops_.empty()) Fail(pos_ - 1, "「]」に対応する「[」がありません。");
    Loop& loop = loops_.back();
    if (loop.pass < loop.count) {
      ++loop.pass;
      pos_ = loop.start;
    } else {
      pos_ = loop.after;
      loops_.pop_back();
    }
  }
  void LeaveLastPass() {
    if (loops_.empty()) Fail(pos_ - 1, "「:」はループの中でしか使えません。");
    if (loops_.back().pass == loops_.back().count) {
      pos_ = loops_.back().after;
      loops_.pop_back();
    }
  }

  void Step() {
    if (++steps_ > kMaxSteps) Fail(pos_, "曲が長すぎます。");
    SkipBlanks();
    if (pos_ >= text_.size()) return;
    if (text_.compare(pos_, 2, "ch") == 0) {
      pos_ += 2;
      FlushTie(Current());
      Current().channel = static_cast<int>(NumberIn(1, 16, "チャンネルは1から16までです。")) - 1;
      return;
    }
    char c = text_[pos_++];
    static constexpr int kSemitones[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    if (c >= 'a' && c <= 'g') return Note(kSemitones[c - 'a']);
    switch (c) {
      case 'r':
        return Rest();
      case 'o':
        Current().octave = static_cast<int>(NumberIn(0, 9, "オクターブは0から9までです。"));
        return;
      case '>':
        if (++Current().octave > 9) Fail(pos_ - 1, "オクターブは0から9までです。");
        return;
      case '<':
        if (--Current().octave < 0) Fail(pos_ - 1, "オクターブは0から9までです。");
        return;
      case 'l': {
        std::int64_t ticks = Length(Current().default_length);
        Current().default_length = static_cast<int>(ticks);
        return;
      }
      case 't':
        return Tempo();
      case 'v':
        Current().volume = static_cast<int>(NumberIn(0, 15, "音量は0から15までです。"));
        return;
      case 'q':
        Current().gate = static_cast<int>(NumberIn(1, 8, "ゲートは1から8までです。"));
        return;
      case '@': {
        FlushTie(Current());
        int program = static_cast<int>(NumberIn(0, 127, "音色は0から127までです。"));
        Add(Current(), Current().tick, 1, ChannelMessage(0xC0, program));
        return;
      }
      case '[':
        return OpenLoop();
      case ']':
        return CloseLoop();
      case ':':
        return LeaveLastPass();
      case ';':
        return NextTrack();
      default:
        Fail(pos_ - 1, "MMLに使えない文字です。");
    }
  }

  std::string Smf() const {
    std::string out = "MThd";
    put_be(out, 6, 4);
    put_be(out, 1, 2);
    put_be(out, static_cast<std::uint32_t>(tracks_.size() + 1), 2);
    put_be(out, kTicksPerQuarter, 2);
    std::vector<Event> conductor = tempo_;
    if (conductor.empty() || conductor.front().tick > 0)
      conductor.insert(conductor.begin(), {0, 0, std::string("\xFF\x51\x03\x07\xA1\x20", 6)});
    out += track_chunk(conductor);
    for (const Track& t : tracks_) out += track_chunk(t.events);
    return out;
  }

  std::string text_;
  std::size_t pos_ = 0;
  std::vector<Track> tracks_;
  std::vector<Event> tempo_;
  std::vector<Loop> loops_;
  std::size_t events_ = 0;
  std::size_t steps_ = 0;
};

}  // namespace

std::string mml_to_midi(std::string_view mml) {
  return MmlReader(mml).Convert();
}

}  // namespace morivel::media
