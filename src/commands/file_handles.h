// The file side of the file commands: native paths from script paths and the line-buffered
// file streams behind handle variables.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "words/hash.h"
#include "words/state.h"

namespace morivel::commands {

// ---- names at the system boundary ------------------------------------------------------------
//
// Scripts name files in Shift-JIS, the disk stores UTF-8. A name on disk that is not valid
// UTF-8, or whose characters Shift-JIS cannot hold, is shown to scripts as its raw bytes; when a
// script path comes back, each component is converted to UTF-8 unless only its raw bytes name
// an existing entry, so such files stay reachable.

// The Shift-JIS name a script sees for a name read from disk.
std::string script_name_of(const std::string& disk_name);

// The native path for a script path ("\" and "/" both separate; a trail byte 0x5C never does).
std::filesystem::path native_path(const std::string& sjis);

// A native path as a Shift-JIS script path, using "/" as separator.
std::string script_path_of(const std::filesystem::path& path);

// ---- streams -----------------------------------------------------------------------------------

// A file opened through a handle: a 4096-byte read buffer over a file descriptor, read line by
// line; writes go to the logical position (where reading has got to) and overwrite in place.
class TTextFileStream {
 public:
  static constexpr std::size_t kBufferSize = 4096;

  // Opens with open(2) flags; throws nothing, check IsOpen().
  TTextFileStream(const std::filesystem::path& path, int flags);
  ~TTextFileStream();
  TTextFileStream(const TTextFileStream&) = delete;
  TTextFileStream& operator=(const TTextFileStream&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // The next line without its end (LF, CR, CR LF or NUL); a double-byte character stays whole.
  std::string ReadLine();
  // Writes text + CR LF at the logical position. False when the write failed.
  bool WriteLine(const std::string& text);
  bool AtEnd();
  void SeekStart() { Seek(0); }
  void SeekEnd();
  void Seek(std::int64_t position);
  // Writes exactly the bytes given at the logical position.
  bool WriteBytes(const std::string& bytes);
  // Up to n bytes from the logical position.
  std::string ReadBytes(std::size_t n);
  std::int64_t Position() const;

 private:
  bool Fill();
  bool NextByte(unsigned char& c);
  bool PeekByte(unsigned char& c);
  void DropBuffer();
  std::int64_t Size() const;

  int fd_ = -1;
  std::array<char, kBufferSize> buffer_{};
  std::size_t cursor_ = 0;
  std::size_t end_ = 0;
  std::int64_t physical_ = 0;  // file offset just after the last fill or write
};

// The streams a run has opened, owned by the interpreter state; a handle variable refers to its
// slot. A closed stream leaves an empty slot so that the other indexes stay valid.
class OpenStreams : public words::OwnedObject {
 public:
  std::size_t Add(std::unique_ptr<TTextFileStream> stream);
  TTextFileStream* At(std::size_t index) const;
  void Close(std::size_t index);

  // The list of `state`, made on first use.
  static OpenStreams& Of(words::TMorvBase& state);

 private:
  std::vector<std::unique_ptr<TTextFileStream>> streams_;
};

// What a handle variable's word links: the index of its stream.
class StreamLink : public words::WordObject {
 public:
  explicit StreamLink(std::size_t index) : Index(index) {}
  std::size_t Index;
};

}  // namespace morivel::commands
