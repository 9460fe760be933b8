// Commands: numbers and texts at byte offsets, hexadecimal dumps, digests and the password cipher.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/digest.h"
#include "text/encoding.h"
#include "words/errors.h"
#include "words/hash.h"

namespace morivel::commands {
namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

// ---- byte formats
// --------------------------------------------------------------------------------

enum class ByteFormat { Char, Byte, Word, Dword, Int, Text, Unknown };

ByteFormat format_of(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "CHAR") return ByteFormat::Char;
  if (name == "BYTE") return ByteFormat::Byte;
  if (name == "WORD") return ByteFormat::Word;
  if (name == "DWORD") return ByteFormat::Dword;
  if (name == "INT") return ByteFormat::Int;
  if (name == "CHAR*") return ByteFormat::Text;
  return ByteFormat::Unknown;
}

std::size_t width_of(ByteFormat format) {
  switch (format) {
    case ByteFormat::Word:
      return 2;
    case ByteFormat::Dword:
    case ByteFormat::Int:
      return 4;
    default:
      return 1;
  }
}

// The word named by the variable argument, exactly as written.
words::THashNode& existing_variable(Interpreter& in) {
  std::string name = in.PopArgumentText();
  if (name.size() >= 2 && name.front() == '`' && name.back() == '`')
    name = name.substr(1, name.size() - 2);
  words::THashNode* word = in.FindWord(name);
  if (!word) throw in.ArgumentError(text::sjis("未定義の変数が指定されました。"));
  return *word;
}

// A 0-based start from a 1-based offset; offsets below 1 count as 1.
std::size_t start_of(long double offset) {
  std::int64_t n = 1;
  if (!expr::TruncateToInt64(offset, n) && offset > 0) n = INT64_MAX;
  return n < 1 ? 0 : static_cast<std::size_t>(n - 1);
}

// Bytes past the end of the value read as 0: the access never leaves the value.
std::uint32_t little_endian_at(const std::string& value, std::size_t start, std::size_t width) {
  std::uint32_t n = 0;
  for (std::size_t i = 0; i < width; ++i) {
    std::size_t at = start + i;
    if (at >= start && at < value.size())
      n |= static_cast<std::uint32_t>(static_cast<unsigned char>(value[at])) << (8 * i);
  }
  return n;
}

void get_binary(Interpreter& in) {
  ByteFormat format = format_of(in.PopArgumentValue());
  std::size_t start = start_of(in.PopArgumentNumber());
  std::string value = existing_variable(in).GetValue();
  switch (format) {
    case ByteFormat::Char:
      in.SetResult(start < value.size() ? value.substr(start, 1) : std::string(), "s");
      break;
    case ByteFormat::Text: {
      std::string text = start < value.size() ? value.substr(start) : std::string();
      in.SetResult(text.substr(0, text.find('\0')), "s");
      break;
    }
    case ByteFormat::Int:
      in.SetResult(std::to_string(static_cast<std::int32_t>(little_endian_at(value, start, 4))),
                   "e");
      break;
    case ByteFormat::Unknown:
      break;
    default:
      in.SetResult(std::to_string(little_endian_at(value, start, width_of(format))), "e");
  }
}

// The bytes a value gives in a format; throws the range error for numbers out of range.
std::string encode_value(Interpreter& in, ByteFormat format, const std::string& value) {
  if (format == ByteFormat::Char) return value.substr(0, 1);
  if (format == ByteFormat::Text) return value + std::string(1, '\0');
  long double number = std::trunc(expr::ToNumber(value));
  bool in_range = false;
  switch (format) {
    case ByteFormat::Int:
      in_range = number >= -2147483648.0L && number <= 2147483647.0L;
      break;
    case ByteFormat::Byte:
      in_range = std::fabs(number) < 1e18L;
      break;  // only the low byte counts
    default:
      in_range = number >= 0 && number <= 4294967295.0L;
  }
  if (!in_range) throw in.ArgumentError(text::sjis("値が範囲外です。"));
  auto bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(number));
  std::string out;
  for (std::size_t i = 0; i < width_of(format); ++i)
    out += static_cast<char>((bits >> (8 * i)) & 0xFF);
  return out;
}

void set_binary(Interpreter& in) {
  ByteFormat format = format_of(in.PopArgumentValue());
  std::size_t start = start_of(in.PopArgumentNumber());
  words::THashNode& word = existing_variable(in);
  std::string value_text = in.PopArgumentValue();
  if (format == ByteFormat::Unknown) return;
  std::string bytes = encode_value(in, format, value_text);
  std::string value = word.GetValue();
  // Bytes that would fall past the end of the value are left out.
  for (std::size_t i = 0; i < bytes.size() && start < value.size() && i < value.size() - start; ++i)
    value[start + i] = bytes[i];
  std::string type = word.TypeMark;
  word.SetValue(std::move(value));
  word.TypeMark = std::move(type);
}

void dump_binary(Interpreter& in) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string data = in.PopArgumentValue();
  std::string out;
  out.reserve(data.size() * 3 + data.size() / 16 * 2);
  for (std::size_t i = 0; i < data.size(); ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    out += kHex[b >> 4];
    out += kHex[b & 15];
    out += (i % 16 == 15) ? "\r\n" : ",";
  }
  in.SetResult(std::move(out), "s");
}

// ---- digests
// -------------------------------------------------------------------------------------

void md5_command(Interpreter& in) {
  in.SetResult(text::md5_hex(in.PopArgumentValue()), "s");
}

void crc16_command(Interpreter& in) {
  in.SetResult(std::to_string(text::crc16_arc(in.PopArgumentValue())), "e");
}

void crc32_command(Interpreter& in) {
  in.SetResult(std::to_string(text::crc32(in.PopArgumentValue())), "e");
}

// ---- cipher
// -----------------------------------------------------------------------------------------
//
// With a password the RC2 key comes from the password's MD5 digest. Without one, a random
// session key enciphers the text and is stored in front of it (1 length byte, then the key
// enciphered under the user's own key), so that only the same user can read it back. The user's
// key is 16 random bytes kept in the user's configuration folder, readable by the user alone.

constexpr std::size_t kKeyBytes = 16;

GeneralError cipher_failure(Interpreter& in) {
  return GeneralError(text::sjis("『") + in.CurrentCommandName() + text::sjis("』でエラー。"));
}

std::string random_key() {
  std::random_device device;
  std::string key;
  for (std::size_t i = 0; i < kKeyBytes; ++i) key += static_cast<char>(device() & 0xFF);
  return key;
}

fs::path user_key_file() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  fs::path folder =
      config && *config ? fs::path(config) : fs::path(home && *home ? home : "/tmp") / ".config";
  return folder / "morivel" / "user.key";
}

std::optional<std::string> read_user_key(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string key((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (key.size() != kKeyBytes) return std::nullopt;
  return key;
}

// The user's key, made on first use.
std::optional<std::string> user_key(bool create) {
  fs::path file = user_key_file();
  if (auto key = read_user_key(file)) return key;
  if (!create) return std::nullopt;
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return read_user_key(file);  // made by someone else meanwhile, or unwritable
  std::string key = random_key();
  bool ok = ::write(fd, key.data(), key.size()) == static_cast<ssize_t>(key.size());
  ::close(fd);
  if (!ok) return std::nullopt;
  return key;
}

void encipher(Interpreter& in) {
  std::string password = in.PopArgumentValue();
  std::string plain = in.PopArgumentValue();
  if (!password.empty()) {
    in.SetResult(text::rc2_from_password(password).Encrypt(plain), "s");
    return;
  }
  std::optional<std::string> own = user_key(true);
  if (!own) throw cipher_failure(in);
  std::string session = random_key();
  std::string wrapped = text::Rc2Cbc(*own, 128).Encrypt(session);
  std::string out(1, static_cast<char>(wrapped.size()));
  out += wrapped + text::Rc2Cbc(session, 128).Encrypt(plain);
  in.SetResult(std::move(out), "s");
}

void decipher(Interpreter& in) {
  std::string password = in.PopArgumentValue();
  std::string data = in.PopArgumentValue();
  std::optional<std::string> plain;
  if (!password.empty()) {
    plain = text::rc2_from_password(password).Decrypt(data);
  } else if (!data.empty()) {
    std::size_t wrapped_size = static_cast<unsigned char>(data[0]);
    std::optional<std::string> own = user_key(false);
    if (own && data.size() > wrapped_size) {
      std::optional<std::string> session =
          text::Rc2Cbc(*own, 128).Decrypt(data.substr(1, wrapped_size));
      if (session && session->size() == kKeyBytes)
        plain = text::Rc2Cbc(*session, 128).Decrypt(data.substr(1 + wrapped_size));
    }
  }
  if (!plain) throw cipher_failure(in);
  in.SetResult(std::move(*plain), "s");
}

}  // namespace

void register_bytes(HandlerTable& table) {
  table.Set(415, get_binary);
  table.Set(416, set_binary);
  table.Set(375, dump_binary);
  table.Set(543, md5_command);
  table.Set(544, crc16_command);
  table.Set(545, crc32_command);
  table.Set(567, encipher);
  table.Set(568, decipher);
}

}  // namespace morivel::commands
