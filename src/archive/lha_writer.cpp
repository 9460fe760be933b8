// LHA writing: the -lh5- encoder and the level-2 entry headers.
#include "archive/lha_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <queue>
#include <stdexcept>

namespace morivel::archive {
namespace {

// ---- format constants -------------------------------------------------------------------------

constexpr int kDictionaryBits = 13;
constexpr std::size_t kWindow = std::size_t{1} << kDictionaryBits;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 256;
constexpr int kLiteralCodes = 256 + kMaxMatch - kMinMatch + 1;  // NC: literals and lengths
constexpr int kOffsetCodes = kDictionaryBits + 1;               // NP
constexpr int kLengthCodes = 16 + 3;                            // NT: the c-length alphabet
constexpr int kMaxCodeBits = 16;
constexpr int kLiteralCountBits = 9;  // CBIT
constexpr int kLengthCountBits = 5;   // TBIT
constexpr int kOffsetCountBits = 4;   // PBIT
constexpr std::size_t kBlockCodes = 32768;
constexpr int kMaxChain = 96;

// ---- bits -------------------------------------------------------------------------------------

class BitWriter {
 public:
  // The low `count` bits of `value`, most significant first.
  void Put(int count, std::uint32_t value) {
    for (int i = count - 1; i >= 0; --i) {
      current_ = static_cast<std::uint8_t>((current_ << 1) | ((value >> i) & 1u));
      if (++filled_ == 8) {
        out_.push_back(static_cast<char>(current_));
        current_ = 0;
        filled_ = 0;
      }
    }
  }
  std::string Finish() {
    if (filled_ > 0) Put(8 - filled_, 0);
    return std::move(out_);
  }

 private:
  std::string out_;
  std::uint8_t current_ = 0;
  int filled_ = 0;
};

// ---- Huffman code lengths ---------------------------------------------------------------------

// Depths of a Huffman tree over `freq`; symbols with frequency 0 get 0.
std::vector<int> huffman_depths(const std::vector<std::uint64_t>& freq) {
  struct Node {
    std::uint64_t weight;
    int left, right;
  };
  std::vector<Node> nodes;
  using Item = std::pair<std::uint64_t, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<>> queue;
  for (std::size_t s = 0; s < freq.size(); ++s) {
    if (freq[s] == 0) continue;
    nodes.push_back({freq[s], -1, static_cast<int>(s)});
    queue.push({freq[s], static_cast<int>(nodes.size() - 1)});
  }
  while (queue.size() > 1) {
    auto [wa, a] = queue.top();
    queue.pop();
    auto [wb, b] = queue.top();
    queue.pop();
    nodes.push_back({wa + wb, a, b});
    queue.push({wa + wb, static_cast<int>(nodes.size() - 1)});
  }
  std::vector<int> depth(freq.size(), 0);
  // Walk down from the root: a leaf keeps its symbol in `right` with left == -1.
  std::vector<std::pair<int, int>> stack{{static_cast<int>(nodes.size() - 1), 0}};
  while (!stack.empty()) {
    auto [index, d] = stack.back();
    stack.pop_back();
    const Node& node = nodes[index];
    if (node.left < 0) {
      depth[node.right] = d;
    } else {
      stack.push_back({node.left, d + 1});
      stack.push_back({node.right, d + 1});
    }
  }
  return depth;
}

// Code lengths of at most kMaxCodeBits for a complete code. At least two symbols always get a
// code, so that every decoder can build its table (a one-symbol code is not complete).
std::vector<int> code_lengths(std::vector<std::uint64_t> freq) {
  int used = static_cast<int>(std::count_if(freq.begin(), freq.end(), [](auto f) { return f; }));
  for (std::size_t s = 0; used < 2 && s < freq.size(); ++s)
    if (freq[s] == 0) {
      freq[s] = 1;
      ++used;
    }
  for (;;) {
    std::vector<int> depth = huffman_depths(freq);
    if (*std::max_element(depth.begin(), depth.end()) <= kMaxCodeBits) return depth;
    for (auto& f : freq)
      if (f) f = (f >> 1) | 1;
  }
}

// Canonical codes: shorter codes first, equal lengths in symbol order.
std::vector<std::uint32_t> canonical_codes(const std::vector<int>& lengths) {
  std::array<std::uint32_t, kMaxCodeBits + 2> count{};
  for (int len : lengths) ++count[len];
  count[0] = 0;
  std::array<std::uint32_t, kMaxCodeBits + 2> next{};
  for (int len = 1; len <= kMaxCodeBits; ++len) next[len + 1] = (next[len] + count[len]) << 1;
  std::vector<std::uint32_t> codes(lengths.size(), 0);
  for (std::size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  return codes;
}

struct Code {
  std::vector<int> lengths;
  std::vector<std::uint32_t> codes;
  explicit Code(const std::vector<std::uint64_t>& freq)
      : lengths(code_lengths(freq)), codes(canonical_codes(lengths)) {}
  void Put(BitWriter& out, int symbol) const { out.Put(lengths[symbol], codes[symbol]); }
};

// ---- one block --------------------------------------------------------------------------------

struct Token {
  std::uint16_t symbol;  // literal byte, or 256 + length - 3
  std::uint16_t offset;  // distance - 1, for matches
};

int bit_length(std::uint32_t v) {
  int n = 0;
  for (; v; v >>= 1) ++n;
  return n;
}

// How the c-length table is spelled with the length alphabet: runs of zeros get codes 0 to 2.
template <typename Emit>
void spell_literal_lengths(const std::vector<int>& lengths, Emit emit) {
  int n = static_cast<int>(lengths.size());
  while (n > 0 && lengths[n - 1] == 0) --n;
  for (int i = 0; i < n;) {
    int len = lengths[i++];
    if (len != 0) {
      emit(len + 2, 0, 0);
      continue;
    }
    int zeros = 1;
    while (i < n && lengths[i] == 0) ++i, ++zeros;
    if (zeros <= 2) {
      for (int k = 0; k < zeros; ++k) emit(0, 0, 0);
    } else if (zeros <= 18) {
      emit(1, 4, zeros - 3);
    } else if (zeros == 19) {
      emit(0, 0, 0);
      emit(1, 4, 15);
    } else {
      emit(2, kLiteralCountBits, zeros - 20);
    }
  }
}

int used_count(const std::vector<int>& lengths) {
  int n = static_cast<int>(lengths.size());
  while (n > 0 && lengths[n - 1] == 0) --n;
  return n;
}

// A table of code lengths in the 3-bit-or-unary spelling; after the third entry of the length
// table a 2-bit count of zero lengths that follow.
void put_small_lengths(BitWriter& out, const std::vector<int>& lengths, int count_bits,
                       int special) {
  int n = used_count(lengths);
  out.Put(count_bits, static_cast<std::uint32_t>(n));
  for (int i = 0; i < n;) {
    int len = lengths[i++];
    if (len <= 6)
      out.Put(3, static_cast<std::uint32_t>(len));
    else
      out.Put(len - 3, 0xFFFEu & ((1u << (len - 3)) - 1));  // (len - 4) ones, then a zero
    if (i == special) {
      int skip_to = i;
      while (skip_to < 6 && skip_to < n && lengths[skip_to] == 0) ++skip_to;
      out.Put(2, static_cast<std::uint32_t>(skip_to - i));
      i = skip_to;
    }
  }
}

void encode_block(BitWriter& out, const std::vector<Token>& tokens) {
  std::vector<std::uint64_t> literal_freq(kLiteralCodes, 0), offset_freq(kOffsetCodes, 0);
  for (const Token& t : tokens) {
    ++literal_freq[t.symbol];
    if (t.symbol >= 256) ++offset_freq[bit_length(t.offset)];
  }
  Code literals(literal_freq);
  std::vector<std::uint64_t> length_freq(kLengthCodes, 0);
  spell_literal_lengths(literals.lengths, [&](int sym, int, int) { ++length_freq[sym]; });
  Code lengths(length_freq);
  Code offsets(offset_freq);

  out.Put(16, static_cast<std::uint32_t>(tokens.size()));
  put_small_lengths(out, lengths.lengths, kLengthCountBits, 3);
  out.Put(kLiteralCountBits, static_cast<std::uint32_t>(used_count(literals.lengths)));
  spell_literal_lengths(literals.lengths, [&](int sym, int extra_bits, int extra) {
    lengths.Put(out, sym);
    if (extra_bits) out.Put(extra_bits, static_cast<std::uint32_t>(extra));
  });
  put_small_lengths(out, offsets.lengths, kOffsetCountBits, -1);

  for (const Token& t : tokens) {
    literals.Put(out, t.symbol);
    if (t.symbol < 256) continue;
    int bits = bit_length(t.offset);
    offsets.Put(out, bits);
    if (bits > 1) out.Put(bits - 1, t.offset & ((1u << (bits - 1)) - 1));
  }
}

// ---- matching ---------------------------------------------------------------------------------

class Matcher {
 public:
  explicit Matcher(std::string_view data) : data_(data), head_(kHashSize, -1), prev_(kWindow, -1) {}

  void Insert(std::int64_t pos) {
    if (static_cast<std::size_t>(pos) + kMinMatch > data_.size()) return;
    std::uint32_t h = Hash(pos);
    prev_[static_cast<std::size_t>(pos) & (kWindow - 1)] = head_[h];
    head_[h] = pos;
  }

  // The longest earlier match at `pos` within the window: length (0 if none) and distance.
  std::pair<std::size_t, std::size_t> Longest(std::int64_t pos) const {
    std::size_t best = 0, distance = 0;
    if (static_cast<std::size_t>(pos) + kMinMatch > data_.size()) return {0, 0};
    std::size_t limit = std::min(kMaxMatch, data_.size() - static_cast<std::size_t>(pos));
    std::int64_t candidate = head_[Hash(pos)];
    for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
      if (pos - candidate > static_cast<std::int64_t>(kWindow)) break;
      std::size_t len = MatchLength(candidate, pos, limit);
      if (len > best) {
        best = len;
        distance = static_cast<std::size_t>(pos - candidate);
        if (len == limit) break;
      }
      std::int64_t next = prev_[static_cast<std::size_t>(candidate) & (kWindow - 1)];
      if (next >= candidate) break;  // the slot was reused by a newer position
      candidate = next;
    }
    return {best >= kMinMatch ? best : 0, distance};
  }

 private:
  static constexpr std::size_t kHashSize = std::size_t{1} << 16;

  std::uint32_t Hash(std::int64_t pos) const {
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data()) + pos;
    return ((p[0] << 10) ^ (p[1] << 5) ^ p[2]) & (kHashSize - 1);
  }
  std::size_t MatchLength(std::int64_t a, std::int64_t b, std::size_t limit) const {
    std::size_t n = 0;
    while (n < limit && data_[a + n] == data_[b + n]) ++n;
    return n;
  }

  std::string_view data_;
  std::vector<std::int64_t> head_;
  std::vector<std::int64_t> prev_;
};

// ---- headers ----------------------------------------------------------------------------------

void put16(std::string& s, std::uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& s, std::uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

// One extended header: its size field belongs to the previous header, so callers add the size
// first and then the type byte and data.
void put_extended(std::string& s, std::uint8_t type, std::string_view data) {
  put16(s, static_cast<std::uint32_t>(data.size() + 3));
  s.push_back(static_cast<char>(type));
  s.append(data);
}

// Folder part with 0xFF after each folder, file part, as the level-2 extended headers want them.
std::pair<std::string, std::string> split_name(const std::string& name, bool is_folder) {
  std::string folder_part = is_folder ? name : std::string();
  std::string file_part = is_folder ? std::string() : name;
  if (!is_folder) {
    std::size_t slash = name.rfind('/');
    if (slash != std::string::npos) {
      folder_part = name.substr(0, slash);
      file_part = name.substr(slash + 1);
    }
  }
  while (!folder_part.empty() && folder_part.back() == '/') folder_part.pop_back();
  if (!folder_part.empty()) {
    std::replace(folder_part.begin(), folder_part.end(), '/', '\xFF');
    folder_part.push_back('\xFF');
  }
  return {folder_part, file_part};
}

constexpr std::uint64_t kMaxStoredSize = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::uint16_t lha_crc16(std::uint16_t crc, std::string_view bytes) {
  static const std::array<std::uint16_t, 256> table = [] {
    std::array<std::uint16_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t r = i;
      for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
      t[i] = static_cast<std::uint16_t>(r);
    }
    return t;
  }();
  for (unsigned char c : bytes)
    crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ c) & 0xFF]);
  return crc;
}

std::string lh5_compress(std::string_view data) {
  BitWriter out;
  Matcher matcher(data);
  std::vector<Token> tokens;
  tokens.reserve(kBlockCodes);
  std::int64_t size = static_cast<std::int64_t>(data.size());
  for (std::int64_t pos = 0; pos < size;) {
    auto [length, distance] = matcher.Longest(pos);
    if (length == 0) {
      tokens.push_back({static_cast<unsigned char>(data[pos]), 0});
      matcher.Insert(pos++);
    } else {
      tokens.push_back({static_cast<std::uint16_t>(256 + length - kMinMatch),
                        static_cast<std::uint16_t>(distance - 1)});
      for (std::size_t k = 0; k < length; ++k) matcher.Insert(pos++);
    }
    if (tokens.size() == kBlockCodes) {
      encode_block(out, tokens);
      tokens.clear();
    }
  }
  if (!tokens.empty()) encode_block(out, tokens);
  return out.Finish();
}

LhaWriter::LhaWriter(const std::filesystem::path& archive_path)
    : out_(archive_path, std::ios::binary | std::ios::trunc) {
  if (!out_) throw std::runtime_error("cannot create " + archive_path.string());
}

void LhaWriter::AddFile(const std::string& name, std::string_view data, std::int64_t mtime) {
  if (data.size() > kMaxStoredSize)
    throw std::runtime_error("file too large for an LHA entry: " + name);
  std::uint16_t crc = lha_crc16(0, data);
  std::string packed = lh5_compress(data);
  auto original = static_cast<std::uint32_t>(data.size());
  if (packed.size() < data.size())
    WriteEntry("-lh5-", name, packed, original, crc, mtime, false);
  else
    WriteEntry("-lh0-", name, data, original, crc, mtime, false);
}

void LhaWriter::AddFolder(const std::string& name, std::int64_t mtime) {
  WriteEntry("-lhd-", name, {}, 0, 0, mtime, true);
}

void LhaWriter::WriteEntry(const std::string& method, const std::string& name,
                           std::string_view stored, std::uint32_t original_size, std::uint16_t crc,
                           std::int64_t mtime, bool is_folder) {
  auto [folder_part, file_part] = split_name(name, is_folder);
  std::string h;
  put16(h, 0);  // header size, filled in below
  h += method;
  put32(h, static_cast<std::uint32_t>(stored.size()));
  put32(h, original_size);
  put32(h, static_cast<std::uint32_t>(std::clamp<std::int64_t>(mtime, 0, 0xFFFFFFFF)));
  h.push_back(0x20);  // attribute byte of level 2: reserved
  h.push_back(2);     // header level
  put16(h, crc);
  h.push_back('M');  // names are Shift-JIS, as LHA archives of this origin have them
  std::size_t crc_field = h.size() + 3;
  put_extended(h, 0x00, std::string(2, '\0'));
  if (!is_folder) put_extended(h, 0x01, file_part);
  if (!folder_part.empty()) put_extended(h, 0x02, folder_part);
  put16(h, 0);  // no further extended header
  if (h.size() > 0xFFFF) throw std::runtime_error("name too long for an LHA header: " + name);
  h[0] = static_cast<char>(h.size() & 0xFF);
  h[1] = static_cast<char>(h.size() >> 8);
  std::uint16_t header_crc = lha_crc16(0, h);
  h[crc_field] = static_cast<char>(header_crc & 0xFF);
  h[crc_field + 1] = static_cast<char>(header_crc >> 8);
  out_.write(h.data(), static_cast<std::streamsize>(h.size()));
  out_.write(stored.data(), static_cast<std::streamsize>(stored.size()));
  if (!out_) throw std::runtime_error("write failed");
}

void LhaWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  out_.put('\0');
  out_.close();
  if (!out_) throw std::runtime_error("write failed");
}

}  // namespace morivel::archive
