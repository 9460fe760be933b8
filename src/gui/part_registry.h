// The parts of a run: creation, lookup, destruction, properties and event firing.
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/parts.h"
#include "gui/part.h"

namespace morivel::gui {

class FrontEnd;
class PartEventFilter;
class KeyPreview;

// Modifier and button state of an input event, for 押された特殊キー.
struct InputState {
  bool shift = false, alt = false, ctrl = false;
  bool left = false, right = false, middle = false, double_click = false;
};

class PartRegistry : public engine::PartAccess {
 public:
  explicit PartRegistry(FrontEnd& front);
  ~PartRegistry() override;

  // ---- records and lookup ------------------------------------------------------------------
  // The widget side of a record; the main window's for number 0; nullptr for an empty slot.
  Part* PartOf(const words::TObjNode& node);
  Part* PartOf(int number);
  words::TObjNode* Node(int number);
  // The part's word: a kind-4 word by name, trying the expanded literal when written as one.
  // nullptr when there is none.
  words::THashNode* FindWord(engine::Interpreter& in, const std::string& name);
  // A part record by name in the part list (first match; then the expanded literal).
  words::TObjNode* FindByName(engine::Interpreter& in, const std::string& name);
  // The record a kind-4 word refers to, or nullptr.
  words::TObjNode* NodeOfWord(const words::THashNode& word);
  // Makes そ mirror the part's word.
  void MirrorSo(engine::Interpreter& in, const words::THashNode& word);
  // The top-level item メニュー作成 made last: メニュー追加 without a parent adds under it.
  int LastTopMenu() const { return last_top_menu_; }
  void SetLastTopMenu(int number) { last_top_menu_ = number; }
  // The main window's part (number 0).
  Part& MainPart() { return *main_part_; }

  // ---- creation and destruction -----------------------------------------------------------
  // 作成: the position text is empty when the argument was omitted.
  void Create(engine::Interpreter& in, const std::string& kind_name, const std::string& name,
              const std::string& position, bool position_given);
  // Adds a record and word for a control made elsewhere (menus); returns its number.
  int Register(engine::Interpreter& in, const std::string& name, std::unique_ptr<Part> part,
               const std::string& marker);
  void Destroy(engine::Interpreter& in, const std::string& name);
  void DestroyAll(engine::Interpreter& in);
  // Re-parents a part onto a container part (乗せる, アイテム of containers).
  void PlaceOn(engine::Interpreter& in, const std::string& part_name,
               words::TObjNode& container_node);
  // The names of the parts placed on a container, one a line; nullopt for other kinds.
  std::optional<expr::Value> ContainerItems(Part& part);

  // ---- properties (engine::PartAccess) ----------------------------------------------------
  expr::Value ReadProperty(engine::Interpreter& in, words::THashNode& part,
                           const std::string& property) override;
  void WriteProperty(engine::Interpreter& in, words::THashNode& part, const std::string& property,
                     const std::string& raw_value) override;
  expr::Value ReadMainValue(engine::Interpreter& in, words::THashNode& part) override;
  void WriteMainValue(engine::Interpreter& in, words::THashNode& part,
                      const std::string& value) override;
  // The value of a property assignment as written: a literal or expression is evaluated, a list
  // of values written out ("(10,20)") stays for the coordinate reader.
  static std::string PropertyValue(engine::Interpreter& in, const std::string& raw_value);
  // Writes an already evaluated value (設定, and the main value).
  void WriteEvaluated(engine::Interpreter& in, words::THashNode& word, const std::string& property,
                      const std::string& value);

  // ---- events ------------------------------------------------------------------------------
  // Binds program text or a label to a slot (the raw value as written).
  void Bind(engine::Interpreter& in, words::TObjNode& node, int slot, const std::string& raw);
  // Fires slot `slot` of part `number`: does nothing when unbound or the run has ended.
  void Fire(int number, int slot);
  // Runs slot 0 of the part at once (reading イベント).
  void FireMain(engine::Interpreter& in, words::TObjNode& node);
  bool IsBound(int number, int slot);
  // Files dropped on a part: イベントの値, then the bound slot or the kind's own response.
  void DeliverDrop(int number, const std::string& files);
  // The event variables.
  void SetMouse(int x, int y, const InputState& state);
  void SetKey(int virtual_key, const InputState& state);
  void SetEventValue(const std::string& value);
  // Watches the part's event widgets for mouse, key and drop events.
  void WatchEvents(Part& part, int number);

  // The property number of a name as written (okurigana variants allowed), or -1.
  static int PropertyIndex(const std::string& sjis_name);
  static const std::string& KindName(int kind);
  static int KindIndex(const std::string& sjis_kind_name);
  FrontEnd& Front() { return front_; }

 private:
  void ReleaseDeferred();
  void Deactivate(engine::Interpreter& in, words::TObjNode& node);
  std::optional<expr::Value> ReadCommon(PropertyCall& call);
  bool WriteCommon(PropertyCall& call, const std::string& value);
  bool WriteContainerItems(PropertyCall& call, const std::string& value);
  [[noreturn]] void UndefinedProperty(engine::Interpreter& in, const words::TObjNode& node,
                                      const std::string& property);

  FrontEnd& front_;
  std::unique_ptr<Part> main_part_;
  std::unique_ptr<PartEventFilter> filter_;
  std::unique_ptr<KeyPreview> key_preview_;
  std::vector<std::unique_ptr<words::TObjNode>> deferred_;
  QTimer release_timer_;
  int last_top_menu_ = -1;
};

// Whether a raw argument was written as a string literal (double quote or backquote).
bool written_as_literal(const std::string& raw);

// A part name argument: the name as written, a string literal expanded. A bare name is never
// evaluated, since a part's word evaluates to the part's text, not its name.
std::string pop_part_name(engine::Interpreter& in);
// An argument naming a picture: a part written bare is taken by name, anything else (a file
// name, クリップボード, a variable holding either) is evaluated.
std::string pop_picture_name(engine::Interpreter& in);

// A system word of the run by its (UTF-8 source) name, e.g. "部品配置間隔"; nullptr if missing.
words::THashNode* system_word(engine::Interpreter& in, const char* utf8_name);
std::string system_text(engine::Interpreter& in, const char* utf8_name);

}  // namespace morivel::gui
