// Picture transformations pixel by pixel, with the rounding cases that tell a formula apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/transform.h"

using namespace morivel::graphics;

namespace {

std::uint32_t rgb(int r, int g, int b) {
  return 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) |
         (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

// Every pixel different: its blue byte is its index, its red byte 10 times its row.
Bitmap numbered(int width, int height) {
  Bitmap picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture.SetPixel(x, y, rgb(10 * y, 0, y * width + x));
  return picture;
}

Bitmap row_of(std::vector<int> greys) {
  Bitmap picture(static_cast<int>(greys.size()), 1);
  for (int x = 0; x < picture.Width(); ++x)
    picture.SetPixel(x, 0,
                     rgb(greys[static_cast<std::size_t>(x)], greys[static_cast<std::size_t>(x)],
                         greys[static_cast<std::size_t>(x)]));
  return picture;
}

std::vector<int> reds(const Bitmap& picture) {
  std::vector<int> out;
  for (std::uint32_t p : picture.Pixels()) out.push_back(static_cast<int>((p >> 16) & 0xFF));
  return out;
}

Bitmap one_pixel(std::uint32_t argb) {
  return Bitmap(1, 1, 24, argb);
}

std::uint32_t after(void (*f)(Bitmap&, int), std::uint32_t argb, int amount) {
  Bitmap picture = one_pixel(argb);
  f(picture, amount);
  return picture.Pixel(0, 0);
}

}  // namespace

TEST(GraphicsTransform, RoundingIsToEven) {
  EXPECT_EQ(DivideRoundEven(1, 2), 0);
  EXPECT_EQ(DivideRoundEven(3, 2), 2);
  EXPECT_EQ(DivideRoundEven(-1, 2), 0);
  EXPECT_EQ(DivideRoundEven(-3, 2), -2);
  EXPECT_EQ(DivideRoundEven(5, 3), 2);
  EXPECT_EQ(DivideRoundEven(-5, 3), -2);
  EXPECT_EQ(RoundEven(2.5), 2);
  EXPECT_EQ(RoundEven(-0.5), 0);
}

TEST(GraphicsTransform, FlipsAndQuarterTurnsMoveEveryPixel) {
  const Bitmap source = numbered(3, 2);
  Bitmap v = source;
  FlipVertical(v);
  EXPECT_EQ(v.Pixel(0, 0), source.Pixel(0, 1));
  EXPECT_EQ(v.Pixel(2, 1), source.Pixel(2, 0));
  Bitmap h = source;
  FlipHorizontal(h);
  EXPECT_EQ(h.Pixel(0, 0), source.Pixel(2, 0));
  EXPECT_EQ(h.Pixel(1, 1), source.Pixel(1, 1));
  FlipHorizontal(h);
  EXPECT_EQ(h.Pixels(), source.Pixels());
  FlipVertical(v);
  EXPECT_EQ(v.Pixels(), source.Pixels());

  const Bitmap turned = TurnRight(source);
  ASSERT_EQ(turned.Width(), 2);
  ASSERT_EQ(turned.Height(), 3);
  // (x', y') comes from (y', h - 1 - x'): the top-left corner ends at the top right.
  EXPECT_EQ(turned.Pixel(1, 0), source.Pixel(0, 0));
  EXPECT_EQ(turned.Pixel(0, 0), source.Pixel(0, 1));
  EXPECT_EQ(turned.Pixel(0, 2), source.Pixel(2, 1));
  EXPECT_EQ(turned.Pixel(1, 2), source.Pixel(2, 0));
  Bitmap round = source;
  for (int i = 0; i < 4; ++i) round = TurnRight(round);
  EXPECT_EQ(round.Width(), 3);
  EXPECT_EQ(round.Pixels(), source.Pixels());
}

TEST(GraphicsTransform, ColourTablesFollowTheirFormulas) {
  EXPECT_EQ(after([](Bitmap& p, int) { Negative(p); }, rgb(0, 100, 255), 0), rgb(255, 155, 0));
  EXPECT_EQ(after([](Bitmap& p, int) { Solarise(p); }, rgb(127, 128, 255), 0), rgb(127, 127, 0));
  // Brightness: out of range or zero changes nothing; 255 saturates; the sum is clamped both ways.
  EXPECT_EQ(after(Brighten, rgb(1, 2, 3), 300), rgb(1, 2, 3));
  EXPECT_EQ(after(Brighten, rgb(1, 2, 3), -256), rgb(1, 2, 3));
  EXPECT_EQ(after(Brighten, rgb(0, 2, 3), 255), rgb(255, 255, 255));
  EXPECT_EQ(after(Brighten, rgb(5, 200, 250), 10), rgb(15, 210, 255));
  EXPECT_EQ(after(Brighten, rgb(5, 200, 250), -10), rgb(0, 190, 240));
  // Alpha passes through the per-pixel filters.
  EXPECT_EQ(after(Brighten, 0x80010203u, 1), 0x80020304u);
}

TEST(GraphicsTransform, GammaOnlyInItsRangeAndRounded) {
  Bitmap unchanged = row_of({0, 1, 64, 200});
  const Bitmap original = unchanged;
  CorrectGamma(unchanged, 2.2);
  EXPECT_EQ(unchanged.Pixels(), original.Pixels());
  CorrectGamma(unchanged, 0.5);
  EXPECT_EQ(unchanged.Pixels(), original.Pixels());
  CorrectGamma(unchanged, 3.5);
  EXPECT_EQ(unchanged.Pixels(), original.Pixels());
  // 1.1 / 2.2 is a square root: 255 * sqrt(1/255) = 15.97, 255 * sqrt(64/255) = 127.75,
  // 255 * sqrt(200/255) = 225.83.
  Bitmap root = original;
  CorrectGamma(root, 1.1);
  EXPECT_EQ(reds(root), (std::vector<int>{0, 16, 128, 226}));
}

TEST(GraphicsTransform, GreyScaleRoundsHalvesToEven) {
  Bitmap picture(5, 1);
  picture.SetPixel(0, 0, rgb(255, 0, 0));  // 76.5 -> 76
  picture.SetPixel(1, 0, rgb(5, 0, 0));    // 1.5 -> 2
  picture.SetPixel(2, 0, rgb(0, 255, 0));  // 150.45 -> 150
  picture.SetPixel(3, 0, rgb(0, 0, 255));  // 28.05 -> 28
  picture.SetPixel(4, 0, rgb(255, 255, 255));
  GreyScale(picture);
  EXPECT_EQ(reds(picture), (std::vector<int>{76, 2, 150, 28, 255}));
  EXPECT_EQ(picture.Pixel(0, 0), rgb(76, 76, 76));
}

TEST(GraphicsTransform, RotationByAnAngle) {
  // No turn changes nothing, odd sides included (no column doubled, none lost).
  for (const Bitmap& shape : {numbered(4, 4), numbered(3, 3), numbered(5, 2), numbered(1, 1)}) {
    Bitmap same = shape;
    RotateInPlace(same, 0);
    EXPECT_EQ(same.Width(), shape.Width());
    EXPECT_EQ(same.Pixels(), shape.Pixels());
  }
  // A quarter turn in place of a square of odd side is the quarter turn.
  Bitmap quarter = numbered(5, 5);
  RotateInPlace(quarter, 90);
  EXPECT_EQ(quarter.Pixels(), TurnRight(numbered(5, 5)).Pixels());

  EXPECT_EQ(RotatedExtent(3, 2, 90).width, 3);
  EXPECT_EQ(RotatedExtent(3, 2, 90).height, 4);
  // 180 degrees of 4 x 2: a 5 x 3 result centred at (2, 1) takes (4 - x, 2 - y); its first row
  // and column fall outside the source and are white; in place it is cut back to 4 x 2.
  const Bitmap wide = numbered(4, 2);
  const Bitmap half_turn = Rotate(wide, 180);
  ASSERT_EQ(half_turn.Width(), 5);
  ASSERT_EQ(half_turn.Height(), 3);
  EXPECT_EQ(half_turn.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(half_turn.Pixel(4, 2), wide.Pixel(0, 0));
  EXPECT_EQ(half_turn.Pixel(1, 1), wide.Pixel(3, 1));
  // In place the picture turns about the middle of its pixels: half a turn mirrors every pixel
  // and loses none, whatever the sides.
  Bitmap cut = wide;
  RotateInPlace(cut, 180);
  EXPECT_EQ(cut.Width(), 4);
  EXPECT_EQ(cut.Pixel(3, 0), wide.Pixel(0, 1));
  EXPECT_EQ(cut.Pixel(0, 1), wide.Pixel(3, 0));
  EXPECT_EQ(cut.Pixel(1, 1), wide.Pixel(2, 0));
  Bitmap odd = numbered(3, 5);
  RotateInPlace(odd, 180);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(odd.Pixel(x, y), numbered(3, 5).Pixel(2 - x, 4 - y));
  // A quarter turn by angle agrees with the quarter turn inside the picture it covers.
  const Bitmap square = numbered(4, 4);
  const Bitmap by_angle = Rotate(square, 90);
  const Bitmap by_turn = TurnRight(square);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(by_angle.Pixel(x + 1, y), by_turn.Pixel(x, y));
}

TEST(GraphicsTransform, NeighbourhoodFilters) {
  // Box blur of radius 1: (0+0+0)/3, (0+0+255)/3, (0+255+255)/3; the edge pixel repeats.
  Bitmap blurred = row_of({0, 0, 255});
  Blur(blurred, 1);
  EXPECT_EQ(reds(blurred), (std::vector<int>{0, 85, 170}));
  Bitmap small = row_of({0, 0, 1});
  Blur(small, 1);
  EXPECT_EQ(reds(small), (std::vector<int>{0, 0, 1}));  // 1/3 rounds down, 2/3 up
  Bitmap unchanged = row_of({0, 9, 0});
  Blur(unchanged, 0);
  EXPECT_EQ(reds(unchanged), (std::vector<int>{0, 9, 0}));

  Bitmap dot(3, 3, 24, rgb(0, 0, 0));
  dot.SetPixel(1, 1, rgb(10, 10, 10));
  Bitmap edges = dot;
  DetectEdges(edges);
  EXPECT_EQ(edges.Pixel(1, 1), rgb(80, 80, 80));
  EXPECT_EQ(edges.Pixel(0, 0), rgb(10, 10, 10));
  Bitmap flat(4, 3, 24, rgb(9, 99, 200));
  DetectEdges(flat);
  EXPECT_EQ(flat.Pixel(3, 2), rgb(0, 0, 0));

  // Sharpen 100: v + (8v - neighbours) / 8; 50: half of that; corners go below zero and clamp.
  Bitmap sharp = dot;
  Sharpen(sharp, 100);
  EXPECT_EQ(sharp.Pixel(1, 1), rgb(20, 20, 20));
  EXPECT_EQ(sharp.Pixel(0, 0), rgb(0, 0, 0));
  Bitmap soft = dot;
  Sharpen(soft, 50);
  EXPECT_EQ(soft.Pixel(1, 1), rgb(15, 15, 15));
}

TEST(GraphicsTransform, SepiaDepthAndDarkening) {
  Bitmap toned = row_of({0, 128, 255, 64});
  Sepia(toned, 0xA07850);
  EXPECT_EQ(toned.Pixel(0, 0), rgb(0, 0, 0));
  EXPECT_EQ(toned.Pixel(1, 0), rgb(0xA0, 0x78, 0x50));
  EXPECT_EQ(toned.Pixel(2, 0), rgb(255, 255, 255));
  EXPECT_EQ(toned.Pixel(3, 0), rgb(80, 60, 40));  // half the tone

  EXPECT_EQ(after([](Bitmap& p, int b) { ChangeDepth(p, b); }, rgb(132, 255, 7), 16),
            rgb(132, 255, 0));
  EXPECT_EQ(after([](Bitmap& p, int b) { ChangeDepth(p, b); }, rgb(25, 26, 255), 8),
            rgb(0, 51, 255));
  EXPECT_EQ(after([](Bitmap& p, int b) { ChangeDepth(p, b); }, rgb(200, 0, 0), 4), rgb(255, 0, 0));
  EXPECT_EQ(after([](Bitmap& p, int b) { ChangeDepth(p, b); }, rgb(150, 120, 90), 4),
            rgb(128, 128, 128));
  EXPECT_EQ(after([](Bitmap& p, int b) { ChangeDepth(p, b); }, rgb(255, 0, 0), 1), rgb(0, 0, 0));
  EXPECT_EQ(after([](Bitmap& p, int b) { ChangeDepth(p, b); }, rgb(0, 255, 0), 1),
            rgb(255, 255, 255));
  Bitmap depth = one_pixel(rgb(1, 2, 3));
  EXPECT_FALSE(ChangeDepth(depth, 7));
  EXPECT_TRUE(ChangeDepth(depth, 32));
  EXPECT_EQ(depth.BitsPerPixel(), 32);
  EXPECT_EQ(depth.Pixel(0, 0), rgb(1, 2, 3));

  EXPECT_EQ(after(Darken, rgb(255, 128, 1), 128), rgb(127, 64, 0));
  EXPECT_EQ(after(Darken, rgb(255, 128, 1), 256), rgb(255, 128, 1));
}

TEST(GraphicsTransform, ScalingTakesThePixelUnderEachCentre) {
  const Bitmap source = numbered(4, 1);
  Bitmap half = Scale(source, 2, 1);
  EXPECT_EQ(half.Pixel(0, 0), source.Pixel(1, 0));
  EXPECT_EQ(half.Pixel(1, 0), source.Pixel(3, 0));
  Bitmap twice = Scale(numbered(2, 1), 4, 2);
  EXPECT_EQ(twice.Pixel(1, 0), numbered(2, 1).Pixel(0, 0));
  EXPECT_EQ(twice.Pixel(2, 1), numbered(2, 1).Pixel(1, 0));
  EXPECT_TRUE(Scale(source, 0, 5).Empty());
  EXPECT_THROW(Scale(source, -1, 1), std::invalid_argument);
}

TEST(GraphicsTransform, CopiesClipAndBlend) {
  const Bitmap source = numbered(3, 3);
  Bitmap target(2, 2, 24, rgb(1, 1, 1));
  // The area hangs over the source's left edge and the target's right edge: only what lies in
  // both pictures is copied.
  CopyArea(source, {-1, 1, 3, 5}, target, 0, 0);
  EXPECT_EQ(target.Pixel(0, 0), rgb(1, 1, 1));
  EXPECT_EQ(target.Pixel(1, 0), source.Pixel(0, 1));
  EXPECT_EQ(target.Pixel(1, 1), source.Pixel(0, 2));
  Bitmap far(2, 2, 24, rgb(1, 1, 1));
  CopyArea(source, {0, 0, 3, 3}, far, 5, -7);
  EXPECT_EQ(far.Pixels(), Bitmap(2, 2, 24, rgb(1, 1, 1)).Pixels());

  Bitmap blend(2, 1, 24, rgb(0, 0, 0));
  Bitmap white = row_of({255, 1});
  CopyArea(white, {0, 0, 2, 1}, blend, 0, 0, 50);
  EXPECT_EQ(reds(blend), (std::vector<int>{128, 0}));  // 127.5 -> 128, 0.5 -> 0
  CopyArea(white, {0, 0, 2, 1}, blend, 0, 0, 150);     // clamped to a plain copy
  EXPECT_EQ(reds(blend), (std::vector<int>{255, 1}));
}
