#include "indexer/html_page.h"

#include <gtest/gtest.h>

#include "indexer/link_url.h"

namespace vellumark {
namespace {

const char* const kPage = "http://h:8080/dir/page.html";

TEST(HtmlPage, FindsTheEncodingFromHeaderBomMetaOrBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string content_type;
    std::string encoding;
    std::string text;
  };
  const std::string cafe_1252 = "caf\xE9";
  const std::string cafe_utf8 = "caf\xC3\xA9";
  const Case cases[] = {
      {"header", "<p>" + cafe_1252, "text/html; charset=ISO-8859-1", "windows-1252", cafe_utf8},
      {"header over meta", "<meta charset=utf-8><p>" + cafe_1252, "text/html; charset=latin1",
       "windows-1252", cafe_utf8},
      {"meta charset", "<meta charset='windows-1251'><p>\xE4\xE0", "text/html", "windows-1251",
       "\xD0\xB4\xD0\xB0"},
      {"meta http-equiv",
       "<meta http-equiv=Content-Type content='text/html; charset=koi8-r'><p>\xC4\xC1", "text/html",
       "KOI8-R", "\xD0\xB4\xD0\xB0"},
      {"meta naming utf-16", "<meta charset=utf-16><p>" + cafe_utf8, "", "UTF-8", cafe_utf8},
      {"bom over header", "\xEF\xBB\xBF<p>" + cafe_utf8, "text/html; charset=iso-8859-1", "UTF-8",
       cafe_utf8},
      {"utf-16 bom", std::string("\xFF\xFE<\0p\0>\0\xE9\0", 10), "", "UTF-16LE",
       cafe_utf8.substr(3)},
      {"meta past 1024 bytes",
       "<!--" + std::string(1100, 'x') + "--><meta charset=koi8-r><p>" + cafe_1252, "",
       "windows-1252", cafe_utf8},
      {"none, not UTF-8", "<p>" + cafe_1252, "text/html", "windows-1252", cafe_utf8},
      {"none, UTF-8 bytes", "<p>" + cafe_utf8, "text/html", "UTF-8", cafe_utf8},
  };
  for (const Case& c : cases) {
    const HtmlPage page = ParseHtmlPage(c.bytes, c.content_type, kPage);
    EXPECT_EQ(page.encoding, c.encoding) << c.name;
    EXPECT_EQ(page.text, c.text) << c.name;
  }
}

TEST(HtmlPage, ResolvesLinksAgainstBaseAndFinalAddressInDocumentOrder) {
  const HtmlPage page = ParseHtmlPage(
      "<html><head><title>\n  Two   words </title>"
      "<base href='/other/'><base href='/ignored/'>"
      "<meta http-equiv=Refresh content=\"3; URL='next.html'\"></head><body>"
      "<a href='a.html#top'>a</a><a>no href</a><a href='../up.html'>up</a>"
      "<map><area href='area.html'></map><template><a href='t.html'>t</a></template>"
      "<noscript><a href='ns.html'>ns</a></noscript><svg><a href='svg.html'>s</a></svg>"
      "<a href='mailto:Me@Example.com'>m</a></body></html>",
      "text/html", kPage);
  EXPECT_EQ(page.title, "Two words");
  EXPECT_EQ(page.links, (std::vector<std::string>{
                            "http://h:8080/other/next.html",
                            "http://h:8080/other/a.html#top",
                            "http://h:8080/up.html",
                            "http://h:8080/other/area.html",
                            "mailto:Me@Example.com",
                        }));

  const HtmlPage without_base = ParseHtmlPage("<a href=b.html>b</a>", "", kPage);
  EXPECT_EQ(without_base.links, std::vector<std::string>{"http://h:8080/dir/b.html"});
}

TEST(HtmlPage, RefreshTargetsInTheirForms) {
  const struct {
    const char* content;
    const char* link;  // "" for none
  } cases[] = {
      {"0; url=a.html", "http://h:8080/dir/a.html"},
      {"0;URL = 'b c.html'", "http://h:8080/dir/b%20c.html"},
      {"5, http://x.org/", "http://x.org/"},
      {"1.5 d.html", "http://h:8080/dir/d.html"},
      {"10", ""},
      {"soon; url=e.html", ""},
  };
  for (const auto& c : cases) {
    const HtmlPage page = ParseHtmlPage(
        std::string("<meta http-equiv=refresh content=\"") + c.content + "\">", "", kPage);
    const std::vector<std::string> expected =
        *c.link ? std::vector<std::string>{c.link} : std::vector<std::string>{};
    EXPECT_EQ(page.links, expected) << c.content;
  }
}

TEST(HtmlPage, BodyTextFollowsTheRenderedText) {
  const struct {
    const char* name;
    const char* html;
    const char* text;
  } cases[] = {
      {"inline runs join, blanks collapse", "<p>Hello <b>bold</b>world  and\n  more</p>",
       "Hello boldworld and more"},
      {"blocks break lines, p two", "<div>one</div><div>two</div><p>three</p>four",
       "one\ntwo\n\nthree\n\nfour"},
      {"br", "a<br>b<br><br>c", "a\nb\n\nc"},
      {"table cells and rows", "<table><tr><td>a</td><td> b </td></tr><tr><th>c</th></tr></table>",
       "a\tb\nc"},
      {"pre keeps white space", "<pre>\n  x\n   y</pre>z", "  x\n   y\nz"},
      {"lists", "<ul><li>one<li>two</ul>", "one\ntwo"},
      {"entities", "a&amp;b &lt;c&gt; d&nbsp;e &eacute;",
       "a&b <c> d\xC2\xA0"
       "e \xC3\xA9"},
      {"not rendered",
       "<script>document.write('s')</script><style>p{}</style><noscript>n</noscript>"
       "<template>t</template><div hidden>h</div><span style='display: none'>d</span>"
       "<span style='visibility:hidden'>v<b "
       "style='visibility:visible'>vis</b></span><textarea>ta</textarea><select><option>o1"
       "<option>o2</select><iframe>if</iframe>shown",
       "vis\no1\no2\nshown"},
      {"closed details show their summary",
       "<details><summary>s</summary>inside</details>"
       "<details open><summary>t</summary>open</details>",
       "s\nt\nopen"},
      {"inline style makes a block", "<span style='display:block'>a</span><span>b</span>", "a\nb"},
      {"button is an inline block", "x<button> b </button>y", "xby"},
      {"svg draws its text elements only", "<svg><title>t</title><g>g<text>drawn</text></g></svg>",
       "drawn"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseHtmlPage(c.html, "text/html", kPage).text, c.text) << c.name;
  }
}

TEST(HtmlPage, DeepNestingGivesUpInsteadOfHanging) {
  std::string html;
  for (int i = 0; i < 20000; ++i) html += "<div>";
  const HtmlPage page =
      ParseHtmlPage(html + "x", "text/html", kPage, std::chrono::milliseconds(50));
  EXPECT_FALSE(page.error.empty());
  EXPECT_TRUE(page.text.empty());
}

TEST(LinkUrl, ResolvesToTheBrowsersNormalForm) {
  const char* const base = "http://Example.com/a/b/c.html?q=1#f";
  const struct {
    const char* href;
    const char* url;  // "" when it does not resolve
  } cases[] = {
      {"d.html", "http://example.com/a/b/d.html"},
      {"../../../x", "http://example.com/x"},
      {"./%2e/y/.", "http://example.com/a/b/y/"},
      {"?z", "http://example.com/a/b/c.html?z"},
      {"#g", "http://example.com/a/b/c.html?q=1#g"},
      {"", "http://example.com/a/b/c.html?q=1"},
      {"//Other.ORG:80", "http://other.org/"},
      {"\\x\\y", "http://example.com/x/y"},
      {" HTTPS://H.org:443/p q/\xC3\xA9?a b'c#d e", "https://h.org/p%20q/%C3%A9?a%20b%27c#d%20e"},
      {"http:rel.html", "http://example.com/a/b/rel.html"},
      {"https://h.org:0080/", "https://h.org:80/"},
      {"http://0x7f.1/", "http://127.0.0.1/"},
      {"http://b\xC3\xBC"
       "cher.de/",
       "http://xn--bcher-kva.de/"},
      {"http://h:99999/", ""},
      {"http://h o/", ""},
      {"%7e%41-%2D|^.html", "http://example.com/a/b/~A--%7C%5E.html"},
      {"JavaScript:void(0)", "javascript:void(0)"},
      {"mailto:me@h.org?subject=Hi there#x y", "mailto:me@h.org?subject=Hi%20there#x%20y"},
      {"a\tb\n.html", "http://example.com/a/b/ab.html"},
  };
  for (const auto& c : cases) {
    const std::optional<std::string> url = ResolveUrl(base, c.href);
    EXPECT_EQ(url.value_or(""), c.url) << c.href;
  }
  // The query in the page's encoding; what it cannot hold as a character reference.
  EXPECT_EQ(ResolveUrl(base, "caf\xC3\xA9?q=caf\xC3\xA9&r=\xD0\xB6", "windows-1252"),
            "http://example.com/a/b/caf%C3%A9?q=caf%E9&r=%26%231078%3B");
}

}  // namespace
}  // namespace vellumark
