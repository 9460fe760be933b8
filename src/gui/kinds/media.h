// Image, animation and browser parts: their controls and the part classes other code reaches.
#pragma once

#include <QImage>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <string>
#include <vector>

#include "gui/canvas.h"
#include "gui/part.h"

namespace morivel::gui {

// Pixels of the colour of the bottom-left pixel become see-through (the usual way a picture
// says which colour is its background).
QImage with_transparent_background(const QImage& image);

// ---- イメージ
// ------------------------------------------------------------------------------------

// A picture control. Until a picture is loaded its picture is see-through and follows the
// control's size, so that drawing commands on it have somewhere to draw.
class ImageView : public Canvas {
  Q_OBJECT
 public:
  explicit ImageView(QWidget* parent);
  // A loaded picture; the control keeps its size (it does not size itself to the picture).
  void SetPicture(const QImage& picture);
  void ClearPicture();
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool blank_ = true;
  bool transparent_ = false;
};

class ImagePart : public Part {
 public:
  explicit ImagePart(const PartSetup& setup);
  ImageView* View() const { return qobject_cast<ImageView*>(Widget()); }
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;
  void Deactivate() override;
};

// ---- アニメ
// --------------------------------------------------------------------------------------

// Frame-by-frame playback. Playback runs while there are two frames or more; a repeat count
// above 0 stops it on the last frame after that many rounds.
class AnimeView : public QWidget {
  Q_OBJECT
 public:
  explicit AnimeView(QWidget* parent);
  void SetFrames(std::vector<QImage> frames);
  void AddFrame(const QImage& frame);
  void DropFrames();
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  int CurrentFrame() const { return current_; }
  bool Playing() const { return timer_.isActive(); }
  // Milliseconds per frame; 0 or less pauses playback.
  void SetInterval(int ms);
  int Interval() const { return interval_; }
  void SetRepeat(int rounds);
  int Repeat() const { return repeat_; }
  void SetStretch(bool on);
  bool Stretch() const { return stretch_; }
  void SetTransparent(bool on);
  bool Transparent() const { return transparent_; }
  // 0 none; 1 looks pressed while the left button is held; 2 toggles pressed on each click.
  void SetButtonMode(int mode);
  int ButtonMode() const { return button_mode_; }
  bool Pressed() const { return pressed_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Restart();
  void Advance();

  std::vector<QImage> frames_;
  QTimer timer_;
  int current_ = 0;
  int interval_ = 100;
  int repeat_ = 0;
  int rounds_done_ = 0;
  bool stretch_ = false;
  bool transparent_ = false;
  int button_mode_ = 0;
  bool pressed_ = false;
};

class AnimePart : public Part {
 public:
  explicit AnimePart(const PartSetup& setup);
  AnimeView* View() const { return qobject_cast<AnimeView*>(Widget()); }
  // Loads each non-empty line as a frame; `replace` drops the old frames first.
  void LoadFrames(engine::Interpreter& in, const std::string& lines, bool replace);
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;
  void Deactivate() override;

 private:
  std::string sound_;
};

// ---- ブラウザ
// ------------------------------------------------------------------------------------

// The viewer: local files, data addresses and HTML text; pictures of a local page are found
// beside it.
class PageView : public QTextBrowser {
  Q_OBJECT
 public:
  explicit PageView(QWidget* parent) : QTextBrowser(parent) {}
  void SetBase(const QUrl& base) { base_ = base; }
  const QUrl& Base() const { return base_; }
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  QUrl base_;
};

class BrowserPart : public Part {
 public:
  explicit BrowserPart(const PartSetup& setup);
  PageView* View() const { return qobject_cast<PageView*>(Widget()); }
  // Asks the script first (ブラウザ移動先URL, the click slot, ブラウザURL移動許可), then loads.
  void Navigate(const std::string& address);
  // The address of the page shown (Shift-JIS), its HTML text, and the history steps.
  const std::string& Address() const { return address_; }
  std::string Html() const;
  void ShowHtml(const std::string& html);
  bool Back();
  bool Forward();
  // Its click slot means "about to navigate", never a mouse click.
  bool ClicksFromMouse() const override { return false; }
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;
  void Deactivate() override;

 private:
  // `record` adds the address to the history (not when stepping through it).
  void Go(const std::string& address, bool record);
  void Load(const std::string& address);
  void ShowLocal(const std::string& sjis_path, const QString& fragment);
  void ShowData(const QString& address);
  void ShowDocument(const QString& text, bool html, const QUrl& base);
  void LinkClicked(const QUrl& link);
  void OpenNewWindow(const std::string& address);
  std::string Resolve(const QUrl& link) const;
  void NoteNewWindowLinks(const QString& html);

  PartRegistry& parts_;
  FrontEnd& front_;
  int number_;
  std::string address_;
  std::vector<std::string> history_;
  std::size_t history_at_ = 0;
  QString html_;
  std::vector<QString> new_window_links_;
};

}  // namespace morivel::gui
