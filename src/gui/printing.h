// The printer a run prints on: the system's printers through CUPS, or a PDF file when the chosen
// printer's name ends in ".pdf" or MORIVEL_PRINT_PDF names one. One document is open at a time.
#pragma once

#include <QImage>
#include <QObject>
#include <QPainter>
#include <QPrinter>

#include <memory>
#include <string>
#include <vector>

namespace morivel::gui {

class PrintSession : public QObject {
  Q_OBJECT
 public:
  // The session of a window, made on first use and owned by the window.
  static PrintSession& Of(QWidget& window);

  explicit PrintSession(QObject* parent);
  ~PrintSession() override;

  // The PDF file printing goes to instead of a printer: MORIVEL_PRINT_PDF, else the chosen
  // printer's name when it ends in ".pdf" (UTF-8); empty for a real printer.
  QString PdfTarget() const;
  // Whether a setup dialog has anything to ask: not when the environment fixes a PDF file.
  bool TargetFixed() const { return !qEnvironmentVariableIsEmpty("MORIVEL_PRINT_PDF"); }
  // Names of the system's printers.
  static std::vector<QString> PrinterNames();
  void ChoosePrinter(const QString& name);
  QPrinter& Printer();

  // Page size in device pixels (the whole sheet).
  QSize PageSize();
  // Starts a document (ending one still open); false when the printer refuses.
  bool Begin(const QString& title);
  bool Open() const { return painter_ && painter_->isActive(); }
  QPainter& Painter() { return *painter_; }
  void End();

  // A picture as large as the page allows, its proportions kept, from the top-left corner:
  // the longer side decides the scale.
  static QRect FittedRect(QSize picture, QSize page);

 private:
  void Configure();
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  QString chosen_;
};

}  // namespace morivel::gui
