#include "web/url_header.h"

#include <gtest/gtest.h>

namespace vellumark {
namespace {

TEST(TURLHeader, PicksTheFieldsInLowerCase) {
  TURLHeader h;
  h.ParseHeader(
      "HTTP/1.0 200 OK\r\n"
      "Date: Tue, 08 Dec 2026 03:00:00 GMT\r\n"
      "Content-Type: Text/HTML; charset=ISO-8859-1\r\n"
      "Content-Length:   1234\r\n"
      "Content-Encoding: GZip\r\n"
      "Last-Modified: Mon, 07 Dec 2026 10:00:00 GMT\r\n\r\n");
  EXPECT_EQ(h.ContentType, "text/html; charset=iso-8859-1");
  EXPECT_EQ(h.ContentLength, 1234);
  EXPECT_EQ(h.ContentEncoding, "gzip");
  EXPECT_EQ(h.Date, 0);  // dates are not converted
  EXPECT_EQ(h.LastModified, 0);
  EXPECT_EQ(h.GetHeaderText(),
            "content-length: 1234\r\n"
            "content-type: text/html; charset=iso-8859-1\r\n"
            "content-encoding: gzip\r\n");
}

TEST(TURLHeader, MissingOrBadLengthAndALastLineWithoutLineEnd) {
  TURLHeader h;
  h.ParseHeader("HTTP/1.0 200 OK\nContent-Type: text/plain");
  EXPECT_EQ(h.ContentLength, -1);
  EXPECT_EQ(h.ContentType, "text/plain");
  EXPECT_EQ(h.GetHeaderText(), "content-type: text/plain\r\n");

  h.ParseHeader("Content-Length: lots\r\n");
  EXPECT_EQ(h.ContentLength, -1);
  EXPECT_EQ(h.ContentType, "");  // the previous parse was cleared
  EXPECT_EQ(h.GetHeaderText(), "");
  h.ParseHeader("Content-Length: 0\r\n");
  EXPECT_EQ(h.GetHeaderText(), "content-length: 0\r\n");
  h.ParseHeader("Content-Length: 99999999999\r\n");  // beyond 32 bits
  EXPECT_EQ(h.ContentLength, -1);
}

TEST(TURLHeader, TheFirstOccurrenceAnywhereCounts) {
  TURLHeader h;
  h.ParseHeader("Content-Type: text/html\r\nContent-Type: image/png\r\n");
  EXPECT_EQ(h.ContentType, "text/html");
  // The name is found even inside another field's name.
  h.ParseHeader("X-Content-Type: a/b\r\nContent-Type: text/html\r\n");
  EXPECT_EQ(h.ContentType, "a/b");
  h.ParseHeader("Content-Type:\r\nContent-Length: 5");
  EXPECT_EQ(h.ContentType, "");
  EXPECT_EQ(h.ContentLength, 5);
}

TEST(TURLHeader, ClearAndDateLines) {
  TURLHeader h;
  h.ParseHeader("Content-Length: 7\r\nContent-Type: text/html\r\n");
  h.Clear();
  EXPECT_EQ(h.ContentLength, -1);
  EXPECT_EQ(h.GetHeaderText(), "");
  h.Expires = 86400;
  h.LastModified = 1;
  const std::string text = h.GetHeaderText();
  EXPECT_EQ(text.rfind("expires: ", 0), 0u);
  EXPECT_NE(text.find("\r\nlast-modified: "), std::string::npos);
  EXPECT_EQ(text.find("date: "), std::string::npos);  // no response date, no date line
}

}  // namespace
}  // namespace vellumark
