// Archives through libarchive (reading every format it knows; writing zip, tar and 7z) and our
// own LHA writer.
#include "archive/archive_io.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <optional>

#include "archive/archive_library.h"
#include "archive/lha_writer.h"
#include "commands/file_handles.h"
#include "text/encoding.h"
#include "text/paths.h"

namespace fs = std::filesystem;

namespace morivel::archive {
namespace {

// ---- names of formats -------------------------------------------------------------------------

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

struct FormatNames {
  Format format;
  const char* description;  // UTF-8
  const char* component;
};

constexpr std::array<FormatNames, 9> kFormatNames{{
    {Format::Lha, "LHA 形式書庫", "UNLHA32.DLL"},
    {Format::Zip, "ZIP 形式書庫", "UNZIP32.DLL"},
    {Format::Cab, "CAB 形式書庫", "CAB32.DLL"},
    {Format::Arj, "ARJ 形式書庫", "UNARJ32J.DLL"},
    {Format::Tar, "tar/tgz/taz/bz2 形式書庫", "TAR32.DLL"},
    {Format::Tgz, "tar/tgz/taz/bz2 形式書庫", "TAR32.DLL"},
    {Format::Bz2, "tar/tgz/taz/bz2 形式書庫", "TAR32.DLL"},
    {Format::Rar, "RAR 形式書庫", "UNRAR32.DLL"},
    {Format::Bga, "BGA 形式書庫", "BGA32.DLL"},
}};

// ---- libarchive handles -----------------------------------------------------------------------

// The library's table. Only called once a public entry point has made sure the library is there,
// so handles and their deleters can take it for granted.
const ArchiveApi& la() {
  return *ArchiveLibrary::Get();
}

// Work on an archive of `format` needs the library; without it the failure names what is missing
// as for any other missing archiver component.
void require_library(Format format) {
  if (ArchiveLibrary::Get()) return;
  std::string what = format_description(format);
  if (what.empty()) what = text::sjis("書庫");
  throw ArchiveError(what + text::sjis(" を扱うには ") + ArchiveApi::kSoname +
                     text::sjis(" が 必要です。"));
}

struct ReadCloser {
  void operator()(struct archive* a) const { la().read_free(a); }
};
struct WriteCloser {
  void operator()(struct archive* a) const { la().write_free(a); }
};
struct EntryFree {
  void operator()(archive_entry* e) const { la().entry_free(e); }
};
using ReadHandle = std::unique_ptr<struct archive, ReadCloser>;
using WriteHandle = std::unique_ptr<struct archive, WriteCloser>;

// libarchive names texts in the thread's character set; inside the archive layer that is UTF-8,
// whatever the process locale is, so names come and go without loss.
class Utf8Locale {
 public:
  Utf8Locale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
    if (locale_) previous_ = uselocale(locale_);
  }
  ~Utf8Locale() {
    if (!locale_) return;
    uselocale(previous_);
    freelocale(locale_);
  }
  Utf8Locale(const Utf8Locale&) = delete;
  Utf8Locale& operator=(const Utf8Locale&) = delete;

 private:
  locale_t locale_;
  locale_t previous_ = static_cast<locale_t>(0);
};

ArchiveError library_error(struct archive* a, const char* what) {
  const char* reason = la().error_string(a);
  return ArchiveError(text::sjis(what) + (reason ? text::from_utf8(reason) : std::string()));
}

// ---- packing ----------------------------------------------------------------------------------

std::int64_t modification_time(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_mtime) : 0;
}

void pack_lha(const fs::path& archive_path, const std::vector<PackItem>& items) {
  LhaWriter writer(archive_path);
  for (const PackItem& item : items) {
    std::int64_t mtime = modification_time(item.source);
    if (item.is_folder) {
      writer.AddFolder(item.stored_name, mtime);
      continue;
    }
    std::ifstream in(item.source, std::ios::binary);
    if (!in) throw ArchiveError(text::sjis("ファイルが読めません: ") + item.stored_name);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ArchiveError(text::sjis("ファイルが読めません: ") + item.stored_name);
    writer.AddFile(item.stored_name, data, mtime);
  }
  writer.Finish();
}

void set_write_format(struct archive* a, Format format) {
  int rc = ARCHIVE_OK;
  switch (format) {
    case Format::Zip:
      rc = la().write_set_format_zip(a);
      if (rc == ARCHIVE_OK) la().write_set_options(a, "zip:compression=deflate");
      break;
    case Format::SevenZip:
      rc = la().write_set_format_7zip(a);
      break;
    case Format::Tgz:
      rc = la().write_add_filter_gzip(a);
      if (rc == ARCHIVE_OK) rc = la().write_set_format_pax_restricted(a);
      break;
    case Format::Bz2:
      rc = la().write_add_filter_bzip2(a);
      if (rc == ARCHIVE_OK) rc = la().write_set_format_pax_restricted(a);
      break;
    default:
      rc = la().write_set_format_pax_restricted(a);
      break;
  }
  if (rc != ARCHIVE_OK) throw library_error(a, "書庫を作れません。");
}

void write_file_data(struct archive* a, const PackItem& item) {
  std::ifstream in(item.source, std::ios::binary);
  if (!in) throw ArchiveError(text::sjis("ファイルが読めません: ") + item.stored_name);
  std::array<char, 65536> buffer;
  while (in) {
    in.read(buffer.data(), buffer.size());
    std::streamsize got = in.gcount();
    if (got > 0 && la().write_data(a, buffer.data(), static_cast<std::size_t>(got)) < 0)
      throw library_error(a, "書庫に書き込めません。");
  }
  if (in.bad()) throw ArchiveError(text::sjis("ファイルが読めません: ") + item.stored_name);
}

void write_item(struct archive* a, const PackItem& item) {
  struct stat st {};
  if (::stat(item.source.c_str(), &st) != 0)
    throw ArchiveError(text::sjis("ファイルがありません: ") + item.stored_name);
  std::unique_ptr<archive_entry, EntryFree> entry(la().entry_new());
  std::string name = text::to_utf8(item.stored_name);
  if (item.is_folder && (name.empty() || name.back() != '/')) name += '/';
  la().entry_set_pathname(entry.get(), name.c_str());
  la().entry_set_filetype(entry.get(), item.is_folder ? AE_IFDIR : AE_IFREG);
  la().entry_set_perm(entry.get(), st.st_mode & 0755);
  la().entry_set_mtime(entry.get(), st.st_mtime, 0);
  la().entry_set_size(entry.get(), item.is_folder ? 0 : st.st_size);
  if (la().write_header(a, entry.get()) < ARCHIVE_WARN)
    throw library_error(a, "書庫に書き込めません。");
  if (!item.is_folder) write_file_data(a, item);
}

void pack_library(const fs::path& archive_path, Format format, const std::vector<PackItem>& items) {
  require_library(format);
  WriteHandle a(la().write_new());
  set_write_format(a.get(), format);
  if (format == Format::Zip) la().write_set_options(a.get(), "hdrcharset=UTF-8");
  if (la().write_open_filename(a.get(), archive_path.c_str()) != ARCHIVE_OK)
    throw library_error(a.get(), "書庫を作れません。");
  for (const PackItem& item : items) write_item(a.get(), item);
  if (la().write_close(a.get()) != ARCHIVE_OK) throw library_error(a.get(), "書庫を作れません。");
}

// ---- extraction -------------------------------------------------------------------------------

bool is_drive_like(const std::string& component) {
  return component.find(':') != std::string::npos;
}

// The components an entry name leads to below the target, or nothing when it would leave it.
std::optional<std::vector<std::string>> safe_components(const std::string& sjis_name,
                                                        bool keep_paths) {
  if (sjis_name.empty()) return std::nullopt;
  if (text::is_path_separator_at(sjis_name, 0)) return std::nullopt;
  std::vector<std::string> parts;
  for (const std::string& part : text::split_path(sjis_name)) {
    if (part.empty() || part == ".") continue;
    if (part == ".." || is_drive_like(part)) return std::nullopt;
    parts.push_back(part);
  }
  if (parts.empty()) return std::nullopt;
  if (!keep_paths) parts.erase(parts.begin(), parts.end() - 1);
  return parts;
}

// Folders below `base` along `parts`, made as needed; nothing when one of them is anything but
// a real folder (a link above all).
std::optional<fs::path> make_folders(const fs::path& base, const std::vector<std::string>& parts) {
  fs::path here = base;
  for (const std::string& part : parts) {
    here /= commands::native_path(part);
    struct stat st {};
    if (::lstat(here.c_str(), &st) != 0) {
      if (::mkdir(here.c_str(), 0755) != 0) return std::nullopt;
    } else if (!S_ISDIR(st.st_mode)) {
      return std::nullopt;
    }
  }
  return here;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

class Extractor {
 public:
  Extractor(struct archive* a, fs::path target, const ExtractOptions& options)
      : a_(a), target_(std::move(target)), options_(options) {}

  ExtractReport Run() {
    std::error_code ec;
    fs::create_directories(target_, ec);
    if (!fs::is_directory(target_, ec))
      throw ArchiveError(text::sjis("解凍先のフォルダが作れません。"));
    archive_entry* entry = nullptr;
    for (;;) {
      int rc = la().read_next_header(a_, &entry);
      if (rc == ARCHIVE_EOF) break;
      if (rc < ARCHIVE_WARN) throw library_error(a_, "書庫が読めません。");
      if (++entries_ > options_.max_entries)
        throw ArchiveError(text::sjis("書庫の項目が多すぎます。"));
      Entry(entry);
    }
    return report_;
  }

 private:
  std::string NameOf(archive_entry* entry) const {
    const char* raw = la().entry_pathname(entry);
    if (!raw) raw = la().entry_pathname_utf8(entry);
    return raw ? entry_name_as_sjis(raw) : std::string();
  }

  void Entry(archive_entry* entry) {
    std::string name = NameOf(entry);
    auto type = la().entry_filetype(entry);
    bool is_folder = type == AE_IFDIR;
    bool links = la().entry_hardlink(entry) || la().entry_symlink(entry);
    std::optional<std::vector<std::string>> parts = safe_components(name, options_.keep_paths);
    if (!parts || links || (type != AE_IFREG && !is_folder)) return Refuse(name);
    if (is_folder) {
      if (options_.keep_paths && !make_folders(target_, *parts)) Refuse(name);
      return;
    }
    std::string file_name = parts->back();
    parts->pop_back();
    std::optional<fs::path> folder = make_folders(target_, *parts);
    if (!folder) return Refuse(name);
    WriteFile(entry, *folder, *folder / commands::native_path(file_name), name);
  }

  void Refuse(const std::string& name) { report_.refused.push_back(name); }

  bool KeepExisting(archive_entry* entry, const fs::path& path) const {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) return true;
    return !options_.always_overwrite && st.st_mtime > la().entry_mtime(entry);
  }

  void WriteFile(archive_entry* entry, const fs::path& folder, const fs::path& path,
                 const std::string& name) {
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return Refuse(name);
    if (KeepExisting(entry, path)) return;
    std::string temp = (folder / ".morivel-extract-XXXXXX").string();
    FileDescriptor fd(::mkstemp(temp.data()));
    if (fd.get() < 0) throw ArchiveError(text::sjis("ファイルが書けません: ") + name);
    try {
      CopyData(fd.get(), name);
      ::fchmod(fd.get(), la().entry_perm(entry) & 0755 ? la().entry_perm(entry) & 0755 : 0644);
      if (!fd.Close()) throw ArchiveError(text::sjis("ファイルが書けません: ") + name);
      SetTime(temp, entry);
      if (::rename(temp.c_str(), path.c_str()) != 0)
        throw ArchiveError(text::sjis("ファイルが書けません: ") + name);
    } catch (...) {
      ::unlink(temp.c_str());
      throw;
    }
    ++report_.files_written;
  }

  void CopyData(int fd, const std::string& name) {
    std::array<char, 65536> buffer;
    for (;;) {
      la_ssize_t got = la().read_data(a_, buffer.data(), buffer.size());
      if (got == 0) return;
      if (got < 0) throw library_error(a_, "書庫が読めません。");
      written_ += static_cast<std::uint64_t>(got);
      if (written_ > options_.max_total_bytes)
        throw ArchiveError(text::sjis("展開後の大きさが上限を超えました: ") + name);
      for (la_ssize_t done = 0; done < got;) {
        ssize_t n = ::write(fd, buffer.data() + done, static_cast<std::size_t>(got - done));
        if (n <= 0) throw ArchiveError(text::sjis("ファイルが書けません: ") + name);
        done += n;
      }
    }
  }

  static void SetTime(const std::string& path, archive_entry* entry) {
    if (!la().entry_mtime_is_set(entry)) return;
    std::array<struct timespec, 2> times{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = la().entry_mtime(entry);
    ::utimensat(AT_FDCWD, path.c_str(), times.data(), 0);
  }

  struct archive* a_;
  fs::path target_;
  const ExtractOptions& options_;
  ExtractReport report_;
  std::uint64_t written_ = 0;
  std::uint64_t entries_ = 0;
};

ReadHandle new_reader() {
  ReadHandle a(la().read_new());
  la().read_support_filter_all(a.get());
  la().read_support_format_all(a.get());
  // LHA names carry no character set; Shift-JIS is what LHA archives hold, ours included.
  la().read_set_options(a.get(), "lha:hdrcharset=CP932");
  return a;
}

}  // namespace

Format format_from_name(std::string_view name) {
  std::string ext = lower_ascii(text::extract_extension(name));
  struct Mapping {
    const char* ext;
    Format format;
  };
  static constexpr std::array<Mapping, 23> kMappings{{
      {".lzh", Format::Lha},  {".cab", Format::Cab}, {".zip", Format::Zip},
      {".jar", Format::Zip},  {".arj", Format::Arj}, {".rar", Format::Rar},
      {".gca", Format::Gca},  {".gza", Format::Bga}, {".bza", Format::Bga},
      {".bz2", Format::Bz2},  {".a", Format::Tar},   {".lib", Format::Tar},
      {".tar", Format::Tar},  {".deb", Format::Tar}, {".rpm", Format::Tar},
      {".cpio", Format::Tar}, {".z", Format::Tgz},   {".gz", Format::Tgz},
      {".tgz", Format::Tgz},  {".taz", Format::Tgz}, {".7z", Format::SevenZip},
      {".yz1", Format::Yz1},  {".bel", Format::Bel},
  }};
  for (const Mapping& m : kMappings)
    if (ext == m.ext) return m.format;
  return Format::None;
}

std::string format_description(Format format) {
  for (const FormatNames& f : kFormatNames)
    if (f.format == format) return text::sjis(f.description);
  return format == Format::SevenZip ? text::sjis("7z 形式書庫") : std::string();
}

std::string format_component(Format format) {
  for (const FormatNames& f : kFormatNames)
    if (f.format == format) return f.component;
  return format == Format::SevenZip ? "7-zip32.dll" : std::string();
}

void pack(const fs::path& archive_path, Format format, const std::vector<PackItem>& items) {
  Utf8Locale utf8;
  try {
    switch (format) {
      case Format::Lha:
        pack_lha(archive_path, items);
        break;
      case Format::Zip:
      case Format::Tar:
      case Format::Tgz:
      case Format::Bz2:
      case Format::SevenZip:
        pack_library(archive_path, format, items);
        break;
      default:
        throw ArchiveError(text::sjis("この形式では書庫ファイルの作成をサポートしておりません。"));
    }
  } catch (const std::exception& e) {
    std::error_code ec;
    fs::remove(archive_path, ec);
    if (dynamic_cast<const ArchiveError*>(&e)) throw;
    throw ArchiveError(text::from_utf8(e.what()));
  }
}

ExtractReport extract(const fs::path& archive_path, const fs::path& target,
                      const ExtractOptions& options) {
  require_library(format_from_name(archive_path.filename().string()));
  Utf8Locale utf8;
  ReadHandle a = new_reader();
  if (la().read_open_filename(a.get(), archive_path.c_str(), 65536) != ARCHIVE_OK)
    throw library_error(a.get(), "書庫が読めません。");
  return Extractor(a.get(), target, options).Run();
}

ExtractReport extract_memory(std::string_view archive_bytes, const fs::path& target,
                             const ExtractOptions& options) {
  require_library(Format::None);
  Utf8Locale utf8;
  ReadHandle a = new_reader();
  if (la().read_open_memory(a.get(), archive_bytes.data(), archive_bytes.size()) != ARCHIVE_OK)
    throw library_error(a.get(), "書庫が読めません。");
  return Extractor(a.get(), target, options).Run();
}

std::string entry_name_as_sjis(std::string_view raw) {
  return text::is_valid_utf8(raw) ? text::from_utf8(raw) : std::string(raw);
}

}  // namespace morivel::archive
