// Helpers of the compression tests: inputs made from fixed seeds, and raw LH5 streams encoded
// and decoded without the container around them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compress/lh5.h"
#include "compress/stream.h"

namespace vellumark::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic pseudo-random bytes.
inline Bytes RandomBytes(size_t n, uint32_t seed) {
  Bytes out(n);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<uint8_t>(x >> 24);
  }
  return out;
}

// HTML-like text: tags, attributes and words drawn from small vocabularies.
inline Bytes HtmlLikeText(size_t n, uint32_t seed) {
  static const char* kWords[] = {
      "search", "index", "page", "the",  "of",      "and",     "location", "archive",
      "word",   "table", "link", "site", "desktop", "engine",  "results",  "query",
      "a",      "to",    "in",   "is",   "for",     "with",    "compress", "stream",
      "header", "block", "code", "tree", "window",  "browser", "text",     "file"};
  static const char* kTags[] = {"<p>",
                                "</p>\n",
                                "<div class=\"item\">",
                                "</div>\n",
                                "<a href=\"/docs/page",
                                "\">",
                                "</a>",
                                "<li>",
                                "</li>\n",
                                "<h2>",
                                "</h2>\n",
                                "<span id=\"s",
                                "\"></span>"};
  Bytes out;
  out.reserve(n + 64);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 7;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  while (out.size() < n) {
    const uint64_t r = next();
    std::string piece;
    if (r % 7 == 0) {
      piece = kTags[(r >> 8) % (sizeof(kTags) / sizeof(kTags[0]))];
      if (r % 3 == 0) piece += std::to_string((r >> 20) % 1000);
    } else {
      piece = kWords[(r >> 8) % (sizeof(kWords) / sizeof(kWords[0]))];
      piece += (r >> 16) % 11 == 0 ? ". " : " ";
    }
    out.insert(out.end(), piece.begin(), piece.end());
  }
  out.resize(n);
  return out;
}

// Structured binary: little-endian counters, small floats' bytes and runs.
inline Bytes StructuredBinary(size_t n, uint32_t seed) {
  Bytes out;
  out.reserve(n);
  Bytes noise = RandomBytes(n, seed);
  for (uint32_t i = 0; out.size() < n; ++i) {
    const uint32_t v = i * 2654435761u;
    out.push_back(static_cast<uint8_t>(i));
    out.push_back(static_cast<uint8_t>(i >> 8));
    out.push_back(static_cast<uint8_t>(v >> 28));
    out.push_back(noise[i % n]);
    if (i % 61 == 0) out.insert(out.end(), 9, 0);
  }
  out.resize(n);
  return out;
}

// Runs `coder` over `input` through a run state with no budget limit; returns the output.
template <typename Coder>
Bytes RunRaw(const Bytes& input, Coder coder, int64_t budget = 0x7FFFFFFF) {
  TMemoryStream source(input);
  TMemoryStream dest;
  TCompressRunState state;
  TCompressRunState::Setup setup;
  setup.source = &source;
  setup.dest = &dest;
  setup.input_length = static_cast<int64_t>(input.size());
  setup.budget = budget;
  state.Start(setup);
  try {
    coder(state);
  } catch (...) {
    state.Abandon();
    throw;
  }
  state.Finish();
  return dest.Data();
}

inline Bytes EncodeRaw(const Bytes& input) {
  return RunRaw(input, [](TCompressRunState& s) { Lh5Encode(s); });
}

inline Bytes DecodeRaw(const Bytes& stream, int64_t size, lh5::Trace* trace = nullptr) {
  return RunRaw(stream, [&](TCompressRunState& s) { Lh5Decode(s, size, trace); });
}

// CRC-16 of LHA archives: polynomial 0x8005, reflected (0xA001), initial value 0.
inline uint16_t Crc16(const Bytes& data) {
  uint16_t crc = 0;
  for (uint8_t b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

inline void PutLe(Bytes& out, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline uint32_t GetLe(const Bytes& in, size_t at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v |= uint32_t{in.at(at + i)} << (8 * i);
  return v;
}

struct LhaEntry {
  std::string name;
  std::string method;  // "-lh5-", "-lh0-", ...
  Bytes original;      // what the entry holds uncompressed (when we write it)
  Bytes data;          // the entry's compressed data
  uint32_t original_size = 0;
  uint16_t crc = 0;
};

// A level-0 header: size, checksum, method, sizes, DOS time and date, attribute, level, name,
// CRC-16 of the original data. The archive ends with a 0 byte.
inline Bytes LhaArchive(const std::vector<LhaEntry>& entries, bool break_crc = false) {
  Bytes out;
  for (const LhaEntry& e : entries) {
    Bytes h;
    h.insert(h.end(), e.method.begin(), e.method.end());
    PutLe(h, static_cast<uint32_t>(e.data.size()), 4);
    PutLe(h, static_cast<uint32_t>(e.original.size()), 4);
    PutLe(h, 0x0000, 2);  // time 00:00:00
    PutLe(h, 0x5821, 2);  // date 2024-01-01
    h.push_back(0x20);    // archive attribute
    h.push_back(0);       // level 0
    h.push_back(static_cast<uint8_t>(e.name.size()));
    h.insert(h.end(), e.name.begin(), e.name.end());
    PutLe(h, Crc16(e.original) ^ (break_crc ? 1 : 0), 2);
    uint8_t sum = 0;
    for (uint8_t b : h) sum = static_cast<uint8_t>(sum + b);
    out.push_back(static_cast<uint8_t>(h.size()));
    out.push_back(sum);
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), e.data.begin(), e.data.end());
  }
  out.push_back(0);
  return out;
}

// Reads the entries of an archive with headers of level 0, 1 or 2.
}  // namespace vellumark::testing
