// The page list of a word: the bytes of a word record's Files field, a plain concatenation of
// postings (page number and weight), one per page that holds the word, with no header or
// terminator. A posting is 2 bytes for pages 1 to 4,096 and 3 bytes for later pages, so one
// list may mix both forms (see doc/formats.md). The indexer appends, the search decodes, the
// archive copies lists unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vellumark {

inline constexpr int kMaxPageNo = 1048576;    // highest File_No a posting can carry
inline constexpr int kMaxShortPageNo = 4096;  // highest File_No of a 2-byte posting
inline constexpr int kMaxWeight = 7;

struct TPosting {
  int file_no;  // 1 to 1,048,576
  int weight;   // 1 to 7 as written (the reader takes the three bits as they are)
};

// Appends the 2- or 3-byte posting of (file_no, weight) to `list`.
// REQUIRES: 1 <= file_no <= kMaxPageNo, 1 <= weight <= kMaxWeight.
void AppendPosting(std::string& list, int file_no, int weight);

// Reads the postings of a page list from its first byte to its end:
//   TPageListDecoder d(list); TPosting p; while (d.Next(p)) { ... }
// A list whose last posting is cut short ends before it; Truncated() then tells.
class TPageListDecoder final {
 public:
  explicit TPageListDecoder(std::string_view list) : list_(list) {}
  bool Next(TPosting& posting);
  bool Truncated() const { return truncated_; }

 private:
  std::string_view list_;  // not owned; must outlive the decoder
  std::size_t pos_ = 0;
  bool truncated_ = false;
};

// The weight 1 to 7 of a word seen `count` times on a page whose text has `text_length`
// characters (bytes). Counts above 4 are damped on pages longer than 30,000, 100,000 and
// 1,000,000 characters. REQUIRES: count >= 1.
int WeightOf(int count, std::int64_t text_length);

}  // namespace vellumark
