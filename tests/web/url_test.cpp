#include "web/url.h"

#include <gtest/gtest.h>

namespace vellumark {
namespace {

TURL Url(std::string_view text) {
  TURL u;
  u.SetURL(text);
  return u;
}

void ExpectParts(const TURL& u, const std::string& scheme, const std::string& host, int port,
                 const std::string& path, const std::string& anchor) {
  EXPECT_EQ(u.Scheme(), scheme);
  EXPECT_EQ(u.Host(), host);
  EXPECT_EQ(u.Port(), port);
  EXPECT_EQ(u.Path(), path);
  EXPECT_EQ(u.Anchor(), anchor);
}

TEST(TURL, ClearedObject) {
  TURL u;
  ExpectParts(u, "", "", -1, "/", "");
  EXPECT_EQ(u.GetURL(), "");
  u.SetParts(" http\t", "\x01 h ", 8080, " /p ", " a\r\n");
  ExpectParts(u, "http", "h", 8080, "/p", "a");
  u.Clear();
  ExpectParts(u, "", "", -1, "/", "");
}

TEST(TURL, AbsoluteUrlAndItsRendering) {
  TURL u = Url("  http://Host:8080/a/b.htm#x \r\n");
  ExpectParts(u, "http", "Host", 8080, "/a/b.htm", "x");
  EXPECT_EQ(u.GetURL(), "http://Host:8080/a/b.htm#x");
  EXPECT_EQ(u.GetDirectory(), "/a/");

  u = Url("HTTP://www.example.com");
  ExpectParts(u, "http", "www.example.com", 80, "/", "");
  EXPECT_EQ(u.GetURL(), "http://www.example.com/");
  u = Url("url:ftp://h:21/x?y=1");
  ExpectParts(u, "ftp", "h", 21, "/x?y=1", "");
  EXPECT_EQ(u.GetURL(), "ftp://h:21/x?y=1");
  u = Url("http://h:x/a");
  EXPECT_EQ(u.Port(), -1);
  EXPECT_EQ(u.GetURL(), "http://h/a");  // no port to render
  u = Url("http://h:0/a");
  EXPECT_EQ(u.GetURL(), "http://h:0/a");
}

TEST(TURL, RelativeReferencesResolveAgainstTheCurrentPage) {
  TURL u = Url("http://Host:8080/a/b.htm#x");
  u.SetURL("../c/d.htm");
  ExpectParts(u, "http", "Host", 8080, "/c/d.htm", "");

  u.SetURL("http://h/a/b.htm");
  u.SetURL("./e.htm");
  EXPECT_EQ(u.Path(), "/a/e.htm");
  u.SetURL("sub/./x/../f.htm");
  EXPECT_EQ(u.Path(), "/a/sub/f.htm");
  u.SetURL("../../../../g.htm");  // more ".." than segments
  EXPECT_EQ(u.Path(), "/g.htm");
  u.SetURL("/abs/./kept.htm");  // an absolute path is taken as written
  EXPECT_EQ(u.Path(), "/abs/./kept.htm");
  // A bare name with dots is a relative path; dot segments of the whole result go.
  u.SetURL("index.html");
  ExpectParts(u, "http", "h", 80, "/abs/index.html", "");

  u.SetURL("//other:81/z");  // a network-path reference keeps the scheme
  ExpectParts(u, "http", "other", 81, "/z", "");
}

TEST(TURL, PartsNotGivenKeepTheirValues) {
  TURL u = Url("http://h/a/b.htm#top");
  u.SetURL("http://h:81");
  ExpectParts(u, "http", "h", 81, "/a/b.htm", "");
  u.SetURL("#top");
  ExpectParts(u, "http", "h", 81, "/a/b.htm", "top");
  u.SetURL("#");
  EXPECT_EQ(u.Anchor(), "");
  u.SetURL(" \t ");  // nothing at all changes
  ExpectParts(u, "http", "h", 81, "/a/b.htm", "");
  u.SetURL("mailto:someone@example.com");  // a scheme without "//": a relative path under it
  ExpectParts(u, "mailto", "h", 81, "/a/someone@example.com", "");
}

TEST(TURL, LocalFiles) {
  TURL u = Url("http://h/a/b.htm");
  u.SetURL("c:\\docs\\a.htm#p");
  ExpectParts(u, "file", "", -1, "c:\\docs\\a.htm", "p");
  EXPECT_EQ(u.GetURL(), "");
  u.SetURL("\\\\server\\share\\x.htm");
  ExpectParts(u, "file", "", -1, "\\\\server\\share\\x.htm", "");
  u.SetURL("FILE:///home/me/x.htm");
  ExpectParts(u, "file", "", -1, "/home/me/x.htm", "");
  u.SetURL("file:/tmp/y.htm");
  ExpectParts(u, "file", "", -1, "/tmp/y.htm", "");
}

TEST(TURL, DirectoryStopsAtTheQuery) {
  TURL u;
  u.SetPath("/cgi/find?dir=/a/b");
  EXPECT_EQ(u.GetDirectory(), "/cgi/");
  u.SetPath("/cgi/find=/a/b");
  EXPECT_EQ(u.GetDirectory(), "/cgi/");
  u.SetPath("/a/b/");
  EXPECT_EQ(u.GetDirectory(), "/a/b/");
  u.SetPath("/a/b?x");
  EXPECT_EQ(u.GetDirectory(), "/a/");
  u.SetPath("noslash");
  EXPECT_EQ(u.GetDirectory(), "");
  u.SetPath("");
  EXPECT_EQ(u.GetDirectory(), "");
}

TEST(TURL, ServerPageAndInsideComparisons) {
  const TURL base = Url("http://h/docs/index.htm");
  EXPECT_TRUE(IsInside(Url("http://h/docs/sub/p.htm"), base));
  EXPECT_TRUE(IsInside(Url("http://h/docs/q.htm?x=/y"), base));
  EXPECT_FALSE(IsInside(Url("http://h/old/docs/p.htm"), base));
  EXPECT_FALSE(IsInside(Url("http://h/doc.htm"), base));
  EXPECT_FALSE(IsInside(Url("http://H/docs/p.htm"), base));  // host case matters
  EXPECT_FALSE(IsInside(Url("http://h:8080/docs/p.htm"), base));
  EXPECT_FALSE(IsInside(Url("https://h/docs/p.htm"), base));
  // A secure location keeps to its scheme the other way round, too.
  const TURL secure = Url("https://h/docs/index.htm");
  EXPECT_TRUE(IsInside(Url("https://h/docs/sub/p.htm"), secure));
  EXPECT_FALSE(IsInside(Url("http://h/docs/sub/p.htm"), secure));
  EXPECT_FALSE(IsInside(Url("https://h:8443/docs/p.htm"), secure));

  EXPECT_TRUE(SameServer(Url("http://h:80/x"), Url("http://h/y")));
  EXPECT_FALSE(SameServer(Url("http://Host/"), Url("http://host/")));
  EXPECT_TRUE(SamePage(Url("http://h/a.htm#one"), Url("http://h/a.htm#two")));
  EXPECT_FALSE(SamePage(Url("http://h/a.htm"), Url("http://h/A.htm")));

  TURL copy;
  copy.Assign(base);
  EXPECT_TRUE(SamePage(copy, base));
  EXPECT_EQ(copy.GetURL(), base.GetURL());
}

}  // namespace
}  // namespace vellumark
