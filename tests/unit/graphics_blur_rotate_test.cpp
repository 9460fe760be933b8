// The fast blur and rotation against plain, slow renderings of their formulas on noisy pictures:
// the running sums, the packed channels and the tiled walk must not move a single pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

#include "graphics/transform.h"

using namespace morivel::graphics;

namespace {

Bitmap noise(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  Bitmap picture(width, height, 32);
  for (std::uint32_t& p : picture.Pixels()) p = static_cast<std::uint32_t>(random());
  return picture;
}

int channel(std::uint32_t p, int shift) {
  return static_cast<int>((p >> shift) & 0xFF);
}

// One box pass, every window summed afresh; the alpha byte stays with its pixel.
Bitmap box_pass(const Bitmap& in, int radius, bool along_rows) {
  Bitmap out = in;
  const int n = 2 * radius + 1;
  for (int y = 0; y < in.Height(); ++y)
    for (int x = 0; x < in.Width(); ++x) {
      std::uint32_t result = in.Pixel(x, y) & 0xFF000000u;
      for (int shift : {16, 8, 0}) {
        int sum = 0;
        for (int i = -radius; i <= radius; ++i) {
          int sx = along_rows ? std::clamp(x + i, 0, in.Width() - 1) : x;
          int sy = along_rows ? y : std::clamp(y + i, 0, in.Height() - 1);
          sum += channel(in.Pixel(sx, sy), shift);
        }
        result |= static_cast<std::uint32_t>((2 * sum + n) / (2 * n)) << shift;
      }
      out.SetPixel(x, y, result);
    }
  return out;
}

int nearest_even(double v) {
  return static_cast<int>(std::nearbyint(v));
}

// The turn written out pixel by pixel: the source position of each target pixel, rounded.
Bitmap turned(const Bitmap& in, int degrees) {
  const double a = degrees * std::numbers::pi / 180.0;
  const double c = std::cos(a);
  const double s = std::sin(a);
  const int w = in.Width();
  const int h = in.Height();
  const int width = nearest_even(std::abs(c * w) + std::abs(s * h)) + 1;
  const int height = nearest_even(std::abs(s * w) + std::abs(c * h)) + 1;
  Bitmap out(width, height, 32, 0xFFFFFFFFu);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int dx = x - width / 2;
      const int dy = y - height / 2;
      const int sx = nearest_even(w / 2.0 + s * dy + c * dx);
      const int sy = nearest_even(h / 2.0 + c * dy - s * dx);
      if (sx >= 0 && sy >= 0 && sx < w && sy < h) out.SetPixel(x, y, in.Pixel(sx, sy));
    }
  return out;
}

}  // namespace

TEST(GraphicsBlurRotate, BlurAgreesWithWindowsSummedAfresh) {
  // Radii from the smallest to past the largest (255 counts), pictures narrower than the window,
  // and white noise, whose channel sums come closest to carrying into the next channel.
  for (int radius : {1, 2, 5, 255, 400}) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{37, 23}, std::pair{3, 300}}) {
      Bitmap picture = noise(w, h, static_cast<unsigned>(radius * 1000 + w));
      Bitmap expected =
          box_pass(box_pass(picture, std::min(radius, 255), true), std::min(radius, 255), false);
      Blur(picture, radius);
      EXPECT_EQ(picture.Pixels(), expected.Pixels())
          << "radius " << radius << ", " << w << "x" << h;
    }
  }
  // Large enough to be cut into bands of rows worked on side by side.
  Bitmap large = noise(1024, 1100, 9);
  Bitmap large_expected = box_pass(box_pass(large, 3, true), 3, false);
  Blur(large, 3);
  EXPECT_EQ(large.Pixels(), large_expected.Pixels()) << "banded";
  Bitmap white(600, 2, 32, 0xFFFFFFFFu);
  Blur(white, 255);
  EXPECT_TRUE(std::all_of(white.Pixels().begin(), white.Pixels().end(),
                          [](std::uint32_t p) { return p == 0xFFFFFFFFu; }));
}

TEST(GraphicsBlurRotate, RotationAgreesWithItsFormulaPixelByPixel) {
  // Larger than one tile of the walk, so that tiles meet inside the picture and at its edges; two
  // angles on a picture large enough to be cut into bands worked on side by side.
  const Bitmap picture = noise(150, 97, 5);
  const Bitmap large = noise(1100, 1000, 6);
  for (int degrees : {0, 1, 30, 45, 90, 135, 180, 269, -30, -359}) {
    const Bitmap& source = degrees == 30 || degrees == 269 ? large : picture;
    Bitmap fast = Rotate(source, degrees);
    Bitmap slow = turned(source, degrees);
    ASSERT_EQ(fast.Width(), slow.Width()) << degrees;
    ASSERT_EQ(fast.Height(), slow.Height()) << degrees;
    EXPECT_EQ(fast.Pixels(), slow.Pixels()) << degrees << " degrees";
  }
}
