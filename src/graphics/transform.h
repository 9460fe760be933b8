// Picture transformations: flips, turns, rotations, colour filters, neighbourhood filters, scaling
// and copies, all on the display-independent bitmap.
#pragma once

#include <cstdint>

#include "graphics/bitmap.h"

namespace morivel::graphics {

// ---- rounding -----------------------------------------------------------------------------------

// numerator / denominator to the nearest integer, ties to even (denominator > 0).
std::int64_t DivideRoundEven(std::int64_t numerator, std::int64_t denominator);
// Nearest integer, ties to even.
int RoundEven(double value);

// ---- geometry -----------------------------------------------------------------------------------

void FlipVertical(Bitmap& picture);
void FlipHorizontal(Bitmap& picture);
// A quarter turn clockwise: the result is as wide as the source was high.
Bitmap TurnRight(const Bitmap& picture);
// The size a picture of width x height needs when turned by `degrees` (whole degrees).
struct RotatedSize {
  int width = 0;
  int height = 0;
};
RotatedSize RotatedExtent(int width, int height, int degrees);
// The whole picture turned by `degrees` clockwise-on-screen about its centre, nearest source pixel,
// white where no source pixel falls; the result has RotatedExtent's size.
Bitmap Rotate(const Bitmap& picture, int degrees);
// Rotate, drawn back over the picture from its top-left corner: the picture keeps its size.
void RotateInPlace(Bitmap& picture, int degrees);
// Nearest-neighbour scaling to width x height (each target pixel takes the source pixel under its
// centre). A zero side gives an empty picture; negative sides throw std::invalid_argument.
Bitmap Scale(const Bitmap& picture, int width, int height);

// ---- per-pixel filters (red, green and blue; alpha is kept)
// ---------------------------------------

void Negative(Bitmap& picture);
// g = (30 R + 59 G + 11 B) / 100 rounded, ties to even, into all three channels.
void GreyScale(Bitmap& picture);
void Solarise(Bitmap& picture);
// Amounts from -255 to 255 other than 0 add to every channel (clamped); others change nothing.
void Brighten(Bitmap& picture, int amount);
// Applied for 0.75 <= gamma <= 3 except 2.2: v = 255 (v / 255) ^ (gamma / 2.2), rounded.
void CorrectGamma(Bitmap& picture, double gamma);
// Grey scale toned towards `tone` (0xRRGGBB): black stays black, white stays white and the middle
// grey 128 takes the tone exactly, linearly in between.
void Sepia(Bitmap& picture, std::uint32_t tone);
// Each channel scaled by level / 256 (level 0 black, 256 unchanged).
void Darken(Bitmap& picture, int level);
// Reduces the colours to what `bits` per pixel hold (1 black and white, 4 the 16 standard colours,
// 8 a 6x6x6 colour cube, 16 five-six-five bits) and records the depth; 24 and 32 only record it.
// False for any other depth.
bool ChangeDepth(Bitmap& picture, int bits);

// ---- neighbourhood filters (edge pixels repeat beyond the border)
// --------------------------------

// |8 v - sum of the 8 neighbours| per channel, clamped: edges light on black.
void DetectEdges(Bitmap& picture);
// A box blur of the given radius, horizontal pass then vertical pass, each rounded; radius <= 0
// changes nothing and radii beyond 255 count as 255.
void Blur(Bitmap& picture, int radius);
// v + strength % of (8 v - sum of the 8 neighbours) / 8, rounded and clamped; strength <= 0
// changes nothing.
void Sharpen(Bitmap& picture, int strength);

// ---- copies -------------------------------------------------------------------------------------

struct Area {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};
// Copies `area` of `source` onto `target` with its top-left corner at (x, y); whatever falls
// outside either picture is left out. percent 100 replaces, lower values blend:
// t = (s p + t (100 - p)) / 100 rounded per channel; percent is clamped to 0..100.
void CopyArea(const Bitmap& source, Area area, Bitmap& target, int x, int y, int percent = 100);

}  // namespace morivel::graphics
