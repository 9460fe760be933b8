// The X11 desktop as the window commands see it: top-level client windows (EWMH), their children,
// titles, classes, geometry, the pointer and the keyboard (XTest). Window ids are the handles.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/key_strings.h"

namespace morivel::automation {

using WindowId = unsigned long;

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom inclusive
};

class X11Desktop {
 public:
  // nullptr when no X display can be opened.
  static std::unique_ptr<X11Desktop> Open();
  ~X11Desktop();
  X11Desktop(const X11Desktop&) = delete;
  X11Desktop& operator=(const X11Desktop&) = delete;

  WindowId Root() const;
  // The managed top-level windows in stacking order, bottom first.
  std::vector<WindowId> TopLevels();
  // Every descendant, depth first.
  std::vector<WindowId> Descendants(WindowId parent);
  WindowId Parent(WindowId window);
  bool Exists(WindowId window);
  bool IsShown(WindowId window);

  // UTF-8 texts.
  std::string Title(WindowId window);
  void SetTitle(WindowId window, const std::string& utf8);
  std::string ClassName(WindowId window);

  Rect Geometry(WindowId window);  // in root coordinates
  void MoveResize(WindowId window, int x, int y, std::optional<std::pair<int, int>> size);

  // Asks the window manager to raise and focus the window, then waits until it is active.
  bool Activate(WindowId window, const std::function<void()>& between_checks);
  WindowId ActiveWindow();

  // The top-level client window at a point, and the deepest window there.
  WindowId TopLevelAt(int x, int y);
  WindowId DeepestAt(int x, int y);
  // The client window (one carrying WM_STATE) that holds `window`, or `window` itself.
  WindowId TopLevelOf(WindowId window);

  void MovePointer(int x, int y);
  std::pair<int, int> PointerPosition();
  void Click();  // the left button where the pointer is
  void Type(const std::vector<KeyStroke>& strokes);

 private:
  struct Connection;
  explicit X11Desktop(std::unique_ptr<Connection> connection);
  std::unique_ptr<Connection> x_;
};

}  // namespace morivel::automation
