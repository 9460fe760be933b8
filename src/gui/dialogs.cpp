// The dialog forms of the dialog commands and the window front end's dialogs.
#include "gui/dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "commands/file_handles.h"
#include "gui/fonts.h"
#include "gui/qt_text.h"
#include "gui/window_host.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

constexpr int kMargin = 12;
constexpr int kGap = 8;
constexpr QSize kButtonSize(75, 25);

int rounded(double v) {
  return static_cast<int>(std::lround(v));
}

QString ok_caption() {
  return QStringLiteral("&OK");
}

QString cancel_caption() {
  return QString::fromUtf8("キャンセル(&C)");
}

// Button captions show "&" as it is written; a single "&" would otherwise mark a mnemonic.
QString literal_caption(const std::string& sjis) {
  return to_qstring(sjis).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QLabel* message_label(QWidget* parent, const FormLook& look, const QString& text,
                      const char* name) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setFont(look.font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, look.colour);
  label->setPalette(palette);
  label->adjustSize();
  return label;
}

void apply_look(QWidget& edit, const FormLook& look) {
  edit.setFont(look.font);
  edit.setInputMethodHints(look.ime_hints);
  QPalette palette = edit.palette();
  palette.setColor(QPalette::Text, look.colour);
  edit.setPalette(palette);
}

QPushButton* push_button(QWidget* parent, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->resize(kButtonSize);
  return button;
}

QHBoxLayout* ok_cancel_row(QDialog& form, const QString& ok, const QString& cancel) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* ok_button = push_button(&form, ok);
  QPushButton* cancel_button = push_button(&form, cancel);
  ok_button->setDefault(true);
  QObject::connect(ok_button, &QPushButton::clicked, &form, &QDialog::accept);
  QObject::connect(cancel_button, &QPushButton::clicked, &form, &QDialog::reject);
  row->addWidget(ok_button);
  row->addWidget(cancel_button);
  row->addStretch();
  return row;
}

// The input method is only a hint on this system: "off" and half-width katakana prefer Latin
// input, the other modes leave the input method free.
Qt::InputMethodHints ime_hints(int mode) {
  return mode == 0 || mode == 4 ? Qt::ImhPreferLatin : Qt::ImhNone;
}

QScreen* screen_of(const QWidget* widget) {
  QScreen* screen = widget ? widget->screen() : nullptr;
  return screen ? screen : QGuiApplication::primaryScreen();
}

int screen_height(const QWidget* widget) {
  QScreen* screen = screen_of(widget);
  return screen ? screen->geometry().height() : 768;
}

}  // namespace

// ---- layout rules ----------------------------------------------------------------------------

int message_max_height(int screen_height) {
  return rounded(screen_height * 0.7);
}

std::string fit_message_lines(const std::string& sjis, int max_height, int line_height) {
  std::vector<std::string_view> lines = text::split_lines(sjis);
  if (line_height <= 0 ||
      static_cast<long long>(lines.size()) * line_height <= static_cast<long long>(max_height))
    return sjis;
  const std::size_t shown = static_cast<std::size_t>(std::max(max_height, 0) / line_height);
  std::string out;
  for (std::size_t i = 0; i < shown && i < lines.size(); ++i) {
    out += lines[i];
    out += "\r\n";
  }
  return out + "...";
}

QStringList name_filters(const std::string& sjis_filter) {
  QStringList fields = to_qstring(sjis_filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
    QString description = fields[i].trimmed();
    QString patterns = fields[i + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
    if (patterns.isEmpty()) continue;
    // Descriptions that already end in their patterns stay as the script wrote them.
    if (!description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
      description += QStringLiteral(" (") + patterns + QLatin1Char(')');
    filters << description;
  }
  return filters;
}

FormLook form_look(const DialogStyle& style) {
  return FormLook{font_from_spec(style.font_face, style.font_size),
                  colour_from_text(style.font_colour, Qt::black), ime_hints(style.ime_mode)};
}

// The frame the window system puts around the form; known once the form has a native window.
QMargins frame_margins(QDialog& form) {
  form.winId();
  QWindow* window = form.windowHandle();
  return window ? window->frameMargins() : QMargins();
}

void place_dialog(QDialog& form, const DialogStyle& style, const QString& main_caption) {
  const QMargins frame = frame_margins(form);
  const QSize outer = form.size().grownBy(frame);
  if (QScreen* screen = screen_of(form.parentWidget())) {
    const QPoint centre = screen->geometry().center();
    form.move(centre.x() - outer.width() / 2, centre.y() - outer.height() / 2);
  }
  form.setWindowTitle(style.title.empty() ? main_caption : to_qstring(style.title));
  const auto [left, top, right, bottom] = style.rect;
  if (left == 0 && top == 0 && right == 0) return;
  form.move(left, top);
  // The rectangle is the whole window, frame included.
  if (right > 0 && bottom > 0)
    form.resize(QSize(right - left + 1, bottom - top + 1).shrunkBy(frame));
}

// ---- MessageForm -----------------------------------------------------------------------------

MessageForm::MessageForm(QWidget* parent, const FormLook& look, const std::string& sjis_text,
                         int screen_height)
    : QDialog(parent) {
  const QFontMetrics metrics(look.font);
  const int line_height = rounded(metrics.height() * 1.2);
  const std::string shown =
      fit_message_lines(sjis_text, message_max_height(screen_height), line_height);
  label_ = message_label(this, look, lines_to_qstring(shown), "lblMsg");
  label_->move(kMargin, kMargin);
  QPushButton* ok = push_button(this, ok_caption());
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  // The button sits under the label, never higher than where a one-line message puts it.
  const int bottom_limit = 2 * kMargin + line_height;
  const int button_top = std::max(label_->y() + label_->height() + kMargin, bottom_limit);
  const int width = std::max(label_->width() + 2 * kMargin, 100);
  ok->move((width - ok->width()) / 2, button_top);
  resize(width, button_top + ok->height() + kMargin);
}

// ---- InputForm -------------------------------------------------------------------------------

InputForm::InputForm(QWidget* parent, const FormLook& look, const std::string& sjis_message,
                     const std::string& sjis_initial)
    : QDialog(parent) {
  QLabel* label = message_label(this, look, lines_to_qstring(sjis_message), "lblMsg");
  label->move(kMargin, kMargin);
  const int width = std::max(label->width() + 2 * kMargin, 300);
  edit_ = new QLineEdit(to_qstring(sjis_initial), this);
  edit_->setObjectName(QStringLiteral("edtInput"));
  apply_look(*edit_, look);
  edit_->setGeometry(kMargin, label->y() + label->height() + kGap, width - 2 * kMargin,
                     edit_->sizeHint().height());
  QPushButton* ok = push_button(this, ok_caption());
  QPushButton* cancel = push_button(this, cancel_caption());
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(edit_, &QLineEdit::returnPressed, this, &QDialog::accept);
  const int buttons_top = edit_->y() + edit_->height() + kMargin;
  const int buttons_left = (width - 2 * kButtonSize.width() - kGap) / 2;
  ok->move(buttons_left, buttons_top);
  cancel->move(buttons_left + kButtonSize.width() + kGap, buttons_top);
  resize(width, buttons_top + kButtonSize.height() + kMargin);
  edit_->setFocus();
}

// ---- SelectForm ------------------------------------------------------------------------------

SelectForm::SelectForm(QWidget* parent, const FormLook& look, const std::string& sjis_message,
                       const std::vector<std::string>& items, const std::string& sjis_initial,
                       bool editable)
    : QDialog(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_label(this, look, lines_to_qstring(sjis_message), "Label1"));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("ListBox"));
  list_->setFont(look.font);
  for (const std::string& item : items) list_->addItem(to_qstring(item));
  list_->installEventFilter(this);
  layout->addWidget(list_);
  edit_ = new QLineEdit(to_qstring(sjis_initial), this);
  edit_->setObjectName(QStringLiteral("EditResult"));
  apply_look(*edit_, look);
  edit_->setReadOnly(!editable);
  layout->addWidget(edit_);
  layout->addLayout(ok_cancel_row(*this, ok_caption(), cancel_caption()));
  // Only a chosen item reaches the edit: the list making its first row current when it gets the
  // focus must not overwrite the initial text.
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
    const QList<QListWidgetItem*> chosen = list_->selectedItems();
    if (!chosen.isEmpty()) edit_->setText(chosen.front()->text());
  });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    edit_->setText(item->text());
    accept();
  });
  connect(edit_, &QLineEdit::returnPressed, this, &QDialog::accept);
  resize(std::max(sizeHint().width(), 300), sizeHint().height());
  list_->setFocus();
}

bool SelectForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched != list_ || event->type() != QEvent::KeyPress)
    return QDialog::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      accept();
      return true;
    case Qt::Key_Escape:
      reject();
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      return false;
    default:
      break;
  }
  if (key->text().isEmpty() || !key->text().at(0).isPrint()) return false;
  SelectByFirstByte(key->text());
  return true;
}

// Typing a character picks the first item whose first byte is that character's first byte.
void SelectForm::SelectByFirstByte(const QString& typed) {
  const std::string wanted = from_qstring(typed);
  if (wanted.empty()) return;
  for (int row = 0; row < list_->count(); ++row) {
    const std::string item = from_qstring(list_->item(row)->text());
    if (!item.empty() && item[0] == wanted[0]) {
      list_->setCurrentRow(row);
      return;
    }
  }
  list_->setCurrentRow(-1);
  list_->clearSelection();
}

// ---- ButtonForm ------------------------------------------------------------------------------

ButtonForm::ButtonForm(QWidget* parent, const FormLook& look, const std::string& sjis_message,
                       const std::vector<std::string>& choices, int main_width)
    : QDialog(parent) {
  QLabel* label = message_label(this, look, lines_to_qstring(sjis_message), "Label1");
  label->move(kGap, kGap);
  const QFontMetrics metrics(label->font());
  int widest = 30;
  for (const std::string& choice : choices)
    widest = std::max(widest, metrics.horizontalAdvance(to_qstring(choice)));
  const int width = rounded(widest * 1.3);
  const int height = rounded(0.8 * 2 * metrics.height());
  const double total = static_cast<double>(width) * static_cast<double>(choices.size());
  const bool one_row = total * 1.1 < 0.8 * main_width;
  const int top = label->y() + label->height() + kGap;
  const int client_width = label->width() + 2 * kGap;
  int client_height = top;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    auto* button = new QPushButton(literal_caption(choices[i]), this);
    button->setFont(look.font);
    button->setAutoDefault(false);
    const double step = static_cast<double>(i) * 1.1;
    if (one_row)
      button->setGeometry(rounded(step * width + kGap), top, width, height);
    else
      button->setGeometry(kGap, top + rounded(step * height), width, height);
    client_height = std::max(client_height, button->y() + height);
    connect(button, &QPushButton::clicked, this, [this, i] {
      chosen_ = i;
      accept();
    });
  }
  const int buttons_width = choices.size() > 1 && one_row ? rounded(total * 1.1 + 16) : width + 16;
  resize(std::max(client_width, buttons_width), client_height + kGap);
}

// ---- MemoForm --------------------------------------------------------------------------------

MemoForm::MemoForm(QWidget* parent, const FormLook& look, const std::string& sjis_text)
    : QDialog(parent) {
  auto* layout = new QVBoxLayout(this);
  memo_ = new QPlainTextEdit(lines_to_qstring(sjis_text), this);
  memo_->setObjectName(QStringLiteral("Memo"));
  apply_look(*memo_, look);
  layout->addWidget(memo_);
  menu_ = new QMenu(this);
  menu_->addAction(QString::fromUtf8("元に戻す"), memo_, &QPlainTextEdit::undo);
  menu_->addAction(QString::fromUtf8("コピー"), memo_, &QPlainTextEdit::copy);
  menu_->addAction(QString::fromUtf8("切り取り"), memo_, &QPlainTextEdit::cut);
  menu_->addAction(QString::fromUtf8("貼り付け"), memo_, &QPlainTextEdit::paste);
  menu_->addAction(QString::fromUtf8("全て選択"), memo_, &QPlainTextEdit::selectAll);
  memo_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(memo_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { menu_->exec(memo_->mapToGlobal(at)); });
  auto* row = new QHBoxLayout;
  QPushButton* load = push_button(this, QString::fromUtf8("読込(&L)..."));
  QPushButton* save = push_button(this, QString::fromUtf8("保存(&S)..."));
  connect(load, &QPushButton::clicked, this, &MemoForm::Load);
  connect(save, &QPushButton::clicked, this, &MemoForm::Save);
  row->addWidget(load);
  row->addWidget(save);
  row->addLayout(ok_cancel_row(*this, ok_caption(), cancel_caption()));
  layout->addLayout(row);
  resize(480, 320);
  memo_->setFocus();
}

void MemoForm::closeEvent(QCloseEvent* event) {
  event->accept();
  done(QDialog::Accepted);
}

void MemoForm::Load() {
  const QString name = QFileDialog::getOpenFileName(this, QString(), QDir::currentPath(), QString(),
                                                    nullptr, QFileDialog::DontUseNativeDialog);
  if (name.isEmpty()) return;
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = file.readAll();
  memo_->setPlainText(lines_to_qstring(std::string(bytes.constData(), bytes.size())));
}

void MemoForm::Save() {
  const QString name = QFileDialog::getSaveFileName(this, QString(), QDir::currentPath(), QString(),
                                                    nullptr, QFileDialog::DontUseNativeDialog);
  if (name.isEmpty()) return;
  QFile file(name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  const std::string bytes = lines_from_qstring(memo_->toPlainText());
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// ---- InputListForm ---------------------------------------------------------------------------

namespace {

// An edit with a "..." button that asks for its value.
QWidget* edit_with_button(QWidget* parent, const FormLook& look,
                          std::function<QString(QWidget*)> ask) {
  auto* box = new QWidget(parent);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  auto* edit = new QLineEdit(box);
  apply_look(*edit, look);
  auto* button = new QToolButton(box);
  button->setText(QStringLiteral("..."));
  row->addWidget(edit);
  row->addWidget(button);
  QObject::connect(button, &QToolButton::clicked, box, [box, edit, ask] {
    const QString value = ask(box);
    if (!value.isNull()) edit->setText(value);
  });
  return box;
}

QString ask_file(QWidget* parent, const std::string& filter) {
  QFileDialog dialog(parent);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDirectory(QDir::currentPath());
  dialog.setNameFilters(name_filters(filter));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().front();
}

QString ask_colour(QWidget* parent) {
  QColorDialog dialog(parent);
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) return QString();
  return to_qstring(colour_to_text(dialog.selectedColor()));
}

}  // namespace

InputListForm::InputListForm(QWidget* parent, const FormLook& look,
                             const std::array<std::string, 2>& titles,
                             const std::vector<engine::Host::InputItem>& items)
    : QDialog(parent) {
  auto* layout = new QVBoxLayout(this);
  table_ = new QTableWidget(static_cast<int>(items.size()), 2, this);
  table_->setObjectName(QStringLiteral("veList"));
  table_->setFont(look.font);
  table_->setHorizontalHeaderLabels({to_qstring(titles[0]), to_qstring(titles[1])});
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  const QFontMetrics metrics(look.font);
  int name_width = metrics.horizontalAdvance(QString::fromUtf8("項目"));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const int row = static_cast<int>(i);
    auto* name = new QTableWidgetItem(to_qstring(items[i].name));
    name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    table_->setItem(row, 0, name);
    name_width = std::max(name_width, metrics.horizontalAdvance(name->text()));
    QWidget* editor = ValueEditor(items[i]);
    apply_look(*editor, look);
    table_->setCellWidget(row, 1, editor);
    kinds_.push_back(items[i].kind);
  }
  table_->setColumnWidth(0, name_width + 8);
  // Rows follow the font; the editors' frames need a few pixels more than the bare text.
  table_->verticalHeader()->setDefaultSectionSize(metrics.height() + 8);
  layout->addWidget(table_);
  layout->addLayout(
      ok_cancel_row(*this, QString::fromUtf8("決定(&O)"), QString::fromUtf8("取消(&C)")));
  resize(420, 300);
}

QWidget* InputListForm::ValueEditor(const engine::Host::InputItem& item) {
  using Kind = engine::Host::InputItem::Kind;
  FormLook look{table_->font(), Qt::black, Qt::ImhNone};
  switch (item.kind) {
    case Kind::Pick: {
      auto* combo = new QComboBox(table_);
      for (const std::string& choice : item.choices) combo->addItem(to_qstring(choice));
      combo->setCurrentIndex(-1);
      return combo;
    }
    case Kind::File: {
      const std::string filter = item.filter;
      return edit_with_button(table_, look, [filter](QWidget* at) { return ask_file(at, filter); });
    }
    case Kind::Colour:
      return edit_with_button(table_, look, [](QWidget* at) { return ask_colour(at); });
    case Kind::Number: {
      auto* edit = new QLineEdit(to_qstring(item.value), table_);
      edit->setValidator(new QRegularExpressionValidator(
          QRegularExpression(QStringLiteral("[-+]?[0-9]*([.][0-9]*)?")), edit));
      return edit;
    }
    case Kind::Text:
      break;
  }
  return new QLineEdit(to_qstring(item.value), table_);
}

std::vector<std::string> InputListForm::Values() const {
  std::vector<std::string> values;
  for (int row = 0; row < table_->rowCount(); ++row) {
    QWidget* editor = table_->cellWidget(row, 1);
    QString value;
    if (auto* combo = qobject_cast<QComboBox*>(editor))
      value = combo->currentText();
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
      value = edit->text();
    else if (auto* inner = editor ? editor->findChild<QLineEdit*>() : nullptr)
      value = inner->text();
    values.push_back(from_qstring(value));
  }
  return values;
}

// ---- the window front end's dialogs ----------------------------------------------------------

namespace {

// Runs a form placed by the dialog rules; true when it was accepted.
bool run_form(QDialog& form, const DialogStyle& style, const QWidget& main) {
  place_dialog(form, style, main.windowTitle());
  return form.exec() == QDialog::Accepted;
}

std::string script_path(const QString& path) {
  return commands::script_path_of(std::filesystem::path(path.toStdString()));
}

QString caption_or(const DialogStyle& style, const QString& fallback) {
  return style.title.empty() ? fallback : to_qstring(style.title);
}

}  // namespace

void WindowHost::ShowDialogMessage(const DialogStyle& style, const std::string& text) {
  MessageForm form(&window_, form_look(style), text, screen_height(&window_));
  run_form(form, style, window_);
}

std::optional<std::string> WindowHost::AskText(const DialogStyle& style,
                                               const std::string& message) {
  InputForm form(&window_, form_look(style), message, style.initial);
  if (!run_form(form, style, window_)) return std::nullopt;
  return from_qstring(form.Text());
}

engine::Host::YesNo WindowHost::AskYesNo(const DialogStyle& style, const std::string& message,
                                         bool with_cancel) {
  (void)style;
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), to_qstring(message),
                  QMessageBox::NoButton, &window_);
  QPushButton* yes = box.addButton(QString::fromUtf8("はい(&Y)"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QString::fromUtf8("いいえ(&N)"), QMessageBox::NoRole);
  QPushButton* cancel =
      with_cancel ? box.addButton(QString::fromUtf8("キャンセル"), QMessageBox::RejectRole)
                  : nullptr;
  box.setDefaultButton(yes);
  box.setEscapeButton(with_cancel ? cancel : no);
  box.exec();
  if (box.clickedButton() == yes) return YesNo::Yes;
  if (with_cancel && box.clickedButton() != no) return YesNo::Cancel;
  return YesNo::No;
}

std::optional<std::string> WindowHost::SelectFromList(const DialogStyle& style,
                                                      const std::string& message,
                                                      const std::vector<std::string>& items,
                                                      bool editable) {
  SelectForm form(&window_, form_look(style), message, items, style.initial, editable);
  if (!run_form(form, style, window_)) return std::nullopt;
  return from_qstring(form.Text());
}

std::optional<std::string> WindowHost::SelectButton(const DialogStyle& style,
                                                    const std::string& message,
                                                    const std::vector<std::string>& choices) {
  ButtonForm form(&window_, form_look(style), message, choices, window_.width());
  run_form(form, style, window_);
  if (!form.Chosen()) return std::nullopt;
  return choices[*form.Chosen()];
}

std::optional<std::string> WindowHost::EditMemo(const DialogStyle& style, const std::string& text) {
  MemoForm form(&window_, form_look(style), text);
  if (!run_form(form, style, window_)) return std::nullopt;
  return lines_from_qstring(form.Text());
}

std::optional<std::vector<std::string>> WindowHost::EditItems(
    const DialogStyle& style, const std::array<std::string, 2>& titles,
    const std::vector<InputItem>& items) {
  InputListForm form(&window_, form_look(style), titles, items);
  if (!run_form(form, style, window_)) return std::nullopt;
  return form.Values();
}

std::optional<std::string> WindowHost::ChooseColour(const DialogStyle& style) {
  QColorDialog dialog(&window_);
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  dialog.setWindowTitle(caption_or(style, dialog.windowTitle()));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return colour_to_text(dialog.selectedColor());
}

std::optional<std::string> WindowHost::ChooseFont(const DialogStyle& style) {
  QFontDialog dialog(font_from_spec(style.font_face, style.font_size), &window_);
  dialog.setOption(QFontDialog::DontUseNativeDialog);
  dialog.setWindowTitle(caption_or(style, dialog.windowTitle()));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return spec_from_font(dialog.selectedFont());
}

std::optional<std::vector<std::string>> WindowHost::ChooseFiles(const DialogStyle& style,
                                                                const FileRequest& request) {
  QFileDialog dialog(&window_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowTitle(caption_or(style, dialog.windowTitle()));
  dialog.setDirectory(QDir::currentPath());
  dialog.setNameFilters(name_filters(request.filter));
  if (request.save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(to_qstring(request.default_extension));
  } else {
    dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  }
  if (!request.initial_name.empty()) dialog.selectFile(to_qstring(request.initial_name));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> files;
  for (const QString& file : dialog.selectedFiles()) files.push_back(script_path(file));
  return files;
}

std::optional<std::string> WindowHost::ChooseFolder(const DialogStyle& style,
                                                    const std::string& prompt) {
  QFileDialog dialog(&window_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setDirectory(QDir::currentPath());
  if (prompt.empty()) {
    dialog.setWindowTitle(caption_or(style, dialog.windowTitle()));
  } else {
    dialog.setWindowTitle(QApplication::applicationName());
    dialog.setLabelText(QFileDialog::FileName, to_qstring(prompt));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return script_path(dialog.selectedFiles().front());
}

}  // namespace morivel::gui
