// Waiting and the script timer on Qt's event loop, shared by both front ends.
#pragma once

#include <QTimer>

#include <functional>

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

 private:
  FrontEnd* front_ = nullptr;
  QTimer timer_;
  std::function<void()> fire_;
};

}  // namespace morivel::gui
