// The run's printer: PDF files for names ending in ".pdf" and MORIVEL_PRINT_PDF, else CUPS.
#include "gui/printing.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinterInfo>
#include <QWidget>

#include <cmath>

namespace morivel::gui {

namespace {

// PDF pages are laid out at this many pixels per inch, so that a script's coordinates mean the
// same on every run.
constexpr int kPdfResolution = 300;

}  // namespace

PrintSession& PrintSession::Of(QWidget& window) {
  if (auto* session = window.findChild<PrintSession*>(QString(), Qt::FindDirectChildrenOnly))
    return *session;
  return *new PrintSession(&window);  // owned by the window
}

PrintSession::PrintSession(QObject* parent) : QObject(parent) {}

PrintSession::~PrintSession() {
  End();
}

QString PrintSession::PdfTarget() const {
  QString fixed = qEnvironmentVariable("MORIVEL_PRINT_PDF");
  if (!fixed.isEmpty()) return fixed;
  return chosen_.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? chosen_ : QString();
}

std::vector<QString> PrintSession::PrinterNames() {
  std::vector<QString> names;
  for (const QString& name : QPrinterInfo::availablePrinterNames()) names.push_back(name);
  return names;
}

void PrintSession::ChoosePrinter(const QString& name) {
  chosen_ = name;
  printer_.reset();
}

QPrinter& PrintSession::Printer() {
  if (!printer_) Configure();
  return *printer_;
}

void PrintSession::Configure() {
  QString pdf = PdfTarget();
  if (!pdf.isEmpty()) {
    printer_ = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setOutputFileName(pdf);
    printer_->setResolution(kPdfResolution);
    printer_->setPageSize(QPageSize(QPageSize::A4));
  } else {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!chosen_.isEmpty()) printer_->setPrinterName(chosen_);
  }
  // The whole sheet is the page: coordinates start at the paper's corner.
  printer_->setFullPage(true);
}

QSize PrintSession::PageSize() {
  return Printer().pageLayout().fullRectPixels(Printer().resolution()).size();
}

bool PrintSession::Begin(const QString& title) {
  End();
  QPrinter& printer = Printer();
  printer.setDocName(title);
  painter_ = std::make_unique<QPainter>();
  if (painter_->begin(&printer)) return true;
  painter_.reset();
  return false;
}

void PrintSession::End() {
  if (painter_ && painter_->isActive()) painter_->end();
  painter_.reset();
}

QRect PrintSession::FittedRect(QSize picture, QSize page) {
  double w = picture.width();
  double h = picture.height();
  if (w <= 0 || h <= 0 || page.isEmpty()) return {};
  double scale = h < w ? w / page.width() : h / page.height();
  // The corner is at (truncated size - 1), so the picture ends one pixel short of the edge.
  int right = static_cast<int>(std::trunc(w / scale)) - 1;
  int bottom = static_cast<int>(std::trunc(h / scale)) - 1;
  return QRect(QPoint(0, 0), QSize(std::max(right, 0), std::max(bottom, 0)));
}

}  // namespace morivel::gui
