// Picture transformations on the display-independent bitmap. The pixel loops work on the pixel
// vector directly: these run over pictures of millions of pixels.
#include "graphics/transform.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace morivel::graphics {

namespace {

using Pixels = std::vector<std::uint32_t>;
using Table = std::array<std::uint8_t, 256>;

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

int red(std::uint32_t argb) {
  return static_cast<int>((argb >> 16) & 0xFF);
}
int green(std::uint32_t argb) {
  return static_cast<int>((argb >> 8) & 0xFF);
}
int blue(std::uint32_t argb) {
  return static_cast<int>(argb & 0xFF);
}
int clamp_byte(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, 0, 255));
}
std::uint32_t with_rgb(std::uint32_t alpha_from, int r, int g, int b) {
  return (alpha_from & 0xFF000000u) | (static_cast<std::uint32_t>(r) << 16) |
         (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

void map_channels(Bitmap& picture, const Table& table) {
  for (std::uint32_t& p : picture.Pixels())
    p = with_rgb(p, table[red(p)], table[green(p)], table[blue(p)]);
}

template <class F>
Table make_table(F f) {
  Table table{};
  for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(clamp_byte(f(i)));
  return table;
}

std::size_t at(int x, int y, int width) {
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
         static_cast<std::size_t>(x);
}

// Runs work(first_row, end_row) over bands of the rows on the machine's cores for pictures large
// enough to repay the threads; each row's pixels depend on nothing another band writes, so the
// result is the same as one pass from the top.
template <class Work>
void in_bands(int rows, std::size_t pixels, Work work) {
  constexpr std::size_t kWorthThreads = 1 << 20;
  const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  const int bands = pixels < kWorthThreads ? 1 : static_cast<int>(std::min<unsigned>(cores, rows));
  if (bands <= 1) {
    work(0, rows);
    return;
  }
  const int band = (rows + bands - 1) / bands;
  std::vector<std::jthread> helpers;  // joined when they go out of scope
  for (int first = band; first < rows; first += band)
    helpers.emplace_back(work, first, std::min(rows, first + band));
  work(0, std::min(rows, band));
}

// (30 R + 59 G + 11 B) / 100 rounded, looked up by the weighted sum: a division per pixel is the
// slow part of a grey-scale pass.
int grey_of(std::uint32_t p) {
  static const std::vector<std::uint8_t> by_sum = [] {
    std::vector<std::uint8_t> table(100 * 255 + 1);
    for (std::size_t sum = 0; sum < table.size(); ++sum)
      table[sum] = static_cast<std::uint8_t>(DivideRoundEven(static_cast<std::int64_t>(sum), 100));
    return table;
  }();
  return by_sum[static_cast<std::size_t>(30 * red(p) + 59 * green(p) + 11 * blue(p))];
}

// ---- 3 x 3 neighbourhoods -----------------------------------------------------------------------

struct Channels {
  int r = 0;
  int g = 0;
  int b = 0;
};

// Calls f(centre pixel, sum of its 8 neighbours) for every pixel, writing what f returns into a
// new pixel vector; the border pixels repeat outwards.
template <class F>
void filter_3x3(Bitmap& picture, F f) {
  const int w = picture.Width();
  const int h = picture.Height();
  if (w == 0 || h == 0) return;
  const Pixels& src = std::as_const(picture).Pixels();
  Pixels out(src.size());
  for (int y = 0; y < h; ++y) {
    const int rows[3] = {std::max(y - 1, 0), y, std::min(y + 1, h - 1)};
    for (int x = 0; x < w; ++x) {
      const int cols[3] = {std::max(x - 1, 0), x, std::min(x + 1, w - 1)};
      Channels sum;
      for (int row : rows)
        for (int col : cols) {
          std::uint32_t p = src[at(col, row, w)];
          sum.r += red(p);
          sum.g += green(p);
          sum.b += blue(p);
        }
      std::uint32_t centre = src[at(x, y, w)];
      sum.r -= red(centre);
      sum.g -= green(centre);
      sum.b -= blue(centre);
      out[at(x, y, w)] = f(centre, sum);
    }
  }
  picture.Pixels() = std::move(out);
}

// ---- box blur ----------------------------------------------------------------------------------

// The three channels of a pixel side by side in one integer, 21 bits each: a window of up to 511
// pixels sums to at most 130305 per channel, so sums and differences of windows never carry from
// one channel into the next, and one addition moves all three.
constexpr int kLane = 21;
constexpr std::uint64_t kLaneMask = (std::uint64_t{1} << kLane) - 1;

std::uint64_t packed(std::uint32_t p) {
  return (std::uint64_t{(p >> 16) & 0xFF} << (2 * kLane)) |
         (std::uint64_t{(p >> 8) & 0xFF} << kLane) | std::uint64_t{p & 0xFF};
}

// The average of a window of n pixels from its channel sums: sum / n rounded (n is odd, so a sum
// never lies halfway between two results), looked up because a division per channel is the slow
// part of a blur.
class WindowMean {
 public:
  explicit WindowMean(int n) : by_sum_(static_cast<std::size_t>(n) * 255 + 1) {
    for (std::size_t sum = 0; sum < by_sum_.size(); ++sum)
      by_sum_[sum] = static_cast<std::uint8_t>((2 * sum + static_cast<std::size_t>(n)) /
                                               (2 * static_cast<std::size_t>(n)));
  }
  std::uint32_t Pixel(std::uint32_t alpha_from, std::uint64_t sums) const {
    return (alpha_from & 0xFF000000u) | (std::uint32_t{by_sum_[sums >> (2 * kLane)]} << 16) |
           (std::uint32_t{by_sum_[(sums >> kLane) & kLaneMask]} << 8) |
           std::uint32_t{by_sum_[sums & kLaneMask]};
  }

 private:
  std::vector<std::uint8_t> by_sum_;
};

// The pass along rows: a running sum over each row's window, the border pixel standing in for
// everything past the edge.
void blur_rows(const Pixels& src, Pixels& out, int w, int h, int radius, const WindowMean& mean) {
  in_bands(h, src.size(), [&](int first, int end) {
    for (int y = first; y < end; ++y) {
      const std::uint32_t* row = src.data() + at(0, y, w);
      std::uint32_t* target = out.data() + at(0, y, w);
      auto pixel = [&](int i) { return row[std::clamp(i, 0, w - 1)]; };
      std::uint64_t sum = 0;
      for (int i = -radius; i <= radius; ++i) sum += packed(pixel(i));
      for (int i = 0; i < w; ++i) {
        target[i] = mean.Pixel(row[i], sum);
        sum += packed(pixel(i + radius + 1));
        sum -= packed(pixel(i - radius));
      }
    }
  });
}

// The pass along columns, a whole row at a time so that memory is read in order: one running sum
// per column. Each band of rows starts its sums afresh from the window around its first row.
void blur_columns(const Pixels& src, Pixels& out, int w, int h, int radius,
                  const WindowMean& mean) {
  auto row = [&](int y) { return src.data() + at(0, std::clamp(y, 0, h - 1), w); };
  in_bands(h, src.size(), [&](int first, int end) {
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(w), 0);
    for (int y = first - radius; y <= first + radius; ++y) {
      const std::uint32_t* line = row(y);
      for (int x = 0; x < w; ++x) sums[static_cast<std::size_t>(x)] += packed(line[x]);
    }
    for (int y = first; y < end; ++y) {
      const std::uint32_t* centre = row(y);
      const std::uint32_t* entering = row(y + radius + 1);
      const std::uint32_t* leaving = row(y - radius);
      std::uint32_t* target = out.data() + at(0, y, w);
      for (int x = 0; x < w; ++x) {
        std::uint64_t& sum = sums[static_cast<std::size_t>(x)];
        target[x] = mean.Pixel(centre[x], sum);
        sum += packed(entering[x]);
        sum -= packed(leaving[x]);
      }
    }
  });
}

// The 16 colours every display can show.
constexpr std::array<std::uint32_t, 16> kStandardColours = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

std::uint32_t nearest_standard(std::uint32_t p) {
  std::uint32_t best = 0;
  int best_distance = 1 << 30;
  for (std::uint32_t c : kStandardColours) {
    int dr = red(c) - red(p);
    int dg = green(c) - green(p);
    int db = blue(c) - blue(p);
    int distance = dr * dr + dg * dg + db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = c;
    }
  }
  return (p & 0xFF000000u) | best;
}

std::uint32_t reduce(std::uint32_t p, int bits) {
  switch (bits) {
    case 1:
      return grey_of(p) >= 128 ? (p | 0x00FFFFFFu) : (p & 0xFF000000u);
    case 4:
      return nearest_standard(p);
    case 8: {
      auto cube = [](int c) { return static_cast<int>(DivideRoundEven(c, 51) * 51); };
      return with_rgb(p, cube(red(p)), cube(green(p)), cube(blue(p)));
    }
    default: {  // 16: five bits of red and blue, six of green, widened back by repeating the top
      int r = red(p) >> 3, g = green(p) >> 2, b = blue(p) >> 3;
      return with_rgb(p, (r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
    }
  }
}

double radians(int degrees) {
  return degrees * std::numbers::pi / 180.0;
}

// Nearest integer, ties to even, as std::nearbyint in the default rounding mode: adding 1.5 x 2^52
// leaves no fraction bits, so the addition itself rounds. Valid for |v| < 2^51; a call per pixel
// is the slow part of a rotation otherwise. (Without fast-math the compiler keeps both steps.)
int round_even_fast(double v) {
  constexpr double kShift = 6755399441055744.0;
  return static_cast<int>((v + kShift) - kShift);
}

// Which target pixel takes which source pixel: the target pixel (x, y) lies (dx, dy) from the
// target's centre and takes the source pixel nearest to the source's centre plus (dx, dy) turned.
struct Turn {
  int degrees = 0;
  double source_x = 0;
  double source_y = 0;
  double target_x = 0;
  double target_y = 0;
};

// Fills `target` (white where no source pixel falls) from `source` turned as `turn` says. The
// target is filled in tiles: a tile's source pixels lie in a small patch of the source, where a row
// by row walk of a tilted picture would touch a different cache line for nearly every pixel.
void sample_turned(const Bitmap& source, const Turn& turn, Bitmap& target) {
  constexpr int kTile = 64;
  const double c = std::cos(radians(turn.degrees));
  const double s = std::sin(radians(turn.degrees));
  const int w = source.Width();
  const int h = source.Height();
  const int width = target.Width();
  const int height = target.Height();
  const Pixels& src = source.Pixels();
  Pixels& out = target.Pixels();
  const int tiles = (height + kTile - 1) / kTile;
  in_bands(tiles, out.size(), [&](int first_tile, int end_tile) {
    for (int top = first_tile * kTile; top < std::min(end_tile * kTile, height); top += kTile)
      for (int left = 0; left < width; left += kTile)
        for (int y = top; y < std::min(top + kTile, height); ++y) {
          const double dy = y - turn.target_y;
          const double row_x = turn.source_x + s * dy;
          const double row_y = turn.source_y + c * dy;
          std::uint32_t* line = out.data() + at(0, y, width);
          for (int x = left; x < std::min(left + kTile, width); ++x) {
            const double dx = x - turn.target_x;
            const int sx = round_even_fast(row_x + c * dx);
            const int sy = round_even_fast(row_y - s * dx);
            if (sx >= 0 && sy >= 0 && sx < w && sy < h) line[x] = src[at(sx, sy, w)];
          }
        }
  });
}

}  // namespace

// ---- rounding -----------------------------------------------------------------------------------

std::int64_t DivideRoundEven(std::int64_t numerator, std::int64_t denominator) {
  std::int64_t q = numerator / denominator;
  std::int64_t r = numerator % denominator;
  if (r < 0) {
    r += denominator;
    --q;
  }
  if (2 * r > denominator || (2 * r == denominator && (q & 1) != 0)) ++q;
  return q;
}

int RoundEven(double value) {
  return static_cast<int>(std::nearbyint(value));
}

// ---- geometry -----------------------------------------------------------------------------------

void FlipVertical(Bitmap& picture) {
  const int w = picture.Width();
  const int h = picture.Height();
  Pixels& p = picture.Pixels();
  for (int i = 0; i < h / 2; ++i)
    std::swap_ranges(p.begin() + static_cast<std::ptrdiff_t>(at(0, i, w)),
                     p.begin() + static_cast<std::ptrdiff_t>(at(0, i + 1, w)),
                     p.begin() + static_cast<std::ptrdiff_t>(at(0, h - 1 - i, w)));
}

void FlipHorizontal(Bitmap& picture) {
  const int w = picture.Width();
  Pixels& p = picture.Pixels();
  for (int y = 0; y < picture.Height(); ++y)
    std::reverse(p.begin() + static_cast<std::ptrdiff_t>(at(0, y, w)),
                 p.begin() + static_cast<std::ptrdiff_t>(at(0, y + 1, w)));
}

Bitmap TurnRight(const Bitmap& picture) {
  const int w = picture.Width();
  const int h = picture.Height();
  Bitmap turned(h, w, picture.BitsPerPixel());
  const Pixels& src = picture.Pixels();
  Pixels& out = turned.Pixels();
  for (int y = 0; y < w; ++y)
    for (int x = 0; x < h; ++x) out[at(x, y, h)] = src[at(y, h - 1 - x, w)];
  return turned;
}

RotatedSize RotatedExtent(int width, int height, int degrees) {
  const double c = std::cos(radians(degrees));
  const double s = std::sin(radians(degrees));
  return {RoundEven(std::abs(c * width) + std::abs(s * height)) + 1,
          RoundEven(std::abs(s * width) + std::abs(c * height)) + 1};
}

Bitmap Rotate(const Bitmap& picture, int degrees) {
  const int w = picture.Width();
  const int h = picture.Height();
  const RotatedSize size = RotatedExtent(w, h, degrees);
  Bitmap rotated(size.width, size.height, 32, kWhite);
  const Turn turn{degrees, w / 2.0, h / 2.0, static_cast<double>(size.width / 2),
                  static_cast<double>(size.height / 2)};
  sample_turned(picture, turn, rotated);
  return rotated;
}

// Turned about the middle of its pixels, the picture keeps its place: by 0 degrees every pixel
// stays, by 180 degrees every pixel changes places with its mirror image, whatever the sides.
void RotateInPlace(Bitmap& picture, int degrees) {
  const double middle_x = (picture.Width() - 1) / 2.0;
  const double middle_y = (picture.Height() - 1) / 2.0;
  Bitmap turned(picture.Width(), picture.Height(), picture.BitsPerPixel(), kWhite);
  sample_turned(picture, {degrees, middle_x, middle_y, middle_x, middle_y}, turned);
  picture.Pixels() = std::move(turned.Pixels());
}

Bitmap Scale(const Bitmap& picture, int width, int height) {
  if (width < 0 || height < 0) throw std::invalid_argument("negative picture size");
  Bitmap scaled(width, height, picture.BitsPerPixel());
  if (picture.Empty()) return scaled;
  const std::int64_t sw = picture.Width();
  const std::int64_t sh = picture.Height();
  std::vector<int> columns(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x)
    columns[static_cast<std::size_t>(x)] = static_cast<int>((2 * x + 1) * sw / (2 * width));
  const Pixels& src = picture.Pixels();
  Pixels& out = scaled.Pixels();
  for (int y = 0; y < height; ++y) {
    const int sy = static_cast<int>((2 * y + 1) * sh / (2 * height));
    for (int x = 0; x < width; ++x)
      out[at(x, y, width)] = src[at(columns[static_cast<std::size_t>(x)], sy, picture.Width())];
  }
  return scaled;
}

// ---- per-pixel filters
// ----------------------------------------------------------------------------

void Negative(Bitmap& picture) {
  for (std::uint32_t& p : picture.Pixels()) p ^= 0x00FFFFFFu;
}

void GreyScale(Bitmap& picture) {
  for (std::uint32_t& p : picture.Pixels()) {
    int g = grey_of(p);
    p = with_rgb(p, g, g, g);
  }
}

void Solarise(Bitmap& picture) {
  map_channels(picture, make_table([](int v) { return v < 128 ? v : 255 - v; }));
}

void Brighten(Bitmap& picture, int amount) {
  if (amount == 0 || amount < -255 || amount > 255) return;
  map_channels(picture, make_table([amount](int v) { return v + amount; }));
}

void CorrectGamma(Bitmap& picture, double gamma) {
  if (!(gamma >= 0.75 && gamma <= 3.0) || gamma == 2.2) return;
  const double exponent = gamma / 2.2;
  map_channels(picture, make_table([exponent](int v) {
                 return RoundEven(255.0 * std::pow(v / 255.0, exponent));
               }));
}

void Sepia(Bitmap& picture, std::uint32_t tone) {
  auto ramp = [](int tone_channel) {
    return make_table([tone_channel](int g) -> std::int64_t {
      if (g <= 128) return DivideRoundEven(g * tone_channel, 128);
      return tone_channel + DivideRoundEven((g - 128) * (255 - tone_channel), 127);
    });
  };
  const Table r = ramp(red(tone));
  const Table g = ramp(green(tone));
  const Table b = ramp(blue(tone));
  for (std::uint32_t& p : picture.Pixels()) {
    int grey = grey_of(p);
    p = with_rgb(p, r[grey], g[grey], b[grey]);
  }
}

void Darken(Bitmap& picture, int level) {
  level = std::clamp(level, 0, 256);
  map_channels(picture, make_table([level](int v) { return (v * level) >> 8; }));
}

bool ChangeDepth(Bitmap& picture, int bits) {
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (bits < 24)
    for (std::uint32_t& p : picture.Pixels()) p = reduce(p, bits);
  picture.SetBitsPerPixel(bits);
  return true;
}

// ---- neighbourhood filters ----------------------------------------------------------------------

void DetectEdges(Bitmap& picture) {
  filter_3x3(picture, [](std::uint32_t centre, Channels around) {
    return with_rgb(centre, clamp_byte(std::abs(8 * red(centre) - around.r)),
                    clamp_byte(std::abs(8 * green(centre) - around.g)),
                    clamp_byte(std::abs(8 * blue(centre) - around.b)));
  });
}

void Blur(Bitmap& picture, int radius) {
  if (radius <= 0 || picture.Empty()) return;
  radius = std::min(radius, 255);
  const int w = picture.Width();
  const int h = picture.Height();
  const WindowMean mean(2 * radius + 1);
  Pixels across(picture.Pixels().size());
  blur_rows(picture.Pixels(), across, w, h, radius, mean);
  blur_columns(across, picture.Pixels(), w, h, radius, mean);
}

void Sharpen(Bitmap& picture, int strength) {
  if (strength <= 0) return;
  const std::int64_t k = std::min(strength, 10000);
  auto sharpen = [k](int v, int around) {
    return clamp_byte(v + DivideRoundEven(k * (8 * v - around), 800));
  };
  filter_3x3(picture, [&sharpen](std::uint32_t centre, Channels around) {
    return with_rgb(centre, sharpen(red(centre), around.r), sharpen(green(centre), around.g),
                    sharpen(blue(centre), around.b));
  });
}

// ---- copies -------------------------------------------------------------------------------------

void CopyArea(const Bitmap& source, Area area, Bitmap& target, int x, int y, int percent) {
  percent = std::clamp(percent, 0, 100);
  // Source columns sx land on target column x + sx - area.left; keep those inside both pictures.
  using I = std::int64_t;
  const I left = std::max<I>({area.left, 0, I{area.left} - x});
  const I top = std::max<I>({area.top, 0, I{area.top} - y});
  const I right =
      std::min<I>({I{area.left} + area.width, source.Width(), I{area.left} + target.Width() - x});
  const I bottom =
      std::min<I>({I{area.top} + area.height, source.Height(), I{area.top} + target.Height() - y});
  const I shift_x = I{x} - area.left;
  const I shift_y = I{y} - area.top;
  const Pixels& src = source.Pixels();
  Pixels& out = target.Pixels();
  for (I sy = top; sy < bottom; ++sy)
    for (I sx = left; sx < right; ++sx) {
      std::uint32_t s = src[at(static_cast<int>(sx), static_cast<int>(sy), source.Width())];
      std::uint32_t& t =
          out[at(static_cast<int>(sx + shift_x), static_cast<int>(sy + shift_y), target.Width())];
      if (percent == 100) {
        t = s;
        continue;
      }
      auto mix = [percent](int a, int b) {
        return static_cast<int>(DivideRoundEven(a * percent + b * (100 - percent), 100));
      };
      t = with_rgb(t, mix(red(s), red(t)), mix(green(s), green(t)), mix(blue(s), blue(t)));
    }
}

}  // namespace morivel::graphics
