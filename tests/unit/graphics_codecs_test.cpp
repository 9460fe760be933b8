// Unit tests of the image codecs: round trips, hand-made files with known pixels, hostile input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "graphics/bitmap.h"
#include "graphics/codecs.h"

namespace {

using morivel::graphics::Bitmap;
using morivel::graphics::Decode;
using morivel::graphics::Encode;
using morivel::graphics::FormatFromExtension;
using morivel::graphics::ImageError;
using morivel::graphics::ImageFormat;
using morivel::graphics::Sniff;

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kBlack = 0xFF000000;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string Le16(unsigned v) {
  return Bytes({static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF)});
}
std::string Le32(std::uint32_t v) {
  return Le16(v & 0xFFFF) + Le16(v >> 16);
}
std::string Be32(std::uint32_t v) {
  return Bytes({static_cast<int>(v >> 24), static_cast<int>(v >> 16 & 0xFF),
                static_cast<int>(v >> 8 & 0xFF), static_cast<int>(v & 0xFF)});
}

// A BITMAPINFOHEADER; the pixel data follows `extra` (palette or masks).
std::string InfoHeader(int width, int height, int bpp, int compression, int colors_used = 0) {
  return Le32(40) + Le32(static_cast<std::uint32_t>(width)) +
         Le32(static_cast<std::uint32_t>(height)) + Le16(1) + Le16(static_cast<unsigned>(bpp)) +
         Le32(static_cast<std::uint32_t>(compression)) + Le32(0) + Le32(0) + Le32(0) +
         Le32(static_cast<std::uint32_t>(colors_used)) + Le32(0);
}

std::string BmpFile(const std::string& header_and_palette, const std::string& pixels) {
  const std::uint32_t offset = static_cast<std::uint32_t>(14 + header_and_palette.size());
  return "BM" + Le32(offset + static_cast<std::uint32_t>(pixels.size())) + Le32(0) + Le32(offset) +
         header_and_palette + pixels;
}

// Palette entries in file order: blue, green, red, unused.
std::string Palette(std::initializer_list<std::uint32_t> colors) {
  std::string out;
  for (std::uint32_t c : colors)
    out += Bytes({int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF), 0});
  return out;
}

Bitmap Pattern(int width, int height, std::uint32_t (*color)(int x, int y)) {
  Bitmap b(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) b.SetPixel(x, y, color(x, y));
  }
  return b;
}

Bitmap Opaque() {
  return Pattern(5, 3, [](int x, int y) {
    return 0xFF000000u | std::uint32_t(x * 50) << 16 | std::uint32_t(y * 90) << 8 | 0x21u;
  });
}

Bitmap Translucent() {
  return Pattern(4, 3, [](int x, int y) {
    return std::uint32_t((x + y) * 40) << 24 | std::uint32_t(x * 60) << 16 | 0x7700u |
           std::uint32_t(y * 100);
  });
}

void ExpectSamePixels(const Bitmap& want, const Bitmap& got) {
  ASSERT_EQ(want.Width(), got.Width());
  ASSERT_EQ(want.Height(), got.Height());
  for (int y = 0; y < want.Height(); ++y) {
    for (int x = 0; x < want.Width(); ++x) {
      EXPECT_EQ(want.Pixel(x, y), got.Pixel(x, y)) << "at " << x << "," << y;
    }
  }
}

// Every strict prefix of a valid file is a damaged file and must be refused cleanly.
void ExpectPrefixesRefused(const std::string& file, ImageFormat format) {
  ASSERT_NO_THROW(Decode(file, format));
  for (std::size_t n = 0; n < file.size(); ++n) {
    EXPECT_THROW(Decode(std::string_view(file).substr(0, n), format), ImageError) << "prefix " << n;
  }
}

// Damaged bytes may still decode to something, but anything else than a picture within the
// limits or an ImageError is a fault.
void ExpectFlipsSurvived(const std::string& file, ImageFormat format) {
  int refused = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    for (int flip : {0x01, 0x80, 0xFF}) {
      std::string damaged = file;
      damaged[i] = static_cast<char>(damaged[i] ^ flip);
      try {
        const Bitmap b = Decode(damaged, format);
        EXPECT_LE(std::int64_t{b.Width()} * b.Height(), std::int64_t{1} << 26);
      } catch (const ImageError& e) {
        EXPECT_STRNE(e.what(), "");
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(GraphicsCodecs, FormatNamesAndMagicBytes) {
  EXPECT_EQ(FormatFromExtension(".bmp"), ImageFormat::Bmp);
  EXPECT_EQ(FormatFromExtension("bmp"), ImageFormat::Bmp);
  EXPECT_EQ(FormatFromExtension(".JPG"), ImageFormat::Jpeg);
  EXPECT_EQ(FormatFromExtension(".jpeg"), ImageFormat::Jpeg);
  EXPECT_EQ(FormatFromExtension("Photo.PNG"), ImageFormat::Png);
  EXPECT_EQ(FormatFromExtension(".mag"), ImageFormat::Mag);
  EXPECT_EQ(FormatFromExtension(".ico"), ImageFormat::Ico);
  EXPECT_EQ(FormatFromExtension(".gif"), ImageFormat::Gif);
  EXPECT_EQ(FormatFromExtension(".tif"), ImageFormat::Unknown);
  EXPECT_EQ(FormatFromExtension(""), ImageFormat::Unknown);

  const Bitmap b = Opaque();
  for (ImageFormat f : {ImageFormat::Bmp, ImageFormat::Ico, ImageFormat::Png, ImageFormat::Jpeg,
                        ImageFormat::Mag}) {
    const std::string file = Encode(b, f);
    EXPECT_EQ(Sniff(file), f);
    EXPECT_EQ(Decode(file, ImageFormat::Unknown).Width(), b.Width());
  }
  EXPECT_EQ(Sniff("GIF89a..."), ImageFormat::Gif);
  EXPECT_EQ(Sniff("hello"), ImageFormat::Unknown);
  EXPECT_THROW(Decode("hello", ImageFormat::Unknown), ImageError);
  EXPECT_THROW(Encode(b, ImageFormat::Gif), ImageError);
  EXPECT_THROW(Encode(Bitmap(), ImageFormat::Png), ImageError);
}

TEST(GraphicsCodecs, BitmapAccessAndAlpha) {
  Bitmap b(3, 2);
  EXPECT_FALSE(b.Empty());
  EXPECT_TRUE(Bitmap().Empty());
  EXPECT_EQ(b.Pixel(2, 1), kBlack);
  EXPECT_FALSE(b.HasAlpha());
  b.SetPixel(2, 1, 0x80FFFFFF);
  EXPECT_TRUE(b.HasAlpha());
  EXPECT_EQ(b.Pixels()[5], 0x80FFFFFFu);
  EXPECT_THROW(b.Pixel(3, 0), std::out_of_range);
  EXPECT_THROW(b.SetPixel(0, -1, 0), std::out_of_range);
}

TEST(GraphicsCodecs, BmpRoundTripKeepsPixelsAndAlpha) {
  const Bitmap opaque = Opaque();
  const std::string file24 = Encode(opaque, ImageFormat::Bmp);
  EXPECT_EQ(file24.size(), 14u + 40u + 3u * 16u);  // 5 pixels of 3 bytes padded to 16
  const Bitmap back24 = Decode(file24, ImageFormat::Bmp);
  ExpectSamePixels(opaque, back24);
  EXPECT_EQ(back24.BitsPerPixel(), 24);

  const Bitmap translucent = Translucent();
  const Bitmap back32 = Decode(Encode(translucent, ImageFormat::Bmp), ImageFormat::Bmp);
  ExpectSamePixels(translucent, back32);
  EXPECT_EQ(back32.BitsPerPixel(), 32);

  // Alpha zero everywhere is still alpha when the file declares it.
  const Bitmap clear(2, 2, 32, 0x00123456);
  ExpectSamePixels(clear, Decode(Encode(clear, ImageFormat::Bmp), ImageFormat::Bmp));
}

TEST(GraphicsCodecs, BmpBottomUpAndTopDownRows) {
  const std::string rows = Bytes({0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  // bottom: blue, white
                                  0, 0, 0xFF, 0, 0xFF, 0, 0, 0});      // top: red, green
  const Bitmap b = Decode(BmpFile(InfoHeader(2, 2, 24, 0), rows), ImageFormat::Bmp);
  EXPECT_EQ(b.Pixel(0, 0), kRed);
  EXPECT_EQ(b.Pixel(1, 0), kGreen);
  EXPECT_EQ(b.Pixel(0, 1), kBlue);
  EXPECT_EQ(b.Pixel(1, 1), kWhite);

  const Bitmap top_down = Decode(BmpFile(InfoHeader(2, -2, 24, 0), rows), ImageFormat::Bmp);
  EXPECT_EQ(top_down.Pixel(0, 0), kBlue);
  EXPECT_EQ(top_down.Pixel(1, 1), kGreen);
}

TEST(GraphicsCodecs, BmpPalettedDepthsAndMasks) {
  const std::string eight = BmpFile(InfoHeader(3, -2, 8, 0, 3) + Palette({kRed, kGreen, kBlue}),
                                    Bytes({0, 1, 2, 0, 2, 2, 0, 0}));
  const Bitmap b8 = Decode(eight, ImageFormat::Bmp);
  EXPECT_EQ(b8.BitsPerPixel(), 8);
  EXPECT_EQ(b8.Pixel(0, 0), kRed);
  EXPECT_EQ(b8.Pixel(1, 0), kGreen);
  EXPECT_EQ(b8.Pixel(2, 0), kBlue);
  EXPECT_EQ(b8.Pixel(0, 1), kBlue);
  EXPECT_EQ(b8.Pixel(2, 1), kRed);

  // OS/2 core header: 16-bit sizes, 3-byte palette entries; 1 bit per pixel.
  const std::string core_header =
      Le32(12) + Le16(3) + Le16(1) + Le16(1) + Le16(1) + Bytes({0, 0, 0, 0xFF, 0xFF, 0xFF});
  const Bitmap b1 = Decode(BmpFile(core_header, Bytes({0xA0, 0, 0, 0})), ImageFormat::Bmp);
  EXPECT_EQ(b1.BitsPerPixel(), 1);
  EXPECT_EQ(b1.Pixel(0, 0), kWhite);
  EXPECT_EQ(b1.Pixel(1, 0), kBlack);
  EXPECT_EQ(b1.Pixel(2, 0), kWhite);

  // 16 bits with 5-6-5 masks after a plain info header.
  const std::string masks = Le32(0xF800) + Le32(0x07E0) + Le32(0x001F);
  const Bitmap b16 = Decode(BmpFile(InfoHeader(2, 1, 16, 3) + masks, Le16(0xF800) + Le16(0x07E0)),
                            ImageFormat::Bmp);
  EXPECT_EQ(b16.Pixel(0, 0), kRed);
  EXPECT_EQ(b16.Pixel(1, 0), kGreen);

  // 32 bits with the fourth byte unused (all zero) is opaque.
  const Bitmap b32 =
      Decode(BmpFile(InfoHeader(1, 1, 32, 0), Bytes({0x10, 0x20, 0x30, 0})), ImageFormat::Bmp);
  EXPECT_EQ(b32.Pixel(0, 0), 0xFF302010u);
}

TEST(GraphicsCodecs, BmpRunLengthPictures) {
  const std::string rle8 = Bytes({4, 1, 0, 0,              // bottom line: four of colour 1
                                  0, 3, 1, 0, 1, 0, 0, 0,  // literal 1 0 1, padded; end of line
                                  0, 2, 2, 0, 2, 1,        // jump two right; two of colour 1
                                  0, 1});                  // end of picture
  const std::string file = BmpFile(InfoHeader(4, 3, 8, 1, 2) + Palette({kBlack, 0xFF336699}), rle8);
  const Bitmap b = Decode(file, ImageFormat::Bmp);
  const std::uint32_t c = 0xFF336699;
  const std::uint32_t want[3][4] = {{kBlack, kBlack, c, c}, {c, kBlack, c, kBlack}, {c, c, c, c}};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Pixel(x, y), want[y][x]) << x << "," << y;
  }
  ExpectPrefixesRefused(file, ImageFormat::Bmp);

  const std::string rle4 = BmpFile(InfoHeader(5, 1, 4, 2, 3) + Palette({kBlack, kRed, kBlue}),
                                   Bytes({4, 0x12, 0, 1, 2, 0, 0, 1}));
  const Bitmap b4 = Decode(rle4, ImageFormat::Bmp);
  EXPECT_EQ(b4.Pixel(0, 0), kRed);
  EXPECT_EQ(b4.Pixel(1, 0), kBlue);
  EXPECT_EQ(b4.Pixel(3, 0), kBlue);
  EXPECT_EQ(b4.Pixel(4, 0), kBlack);  // never reached: colour 0
}

TEST(GraphicsCodecs, BmpHostileHeadersAreRefused) {
  const std::string pixels(64, '\0');
  const auto refused = [&](const std::string& header) {
    EXPECT_THROW(Decode(BmpFile(header, pixels), ImageFormat::Bmp), ImageError);
  };
  refused(InfoHeader(100000, 1, 24, 0));
  refused(InfoHeader(16384, 16384, 24, 0));
  refused(InfoHeader(1, INT32_MIN, 24, 0));
  refused(InfoHeader(0, 1, 24, 0));
  refused(InfoHeader(1, 0, 24, 0));
  refused(InfoHeader(2, 2, 7, 0));
  refused(InfoHeader(2, 2, 24, 1));                        // RLE8 needs 8 bits
  refused(InfoHeader(2, 2, 8, 0, 300) + Palette({kRed}));  // palette overflow
  refused(InfoHeader(2, 2, 24, 4));                        // embedded JPEG
  refused(InfoHeader(8, 8, 24, 0));                        // more rows than bytes
  refused(InfoHeader(2, -2, 8, 1, 1) + Palette({kRed}));   // top-down RLE
  std::string far_pixels = BmpFile(InfoHeader(1, 1, 24, 0), "abcd");
  far_pixels.replace(10, 4, Le32(0x7FFFFFF0));
  EXPECT_THROW(Decode(far_pixels, ImageFormat::Bmp), ImageError);

  const std::string file = Encode(Opaque(), ImageFormat::Bmp);
  ExpectPrefixesRefused(file, ImageFormat::Bmp);
  ExpectFlipsSurvived(file, ImageFormat::Bmp);
}

std::string IconDirectory(std::initializer_list<std::string> entries) {
  std::string out = Le16(0) + Le16(1) + Le16(static_cast<unsigned>(entries.size()));
  for (const std::string& e : entries) out += e;
  return out;
}

std::string IconEntry(int width, int height, int bpp, std::uint32_t size, std::uint32_t offset) {
  return Bytes({width, height, 0, 0}) + Le16(1) + Le16(static_cast<unsigned>(bpp)) + Le32(size) +
         Le32(offset);
}

TEST(GraphicsCodecs, IcoRoundTripAndLimits) {
  const Bitmap translucent = Translucent();
  const std::string file = Encode(translucent, ImageFormat::Ico);
  ExpectSamePixels(translucent, Decode(file, ImageFormat::Ico));
  ExpectSamePixels(Opaque(), Decode(Encode(Opaque(), ImageFormat::Ico), ImageFormat::Ico));
  const Bitmap largest(256, 256, 32, 0x80102030);
  ExpectSamePixels(largest, Decode(Encode(largest, ImageFormat::Ico), ImageFormat::Ico));
  EXPECT_THROW(Encode(Bitmap(257, 1), ImageFormat::Ico), ImageError);

  ExpectPrefixesRefused(file, ImageFormat::Ico);
  ExpectFlipsSurvived(file, ImageFormat::Ico);
}

TEST(GraphicsCodecs, IcoPicksLargestEntryAndAppliesMask) {
  const std::string dib = InfoHeader(2, 4, 1, 0) + Palette({kBlack, kWhite}) +
                          Bytes({0x80, 0, 0, 0, 0x40, 0, 0, 0,    // colour rows, bottom first
                                 0x00, 0, 0, 0, 0x80, 0, 0, 0});  // mask rows
  const std::size_t dib_at = 6 + 2 * 16;
  // The small entry points nowhere: choosing it would fail.
  const std::string file = IconDirectory({IconEntry(1, 1, 1, 40, 9999),
                                          IconEntry(2, 2, 1, static_cast<std::uint32_t>(dib.size()),
                                                    static_cast<std::uint32_t>(dib_at))}) +
                           dib;
  const Bitmap b = Decode(file, ImageFormat::Ico);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.Pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(b.Pixel(1, 0), kWhite);
  EXPECT_EQ(b.Pixel(0, 1), kWhite);
  EXPECT_EQ(b.Pixel(1, 1), kBlack);

  const std::string png = Encode(Translucent(), ImageFormat::Png);
  const std::string png_icon =
      IconDirectory({IconEntry(4, 3, 32, static_cast<std::uint32_t>(png.size()), 22)}) + png;
  ExpectSamePixels(Translucent(), Decode(png_icon, ImageFormat::Ico));

  EXPECT_THROW(Decode(IconDirectory({}), ImageFormat::Ico), ImageError);
  EXPECT_THROW(Decode(IconDirectory({IconEntry(2, 2, 1, 0xFFFFFFFF, 22)}) + dib, ImageFormat::Ico),
               ImageError);
  std::string huge = dib;
  huge.replace(4, 4, Le32(70000));
  EXPECT_THROW(
      Decode(
          IconDirectory({IconEntry(0, 0, 1, static_cast<std::uint32_t>(huge.size()), 22)}) + huge,
          ImageFormat::Ico),
      ImageError);
}

std::string PngChunk(std::string_view type, const std::string& data) {
  const std::string body = std::string(type) + data;
  const auto crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return Be32(static_cast<std::uint32_t>(data.size())) + body +
         Be32(static_cast<std::uint32_t>(crc));
}

std::string PngFile(int width, int height, int depth, int color_type, const std::string& rows,
                    const std::string& before_data = "") {
  uLongf size = compressBound(static_cast<uLong>(rows.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size,
           reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()));
  packed.resize(size);
  const std::string ihdr = Be32(static_cast<std::uint32_t>(width)) +
                           Be32(static_cast<std::uint32_t>(height)) +
                           Bytes({depth, color_type, 0, 0, 0});
  return "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", ihdr) + before_data + PngChunk("IDAT", packed) +
         PngChunk("IEND", "");
}

TEST(GraphicsCodecs, PngRoundTripWithAndWithoutAlpha) {
  const Bitmap opaque = Opaque();
  const Bitmap back = Decode(Encode(opaque, ImageFormat::Png), ImageFormat::Png);
  ExpectSamePixels(opaque, back);
  EXPECT_EQ(back.BitsPerPixel(), 24);

  Bitmap translucent = Translucent();
  translucent.SetPixel(0, 0, 0x01FFFFFF);
  const Bitmap back_alpha = Decode(Encode(translucent, ImageFormat::Png), ImageFormat::Png);
  ExpectSamePixels(translucent, back_alpha);
  EXPECT_EQ(back_alpha.BitsPerPixel(), 32);
}

TEST(GraphicsCodecs, PngColourTypesExpandToArgb) {
  // 1-bit palette with the first entry transparent: pixels 0 1 0.
  const std::string plte = PngChunk("PLTE", Bytes({0xFF, 0, 0, 0, 0, 0xFF}));
  const std::string trns = PngChunk("tRNS", Bytes({0}));
  const Bitmap p = Decode(PngFile(3, 1, 1, 3, Bytes({0, 0x40}), plte + trns), ImageFormat::Png);
  EXPECT_EQ(p.Pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(p.Pixel(1, 0), kBlue);
  EXPECT_EQ(p.Pixel(2, 0) >> 24, 0u);

  const Bitmap p1 = Decode(PngFile(2, 1, 1, 3, Bytes({0, 0x40}), plte), ImageFormat::Png);
  EXPECT_EQ(p1.BitsPerPixel(), 1);
  EXPECT_EQ(p1.Pixel(0, 0), kRed);

  const Bitmap gray16 =
      Decode(PngFile(2, 1, 16, 0, Bytes({0, 0, 0, 0xFF, 0xFF})), ImageFormat::Png);
  EXPECT_EQ(gray16.Pixel(0, 0), kBlack);
  EXPECT_EQ(gray16.Pixel(1, 0), kWhite);

  const Bitmap rgb8 =
      Decode(PngFile(1, 2, 8, 2, Bytes({0, 1, 2, 3, 0, 4, 5, 6})), ImageFormat::Png);
  EXPECT_EQ(rgb8.Pixel(0, 0), 0xFF010203u);
  EXPECT_EQ(rgb8.Pixel(0, 1), 0xFF040506u);
}

TEST(GraphicsCodecs, PngDamageIsRefused) {
  const std::string file = Encode(Translucent(), ImageFormat::Png);
  ExpectPrefixesRefused(file, ImageFormat::Png);
  ExpectFlipsSurvived(file, ImageFormat::Png);
  std::string bad_crc = file;
  bad_crc[29] = static_cast<char>(bad_crc[29] ^ 1);
  EXPECT_THROW(Decode(bad_crc, ImageFormat::Png), ImageError);
  // A small file that would expand to 20000 x 20000.
  EXPECT_THROW(Decode(PngFile(20000, 20000, 1, 0, Bytes({0, 0})), ImageFormat::Png), ImageError);
}

Bitmap Gradient() {
  return Pattern(32, 24, [](int x, int y) {
    return 0xFF000000u | std::uint32_t(x * 8) << 16 | std::uint32_t(y * 10) << 8 |
           std::uint32_t(128 + x - y);
  });
}

int LargestChannelError(const Bitmap& a, const Bitmap& b) {
  int worst = 0;
  for (std::size_t i = 0; i < a.Pixels().size(); ++i) {
    for (int shift : {0, 8, 16}) {
      const int d =
          std::abs(int(a.Pixels()[i] >> shift & 0xFF) - int(b.Pixels()[i] >> shift & 0xFF));
      worst = std::max(worst, d);
    }
  }
  return worst;
}

TEST(GraphicsCodecs, JpegRoundTripAndQuality) {
  const Bitmap picture = Gradient();
  const std::string best = Encode(picture, ImageFormat::Jpeg);
  const Bitmap back = Decode(best, ImageFormat::Jpeg);
  ASSERT_EQ(back.Width(), picture.Width());
  ASSERT_EQ(back.Height(), picture.Height());
  EXPECT_EQ(back.BitsPerPixel(), 24);
  EXPECT_FALSE(back.HasAlpha());
  EXPECT_LE(LargestChannelError(picture, back), 6);

  const std::string low = Encode(picture, ImageFormat::Jpeg, 10);
  const std::string high = Encode(picture, ImageFormat::Jpeg, 95);
  EXPECT_LT(low.size(), high.size());
  EXPECT_GT(LargestChannelError(picture, Decode(low, ImageFormat::Jpeg)),
            LargestChannelError(picture, back));
  EXPECT_EQ(Encode(picture, ImageFormat::Jpeg, -5), Encode(picture, ImageFormat::Jpeg, 1));
  EXPECT_EQ(Encode(picture, ImageFormat::Jpeg, 500), best);
}

TEST(GraphicsCodecs, JpegDamageIsRefused) {
  const std::string file =
      Encode(Pattern(9, 7, [](int x, int y) { return 0xFF000000u | std::uint32_t(x * y * 3); }),
             ImageFormat::Jpeg, 80);
  ExpectPrefixesRefused(file, ImageFormat::Jpeg);
  ExpectFlipsSurvived(file, ImageFormat::Jpeg);
  // Baseline start-of-frame marker: FF C0, length, precision, then height and width.
  std::string huge = file;
  const std::size_t sof = huge.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  huge.replace(sof + 5, 4, Bytes({0xFF, 0xF0, 0xFF, 0xF0}));
  EXPECT_THROW(Decode(huge, ImageFormat::Jpeg), ImageError);
}

// A MAG file: header fields as given, offsets relative to the header.
std::string MagFile(int mode, int x0, int y0, int x1, int y1, const std::string& palette,
                    const std::string& flag_a, const std::string& flag_b,
                    const std::string& pixels) {
  const std::uint32_t a = static_cast<std::uint32_t>(32 + palette.size());
  const std::uint32_t b = a + static_cast<std::uint32_t>(flag_a.size());
  const std::uint32_t p = b + static_cast<std::uint32_t>(flag_b.size());
  return std::string("MAKI02  ") + "TEST" + std::string(18, ' ') + "a comment\x1A" +
         Bytes({0, 0, 0, mode}) + Le16(static_cast<unsigned>(x0)) +
         Le16(static_cast<unsigned>(y0)) + Le16(static_cast<unsigned>(x1)) +
         Le16(static_cast<unsigned>(y1)) + Le32(a) + Le32(b) +
         Le32(static_cast<std::uint32_t>(flag_b.size())) + Le32(p) +
         Le32(static_cast<std::uint32_t>(pixels.size())) + palette + flag_a + flag_b + pixels;
}

std::uint32_t MagColour(int i) {
  return 0xFF000000u | std::uint32_t(255 - i * 16) << 16 | std::uint32_t(i * 16) << 8 |
         std::uint32_t(i);
}

std::string MagPalette16() {
  std::string out;
  for (int i = 0; i < 16; ++i) out += Bytes({i * 16, 255 - i * 16, i});  // green, red, blue
  return out;
}

TEST(GraphicsCodecs, MagHandMadeSixteenColours) {
  // Stored lines of 8 pixels; the picture is columns 2..5.
  //   line 0: literal 01 23, literal 45 67         -> 0 1 2 3 4 5 6 7
  //   line 1: flags 41: copy from above, copy left -> 0 1 2 3 0 1 2 3
  //   line 2: flags 01: literal 89 AB, copy left   -> 8 9 A B 8 9 A B
  //   line 3: flags unchanged: literal CD EF, left -> C D E F C D E F
  const std::string file =
      MagFile(0, 2, 0, 5, 3, MagPalette16(), Bytes({0x60}), Bytes({0x41, 0x40}),
              Bytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  const Bitmap b = Decode(file, ImageFormat::Mag);
  ASSERT_EQ(b.Width(), 4);
  ASSERT_EQ(b.Height(), 4);
  EXPECT_EQ(b.BitsPerPixel(), 4);
  const int want[4][4] = {{2, 3, 4, 5}, {2, 3, 0, 1}, {10, 11, 8, 9}, {14, 15, 12, 13}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Pixel(x, y), MagColour(want[y][x])) << x << "," << y;
  }
  ExpectPrefixesRefused(file, ImageFormat::Mag);
  ExpectFlipsSurvived(file, ImageFormat::Mag);

  // A copy from above on the first line reaches outside the picture.
  EXPECT_THROW(
      Decode(MagFile(0, 0, 0, 7, 0, MagPalette16(), Bytes({0x80}), Bytes({0x40}), Bytes({0, 0})),
             ImageFormat::Mag),
      ImageError);
  EXPECT_THROW(Decode(MagFile(0, 0, 0, 65535, 65535, MagPalette16(), "", "", ""), ImageFormat::Mag),
               ImageError);
  EXPECT_THROW(Decode(MagFile(0, 5, 0, 4, 0, MagPalette16(), "", "", ""), ImageFormat::Mag),
               ImageError);
}

TEST(GraphicsCodecs, MagHandMade256Colours) {
  std::string palette;
  for (int i = 0; i < 256; ++i) palette += Bytes({i, 255 - i, i / 2});
  // Line 0 literal 10 20 30 40; line 1 copies from above and from above-left.
  const std::string file = MagFile(0x80, 0, 0, 3, 1, palette, Bytes({0x40}), Bytes({0x45}),
                                   Bytes({0x10, 0x20, 0x30, 0x40}));
  const Bitmap b = Decode(file, ImageFormat::Mag);
  const auto colour = [](int i) {
    return 0xFF000000u | std::uint32_t(255 - i) << 16 | std::uint32_t(i) << 8 |
           std::uint32_t(i / 2);
  };
  EXPECT_EQ(b.BitsPerPixel(), 8);
  const int want[2][4] = {{0x10, 0x20, 0x30, 0x40}, {0x10, 0x20, 0x10, 0x20}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Pixel(x, y), colour(want[y][x])) << x << "," << y;
  }
}

TEST(GraphicsCodecs, MagRoundTripsAreExactUpTo256Colours) {
  const Bitmap sixteen =
      Pattern(13, 21, [](int x, int y) { return MagColour((x / 3 + y / 2) % 16); });
  const std::string file16 = Encode(sixteen, ImageFormat::Mag);
  const Bitmap back16 = Decode(file16, ImageFormat::Mag);
  ExpectSamePixels(sixteen, back16);
  EXPECT_EQ(back16.BitsPerPixel(), 4);
  EXPECT_EQ(static_cast<unsigned char>(file16[31]), 0u) << "16-colour mode";

  const Bitmap many = Pattern(19, 17, [](int x, int y) {
    return 0xFF000000u | std::uint32_t((x * 17 + y) % 250) * 0x010203u;
  });
  const Bitmap back256 = Decode(Encode(many, ImageFormat::Mag), ImageFormat::Mag);
  ExpectSamePixels(many, back256);
  EXPECT_EQ(back256.BitsPerPixel(), 8);

  // Repeated content goes through copy flags: far smaller than the literal pixels.
  const Bitmap flat(64, 64, 24, MagColour(3));
  const std::string flat_file = Encode(flat, ImageFormat::Mag);
  EXPECT_LT(flat_file.size(), 64u * 64u / 2u / 8u);
  ExpectSamePixels(flat, Decode(flat_file, ImageFormat::Mag));

  // More than 256 colours are reduced, each channel staying close.
  const Bitmap gradient = Gradient();
  const Bitmap reduced = Decode(Encode(gradient, ImageFormat::Mag), ImageFormat::Mag);
  ASSERT_EQ(reduced.Width(), gradient.Width());
  EXPECT_LE(LargestChannelError(gradient, reduced), 26);

  const std::string file = Encode(Opaque(), ImageFormat::Mag);
  ExpectPrefixesRefused(file, ImageFormat::Mag);
  ExpectFlipsSurvived(file, ImageFormat::Mag);
}

// 2x2, two colours (red, blue), pixels 0 1 / 1 0, LZW with 2-bit codes: clear 0 1 clear 1 0 end.
std::string TinyGif(bool transparent_blue) {
  std::string out =
      "GIF89a" + Le16(2) + Le16(2) + Bytes({0x80, 0, 0}) + Bytes({0xFF, 0, 0, 0, 0, 0xFF});
  if (transparent_blue) out += Bytes({0x21, 0xF9, 4, 1, 0, 0, 1, 0});
  out += Bytes({0x2C}) + Le16(0) + Le16(0) + Le16(2) + Le16(2) + Bytes({0});
  out += Bytes({2, 3, 0x44, 0x18, 0x14, 0, 0x3B});
  return out;
}

TEST(GraphicsCodecs, GifFirstFrameWithTransparency) {
  const Bitmap plain = Decode(TinyGif(false), ImageFormat::Gif);
  ASSERT_EQ(plain.Width(), 2);
  ASSERT_EQ(plain.Height(), 2);
  EXPECT_EQ(plain.Pixel(0, 0), kRed);
  EXPECT_EQ(plain.Pixel(1, 0), kBlue);
  EXPECT_EQ(plain.Pixel(0, 1), kBlue);
  EXPECT_EQ(plain.Pixel(1, 1), kRed);
  EXPECT_FALSE(plain.HasAlpha());

  const Bitmap see_through = Decode(TinyGif(true), ImageFormat::Gif);
  EXPECT_EQ(see_through.Pixel(0, 0), kRed);
  EXPECT_EQ(see_through.Pixel(1, 0) >> 24, 0u);
  EXPECT_EQ(see_through.Pixel(0, 1) >> 24, 0u);

  ExpectPrefixesRefused(TinyGif(true), ImageFormat::Gif);
  ExpectFlipsSurvived(TinyGif(true), ImageFormat::Gif);
  std::string huge = TinyGif(false);
  huge.replace(6, 4, Le16(65535) + Le16(65535));
  EXPECT_THROW(Decode(huge, ImageFormat::Gif), ImageError);
}

}  // namespace
