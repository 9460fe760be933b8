// Commands on parts: creation and destruction, lookup, focus, re-parenting, window states,
// forms as dialogs, menus, the main window's own commands, and 設定 / 得る.
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMenuBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include "engine/interpreter.h"
#include "gui/canvas.h"
#include "gui/families.h"
#include "gui/front_end.h"
#include "gui/kinds/form_part.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::gui {

namespace {

PartRegistry& parts_of(engine::Interpreter& in) {
  return front_end(in).Parts();
}

// A part found by name in the part list; missing raises the not-created error.
words::TObjNode& created_part(engine::Interpreter& in, const std::string& name) {
  words::TObjNode* node = parts_of(in).FindByName(in, name);
  if (!node) throw in.Error(text::sjis("部品\"") + name + text::sjis("\"は、作成されていません。"));
  return *node;
}

FormPart& form_argument(engine::Interpreter& in, const std::string& name) {
  words::TObjNode* node = parts_of(in).FindByName(in, name);
  auto* form = node ? dynamic_cast<FormPart*>(parts_of(in).PartOf(*node)) : nullptr;
  if (!form || !form->Widget()) throw in.Error(text::sjis("引数にフォームを指定してください。"));
  return *form;
}

// ---- creation and destruction ---------------------------------------------------------------

void create(engine::Interpreter& in) {
  std::string kind = text::trim(in.PopArgumentValue());
  std::string name = text::trim(in.PopArgumentText());
  bool given = !in.ImplicitSore();
  std::string position = in.PopArgumentText();
  parts_of(in).Create(in, kind, name, position, given);
}

void make_by_name(engine::Interpreter& in) {
  std::string name = text::trim(in.PopArgumentValue());
  if (name.empty())
    throw in.Error("\"" + in.CurrentCommandName() +
                   text::sjis("\"命令の引数に誤りがあります。オブジェクト名がありません。"));
  std::string kind;
  for (int k = 0; k < kKindCount && kind.empty(); ++k)
    if (text::ends_with_chars(name, PartRegistry::KindName(k))) kind = PartRegistry::KindName(k);
  if (words::THashNode* word = in.FindWord(name); word && word->Kind != words::kVariable)
    throw in.Error("\"" + in.CurrentCommandName() +
                   text::sjis("\"命令の引数に誤りがあります。オブジェクト名\"") + name +
                   text::sjis("\"は既に使われています。"));
  static const std::string kMenuKind = text::sjis("メニュー");
  std::string statement;
  if (kind == kMenuKind)
    statement = "`" + name + text::sjis("`を,メニュー作成");
  else if (kind.empty())
    statement = "`" + name + text::sjis("`を,ボタンとして,作成");
  else
    statement = "`" + name + text::sjis("`を,") + kind + text::sjis("として,作成");
  try {
    in.RunProgramText(statement);
  } catch (const engine::EMorv& e) {
    throw in.Error(std::string(e.what()) + text::sjis("(\"作る\"命令にて)"));
  }
}

void destroy(engine::Interpreter& in) {
  parts_of(in).Destroy(in, text::trim(in.PopArgumentText()));
}

void destroy_all(engine::Interpreter& in) {
  parts_of(in).DestroyAll(in);
}

// The name as written first; a variable holding a name is still asked about its value.
void find_part(engine::Interpreter& in) {
  std::string raw = text::trim(in.PopArgumentText());
  words::TObjList& list = in.State().Parts;
  std::string name = raw;
  if (written_as_literal(raw) || !list.FindByName(raw)) name = text::trim(in.EvalArgument(raw));
  in.SetResult(list.FindByName(name) ? name : std::string(), "s");
}

void mirror_word(engine::Interpreter& in) {
  std::string name = text::trim(in.PopArgumentText());
  words::THashNode* word = in.FindWord(name);
  if (!word && written_as_literal(name)) word = in.FindWord(in.EvalArgument(name));
  if (word) parts_of(in).MirrorSo(in, *word);
}

// ---- focus, placement and order -------------------------------------------------------------

void focus(engine::Interpreter& in) {
  std::string name = pop_part_name(in);
  words::TObjNode& node = created_part(in, name);
  Part* part = parts_of(in).PartOf(node);
  QWidget* w = part ? part->Widget() : nullptr;
  if (w && node.Kind == kForm) {
    w->activateWindow();
    w->raise();
    w->setFocus();
    return;
  }
  if (!w || !w->isEnabled() || w->isHidden() || w->focusPolicy() == Qt::NoFocus)
    throw in.Error("\"" + name + text::sjis("\"には、注目できません。"));
  w->setFocus(Qt::OtherFocusReason);
}

void place_on(engine::Interpreter& in) {
  std::string container = pop_part_name(in);
  std::string part = pop_part_name(in);
  PartRegistry& parts = parts_of(in);
  for (const std::string& name : {part, container})
    if (!parts.FindWord(in, name))
      throw in.Error("\"" + name + text::sjis("\"は、部品ではありません。"));
  words::TObjNode* target = parts.NodeOfWord(*parts.FindWord(in, container));
  int kind = target ? target->Kind : -1;
  if (kind != kForm && kind != kPanel && kind != kScroll && kind != kTabPage)
    throw in.ArgumentError(text::sjis("パネルとフォームなど以外には乗せられません。"));
  parts.PlaceOn(in, part, *target);
}

void centre(engine::Interpreter& in) {
  words::TObjNode& node = created_part(in, pop_part_name(in));
  Part* part = parts_of(in).PartOf(node);
  QWidget* w = part ? part->Widget() : nullptr;
  if (!w) return;
  if (w->isWindow()) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect area = screen->geometry();
      w->move((area.width() - w->width()) / 2, (area.height() - w->height()) / 2);
    }
    return;
  }
  QWidget* parent = w->parentWidget();
  if (!parent) return;
  w->move((parent->width() - w->width()) / 2, (parent->height() - w->height()) / 2);
}

void set_stay_on_top(QWidget& window, bool on) {
  bool visible = window.isVisible();
  window.setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) window.show();
}

void bring_to_front(engine::Interpreter& in) {
  words::TObjNode& node = created_part(in, pop_part_name(in));
  Part* part = parts_of(in).PartOf(node);
  QWidget* w = part ? part->Widget() : nullptr;
  if (!w) return;
  if (node.Kind == kForm)
    set_stay_on_top(*w, true);
  else
    w->raise();
}

void send_to_back(engine::Interpreter& in) {
  words::TObjNode& node = created_part(in, pop_part_name(in));
  Part* part = parts_of(in).PartOf(node);
  QWidget* w = part ? part->Widget() : nullptr;
  if (!w) return;
  if (node.Kind == kForm) set_stay_on_top(*w, false);
  w->lower();
  // The picture stays behind everything placed on the window.
  if (node.Kind != kForm && w->parentWidget() == &front_end(in).Window().Client())
    front_end(in).Window().Img().lower();
}

// ---- forms ----------------------------------------------------------------------------------

FormPart& window_state_target(engine::Interpreter& in) {
  std::string name = pop_part_name(in);
  words::TObjNode& node = created_part(in, name);
  auto* form = dynamic_cast<FormPart*>(parts_of(in).PartOf(node));
  if (!form || !form->Widget())
    throw in.Error(text::sjis("部品\"") + name + text::sjis("\"は、\"フォーム\"ではありません。"));
  return *form;
}

void maximise(engine::Interpreter& in) {
  window_state_target(in).Widget()->showMaximized();
}

void minimise(engine::Interpreter& in) {
  window_state_target(in).Widget()->showMinimized();
}

void restore(engine::Interpreter& in) {
  window_state_target(in).Widget()->showNormal();
}

void show_form(engine::Interpreter& in) {
  FormPart& form = form_argument(in, pop_part_name(in));
  form.Widget()->show();
  if (!front_end(in).Console()) form.Widget()->raise();
}

void close_form(engine::Interpreter& in) {
  form_argument(in, pop_part_name(in)).Widget()->close();
}

// Goes on after ダイアログ表示 once the script is idle (the form may be closed by the script's
// own event code, which must finish first) and the form's closing is over: the script may show
// the same form again at once, which a closing still under way would hide.
void resume_when_idle(engine::Interpreter* in, FrontEnd* front,
                      std::shared_ptr<engine::Interpreter::Suspension> s, int delay_ms) {
  QTimer::singleShot(delay_ms, &front->Window(), [in, front, s] {
    if (in->IsRunning()) {
      resume_when_idle(in, front, s, 10);
      return;
    }
    front->ResumeStarted();
    in->Resume(std::move(*s));
  });
}

void show_as_dialog(engine::Interpreter& in) {
  std::string name = pop_part_name(in);
  FormPart& form = form_argument(in, name);
  QWidget* window = form.Widget();
  FrontEnd* front = &front_end(in);
  MainWindow& main = front->Window();
  auto suspension = std::make_shared<engine::Interpreter::Suspension>(in.Suspend());
  engine::Interpreter* run = &in;
  PartRegistry* parts = &parts_of(in);
  int number = static_cast<int>(window->property("morivelNumber").toInt());
  form.SetDialogClose([run, front, parts, number, suspension, window, &main] {
    main.setEnabled(true);
    front->DialogClosed(*window);
    parts->Fire(number, kSlotClose);
    resume_when_idle(run, front, suspension, 0);
  });
  front->DialogOpened(*window);
  set_stay_on_top(*window, true);
  main.setEnabled(false);
  window->setEnabled(true);
  window->show();
  if (!front->Console()) window->raise();
}

// ---- the main window ------------------------------------------------------------------------

void float_main(engine::Interpreter& in) {
  front_end(in).Window().show();
}

void maximise_main(engine::Interpreter& in) {
  front_end(in).Window().showMaximized();
}

void minimise_main(engine::Interpreter& in) {
  MainWindow& w = front_end(in).Window();
  w.showMinimized();
}

void restore_main(engine::Interpreter& in) {
  MainWindow& w = front_end(in).Window();
  QApplication::restoreOverrideCursor();
  w.setWindowFlags(w.windowFlags() & ~(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
  w.showNormal();
}

void full_screen_main(engine::Interpreter& in) {
  MainWindow& w = front_end(in).Window();
  w.setWindowFlags(w.windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  if (QScreen* screen = QGuiApplication::primaryScreen()) w.setGeometry(screen->geometry());
  w.showMaximized();
}

void main_border_style(engine::Interpreter& in) {
  std::string style = in.PopArgumentValue();
  PartRegistry& parts = parts_of(in);
  words::THashNode* word = in.FindWord(text::sjis("母艦"));
  if (!word) return;
  parts.WriteEvaluated(in, *word, text::sjis("スタイル"), style);
}

// The notification-area icon, kept for the run; a platform without one keeps it hidden. It
// follows the main window's icon (母艦アイコン).
struct TrayIcon : QObject, words::OwnedObject {
  explicit TrayIcon(MainWindow& main) : main_(main) { main.installEventFilter(this); }
  ~TrayIcon() override { main_.removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &main_ && event->type() == QEvent::WindowIconChange)
      icon.setIcon(main_.windowIcon());
    return false;
  }
  QSystemTrayIcon icon;

 private:
  MainWindow& main_;
};

QSystemTrayIcon& tray_of(engine::Interpreter& in) {
  for (auto& owned : in.State().OwnedObjects)
    if (auto* tray = dynamic_cast<TrayIcon*>(owned.get())) return tray->icon;
  auto tray = std::make_unique<TrayIcon>(front_end(in).Window());
  QSystemTrayIcon& icon = tray->icon;
  PartRegistry* parts = &parts_of(in);
  engine::Host* host = &in.GetHost();
  MainWindow* main = &front_end(in).Window();
  QObject::connect(&icon, &QSystemTrayIcon::activated,
                   [parts, host, main](QSystemTrayIcon::ActivationReason reason) {
                     main->raise();
                     main->activateWindow();
                     if (reason == QSystemTrayIcon::Trigger) {
                       parts->Fire(0, kSlotClick);
                       return;
                     }
                     if (reason != QSystemTrayIcon::Context) return;
                     if (main->contextMenuPolicy() == Qt::CustomContextMenu) {
                       emit main->customContextMenuRequested(main->mapFromGlobal(QCursor::pos()));
                       return;
                     }
                     std::string yes = text::sjis("はい"), no = text::sjis("いいえ");
                     if (host->ChooseButton(text::sjis("終了しますか？"), yes + "\r\n" + no) == yes)
                       main->close();
                   });
  in.State().OwnedObjects.push_back(std::move(tray));
  return icon;
}

void tray_icon(engine::Interpreter& in) {
  bool show = in.PopArgumentNumber() != 0;
  QSystemTrayIcon& icon = tray_of(in);
  if (!show) {
    icon.hide();
    return;
  }
  icon.setIcon(front_end(in).Window().windowIcon().isNull() ? QApplication::windowIcon()
                                                            : front_end(in).Window().windowIcon());
  icon.setToolTip(front_end(in).Window().windowTitle().left(63));
  if (QSystemTrayIcon::isSystemTrayAvailable()) icon.show();
}

void show_cursor(engine::Interpreter& in) {
  bool show = in.PopArgumentNumber() != 0;
  if (show) {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  } else {
    QApplication::setOverrideCursor(Qt::BlankCursor);
  }
  front_end(in).Window().setAttribute(Qt::WA_InputMethodEnabled, show);
}

// ---- menus ----------------------------------------------------------------------------------

std::string menu_caption(const std::string& name, const words::TObjNode* parent) {
  static const std::string kMenu = text::sjis("メニュー");
  std::string caption = name;
  if (text::ends_with_chars(name, kMenu)) {
    caption = name.substr(0, name.size() - kMenu.size());
    if (caption.empty()) caption = kMenu;
  }
  if (parent && text::ends_with_chars(parent->Name, kMenu)) {
    std::string prefix = parent->Name.substr(0, parent->Name.size() - kMenu.size()) + "_";
    if (caption.size() > prefix.size() && caption.compare(0, prefix.size(), prefix) == 0)
      caption = caption.substr(prefix.size());
  }
  return caption;
}

// Checks the item's name against the words and frees it from a variable of that name.
void claim_menu_name(engine::Interpreter& in, const std::string& name) {
  words::THashNode* word = in.FindWord(name);
  if (!word) return;
  if (word->Reserved) throw in.Error("\"" + name + text::sjis("\"は、読取専用です。"));
  if (word->Kind != words::kVariable)
    throw in.Error(text::sjis("部品\"") + name +
                   text::sjis("\"は、既に存在するので、作成できません。"));
  in.State().Words.Delete(name);
}

void add_menu_item(engine::Interpreter& in, std::string name, words::TObjNode* parent) {
  PartRegistry& parts = parts_of(in);
  MainWindow& main = front_end(in).Window();
  int number = static_cast<int>(in.State().Parts.Count());
  std::string caption = menu_caption(name, parent);
  if (caption == "-") name = "split" + std::to_string(number) + text::sjis("メニュー");
  claim_menu_name(in, name);

  QAction* action = nullptr;
  if (!parent) {
    action = main.Menus()->addAction(to_qstring(caption));
  } else if (auto* popup = dynamic_cast<PopupPart*>(parts.PartOf(*parent))) {
    action = caption == "-" ? popup->Menu()->addSeparator()
                            : popup->Menu()->addAction(to_qstring(caption));
  } else if (auto* item = dynamic_cast<MenuPart*>(parts.PartOf(*parent))) {
    QMenu* menu = item->Submenu();
    if (!menu)
      throw in.Error(text::sjis("部品\"") + parent->Name +
                     text::sjis("\"は、作成されていません。"));
    action = caption == "-" ? menu->addSeparator() : menu->addAction(to_qstring(caption));
  }
  if (!action) return;
  action->setVisible(true);
  QObject::connect(action, &QAction::triggered,
                   [&parts, number] { parts.Fire(number, kSlotClick); });
  parts.Register(in, name, std::make_unique<MenuPart>(action), text::sjis("メニュー"));
  if (!parent) parts.SetLastTopMenu(number);
}

void create_menu(engine::Interpreter& in) {
  add_menu_item(in, pop_part_name(in), nullptr);
}

void add_menu(engine::Interpreter& in) {
  std::string name = pop_part_name(in);
  bool omitted = in.ImplicitSore();
  std::string parent_name = pop_part_name(in);
  PartRegistry& parts = parts_of(in);
  words::TObjNode* parent = nullptr;
  if (omitted) {
    parent = parts.Node(parts.LastTopMenu());
    if (!parent || parent->Kind != kMenu)
      throw in.Error(text::sjis("部品\"") + name + text::sjis("\"は、作成されていません。"));
  } else {
    parent = parts.FindByName(in, parent_name);
    if (!parent)
      throw in.Error(text::sjis("部品\"") + parent_name + text::sjis("\"は、作成されていません。"));
    if (parent->Kind != kMenu && parent->Kind != kPopup)
      throw in.Error(text::sjis("部品\"") + parent_name +
                     text::sjis("\"は、\"メニュー\"ではありません。"));
  }
  add_menu_item(in, name, parent);
}

// ---- 設定 and 得る ---------------------------------------------------------------------------

void set_property(engine::Interpreter& in) {
  std::string value = PartRegistry::PropertyValue(in, in.PopArgumentText());
  std::string property = text::trim(in.PopArgumentValue());
  std::string name = pop_part_name(in);
  PartRegistry& parts = parts_of(in);
  words::THashNode* word = parts.FindWord(in, name);
  if (!word) throw in.Error(text::sjis("部品\"") + name + text::sjis("\"は、作成されていません。"));
  parts.WriteEvaluated(in, *word, property, value);
}

void get_property(engine::Interpreter& in) {
  words::THashNode* target = in.PopArgumentVariable(true);
  std::string property = text::trim(in.PopArgumentValue());
  std::string name = pop_part_name(in);
  words::THashNode* word = in.FindWord(name);
  if (!word) throw in.Error(text::sjis("単語\"") + name + text::sjis("\"は、定義されていません。"));
  if (word->Kind != words::kPart)
    throw in.Error("\"" + name + text::sjis("\"は、部品ではありません。"));
  if (target->Reserved) throw in.Error("\"" + target->Name + text::sjis("\"は、読取専用です。"));
  expr::Value value = parts_of(in).ReadProperty(in, *word, property);
  target->SetValue(value.text);
  target->TypeMark = value.type_mark;
}

}  // namespace

void register_part_commands(commands::HandlerTable& table) {
  table.Set(7, create);
  table.Set(428, make_by_name);
  table.Set(25, destroy);
  table.Set(28, destroy_all);
  table.Set(529, find_part);
  table.Set(141, mirror_word);
  table.Set(26, focus);
  table.Set(401, place_on);
  table.Set(242, centre);
  table.Set(181, bring_to_front);
  table.Set(182, send_to_back);
  table.Set(406, maximise);
  table.Set(407, minimise);
  table.Set(408, restore);
  table.Set(547, show_form);
  table.Set(542, close_form);
  table.Set(528, show_as_dialog);
  table.Set(352, float_main);
  table.Set(306, maximise_main);
  table.Set(307, minimise_main);
  table.Set(308, restore_main);
  table.Set(328, full_screen_main);
  table.Set(381, main_border_style);
  table.Set(396, tray_icon);
  table.Set(348, show_cursor);
  table.Set(261, create_menu);
  table.Set(262, add_menu);
  table.Set(8, set_property);
  table.Set(9, get_property);
}

}  // namespace morivel::gui
