// Pictures on parts: the one image loader, the image saver and the surfaces images live on.
#include "gui/images.h"

#include <QApplication>
#include <QClipboard>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "commands/file_handles.h"
#include "commands/packing.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "graphics/codecs.h"
#include "gui/canvas.h"
#include "gui/front_end.h"
#include "gui/kinds/form_part.h"
#include "gui/kinds/media.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/japanese.h"
#include "text/paths.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

namespace fs = std::filesystem;

const std::string& clipboard_name() {
  static const std::string name = text::sjis("クリップボード");
  return name;
}

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

std::string ascii_lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// A failure of the picture itself, worded for the script.
struct LoadFailure {
  std::string message;
};

std::string cannot_read(const std::string& name) {
  return in_quotes(name) + text::sjis("が読込めません。");
}

std::string picture_file_unreadable(const std::string& name) {
  return text::sjis("画像ファイル") + cannot_read(name);
}

// ---- files ------------------------------------------------------------------------------------

bool file_exists(const std::string& sjis_path) {
  std::error_code ec;
  return fs::is_regular_file(commands::native_path(sjis_path), ec);
}

std::string with_separator(std::string folder) {
  if (!folder.empty() && !text::ends_with_separator(folder)) folder += '/';
  return folder;
}

std::string current_folder() {
  std::error_code ec;
  fs::path here = fs::current_path(ec);
  return ec ? std::string() : with_separator(commands::script_path_of(here));
}

std::string program_folder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : with_separator(commands::script_path_of(exe.parent_path()));
}

bool is_absolute_name(const std::string& name) {
  return name.find(':') != std::string::npos ||
         (!name.empty() && (name[0] == '/' || name[0] == '\\'));
}

std::optional<std::string> read_bytes(const std::string& sjis_path) {
  std::ifstream file(commands::native_path(sjis_path), std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return bytes;
}

QImage decode_file(engine::Interpreter& in, const std::string& name, const std::string& ext) {
  graphics::ImageFormat format = graphics::FormatFromExtension(ext);
  // No image plug-ins exist here, and executables carry no icons this loader can reach.
  if (format == graphics::ImageFormat::Unknown)
    throw LoadFailure{cannot_read(name) + text::sjis("未対応のファイル形式です。")};
  std::optional<std::string> bytes = read_bytes(find_image_file(in, name));
  if (!bytes) throw LoadFailure{picture_file_unreadable(name)};
  try {
    return to_qimage(graphics::Decode(*bytes, format));
  } catch (const std::exception& e) {
    throw LoadFailure{picture_file_unreadable(name) + e.what()};
  }
}

// ---- parts ------------------------------------------------------------------------------------

Part* part_named(engine::Interpreter& in, const std::string& name) {
  PartRegistry& parts = front_end(in).Parts();
  words::TObjNode* node = parts.FindByName(in, name);
  return node ? parts.PartOf(*node) : nullptr;
}

QImage part_picture(engine::Interpreter& in, const std::string& name) {
  Part* part = part_named(in, name);
  // Part names are written in either width; the half-width form is the second guess.
  if (!part) part = part_named(in, text::alnum_to_half_width(name));
  if (auto* image = dynamic_cast<ImagePart*>(part); image && image->View())
    return image->View()->Image().copy();
  if (auto* form = dynamic_cast<FormPart*>(part)) return form->Img().Image().copy();
  throw LoadFailure{text::sjis("画像として、") + in_quotes(name) +
                    text::sjis("を読み込めません。")};
}

QImage load_or_fail(engine::Interpreter& in, const std::string& given) {
  std::string name = given;
  if (std::string packed = commands::ResolvePackedFile(in, name); !packed.empty()) name = packed;
  if (name == clipboard_name()) return QApplication::clipboard()->image();
  std::string ext = ascii_lower(text::extract_extension(name));
  if (ext.empty()) return part_picture(in, name);
  return decode_file(in, name, ext);
}

// ---- saving -----------------------------------------------------------------------------------

// The picture a part saves: an image part's own, a form's drawing image at its client size.
QImage picture_to_save(engine::Interpreter& in, const std::string& part_name) {
  PartRegistry& parts = front_end(in).Parts();
  words::TObjNode* node = parts.FindByName(in, part_name);
  if (!node)
    throw in.Error(text::sjis("部品") + in_quotes(part_name) +
                   text::sjis("は、作成されていません。"));
  Part* part = parts.PartOf(*node);
  if (auto* image = dynamic_cast<ImagePart*>(part); image && image->View())
    return image->View()->Image();
  if (auto* form = dynamic_cast<FormPart*>(part)) {
    Canvas& img = form->Img();
    img.ResizeImage(form->ClientSize(), img.Background());
    return img.Image();
  }
  throw in.Error(in_quotes(part_name) + text::sjis("はイメージではありません。"));
}

graphics::ImageFormat save_format(const std::string& ext) {
  using graphics::ImageFormat;
  if (ext == ".bmp") return ImageFormat::Bmp;
  if (ext == ".jpg" || ext == ".jpeg") return ImageFormat::Jpeg;
  if (ext == ".png") return ImageFormat::Png;
  if (ext == ".mag") return ImageFormat::Mag;
  if (ext == ".ico") return ImageFormat::Ico;
  return ImageFormat::Unknown;
}

bool write_bytes(const std::string& sjis_path, const std::string& bytes) {
  std::ofstream file(commands::native_path(sjis_path), std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return !file.fail();
}

}  // namespace

// ---- conversion ---------------------------------------------------------------------------------

QImage to_qimage(const graphics::Bitmap& bitmap) {
  if (bitmap.Empty()) return {};
  bool alpha = bitmap.HasAlpha();
  QImage image(bitmap.Width(), bitmap.Height(),
               alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  const std::vector<std::uint32_t>& pixels = bitmap.Pixels();
  auto row_bytes = static_cast<std::size_t>(bitmap.Width()) * sizeof(std::uint32_t);
  for (int y = 0; y < bitmap.Height(); ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
    std::memcpy(line, pixels.data() + static_cast<std::size_t>(y) * bitmap.Width(), row_bytes);
    if (!alpha)
      for (int x = 0; x < bitmap.Width(); ++x) line[x] |= 0xFF000000u;
  }
  return image;
}

QImage to_qimage(graphics::Bitmap&& bitmap) {
  if (bitmap.Empty()) return {};
  // An opaque bitmap's pixels already carry 0xFF alpha, as Format_RGB32 wants.
  const QImage::Format format = bitmap.HasAlpha() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
  auto pixels = std::make_unique<std::vector<std::uint32_t>>(std::move(bitmap.Pixels()));
  auto* data = reinterpret_cast<uchar*>(pixels->data());
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  QImage image(
      data, width, height, static_cast<qsizetype>(width) * 4, format,
      [](void* owned) { delete static_cast<std::vector<std::uint32_t>*>(owned); }, pixels.get());
  pixels.release();  // the picture's clean-up function owns the pixels now
  bitmap = graphics::Bitmap();
  return image;
}

graphics::Bitmap to_bitmap(const QImage& image) {
  if (image.isNull()) return {};
  // 32-bit pictures are read as they are: a converted copy of a large picture costs as much as
  // the transformation itself.
  const bool as_is =
      image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32;
  const QImage argb = as_is ? image : image.convertToFormat(QImage::Format_ARGB32);
  const bool alpha = image.hasAlphaChannel();
  const std::uint32_t opaque = alpha ? 0u : 0xFF000000u;
  const int width = argb.width();
  const int height = argb.height();
  graphics::Bitmap bitmap(width, height, alpha ? 32 : 24);
  std::vector<std::uint32_t>& pixels = bitmap.Pixels();
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(argb.constScanLine(y));
    std::uint32_t* row = pixels.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) row[x] = line[x] | opaque;
  }
  if (alpha && !bitmap.HasAlpha()) bitmap.SetBitsPerPixel(24);
  return bitmap;
}

QImage opaque_over(const QImage& picture, QColor background) {
  if (picture.isNull() || !picture.hasAlphaChannel())
    return picture.convertToFormat(QImage::Format_RGB32);
  QImage opaque(picture.size(), QImage::Format_RGB32);
  opaque.fill(background);
  QPainter painter(&opaque);
  painter.drawImage(0, 0, picture);
  return opaque;
}

// ---- loading ------------------------------------------------------------------------------------

std::string find_image_file(engine::Interpreter& in, const std::string& name) {
  if (is_absolute_name(name)) return name;
  const words::THashNode* base = in.State().Sys.ScriptFolder;
  const std::string candidates[] = {
      current_folder() + name,
      base ? with_separator(base->GetValue()) + name : std::string(),
      program_folder() + name,
      text::extract_path(in.State().ScriptFileName) + name,
  };
  for (const std::string& candidate : candidates)
    if (!candidate.empty() && file_exists(candidate)) return candidate;
  return name;
}

LoadedImage try_load_image(engine::Interpreter& in, const std::string& name) {
  try {
    return {load_or_fail(in, name), {}};
  } catch (const LoadFailure& failure) {
    return {{}, failure.message};
  }
}

QImage load_image(engine::Interpreter& in, const std::string& name) {
  LoadedImage loaded = try_load_image(in, name);
  if (!loaded.error.empty()) throw in.Error(loaded.error);
  return loaded.image;
}

// ---- surfaces -----------------------------------------------------------------------------------

namespace {

struct Surface {
  Part* part;
  Canvas* canvas;
};

Surface surface_of(engine::Interpreter& in, const std::string& part_name) {
  PartRegistry& parts = front_end(in).Parts();
  std::string name = text::trim(part_name);
  words::TObjNode* node = parts.FindByName(in, name);
  if (!node)
    throw in.Error(text::sjis("部品") + in_quotes(name) + text::sjis("は、作成されていません。"));
  Part* part = parts.PartOf(*node);
  if (auto* image = dynamic_cast<ImagePart*>(part); image && image->View())
    return {part, image->View()};
  if (auto* form = dynamic_cast<FormPart*>(part)) return {part, &form->Img()};
  throw in.Error(in_quotes(name) + text::sjis("は、イメージではありません。"));
}

}  // namespace

Canvas& image_surface(engine::Interpreter& in, const std::string& part_name) {
  return *surface_of(in, part_name).canvas;
}

void replace_surface_picture(engine::Interpreter& in, const std::string& part_name,
                             const QImage& picture) {
  Surface surface = surface_of(in, part_name);
  if (auto* image = dynamic_cast<ImagePart*>(surface.part)) {
    image->View()->SetPicture(picture);
    image->View()->resize(picture.size());
    return;
  }
  auto* form = static_cast<FormPart*>(surface.part);
  form->Img().SetImage(opaque_over(picture, form->Img().Background()));
  form->SetClientSize(picture.size());
}

// ---- saving -------------------------------------------------------------------------------------

void save_image(engine::Interpreter& in, const std::string& part_name, const std::string& target,
                bool ask) {
  QImage picture = picture_to_save(in, part_name);
  if (target == clipboard_name()) {
    QApplication::clipboard()->setImage(picture);
    return;
  }
  if (ask &&
      commands::CheckFileOperation(
          in, target, text::sjis("イメージを") + in_quotes(target) + text::sjis("へ保存します。")))
    return;
  std::string ext = ascii_lower(text::extract_extension(target));
  graphics::ImageFormat format = save_format(ext);
  if (format == graphics::ImageFormat::Unknown)
    throw in.Error(in_quotes(ext) + text::sjis("は、未対応の画像ファイルです。"));
  std::string failed = text::sjis("ファイル") + in_quotes(ext) +
                       text::sjis("の、読み込みか書き込みに、失敗しました。");
  std::string bytes;
  try {
    int quality = static_cast<int>(number_of(system_text(in, "JPEG圧縮率"), 100));
    bytes = graphics::Encode(to_bitmap(picture), format, quality);
  } catch (const std::exception& e) {
    throw in.Error(failed + e.what());
  }
  if (!write_bytes(target, bytes)) throw in.Error(failed + std::strerror(errno));
}

// ---- the 画像 property
// ---------------------------------------------------------------------------

bool write_picture(PropertyCall& call, const std::string& value) {
  Part* part = call.parts.PartOf(call.node);
  bool empty = text::trim(value).empty();
  if (auto* image = dynamic_cast<ImagePart*>(part); image && image->View()) {
    QImage picture = empty ? QImage() : load_image(call.in, text::trim(value));
    if (picture.isNull())
      image->View()->ClearPicture();
    else
      image->View()->SetPicture(picture);
    return true;
  }
  if (auto* anime = dynamic_cast<AnimePart*>(part)) {
    anime->LoadFrames(call.in, value, true);
    return true;
  }
  if (auto* form = dynamic_cast<FormPart*>(part)) {
    Canvas& img = form->Img();
    img.Clear(img.Background());
    if (empty) return true;
    QImage picture = load_image(call.in, text::trim(value));
    if (!picture.isNull()) img.SetImage(opaque_over(picture, img.Background()));
    return true;
  }
  if (auto* menu = dynamic_cast<MenuPart*>(part); menu && menu->Action()) {
    QImage picture = empty ? QImage() : load_image(call.in, text::trim(value));
    menu->Action()->setIcon(picture.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture)));
    return true;
  }
  return false;
}

}  // namespace morivel::gui
