// libFuzzer target: `CompressStream` with LH5, then `ExpandStream`, must give back the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compress/compressor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vellumark;
  // The first byte, when present, picks the key: 0 most of the time.
  int32_t key = 0;
  if (size > 0 && data[0] >= 0xF0) key = static_cast<int32_t>(data[0] * 0x01010101u);
  TMemoryStream source(std::vector<uint8_t>(data, data + size));
  TMemoryStream packed;
  TCompressor compressor;
  compressor.Key = key;
  compressor.CompressStream(packed, source, coLZH5);
  packed.SetPosition(0);
  TMemoryStream back;
  compressor.ExpandStream(back, packed);
  if (back.Data() != std::vector<uint8_t>(data, data + size)) std::abort();
  return 0;
}
