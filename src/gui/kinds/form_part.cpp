// Forms (the main window among them), menu items and popup menus as parts.
#include "gui/kinds/form_part.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeySequence>
#include <QResizeEvent>

#include "gui/canvas.h"
#include "gui/front_end.h"
#include "gui/images.h"
#include "gui/main_window.h"
#include "gui/part_kinds.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"

namespace morivel::gui {

namespace {
constexpr int kFormClientWidth = 320;
constexpr int kFormClientHeight = 240;
}  // namespace

// ---- form windows ---------------------------------------------------------------------------

FormWindow::FormWindow(QWidget* owner) : QWidget(owner, Qt::Window), img_(new Canvas(this)) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(kFormClientWidth, kFormClientHeight);
  img_->setGeometry(0, 0, kFormClientWidth, kFormClientHeight);
  img_->ResizeImage(QSize(kFormClientWidth, kFormClientHeight), Qt::white);
  img_->lower();
}

void FormWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  hide();
  if (OnClose) OnClose();
}

void FormWindow::resizeEvent(QResizeEvent* event) {
  if (event->spontaneous() && kept_size_.isValid() && event->size() != kept_size_) {
    if (!isVisible()) {
      resize(kept_size_);
      return;
    }
    kept_size_ = event->size();  // the user resized the window
  }
  QWidget::resizeEvent(event);
  img_->ResizeImage(event->size(), img_->Background());
  img_->resize(event->size());
  if (OnResize) OnResize();
}

// ---- form parts -----------------------------------------------------------------------------

FormPart::FormPart(QWidget& window, QWidget& client, Canvas& img, bool main)
    : Part(kForm, &window), client_(&client), img_(&img), main_(main) {
  if (main) KeepWidgetOnRelease();
}

FormPart::FormPart(const PartSetup& setup)
    : Part(kForm, new FormWindow(&setup.front.Window())), main_(false) {
  auto* window = static_cast<FormWindow*>(Widget());
  client_ = window;
  img_ = &window->Img();
  window->setWindowTitle(setup.caption);
  window->setFont(setup.font);
  QPalette palette = window->palette();
  palette.setColor(QPalette::WindowText, setup.font_colour);
  palette.setColor(QPalette::Window, Qt::white);
  window->setPalette(palette);
  if (!qApp->windowIcon().isNull()) window->setWindowIcon(qApp->windowIcon());
  PartRegistry& parts = setup.parts;
  int number = setup.number;
  window->OnClose = [this, &parts, number] {
    if (auto dialog = TakeDialogClose()) {
      dialog();
      return;
    }
    parts.Fire(number, kSlotClose);
  };
  window->OnResize = [&parts, number] { parts.Fire(number, kSlotChange); };
}

std::vector<QWidget*> FormPart::EventWidgets() const {
  std::vector<QWidget*> widgets;
  if (img_) widgets.push_back(img_.data());
  // The frame hears the keys of everything on it (key preview); the picture hears the mouse.
  if (QWidget* window = Widget()) {
    window->setProperty("morivelKeyPreview", true);
    widgets.push_back(window);
  }
  return widgets;
}

QSize FormPart::ClientSize() const {
  return client_ ? client_->size() : QSize();
}

void FormPart::SetClientSize(QSize size) {
  QWidget* window = Widget();
  if (!window || !client_) return;
  size = size.expandedTo(QSize(0, 0)).boundedTo(QSize(kLargestSide, kLargestSide));
  QSize frame_extra = window->size() - client_->size();
  if (auto* form_window = qobject_cast<FormWindow*>(window)) form_window->KeepSize(size);
  window->resize(size + frame_extra);
  if (client_ != window) client_->resize(size);
}

std::optional<expr::Value> FormPart::Read(PropertyCall& call) {
  QWidget* window = Widget();
  if (!window) return std::nullopt;
  switch (call.property) {
    case kPropText:
    case kPropTitle:
      return text_value(from_qstring(window->windowTitle()));
    case kPropWidth:
    case kPropW:
      return number_value(ClientSize().width());
    case kPropHeight:
    case kPropH:
      return number_value(ClientSize().height());
    case kPropResizable:
      return number_value(border_style_ == 1 ? 0 : 1);
    case kPropStyle:
      return number_value(border_style_);
    case kPropStretch:
      return number_value(img_ && img_->Stretch() ? 1 : 0);
    case kPropBackColour:
      return text_value(colour_to_text(img_ ? img_->Background() : QColor(Qt::white)));
    default:
      return std::nullopt;
  }
}

namespace {

void apply_border_style(QWidget& window, int style) {
  Qt::WindowFlags flags = window.windowFlags() &
                          ~(Qt::FramelessWindowHint | Qt::Tool | Qt::MSWindowsFixedSizeDialogHint);
  bool was_visible = window.isVisible();
  if (style == 0) flags |= Qt::FramelessWindowHint;
  if (style == 4 || style == 5) flags |= Qt::Tool;
  window.setWindowFlags(flags);
  bool fixed = style == 0 || style == 1 || style == 3 || style == 4;
  if (fixed)
    window.setFixedSize(window.size());
  else {
    window.setMinimumSize(0, 0);
    window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  if (was_visible) window.show();
}

}  // namespace

bool FormPart::Write(PropertyCall& call, const std::string& value) {
  QWidget* window = Widget();
  if (!window) return false;
  switch (call.property) {
    case kPropText:
    case kPropTitle:
      window->setWindowTitle(to_qstring(value));
      // The application title names the run's dialogs (二択, 三択, messages); it is never
      // appended to other windows' titles, as a display name would be.
      if (main_) QCoreApplication::setApplicationName(to_qstring(value));
      return true;
    case kPropWidth:
    case kPropW:
      SetClientSize(QSize(static_cast<int>(number_of(value)), ClientSize().height()));
      return true;
    case kPropHeight:
    case kPropH:
      SetClientSize(QSize(ClientSize().width(), static_cast<int>(number_of(value))));
      return true;
    case kPropResizable:
      border_style_ = number_of(value) >= 1 ? 2 : 1;
      apply_border_style(*window, border_style_);
      return true;
    case kPropStyle:
      border_style_ = static_cast<int>(number_of(value));
      apply_border_style(*window, border_style_);
      return true;
    case kPropStretch:
      if (img_) img_->SetStretch(number_of(value) > 0);
      return true;
    case kPropTransparent:
      return true;
    case kPropPicture:
      return write_picture(call, value);
    case kPropBackColour:
      if (img_) img_->Clear(colour_from_text(value, Qt::white));
      return true;
    case kPropVisible:
      window->setVisible(number_of(value) != 0);
      return true;
    default:
      return false;
  }
}

void FormPart::Deactivate() {
  if (QWidget* window = Widget(); window && !main_) window->close();
}

// ---- menus ----------------------------------------------------------------------------------

MenuPart::MenuPart(QAction* action) : Part(kMenu, nullptr), action_(action) {}

MenuPart::~MenuPart() {
  if (action_) action_->deleteLater();
}

QMenu* MenuPart::Submenu() {
  if (!action_) return nullptr;
  if (!action_->menu()) {
    auto* menu = new QMenu(qobject_cast<QWidget*>(action_->parent()));
    menu->setTitle(action_->text());
    action_->setMenu(menu);
  }
  return action_->menu();
}

std::optional<expr::Value> MenuPart::Read(PropertyCall& call) {
  if (!action_) return std::nullopt;
  switch (call.property) {
    case kPropText:
    case kPropTitle:
      return text_value(from_qstring(action_->text()));
    case kPropValue:
      return number_value(action_->isChecked() ? 1 : 0);
    case kPropVisible:
      return number_value(action_->isVisible() ? 1 : 0);
    case kPropEnabled:
      return number_value(action_->isEnabled() ? 1 : 0);
    case kPropShortcut:
      return text_value(from_qstring(action_->shortcut().toString()));
    default:
      return std::nullopt;
  }
}

bool MenuPart::Write(PropertyCall& call, const std::string& value) {
  if (!action_) return false;
  switch (call.property) {
    case kPropText:
    case kPropTitle:
      action_->setText(to_qstring(value));
      if (action_->menu()) action_->menu()->setTitle(to_qstring(value));
      return true;
    case kPropValue:
      action_->setCheckable(true);
      action_->setChecked(number_of(value) != 0);
      return true;
    case kPropVisible:
      action_->setVisible(number_of(value) != 0);
      return true;
    case kPropEnabled:
      action_->setEnabled(number_of(value) != 0);
      return true;
    case kPropShortcut:
      action_->setShortcut(QKeySequence(to_qstring(value)));
      return true;
    case kPropPicture:
      return write_picture(call, value);
    default:
      return false;
  }
}

void MenuPart::Deactivate() {
  if (action_) action_->setVisible(false);
}

PopupPart::PopupPart(QMenu* menu) : Part(kPopup, menu) {}

void register_form_kinds(KindTable& table) {
  table[kForm] = make_kind<FormPart>;
  table[kPopup] = [](const PartSetup& setup) -> std::unique_ptr<Part> {
    return std::make_unique<PopupPart>(new QMenu(&setup.front.Window()));
  };
}

}  // namespace morivel::gui
