// Digests, checksums and the RC2 block cipher over byte strings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morivel::text {

// MD5 (RFC 1321): the 16 raw digest bytes, and as 32 lower-case hexadecimal digits.
std::array<std::uint8_t, 16> md5(std::string_view data);
std::string md5_hex(std::string_view data);

// CRC-16/ARC: reflected polynomial 0x8005, initial value 0, no final XOR.
std::uint16_t crc16_arc(std::string_view data);
// CRC-32: reflected polynomial 0x04C11DB7, initial and final XOR 0xFFFFFFFF.
std::uint32_t crc32(std::string_view data);

// RC2 (RFC 2268) in CBC mode with PKCS#5 block padding and a zero IV.
class Rc2Cbc {
 public:
  static constexpr std::size_t kBlock = 8;
  // `key` is 1 to 128 bytes; `effective_bits` 1 to 1024.
  Rc2Cbc(std::string_view key, int effective_bits);

  std::string Encrypt(std::string_view plain) const;
  // Nothing when the length is not a whole number of blocks or the padding is wrong.
  std::optional<std::string> Decrypt(std::string_view cipher) const;

 private:
  void EncryptBlock(std::uint8_t* block) const;
  void DecryptBlock(std::uint8_t* block) const;

  std::array<std::uint16_t, 64> k_{};
};

// The key a password gives: the first 5 bytes of its MD5 digest followed by 11 zero bytes,
// used with 40 effective bits.
Rc2Cbc rc2_from_password(std::string_view password);

}  // namespace morivel::text
