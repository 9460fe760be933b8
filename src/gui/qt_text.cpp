// Shift-JIS values across the Qt boundary.
#include "gui/qt_text.h"

#include "expr/number.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

QString to_qstring(const std::string& sjis) {
  std::u16string utf16 = text::to_utf16(sjis);
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

std::string from_qstring(const QString& text) {
  return text::from_utf16(text.toStdU16String());
}

QColor colour_from_text(const std::string& sjis, QColor fallback) {
  std::string t = text::trim(sjis);
  if (!t.empty() && t[0] == '#') {
    bool ok = false;
    unsigned rgb = QString::fromLatin1(t.substr(1, 6).c_str()).toUInt(&ok, 16);
    if (!ok) return fallback;
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  std::int64_t n = 0;
  if (!expr::ToInteger(t, n)) return fallback;
  return QColor(static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF),
                static_cast<int>((n >> 16) & 0xFF));
}

std::string colour_to_text(const QColor& colour) {
  long n = colour.red() + 256L * colour.green() + 65536L * colour.blue();
  return std::to_string(n);
}

QString lines_to_qstring(const std::string& sjis) {
  QString s = to_qstring(sjis);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QChar('\r'), QChar('\n'));
  return s;
}

std::string lines_from_qstring(const QString& text) {
  QString s = text;
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QChar('\n'), QStringLiteral("\r\n"));
  return from_qstring(s);
}

}  // namespace morivel::gui
