// Digests, checksums and the RC2 block cipher over byte strings.
#include "text/digest.h"

#include <cstring>

namespace morivel::text {

namespace {

// ---- MD5 ----------------------------------------------------------------------------------------

constexpr std::array<std::uint32_t, 64> kMd5Sine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr std::array<int, 64> kMd5Shift = {
    7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
    14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
    4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};

std::uint32_t rotl32(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

void md5_block(std::array<std::uint32_t, 4>& h, const std::uint8_t* block) {
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = static_cast<std::uint32_t>(block[i * 4]) |
           (static_cast<std::uint32_t>(block[i * 4 + 1]) << 8) |
           (static_cast<std::uint32_t>(block[i * 4 + 2]) << 16) |
           (static_cast<std::uint32_t>(block[i * 4 + 3]) << 24);
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    std::uint32_t next = d;
    d = c;
    c = b;
    b = b + rotl32(a + f + kMd5Sine[static_cast<std::size_t>(i)] + m[g],
                   kMd5Shift[static_cast<std::size_t>(i)]);
    a = next;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
}

// ---- RC2 ----------------------------------------------------------------------------------------

constexpr std::array<std::uint8_t, 256> kPiTable = {
    0xd9, 0x78, 0xf9, 0xc4, 0x19, 0xdd, 0xb5, 0xed, 0x28, 0xe9, 0xfd, 0x79, 0x4a, 0xa0, 0xd8, 0x9d,
    0xc6, 0x7e, 0x37, 0x83, 0x2b, 0x76, 0x53, 0x8e, 0x62, 0x4c, 0x64, 0x88, 0x44, 0x8b, 0xfb, 0xa2,
    0x17, 0x9a, 0x59, 0xf5, 0x87, 0xb3, 0x4f, 0x13, 0x61, 0x45, 0x6d, 0x8d, 0x09, 0x81, 0x7d, 0x32,
    0xbd, 0x8f, 0x40, 0xeb, 0x86, 0xb7, 0x7b, 0x0b, 0xf0, 0x95, 0x21, 0x22, 0x5c, 0x6b, 0x4e, 0x82,
    0x54, 0xd6, 0x65, 0x93, 0xce, 0x60, 0xb2, 0x1c, 0x73, 0x56, 0xc0, 0x14, 0xa7, 0x8c, 0xf1, 0xdc,
    0x12, 0x75, 0xca, 0x1f, 0x3b, 0xbe, 0xe4, 0xd1, 0x42, 0x3d, 0xd4, 0x30, 0xa3, 0x3c, 0xb6, 0x26,
    0x6f, 0xbf, 0x0e, 0xda, 0x46, 0x69, 0x07, 0x57, 0x27, 0xf2, 0x1d, 0x9b, 0xbc, 0x94, 0x43, 0x03,
    0xf8, 0x11, 0xc7, 0xf6, 0x90, 0xef, 0x3e, 0xe7, 0x06, 0xc3, 0xd5, 0x2f, 0xc8, 0x66, 0x1e, 0xd7,
    0x08, 0xe8, 0xea, 0xde, 0x80, 0x52, 0xee, 0xf7, 0x84, 0xaa, 0x72, 0xac, 0x35, 0x4d, 0x6a, 0x2a,
    0x96, 0x1a, 0xd2, 0x71, 0x5a, 0x15, 0x49, 0x74, 0x4b, 0x9f, 0xd0, 0x5e, 0x04, 0x18, 0xa4, 0xec,
    0xc2, 0xe0, 0x41, 0x6e, 0x0f, 0x51, 0xcb, 0xcc, 0x24, 0x91, 0xaf, 0x50, 0xa1, 0xf4, 0x70, 0x39,
    0x99, 0x7c, 0x3a, 0x85, 0x23, 0xb8, 0xb4, 0x7a, 0xfc, 0x02, 0x36, 0x5b, 0x25, 0x55, 0x97, 0x31,
    0x2d, 0x5d, 0xfa, 0x98, 0xe3, 0x8a, 0x92, 0xae, 0x05, 0xdf, 0x29, 0x10, 0x67, 0x6c, 0xba, 0xc9,
    0xd3, 0x00, 0xe6, 0xcf, 0xe1, 0x9e, 0xa8, 0x2c, 0x63, 0x16, 0x01, 0x3f, 0x58, 0xe2, 0x89, 0xa9,
    0x0d, 0x38, 0x34, 0x1b, 0xab, 0x33, 0xff, 0xb0, 0xbb, 0x48, 0x0c, 0x5f, 0xb9, 0xb1, 0xcd, 0x2e,
    0xc5, 0xf3, 0xdb, 0x47, 0xe5, 0xa5, 0x9c, 0x77, 0x0a, 0xa6, 0x20, 0x68, 0xfe, 0x7f, 0xc1, 0xad};

std::uint16_t rotl16(std::uint16_t x, int n) {
  return static_cast<std::uint16_t>((x << n) | (x >> (16 - n)));
}
std::uint16_t rotr16(std::uint16_t x, int n) {
  return static_cast<std::uint16_t>((x >> n) | (x << (16 - n)));
}

constexpr std::array<int, 4> kMixShift = {1, 2, 3, 5};

}  // namespace

std::array<std::uint8_t, 16> md5(std::string_view data) {
  std::array<std::uint32_t, 4> h = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  std::size_t whole = data.size() / 64 * 64;
  for (std::size_t i = 0; i < whole; i += 64) md5_block(h, bytes + i);
  std::uint8_t tail[128] = {};
  std::size_t rest = data.size() - whole;
  if (rest) std::memcpy(tail, bytes + whole, rest);
  tail[rest] = 0x80;
  std::size_t tail_size = rest < 56 ? 64 : 128;
  std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (int i = 0; i < 8; ++i)
    tail[tail_size - 8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (std::size_t i = 0; i < tail_size; i += 64) md5_block(h, tail + i);
  std::array<std::uint8_t, 16> out{};
  for (std::size_t i = 0; i < 16; ++i)
    out[i] = static_cast<std::uint8_t>(h[i / 4] >> (8 * (i % 4)));
  return out;
}

std::string md5_hex(std::string_view data) {
  static const char* const kDigits = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : md5(data)) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::uint16_t crc16_arc(std::string_view data) {
  std::uint16_t crc = 0;
  for (unsigned char c : data) {
    crc ^= c;
    for (int i = 0; i < 8; ++i)
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                      : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

std::uint32_t crc32(std::string_view data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc ^ 0xFFFFFFFFu;
}

Rc2Cbc::Rc2Cbc(std::string_view key, int effective_bits) {
  std::array<std::uint8_t, 128> l{};
  std::size_t t = key.size() < 1 ? 1 : (key.size() > 128 ? 128 : key.size());
  for (std::size_t i = 0; i < t && i < key.size(); ++i) l[i] = static_cast<std::uint8_t>(key[i]);
  if (effective_bits < 1) effective_bits = 1;
  if (effective_bits > 1024) effective_bits = 1024;
  for (std::size_t i = t; i < 128; ++i) l[i] = kPiTable[(l[i - 1] + l[i - t]) & 0xFF];
  std::size_t t8 = (static_cast<std::size_t>(effective_bits) + 7) / 8;
  unsigned tm = 0xFFu >> (8 * t8 - static_cast<std::size_t>(effective_bits));
  l[128 - t8] = kPiTable[l[128 - t8] & tm];
  for (std::size_t i = 128 - t8; i-- > 0;) l[i] = kPiTable[l[i + 1] ^ l[i + t8]];
  for (std::size_t i = 0; i < 64; ++i)
    k_[i] = static_cast<std::uint16_t>(l[2 * i] | (l[2 * i + 1] << 8));
}

void Rc2Cbc::EncryptBlock(std::uint8_t* b) const {
  std::array<std::uint16_t, 4> r;
  for (std::size_t i = 0; i < 4; ++i)
    r[i] = static_cast<std::uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  std::size_t j = 0;
  auto mix = [&] {
    for (std::size_t i = 0; i < 4; ++i) {
      std::uint16_t sum = static_cast<std::uint16_t>(
          r[i] + k_[j++] + (r[(i + 3) % 4] & r[(i + 2) % 4]) + (~r[(i + 3) % 4] & r[(i + 1) % 4]));
      r[i] = rotl16(sum, kMixShift[i]);
    }
  };
  auto mash = [&] {
    for (std::size_t i = 0; i < 4; ++i)
      r[i] = static_cast<std::uint16_t>(r[i] + k_[r[(i + 3) % 4] & 63]);
  };
  for (int round = 0; round < 16; ++round) {
    mix();
    if (round == 4 || round == 10) mash();
  }
  for (std::size_t i = 0; i < 4; ++i) {
    b[2 * i] = static_cast<std::uint8_t>(r[i]);
    b[2 * i + 1] = static_cast<std::uint8_t>(r[i] >> 8);
  }
}

void Rc2Cbc::DecryptBlock(std::uint8_t* b) const {
  std::array<std::uint16_t, 4> r;
  for (std::size_t i = 0; i < 4; ++i)
    r[i] = static_cast<std::uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  std::size_t j = 63;
  auto rmix = [&] {
    for (std::size_t i = 4; i-- > 0;) {
      std::uint16_t v = rotr16(r[i], kMixShift[i]);
      r[i] = static_cast<std::uint16_t>(v - k_[j] - (r[(i + 3) % 4] & r[(i + 2) % 4]) -
                                        (~r[(i + 3) % 4] & r[(i + 1) % 4]));
      if (j > 0) --j;
    }
  };
  auto rmash = [&] {
    for (std::size_t i = 4; i-- > 0;)
      r[i] = static_cast<std::uint16_t>(r[i] - k_[r[(i + 3) % 4] & 63]);
  };
  for (int round = 15; round >= 0; --round) {
    rmix();
    if (round == 5 || round == 11) rmash();
  }
  for (std::size_t i = 0; i < 4; ++i) {
    b[2 * i] = static_cast<std::uint8_t>(r[i]);
    b[2 * i + 1] = static_cast<std::uint8_t>(r[i] >> 8);
  }
}

std::string Rc2Cbc::Encrypt(std::string_view plain) const {
  std::string data(plain);
  std::size_t pad = kBlock - data.size() % kBlock;
  data.append(pad, static_cast<char>(pad));
  std::array<std::uint8_t, kBlock> chain{};
  auto* bytes = reinterpret_cast<std::uint8_t*>(data.data());
  for (std::size_t off = 0; off < data.size(); off += kBlock) {
    for (std::size_t i = 0; i < kBlock; ++i) bytes[off + i] ^= chain[i];
    EncryptBlock(bytes + off);
    std::memcpy(chain.data(), bytes + off, kBlock);
  }
  return data;
}

std::optional<std::string> Rc2Cbc::Decrypt(std::string_view cipher) const {
  if (cipher.empty() || cipher.size() % kBlock != 0) return std::nullopt;
  std::string data(cipher);
  std::array<std::uint8_t, kBlock> chain{}, next{};
  auto* bytes = reinterpret_cast<std::uint8_t*>(data.data());
  for (std::size_t off = 0; off < data.size(); off += kBlock) {
    std::memcpy(next.data(), bytes + off, kBlock);
    DecryptBlock(bytes + off);
    for (std::size_t i = 0; i < kBlock; ++i) bytes[off + i] ^= chain[i];
    chain = next;
  }
  auto pad = static_cast<std::uint8_t>(data.back());
  if (pad == 0 || pad > kBlock) return std::nullopt;
  for (std::size_t i = data.size() - pad; i < data.size(); ++i)
    if (static_cast<std::uint8_t>(data[i]) != pad) return std::nullopt;
  data.resize(data.size() - pad);
  return data;
}

Rc2Cbc rc2_from_password(std::string_view password) {
  std::array<std::uint8_t, 16> digest = md5(password);
  std::string key(reinterpret_cast<const char*>(digest.data()), 5);
  key.append(11, '\0');
  return Rc2Cbc(key, 40);
}

}  // namespace morivel::text
