#include "archive/index_stream.h"

#include <gtest/gtest.h>

#include "store/page_list.h"

namespace vellumark::testing {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TPageRecord Page(std::int64_t no, std::string address, std::string text = "", int state = 1) {
  TPageRecord p;
  p.file_no = no;
  p.address = std::move(address);
  p.state = state;
  p.header = "content-type: text/html\r\n";
  p.title = "T";
  p.text = std::move(text);
  return p;
}

// Writes a stream of `pages` and `words` and returns its bytes.
std::string Stream(const std::vector<TPageRecord>& pages, const std::vector<TWordRecord>& words) {
  TStringSink sink;
  TIndexStreamWriter w(sink);
  w.WritePageCount(static_cast<std::int64_t>(pages.size()));
  for (const auto& p : pages) w.WritePage(p);
  for (const auto& r : words) w.WriteWord(r.word, r.page_list);
  w.WriteEnd();
  return sink.data;
}

struct Parsed {
  std::vector<TPageRecord> pages;
  std::vector<TWordRecord> words;
};

Parsed Read(const std::string& bytes) {
  TMemorySource source(bytes);
  TIndexStreamReader r(source);
  Parsed out;
  std::int64_t n = r.ReadPageCount();
  for (std::int64_t i = 0; i < n; ++i) {
    out.pages.emplace_back();
    r.ReadPage(out.pages.back());
  }
  TWordRecord w;
  while (r.ReadWord(w)) out.words.push_back(w);
  return out;
}

TEST(IndexStream, PageRecordBytesWithFrontCompressionFromThreeSharedCharacters) {
  // "abX" shares 2 with "ab" (written whole); "abcd" then shares 3 with "abcx" (compressed).
  std::string s =
      Stream({Page(1, "abX"), Page(2, "abZ"), Page(0x12345, "abcx"), Page(7, "abcd")}, {});
  std::string page1 = Bytes({0x80, 0x00, 0x01}) + "abX" + Bytes({0x00, 0x01}) +
                      "content-type: text/html\r\n" + Bytes({0x00}) + "T" + Bytes({0x00, 0x00});
  EXPECT_EQ(s.substr(0, 2), std::string("4") + '\0');
  EXPECT_EQ(s.substr(2, page1.size()), page1);
  // Page 2: two shared characters only, so the address goes whole.
  EXPECT_NE(s.find(Bytes({0x80, 0x00, 0x02}) + "abZ" + Bytes({0x00})), std::string::npos);
  EXPECT_NE(s.find(Bytes({0x81, 0x23, 0x45}) + "abcx" + Bytes({0x00})), std::string::npos);
  EXPECT_NE(s.find(Bytes({0x80, 0x00, 0x07}) + "d" + Bytes({0xFF, 0x03})), std::string::npos);
  Parsed p = Read(s);
  ASSERT_EQ(p.pages.size(), 4u);
  EXPECT_EQ(p.pages[3].address, "abcd");
  EXPECT_EQ(p.pages[2].file_no, 0x12345);
}

TEST(IndexStream, ExcerptsAreFrontCompressedAgainstThePreviousExcerpt) {
  std::string long_text(300, 'q');
  Parsed p = Read(Stream({Page(1, "a", long_text), Page(2, "b", long_text + "z"),
                          Page(3, "c", "qqq"), Page(4, "d", "")},
                         {}));
  EXPECT_EQ(p.pages[1].text, long_text + "z");  // shared part capped at 255
  EXPECT_EQ(p.pages[2].text, "qqq");
  EXPECT_EQ(p.pages[3].text, "");
}

TEST(IndexStream, HighestPageNumberAndOneByteHeadsReadBack) {
  // 1,048,576 does not fit the 20 bits of the format's reading; its three bytes still say it.
  std::string s = Stream({Page(kMaxPageNo, "x")}, {});
  EXPECT_EQ(s.substr(2, 3), Bytes({0x90, 0x00, 0x00}));
  EXPECT_EQ(Read(s).pages[0].file_no, kMaxPageNo);

  // A one-byte head counts on from the previous record.
  std::string rec = "a" + Bytes({0x00, 0x01, 0x00, 0x00, 0x00});
  std::string two = std::string("2") + '\0' + Bytes({0x80, 0x00, 0x05}) + rec + Bytes({0x03}) +
                    rec + Bytes({0x00});
  Parsed p = Read(two);
  EXPECT_EQ(p.pages[1].file_no, 8);
  EXPECT_THROW(Stream({Page(kMaxPageNo + 1, "x")}, {}), EIndexStreamError);
  EXPECT_THROW(Stream({Page(0, "x")}, {}), EIndexStreamError);
}

TEST(IndexStream, BytesTheFormatCannotCarryAreReplaced) {
  TPageRecord p = Page(1, std::string("a\0b\xFF", 4), std::string("t\xFFx\0", 4));
  p.title = std::string("ti\0tle\xFF", 7);
  Parsed r = Read(Stream({p}, {}));
  EXPECT_EQ(r.pages[0].address, "a b?");
  EXPECT_EQ(r.pages[0].text, "t?x ");
  EXPECT_EQ(r.pages[0].title, "ti tle\xFF");  // not front-compressed: 0xFF is carried
}

TEST(IndexStream, WordRecordsShareFromTwoCharactersAndSizeTheirLengthField) {
  std::string l255(255, '\x11'), l256(256, '\x12'), l70k(70000, '\x13');
  std::string s =
      Stream({Page(1, "a")}, {{"ab", l255}, {"ac", l256}, {"acde", "\x10\x01"}, {"acdf", l70k}});
  const std::size_t words = Stream({Page(1, "a")}, {}).size() - 1;
  // "ab": head 2, 1-byte length. "ac" shares 1: whole, 2-byte length (0x40).
  EXPECT_EQ(s.substr(words, 4), Bytes({0x02}) + "ab" + Bytes({0xFF}));
  std::size_t ac = words + 4 + 255;
  EXPECT_EQ(s.substr(ac, 5), Bytes({0x42}) + "ac" + Bytes({0x01, 0x00}));
  std::size_t acde = ac + 5 + 256;
  EXPECT_EQ(s.substr(acde, 5), Bytes({0x22, 0x02}) + "de" + Bytes({0x02}));
  std::size_t acdf = acde + 5 + 2;
  EXPECT_EQ(s.substr(acdf, 6), Bytes({0xA1, 0x03}) + "f" + Bytes({0x01, 0x11, 0x70}));
  EXPECT_EQ(s.back(), '\0');

  Parsed p = Read(s);
  ASSERT_EQ(p.words.size(), 4u);
  EXPECT_EQ(p.words[1].page_list, l256);
  EXPECT_EQ(p.words[2].word, "acde");
  EXPECT_EQ(p.words[3].page_list, l70k);
}

TEST(IndexStream, RepeatedWordKeepsOneCharacterInItsRecord) {
  Parsed p = Read(Stream({Page(1, "a")}, {{"same", "x"}, {"same", "y"}}));
  ASSERT_EQ(p.words.size(), 2u);
  EXPECT_EQ(p.words[1].word, "same");
  EXPECT_THROW(Stream({}, {{"", "x"}}), EIndexStreamError);
  EXPECT_THROW(Stream({}, {{std::string(25, 'w'), "x"}}), EIndexStreamError);
}

// Every cut of a valid stream is refused with EIndexStreamError, never read past its end.
TEST(IndexStreamReader, EveryTruncationIsRefused) {
  std::string s =
      Stream({Page(1, "index.html", "some text"), Page(2, "index2.html", "some more")},
             {{"some", Bytes({0x10, 0x00, 0x10, 0x01})}, {"text", Bytes({0x10, 0x00})}});
  ASSERT_NO_THROW(Read(s));
  for (std::size_t n = 0; n < s.size(); ++n) {
    EXPECT_THROW(Read(s.substr(0, n)), EIndexStreamError) << "cut at " << n;
  }
}

TEST(IndexStreamReader, RefusesCountsLengthsAndHeadsBeyondWhatIsLeft) {
  const std::string page = Bytes({0x80, 0x00, 0x01}) + "a" + Bytes({0x00, 0x01, 0x00, 0x00, 0x00});
  auto with_words = [&](const std::string& words) {
    return std::string("1") + '\0' + page + words;
  };
  // A page count the stream cannot hold, or that is no number.
  EXPECT_THROW(Read(std::string("1000") + '\0' + page + Bytes({0})), EIndexStreamError);
  EXPECT_THROW(Read(std::string("1a") + '\0'), EIndexStreamError);
  EXPECT_THROW(Read(std::string("") + '\0'), EIndexStreamError);
  EXPECT_THROW(Read(std::string("99999999999999999999") + '\0'), EIndexStreamError);
  // A shared part longer than the previous text.
  EXPECT_THROW(Read(std::string("1") + '\0' + Bytes({0x80, 0x00, 0x01, 'a', 0xFF, 0x05})),
               EIndexStreamError);
  // Page numbers out of range: 0, and above 1,048,576.
  EXPECT_THROW(
      Read(std::string("1") + '\0' + Bytes({0x80, 0x00, 0x00}) + page.substr(3) + Bytes({0})),
      EIndexStreamError);
  EXPECT_THROW(
      Read(std::string("1") + '\0' + Bytes({0x90, 0x00, 0x01}) + page.substr(3) + Bytes({0})),
      EIndexStreamError);
  // Word heads: a count of 25 or more, a shared part beyond the previous word, a word that
  // grows past 24 bytes, a page list longer than the rest, a 0x00 byte in a word.
  EXPECT_THROW(Read(with_words(Bytes({0x19}) + std::string(25, 'w') + Bytes({0x00, 0x00}))),
               EIndexStreamError);
  EXPECT_THROW(Read(with_words(Bytes({0x21, 0x01, 'a', 0x00, 0x00}))), EIndexStreamError);
  EXPECT_THROW(Read(with_words(Bytes({0x18}) + std::string(24, 'w') + Bytes({0x00, 0x21, 0x18}) +
                               "x" + Bytes({0x00, 0x00}))),
               EIndexStreamError);
  EXPECT_THROW(Read(with_words(Bytes({0xC1, 'a', 0x7F, 0xFF, 0xFF, 0xFF, 0x00}))),
               EIndexStreamError);
  EXPECT_THROW(Read(with_words(Bytes({0x02, 'a', 0x00, 0x00, 0x00}))), EIndexStreamError);
}

}  // namespace
}  // namespace vellumark::testing
