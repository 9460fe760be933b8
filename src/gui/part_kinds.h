// The factories of the part kinds, one family of kinds per file under gui/kinds/.
#pragma once

#include <array>
#include <memory>

#include "gui/part.h"

namespace morivel::gui {

using PartFactory = std::unique_ptr<Part> (*)(const PartSetup&);
using KindTable = std::array<PartFactory, kKindCount>;

// The factory of a kind whose part is constructed from the set-up alone.
template <class KindPart>
std::unique_ptr<Part> make_kind(const PartSetup& setup) {
  return std::make_unique<KindPart>(setup);
}

// Buttons, labels, check boxes, radio groups, panels, scroll boxes, tab pages, splitters.
void register_box_kinds(KindTable& table);
// Combo boxes, lists, grids, trees.
void register_list_kinds(KindTable& table);
// Edits, memos, the syntax-colouring editor, rich edits.
void register_text_kinds(KindTable& table);
// Images, scroll bars, track bars, animations, browsers.
void register_media_kinds(KindTable& table);
// Forms and popup menus.
void register_form_kinds(KindTable& table);

}  // namespace morivel::gui
