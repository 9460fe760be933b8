// Waiting and the script timer on Qt's event loop, shared by both front ends.
#pragma once

#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

#include "engine/host.h"

namespace morivel::gui {

class FrontEnd;

class EventHost : public engine::Host {
 public:
  EventHost();
  // The run's windows and parts; set by whoever builds the front end.
  void SetFrontEnd(FrontEnd* front) { front_ = front; }
  FrontEnd* Front() { return front_; }
  engine::PartAccess* Parts() override;
  void Wait(double seconds) override;
  void ProcessEvents() override;
  void StartTimer(int milliseconds, std::function<void()> fire) override;
  void StopTimer() override;
  bool TimerPending() const { return timer_.isActive(); }
  // The window system's clipboard, or the offscreen platform's own one in the console.
  std::optional<std::string> ClipboardText() override;
  bool SetClipboardText(const std::string& text) override;
  // Something that can still raise events (an open socket) holds the returned token; the console
  // front end keeps running while any token lives.
  std::shared_ptr<void> KeepAlive();
  // True while the timer is pending or a keep-alive token lives.
  bool EventsPending();

 private:
  FrontEnd* front_ = nullptr;
  QTimer timer_;
  std::function<void()> fire_;
  std::vector<std::weak_ptr<void>> alive_;
};

}  // namespace morivel::gui
