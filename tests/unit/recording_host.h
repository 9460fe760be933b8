// A host for unit tests that records shown text as UTF-8 and ends the run at the first error.
#pragma once

#include <functional>
#include <string>

#include "engine/host.h"
#include "text/encoding.h"

namespace morivel::testing {

class RecordingHost : public engine::Host {
 public:
  void ShowText(const std::string& text) override { output += text::to_utf8(text) + "\n"; }
  void ShowMessage(const std::string&) override {}
  engine::ErrorChoice ShowErrorDialog(const std::string&) override {
    return engine::ErrorChoice::Quit;
  }
  void CloseMainWindow() override {}
  void Wait(double) override {}
  void StartTimer(int, std::function<void()>) override {}
  void StopTimer() override {}
  std::string output;
};

}  // namespace morivel::testing
