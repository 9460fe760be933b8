// Commands on pictures: showing a picture on the main window, Base64 picture data, saving a
// part's picture and the program's icon.
#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <cctype>
#include <optional>

#include "engine/interpreter.h"
#include "graphics/codecs.h"
#include "gui/canvas.h"
#include "gui/drawing.h"
#include "gui/families.h"
#include "gui/front_end.h"
#include "gui/images.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "text/encoding.h"
#include "text/mime.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

// 画像表示: the picture goes at the drawing position (centred when centring is on) and the
// position moves down by its height, so that pictures shown one after another stack up.
void show_picture(engine::Interpreter& in) {
  std::string name = pop_picture_name(in);
  LoadedImage loaded = try_load_image(in, name);
  if (!loaded.error.empty()) throw in.Error(in_quotes(name) + text::sjis("が読込めません。"));
  if (loaded.image.isNull()) return;
  MainWindow& window = front_end(in).Window();
  words::DrawingState& at = settled_drawing(in);
  int left = at.Centering ? (window.Client().width() - loaded.image.width()) / 2 : at.X;
  Canvas& img = window.Img();
  {
    QPainter painter(&img.Image());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(left, at.Y, opaque_over(loaded.image, Qt::white));
  }
  img.Changed();
  at.Y += loaded.image.height();
}

std::optional<graphics::ImageFormat> data_format(std::string name) {
  using graphics::ImageFormat;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  name = text::trim(name);
  if (name == "BMP") return ImageFormat::Bmp;
  if (name == "JPG" || name == "JPEG") return ImageFormat::Jpeg;
  if (name == "ICO" || name == "ICON") return ImageFormat::Ico;
  if (name == "PNG") return ImageFormat::Png;
  if (name == "MAG") return ImageFormat::Mag;
  return std::nullopt;
}

// イメージデータ設定 (?形式の,?を,?に): Base64 picture data into an image surface.
void set_image_data(engine::Interpreter& in) {
  std::string part = pop_part_name(in);
  std::string data = in.PopArgumentValue();
  std::string format_name = in.PopArgumentValue();
  if (part.empty()) throw in.Error(text::sjis("イメージ部品が指定されていません。"));
  image_surface(in, part);
  std::optional<std::string> bytes = text::base64_decode(data);
  if (!bytes) throw in.Error(text::sjis("Base64のデコードに失敗しました。"));
  std::optional<graphics::ImageFormat> format = data_format(format_name);
  if (!format) throw in.Error(text::sjis("未対応の画像形式です。"));
  QImage picture;
  try {
    picture = to_qimage(graphics::Decode(*bytes, *format));
  } catch (const std::exception& e) {
    throw in.Error(text::sjis("画像ファイル") + in_quotes(text::trim(format_name)) +
                   text::sjis("が読込めません。") + e.what());
  }
  replace_surface_picture(in, part, picture);
}

// イメージ保存 (?へ,?を): the part's picture to a file, asking the file policy first.
void save_image_command(engine::Interpreter& in) {
  std::string part = pop_part_name(in);
  std::string target = text::trim(in.PopArgumentValue());
  save_image(in, part, target, true);
}

// 母艦アイコン: the program's icon from a picture file or an image part. Qt takes any picture
// as an icon, so no icon file is written on the way.
void set_main_icon(engine::Interpreter& in) {
  std::string name = pop_picture_name(in);
  QImage picture = try_load_image(in, name).image;
  if (picture.isNull())
    throw in.Error(text::sjis("ファイル") + in_quotes(name) +
                   text::sjis("の、読み込みか書き込みに、失敗しました。"));
  QIcon icon(QPixmap::fromImage(picture));
  QApplication::setWindowIcon(icon);
  front_end(in).Window().setWindowIcon(icon);
}

}  // namespace

void register_images(commands::HandlerTable& table) {
  table.Set(18, show_picture);
  table.Set(178, save_image_command);
  table.Set(583, set_image_data);
  table.Set(315, set_main_icon);
}

}  // namespace morivel::gui
