// A picture held in memory as 32-bit ARGB pixels, independent of any display library.
#pragma once

#include <cstdint>
#include <vector>

namespace morivel::graphics {

class Bitmap {
 public:
  Bitmap() = default;
  // A width x height picture with every pixel `fill` (0xAARRGGBB). Negative sizes throw
  // std::invalid_argument.
  Bitmap(int width, int height, int bits_per_pixel = 24, std::uint32_t fill = 0xFF000000u);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }

  // The depth the picture had where it came from: 24 or 32, or 8, 4 or 1 when a paletted file
  // was read. Pixels are always held expanded; this only guides a later save.
  int BitsPerPixel() const { return bits_per_pixel_; }
  void SetBitsPerPixel(int bits) { bits_per_pixel_ = bits; }

  // Coordinates outside the picture throw std::out_of_range.
  std::uint32_t Pixel(int x, int y) const { return pixels_[Index(x, y)]; }
  void SetPixel(int x, int y, std::uint32_t argb) { pixels_[Index(x, y)] = argb; }

  // True when some pixel is not fully opaque.
  bool HasAlpha() const;

  // Row-major, top row first.
  const std::vector<std::uint32_t>& Pixels() const { return pixels_; }
  // For whole-picture loops that would pay for the bounds check of SetPixel on every pixel.
  std::vector<std::uint32_t>& Pixels() { return pixels_; }

 private:
  std::size_t Index(int x, int y) const;

  int width_ = 0;
  int height_ = 0;
  int bits_per_pixel_ = 24;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace morivel::graphics
