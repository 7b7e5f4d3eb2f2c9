// libFuzzer target: the index stream reader over arbitrary bytes. Any input must end in
// records or in EIndexStreamError, inside the input (the build adds the sanitizers); records
// that read must write and read back the same.
#include <cstddef>
#include <cstdint>

#include "fuzz_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vellumark;
  try {
    CheckRoundTrip(ReadAll(std::string_view(reinterpret_cast<const char*>(data), size)));
  } catch (const EIndexStreamError&) {
    // A refused stream is the expected outcome of most inputs.
  }
  return 0;
}
