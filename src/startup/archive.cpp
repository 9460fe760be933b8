// The packed-file archive: scrambler, writer, reader and the search for an archive after an ELF
// image.
#include "startup/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <system_error>

#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::startup {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[] = "fMix";
constexpr std::uint32_t kSeed = 2741;

std::uint32_t read_le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(u[0]) | static_cast<std::uint32_t>(u[1]) << 8 |
         static_cast<std::uint32_t>(u[2]) << 16 | static_cast<std::uint32_t>(u[3]) << 24;
}

void put_le(std::string& out, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The part of `s` before the first "=" that starts a character, and the rest after it.
std::pair<std::string, std::string> split_at_equals(const std::string& s) {
  std::size_t at = text::find_at_char_start(s, "=");
  if (at == std::string::npos) return {s, std::string()};
  return {s.substr(0, at), s.substr(at + 1)};
}

// The flag text as a number: 0 when it is no integer, nothing when it does not fit a byte.
std::optional<int> parse_flag(const std::string& flag_text) {
  std::string_view t = text::trim_view(flag_text);
  long value = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (ec == std::errc::result_out_of_range) return std::nullopt;
  if (ec != std::errc() || end != t.data() + t.size()) return 0;
  if (value < 0 || value > 255) return std::nullopt;
  return static_cast<int>(value);
}

std::string format_error(const fs::path& path) {
  return "\"" + text::from_utf8(path.string()) +
         text::sjis("\"は、TFileMixHeaderでは形式が違うため読めません。");
}

std::optional<std::string> read_at(std::istream& in, std::uint64_t offset, std::size_t size) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(size, '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return std::nullopt;
  return bytes;
}

}  // namespace

// ---- keys and names ---------------------------------------------------------------------------

const std::string& ArchiveKey() {
  static const std::string key = text::sjis("#なつ&ゆき＊?###");
  return key;
}

const std::string& DefaultCipherKey() {
  static const std::string key = text::sjis("ホbミレd47も5Q?る");
  return key;
}

std::string UpperArchiveName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    std::size_t len = text::char_len(name, i);
    if (len == 1) {
      char c = name[i];
      out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    } else {
      out.append(name.substr(i, len));
    }
    i += len;
  }
  if (out.size() > kArchiveNameField - 1) out.resize(kArchiveNameField - 1);
  return out;
}

std::string PackedCopyName(std::string_view name) {
  std::string upper = UpperArchiveName(name), out;
  for (std::size_t i = 0; i < upper.size();) {
    std::size_t len = text::char_len(upper, i);
    char c = upper[i];
    out += (len == 1 && (c == ':' || c == '\\' || c == '/')) ? std::string("__")
                                                             : upper.substr(i, len);
    i += len;
  }
  // "." and ".." would name the folder itself or its parent.
  if (out.find_first_not_of('.') == std::string::npos) out = "__" + out;
  return out;
}

fs::path NativePath(const std::string& sjis) {
  std::string s;
  for (std::size_t i = 0; i < sjis.size();) {
    std::size_t len = text::char_len(sjis, i);
    s += (len == 1 && sjis[i] == '\\') ? std::string("/") : sjis.substr(i, len);
    i += len;
  }
  return fs::path(text::to_utf8(s));
}

std::optional<std::string> ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

namespace {

// A temporary file beside the file it will replace; removed unless it was renamed into place.
class TemporaryBeside {
 public:
  explicit TemporaryBeside(const fs::path& target) {
    fs::path folder = target.parent_path();
    pattern_ =
        ((folder.empty() ? fs::path(".") : folder) / ("." + target.filename().string() + ".XXXXXX"))
            .string();
    fd_ = ::mkstemp(pattern_.data());
    created_ = fd_ >= 0;
  }
  ~TemporaryBeside() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !renamed_) ::unlink(pattern_.c_str());
  }
  TemporaryBeside(const TemporaryBeside&) = delete;
  TemporaryBeside& operator=(const TemporaryBeside&) = delete;

  bool Open() const { return fd_ >= 0; }

  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // Gives the file the mode the replaced file had (or a new file's mode), makes its bytes
  // durable and renames it over `target`.
  bool Replace(const fs::path& target) {
    struct stat old {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &old) == 0) {
      mode = old.st_mode & 07777;
    } else {
      mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0) return false;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    if (::rename(pattern_.c_str(), target.c_str()) != 0) return false;
    renamed_ = true;
    return true;
  }

 private:
  std::string pattern_;
  int fd_ = -1;
  bool created_ = false;
  bool renamed_ = false;
};

}  // namespace

bool WriteWholeFile(const fs::path& path, std::string_view bytes) {
  // Written beside the old file and renamed over it: a failed write (a full disk) leaves the
  // old content whole. A symbolic link keeps pointing at the file it names.
  std::error_code ec;
  fs::path target = fs::is_symlink(path, ec) ? fs::weakly_canonical(path, ec) : path;
  if (ec) target = path;
  if (fs::is_directory(target, ec)) return false;
  TemporaryBeside temporary(target);
  return temporary.Open() && temporary.Write(bytes) && temporary.Replace(target);
}

// ---- TCipher ----------------------------------------------------------------------------------

TCipher::TCipher() {
  // Only the low byte of each word seeds the next one: the run-time's own archives depend on it.
  state_[0] = kSeed & 0x7FFFFFFFu;
  for (std::size_t i = 1; i < state_.size(); ++i) state_[i] = (state_[i - 1] & 0xFFu) * 69069u;
  index_ = state_.size();
}

void TCipher::Regenerate() {
  constexpr std::size_t n = 624, m = 397;
  constexpr std::uint32_t upper = 0x80000000u, lower = 0x7FFFFFFFu, matrix = 0x9908B0DFu;
  for (std::size_t k = 0; k < n; ++k) {
    std::uint32_t y = (state_[k] & upper) | (state_[(k + 1) % n] & lower);
    state_[k] = state_[(k + m) % n] ^ (y >> 1) ^ ((y & 1u) ? matrix : 0u);
  }
  index_ = 0;
}

std::uint32_t TCipher::NextOutput() {
  if (index_ >= state_.size()) Regenerate();
  std::uint32_t y = state_[index_++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

void TCipher::Scramble(std::string_view key) {
  if (key.empty()) key = DefaultCipherKey();
  for (std::size_t k = 0; k < Data.size(); ++k) {
    unsigned char b =
        static_cast<unsigned char>(Data[k]) ^ static_cast<unsigned char>(key[k % key.size()]);
    Data[k] = static_cast<char>(b ^ static_cast<unsigned char>(NextOutput() >> 24));
  }
}

// ---- TFileMixWriter ---------------------------------------------------------------------------

void TFileMixWriter::AddFile(const std::string& source_path, const std::string& name, int flag) {
  Lines.push_back(source_path + "=" + name + "=" + std::to_string(flag));
}

bool TFileMixWriter::SaveToFile(const fs::path& archive_path) const {
  if (Lines.size() > 0xFFFF) return false;
  std::ofstream out(archive_path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  std::string header(kArchiveHeaderSize, '\0');
  std::copy_n(kMagic, 4, header.begin());
  header[4] = 1;
  put_le(header, 5, Lines.size(), 2);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  std::string blank(kArchiveEntrySize, '\0');
  for (std::size_t i = 0; i < Lines.size(); ++i)
    out.write(blank.data(), static_cast<std::streamsize>(blank.size()));
  std::uint64_t end = kArchiveHeaderSize + kArchiveEntrySize * Lines.size();

  for (std::size_t i = 0; i < Lines.size(); ++i) {
    auto [source, rest] = split_at_equals(Lines[i]);
    auto [name, flag_text] = split_at_equals(rest);
    std::optional<int> flag = parse_flag(flag_text);
    if (!flag) return false;
    std::optional<std::string> data = ReadWholeFile(NativePath(source));
    if (!data || end + data->size() > 0xFFFFFFFFull) return false;
    if (*flag == 1) {
      TCipher cipher(std::move(*data));
      cipher.Scramble(ArchiveKey());
      data = std::move(cipher.Data);
    }
    std::string entry(kArchiveEntrySize, '\0');
    std::string upper = UpperArchiveName(name);
    std::copy(upper.begin(), upper.end(), entry.begin());
    put_le(entry, 256, end, 4);
    put_le(entry, 260, data->size(), 4);
    entry[264] = static_cast<char>(*flag);
    out.seekp(static_cast<std::streamoff>(kArchiveHeaderSize + kArchiveEntrySize * i));
    out.write(entry.data(), static_cast<std::streamsize>(entry.size()));
    out.seekp(static_cast<std::streamoff>(end));
    out.write(data->data(), static_cast<std::streamsize>(data->size()));
    if (!out) return false;
    end += data->size();
  }
  put_le(header, 7, end, 4);
  out.seekp(0);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  out.close();
  return static_cast<bool>(out);
}

// ---- TFileMixReader ---------------------------------------------------------------------------

TFileMixReader::TFileMixReader(const fs::path& archive_path)
    : file_name_(archive_path), file_(archive_path, std::ios::binary) {
  std::error_code ec;
  file_size_ = fs::file_size(archive_path, ec);
  if (!file_ || ec) throw GeneralError(format_error(archive_path));
  std::optional<std::string> header = read_at(file_, 0, kArchiveHeaderSize);
  if (!header || header->compare(0, 4, kMagic) != 0) throw GeneralError(format_error(archive_path));
  std::size_t count = static_cast<unsigned char>((*header)[5]) |
                      static_cast<std::size_t>(static_cast<unsigned char>((*header)[6])) << 8;
  if (kArchiveHeaderSize + kArchiveEntrySize * count > file_size_)
    throw GeneralError(format_error(archive_path));
  std::optional<std::string> directory =
      read_at(file_, kArchiveHeaderSize, kArchiveEntrySize * count);
  if (!directory) throw GeneralError(format_error(archive_path));
  for (std::size_t i = 0; i < count; ++i) {
    const char* e = directory->data() + kArchiveEntrySize * i;
    // A name that fills its field without a zero is cut at the field's end.
    std::size_t len = std::find(e, e + kArchiveNameField, '\0') - e;
    Index(Entry{std::string(e, len), read_le32(e + 256), read_le32(e + 260),
                static_cast<std::uint8_t>(e[264])});
  }
}

namespace {
std::size_t bucket_of(const std::string& name) {
  std::size_t sum = 0;
  for (unsigned char c : name) sum += c;
  return sum % 1024;
}
}  // namespace

void TFileMixReader::Index(Entry entry) {
  std::vector<Entry>& bucket = buckets_[bucket_of(entry.Name)];
  for (Entry& old : bucket) {
    if (old.Name == entry.Name) {
      old = std::move(entry);
      return;
    }
  }
  bucket.push_back(std::move(entry));
}

const TFileMixReader::Entry* TFileMixReader::Find(const std::string& upper_name) const {
  for (const Entry& e : buckets_[bucket_of(upper_name)])
    if (e.Name == upper_name) return &e;
  return nullptr;
}

std::vector<std::string> TFileMixReader::Names() const {
  std::vector<std::string> names;
  for (const auto& bucket : buckets_)
    for (const Entry& e : bucket) names.push_back(e.Name);
  return names;
}

std::optional<std::string> TFileMixReader::Extract(std::string_view name) {
  const Entry* entry = Find(UpperArchiveName(name));
  if (!entry) return std::nullopt;
  if (static_cast<std::uint64_t>(entry->Offset) + entry->Size > file_size_) return std::nullopt;
  std::optional<std::string> data = read_at(file_, entry->Offset, entry->Size);
  if (!data) return std::nullopt;
  if (entry->Flag == 1) {
    TCipher cipher(std::move(*data));
    cipher.Scramble(ArchiveKey());
    return std::move(cipher.Data);
  }
  return data;
}

bool TFileMixReader::ExtractToFile(std::string_view name, const fs::path& file) {
  std::optional<std::string> data = Extract(name);
  return data && WriteWholeFile(file, *data);
}

bool TFileMixReader::SaveArchive(const fs::path& file) const {
  std::error_code ec;
  return fs::copy_file(file_name_, file, fs::copy_options::overwrite_existing, ec) && !ec;
}

// ---- appended archives ------------------------------------------------------------------------

namespace {

struct ElfReader {
  std::istream& in;
  std::uint64_t file_size;
  bool is64;
  bool little;

  std::optional<std::uint64_t> Field(std::uint64_t offset, int bytes) {
    if (offset > file_size || static_cast<std::uint64_t>(bytes) > file_size - offset)
      return std::nullopt;
    std::optional<std::string> raw = read_at(in, offset, static_cast<std::size_t>(bytes));
    if (!raw) return std::nullopt;
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      int at = little ? bytes - 1 - i : i;
      v = (v << 8) | static_cast<unsigned char>((*raw)[at]);
    }
    return v;
  }
  // A field whose width follows the class: 4 bytes in 32-bit files, 8 in 64-bit ones.
  std::optional<std::uint64_t> Word(std::uint64_t offset, int off32, int off64) {
    return Field(offset + (is64 ? off64 : off32), is64 ? 8 : 4);
  }
};

constexpr std::uint32_t kSectionNoBits = 8;

// Hostile headers may hold offsets near 2^64; their ends must not wrap round to small values.
std::uint64_t end_of(std::uint64_t offset, std::uint64_t size) {
  return offset > UINT64_MAX - size ? UINT64_MAX : offset + size;
}
constexpr std::uint64_t kMaxHeaders = 65536;

}  // namespace

std::optional<std::uint64_t> ElfImageEnd(std::istream& in, std::uint64_t file_size) {
  std::optional<std::string> ident = read_at(in, 0, 16);
  if (!ident || ident->compare(0, 4,
                               "\x7F"
                               "ELF") != 0)
    return std::nullopt;
  char cls = (*ident)[4], data = (*ident)[5];
  if ((cls != 1 && cls != 2) || (data != 1 && data != 2)) return std::nullopt;
  ElfReader r{in, file_size, cls == 2, data == 1};

  auto phoff = r.Word(0, 28, 32), shoff = r.Word(0, 32, 40);
  auto phentsize = r.Field(r.is64 ? 54 : 42, 2), phnum = r.Field(r.is64 ? 56 : 44, 2);
  auto shentsize = r.Field(r.is64 ? 58 : 46, 2), shnum = r.Field(r.is64 ? 60 : 48, 2);
  if (!phoff || !shoff || !phentsize || !phnum || !shentsize || !shnum) return std::nullopt;

  std::uint64_t end = r.is64 ? 64 : 52;
  // A count too large for the header field lives in the first section header.
  if (*shnum == 0 && *shoff != 0) shnum = r.Word(*shoff, 20, 32);
  if (!shnum || *shnum > kMaxHeaders) return std::nullopt;
  if (*shoff != 0) end = std::max(end, end_of(*shoff, *shnum * *shentsize));
  for (std::uint64_t i = 0; i < *phnum; ++i) {
    std::uint64_t at = end_of(*phoff, i * *phentsize);
    if (at > file_size) return std::nullopt;
    auto offset = r.Word(at, 4, 8), filesz = r.Word(at, 16, 32);
    if (!offset || !filesz) return std::nullopt;
    end = std::max(end, end_of(*offset, *filesz));
  }
  for (std::uint64_t i = 0; *shoff != 0 && i < *shnum; ++i) {
    std::uint64_t at = end_of(*shoff, i * *shentsize);
    if (at > file_size) return std::nullopt;
    auto type = r.Field(at + 4, 4);
    auto offset = r.Word(at, 16, 24), size = r.Word(at, 20, 32);
    if (!type || !offset || !size) return std::nullopt;
    if (*type != kSectionNoBits) end = std::max(end, end_of(*offset, *size));
  }
  return end;
}

std::optional<std::string> FindAppendedArchive(const fs::path& executable) {
  std::ifstream in(executable, std::ios::binary);
  std::error_code ec;
  std::uint64_t size = fs::file_size(executable, ec);
  if (!in || ec) return std::nullopt;
  std::optional<std::uint64_t> end = ElfImageEnd(in, size);
  if (!end || *end >= size) return std::nullopt;
  std::optional<std::string> tail = read_at(in, *end, static_cast<std::size_t>(size - *end));
  if (!tail || tail->find('f') == std::string::npos) return std::nullopt;
  return tail;
}

fs::path SaveTemporaryArchive(const std::string& bytes, const fs::path& folder) {
  for (int n = 1; n < 100000; ++n) {
    fs::path path = folder / ("TMP" + std::to_string(n) + ".TMP");
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (!file) {
      std::error_code ec;
      if (fs::exists(path, ec)) continue;
      break;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) == 0 && written) return path;
    std::error_code ec;
    fs::remove(path, ec);
    break;
  }
  throw GeneralError(text::sjis("一時ファイルを作成できません。"));
}

std::optional<AppendedPackage> OpenAppendedPackage(const fs::path& executable,
                                                   const fs::path& temp_folder) {
  std::optional<std::string> bytes = FindAppendedArchive(executable);
  if (!bytes || bytes->empty()) return std::nullopt;
  AppendedPackage package;
  try {
    package.TemporaryFile = SaveTemporaryArchive(*bytes, temp_folder);
    package.Archive = std::make_shared<TFileMixReader>(package.TemporaryFile);
    package.Script = package.Archive->Extract("morivel.mrv");
  } catch (const std::exception& e) {
    std::error_code ec;
    if (!package.TemporaryFile.empty()) fs::remove(package.TemporaryFile, ec);
    throw GeneralError(text::sjis("ファイルの展開に失敗しました。") + e.what());
  }
  return package;
}

bool MakeArchiveExecutable(const fs::path& output, const fs::path& base, const fs::path& archive) {
  std::optional<std::string> program = ReadWholeFile(base);
  std::optional<std::string> appended = ReadWholeFile(archive);
  if (!program || !appended) return false;
  // A packed program making another one leaves its own archive out of the copy.
  std::istringstream image(*program);
  std::optional<std::uint64_t> end = ElfImageEnd(image, program->size());
  if (end && *end < program->size()) program->resize(static_cast<std::size_t>(*end));
  if (!WriteWholeFile(output, *program + *appended)) return false;
  std::error_code ec;
  fs::perms perms = fs::status(base, ec).permissions();
  if (!ec) fs::permissions(output, perms | fs::perms::owner_exec, ec);
  return !ec;
}

}  // namespace morivel::startup
