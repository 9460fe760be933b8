// Reads the first picture of a GIF file through giflib; transparency becomes alpha.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/codec_internal.h"

namespace morivel::graphics::detail {

namespace {

constexpr int kNoTransparency = -1;

struct Source {
  std::string_view bytes;
  std::size_t pos = 0;
};

int ReadSource(GifFileType* gif, GifByteType* out, int length) {
  auto* source = static_cast<Source*>(gif->UserData);
  const std::size_t count =
      std::min(static_cast<std::size_t>(std::max(length, 0)), source->bytes.size() - source->pos);
  std::memcpy(out, source->bytes.data() + source->pos, count);
  source->pos += count;
  return static_cast<int>(count);
}

struct CloseGif {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, CloseGif>;

[[noreturn]] void Fail(int error) {
  const char* reason = GifErrorString(error);
  throw ImageError(reason ? reason : "bad GIF data");
}

void Check(int result, const GifHandle& gif) {
  if (result == GIF_ERROR) Fail(gif->Error);
}

// Keeps the transparent index of a graphic control block; every other extension is skipped.
void ReadExtension(const GifHandle& gif, int* transparent) {
  int code = 0;
  GifByteType* block = nullptr;
  Check(DGifGetExtension(gif.get(), &code, &block), gif);
  bool first = true;
  while (block != nullptr) {
    if (first && transparent && code == GRAPHICS_EXT_FUNC_CODE && block[0] >= 4) {
      *transparent = (block[1] & 0x01) ? block[4] : kNoTransparency;
    }
    first = false;
    Check(DGifGetExtensionNext(gif.get(), &block), gif);
  }
}

void SkipFrame(const GifHandle& gif) {
  int code_size = 0;
  GifByteType* block = nullptr;
  Check(DGifGetCode(gif.get(), &code_size, &block), gif);
  while (block != nullptr) Check(DGifGetCodeNext(gif.get(), &block), gif);
}

// Rows in the order an interlaced frame stores them: every 8th from 0, every 8th from 4, every
// 4th from 2, every 2nd from 1.
std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  constexpr int kStart[] = {0, 4, 2, 1};
  constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  }
  return rows;
}

int RecordedDepth(const ColorMapObject& map) {
  return map.BitsPerPixel <= 1 ? 1 : map.BitsPerPixel <= 4 ? 4 : 8;
}

// The frame is placed on the logical screen; screen pixels it does not cover stay transparent.
Bitmap ReadFrame(const GifHandle& gif, int transparent) {
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (map == nullptr) throw ImageError("GIF has no colour table");
  CheckDimensions(frame.Width, frame.Height);
  const std::int64_t width =
      std::max<std::int64_t>(gif->SWidth, std::int64_t{frame.Left} + frame.Width);
  const std::int64_t height =
      std::max<std::int64_t>(gif->SHeight, std::int64_t{frame.Top} + frame.Height);
  CheckDimensions(width, height);
  Bitmap picture(static_cast<int>(width), static_cast<int>(height), RecordedDepth(*map), 0);
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  for (int row : RowOrder(frame.Height, frame.Interlace)) {
    Check(DGifGetLine(gif.get(), line.data(), frame.Width), gif);
    for (int x = 0; x < frame.Width; ++x) {
      const int index = line[static_cast<std::size_t>(x)];
      std::uint32_t argb = 0;
      if (index != transparent) {
        argb = Argb(0xFF, 0, 0, 0);  // indices past the table show black
        if (index < map->ColorCount) {
          const GifColorType& c = map->Colors[index];
          argb = Argb(0xFF, c.Red, c.Green, c.Blue);
        }
      }
      picture.SetPixel(frame.Left + x, frame.Top + row, argb);
    }
  }
  return picture;
}

}  // namespace

Bitmap DecodeGif(std::string_view bytes) {
  Source source{bytes};
  int error = 0;
  const GifHandle gif(DGifOpen(&source, ReadSource, &error));
  if (!gif) Fail(error);
  int transparent = kNoTransparency;
  Bitmap picture;
  bool have_picture = false;
  // The later frames are read through too, so a file cut short is noticed.
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    Check(DGifGetRecordType(gif.get(), &type), gif);
    switch (type) {
      case IMAGE_DESC_RECORD_TYPE:
        Check(DGifGetImageDesc(gif.get()), gif);
        if (have_picture) {
          SkipFrame(gif);
        } else {
          picture = ReadFrame(gif, transparent);
          have_picture = true;
        }
        break;
      case EXTENSION_RECORD_TYPE:
        ReadExtension(gif, have_picture ? nullptr : &transparent);
        break;
      case TERMINATE_RECORD_TYPE:
        if (!have_picture) throw ImageError("GIF holds no picture");
        return picture;
      default:
        throw ImageError("bad GIF data");
    }
  }
}

}  // namespace morivel::graphics::detail
