// Tests of the packed-file archive: byte layout, scrambling, lookups, hostile files, ELF search.
#include "startup/archive.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sstream>

#include "text/encoding.h"

extern char** environ;
#include "words/errors.h"

namespace fs = std::filesystem;
using namespace morivel;
using namespace morivel::startup;

namespace {

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("archive_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, const std::string& bytes) {
    fs::path p = dir_ / name;
    EXPECT_TRUE(WriteWholeFile(p, bytes));
    return p;
  }
  std::string Read(const fs::path& p) { return ReadWholeFile(p).value_or("<missing>"); }

  fs::path dir_;
};

std::uint32_t le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

void put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A one-entry archive built by hand: the entry's name, offset, size and flag as given.
std::string hand_archive(const std::string& name, std::uint32_t offset, std::uint32_t size,
                         const std::string& data) {
  std::string a = std::string("fMix") + '\x01' + '\x01' + '\x00' + std::string(4, '\0');
  std::string entry(kArchiveEntrySize, '\0');
  std::copy(name.begin(), name.end(), entry.begin());
  put32(entry, 256, offset);
  put32(entry, 260, size);
  return a + entry + data;
}

}  // namespace

TEST(ArchiveKeys, HaveTheirFixedLengths) {
  EXPECT_EQ(ArchiveKey().size(), 16u);
  EXPECT_EQ(DefaultCipherKey().size(), 17u);
}

TEST(CipherTest, KeyStreamIsMt19937FromTheLowByteSeeding) {
  // An independent generator in the same starting state must give the same top bytes.
  std::stringstream state;
  std::uint32_t word = 2741;
  for (int i = 0; i < 624; ++i) {
    state << word << ' ';
    word = (word & 0xFF) * 69069u;
  }
  state << 624;  // the position libstdc++ also reads: the next draw regenerates
  std::mt19937 reference;
  state >> reference;
  ASSERT_FALSE(state.fail());

  TCipher cipher(std::string(1400, '\0'));  // more than two regenerations of the state
  cipher.Scramble(std::string(1, '\0'));
  for (std::size_t k = 0; k < cipher.Data.size(); ++k)
    ASSERT_EQ(static_cast<unsigned char>(cipher.Data[k]), reference() >> 24) << "at " << k;
}

TEST(CipherTest, ScramblingTwiceWithFreshCiphersRestores) {
  std::string original = text::sjis("ソースの表示\r\nABC") + std::string("\0\xFF", 2);
  TCipher first(original);
  first.Scramble("key");
  EXPECT_NE(first.Data, original);
  TCipher second(first.Data);
  second.Scramble("key");
  EXPECT_EQ(second.Data, original);

  // An empty key means the default key, and the key enters byte by byte.
  TCipher with_empty(original), with_default(original), other_key(original);
  with_empty.Scramble("");
  with_default.Scramble(DefaultCipherKey());
  other_key.Scramble("kez");
  EXPECT_EQ(with_empty.Data, with_default.Data);
  EXPECT_NE(first.Data, other_key.Data);
}

TEST_F(ArchiveTest, OneScriptEntryHasTheDocumentedLayout) {
  std::string script(100, 'x');
  fs::path source = Write("morivel.mrv", script);
  TFileMixWriter writer;
  writer.AddFile(text::from_utf8(source.string()), "morivel.mrv", 1);
  fs::path archive = dir_ / "a.dat";
  ASSERT_TRUE(writer.SaveToFile(archive));

  std::string bytes = Read(archive);
  ASSERT_EQ(bytes.size(), 376u);
  EXPECT_EQ(bytes.substr(0, 4), "fMix");
  EXPECT_EQ(bytes[4], 1);
  EXPECT_EQ(bytes[5], 1);
  EXPECT_EQ(bytes[6], 0);
  EXPECT_EQ(le32(bytes, 7), 376u);
  EXPECT_EQ(std::string(bytes.c_str() + 11), "MORIVEL.MRV");
  EXPECT_EQ(bytes.find_first_not_of('\0', 11 + 11), 11u + 256u);  // zero padding
  EXPECT_EQ(le32(bytes, 11 + 256), 276u);
  EXPECT_EQ(le32(bytes, 11 + 260), 100u);
  EXPECT_EQ(bytes[11 + 264], 1);
  EXPECT_NE(bytes.substr(276), script);  // scrambled with the archive key

  TCipher unscramble(bytes.substr(276));
  unscramble.Scramble(ArchiveKey());
  EXPECT_EQ(unscramble.Data, script);
  TFileMixReader reader(archive);
  EXPECT_EQ(reader.Extract("morivel.mrv"), script);
}

TEST_F(ArchiveTest, NamesMatchWithoutRegardToCase) {
  fs::path a = Write("a.txt", "first"), b = Write("b.txt", "");
  TFileMixWriter writer;
  writer.Lines.push_back(text::from_utf8(a.string()) + "=data\\a.txt=0");
  writer.Lines.push_back(text::from_utf8(b.string()) + text::sjis("=表ソ.txt=0"));
  fs::path archive = dir_ / "j.dat";
  ASSERT_TRUE(writer.SaveToFile(archive));
  std::string bytes = Read(archive);
  EXPECT_EQ(std::string(bytes.c_str() + 11), "DATA\\A.TXT");
  EXPECT_EQ(bytes.substr(11 + 2 * kArchiveEntrySize), "first");  // unscrambled, back to back

  TFileMixReader reader(archive);
  EXPECT_EQ(reader.Extract("DATA\\A.TXT"), "first");
  EXPECT_EQ(reader.Extract("Data\\a.txt"), "first");
  // Trail bytes of double-byte names are not case-mapped; an empty entry gives empty data.
  EXPECT_EQ(reader.Extract(text::sjis("表ソ.TXT")), "");
  EXPECT_FALSE(reader.Extract("missing.txt").has_value());
  EXPECT_FALSE(reader.Contains("b.txt"));

  fs::path out = dir_ / "out.txt";
  EXPECT_TRUE(reader.ExtractToFile("data\\A.txt", out));
  EXPECT_EQ(Read(out), "first");
  EXPECT_FALSE(reader.ExtractToFile("missing", dir_ / "none.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "none.txt"));
  EXPECT_TRUE(reader.SaveArchive(dir_ / "copy.dat"));
  EXPECT_EQ(Read(dir_ / "copy.dat"), bytes);
}

TEST_F(ArchiveTest, WriterRejectsBadFlagsAndMissingSources) {
  fs::path a = Write("a.txt", "A");
  std::string src = text::from_utf8(a.string());
  TFileMixWriter ok;
  ok.Lines.push_back(src + "=x=abc");  // not a number: stored unscrambled
  ASSERT_TRUE(ok.SaveToFile(dir_ / "ok.dat"));
  EXPECT_EQ(Read(dir_ / "ok.dat")[11 + 264], 0);
  EXPECT_EQ(Read(dir_ / "ok.dat").substr(11 + kArchiveEntrySize), "A");

  TFileMixWriter big_flag;
  big_flag.Lines.push_back(src + "=x=256");
  EXPECT_FALSE(big_flag.SaveToFile(dir_ / "f.dat"));
  TFileMixWriter missing;
  missing.AddFile(text::from_utf8((dir_ / "nope.txt").string()), "x", 0);
  EXPECT_FALSE(missing.SaveToFile(dir_ / "m.dat"));
  TFileMixWriter long_name;
  long_name.AddFile(src, std::string(400, 'n'), 2);
  ASSERT_TRUE(long_name.SaveToFile(dir_ / "l.dat"));
  TFileMixReader reader(dir_ / "l.dat");
  EXPECT_EQ(reader.Extract(std::string(255, 'N')), "A");  // flag 2: stored as given
}

TEST_F(ArchiveTest, LaterEntryOfTheSameNameWins) {
  fs::path a = Write("a.txt", "old"), b = Write("b.txt", "new");
  TFileMixWriter writer;
  writer.AddFile(text::from_utf8(a.string()), "same", 0);
  writer.AddFile(text::from_utf8(b.string()), "SAME", 1);
  ASSERT_TRUE(writer.SaveToFile(dir_ / "s.dat"));
  TFileMixReader reader(dir_ / "s.dat");
  EXPECT_EQ(reader.Extract("same"), "new");
}

TEST_F(ArchiveTest, HostileArchivesFailCleanly) {
  fs::path wrong = Write("wrong.dat", "fMiX\x01\x00\x00\x00\x00\x00\x00");
  try {
    TFileMixReader reader(wrong);
    FAIL() << "wrong magic accepted";
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()),
              "\"" + text::from_utf8(wrong.string()) +
                  text::sjis("\"は、TFileMixHeaderでは形式が違うため読めません。"));
  }
  EXPECT_THROW(TFileMixReader(Write("short.dat", "fMi")), GeneralError);
  EXPECT_THROW(TFileMixReader(dir_ / "absent.dat"), GeneralError);
  // 65535 entries announced, none present.
  EXPECT_THROW(TFileMixReader(Write("count.dat", std::string("fMix\x01\xFF\xFF\0\0\0\0", 11))),
               GeneralError);

  TFileMixReader past_end(Write("past.dat", hand_archive("A", 0xFFFFFFF0u, 0x20, "data")));
  EXPECT_FALSE(past_end.Extract("a").has_value());
  TFileMixReader too_long(Write("long.dat", hand_archive("A", 276, 5, "data")));
  EXPECT_FALSE(too_long.Extract("a").has_value());
  TFileMixReader exact(Write("exact.dat", hand_archive("A", 276, 4, "data")));
  EXPECT_EQ(exact.Extract("a"), "data");

  // A name filling its whole field without a terminating zero stays inside the field.
  std::string full_name(kArchiveNameField, 'Q');
  TFileMixReader unterminated(Write("unterminated.dat", hand_archive(full_name, 276, 4, "data")));
  EXPECT_FALSE(unterminated.Extract(std::string(255, 'Q')).has_value());
}

TEST(PackedCopyNameTest, NeverLeavesTheTemporaryFolder) {
  EXPECT_EQ(PackedCopyName("data\\a.txt"), "DATA__A.TXT");
  EXPECT_EQ(PackedCopyName("c:\\x"), "C____X");
  EXPECT_EQ(PackedCopyName("../../etc/passwd"), "..__..__ETC__PASSWD");
  EXPECT_EQ(PackedCopyName(".."), "__..");
  EXPECT_EQ(PackedCopyName("."), "__.");
  // 表 ends in the byte of "\"; it stays one character.
  EXPECT_EQ(PackedCopyName(text::sjis("表\\x")), text::sjis("表__X"));
}

TEST_F(ArchiveTest, ElfImageEndFindsAppendedArchive) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  ASSERT_FALSE(ec);
  std::string program = Read(self);
  std::istringstream image(program);
  ASSERT_EQ(ElfImageEnd(image, program.size()), program.size());
  EXPECT_FALSE(FindAppendedArchive(self).has_value());

  fs::path script = Write("s.mrv", text::sjis("「やあ」を表示"));
  TFileMixWriter writer;
  writer.AddFile(text::from_utf8(script.string()), "morivel.mrv", 1);
  ASSERT_TRUE(writer.SaveToFile(dir_ / "res.dat"));
  std::string archive = Read(dir_ / "res.dat");
  ASSERT_TRUE(MakeArchiveExecutable(dir_ / "packed", self, dir_ / "res.dat"));
  EXPECT_EQ(FindAppendedArchive(dir_ / "packed"), archive);
  EXPECT_TRUE((fs::status(dir_ / "packed").permissions() & fs::perms::owner_exec) !=
              fs::perms::none);

  // A packed program used as the base leaves its own archive behind.
  ASSERT_TRUE(MakeArchiveExecutable(dir_ / "again", dir_ / "packed", dir_ / "res.dat"));
  EXPECT_EQ(fs::file_size(dir_ / "again"), program.size() + archive.size());

  std::optional<AppendedPackage> package = OpenAppendedPackage(dir_ / "packed", dir_);
  ASSERT_TRUE(package.has_value());
  EXPECT_EQ(package->TemporaryFile, dir_ / "TMP1.TMP");
  EXPECT_EQ(package->Script, text::sjis("「やあ」を表示"));
  std::optional<AppendedPackage> second = OpenAppendedPackage(dir_ / "packed", dir_);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->TemporaryFile, dir_ / "TMP2.TMP");

  // Appended bytes without an "f", and files that are no ELF image, carry no archive.
  WriteWholeFile(dir_ / "no_f", program + "xyz");
  EXPECT_FALSE(FindAppendedArchive(dir_ / "no_f").has_value());
  EXPECT_FALSE(OpenAppendedPackage(dir_ / "no_f", dir_).has_value());
  fs::path text_file = Write("plain.txt", "fMix and more text");
  EXPECT_FALSE(FindAppendedArchive(text_file).has_value());

  // Appended garbage holding an "f" is found, but it is no archive: the extraction message.
  WriteWholeFile(dir_ / "garbage", program + "fff");
  try {
    OpenAppendedPackage(dir_ / "garbage", dir_);
    FAIL() << "garbage accepted";
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(text::sjis("ファイルの展開に失敗しました。"), 0), 0u);
  }
  EXPECT_FALSE(fs::exists(dir_ / "TMP3.TMP"));
}

TEST(ElfImageEndTest, TruncatedHeadersGiveNothing) {
  std::error_code ec;
  std::string program = ReadWholeFile(fs::read_symlink("/proc/self/exe", ec)).value();
  for (std::size_t cut : {3u, 20u, 63u}) {
    std::string head = program.substr(0, cut);
    std::istringstream in(head);
    EXPECT_FALSE(ElfImageEnd(in, head.size()).has_value()) << cut;
  }
  // Section offsets beyond the file give an end past it rather than a wrapped small value.
  std::string hostile = program.substr(0, 64);
  for (int i = 0; i < 8; ++i) hostile[40 + i] = '\xFF';  // e_shoff
  std::istringstream in(hostile);
  std::optional<std::uint64_t> end = ElfImageEnd(in, hostile.size());
  EXPECT_TRUE(!end.has_value() || *end >= hostile.size());
}

namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
};

// Runs `program` in `folder` with the console front end and a private temporary folder.
ProgramRun run_program(const fs::path& program, std::vector<std::string> args,
                       const fs::path& folder, const fs::path& temp) {
  std::vector<std::string> env_text = {"QT_QPA_PLATFORM=offscreen", "TMPDIR=" + temp.string()};
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0 &&
        entry.rfind("TMPDIR=", 0) != 0 && entry.rfind("QT_QPA_PLATFORM=", 0) != 0)
      env_text.push_back(entry);
  }
  args.insert(args.begin(), program.string());
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env_text) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  fs::path out_file = temp / "stdout.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = 0;
  ProgramRun run;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadWholeFile(out_file).value_or("");
  return run;
}

}  // namespace

// The whole road of a stand-alone program: the command packs a script and a data file into a
// copy of the run-time, and that copy, alone in another folder, runs the script and reads the file.
TEST_F(ArchiveTest, PackedProgramRunsAloneFromAnotherFolder) {
  std::error_code ec;
  fs::path morivel = fs::read_symlink("/proc/self/exe", ec).parent_path() / "morivel";
  if (!fs::exists(morivel)) GTEST_SKIP() << "the morivel program is not built";
  fs::create_directories(dir_ / "tmp");
  fs::create_directories(dir_ / "x");
  fs::create_directories(dir_ / "elsewhere");

  fs::path msg = Write("msg.txt", text::sjis("梱包された表ソ"));
  TFileMixWriter inner;
  inner.AddFile(text::from_utf8(msg.string()), "msg", 1);
  ASSERT_TRUE(inner.SaveToFile(dir_ / "inner.dat"));
  Write("app.mrv", text::sjis("「inner.dat」から「msg」を合成ファイル取り出す\r\nそれを表示\r\n"));
  Write("maker.mrv",
        text::sjis("「app.mrv」と「inner.dat」から「app」へもりべる実行ファイル作成\r\n"
                   "「できた」を表示\r\n"));
  ProgramRun made = run_program(morivel, {"-console", "maker.mrv"}, dir_, dir_ / "tmp");
  ASSERT_EQ(made.status, 0) << made.out;
  ASSERT_EQ(made.out, "できた\n");

  fs::copy_file(dir_ / "app", dir_ / "x" / "app");
  fs::remove(dir_ / "inner.dat");
  ProgramRun packed =
      run_program(dir_ / "x" / "app", {"-console"}, dir_ / "elsewhere", dir_ / "tmp");
  EXPECT_EQ(packed.status, 0);
  EXPECT_EQ(packed.out, "梱包された表ソ\n");
  // The temporary archive and the extracted copy are gone when the program has ended.
  EXPECT_FALSE(fs::exists(dir_ / "tmp" / "TMP1.TMP"));
  EXPECT_FALSE(fs::exists(dir_ / "tmp" / "INNER.DAT"));

  // -run first skips the package: nothing to run, nothing shown.
  ProgramRun skipped =
      run_program(dir_ / "x" / "app", {"-run", "-console"}, dir_ / "elsewhere", dir_ / "tmp");
  EXPECT_EQ(skipped.status, 0);
  EXPECT_EQ(skipped.out, "");

  // -resource serves the same packed files to a script read from disk.
  ASSERT_TRUE(inner.SaveToFile(dir_ / "inner.dat"));
  TFileMixWriter resource;
  resource.AddFile(text::from_utf8((dir_ / "inner.dat").string()), "inner.dat", 0);
  ASSERT_TRUE(resource.SaveToFile(dir_ / "res.dat"));
  fs::copy_file(dir_ / "app.mrv", dir_ / "elsewhere" / "app.mrv");
  ProgramRun served =
      run_program(morivel, {"-console", "-resource", (dir_ / "res.dat").string(), "app.mrv"},
                  dir_ / "elsewhere", dir_ / "tmp");
  EXPECT_EQ(served.status, 0);
  EXPECT_EQ(served.out, "梱包された表ソ\n");
}
