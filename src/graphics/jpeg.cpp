// Reads and writes JPEG pictures through libjpeg.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "graphics/codec_internal.h"

namespace morivel::graphics::detail {

namespace {

// Progressive files can repeat scans almost without end; real ones use a dozen or so.
constexpr int kMaxScans = 256;
constexpr long kMaxLibraryMemory = 1L << 29;

// libjpeg reports fatal errors through error_exit, which must not return. We longjmp back into
// the one function that called setjmp; that function and everything libjpeg runs beneath it hold
// only plain data, so no destructor is skipped. The C++ exception is thrown after it returns.
struct ErrorTrap {
  jpeg_error_mgr manager;  // first, so libjpeg's pointer converts back to the trap
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

ErrorTrap* TrapOf(j_common_ptr cinfo) {
  return reinterpret_cast<ErrorTrap*>(cinfo->err);
}

[[noreturn]] void Escape(j_common_ptr cinfo) {
  ErrorTrap* trap = TrapOf(cinfo);
  (*cinfo->err->format_message)(cinfo, trap->message);
  std::longjmp(trap->jump, 1);
}

// Warnings are mostly harmless damage, but running out of data means the file was cut short.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) Escape(cinfo);
}

void OnProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxScans) return;
  ErrorTrap* trap = TrapOf(cinfo);
  std::snprintf(trap->message, sizeof trap->message, "too many JPEG scans");
  std::longjmp(trap->jump, 1);
}

void InstallTrap(ErrorTrap* trap) {
  jpeg_std_error(&trap->manager);
  trap->manager.error_exit = Escape;
  trap->manager.emit_message = OnMessage;
  trap->message[0] = '\0';
}

// Samples as libjpeg delivers them: 3 per pixel (RGB), or 4 (CMYK) for Adobe CMYK/YCCK files.
struct Samples {
  std::vector<unsigned char> data;
  int width = 0;
  int height = 0;
  int components = 0;
};

bool RunDecompress(const unsigned char* bytes, unsigned long size, Samples* out, ErrorTrap* trap) {
  jpeg_decompress_struct cinfo;
  jpeg_progress_mgr progress;
  InstallTrap(trap);
  cinfo.err = &trap->manager;
  if (setjmp(trap->jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
  progress.progress_monitor = OnProgress;
  cinfo.progress = &progress;
  jpeg_mem_src(&cinfo, bytes, size);
  jpeg_read_header(&cinfo, TRUE);
  if (!DimensionsAllowed(cinfo.image_width, cinfo.image_height)) {
    std::snprintf(trap->message, sizeof trap->message, "picture is too large");
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out->width = static_cast<int>(cinfo.output_width);
  out->height = static_cast<int>(cinfo.output_height);
  out->components = cinfo.output_components;
  const std::size_t stride = std::size_t{cinfo.output_width} * cinfo.output_components;
  out->data.resize(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out->data.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// Adobe writes CMYK inverted, so full ink is 0 and white is 255 in every channel.
std::uint32_t FromInvertedCmyk(const unsigned char* p) {
  const unsigned k = p[3];
  return Argb(0xFF, p[0] * k / 255, p[1] * k / 255, p[2] * k / 255);
}

bool RunCompress(const unsigned char* rgb, int width, int height, int quality, unsigned char** out,
                 unsigned long* out_size, ErrorTrap* trap) {
  jpeg_compress_struct cinfo;
  InstallTrap(trap);
  cinfo.err = &trap->manager;
  if (setjmp(trap->jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, out_size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (quality >= 90) {
    // Full-resolution colour: at high quality, halving the chroma costs more than it saves.
    for (int c = 0; c < cinfo.num_components; ++c) {
      cinfo.comp_info[c].h_samp_factor = 1;
      cinfo.comp_info[c].v_samp_factor = 1;
    }
  }
  jpeg_start_compress(&cinfo, TRUE);
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<unsigned char*>(rgb) + stride * cinfo.next_scanline;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

struct FreeBuffer {
  void operator()(unsigned char* buffer) const { std::free(buffer); }
};

}  // namespace

Bitmap DecodeJpeg(std::string_view bytes) {
  ErrorTrap trap;
  Samples samples;
  if (!RunDecompress(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &samples,
                     &trap)) {
    throw ImageError(trap.message[0] ? trap.message : "bad JPEG data");
  }
  Bitmap picture(samples.width, samples.height, 24);
  const unsigned char* p = samples.data.data();
  for (int y = 0; y < samples.height; ++y) {
    for (int x = 0; x < samples.width; ++x, p += samples.components) {
      picture.SetPixel(
          x, y, samples.components == 4 ? FromInvertedCmyk(p) : Argb(0xFF, p[0], p[1], p[2]));
    }
  }
  return picture;
}

std::string EncodeJpeg(const Bitmap& bitmap, int quality) {
  std::vector<unsigned char> rgb;
  rgb.reserve(bitmap.Pixels().size() * 3);
  for (std::uint32_t argb : bitmap.Pixels()) {
    rgb.push_back(static_cast<unsigned char>(RedOf(argb)));
    rgb.push_back(static_cast<unsigned char>(GreenOf(argb)));
    rgb.push_back(static_cast<unsigned char>(BlueOf(argb)));
  }
  ErrorTrap trap;
  unsigned char* buffer = nullptr;  // allocated by libjpeg, owned by `owned` once it returns
  unsigned long size = 0;
  const bool ok =
      RunCompress(rgb.data(), bitmap.Width(), bitmap.Height(), quality, &buffer, &size, &trap);
  const std::unique_ptr<unsigned char, FreeBuffer> owned(buffer);
  if (!ok) throw ImageError(trap.message[0] ? trap.message : "JPEG encoding failed");
  return std::string(reinterpret_cast<const char*>(owned.get()), size);
}

}  // namespace morivel::graphics::detail
