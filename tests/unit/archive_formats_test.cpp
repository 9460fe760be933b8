// Archives: our LHA writer read back by libarchive, every writable format round-tripped, and
// hostile archives that must not write outside their target.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "archive/archive_io.h"
#include "archive/archiver_options.h"
#include "archive/lha_writer.h"
#include "text/encoding.h"

namespace fs = std::filesystem;
using namespace morivel;
using namespace morivel::archive;

namespace {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "morivel-archive-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string random_bytes(std::size_t n, unsigned seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() % alphabet);
  return s;
}

// Text-like data with repeats near and far, so that matches of every length and distance occur.
std::string mixed_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    if (s.size() > 10 && rng() % 3 == 0) {
      std::size_t distance = 1 + rng() % std::min<std::size_t>(s.size(), 9000);
      std::size_t length = 1 + rng() % 300;
      for (std::size_t k = 0; k < length; ++k) s.push_back(s[s.size() - distance]);
    } else {
      s.push_back(static_cast<char>('a' + rng() % 20));
    }
  }
  s.resize(n);
  return s;
}

void write_file(const fs::path& p, const std::string& data) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << data;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every entry of an archive read by libarchive: name (as stored) to contents.
std::map<std::string, std::string> read_with_libarchive(const fs::path& archive_path) {
  std::map<std::string, std::string> entries;
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  locale_t previous = uselocale(utf8);
  struct archive* a = archive_read_new();
  archive_read_support_filter_all(a);
  archive_read_support_format_all(a);
  archive_read_set_options(a, "lha:hdrcharset=CP932");
  EXPECT_EQ(archive_read_open_filename(a, archive_path.c_str(), 65536), ARCHIVE_OK)
      << archive_error_string(a);
  archive_entry* e = nullptr;
  while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
    std::string data;
    char buffer[65536];
    la_ssize_t n;
    while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0) data.append(buffer, n);
    EXPECT_GE(n, 0) << archive_error_string(a);
    entries[entry_name_as_sjis(archive_entry_pathname(e))] = data;
  }
  archive_read_free(a);
  uselocale(previous);
  freelocale(utf8);
  return entries;
}

}  // namespace

TEST(LhaWriter, Crc16MatchesTheKnownCheckValue) {
  EXPECT_EQ(lha_crc16(0, "123456789"), 0xBB3D);
}

TEST(LhaWriter, LibarchiveReadsBackEveryKindOfData) {
  TempDir dir;
  fs::path archive_path = dir.path() / "t.lzh";
  std::map<std::string, std::string> files = {
      {"empty.bin", ""},
      {"one.bin", "x"},
      {"zeros.bin", std::string(300000, '\0')},
      {"random.bin", random_bytes(100000, 1)},
      {"few_symbols.bin", random_bytes(200000, 2, 3)},
      {"mixed.txt", mixed_bytes(700000, 3)},
      {"sub/dir/inner.txt", mixed_bytes(5000, 4)},
      {text::sjis("日本語フォルダ/表示.txt"), "sjis"},
  };
  LhaWriter writer(archive_path);
  writer.AddFolder("sub", 0);
  for (const auto& [name, data] : files) writer.AddFile(name, data, 1700000000);
  writer.Finish();

  std::map<std::string, std::string> back = read_with_libarchive(archive_path);
  for (const auto& [name, data] : files) {
    ASSERT_TRUE(back.count(name)) << name;
    EXPECT_EQ(back[name], data) << name;
  }
  EXPECT_LT(fs::file_size(archive_path), 300000u + 100000u + 200000u);
}

TEST(LhaWriter, TenMegabytesOfRandomAndMixedDataRoundTrip) {
  TempDir dir;
  fs::path archive_path = dir.path() / "big.lzh";
  std::string random = random_bytes(10u << 20, 7);
  std::string mixed = mixed_bytes(10u << 20, 8);
  LhaWriter writer(archive_path);
  writer.AddFile("random", random, 0);
  writer.AddFile("mixed", mixed, 0);
  writer.Finish();
  std::map<std::string, std::string> back = read_with_libarchive(archive_path);
  EXPECT_TRUE(back["random"] == random);
  EXPECT_TRUE(back["mixed"] == mixed);
  // Random data does not shrink and is stored; the mixed data shrinks well.
  EXPECT_LT(fs::file_size(archive_path), random.size() + mixed.size() / 2);
}

// lhasa's own test of an archive (every entry decoded and its CRC checked).
bool lhasa_accepts(const fs::path& archive_path) {
  pid_t pid = fork();
  if (pid == 0) {
    int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, 1);
    execl("/usr/bin/lha", "lha", "t", archive_path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(LhaWriter, LhasaTestsOurArchivesUpToTenMegabytesWhenInstalled) {
  if (!fs::exists("/usr/bin/lha")) GTEST_SKIP() << "lhasa is not installed";
  TempDir dir;
  fs::path archive_path = dir.path() / "check.lzh";
  LhaWriter writer(archive_path);
  writer.AddFile("a.txt", mixed_bytes(400000, 11), 0);
  writer.AddFile("b.bin", random_bytes(50000, 12), 0);
  writer.Finish();
  EXPECT_TRUE(lhasa_accepts(archive_path));

  fs::path big_path = dir.path() / "big.lzh";
  LhaWriter big(big_path);
  big.AddFile("mixed", mixed_bytes(10u << 20, 13), 0);
  big.AddFile("random", random_bytes(10u << 20, 14), 0);
  big.Finish();
  EXPECT_TRUE(lhasa_accepts(big_path));
}

TEST(ArchiveFormats, EveryWritableFormatRoundTripsWithShiftJisNames) {
  TempDir dir;
  fs::path source = dir.path() / "src";
  const std::string sjis_name = text::sjis("資料/表.txt");
  write_file(source / "a.txt", "alpha\r\n");
  write_file(source / text::to_utf8(sjis_name), mixed_bytes(20000, 5));
  for (const char* name : {"out.lzh", "out.zip", "out.tar", "out.tgz", "out.bz2", "out.7z"}) {
    SCOPED_TRACE(name);
    fs::path archive_path = dir.path() / name;
    std::vector<PackItem> items = {
        {source / "a.txt", "a.txt", false},
        {source / text::to_utf8(text::sjis("資料")), text::sjis("資料"), true},
        {source / text::to_utf8(sjis_name), sjis_name, false},
    };
    pack(archive_path, format_from_name(name), items);
    fs::path target = dir.path() / (std::string("x_") + name);
    ExtractReport report = extract(archive_path, target, ExtractOptions{});
    EXPECT_TRUE(report.refused.empty());
    EXPECT_EQ(report.files_written, 2u);
    EXPECT_EQ(read_file(target / "a.txt"), "alpha\r\n");
    EXPECT_EQ(read_file(target / text::to_utf8(sjis_name)),
              read_file(source / text::to_utf8(sjis_name)));
  }
}

TEST(ArchiveFormats, FormatsWithoutAWriterAreRefusedAndLeaveNoFile) {
  TempDir dir;
  write_file(dir.path() / "a.txt", "a");
  fs::path archive_path = dir.path() / "x.cab";
  EXPECT_THROW(pack(archive_path, Format::Cab, {{dir.path() / "a.txt", "a.txt", false}}),
               ArchiveError);
  EXPECT_FALSE(fs::exists(archive_path));
}

TEST(ArchiveFormats, NamesGiveTheArchiverKinds) {
  EXPECT_EQ(format_from_name("a.LZH"), Format::Lha);
  EXPECT_EQ(format_from_name("a.jar"), Format::Zip);
  EXPECT_EQ(format_from_name("a.gz"), Format::Tgz);
  EXPECT_EQ(format_from_name("a.taz"), Format::Tgz);
  EXPECT_EQ(format_from_name("a.deb"), Format::Tar);
  EXPECT_EQ(format_from_name("a.bza"), Format::Bga);
  EXPECT_EQ(format_from_name("a.gca"), Format::Gca);
  EXPECT_EQ(format_from_name("a.7Z"), Format::SevenZip);
  EXPECT_EQ(format_from_name("a.exe"), Format::None);
  EXPECT_EQ(format_from_name("noext"), Format::None);
}

TEST(ArchiverOptions, OnlyKnownSwitchesWithDigitsCount) {
  ArchiverOptions options;
  options.Read("-a1 -gx0 -q");
  EXPECT_EQ(options.Get("a"), 1);
  EXPECT_EQ(options.Get("gx"), -1);
  EXPECT_EQ(options.Get("q"), -1);
  options.Read(" -jso1  r2 -x");
  EXPECT_EQ(options.Get("jso"), 1);
  EXPECT_EQ(options.Get("r"), 2);
  EXPECT_EQ(options.Get("x"), -1);
  EXPECT_EQ(options.CommandLine("x", "C:\\a.lzh", "C:\\out", ""),
            "x -+ -a1 -r2 -jso1 \"C:\\a.lzh\" \"C:\\out\\\"");
}

// ---- hostile archives ---------------------------------------------------------------------------

namespace {

struct HostileEntry {
  HostileEntry(std::string n, std::string d, unsigned t = AE_IFREG, std::string l = {})
      : name(std::move(n)), data(std::move(d)), type(t), link(std::move(l)) {}
  std::string name;
  std::string data;
  unsigned type;
  std::string link;  // symlink target, or hardlink source with type 0
};

void write_tar(const fs::path& path, const std::vector<HostileEntry>& entries) {
  struct archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
  for (const HostileEntry& h : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, h.name.c_str());
    archive_entry_set_perm(e, 0644);
    if (h.type == 0) {
      archive_entry_set_filetype(e, AE_IFREG);
      archive_entry_set_hardlink(e, h.link.c_str());
    } else {
      archive_entry_set_filetype(e, h.type);
      if (h.type == AE_IFLNK) archive_entry_set_symlink(e, h.link.c_str());
      if (h.type == AE_IFREG) archive_entry_set_size(e, static_cast<la_int64_t>(h.data.size()));
    }
    archive_write_header(a, e);
    if (h.type == AE_IFREG) archive_write_data(a, h.data.data(), h.data.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
}

}  // namespace

TEST(ArchiveExtraction, HostileNamesAndLinksNeverWriteOutsideTheTarget) {
  TempDir dir;
  fs::path outside = dir.path() / "outside";
  fs::create_directories(outside);
  fs::path target = dir.path() / "target";
  fs::path archive_path = dir.path() / "evil.tar";
  write_tar(archive_path, {
                              {"../escaped.txt", "x"},
                              {"a/../../escaped2.txt", "x"},
                              {(outside / "absolute.txt").string(), "x"},
                              {"C:\\windows.txt", "x"},
                              {"..\\backslash.txt", "x"},
                              {"link", "", AE_IFLNK, outside.string()},
                              {"link/through.txt", "x"},
                              {"hard", "", 0, (outside / "victim").string()},
                              {"fine/ok.txt", "ok"},
                          });
  ExtractReport report = extract(archive_path, target, ExtractOptions{});
  // The link itself is refused; the entry below it then lands in a real folder of that name.
  EXPECT_EQ(report.files_written, 2u);
  EXPECT_EQ(report.refused.size(), 7u);
  EXPECT_EQ(read_file(target / "fine" / "ok.txt"), "ok");
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_FALSE(fs::exists(dir.path() / "escaped.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "escaped2.txt"));
  EXPECT_FALSE(fs::is_symlink(target / "link"));
  EXPECT_EQ(read_file(target / "link" / "through.txt"), "x");
}

TEST(ArchiveExtraction, ALinkAlreadyInTheTargetIsReplacedNotFollowed) {
  TempDir dir;
  fs::path outside = dir.path() / "outside";
  fs::create_directories(outside);
  write_file(outside / "victim.txt", "keep");
  fs::path target = dir.path() / "target";
  fs::create_directories(target);
  fs::create_symlink(outside / "victim.txt", target / "victim.txt");
  fs::create_symlink(outside, target / "sub");
  fs::path archive_path = dir.path() / "a.tar";
  write_tar(archive_path, {{"victim.txt", "new"}, {"sub/x.txt", "x"}});
  ExtractReport report = extract(archive_path, target, ExtractOptions{});
  EXPECT_EQ(read_file(outside / "victim.txt"), "keep");
  EXPECT_FALSE(fs::exists(outside / "x.txt"));
  EXPECT_EQ(read_file(target / "victim.txt"), "new");
  EXPECT_EQ(report.refused.size(), 1u);
}

TEST(ArchiveExtraction, ABombStopsAtTheSizeLimitAndLeavesNoPartialFile) {
  TempDir dir;
  fs::path archive_path = dir.path() / "bomb.zip";
  write_file(dir.path() / "zeros", std::string(8u << 20, '\0'));
  pack(archive_path, Format::Zip, {{dir.path() / "zeros", "zeros", false}});
  EXPECT_LT(fs::file_size(archive_path), 100000u);
  ExtractOptions options;
  options.max_total_bytes = 1u << 20;
  fs::path target = dir.path() / "target";
  EXPECT_THROW(extract(archive_path, target, options), ArchiveError);
  EXPECT_TRUE(fs::is_empty(target));
}

TEST(ArchiveExtraction, BrokenArchivesAreErrorsNotCrashes) {
  TempDir dir;
  fs::path target = dir.path() / "t";
  EXPECT_THROW(extract_memory("not an archive at all", target, {}), ArchiveError);
  TempDir src;
  write_file(src.path() / "f", mixed_bytes(50000, 9));
  fs::path lzh = src.path() / "a.lzh";
  pack(lzh, Format::Lha, {{src.path() / "f", "f", false}});
  std::string bytes = read_file(lzh);
  for (std::size_t cut : {std::size_t{10}, std::size_t{40}, bytes.size() / 2}) {
    std::string damaged = bytes.substr(0, cut);
    EXPECT_THROW(extract_memory(damaged, target, {}), ArchiveError) << cut;
  }
  for (std::size_t i = 60; i < bytes.size(); i += 997) bytes[i] = static_cast<char>(~bytes[i]);
  EXPECT_THROW(extract_memory(bytes, target, {}), ArchiveError);
}

TEST(ArchiveExtraction, WithoutPathsEveryFileLandsInTheTarget) {
  TempDir dir;
  fs::path archive_path = dir.path() / "p.tar";
  write_tar(archive_path, {{"deep/er/f.txt", "f"}});
  ExtractOptions options;
  options.keep_paths = false;
  extract(archive_path, dir.path() / "t", options);
  EXPECT_EQ(read_file(dir.path() / "t" / "f.txt"), "f");
  EXPECT_FALSE(fs::exists(dir.path() / "t" / "deep"));
}
