// Commands on other programs' windows, the mouse and the keyboard, through the X11 desktop. Without
// a display the searches find nothing and the commands that must act say why they cannot.
#include <unistd.h>

#include <functional>

#include "automation/families.h"
#include "automation/key_strings.h"
#include "automation/x11_desktop.h"
#include "commands/coordinates.h"
#include "engine/host.h"
#include "engine/interpreter.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "text/wildcard.h"

namespace morivel::automation {
namespace {

using engine::Interpreter;

constexpr double kActivationStepSeconds = 0.01;

engine::EMorv no_display(Interpreter& in) {
  return in.Error("\"" + in.CurrentCommandName() +
                  text::sjis("\"命令には、X11の画面(DISPLAY)が必要です。"));
}

X11Desktop& desktop_or_fail(Interpreter& in, std::unique_ptr<X11Desktop>& desktop) {
  desktop = X11Desktop::Open();
  if (!desktop) throw no_display(in);
  return *desktop;
}

void set_number(Interpreter& in, unsigned long long n) {
  in.SetResult(std::to_string(n), "e");
}

WindowId pop_handle(Interpreter& in) {
  long double n = in.PopArgumentNumber();
  return n > 0 ? static_cast<WindowId>(n) : 0;
}

std::pair<int, int> pop_point(Interpreter& in) {
  std::vector<long long> values = commands::CoordinateValues(in, in.PopArgumentText());
  if (values.size() != 2) throw in.Error(text::sjis("座標の指定エラー"));
  return {static_cast<int>(values[0]), static_cast<int>(values[1])};
}

std::string title_of(X11Desktop& desktop, WindowId w) {
  return text::from_utf8(desktop.Title(w));
}

// Exact title first, then a title that begins with the text or matches it as a wildcard pattern.
WindowId find_by_title(X11Desktop& desktop, const std::string& title) {
  std::vector<WindowId> windows = desktop.TopLevels();
  for (WindowId w : windows)
    if (title_of(desktop, w) == title) return w;
  for (WindowId w : windows) {
    std::string t = title_of(desktop, w);
    if (t.compare(0, title.size(), title) == 0 || text::wildcard_match_whole(t, title)) return w;
  }
  return 0;
}

std::function<void()> keep_events_running(Interpreter& in) {
  return [&in] { in.GetHost().Wait(kActivationStepSeconds); };
}

// Brings the window named by the title to the front; 0 when there is none.
WindowId activate_by_title(Interpreter& in, X11Desktop& desktop, const std::string& title) {
  WindowId w = find_by_title(desktop, title);
  if (w) desktop.Activate(w, keep_events_running(in));
  return w;
}

void activate(Interpreter& in) {
  std::string title = in.PopArgumentValue();
  std::unique_ptr<X11Desktop> desktop;
  activate_by_title(in, desktop_or_fail(in, desktop), title);
}

void send_keys(Interpreter& in) {
  std::string keys = in.PopArgumentValue();
  std::string title = in.PopArgumentValue();
  bool to_foreground = in.ImplicitSore();
  std::unique_ptr<X11Desktop> desktop;
  X11Desktop& d = desktop_or_fail(in, desktop);
  if (!to_foreground && !activate_by_title(in, d, title)) return;
  d.Type(ParseKeyString(keys));
}

void list_window_titles(Interpreter& in) {
  std::string out;
  if (auto desktop = X11Desktop::Open())
    for (WindowId w : desktop->TopLevels()) {
      std::string title = title_of(*desktop, w);
      if (!title.empty()) out += title + "\r\n";
    }
  in.SetResult(out, "s");
}

const std::string& desktop_word() {
  static const std::string word = text::sjis("デスクトップ");
  return word;
}

WindowId find_among(X11Desktop& desktop, const std::vector<WindowId>& windows,
                    const std::string& text) {
  std::string cls, title = text;
  bool both = false;
  if (std::size_t br = text.find_first_of("\r\n"); br != std::string::npos) {
    cls = text::trim(text.substr(0, br));
    title = text::trim(text.substr(text.find_first_not_of("\r\n", br) == std::string::npos
                                       ? text.size()
                                       : text.find_first_not_of("\r\n", br)));
    both = true;
  }
  for (WindowId w : windows) {
    std::string t = title_of(desktop, w), c = text::from_utf8(desktop.ClassName(w));
    if (both ? (c == cls && t == title) : t == title) return w;
  }
  if (!both)
    for (WindowId w : windows)
      if (text::from_utf8(desktop.ClassName(w)) == title) return w;
  return 0;
}

void find_window(Interpreter& in) {
  std::string text = in.PopArgumentValue();
  auto desktop = X11Desktop::Open();
  if (!desktop) return set_number(in, 0);
  if (text::trim(text) == desktop_word()) return set_number(in, desktop->Root());
  set_number(in, find_among(*desktop, desktop->TopLevels(), text));
}

void find_child_window(Interpreter& in) {
  std::string text = in.PopArgumentValue();
  WindowId parent = pop_handle(in);
  auto desktop = X11Desktop::Open();
  if (!desktop || !desktop->Exists(parent)) return set_number(in, 0);
  set_number(in, find_among(*desktop, desktop->Descendants(parent), text));
}

void list_handles(Interpreter& in) {
  std::string out;
  if (auto desktop = X11Desktop::Open())
    for (WindowId w : desktop->TopLevels())
      out += std::to_string(w) + "," + text::from_utf8(desktop->ClassName(w)) + "," +
             title_of(*desktop, w) + "," + text::sjis(desktop->IsShown(w) ? "可視" : "不可視") +
             "\r\n";
  in.SetResult(out, "s");
}

void list_child_handles(Interpreter& in) {
  WindowId parent = pop_handle(in);
  std::string out;
  auto desktop = X11Desktop::Open();
  if (desktop && desktop->Exists(parent))
    // X windows carry no control id; 0 stands for none.
    for (WindowId w : desktop->Descendants(parent))
      out += std::to_string(w) + "," + text::from_utf8(desktop->ClassName(w)) + "," +
             title_of(*desktop, w) + ",0\r\n";
  in.SetResult(out, "s");
}

void parent_handle(Interpreter& in) {
  WindowId w = pop_handle(in);
  auto desktop = X11Desktop::Open();
  if (!desktop || !desktop->Exists(w)) return set_number(in, 0);
  // A top-level window has no parent of its own; the window manager's frame does not count.
  WindowId parent = desktop->TopLevelOf(w) == w ? 0 : desktop->Parent(w);
  set_number(in, parent == desktop->Root() ? 0 : parent);
}

void get_text(Interpreter& in) {
  WindowId w = pop_handle(in);
  auto desktop = X11Desktop::Open();
  in.SetResult(desktop && desktop->Exists(w) ? title_of(*desktop, w) : std::string(), "s");
}

void set_text(Interpreter& in) {
  std::string value = in.PopArgumentValue();
  WindowId w = pop_handle(in);
  std::unique_ptr<X11Desktop> desktop;
  X11Desktop& d = desktop_or_fail(in, desktop);
  if (d.Exists(w)) d.SetTitle(w, text::to_utf8(value));
}

// A real click of the left button at a screen point; the pointer goes back where it was.
void click_at(X11Desktop& desktop, int x, int y) {
  auto [old_x, old_y] = desktop.PointerPosition();
  desktop.MovePointer(x, y);
  desktop.Click();
  desktop.MovePointer(old_x, old_y);
}

void click_handle(Interpreter& in) {
  WindowId w = pop_handle(in);
  std::unique_ptr<X11Desktop> desktop;
  X11Desktop& d = desktop_or_fail(in, desktop);
  if (!d.Exists(w)) return;
  Rect r = d.Geometry(w);
  click_at(d, r.left, r.top);
}

std::string rect_text(const Rect& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
         std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

void get_size(Interpreter& in) {
  WindowId w = pop_handle(in);
  auto desktop = X11Desktop::Open();
  Rect r;
  if (desktop && desktop->Exists(w)) r = desktop->Geometry(w);
  in.SetResult(rect_text(r), "s");
}

void set_size(Interpreter& in) {
  std::vector<long long> v = commands::CoordinateValues(in, in.PopArgumentText());
  WindowId w = pop_handle(in);
  if (v.size() > 4) throw in.Error(text::sjis("座標の指定エラー"));
  v.resize(4, 0);
  std::unique_ptr<X11Desktop> desktop;
  X11Desktop& d = desktop_or_fail(in, desktop);
  if (!d.Exists(w)) return;
  int left = static_cast<int>(v[0]), top = static_cast<int>(v[1]);
  if (v[2] == 0 && v[3] == 0) return d.MoveResize(w, left, top, std::nullopt);
  d.MoveResize(
      w, left, top,
      std::make_pair(static_cast<int>(v[2] - v[0] + 1), static_cast<int>(v[3] - v[1] + 1)));
}

void window_at(Interpreter& in) {
  auto [x, y] = pop_point(in);
  auto desktop = X11Desktop::Open();
  set_number(in, desktop ? desktop->TopLevelAt(x, y) : 0);
}

void deepest_window_at(Interpreter& in) {
  auto [x, y] = pop_point(in);
  auto desktop = X11Desktop::Open();
  set_number(in, desktop ? desktop->DeepestAt(x, y) : 0);
}

void click_point(Interpreter& in) {
  auto [x, y] = pop_point(in);
  std::unique_ptr<X11Desktop> desktop;
  X11Desktop& d = desktop_or_fail(in, desktop);
  WindowId w = d.DeepestAt(x, y);
  click_at(d, x, y);
  set_number(in, w);
}

void set_text_at(Interpreter& in) {
  std::string value = in.PopArgumentValue();
  auto [x, y] = pop_point(in);
  std::unique_ptr<X11Desktop> desktop;
  X11Desktop& d = desktop_or_fail(in, desktop);
  WindowId w = d.DeepestAt(x, y);
  d.SetTitle(w, text::to_utf8(value));
  set_number(in, w);
}

// X windows have no list-box protocol that another program could drive.
void set_list_index_at(Interpreter& in) {
  in.PopArgumentValue();
  pop_point(in);
  throw in.Error("\"" + in.CurrentCommandName() +
                 text::sjis("\"命令は、X11のウインドウには使えません。"));
}

void move_mouse(Interpreter& in) {
  auto [x, y] = pop_point(in);
  std::unique_ptr<X11Desktop> desktop;
  desktop_or_fail(in, desktop).MovePointer(x, y);
}

void click_mouse(Interpreter& in) {
  std::unique_ptr<X11Desktop> desktop;
  desktop_or_fail(in, desktop).Click();
}

void mouse_position(Interpreter& in) {
  auto desktop = X11Desktop::Open();
  auto [x, y] = desktop ? desktop->PointerPosition() : std::pair<int, int>{0, 0};
  in.SetResult(std::to_string(x) + "," + std::to_string(y), "s");
}

}  // namespace

void RegisterWindowCommands(commands::HandlerTable& table) {
  table.Set(44, activate);
  table.Set(45, send_keys);
  table.Set(183, list_window_titles);
  table.Set(548, find_window);
  table.Set(549, find_child_window);
  table.Set(553, list_handles);
  table.Set(552, list_child_handles);
  table.Set(563, parent_handle);
  table.Set(554, get_text);
  table.Set(555, set_text);
  table.Set(556, click_handle);
  table.Set(560, get_size);
  table.Set(561, set_size);
  table.Set(550, window_at);
  table.Set(551, deepest_window_at);
  table.Set(564, click_point);
  table.Set(565, set_text_at);
  table.Set(566, set_list_index_at);
  table.Set(557, move_mouse);
  table.Set(558, click_mouse);
  table.Set(559, mouse_position);
}

}  // namespace morivel::automation
