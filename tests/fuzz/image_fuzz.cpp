// Fuzz target: arbitrary bytes through the image decoders; the first byte picks the format.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "graphics/bitmap.h"
#include "graphics/codecs.h"

namespace {

using morivel::graphics::Bitmap;
using morivel::graphics::Decode;
using morivel::graphics::Encode;
using morivel::graphics::ImageError;
using morivel::graphics::ImageFormat;

constexpr ImageFormat kFormats[] = {ImageFormat::Bmp,    ImageFormat::Ico, ImageFormat::Png,
                                    ImageFormat::Jpeg,   ImageFormat::Mag, ImageFormat::Gif,
                                    ImageFormat::Unknown};

// Whatever decodes must survive our own lossless writers unchanged.
void CheckLosslessRoundTrip(const Bitmap& picture, ImageFormat format) {
  const Bitmap back = Decode(Encode(picture, format), format);
  if (back.Width() != picture.Width() || back.Height() != picture.Height() ||
      back.Pixels() != picture.Pixels()) {
    std::abort();
  }
}

void ExerciseWriters(const Bitmap& picture) {
  if (picture.Pixels().size() > (1u << 14)) return;  // keep iterations fast
  CheckLosslessRoundTrip(picture, ImageFormat::Bmp);
  CheckLosslessRoundTrip(picture, ImageFormat::Png);
  if (picture.Width() <= 256 && picture.Height() <= 256) {
    CheckLosslessRoundTrip(picture, ImageFormat::Ico);
  }
  const Bitmap mag = Decode(Encode(picture, ImageFormat::Mag), ImageFormat::Mag);
  if (mag.Width() != picture.Width() || mag.Height() != picture.Height()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ImageFormat format = kFormats[data[0] % std::size(kFormats)];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    ExerciseWriters(Decode(input, format));
  } catch (const ImageError&) {
    // Refusing damaged input is the expected outcome.
  }
  return 0;
}
