#include "automation/x11_desktop.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <map>

namespace morivel::automation {

namespace {

constexpr int kActivationChecks = 512;
constexpr useconds_t kMappingSettleMicros = 100'000;
constexpr useconds_t kClickMicros = 50'000;
constexpr int kPointerChecks = 300;
constexpr useconds_t kPointerCheckMicros = 10'000;
constexpr long kSourcePager = 2;
constexpr long kStaticGravity = 10;

template <class T>
struct XDeleter {
  void operator()(T* p) const {
    if (p) XFree(p);
  }
};
template <class T>
using XPtr = std::unique_ptr<T, XDeleter<T>>;

}  // namespace

struct X11Desktop::Connection {
  Display* dpy = nullptr;
  Window root = 0;
  Atom net_client_list = 0, net_client_list_stacking = 0, net_wm_name = 0, utf8_string = 0,
       net_active_window = 0, net_moveresize_window = 0, wm_state = 0;

  explicit Connection(Display* display) : dpy(display), root(DefaultRootWindow(display)) {
    net_client_list = Intern("_NET_CLIENT_LIST");
    net_client_list_stacking = Intern("_NET_CLIENT_LIST_STACKING");
    net_wm_name = Intern("_NET_WM_NAME");
    utf8_string = Intern("UTF8_STRING");
    net_active_window = Intern("_NET_ACTIVE_WINDOW");
    net_moveresize_window = Intern("_NET_MOVERESIZE_WINDOW");
    wm_state = Intern("WM_STATE");
  }
  ~Connection() { XCloseDisplay(dpy); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Atom Intern(const char* name) { return XInternAtom(dpy, name, False); }

  // A property's items (32-bit formats come back as longs); empty when absent.
  std::vector<unsigned long> Longs(Window w, Atom property, Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, property, 0, 1 << 16, False, type, &actual, &format, &count,
                           &after, &data) != Success)
      return {};
    XPtr<unsigned char> owned(data);
    if (!data || format != 32) return {};
    auto* items = reinterpret_cast<unsigned long*>(data);
    return std::vector<unsigned long>(items, items + count);
  }

  std::optional<std::string> Bytes(Window w, Atom property, Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, property, 0, 1 << 16, False, type, &actual, &format, &count,
                           &after, &data) != Success)
      return std::nullopt;
    XPtr<unsigned char> owned(data);
    if (!data || format != 8 || actual != type) return std::nullopt;
    return std::string(reinterpret_cast<char*>(data), count);
  }

  bool HasWmState(Window w) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(dpy, w, wm_state, 0, 0, False, AnyPropertyType, &actual, &format, &count,
                       &after, &data);
    XPtr<unsigned char> owned(data);
    return actual != None;
  }

  std::vector<Window> Children(Window w) {
    Window root_return = 0, parent_return = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, w, &root_return, &parent_return, &children, &count)) return {};
    XPtr<Window> owned(children);
    return std::vector<Window>(children, children + count);
  }

  // The managed client inside a frame window (breadth first), or 0.
  Window ClientIn(Window frame) {
    if (HasWmState(frame)) return frame;
    for (Window child : Children(frame))
      if (Window client = ClientIn(child)) return client;
    return 0;
  }

  void SendToRoot(Window w, Atom type, std::array<long, 5> data) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    for (std::size_t i = 0; i < data.size(); ++i) event.xclient.data.l[i] = data[i];
    XSendEvent(dpy, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(dpy);
  }
};

namespace {

// X errors on windows that vanish between two requests are expected; they must not end the run.
int ignore_x_error(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

std::unique_ptr<X11Desktop> X11Desktop::Open() {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return nullptr;
  XSetErrorHandler(ignore_x_error);
  return std::unique_ptr<X11Desktop>(new X11Desktop(std::make_unique<Connection>(dpy)));
}

X11Desktop::X11Desktop(std::unique_ptr<Connection> connection) : x_(std::move(connection)) {}
X11Desktop::~X11Desktop() = default;

WindowId X11Desktop::Root() const {
  return x_->root;
}

std::vector<WindowId> X11Desktop::TopLevels() {
  std::vector<unsigned long> list = x_->Longs(x_->root, x_->net_client_list_stacking, XA_WINDOW);
  if (list.empty()) list = x_->Longs(x_->root, x_->net_client_list, XA_WINDOW);
  if (!list.empty()) return list;
  std::vector<WindowId> found;
  for (Window child : x_->Children(x_->root)) {
    Window client = x_->ClientIn(child);
    found.push_back(client ? client : child);
  }
  return found;
}

std::vector<WindowId> X11Desktop::Descendants(WindowId parent) {
  std::vector<WindowId> out;
  for (Window child : x_->Children(parent)) {
    out.push_back(child);
    for (WindowId inner : Descendants(child)) out.push_back(inner);
  }
  return out;
}

WindowId X11Desktop::Parent(WindowId window) {
  Window root_return = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(x_->dpy, window, &root_return, &parent, &children, &count)) return 0;
  XPtr<Window> owned(children);
  return parent;
}

bool X11Desktop::Exists(WindowId window) {
  XWindowAttributes attributes;
  return window != 0 && XGetWindowAttributes(x_->dpy, window, &attributes) != 0;
}

bool X11Desktop::IsShown(WindowId window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(x_->dpy, window, &attributes) && attributes.map_state == IsViewable;
}

std::string X11Desktop::Title(WindowId window) {
  if (auto name = x_->Bytes(window, x_->net_wm_name, x_->utf8_string)) return *name;
  XTextProperty property{};
  if (!XGetWMName(x_->dpy, window, &property) || !property.value) return {};
  XPtr<unsigned char> owned(property.value);
  char** list = nullptr;
  int count = 0;
  std::string title;
  if (Xutf8TextPropertyToTextList(x_->dpy, &property, &list, &count) >= Success && list) {
    if (count > 0) title = list[0];
    XFreeStringList(list);
  } else {
    title.assign(reinterpret_cast<char*>(property.value), property.nitems);
  }
  return title;
}

void X11Desktop::SetTitle(WindowId window, const std::string& utf8) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  int size = static_cast<int>(utf8.size());
  XChangeProperty(x_->dpy, window, x_->net_wm_name, x_->utf8_string, 8, PropModeReplace, bytes,
                  size);
  XChangeProperty(x_->dpy, window, XA_WM_NAME, x_->utf8_string, 8, PropModeReplace, bytes, size);
  XSync(x_->dpy, False);
}

std::string X11Desktop::ClassName(WindowId window) {
  XClassHint hint{};
  if (!XGetClassHint(x_->dpy, window, &hint)) return {};
  XPtr<char> name(hint.res_name), cls(hint.res_class);
  return cls ? std::string(cls.get()) : std::string();
}

Rect X11Desktop::Geometry(WindowId window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(x_->dpy, window, &attributes)) return {};
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(x_->dpy, window, x_->root, 0, 0, &x, &y, &child);
  return {x, y, x + attributes.width - 1, y + attributes.height - 1};
}

void X11Desktop::MoveResize(WindowId window, int x, int y,
                            std::optional<std::pair<int, int>> size) {
  if (x_->HasWmState(window)) {
    // Static gravity: the client's own corner goes to (x, y), not the frame's.
    long flags = (1 << 8) | (1 << 9) | (size ? (1 << 10) | (1 << 11) : 0);
    x_->SendToRoot(window, x_->net_moveresize_window,
                   {kStaticGravity | flags | (kSourcePager << 12), x, y, size ? size->first : 0,
                    size ? size->second : 0});
  } else if (size) {
    XMoveResizeWindow(x_->dpy, window, x, y, static_cast<unsigned>(std::max(1, size->first)),
                      static_cast<unsigned>(std::max(1, size->second)));
  } else {
    XMoveWindow(x_->dpy, window, x, y);
  }
  XSync(x_->dpy, False);
}

WindowId X11Desktop::ActiveWindow() {
  std::vector<unsigned long> active = x_->Longs(x_->root, x_->net_active_window, XA_WINDOW);
  if (!active.empty() && active[0] != 0) return active[0];
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(x_->dpy, &focus, &revert);
  return focus > PointerRoot ? TopLevelOf(focus) : 0;
}

bool X11Desktop::Activate(WindowId window, const std::function<void()>& between_checks) {
  x_->SendToRoot(window, x_->net_active_window, {kSourcePager, CurrentTime, 0, 0, 0});
  XMapRaised(x_->dpy, window);
  XSync(x_->dpy, False);
  for (int i = 0; i < kActivationChecks; ++i) {
    if (ActiveWindow() == window) return true;
    between_checks();
  }
  return false;
}

WindowId X11Desktop::TopLevelAt(int x, int y) {
  int wx = 0, wy = 0;
  Window child = 0;
  XTranslateCoordinates(x_->dpy, x_->root, x_->root, x, y, &wx, &wy, &child);
  if (!child) return x_->root;
  Window client = x_->ClientIn(child);
  return client ? client : child;
}

WindowId X11Desktop::DeepestAt(int x, int y) {
  Window current = x_->root;
  for (;;) {
    int wx = 0, wy = 0;
    Window child = 0;
    if (!XTranslateCoordinates(x_->dpy, x_->root, current, x, y, &wx, &wy, &child) || !child)
      return current;
    current = child;
  }
}

WindowId X11Desktop::TopLevelOf(WindowId window) {
  WindowId last = window;
  for (WindowId w = window; w && w != x_->root; w = Parent(w)) {
    if (x_->HasWmState(w)) return w;
    last = w;
  }
  return last;
}

void X11Desktop::MovePointer(int x, int y) {
  XTestFakeMotionEvent(x_->dpy, -1, x, y, CurrentTime);
  XSync(x_->dpy, False);
  usleep(kClickMicros);
  // A window manager may hold the pointer frozen for a moment after a click (click to focus);
  // the motion takes effect once it lets go.
  for (int i = 0; i < kPointerChecks && PointerPosition() != std::make_pair(x, y); ++i)
    usleep(kPointerCheckMicros);
}

std::pair<int, int> X11Desktop::PointerPosition() {
  Window root = 0, child = 0;
  int x = 0, y = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  XQueryPointer(x_->dpy, x_->root, &root, &child, &x, &y, &wx, &wy, &mask);
  return {x, y};
}

void X11Desktop::Click() {
  // Toolkits take a press and release in the same instant for no click at all; space them as a
  // hand would.
  XTestFakeButtonEvent(x_->dpy, 1, True, CurrentTime);
  XSync(x_->dpy, False);
  usleep(kClickMicros);
  XTestFakeButtonEvent(x_->dpy, 1, False, CurrentTime);
  XSync(x_->dpy, False);
  usleep(kClickMicros);
}

namespace {

// Keys typed through XTest; characters the keyboard map lacks borrow unused key codes for the
// time of the typing.
class Typist {
 public:
  explicit Typist(Display* dpy) : dpy_(dpy) { XDisplayKeycodes(dpy_, &min_, &max_); }
  ~Typist() { Restore(); }
  Typist(const Typist&) = delete;
  Typist& operator=(const Typist&) = delete;

  void Type(const std::vector<KeyStroke>& strokes) {
    BorrowKeycodes(strokes);
    for (const KeyStroke& stroke : strokes) Press(stroke);
  }

 private:
  void BorrowKeycodes(const std::vector<KeyStroke>& strokes) {
    std::vector<KeyCode> spare = SpareKeycodes();
    for (const KeyStroke& stroke : strokes) {
      if (XKeysymToKeycode(dpy_, stroke.keysym) || borrowed_.count(stroke.keysym)) continue;
      if (spare.empty()) break;
      KeySym syms[2] = {stroke.keysym, stroke.keysym};
      XChangeKeyboardMapping(dpy_, spare.back(), 2, syms, 1);
      borrowed_[stroke.keysym] = spare.back();
      spare.pop_back();
    }
    if (borrowed_.empty()) return;
    // Clients read the new map when they see the mapping notice; give them time to do so.
    XSync(dpy_, False);
    usleep(kMappingSettleMicros);
  }

  std::vector<KeyCode> SpareKeycodes() {
    int per = 0;
    int count = max_ - min_ + 1;
    XPtr<KeySym> map(XGetKeyboardMapping(dpy_, static_cast<KeyCode>(min_), count, &per));
    std::vector<KeyCode> spare;
    if (!map) return spare;
    for (int i = 0; i < count; ++i) {
      bool empty = std::all_of(map.get() + i * per, map.get() + (i + 1) * per,
                               [](KeySym s) { return s == NoSymbol; });
      if (empty) spare.push_back(static_cast<KeyCode>(min_ + i));
    }
    return spare;
  }

  void Restore() {
    if (borrowed_.empty()) return;
    XSync(dpy_, False);
    usleep(kMappingSettleMicros);
    for (auto& [keysym, keycode] : borrowed_) {
      KeySym none[2] = {NoSymbol, NoSymbol};
      XChangeKeyboardMapping(dpy_, keycode, 2, none, 1);
    }
    XSync(dpy_, False);
  }

  void Press(const KeyStroke& stroke) {
    KeyCode code = XKeysymToKeycode(dpy_, stroke.keysym);
    bool shift_needed = false;
    if (auto found = borrowed_.find(stroke.keysym); found != borrowed_.end()) {
      code = found->second;
    } else if (code && XkbKeycodeToKeysym(dpy_, code, 0, 0) != stroke.keysym) {
      shift_needed = XkbKeycodeToKeysym(dpy_, code, 0, 1) == stroke.keysym;
    }
    if (!code) return;
    std::vector<KeyCode> held;
    if ((stroke.modifiers & kControl)) held.push_back(XKeysymToKeycode(dpy_, XK_Control_L));
    if ((stroke.modifiers & kAlt)) held.push_back(XKeysymToKeycode(dpy_, XK_Alt_L));
    if ((stroke.modifiers & kShift) || shift_needed)
      held.push_back(XKeysymToKeycode(dpy_, XK_Shift_L));
    for (KeyCode m : held) XTestFakeKeyEvent(dpy_, m, True, CurrentTime);
    XTestFakeKeyEvent(dpy_, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy_, code, False, CurrentTime);
    for (auto m = held.rbegin(); m != held.rend(); ++m)
      XTestFakeKeyEvent(dpy_, *m, False, CurrentTime);
    XSync(dpy_, False);
  }

  Display* dpy_;
  int min_ = 8, max_ = 255;
  std::map<KeySym, KeyCode> borrowed_;
};

}  // namespace

void X11Desktop::Type(const std::vector<KeyStroke>& strokes) {
  Typist typist(x_->dpy);
  typist.Type(strokes);
}

}  // namespace morivel::automation
