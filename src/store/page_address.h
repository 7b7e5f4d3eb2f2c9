// A page's address relative to its location's base address is stored in Files as F1 (its
// first 40 bytes, never cut inside a UTF-8 sequence) and File_URLRest (the rest, empty when
// there is none). Pages are found by F1 through the index "I1", then by File_URLRest.
#pragma once

#include <string>
#include <string_view>

namespace vellumark {

class TTable;

inline constexpr std::size_t kF1Length = 40;  // bytes

struct TPageAddress {
  std::string head;  // F1
  std::string tail;  // File_URLRest
};

TPageAddress SplitPageAddress(std::string_view relative_address);

// Positions `files` on the record of `relative_address` (the lowest File_No among equal ones)
// and returns true; returns false when the page is not known (the cursor then stays). Switches
// `files` to the index "I1".
bool FindPage(TTable& files, std::string_view relative_address);

}  // namespace vellumark
