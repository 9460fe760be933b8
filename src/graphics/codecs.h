// Turns picture files into bitmaps and back: BMP, ICO, PNG, JPEG, MAG, and GIF for reading only.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "graphics/bitmap.h"

namespace morivel::graphics {

enum class ImageFormat { Bmp, Ico, Png, Jpeg, Mag, Gif, Unknown };

// A picture that cannot be read or written. what() is a short plain-English reason that callers
// append to their own message.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "bmp", ".JPG", "photo.jpeg" ...: the text after the last dot decides, in any case.
ImageFormat FormatFromExtension(std::string_view ext);

// Recognises a picture by its first bytes; Unknown when nothing matches.
ImageFormat Sniff(std::string_view bytes);

// Unknown sniffs the format first. Corrupt, truncated or oversized input throws ImageError;
// pictures beyond 16384 pixels on a side or 2^26 pixels in all are refused.
Bitmap Decode(std::string_view bytes, ImageFormat format);

// BMP and PNG keep alpha when the bitmap has any; JPEG and MAG drop it; ICO takes at most 256x256.
// jpeg_quality is clamped to 1..100. GIF and Unknown throw ImageError.
std::string Encode(const Bitmap& bitmap, ImageFormat format, int jpeg_quality = 100);

}  // namespace morivel::graphics
