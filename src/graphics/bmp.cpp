// Reads BMP files and the DIBs inside icons; writes 24-bit BMPs, or 32-bit ones with alpha.
#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/codec_internal.h"

namespace morivel::graphics::detail {

namespace {

enum Compression : std::uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitfields = 3,
  kAlphaBitfields = 6
};

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kV4HeaderSize = 108;

struct DibHeader {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool top_down = false;
  int bpp = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t colors_used = 0;
  bool core = false;                     // OS/2 header: 16-bit sizes and 3-byte palette entries
  std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
  bool explicit_alpha = false;           // the header itself declares an alpha mask
};

void ReadMasks(ByteReader& in, DibHeader& h, bool with_alpha) {
  for (int i = 0; i < 3; ++i) h.masks[i] = in.U32();
  if (with_alpha) h.masks[3] = in.U32();
}

DibHeader ReadInfoHeader(ByteReader& in) {
  const std::size_t start = in.Pos();
  const std::uint32_t size = in.U32();
  DibHeader h;
  if (size == kCoreHeaderSize) {
    h.core = true;
    h.width = in.U16();
    h.height = in.U16();
    in.U16();  // planes
    h.bpp = in.U16();
    return h;
  }
  if (size < kInfoHeaderSize || size > 1024) throw ImageError("unsupported BMP header");
  h.width = in.I32();
  const std::int64_t height = in.I32();
  h.top_down = height < 0;
  h.height = h.top_down ? -height : height;
  in.U16();  // planes
  h.bpp = in.U16();
  h.compression = in.U32();
  in.Skip(12);  // image size, resolution
  h.colors_used = in.U32();
  in.U32();  // important colours
  if (size >= 52) ReadMasks(in, h, size >= 56);
  in.Seek(start + size);
  // A plain info header keeps its masks right after itself.
  if (size == kInfoHeaderSize &&
      (h.compression == kBitfields || h.compression == kAlphaBitfields)) {
    ReadMasks(in, h, h.compression == kAlphaBitfields);
  }
  h.explicit_alpha = h.masks[3] != 0 && (size >= 56 || h.compression == kAlphaBitfields);
  return h;
}

void ValidateHeader(DibHeader& h) {
  CheckDimensions(h.width, h.height);
  const int bpp = h.bpp;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    throw ImageError("unsupported BMP bit depth");
  }
  switch (h.compression) {
    case kRgb:
      if (bpp == 16) h.masks = {0x7C00, 0x03E0, 0x001F, 0};
      if (bpp == 32) h.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
      break;
    case kRle8:
    case kRle4:
      if (bpp != (h.compression == kRle8 ? 8 : 4)) throw ImageError("bad BMP compression");
      if (h.top_down) throw ImageError("bad BMP compression");
      break;
    case kBitfields:
    case kAlphaBitfields:
      if (bpp != 16 && bpp != 32) throw ImageError("bad BMP compression");
      break;
    default:
      throw ImageError("unsupported BMP compression");
  }
}

std::vector<std::uint32_t> ReadPalette(ByteReader& in, const DibHeader& h) {
  if (h.bpp > 8) {
    return {};
  }
  const std::uint32_t max_colors = 1u << h.bpp;
  const std::uint32_t count = h.colors_used == 0 ? max_colors : h.colors_used;
  if (count > max_colors) throw ImageError("BMP palette larger than its bit depth allows");
  std::vector<std::uint32_t> palette(count);
  for (auto& color : palette) {
    const unsigned b = in.U8();
    const unsigned g = in.U8();
    const unsigned r = in.U8();
    if (!h.core) in.U8();
    color = Argb(0xFF, r, g, b);
  }
  return palette;
}

std::uint32_t Lookup(const std::vector<std::uint32_t>& palette, unsigned index) {
  // Windows shows indices past a short palette as black rather than refusing the file.
  return index < palette.size() ? palette[index] : Argb(0xFF, 0, 0, 0);
}

unsigned Channel(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const std::uint64_t max = mask >> shift;
  return static_cast<unsigned>(((value & mask) >> shift) * 255 / max);
}

unsigned IndexAt(const unsigned char* row, std::int64_t x, int bpp) {
  switch (bpp) {
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
      return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    default:
      return row[x];
  }
}

std::uint32_t DirectPixel(const unsigned char* row, std::int64_t x, const DibHeader& h) {
  if (h.bpp == 24) {
    const unsigned char* p = row + x * 3;
    return Argb(0xFF, p[2], p[1], p[0]);
  }
  std::uint32_t value = 0;
  const int bytes = h.bpp / 8;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | row[x * bytes + i];
  const unsigned alpha = h.masks[3] ? Channel(value, h.masks[3]) : 0xFF;
  return Argb(alpha, Channel(value, h.masks[0]), Channel(value, h.masks[1]),
              Channel(value, h.masks[2]));
}

std::int64_t RowStride(std::int64_t width, int bpp) {
  return (width * bpp + 31) / 32 * 4;
}

int LineOf(const DibHeader& h, std::int64_t row) {
  return static_cast<int>(h.top_down ? row : h.height - 1 - row);
}

void ReadUncompressed(ByteReader& in, const DibHeader& h, const std::vector<std::uint32_t>& palette,
                      Bitmap& picture) {
  const std::int64_t stride = RowStride(h.width, h.bpp);
  const std::string_view data = in.Take(static_cast<std::size_t>(stride * h.height));
  for (std::int64_t row = 0; row < h.height; ++row) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data() + row * stride);
    const int y = LineOf(h, row);
    for (std::int64_t x = 0; x < h.width; ++x) {
      const std::uint32_t color =
          h.bpp <= 8 ? Lookup(palette, IndexAt(bytes, x, h.bpp)) : DirectPixel(bytes, x, h);
      picture.SetPixel(static_cast<int>(x), y, color);
    }
  }
}

// Run-length data: (count, value) runs and escapes for end of line, end of picture, a jump and
// literal stretches. Pixels it never reaches keep palette colour 0.
class RleReader {
 public:
  RleReader(ByteReader& in, const DibHeader& h, const std::vector<std::uint32_t>& palette,
            Bitmap& picture)
      : in_(in), h_(h), palette_(palette), picture_(picture) {}

  void Run() {
    for (;;) {
      const unsigned count = in_.U8();
      const unsigned value = in_.U8();
      if (count > 0) {
        for (unsigned i = 0; i < count; ++i) Put(RunIndex(value, i));
      } else if (value == 0) {
        x_ = 0;
        ++row_;
      } else if (value == 1) {
        return;
      } else if (value == 2) {
        x_ += in_.U8();
        row_ += in_.U8();
      } else {
        Literal(value);
      }
    }
  }

 private:
  bool Rle8() const { return h_.compression == kRle8; }

  unsigned RunIndex(unsigned value, unsigned i) const {
    if (Rle8()) return value;
    return i % 2 == 0 ? value >> 4 : value & 0x0F;
  }

  void Literal(unsigned count) {
    const std::size_t bytes = Rle8() ? count : (count + 1) / 2;
    const std::string_view data = in_.Take(bytes);
    for (unsigned i = 0; i < count; ++i) {
      const unsigned byte = static_cast<unsigned char>(data[Rle8() ? i : i / 2]);
      Put(RunIndex(byte, i));
    }
    if (bytes % 2 != 0) in_.Skip(1);  // literal stretches end on a 16-bit boundary
  }

  void Put(unsigned index) {
    if (x_ < h_.width && row_ < h_.height) {
      picture_.SetPixel(static_cast<int>(x_), LineOf(h_, row_), Lookup(palette_, index));
    }
    ++x_;
  }

  ByteReader& in_;
  const DibHeader& h_;
  const std::vector<std::uint32_t>& palette_;
  Bitmap& picture_;
  std::int64_t x_ = 0;
  std::int64_t row_ = 0;
};

int RecordedDepth(const DibHeader& h) {
  return h.bpp == 16 ? 24 : h.bpp;
}

// 32-bit files without a declared alpha mask often leave the fourth byte zero; a picture whose
// alpha is zero everywhere is taken as opaque.
void DropUnusedAlpha(const DibHeader& h, Bitmap& picture) {
  if (h.bpp != 32 || h.explicit_alpha) return;
  for (std::uint32_t argb : picture.Pixels()) {
    if (AlphaOf(argb) != 0) return;
  }
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x)
      picture.SetPixel(x, y, picture.Pixel(x, y) | 0xFF000000u);
  }
}

Bitmap ReadPixels(ByteReader& in, const DibHeader& h, const std::vector<std::uint32_t>& palette) {
  const std::uint32_t background = palette.empty() ? Argb(0xFF, 0, 0, 0) : palette[0];
  Bitmap picture(static_cast<int>(h.width), static_cast<int>(h.height), RecordedDepth(h),
                 background);
  if (h.compression == kRle8 || h.compression == kRle4) {
    RleReader(in, h, palette, picture).Run();
  } else {
    ReadUncompressed(in, h, palette, picture);
  }
  DropUnusedAlpha(h, picture);
  return picture;
}

// The 1-bit mask after an icon's colour pixels: set bits are transparent. Pictures with their own
// alpha ignore it, as Windows does.
void ApplyIconMask(ByteReader& in, const DibHeader& h, Bitmap& picture) {
  const std::int64_t stride = RowStride(h.width, 1);
  const std::string_view mask = in.Take(static_cast<std::size_t>(stride * h.height));
  if (h.bpp == 32 && picture.HasAlpha()) return;
  for (std::int64_t row = 0; row < h.height; ++row) {
    const auto* bits = reinterpret_cast<const unsigned char*>(mask.data() + row * stride);
    const int y = LineOf(h, row);
    for (std::int64_t x = 0; x < h.width; ++x) {
      const int px = static_cast<int>(x);
      const std::uint32_t argb = picture.Pixel(px, y);
      picture.SetPixel(px, y, IndexAt(bits, x, 1) ? argb & 0x00FFFFFFu : argb | 0xFF000000u);
    }
  }
}

void PutPixelRows(std::string& out, const Bitmap& bitmap, bool alpha) {
  const int bytes = alpha ? 4 : 3;
  const std::int64_t padding = RowStride(bitmap.Width(), bytes * 8) - bitmap.Width() * bytes;
  for (int y = bitmap.Height() - 1; y >= 0; --y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const std::uint32_t argb = bitmap.Pixel(x, y);
      PutU8(out, BlueOf(argb));
      PutU8(out, GreenOf(argb));
      PutU8(out, RedOf(argb));
      if (alpha) PutU8(out, AlphaOf(argb));
    }
    out.append(static_cast<std::size_t>(padding), '\0');
  }
}

}  // namespace

Bitmap DecodeBmp(std::string_view bytes) {
  ByteReader in(bytes);
  if (in.Take(2) != "BM") throw ImageError("not a BMP file");
  in.Skip(8);  // file size and reserved words: often wrong, never needed
  const std::uint32_t pixel_offset = in.U32();
  DibHeader h = ReadInfoHeader(in);
  ValidateHeader(h);
  const std::vector<std::uint32_t> palette = ReadPalette(in, h);
  // Some writers leave the offset zero or pointing into the header; the pixels follow the palette.
  if (pixel_offset >= in.Pos()) in.Seek(pixel_offset);
  return ReadPixels(in, h, palette);
}

Bitmap DecodeIconDib(std::string_view dib) {
  ByteReader in(dib);
  DibHeader h = ReadInfoHeader(in);
  h.height /= 2;  // colour pixels and mask are counted together
  ValidateHeader(h);
  if (h.compression == kRle8 || h.compression == kRle4) throw ImageError("bad icon compression");
  const std::vector<std::uint32_t> palette = ReadPalette(in, h);
  if (h.bpp > 8) in.Skip(std::size_t{h.colors_used} * 4);
  Bitmap picture = ReadPixels(in, h, palette);
  ApplyIconMask(in, h, picture);
  return picture;
}

std::string EncodeBmp(const Bitmap& bitmap) {
  const bool alpha = bitmap.HasAlpha();
  const int bpp = alpha ? 32 : 24;
  const std::uint32_t header_size = alpha ? kV4HeaderSize : kInfoHeaderSize;
  const std::int64_t image_size = RowStride(bitmap.Width(), bpp) * bitmap.Height();
  const std::int64_t file_size = kFileHeaderSize + header_size + image_size;
  if (file_size > 0xFFFFFFFF) throw ImageError("picture is too large");
  std::string out;
  out.reserve(static_cast<std::size_t>(file_size));
  out += "BM";
  PutU32(out, static_cast<std::uint32_t>(file_size));
  PutU32(out, 0);
  PutU32(out, kFileHeaderSize + header_size);
  PutU32(out, header_size);
  PutU32(out, static_cast<std::uint32_t>(bitmap.Width()));
  PutU32(out, static_cast<std::uint32_t>(bitmap.Height()));  // positive: bottom-up rows
  PutU16(out, 1);
  PutU16(out, bpp);
  PutU32(out, alpha ? kBitfields : kRgb);
  PutU32(out, static_cast<std::uint32_t>(image_size));
  PutU32(out, 2835);  // 72 dpi
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  if (alpha) {
    for (std::uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u})
      PutU32(out, mask);
    PutU32(out, 0x73524742);    // 'sRGB' colour space
    out.append(36 + 12, '\0');  // end points and gamma, unused with sRGB
  }
  PutPixelRows(out, bitmap, alpha);
  return out;
}

}  // namespace morivel::graphics::detail
