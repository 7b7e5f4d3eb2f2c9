// The few fields the indexer keeps of an HTTP response header: length, content type and
// encoding, and three dates. The object owns only texts and numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vellumark {

class TURLHeader final {
 public:
  TURLHeader() { Clear(); }

  // ContentLength -1, both texts empty, the three dates 0.
  void Clear();

  // Clear, then fill the fields from the raw response lines. Each field is found as its name
  // followed by ":" anywhere in the lower-cased text; its value runs from after the blanks that
  // follow the colon to the next CR or LF or the end. A "content-length" that is not a number
  // gives -1. The three dates are located but not converted, so they stay 0.
  void ParseHeader(std::string_view text);

  // The known fields as header lines, each ended by CR LF, in the order content-length (when 0
  // or more), content-type, content-encoding (when not empty), expires, date, last-modified
  // (when above 0, in the user's date and time format). Empty when no field is known.
  std::string GetHeaderText() const;

  int ContentLength = -1;       // -1 when the header gives no usable length
  std::string ContentType;      // lower case; empty when absent
  std::string ContentEncoding;  // lower case; empty when absent
  // Seconds since 1970-01-01 00:00 UTC; 0 = none.
  std::int64_t Expires = 0;
  std::int64_t Date = 0;  // the response date
  std::int64_t LastModified = 0;
};

}  // namespace vellumark
