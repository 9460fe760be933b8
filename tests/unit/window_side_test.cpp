// Which console runs may leave the window side out: a script that may reach a window-side
// command, however it writes the name, must never be taken for a plain one.
#include "startup/window_side.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/registry.h"
#include "text/encoding.h"

using namespace morivel;

namespace {

bool needs_window_side(const std::vector<std::string>& utf8_sources) {
  std::vector<std::shared_ptr<const std::string>> sources;
  for (const std::string& source : utf8_sources)
    sources.push_back(std::make_shared<const std::string>(text::sjis(source)));
  static const std::vector<startup::WindowSideText> texts =
      startup::WindowSideTexts(commands::handler_table());
  return startup::NeedsWindowSide(sources, texts);
}

}  // namespace

TEST(WindowSide, PlainScriptsStayOnTheTerminal) {
  EXPECT_FALSE(needs_window_side({"Aを1から3まで繰り返す\n  Aを表示\n"}));
  EXPECT_FALSE(
      needs_window_side({"S=「」\nSに「あいう」を追加\n表示出力先=「記録.txt」\nSを表示\n"}));
  EXPECT_FALSE(needs_window_side({"*フィボ(?を)\nNをローカル変数\nNに1番目の引数得る\n戻る\n"}));
  // 得る and 言う are window-side; inside a longer word they are not what the reader sees.
  EXPECT_FALSE(needs_window_side({"Nに引数得る\nA=伝言\n"}));
  EXPECT_FALSE(needs_window_side({}));
}

TEST(WindowSide, AnyWritingOfAWindowSideNameCounts) {
  // The command as the table has it, with other okurigana, in a condition in full-width
  // letters, in a second source, in a string that may become code.
  EXPECT_TRUE(needs_window_side({"「a.png」を画像表示\n"}));
  EXPECT_TRUE(needs_window_side({"「a.mid」を繰り返し演奏\n"}));
  EXPECT_TRUE(needs_window_side({"「a.mid」を繰返演奏\n"}));
  EXPECT_TRUE(needs_window_side({"もし、ＲＧＢ(1,2,3)=0ならば\n"}));
  EXPECT_TRUE(needs_window_side({"1を表示\n", "「x」をクリップボードへ保存\n"}));
  EXPECT_TRUE(needs_window_side({"S=「BEEP」\n"}));
  // After a particle that ends in a kanji or katakana a new word starts.
  EXPECT_TRUE(needs_window_side({"3回言う\n"}));
  EXPECT_TRUE(needs_window_side({"Aの幅を得る\n"}));
}

TEST(WindowSide, CommandsServedThroughTheWindowSideCount) {
  // Plain handlers exist for these, but they act through dialogs, events, timers, more text to
  // run, the running program's own file, the main window or the clipboard.
  for (const char* source :
       {"「やあ」と言う\n", "「名前は」と尋ねる\n", "1秒待つ\n", "待機\n",
        "「*A」へ1秒後にタイマー設定\n", "「1を表示」をもりべるする\n", "「b.mrv」を取り込む\n",
        "「1+2」を計算\n", "「言」&「う」を「話す」に名義変更\n", "母艦の幅を表示\n",
        "Aに「クリップボード」を読む\n"})
    EXPECT_TRUE(needs_window_side({source})) << source;
}

TEST(WindowSide, EveryCommandWithoutAPlainHandlerIsWindowSide) {
  const commands::HandlerTable& plain = commands::handler_table();
  for (int id = 0; id < commands::kHandlerSlots; ++id)
    if (!plain.Get(id)) {
      EXPECT_TRUE(startup::IsWindowSideCommand(id, plain)) << id;
    }
  EXPECT_FALSE(startup::IsWindowSideCommand(0, plain));  // 表示
}
