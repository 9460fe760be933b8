// The in-memory ARGB picture shared by the codecs and the display side.
#include "graphics/bitmap.h"

#include <algorithm>
#include <stdexcept>

namespace morivel::graphics {

Bitmap::Bitmap(int width, int height, int bits_per_pixel, std::uint32_t fill)
    : width_(width), height_(height), bits_per_pixel_(bits_per_pixel) {
  if (width < 0 || height < 0) throw std::invalid_argument("negative bitmap size");
  pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
}

bool Bitmap::HasAlpha() const {
  return std::any_of(pixels_.begin(), pixels_.end(),
                     [](std::uint32_t argb) { return (argb >> 24) != 0xFF; });
}

std::size_t Bitmap::Index(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_)
    throw std::out_of_range("pixel outside bitmap");
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
         static_cast<std::size_t>(x);
}

}  // namespace morivel::graphics
