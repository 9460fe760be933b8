// Format selection for the image codecs and the byte plumbing they share.
#include "graphics/codecs.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "graphics/codec_internal.h"

namespace morivel::graphics {

namespace detail {

void CheckDimensions(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) throw ImageError("picture has no pixels");
  if (!DimensionsAllowed(width, height)) throw ImageError("picture is too large");
}

void ByteReader::Seek(std::size_t pos) {
  if (pos > bytes_.size()) throw ImageError("truncated data");
  pos_ = pos;
}

void ByteReader::Need(std::size_t count) const {
  if (count > Remaining()) throw ImageError("truncated data");
}

std::string_view ByteReader::Take(std::size_t count) {
  Need(count);
  std::string_view part = bytes_.substr(pos_, count);
  pos_ += count;
  return part;
}

std::uint8_t ByteReader::U8() {
  Need(1);
  return static_cast<std::uint8_t>(bytes_[pos_++]);
}

std::uint16_t ByteReader::U16() {
  const unsigned low = U8();
  return static_cast<std::uint16_t>(low | (unsigned{U8()} << 8));
}

std::uint32_t ByteReader::U32() {
  const std::uint32_t low = U16();
  return low | (std::uint32_t{U16()} << 16);
}

void PutU8(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
}

void PutU16(std::string& out, unsigned value) {
  PutU8(out, value);
  PutU8(out, value >> 8);
}

void PutU32(std::string& out, std::uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

std::string_view Slice(std::string_view bytes, std::uint64_t offset, std::uint64_t size) {
  if (offset > bytes.size() || size > bytes.size() - offset) throw ImageError("truncated data");
  return bytes.substr(offset, size);
}

}  // namespace detail

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

ImageFormat FormatFromExtension(std::string_view ext) {
  if (const auto dot = ext.rfind('.'); dot != std::string_view::npos) ext.remove_prefix(dot + 1);
  const std::string name = Lower(ext);
  if (name == "bmp" || name == "dib") return ImageFormat::Bmp;
  if (name == "ico" || name == "icon") return ImageFormat::Ico;
  if (name == "png") return ImageFormat::Png;
  if (name == "jpg" || name == "jpeg" || name == "jpe") return ImageFormat::Jpeg;
  if (name == "mag") return ImageFormat::Mag;
  if (name == "gif") return ImageFormat::Gif;
  return ImageFormat::Unknown;
}

ImageFormat Sniff(std::string_view bytes) {
  if (bytes.starts_with("BM")) return ImageFormat::Bmp;
  if (bytes.starts_with("\x89PNG\r\n\x1a\n")) return ImageFormat::Png;
  if (bytes.starts_with("\xFF\xD8\xFF")) return ImageFormat::Jpeg;
  if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) return ImageFormat::Gif;
  if (bytes.starts_with("MAKI02  ")) return ImageFormat::Mag;
  // Icons (type 1) and cursors (type 2) share the directory layout.
  if (bytes.size() >= 6 && bytes[0] == 0 && bytes[1] == 0 && (bytes[2] == 1 || bytes[2] == 2) &&
      bytes[3] == 0 && (bytes[4] != 0 || bytes[5] != 0)) {
    return ImageFormat::Ico;
  }
  return ImageFormat::Unknown;
}

Bitmap Decode(std::string_view bytes, ImageFormat format) {
  if (format == ImageFormat::Unknown) format = Sniff(bytes);
  switch (format) {
    case ImageFormat::Bmp:
      return detail::DecodeBmp(bytes);
    case ImageFormat::Ico:
      return detail::DecodeIco(bytes);
    case ImageFormat::Png:
      return detail::DecodePng(bytes);
    case ImageFormat::Jpeg:
      return detail::DecodeJpeg(bytes);
    case ImageFormat::Mag:
      return detail::DecodeMag(bytes);
    case ImageFormat::Gif:
      return detail::DecodeGif(bytes);
    case ImageFormat::Unknown:
      break;
  }
  throw ImageError("unknown image format");
}

std::string Encode(const Bitmap& bitmap, ImageFormat format, int jpeg_quality) {
  if (bitmap.Empty()) throw ImageError("picture has no pixels");
  switch (format) {
    case ImageFormat::Bmp:
      return detail::EncodeBmp(bitmap);
    case ImageFormat::Ico:
      return detail::EncodeIco(bitmap);
    case ImageFormat::Png:
      return detail::EncodePng(bitmap);
    case ImageFormat::Jpeg:
      return detail::EncodeJpeg(bitmap, std::clamp(jpeg_quality, 1, 100));
    case ImageFormat::Mag:
      return detail::EncodeMag(bitmap);
    case ImageFormat::Gif:
      throw ImageError("GIF pictures cannot be written");
    case ImageFormat::Unknown:
      break;
  }
  throw ImageError("unknown image format");
}

}  // namespace morivel::graphics
