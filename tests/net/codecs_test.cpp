#include <gtest/gtest.h>

#include <sstream>

#include "net/ex_string_list.h"
#include "net/url_encoder.h"
#include "net/uu_processor.h"

namespace vellumark {
namespace {

TEST(UrlEncoder, Vectors) {
  TUrlEncoder enc;
  EXPECT_EQ(enc.URLEncode("a b&c"), "a+b%26c");
  EXPECT_EQ(enc.URLEncode("caf\xE9"), "caf%E9");
  EXPECT_EQ(enc.URLEncode(""), "");
  EXPECT_EQ(enc.URLEncode("/x=1"), "%2Fx%3D1");
  EXPECT_EQ(enc.URLEncode(std::string("\0\xFF", 2)), "%00%FF");
  EXPECT_EQ(enc.URLEncode("AZaz09-_.~"), "AZaz09%2D%5F%2E%7E");
  enc.InputString = "k v";
  EXPECT_EQ(enc.Encode(), "k+v");
}

TEST(UrlEncoder, EncodesLongTextsWhole) {
  TUrlEncoder enc;
  const std::string text(70000, ' ');
  EXPECT_EQ(enc.URLEncode(text), std::string(70000, '+'));
}

std::string Encode(const std::string& input, UUMethods method, int* begin = nullptr,
                   int* end = nullptr) {
  std::stringstream in(input), out;
  TUUProcessor uu;
  uu.Method = method;
  uu.InputStream = &in;
  uu.OutputStream = &out;
  if (begin) uu.OnBeginEncode = [begin](TUUProcessor&) { ++*begin; };
  if (end) uu.OnEndEncode = [end](TUUProcessor&) { ++*end; };
  uu.Encode();
  return out.str();
}

TEST(UUProcessor, MimeVectors) {
  EXPECT_EQ(Encode("abc", uuMime), "YWJj\r\n");
  EXPECT_EQ(Encode("a", uuMime), "YQ==\r\n");
  EXPECT_EQ(Encode("ab", uuMime), "YWI=\r\n");
  EXPECT_EQ(Encode("", uuMime), "");
  EXPECT_EQ(Encode("user:pass", uuMime), "dXNlcjpwYXNz\r\n");
  EXPECT_EQ(Encode(std::string("\xFF\xFE\xFD", 3), uuMime), "//79\r\n");
}

TEST(UUProcessor, MimeLinesHold45BytesEachPaddedOnTheirOwn) {
  const std::string out = Encode(std::string(46, 'a'), uuMime);
  // 45 bytes give 60 characters; the 46th byte a line of its own with its padding.
  ASSERT_EQ(out.size(), 60u + 2 + 4 + 2);
  EXPECT_EQ(out.substr(60, 2), "\r\n");
  EXPECT_EQ(out.substr(62), "YQ==\r\n");
  EXPECT_EQ(Base64Text(std::string(46, 'a')), out.substr(0, 60) + "YQ==");
}

TEST(UUProcessor, UuencodeVectors) {
  // Length character for 3 is '#'; "abc" encodes as "86)C"; then the closing backquote line.
  EXPECT_EQ(Encode("abc", uuCode), "#86)C\r\n`\r\n");
  // No filler in the line: one byte gives the length character and two characters.
  EXPECT_EQ(Encode("a", uuCode), "!80\r\n`\r\n");
  EXPECT_EQ(Encode("", uuCode), "`\r\n");
  // Zero bits encode as the backquote, not as a space.
  EXPECT_EQ(Encode(std::string(3, '\0'), uuCode), "#````\r\n`\r\n");
}

TEST(UUProcessor, AlphabetsAndEvents) {
  TUUProcessor uu;
  uu.Method = uuCode;
  uu.SelectAlphabet();
  ASSERT_EQ(uu.Alphabet().size(), 64u);
  EXPECT_EQ(uu.Alphabet().front(), '`');
  EXPECT_EQ(uu.Alphabet()[1], '!');
  EXPECT_EQ(uu.Alphabet().back(), '_');
  int begin = 0, end = 0;
  Encode("xyz", uuMime, &begin, &end);
  EXPECT_EQ(begin, 1);
  EXPECT_EQ(end, 1);
}

TEST(UUProcessor, RewindsBothStreams) {
  std::stringstream in("abcdef"), out;
  in.get();  // a position other than the start must not matter
  TUUProcessor uu;
  uu.InputStream = &in;
  uu.OutputStream = &out;
  uu.Encode();
  std::string first;
  out >> first;
  EXPECT_EQ(first, "YWJjZGVm");
}

TEST(ExStringList, SetHeaderValueReplacesInPlaceAddsAndRemoves) {
  TExStringList list;
  list.Add("GET / HTTP/1.0");
  list.Add("host: x");
  list.Add("Accept: */*");
  list.SetHeaderValue("Host", "example.org");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[1], "Host: example.org");
  list.SetHeaderValue("User-Agent", "vm");
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[3], "User-Agent: vm");
  list.SetHeaderValue("HOST", "");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.IndexOfHeaderName("host"), -1);
  list.SetHeaderValue("Cookie", "");  // removing what is absent changes nothing
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Text(), "GET / HTTP/1.0\r\nAccept: */*\r\nUser-Agent: vm\r\n");
}

TEST(ExStringList, NamePartIsTextBeforeFirstColon) {
  TExStringList list;
  list.Add("GET http://host/ HTTP/1.0");
  list.Add("no colon here");
  list.Add("X-A: 1");
  EXPECT_EQ(list.IndexOfHeaderName("http"), -1);
  EXPECT_EQ(list.IndexOfHeaderName("GET http"), 0);
  EXPECT_EQ(list.IndexOfHeaderName("no colon here"), -1);
  EXPECT_EQ(list.IndexOfHeaderName("x-a"), 2);
  EXPECT_EQ(list.IndexOfHeaderName("X-A "), -1);
}

TEST(ExStringList, SortedListFindsByBisection) {
  TExStringList list;
  EXPECT_EQ(list.IndexOfHeaderName("a"), -1);
  list.Add("Zeta: 1");
  list.Add("accept: 2");
  list.Add("Accept-Language: 3");
  list.Add("Host: 4");
  list.SetSorted(true);
  EXPECT_EQ(list[0], "accept: 2");
  EXPECT_EQ(list.IndexOfHeaderName("ACCEPT"), 0);
  EXPECT_EQ(list.IndexOfHeaderName("accept-language"), 1);
  EXPECT_EQ(list.IndexOfHeaderName("zeta"), 3);
  EXPECT_EQ(list.IndexOfHeaderName("Missing"), -1);
  list.SetHeaderValue("Cookie", "c=1");
  EXPECT_EQ(list[2], "Cookie: c=1");
  list.SetHeaderValue("host", "h");
  EXPECT_EQ(list[list.IndexOfHeaderName("Host")], "host: h");
}

}  // namespace
}  // namespace vellumark
