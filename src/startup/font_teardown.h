// How the console front end lets the font configuration go at exit.
#pragma once

namespace morivel::startup {

// Ending the application hands fontconfig's current configuration back, and asking fontconfig for
// it first loads every configuration file and scans the installed fonts when nothing has used a
// font yet: a third of what a short console run costs. Destroyed after the run's windows and before
// the application, this puts an empty configuration in its place, which is handed back at no cost.
class CheapFontTeardown {
 public:
  CheapFontTeardown() = default;
  CheapFontTeardown(const CheapFontTeardown&) = delete;
  CheapFontTeardown& operator=(const CheapFontTeardown&) = delete;
  ~CheapFontTeardown();
};

}  // namespace morivel::startup
