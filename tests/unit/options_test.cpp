// Command-line options: run modes, the start file, the script's own arguments.
#include <gtest/gtest.h>

#include "startup/options.h"

using morivel::startup::Options;
using morivel::startup::ParseOptions;
using morivel::startup::ScriptCommandLine;

TEST(Options, ModesAndStartFile) {
  Options o = ParseOptions({"-debug", "-linestop", "-console", "a.mrv", "x", "y"});
  EXPECT_TRUE(o.debug);
  EXPECT_TRUE(o.line_stop);
  EXPECT_TRUE(o.console);
  EXPECT_EQ(o.start_file, "a.mrv");
  EXPECT_EQ(
      ScriptCommandLine({"-debug", "-linestop", "-console", "a.mrv", "x", "y"}, o.script_args_from),
      "a.mrv\r\nx\r\ny");
  EXPECT_FALSE(o.skip_package);
  EXPECT_TRUE(ParseOptions({"-run", "a.mrv"}).skip_package);
  EXPECT_FALSE(ParseOptions({"a.mrv", "-run"}).skip_package);
}

TEST(Options, SecurityWordsAreComparedInLowerCase) {
  EXPECT_EQ(ParseOptions({"-security", "HIGH", "a.mrv"}).security_level, 2);
  EXPECT_EQ(ParseOptions({"-security", "Low"}).security_level, 0);
  EXPECT_EQ(ParseOptions({"-security", "mid"}).security_level, 1);
  EXPECT_EQ(ParseOptions({"-security", "max", "a.mrv"}).security_level, -1);
  EXPECT_EQ(ParseOptions({"-security", "max", "a.mrv"}).start_file, "a.mrv");
}

TEST(Options, ValueOptionsConsumeTheNextParameter) {
  Options o = ParseOptions({"-resource", "data.bin", "-runtime", "prog.exe", "arg"});
  EXPECT_EQ(o.resource_file, "data.bin");
  EXPECT_TRUE(o.runtime);
  EXPECT_EQ(o.start_file, "prog.exe");
  EXPECT_EQ(ScriptCommandLine({"-resource", "data.bin", "-runtime", "prog.exe", "arg"},
                              o.script_args_from),
            "prog.exe\r\narg");
  // An option at the very end has no value to take.
  EXPECT_EQ(ParseOptions({"-security"}).security_level, -1);
  EXPECT_EQ(ParseOptions({"b.mrv", "c.mrv"}).start_file, "b.mrv");
}
