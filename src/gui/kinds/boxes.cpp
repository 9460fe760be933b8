// Buttons, labels, check boxes, radio groups, panels, scroll boxes, tab pages and splitters as
// parts.
#include "gui/kinds/boxes.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/images.h"
#include "gui/part_kinds.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

// Default sizes, as a form designer of the classic controls gives them.
constexpr QSize kButtonSize(75, 25);
constexpr QSize kCheckSize(97, 17);
constexpr QSize kRadioGroupSize(185, 105);
constexpr QSize kPanelSize(185, 41);
constexpr QSize kScrollSize(300, 200);
constexpr QSize kTabPageSize(289, 193);
constexpr QSize kSplitterSize(5, 5);

QStringList lines_of(const std::string& sjis) {
  QStringList lines;
  for (std::string_view line : text::split_lines(sjis)) lines << to_qstring(std::string(line));
  return lines;
}

// A list as a value: every line followed by CR LF.
std::string text_of_lines(const QStringList& lines) {
  std::string text;
  for (const QString& line : lines) text += from_qstring(line) + "\r\n";
  return text;
}

bool is_text(const PropertyCall& call) {
  return call.property == kPropText || call.property == kPropTitle;
}

void use_font_colour(QWidget& widget, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::ButtonText, colour);
  palette.setColor(QPalette::Text, colour);
  widget.setPalette(palette);
}

}  // namespace

// ---- buttons --------------------------------------------------------------------------------

ButtonPart::ButtonPart(const PartSetup& setup)
    : Part(kButton, new QPushButton(setup.caption, setup.parent)) {
  QPushButton* button = Button();
  button->resize(kButtonSize);
  button->setFont(setup.font);
  button->setAutoDefault(false);
  PartRegistry& parts = setup.parts;
  int number = setup.number;
  QObject::connect(button, &QPushButton::clicked, button,
                   [&parts, number] { parts.Fire(number, kSlotClick); });
}

void ButtonPart::SetGlyph(const QImage& image) {
  picture_ = true;
  QPushButton* button = Button();
  if (!button) return;
  if (image.isNull()) {
    button->setIcon(QIcon());
    return;
  }
  button->setIcon(QIcon(QPixmap::fromImage(image)));
  button->setIconSize(image.size());
}

void ButtonPart::SetCaption(const QString& caption) {
  QPushButton* button = Button();
  button->setText(caption);
  int wanted = button->fontMetrics().horizontalAdvance(caption);
  if (wanted > button->width()) button->resize(wanted + 10, button->height());
}

std::optional<expr::Value> ButtonPart::Read(PropertyCall& call) {
  QPushButton* button = Button();
  if (!button || !is_text(call)) return std::nullopt;
  return text_value(from_qstring(button->text()));
}

bool ButtonPart::Write(PropertyCall& call, const std::string& value) {
  if (!Button()) return false;
  if (is_text(call)) {
    SetCaption(to_qstring(value));
    return true;
  }
  if (call.property == kPropPicture) {
    SetGlyph(value.empty() ? QImage() : load_image(call.in, value));
    return true;
  }
  // The colour itself goes through the common palette; a Qt push button colours its text as a
  // picture button would, so the control stays and keeps its events and number.
  if (call.property == kPropFontColour) picture_ = true;
  return false;
}

// ---- labels ---------------------------------------------------------------------------------

namespace {

// A label that fits its text again whenever the text or the font changes; a size set by the
// script lasts until then.
class AutoSizeLabel : public QLabel {
 public:
  using QLabel::QLabel;
  void Fit() { adjustSize(); }

 protected:
  void changeEvent(QEvent* event) override {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) Fit();
  }
};

class LabelPart : public Part {
 public:
  explicit LabelPart(const PartSetup& setup)
      : Part(kLabel, new AutoSizeLabel(setup.caption, setup.parent)) {
    AutoSizeLabel* label = Label();
    label->setFont(setup.font);
    use_font_colour(*label, setup.font_colour);
    label->setAutoFillBackground(false);
    label->setTextFormat(Qt::PlainText);
    label->Fit();
  }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    AutoSizeLabel* label = Label();
    if (!label) return std::nullopt;
    if (is_text(call)) return text_value(lines_from_qstring(label->text()));
    if (call.property == kPropTransparent) return number_value(transparent_ ? 1 : 0);
    return std::nullopt;
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    AutoSizeLabel* label = Label();
    if (!label) return false;
    switch (call.property) {
      case kPropText:
      case kPropTitle:
        label->setText(lines_to_qstring(value));
        label->Fit();
        return true;
      case kPropTransparent:
        transparent_ = number_of(value) > 0;
        label->setAutoFillBackground(!transparent_);
        label->update();
        return true;
      case kPropBackColour: {
        // A transparent label keeps the colour for when it stops being transparent.
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, colour_from_text(value, Qt::white));
        label->setPalette(palette);
        label->setAutoFillBackground(!transparent_);
        return true;
      }
      default:
        return false;
    }
  }

  void Deactivate() override {
    if (AutoSizeLabel* label = Label()) label->clear();
  }

 private:
  AutoSizeLabel* Label() const { return static_cast<AutoSizeLabel*>(Widget()); }
  bool transparent_ = true;
};

// ---- check boxes ----------------------------------------------------------------------------

class CheckPart : public Part {
 public:
  explicit CheckPart(const PartSetup& setup)
      : Part(kCheck, new QCheckBox(setup.caption, setup.parent)) {
    QCheckBox* box = Box();
    box->resize(kCheckSize);
    box->setFont(setup.font);
    PartRegistry& parts = setup.parts;
    int number = setup.number;
    // A check box reports a click whenever its state changes, by the user or by the script.
    QObject::connect(box, &QCheckBox::toggled, box,
                     [&parts, number] { parts.Fire(number, kSlotClick); });
  }

  bool ClicksFromMouse() const override { return false; }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    QCheckBox* box = Box();
    if (!box) return std::nullopt;
    if (is_text(call)) return text_value(from_qstring(box->text()));
    if (call.property == kPropValue) return number_value(box->isChecked() ? 1 : 0);
    return std::nullopt;
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    QCheckBox* box = Box();
    if (!box) return false;
    if (is_text(call)) {
      box->setText(to_qstring(value));
      return true;
    }
    if (call.property == kPropValue) {
      box->setChecked(number_of(value) != 0);
      return true;
    }
    return false;
  }

  void Deactivate() override {
    if (QCheckBox* box = Box()) box->setText(QString());
  }

 private:
  QCheckBox* Box() const { return qobject_cast<QCheckBox*>(Widget()); }
};

// ---- radio groups ---------------------------------------------------------------------------

class RadioPart : public Part {
 public:
  explicit RadioPart(const PartSetup& setup) : Part(kRadio, new QGroupBox(setup.parent)) {
    QGroupBox* box = Box();
    box->resize(kRadioGroupSize);
    box->setFont(setup.font);
    new QVBoxLayout(box);
    group_ = new QButtonGroup(box);
    group_->setExclusive(true);
    PartRegistry& parts = setup.parts;
    int number = setup.number;
    QObject::connect(group_, &QButtonGroup::idToggled, &context_,
                     [this, &parts, number](int id, bool checked) {
                       if (!checked || rebuilding_) return;
                       selected_ = id;
                       parts.Fire(number, kSlotClick);
                     });
  }

  bool ClicksFromMouse() const override { return false; }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    if (!Box()) return std::nullopt;
    switch (call.property) {
      case kPropText:
      case kPropTitle: {
        QAbstractButton* chosen = group_->button(selected_);
        return text_value(chosen ? from_qstring(chosen->text()) : std::string());
      }
      case kPropItems:
        return text_value(text_of_lines(Choices()));
      case kPropValue:
        return number_value(selected_);
      default:
        return std::nullopt;
    }
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    if (!Box()) return false;
    switch (call.property) {
      case kPropText:
      case kPropTitle:
        if (QAbstractButton* chosen = group_->button(selected_)) chosen->setText(to_qstring(value));
        return true;
      case kPropItems:
        SetChoices(lines_of(value));
        return true;
      case kPropValue: {
        long long index = number_of(value, -1);
        bool known = index >= 0 && index < static_cast<long long>(group_->buttons().size());
        if (known) group_->button(static_cast<int>(index))->setChecked(true);
        return true;
      }
      default:
        return false;
    }
  }

 private:
  QGroupBox* Box() const { return qobject_cast<QGroupBox*>(Widget()); }

  QStringList Choices() const {
    QStringList choices;
    for (int i = 0; QAbstractButton* button = group_->button(i); ++i) choices << button->text();
    return choices;
  }

  // New choices keep the selected index while it still names a choice.
  void SetChoices(const QStringList& choices) {
    rebuilding_ = true;
    for (QAbstractButton* button : group_->buttons()) {
      group_->removeButton(button);
      delete button;
    }
    QGroupBox* box = Box();
    for (int i = 0; i < choices.size(); ++i) {
      auto* button = new QRadioButton(choices[i], box);
      group_->addButton(button, i);
      box->layout()->addWidget(button);
    }
    if (selected_ >= choices.size()) selected_ = static_cast<int>(choices.size()) - 1;
    if (QAbstractButton* chosen = group_->button(selected_)) chosen->setChecked(true);
    rebuilding_ = false;
  }

  QButtonGroup* group_;
  int selected_ = -1;
  bool rebuilding_ = false;
  QObject context_;
};

// ---- panels ---------------------------------------------------------------------------------

// A bevelled frame with a caption in its middle.
class PanelFrame : public QFrame {
 public:
  explicit PanelFrame(QWidget* parent) : QFrame(parent) { SetBevel(2); }

  int Bevel() const { return bevel_; }
  void SetBevel(int bevel) {
    bevel_ = bevel;
    switch (bevel) {
      case 1:
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        break;
      case 2:
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        break;
      default:
        setFrameStyle(QFrame::NoFrame);
        break;
    }
    setLineWidth(1);
  }
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption) {
    caption_ = caption;
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    if (caption_.isEmpty()) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect(), Qt::AlignCenter, caption_);
  }

 private:
  int bevel_ = 2;
  QString caption_;
};

class PanelPart : public Part {
 public:
  explicit PanelPart(const PartSetup& setup) : Part(kPanel, new PanelFrame(setup.parent)) {
    Frame()->resize(kPanelSize);
  }

  QWidget* Container() const override { return Widget(); }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    PanelFrame* frame = Frame();
    if (!frame) return std::nullopt;
    if (is_text(call)) return text_value(from_qstring(frame->Caption()));
    if (call.property == kPropStyle) return number_value(frame->Bevel());
    return std::nullopt;
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    PanelFrame* frame = Frame();
    if (!frame) return false;
    if (is_text(call)) {
      frame->SetCaption(to_qstring(value));
      return true;
    }
    if (call.property == kPropStyle) {
      long long bevel = number_of(value);
      if (bevel >= 0 && bevel <= 3) frame->SetBevel(static_cast<int>(bevel));
      return true;
    }
    return false;
  }

 private:
  PanelFrame* Frame() const { return static_cast<PanelFrame*>(Widget()); }
};

// ---- scroll boxes ---------------------------------------------------------------------------

// The scrolled widget: it grows to hold every part placed on it, so the scroll bars appear by
// themselves, and never shrinks below the visible area.
class ScrollInner : public QWidget {
 public:
  explicit ScrollInner(QScrollArea& area) : QWidget(nullptr), area_(area) {}

  void Fit() {
    QSize wanted = area_.viewport()->size();
    QRect used = childrenRect();
    if (!used.isEmpty()) wanted = wanted.expandedTo(QSize(used.right() + 1, used.bottom() + 1));
    if (size() != wanted) resize(wanted);
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ChildAdded) {
      if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
        child->installEventFilter(this);
      Fit();
    } else if (event->type() == QEvent::ChildRemoved) {
      Fit();
    }
    return QWidget::event(event);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
        if (watched->parent() == this) Fit();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  QScrollArea& area_;
};

class ScrollBox : public QScrollArea {
 public:
  explicit ScrollBox(QWidget* parent) : QScrollArea(parent), inner_(new ScrollInner(*this)) {
    setWidget(inner_);
    setWidgetResizable(false);
    inner_->setAutoFillBackground(false);
  }
  ScrollInner* Inner() const { return inner_; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QScrollArea::resizeEvent(event);
    inner_->Fit();
  }

 private:
  ScrollInner* inner_;
};

class ScrollPart : public Part {
 public:
  explicit ScrollPart(const PartSetup& setup) : Part(kScroll, new ScrollBox(setup.parent)) {
    Box()->resize(kScrollSize);
  }

  // The mouse lands on the viewport (or on the inner widget, from which it travels up to it).
  std::vector<QWidget*> EventWidgets() const override {
    if (ScrollBox* box = Box()) return {box->viewport()};
    return {};
  }
  QWidget* Container() const override {
    ScrollBox* box = Box();
    return box ? box->Inner() : nullptr;
  }

 private:
  ScrollBox* Box() const { return static_cast<ScrollBox*>(Widget()); }
};

// ---- splitters ------------------------------------------------------------------------------

// A bevelled bar that, when dragged, resizes the parts whose edges touch it: those before it
// grow or shrink, those after it move and change size the other way.
class SplitterBar : public QFrame {
 public:
  SplitterBar(QWidget* parent, PartRegistry& parts, int number)
      : QFrame(parent), parts_(parts), number_(number) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    resize(kSplitterSize);
  }

  // A bar at least as tall as it is wide moves sideways.
  bool MovesSideways() const { return height() >= width(); }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QFrame::resizeEvent(event);
    setCursor(MovesSideways() ? Qt::SplitHCursor : Qt::SplitVCursor);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    moved_ = false;
    last_ = event->globalPosition().toPoint();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!dragging_) return;
    QPoint at = event->globalPosition().toPoint();
    int wanted = MovesSideways() ? at.x() - last_.x() : at.y() - last_.y();
    int done = MoveBy(wanted);
    if (done != 0) moved_ = true;
    if (MovesSideways())
      last_.rx() += done;
    else
      last_.ry() += done;
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    if (moved_) parts_.Fire(number_, kSlotChange);
  }

 private:
  static constexpr int kMinNeighbour = 30;

  struct Neighbours {
    std::vector<QWidget*> before, after;
  };

  Neighbours FindNeighbours() const {
    Neighbours n;
    QWidget* parent = parentWidget();
    if (!parent) return n;
    QRect bar = geometry();
    bool sideways = MovesSideways();
    for (QObject* child : parent->children()) {
      auto* w = qobject_cast<QWidget*>(child);
      if (!w || w == this || w->isHidden() || w->isWindow()) continue;
      QRect g = w->geometry();
      if (sideways) {
        if (g.bottom() < bar.top() || g.top() > bar.bottom()) continue;
        if (std::abs(g.right() + 1 - bar.left()) <= 1) n.before.push_back(w);
        if (std::abs(g.left() - (bar.right() + 1)) <= 1) n.after.push_back(w);
      } else {
        if (g.right() < bar.left() || g.left() > bar.right()) continue;
        if (std::abs(g.bottom() + 1 - bar.top()) <= 1) n.before.push_back(w);
        if (std::abs(g.top() - (bar.bottom() + 1)) <= 1) n.after.push_back(w);
      }
    }
    return n;
  }

  int Extent(const QWidget& w) const { return MovesSideways() ? w.width() : w.height(); }

  // How far the bar may go: neighbours keep a minimum size (or what they have when smaller),
  // and the bar stays inside its parent.
  int Limit(const Neighbours& n, int delta) const {
    for (QWidget* w : n.before) {
      int floor = std::min(Extent(*w), kMinNeighbour);
      delta = std::max(delta, floor - Extent(*w));
    }
    for (QWidget* w : n.after) {
      int floor = std::min(Extent(*w), kMinNeighbour);
      delta = std::min(delta, Extent(*w) - floor);
    }
    if (QWidget* parent = parentWidget()) {
      int start = MovesSideways() ? x() : y();
      int room = (MovesSideways() ? parent->width() - width() : parent->height() - height());
      delta = std::clamp(delta, -start, std::max(0, room - start));
    }
    return delta;
  }

  int MoveBy(int wanted) {
    Neighbours n = FindNeighbours();
    int delta = Limit(n, wanted);
    if (delta == 0) return 0;
    bool sideways = MovesSideways();
    for (QWidget* w : n.before) {
      if (sideways)
        w->resize(w->width() + delta, w->height());
      else
        w->resize(w->width(), w->height() + delta);
    }
    for (QWidget* w : n.after) {
      QRect g = w->geometry();
      if (sideways)
        w->setGeometry(g.x() + delta, g.y(), g.width() - delta, g.height());
      else
        w->setGeometry(g.x(), g.y() + delta, g.width(), g.height() - delta);
    }
    move(sideways ? QPoint(x() + delta, y()) : QPoint(x(), y() + delta));
    return delta;
  }

  PartRegistry& parts_;
  int number_;
  bool dragging_ = false;
  bool moved_ = false;
  QPoint last_;
};

class SplitterPart : public Part {
 public:
  explicit SplitterPart(const PartSetup& setup)
      : Part(kSplitter, new SplitterBar(setup.parent, setup.parts, setup.number)) {}
  bool ClicksFromMouse() const override { return false; }
};

}  // namespace

// ---- tab pages ------------------------------------------------------------------------------

TabPagePart::TabPagePart(const PartSetup& setup) : Part(kTabPage, new QTabWidget(setup.parent)) {
  QTabWidget* tabs = Tabs();
  tabs->resize(kTabPageSize);
  PartRegistry& parts = setup.parts;
  int number = setup.number;
  QObject::connect(tabs, &QTabWidget::currentChanged, &context_, [this, &parts, number] {
    if (!quiet_) parts.Fire(number, kSlotChange);
  });
}

void TabPagePart::AddPage(const QString& caption) {
  QTabWidget* tabs = Tabs();
  if (!tabs) return;
  quiet_ = true;
  auto* page = new QWidget;
  page->setAutoFillBackground(false);
  tabs->addTab(page, caption);
  quiet_ = false;
}

void TabPagePart::RemovePage(int index) {
  QTabWidget* tabs = Tabs();
  if (!tabs || index < 0 || index >= tabs->count()) return;
  quiet_ = true;
  QWidget* page = tabs->widget(index);
  tabs->removeTab(index);
  // Parts placed on the page go with it, as the page owned them; their records stay until
  // destroyed, with a control that Qt has released.
  page->deleteLater();
  quiet_ = false;
}

void TabPagePart::SetPageCaptions(const QStringList& captions) {
  QTabWidget* tabs = Tabs();
  if (!tabs) return;
  for (int i = 0; i < captions.size(); ++i) {
    if (i < tabs->count())
      tabs->setTabText(i, captions[i]);
    else
      AddPage(captions[i]);
  }
  while (tabs->count() > captions.size()) RemovePage(tabs->count() - 1);
}

std::vector<QWidget*> TabPagePart::EventWidgets() const {
  QTabWidget* tabs = Tabs();
  if (!tabs) return {};
  return {tabs, tabs->tabBar()};
}

QWidget* TabPagePart::Container() const {
  QTabWidget* tabs = Tabs();
  return tabs ? tabs->currentWidget() : nullptr;
}

std::optional<expr::Value> TabPagePart::Read(PropertyCall& call) {
  QTabWidget* tabs = Tabs();
  if (!tabs) return std::nullopt;
  switch (call.property) {
    case kPropText:
    case kPropTitle: {
      QStringList captions;
      for (int i = 0; i < tabs->count(); ++i) captions << tabs->tabText(i);
      return text_value(text_of_lines(captions));
    }
    case kPropValue:
      return number_value(tabs->currentIndex());
    case kPropWrap:
      return number_value(wrap_ ? 1 : 0);
    default:
      return std::nullopt;
  }
}

bool TabPagePart::Write(PropertyCall& call, const std::string& value) {
  QTabWidget* tabs = Tabs();
  if (!tabs) return false;
  switch (call.property) {
    case kPropText:
    case kPropTitle:
      SetPageCaptions(lines_of(value));
      return true;
    case kPropValue: {
      long long index = number_of(value, -1);
      if (index >= 0 && index < tabs->count()) {
        quiet_ = true;
        tabs->setCurrentIndex(static_cast<int>(index));
        quiet_ = false;
      }
      return true;
    }
    case kPropWrap:
      // Qt has no rows of tabs: wrapping shows every tab by eliding captions instead of scrolling.
      wrap_ = text::trim(value) == "1";
      tabs->setUsesScrollButtons(!wrap_);
      tabs->setElideMode(wrap_ ? Qt::ElideRight : Qt::ElideNone);
      return true;
    default:
      return false;
  }
}

void register_box_kinds(KindTable& table) {
  table[kButton] = make_kind<ButtonPart>;
  table[kLabel] = make_kind<LabelPart>;
  table[kCheck] = make_kind<CheckPart>;
  table[kRadio] = make_kind<RadioPart>;
  table[kPanel] = make_kind<PanelPart>;
  table[kScroll] = make_kind<ScrollPart>;
  table[kTabPage] = make_kind<TabPagePart>;
  table[kSplitter] = make_kind<SplitterPart>;
}

}  // namespace morivel::gui
