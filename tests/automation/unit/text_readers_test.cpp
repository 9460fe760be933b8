// The command-line and key-string readers of the automation commands.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "automation/command_line.h"
#include "automation/key_strings.h"
#include "text/encoding.h"

namespace morivel::automation {
namespace {

using text::sjis;

TEST(CommandLine, QuotedProgramKeepsQuotesAndEndsAtTheClosingQuote) {
  CommandLine line = SplitCommandLine("\"C:\\a b\\x.exe\"/q  rest here ");
  EXPECT_EQ(line.program, "\"C:\\a b\\x.exe\"");
  EXPECT_EQ(line.parameters, "/q  rest here");
  EXPECT_EQ(Unquote(line.program), "C:\\a b\\x.exe");
}

TEST(CommandLine, DoubleByteCharactersAreCopiedWhole) {
  // 表 ends in 0x5C and ソ in 0x5C as well; neither byte may count as a separator.
  std::string program = sjis("表ソ.mrv");
  CommandLine line = SplitCommandLine(program + " " + sjis("一　二"));
  EXPECT_EQ(line.program, program);
  EXPECT_EQ(line.parameters, sjis("一　二"));
  EXPECT_EQ(LowerExtension(sjis("表.MRV")), ".mrv");
}

TEST(CommandLine, ArgumentsSplitOnSpacesOutsideQuotes) {
  EXPECT_EQ(SplitArguments("a \"b c\" \"\" d\"e f\"g \"x\"\"y\""),
            (std::vector<std::string>{"a", "b c", "", "de fg", "x\"y"}));
  EXPECT_TRUE(SplitArguments("   ").empty());
  EXPECT_TRUE(IsUrl("HTTPS://x"));
  EXPECT_TRUE(IsUrl("mailto:a@b"));
  EXPECT_FALSE(IsUrl("http:/x"));
}

TEST(KeyStrings, ModifiersApplyToTheNextElementOrGroup) {
  std::vector<KeyStroke> expected{{'a', kControl}, {'c', kControl}, {'x', 0}};
  EXPECT_EQ(ParseKeyString("^(ac)x"), expected);
  EXPECT_EQ(ParseKeyString("+^%a"), (std::vector<KeyStroke>{{'a', kShift | kControl | kAlt}}));
  EXPECT_EQ(ParseKeyString("A~"), (std::vector<KeyStroke>{{'A', 0}, {XK_Return, 0}}));
}

TEST(KeyStrings, NamedKeysWithCounts) {
  EXPECT_EQ(ParseKeyString("{TAB 3}"), std::vector<KeyStroke>(3, KeyStroke{XK_Tab, 0}));
  EXPECT_EQ(ParseKeyString("{f12}{Esc}{bksp}"),
            (std::vector<KeyStroke>{{XK_F12, 0}, {XK_Escape, 0}, {XK_BackSpace, 0}}));
  EXPECT_EQ(ParseKeyString("{}}{+ 2}"), (std::vector<KeyStroke>{{'}', 0}, {'+', 0}, {'+', 0}}));
  EXPECT_EQ(ParseKeyString("+{LEFT}"), (std::vector<KeyStroke>{{XK_Left, kShift}}));
}

TEST(KeyStrings, BrokenInputTypesWhatItCanAndNeverRunsAway) {
  EXPECT_TRUE(ParseKeyString("{NOSUCHKEY}").empty());
  EXPECT_TRUE(ParseKeyString("{TAB").empty());
  EXPECT_EQ(ParseKeyString("^(a").size(), 1u);
  EXPECT_EQ(ParseKeyString("{a 99999999}").size(), 10000u);
  EXPECT_TRUE(ParseKeyString("+").empty());
}

TEST(KeyStrings, JapaneseCharactersBecomeUnicodeKeysyms) {
  EXPECT_EQ(ParseKeyString(sjis("あ表")),
            (std::vector<KeyStroke>{{0x01003042, 0}, {0x01008868, 0}}));
  EXPECT_EQ(KeysymOfCharacter(sjis("ｱ")), 0x0100FF71u);
}

}  // namespace
}  // namespace morivel::automation
