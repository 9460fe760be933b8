// Fonts from the text settings and font specifications ("face｜style｜size").
#include "gui/fonts.h"

#include <QFontDatabase>

#include <cmath>
#include <map>
#include <vector>

#include "engine/interpreter.h"
#include "expr/number.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

// Scripts name the faces of the system they were written on; these stand in for them so that
// Japanese text never renders as empty boxes. Returns the names so substituted, as written.
const QStringList& install_substitutions() {
  static const QStringList faces = [] {
    const QStringList gothic = {QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("DejaVu Sans")};
    const QStringList mincho = {QStringLiteral("IPAMincho"), QStringLiteral("IPAPMincho"),
                                QStringLiteral("Noto Serif CJK JP"),
                                QStringLiteral("DejaVu Serif")};
    QStringList names;
    for (const char* face : {"ＭＳ ゴシック", "ＭＳ Ｐゴシック", "MS UI Gothic", "ＭＳ UI Gothic",
                             "メイリオ", "Meiryo", "MS Gothic", "MS PGothic"}) {
      QFont::insertSubstitutions(QString::fromUtf8(face), gothic);
      names << QString::fromUtf8(face);
    }
    for (const char* face : {"ＭＳ 明朝", "ＭＳ Ｐ明朝", "MS Mincho", "MS PMincho"}) {
      QFont::insertSubstitutions(QString::fromUtf8(face), mincho);
      names << QString::fromUtf8(face);
    }
    return names;
  }();
  return faces;
}

// Names compared in one width convention and without spaces of either width.
QString normalised_face(const std::string& sjis) {
  std::string half = text::to_half_width(sjis);
  QString q = to_qstring(half);
  q.remove(QChar(0x3000));
  q.remove(QChar(' '));
  return q.toCaseFolded();
}

// The installed faces (and the faces we substitute) by normalised name, built on first use.
const std::map<QString, QString>& installed_faces() {
  static const std::map<QString, QString> faces = [] {
    std::map<QString, QString> m;
    for (const QString& family : QFontDatabase::families())
      m.emplace(normalised_face(from_qstring(family)), family);
    for (const QString& family : install_substitutions())
      m.emplace(normalised_face(from_qstring(family)), family);
    return m;
  }();
  return faces;
}

QString resolve_face(const std::string& sjis_face) {
  std::string face = sjis_face;
  static const std::string kWideSpace = text::sjis("　");
  for (std::size_t at; (at = face.find(kWideSpace)) != std::string::npos;)
    face.replace(at, kWideSpace.size(), " ");
  face = text::trim(face);
  auto found = installed_faces().find(normalised_face(face));
  if (found != installed_faces().end()) return found->second;
  return QString::fromUtf8("ＭＳ ゴシック");
}

std::vector<std::string> split_bars(const std::string& described) {
  static const std::string kBar = text::sjis("｜");
  std::vector<std::string> fields;
  std::size_t from = 0;
  while (fields.size() < 2) {
    std::size_t wide = text::find_at_char_start(described, kBar, from);
    std::size_t ascii = described.find('|', from);
    std::size_t at = std::min(wide, ascii);
    if (at == std::string::npos) break;
    fields.push_back(described.substr(from, at - from));
    from = at + (at == wide ? kBar.size() : 1);
  }
  fields.push_back(described.substr(from));
  return fields;
}

bool contains_any(const std::string& s, std::initializer_list<const char*> words) {
  for (const char* w : words)
    if (s.find(text::sjis(w)) != std::string::npos) return true;
  return false;
}

}  // namespace

QFont font_from_spec(const std::string& sjis_spec, int default_size) {
  install_substitutions();
  std::vector<std::string> fields = split_bars(sjis_spec);
  QFont font(resolve_face(fields[0]));
  if (fields.size() > 1) {
    const std::string& style = fields[1];
    font.setBold(contains_any(style, {"ボールド", "太字"}));
    font.setItalic(contains_any(style, {"イタリック", "傾斜", "斜体"}));
    font.setUnderline(contains_any(style, {"罫線", "下線", "アンダーライン"}));
  }
  int size = 0;
  if (fields.size() > 2 && !text::trim(fields[2]).empty())
    size = static_cast<int>(std::nearbyint(static_cast<double>(expr::ToNumber(fields[2]))));
  font.setPointSize(size > 0 ? size : (default_size > 0 ? default_size : 12));
  return font;
}

int settings_font_size(engine::Interpreter& in) {
  long long size = number_of(system_text(in, "文字サイズ"), 12);
  if (size <= 0 || size > 1000) size = 12;
  return static_cast<int>(size);
}

QFont settings_font(engine::Interpreter& in) {
  return font_from_spec(system_text(in, "文字書体"), settings_font_size(in));
}

QColor settings_font_colour(engine::Interpreter& in) {
  return colour_from_text(system_text(in, "文字色"), Qt::black);
}

std::string spec_from_font(const QFont& font) {
  std::string described = face_name(font);
  std::string style;
  if (font.bold()) style += text::sjis("太字");
  if (font.italic()) style += text::sjis("傾斜");
  if (font.underline()) style += text::sjis("下線");
  if (!style.empty()) described += "|" + style;
  if (font.pointSize() > 0)
    described += (style.empty() ? "||" : "|") + std::to_string(font.pointSize());
  return described;
}

std::string face_name(const QFont& font) {
  return from_qstring(font.family());
}

}  // namespace morivel::gui
