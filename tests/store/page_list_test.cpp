#include "store/page_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "store/page_address.h"
#include "store/word_store.h"

namespace vellumark {
namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s.push_back(static_cast<char>(x));
  return s;
}

std::string Posting(int file_no, int weight) {
  std::string s;
  AppendPosting(s, file_no, weight);
  return s;
}

TEST(PageList, PostingBytesAtTheFormBoundaries) {
  EXPECT_EQ(Posting(1, 1), Bytes({0x10, 0x00}));
  EXPECT_EQ(Posting(4096, 7), Bytes({0x7F, 0xFF}));
  EXPECT_EQ(Posting(4097, 1), Bytes({0x90, 0x00, 0x01}));
  EXPECT_EQ(Posting(1048576, 7), Bytes({0xFF, 0xFF, 0xFF}));
  // Bits 12 to 15 go to the low half of byte 2, bits 16 to 19 to its high half.
  EXPECT_EQ(Posting(0x12345 + 1, 3), Bytes({0xB3, 0x45, 0x12}));
}

std::vector<TPosting> Decode(std::string_view list, bool* truncated = nullptr) {
  std::vector<TPosting> out;
  TPageListDecoder d(list);
  TPosting p;
  while (d.Next(p)) out.push_back(p);
  if (truncated) *truncated = d.Truncated();
  return out;
}

TEST(PageList, MixedListsDecodeInOrder) {
  // Processing order, not page order: a long posting, then a short one, and repeats.
  std::string list;
  const std::vector<std::pair<int, int>> in = {{5000, 2}, {12, 7},      {4096, 1}, {4097, 4},
                                               {1, 3},    {1048576, 5}, {12, 6}};
  for (auto [no, w] : in) AppendPosting(list, no, w);
  EXPECT_EQ(list.size(), 3u + 2 + 2 + 3 + 2 + 3 + 2);
  EXPECT_EQ(list.substr(0, 5), Posting(5000, 2) + Posting(12, 7));
  std::vector<TPosting> out = Decode(list);
  ASSERT_EQ(out.size(), in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(out[i].file_no, in[i].first) << i;
    EXPECT_EQ(out[i].weight, in[i].second) << i;
  }
}

TEST(PageList, EveryPageNumberRoundTrips) {
  std::string list;
  for (int no = 1; no <= kMaxPageNo; no += 997) AppendPosting(list, no, 1 + no % 7);
  int expect = 1;
  for (const TPosting& p : Decode(list)) {
    ASSERT_EQ(p.file_no, expect);
    ASSERT_EQ(p.weight, 1 + expect % 7);
    expect += 997;
  }
}

TEST(PageList, ACutShortListEndsBeforeTheBrokenPosting) {
  bool truncated = false;
  std::string list = Posting(3, 2) + Posting(5000, 1);
  EXPECT_EQ(Decode(list.substr(0, 4), &truncated).size(), 1u);
  EXPECT_TRUE(truncated);
  EXPECT_EQ(Decode(list.substr(0, 1), &truncated).size(), 0u);
  EXPECT_TRUE(truncated);
  EXPECT_TRUE(Decode("").empty());
}

TEST(WeightOf, CountsMapToWeights) {
  const std::vector<std::pair<int, int>> table = {{1, 1},  {2, 2},  {3, 3},  {4, 3},
                                                  {5, 4},  {9, 4},  {10, 5}, {19, 5},
                                                  {20, 6}, {49, 6}, {50, 7}, {5000, 7}};
  for (auto [c, w] : table) EXPECT_EQ(WeightOf(c, 1000), w) << c;
}

TEST(WeightOf, LongPagesDampCountsAboveFour) {
  EXPECT_EQ(WeightOf(10, 50000), 4);    // 10 -> 6
  EXPECT_EQ(WeightOf(10, 30000), 5);    // not above 30,000: undamped
  EXPECT_EQ(WeightOf(60, 200000), 5);   // 60 -> 31 -> 16
  EXPECT_EQ(WeightOf(60, 2000000), 4);  // 60 -> 31 -> 16 -> 9
  EXPECT_EQ(WeightOf(4, 5000000), 3);   // 3 and 4 are never reduced
  EXPECT_EQ(WeightOf(3, 5000000), 3);
  EXPECT_EQ(WeightOf(1, 5000000), 1);
  EXPECT_EQ(WeightOf(5, 100001), 2);  // 5 -> 3 -> 2: the later steps do not re-test c
}

TEST(WordTables, ChoiceByByteLength) {
  EXPECT_EQ(WordTableNumber("a"), 1);
  EXPECT_EQ(WordTableNumber("sixsix"), 1);
  EXPECT_EQ(WordTableNumber("sevense"), 2);
  EXPECT_EQ(WordTableNumber("twelvetwelve"), 2);
  EXPECT_EQ(WordTableNumber("thirteenthirt"), 3);
  EXPECT_EQ(WordTableNumber("\xc3\xa9t\xc3\xa9s"), 1);   // 6 bytes, 4 characters
  EXPECT_EQ(WordTableNumber("\xc3\xa9t\xc3\xa9st"), 2);  // 7 bytes
  const std::string thirty = "abcdefghijklmnopqrstuvwxyzabcd";
  EXPECT_EQ(WordTableNumber(thirty), 3);
  EXPECT_EQ(WordKey(thirty), thirty.substr(0, 24));
  EXPECT_EQ(WordKey("short"), "short");
  // 23 ASCII bytes then a 2-byte letter: the cut keeps whole sequences only.
  EXPECT_EQ(WordKey(std::string(23, 'a') + "\xc3\xa9z"), std::string(23, 'a'));
}

TEST(PageAddress, SplitsAtFortyBytes) {
  const std::string forty(40, 'p');
  EXPECT_EQ(SplitPageAddress(forty).head, forty);
  EXPECT_EQ(SplitPageAddress(forty).tail, "");
  EXPECT_EQ(SplitPageAddress(forty + "x").head, forty);
  EXPECT_EQ(SplitPageAddress(forty + "x").tail, "x");
  EXPECT_EQ(SplitPageAddress("").head, "");
  // A two-byte character across the 40th byte goes whole into the rest.
  const std::string a39(39, 'a');
  EXPECT_EQ(SplitPageAddress(a39 + "\xc3\xa9").head, a39);
  EXPECT_EQ(SplitPageAddress(a39 + "\xc3\xa9").tail, "\xc3\xa9");
}

}  // namespace
}  // namespace vellumark
