// The file side of the file commands: native paths from script paths and the line-buffered
// file streams behind handle variables.
#include "commands/file_handles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/encoding.h"
#include "text/paths.h"
#include "text/sjis.h"

namespace morivel::commands {

namespace fs = std::filesystem;

namespace {

bool entry_exists(const std::string& utf8_path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(fs::path(utf8_path), ec));
}

std::vector<std::string> split_at_slash(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t slash; (slash = s.find('/', start)) != std::string::npos; start = slash + 1)
    parts.push_back(s.substr(start, slash - start));
  parts.push_back(s.substr(start));
  return parts;
}

// Converts one component, keeping the raw bytes when only they name an existing entry.
std::string disk_component(const std::string& folder, const std::string& sjis_component) {
  std::string converted = text::to_utf8(sjis_component);
  if (converted == sjis_component) return converted;
  if (entry_exists(folder + converted) || !entry_exists(folder + sjis_component)) return converted;
  return sjis_component;
}

}  // namespace

std::string script_name_of(const std::string& disk_name) {
  if (!text::is_valid_utf8(disk_name)) return disk_name;
  std::string sjis = text::from_utf8(disk_name);
  return text::to_utf8(sjis) == disk_name ? sjis : disk_name;
}

fs::path native_path(const std::string& sjis) {
  // "/" is never a trail byte, so after this the components split at plain "/" bytes.
  std::string slashed = text::to_slash_separators(sjis);
  std::string whole = text::to_utf8(slashed);
  if (whole == slashed || entry_exists(whole)) return fs::path(whole);
  std::vector<std::string> parts = split_at_slash(slashed);
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    out += disk_component(out, parts[i]);
    if (i + 1 < parts.size()) out += '/';
  }
  return fs::path(out);
}

std::string script_path_of(const fs::path& path) {
  std::vector<std::string> parts = split_at_slash(path.native());
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    out += script_name_of(parts[i]);
    if (i + 1 < parts.size()) out += '/';
  }
  return out;
}

// ---- TTextFileStream ------------------------------------------------------------------------

TTextFileStream::TTextFileStream(const fs::path& path, int flags)
    : fd_(::open(path.c_str(), flags | O_CLOEXEC, 0666)) {}

TTextFileStream::~TTextFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TTextFileStream::Position() const {
  return physical_ - static_cast<std::int64_t>(end_ - cursor_);
}

std::int64_t TTextFileStream::Size() const {
  struct stat st {};
  return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

bool TTextFileStream::Fill() {
  ssize_t n;
  do {
    n = ::pread(fd_, buffer_.data(), buffer_.size(), physical_);
  } while (n < 0 && errno == EINTR);
  cursor_ = 0;
  end_ = n > 0 ? static_cast<std::size_t>(n) : 0;
  physical_ += static_cast<std::int64_t>(end_);
  return end_ > 0;
}

bool TTextFileStream::PeekByte(unsigned char& c) {
  if (cursor_ == end_ && !Fill()) return false;
  c = static_cast<unsigned char>(buffer_[cursor_]);
  return true;
}

bool TTextFileStream::NextByte(unsigned char& c) {
  if (!PeekByte(c)) return false;
  ++cursor_;
  return true;
}

void TTextFileStream::DropBuffer() {
  physical_ = Position();
  cursor_ = end_ = 0;
}

std::string TTextFileStream::ReadLine() {
  std::string line;
  unsigned char c;
  while (NextByte(c)) {
    if (c == '\n' || c == '\0') break;
    if (c == '\r') {
      unsigned char next;
      if (PeekByte(next) && next == '\n') ++cursor_;
      break;
    }
    line += static_cast<char>(c);
    unsigned char trail;
    // A broken file may end a lead byte with a line end; that end still counts as one.
    if (text::is_lead_byte(c) && PeekByte(trail) && trail >= 0x40) {
      line += static_cast<char>(trail);
      ++cursor_;
    }
  }
  return line;
}

bool TTextFileStream::WriteBytes(const std::string& bytes) {
  DropBuffer();
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, physical_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
    physical_ += n;
  }
  return true;
}

bool TTextFileStream::WriteLine(const std::string& text) {
  return WriteBytes(text + "\r\n");
}

bool TTextFileStream::AtEnd() {
  return Position() >= Size();
}

void TTextFileStream::SeekEnd() {
  Seek(Size());
}

void TTextFileStream::Seek(std::int64_t position) {
  cursor_ = end_ = 0;
  physical_ = position < 0 ? 0 : position;
}

std::string TTextFileStream::ReadBytes(std::size_t n) {
  DropBuffer();
  std::int64_t left = Size() - physical_;
  if (left <= 0) return {};
  if (static_cast<std::uint64_t>(left) < n) n = static_cast<std::size_t>(left);
  std::string out(n, '\0');
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd_, out.data() + done, n - done, physical_);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
    physical_ += got;
  }
  out.resize(done);
  return out;
}

// ---- OpenStreams --------------------------------------------------------------------------------

std::size_t OpenStreams::Add(std::unique_ptr<TTextFileStream> stream) {
  streams_.push_back(std::move(stream));
  return streams_.size() - 1;
}

TTextFileStream* OpenStreams::At(std::size_t index) const {
  return index < streams_.size() ? streams_[index].get() : nullptr;
}

void OpenStreams::Close(std::size_t index) {
  if (index < streams_.size()) streams_[index].reset();
}

OpenStreams& OpenStreams::Of(words::TMorvBase& state) {
  for (const auto& owned : state.OwnedObjects)
    if (auto* streams = dynamic_cast<OpenStreams*>(owned.get())) return *streams;
  state.OwnedObjects.push_back(std::make_unique<OpenStreams>());
  return static_cast<OpenStreams&>(*state.OwnedObjects.back());
}

}  // namespace morivel::commands
