// The parts of a run: records and words, lookup, creation and deferred destruction.
#include "gui/part_registry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QScreen>

#include <array>

#include "engine/interpreter.h"
#include "gui/canvas.h"
#include "gui/coordinates.h"
#include "gui/drawing.h"
#include "gui/fonts.h"
#include "gui/front_end.h"
#include "gui/kinds/form_part.h"
#include "gui/main_window.h"
#include "gui/part_events.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::gui {

namespace {

constexpr std::array<const char*, kKindCount> kKindNames = {
    "ボタン",     "エディタ",   "イメージ", "バー",           "コンボ",       "リスト",
    "メモ",       "フォーム",   "グリッド", "ラベル",         "チェック",     "トラック",
    "アニメ",     "メニュー",   "ブラウザ", "パネル",         "Tエディタ",    "ラジオ",
    "スクロール", "タブページ", "ツリー",   "リッチエディタ", "スプリッター", "ポップアップ"};

// The caption rule: a name ending in the kind name loses it (OKボタン is captioned OK).
std::string caption_of(const std::string& name, const std::string& kind_name) {
  if (!text::ends_with_chars(name, kind_name)) return name;
  std::string caption = name.substr(0, name.size() - kind_name.size());
  return caption.empty() ? kind_name : caption;
}

}  // namespace

bool written_as_literal(const std::string& raw) {
  return !raw.empty() && (raw[0] == '"' || raw[0] == '`' || raw.starts_with("@@"));
}

std::string pop_part_name(engine::Interpreter& in) {
  std::string raw = text::trim(in.PopArgumentText());
  return written_as_literal(raw) ? in.EvalArgument(raw) : raw;
}

std::string pop_picture_name(engine::Interpreter& in) {
  std::string raw = text::trim(in.PopArgumentText());
  if (!written_as_literal(raw))
    if (words::THashNode* word = in.FindWord(raw); word && word->Kind == words::kPart) return raw;
  return text::trim(in.EvalArgument(raw));
}

words::THashNode* system_word(engine::Interpreter& in, const char* utf8_name) {
  return in.FindWord(text::sjis(utf8_name));
}

std::string system_text(engine::Interpreter& in, const char* utf8_name) {
  words::THashNode* word = system_word(in, utf8_name);
  return word ? word->GetValue() : std::string();
}

PartRegistry::PartRegistry(FrontEnd& front)
    : front_(front),
      filter_(std::make_unique<PartEventFilter>(*this)),
      key_preview_(std::make_unique<KeyPreview>(*this)) {
  MainWindow& window = front.Window();
  main_part_ = std::make_unique<FormPart>(window, window.Client(), window.Img(), /*main=*/true);
  release_timer_.setSingleShot(true);
  release_timer_.setInterval(1);
  QObject::connect(&release_timer_, &QTimer::timeout, [this] { ReleaseDeferred(); });
  WatchEvents(*main_part_, 0);
}

PartRegistry::~PartRegistry() {
  // Parts waiting for release let their controls go while this registry, which their signals
  // report to, still exists.
  deferred_.clear();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const std::string& PartRegistry::KindName(int kind) {
  static const std::array<std::string, kKindCount> names = [] {
    std::array<std::string, kKindCount> n;
    for (std::size_t i = 0; i < n.size(); ++i) n[i] = text::sjis(kKindNames[i]);
    return n;
  }();
  static const std::string none;
  return kind >= 0 && kind < kKindCount ? names[static_cast<std::size_t>(kind)] : none;
}

int PartRegistry::KindIndex(const std::string& sjis_kind_name) {
  for (int i = 0; i < kKindCount; ++i)
    if (KindName(i) == sjis_kind_name) return i;
  return -1;
}

// ---- records and lookup ---------------------------------------------------------------------

words::TObjNode* PartRegistry::Node(int number) {
  engine::Interpreter* in = front_.Interpreter();
  if (!in || number < 0) return nullptr;
  return in->State().Parts.Get(static_cast<std::size_t>(number));
}

Part* PartRegistry::PartOf(const words::TObjNode& node) {
  if (node.Number == 0) return main_part_.get();
  return dynamic_cast<Part*>(node.Control.get());
}

Part* PartRegistry::PartOf(int number) {
  words::TObjNode* node = Node(number);
  return node ? PartOf(*node) : nullptr;
}

words::THashNode* PartRegistry::FindWord(engine::Interpreter& in, const std::string& name) {
  words::THashNode* word = in.FindWord(name);
  if (!word && written_as_literal(name)) word = in.FindWord(in.EvalArgument(name));
  return word && word->Kind == words::kPart ? word : nullptr;
}

words::TObjNode* PartRegistry::FindByName(engine::Interpreter& in, const std::string& name) {
  words::TObjList& list = in.State().Parts;
  if (words::TObjNode* node = list.FindByName(name)) return node;
  std::string expanded = in.EvalArgument(name);
  return expanded == name ? nullptr : list.FindByName(expanded);
}

words::TObjNode* PartRegistry::NodeOfWord(const words::THashNode& word) {
  if (word.Kind != words::kPart) return nullptr;
  return Node(word.Tag);
}

void PartRegistry::MirrorSo(engine::Interpreter& in, const words::THashNode& word) {
  words::THashNode* so = in.State().Sys.So;
  if (so && so != &word) so->Assign(word);
}

// ---- creation -------------------------------------------------------------------------------

namespace {

QPoint creation_position(engine::Interpreter& in, const std::string& name,
                         const std::string& position, bool given) {
  const words::DrawingState& d = settled_drawing(in);
  if (!given) return QPoint(d.X, d.Y);
  try {
    return parse_point(in, position);
  } catch (const engine::EMorv& e) {
    static const std::string kCountError = text::sjis("座標の指定エラー");
    if (std::string(e.what()).find(kCountError) != std::string::npos) throw;
    throw in.Error(text::sjis("部品\"") + name +
                   text::sjis("\"は、未定義なので、作成できません。座標指定に誤りがあります。\"") +
                   position + "\"");
  }
}

int placement_gap(engine::Interpreter& in) {
  return static_cast<int>(number_of(system_text(in, "部品配置間隔"), 8));
}

void centre_on_screen(QWidget& window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect area = screen->geometry();
  window.move((area.width() - window.width()) / 2, (area.height() - window.height()) / 2);
}

}  // namespace

void PartRegistry::Create(engine::Interpreter& in, const std::string& kind_name,
                          const std::string& raw_name, const std::string& position,
                          bool position_given) {
  std::string name = written_as_literal(raw_name) ? in.EvalArgument(raw_name) : raw_name;
  if (in.FindWord(name))
    throw in.Error(text::sjis("部品\"") + name +
                   text::sjis("\"は、既に存在するので、作成できません。"));
  QPoint at = creation_position(in, name, position, position_given);
  int kind = KindIndex(kind_name);
  auto undefined = [&] {
    return in.Error(text::sjis("部品\"") + name +
                    text::sjis("\"は、未定義なので、作成できません。"));
  };
  if (kind < 0 || kind == kMenu) throw undefined();

  MainWindow& window = front_.Window();
  int number = static_cast<int>(in.State().Parts.Count());
  PartSetup setup{front_,
                  *this,
                  &window.Client(),
                  to_qstring(caption_of(name, kind_name)),
                  settings_font(in),
                  settings_font_colour(in),
                  number};
  std::unique_ptr<Part> part = make_part(kind, setup);
  if (!part) throw undefined();

  if (QWidget* widget = part->Widget()) {
    if (kind == kForm) {
      centre_on_screen(*widget);
      widget->show();
    } else if (kind != kPopup) {
      words::DrawingState& d = settled_drawing(in);
      int x = d.Centering ? (window.Client().width() - widget->width()) / 2 : at.x();
      if (kind == kButton) {
        QFontMetrics metrics(window.font());
        int wanted = metrics.horizontalAdvance(QLatin1Char('W')) *
                     static_cast<int>(from_qstring(setup.caption).size());
        if (widget->width() < wanted) widget->resize(wanted, widget->height());
      }
      widget->move(x, at.y());
      widget->show();
      d.Y = at.y() + widget->height() + placement_gap(in);
    }
  }
  Register(in, name, std::move(part), kind_name);
}

int PartRegistry::Register(engine::Interpreter& in, const std::string& name,
                           std::unique_ptr<Part> part, const std::string& marker) {
  words::TMorvBase& s = in.State();
  int number = static_cast<int>(s.Parts.Count());
  int kind = part->Kind();
  if (QWidget* widget = part->Widget()) widget->setProperty("morivelNumber", number);
  Part& watched = *part;
  s.Parts.Add(std::make_unique<words::TObjNode>(name, std::move(part), number, kind));
  auto word = std::make_unique<words::THashNode>(name, false, nullptr, words::kPart, number, marker,
                                                 "", "");
  words::THashNode& added = *word;
  try {
    s.Words.Add(std::move(word));
  } catch (const GeneralError& e) {
    throw in.Error(e.what());
  }
  MirrorSo(in, added);
  WatchEvents(watched, number);
  return number;
}

// ---- destruction ----------------------------------------------------------------------------

void PartRegistry::Deactivate(engine::Interpreter& in, words::TObjNode& node) {
  Part* part = PartOf(node);
  if (!part)
    throw in.Error(text::sjis("オブジェクト（部品）の破壊で、部品\"") + node.Name +
                   text::sjis("\"が特定できません。"));
  part->Deactivate();
  if (QWidget* widget = part->Widget()) widget->hide();
}

void PartRegistry::Destroy(engine::Interpreter& in, const std::string& name) {
  words::THashNode* word = FindWord(in, name);
  if (!word) throw in.Error(text::sjis("部品\"") + name + text::sjis("\"が特定できません。"));
  std::string word_name = word->Name;
  words::TObjNode* node = NodeOfWord(*word);
  if (node && node->Number == 0) return;
  if (node) {
    Deactivate(in, *node);
    node->Name.clear();
    deferred_.push_back(in.State().Parts.Take(static_cast<std::size_t>(node->Number)));
    release_timer_.start();
  }
  in.State().Words.Delete(word_name);
}

void PartRegistry::DestroyAll(engine::Interpreter& in) {
  words::TMorvBase& s = in.State();
  for (std::size_t i = 1; i < s.Parts.Count(); ++i) {
    words::TObjNode* node = s.Parts.Get(i);
    if (!node) continue;
    std::string name = node->Name;
    if (node->Control) {
      Deactivate(in, *node);
      node->Name.clear();
      deferred_.push_back(s.Parts.Take(i));
      release_timer_.start();
    }
    if (words::THashNode* word = in.FindWord(name); word && word->Kind == words::kPart)
      s.Words.Delete(name);
  }
}

void PartRegistry::ReleaseDeferred() {
  // Released outside any event of the parts themselves: a part may have asked for its own end.
  std::vector<std::unique_ptr<words::TObjNode>> released = std::move(deferred_);
  deferred_.clear();
  released.clear();
}

}  // namespace morivel::gui
