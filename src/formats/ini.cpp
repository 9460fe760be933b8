// INI documents and their files.
#include "formats/ini.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>

#include "startup/archive.h"
#include "text/sjis.h"

namespace morivel::formats {

namespace {

namespace fs = std::filesystem;
constexpr std::size_t npos = std::string::npos;

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    std::size_t len = text::char_len(a, i);
    if (len == 1) {
      auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
      if (fold(a[i]) != fold(b[i])) return false;
    } else if (a.substr(i, len) != b.substr(i, len)) {
      return false;
    }
    i += len;
  }
  return true;
}

// "[name]" gives the name; any other line nothing.
std::optional<std::string_view> header_name(std::string_view line) {
  std::string_view t = text::trim_view(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
  return text::trim_view(t.substr(1, t.size() - 2));
}

// The key of a "key=value" line, or nothing (comments, lines without "=").
std::optional<std::string_view> key_of(std::string_view line, std::size_t& equals) {
  equals = text::find_at_char_start(line, "=");
  if (equals == npos) return std::nullopt;
  std::string_view key = text::trim_view(line.substr(0, equals));
  if (key.empty() || key.front() == ';') return std::nullopt;
  return key;
}

// An open descriptor, closed (and so unlocked) when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The file locked exclusively. A writer replaces the file by renaming a new one over it, so a
// lock taken on a file that has been replaced meanwhile guards nothing: then lock the new one.
std::unique_ptr<Descriptor> lock_file(const fs::path& path, bool& created) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    created = false;
    if (fd < 0 && errno == ENOENT) {
      fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      created = fd >= 0;
      if (fd < 0 && errno == EEXIST) continue;
    }
    if (fd < 0) return nullptr;
    auto file = std::make_unique<Descriptor>(fd);
    int rc = 0;
    while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) return nullptr;
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
      return file;
  }
  return nullptr;
}

std::optional<std::string> read_descriptor(int fd) {
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == npos) {
      doc.lines_.push_back({std::string(bytes.substr(start)), ""});
      break;
    }
    std::size_t end_length = bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    doc.lines_.push_back({std::string(bytes.substr(start, end - start)),
                          std::string(bytes.substr(end, end_length))});
    start = end + end_length;
  }
  return doc;
}

std::size_t IniDocument::FindSection(std::string_view section) const {
  std::string_view wanted = text::trim_view(section);
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (auto name = header_name(lines_[i].text); name && same_name(*name, wanted)) return i;
  return npos;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && !header_name(lines_[i].text)) ++i;
  return i;
}

std::optional<std::string> IniDocument::Read(std::string_view section, std::string_view key) const {
  std::size_t header = FindSection(section);
  if (header == npos) return std::nullopt;
  std::string_view wanted = text::trim_view(key);
  for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
    std::size_t equals = 0;
    auto name = key_of(lines_[i].text, equals);
    if (!name || !same_name(*name, wanted)) continue;
    std::string_view value = text::trim_view(std::string_view(lines_[i].text).substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::nullopt;
}

std::string IniDocument::NewLineEnd() const {
  for (const Line& line : lines_)
    if (!line.end.empty()) return line.end;
  return "\r\n";
}

void IniDocument::Insert(std::size_t at, std::string text) {
  std::string end = NewLineEnd();
  // A last line without a line end gets one before anything follows it.
  if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty()) lines_.back().end = end;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), end});
}

void IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  std::string entry = std::string(text::trim_view(key)) + "=" + std::string(value);
  std::size_t header = FindSection(section);
  if (header == npos) {
    Insert(lines_.size(), "[" + std::string(text::trim_view(section)) + "]");
    Insert(lines_.size(), std::move(entry));
    return;
  }
  std::size_t end = SectionEnd(header);
  std::string_view wanted = text::trim_view(key);
  for (std::size_t i = header + 1; i < end; ++i) {
    std::size_t equals = 0;
    if (auto name = key_of(lines_[i].text, equals); name && same_name(*name, wanted)) {
      lines_[i].text = std::move(entry);
      return;
    }
  }
  // After the section's last entry, before the blank lines that part it from the next one.
  std::size_t at = end;
  while (at > header + 1 && text::trim_view(lines_[at - 1].text).empty()) --at;
  Insert(at, std::move(entry));
}

std::string IniDocument::Text() const {
  std::string out;
  for (const Line& line : lines_) out += line.text + line.end;
  return out;
}

std::optional<IniDocument> ReadIniFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return IniDocument();
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return IniDocument::Parse(bytes);
}

bool UpdateIniFile(const fs::path& path, const std::function<void(IniDocument&)>& edit) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
  bool created = false;
  std::unique_ptr<Descriptor> lock = lock_file(path, created);
  if (!lock) return false;
  std::optional<std::string> bytes = read_descriptor(lock->Get());
  bool written = false;
  if (bytes) {
    IniDocument doc = IniDocument::Parse(*bytes);
    edit(doc);
    written = startup::WriteWholeFile(path, doc.Text());
  }
  if (!written && created) fs::remove(path, ec);
  return written;
}

}  // namespace morivel::formats
