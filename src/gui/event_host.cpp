// Nested event loops for waiting, and the single-shot script timer.
#include "gui/event_host.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

#include "gui/front_end.h"
#include "gui/part_registry.h"
#include "text/encoding.h"

namespace morivel::gui {

EventHost::EventHost() {
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    // The handler may set a new timer; take this one's action out first.
    auto fire = std::move(fire_);
    fire_ = nullptr;
    if (fire) fire();
  });
}

engine::PartAccess* EventHost::Parts() {
  return front_ ? &front_->Parts() : nullptr;
}

void EventHost::Wait(double seconds) {
  if (!(seconds > 0)) {
    ProcessEvents();
    return;
  }
  // A day at most: a longer wait is surely a mistake and would look like a hang.
  double capped = std::min(seconds, 86400.0);
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(std::lround(capped * 1000)), &loop, &QEventLoop::quit);
  loop.exec();
}

void EventHost::ProcessEvents() {
  QCoreApplication::processEvents();
}

void EventHost::StartTimer(int milliseconds, std::function<void()> fire) {
  fire_ = std::move(fire);
  timer_.start(std::max(0, milliseconds));
}

std::shared_ptr<void> EventHost::KeepAlive() {
  auto token = std::make_shared<int>(0);
  alive_.push_back(token);
  return token;
}

bool EventHost::EventsPending() {
  std::erase_if(alive_, [](const std::weak_ptr<void>& token) { return token.expired(); });
  return TimerPending() || !alive_.empty();
}

void EventHost::StopTimer() {
  timer_.stop();
  fire_ = nullptr;
}

namespace {

QClipboard* clipboard() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard()
                                                                      : nullptr;
}

}  // namespace

std::optional<std::string> EventHost::ClipboardText() {
  QClipboard* board = clipboard();
  if (!board) return std::nullopt;
  return text::from_utf8(board->text().toStdString());
}

bool EventHost::SetClipboardText(const std::string& text) {
  QClipboard* board = clipboard();
  if (!board) return false;
  board->setText(QString::fromStdString(text::to_utf8(text)));
  return true;
}

}  // namespace morivel::gui
