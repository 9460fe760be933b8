// Shift-JIS values across the Qt boundary.
#pragma once

#include <QColor>
#include <QString>

#include <string>

namespace morivel::gui {

QString to_qstring(const std::string& sjis);
std::string from_qstring(const QString& text);
// A script colour text ("#RRGGBB" or the decimal 0x00BBGGRR number) as a QColor; `fallback`
// when the text is neither.
QColor colour_from_text(const std::string& sjis, QColor fallback = Qt::black);
// The decimal 0x00BBGGRR number scripts read colours as.
std::string colour_to_text(const QColor& colour);
// CR LF / CR line breaks of a value as Qt's "\n", and back.
QString lines_to_qstring(const std::string& sjis);
std::string lines_from_qstring(const QString& text);

}  // namespace morivel::gui
