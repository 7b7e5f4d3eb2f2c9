// The exceptions of the compressor, each with its fixed English text. Stream failures
// (`EStreamError`) are not among them; they pass through the compressor unchanged.
#pragma once

#include <string>

#include "util/exception.h"

namespace vellumark {

// The LH5 decoder met a set of code lengths that is not a complete code, or another field of a
// block head outside its range.
class ELZHBadDecodeTable : public Exception {
 public:
  ELZHBadDecodeTable() : Exception("Bad decode table in archive!") {}
};

// The compressed output would exceed its budget; `CompressStream` stores the data instead.
class EUnableToCompress : public Exception {
 public:
  EUnableToCompress() : Exception("Could not compress data, will store instead") {}
};

// An identifier in a header that names no method, or a method that has no coder.
class EUnrecognizedCompressionMethod : public Exception {
 public:
  using Exception::Exception;
  static EUnrecognizedCompressionMethod ForIdentifier(const std::string& id) {
    return EUnrecognizedCompressionMethod("Unrecognized compression method: \"" + id +
                                          "\" in header");
  }
};

class EInvalidHeaderArchiveType : public Exception {
 public:
  EInvalidHeaderArchiveType()
      : Exception("Expand can't handle caMulti archive type in compressed header") {}
};

class EBadChecksum : public Exception {
 public:
  EBadChecksum() : Exception("Bad checksum during expansion -- data may be invalid") {}
};

// The header's uncompressed size cannot be that of its data: negative, or more than the LH5
// coder could ever have made of a stream of that length (TCompressor::kMaxLh5Ratio).
class EImplausibleSize : public Exception {
 public:
  EImplausibleSize() : Exception("Uncompressed size in header does not fit the compressed data") {}
};

// The source is 2 GiB or more: its size does not fit the header's signed 32-bit field.
class ESourceTooLarge : public Exception {
 public:
  ESourceTooLarge() : Exception("Data of 2 GiB or more cannot be compressed") {}
};

class EInvalidKey : public Exception {
 public:
  EInvalidKey() : Exception("File locked -- valid key required") {}
};

}  // namespace vellumark
