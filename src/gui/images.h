// Pictures on parts: the one image loader, the image saver and the surfaces images live on.
#pragma once

#include <QImage>

#include <string>

#include "graphics/bitmap.h"

namespace morivel::engine {
class Interpreter;
}

namespace morivel::gui {

class Canvas;
struct PropertyCall;

// ---- conversion ---------------------------------------------------------------------------------

// A bitmap with alpha becomes an ARGB32 picture, one without an opaque RGB32 picture.
QImage to_qimage(const graphics::Bitmap& bitmap);
// The same without a copy: the picture takes over the bitmap's pixels.
QImage to_qimage(graphics::Bitmap&& bitmap);
// 24 bits per pixel unless the picture has alpha that is not opaque everywhere (then 32).
graphics::Bitmap to_bitmap(const QImage& image);

// ---- loading ------------------------------------------------------------------------------------

// The picture a name stands for: a file packed with the program, "クリップボード" (a null image
// when the clipboard holds none), a picture file found by the search for relative names, or,
// for a name without an extension, a copy of the picture of that イメージ or フォーム part.
// Failures are raised as the language's errors.
QImage load_image(engine::Interpreter& in, const std::string& name);

// As load_image, but a failure of the picture itself comes back as its message (empty when the
// picture loaded), for commands that word the failure their own way.
struct LoadedImage {
  QImage image;
  std::string error;
};
LoadedImage try_load_image(engine::Interpreter& in, const std::string& name);

// The relative-name search of the loader: the first existing path among the current folder,
// 母艦のパス, the program's folder, the script file's folder; otherwise the name unchanged.
std::string find_image_file(engine::Interpreter& in, const std::string& name);

// ---- surfaces -----------------------------------------------------------------------------------

// The picture of an イメージ part or the drawing image of a フォーム part (母艦 included). Raises
// "部品"%s"は、作成されていません。" for a missing part and ""%s"は、イメージではありません。"
// for any other kind.
Canvas& image_surface(engine::Interpreter& in, const std::string& part_name);

// The picture replaces the surface's picture and the part takes the picture's size.
void replace_surface_picture(engine::Interpreter& in, const std::string& part_name,
                             const QImage& picture);

// An opaque copy of a picture, its see-through pixels laid over `background`.
QImage opaque_over(const QImage& picture, QColor background);

// ---- saving -------------------------------------------------------------------------------------

// Saves the picture of an イメージ or フォーム part to a file by its extension (.bmp .jpg .jpeg
// .png .mag .ico), or copies it to the clipboard for "クリップボード". With `ask` the file
// operation policy is consulted first; a refusal saves nothing.
void save_image(engine::Interpreter& in, const std::string& part_name, const std::string& target,
                bool ask);

// ---- the 画像 property
// ---------------------------------------------------------------------------

// Writes 画像 for the kinds that take pictures (イメージ, フォーム, アニメ, メニュー): an empty
// value clears the picture. False for any other kind, which leaves the error to the caller.
bool write_picture(PropertyCall& call, const std::string& value);

}  // namespace morivel::gui
