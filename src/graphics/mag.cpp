// Reads and writes MAG pictures (16 or 256 colours, flag-compressed).
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "graphics/codec_internal.h"

namespace morivel::graphics::detail {

namespace {

constexpr std::string_view kMagic = "MAKI02  ";
constexpr std::size_t kUserNameEnd = 8 + 4 + 18;  // magic, machine code, user name
constexpr char kCommentEnd = 0x1A;
constexpr std::size_t kHeaderSize = 32;
constexpr unsigned k256ColorMode = 0x80;

// Where a flag nibble copies its two pixel bytes from: units to the left, lines up.
struct CopySource {
  int units_left;
  int lines_up;
};
// clang-format off
constexpr std::array<CopySource, 16> kCopySources{{
    {0, 0}, {1, 0}, {2, 0}, {4, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2},
    {2, 2}, {0, 4}, {1, 4}, {2, 4}, {0, 8}, {1, 8}, {2, 8}, {0, 16}}};
// clang-format on

// A unit is two bytes of pixel data: four 16-colour pixels or two 256-colour ones. One flag
// byte covers two units, so lines are stored in whole flag bytes.
struct Geometry {
  int colors = 16;
  int first_x = 0;  // leftmost stored pixel, on a flag-byte boundary
  int skip = 0;     // stored pixels left of the picture
  int width = 0;    // picture width
  int height = 0;
  int flag_bytes = 0;  // per line
  std::size_t line_bytes = 0;

  int PixelsPerUnit() const { return colors == 256 ? 2 : 4; }
};

Geometry MakeGeometry(int colors, int x0, int x1, int height) {
  Geometry g;
  g.colors = colors;
  const int pixels_per_flag = g.PixelsPerUnit() * 2;
  g.first_x = x0 / pixels_per_flag * pixels_per_flag;
  g.skip = x0 - g.first_x;
  g.width = x1 - x0 + 1;
  g.height = height;
  const int stored = (x1 / pixels_per_flag + 1) * pixels_per_flag - g.first_x;
  g.flag_bytes = stored / pixels_per_flag;
  g.line_bytes = static_cast<std::size_t>(g.flag_bytes) * 4;
  return g;
}

unsigned StoredIndex(const Geometry& g, const std::vector<unsigned char>& raw, int y, int px) {
  const std::size_t line = static_cast<std::size_t>(y) * g.line_bytes;
  if (g.colors == 256) return raw[line + static_cast<std::size_t>(px)];
  const unsigned byte = raw[line + static_cast<std::size_t>(px) / 2];
  return px % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

class BitStream {
 public:
  explicit BitStream(std::string_view bytes) : bytes_(bytes) {}
  bool Next() {
    const unsigned byte = static_cast<unsigned char>(bytes_[bit_ / 8]);
    const bool bit = (byte >> (7 - bit_ % 8)) & 1;
    ++bit_;
    return bit;
  }

 private:
  std::string_view bytes_;
  std::size_t bit_ = 0;
};

// Rebuilds the stored pixel bytes: each flag nibble either takes two literal bytes from the pixel
// stream (nibble 0) or copies a unit already decoded.
std::vector<unsigned char> Unpack(const Geometry& g, std::string_view flag_a,
                                  std::string_view flag_b, std::string_view pixels) {
  std::vector<unsigned char> raw(g.line_bytes * static_cast<std::size_t>(g.height));
  std::vector<unsigned char> flags(static_cast<std::size_t>(g.flag_bytes), 0);
  BitStream a(flag_a);
  ByteReader b(flag_b);
  ByteReader literal(pixels);
  for (int y = 0; y < g.height; ++y) {
    for (auto& flag : flags) {
      if (a.Next()) flag ^= b.U8();  // flags are stored as changes against the line above
    }
    unsigned char* line = raw.data() + static_cast<std::size_t>(y) * g.line_bytes;
    for (int unit = 0; unit < g.flag_bytes * 2; ++unit) {
      const unsigned flag = flags[static_cast<std::size_t>(unit / 2)];
      const unsigned nibble = unit % 2 == 0 ? flag >> 4 : flag & 0x0F;
      unsigned char* dst = line + static_cast<std::size_t>(unit) * 2;
      if (nibble == 0) {
        const std::string_view two = literal.Take(2);
        dst[0] = static_cast<unsigned char>(two[0]);
        dst[1] = static_cast<unsigned char>(two[1]);
        continue;
      }
      const CopySource from = kCopySources[nibble];
      if (unit < from.units_left || y < from.lines_up) throw ImageError("MAG copy outside picture");
      const unsigned char* src =
          dst - static_cast<std::ptrdiff_t>(from.units_left) * 2 -
          static_cast<std::ptrdiff_t>(from.lines_up) * static_cast<std::ptrdiff_t>(g.line_bytes);
      dst[0] = src[0];
      dst[1] = src[1];
    }
  }
  return raw;
}

std::vector<std::uint32_t> ReadPalette(ByteReader& in, int colors) {
  std::vector<std::uint32_t> palette(static_cast<std::size_t>(colors));
  for (auto& color : palette) {
    const unsigned g = in.U8();
    const unsigned r = in.U8();
    const unsigned b = in.U8();
    color = Argb(0xFF, r, g, b);
  }
  return palette;
}

// The palette and stored indices of a picture about to be written.
struct Indexed {
  std::vector<std::uint32_t> palette;  // 0xRRGGBB
  std::vector<unsigned char> indices;  // one per pixel, row-major
};

// Exact when the picture has at most 256 colours; otherwise a fixed 6x7x6 colour cube.
Indexed Quantise(const Bitmap& bitmap) {
  Indexed out;
  out.indices.reserve(bitmap.Pixels().size());
  std::unordered_map<std::uint32_t, unsigned char> seen;
  for (std::uint32_t argb : bitmap.Pixels()) {
    const std::uint32_t rgb = argb & 0xFFFFFF;
    auto it = seen.find(rgb);
    if (it == seen.end()) {
      if (out.palette.size() == 256) break;
      it = seen.emplace(rgb, static_cast<unsigned char>(out.palette.size())).first;
      out.palette.push_back(rgb);
    }
    out.indices.push_back(it->second);
  }
  if (out.indices.size() == bitmap.Pixels().size()) return out;

  out = Indexed{};
  constexpr unsigned kLevels[3] = {6, 7, 6};
  for (unsigned r = 0; r < kLevels[0]; ++r) {
    for (unsigned g = 0; g < kLevels[1]; ++g) {
      for (unsigned b = 0; b < kLevels[2]; ++b) {
        out.palette.push_back(Argb(0, r * 255 / 5, g * 255 / 6, b * 255 / 5));
      }
    }
  }
  for (std::uint32_t argb : bitmap.Pixels()) {
    const unsigned r = (RedOf(argb) * 5 + 127) / 255;
    const unsigned g = (GreenOf(argb) * 6 + 127) / 255;
    const unsigned b = (BlueOf(argb) * 5 + 127) / 255;
    out.indices.push_back(static_cast<unsigned char>((r * kLevels[1] + g) * kLevels[2] + b));
  }
  return out;
}

std::vector<unsigned char> Pack(const Geometry& g, const Indexed& picture) {
  std::vector<unsigned char> raw(g.line_bytes * static_cast<std::size_t>(g.height), 0);
  for (int y = 0; y < g.height; ++y) {
    unsigned char* line = raw.data() + static_cast<std::size_t>(y) * g.line_bytes;
    for (int x = 0; x < g.width; ++x) {
      const unsigned index = picture.indices[static_cast<std::size_t>(y) * g.width + x];
      if (g.colors == 256) {
        line[x] = static_cast<unsigned char>(index);
      } else {
        line[x / 2] = static_cast<unsigned char>(line[x / 2] | (x % 2 == 0 ? index << 4 : index));
      }
    }
  }
  return raw;
}

struct Streams {
  std::string flag_a;
  std::string flag_b;
  std::string pixels;
};

unsigned ChooseNibble(const Geometry& g, const std::vector<unsigned char>& raw, int y, int unit) {
  const unsigned char* here = raw.data() + static_cast<std::size_t>(y) * g.line_bytes + unit * 2;
  for (unsigned nibble = 1; nibble < kCopySources.size(); ++nibble) {
    const CopySource from = kCopySources[nibble];
    if (unit < from.units_left || y < from.lines_up) continue;
    const unsigned char* src =
        here - static_cast<std::ptrdiff_t>(from.units_left) * 2 -
        static_cast<std::ptrdiff_t>(from.lines_up) * static_cast<std::ptrdiff_t>(g.line_bytes);
    if (src[0] == here[0] && src[1] == here[1]) return nibble;
  }
  return 0;
}

Streams Compress(const Geometry& g, const std::vector<unsigned char>& raw) {
  Streams out;
  std::vector<unsigned char> previous(static_cast<std::size_t>(g.flag_bytes), 0);
  unsigned bits = 0;
  int bit_count = 0;
  for (int y = 0; y < g.height; ++y) {
    for (int i = 0; i < g.flag_bytes; ++i) {
      unsigned flag = 0;
      for (int unit = i * 2; unit < i * 2 + 2; ++unit) {
        const unsigned nibble = ChooseNibble(g, raw, y, unit);
        flag = (flag << 4) | nibble;
        if (nibble == 0) {
          const std::size_t at = static_cast<std::size_t>(y) * g.line_bytes + unit * 2;
          out.pixels.push_back(static_cast<char>(raw[at]));
          out.pixels.push_back(static_cast<char>(raw[at + 1]));
        }
      }
      const unsigned change = flag ^ previous[static_cast<std::size_t>(i)];
      previous[static_cast<std::size_t>(i)] = static_cast<unsigned char>(flag);
      bits = (bits << 1) | (change != 0 ? 1u : 0u);
      if (change != 0) out.flag_b.push_back(static_cast<char>(change));
      if (++bit_count == 8) {
        out.flag_a.push_back(static_cast<char>(bits));
        bits = 0;
        bit_count = 0;
      }
    }
  }
  if (bit_count > 0) out.flag_a.push_back(static_cast<char>(bits << (8 - bit_count)));
  return out;
}

}  // namespace

Bitmap DecodeMag(std::string_view bytes) {
  if (!bytes.starts_with(kMagic)) throw ImageError("not a MAG file");
  const std::size_t comment_end = bytes.find(kCommentEnd, kUserNameEnd);
  if (comment_end == std::string_view::npos) throw ImageError("truncated data");
  const std::size_t header = comment_end + 1;
  ByteReader in(bytes, header);
  in.Skip(3);  // always-zero byte, machine code, machine flags
  const unsigned mode = in.U8();
  const int x0 = in.U16();
  const int y0 = in.U16();
  const int x1 = in.U16();
  const int y1 = in.U16();
  const std::uint32_t flag_a_offset = in.U32();
  const std::uint32_t flag_b_offset = in.U32();
  const std::uint32_t flag_b_size = in.U32();
  const std::uint32_t pixel_offset = in.U32();
  const std::uint32_t pixel_size = in.U32();
  const int colors = (mode & k256ColorMode) ? 256 : 16;
  const std::vector<std::uint32_t> palette = ReadPalette(in, colors);
  if (x1 < x0 || y1 < y0) throw ImageError("picture has no pixels");
  CheckDimensions(x1 - x0 + 1, y1 - y0 + 1);

  const Geometry g = MakeGeometry(colors, x0, x1, y1 - y0 + 1);
  const std::uint64_t flag_a_size =
      (std::uint64_t{static_cast<unsigned>(g.flag_bytes)} * g.height + 7) / 8;
  const std::string_view rest = bytes.substr(header);
  const std::vector<unsigned char> raw =
      Unpack(g, Slice(rest, flag_a_offset, flag_a_size), Slice(rest, flag_b_offset, flag_b_size),
             Slice(rest, pixel_offset, pixel_size));

  Bitmap picture(g.width, g.height, colors == 256 ? 8 : 4);
  for (int y = 0; y < g.height; ++y) {
    for (int x = 0; x < g.width; ++x) {
      picture.SetPixel(x, y, palette[StoredIndex(g, raw, y, x + g.skip)]);
    }
  }
  return picture;
}

std::string EncodeMag(const Bitmap& bitmap) {
  if (bitmap.Width() > 0x10000 || bitmap.Height() > 0x10000)
    throw ImageError("picture is too large");
  const Indexed picture = Quantise(bitmap);
  const int colors = picture.palette.size() <= 16 ? 16 : 256;
  const Geometry g = MakeGeometry(colors, 0, bitmap.Width() - 1, bitmap.Height());
  const Streams streams = Compress(g, Pack(g, picture));

  std::string out(kMagic);
  out += "MRVL";                // machine code
  out += "Morivel           ";  // user name, 18 bytes
  out.push_back(kCommentEnd);
  const std::uint32_t flag_a_offset = static_cast<std::uint32_t>(kHeaderSize + colors * 3);
  const std::uint32_t flag_b_offset =
      flag_a_offset + static_cast<std::uint32_t>(streams.flag_a.size());
  const std::uint32_t pixel_offset =
      flag_b_offset + static_cast<std::uint32_t>(streams.flag_b.size());
  PutU8(out, 0);
  PutU8(out, 0);
  PutU8(out, 0);
  PutU8(out, colors == 256 ? k256ColorMode : 0);
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, static_cast<unsigned>(bitmap.Width() - 1));
  PutU16(out, static_cast<unsigned>(bitmap.Height() - 1));
  PutU32(out, flag_a_offset);
  PutU32(out, flag_b_offset);
  PutU32(out, static_cast<std::uint32_t>(streams.flag_b.size()));
  PutU32(out, pixel_offset);
  PutU32(out, static_cast<std::uint32_t>(streams.pixels.size()));
  for (int i = 0; i < colors; ++i) {
    const std::uint32_t rgb =
        static_cast<std::size_t>(i) < picture.palette.size() ? picture.palette[i] : 0;
    PutU8(out, GreenOf(rgb));
    PutU8(out, RedOf(rgb));
    PutU8(out, BlueOf(rgb));
  }
  out += streams.flag_a;
  out += streams.flag_b;
  out += streams.pixels;
  return out;
}

}  // namespace morivel::graphics::detail
