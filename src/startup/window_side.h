// Whether a console run needs the window side (Qt: parts, dialogs, images, network ...) or can
// run on the terminal host alone, which starts several times faster.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "commands/registry.h"

namespace morivel::startup {

// A text whose presence in a script makes it a run for the window side, in the form
// `ComparableText` gives; a name of hiragana alone keeps them (the reader keeps a leading run).
struct WindowSideText {
  std::string text;
  bool hiragana_kept = false;
};

// A command the terminal host cannot run as the window side does: one the plain handlers lack or
// one they serve through a window-side service of the host.
bool IsWindowSideCommand(int id, const commands::HandlerTable& plain_handlers);

// The name of every command the plain handlers lack or that needs a window-side service
// (dialogs, waiting with events, the script timer, running or including text, packing the
// run-time), the main window's word and the clipboard as a file name.
std::vector<WindowSideText> WindowSideTexts(const commands::HandlerTable& plain_handlers);

// A script's text as the comparison sees it: full-width letters and digits as the reader takes
// them and, unless `keep_hiragana`, every hiragana dropped, so that a command written with any
// okurigana still matches.
std::string ComparableText(std::string_view sjis, bool keep_hiragana = false);

// True when any of the run's sources may reach the window side. Errs towards true: a word that
// merely contains a command's name counts.
bool NeedsWindowSide(const std::vector<std::shared_ptr<const std::string>>& sources,
                     const std::vector<WindowSideText>& window_side_texts);

}  // namespace morivel::startup
