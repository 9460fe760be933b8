// Tests for the native names of script paths and the line-buffered handle streams.
#include "commands/file_handles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "text/encoding.h"

namespace morivel::commands {
namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "morivel-files-XXXXXX").string();
    path_ = fs::path(::mkdtemp(pattern.data()));
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void write(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary);
  out << bytes;
}

std::string read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(NativeNames, ShiftJisNamesBecomeUtf8AndBack) {
  EXPECT_EQ(native_path(text::sjis("表\\ソ.txt")).native(), "表/ソ.txt");
  EXPECT_EQ(script_name_of("表ソ.txt"), text::sjis("表ソ.txt"));
  EXPECT_EQ(script_path_of(fs::path("/tmp/表")), text::sjis("/tmp/表"));
}

TEST(NativeNames, NamesThatAreNotUtf8StayReachable) {
  TempFolder folder;
  const std::string latin1 = "caf\xe9.txt";           // not UTF-8
  const std::string raw_sjis = text::sjis("表.txt");  // a Shift-JIS name written by another system
  write(folder.path() / latin1, "latin");
  write(folder.path() / raw_sjis, "raw");
  // Listed as their bytes, and those bytes lead back to the same files.
  EXPECT_EQ(script_name_of(latin1), latin1);
  EXPECT_EQ(script_name_of(raw_sjis), raw_sjis);
  std::string base = script_path_of(folder.path()) + "/";
  EXPECT_EQ(read(native_path(base + latin1)), "latin");
  EXPECT_EQ(read(native_path(base + raw_sjis)), "raw");
  // Once a UTF-8 twin exists it wins, as a script writing 表.txt means it.
  write(folder.path() / "表.txt", "utf8");
  EXPECT_EQ(read(native_path(base + raw_sjis)), "utf8");
}

TEST(NativeNames, UnicodeNamesWithoutShiftJisFormAreShownRaw) {
  const std::string hangul = "\xed\x95\x9c.txt";  // 한
  EXPECT_EQ(script_name_of(hangul), hangul);
}

TEST(TextFileStream, LinesAcrossTheBufferBoundary) {
  TempFolder folder;
  fs::path file = folder.path() / "lines.txt";
  // CR is the last byte of the first fill, its LF the first of the next.
  std::string a(TTextFileStream::kBufferSize - 1, 'a');
  // A double-byte character split by the next boundary (its lead byte at 8191), then every kind
  // of line end.
  std::string b(TTextFileStream::kBufferSize - 1, 'b');
  write(file, a + "\r\n" + b.substr(0, b.size() - 1) + text::sjis("表") +
                  std::string("\nx\ry\r\n\0z\r", 9));
  TTextFileStream stream(file, O_RDWR);
  ASSERT_TRUE(stream.IsOpen());
  EXPECT_EQ(stream.ReadLine(), a);
  EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(a.size() + 2));
  std::string second = stream.ReadLine();
  EXPECT_EQ(second.size(), b.size() + 1);
  EXPECT_EQ(second.substr(second.size() - 2), text::sjis("表"));
  EXPECT_EQ(stream.ReadLine(), "x");
  EXPECT_EQ(stream.ReadLine(), "y");
  EXPECT_EQ(stream.ReadLine(), "");  // the NUL ended it
  EXPECT_FALSE(stream.AtEnd());
  EXPECT_EQ(stream.ReadLine(), "z");
  EXPECT_TRUE(stream.AtEnd());
  EXPECT_EQ(stream.ReadLine(), "");
}

TEST(TextFileStream, WritesOverwriteInPlaceAtTheReadPosition) {
  TempFolder folder;
  fs::path file = folder.path() / "w.txt";
  write(file, "line1\r\nline2\r\nline3\r\n");
  {
    TTextFileStream stream(file, O_RDWR);
    EXPECT_EQ(stream.ReadLine(), "line1");
    EXPECT_TRUE(stream.WriteLine("AB"));
    EXPECT_EQ(stream.ReadLine(), "2");
    stream.Seek(2);
    EXPECT_EQ(stream.ReadBytes(3), "ne1");
    EXPECT_TRUE(stream.WriteBytes(std::string("Z\0", 2)));
    stream.SeekEnd();
    EXPECT_TRUE(stream.AtEnd());
    EXPECT_EQ(stream.ReadBytes(10), "");
  }
  EXPECT_EQ(read(file), std::string("line1Z\0AB\r\n2\r\nline3\r\n", 21));
}

TEST(TextFileStream, EmptyAndMissingFiles) {
  TempFolder folder;
  TTextFileStream missing(folder.path() / "none.txt", O_RDWR);
  EXPECT_FALSE(missing.IsOpen());
  TTextFileStream created(folder.path() / "new.txt", O_RDWR | O_CREAT);
  ASSERT_TRUE(created.IsOpen());
  EXPECT_TRUE(created.AtEnd());
  EXPECT_EQ(created.ReadLine(), "");
}

}  // namespace
}  // namespace morivel::commands
