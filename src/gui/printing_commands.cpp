// Commands that print: hard copies of the main window and of image parts, plain text, and pages
// drawn command by command with the main window's drawing settings.
#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetrics>
#include <QPrintDialog>

#include <algorithm>
#include <array>
#include <climits>

#include <string>
#include <vector>

#include "commands/printer_choice.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "gui/canvas.h"
#include "gui/coordinates.h"
#include "gui/drawing.h"
#include "gui/families.h"
#include "gui/fonts.h"
#include "gui/front_end.h"
#include "gui/images.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "gui/printing.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {
namespace {

using engine::Interpreter;

PrintSession& session(Interpreter& in) {
  return PrintSession::Of(front_end(in).Window());
}

[[noreturn]] void printer_failure(Interpreter& in) {
  throw in.Error(text::sjis("プリンタに印刷できません。"));
}

void begin_document(Interpreter& in, const QString& title) {
  if (!session(in).Begin(title)) printer_failure(in);
}

// The printer the main window's painter draws on, a document started when none is open.
QPainter& page(Interpreter& in) {
  PrintSession& s = session(in);
  if (!s.Open()) begin_document(in, QStringLiteral("Morivel"));
  return s.Painter();
}

// ---- the setup dialog ---------------------------------------------------------------------------

// The console asks for a printer by number; the window shows the platform's dialog. A PDF file
// fixed by the environment needs no question.
bool printer_setup(Interpreter& in) {
  PrintSession& s = session(in);
  if (s.TargetFixed()) return true;
  if (front_end(in).Console()) {
    std::vector<QString> names = PrintSession::PrinterNames();
    std::string buttons;
    for (std::size_t i = 0; i < names.size(); ++i) buttons += from_qstring(names[i]) + "\r\n";
    if (names.empty()) return false;
    std::string chosen =
        in.GetHost().ChooseButton(text::sjis("印刷するプリンタを選んでください。"), buttons);
    if (chosen.empty()) return false;
    s.ChoosePrinter(to_qstring(chosen));
    commands::SetChosenPrinter(in, text::to_utf8(chosen));
    return true;
  }
  QPrintDialog dialog(&s.Printer(), &front_end(in).Window());
  if (dialog.exec() != QDialog::Accepted) return false;
  // The office suite's print commands print where the dialog said too.
  QPrinter& printer = s.Printer();
  commands::SetChosenPrinter(
      in, (printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName()
                                                         : printer.printerName())
              .toStdString());
  return true;
}

void setup_command(Interpreter& in) {
  in.SetResult(printer_setup(in) ? "1" : "0", "e");
}

void page_height(Interpreter& in) {
  in.SetResult(std::to_string(session(in).PageSize().height()), "e");
}

void page_width(Interpreter& in) {
  in.SetResult(std::to_string(session(in).PageSize().width()), "e");
}

// ---- hard copies --------------------------------------------------------------------------------

void print_fitted(Interpreter& in, const QImage& picture) {
  begin_document(in, front_end(in).Window().windowTitle());
  PrintSession& s = session(in);
  QRect target = PrintSession::FittedRect(picture.size(), s.PageSize());
  s.Painter().drawImage(target, picture.convertToFormat(QImage::Format_RGB888));
  s.End();
}

void print_main_window(Interpreter& in) {
  MainWindow& window = front_end(in).Window();
  if (!window.isVisible()) return;
  window.activateWindow();
  QCoreApplication::processEvents();
  print_fitted(in, window.grab().toImage());
}

void print_image_part(Interpreter& in) {
  std::string raw = text::trim(in.PopArgumentText());
  if (!printer_setup(in)) return;
  PartRegistry& parts = front_end(in).Parts();
  std::string name = raw;
  words::TObjNode* node = parts.FindByName(in, name);
  if (!node) {
    name = text::trim(in.EvaluateText(raw).text);
    node = parts.FindByName(in, name);
  }
  if (!node || node->Kind != kImage)
    throw in.Error(text::sjis("部品\"") + name + text::sjis("\"は、作成されていません。"));
  print_fitted(in, image_surface(in, name).Image());
}

// The text device: the printer's default font, lines from the top, a new page when one is full.
void print_plain_text(Interpreter& in) {
  std::string text = in.PopArgumentValue();
  if (!printer_setup(in)) return;
  begin_document(in, front_end(in).Window().windowTitle());
  PrintSession& s = session(in);
  QPainter& painter = s.Painter();
  QFont font(QStringLiteral("monospace"));
  font.setPointSize(10);
  painter.setFont(font);
  painter.setPen(Qt::black);
  QFontMetrics metrics(font, &s.Printer());
  const int margin = s.Printer().resolution() / 2;
  int top = margin;
  for (std::string_view line : text::split_lines(text)) {
    if (top + metrics.height() > s.PageSize().height() - margin) {
      s.Printer().newPage();
      top = margin;
    }
    painter.drawText(margin, top + metrics.ascent(), to_qstring(std::string(line)));
    top += metrics.height();
  }
  s.End();
}

// ---- drawn pages --------------------------------------------------------------------------------

void start_drawing(Interpreter& in) {
  std::string title = text::trim(in.PopArgumentValue());
  QString name = title.empty()
                     ? QStringLiteral("Morivel__") + QDateTime::currentDateTime().toString(
                                                         QStringLiteral("yy_MM_dd__hh_mm_ss"))
                     : to_qstring(title);
  begin_document(in, name);
}

void end_drawing(Interpreter& in) {
  session(in).End();
}

struct Points {
  QPoint from;
  QPoint to;
};
Points pop_points(Interpreter& in) {
  QPoint to = parse_point(in, in.PopArgumentText());
  QPoint from = parse_point(in, in.PopArgumentText());
  return {from, to};
}

// Shapes take the main window's pen; the printer's brush stays the platform's plain white.
QPainter& shape_page(Interpreter& in) {
  QPainter& painter = page(in);
  painter.setPen(shape_tools(in).pen);
  painter.setBrush(Qt::white);
  return painter;
}

void print_line(Interpreter& in) {
  Points p = pop_points(in);
  shape_page(in).drawLine(p.from, p.to);
}

void print_rectangle(Interpreter& in) {
  Points p = pop_points(in);
  shape_page(in).drawRect(QRect(p.from, p.to).normalized());
}

void print_ellipse(Interpreter& in) {
  Points p = pop_points(in);
  shape_page(in).drawEllipse(QRect(p.from, p.to).normalized());
}

int tab_columns(Interpreter& in) {
  std::int64_t n = 8;
  if (!expr::ToInteger(system_text(in, "タブ文字の個数"), n) || n <= 0 || n > 1000) n = 8;
  return static_cast<int>(n);
}

// The settings font on the printer: its point size turned into the printer's pixels.
QFont printer_font(Interpreter& in) {
  return settings_font(in);
}

QStringList printed_lines(Interpreter& in, const std::string& text) {
  QStringList lines;
  for (const std::string& line : display_lines(text, tab_columns(in))) lines << to_qstring(line);
  return lines;
}

QSize measured(Interpreter& in, const std::string& text, QPaintDevice& device) {
  QFontMetrics metrics(printer_font(in), &device);
  QStringList lines = printed_lines(in, text);
  int width = 0;
  for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
  return QSize(width, metrics.height() * static_cast<int>(lines.size()));
}

void print_text(Interpreter& in) {
  QPoint at = parse_point(in, in.PopArgumentText());
  std::string text = in.PopArgumentValue();
  QPainter& painter = page(in);
  QFont font = printer_font(in);
  painter.setFont(font);
  painter.setPen(settings_font_colour(in));
  QFontMetrics metrics(font, painter.device());
  int top = at.y();
  for (const QString& line : printed_lines(in, text)) {
    painter.drawText(at.x(), top + metrics.ascent(), line);
    top += metrics.height();
  }
}

void print_picture(Interpreter& in) {
  std::array<int, 4> r = parse_rect(in, in.PopArgumentText());
  std::string name = pop_picture_name(in);
  QImage picture = load_image(in, name);
  if (picture.isNull()) return;
  // Right and bottom are outside the rectangle, as for every rectangle scripts give.
  QRect target(QPoint(r[0], r[1]),
               QPoint(std::max(r[2], INT_MIN + 1) - 1, std::max(r[3], INT_MIN + 1) - 1));
  page(in).drawImage(target.normalized(), picture);
}

void text_width(Interpreter& in) {
  std::string text = in.PopArgumentValue();
  in.SetResult(std::to_string(measured(in, text, session(in).Printer()).width()), "e");
}

void text_height(Interpreter& in) {
  std::string text = in.PopArgumentValue();
  in.SetResult(std::to_string(measured(in, text, session(in).Printer()).height()), "e");
}

}  // namespace

void register_printing(commands::HandlerTable& table) {
  table.Set(116, print_main_window);
  table.Set(300, print_image_part);
  table.Set(241, print_plain_text);
  table.Set(486, setup_command);
  table.Set(487, page_height);
  table.Set(488, page_width);
  table.Set(489, start_drawing);
  table.Set(490, end_drawing);
  table.Set(491, print_line);
  table.Set(492, print_rectangle);
  table.Set(493, print_ellipse);
  table.Set(494, print_text);
  table.Set(495, print_picture);
  table.Set(496, text_width);
  table.Set(497, text_height);
}

}  // namespace morivel::gui
