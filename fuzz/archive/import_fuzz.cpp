// libFuzzer target: the reading side of an import over one arbitrary archive: the nine head
// texts with their checks, the expansion of the rest, and the index stream it expands to.
// The database side is left out; it only stores what the reader returns.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/archive_header.h"
#include "compress/compressor.h"
#include "fuzz_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vellumark;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t offset = 0;
  try {
    TMemorySource source(bytes);
    TBufferedReader in(source);
    ReadArchiveTitle(in);
    ReadArchiveTask(in);
    offset = static_cast<std::size_t>(in.Taken());
  } catch (const EArchiveHeaderError&) {
    return 0;
  }
  std::vector<uint8_t> rest(data + offset, data + size);
  if (rest.size() > TCompressor::kHeaderSize && rest[0] == TCompressor::kHeaderMark) {
    // Keep the claimed size below 1 MB so that one input cannot run for seconds.
    rest[7] = 0;
    rest[6] &= 0x0F;
  }
  TMemoryStream packed(std::move(rest));
  TMemoryStream stream;
  try {
    TCompressor().ExpandStream(stream, packed);
  } catch (const Exception&) {
    return 0;
  }
  try {
    const auto& d = stream.Data();
    CheckRoundTrip(ReadAll(std::string_view(reinterpret_cast<const char*>(d.data()), d.size())));
  } catch (const EIndexStreamError&) {
  }
  return 0;
}
