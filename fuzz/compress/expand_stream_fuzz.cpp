// libFuzzer target: `ExpandStream` over arbitrary bytes. Any input must end in a result or in
// one of the compressor's exceptions, inside its buffers (the build adds the sanitizers).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "compress/compressor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vellumark;
  std::vector<uint8_t> input(data, data + size);
  int32_t key = 0;
  if (input.size() > TCompressor::kHeaderSize && input[0] == TCompressor::kHeaderMark) {
    // Keep the claimed size below 1 MB so that one input cannot run for seconds; the
    // decoder's bounds do not depend on it.
    input[7] &= 0x00;
    input[6] &= 0x0F;
    // Locked data gets a key, so that the unscrambling path runs too.
    if (input[13] != 0) key = 0x5A17C0DE;
  }
  TMemoryStream source(std::move(input));
  TMemoryStream dest;
  TCompressor compressor;
  compressor.Key = key;
  try {
    compressor.ExpandStream(dest, source);
  } catch (const Exception&) {
    // Refusals, bad tables and bad checksums are the expected outcomes of most inputs.
  }
  return 0;
}
