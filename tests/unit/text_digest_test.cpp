// Tests for the digests, checksums and the RC2 cipher.
#include "text/digest.h"

#include <gtest/gtest.h>

#include <string>

namespace morivel::text {
namespace {

std::string hex(const std::string& bytes) {
  static const char* const kDigits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

TEST(Digest, Md5KnownVectors) {
  EXPECT_EQ(md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5_hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(
      md5_hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
      "57edf4a22be3c955ac49da2e2107b67a");
  // 55 and 56 bytes: the padding just fits, and just does not fit, in one block.
  EXPECT_EQ(md5_hex(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(md5_hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
}

TEST(Digest, CrcKnownVectors) {
  EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(crc32(""), 0u);
  EXPECT_EQ(crc16_arc("123456789"), 0xBB3D);
  EXPECT_EQ(crc16_arc(""), 0);
}

TEST(Digest, Rc2MatchesTheReferenceBlocks) {
  // A one-block CBC run with a zero IV is the plain block cipher; the padding block follows.
  EXPECT_EQ(hex(Rc2Cbc(std::string(8, '\0'), 63).Encrypt(std::string(8, '\0')).substr(0, 8)),
            "ebb773f993278eff");
  EXPECT_EQ(hex(Rc2Cbc(std::string(8, '\xff'), 64).Encrypt(std::string(8, '\xff')).substr(0, 8)),
            "278b27e42e2f0d49");
  EXPECT_EQ(hex(Rc2Cbc(std::string("\x30\0\0\0\0\0\0\0", 8), 64)
                    .Encrypt(std::string("\x10\0\0\0\0\0\0\x01", 8))
                    .substr(0, 8)),
            "30649edf9be7d2c2");
}

TEST(Digest, Rc2RoundTripsAndRejectsBadPadding) {
  Rc2Cbc cipher = rc2_from_password("secret");
  for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 1000u, 1001u}) {
    std::string plain(n, 'x');
    std::string sealed = cipher.Encrypt(plain);
    EXPECT_EQ(sealed.size(), (n / 8 + 1) * 8);
    EXPECT_EQ(cipher.Decrypt(sealed), plain);
  }
  EXPECT_FALSE(cipher.Decrypt("").has_value());
  EXPECT_FALSE(cipher.Decrypt("1234567").has_value());
  std::string sealed = cipher.Encrypt("text");
  std::optional<std::string> other = rc2_from_password("other").Decrypt(sealed);
  EXPECT_TRUE(!other || *other != "text");
}

}  // namespace
}  // namespace morivel::text
