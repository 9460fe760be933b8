// Optional libraries opened at first use: finding functions, naming what is missing, withholding
// a library on request, loading once; and the function tables of this build's own optional
// libraries, whose every name must exist in the installed library.
#include "platform/optional_library.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/archive_library.h"
#include "archive/network.h"
#include "bridges/speech_library.h"
#include "media/midi_render.h"

namespace {

using morivel::platform::LazyLibrary;
using morivel::platform::library_withheld;
using morivel::platform::OptionalLibrary;

// Sets MORIVEL_WITHOUT_LIBRARIES for one test and removes it afterwards.
class Withheld {
 public:
  explicit Withheld(const char* list) { ::setenv("MORIVEL_WITHOUT_LIBRARIES", list, 1); }
  ~Withheld() { ::unsetenv("MORIVEL_WITHOUT_LIBRARIES"); }
};

TEST(OptionalLibrary, FunctionsOfAnInstalledLibraryAreFoundAndCallable) {
  OptionalLibrary libm("libm.so.6");
  double (*cosine)(double) = nullptr;
  libm.Resolve("cos", cosine);
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_TRUE(libm.Usable());
  EXPECT_EQ(libm.Problem(), "");
}

TEST(OptionalLibrary, EveryMissingFunctionIsNamedAndTheFoundOnesStayResolved) {
  OptionalLibrary libm("libm.so.6");
  double (*cosine)(double) = nullptr;
  void (*first)() = +[] {};
  void (*second)() = +[] {};
  libm.Resolve("morivel_no_such_function", first);
  libm.Resolve("cos", cosine);
  libm.Resolve("morivel_nor_this_one", second);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(cosine, nullptr);
  EXPECT_FALSE(libm.Usable());
  EXPECT_EQ(libm.Problem(), "libm.so.6 lacks morivel_no_such_function morivel_nor_this_one");
}

TEST(OptionalLibrary, AnAbsentLibraryIsAProblemAndResolvesNothing) {
  OptionalLibrary absent("libmorivel-absent.so.7");
  int (*function)() = +[] { return 1; };
  absent.Resolve("anything", function);
  EXPECT_EQ(function, nullptr);
  EXPECT_FALSE(absent.Usable());
  EXPECT_NE(absent.Problem().find("libmorivel-absent.so.7"), std::string::npos) << absent.Problem();
}

TEST(OptionalLibrary, WithheldSonamesCountAsNotInstalled) {
  Withheld withheld("libz.so.1, libm.so.6:libfoo.so.2");
  EXPECT_TRUE(library_withheld("libz.so.1"));
  EXPECT_TRUE(library_withheld("libm.so.6"));
  EXPECT_TRUE(library_withheld("libfoo.so.2"));
  // Whole names only: a prefix or a longer name is another library.
  EXPECT_FALSE(library_withheld("libm.so"));
  EXPECT_FALSE(library_withheld("libm.so.66"));
  EXPECT_FALSE(library_withheld(""));
  OptionalLibrary libm("libm.so.6");
  double (*cosine)(double) = nullptr;
  libm.Resolve("cos", cosine);
  EXPECT_EQ(cosine, nullptr);
  EXPECT_NE(libm.Problem().find("MORIVEL_WITHOUT_LIBRARIES"), std::string::npos) << libm.Problem();
}

TEST(OptionalLibrary, NothingIsWithheldWithoutTheVariable) {
  ::unsetenv("MORIVEL_WITHOUT_LIBRARIES");
  EXPECT_FALSE(library_withheld("libm.so.6"));
  Withheld empty("");
  EXPECT_FALSE(library_withheld("libm.so.6"));
  EXPECT_FALSE(library_withheld(""));
}

int libm_resolutions = 0;

struct MathApi {
  static constexpr const char* kSoname = "libm.so.6";
  double (*cosine)(double);
  void Resolve(OptionalLibrary& library) {
    ++libm_resolutions;
    library.Resolve("cos", cosine);
  }
};

struct AbsentApi {
  static constexpr const char* kSoname = "libmorivel-absent.so.7";
  void (*function)();
  void Resolve(OptionalLibrary& library) { library.Resolve("function", function); }
};

struct IncompleteApi {
  static constexpr const char* kSoname = "libm.so.6";
  double (*cosine)(double);
  double (*missing)(double);
  void Resolve(OptionalLibrary& library) {
    library.Resolve("cos", cosine);
    library.Resolve("morivel_missing", missing);
  }
};

TEST(LazyLibrary, ATableIsResolvedOnceAndSharedByEveryCaller) {
  const MathApi* first = LazyLibrary<MathApi>::Get();
  const MathApi* second = LazyLibrary<MathApi>::Get();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(libm_resolutions, 1);
  EXPECT_DOUBLE_EQ(first->cosine(0.0), 1.0);
  EXPECT_EQ(LazyLibrary<MathApi>::Problem(), "");
}

TEST(LazyLibrary, AnAbsentOrIncompleteLibraryGivesNoTable) {
  EXPECT_EQ(LazyLibrary<AbsentApi>::Get(), nullptr);
  EXPECT_NE(LazyLibrary<AbsentApi>::Problem().find("libmorivel-absent.so.7"), std::string::npos);
  // Half a table is no table: a caller never meets a null function.
  EXPECT_EQ(LazyLibrary<IncompleteApi>::Get(), nullptr);
  EXPECT_EQ(LazyLibrary<IncompleteApi>::Problem(), "libm.so.6 lacks morivel_missing");
}

// A misspelt function or a wrong soname would show only as a silent listing, a tune that is never
// rendered or an agent that never speaks (the tests of those skip when the library is missing),
// or as archives that cannot be made at all.
TEST(OptionalLibraries, EveryFunctionTheBuildUsesIsInTheInstalledLibrary) {
  EXPECT_EQ(morivel::archive::ArchiveLibrary::Problem(), "");
  EXPECT_EQ(morivel::archive::network_library_problems(), "");
  std::string midi = morivel::media::midi_library_problem();
  if (midi.rfind("built without", 0) != 0) {
    EXPECT_EQ(midi, "");
  }
  std::string speech = morivel::bridges::speech_library_problem();
  if (speech.rfind("built without", 0) != 0) {
    EXPECT_EQ(speech, "");
  }
}

}  // namespace
