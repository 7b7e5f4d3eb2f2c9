// Reads a whole index stream the way an import does, and checks that what was read writes
// and reads back the same.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "archive/index_stream.h"

namespace vellumark {

struct FuzzRecords {
  std::vector<TPageRecord> pages;
  std::vector<TWordRecord> words;
};

// Throws EIndexStreamError for a stream that does not read.
inline FuzzRecords ReadAll(std::string_view bytes) {
  TMemorySource source(bytes);
  TIndexStreamReader reader(source);
  FuzzRecords out;
  const std::int64_t count = reader.ReadPageCount();
  for (std::int64_t i = 0; i < count; ++i) {
    out.pages.emplace_back();
    reader.ReadPage(out.pages.back());
  }
  TWordRecord word;
  while (reader.ReadWord(word)) out.words.push_back(word);
  return out;
}

inline bool Same(const TPageRecord& a, const TPageRecord& b) {
  return a.file_no == b.file_no && a.address == b.address && a.state == b.state &&
         a.header == b.header && a.title == b.title && a.text == b.text;
}

// Every stream that reads must write and read back to the same records.
inline void CheckRoundTrip(const FuzzRecords& records) {
  TStringSink sink;
  TIndexStreamWriter writer(sink);
  writer.WritePageCount(static_cast<std::int64_t>(records.pages.size()));
  for (const auto& p : records.pages) writer.WritePage(p);
  for (const auto& w : records.words) writer.WriteWord(w.word, w.page_list);
  writer.WriteEnd();
  FuzzRecords back = ReadAll(sink.data);
  if (back.pages.size() != records.pages.size() || back.words.size() != records.words.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < back.pages.size(); ++i) {
    if (!Same(back.pages[i], records.pages[i])) std::abort();
  }
  for (std::size_t i = 0; i < back.words.size(); ++i) {
    if (back.words[i].word != records.words[i].word ||
        back.words[i].page_list != records.words[i].page_list) {
      std::abort();
    }
  }
}

}  // namespace vellumark
