// The files the commands of particular part kinds read and write: RTF from a rich edit's document,
// whole files by Shift-JIS name, and single INI values.
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextFragment>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

#include "commands/file_handles.h"
#include "gui/kind_commands.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

std::string rtf_escaped(const QString& text) {
  std::string out;
  for (QChar c : text) {
    char16_t u = c.unicode();
    if (u == '\\' || u == '{' || u == '}') {
      out += '\\';
      out += static_cast<char>(u);
    } else if (u == '\t') {
      out += "\\tab ";
    } else if (u == QChar::LineSeparator) {
      out += "\\line ";
    } else if (u < 0x80) {
      out += static_cast<char>(u);
    } else {
      // RTF's \u takes a signed 16-bit number.
      out += "\\u" + std::to_string(static_cast<std::int16_t>(u)) + "?";
    }
  }
  return out;
}

// Fonts and colours are tables at the head of the file; runs refer to them by index.
struct RtfTables {
  std::vector<QString> fonts;
  std::vector<QColor> colours{QColor(Qt::black)};
  int Font(const QString& family) {
    auto it = std::find(fonts.begin(), fonts.end(), family);
    if (it != fonts.end()) return static_cast<int>(it - fonts.begin());
    fonts.push_back(family);
    return static_cast<int>(fonts.size() - 1);
  }
  int Colour(const QColor& colour) {
    auto it = std::find(colours.begin(), colours.end(), colour);
    if (it != colours.end()) return static_cast<int>(it - colours.begin()) + 1;
    colours.push_back(colour);
    return static_cast<int>(colours.size());
  }
};

std::string run_to_rtf(const QTextFragment& fragment, RtfTables& tables, const QFont& fallback) {
  QTextCharFormat format = fragment.charFormat();
  QFont font = format.font();
  QString family = font.families().value(0, fallback.family());
  double points = font.pointSizeF() > 0 ? font.pointSizeF() : fallback.pointSizeF();
  QColor colour =
      format.foreground().style() == Qt::NoBrush ? QColor(Qt::black) : format.foreground().color();
  std::string run = "{\\f" + std::to_string(tables.Font(family)) + "\\fs" +
                    std::to_string(static_cast<int>(points * 2 + 0.5)) + "\\cf" +
                    std::to_string(tables.Colour(colour));
  if (font.bold()) run += "\\b";
  if (font.italic()) run += "\\i";
  if (font.underline()) run += "\\ul";
  if (font.strikeOut()) run += "\\strike";
  return run + " " + rtf_escaped(fragment.text()) + "}";
}

}  // namespace

std::string document_to_rtf(const QTextDocument& document) {
  RtfTables tables;
  tables.Font(document.defaultFont().family());
  std::string body;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it)
      if (it.fragment().isValid())
        body += run_to_rtf(it.fragment(), tables, document.defaultFont());
    if (block.next().isValid()) body += "\\par\n";
  }
  std::string head = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl";
  for (std::size_t i = 0; i < tables.fonts.size(); ++i)
    head +=
        "{\\f" + std::to_string(i) + "\\fnil\\fcharset128 " + rtf_escaped(tables.fonts[i]) + ";}";
  head += "}{\\colortbl ;";
  for (const QColor& c : tables.colours)
    head += "\\red" + std::to_string(c.red()) + "\\green" + std::to_string(c.green()) + "\\blue" +
            std::to_string(c.blue()) + ";";
  return head + "}\n" + body + "}\n";
}

bool write_whole_file(const std::string& sjis_path, const std::string& bytes) {
  std::ofstream out(commands::native_path(sjis_path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool read_whole_file(const std::string& sjis_path, std::string& bytes) {
  std::ifstream in(commands::native_path(sjis_path), std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace morivel::gui
