// Reads and writes PNG pictures through libpng's memory-to-memory interface.
#include <png.h>

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/codec_internal.h"

namespace morivel::graphics::detail {

namespace {

constexpr std::string_view kSignature = "\x89PNG\r\n\x1a\n";
constexpr unsigned kColorTypePalette = 3;

std::uint32_t BigEndian32(std::string_view bytes, std::size_t pos) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = (value << 8) | static_cast<unsigned char>(bytes[pos + i]);
  return value;
}

// libpng's memory reader stops happily before the end chunk; a file without one was cut short.
bool ChunksEndWithIend(std::string_view bytes) {
  std::size_t pos = kSignature.size();
  while (bytes.size() - pos >= 12) {
    const std::uint32_t length = BigEndian32(bytes, pos);
    if (length > bytes.size() - pos - 12) return false;
    if (bytes.substr(pos + 4, 4) == "IEND") return true;
    pos += 12 + length;
  }
  return false;
}

// The depth the file itself used, read from the header chunk that always comes first.
int RecordedDepth(std::string_view bytes, bool alpha) {
  if (alpha) return 32;
  const std::size_t depth_at = kSignature.size() + 16;
  if (bytes.size() < depth_at + 2) return 24;
  const unsigned depth = static_cast<unsigned char>(bytes[depth_at]);
  const unsigned color_type = static_cast<unsigned char>(bytes[depth_at + 1]);
  if (color_type != kColorTypePalette) return 24;
  return depth == 1 ? 1 : depth <= 4 ? 4 : 8;
}

struct PngImage {
  png_image image{};
  PngImage() { image.version = PNG_IMAGE_VERSION; }
  ~PngImage() { png_image_free(&image); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;

  [[noreturn]] void Fail() const {
    throw ImageError(image.message[0] ? image.message : "bad PNG data");
  }
};

}  // namespace

Bitmap DecodePng(std::string_view bytes) {
  if (!bytes.starts_with(kSignature)) throw ImageError("not a PNG file");
  if (!ChunksEndWithIend(bytes)) throw ImageError("truncated data");
  PngImage reader;
  png_image& image = reader.image;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) reader.Fail();
  CheckDimensions(image.width, image.height);
  const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_BGRA;
  const int width = static_cast<int>(image.width);
  const int height = static_cast<int>(image.height);
  Bitmap picture(width, height, RecordedDepth(bytes, alpha));
  // Blue, green, red, alpha bytes in a row are the bitmap's 0xAARRGGBB words on a little-endian
  // machine: the rows go straight into the bitmap, which matters for pictures of many megabytes.
  if constexpr (std::endian::native == std::endian::little) {
    if (!png_image_finish_read(&image, nullptr, picture.Pixels().data(), 0, nullptr)) reader.Fail();
    return picture;
  }
  std::vector<unsigned char> buffer(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) reader.Fail();
  const unsigned char* p = buffer.data();
  for (std::uint32_t& pixel : picture.Pixels()) {
    pixel = Argb(p[3], p[2], p[1], p[0]);
    p += 4;
  }
  return picture;
}

std::string EncodePng(const Bitmap& bitmap) {
  const bool alpha = bitmap.HasAlpha();
  const int channels = alpha ? 4 : 3;
  std::vector<unsigned char> rows;
  rows.reserve(bitmap.Pixels().size() * channels);
  for (std::uint32_t argb : bitmap.Pixels()) {
    rows.push_back(static_cast<unsigned char>(RedOf(argb)));
    rows.push_back(static_cast<unsigned char>(GreenOf(argb)));
    rows.push_back(static_cast<unsigned char>(BlueOf(argb)));
    if (alpha) rows.push_back(static_cast<unsigned char>(AlphaOf(argb)));
  }
  PngImage writer;
  png_image& image = writer.image;
  image.width = static_cast<png_uint_32>(bitmap.Width());
  image.height = static_cast<png_uint_32>(bitmap.Height());
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rows.data(), 0, nullptr)) writer.Fail();
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rows.data(), 0, nullptr)) {
    writer.Fail();
  }
  out.resize(size);
  return out;
}

}  // namespace morivel::graphics::detail
