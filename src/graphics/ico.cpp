// Reads the best picture of an icon file (DIB or PNG entries); writes single-picture 32-bit icons.
#include <cstdint>
#include <string>
#include <string_view>

#include "graphics/codec_internal.h"

namespace morivel::graphics::detail {

namespace {

constexpr int kMaxIconSide = 256;
constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;

struct IconEntry {
  int width = 0;
  int height = 0;
  int bpp = 0;
  std::uint32_t size = 0;
  std::uint32_t offset = 0;
};

IconEntry ReadEntry(ByteReader& in) {
  IconEntry e;
  e.width = in.U8();
  e.height = in.U8();
  if (e.width == 0) e.width = kMaxIconSide;  // a zero byte stands for 256
  if (e.height == 0) e.height = kMaxIconSide;
  in.Skip(4);  // colour count, reserved, planes (hotspot x for cursors)
  e.bpp = in.U16();
  e.size = in.U32();
  e.offset = in.U32();
  return e;
}

// Largest area first, then the deepest colour.
bool Better(const IconEntry& a, const IconEntry& b) {
  const int area_a = a.width * a.height;
  const int area_b = b.width * b.height;
  return area_a != area_b ? area_a > area_b : a.bpp > b.bpp;
}

}  // namespace

Bitmap DecodeIco(std::string_view bytes) {
  ByteReader in(bytes);
  const unsigned reserved = in.U16();
  const unsigned type = in.U16();
  const unsigned count = in.U16();
  if (reserved != 0 || (type != 1 && type != 2)) throw ImageError("not an icon file");
  if (count == 0) throw ImageError("icon holds no picture");
  IconEntry best;
  for (unsigned i = 0; i < count; ++i) {
    const IconEntry entry = ReadEntry(in);
    if (i == 0 || Better(entry, best)) best = entry;
  }
  const std::string_view image = Slice(bytes, best.offset, best.size);
  if (image.starts_with("\x89PNG\r\n\x1a\n")) return DecodePng(image);
  return DecodeIconDib(image);
}

std::string EncodeIco(const Bitmap& bitmap) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  if (width > kMaxIconSide || height > kMaxIconSide)
    throw ImageError("icon larger than 256 pixels");
  const std::uint32_t mask_stride = (static_cast<std::uint32_t>(width) + 31) / 32 * 4;
  const std::uint32_t color_bytes = static_cast<std::uint32_t>(width * height * 4);
  const std::uint32_t mask_bytes = mask_stride * static_cast<std::uint32_t>(height);
  const std::uint32_t dib_size = 40 + color_bytes + mask_bytes;

  std::string out;
  PutU16(out, 0);
  PutU16(out, 1);
  PutU16(out, 1);
  PutU8(out, width % kMaxIconSide);
  PutU8(out, height % kMaxIconSide);
  PutU8(out, 0);  // no palette
  PutU8(out, 0);
  PutU16(out, 1);
  PutU16(out, 32);
  PutU32(out, dib_size);
  PutU32(out, kDirectorySize + kEntrySize);

  PutU32(out, 40);
  PutU32(out, static_cast<std::uint32_t>(width));
  PutU32(out, static_cast<std::uint32_t>(height * 2));
  PutU16(out, 1);
  PutU16(out, 32);
  PutU32(out, 0);
  PutU32(out, color_bytes + mask_bytes);
  out.append(16, '\0');  // resolution and colour counts

  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t argb = bitmap.Pixel(x, y);
      PutU8(out, BlueOf(argb));
      PutU8(out, GreenOf(argb));
      PutU8(out, RedOf(argb));
      PutU8(out, AlphaOf(argb));
    }
  }
  // The mask marks fully transparent pixels for readers that ignore alpha.
  for (int y = height - 1; y >= 0; --y) {
    std::string row(mask_stride, '\0');
    for (int x = 0; x < width; ++x) {
      if (AlphaOf(bitmap.Pixel(x, y)) == 0)
        row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
    out += row;
  }
  return out;
}

}  // namespace morivel::graphics::detail
