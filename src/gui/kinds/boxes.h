// Button and tab-page parts, for the commands that reach into them (button glyphs, tab commands).
#pragma once

#include <QImage>
#include <QObject>
#include <QPushButton>
#include <QTabWidget>

#include "gui/part.h"

namespace morivel::gui {

class ButtonPart : public Part {
 public:
  explicit ButtonPart(const PartSetup& setup);
  QPushButton* Button() const { return qobject_cast<QPushButton*>(Widget()); }
  // A plain button becomes a picture button the first time it needs a glyph or a text colour.
  bool IsPictureButton() const { return picture_; }
  // The button's glyph; a null image removes it.
  void SetGlyph(const QImage& image);

  bool ClicksFromMouse() const override { return false; }
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;

 private:
  void SetCaption(const QString& caption);
  bool picture_ = false;
};

class TabPagePart : public Part {
 public:
  explicit TabPagePart(const PartSetup& setup);
  QTabWidget* Tabs() const { return qobject_cast<QTabWidget*>(Widget()); }
  // Page edits by commands and properties: none of them fires the change event, which belongs to
  // the user switching pages.
  void AddPage(const QString& caption);
  void RemovePage(int index);
  void SetPageCaptions(const QStringList& captions);

  bool ClicksFromMouse() const override { return false; }
  std::vector<QWidget*> EventWidgets() const override;
  QWidget* Container() const override;
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;

 private:
  bool quiet_ = false;  // set while the script changes pages
  bool wrap_ = false;
  QObject context_;  // ends the part's signal connections with the part
};

}  // namespace morivel::gui
