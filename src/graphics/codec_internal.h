// Shared plumbing of the image codecs: bounds-checked byte reading, writing and size limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "graphics/bitmap.h"
#include "graphics/codecs.h"

namespace morivel::graphics::detail {

// 16384 pixels a side and 64 Mi pixels (256 MB of ARGB) in all: more than any picture a script
// shows, and small enough that a hostile header cannot make us allocate gigabytes.
constexpr std::int64_t kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;

inline bool DimensionsAllowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
         width * height <= kMaxPixels;
}

// Throws ImageError for zero, negative or oversized pictures.
void CheckDimensions(std::int64_t width, std::int64_t height);

// Reads little-endian values; running past the end throws ImageError("truncated ...").
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes, std::size_t pos = 0) : bytes_(bytes) { Seek(pos); }

  std::size_t Pos() const { return pos_; }
  std::size_t Remaining() const { return bytes_.size() - pos_; }
  void Seek(std::size_t pos);
  void Skip(std::size_t count) { Take(count); }
  std::string_view Take(std::size_t count);
  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

 private:
  void Need(std::size_t count) const;

  std::string_view bytes_;
  std::size_t pos_ = 0;
};

void PutU8(std::string& out, unsigned value);
void PutU16(std::string& out, unsigned value);
void PutU32(std::string& out, std::uint32_t value);

// The bytes [offset, offset + size) of `bytes`, or ImageError when they are not all there.
std::string_view Slice(std::string_view bytes, std::uint64_t offset, std::uint64_t size);

constexpr std::uint32_t Argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return (std::uint32_t{a} << 24) | (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b;
}
constexpr unsigned AlphaOf(std::uint32_t argb) {
  return argb >> 24;
}
constexpr unsigned RedOf(std::uint32_t argb) {
  return (argb >> 16) & 0xFF;
}
constexpr unsigned GreenOf(std::uint32_t argb) {
  return (argb >> 8) & 0xFF;
}
constexpr unsigned BlueOf(std::uint32_t argb) {
  return argb & 0xFF;
}

Bitmap DecodeBmp(std::string_view bytes);
std::string EncodeBmp(const Bitmap& bitmap);
// The bare DIB an icon entry holds: doubled height, colour pixels, then the 1-bit mask.
Bitmap DecodeIconDib(std::string_view dib);
Bitmap DecodeIco(std::string_view bytes);
std::string EncodeIco(const Bitmap& bitmap);
Bitmap DecodePng(std::string_view bytes);
std::string EncodePng(const Bitmap& bitmap);
Bitmap DecodeJpeg(std::string_view bytes);
std::string EncodeJpeg(const Bitmap& bitmap, int quality);
Bitmap DecodeMag(std::string_view bytes);
std::string EncodeMag(const Bitmap& bitmap);
Bitmap DecodeGif(std::string_view bytes);

}  // namespace morivel::graphics::detail
